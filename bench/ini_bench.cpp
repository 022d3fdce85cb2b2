// Settings.ini access as the toolbar does it: every ReadIniString and WriteIniString opens, parses
// and (for a changed value) rewrites the whole file. Measured on a typical small file and on one
// padded with 200 foreign sections, where the search from the previous section matters.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "base/file.hpp"
#include "settings/big_ini_file.hpp"

namespace {

std::string MakeFile(const std::string& name, int extra_sections) {
    const std::string path = (std::filesystem::temp_directory_path() / name).string();
    std::string text;
    for (int s = 0; s < extra_sections; ++s) {
        text += "[Section" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < 5; ++k) text += "Key" + std::to_string(k) + "=value " + std::to_string(k) + "\r\n";
        text += "\r\n";
    }
    text += "[Settings]\r\nSearch Type=2\r\nSearch=weather tomorrow\r\nDate=12/10/2026\r\n\r\n";
    tb::WriteWholeFile(path, text);
    return path;
}

void ReadIni(benchmark::State& state) {
    const std::string path = MakeFile("tb_bench_read.ini", static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(tb::ReadIniString(path, "Settings", "Search"));
    tb::DeleteOneFile(path);
}
BENCHMARK(ReadIni)->Arg(0)->Arg(200)->Unit(benchmark::kMicrosecond);

// Alternating values, so that every call really rewrites the file.
void WriteIni(benchmark::State& state) {
    const std::string path = MakeFile("tb_bench_write.ini", static_cast<int>(state.range(0)));
    bool flip = false;
    for (auto _ : state) {
        tb::WriteIniString(path, "Settings", "Search", flip ? "weather" : "news");
        flip = !flip;
    }
    tb::DeleteOneFile(path);
}
BENCHMARK(WriteIni)->Arg(0)->Arg(200)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
