// Reading an icon store's image list: the saved properties of 200 real 16x16 PNG icons (Tango),
// parsed and decoded into 32-bit images, as the toolbar does for every window it builds. The writer
// is measured beside it, as the authoring tool uses it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/file.hpp"
#include "iconlist/png_image_list.hpp"

namespace {

constexpr std::size_t kIcons = 200;

const std::string& SavedList() {
    static const std::string saved = [] {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator("/usr/share/icons/Tango/16x16")) {
            for (const auto& icon : std::filesystem::directory_iterator(entry.path())) {
                if (icon.path().extension() == ".png") files.push_back(icon.path());
            }
        }
        std::sort(files.begin(), files.end());
        if (files.size() < kIcons) throw std::runtime_error("too few Tango icons installed");
        tb::TPngImageList list;
        list.SetWidth(16);
        list.SetHeight(16);
        for (std::size_t i = 0; i < kIcons; ++i) {
            list.AddPngImage().PngImage.SetData(*tb::ReadWholeFile(files[i].string()));
        }
        return tb::WriteImageListProperties(list);
    }();
    return saved;
}

void ReadImageList200(benchmark::State& state) {
    const std::string& saved = SavedList();
    for (auto _ : state) {
        tb::TPngImageList list;
        tb::ReadImageListProperties(saved, list);
        if (list.Images().size() != kIcons) state.SkipWithError("not every icon decoded");
        benchmark::DoNotOptimize(list.Images().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * saved.size()));
    state.counters["icons"] = static_cast<double>(kIcons);
    state.counters["per_icon"] = benchmark::Counter(
        static_cast<double>(kIcons), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(ReadImageList200)->Unit(benchmark::kMillisecond);

void WriteImageList200(benchmark::State& state) {
    tb::TPngImageList list;
    tb::ReadImageListProperties(SavedList(), list);
    for (auto _ : state) {
        benchmark::DoNotOptimize(tb::WriteImageListProperties(list));
    }
}
BENCHMARK(WriteImageList200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
