// Axis systems with labels and stroke-font text on the application's
// 650 x 600 raster page, and the clipper on long polylines.
#include "plot/core/state.h"
#include "plot/draw/draw.h"
#include "bench/bench_page.h"
#include "plot/razidu.h"

#include <benchmark/benchmark.h>

#include <cmath>

using namespace razidu;

namespace {

void open_page() {
    bench_page::open_map_page();
    height(40);
    hwfont();
}

// The weather map's frame: four axes, 26 ticks, 14 labels and two names.
void BM_WeatherMapAxes(benchmark::State& state) {
    open_page();
    for (auto _ : state) {
        axspos(526, 2346);
        name("Longitude", "x");
        name("Latitude", "y");
        labels("map", "xy");
        digits(-1, "xy");
        graf3(119.5f, 150.5f, 120.0f, 5.0f, 19.5f, 50.5f, 20.0f, 5.0f, 0, 9, 0, 1);
        close_axis_system();
    }
}
BENCHMARK(BM_WeatherMapAxes);

// A title-sized line of complx text at height 40.
void BM_TextLine(benchmark::State& state) {
    open_page();
    const char* text = "Temperature (C)  850 hPa  2026-12-06 00UTC  FT=12";
    for (auto _ : state)
        messag(text, 300, 200);
    state.SetItemsProcessed(int64_t(state.iterations()) * 49);
}
BENCHMARK(BM_TextLine);

// A coastline-like polyline of 10000 points, half of it outside the clip
// rectangle, through the pen stage and the clipper.
void BM_ClippedPolyline(benchmark::State& state) {
    open_page();
    int* c = g_plot.line.clip_rect;
    c[0] = 532, c[1] = 473, c[2] = 2469, c[3] = 2340;
    for (auto _ : state) {
        pen_move_to(1500, 1400);
        for (int i = 1; i < 10000; ++i) {
            const float a = float(i) * 0.01f, r = 600.0f + 700.0f * std::sin(a * 3.1f);
            pen_draw_to(1500 + r * std::cos(a), 1400 + r * std::sin(a));
        }
        flush_polyline();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 10000);
}
BENCHMARK(BM_ClippedPolyline);

} // namespace

BENCHMARK_MAIN();
