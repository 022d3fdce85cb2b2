// Measures, not tests (disabled; run with --gtest_also_run_disabled_tests --gtest_filter='*Bench*'):
// building a 300-item toolbar from its template against adding the same 300 buttons with captions
// and images to a bare ToolbarWindow32, the sample toolbar's build time, and the memory a built
// window holds. Prints the figures.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "base/text.hpp"
#include "settings/toolbar_settings.hpp"
#include "storage/bin_data.hpp"
#include "storage/storage.hpp"
#include "toolbar/toolbar_form_win.hpp"
#include "tests/support/temp_folder.hpp"
#include "tests/support/template_file.hpp"
#include "tools/commands.hpp"

namespace tb {
namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters.PagefileUsage;  // Wine leaves PrivateUsage at 0
}

void UseFolder(const std::filesystem::path& folder) {
    const std::u16string data = AnsiToUtf16(folder.string());
    ChangeSettings([&](ToolbarSettings& s) {
        s = ToolbarSettings{};
        s.DataFolder = data;
        s.TemplateBaseName = u"SampleBar";
        s.SettingsIniPath = data + u"\\Settings.ini";
    });
}

double BuildOnce() {
    TFormToolbar::Pointer form = TFormToolbar::New();
    TFormToolbar::CreateArgs args;
    args.width = 1000;
    args.run_template_update = false;
    args.visible = false;
    const auto start = Clock::now();
    form->Construct(args);
    return Ms(Clock::now() - start);
}

TEST(ToolbarBench, DISABLED_BuildAgainstBareButtons) {
    const testing_support::TempFolder temp;
    const std::filesystem::path folder(temp.Folder());
    std::ostringstream out, err;
    ASSERT_EQ(tool::BuildCommand(TB_SOURCE_DIR "/samples/sample-bar/sample-bar.json", folder.string(), std::nullopt, out, err), 0);
    UseFolder(folder);
    BuildOnce();  // warm up: classes, fonts, WIC
    const double sample = BuildOnce();
    const std::size_t before = PrivateBytes();
    {
        TFormToolbar::Pointer form = TFormToolbar::New();
        TFormToolbar::CreateArgs args;
        args.run_template_update = false;
        form->Construct(args);
        std::printf("sample toolbar: memory held by a built window %zu KB, %lu GDI and %lu USER objects\n",
                    (PrivateBytes() - before) / 1024, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
                    GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
    }
    std::printf("sample toolbar: build %.2f ms\n", sample);

    // 300 plain items with captions and images on the top level (the icon store of the sample).
    WriteTemplateFile((folder / "SampleBar.tb").string(), [](TrsStorage& store) {
        for (int i = 0; i < 10; ++i) store.WriteInteger("\\Icons\\" + std::to_string(i), i);
        for (int i = 1; i <= 300; ++i) {
            const std::string s = "mi" + std::to_string(i);
            store.WriteString("\\Order\\" + std::to_string(i), s);
            store.WriteString("\\" + s + "\\Caption", "Item " + std::to_string(i));
            store.WriteInteger("\\" + s + "\\ImageIndex", i % 10);
            store.WriteString("\\" + s + "\\URL", "http://example.com/" + std::to_string(i));
            store.WriteString("\\" + s + "\\Parent", "Toolbar");
            store.WriteBool("\\" + s + "\\Visible", true);
        }
    });
    const double built = BuildOnce();

    // The same buttons added to a bare ToolbarWindow32, one message per button as a plain program would.
    TPngImageList model;
    TrsStorage icons;
    TrsBinData icon_file;
    icons.SetOptions(0);
    icons.SetStorageData(&icon_file);
    icon_file.FileDir = fdCustom;
    icon_file.Options = 0;
    icon_file.FileName = (folder / "Icons.bin").string();
    icons.SetActive(true);
    icons.ReadImageList("\\Icons", model);
    const auto start = Clock::now();
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1000, 30, nullptr, nullptr, nullptr, nullptr);
    HWND bare = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, WS_CHILD | TBSTYLE_FLAT | TBSTYLE_LIST, 0, 0, 1000, 30,
                                parent, nullptr, nullptr, nullptr);
    SendMessageW(bare, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    UniqueImageList list = CreatePlatformImageList(model);
    SendMessageW(bare, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list.Get()));
    for (int i = 1; i <= 300; ++i) {
        const std::wstring caption = L"Item " + std::to_wstring(i);
        TBBUTTON button = {};
        button.iBitmap = i % 10;
        button.idCommand = 1000 + i;
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
        button.iString = reinterpret_cast<INT_PTR>(caption.c_str());
        SendMessageW(bare, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&button));
    }
    SendMessageW(bare, TB_AUTOSIZE, 0, 0);
    const double bare_ms = Ms(Clock::now() - start);
    DestroyWindow(parent);
    // And in one message, the fastest a program can add them.
    const auto batch_start = Clock::now();
    parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1000, 30, nullptr, nullptr, nullptr, nullptr);
    bare = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, WS_CHILD | TBSTYLE_FLAT | TBSTYLE_LIST, 0, 0, 1000, 30,
                           parent, nullptr, nullptr, nullptr);
    SendMessageW(bare, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    UniqueImageList list2 = CreatePlatformImageList(model);
    SendMessageW(bare, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list2.Get()));
    std::vector<std::wstring> captions;
    std::vector<TBBUTTON> buttons;
    for (int i = 1; i <= 300; ++i) captions.push_back(L"Item " + std::to_wstring(i));
    for (int i = 1; i <= 300; ++i) {
        TBBUTTON button = {};
        button.iBitmap = i % 10;
        button.idCommand = 1000 + i;
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
        button.iString = reinterpret_cast<INT_PTR>(captions[static_cast<std::size_t>(i - 1)].c_str());
        buttons.push_back(button);
    }
    SendMessageW(bare, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageW(bare, TB_AUTOSIZE, 0, 0);
    const double batch_ms = Ms(Clock::now() - batch_start);
    DestroyWindow(parent);
    std::printf("300 items: bare toolbar in one message %.2f ms, ratio %.2f\n", batch_ms, built / batch_ms);
    std::printf("300 items: template build %.2f ms, bare toolbar %.2f ms, ratio %.2f (goal <= 3)\n", built, bare_ms,
                built / bare_ms);
}

}  // namespace
}  // namespace tb
