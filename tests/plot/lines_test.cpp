// Line pipeline: dash patterns, the pending polyline's flushes, the clipper
// and the line style routines, checked on the pen moves the device gets;
// primitive dispatch: PostScript line and path buffers, the GKSL metafile
// and rectangle clipping. (CGM records are walked in metafiles_test.cpp.)
#include "plot_test_util.h"

#include <random>
#include <sstream>

using namespace plot_test;
using namespace razidu;

using LinesTest = PlotTest;

namespace {
std::vector<PenMove> finish(const std::string& file) {
    captured(disfin);
    return gksl_pen_moves(file);
}
} // namespace

TEST_F(LinesTest, DashPatternRunsOnAcrossLines) {
    const std::string f = path("d.met");
    captured([&] { open_gksl(f); });
    dash();
    strtpt(100, 100);
    connpt(145, 100); // 0-10, 20-30, 40-45 drawn
    connpt(145, 130); // the next line goes on with 5 drawn units
    // clang-format off
    expect_moves(finish(f), {{3, 100, 100}, {2, 110, 100}, {3, 120, 100}, {2, 130, 100},
                             {3, 140, 100}, {2, 145, 100}, {2, 145, 105}, {3, 145, 115},
                             {2, 145, 125}, {3, 145, 130}});
    // clang-format on
}

TEST_F(LinesTest, LongDashedSegmentIsDashedOnThePage) {
    const std::string f = path("l.met");
    captured([&] { open_gksl(f); });
    dash();
    strtpt(-1.0e7f, 100); // a whole number of 20-unit periods before x = 0
    connpt(1.0e7f, 100);
    const std::vector<PenMove> m = finish(f);
    int draws = 0;
    for (size_t i = 1; i < m.size(); ++i) {
        if (m[i].pen != 2) continue;
        ++draws;
        EXPECT_EQ(m[i - 1].pen, 3) << i;
        EXPECT_NEAR(std::fmod(m[i - 1].x, 20.0f), 0, 0.01f) << i;
        EXPECT_NEAR(m[i].x - m[i - 1].x, 10, 0.01f) << i;
    }
    EXPECT_EQ(draws, 150); // 0-10, 20-30, ... 2980-2990
    // Ends whose distance is beyond float: still dashed, as many dashes.
    captured([&] { open_gksl(f); });
    dash();
    strtpt(-3.0e38f, 100);
    connpt(3.0e38f, 100);
    const std::vector<PenMove> far = finish(f);
    EXPECT_NEAR(std::count_if(far.begin(), far.end(), [](const PenMove& p) { return p.pen == 2; }),
                150, 1);
}

TEST_F(LinesTest, TwoHundredFiftyPointsAreThreeFlushesWithoutGap) {
    const std::string f = path("p.met");
    captured([&] { open_gksl(f); });
    strtpt(10, 500);
    for (int i = 1; i < 250; ++i)
        connpt(10.0f + float(i), 500.0f + float(i % 7));
    const std::vector<PenMove> m = finish(f);
    ASSERT_EQ(m.size(), 252u); // 250 points and two moves to continue
    std::vector<size_t> at;
    for (size_t i = 0; i < m.size(); ++i)
        if (m[i].pen == 3) at.push_back(i);
    // Points 1-100, 100-199, 199-250 counted from 1.
    EXPECT_EQ(at, (std::vector<size_t>{0, 100, 200}));
    EXPECT_FLOAT_EQ(m[100].x, 10 + 99);
    EXPECT_FLOAT_EQ(m[200].x, 10 + 198);
    EXPECT_FLOAT_EQ(m.back().x, 10 + 249);
}

