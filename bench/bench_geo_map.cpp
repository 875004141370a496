// Speed of maps beyond the fixed Japan frame, each one PNG map of one field
// through Execute: a 0.25 degree global field (1440 x 721 points) over the
// globe, and a 3 km Lambert conformal field (1799 x 1059 points, written by
// ecCodes when its library is installed) in its own projection. Processor
// time per map is the figure that counts (cpu_ms).
#include "app/app.h"
#include "app/control_ids.h"
#include "bench/bench_app.h"
#include "gribgen/gribgen.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <unistd.h>

#ifdef KIVAR_BENCH_ECCODES
#include "bench/eccodes_messages.h"
#endif

namespace fs = std::filesystem;

namespace {

using bench_app::folder;
using bench_app::Quiet;

fs::path start_folder() {
    if (folder.empty()) {
        folder = fs::temp_directory_path() / ("kivar_bench_geo_" + std::to_string(getpid()));
        fs::create_directories(folder / "out");
        std::error_code ec;
        fs::copy_file(fs::path(KIVAR_SOURCE_DIR) / "data" / "map.dat", folder / "map.dat", ec);
        fs::current_path(folder);
        platform::headless::set_echo(true);
        app::dialog_handlers.init();
        platform::set_text(app::IDC_SAVE_PATH, (folder / "out").c_str());
    }
    return folder;
}

// A smooth temperature-like field in kelvin at a point.
double field(double lon, double lat) {
    const double r = lat * 0.0174533;
    return 300 - 40 * std::fabs(std::sin(r)) + 5 * std::sin(3 * lon * 0.0174533) * std::cos(r);
}

std::string global_file() {
    const fs::path path = start_folder() / "global.grib2";
    if (fs::exists(path)) return path.string();
    gribgen::Field f;
    f.centre = 7;
    f.cols = 1440, f.rows = 721;
    f.lon_west = 0, f.lat_north = 90, f.lon_step = 0.25, f.lat_step = 0.25;
    f.bits = 16;
    for (int j = 0; j < f.rows; ++j)
        for (int i = 0; i < f.cols; ++i)
            f.values.push_back(field(i * 0.25, 90 - j * 0.25));
    return gribgen::write_file(path.string(), {f}) ? path.string() : "";
}

#ifdef KIVAR_BENCH_ECCODES
// The 3 km Lambert conformal grid of a regional model over North America.
std::string lambert_file() {
    const fs::path path = start_folder() / "lambert.grib2";
    if (fs::exists(path)) return path.string();
    codes_handle* h = codes_grib_handle_new_from_samples(nullptr, "GRIB2");
    if (!h) return "";
    const int nx = bench::kLambertCols, ny = bench::kLambertRows;
    bench::set_lambert_3km(h);
    codes_set_long(h, "iScansNegatively", 0);
    codes_set_long(h, "jScansPositively", 1);
    codes_set_long(h, "shapeOfTheEarth", 6);
    codes_set_long(h, "typeOfFirstFixedSurface", 100);
    codes_set_long(h, "scaleFactorOfFirstFixedSurface", 0);
    codes_set_long(h, "scaledValueOfFirstFixedSurface", 85000);
    codes_set_long(h, "bitsPerValue", 16);
    std::vector<double> v(std::size_t(nx) * ny);
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            v[std::size_t(j) * nx + i] = field(i * 0.03, 20 + j * 0.03);
    codes_set_double_array(h, "values", v.data(), v.size());
    const int err = codes_write_message(h, path.c_str(), "w");
    codes_handle_delete(h);
    return err == 0 ? path.string() : "";
}
#endif

double cpu_seconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

// One PNG map of the only field of the file per iteration.
void one_map(benchmark::State& st, const std::string& path) {
    if (path.empty() || app::open_file(path) != 1)
        return st.SkipWithError("cannot write or open the file");
    bench_app::select(app::IDC_FORMAT_LIST, "png");
    platform::set_checked(app::IDC_SELECTED_ONLY, true);
    platform::set_checked(app::IDC_ALL_ITEMS, false);
    app::state.map = app::MapOptions{};
    Quiet quiet;
    const double start = cpu_seconds();
    for (auto _ : st)
        app::plot_command();
    st.counters["cpu_ms"] = 1000.0 * (cpu_seconds() - start) / double(st.iterations());
}

void BM_GlobalQuarterDegreeMapPng(benchmark::State& st) {
    one_map(st, global_file());
}
BENCHMARK(BM_GlobalQuarterDegreeMapPng)->Unit(benchmark::kMillisecond);

#ifdef KIVAR_BENCH_ECCODES
void BM_Lambert3kmOwnProjectionPng(benchmark::State& st) {
    one_map(st, lambert_file());
}
BENCHMARK(BM_Lambert3kmOwnProjectionPng)->Unit(benchmark::kMillisecond);
#endif

} // namespace

int main(int argc, char** argv) {
    return bench_app::run(argc, argv);
}
