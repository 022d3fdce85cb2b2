// Loading a large storage file against a plain read of the same file, and key lookups by path.
// Goals: the load costs at most 3 times the plain read; a lookup at most 150 ns.
#include <benchmark/benchmark.h>

#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/file.hpp"
#include "storage/bin_data.hpp"
#include "storage/storage.hpp"

namespace {

constexpr int kSections = 1000;
constexpr int kKeys = 65535;

std::string SectionName(int s) { return "Section " + std::to_string(s); }
std::string KeyName(int k) { return "Key" + std::to_string(k); }

// A file of 65535 keys spread over 1000 sections: texts, integers and booleans in turn.
const std::string& BenchFile() {
    static const std::string path = [] {
        tb::TrsStorage store;
        // Section by section, so that every new key lands at the end of the table.
        for (int k0 = 0; k0 < kSections * 66; ++k0) {
            const int k = (k0 % 66) * kSections + k0 / 66;
            if (k >= kKeys) continue;
            const std::string key = "\\" + SectionName(k % kSections) + "\\" + KeyName(k);
            switch (k % 3) {
                case 0: store.WriteString(key, "http://www.example.com/search?q=[SEARCH]&n=" + std::to_string(k)); break;
                case 1: store.WriteInteger(key, k); break;
                default: store.WriteBool(key, k % 2 == 0); break;
            }
        }
        const std::string file = (std::filesystem::temp_directory_path() / "tb_storage_bench.bin").string();
        tb::WriteWholeFile(file, tb::TrsBinData::EncodeTables(store));
        return file;
    }();
    return path;
}

void PlainRead(benchmark::State& state) {
    const std::string& path = BenchFile();
    size_t bytes = 0;
    for (auto _ : state) {
        auto content = tb::ReadWholeFile(path);
        bytes = content->size();
        benchmark::DoNotOptimize(content);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(PlainRead)->Unit(benchmark::kMillisecond);

void LoadFile(benchmark::State& state) {
    tb::TrsBinData data;
    data.FileDir = tb::fdCustom;
    data.Options = 0;
    data.FileName = BenchFile();
    tb::TrsStorage store;
    store.SetOptions(0);
    store.SetStorageData(&data);
    for (auto _ : state) {
        store.Reload();
        benchmark::DoNotOptimize(store.Keys().data());
    }
    if (store.Keys().size() != kKeys) state.SkipWithError("the file did not load whole");
}
BENCHMARK(LoadFile)->Unit(benchmark::kMillisecond);

struct LoadedStore {
    tb::TrsBinData data;
    tb::TrsStorage store;
    LoadedStore() {
        data.FileDir = tb::fdCustom;
        data.Options = 0;
        data.FileName = BenchFile();
        store.SetOptions(0);
        store.SetStorageData(&data);
        store.Reload();
    }
};

// 4096 random paths, existing or not; each lookup takes the next one, so the caches rarely help.
std::vector<std::string> RandomPaths(bool existing) {
    std::mt19937 random(7);
    std::vector<std::string> paths;
    for (int i = 0; i < 4096; ++i) {
        const int k = static_cast<int>(random() % kKeys);
        const int s = existing ? k % kSections : (k + 1) % kSections;
        paths.push_back("\\" + SectionName(s) + "\\" + KeyName(k));
    }
    return paths;
}

void ReadStringExisting(benchmark::State& state) {
    static LoadedStore loaded;
    const auto paths = RandomPaths(true);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(loaded.store.ReadString(paths[i++ & 4095], ""));
    }
}
BENCHMARK(ReadStringExisting);

void ReadStringMissing(benchmark::State& state) {
    static LoadedStore loaded;
    const auto paths = RandomPaths(false);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(loaded.store.ReadString(paths[i++ & 4095], ""));
    }
}
BENCHMARK(ReadStringMissing);

}  // namespace

// Large buffers would otherwise come fresh from the kernel on every iteration, and page faults
// would dominate both the plain read and the load: keep them in the heap, so that the comparison
// is between reading and parsing.
int main(int argc, char** argv) {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
