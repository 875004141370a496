// Primitive dispatch: PostScript line and path buffers, CGM records, the
// GKSL metafile, rectangle clipping and the pen stage's clipping.
#include "plot_test_util.h"

#include <sstream>

using namespace plot_test;
using namespace razidu;

using DispatchTest = PlotTest;

TEST_F(DispatchTest, PostScriptPathsAndLineBuffer) {
    const std::string f = path("p.ps");
    captured([&] { open_page("ps", f, 0, 0, 2000, 3000); }); // portrait: not turned
    // 120 points: paths of 50, 50 and 22 points, each starting where the
    // previous one ended.
    plot_pen(0, 3000 - 1 - 0, 3);
    for (int i = 1; i < 120; ++i)
        plot_pen(float(i) / 1.8571428f, 2999.0f, 2);
    ps_path_point(0, 0, 999);
    put_ps_words(std::string(100, 'x').c_str(), 100);
    device_colour(7);
    device_colour(7); // written again on PostScript
    captured(disfin);
    const std::string text = read_text(f);
    std::istringstream words(text);
    std::vector<int> points{0};
    for (std::string w; words >> w;) {
        if (w == "u" || w == "d") ++points.back();
        if (w == "p") points.push_back(0);
    }
    EXPECT_EQ(points, (std::vector<int>{50, 50, 22, 0}));
    // Each later path starts at the last point of the one before. Blanks
    // that stand alone between words are dropped.
    EXPECT_NE(text.find("48 0 d 49 0 d p 49 0 u 50 0 d"), std::string::npos) << text;
    std::istringstream lines(text);
    for (std::string l; std::getline(lines, l);)
        EXPECT_TRUE(l.size() <= 80 || l == std::string(100, 'x')) << l;
    EXPECT_NE(text.find("\n" + std::string(100, 'x') + "\n"), std::string::npos);
    const uint32_t e = g_plot.colour.table[7];
    char colour[64];
    snprintf(colour, sizeof colour, "%d %d %d f %d %d %d f ", int(e >> 16), int(e >> 8 & 255),
             int(e & 255), int(e >> 16), int(e >> 8 & 255), int(e & 255));
    EXPECT_NE(text.find(colour), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 10), "showpage \n");
}

TEST_F(DispatchTest, CgmRecordsAndColours) {
    const std::string f = path("c.cgm");
    captured([&] { open_page("cgm", f); });
    g_plot.record.clear(); // measure from here
    const long start = std::ftell(g_plot.plot_stream);
    device_colour(g_plot.colour.current); // the same colour writes nothing
    EXPECT_TRUE(g_plot.record.empty());
    plot_pen(10, 20, 3);
    plot_pen(11, 20, 2);
    device_colour(5); // ends the polyline, then LINE COLOUR
    const uint32_t e = g_plot.colour.table[5];
    const std::vector<uint8_t> expect = {0x40,
                                         0x3F,
                                         0x00,
                                         0x08,
                                         0x00,
                                         20,
                                         (2099 - 20) * 2 >> 8,
                                         (2099 - 20) * 2 & 255,
                                         0x00,
                                         22,
                                         (2099 - 20) * 2 >> 8,
                                         (2099 - 20) * 2 & 255,
                                         0x50,
                                         0x83,
                                         uint8_t(e >> 16),
                                         uint8_t(e >> 8),
                                         uint8_t(e),
                                         0x00};
    EXPECT_EQ(std::vector<uint8_t>(g_plot.record.begin(), g_plot.record.end()), expect);
    // 80-byte records: bytes beyond the record go into the next one.
    std::vector<uint8_t> many(100, 0xAB);
    put_record_bytes(many.data(), 100);
    captured(disfin);
    const std::vector<uint8_t> bytes = read_bytes(f);
    ASSERT_EQ(bytes.size() % 80, 0u);
    const size_t tail = size_t(start) + expect.size() + 100;
    ASSERT_LE(tail + 4, bytes.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + long(tail), bytes.begin() + long(tail) + 4),
              (std::vector<uint8_t>{0x00, 0xA0, 0x00, 0x40}));
    for (size_t i = tail + 4; i < bytes.size(); ++i)
        EXPECT_EQ(bytes[i], ' ');
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
    const uint32_t e = g_plot.colour.table[3];
    char colour[64];
    snprintf(colour, sizeof colour, " 1.0000000     3.000%10.3f%10.3f%10.3f", double(e >> 16),
             double(e >> 8 & 255), double(e & 255));
    const std::string file_text = read_text(f);
    for (size_t start = 0, end; start < file_text.size(); start = end + 1) {
        end = file_text.find('\n', start);
        EXPECT_LE(end - start, 80u);
    }
    std::string text;
    for (char ch : file_text)
        if (ch != '\n') text += ch;
    // Start with the page size; the default colour on GKSL is 255.
    EXPECT_EQ(text.substr(0, 30), " 0.0000000   300.000   200.000");
    EXPECT_NE(text.find(colour), std::string::npos) << text;
    EXPECT_NE(text.find(" 3.0000000    10.000    20.000 2.0000000    30.500    40.000"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" 4.0000000     0.000     1.000    20.000   199.000     9.000"),
              std::string::npos)
        << text;
    EXPECT_EQ(file_text.substr(file_text.size() - 11), " 9.0000000\n");
}

