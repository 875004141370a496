// GRIB edition 1 files written by an independent GRIB tool (ecCodes'
// grib_filter from its own sample messages) for every supported grid,
// packing, bit-map, level and time range; every value our decoder gives is
// compared with what grib_get_data prints for the same point, and broken
// messages are refused by number without harm.
#include "grib/grib.h"

#include "tool_oracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

namespace {

using oracle::filter;
using oracle::have_tools;
using oracle::kSamples;
using testfiles::read_file;
using testfiles::TempDir;

// Indexes the bytes of a file: 1 when it holds fields.
int index(const std::string& bytes, grib::File& file) {
    return grib::index_bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                             file);
}

struct Case {
    const char* name;
    const char* sample;
    const char* geometry; // grib_filter statements setting the grid
    const char* packing;  // packingType, "" for simple packing
    int bits;
    bool bitmap, constant;
    int template_number;    // the grid's edition 2 kind
    int decimal = 0;        // decimal scale factor
    bool tool_reads = true; // else the values written are the reference
};

const char* const kLatLon = "Ni=31; Nj=17; latitudeOfFirstGridPointInDegrees=45; "
                            "latitudeOfLastGridPointInDegrees=29; "
                            "longitudeOfFirstGridPointInDegrees=120; "
                            "longitudeOfLastGridPointInDegrees=150; "
                            "iDirectionIncrementInDegrees=1; jDirectionIncrementInDegrees=1;";

