// Primitive dispatch: PostScript line and path buffers, the GKSL metafile
// and rectangle clipping. (CGM records are walked in cgm_test.cpp.)
#include "plot_test_util.h"

#include <sstream>

using namespace plot_test;
using namespace razidu;

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