// fill_rect clips to the clip rectangle in force: the page, narrowed to the
// axis system only while clipping is switched to it.
TEST_F(DispatchTest, RectanglesClipToTheRectangleInForce) {
    captured([&] { open_page("virt", "", 2970, 2970, 2970, 2970); });
    // device scale 2969 / 2969: plot units are pixels.
    ASSERT_FLOAT_EQ(g_plot.device_scale, 1.0f);
    auto px = [](int x, int y) {
        return g_plot.raster.pixels[size_t(y * g_plot.raster.stride + x)];
    };
    fill_rect(-50, -50, 200, 10, 7);
    EXPECT_EQ(px(0, 0), 7);
    EXPECT_EQ(px(99, 10), 7);
    EXPECT_EQ(px(99, 11), 0);
    g_plot.axis.clip_x0 = 20, g_plot.axis.clip_y0 = 20, g_plot.axis.clip_x1 = 60,
    g_plot.axis.clip_y1 = 60;
    clip_to_axis_system();
    fill_rect(0, 0, 99, 99, 9);
    fill_rect(70, 70, 90, 90, 11); // wholly outside: nothing
    restore_clip();
    EXPECT_EQ(px(19, 30), 0);
    EXPECT_EQ(px(20, 20), 9);
    EXPECT_EQ(px(60, 60), 9);
    EXPECT_EQ(px(61, 60), 0);
    EXPECT_EQ(px(80, 80), 0);
    fill_rect(70, 70, 90, 90, 11); // the whole page again
    EXPECT_EQ(px(80, 80), 11);
    captured(disfin);
}

TEST_F(DispatchTest, PendingPolylineIsClippedSegmentBySegment) {
    captured([&] { open_page("virt", "", 2970, 2970, 2970, 2970); });
    int* c = g_plot.line.clip_rect;
    c[0] = 10, c[1] = 10, c[2] = 50, c[3] = 50;
    g_plot.vector_count = 0;
    pen_move_to(20, 20);
    pen_draw_to(30, 20); // inside
    pen_draw_to(70, 20); // leaves at x = 50
    pen_draw_to(70, 30); // wholly outside
    pen_draw_to(30, 30); // comes back: pen-up move to (50, 30)
    flush_polyline();
    auto px = [](int x, int y) {
        return g_plot.raster.pixels[size_t(y * g_plot.raster.stride + x)];
    };
    EXPECT_EQ(px(50, 20), 255);
    EXPECT_EQ(px(51, 20), 0);
    EXPECT_EQ(px(50, 25), 0); // the outside segment was dropped
    EXPECT_EQ(px(30, 30), 255);
    // move, draw, draw (to boundary), move (50, 30), draw.
    EXPECT_EQ(g_plot.vector_count, 5);
    captured(disfin);
}