TEST_F(LinesTest, CohenSutherlandCuts) {
    const std::string f = path("c.met");
    captured([&] { open_gksl(f); });
    int* c = g_plot.line.clip_rect;
    c[0] = 100, c[1] = 100, c[2] = 200, c[3] = 200;
    strtpt(150, 150);
    connpt(250, 150); // out through x = 200
    connpt(150, 170); // back in through x = 200
    connpt(100, 200); // corner point: on the boundary is inside
    strtpt(50, 120);  // both ends left of xmin: nothing
    connpt(90, 180);
    strtpt(50, 150); // crosses the whole rectangle: cut at both ends
    connpt(250, 160);
    strtpt(150, 50); // diagonal in through the top edge, out through the right
    connpt(250, 150);
    sendbf();
    // clang-format off
    expect_moves(finish(f), {{3, 150, 150}, {2, 200, 150}, {3, 200, 160}, {2, 150, 170},
                             {2, 100, 200}, {3, 100, 152.5f}, {2, 200, 157.5f}, {3, 200, 100},
                             {2, 200, 100}});
    // clang-format on
}

TEST_F(LinesTest, ClipInterpolatesFromTheStartWhicheverEndMoves) {
    const std::string f = path("i.met");
    captured([&] { open_gksl(f); });
    int* c = g_plot.line.clip_rect;
    c[0] = 100, c[1] = 100, c[2] = 200, c[3] = 200;
    strtpt(105.5f, 200);
    connpt(105.5f, 105.85f);
    connpt(241.3f, 136.77f); // the end moves; from it y would be 127.367
    const std::vector<PenMove> m = finish(f);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_FLOAT_EQ(m[2].x, 200);
    EXPECT_FLOAT_EQ(m[2].y, 127.366f);
}

TEST_F(LinesTest, RandomPolylinesNeverLeaveTheClipRectangle) {
    const std::string f = path("r.met");
    captured([&] { open_gksl(f, 3000, 3000); });
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> u(0, 3000);
    int* c = g_plot.line.clip_rect;
    c[0] = 700, c[1] = 900, c[2] = 2100, c[3] = 1800;
    for (int line = 0; line < 300; ++line) {
        strtpt(u(rng), u(rng));
        for (int k = 0; k < 20; ++k)
            connpt(u(rng), u(rng));
    }
    // Straight edges and points exactly on the boundary.
    strtpt(700, 0);
    connpt(700, 3000);
    connpt(2100, 900);
    connpt(3000, 900);
    int draws = 0;
    for (const PenMove& p : finish(f)) {
        EXPECT_TRUE(p.x >= 700 && p.x <= 2100 && p.y >= 900 && p.y <= 1800) << p.x << " " << p.y;
        draws += p.pen == 2;
    }
    EXPECT_GT(draws, 1000);
}

TEST_F(LinesTest, StyleRoutinesCheckTheirParameters) {
    captured([&] { open_page("virt", path("v")); });
    dashl();
    const int bad[3] = {5, 0, 5};
    EXPECT_EQ(captured([&] {
                  lintyp(8);
                  myline(bad, 3);
              }),
              " <<<< Warning   2: Incorrect parameter in lintyp!   (   8)\n"
              " <<<< Warning   2: Incorrect parameter in myline!   (   0)\n");
    EXPECT_EQ(g_plot.line.line_type, 7); // still the long dashes
    EXPECT_EQ(g_plot.line.dash_pattern[0], 30);
}

using DispatchTest = PlotTest;

namespace {
// "r g b" of a colour-table entry, as the vector files write it.
std::string rgb_of(int index, const char* format) {
    const uint32_t e = g_plot.colour.table[index];
    char text[64];
    snprintf(text, sizeof text, format, double(e >> 16), double(e >> 8 & 255), double(e & 255));
    return text;
}
} // namespace

