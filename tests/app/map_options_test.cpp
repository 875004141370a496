// Contour maps and areas: the Map menu's choices, the levels and steps they
// give, and maps of analytic fields whose isolines are known exactly, read
// back from BMP and PNG files.
#include "app/app.h"
#include "engine/world_coast.h"
#include "app/control_ids.h"
#include "gpv/gpv.h"
#include "started_dialog.h"
#include "image_files.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace testfiles;
using namespace app;
namespace hl = platform::headless;

namespace {

TEST(MapOptions, LevelsStepsAndAreas) {
    const struct {
        float step, lo, hi;
        std::vector<float> levels;
    } level_cases[] = {
        {4, 981.2f, 996.0f, {984, 988, 992, 996}}, // the ends count when whole multiples
        {3, -7.5f, 2.9f, {-6, -3, 0}},
        {60, 5401, 5459, {}},
        {0.5f, 0.1f, 1.2f, {0.5f, 1.0f}},
        {1, 0, 250, {}}, // filled below: every third of 251 multiples
        {-1, 0, 10, {}},
    };
    for (const auto& c : level_cases) {
        std::vector<float> want = c.levels;
        if (c.hi == 250)
            for (int k = 0; k <= 250; k += 3)
                want.push_back(float(k));
        EXPECT_EQ(contour_levels(c.step, c.lo, c.hi), want) << c.step << " " << c.lo;
    }
    const struct {
        int item, level;
        float lo, hi, step;
    } step_cases[] = {
        {1, 0, 980, 1030, 4},       {4, 850, -20, 20, 3},    {102, 500, 5000, 5900, 60},
        {102, 850, 1200, 1600, 60}, {102, 1000, 0, 200, 40}, {102, 300, 8000, 9800, 120},
        {24, 850, 0, 40, 5},        {13, 850, 0, 100, 10},   {42, 850, -3.1f, 2.2f, 0.5f},
        {49, 0, 0, 37, 5},          {49, 0, 0, 0, 1}};
    for (const auto& c : step_cases)
        EXPECT_EQ(auto_contour_step(c.item, c.level, c.lo, c.hi), c.step)
            << c.item << " " << c.level;
    const struct {
        const char* text;
        bool ok;
    } area_cases[] = {
        {"125 145 25 45", true},   {" 100.5 170 -10 60 ", true}, {"130 120 30 40", false},
        {"120 130 30 30", false},  {"120 130 30", false},        {"120 130 30 40 50", false},
        {"120 east 30 40", false}, {"120 130 nan 40", false},    {"120 130 -95 40", false},
        {"150 -120 20 60", true},  {"-10 20 30 40", true},       {"170 -190 0 10", false}};
    for (const auto& c : area_cases) {
        MapOptions o;
        std::string why;
        EXPECT_EQ(parse_area(c.text, o, &why), c.ok) << c.text;
        EXPECT_EQ(why.empty(), c.ok) << c.text;
    }
    // East then west crosses the date line.
    MapOptions o;
    std::string why;
    ASSERT_TRUE(parse_area("150 -120 20 60", o, &why));
    EXPECT_EQ(o.lon0, 150);
    EXPECT_EQ(o.lon1, 240);
}

TEST(WorldCoast, ResolutionsByAreaAndKnownCapes) {
    // Points of the coastline near known capes, at every resolution, and more
    // points for smaller areas.
    const struct {
        float lon, lat;
    } capes[] = {{354.40f, 36.01f}, {18.47f, -34.36f}, {292.73f, -55.98f}, {141.85f, 45.52f}};
    std::size_t last = 0;
    for (float span : {180.0f, 40.0f, 5.0f}) {
        const engine::CoastLines& c = engine::world_coast(span);
        EXPECT_GT(c.lon.size(), last) << span;
        last = c.lon.size();
        ASSERT_EQ(c.start.back(), int(c.lon.size()));
        for (const auto& p : capes) {
            float best = 1e9f;
            for (std::size_t k = 0; k < c.lon.size(); ++k)
                best = std::min(best, std::hypot(c.lon[k] - p.lon, c.lat[k] - p.lat));
            EXPECT_LT(best, span > 90 ? 1.0f : 0.1f) << span << " " << p.lon << " " << p.lat;
        }
    }
    // Damaged data is refused, keeping the lines read before the fault.
    const unsigned char bad_magic[16] = {'K', 'V', 'C', 'O', 'A', 'S', 'T', '2'};
    engine::CoastLines out;
    EXPECT_FALSE(decode_coast(bad_magic, sizeof bad_magic, out));
    std::vector<unsigned char> one = {'K',  'V', 'C', 'O', 'A', 'S', 'T',  '1',  2,    0,   0,  0,
                                      2,    0,   0,   0,   2,   0,   0,    0,    10,   0,   20, 0,
                                      0x58, 2,   0,   0,   0,   0,   0xff, 0xff, 0xff, 0xff};
    EXPECT_FALSE(decode_coast(one.data(), one.size(), out)); // the second line is missing
    ASSERT_EQ(out.lon.size(), 2u);
    EXPECT_FLOAT_EQ(out.lon[1], 20.0f); // 10 degrees and a whole 600-minute bin
    EXPECT_FLOAT_EQ(out.lat[1], 30.0f);
}

struct ContourMap : StartedDialog {
    // Opens one field of the whole test grid, item at 850 hPa, from f(lon, lat).
    void open_field(int item, const std::function<double(double, double)>& f) {
        open_records(
            {whole_grid(item, [&](int i, int j) { return f(120.25 + 0.5 * i, 49.8 - 0.4 * j); })});
    }
};

// Pixel of a point of the map (the fixed frame: 119.5..150.5 E, 19.5..50.5 N).
std::pair<int, int> pixel(double lon, double lat) {
    const double k = 599.0 / 2819.0;
    return {int((526 + (lon - 119.5) * 1949 / 31) * k + 0.5),
            int((2346 - (lat - 19.5) * 1879 / 31) * k + 0.5)};
}

bool line_near(const Image& im, double lon, double lat, int reach) {
    const auto [x, y] = pixel(lon, lat);
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx)
            if (im.at(x + dx, y + dy) == 0x0000ff) return true;
    return false;
}

