// Speed of the GRIB2 path on a regional-model-like forecast written at start
// (241 x 253 points, 25 fields an hour for hours 0 to 51: about 100 MB):
// the inventory of the whole file, decoding every field of its first 100
// messages in simple packing and, repacked by ecCodes, in complex packing
// with spatial differencing, and the same fields written by ecCodes as GRIB
// edition 1 messages of simple packing, side by side with ecCodes decoding
// the same messages, and an "All items" data run (`kivar data --all`) of the
// file.
//
// Then each packing on fields of real sizes (a 0.25 degree global grid of
// 1440 x 721 points, a 3 km Lambert grid of 1799 x 1059, a 5 km meso-scale
// grid of 481 x 505) written by ecCodes, decoded by the reader and by ecCodes
// side by side; and the inventory of a 1 GB file of 500 messages.
#include "app/app.h"
#include "app/control_ids.h"
#include "bench/bench_app.h"
#include "grib/grib.h"
#include "gribgen/gribgen.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>
#include <vector>

#ifdef KIVAR_BENCH_ECCODES
#include "bench/eccodes_messages.h"
#endif

namespace fs = std::filesystem;

namespace {

using bench_app::folder;

constexpr std::size_t kDecodeMessages = 100;

std::string large_path;
std::vector<std::uint8_t> simple_bytes, complex_bytes; // the first messages, two packings
std::vector<std::uint8_t> grib1_bytes;                 // and as GRIB1 messages

// The length of the message at `at` of either edition.
std::size_t message_length(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    std::size_t length = 0;
    if (bytes[at + 7] == 1) {
        for (std::size_t k = 4; k < 7; ++k)
            length = length << 8 | bytes[at + k];
        return length;
    }
    for (std::size_t k = 0; k < 8; ++k)
        length = length << 8 | bytes[at + 8 + k];
    return length;
}

std::vector<std::uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

#ifdef KIVAR_BENCH_ECCODES
// The messages of bytes repacked by ecCodes with complex packing and
// second-order spatial differencing.
std::vector<std::uint8_t> repack_complex(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> out;
    grib::File file;
    grib::index_bytes(bytes.data(), bytes.size(), file);
    for (const grib::Field& f : file.fields) {
        std::size_t length = 0;
        for (std::size_t k = 0; k < 8; ++k)
            length = length << 8 | bytes[f.offset + 8 + k];
        codes_handle* h =
            codes_handle_new_from_message_copy(nullptr, bytes.data() + f.offset, length);
        if (!h) return {};
        std::size_t n = 0;
        codes_get_size(h, "values", &n);
        std::vector<double> v(n);
        codes_get_double_array(h, "values", v.data(), &n);
        const char* packing = "grid_complex_spatial_differencing";
        std::size_t plen = std::strlen(packing);
        codes_set_string(h, "packingType", packing, &plen);
        codes_set_double_array(h, "values", v.data(), n);
        bench::append_message(h, out);
    }
    return out;
}

// The fields of bytes written by ecCodes as GRIB edition 1 messages of
// simple packing with the same widths, from its own lat/lon sample.
std::vector<std::uint8_t> write_grib1(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> out;
    grib::File file;
    grib::index_bytes(bytes.data(), bytes.size(), file);
    std::vector<float> values;
    std::vector<double> v;
    for (const grib::Field& f : file.fields) {
        const grib::Grid& g = f.grid;
        values.resize(g.count());
        if (!grib::decode(file, f, values)) return {};
        v.assign(values.begin(), values.end());
        codes_handle* h = codes_grib_handle_new_from_samples(nullptr, "regular_ll_pl_grib1");
        if (!h) return {};
        codes_set_long(h, "Ni", g.cols);
        codes_set_long(h, "Nj", g.rows);
        codes_set_double(h, "latitudeOfFirstGridPointInDegrees", g.lat_north);
        codes_set_double(h, "longitudeOfFirstGridPointInDegrees", g.lon_west);
        codes_set_double(h, "latitudeOfLastGridPointInDegrees",
                         g.lat_north - (g.rows - 1) * g.lat_step);
        codes_set_double(h, "longitudeOfLastGridPointInDegrees",
                         g.lon_west + (g.cols - 1) * g.lon_step);
        codes_set_double(h, "iDirectionIncrementInDegrees", g.lon_step);
        codes_set_double(h, "jDirectionIncrementInDegrees", g.lat_step);
        codes_set_long(h, "bitsPerValue", bytes[f.sec5 + 19]);
        codes_set_double_array(h, "values", v.data(), v.size());
        bench::append_message(h, out);
    }
    return out;
}
#endif

bool prepare() {
    if (!large_path.empty()) return !simple_bytes.empty();
    folder = fs::temp_directory_path() / ("kivar_bench_grib_" + std::to_string(getpid()));
    fs::create_directories(folder / "out");
    large_path = (folder / "large.grib2").string();
    std::vector<int> hours;
    for (int h = 0; h <= 51; ++h)
        hours.push_back(h);
    if (!gribgen::write_file(large_path, gribgen::regional_forecast(hours))) return false;
    std::vector<std::uint8_t> all = read_bytes(large_path);
    grib::File file;
    grib::index_bytes(all.data(), all.size(), file);
    if (file.fields.size() <= kDecodeMessages) return false;
    simple_bytes.assign(all.begin(),
                        all.begin() + static_cast<long>(file.fields[kDecodeMessages].offset));
#ifdef KIVAR_BENCH_ECCODES
    complex_bytes = repack_complex(simple_bytes);
    grib1_bytes = write_grib1(simple_bytes);
#endif
    return true;
}

const std::vector<std::uint8_t>& packed(int which) {
    return which == 0 ? simple_bytes : which == 1 ? complex_bytes : grib1_bytes;
}

// Opening a whole file, mapping it and indexing every message, once per
// iteration; counts its fields and megabytes.
void time_inventory(benchmark::State& st, const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    std::size_t fields = 0;
    for (auto _ : st) {
        grib::File file;
        grib::open_fd(fd, file);
        fields = file.fields.size();
        grib::close(file);
    }
    ::close(fd);
    st.counters["fields"] = static_cast<double>(fields);
    st.counters["MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
}

// Opening the whole file: mapping it and indexing every message.
void BM_GribInventory(benchmark::State& st) {
    if (!prepare()) return st.SkipWithError("cannot write the forecast");
    time_inventory(st, large_path);
}
BENCHMARK(BM_GribInventory)->Unit(benchmark::kMillisecond);

// Every field of the messages decoded into single precision (index included).
void BM_GribDecodeKivar(benchmark::State& st) {
    if (!prepare()) return st.SkipWithError("cannot write the forecast");
    const std::vector<std::uint8_t>& bytes = packed(static_cast<int>(st.range(0)));
    if (bytes.empty()) return st.SkipWithError("no complex packing or GRIB1 without ecCodes");
    std::vector<float> values(241 * 253);
    std::size_t total = 0;
    for (auto _ : st) {
        grib::File file;
        grib::index_bytes(bytes.data(), bytes.size(), file);
        for (const grib::Field& f : file.fields) {
            grib::decode(file, f, values);
            total += f.grid.count();
        }
        benchmark::DoNotOptimize(values.data());
    }
    st.counters["values/s"] =
        benchmark::Counter(static_cast<double>(total), benchmark::Counter::kIsRate);
}
// Argument 0: GRIB2 simple packing, 1: complex packing, 2: GRIB1 simple packing.
BENCHMARK(BM_GribDecodeKivar)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("packing")
    ->Unit(benchmark::kMillisecond);

#ifdef KIVAR_BENCH_ECCODES
// The same messages decoded by ecCodes into double precision.
void BM_GribDecodeEcCodes(benchmark::State& st) {
    if (!prepare()) return st.SkipWithError("cannot write the forecast");
    const std::vector<std::uint8_t>& bytes = packed(static_cast<int>(st.range(0)));
    std::vector<double> values(241 * 253);
    std::size_t total = 0;
    for (auto _ : st) {
        std::size_t at = 0;
        while (at + 16 <= bytes.size()) {
            const std::size_t length = message_length(bytes, at);
            codes_handle* h = codes_handle_new_from_message(nullptr, bytes.data() + at, length);
            std::size_t n = values.size();
            codes_get_double_array(h, "values", values.data(), &n);
            total += n;
            codes_handle_delete(h);
            at += length;
        }
        benchmark::DoNotOptimize(values.data());
    }
    st.counters["values/s"] =
        benchmark::Counter(static_cast<double>(total), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GribDecodeEcCodes)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("packing")
    ->Unit(benchmark::kMillisecond);
#endif

// ---------------------------------------------------------------- packings

struct RealGrid {
    const char* name;
    int cols, rows;
    bool lambert;
};
constexpr RealGrid kRealGrids[] = {
    {"global_0.25", 1440, 721, false},
    {"lambert_3km", bench::kLambertCols, bench::kLambertRows, true},
    {"meso_5km", 481, 505, false},
};
constexpr const char* kPackings[] = {
    "grid_simple", "grid_complex", "grid_complex_spatial_differencing", "grid_png", "grid_jpeg",
    "grid_ccsds",  "grid_ieee",
};
constexpr int kPackingCount = sizeof kPackings / sizeof kPackings[0];

#ifdef KIVAR_BENCH_ECCODES
// One message per grid and packing, written by ecCodes from its sample: a
// temperature-like field (large waves and a little noise) in 16 bits.
std::vector<std::uint8_t> real_messages[3][kPackingCount];

const std::vector<std::uint8_t>& real_message(int grid, int packing) {
    std::vector<std::uint8_t>& out = real_messages[grid][packing];
    if (!out.empty()) return out;
    const RealGrid& g = kRealGrids[grid];
    FILE* in = std::fopen("/usr/share/eccodes/samples/regular_ll_sfc_grib2.tmpl", "rb");
    if (!in) return out;
    int err = 0;
    codes_handle* h = codes_handle_new_from_file(nullptr, in, PRODUCT_GRIB, &err);
    std::fclose(in);
    if (!h) return out;
    if (g.lambert) {
        bench::set_lambert_3km(h);
    } else {
        const double step = grid == 0 ? 0.25 : 0.0625;
        const double north = grid == 0 ? 90 : 47.6, west = grid == 0 ? 0 : 120;
        codes_set_long(h, "Ni", g.cols);
        codes_set_long(h, "Nj", g.rows);
        codes_set_double(h, "latitudeOfFirstGridPointInDegrees", north);
        codes_set_double(h, "longitudeOfFirstGridPointInDegrees", west);
        codes_set_double(h, "latitudeOfLastGridPointInDegrees", north - (g.rows - 1) * step);
        codes_set_double(h, "longitudeOfLastGridPointInDegrees", west + (g.cols - 1) * step);
        codes_set_double(h, "iDirectionIncrementInDegrees", step);
        codes_set_double(h, "jDirectionIncrementInDegrees", step);
    }
    const std::size_t n = static_cast<std::size_t>(g.cols) * g.rows;
    std::vector<double> v(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double x = static_cast<double>(k % g.cols), y = static_cast<double>(k / g.cols);
        v[k] = 260 + 25 * std::sin(x / 97) * std::cos(y / 61) + 3 * std::sin(x / 7 + y / 11) +
               static_cast<double>(k * 2654435761u % 1000) * 1e-3;
    }
    codes_set_long(h, "bitsPerValue", 16);
    codes_set_double_array(h, "values", v.data(), n);
    std::size_t len = std::strlen(kPackings[packing]);
    if (codes_set_string(h, "packingType", kPackings[packing], &len) != 0) {
        codes_handle_delete(h);
        return out;
    }
    codes_set_double_array(h, "values", v.data(), n);
    bench::append_message(h, out);
    return out;
}

// One message of a packing decoded by the reader (index included).
void BM_GribPackingKivar(benchmark::State& st) {
    const int grid = static_cast<int>(st.range(0)), packing = static_cast<int>(st.range(1));
    const std::vector<std::uint8_t>& bytes = real_message(grid, packing);
    if (bytes.empty()) return st.SkipWithError("ecCodes did not write the message");
    grib::File file;
    if (!grib::index_bytes(bytes.data(), bytes.size(), file))
        return st.SkipWithError(file.first_problem.c_str());
    std::vector<float> values(file.fields[0].grid.count());
    for (auto _ : st) {
        grib::File f;
        grib::index_bytes(bytes.data(), bytes.size(), f);
        if (!grib::decode(f, f.fields[0], values)) return st.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(values.data());
    }
    st.SetLabel(std::string(kRealGrids[grid].name) + " " + kPackings[packing]);
    st.counters["values/s"] = benchmark::Counter(static_cast<double>(values.size()) *
                                                     static_cast<double>(st.iterations()),
                                                 benchmark::Counter::kIsRate);
}

// The same message decoded by ecCodes into double precision.
void BM_GribPackingEcCodes(benchmark::State& st) {
    const int grid = static_cast<int>(st.range(0)), packing = static_cast<int>(st.range(1));
    const std::vector<std::uint8_t>& bytes = real_message(grid, packing);
    if (bytes.empty()) return st.SkipWithError("ecCodes did not write the message");
    std::vector<double> values(static_cast<std::size_t>(kRealGrids[grid].cols) *
                               kRealGrids[grid].rows);
    for (auto _ : st) {
        codes_handle* h = codes_handle_new_from_message(nullptr, bytes.data(), bytes.size());
        std::size_t n = values.size();
        codes_get_double_array(h, "values", values.data(), &n);
        codes_handle_delete(h);
        benchmark::DoNotOptimize(values.data());
    }
    st.SetLabel(std::string(kRealGrids[grid].name) + " " + kPackings[packing]);
    st.counters["values/s"] = benchmark::Counter(static_cast<double>(values.size()) *
                                                     static_cast<double>(st.iterations()),
                                                 benchmark::Counter::kIsRate);
}

void packing_args(benchmark::internal::Benchmark* b) {
    b->ArgNames({"grid", "packing"});
    for (int g = 0; g < 3; ++g)
        for (int p = 0; p < kPackingCount; ++p)
            b->Args({g, p});
}
BENCHMARK(BM_GribPackingKivar)->Apply(packing_args)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GribPackingEcCodes)->Apply(packing_args)->Unit(benchmark::kMillisecond);
#endif

// The inventory of a 1 GB file of 500 messages (0.25 degree global fields
// of 16 bits), in CPU time: mapping and indexing every message.
void BM_GribInventory1GB(benchmark::State& st) {
    if (!prepare()) return st.SkipWithError("cannot write the forecast");
    const std::string path = (folder / "one_gb.grib2").string();
    if (!fs::exists(path)) {
        gribgen::Field f;
        f.cols = 1440, f.rows = 721;
        f.lon_west = 0, f.lat_north = 90, f.lon_step = 0.25, f.lat_step = 0.25;
        f.bits = 16;
        f.values.resize(static_cast<std::size_t>(f.cols) * f.rows);
        for (std::size_t k = 0; k < f.values.size(); ++k)
            f.values[k] = 250 + static_cast<double>(k % 997) * 0.05;
        std::ofstream out(path, std::ios::binary);
        for (int m = 0; m < 500; ++m) {
            f.forecast_hour = m;
            const gribgen::Bytes b = gribgen::message(f);
            out.write(reinterpret_cast<const char*>(b.data()), static_cast<long>(b.size()));
        }
        if (!out) return st.SkipWithError("cannot write the 1 GB file");
    }
    time_inventory(st, path);
}
BENCHMARK(BM_GribInventory1GB)->Unit(benchmark::kMillisecond);

// `kivar data --all` of the whole file: every field as a TEXT file.
void BM_GribDataAll(benchmark::State& st) {
    if (!prepare()) return st.SkipWithError("cannot write the forecast");
    fs::copy_file(fs::path(KIVAR_SOURCE_DIR) / "data" / "map.dat", folder / "map.dat",
                  fs::copy_options::overwrite_existing);
    fs::current_path(folder);
    platform::headless::set_echo(true);
    app::dialog_handlers.init();
    platform::set_text(app::IDC_SAVE_PATH, (folder / "out").c_str());
    if (app::open_file(large_path) != 1) return st.SkipWithError("cannot open the forecast");
    platform::set_checked(app::IDC_MODE_DATA, true);
    platform::set_checked(app::IDC_MODE_IMAGE, false);
    platform::set_checked(app::IDC_SELECTED_ONLY, false);
    platform::set_checked(app::IDC_ALL_ITEMS, true);
    double values = 0;
    for (auto _ : st) {
        app::save_command();
        st.PauseTiming();
        for (const auto& e : fs::directory_iterator(folder / "out")) {
            (void)e;
            values += 241.0 * 253.0;
        }
        fs::remove_all(folder / "out");
        fs::create_directories(folder / "out");
        st.ResumeTiming();
    }
    st.counters["values/s"] = benchmark::Counter(values, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GribDataAll)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return bench_app::run(argc, argv);
}
