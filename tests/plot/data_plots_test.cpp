// Data plots inside an axis system: vector arrows, curves, coloured cells
// with their colour bar, and titles. Drawing is read back as the pen moves
// of a GKSL metafile or as pixels of a raster page.
#include "plot_test_util.h"

#include <cmath>
#include <cstdlib>

using namespace plot_test;
using namespace razidu;

namespace {

struct Move {
    int pen; // 3 move, 2 draw
    float x, y;
};

// Pen moves of a GKSL file (ten-character fields; see plot/GKSL.md).
std::vector<Move> pen_moves(const std::string& file) {
    std::string text;
    for (char c : read_text(file))
        if (c != '\n') text.push_back(c);
    std::vector<float> f;
    for (size_t i = 0; i + 10 <= text.size(); i += 10)
        f.push_back(std::strtof(text.substr(i, 10).c_str(), nullptr));
    static const int kOperands[10] = {2, 4, 2, 2, 5, 0, 0, 0, 0, 0};
    std::vector<Move> moves;
    for (size_t i = 0; i < f.size();) {
        const int op = int(f[i]);
        if (op < 0 || op > 9) break;
        if ((op == 2 || op == 3) && i + 2 < f.size()) moves.push_back({op, f[i + 1], f[i + 2]});
        i += 1 + size_t(kOperands[op]);
    }
    return moves;
}

// The weather map's page and axis system, on the device given.
void map_axes(const char* device, const std::string& file, float za = 0, float ze = 254) {
    metafl(device);
    setfil(file.c_str());
    winsiz(650, 600);
    page(2925, 2820);
    scrmod("revers");
    disini();
    axspos(526, 2346);
    widbar(50);
    height(40);
    graf3(119.5f, 150.5f, 120.0f, 5.0f, 19.5f, 50.5f, 20.0f, 5.0f, za, ze, za, (ze - za) / 9);
}

} // namespace

using DataPlotTest = PlotTest;

TEST_F(DataPlotTest, ArrowShapesFromTheirCodes) {
    const std::string f = path("v.met");
    captured([&] {
        metafl("gksl");
        setfil(f.c_str());
        page(3000, 2000);
        disini();
        vector(1000, 1000, 1100, 1000, 1121); // open head at the end
        vector(500, 500, 500, 500, 1121);     // zero length: head below the point
        vector(200, 200, 300, 200, 1021);     // head 10 long
        vector(200, 400, 300, 400, 1100);     // a plain line
        disfin();
    });
    const auto m = pen_moves(f);
    ASSERT_GE(m.size(), 14u);
    auto near = [](const Move& a, int pen, float x, float y) {
        return a.pen == pen && std::fabs(a.x - x) < 0.01f && std::fabs(a.y - y) < 0.01f;
    };
    EXPECT_TRUE(near(m[0], 3, 1000, 1000));
    EXPECT_TRUE(near(m[1], 2, 1100, 1000));
    EXPECT_TRUE(near(m[2], 3, 1080, 993.33f)) << m[2].x << " " << m[2].y;
    EXPECT_TRUE(near(m[3], 2, 1100, 1000));
    EXPECT_TRUE(near(m[4], 2, 1080, 1006.67f));
    // Zero length: tip on the point, base 20 below it, 6.67 to each side.
    EXPECT_TRUE(near(m[7], 3, 500 - 6.67f, 520));
    EXPECT_TRUE(near(m[8], 2, 500, 500));
    EXPECT_TRUE(near(m[9], 2, 500 + 6.67f, 520));
    // d2 = 0: a head 10 long and 3.33 wide.
    EXPECT_TRUE(near(m[12], 3, 290, 196.67f));
    EXPECT_TRUE(near(m[14], 2, 290, 203.33f));
    // 1100: the line alone ends the drawing.
    ASSERT_EQ(m.size(), 17u);
    EXPECT_TRUE(near(m[15], 3, 200, 400));
    EXPECT_TRUE(near(m[16], 2, 300, 400));
}

