// GRIB2 files written by an independent GRIB tool (ecCodes' grib_filter,
// from its own sample message) for every supported template, scanning order,
// bit-map, width and constant fields; every value our decoder gives is
// compared with what that tool's grib_get_data prints for the same point.
#include "grib/grib.h"
#include "gribgen/gribgen.h"

#include "tool_oracle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>
#include <cstdlib>
#include <map>
#include <sstream>

namespace {

using testfiles::read_file;
using testfiles::TempDir;

using oracle::have_tools;

const std::string kSample = oracle::kSamples + "regular_ll_sfc_grib2.tmpl";

struct Case {
    const char* name;
    const char* packing; // grid_simple, grid_complex, grid_complex_spatial_differencing, grid_png
    int bits;
    int scan; // 0x80 i negative, 0x40 j positive, 0x20 j consecutive
    bool bitmap, constant;
    int order; // spatial differencing order, 0 for the tool's choice
    int cols, rows;
    int decimal;   // decimal scale factor, -1 for the tool's choice
    double factor; // of the values (tiny ones: 1e-9)
    int missing;   // complex packing: missing value management set afterwards (1 or 2)
};

// Values of a smooth field with a little noise (none for PNG: the tool's
// buffer for PNG data is only as large as the unpacked values); every
// seventh point missing when a bit-map is asked for.
std::vector<double> case_values(const Case& c) {
    std::vector<double> v(static_cast<std::size_t>(c.cols) * c.rows);
    const double png = std::string(c.packing) == "grid_png" ? 0 : 1;
    for (std::size_t k = 0; k < v.size(); ++k) {
        double x = static_cast<double>(k % c.cols), y = static_cast<double>(k / c.cols);
        v[k] = c.constant
                   ? 273.5
                   : 250 + 30 * std::sin(x / 5) * std::cos(y / 4) + (k * 37 % 11) * 0.1 * png;
        if (png == 0) v[k] = std::round(v[k] * 4) / 4; // low bits of 0 that compress
        // Runs of 0, 14 and 15 in 4 bits: runs of the largest group
        // references, which missing value management reads as missing.
        if (c.missing) v[k] = (k / 20) % 3 == 0 ? 0 : (k / 20) % 3 == 1 ? 14 : 15;
        v[k] *= c.factor;
        if (c.bitmap && k % 7 == 3) v[k] = 9999;
    }
    return v;
}

// Writes the case's file with grib_filter; its path, or "" when the tool failed.
std::string write_case(const Case& c, const testfiles::fs::path& dir) {
    const bool i_neg = c.scan & 0x80, j_pos = c.scan & 0x40;
    const double west = 120, north = 45, step = 0.5;
    const double east = west + (c.cols - 1) * step, south = north - (c.rows - 1) * step;
    std::ostringstream r;
    r << "set Ni = " << c.cols << ";\nset Nj = " << c.rows << ";\n"
      << "set iScansNegatively = " << i_neg << ";\nset jScansPositively = " << j_pos << ";\n"
      << "set jPointsAreConsecutive = " << ((c.scan & 0x20) != 0) << ";\n"
      << "set latitudeOfFirstGridPointInDegrees = " << (j_pos ? south : north) << ";\n"
      << "set latitudeOfLastGridPointInDegrees = " << (j_pos ? north : south) << ";\n"
      << "set longitudeOfFirstGridPointInDegrees = " << (i_neg ? east : west) << ";\n"
      << "set longitudeOfLastGridPointInDegrees = " << (i_neg ? west : east) << ";\n"
      << "set iDirectionIncrementInDegrees = " << step << ";\n"
      << "set jDirectionIncrementInDegrees = " << step << ";\n";
    if (c.bitmap) r << "set bitmapPresent = 1;\nset missingValue = 9999;\n";
    if (c.decimal >= 0) r << "set decimalScaleFactor = " << c.decimal << ";\n";
    std::ostringstream values;
    values << "set values = {";
    std::vector<double> v = case_values(c);
    for (std::size_t k = 0; k < v.size(); ++k)
        values << (k ? "," : "") << v[k];
    values << "};\n";
    if (std::string(c.packing) == "grid_ieee")
        r << "set packingType = \"grid_ieee\";\nset precision = " << (c.bits == 64 ? 2 : 1) << ";\n"
          << values.str();
    else
        r << "set bitsPerValue = " << c.bits << ";\n" << values.str();
    if (std::string(c.packing) != "grid_simple" && std::string(c.packing) != "grid_ieee")
        r << "set packingType = \"" << c.packing << "\";\n";
    // The order takes effect when the values are packed again.
    if (c.order) r << "set orderOfSpatialDifferencing = " << c.order << ";\n" << values.str();
    const std::string out = (dir / (std::string(c.name) + ".grib2")).string();
    r << "write \"" << out << "\";\n";
    if (!oracle::filter(dir, r.str(), kSample)) return "";
    if (!c.missing) return out;
    // The tool writes no missing value management: it is switched on in the
    // packed file, which turns the groups of largest reference missing.
    const std::string managed = out + ".managed";
    const std::string cmd = "grib_set -s missingValueManagementUsed=" + std::to_string(c.missing) +
                            " " + out + " " + managed + " > " + (dir / "filter.log").string() +
                            " 2>&1";
    return std::system(cmd.c_str()) == 0 ? managed : "";
}

// grib_get_data's value at (latitude, longitude) of every point; NaN for missing.
std::map<std::pair<long, long>, double> reference_values(const std::string& file) {
    std::map<std::pair<long, long>, double> out;
    for (const oracle::Point& p : oracle::points(file))
        out[{std::lround(p.lat * 1000), std::lround(p.lon * 1000)}] = p.value;
    return out;
}

const Case kCases[] = {
    {"constant", "grid_simple", 12, 0, false, true, 0, 9, 7, -1, 1, 0},
    {"simple1", "grid_simple", 1, 0, false, false, 0, 9, 7, -1, 1, 0},
    {"simple7", "grid_simple", 7, 0, false, false, 0, 31, 17, -1, 1, 0},
    {"simple16", "grid_simple", 16, 0, false, false, 0, 31, 17, -1, 1, 0},
    {"simple24", "grid_simple", 24, 0, false, false, 0, 31, 17, -1, 1, 0},
    {"simple_west", "grid_simple", 12, 0x80, false, false, 0, 13, 9, -1, 1, 0},
    {"simple_north", "grid_simple", 12, 0x40, false, false, 0, 13, 9, -1, 1, 0},
    {"simple_both", "grid_simple", 12, 0xc0, false, false, 0, 13, 9, -1, 1, 0},
    {"simple_columns", "grid_simple", 12, 0x20, false, false, 0, 13, 9, -1, 1, 0},
    {"simple_bitmap", "grid_simple", 10, 0x40, true, false, 0, 31, 17, -1, 1, 0},
    {"complex", "grid_complex", 12, 0, false, false, 0, 61, 41, -1, 1, 0},
    {"complex_bitmap", "grid_complex", 16, 0x80, true, false, 0, 61, 41, -1, 1, 0},
    {"sd1", "grid_complex_spatial_differencing", 12, 0, false, false, 1, 61, 41, -1, 1, 0},
    {"sd2", "grid_complex_spatial_differencing", 16, 0x40, false, false, 2, 61, 41, -1, 1, 0},
    {"sd2_bitmap", "grid_complex_spatial_differencing", 20, 0, true, false, 2, 61, 41, -1, 1, 0},
    {"sd2_24", "grid_complex_spatial_differencing", 24, 0, false, false, 2, 61, 41, -1, 1, 0},
    {"png8", "grid_png", 8, 0x80, false, false, 0, 31, 17, -1, 1, 0},
    {"png16", "grid_png", 16, 0, false, false, 0, 30, 20, -1, 1, 0},
    {"png24", "grid_png", 24, 0, false, false, 0, 30, 20, -1, 1, 0},
    {"png_bitmap", "grid_png", 12, 0, true, false, 0, 31, 17, -1, 1, 0},
    // Constant fields with a decimal scale factor: the reference value as it stands.
    {"constant_d2", "grid_simple", 12, 0, false, true, 0, 9, 7, 2, 1, 0},
    {"jpeg_constant_d2", "grid_jpeg", 12, 0, false, true, 0, 9, 7, 2, 1, 0},
    {"ccsds_constant_d2", "grid_ccsds", 12, 0, false, true, 0, 9, 7, 2, 1, 0},
    {"png_constant_d2", "grid_png", 12, 0, false, true, 0, 9, 7, 2, 1, 0},
    // Tiny values (a dust concentration) keep their digits.
    {"tiny", "grid_simple", 16, 0, false, false, 0, 31, 17, 12, 1e-9, 0},
    {"ieee32", "grid_ieee", 32, 0, false, false, 0, 31, 17, -1, 1, 0},
    {"ieee64", "grid_ieee", 64, 0x40, false, false, 0, 31, 17, -1, 1, 0},
    {"ieee_bitmap", "grid_ieee", 32, 0, true, false, 0, 31, 17, -1, 1, 0},
    {"ieee_tiny", "grid_ieee", 32, 0, false, false, 0, 31, 17, -1, 1e-9, 0},
    {"jpeg8", "grid_jpeg", 8, 0, false, false, 0, 31, 17, -1, 1, 0},
    {"jpeg12", "grid_jpeg", 12, 0x80, false, false, 0, 61, 41, -1, 1, 0},
    {"jpeg16_d2", "grid_jpeg", 16, 0, false, false, 0, 61, 41, 2, 1, 0},
    {"jpeg24", "grid_jpeg", 24, 0, false, false, 0, 30, 20, -1, 1, 0},
    {"jpeg_bitmap", "grid_jpeg", 12, 0x40, true, false, 0, 31, 17, -1, 1, 0},
    {"ccsds7", "grid_ccsds", 7, 0, false, false, 0, 31, 17, -1, 1, 0},
    {"ccsds12", "grid_ccsds", 12, 0, false, false, 0, 61, 41, -1, 1, 0},
    {"ccsds16", "grid_ccsds", 16, 0x80, false, false, 0, 61, 41, 1, 1, 0},
    {"ccsds24", "grid_ccsds", 24, 0, false, false, 0, 61, 41, -1, 1, 0},
    {"ccsds32", "grid_ccsds", 32, 0, false, false, 0, 30, 20, -1, 1, 0},
    {"ccsds_bitmap", "grid_ccsds", 12, 0, true, false, 0, 61, 41, -1, 1, 0},
    {"ccsds_tiny", "grid_ccsds", 16, 0, false, false, 0, 61, 41, 12, 1e-9, 0},
    // Missing value management of complex packing: primary, and primary and secondary.
    {"complex_missing1", "grid_complex", 4, 0, false, false, 0, 61, 41, 0, 1, 1},
    {"complex_missing2", "grid_complex", 4, 0, false, false, 0, 61, 41, 0, 1, 2},
    {"sd1_missing1", "grid_complex_spatial_differencing", 4, 0, false, false, 1, 61, 41, 0, 1, 1},
    {"sd2_missing2", "grid_complex_spatial_differencing", 4, 0, false, false, 2, 61, 41, 0, 1, 2},
};

TEST(GribDecode, EveryValueAsTheIndependentToolDecodesIt) {
    if (!have_tools())
        GTEST_SKIP() << "ecCodes tools (grib_filter, grib_get_data) or their sample " << kSample
                     << " are missing: install libeccodes-tools "
                     << "(scripts/install-deps.sh) to run the GRIB2 comparisons";
    TempDir dir("grib_cases");
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::string path = write_case(c, dir.path);
        ASSERT_FALSE(path.empty()) << read_file(dir.path / "filter.log");
        // The tool may pick its own layout; the case must still be the template asked for.
        const std::string keys = oracle::get(path, "dataRepresentationTemplateNumber,bitsPerValue");
        const std::map<std::string, std::string> templates = {{"grid_png", "41 "},
                                                              {"grid_complex", "2 "},
                                                              {"grid_jpeg", "40 "},
                                                              {"grid_ccsds", "42 "},
                                                              {"grid_ieee", "4 "}};
        const std::string want = c.order                                                 ? "3 "
                                 : c.constant && std::string(c.packing) == "grid_simple" ? "0 0"
                                 : templates.count(c.packing) ? templates.at(c.packing)
                                                              : "";
        EXPECT_EQ(keys.substr(0, want == "0 0" ? std::string::npos : want.size()), want);

        std::string bytes = read_file(path);
        grib::File file;
        const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
        ASSERT_EQ(grib::index_bytes(b, bytes.size(), file), 1) << file.first_problem;
        ASSERT_EQ(file.fields.size(), 1u);
        const grib::Field& f = file.fields[0];
        ASSERT_EQ(f.grid.cols, c.cols);
        ASSERT_EQ(f.grid.rows, c.rows);
        std::vector<float> values(f.grid.count());
        ASSERT_EQ(grib::decode(file, f, values), 1);

        auto reference = reference_values(path);
        ASSERT_EQ(reference.size(), f.grid.count());
        double largest = 0;
        for (const auto& [point, v] : reference)
            if (std::isfinite(v)) largest = std::max(largest, std::fabs(v));
        std::size_t missing = 0;
        for (int j = 0; j < f.grid.rows; ++j)
            for (int i = 0; i < f.grid.cols; ++i) {
                long lat = std::lround((f.grid.lat_north - j * f.grid.lat_step) * 1000);
                long lon = std::lround((f.grid.lon_west + i * f.grid.lon_step) * 1000);
                auto it = reference.find({lat, lon});
                ASSERT_NE(it, reference.end()) << "point " << i << ", " << j;
                float ours = values[static_cast<std::size_t>(j) * f.grid.cols + i];
                if (std::isnan(it->second)) {
                    EXPECT_TRUE(std::isnan(ours)) << "point " << i << ", " << j;
                    ++missing;
                } else {
                    EXPECT_NEAR(ours, it->second, 2e-7 * std::fabs(it->second) + 1e-12 * largest)
                        << "point " << i << ", " << j;
                }
            }
        EXPECT_EQ(missing > 0, c.bitmap || c.missing);
    }
}