const Case kCases[] = {
    {"ll16", "regular_ll_sfc_grib1", kLatLon, "", 16, false, false, 0},
    {"ll1", "regular_ll_sfc_grib1", kLatLon, "", 1, false, false, 0},
    {"ll7", "regular_ll_sfc_grib1", kLatLon, "", 7, false, false, 0},
    {"ll24", "regular_ll_sfc_grib1", kLatLon, "", 24, false, false, 0},
    {"ll_decimal", "regular_ll_sfc_grib1", kLatLon, "", 10, true, false, 0, 2},
    {"ll_constant", "regular_ll_sfc_grib1", kLatLon, "", 12, false, true, 0},
    {"ll_bitmap", "regular_ll_sfc_grib1", kLatLon, "", 10, true, false, 0},
    {"ll_west_north", "regular_ll_sfc_grib1",
     "Ni=13; Nj=9; iScansNegatively=1; jScansPositively=1; latitudeOfFirstGridPointInDegrees=30; "
     "latitudeOfLastGridPointInDegrees=38; longitudeOfFirstGridPointInDegrees=132; "
     "longitudeOfLastGridPointInDegrees=120; iDirectionIncrementInDegrees=1; "
     "jDirectionIncrementInDegrees=1;",
     "", 12, true, false, 0},
    {"ll_columns", "regular_ll_sfc_grib1",
     "Ni=13; Nj=9; jPointsAreConsecutive=1; latitudeOfFirstGridPointInDegrees=38; "
     "latitudeOfLastGridPointInDegrees=30; longitudeOfFirstGridPointInDegrees=120; "
     "longitudeOfLastGridPointInDegrees=132; iDirectionIncrementInDegrees=1; "
     "jDirectionIncrementInDegrees=1;",
     "", 12, false, false, 0},
    {"rotated_ll", "rotated_ll_sfc_grib1",
     "latitudeOfSouthernPoleInDegrees=-40; longitudeOfSouthernPoleInDegrees=170; "
     "angleOfRotationInDegrees=5; uvRelativeToGrid=1;",
     "", 14, false, false, 1},
    // Stretched grids of factor 1 are the grids they stretch.
    {"stretched_ll", "GRIB1",
     "dataRepresentationType=20; stretchingFactor=1; Ni=31; Nj=17; "
     "latitudeOfFirstGridPointInDegrees=45; latitudeOfLastGridPointInDegrees=29; "
     "longitudeOfFirstGridPointInDegrees=120; longitudeOfLastGridPointInDegrees=150; "
     "iDirectionIncrementInDegrees=1; jDirectionIncrementInDegrees=1;",
     "", 12, false, false, 0},
    {"stretched_rotated_ll", "rotated_ll_sfc_grib1",
     "dataRepresentationType=30; stretchingFactor=1; latitudeOfSouthernPoleInDegrees=-40; "
     "longitudeOfSouthernPoleInDegrees=170;",
     "", 14, true, false, 1},
    {"gaussian", "regular_gg_sfc_grib1", "", "", 16, false, false, 40},
    {"rotated_gaussian", "rotated_gg_sfc_grib1",
     "latitudeOfSouthernPoleInDegrees=-30.5; longitudeOfSouthernPoleInDegrees=-15;", "", 16, true,
     false, 41},
    {"reduced_gaussian", "reduced_gg_pl_32_grib1", "", "", 16, true, false, 40},
    {"reduced_rotated_gaussian", "reduced_rotated_gg_pl_32_grib1", "", "", 11, false, false, 41},
    {"reduced_ll", "reduced_ll_sfc_grib1",
     "Nj=4; pl={10, 20, 20, 10}; latitudeOfFirstGridPointInDegrees=60; "
     "latitudeOfLastGridPointInDegrees=30; longitudeOfFirstGridPointInDegrees=0; "
     "longitudeOfLastGridPointInDegrees=342; jDirectionIncrementInDegrees=10;",
     "", 12, false, false, 0},
    {"polar", "polar_stereographic_sfc_grib1",
     "Nx=25; Ny=20; latitudeOfFirstGridPointInDegrees=40; longitudeOfFirstGridPointInDegrees=100; "
     "orientationOfTheGridInDegrees=140; DxInMetres=40000; DyInMetres=40000; jScansPositively=1;",
     "", 16, false, false, 20},
    {"lambert", "GRIB1",
     "dataRepresentationType=3; Nx=25; Ny=20; latitudeOfFirstGridPointInDegrees=30; "
     "longitudeOfFirstGridPointInDegrees=120; LoVInDegrees=135; DxInMetres=20000; "
     "DyInMetres=20000; Latin1InDegrees=30; Latin2InDegrees=60; jScansPositively=1; "
     "earthIsOblate=1;",
     "", 12, true, false, 30},
    {"second_order", "regular_ll_sfc_grib1", kLatLon, "grid_second_order", 16, false, false, 0},
    {"second_order_bitmap", "regular_ll_sfc_grib1", kLatLon, "grid_second_order", 14, true, false,
     0},
    {"second_order_spd1", "regular_ll_sfc_grib1", kLatLon, "grid_second_order_SPD1", 12, false,
     false, 0, 1},
    {"second_order_spd3", "regular_ll_sfc_grib1", kLatLon, "grid_second_order_SPD3", 18, false,
     false, 0},
    {"second_order_no_spd", "regular_ll_sfc_grib1", kLatLon, "grid_second_order_no_SPD", 16, false,
     false, 0},
    {"second_order_boustrophedonic", "regular_ll_sfc_grib1", kLatLon,
     "grid_second_order_boustrophedonic", 16, false, false, 0},
    {"ieee32", "regular_ll_sfc_grib1", kLatLon, "grid_ieee", 32, true, false, 0},
    {"ieee64", "rotated_ll_sfc_grib1", "", "grid_ieee", 64, false, false, 1},
    {"second_order_reduced", "reduced_gg_pl_32_grib1", "", "grid_second_order", 16, false, false,
     40},
    // Every second row stored backwards over the rows of a reduced grid: the
    // tool writes it but cannot read it back.
    {"boustrophedonic_reduced", "reduced_gg_pl_32_grib1", "", "grid_second_order_boustrophedonic",
     16, false, false, 40, 0, false},
};

// Values of a smooth field with a little noise, every seventh missing for a bit-map.
double value_of(const Case& c, std::size_t k) {
    if (c.bitmap && k % 7 == 3) return 9999;
    return c.constant
               ? 273.5
               : 250 + 30 * std::sin(k % 31 / 5.0) * std::cos(k / 31 / 4.0) + (k * 37 % 11) * 0.1;
}

