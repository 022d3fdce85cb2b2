#include "toolbar/search_history_win.hpp"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "base/errors.hpp"
#include "base/file.hpp"
#include "base/text.hpp"
#include "settings/navigation_win.hpp"
#include "settings/text_file.hpp"
#include "settings/toolbar_settings.hpp"
#include "toolkit/dialogs_win.hpp"
#include "toolkit/picture_win.hpp"

namespace tb {
namespace {

constexpr char kFileIoError[] = "File I/O error.";

std::string HistoryFile() { return Utf16ToAnsi(CurrentSettings().HistoryPath); }

// The lines of a history file; nullopt when it does not exist. FileOpenError when it exists but
// cannot be read.
std::optional<std::vector<std::u16string>> ReadHistoryFile(const std::string& path) {
    const std::optional<std::string> bytes = ReadWholeFile(path);
    if (!bytes) return std::nullopt;
    return ReadTextLines(*bytes);
}

void WriteHistoryFile(const std::string& path, const std::vector<std::u16string>& lines) {
    ReplaceFileContent(path, WriteTextLines(lines));
}

// The box's list replaced by the lines; the box keeps its text and the selection within it (emptying
// the list empties the text).
void ReplaceList(TComboBox& box, const std::vector<std::u16string>& lines) {
    const std::u16string text = box.Text();
    const int start = box.SelStart(), length = box.SelLength();
    box.ClearList();
    for (const std::u16string& line : lines) box.Add(line);
    box.SetText(text);
    box.SetSelection(start, length);
}

// A text of the template's "\Strings" section: UTF-8, shown as system code page text.
std::u16string TemplateMessage(TrsStorage& store, std::string_view key, std::string_view default_text) {
    return AnsiToUtf16(Utf16ToAnsi(DecodeUtf8(store.ReadString(key, default_text))));
}

void ShowFileIoError(HWND owner) { ShowMessageBox(owner, AnsiToUtf16(kFileIoError), u"Error", MB_OK | MB_ICONERROR); }

}  // namespace

// --- the history list

TSearchHistory::TSearchHistory(TForm& form, TComboBox& box, TrsStorage& strings)
    : form_(form), box_(box), strings_(strings) {
    OpenDialog.Args.filter = u"Text files (*.txt)|*.txt|All files (*.*)|*.*";
    OpenDialog.Args.default_extension = u"txt";
    SaveDialog.Args = OpenDialog.Args;
}

void TSearchHistory::Load() {
    list_.Clear();
    if (const auto lines = ReadHistoryFile(HistoryFile())) list_.Assign(*lines);
    for (const std::u16string& term : list_.Entries()) box_.Add(term);
}

namespace {

// Held while a window reads, merges and saves the history file; waits at most five seconds.
class HistoryTurn {
public:
    explicit HistoryTurn(const std::string& path) {
        std::string name = "Local\\TbHistory-";
        for (const char c : path.substr(path.size() > 200 ? path.size() - 200 : 0)) name += c == '\\' ? '/' : c;
        mutex_ = CreateMutexA(nullptr, FALSE, name.c_str());
        if (mutex_ && WaitForSingleObject(mutex_, 5000) == WAIT_TIMEOUT) {
            CloseHandle(mutex_);
            mutex_ = nullptr;  // goes on without its turn rather than hang the browser
        }
    }
    ~HistoryTurn() {
        if (!mutex_) return;
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    HistoryTurn(const HistoryTurn&) = delete;
    HistoryTurn& operator=(const HistoryTurn&) = delete;

private:
    HANDLE mutex_ = nullptr;
};

}  // namespace

void TSearchHistory::AddBoxText() {
    const std::string path = HistoryFile();
    const HistoryTurn turn(path);
    // What the other windows saved, then what this one shows.
    if (const auto lines = ReadHistoryFile(path)) list_.Assign(*lines);
    for (const std::u16string& term : box_.Items()) list_.Add(term);
    ReplaceList(box_, list_.Entries());
    const std::u16string text = box_.Text();
    if (text.empty() || box_.IndexOf(text) >= 0) return;
    box_.Add(text);
    WriteHistoryFile(path, box_.Items());
}

// --- edit commands on the box's text

void TSearchHistory::Cut() {
    const std::u16string selected = box_.SelText();
    // With nothing selected the clipboard keeps what it holds, as the edit control's own Cut does.
    if (selected.empty()) return;
    SetClipboardText(form_.Handle(), selected);
    box_.ReplaceSelText(u"");
}

void TSearchHistory::Copy() {
    const std::u16string selected = box_.SelText();
    if (!selected.empty()) SetClipboardText(form_.Handle(), selected);
}

void TSearchHistory::Paste() {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) && !IsClipboardFormatAvailable(CF_TEXT)) return;
    // The search box holds one line: pasted line breaks become blanks, as they would in the file.
    box_.ReplaceSelText(SingleLine(ClipboardText()));
}

void TSearchHistory::Delete() { box_.ReplaceSelText(u""); }

void TSearchHistory::SelectAll() { box_.SelectAll(); }

// --- history commands

void TSearchHistory::Clear() {
    const std::u16string question = TemplateMessage(strings_, "\\Strings\\Message Clear History",
                                                     "Are you sure you want to clear history?");
    if (ShowMessageBox(form_.Handle(), question, u"Confirm", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    // The box's text stays as the user typed it; only the list goes.
    const std::u16string text = box_.Text();
    box_.ClearList();
    box_.Clear();
    box_.SetText(text);
    WriteHistoryFile(HistoryFile(), {});
}

void TSearchHistory::SaveToChosenFile(const std::u16string& title) {
    SaveDialog.Args.title = title;
    if (!SaveDialog.Execute(form_.Handle())) return;
    try {
        WriteHistoryFile(Utf16ToAnsi(SaveDialog.Args.file_name), box_.Items());
    } catch (const FileCreateError&) {
        ShowFileIoError(form_.Handle());
    } catch (const InOutError&) {
        ShowFileIoError(form_.Handle());
    }
}

void TSearchHistory::LoadChosenFile(const std::u16string& title) {
    OpenDialog.Args.title = title;
    if (!OpenDialog.Execute(form_.Handle())) return;
    std::optional<std::vector<std::u16string>> lines;
    try {
        lines = ReadHistoryFile(Utf16ToAnsi(OpenDialog.Args.file_name));
    } catch (const FileOpenError&) {
    } catch (const InOutError&) {
    }
    // A file that is gone or cannot be read: the list keeps its entries.
    if (!lines) {
        ShowFileIoError(form_.Handle());
        return;
    }
    ReplaceList(box_, *lines);
}

void TSearchHistory::RemoveSelected() {
    const int selected = box_.ItemIndex();
    if (selected < 0) {
        const std::u16string message =
            TemplateMessage(strings_, "\\Strings\\Message Nothing To Remove", "Nothing to Remove.");
        ShowMessageBox(form_.Handle(), message, form_.Caption(), MB_OK);
        return;
    }
    box_.Delete(selected);
    WriteHistoryFile(HistoryFile(), box_.Items());
}

void TSearchHistory::Edit() { ShellOpen(CurrentSettings().HistoryPath); }

void TSearchHistory::Refresh() {
    if (const auto lines = ReadHistoryFile(HistoryFile())) ReplaceList(box_, *lines);
}

}  // namespace tb
