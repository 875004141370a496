// Axis systems, axis drawing and label texts, and the calendar; data plots
// inside an axis system: arrow shapes, the out-of-scaling report of curves
// and arrows, and titles, read back as the pen moves of a GKSL metafile.
// (The weather map's pixels are checked in tests/app.)
#include "plot_test_util.h"

#include <climits>
#include <map>
#include <random>
#include <sstream>
#include <cmath>

using namespace plot_test;
using namespace razidu;

using AxesTest = PlotTest;

namespace {

// The weather map's axis system on a page of 2925 x 2820 of a device,
// drawn and closed unless `keep`.
void weather_axes(const char* device, const std::string& file, int w = 0, int h = 0,
                  bool keep = false) {
    captured([&] { open_page(device, file, w, h, 2925, 2820); });
    height(40);
    hwfont();
    axspos(526, 2346);
    name("Longitude", "x");
    name("Latitude", "y");
    labels("map", "xy");
    digits(-1, "xy");
    graf3(119.5f, 150.5f, 120.0f, 5.0f, 19.5f, 50.5f, 20.0f, 5.0f, 0, 9, 0, 1);
    if (keep) return;
    close_axis_system();
    captured(disfin);
}

} // namespace

TEST_F(AxesTest, WeatherMapFrameAndTransform) {
    weather_axes("bmp", path("w.bmp"), 650, 600, true);
    EXPECT_EQ(g_plot.level, 3);
    const AxisState& a = g_plot.axis;
    // Raster margin: -1 - nint(0.99 / 0.21249) = -6, inside the frame.
    EXPECT_EQ(std::vector<int>(
                  {a.len_x, a.len_y, a.right, a.top, a.clip_x0, a.clip_y0, a.clip_x1, a.clip_y1}),
              std::vector<int>({1950, 1880, 2475, 467, 532, 473, 2469, 2340}));
    EXPECT_FLOAT_EQ(user_to_plot_x(119.5f), 526);
    EXPECT_NEAR(user_to_plot_y(50.5f), 467, 1e-3);
    close_axis_system();
    EXPECT_EQ(g_plot.level, 1);
    captured(disfin);
}

TEST_F(AxesTest, WeatherMapTicksOnTheBottomAxis) {
    weather_axes("gksl", path("t.met"));
    const std::vector<PenMove> m = gksl_pen_moves(path("t.met"));
    // Ticks of the bottom axis: vertical lines hanging below y = 2346.
    std::map<int, float> ticks; // x -> length
    for (size_t i = 1; i < m.size(); ++i) {
        const PenMove &p = m[i - 1], &q = m[i];
        const float lo = std::min(p.y, q.y), hi = std::max(p.y, q.y);
        if (p.pen == 3 && q.pen == 2 && p.x == q.x && lo == 2346 && hi <= 2370)
            ticks[int(p.x)] = hi - lo;
    }
    ASSERT_EQ(ticks.size(), 13u);
    int k = 0;
    for (const auto& [x, len] : ticks) {
        const float v = 120.0f + 2.5f * float(k);
        EXPECT_EQ(x, int(526.5f + (v - 119.5f) * 1949.0f / 31.0f)) << v;
        EXPECT_EQ(len, k++ % 2 == 0 ? 24 : 16) << v;
    }
}

TEST_F(AxesTest, WeatherMapLabelsWithRaisedDegrees) {
    // On PostScript every character is a "c" word with its code: the X
    // labels give 7 E, the Y labels 7 N and each label a raised o.
    weather_axes("ps", path("m.ps"));
    const std::string text = read_text(path("m.ps"));
    std::istringstream in(text);
    std::vector<std::string> w;
    for (std::string s; in >> s;)
        w.push_back(s);
    std::map<int, int> count;
    std::vector<std::array<int, 2>> chars; // code, x
    for (size_t i = 4; i < w.size(); ++i)
        if (w[i] == "c") {
            ++count[std::stoi(w[i - 4])];
            chars.push_back({std::stoi(w[i - 4]), std::stoi(w[i - 3])});
        }
    EXPECT_EQ(count['E'], 7);
    EXPECT_EQ(count['N'], 7);
    EXPECT_EQ(count['o'], 7 + 7 + 1); // and one in "Longitude"
    // The first label "120o E": the o stands 0.6 h above the digits' line at
    // 0.8 h (32 * 1.8571428 / 4 = 14), the E on the line again. The page is
    // turned: device x comes from the plot y.
    ASSERT_GE(chars.size(), 6u);
    EXPECT_EQ(chars[0][0], '1');
    EXPECT_EQ(chars[3][0], 'o');
    EXPECT_NEAR(float(chars[0][1] - chars[3][1]), 40 * 0.6f * 1.8571428f, 1.5f);
    EXPECT_EQ(chars[5][0], 'E'); // after the blank
    EXPECT_EQ(chars[5][1], chars[0][1]);
    EXPECT_NE(text.find(") 14 font"), std::string::npos);
}

