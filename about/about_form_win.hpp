#pragma once
// TFormAbout: the about box. It shows the toolbar's name, version, copyright line, preparer,
// description and home page, the about logo and the copyright text file next to the library, all
// from the current ToolbarSettings, in the about box's colour, fonts and size. It keeps no state:
// it is filled when created and again each time it is shown. ShowAboutBox (about_box_win.hpp)
// is how the rest of the system shows it.
#include <windows.h>

#include <string>

#include "toolkit/dialog_controls_win.hpp"
#include "toolkit/dialog_form_win.hpp"

namespace tb {

// How long the splash stays, in milliseconds.
inline constexpr DWORD kSplashMilliseconds = 4000;

class TFormAbout final : public TDialogForm {
public:
    TFormAbout();
    ~TFormAbout() override;

    // Creates the window without an owner (FormCreate under the framework's failure rule). False when
    // FormCreate raised: its error box was shown and the box is not fit to be shown.
    bool Construct();
    // The show routine: modal with the close button, or the splash without it for
    // kSplashMilliseconds while the thread's other windows keep working.
    void ShowBox(bool splash);

    // --- the form's components, in their declared order
    TPanel PanelButton{u"PanelButton"};
    TButton ButtonClose{u"ButtonClose"};
    TMemo MemoCopyright{u"MemoCopyright"};
    TPanel PanelLogo{u"PanelLogo"};
    TPanel PanelBrand{u"PanelBrand"};
    TLabel LabelToolbarName{u"LabelToolbarName"};
    TLabel LabelToolbarVersion{u"LabelToolbarVersion"};
    TLabel LabelCopyright{u"LabelCopyright"};
    TLabel LabelPreparerInfo{u"LabelPreparerInfo"};
    TLabel LabelDescription{u"LabelDescription"};
    TLabel LabelHomePageURL{u"LabelHomePageURL"};
    TPictureBox ImageLogo{u"ImageLogo"};
    TLabel LabelCredits{u"LabelCredits"};

    // --- event handlers
    void FormCreate();
    void FormShow();
    void ButtonCloseClick();
    void LabelHomePageURLClick();

private:
    void CreateDialogComponents() override;
    void FillBox();
    void LayOut();
    // A size of the design (96 DPI pixels) at the box's own screen scale.
    int Px(int design_pixels) const;
};

}  // namespace tb
