// Property: a toolbar builds from any template bytes without a crash: the build either completes or
// stops at one of the system's own errors (what was built so far stays), and the toolbar it leaves
// can always be described as JSON.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/errors.hpp"
#include "storage/read_only_store.hpp"
#include "toolbar/toolbar_builder.hpp"
#include "toolbar/toolbar_description.hpp"

namespace {

// A window that does nothing: no update, no icons, no files, no logo.
class BareWindow final : public tb::BuildTarget {
public:
    void UpdateTemplate() override {}
    void LoadIconsAndStoredLogo() override {}
    void ReloadTemplate() override {}
    std::u16string FormFontName() const override { return u"Tahoma"; }
    std::int32_t FormFontSize() const override { return 8; }
    bool FormEnabled() const override { return true; }
    bool FormVisible() const override { return false; }
    void SetLogoTransparent(bool) override {}
    void SetSearchBoxWidth(std::int32_t) override {}
    void SetSearchBoxVisible(bool) override {}
    bool FileExists(const std::u16string&) const override { return false; }
    void LoadLogoPicture(const std::u16string&) override {}
    void LoadLogoPng(const std::u16string&) override {}
    tb::TToolbarItem* FindOwnMenuItem(std::u16string_view name) override { return own.Find(name); }
    void ProcessMessages() override {}
    tb::ItemClickEvent ItemClickHandler() override { return [](tb::TToolbarItem&) {}; }
    tb::ItemClickEvent SearchClickHandler() override { return [](tb::TToolbarItem&) {}; }
    void LinkMainMenu(tb::TToolbarItem&) override {}

    tb::TItemOwner own;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto templ = tb::ReadOnlyStore::FromImage(std::string(reinterpret_cast<const char*>(data), size));
    BareWindow window;
    window.own.Create(tb::ItemKind::Item, u"MenuCut");
    tb::TToolbarModel toolbar;
    tb::ToolbarSettings settings;
    settings.SettingsIniPath = u"/nonexistent/tb-fuzz/Settings.ini";
    tb::BuildResult result;
    tb::ToolbarFacts facts;
    try {
        tb::BuildToolbarFromTemplate(templ.Store(), window, toolbar, settings, result);
    } catch (const tb::Error& error) {
        facts.errors.push_back(error.what());
    }
    facts.toolbar = &toolbar;
    facts.selector = result.SearchSelector;
    facts.main_menu = result.MainMenuItem;
    facts.current_search_url = result.CurrentSearchUrl;
    const std::string json = tb::DescribeToolbar(facts);
    if (json.empty() || json.front() != '{' || json.back() != '}') std::abort();
    return 0;
}
