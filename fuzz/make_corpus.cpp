// Writes the seed corpora of the fuzz targets into corpus/gpv, corpus/grib,
// corpus/map and corpus/plot under the folder given: small GPV and GRIB2
// files made with the writer libraries and GRIB1 messages written here (the
// GRIB2 seeds of other packings and grids, and the GRIB1 seeds of
// second-order packing, are written by ecCodes and kept as they are), the
// writer library, short coastline files, and plotting-call programs in the
// byte code of fuzz_plot.cpp. The seeds are committed; run this again after
// changing that byte code.
#include "gpvgen/gpvgen.h"
#include "gribgen/gribgen.h"

#include <cmath>
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

// GRIB edition 1 messages of simple packing, written octet by octet: a
// lat/lon grid, a reduced Gaussian grid with a bit-map and a Lambert grid,
// each with a decimal scale factor; the seeds of second-order packing are
// written by ecCodes and kept as they are.
void put(Bytes& b, std::uint64_t v, int octets) {
    for (int k = octets - 1; k >= 0; --k)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}
void put_at(Bytes& b, std::size_t at, std::uint64_t v, int octets) {
    for (int k = 0; k < octets; ++k)
        b[at + k] = static_cast<std::uint8_t>(v >> (8 * (octets - 1 - k)));
}
void put_degrees(Bytes& b, double degrees) { // sign and magnitude, thousandths
    long m = std::lround(std::fabs(degrees) * 1000);
    put(b, static_cast<std::uint64_t>(m) | (degrees < 0 ? 0x800000u : 0u), 3);
}
void put_ibm(Bytes& b, double v) {
    int e = 64;
    double x = std::fabs(v);
    while (x >= 1)
        x /= 16, ++e;
    while (x > 0 && x < 1.0 / 16)
        x *= 16, --e;
    std::uint32_t m = static_cast<std::uint32_t>(std::lround(std::ldexp(x, 24)));
    if (m == 0) e = 0;
    put(b, (v < 0 ? 0x80u : 0u) | static_cast<std::uint32_t>(e), 1);
    put(b, m, 3);
}

enum class Grid1 { LatLon, ReducedGaussian, Lambert };

Bytes grib1_message(Grid1 kind, int bits) {
    const int cols = 6, rows = 4;
    std::vector<int> pl = {4, 8, 8, 4};
    const int points = kind == Grid1::ReducedGaussian ? 24 : cols * rows;
    Bytes b = {'G', 'R', 'I', 'B', 0, 0, 0, 1};
    // Product definition: table 2, centre 34, temperature at 850 hPa, 6 h.
    const bool bitmap = kind == Grid1::ReducedGaussian;
    put(b, 28, 3);
    for (int v : {2, 34, 1, 255, bitmap ? 0xc0 : 0x80, 11, 100})
        put(b, static_cast<std::uint64_t>(v), 1);
    put(b, 850, 2);
    for (int v : {26, 12, 7, 0, 0, 1, 6, 0, 0, 0, 0, 0, 21, 0})
        put(b, static_cast<std::uint64_t>(v), 1);
    put(b, 1, 2); // decimal scale factor
    // Grid description.
    const std::size_t gds = b.size();
    put(b, 0, 3);
    if (kind == Grid1::LatLon) {
        for (int v : {0, 255, 0})
            put(b, static_cast<std::uint64_t>(v), 1);
        put(b, cols, 2), put(b, rows, 2);
        put_degrees(b, 45), put_degrees(b, 120), put(b, 0x80, 1);
        put_degrees(b, 42), put_degrees(b, 125);
        put(b, 1000, 2), put(b, 1000, 2), put(b, 0, 1), put(b, 0, 4);
    } else if (kind == Grid1::ReducedGaussian) {
        for (int v : {0, 33, 4})
            put(b, static_cast<std::uint64_t>(v), 1);
        put(b, 0xffff, 2), put(b, rows, 2);
        put_degrees(b, 58.019), put_degrees(b, 0), put(b, 0, 1);
        put_degrees(b, -58.019), put_degrees(b, 315);
        put(b, 0xffff, 2), put(b, 2, 2), put(b, 0, 1), put(b, 0, 4);
        for (int n : pl)
            put(b, static_cast<std::uint64_t>(n), 2);
    } else {
        for (int v : {0, 255, 3})
            put(b, static_cast<std::uint64_t>(v), 1);
        put(b, cols, 2), put(b, rows, 2);
        put_degrees(b, 30), put_degrees(b, 120), put(b, 0x08, 1);
        put_degrees(b, 135), put(b, 20000, 3), put(b, 20000, 3), put(b, 0, 1), put(b, 0x40, 1);
        put_degrees(b, 30), put_degrees(b, 60), put_degrees(b, -90), put_degrees(b, 0);
        put(b, 0, 2);
    }
    put_at(b, gds, b.size() - gds, 3);
    // Bit-map: every fifth point missing.
    int present = points;
    if (bitmap) {
        const std::size_t bms = b.size();
        put(b, 0, 3), put(b, 0, 1), put(b, 0, 2);
        Bytes bits_of(static_cast<std::size_t>((points + 7) / 8), 0);
        present = 0;
        for (int p = 0; p < points; ++p)
            if (p % 5 != 2) bits_of[p / 8] |= static_cast<std::uint8_t>(0x80 >> (p % 8)), ++present;
        b.insert(b.end(), bits_of.begin(), bits_of.end());
        b[bms + 3] = static_cast<std::uint8_t>(bits_of.size() * 8 - points);
        put_at(b, bms, b.size() - bms, 3);
    }
    // Binary data: simple packing of X = k * 3 (mod 2^bits), R = 2731.5, E = -1.
    const std::size_t bds = b.size();
    put(b, 0, 3), put(b, 0, 1), put(b, 0x8001, 2), put_ibm(b, 2731.5), put(b, bits, 1);
    std::uint64_t acc = 0;
    int held = 0;
    for (int k = 0; k < present; ++k) {
        acc = acc << bits | (static_cast<std::uint64_t>(k * 3) & ((1ull << bits) - 1));
        held += bits;
        while (held >= 8)
            held -= 8, b.push_back(static_cast<std::uint8_t>(acc >> held));
    }
    int unused = 0;
    if (held) unused = 8 - held, b.push_back(static_cast<std::uint8_t>(acc << unused));
    if ((b.size() - bds) % 2) b.push_back(0), unused += 8;
    b[bds + 3] = static_cast<std::uint8_t>(unused);
    put_at(b, bds, b.size() - bds, 3);
    b.insert(b.end(), {'7', '7', '7', '7'});
    put_at(b, 4, b.size(), 3);
    return b;
}

void grib1_seeds() {
    Bytes ll = grib1_message(Grid1::LatLon, 12);
    save("grib", "ll.grib1", ll);
    save("grib", "reduced_bitmap.grib1", grib1_message(Grid1::ReducedGaussian, 7));
    Bytes both = grib1_message(Grid1::Lambert, 16);
    gribgen::Field f; // and an edition 2 message between them
    f.cols = 3, f.rows = 2, f.values = {280, 281, 282, 283, 284, 285};
    Bytes two = gribgen::message(f);
    both.insert(both.end(), two.begin(), two.end());
    both.insert(both.end(), ll.begin(), ll.end());
    save("grib", "lambert_ll.grib1", both);
    save("grib", "cut.grib1", Bytes(both.begin(), both.end() - 30));
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
    grib1_seeds();
    map_seeds(argv[1]);
    plot_seeds();
    return 0;
}
