// The search history under Wine: the sorted list, History.txt shared by toolbar windows, and the
// commands of the search box's popup menu with the real clipboard and recorded dialogs.
#include <string>
#include <vector>

#include "tests/search/search_window_fixture_win.hpp"

namespace tb::search_tests {
namespace {

using Lines = std::vector<std::u16string>;

std::string Marked(std::u16string_view lines) { return "\xFF\xFE" + Utf16Le(lines); }

FILETIME WriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

void SetWriteTime(const std::string& path, FILETIME time) {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

TEST_F(SearchWindowTest, HistoryLoadsSortedByTheLocaleWithoutDuplicates) {
    // Ordinal order would put "\u00C4" after "b"; the locale puts it after "a". "A" repeats "a".
    WriteHistory(Marked(u"b\r\n\u00C4\r\na\r\nA\r\n"));
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    EXPECT_EQ(form->SearchBox.Items(), (Lines{u"a", u"\u00C4", u"b"}));
    EXPECT_EQ(form->SearchHistory.Entries(), (Lines{u"a", u"\u00C4", u"b"}));
}

TEST_F(SearchWindowTest, TwoWindowsSharingTheFileKeepEveryNewTerm) {
    WriteEngineTemplate();
    TFormToolbar::Pointer first = Make();
    TFormToolbar::Pointer second = Make();
    first->SearchBox.SetText(u"zebra");
    Type(*first, L'\r');
    second->SearchBox.SetText(u"apple");
    Type(*second, L'\r');
    EXPECT_EQ(HistoryBytes(), Marked(u"zebra\r\napple\r\n"));  // the merged list sorted, then the new term
    EXPECT_EQ(second->SearchBox.Items(), (Lines{u"zebra", u"apple"}));

    // A listed term, in any letter case, leaves the file alone; the list takes in the other's terms.
    const FILETIME old{0x12345678, 0x01B00000};
    SetWriteTime(HistoryPath(), old);
    first->SearchBox.SetText(u"APPLE");
    Type(*first, L'\r');
    EXPECT_EQ(CompareFileTime(&old, &static_cast<const FILETIME&>(WriteTime(HistoryPath()))), 0);
    EXPECT_EQ(first->SearchBox.Items(), (Lines{u"apple", u"zebra"}));
    EXPECT_EQ(first->SearchBox.Text(), u"APPLE");
    EXPECT_EQ(Navigated().size(), 3u);
    // Nothing in the box: nothing saved either.
    first->SearchBox.SetText(u"");
    Type(*first, L'\r');
    EXPECT_EQ(CompareFileTime(&old, &static_cast<const FILETIME&>(WriteTime(HistoryPath()))), 0);
}

TEST_F(SearchWindowTest, HistoryIsReadByItsMarkAndRewrittenAsUtf16) {
    struct Case {
        const char* name;
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"UTF-8", "\xEF\xBB\xBF" "caf\xC3\xA9\r\nna\xC3\xAFve\n", {u"caf\u00E9", u"na\u00EFve"}},
        {"no mark: the code page", "caf\xE9\rx", {u"caf\u00E9", u"x"}},
        {"UTF-16BE", std::string("\xFE\xFF\x00h\x00i", 6), {u"hi"}},
        // Damaged: odd length and a stray NUL; the readable lines stay.
        {"damaged UTF-16LE", Marked(std::u16string(u"ok\r\nn\0ul\r\n", 10)) + "z", {u"nul", u"ok"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteHistory(c.bytes);
        WriteEngineTemplate();
        TFormToolbar::Pointer form = Make();
        EXPECT_EQ(form->SearchBox.Items().size(), c.lines.size()) << testing::PrintToString(form->SearchBox.Items());
        form->SearchBox.SetText(u"new");
        Type(*form, L'\r');
        std::u16string expected;
        for (const std::u16string& line : form->SearchHistory.Entries()) expected += line + u"\r\n";
        EXPECT_EQ(HistoryBytes(), Marked(expected + u"new\r\n"));
        for (const std::u16string& line : c.lines) EXPECT_GE(form->SearchBox.IndexOf(line), 0);
    }
}

TEST_F(SearchWindowTest, FailedRewriteLeavesThePreviousHistoryWhole) {
    const std::string before = Marked(u"kept\r\n");
    WriteHistory(before);
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    // Another program holds the file open for reading, as an editor may.
    HANDLE held = CreateFileA(HistoryPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    form->SearchBox.SetText(u"new term");
    Type(*form, L'\r');
    CloseHandle(held);
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].flags & MB_ICONERROR, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(HistoryBytes(), before);
    // No temporary file is left beside it: only the window's own files are there.
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "Bar.tb" || name == "History.txt" || name == "Settings.ini") << name;
    }
}

TEST_F(SearchWindowTest, ClearAsksThenKeepsTheTextAndLeavesTheMarkAlone) {
    WriteHistory(Marked(u"one\r\ntwo\r\n"));
    WriteEngineTemplate(true, [](TrsStorage& t) {
        t.WriteString("\\Strings\\Message Clear History", "L\xC3\xB6schen?");  // UTF-8
    });
    TFormToolbar::Pointer form = Make();
    form->SearchBox.SetText(u"typed \u65E5");

    boxes_.box_answer = IDNO;
    form->MenuClearHistory->Click();
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, u"L\u00F6schen?");
    EXPECT_EQ(boxes_.boxes[0].flags & (MB_YESNO | MB_ICONQUESTION), static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(form->SearchBox.Count(), 2);

    boxes_.box_answer = IDYES;
    form->MenuClearHistory->Click();
    EXPECT_EQ(form->SearchBox.Count(), 0);
    EXPECT_EQ(form->SearchBox.Text(), u"typed \u65E5");
    EXPECT_EQ(HistoryBytes(), std::string("\xFF\xFE"));
}

TEST_F(SearchWindowTest, RemoveSelectedDeletesTheEntryOrSaysThereIsNothing) {
    WriteHistory(Marked(u"one\r\ntwo\r\nthree\r\n"));
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    form->SearchBox.SetItemIndex(form->SearchBox.IndexOf(u"three"));
    form->MenuRemoveSelected->Click();
    EXPECT_EQ(form->SearchBox.Items(), (Lines{u"one", u"two"}));
    EXPECT_EQ(HistoryBytes(), Marked(u"one\r\ntwo\r\n"));
    EXPECT_TRUE(boxes_.boxes.empty());

    // Typing after choosing an entry leaves no entry selected.
    form->SearchBox.SetItemIndex(0);
    Type(*form, L'x');
    form->MenuRemoveSelected->Click();
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, u"Nothing to Remove.");
    EXPECT_EQ(boxes_.boxes[0].flags, static_cast<UINT>(MB_OK));
    EXPECT_EQ(form->SearchBox.Count(), 2);
}

TEST_F(SearchWindowTest, RefreshShowsTheFileInItsOwnOrder) {
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    form->SearchBox.SetText(u"typed");
    WriteHistory(Marked(u"zulu\r\nalpha\r\nmike\r\n"));
    form->MenuRefreshHistory->Click();
    EXPECT_EQ(form->SearchBox.Items(), (Lines{u"zulu", u"alpha", u"mike"}));
    EXPECT_EQ(form->SearchBox.Text(), u"typed");
    // Without the file nothing changes.
    std::filesystem::remove(HistoryPath());
    form->MenuRefreshHistory->Click();
    EXPECT_EQ(form->SearchBox.Count(), 3);
}

TEST_F(SearchWindowTest, SaveAndLoadThroughTheDialogs) {
    WriteHistory(Marked(u"b\r\na\r\n"));
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    const std::string saved = (folder_ / "saved.txt").string();

    boxes_.file_answer = AnsiToUtf16(saved);
    form->MenuSaveHistory->Click();
    EXPECT_EQ(ReadWholeFile(saved), Marked(u"a\r\nb\r\n"));
    EXPECT_EQ(form->SearchHistory.SaveDialog.Args.title, form->MenuSaveHistory->Caption());

    WriteWholeFile(saved, "\xEF\xBB\xBFy\r\nx\r\n");
    boxes_.file_answer = AnsiToUtf16(saved);
    form->MenuLoadHistory->Click();
    EXPECT_EQ(form->SearchBox.Items(), (Lines{u"y", u"x"}));
    EXPECT_EQ(form->SearchHistory.OpenDialog.Args.title, form->MenuLoadHistory->Caption());
    EXPECT_EQ(HistoryBytes(), Marked(u"b\r\na\r\n"));  // History.txt waits for the next save
    EXPECT_EQ(boxes_.dialogs, (std::vector<bool>{true, false}));
    EXPECT_TRUE(boxes_.boxes.empty());

    // Failures: a file that is not there, a folder that is not there.
    boxes_.file_answer = AnsiToUtf16((folder_ / "missing.txt").string());
    form->MenuLoadHistory->Click();
    boxes_.file_answer = AnsiToUtf16((folder_ / "no folder" / "x.txt").string());
    form->MenuSaveHistory->Click();
    ASSERT_EQ(boxes_.boxes.size(), 2u);
    for (const RecordingAnswerer::Box& box : boxes_.boxes) {
        EXPECT_EQ(box.text, u"File I/O error.");
        EXPECT_EQ(box.flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
    }
    EXPECT_EQ(form->SearchBox.Items(), (Lines{u"y", u"x"}));
    // A cancelled dialog does nothing.
    boxes_.file_answer.clear();
    form->MenuLoadHistory->Click();
    EXPECT_EQ(boxes_.boxes.size(), 2u);
}

TEST_F(SearchWindowTest, EditCommandsUseTheClipboard) {
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    TComboBox& box = form->SearchBox;
    box.SetText(u"hello world");
    box.SetSelection(6, 5);
    form->MenuCopy->Click();
    EXPECT_EQ(ClipboardText(), u"world");
    form->MenuCut->Click();
    EXPECT_EQ(box.Text(), u"hello ");
    EXPECT_EQ(ClipboardText(), u"world");
    // Nothing selected: cut and copy keep what the clipboard holds.
    box.SetSelection(0, 0);
    form->MenuCut->Click();
    form->MenuCopy->Click();
    EXPECT_EQ(ClipboardText(), u"world");
    SetClipboardText(form->Handle(), u"\u00E9t\u00E9");
    box.SetSelection(0, 5);
    form->MenuPaste->Click();
    EXPECT_EQ(box.Text(), u"\u00E9t\u00E9 ");
    form->MenuSelectAll->Click();
    EXPECT_EQ(box.SelText(), u"\u00E9t\u00E9 ");
    box.SetSelection(0, 1);
    form->MenuDelete->Click();
    EXPECT_EQ(box.Text(), u"t\u00E9 ");
    // An empty clipboard pastes nothing.
    ASSERT_TRUE(OpenClipboard(form->Handle()));
    EmptyClipboard();
    CloseClipboard();
    form->MenuPaste->Click();
    EXPECT_EQ(box.Text(), u"t\u00E9 ");
    // The box holds one line: pasted line breaks become blanks.
    SetClipboardText(form->Handle(), u"one\r\ntwo\nthree");
    box.SetText(u"");
    form->MenuPaste->Click();
    EXPECT_EQ(box.Text(), u"one two three");
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(SearchWindowTest, EditHistoryOpensTheFileWithTheShell) {
    // The shell's default action on a ".bat" file runs it: a history path of that kind shows that
    // the command hands the path to the shell.
    const std::string mark = (folder_ / "opened.txt").string();
    const std::u16string path = AnsiToUtf16((folder_ / "history.bat").string());
    WriteWholeFile(Utf16ToAnsi(path), "@echo opened> \"" + mark + "\"\r\n");
    ChangeSettings([&](ToolbarSettings& s) { s.HistoryPath = path; });
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    form->MenuEditHistory->Click();
    EXPECT_TRUE(testing_support::PumpUntil([&] { return FileExists(mark); }));
}

}  // namespace
}  // namespace tb::search_tests