// Product templates and levels written by the tool: what the index reads of
// each (the kind that sets the field apart, its time range, its level's name).
struct Product {
    const char* keys; // grib_set keys
    const char* kind; // grib::product_kind
    int hour, interval;
    const char* level; // grib::level_name
};

const Product kProducts[] = {
    {"productDefinitionTemplateNumber=0,typeOfFirstFixedSurface=103,"
     "scaledValueOfFirstFixedSurface=2,forecastTime=6",
     "", 6, 0, "2 m above ground"},
    {"productDefinitionTemplateNumber=1,typeOfEnsembleForecast=3,perturbationNumber=7,"
     "numberOfForecastsInEnsemble=20,typeOfFirstFixedSurface=1",
     "member 7", 0, 0, "surface"},
    {"productDefinitionTemplateNumber=1,typeOfEnsembleForecast=0,perturbationNumber=0,"
     "typeOfFirstFixedSurface=101",
     "control", 0, 0, "mean sea level"},
    {"productDefinitionTemplateNumber=2,derivedForecast=2,numberOfForecastsInEnsemble=20,"
     "typeOfFirstFixedSurface=100,scaledValueOfFirstFixedSurface=50000",
     "ensemble standard deviation", 0, 0, "500 hPa"},
    {"productDefinitionTemplateNumber=5,probabilityType=3,scaleFactorOfLowerLimit=2,"
     "scaledValueOfLowerLimit=27315,typeOfFirstFixedSurface=100,"
     "scaledValueOfFirstFixedSurface=70",
     "probability > 273.15", 0, 0, "70 Pa"},
    {"productDefinitionTemplateNumber=6,percentileValue=90,typeOfFirstFixedSurface=10",
     "90th percentile", 0, 0, "entire atmosphere"},
    {"productDefinitionTemplateNumber=8,typeOfStatisticalProcessing=2,lengthOfTimeRange=6,"
     "forecastTime=12,typeOfFirstFixedSurface=103,scaledValueOfFirstFixedSurface=10",
     "maximum", 18, 6, "10 m above ground"},
    {"productDefinitionTemplateNumber=9,probabilityType=1,scaleFactorOfUpperLimit=0,"
     "scaledValueOfUpperLimit=10,typeOfStatisticalProcessing=1,lengthOfTimeRange=3,"
     "forecastTime=3,typeOfFirstFixedSurface=214",
     "probability > 10", 6, 3, "low cloud layer"},
    {"productDefinitionTemplateNumber=10,percentileValue=25,typeOfStatisticalProcessing=0,"
     "lengthOfTimeRange=24,typeOfFirstFixedSurface=106,typeOfSecondFixedSurface=106,"
     "scaleFactorOfSecondFixedSurface=1,scaledValueOfSecondFixedSurface=4,"
     "scaleFactorOfFirstFixedSurface=1,scaledValueOfFirstFixedSurface=1",
     "25th percentile, average", 24, 24, "0.1-0.4 m below ground"},
    {"productDefinitionTemplateNumber=11,typeOfEnsembleForecast=3,perturbationNumber=4,"
     "typeOfStatisticalProcessing=1,lengthOfTimeRange=6,typeOfFirstFixedSurface=109,"
     "scaleFactorOfFirstFixedSurface=9,scaledValueOfFirstFixedSurface=2000",
     "member 4", 6, 6, "PV 2 units"},
    {"productDefinitionTemplateNumber=12,derivedForecast=0,typeOfStatisticalProcessing=3,"
     "lengthOfTimeRange=12,typeOfFirstFixedSurface=105,scaledValueOfFirstFixedSurface=1",
     "ensemble mean, minimum", 12, 12, "hybrid level 1"},
    {"productDefinitionTemplateNumber=40,constituentType=62001,typeOfFirstFixedSurface=103,"
     "scaledValueOfFirstFixedSurface=10,forecastTime=9",
     "constituent 62001", 9, 0, "10 m above ground"},
    {"productDefinitionTemplateNumber=42,constituentType=62001,typeOfStatisticalProcessing=0,"
     "lengthOfTimeRange=3,forecastTime=3,typeOfFirstFixedSurface=1",
     "constituent 62001, average", 6, 3, "surface"},
    {"productDefinitionTemplateNumber=15,statisticalProcess=0,spatialProcessing=0,"
     "numberOfPointsUsed=9,typeOfFirstFixedSurface=1",
     "area average", 0, 0, "surface"},
};

