// Isolines on a map page: a 650 x 600 PNG page with the map's axis system,
// without and with the isolines of a 481 x 505 field (the finest grid of the
// models) at 20 levels with labels. The difference of the two is the cost of
// the isolines.
#include "plot/core/state.h"
#include "plot/razidu.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace razidu;

namespace {

constexpr int kNx = 481, kNy = 505;

struct Field {
    std::vector<float> x, y, z;
    Field() {
        for (int i = 0; i < kNx; ++i)
            x.push_back(120.0f + 0.0625f * float(i));
        for (int j = 0; j < kNy; ++j)
            y.push_back(47.6f - 0.05f * float(j));
        // A pressure-like field: two lows and a high over a gentle gradient.
        for (float lat : y)
            for (float lon : x) {
                const auto bump = [&](float cx, float cy, float r, float a) {
                    const float dx = (lon - cx) / r, dy = (lat - cy) / r;
                    return a * std::exp(-(dx * dx + dy * dy));
                };
                z.push_back(1012.0f + 0.3f * (lat - 35.0f) + bump(130, 40, 5, -28) +
                            bump(143, 30, 4, -18) + bump(136, 25, 8, 14));
            }
    }
};

void map_page(benchmark::State& state, bool isolines) {
    static const Field f;
    std::vector<float> levels;
    for (int k = 0; k < 20; ++k)
        levels.push_back(984.0f + 2.0f * float(k));
    const std::string path =
        (std::filesystem::temp_directory_path() / "bench_contour.png").string();
    std::FILE* null = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        reset_library();
        metafl("png");
        winsiz(650, 600);
        filmod("delete");
        setfil(path.c_str());
        page(2925, 2820);
        disini();
        g_plot.msg_stream = null; // keep the end-of-plot report out of the figures
        axspos(300, 2450);
        labels("MAP", "XY");
        graf(119.5f, 150.5f, 120, 5, 19.5f, 50.5f, 20, 5);
        if (isolines) {
            isolab(600, -1);
            isolin(f.x.data(), kNx, f.y.data(), kNy, f.z.data(), levels.data(), 20);
        }
        close_axis_system();
        disfin();
    }
    std::fclose(null);
    std::filesystem::remove(path);
}

void BM_MapPagePng(benchmark::State& state) {
    map_page(state, false);
}
BENCHMARK(BM_MapPagePng)->Unit(benchmark::kMillisecond);

void BM_MapPagePngIsolines20(benchmark::State& state) {
    map_page(state, true);
}
BENCHMARK(BM_MapPagePngIsolines20)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
