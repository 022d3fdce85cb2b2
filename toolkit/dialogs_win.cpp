#include "toolkit/dialogs_win.hpp"

#include <commdlg.h>

#include <algorithm>
#include <atomic>

#include "base/errors.hpp"
#include "base/system_library_win.hpp"
#include "base/text.hpp"
#include "base/wide_win.hpp"

namespace tb {
namespace {

std::atomic<DialogAnswerer*> g_answerer{nullptr};

// "a|b|c|d" as the dialog wants it: "a\0b\0c\0d\0\0".
std::wstring DialogFilter(std::u16string_view filter) {
    std::wstring out = ToWide(filter);
    for (wchar_t& c : out) {
        if (c == L'|') c = L'\0';
    }
    out.push_back(L'\0');
    out.push_back(L'\0');
    return out;
}

// The common dialogs' library is loaded when a file dialog is first asked for, not with the
// toolbar: loading it costs a new browser process more than building its toolbar, and only the
// history's Save and Load use it.
using FileDialogFunction = BOOL(WINAPI*)(OPENFILENAMEW*);
FileDialogFunction FileDialogOf(bool save) {
    const auto found = SystemFunction<FileDialogFunction>(L"comdlg32.dll", save ? "GetSaveFileNameW" : "GetOpenFileNameW");
    if (found == nullptr) throw Error("The file dialog is not available");
    return found;
}

bool RunFileDialog(HWND owner, bool save, FileDialogArgs& args) {
    if (DialogAnswerer* answerer = g_answerer.load()) return answerer->FileDialog(owner, save, args);
    std::wstring buffer(32768, L'\0');
    const std::wstring proposed = ToWide(args.file_name);
    proposed.copy(buffer.data(), std::min(proposed.size(), buffer.size() - 1));
    const std::wstring filter = DialogFilter(args.filter);
    const std::wstring title = ToWide(args.title);
    const std::wstring extension = ToWide(args.default_extension);
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = args.filter.empty() ? nullptr : filter.c_str();
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL chosen = FileDialogOf(save)(&dialog);
    if (!chosen) return false;
    args.file_name = FromWide(buffer.c_str());
    return true;
}

}  // namespace

void SetDialogAnswerer(DialogAnswerer* answerer) { g_answerer.store(answerer); }

int ShowMessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, UINT flags) {
    if (DialogAnswerer* answerer = g_answerer.load()) return answerer->MessageBox(owner, text, caption, flags);
    return MessageBoxW(owner, ToWide(text).c_str(), ToWide(caption).c_str(), flags);
}

int ShowAnsiMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
    return ShowMessageBox(owner, AnsiToUtf16(text), AnsiToUtf16(caption), flags);
}

void ShowErrorBox(HWND owner, const std::string& message) {
    ShowMessageBox(owner, AnsiToUtf16(message), u"Error", MB_OK | MB_ICONERROR);
}

bool ShowOpenDialog(HWND owner, FileDialogArgs& args) { return RunFileDialog(owner, false, args); }
bool ShowSaveDialog(HWND owner, FileDialogArgs& args) { return RunFileDialog(owner, true, args); }

ScopedDialogAnswerer::ScopedDialogAnswerer(DialogAnswerer* answerer) : previous_(g_answerer.exchange(answerer)) {}
ScopedDialogAnswerer::~ScopedDialogAnswerer() { g_answerer.store(previous_); }

}  // namespace tb
