// Property: any bytes load as an INI file without failing; after one write the rewritten file reads
// back the written value, and every other section's lines survive unchanged.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/file.hpp"
#include "base/text.hpp"
#include "settings/big_ini_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = (std::filesystem::temp_directory_path() / "tb_ini_fuzz.ini").string();
    tb::WriteWholeFile(path, std::string(reinterpret_cast<const char*>(data), size));
    std::string first_section;
    std::vector<std::string> kept_lines;
    {
        tb::TBigIniFile ini(path);
        for (size_t i = 0; i < ini.Sections().Count(); ++i) {
            if (tb::EqualsIgnoreAsciiCase(ini.Sections().Name(i), "Settings")) continue;
            first_section = ini.Sections().Name(i);
            kept_lines = ini.Sections().Lines(i);
            break;
        }
        (void)ini.ReadString("Settings", "Search", "");
        ini.WriteString("Settings", "Search", "fuzz=value");
        ini.UpdateFile();
    }
    tb::TBigIniFile again(path);
    if (again.ReadString("Settings", "Search", "") != "fuzz=value") std::abort();
    if (!first_section.empty() && !kept_lines.empty()) {
        bool found = false;
        for (size_t i = 0; i < again.Sections().Count(); ++i) {
            if (again.Sections().Name(i) == first_section) {
                found = again.Sections().Lines(i) == kept_lines;
                break;
            }
        }
        if (!found) std::abort();
    }
    return 0;
}