TEST(GribDecode, ProductTemplatesAndLevelsAsTheToolWritesThem) {
    if (!have_tools()) GTEST_SKIP() << "ecCodes tools are missing";
    TempDir dir("grib_products");
    for (const Product& p : kProducts) {
        SCOPED_TRACE(p.keys);
        const std::string out = (dir.path / "p.grib2").string();
        std::string cmd = std::string("grib_set -s ") + p.keys + " " + kSample + " " + out + " > " +
                          (dir.path / "set.log").string() + " 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << read_file(dir.path / "set.log");
        std::string bytes = read_file(out);
        grib::File file;
        const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
        ASSERT_EQ(grib::index_bytes(b, bytes.size(), file), 1) << file.first_problem;
        const grib::Field& f = file.fields[0];
        EXPECT_EQ(grib::product_kind(f), p.kind);
        EXPECT_EQ(f.forecast_hour, p.hour);
        EXPECT_EQ(f.interval_hours, p.interval);
        EXPECT_EQ(grib::level_name(f.level_type, f.level_value, f.level2_type, f.level2_value),
                  p.level);
        std::vector<float> values(f.grid.count());
        EXPECT_EQ(grib::decode(file, f, values), 1);
    }
}

// Run-length packing with level values, which the tool does not write: runs
// of every length up to several digits, missing points (level 0), and
// broken streams, which are refused by name.
TEST(GribDecode, RunLengthPackingWithLevelValues) {
    struct RunCase {
        const char* name;
        int bits, decimal;
        std::vector<int> level_values;
        int period; // points per run of the pattern (several digits beyond the radix)
    } cases[] = {
        {"8 bits, short runs", 8, 0, {10, 20, 30, 40}, 3},
        {"4 bits, long runs", 4, 1, {5, 15, 25}, 150},
        {"3 bits, runs of many digits", 3, 2, {100, 250}, 400},
        {"16 bits, one run", 16, 0, {7}, 100000},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        gribgen::Field f;
        f.cols = 37, f.rows = 23;
        std::vector<int> levels(static_cast<std::size_t>(f.cols) * f.rows);
        const int count = static_cast<int>(c.level_values.size());
        for (std::size_t k = 0; k < levels.size(); ++k)
            levels[k] = static_cast<int>(k / c.period) % (count + 1);
        gribgen::Bytes bytes =
            gribgen::run_length_message(f, c.bits, c.level_values, c.decimal, levels);
        grib::File file;
        ASSERT_EQ(grib::index_bytes(bytes.data(), bytes.size(), file), 1) << file.first_problem;
        std::vector<float> values(levels.size());
        ASSERT_EQ(grib::decode(file, file.fields[0], values, 2, 1), 1);
        for (std::size_t k = 0; k < levels.size(); ++k) {
            if (levels[k] == 0) {
                EXPECT_TRUE(std::isnan(values[k])) << k;
                continue;
            }
            const double want = 2 * c.level_values[levels[k] - 1] * std::pow(10.0, -c.decimal) + 1;
            EXPECT_FLOAT_EQ(values[k], static_cast<float>(want)) << k;
        }
    }

    // Broken streams: a digit first, a run beyond the grid, a level beyond the table.
    gribgen::Field f;
    f.cols = 4, f.rows = 2;
    const gribgen::Bytes good =
        gribgen::run_length_message(f, 4, {1, 2}, 0, {1, 1, 1, 1, 2, 2, 2, 2});
    grib::File file;
    ASSERT_EQ(grib::index_bytes(good.data(), good.size(), file), 1);
    const std::size_t sec7 = good.size() - 4 - 5 - 2; // numbers: 1, d, 2, d: two bytes
    struct Broken {
        const char* name;
        std::size_t at;
        std::uint8_t byte;
        const char* text;
    } broken[] = {
        {"digit first", sec7 + 5, 0xf1, "digits without a level"},
        {"run too long", sec7 + 5, 0x1f, "run longer than the values"},
        {"short", sec7 + 5, 0x10, "shorter than the values"},
    };
    std::string reported;
    static std::string* sink = nullptr;
    sink = &reported;
    const grib::Report before = grib::report;
    grib::report = [](const char*, const char* text) { *sink = text; };
    for (const Broken& b : broken) {
        SCOPED_TRACE(b.name);
        gribgen::Bytes bytes = good;
        bytes[b.at] = b.byte;
        ASSERT_EQ(grib::index_bytes(bytes.data(), bytes.size(), file), 1);
        std::vector<float> values(8);
        reported.clear();
        EXPECT_EQ(grib::decode(file, file.fields[0], values), 0);
        EXPECT_NE(reported.find("message 1: "), std::string::npos) << reported;
        EXPECT_NE(reported.find(b.text), std::string::npos) << reported;
    }
    grib::report = before;
}

