#pragma once
// The one seam through which the toolkit shows modal boxes: message boxes, the error box that
// reports a failed event handler, and the file dialogs. Tests install an answerer and no modal
// window appears; without one the system's own boxes and dialogs are shown.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace tb {

struct FileDialogArgs {
    std::u16string title;
    std::u16string filter;           // "Text files|*.txt|All files|*.*"
    std::u16string default_extension;  // without the dot
    std::u16string file_name;        // in: the proposed name; out: the chosen one
};

class DialogAnswerer {
public:
    virtual ~DialogAnswerer() = default;
    // Answers a MessageBoxW call (an IDOK, IDYES, ... code).
    virtual int MessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags) = 0;
    // Answers a file dialog: true with args.file_name set, or false for a cancelled dialog.
    virtual bool FileDialog(HWND owner, bool save, FileDialogArgs& args) = 0;
};

// Installs the answerer for this process (null: the real boxes again). Not owned.
void SetDialogAnswerer(DialogAnswerer* answerer);

int ShowMessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags);
// A message box with 8-bit text and caption in the system code page.
int ShowAnsiMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags);
// The error box: the message (8-bit text in the system code page) with an error icon and an OK button.
void ShowErrorBox(HWND owner, const std::string& message);
bool ShowOpenDialog(HWND owner, FileDialogArgs& args);
bool ShowSaveDialog(HWND owner, FileDialogArgs& args);

// An answerer for tests: records every box and dialog and gives fixed answers.
class RecordingAnswerer : public DialogAnswerer {
public:
    struct Box {
        std::u16string text;
        std::u16string caption;
        UINT flags = 0;
    };
    int MessageBox(HWND, std::u16string_view text, std::u16string_view caption, UINT flags) override {
        boxes.push_back({std::u16string(text), std::u16string(caption), flags});
        return box_answer;
    }
    bool FileDialog(HWND, bool save, FileDialogArgs& args) override {
        dialogs.push_back(save);
        if (file_answer.empty()) return false;
        args.file_name = file_answer;
        return true;
    }

    std::vector<Box> boxes;
    std::vector<bool> dialogs;  // true: a save dialog
    int box_answer = IDOK;
    std::u16string file_answer;  // empty: cancel
};

// Installs an answerer for the lifetime of the scope, and puts the previous one back.
class ScopedDialogAnswerer {
public:
    explicit ScopedDialogAnswerer(DialogAnswerer* answerer);
    ~ScopedDialogAnswerer();
    ScopedDialogAnswerer(const ScopedDialogAnswerer&) = delete;
    ScopedDialogAnswerer& operator=(const ScopedDialogAnswerer&) = delete;

private:
    DialogAnswerer* previous_;
};

}  // namespace tb