TEST_F(DataPlotTest, ArrowFormsAndBadDigits) {
    const std::string f = path("w.met");
    std::string out = captured([&] {
        metafl("gksl");
        setfil(f.c_str());
        page(3000, 2000);
        disini();
        vector(1000, 1000, 1100, 1000, 1141); // bad position digit after the shaft
    });
    EXPECT_EQ(out, " <<<< Warning   2: Incorrect parameter in vector!   (   4)\n");
    // Closed outline (d3 = 1) with two outward heads: the shaft runs between
    // the heads' bases, each head is closed back to its first corner.
    vector(1000, 1000, 1100, 1000, 1112);
    // A filled head (d3 = 0) is covered with horizontal lines 0.75 apart.
    vector(1000, 1500, 1000, 1300, 1101);
    captured(disfin);
    const auto m = pen_moves(f);
    ASSERT_GE(m.size(), 13u);
    EXPECT_EQ(m[0].x, 1000);
    EXPECT_EQ(m[1].x, 1100); // the shaft of 1141
    EXPECT_FLOAT_EQ(m[2].x, 1020);
    EXPECT_FLOAT_EQ(m[3].x, 1080); // shaft of 1112 between the bases
    EXPECT_EQ(m[7].pen, 2);
    EXPECT_FLOAT_EQ(m[7].x, m[4].x); // first head closed
    EXPECT_FLOAT_EQ(m[9].x, 1000);   // second head's tip at the start point
    // The filled head of the vertical arrow: tip (1000, 1300), base at 1320.
    int spans = 0;
    for (size_t i = 13; i + 1 < m.size(); ++i)
        if (m[i].pen == 3 && m[i + 1].pen == 2 && m[i].y == m[i + 1].y && m[i].y > 1300 &&
            m[i].y <= 1320) {
            ++spans;
            EXPECT_LE(std::fabs(m[i].x - 1000), 6.67f * (m[i].y - 1300) / 20 + 0.01f);
        }
    EXPECT_GE(spans, 25);
}

TEST_F(DataPlotTest, CurvesReportPointsOutsideAndCount) {
    const std::string f = path("c.met");
    captured([&] { map_axes("gksl", f); });
    EXPECT_EQ(g_plot.curves.counter, 1);
    const float x[3] = {130, 200, 1e7f}, y[3] = {35, 35, 3e-7f};
    std::string out = captured([&] { curve(x, y, 3); });
    EXPECT_EQ(out, " <<<< (200.000000 / 35.000000) out of axis scaling!\n"
                   " <<<< (  1.0000e+07 /  3.0000e-07) out of axis scaling!\n");
    EXPECT_EQ(g_plot.curves.counter, 2);
    out = captured([&] { curve(x, y, 1); });
    EXPECT_EQ(out, " <<<< Warning   2: Incorrect parameter in curve!\n");
    EXPECT_EQ(g_plot.curves.counter, 2);
    // Arrows share the report; with nochek nothing is written.
    out = captured([&] { rlvec(130, 35, 151, 35, 1121); });
    EXPECT_EQ(out, " <<<< (151.000000 / 35.000000) out of axis scaling!\n");
    nochek();
    out = captured([&] { curve(x, y, 3); });
    EXPECT_EQ(out, "");
    close_axis_system();
    EXPECT_EQ(g_plot.curves.counter, 1);
    captured(disfin);
    // The curve from 130 E to 200 E stops at the axis system's clip window.
    float rightmost = 0;
    for (const Move& mv : pen_moves(f))
        if (std::fabs(mv.y - (2346 - 15.5f * 1879 / 31)) < 0.5f)
            rightmost = std::max(rightmost, mv.x);
    EXPECT_FLOAT_EQ(rightmost, 2474); // one unit inside the frame
}

TEST_F(DataPlotTest, CellColoursAndRectangleSize) {
    std::string out = captured([&] {
        metafl("bmp");
        setfil(path("s.bmp").c_str());
        winsiz(650, 600);
        page(2925, 2820);
        disini();
        autres(1, 5); // rejected: the default 1 x 1 stays
    });
    EXPECT_EQ(out, " <<<< Warning   2: Incorrect parameter in autres!   (   1)\n");
    axspos(526, 2346);
    autres(2, 2);
    graf3(0, 1, 0, 1, 0, 1, 0, 1, 10, 20, 10, 1);
    EXPECT_EQ(z_colour(20), 254);
    EXPECT_EQ(z_colour(20.001f), 255);
    EXPECT_EQ(z_colour(10), 1);
    EXPECT_EQ(z_colour(9.999f), 0);
    // One cell on the left edge: drawn, and half cut off by the clip window.
    const float x[1] = {0}, y[1] = {0.5f}, z[1] = {15};
    curve3(x, y, z, 1);
    EXPECT_EQ(g_plot.axis.rect_width, 1950); // 1949 from the axis, +1 on a file
    captured(disfin);
}

