// The search history: the sorted History list, the search box's list that shows it, History.txt
// that every toolbar window of the user shares (settings/text_file.hpp has its format), and the
// commands of the search box's popup menu.
//
// The file is rewritten through a temporary file that then takes its place, so a write that fails
// part-way leaves the previous history whole. A search merges what is on disk before it saves, and
// the windows of the user take turns at that (a named mutex per file), so no window's new term is
// lost to another's save.
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
#include "toolbar/toolbar_form_win.hpp"

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

void TFormToolbar::LoadSearchHistory() {
    History = std::make_unique<THistoryList>();
    if (const auto lines = ReadHistoryFile(HistoryFile())) History->Assign(*lines);
    for (const std::u16string& term : History->Entries()) SearchBox.Add(term);
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

void TFormToolbar::AddToHistory() {
    if (!History) History = std::make_unique<THistoryList>();
    const std::string path = HistoryFile();
    const HistoryTurn turn(path);
    // What the other windows saved, then what this one shows.
    if (const auto lines = ReadHistoryFile(path)) History->Assign(*lines);
    for (const std::u16string& term : SearchBox.Items()) History->Add(term);
    ReplaceList(SearchBox, History->Entries());
    const std::u16string text = SearchBox.Text();
    if (text.empty() || SearchBox.IndexOf(text) >= 0) return;
    SearchBox.Add(text);
    WriteHistoryFile(path, SearchBox.Items());
}

// --- edit commands on the box's text

void TFormToolbar::MenuCutClick() {
    const std::u16string selected = SearchBox.SelText();
    // With nothing selected the clipboard keeps what it holds, as the edit control's own Cut does.
    if (selected.empty()) return;
    SetClipboardText(Handle(), selected);
    SearchBox.ReplaceSelText(u"");
}

void TFormToolbar::MenuCopyClick() {
    const std::u16string selected = SearchBox.SelText();
    if (!selected.empty()) SetClipboardText(Handle(), selected);
}

void TFormToolbar::MenuPasteClick() {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) && !IsClipboardFormatAvailable(CF_TEXT)) return;
    // The search box holds one line: pasted line breaks become blanks, as they would in the file.
    SearchBox.ReplaceSelText(SingleLine(ClipboardText()));
}

void TFormToolbar::MenuDeleteClick() { SearchBox.ReplaceSelText(u""); }

void TFormToolbar::MenuSelectAllClick() { SearchBox.SelectAll(); }

// --- history commands

void TFormToolbar::MenuClearHistoryClick() {
    const std::u16string question = TemplateMessage(stoToolbar, "\\Strings\\Message Clear History",
                                                     "Are you sure you want to clear history?");
    if (ShowMessageBox(Handle(), question, u"Confirm", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    // The box's text stays as the user typed it; only the list goes.
    const std::u16string text = SearchBox.Text();
    SearchBox.ClearList();
    SearchBox.Clear();
    SearchBox.SetText(text);
    WriteHistoryFile(HistoryFile(), {});
}

void TFormToolbar::MenuSaveHistoryClick() {
    SaveDialog1.Args.title = MenuSaveHistory->Caption();
    if (!SaveDialog1.Execute(Handle())) return;
    try {
        WriteHistoryFile(Utf16ToAnsi(SaveDialog1.Args.file_name), SearchBox.Items());
    } catch (const FileCreateError&) {
        ShowFileIoError(Handle());
    } catch (const InOutError&) {
        ShowFileIoError(Handle());
    }
}

void TFormToolbar::MenuLoadHistoryClick() {
    OpenDialog1.Args.title = MenuLoadHistory->Caption();
    if (!OpenDialog1.Execute(Handle())) return;
    std::optional<std::vector<std::u16string>> lines;
    try {
        lines = ReadHistoryFile(Utf16ToAnsi(OpenDialog1.Args.file_name));
    } catch (const FileOpenError&) {
    } catch (const InOutError&) {
    }
    // A file that is gone or cannot be read: the list keeps its entries.
    if (!lines) {
        ShowFileIoError(Handle());
        return;
    }
    ReplaceList(SearchBox, *lines);
}

void TFormToolbar::MenuRemoveSelectedClick() {
    const int selected = SearchBox.ItemIndex();
    if (selected < 0) {
        const std::u16string message =
            TemplateMessage(stoToolbar, "\\Strings\\Message Nothing To Remove", "Nothing to Remove.");
        ShowMessageBox(Handle(), message, Caption(), MB_OK);
        return;
    }
    SearchBox.Delete(selected);
    WriteHistoryFile(HistoryFile(), SearchBox.Items());
}

void TFormToolbar::MenuEditHistoryClick() { ShellOpen(CurrentSettings().HistoryPath); }

void TFormToolbar::MenuRefreshHistoryClick() {
    if (const auto lines = ReadHistoryFile(HistoryFile())) ReplaceList(SearchBox, *lines);
}

}  // namespace tb
