#pragma once
// ShowAboutBox: the one way the rest of the system shows the about box.
namespace tb {

// Creates the about box without an owner, shows it, then hides and destroys it. splash false: a
// modal dialog with its close button, returning when it is closed. splash true: shown without the
// close button for four seconds while the thread's other windows (the toolbar) keep working;
// returning early when the thread is quitting (its WM_QUIT is posted again).
// Never raises: a failure while the box is made or filled (an invalid about colour) is shown in the
// error box, and a box whose filling failed is not shown.
void ShowAboutBox(bool splash);

}  // namespace tb
