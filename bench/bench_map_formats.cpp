// Speed of the weather map on a full-size MSM forecast (120 x 126 cells,
// 16 levels, nine items, 18 hours) with the real coastline: one map of
// 850 hPa temperature (cells) and of 850 hPa wind (arrows) in every saved
// format, the deflate of that PNG's image alone (zlib at the default level,
// the part of a PNG map no drawing can save), and an "All items" image run to
// PNG of the whole file. End-of-plot reports are discarded.
#include "app/app.h"
#include "app/control_ids.h"
#include "gpv/gpv.h"
#include "bench/bench_app.h"
#include "gpvgen/gpvgen.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

using bench_app::choose_field;
using bench_app::folder;
using bench_app::Quiet;
using bench_app::select;

bool prepare() {
    gpvgen::Forecast fc;
    fc.model = 5;
    fc.levels = {1000, 975, 950, 925, 900, 850, 800, 700, 600, 500, 400, 300, 250, 200, 150, 100};
    fc.tile_cols = 4, fc.tile_rows = 4;
    return bench_app::open_forecast("kivar_bench_formats_", "msm_full.gpv", fc);
}

const char* const kFormats[] = {"png", "bmp", "tif", "ps", "pdf", "cgm"};

// One map: level 850, hour 24; range(0) item code, range(1) format.
void BM_OneMap(benchmark::State& st) {
    if (!prepare()) return st.SkipWithError("cannot prepare the forecast");
    const int item = static_cast<int>(st.range(0));
    const char* format = kFormats[st.range(1)];
    choose_field(item);
    select(app::IDC_FORMAT_LIST, format);
    st.SetLabel(std::string(item == 4 ? "temperature " : "wind ") + format);
    Quiet quiet;
    for (auto _ : st)
        app::plot_command();
}
BENCHMARK(BM_OneMap)->ArgsProduct({{4, 23}, {0, 1, 2, 3, 4, 5}})->Unit(benchmark::kMillisecond);

// zlib alone on the image of the temperature map: the BMP's rows, top row
// first, each behind a filter byte 0, deflated at the default level in one
// call, as the PNG writer does.
void BM_DeflateOfTheMapImage(benchmark::State& st) {
    if (!prepare()) return st.SkipWithError("cannot prepare the forecast");
    choose_field(4);
    select(app::IDC_FORMAT_LIST, "bmp");
    {
        Quiet quiet;
        app::plot_command();
    }
    fs::path bmp;
    for (const auto& e : fs::directory_iterator(folder / "out"))
        if (e.path().extension() == ".bmp" && e.path().string().find("ID004") != std::string::npos)
            bmp = e.path();
    std::ifstream in(bmp, std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(in)), {});
    if (b.size() != 54 + 1024 + 652 * 600) return st.SkipWithError("unexpected BMP");
    std::vector<unsigned char> raw(600 * 651);
    for (int y = 0; y < 600; ++y) {
        raw[y * 651] = 0;
        std::memcpy(&raw[y * 651 + 1], b.data() + 1078 + (599 - y) * 652, 650);
    }
    std::vector<unsigned char> packed(raw.size() + raw.size() / 100 + 13);
    uLong size = 0;
    for (auto _ : st) {
        z_stream z{};
        deflateInit(&z, Z_DEFAULT_COMPRESSION);
        z.next_in = raw.data();
        z.avail_in = static_cast<uInt>(raw.size());
        z.next_out = packed.data();
        z.avail_out = static_cast<uInt>(packed.size());
        if (deflate(&z, Z_FINISH) != Z_STREAM_END) return st.SkipWithError("deflate failed");
        size = z.total_out;
        deflateEnd(&z);
    }
    st.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_DeflateOfTheMapImage)->Unit(benchmark::kMillisecond);

// "All items" with "Image" to PNG: a map for each of the 2,592 fields but the
// constant ones (pressure on pressure levels), each wind map twice; in one
// process and in range(0) worker processes (--jobs). The rate of a run with
// two jobs on two idle cores is meant to be at least 1.8 times that of one.
void BM_AllItemsImageRunPng(benchmark::State& st) {
    if (!prepare()) return st.SkipWithError("cannot prepare the forecast");
    bench_app::all_items_png_run(st, static_cast<int>(st.range(0)));
}
BENCHMARK(BM_AllItemsImageRunPng)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return bench_app::run(argc, argv);
}