TEST_F(DispatchTest, PostScriptPathsAndLineBuffer) {
    const std::string f = path("p.ps");
    captured([&] { open_page("ps", f, 0, 0, 2000, 3000); }); // portrait: not turned
    // 120 points: paths of 50, 50 and 22 points, each starting where the
    // previous one ended.
    plot_pen(0, 2999, 3);
    for (int i = 1; i < 120; ++i)
        plot_pen(float(i) / 1.8571428f, 2999.0f, 2);
    ps_path_point(0, 0, 999);
    const std::string long_word(100, 'x');
    put_ps_words(long_word.c_str(), 100);
    device_colour(7);
    device_colour(7); // written again on PostScript
    captured(disfin);
    const std::string text = read_text(f);
    std::istringstream in(text);
    std::vector<int> points{0};
    for (std::string w; in >> w;) {
        if (w == "u" || w == "d") ++points.back();
        if (w == "p") points.push_back(0);
    }
    EXPECT_EQ(points, (std::vector<int>{50, 50, 22, 0}));
    // Each later path starts at the last point of the one before. Blanks
    // that stand alone between words are dropped.
    EXPECT_NE(text.find("48 0 d 49 0 d p 49 0 u 50 0 d"), std::string::npos) << text;
    std::istringstream lines(text);
    for (std::string l; std::getline(lines, l);)
        EXPECT_TRUE(l.size() <= 80 || l == long_word) << l; // a longer word on a line of its own
    const std::string colour = rgb_of(7, "%.0f %.0f %.0f f ");
    EXPECT_NE(text.find(colour + colour), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("showpage \n"));
}

TEST_F(DispatchTest, GkslMetafileOfMovesColoursAndRectangles) {
    const std::string f = path("m.met");
    captured([&] {
        open_page("gksl", f, 0, 0, 300, 200);
        setclr(3);
        strtpt(10, 20);
        connpt(30.5f, 40);
        fill_rect(-5, 1, 20, 500, 9); // clipped to the page
        disfin();
    });
    const std::string file_text = read_text(f);
    std::istringstream lines(file_text);
    for (std::string l; std::getline(lines, l);)
        EXPECT_LE(l.size(), 80u);
    std::string text = file_text;
    std::erase(text, '\n');
    // Page size first, colour 3, the line, the rectangle and the end.
    EXPECT_TRUE(text.starts_with(" 0.0000000   300.000   200.000")) << text;
    const std::string ops[] = {" 1.0000000     3.000" + rgb_of(3, "%10.3f%10.3f%10.3f"),
                               " 3.0000000    10.000    20.000 2.0000000    30.500    40.000",
                               " 4.0000000     0.000     1.000    20.000   199.000     9.000"};
    for (const std::string& op : ops)
        EXPECT_NE(text.find(op), std::string::npos) << op << "\n" << text;
    EXPECT_TRUE(file_text.ends_with(" 9.0000000\n"));
}

// fill_rect clips to the clip rectangle in force: the page, narrowed to the
// axis system only while clipping is switched to it.
TEST_F(DispatchTest, RectanglesClipToTheRectangleInForce) {
    captured([&] { open_page("virt", "", 2970, 2970, 2970, 2970); });
    ASSERT_FLOAT_EQ(g_plot.device_scale, 1.0f); // plot units are pixels
    fill_rect(-50, -50, 200, 10, 7);
    EXPECT_EQ(pixel_at(0, 0), 7);
    EXPECT_EQ(pixel_at(99, 10), 7);
    EXPECT_EQ(pixel_at(99, 11), 0);
    AxisState& a = g_plot.axis;
    a.clip_x0 = a.clip_y0 = 20, a.clip_x1 = a.clip_y1 = 60;
    clip_to_axis_system();
    fill_rect(0, 0, 99, 99, 9);
    fill_rect(70, 70, 90, 90, 11); // wholly outside: nothing
    restore_clip();
    EXPECT_EQ(count_colour(9), 41 * 41);
    EXPECT_EQ(pixel_at(20, 20), 9);
    EXPECT_EQ(pixel_at(60, 60), 9);
    EXPECT_EQ(count_colour(11), 0);
    fill_rect(70, 70, 90, 90, 11); // the whole page again
    EXPECT_EQ(pixel_at(80, 80), 11);
    captured(disfin);
}
