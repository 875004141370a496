// Grids of every supported kind and of both editions, written by an
// independent GRIB tool (ecCodes' grib_filter, from its own sample
// messages): every point's latitude, longitude and value as we deliver them,
// compared with what that tool's grib_get_data prints for the same point.
#include "grib/grib.h"
#include "grib/grid.h"

#include "tool_oracle.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using oracle::have_tools;
using oracle::Point;
using testfiles::read_file;
using testfiles::TempDir;

constexpr const char* kLambert = "gridDefinitionTemplateNumber=30;\n"
                                 "Nx=9; Ny=7;\nLaDInDegrees=38.5; LoVInDegrees=262.5;\n"
                                 "Latin1InDegrees=38.5; Latin2InDegrees=38.5;\nDxInMetres=30000; "
                                 "DyInMetres=25000;\n";

std::string lambert(int scan, const std::string& earth, double lat = 21.14, double lon = 237.28) {
    std::ostringstream r;
    r.precision(10);
    r << kLambert << earth << "scanningMode=" << scan << ";\n"
      << "latitudeOfFirstGridPointInDegrees=" << lat << ";\n"
      << "longitudeOfFirstGridPointInDegrees=" << lon << ";\n";
    return r.str();
}

const std::string kSphere = "shapeOfTheEarth=6;\n";
const std::string kRadius = "shapeOfTheEarth=1; scaleFactorOfRadiusOfSphericalEarth="
                            "0; scaledValueOfRadiusOfSphericalEarth=6371000;\n";
const std::string kWgs84 = "shapeOfTheEarth=5;\n";
const std::string kAxesKm =
    "shapeOfTheEarth=3; scaleFactorOfEarthMajorAxis=1; scaledValueOfEarthMajorAxis=63781370; "
    "scaleFactorOfEarthMinorAxis=1; scaledValueOfEarthMinorAxis=63567523;\n";
const std::string kAxesM = "shapeOfTheEarth=7; scaleFactorOfEarthMajorAxis=0; set "
                           "scaledValueOfEarthMajorAxis = 6378160; scaleFactorOfEarthMinorAxis=0; "
                           "scaledValueOfEarthMinorAxis=6356775;\n";

const std::string kPolar = "Nx=8; Ny=6; shapeOfTheEarth=6;\n"
                           "DxInMetres=150000; DyInMetres=150000;\n"
                           "orientationOfTheGridInDegrees=249; scanningMode=64;\n";

const std::string kMercator = "gridDefinitionTemplateNumber=10; shapeOfTheEarth=6;\n"
                              "Ni=6; Nj=5; LaDInDegrees=20;\nDiInMetres=100000; "
                              "DjInMetres=100000;\nlatitudeOfFirstGridPointInDegrees=10;\n"
                              "longitudeOfFirstGridPointInDegrees=120;\n"
                              "latitudeOfLastGridPointInDegrees=13.745;\n"
                              "longitudeOfLastGridPointInDegrees=124.785;\nscanningMode=64;\n";

// The tool's sample: 16 x 31 points, 2 degrees apart.
const std::string kRotated = "latitudeOfSouthernPoleInDegrees=-31.758312;\n"
                             "longitudeOfSouthernPoleInDegrees=-92.402969;\n";

struct Case {
    const char* name;
    const char* sample; // of the tool's samples
    int grid_template;
    int points;        // values set
    std::string rules; // grib_filter statements
};

