// Raster page fill and the image writers on the application's 650 x 600 page.
#include "bench/bench_page.h"
#include "plot/core/state.h"
#include "plot/core/dispatch.h"
#include "plot/razidu.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

using namespace razidu;

namespace {

void open_page() {
    bench_page::open_map_page();
}

void paint_cells() {
    // 124 x 151 cells over the page, as a weather map field.
    for (int j = 0; j < 151; ++j)
        for (int i = 0; i < 124; ++i)
            fill_rect(float(i) * 23.6f, float(j) * 18.7f, float(i + 1) * 23.6f,
                      float(j + 1) * 18.7f, 1 + (i * 7 + j * 3) % 254);
}

void BM_FillWholePage(benchmark::State& state) {
    open_page();
    int colour = 0;
    for (auto _ : state) {
        raster_fill_rect(0, 0, 649, 599, ++colour & 255);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 652 * 600);
}
BENCHMARK(BM_FillWholePage);

void BM_FillCells(benchmark::State& state) {
    open_page();
    for (auto _ : state)
        paint_cells();
    state.SetItemsProcessed(int64_t(state.iterations()) * 124 * 151);
}
BENCHMARK(BM_FillCells);

void BM_Lines(benchmark::State& state) {
    open_page();
    for (auto _ : state)
        for (int i = 0; i < 600; ++i)
            raster_line(0, i, 649, 599 - i);
    state.SetItemsProcessed(int64_t(state.iterations()) * 600);
}
BENCHMARK(BM_Lines);

// One image file, as disfin writes it (under a temporary name, renamed).
void BM_Write(benchmark::State& state, int kind, const char* file) {
    open_page();
    paint_cells();
    const std::string path = std::string("/tmp/razidu_bench_") + file;
    for (auto _ : state) {
        if (write_image_file(path.c_str(), kind) != 0) state.SkipWithError("write failed");
    }
    std::remove(path.c_str());
}
BENCHMARK_CAPTURE(BM_Write, bmp, 6, "a.bmp");
BENCHMARK_CAPTURE(BM_Write, png, 4, "a.png");
BENCHMARK_CAPTURE(BM_Write, tiff, 1, "a.tif");
BENCHMARK_CAPTURE(BM_Write, ppm, 5, "a.ppm");
BENCHMARK_CAPTURE(BM_Write, raw, 2, "a.img");

} // namespace

BENCHMARK_MAIN();