TEST_F(AxesTest, LabelTexts) {
    captured([&] { open_page("virt", path("v")); });
    labels("map", "xyz");
    digits(-1, "xy");
    const AxisState& a = g_plot.axis;
    auto label = [](float v, int kind, const AxisSettings& s, float step = 1) {
        char out[64];
        format_label(v, step, s, kind, out, sizeof out);
        return std::string(out);
    };
    EXPECT_EQ(label(20, 2, a.set_y), "20[o$ N");
    EXPECT_EQ(label(-35, 3, a.set_z), "35.0[o$ S");
    labels("dmap", "y");
    EXPECT_EQ(label(-30, 2, a.set_y), "-30[o$  ");
    // On the X axis: the label type, digits, value, step and the text.
    const struct {
        const char* type;
        int digits;
        float v, step;
        const char* text;
    } cases[] = {
        {"map", -1, 0, 1, "0[o$"},           {"map", -1, -120, 1, "120[o$ W"},
        {"floa", 0, 120, 1, " 120"}, // the width counts a point
        {"floa", 1, 9.7f, 1, "9.7"},         {"floa", 1, -99.5f, 1, "-99.5"},
        {"floa", 1, 9.96f, 1, "10.0"},       {"floa", 2, 9.999f, 1, "10.00"},
        {"exp", 1, 5000, 1000, "5.0*10[3$"}, {"fexp", 1, 0.002f, 0.001f, "2.0E-3"},
        {"time", 1, -3600, 1, "2300"},       {"time", 1, 3570, 1, "0100"}, // 59.5 minutes carry
        {"seco", 1, 3725, 1, "010205"},      {"hour", 1, 36000, 1, "10"}};
    for (const auto& c : cases) {
        labels(c.type, "x");
        digits(c.digits, "x");
        EXPECT_EQ(label(c.v, 1, a.set_x, c.step), c.text) << c.type << " " << c.v;
    }
}

TEST_F(AxesTest, SettingRoutinesAndRejectedScalings) {
    captured([&] { open_page("virt", path("v")); });
    labels("map", "XY");
    EXPECT_EQ(captured([] { labels("bogus", "x"); }),
              " <<<< Warning   2: Incorrect parameter in labels!   (bogus)\n");
    EXPECT_EQ(g_plot.axis.set_x.label_type, 6); // still MAP
    name(std::string(200, 'n').c_str(), "y");
    EXPECT_EQ(std::string(g_plot.axis.set_y.name).size(), 132u);
    name("", "y");
    labels("floa", "xy");
    // za = ze rejects graf3 before anything is drawn.
    const int vectors = g_plot.vector_count;
    EXPECT_EQ(captured([] { graf3(0, 1, 0, 1, 0, 1, 0, 1, 5, 5, 5, 1); }),
              " <<<< Warning  10: Begin and end of scaling are equal in graf3!\n");
    EXPECT_EQ(captured([] { graf(0, 1, 0, 0, 0, 1, 0, 1); }),
              " <<<< Warning   9: Step equal zero in graf!\n");
    EXPECT_EQ(captured([] { graf(0, NAN, 0, 1, 0, 1, 0, 1); }),
              " <<<< Warning   2: Incorrect parameter in graf!\n");
    EXPECT_EQ(g_plot.level, 1);
    EXPECT_EQ(g_plot.vector_count, vectors);
    // A start label outside the range and a descending scaling only warn.
    EXPECT_EQ(captured([] { graf(10, 0, 12, -2, 0, 1, 0, 1); }),
              " <<<< Warning  12: Startlabel out of scaling in graf!\n");
    EXPECT_EQ(g_plot.level, 2);
    EXPECT_GT(g_plot.vector_count, vectors);
    EXPECT_EQ(g_plot.axis.x.lower, 0);
    EXPECT_EQ(g_plot.axis.x.upper, 10);
    close_axis_system();
    EXPECT_EQ(captured([] { graf(0, 1, 0, -1, 0, 1, 0, 1); }),
              " <<<< Warning  50: Incorrect sign for step in graf!\n");
    close_axis_system();
    // An absurd scaling is limited in ticks and labels.
    const int before = g_plot.vector_count;
    captured([] { graf(0, 1e30f, 0, 1e-30f, 0, 1, 0, 1); });
    EXPECT_EQ(g_plot.level, 2);
    EXPECT_LT(g_plot.vector_count - before, 2000000);
}