std::string values_rules(const Case& c, std::size_t n) {
    std::ostringstream r;
    if (c.bitmap) r << "bitmapPresent=1;\nmissingValue=9999;\n";
    if (c.constant) r << "decimalScaleFactor=2;\n";
    const bool ieee = std::string(c.packing) == "grid_ieee"; // bits: 32 or 64
    const std::string values =
        "values={" + oracle::values(n, [&](std::size_t k) { return value_of(c, k); }) + "};\n";
    r << "bitsPerValue=" << (ieee ? 16 : c.bits) << ";\n" << values;
    // Values scaled by a power of ten (the width follows from it).
    if (c.decimal) r << "changeDecimalPrecision=" << c.decimal << ";\n";
    if (*c.packing) r << "packingType=\"" << c.packing << "\";\n";
    // (The precision takes effect when the values are packed again.)
    if (ieee) r << "precision=" << c.bits / 32 << ";\n" << values;
    return r.str();
}

TEST(Grib1, EveryValueAsTheIndependentToolDecodesIt) {
    if (!have_tools())
        GTEST_SKIP() << "ecCodes tools or samples are missing: install libeccodes-tools "
                     << "(scripts/install-deps.sh) to run the GRIB1 comparisons";
    TempDir dir("grib1_cases");
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string shape = (dir.path / (std::string(c.name) + ".shape")).string();
        const std::string path = (dir.path / (std::string(c.name) + ".grib1")).string();
        ASSERT_TRUE(filter(dir.path, std::string(c.geometry) + "\nwrite \"" + shape + "\";\n",
                           kSamples + c.sample + ".tmpl"))
            << read_file(dir.path / "filter.log");
        const std::size_t n = std::stoul(oracle::get(shape, "numberOfPoints"));
        ASSERT_TRUE(filter(dir.path, values_rules(c, n) + "write \"" + path + "\";\n", shape))
            << read_file(dir.path / "filter.log");
        // The tool must have written the packing and widths asked for.
        if (c.decimal) {
            EXPECT_EQ(oracle::get(path, "decimalScaleFactor"), std::to_string(c.decimal));
        }
        const std::string packing = oracle::get(path, "packingType,bitsPerValue");
        const bool rows_turned = std::string(c.packing) == "grid_second_order_boustrophedonic";
        if (rows_turned)
            EXPECT_EQ(oracle::get(path, "packingType,boustrophedonicOrdering"),
                      "grid_second_order 1");
        else if (*c.packing)
            EXPECT_EQ(packing.substr(0, packing.find(' ')), c.packing);
        else
            EXPECT_EQ(c.decimal ? packing.substr(0, packing.find(' ')) : packing,
                      c.decimal ? "grid_simple"
                                : "grid_simple " + std::to_string(c.constant ? 0 : c.bits));

        const std::string bytes = read_file(path);
        grib::File file;
        ASSERT_EQ(index(bytes, file), 1) << file.first_problem;
        ASSERT_EQ(file.fields.size(), 1u);
        const grib::Field& f = file.fields[0];
        EXPECT_EQ(f.edition, 1);
        EXPECT_EQ(f.grid.template_number, c.template_number);
        ASSERT_EQ(f.grid.count(), n);
        // The shape of the earth and the winds' frame as the tool reads them
        // (the grid tests place the points).
        EXPECT_EQ(std::to_string(f.grid.earth_a == 6378160 && f.grid.earth_b == 6356775) + " " +
                      std::to_string(f.grid.winds_grid_relative),
                  oracle::get(path, "earthIsOblate,uvRelativeToGrid"));
        std::vector<float> values(n);
        ASSERT_EQ(grib::decode(file, f, values), 1);

        std::vector<oracle::Point> ref =
            c.tool_reads ? oracle::points(path) : std::vector<oracle::Point>();
        for (std::size_t k = 0; !c.tool_reads && k < n; ++k)
            ref.push_back({0, 0, value_of(c, k)});
        ASSERT_EQ(ref.size(), n);
        // Lat/lon grids are matched point by point whatever the scanning
        // order; the others by the scanning order of their rows.
        std::map<std::pair<long, long>, std::size_t> at;
        const bool by_position = f.grid.template_number == 0 && f.grid.row_points.empty();
        for (std::size_t k = 0; by_position && k < n; ++k)
            at[{std::lround(ref[k].lat * 1000), std::lround(ref[k].lon * 1000)}] = k;
        std::size_t missing = 0, wrong = 0;
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t row = k / f.grid.cols, col = k % f.grid.cols;
            const std::size_t i = (f.grid.scan_mode & 0x80) ? f.grid.cols - 1 - col : col;
            const std::size_t j = (f.grid.scan_mode & 0x40) ? f.grid.rows - 1 - row : row;
            std::size_t r = f.grid.row_points.empty() ? j * f.grid.cols + i : k;
            if (by_position) {
                const double lat = f.grid.lat_north - static_cast<double>(row) * f.grid.lat_step;
                const double lon = f.grid.lon_west + static_cast<double>(col) * f.grid.lon_step;
                auto it = at.find({std::lround(lat * 1000), std::lround(lon * 1000)});
                ASSERT_NE(it, at.end()) << "point " << k << " at " << lat << ", " << lon;
                r = it->second;
            }
            const double want = ref[r].value;
            missing += std::isnan(want);
            const bool same = std::isnan(want)
                                  ? std::isnan(values[k])
                                  : std::fabs(values[k] - want) <=
                                        (c.tool_reads ? 2e-7 * std::fabs(want) + 1e-6 : 2e-3);
            if (!same && wrong++ == 0)
                ADD_FAILURE() << "point " << k << ": " << values[k] << " for " << want;
        }
        EXPECT_EQ(wrong, 0u);
        EXPECT_EQ(missing > 0, c.bitmap);
    }
    // A grid that is stretched is refused by name.
    const std::string stretched = (dir.path / "stretched.grib1").string();
    ASSERT_TRUE(filter(dir.path, "stretchingFactor=2.5;\nwrite \"" + stretched + "\";\n",
                       dir.path / "stretched_ll.grib1"));
    grib::File file;
    EXPECT_EQ(index(read_file(stretched), file), 0);
    EXPECT_EQ(file.first_problem, "message 1: grid type 20 (stretched grid, factor 2.5) is not "
                                  "supported; skipped.");
}