// Where a file's first GRIB message is found: behind bulletin headers or
// padding, of either edition; text that only says "GRIB" is none.
TEST(GribDecode, FindsTheFirstMessageWhereverItStarts) {
    gribgen::Field f;
    f.cols = 3, f.rows = 2;
    f.values.assign(6, 1.0);
    const gribgen::Bytes two = gribgen::message(f);
    const std::string one = read_file("/usr/share/eccodes/samples/GRIB1.tmpl");
    auto bytes = [](const std::string& head, const std::string& body) { return head + body; };
    const std::string message(two.begin(), two.end());
    const std::string header = "\x01\r\r\n123\r\r\nYTRA98 KWBC 071200\r\r\n";
    using namespace std::string_literals;
    struct FindCase {
        const char* name;
        std::string data;
        int edition;
    } cases[] = {
        {"bare edition 2", message, 2},
        {"bulletin header", bytes(header, message), 2},
        {"padding", bytes(std::string(1000, '\0'), message), 2},
        {"the word in a header", bytes("GRIB FOLLOWS\r\n", message), 2},
        {"the word only", "header GRIB text GRIB\x00\x00\x00\x02 and more bytes than enough"s, 0},
        {"edition 2 without section 1", message.substr(0, 16) + std::string(40, '\x07'), 0},
        {"binary data", std::string(300, '\xff') + "GRIB" + std::string(300, '\x02'), 0},
        {"edition 1", bytes(header, one), one.empty() ? 0 : 1},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto* b = reinterpret_cast<const std::uint8_t*>(c.data.data());
        EXPECT_EQ(grib::find_grib(b, c.data.size()), c.edition);
    }
    // Beyond the limit a message is not looked for.
    const std::string late = std::string(70000, ' ') + message;
    EXPECT_EQ(grib::find_grib(reinterpret_cast<const std::uint8_t*>(late.data()), late.size()), 0);

    // In a file it is, by blocks: at a block's edge, behind a hole, and only
    // before the given stop.
    testfiles::TempDir dir("find_grib");
    constexpr long long kMiB = 1 << 20;
    struct FileCase {
        long long junk, hole, stop, found; // bytes of text, then of a hole, before the message
    } files[] = {
        {100000, 0, -1, 100000},
        {kMiB - 10, 0, -1, kMiB - 10},
        {kMiB - 2, 0, -1, kMiB - 2},
        {10, 3 * kMiB, -1, 3 * kMiB + 10},
        {100000, 0, 100000, -1},
        {100000, 0, 100001, 100000},
        {5, 0, -1, 5},
    };
    for (const FileCase& c : files) {
        SCOPED_TRACE(c.junk + c.hole);
        const std::filesystem::path path = dir.path / "f.grib2";
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << std::string(static_cast<std::size_t>(c.junk), 'x');
            out.seekp(c.junk + c.hole);
            out << message << "tail";
        }
        const int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(grib::find_grib_in_file(fd, c.stop < 0 ? 1LL << 40 : c.stop), c.found);
        EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);
        ::close(fd);
    }
}

} // namespace