TEST_F(AxesTest, Calendar) {
    EXPECT_EQ(nwkday(4, 7, 1999), 7);
    EXPECT_EQ(nwkday(29, 2, 2000), 2);
    EXPECT_EQ(nwkday(1, 1, 2000 + 400 * 5000000), 6); // as 1 January 2000
    EXPECT_EQ(nwkday(31, 12, INT_MAX), 2);            // as 31 December 2047
    int d = -1, m = -1, y = -1;
    EXPECT_EQ(captured([&] {
                  EXPECT_EQ(nwkday(29, 2, 1900), 0);
                  EXPECT_EQ(incdat(1, 1, 2000), 0);
                  trfdat(10, &d, &m, &y);
              }),
              " <<<< Warning   2: Incorrect parameter in nwkday!   (  29)\n"
              " <<<< Warning 101: no base date is defined with basdat in incdat!\n"
              " <<<< Warning 101: no base date is defined with basdat in trfdat!\n");
    EXPECT_EQ(d, -1);
    // With a base date the two routines undo each other.
    CalendarState& c = g_plot.calendar;
    c.day = 28, c.month = 2, c.year = 2000, c.day_of_year = 59, c.defined = 1;
    EXPECT_EQ(incdat(28, 2, 2001), 366);
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        const int n = int(rng() % 200000) - 100000;
        trfdat(n, &d, &m, &y);
        EXPECT_EQ(incdat(d, m, y), n) << d << "." << m << "." << y;
    }
}

namespace {

bool at(const PenMove& m, int pen, float x, float y) {
    return m.pen == pen && std::fabs(m.x - x) < 0.01f && std::fabs(m.y - y) < 0.01f;
}

// The weather map's axis system on a GKSL page.
void map_axes(const std::string& file) {
    open_gksl(file, 2925, 2820);
    axspos(526, 2346);
    height(40);
    graf3(119.5f, 150.5f, 120.0f, 5.0f, 19.5f, 50.5f, 20.0f, 5.0f, 10, 20, 10, 1);
}

} // namespace

using DataPlotTest = PlotTest;

TEST_F(DataPlotTest, ArrowShapes) {
    const std::string f = path("v.met");
    std::string out = captured([&] {
        open_gksl(f);
        vector(1000, 1000, 1100, 1000, 1121); // open head at the end
        vector(500, 500, 500, 500, 1121);     // zero length: head below the point
        vector(200, 200, 300, 200, 1021);     // d2 = 0: head 10 long
        vector(200, 400, 300, 400, 1141);     // bad position digit after the shaft
        vector(1000, 1500, 1000, 1300, 1101); // filled head
        disfin();
    });
    EXPECT_NE(out.find(" <<<< Warning   2: Incorrect parameter in vector!   (   4)\n"),
              std::string::npos);
    const auto m = gksl_pen_moves(f);
    ASSERT_GE(m.size(), 21u);
    EXPECT_TRUE(at(m[0], 3, 1000, 1000) && at(m[1], 2, 1100, 1000));
    EXPECT_TRUE(at(m[2], 3, 1080, 993.333f) && at(m[3], 2, 1100, 1000) &&
                at(m[4], 2, 1080, 1006.667f));
    EXPECT_TRUE(at(m[7], 3, 493.333f, 520) && at(m[8], 2, 500, 500) && at(m[9], 2, 506.667f, 520));
    EXPECT_TRUE(at(m[12], 3, 290, 196.667f) && at(m[14], 2, 290, 203.333f));
    EXPECT_TRUE(at(m[15], 3, 200, 400) && at(m[16], 2, 300, 400) && at(m[17], 3, 1000, 1500));
    // The filled head (tip 1000, 1300; base at 1320) is covered with
    // horizontal spans 0.75 apart, each within the triangle.
    int spans = 0;
    for (size_t i = 19; i + 1 < m.size(); ++i)
        if (m[i].pen == 3 && m[i + 1].y == m[i].y && m[i].y > 1300 && m[i].y <= 1320) {
            ++spans;
            EXPECT_LE(std::fabs(m[i].x - 1000), 6.667f * (m[i].y - 1300) / 20 + 0.01f);
        }
    EXPECT_GE(spans, 26);
}