// Levels and time ranges of GRIB1 as the edition 2 kinds of both.
struct Product {
    const char* keys; // grib_filter statements
    int level_type;
    double level_value;
    int level2_type;
    double level2_value;
    int forecast_hour, interval_hours, product_template;
};
const Product kProducts[] = {
    {"indicatorOfTypeOfLevel=1; level=0;", 1, 0, 255, 0, 0, 0, 0},
    {"indicatorOfTypeOfLevel=100; level=850; P1=12;", 100, 85000, 255, 0, 12, 0, 0},
    {"indicatorOfTypeOfLevel=102; unitOfTimeRange=11; P1=3;", 101, 0, 255, 0, 18, 0, 0},
    {"indicatorOfTypeOfLevel=105; level=2; unitOfTimeRange=0; P1=90;", 103, 2, 255, 0, 1, 0, 0},
    {"indicatorOfTypeOfLevel=109; level=37;", 105, 37, 255, 0, 0, 0, 0},
    {"indicatorOfTypeOfLevel=112; topLevel=7; bottomLevel=28;", 106, 0.07, 106, 0.28, 0, 0, 0},
    {"indicatorOfTypeOfLevel=106; topLevel=3; bottomLevel=0;", 103, 300, 103, 0, 0, 0, 0},
    {"indicatorOfTypeOfLevel=101; topLevel=50; bottomLevel=85;", 100, 50000, 100, 85000, 0, 0, 0},
    {"indicatorOfTypeOfLevel=200; timeRangeIndicator=4; P1=6; P2=12;", 10, 0, 255, 0, 12, 6, 8},
    {"indicatorOfTypeOfLevel=117; level=2000; timeRangeIndicator=3; "
     "P1=0; P2=24;",
     109, 2e-6, 255, 0, 24, 24, 8},
    {"indicatorOfTypeOfLevel=7; timeRangeIndicator=10; P1=1; P2=44;", 7, 0, 255, 0, 300, 0, 0},
    {"indicatorOfTypeOfLevel=8; timeRangeIndicator=0; step=300;", 8, 0, 255, 0, 300, 0, 0},
    {"indicatorOfTypeOfLevel=113; level=320; timeRangeIndicator=2; "
     "unitOfTimeRange=2; P1=1; P2=2;",
     107, 320, 255, 0, 48, 24, 8},
    {"indicatorOfTypeOfLevel=111; level=10;", 106, 0.1, 255, 0, 0, 0, 0},
    {"indicatorOfTypeOfLevel=4;", 4, 0, 255, 0, 0, 0, 0},
    {"indicatorOfTypeOfLevel=107; level=9950;", 104, 0.995, 255, 0, 0, 0, 0},
    {"indicatorOfTypeOfLevel=160; level=75;", 160, 75, 255, 0, 0, 0, 0},
    {"indicatorOfTypeOfLevel=210; level=5;", 1210, 5, 255, 0, 0, 0, 0},
};

