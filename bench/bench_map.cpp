// Speed of the weather map on the bundled RSM sample (four levels, nine
// items, hours 0 to 51 every 3 hours) with the real coastline: one complete
// map (temperature cells, or wind arrows) to PNG and to BMP, and an "All
// items" image run to PNG. The library's end-of-plot reports are discarded.
#include "app/app.h"
#include "app/control_ids.h"
#include "gpv/gpv.h"
#include "bench/bench_app.h"
#include "gpvgen/gpvgen.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using bench_app::folder;
using bench_app::Quiet;
using bench_app::select;

bool prepare() {
    gpvgen::Forecast sample; // the bundled sample
    return bench_app::open_forecast("kivar_bench_map_", "sample_rsm.gpv", sample);
}

// One map: level 850, item code, hour 24, in the format.
void one_map(benchmark::State& st, int item, const char* format) {
    if (!prepare()) return st.SkipWithError("cannot prepare the sample");
    select(app::IDC_LEVEL_LIST, "850");
    app::dialog_handlers.command(app::IDC_LEVEL_LIST, platform::SelectionChanged);
    for (int k = 0; k < gpv::index.itemCount; ++k)
        if (gpv::index.items[k] == item) platform::list_select(app::IDC_ITEM_LIST, k);
    select(app::IDC_HOUR_LIST, "24");
    select(app::IDC_FORMAT_LIST, format);
    platform::set_checked(app::IDC_SELECTED_ONLY, true);
    platform::set_checked(app::IDC_ALL_ITEMS, false);
    Quiet quiet;
    for (auto _ : st)
        app::plot_command();
}

void BM_TemperatureMapPng(benchmark::State& st) {
    one_map(st, 4, "png");
}
void BM_TemperatureMapBmp(benchmark::State& st) {
    one_map(st, 4, "bmp");
}
void BM_WindMapPng(benchmark::State& st) {
    one_map(st, 23, "png");
}
void BM_WindMapBmp(benchmark::State& st) {
    one_map(st, 23, "bmp");
}
BENCHMARK(BM_TemperatureMapPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TemperatureMapBmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindMapPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindMapBmp)->Unit(benchmark::kMillisecond);

void BM_AllItemsImageRunPng(benchmark::State& st) {
    if (!prepare()) return st.SkipWithError("cannot prepare the sample");
    select(app::IDC_FORMAT_LIST, "png");
    platform::set_checked(app::IDC_SELECTED_ONLY, false);
    platform::set_checked(app::IDC_ALL_ITEMS, true);
    fs::remove_all(folder / "out");
    fs::create_directories(folder / "out");
    double seconds = 0;
    {
        Quiet quiet;
        for (auto _ : st) {
            const auto start = std::chrono::steady_clock::now();
            app::plot_command();
            seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    }
    // Fields whose values are all equal give no map.
    const auto maps = std::distance(fs::directory_iterator(folder / "out"), {});
    st.counters["maps"] = static_cast<double>(maps);
    if (maps > 0) st.counters["ms_per_map"] = 1000.0 * seconds / static_cast<double>(maps);
}
BENCHMARK(BM_AllItemsImageRunPng)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    return bench_app::run(argc, argv);
}
