// Writes the seed corpora of the fuzz targets into corpus/gpv, corpus/grib,
// corpus/map and corpus/plot under the folder given: small GPV and GRIB2
// files made with the writer libraries (the GRIB2 seeds of other packings
// and grids are written by ecCodes and kept as they are), the writer
// library, short coastline files, and plotting-call programs in the
// byte code of fuzz_plot.cpp. The seeds are committed; run this again after
// changing that byte code.
#include "gpvgen/gpvgen.h"
#include "gribgen/gribgen.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using gpvgen::Bytes;

namespace {

fs::path root;

void save(const std::string& dir, const std::string& name, const Bytes& b) {
    fs::create_directories(root / dir);
    std::FILE* f = std::fopen((root / dir / name).c_str(), "wb");
    if (!f || (!b.empty() && std::fwrite(b.data(), 1, b.size(), f) != b.size())) {
        std::fprintf(stderr, "make_corpus: cannot write %s\n", name.c_str());
        std::exit(1);
    }
    std::fclose(f);
}

Bytes read_all(const fs::path& p) {
    std::FILE* f = std::fopen(p.c_str(), "rb");
    Bytes b;
    if (!f) return b;
    int c;
    while ((c = std::fgetc(f)) != EOF)
        b.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return b;
}

// One record covering the whole grid of a level with bits-wide values.
gpvgen::Record whole_grid(int model, int item, int level, int bits, int times) {
    gpvgen::Grid g;
    gpvgen::model_grid(model, level, g);
    gpvgen::Record r;
    r.model = model, r.item = item, r.level = level, r.bits = bits;
    r.col_last = g.cols - 1, r.row_last = g.rows - 1;
    r.last_hour = 3 * (times - 1);
    r.exponent = -2, r.reference = 250.0;
    const int step = 1 << (10 - bits);
    for (int k = 0; k < g.cols * g.rows * times; ++k)
        r.x.push_back((k * 7 % (1 << bits)) * step);
    return r;
}

void gpv_seeds() {
    // Whole forecasts of a few levels and items (the writer's own layout:
    // several blocks, junk between them).
    gpvgen::Forecast f;
    f.levels = {850, 500};
    f.items = {23};
    f.last_hour = 3;
    f.tile_cols = 30, f.tile_rows = 25;
    gpvgen::write_forecast((root / "gpv" / "rsm_2x1x2.gpv").string(), f);
    f.model = 5;
    f.levels = {700};
    f.items = {49};
    f.last_hour = 0;
    f.tile_cols = 60, f.tile_rows = 63;
    gpvgen::write_forecast((root / "gpv" / "msm_1x1x1.gpv").string(), f);

    // One record of 1-bit values per field: the smallest complete files.
    Bytes one = gpvgen::block({gpvgen::record(whole_grid(4, 4, 850, 1, 1))});
    save("gpv", "rsm_1bit.gpv", one);
    Bytes two = gpvgen::block({gpvgen::record(whole_grid(4, 1, 1000, 2, 2)),
                               gpvgen::record(whole_grid(4, 102, 500, 1, 2))});
    save("gpv", "rsm_two_levels.gpv", two);
    save("gpv", "rsm_level0.gpv", gpvgen::block({gpvgen::record(whole_grid(4, 13, 0, 1, 1))}));
    Bytes junk = {'D', 'G', 'R', 'D', 'D', 'G', 'X'};
    junk.insert(junk.end(), one.begin(), one.end());
    save("gpv", "junk_then_record.gpv", junk);
    // Broken ones: a marker alone, a short header, a tile beyond the grid.
    save("gpv", "marker_only.gpv", {'D', 'G', 'R', 'B', 0, 60, 0, 0});
    save("gpv", "short_header.gpv", Bytes(one.begin(), one.begin() + 30));
    gpvgen::Record wide = whole_grid(4, 4, 850, 1, 1);
    wide.col_last = 60;
    wide.x.resize(61 * 75);
    save("gpv", "tile_beyond_grid.gpv", gpvgen::block({gpvgen::record(wide)}));
}

void put_f32le(Bytes& b, float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    for (int k = 0; k < 4; ++k)
        b.push_back(static_cast<std::uint8_t>(u >> (8 * k)));
}

void map_seeds(const fs::path& source) {
    Bytes full = read_all(source / "data" / "map.dat");
    if (!full.empty())
        save("map", "map_first_2000_bytes.dat", Bytes(full.begin(), full.begin() + 2000));
    // Six points and an end mark, then five points and an end mark, in a
    // file of all 8535 points whose rest are end marks.
    const int n = 8535;
    std::vector<float> lon(n, -999.0f), lat(n, 0.0f);
    for (int k = 0; k < 6; ++k)
        lon[k] = 130.0f + k, lat[k] = 35.0f + 0.5f * k;
    for (int k = 7; k < 12; ++k)
        lon[k] = 140.0f, lat[k] = 30.0f + k;
    Bytes b;
    for (float v : lon)
        put_f32le(b, v);
    for (float v : lat)
        put_f32le(b, v);
    save("map", "two_runs.dat", b);
    save("map", "empty.dat", {});
}

// The byte code of fuzz_plot.cpp.
struct Program {
    Bytes b;
    Program& op(int code) {
        b.push_back(static_cast<std::uint8_t>(code));
        return *this;
    }
    Program& word(int index) { return op(index); }
    Program& u32(std::uint32_t v) {
        for (int k = 3; k >= 0; --k)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
        return *this;
    }
    Program& integer(int v) { return op(0xC0).u32(static_cast<std::uint32_t>(v + 500)); }
    Program& real(double v) { return op(0xA0).u32(static_cast<std::uint32_t>(v * 100 + 100000.5)); }
    Program& map_page(bool bmp) { return op(54).op(bmp ? 0 : 1).op(0).op(0); }
    Program& axes3() {
        op(17);
        for (double v : {119.5, 150.5, 120.0, 5.0, 19.5, 50.5, 20.0, 5.0, 0.0, 10.0, 0.0, 2.0})
            real(v);
        return *this;
    }
    Program& points(int n, double x0, double y0) {
        op(n); // n below 40 is read as the count
        for (int k = 0; k < n; ++k)
            real(x0 + k).real(y0 + 0.7 * k).real(k % 10);
        return *this;
    }
};

void plot_seeds() {
    Program map;
    map.map_page(false).axes3().op(27).points(12, 125, 25).op(36).word(2).integer(1).op(37);
    map.op(29).points(8, 130, 30).op(26).integer(200).op(34);
    map.real(130).real(30).real(132).real(31).integer(1421);
    map.op(19).op(8);
    save("plot", "weather_map_virt", map.b);
    Program bmp = map;
    bmp.b[1] = 0;
    save("plot", "weather_map_bmp", bmp.b);

    const int devices[] = {6, 10, 11, 12}; // PS, PDF, CGM, GKSL
    const char* names[] = {"ps", "pdf", "cgm", "gksl"};
    for (int k = 0; k < 4; ++k) {
        Program p;
        p.op(0).word(devices[k]).op(2).word(1).op(6).op(48).op(15);
        for (double v : {0.0, 10.0, 0.0, 2.0, 0.0, 10.0, 0.0, 2.0})
            p.real(v);
        p.op(45).word(2).integer(300).integer(300).op(41).integer(80).op(42).integer(30);
        p.op(45).word(4).integer(500).integer(900).op(38).integer(3).op(29).points(15, 0, 0);
        p.op(35).integer(100).integer(100).integer(900).integer(700).integer(1421);
        p.op(19).op(8);
        save("plot", std::string("text_and_lines_") + names[k], p.b);
    }
    Program misuse; // routines at the wrong levels, odd sizes and texts
    misuse.op(8).op(15).op(29).points(3, 0, 0).op(4).integer(-1).integer(0).op(250);
    misuse.op(5).integer(0).integer(5).op(6).op(6).op(13).integer(100000).integer(-5);
    misuse.op(41).integer(0).op(22).integer(200).word(0).op(45).op(250).op(255);
    for (int k = 0; k < 255; ++k)
        misuse.op('A' + k % 26);
    misuse.integer(10).integer(10).op(8);
    save("plot", "misuse", misuse.b);

    Program nulls; // every text argument a null pointer, before and inside a plot
    const int kNull = 199;
    for (int round = 0; round < 2; ++round) {
        nulls.op(0).op(kNull).op(1).op(kNull).op(2).op(kNull).op(3).op(kNull);
        nulls.op(54).op(1).op(0).op(0).op(15);
        for (double v : {0.0, 10.0, 0.0, 2.0, 0.0, 10.0, 0.0, 2.0})
            nulls.real(v);
    }
    nulls.op(20).op(kNull).op(kNull).op(21).op(kNull).op(kNull).op(22).integer(1).op(kNull);
    nulls.op(24).op(kNull).op(25).op(kNull).op(36).op(kNull).integer(1).op(37);
    nulls.op(45).op(kNull).integer(100).integer(100).op(49).op(kNull).op(50).op(kNull);
    nulls.op(51).op(kNull).op(kNull).op(8);
    save("plot", "null_texts", nulls.b);

    // Pages at the int limit on each device family, with axis scalings of
    // 1e30 and NaN coordinates (bytes below 128 pick boundary values: 26
    // INT_MAX, 24 2^30; for coordinates 11 is 1e30, 16 NaN, 17 infinity).
    const int families[] = {11, 6, 10, 0, 12}; // CGM, PS, PDF, VIRT, GKSL
    for (int dev : families) {
        Program p;
        p.op(0).word(dev).op(2).word(1).op(5).op(26).op(24).op(6);
        p.op(17).op(0).op(11).op(0).op(11).op(16).op(17).op(0).op(1).op(0).op(1).op(0).op(3);
        p.op(27).op(3).op(16).op(17).op(11).op(0).op(0).op(0).op(11).op(16).op(17);
        p.op(34).op(16).op(17).op(0).op(11).op(26).op(45).word(2).op(26).op(27);
        p.op(19).op(8);
        save("plot", "int_limit_page_" + std::to_string(dev), p.b);
    }
}

} // namespace

// Small GRIB2 files of simple packing: one field, a surface and a pressure
// level with statistics over an interval, and a message cut short.
void grib_seeds() {
    gribgen::Field f;
    f.cols = 6, f.rows = 4;
    for (int k = 0; k < 24; ++k)
        f.values.push_back(280 + k * 0.5);
    Bytes one = gribgen::message(f);
    save("grib", "t850.grib2", one);
    gribgen::Field rain = f;
    rain.category = 1, rain.number = 8, rain.level_type = 1, rain.level_value = 0;
    rain.forecast_hour = 3, rain.interval_hours = 3, rain.bits = 5;
    Bytes two = one;
    Bytes r = gribgen::message(rain);
    two.insert(two.end(), r.begin(), r.end());
    save("grib", "t850_rain.grib2", two);
    save("grib", "cut.grib2", Bytes(two.begin(), two.end() - 20));
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_corpus SOURCE_DIR OUTPUT_DIR\n");
        return 2;
    }
    root = argv[2];
    fs::create_directories(root / "gpv");
    gpv_seeds();
    grib_seeds();
    map_seeds(argv[1]);
    plot_seeds();
    return 0;
}