TEST(Grib1, LevelsAndTimeRangesAsTheKindsOfEdition2) {
    if (!have_tools()) GTEST_SKIP() << "ecCodes tools or samples are missing";
    TempDir dir("grib1_products");
    const std::string path = (dir.path / "products.grib1").string();
    std::string rules = "centre=34; table2Version=2; indicatorOfParameter=11;\n"
                        "dataDate=19990228; dataTime=1800;\n";
    for (const Product& p : kProducts)
        rules += "timeRangeIndicator=0; unitOfTimeRange=1; P1=0; P2=0;\n" + std::string(p.keys) +
                 "\nwrite \"" + path + "\";\n";
    // Statistics over several forecasts and months are refused by name.
    rules += "timeRangeIndicator=123; write \"" + path + "\";\n";
    rules += "timeRangeIndicator=0; unitOfTimeRange=3; write \"" + path + "\";\n";
    ASSERT_TRUE(filter(dir.path, rules, kSamples + "regular_ll_sfc_grib1.tmpl"))
        << read_file(dir.path / "filter.log");
    const std::string bytes = read_file(path);
    grib::File file;
    ASSERT_EQ(index(bytes, file), 1);
    EXPECT_EQ(file.messages, static_cast<int>(std::size(kProducts)) + 2);
    EXPECT_EQ(file.skipped, 2);
    EXPECT_EQ(file.first_problem, "message " + std::to_string(std::size(kProducts) + 1) +
                                      ": time range indicator 123 (statistics over several "
                                      "forecasts or analyses) is not supported; "
                                      "skipped.");
    ASSERT_EQ(file.fields.size(), std::size(kProducts));
    for (std::size_t k = 0; k < std::size(kProducts); ++k) {
        SCOPED_TRACE(kProducts[k].keys);
        const grib::Field& f = file.fields[k];
        const Product& p = kProducts[k];
        EXPECT_EQ(f.centre, 34);
        EXPECT_EQ(f.table_version, 2);
        EXPECT_EQ(f.number, 11);
        EXPECT_EQ(f.year * 1000000 + f.month * 10000 + f.day * 100 + f.hour, 1999022818);
        EXPECT_EQ(f.level_type, p.level_type);
        EXPECT_NEAR(f.level_value, p.level_value, 1e-9 * std::fabs(p.level_value) + 1e-12);
        EXPECT_EQ(f.level2_type, p.level2_type);
        EXPECT_NEAR(f.level2_value, p.level2_value, 1e-9);
        EXPECT_EQ(f.forecast_hour, p.forecast_hour);
        EXPECT_EQ(f.interval_hours, p.interval_hours);
        EXPECT_EQ(f.product_template, p.product_template);
    }
}

