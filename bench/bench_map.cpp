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

#include <filesystem>

namespace {

using bench_app::choose_field;
using bench_app::Quiet;
using bench_app::select;

bool prepare() {
    gpvgen::Forecast sample; // the bundled sample
    return bench_app::open_forecast("kivar_bench_map_", "sample_rsm.gpv", sample);
}

// One map: level 850, item code, hour 24, in the format.
void one_map(benchmark::State& st, int item, const char* format) {
    if (!prepare()) return st.SkipWithError("cannot prepare the sample");
    choose_field(item);
    select(app::IDC_FORMAT_LIST, format);
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
    bench_app::all_items_png_run(st);
}
BENCHMARK(BM_AllItemsImageRunPng)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    return bench_app::run(argc, argv);
}
