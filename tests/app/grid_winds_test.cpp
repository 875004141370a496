// Winds on a Lambert conformal grid given along the grid's axes (written by
// ecCodes' grib_filter): the map turns them to east and north. A westerly of
// 10 m/s everywhere, stored grid-relative, is drawn as a westerly wherever
// the grid's axes turn away from the meridians.
#include "app/forecast.h"
#include "tool_oracle.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace testfiles;

namespace {

// The cone of a tangent Lambert projection at 30 N turns the grid's x axis
// by n (LoV - lon) from east (anticlockwise), n = sin 30.
constexpr double kLov = 135, kCone = 0.5;

const char* const kGrid = "set gridDefinitionTemplateNumber = 30; set shapeOfTheEarth = 6;\n"
                          "set Nx = 16; set Ny = 12; set scanningMode = 64;\n"
                          "set LaDInDegrees = 30; set LoVInDegrees = 135;\n"
                          "set Latin1InDegrees = 30; set Latin2InDegrees = 30;\n"
                          "set DxInMetres = 200000; set DyInMetres = 200000;\n"
                          "set latitudeOfFirstGridPointInDegrees = 22;\n"
                          "set longitudeOfFirstGridPointInDegrees = 118;\n"
                          "set typeOfFirstFixedSurface = 100; set level = 850;\n"
                          "set discipline = 0; set parameterCategory = 2;\n";

TEST(GridWinds, GridRelativeWindsTurnedToEastAndNorth) {
    if (!oracle::have_tools()) GTEST_SKIP() << "ecCodes tools are missing";
    TempDir tmp("gridwinds");
    const fs::path dir = tmp.path;
    const int n = 16 * 12;
    const std::string base = (dir / "base.grib2").string();
    ASSERT_TRUE(oracle::filter(dir,
                               std::string(kGrid) + "set parameterNumber = 2;\nset values = {" +
                                   oracle::values(n, [](std::size_t) { return 1; }) +
                                   "};\nwrite \"" + base + "\";\n",
                               "GRIB2.tmpl"));
    // The longitude of each point in the file's order, from the tool.
    const std::vector<oracle::Point> points = oracle::points(base);
    ASSERT_EQ(points.size(), std::size_t(n));
    const auto turn = [&](std::size_t k) { return kCone * (kLov - points[k].lon) * M_PI / 180; };
    const std::string u = oracle::values(n, [&](std::size_t k) { return 10 * std::cos(turn(k)); }),
                      v = oracle::values(n, [&](std::size_t k) { return -10 * std::sin(turn(k)); });
    const std::string path = (dir / "winds.grib2").string();
    ASSERT_TRUE(oracle::filter(dir,
                               "set resolutionAndComponentFlags = 8;\nset bitsPerValue = 24;\n"
                               "set parameterNumber = 2;\nset values = {" +
                                   u + "};\nwrite \"" + path +
                                   "\";\nset parameterNumber = 3;\nset values = {" + v +
                                   "};\nwrite \"" + path + "\";\n",
                               base));

    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(app::forecast_open(f, path), 1);
    ASSERT_EQ(app::forecast.items, (std::vector<int>{23, 24}));
    std::vector<float> a(n), b(n);
    gpv::Selection sel;
    int level = 0, item = 0, hour = 0, pass = 1;
    level = 850, item = 23;
    ASSERT_EQ(app::forecast_extract_next(f, sel, a, level, item, hour, pass), 1);
    item = 24;
    ASSERT_EQ(app::forecast_extract_next(f, sel, b, level, item, hour, pass), 1);
    app::MapGrid m;
    ASSERT_TRUE(app::forecast_map_grid(a.data(), b.data(), m));
    ASSERT_GT(m.cols * m.rows, 20);
    int drawn = 0;
    for (int k = 0; k < m.cols * m.rows; ++k) {
        if (std::isnan(m.a[k])) continue; // beyond the grid's edge
        ++drawn;
        EXPECT_NEAR(m.a[k], 10, 0.05) << "cell " << k << " at " << m.lon[k];
        EXPECT_NEAR(m.b[k], 0, 0.05) << "cell " << k << " at " << m.lon[k];
    }
    EXPECT_GT(drawn, m.cols * m.rows / 2);
    app::forecast_close();
    std::fclose(f);
}

} // namespace