// A file of both editions, with junk between messages; then every
// truncation and corrupted header octet of the GRIB1 message: refused by
// its number or decoded, never a crash or a read outside the message.
TEST(Grib1, MixedEditionsAndBrokenMessages) {
    if (!have_tools()) GTEST_SKIP() << "ecCodes tools or samples are missing";
    TempDir dir("grib1_broken");
    const std::string g1 = (dir.path / "so.grib1").string();
    const Case c = *std::find_if(std::begin(kCases), std::end(kCases), [](const Case& k) {
        return std::string(k.name) == "second_order_bitmap";
    });
    ASSERT_TRUE(filter(dir.path,
                       std::string(kLatLon) + values_rules(c, 31 * 17) + "write \"" + g1 + "\";\n",
                       kSamples + c.sample + ".tmpl"));
    const std::string one = read_file(g1);
    const std::string two = read_file(kSamples + "regular_ll_sfc_grib2.tmpl");
    const std::string mixed = "WMO HEADER\r\r\n" + one + two + "\n\n" + one;
    grib::File file;
    ASSERT_EQ(index(mixed, file), 1) << file.first_problem;
    ASSERT_EQ(file.fields.size(), 3u);
    EXPECT_EQ(file.fields[0].edition, 1);
    EXPECT_EQ(file.fields[1].edition, 2);
    EXPECT_EQ(file.fields[2].edition, 1);
    EXPECT_EQ(file.fields[2].message, 3);
    EXPECT_TRUE(grib::is_grib(reinterpret_cast<const std::uint8_t*>(one.data()), one.size()));
    EXPECT_FALSE(grib::is_grib2(reinterpret_cast<const std::uint8_t*>(one.data()), one.size()));

    std::vector<float> values(4096);
    std::vector<float> good(31 * 17);
    ASSERT_EQ(grib::decode(file, file.fields[0], good), 1);
    // The same message with the length form of messages beyond 16 MB: its
    // length in units of 120 octets, the excess (plus 4) in section 4's.
    {
        std::string large = one;
        const std::size_t total = one.size(), units = (total + 119) / 120;
        auto put24 = [&](std::size_t at, std::size_t v) {
            for (int k = 0; k < 3; ++k)
                large[at + k] = static_cast<char>(v >> (8 * (2 - k)));
        };
        put24(4, units | 0x800000);
        put24(file.fields[0].sec7 - file.fields[0].offset, units * 120 - total + 4);
        grib::File f;
        ASSERT_EQ(index(large, f), 1) << f.first_problem;
        std::vector<float> same(good.size());
        ASSERT_EQ(grib::decode(f, f.fields[0], same), 1);
        for (std::size_t k = 0; k < good.size(); ++k)
            ASSERT_TRUE(same[k] == good[k] || (std::isnan(same[k]) && std::isnan(good[k])));
    }
    auto survive = [&](const std::string& bytes) {
        grib::File f;
        std::vector<std::uint8_t> copy(bytes.begin(), bytes.end()); // exact size for sanitizers
        if (grib::index_bytes(copy.data(), copy.size(), f) == 0) {
            if (f.messages > 0) {
                EXPECT_EQ(f.first_problem.rfind("message 1: ", 0), 0u) << f.first_problem;
            }
            return;
        }
        if (f.fields[0].grid.count() <= values.size()) grib::decode(f, f.fields[0], values);
    };
    for (std::size_t cut = 0; cut < one.size(); cut += 7)
        survive(one.substr(0, cut));
    // Every octet of the sections' headers (the data are any bits).
    const std::size_t header_end = file.fields[0].sec7 - file.fields[0].offset + 160;
    for (std::size_t k = 4; k < header_end && k < one.size(); ++k)
        for (int v : {0x00, 0xff, 0x7f}) {
            std::string broken = one;
            broken[k] = static_cast<char>(v);
            survive(broken);
        }
}

} // namespace