TEST_F(ContourMap, AnalyticFieldsHaveTheirLinesWhereKnown) {
    using Point = std::pair<double, double>;
    const double pi = 3.14159265358979;
    auto ring = [&](double r) {
        std::vector<Point> p;
        for (int d = 0; d < 360; d += 5)
            p.push_back({135 + r * std::cos(d * pi / 180), 35 + r * std::sin(d * pi / 180)});
        return p;
    };
    auto hyperbola = [](double c) { // (lon - 135)(lat - 35) = c in all four quadrants
        std::vector<Point> p;
        for (double t = 2; t <= 10; t += 0.5)
            for (int s : {1, -1})
                p.push_back({135 + s * t, 35 + s * c / t});
        return p;
    };
    auto low_ring = [&](double level) {
        return ring(5 * std::sqrt(std::log(20 / (1000 - level))));
    };
    const auto paraboloid = [](double x, double y) {
        return (x - 135) * (x - 135) + (y - 35) * (y - 35);
    };
    const auto saddle = [](double x, double y) { return (x - 135) * (y - 35); };
    const auto low = [&](double x, double y) {
        return 1000 - 20 * std::exp(-paraboloid(x, y) / 25);
    };
    const struct Case {
        const char* name;
        int item;
        const char* step;
        std::function<double(double, double)> f;
        std::vector<std::vector<Point>> on;
        std::vector<Point> off; // halfway between two lines
    } cases[] = {
        {"paraboloid", 4, "25", paraboloid, {ring(5), ring(10)}, ring(std::sqrt(62.5))},
        {"saddle", 4, "20", saddle, {hyperbola(20), hyperbola(-20), hyperbola(40)}, hyperbola(30)},
        {"closed low, pressure at the automatic step of 4 hPa", 1, "auto", low,
         std::vector{low_ring(984), low_ring(988), low_ring(992), low_ring(996)}, low_ring(990)},
    };
    for (const Case& c : cases)
        for (const char* format : {"bmp", "png"}) {
            SCOPED_TRACE(std::string(c.name) + " " + format);
            open_field(c.item, c.f);
            hl::set_next_answer(c.step);
            dialog_handlers.command(IDM_MAP_STEP, platform::Clicked);
            dialog_handlers.command(IDM_MAP_CONTOURS_ONLY, platform::Clicked);
            const std::string report = execute_into(dir / "out", format);
            EXPECT_NE(report.find("Warnings: 0 "), std::string::npos) << report;
            const Image im = read_image(dir / "out" /
                                        (std::string("MD04_ID") + (c.item == 1 ? "001" : "004") +
                                         "_P0850_DT02120400_TM00." + format));
            ASSERT_EQ(im.w * 1000 + im.h, 650600);
            // Every line is drawn where it lies, but for the gaps under its
            // labels; halfway between two lines only a label may reach.
            for (const auto& line : c.on) {
                int hit = 0;
                for (const Point& p : line)
                    hit += line_near(im, p.first, p.second, 1);
                EXPECT_GE(hit, int(line.size()) * 8 / 10) << hit << " of " << line.size();
            }
            int stray = 0;
            for (const Point& p : c.off)
                stray += line_near(im, p.first, p.second, 0);
            EXPECT_LE(stray, int(c.off.size()) / 10) << stray << " of " << c.off.size();
        }
}

TEST_F(ContourMap, AreaFramesTheMapAndTakesItsColourRange) {
    // Values rising eastwards: the area 130..140 E sees only its own part.
    open_field(4, [](double lon, double) { return lon; });
    hl::set_next_answer("130 140 30 40");
    dialog_handlers.command(IDM_MAP_AREA, platform::Clicked);
    execute_into(dir / "out", "bmp");
    // The cells inside the area: 130.25 to 139.75.
    EXPECT_NEAR(std::stod(platform::get_text(IDC_RANGE_LOW)), 130.25, 0.02);
    EXPECT_NEAR(std::stod(platform::get_text(IDC_RANGE_HIGH)), 139.75, 0.02);
    const Image im = read_image(dir / "out" / "MD04_ID004_P0850_DT02120400_TM00.bmp");
    // Cells fill the frame up to its edges: the colour just inside the left
    // and right edge is that of the lowest and highest data colours.
    const int k = 599.0 / 2819.0 * 1000, left = int(526 * k / 1000.0 + 0.5) + 2,
              right = int(2475 * k / 1000.0 + 0.5) - 2, mid = int(1400 * k / 1000.0);
    EXPECT_NE(im.at(left, mid), 0xffffffu);
    EXPECT_NE(im.at(right, mid), 0xffffffu);
    EXPECT_NE(im.at(left, mid), im.at(right, mid));
    // The choice stays for the session: an empty answer brings the fixed map back.
    EXPECT_TRUE(state.map.area);
    hl::set_next_answer("");
    dialog_handlers.command(IDM_MAP_AREA, platform::Clicked);
    EXPECT_FALSE(state.map.area);
}

} // namespace
