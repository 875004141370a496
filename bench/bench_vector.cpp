// One whole page per vector format (PostScript, PDF, CGM) on the
// application's 2925 x 2820 page: 124 x 121 = 15,004 coloured cells and a
// coastline-like set of 2,000 polylines of 20 points, from disini to disfin.
#include "plot/core/state.h"
#include "plot/core/dispatch.h"
#include "plot/razidu.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

using namespace razidu;

namespace {

void draw_page() {
    for (int j = 0; j < 121; ++j)
        for (int i = 0; i < 124; ++i)
            fill_rect(200 + float(i) * 20.0f, 200 + float(j) * 20.0f, 219 + float(i) * 20.0f,
                      219 + float(j) * 20.0f, 1 + (i * 7 + j * 3) % 254);
    color("FORE");
    for (int k = 0; k < 2000; ++k) {
        const float x = 200 + float(k % 50) * 49.0f, y = 200 + float(k / 50) * 60.0f;
        strtpt(x, y);
        for (int p = 1; p < 20; ++p)
            connpt(x + float(p) * 2.5f, y + 20.0f * std::sin(float(p + k)));
    }
}

void page_in(benchmark::State& state, const char* device, const char* file) {
    const std::string path = (std::filesystem::temp_directory_path() / file).string();
    std::FILE* null = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        reset_library();
        metafl(device);
        filmod("delete");
        setfil(path.c_str());
        scrmod("revers");
        page(2925, 2820);
        disini();
        g_plot.msg_stream = null; // keep the end-of-plot report out of the figures
        draw_page();
        disfin();
    }
    std::fclose(null);
    state.SetItemsProcessed(int64_t(state.iterations()) * 124 * 121);
    state.counters["file_bytes"] = double(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}

void BM_PostScriptPage(benchmark::State& state) {
    page_in(state, "ps", "bench_vector.ps");
}
BENCHMARK(BM_PostScriptPage)->Unit(benchmark::kMillisecond);

void BM_PdfPage(benchmark::State& state) {
    page_in(state, "pdf", "bench_vector.pdf");
}
BENCHMARK(BM_PdfPage)->Unit(benchmark::kMillisecond);

void BM_CgmPage(benchmark::State& state) {
    page_in(state, "cgm", "bench_vector.cgm");
}
BENCHMARK(BM_CgmPage)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