// The kinds of grids, earths and orders that the tool's own coordinates
// follow (its projected grids assume scanning from the south-west corner).
const Case kCases[] = {
    {"lambert", "GRIB2.tmpl", 30, 63, lambert(64, kSphere)},
    {"lambert_radius", "GRIB2.tmpl", 30, 63, lambert(64, kRadius)},
    {"lambert_wgs84", "GRIB2.tmpl", 30, 63, lambert(64, kWgs84)},
    {"lambert_axes_km", "GRIB2.tmpl", 30, 63, lambert(64, kAxesKm)},
    {"lambert_axes_m", "GRIB2.tmpl", 30, 63, lambert(64, kAxesM)},
    {"polar_north", "polar_stereographic_sfc_grib2.tmpl", 20, 48,
     kPolar + "LaDInDegrees=60; latitudeOfFirstGridPointInDegrees=40;\n"
              "longitudeOfFirstGridPointInDegrees=210;\n"},
    {"polar_south", "polar_stereographic_sfc_grib2.tmpl", 20, 48,
     kPolar + "projectionCentreFlag=128; LaDInDegrees=-60;\n"
              "latitudeOfFirstGridPointInDegrees=-50;\nlongitudeOfFirstGridPointInDegrees=120;\n"},
    {"mercator", "GRIB2.tmpl", 10, 30, kMercator},
    {"rotated", "rotated_ll_sfc_grib2.tmpl", 1, 496, kRotated},
    {"rotated_north", "rotated_ll_sfc_grib2.tmpl", 1, 496,
     kRotated + "jScansPositively=1; latitudeOfFirstGridPointInDegrees=-30;\n"
                "latitudeOfLastGridPointInDegrees=30;\n"},
    {"rotated_turned", "rotated_ll_sfc_grib2.tmpl", 1, 496,
     "latitudeOfSouthernPoleInDegrees=-40;\nlongitudeOfSouthernPoleInDegrees=10;\n"
     "angleOfRotation=15;\n"},
    {"rotated_gaussian", "rotated_gg_sfc_grib2.tmpl", 41, 8192, kRotated},
    {"reduced_rotated_gaussian", "reduced_rotated_gg_sfc_grib2.tmpl", 41, 6114, kRotated},
    {"gaussian", "regular_gg_sfc_grib2.tmpl", 40, 8192, ""},
    {"gaussian_north", "regular_gg_sfc_grib2.tmpl", 40, 8192,
     "jScansPositively=1; latitudeOfFirstGridPointInDegrees=-87.864;\n"
     "latitudeOfLastGridPointInDegrees=87.864;\n"},
    {"reduced_gaussian", "reduced_gg_pl_32_grib2.tmpl", 40, 6114, ""},
    {"reduced_gaussian_small", "reduced_gg_pl_32_grib2.tmpl", 40, 36,
     "N=2; Nj=4; pl={8,12,10,6}; numberOfDataPoints=36;\nlatitudeOfFirstGridPointInDegrees=63.0;\n"
     "latitudeOfLastGridPointInDegrees=-63.0;\nlongitudeOfLastGridPointInDegrees=330;\n"},
    {"reduced_latlon", "reduced_ll_sfc_grib2.tmpl", 0, 36,
     "Nj=5; pl={4,8,12,8,4}; numberOfDataPoints=36;\nlatitudeOfFirstGridPointInDegrees=60; "
     "latitudeOfLastGridPointInDegrees=-60;\njDirectionIncrementInDegrees=30; "
     "longitudeOfLastGridPointInDegrees=330;\n"},
    // GRIB edition 1 grids, through the same description.
    {"grib1_latlon", "regular_ll_sfc_grib1.tmpl", 0, 496, ""},
    {"grib1_gaussian", "regular_gg_sfc_grib1.tmpl", 40, 8192, ""},
    {"grib1_reduced_gaussian", "reduced_gg_pl_32_grib1.tmpl", 40, 6114, ""},
    {"grib1_rotated", "rotated_ll_sfc_grib1.tmpl", 1, 496, kRotated},
    {"grib1_polar", "polar_stereographic_sfc_grib1.tmpl", 20, 48,
     "Nx=8; Ny=6; DxInMetres=150000; DyInMetres=150000;\norientationOfTheGridInDegrees=249; "
     "scanningMode=64;\nlatitudeOfFirstGridPointInDegrees=40; "
     "longitudeOfFirstGridPointInDegrees=210;\n"},
    {"grib1_lambert", "GRIB1.tmpl", 30, 63,
     "dataRepresentationType=3;\nNx=9; Ny=7;\nLoVInDegrees=262.5; Latin1InDegrees=38.5;\n"
     "Latin2InDegrees=38.5; DxInMetres=30000; DyInMetres=25000;\n"
     "latitudeOfFirstGridPointInDegrees=21.14;\nlongitudeOfFirstGridPointInDegrees=237.28; "
     "scanningMode=64;\n"},
};

// Writes a file with grib_filter from a sample of the tool, the rules and
// `points` values; its path, or "" when the tool failed.
std::string write_file(const std::string& name, const std::string& sample, const std::string& rules,
                       int points, const testfiles::fs::path& dir) {
    const std::string out = (dir / (name + ".grib2")).string();
    const std::string values = oracle::values(
        std::size_t(points), [](std::size_t k) { return 100 + k % 97 + 0.25 * (k % 5); });
    return oracle::filter(dir, rules + "values={" + values + "};\nwrite \"" + out + "\";\n", sample)
               ? out
               : "";
}