TEST_F(DataPlotTest, OutOfScalingReport) {
    const std::string f = path("c.met");
    captured([&] { map_axes(f); });
    const float x[3] = {130, 200, 1e7f}, y[3] = {35, 35, 3e-7f};
    std::string out = captured([&] {
        curve(x, y, 3);
        curve(x, y, 1);
        rlvec(130, 35, 151, 35, 1121);
        nochek();
        curve(x, y, 3);
    });
    EXPECT_EQ(out, " <<<< (200.000000 / 35.000000) out of axis scaling!\n"
                   " <<<< (  1.0000e+07 /  3.0000e-07) out of axis scaling!\n"
                   " <<<< Warning   2: Incorrect parameter in curve!\n"
                   " <<<< (151.000000 / 35.000000) out of axis scaling!\n");
    EXPECT_EQ(g_plot.curves.counter, 3);
    close_axis_system();
    EXPECT_EQ(g_plot.curves.counter, 1);
    captured(disfin);
    // The curve from 130 E to 200 E stops one unit inside the frame.
    float rightmost = 0;
    for (const PenMove& m : gksl_pen_moves(f))
        if (std::fabs(m.y - 1406.5f) < 0.5f) rightmost = std::max(rightmost, m.x);
    EXPECT_FLOAT_EQ(rightmost, 2474);
}

TEST_F(DataPlotTest, RectangleSize) {
    std::string out = captured([&] {
        open_page("bmp", path("s.bmp"), 650, 600, 2925, 2820);
        autres(1, 5); // rejected: the default 1 x 1 stays
        axspos(526, 2346);
        graf3(0, 1, 0, 1, 0, 1, 0, 1, 10, 20, 10, 1);
    });
    EXPECT_EQ(out, " <<<< Warning   2: Incorrect parameter in autres!   (   1)\n");
    EXPECT_EQ(g_plot.axis.rect_width, 1);
    close_axis_system();
    autres(2, 2);
    graf3(0, 1, 0, 1, 0, 1, 0, 1, 10, 20, 10, 1);
    EXPECT_EQ(g_plot.axis.rect_width, 1950); // 1949 from the axis, +1 on a file
    captured(disfin);
}

TEST_F(DataPlotTest, TitleLines) {
    const std::string f = path("t.met");
    std::string out = captured([&] {
        open_gksl(f, 2925, 2820);
        titlin("x", 5);
        titlin("x", INT_MIN);
        title();
    });
    EXPECT_EQ(out, " <<<< Warning   2: Incorrect parameter in titlin!   (   5)\n"
                   " <<<< Warning   2: Incorrect parameter in titlin!   (2147483648)\n"
                   " <<<< Warning   3: Incorrect level in title!   (   1)\n");
    axspos(526, 2346);
    height(40);
    graf(119.5f, 150.5f, 120.0f, 5.0f, 19.5f, 50.5f, 20.0f, 5.0f);
    titlin("Temperature", 3);
    titlin("Wind", -1);
    const int w = text_width("Temperature"), w1 = text_width("Wind");
    title();
    captured(disfin);
    // Line 3 starts at y = 286, centred over x 526..2475; line 1 is three
    // heights higher (y = 166) and underlined at y + 48, 20 beyond each end.
    float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f;
    bool underline = false;
    const float ux = float(526 + (1950 - w1) / 2);
    for (const PenMove& m : gksl_pen_moves(f)) {
        if (m.y >= 280 && m.y <= 340)
            x0 = std::min(x0, m.x), x1 = std::max(x1, m.x), y0 = std::min(y0, m.y);
        underline |= at(m, 2, ux + float(w1) + 20, 214);
    }
    EXPECT_GE(y0, 286);
    EXPECT_NEAR(x0, float(526 + (1950 - w) / 2), 8); // glyphs sit inside their cells
    EXPECT_NEAR(x1, float(526 + (1950 - w) / 2 + w), 10);
    EXPECT_TRUE(underline);
}
