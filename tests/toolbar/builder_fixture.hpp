#pragma once
// A toolbar built from a template held in memory, through a stand-in for the window: what the
// builder asked of the window is recorded, the items land in a TToolbarModel.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/text.hpp"
#include "settings/toolbar_settings.hpp"
#include "storage/storage.hpp"
#include "tests/support/temp_folder.hpp"
#include "toolbar/toolbar_builder.hpp"

namespace tb {

class FakeWindow : public BuildTarget {
public:
    void UpdateTemplate() override { calls.push_back("update"); }
    void LoadIconsAndStoredLogo() override { calls.push_back("icons"); }
    void ReloadTemplate() override { calls.push_back("reload"); }
    std::u16string FormFontName() const override { return u"Tahoma"; }
    std::int32_t FormFontSize() const override { return 8; }
    bool FormEnabled() const override { return true; }
    bool FormVisible() const override { return false; }  // while it is being built
    void SetLogoTransparent(bool value) override { transparent = value; }
    void SetSearchBoxWidth(std::int32_t value) override { search_width = value; }
    void SetSearchBoxVisible(bool value) override { search_visible = value; }
    bool FileExists(const std::u16string& path) const override {
        for (const auto& file : files) {
            if (file == path) return true;
        }
        return false;
    }
    void LoadLogoPicture(const std::u16string& path) override {
        calls.push_back("picture " + Utf16ToUtf8(FileNamePart(path)));
        if (picture_fails) throw Error("picture failed");
    }
    void LoadLogoPng(const std::u16string& path) override {
        calls.push_back("png " + Utf16ToUtf8(FileNamePart(path)));
        if (png_fails) throw Error("png failed");
    }
    TToolbarItem* FindOwnMenuItem(std::u16string_view name) override {
        TToolbarItem* item = own.Find(name);
        return item != nullptr && item->IsCustomItem() ? item : nullptr;
    }
    void ProcessMessages() override { ++pumps; }
    ItemClickEvent ItemClickHandler() override {
        return [this](TToolbarItem& item) { clicked.push_back(Utf16ToUtf8(item.Name())); };
    }
    ItemClickEvent SearchClickHandler() override {
        return [this](TToolbarItem& item) { clicked.push_back("search:" + Utf16ToUtf8(item.Name())); };
    }
    void LinkMainMenu(TToolbarItem& item) override { main_menu = &item; }

    TItemOwner own;  // the window's own items
    std::vector<std::string> calls;
    std::vector<std::u16string> files;
    std::vector<std::string> clicked;
    bool transparent = false, search_visible = true, picture_fails = false, png_fails = false;
    std::int32_t search_width = 0;
    int pumps = 0;
    TToolbarItem* main_menu = nullptr;
};

class BuilderTest : public ::testing::Test {
public:
    void SetUp() override {
        settings.DataFolder = u"C:\\Data\\Bar";
        settings.ToolbarName = u"Bar";
        settings.MemberId = u"42";
        settings.SearchUrl = u"http://default/?q=[SEARCH]";
        settings.SettingsIniPath = AnsiToUtf16((folder_ / "Settings.ini").string());
        window.own.Create(ItemKind::Item, u"MenuCut").SetCaption(u"Cut");
        window.own.Create(ItemKind::Separator, u"TBSeparatorItem39");
    }

    void WriteSettingsIni(const std::string& text) {
        std::FILE* file = std::fopen((folder_ / "Settings.ini").string().c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fputs(text.c_str(), file);
        std::fclose(file);
    }

    // Order entries 1..n and, per entry, its keys.
    void Order(const std::vector<std::string>& entries) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            tpl.WriteString("\\Order\\" + std::to_string(i + 1), entries[i]);
        }
    }
    void Item(const std::string& section, const std::string& caption, const std::string& parent = "Toolbar") {
        tpl.WriteString("\\" + section + "\\Caption", caption);
        tpl.WriteString("\\" + section + "\\Parent", parent);
        tpl.WriteBool("\\" + section + "\\Visible", true);
    }

    // Builds; a failure is kept as the framework would report it.
    void Build() {
        try {
            BuildToolbarFromTemplate(tpl, window, toolbar, settings, result);
        } catch (const std::exception& e) {
            error = e.what();
        }
    }

    TToolbarItem* Find(const char16_t* name) { return toolbar.Items().Find(name); }
    std::vector<std::u16string> TopNames() const {
        std::vector<std::u16string> names;
        for (const TToolbarItem* item : toolbar.TopLevel()) names.push_back(item->Name());
        return names;
    }

    tb::testing_support::TempFolder temp_;
    const std::filesystem::path folder_{temp_.Folder()};
    TrsStorage tpl;
    FakeWindow window;
    TToolbarModel toolbar;
    ToolbarSettings settings;
    BuildResult result;
    std::string error;
};

}  // namespace tb
