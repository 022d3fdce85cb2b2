#pragma once
// A toolbar window hosted by the stand-in browser, built from a small template in a data folder of
// its own, with every message box and file dialog answered by a recorder.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file.hpp"
#include "base/text.hpp"
#include "host/stand_in_browser_win.hpp"
#include "settings/toolbar_settings.hpp"
#include "storage/bin_data.hpp"
#include "storage/storage.hpp"
#include "tests/helpers/win_support.hpp"
#include "tests/support/temp_folder.hpp"
#include "tests/support/template_file.hpp"
#include "toolbar/toolbar_form_win.hpp"

namespace tb::search_tests {

inline constexpr char kGuid[] = "{11111111-2222-3333-4444-555555555555}";

class SearchWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        browser_ = std::make_unique<host::StandInBrowser>();
        const std::u16string data = AnsiToUtf16(folder_.string());
        ChangeSettings([&](ToolbarSettings& s) {
            s = ToolbarSettings{};
            s.ToolbarGuid = kGuid;
            s.DataFolder = data;
            s.TemplateBaseName = u"Bar";
            s.ToolbarName = u"Bar";
            s.SettingsIniPath = data + u"\\Settings.ini";
            s.HistoryPath = data + u"\\History.txt";
            s.SearchUrl = u"http://default.example/?q=[SEARCH]";
            s.HomePageUrl = u"http://home.example/";
            s.ContactEmail = u"mailto:help@example.com";
        });
    }
    void TearDown() override {
        browser_.reset();
        CoUninitialize();
    }

    void WriteTemplate(const std::function<void(TrsStorage&)>& fill) {
        WriteTemplateFile((folder_ / "Bar.tb").string(), fill);
    }

    // An item "cmd" on the toolbar; the selector "miSearch" with the engines "web" (tag 1) and
    // "img" (tag 2); "own", an item of tag 2 with a URL template of its own, on the toolbar.
    void WriteEngineTemplate(bool search_dynamic = true, const std::function<void(TrsStorage&)>& more = {}) {
        WriteTemplate([&](TrsStorage& t) {
            t.WriteBool("\\Options\\Search Dynamic", search_dynamic);
            const char* order[] = {"cmd", "miSearch", "web", "img", "own"};
            for (int i = 0; i < 5; ++i) t.WriteString("\\Order\\" + std::to_string(i + 1), order[i]);
            const auto item = [&](const std::string& name, const char* caption, const char* url, const char* parent,
                                  int tag) {
                t.WriteString("\\" + name + "\\Caption", caption);
                if (*url) t.WriteString("\\" + name + "\\URL", url);
                t.WriteString("\\" + name + "\\Parent", parent);
                t.WriteBool("\\" + name + "\\Visible", true);
                t.WriteInteger("\\" + name + "\\Tag", tag);
                if (parent == std::string("miSearch")) t.WriteInteger("\\" + name + "\\GroupIndex", 1);
            };
            item("cmd", "Command", "http://cmd.example/", "Toolbar", 0);
            item("miSearch", "Search", "", "Toolbar", 0);
            t.WriteInteger("\\miSearch\\Count", 2);
            item("web", "Web", "http://web.example/?q=[SEARCH]", "miSearch", 1);
            item("img", "Images", "http://img.example/?q=[SEARCH]", "miSearch", 2);
            item("own", "Own", "http://own.example/?q=[SEARCH]", "Toolbar", 2);
            if (more) more(t);
        });
    }

    TFormToolbar::Pointer Make(bool with_browser = true) {
        TFormToolbar::Pointer form = TFormToolbar::New();
        TFormToolbar::CreateArgs args;
        args.width = 900;
        args.run_template_update = false;
        args.visible = false;
        EXPECT_TRUE(form->Construct(args));
        if (with_browser) form->SetBrowser(browser_->Browser());
        return form;
    }

    static TToolbarItem& Item(TFormToolbar& form, std::u16string_view name) {
        TToolbarItem* item = form.ToolbarModel().Items().Find(name);
        if (item == nullptr) throw std::runtime_error("no such item");
        return *item;
    }

    std::vector<std::wstring> Navigated() const {
        std::vector<std::wstring> urls;
        for (const host::NavigateCall& call : browser_->Record().navigations) urls.push_back(call.url);
        return urls;
    }

    // Types a character into the search box as the keyboard would.
    static void Type(TFormToolbar& form, wchar_t key) { SendMessageW(form.SearchBox.EditHandle(), WM_CHAR, key, 1); }

    std::string HistoryPath() const { return (folder_ / "History.txt").string(); }
    std::optional<std::string> HistoryBytes() const { return ReadWholeFile(HistoryPath()); }
    void WriteHistory(std::string_view bytes) const { WriteWholeFile(HistoryPath(), bytes); }

    testing_support::CrossProcessLock frames_{testing_support::kFrameWindows};
    std::unique_ptr<host::StandInBrowser> browser_;
    tb::testing_support::TempFolder temp_;
    const std::filesystem::path folder_{temp_.Folder()};
    RecordingAnswerer boxes_;
    ScopedDialogAnswerer answering_{&boxes_};
};

// UTF-16LE bytes of ASCII or UTF-16 text, for expected file contents.
inline std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

}  // namespace tb::search_tests