double lon_difference(double a, double b) {
    double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

// A file's one field as we deliver it: grid, values and coordinates.
struct Delivered {
    grib::Grid grid;
    std::vector<float> values;
    std::vector<double> lat, lon;
};

void deliver(const std::string& path, Delivered& d) {
    std::string bytes = read_file(path);
    grib::File file;
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
    ASSERT_EQ(grib::index_bytes(b, bytes.size(), file), 1) << file.first_problem;
    ASSERT_EQ(file.fields.size(), 1u);
    d.grid = file.fields[0].grid;
    const std::size_t n = d.grid.count();
    d.values.resize(n), d.lat.resize(n), d.lon.resize(n);
    ASSERT_EQ(grib::decode(file, file.fields[0], d.values), 1);
    ASSERT_EQ(grib::grid_coordinates(d.grid, d.lat, d.lon), 1);
}

TEST(GribGrid, EveryPointWhereTheIndependentToolPutsIt) {
    if (!have_tools())
        GTEST_SKIP() << "ecCodes tools (grib_filter, grib_get_data) or their samples are "
                        "missing: install libeccodes-tools (scripts/install-deps.sh)";
    TempDir dir("grib_grids");
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::string path = write_file(c.name, c.sample, c.rules, c.points, dir.path);
        ASSERT_FALSE(path.empty()) << read_file(dir.path / "filter.log");
        Delivered d;
        deliver(path, d);
        if (HasFatalFailure()) return;
        EXPECT_EQ(d.grid.template_number, c.grid_template);
        const std::size_t n = d.grid.count();
        const std::vector<Point> ref = oracle::points(path);
        ASSERT_EQ(ref.size(), n);
        // Which point of the file each delivered point is.
        std::vector<float> index(n), where(n);
        for (std::size_t k = 0; k < n; ++k)
            index[k] = static_cast<float>(k);
        grib::to_grid_order(d.grid, index.data(), where.data());
        // (The tool leaves rotated Gaussian grids in their rotated frame:
        // their values only, their rotation is that of rotated lat/lon grids.)
        const bool frame = c.grid_template == 41;
        int wrong = 0;
        for (std::size_t k = 0; k < n && wrong < 5; ++k) {
            const Point& p = ref[static_cast<std::size_t>(where[k])];
            const bool ok = (frame || std::fabs(d.lat[k] - p.lat) < 1e-4) &&
                            (frame || lon_difference(d.lon[k], p.lon) < 1e-4 ||
                             std::fabs(p.lat) > 90 - 1e-6) && // any longitude at a pole
                            std::fabs(d.values[k] - p.value) < 1e-4 * std::fabs(p.value) + 1e-6;
            if (!ok) {
                ADD_FAILURE() << "point " << k << ": " << d.lat[k] << " " << d.lon[k] << " "
                              << d.values[k] << ", the tool " << p.lat << " " << p.lon << " "
                              << p.value;
            }
            wrong += !ok;
        }
        // Each point is the nearest one to its own place (but at a pole).
        std::vector<long long> nearest(n);
        ASSERT_EQ(grib::grid_nearest(d.grid, d.lat, d.lon, nearest), 1);
        for (std::size_t k = 0; k < n; ++k)
            if (std::fabs(d.lat[k]) < 89.99 && nearest[k] != static_cast<long long>(k)) {
                ADD_FAILURE() << "nearest to point " << k << " is " << nearest[k];
                break;
            }
        // Delivered order: row 0 north (projected grids: of largest y).
        if (d.grid.row_points.empty() && d.grid.proj.empty() && d.grid.rows > 1) {
            EXPECT_GT(d.lat[0], d.lat[n - 1]);
        }
    }
}

// A projected grid scanned from each of its corners, in columns or in
// alternating rows: the points are where those of the same grid scanned from
// the south-west corner are (whose coordinates the tool gave above).
TEST(GribGrid, ProjectedGridScannedFromAnyCorner) {
    if (!have_tools()) GTEST_SKIP() << "ecCodes tools are missing";
    TempDir dir("grib_corners");
    const std::string base = write_file("base", "GRIB2.tmpl", lambert(64, kSphere), 63, dir.path);
    ASSERT_FALSE(base.empty()) << read_file(dir.path / "filter.log");
    const std::vector<Point> ref = oracle::points(base);
    ASSERT_EQ(ref.size(), 63u);
    Delivered want;
    deliver(base, want);
    if (HasFatalFailure()) return;
    const std::size_t nx = 9, ny = 7;
    const std::size_t sw = 0, se = nx - 1, nw = (ny - 1) * nx, ne = ny * nx - 1;
    struct Corner {
        int scan;
        std::size_t first; // the corner where the scan starts
    } corners[] = {{0, nw},    {0x80, ne}, {0xc0, se}, {0x20, nw},
                   {0x60, sw}, {0x50, sw}, {0x10, nw}, {0xe0, se}};
    for (const Corner& c : corners) {
        SCOPED_TRACE(c.scan);
        const Point& p = ref[c.first];
        std::string path = write_file("scan" + std::to_string(c.scan), "GRIB2.tmpl",
                                      lambert(c.scan, kSphere, p.lat, p.lon), 63, dir.path);
        ASSERT_FALSE(path.empty());
        Delivered d;
        deliver(path, d);
        if (HasFatalFailure()) return;
        for (std::size_t k = 0; k < 63; ++k) {
            EXPECT_NEAR(d.lat[k], want.lat[k], 1e-4) << "point " << k;
            EXPECT_LT(lon_difference(d.lon[k], want.lon[k]), 1e-4) << "point " << k;
        }
    }
}