TEST_F(DataPlotTest, ColourBarBandsAndLabels) {
    const std::string f = path("b.met");
    captured([&] {
        map_axes("gksl", f, 250, 295);
        close_axis_system();
        disfin();
    });
    // 254 rectangles of the bar, colour 1 at the bottom, 254 at the top.
    std::string text;
    for (char c : read_text(f))
        if (c != '\n') text.push_back(c);
    std::vector<std::vector<float>> rects;
    for (size_t i = 0; i + 10 <= text.size();) {
        const int op = int(std::strtof(text.substr(i, 10).c_str(), nullptr));
        static const int kOperands[10] = {2, 4, 2, 2, 5, 0, 0, 0, 0, 0};
        if (op < 0 || op > 9) break;
        if (op == 4) {
            std::vector<float> r;
            for (int k = 1; k <= 5; ++k)
                r.push_back(std::strtof(text.substr(i + 10 * size_t(k), 10).c_str(), nullptr));
            rects.push_back(r);
        }
        i += 10 * (1 + size_t(kOperands[op]));
    }
    ASSERT_EQ(rects.size(), 254u);
    EXPECT_FLOAT_EQ(rects[0][0], 2475 + 1 + 85);
    EXPECT_FLOAT_EQ(rects[0][2], 2561 + 49);
    EXPECT_FLOAT_EQ(rects[0][3], 2346);
    EXPECT_NEAR(rects[0][3] - rects[0][1], 1879.0f / 254, 0.01f);
    EXPECT_EQ(rects[0][4], 1);
    EXPECT_EQ(rects[253][4], 254);
    EXPECT_NEAR(rects[253][1], 467, 0.01f);
}

TEST_F(DataPlotTest, TitleLinesAboveTheAxisSystem) {
    const std::string f = path("t.met");
    std::string out = captured([&] {
        metafl("gksl");
        setfil(f.c_str());
        page(2925, 2820);
        disini();
        titlin("x", 0);
        titlin("x", 5);
        title();
    });
    EXPECT_EQ(out, " <<<< Warning   2: Incorrect parameter in titlin!   (   0)\n"
                   " <<<< Warning   2: Incorrect parameter in titlin!   (   5)\n"
                   " <<<< Warning   3: Incorrect level in title!   (   1)\n");
    axspos(526, 2346);
    height(40);
    graf(119.5f, 150.5f, 120.0f, 5.0f, 19.5f, 50.5f, 20.0f, 5.0f);
    titlin("Temperature", 3);
    titlin("Wind", -1);
    title();
    EXPECT_EQ(g_plot.titles.underline[0], 1);
    EXPECT_EQ(g_plot.titles.underline[2], 0);
    captured(disfin);
    // The text of line 3 starts at y = 286, centred over 526..2475;
    // line 1 is three text heights higher and underlined at y + 48.
    const int w3 = [] {
        metafl("virt");
        disini();
        height(40);
        const int w = text_width("Temperature");
        disfin();
        return w;
    }();
    float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f, underline = 0;
    for (const Move& mv : pen_moves(f)) {
        if (mv.y >= 280 && mv.y <= 330) {
            x0 = std::min(x0, mv.x), x1 = std::max(x1, mv.x);
            y0 = std::min(y0, mv.y), y1 = std::max(y1, mv.y);
        }
        if (mv.pen == 2 && mv.y == 166 + 48) underline = mv.x;
    }
    EXPECT_GE(y0, 286);
    EXPECT_LE(y1, 340); // descenders
    EXPECT_NEAR((x0 + x1) / 2, 526 + 1950 / 2.0f, 40);
    EXPECT_NEAR(x1 - x0, float(w3), 40);
    EXPECT_GT(underline, 0);
}
