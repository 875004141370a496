// Fields of projected and reduced grids through the kivar program, written
// by an independent GRIB tool (ecCodes' grib_filter): the inventory names the
// grid, TEXT and CSV keep the grid's rows, the points layout gives what that
// tool's grib_get_data gives, and maps are drawn; GPV fields as points too.
#include "gpvgen/gpvgen.h"
#include "cli_run.h"
#include "tool_oracle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>

using namespace testfiles;

namespace {

struct GridsCli : KivarCli {
    // A temperature field at 850 hPa on the grid the rules set, from the
    // tool's sample; "" when the tool is missing or failed.
    std::string tool_file(const std::string& name, const std::string& sample,
                          const std::string& rules, int points) {
        const std::string out = (dir / (name + ".grib2")).string();
        const std::string values = oracle::values(
            std::size_t(points), [](std::size_t k) { return 250 + k % 23 + 0.125 * (k % 3); });
        return oracle::have_tools() &&
                       oracle::filter(dir,
                                      rules +
                                          "typeOfFirstFixedSurface=100; level=850;\ndiscipline=0; "
                                          "parameterCategory=0; "
                                          "parameterNumber=0;\nvalues={" +
                                          values + "};\nwrite \"" + out + "\";\n",
                                      sample)
                   ? out
                   : "";
    }
};

constexpr const char* kLambert =
    "gridDefinitionTemplateNumber=30; shapeOfTheEarth=6;\nNx=12; Ny=10; scanningMode=64;\n"
    "LaDInDegrees=35; LoVInDegrees=135;\nLatin1InDegrees=30; Latin2InDegrees=60;\n"
    "DxInMetres=200000; DyInMetres=200000;\nlatitudeOfFirstGridPointInDegrees=25; "
    "longitudeOfFirstGridPointInDegrees=125;\n";

constexpr const char* kReduced =
    "N=2; Nj=4; pl={8,12,10,6}; numberOfDataPoints=36;\nlatitudeOfFirstGridPointInDegrees=63.0;\n"
    "latitudeOfLastGridPointInDegrees=-63.0;\nlongitudeOfLastGridPointInDegrees=330;\n";

TEST_F(GridsCli, ProjectedAndReducedGridsInEveryLayout) {
    struct Grid {
        const char* name;
        const char* sample;
        const char* rules;
        int points;
        const char* model;
        std::vector<std::size_t> row_values; // values of each row of the CSV layout
    };
    const Grid grids[] = {
        {"lambert", "GRIB2.tmpl", kLambert, 120, "model: Lambert conformal 200x200 km (code 0)",
         std::vector<std::size_t>(10, 12)},
        {"reduced", "reduced_gg_pl_32_grib2.tmpl", kReduced, 36,
         "model: reduced Gaussian N2 (code 0)", std::vector<std::size_t>{8, 12, 10, 6}},
    };
    for (const Grid& g : grids) {
        SCOPED_TRACE(g.name);
        const std::string path = tool_file(g.name, g.sample, g.rules, g.points);
        if (path.empty()) GTEST_SKIP() << "ecCodes' grib_filter is missing or failed";
        Outcome r = kivar_ok("info " + path);
        EXPECT_EQ(r.out.substr(0, r.out.find('\n')), g.model);

        r = kivar("data " + path + " --csv --save " + g.name);
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> csv;
        for (const auto& e : fs::directory_iterator(dir / "work" / g.name))
            csv = lines(read_file(e.path()));
        ASSERT_EQ(csv.size(), g.row_values.size() + 1);
        for (std::size_t j = 0; j < g.row_values.size(); ++j)
            EXPECT_EQ(std::count(csv[j + 1].begin(), csv[j + 1].end(), ','),
                      static_cast<long>(g.row_values[j]) - 1)
                << "row " << j;

        r = kivar("data " + path + " --points --save " + g.name + "_points");
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> points;
        for (const auto& e :
             fs::directory_iterator(dir / "work" / (std::string(g.name) + "_points"))) {
            EXPECT_NE(e.path().string().find(".points.csv"), std::string::npos) << e.path();
            points = lines(read_file(e.path()));
        }
        ASSERT_EQ(points.size(), static_cast<std::size_t>(g.points) + 1);
        EXPECT_EQ(points[0], "latitude,longitude,value");
        // Every point where the tool puts it, with its value (in C).
        const std::vector<oracle::Point> tool = oracle::points(path);
        ASSERT_EQ(tool.size() + 1, points.size());
        std::multiset<std::tuple<long, long, long>> ours, theirs;
        const auto key = [](double lat, double lon, double kelvin) {
            return std::tuple{std::lround(lat * 1e3), std::lround(std::fmod(lon + 360, 360) * 1e3),
                              std::lround(kelvin * 8)};
        };
        for (std::size_t k = 1; k < points.size(); ++k) {
            double lat, lon, v;
            ASSERT_EQ(std::sscanf(points[k].c_str(), "%lf,%lf,%lf", &lat, &lon, &v), 3)
                << points[k];
            ours.insert(key(lat, lon, v + 273.15));
            theirs.insert(key(tool[k - 1].lat, tool[k - 1].lon, tool[k - 1].value));
        }
        EXPECT_EQ(ours, theirs);

        r = kivar_ok("image " + path + " --format png --save " + g.name + "_maps");
        EXPECT_EQ(files_in(std::string(g.name) + "_maps"), 1);
    }
}

TEST_F(GridsCli, GpvFieldsAsPoints) {
    const std::string path = (dir / "fc.gpv").string();
    ASSERT_TRUE(write_forecast(path, {850}, {4}, 0));
    Outcome r = kivar("data " + path + " --points --save out");
    ASSERT_EQ(r.status, 0) << r.err;
    r = kivar("data " + path + " --text --save out");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> points, text;
    for (const auto& e : fs::directory_iterator(dir / "work" / "out"))
        (e.path().string().ends_with(".points.csv") ? points : text) = lines(read_file(e.path()));
    ASSERT_GT(text.size(), 2u);
    int cols = 0, rows = 0;
    ASSERT_EQ(std::sscanf(text[0].c_str(), "%d %d", &cols, &rows), 2);
    ASSERT_EQ(points.size(), static_cast<std::size_t>(cols) * rows + 1);
    // The first cell centre of the model's grid, and the values of the TEXT
    // file's first row in the same order.
    EXPECT_EQ(points[1].substr(0, points[1].rfind(',')), "49.800000,120.250000");
    std::istringstream row(text[1]);
    for (int i = 0; i < cols; ++i) {
        double t = 0, p = 0;
        row >> t;
        p = std::strtod(points[1 + i].substr(points[1 + i].rfind(',') + 1).c_str(), nullptr);
        EXPECT_NEAR(p, t, 5e-7 * std::fabs(t) + 1e-6) << "column " << i;
    }
}

} // namespace
