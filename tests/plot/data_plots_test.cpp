// Data plots inside an axis system: arrow shapes, the out-of-scaling report
// of curves and arrows, colours of values, and titles, read back as the pen
// moves of a GKSL metafile. (The weather map's pixels are checked in tests/app.)
#include "pen_moves.h"

#include <climits>
#include <cmath>

using namespace plot_test;
using namespace razidu;

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
