// Winds on a Lambert conformal grid given along the grid's axes (written by
// ecCodes' grib_filter): the map turns them to east and north. A westerly of
// 10 m/s everywhere, stored grid-relative, is drawn as a westerly wherever
// the grid's axes turn away from the meridians.
#include "engine/forecast.h"
#include "tool_oracle.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace testfiles;

namespace {

// The cone of a tangent Lambert projection at 30 N turns the grid's x axis
// by n (LoV - lon) from east (anticlockwise), n = sin 30.
constexpr double kLov = 135, kCone = 0.5;

const char* const kGrid = "gridDefinitionTemplateNumber=30; shapeOfTheEarth=6;\n"
                          "Nx=16; Ny=12; scanningMode=64;\nLaDInDegrees=30; LoVInDegrees=135;\n"
                          "Latin1InDegrees=30; Latin2InDegrees=30;\nDxInMetres=200000; "
                          "DyInMetres=200000;\nlatitudeOfFirstGridPointInDegrees=22;\n"
                          "longitudeOfFirstGridPointInDegrees=118;\ntypeOfFirstFixedSurface=100; "
                          "level=850;\ndiscipline=0; parameterCategory=2;\n";

TEST(GridWinds, GridRelativeWindsTurnedToEastAndNorth) {
    if (!oracle::have_tools()) GTEST_SKIP() << "ecCodes tools are missing";
    TempDir tmp("gridwinds");
    const fs::path dir = tmp.path;
    const int n = 16 * 12;
    const std::string base = (dir / "base.grib2").string();
    ASSERT_TRUE(oracle::filter(dir,
                               std::string(kGrid) + "parameterNumber=2;\nvalues={" +
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
                               "resolutionAndComponentFlags=8;\nbitsPerValue=24;\n"
                               "parameterNumber=2;\nvalues={" +
                                   u + "};\nwrite \"" + path + "\";\nparameterNumber=3;\nvalues={" +
                                   v + "};\nwrite \"" + path + "\";\n",
                               base));

    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(engine::forecast_open(f, path), 1);
    ASSERT_EQ(engine::forecast.items, (std::vector<int>{23, 24}));
    std::vector<float> a(n), b(n);
    gpv::Selection sel;
    int level = 0, item = 0, hour = 0, pass = 1;
    level = 850, item = 23;
    ASSERT_EQ(engine::forecast_extract_next(f, sel, a, level, item, hour, pass), 1);
    item = 24;
    ASSERT_EQ(engine::forecast_extract_next(f, sel, b, level, item, hour, pass), 1);
    engine::MapGrid m;
    ASSERT_TRUE(engine::forecast_map_grid(a.data(), b.data(), m));
    ASSERT_GT(m.cols * m.rows, 20);
    int drawn = 0;
    for (int k = 0; k < m.cols * m.rows; ++k) {
        if (std::isnan(m.a[k])) continue; // beyond the grid's edge
        ++drawn;
        EXPECT_NEAR(m.a[k], 10, 0.05) << "cell " << k << " at " << m.lon[k];
        EXPECT_NEAR(m.b[k], 0, 0.05) << "cell " << k << " at " << m.lon[k];
    }
    EXPECT_GT(drawn, m.cols * m.rows / 2);
    engine::forecast_close();
    std::fclose(f);
}

} // namespace