// The file's order into the delivered one (row 0 north, column 0 west) for
// every scanning mode, on a grid of 3 x 2 points and a reduced one of rows
// of 2 and 3 points: the file's point of each delivered point.
TEST(GribGrid, EveryScanningOrder) {
    struct Order {
        int scan;
        std::vector<int> row_points;
        std::vector<float> delivered;
    } orders[] = {
        {0x00, {}, {0, 1, 2, 3, 4, 5}},  {0x80, {}, {2, 1, 0, 5, 4, 3}},
        {0x40, {}, {3, 4, 5, 0, 1, 2}},  {0xc0, {}, {5, 4, 3, 2, 1, 0}},
        {0x20, {}, {0, 2, 4, 1, 3, 5}},  {0x60, {}, {1, 3, 5, 0, 2, 4}},
        {0x10, {}, {0, 1, 2, 5, 4, 3}},  {0x50, {}, {5, 4, 3, 0, 1, 2}},
        {0x30, {}, {0, 3, 4, 1, 2, 5}},  {0x00, {2, 3}, {0, 1, 2, 3, 4}},
        {0x40, {2, 3}, {3, 4, 0, 1, 2}}, {0x80, {2, 3}, {1, 0, 4, 3, 2}},
    };
    for (const Order& o : orders) {
        SCOPED_TRACE(o.scan);
        grib::Grid g;
        g.cols = 3, g.rows = 2, g.scan_mode = o.scan;
        g.row_points = o.row_points;
        if (!o.row_points.empty()) g.points = 5;
        std::vector<float> file(g.count()), out(g.count(), -1);
        for (std::size_t k = 0; k < file.size(); ++k)
            file[k] = static_cast<float>(k);
        grib::to_grid_order(g, file.data(), out.data());
        EXPECT_EQ(out, o.delivered);
    }
}

TEST(GribGrid, GaussianLatitudesAreLegendreRoots) {
    // N = 1: the roots of P2 are +-1/sqrt(3).
    double two[2];
    grib::gaussian_latitudes(1, two);
    EXPECT_NEAR(two[0], std::asin(1 / std::sqrt(3.0)) * 180 / M_PI, 1e-12);
    EXPECT_NEAR(two[1], -two[0], 1e-12);
    // N = 640 as the global models use it: the first and the one next to the equator.
    std::vector<double> lat(1280);
    grib::gaussian_latitudes(640, lat.data());
    EXPECT_NEAR(lat[0], 89.892396, 1e-6);
    EXPECT_NEAR(lat[639], 0.070285, 1e-6);
    // One row alone, as the index finds the first row of a grid.
    EXPECT_NEAR(grib::gaussian_latitude(640, 639), lat[639], 1e-9);
    EXPECT_NEAR(grib::gaussian_latitude(640, 1279), -lat[0], 1e-9);
    EXPECT_TRUE(std::isnan(grib::gaussian_latitude(640, 1280)));
}

// Grid sections the reader refuses by name, or as broken, before allocating.
TEST(GribGrid, RefusedGridsNameWhy) {
    struct Refused {
        int grid_template;
        std::uint32_t ni, nj;
        const char* expected;
    };
    const Refused cases[] = {
        {101, 1, 1,
         "3.101 (general unstructured grid) is not supported: its points are defined in a separate "
         "grid file"},
        {50, 1, 1, "3.50 (spherical harmonic coefficients) is not supported: spectral"},
        {90, 1, 1, "3.90 (space view perspective) is not supported"},
        {0, 0x40000000, 0x40000000, "absurd grid of 1073741824 x 1073741824 points"},
        {30, 100000, 100000, "absurd grid of 100000 x 100000 points"},
    };
    for (const Refused& r : cases) {
        std::vector<std::uint8_t> s3(96, 0);
        s3[3] = 96, s3[4] = 3;
        s3[6] = 0x01; // 2^24 points
        s3[12] = static_cast<std::uint8_t>(r.grid_template >> 8);
        s3[13] = static_cast<std::uint8_t>(r.grid_template);
        s3[14] = 6;
        for (int k = 0; k < 4; ++k) {
            s3[30 + k] = static_cast<std::uint8_t>(r.ni >> (24 - 8 * k));
            s3[34 + k] = static_cast<std::uint8_t>(r.nj >> (24 - 8 * k));
        }
        grib::Grid g;
        std::string problem;
        EXPECT_FALSE(grib::parse_grid_section(s3.data(), 96, g, problem));
        EXPECT_NE(problem.find(r.expected), std::string::npos) << problem;
    }
}

} // namespace
