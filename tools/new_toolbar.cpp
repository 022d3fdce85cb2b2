#include "tools/new_toolbar.hpp"

#include <cstdio>
#include <ostream>
#include <random>
#include <vector>

#include "base/errors.hpp"
#include "base/file.hpp"
#include "base/text.hpp"
#include "storage/storage_data.hpp"
#include "tools/cli.hpp"
#include "tools/embedded_files.hpp"
#include "tools/json_text.hpp"

namespace tb::tool {

extern const EmbeddedFile kStarterFiles[];
extern const size_t kStarterFiles_count;

std::span<const EmbeddedFile> StarterFiles() { return {kStarterFiles, kStarterFiles_count}; }

namespace {

// Latin-1's letters U+00C0 to U+00FF without their accents ('.' where a letter has no plain form).
constexpr std::string_view kLatin1Plain = "AAAAAAACEEEEIIIIDNOOOOO.OUUUUY..aaaaaaaceeeeiiiidnooooo.ouuuuy.y";

std::string JoinFolder(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return (last == '/' || last == '\\') ? folder + name : folder + "/" + name;
}

}  // namespace

std::string BaseNameFor(const std::string& toolbar_name) {
    std::string base;
    const auto wide = Utf8ToUtf16(toolbar_name);
    if (wide) {
        for (const char16_t c : *wide) {
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
                base += static_cast<char>(c);
            } else if (c >= 0xC0 && c <= 0xFF && kLatin1Plain[c - 0xC0] != '.') {
                base += kLatin1Plain[c - 0xC0];
            }
        }
    }
    return base.empty() ? "Toolbar" : base;
}

std::string NewClassId() {
    std::random_device random;
    std::uniform_int_distribution<int> nibble(0, 15);
    std::string hex(32, '0');
    for (char& c : hex) c = "0123456789ABCDEF"[nibble(random)];
    hex[12] = '4';                                  // version 4: random
    hex[16] = "89AB"[nibble(random) & 3];           // the variant of RFC 4122
    std::string id = "{";
    for (size_t i = 0; i < hex.size(); ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) id += '-';
        id += hex[i];
    }
    return id + "}";
}

std::string StarterSource(const std::string& toolbar_name, const std::string& base_name, const std::string& class_id) {
    const std::string lower = [&] {
        std::string s = base_name;
        for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return s;
    }();
    // Written as text, not through the JSON library, to keep the order a reader expects.
    const auto q = [](const std::string& text) { return Json(text).dump(-1, ' ', false); };
    return "{\n"
           "  \"$schema\": \"toolbar-source.schema.json\",\n"
           "  \"name\": " + q(base_name) + ",\n"
           "  \"options\": {\n"
           "    \"Toolbar GUID\": " + q(class_id) + ",\n"
           "    \"Toolbar Name\": " + q(toolbar_name) + ",\n"
           "    \"Version\": \"1.0\",\n"
           "    \"Company Name\": \"Your Company\",\n"
           "    \"Home Page URL\": \"https://www.example.com/\",\n"
           "    \"Contact E-Mail\": \"mailto:support@example.com\",\n"
           "    \"Updates URL\": \"https://updates.example.com/" + lower + "/\",\n"
           "    \"Copyright\": \"Copyright (c) Your Company\",\n"
           "    \"Description\": " + q(toolbar_name + ": links and a search box for your browser.") + ",\n"
           "    \"About Caption\": " + q("About " + toolbar_name) + ",\n"
           "    \"About Show\": false\n"
           "  },\n"
           "  \"logo\": \"logo.png\",\n"
           "  \"items\": [\n"
           "    {\"name\": \"miHome\", \"caption\": \"Home\", \"icon\": \"icons/go-home.png\",\n"
           "     \"url\": \"Our home page|https://www.example.com/?member=[MEMBER]\"},\n"
           "    {\"name\": \"miNews\", \"caption\": \"News\", \"icon\": \"icons/internet-news-reader.png\",\n"
           "     \"url\": \"Today's news|https://news.example.com/\"},\n"
           "    \"-\",\n"
           "    {\"type\": \"search\", \"caption\": \"Search\", \"icon\": \"icons/edit-find.png\", \"engines\": [\n"
           "      {\"name\": \"miEngineWeb\", \"caption\": \"Web\", \"icon\": \"icons/internet-web-browser.png\",\n"
           "       \"url\": \"https://search.example.com/?q=[SEARCH]\"}\n"
           "    ]},\n"
           "    \"-\",\n"
           "    {\"name\": \"miAbout\", \"caption\": " + q("About " + toolbar_name) +
           ", \"icon\": \"icons/help-browser.png\", \"url\": \"[ABOUT]\"}\n"
           "  ]\n"
           "}\n";
}

int NewCommand(const std::string& toolbar_name, const std::string& folder_given, std::ostream& out, std::ostream& err) {
    if (toolbar_name.empty() || !Utf8ToUtf16(toolbar_name)) throw Error("NAME must be non-empty UTF-8 text");
    const std::string base_name = BaseNameFor(toolbar_name);
    const std::string folder = folder_given.empty() ? base_name : folder_given;
    const std::string class_id = NewClassId();
    std::vector<std::pair<std::string, std::string>> files{
        {base_name + ".json", StarterSource(toolbar_name, base_name, class_id)}};
    for (const EmbeddedFile& file : StarterFiles()) files.emplace_back(file.name, std::string(file.Bytes()));
    // Nothing is written when any file is there already: a publisher's edits are never lost.
    bool clash = false;
    for (const auto& [name, bytes] : files) {
        if (FileExists(JoinFolder(folder, name)) || DirectoryExists(JoinFolder(folder, name))) {
            err << JoinFolder(folder, name) << ": already exists; nothing is written\n";
            clash = true;
        }
    }
    if (clash) return kExitFindings;
    CreateFolderChain(JoinFolder(folder, "icons"));
    for (const auto& [name, bytes] : files) WriteWholeFile(JoinFolder(folder, name), bytes);
    const std::string source = JoinFolder(folder, base_name + ".json");
    out << "wrote " << source << " (\"" << toolbar_name << "\", class id " << class_id
        << ") with its icons, logo and schema\n"
        << "next: edit it (the schema tells an editor every field), then\n"
        << "  tbtool build " << source << " " << JoinFolder(folder, "out") << "\n";
    return kExitOk;
}

}  // namespace tb::tool
