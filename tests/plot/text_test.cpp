// Stroke-font layout, width measurement, the out-of-page warnings, and the
// hardware fonts on PostScript. (Raised characters: the axis label test.)
#include "pen_moves.h"

#include <algorithm>

using namespace plot_test;
using namespace razidu;

using TextTest = PlotTest;

TEST_F(TextTest, AdvanceOfTheBlankAndOfAGlyph) {
    captured([&] { open_page("virt", path("v")); });
    complx();
    height(40);
    // In label mode a trailing reset character keeps the blank in the text.
    g_plot.text.label_mode = 1;
    g_plot.text.x = g_plot.text.y = 0;
    messag(" $", 999, 999);
    EXPECT_NEAR(g_plot.text.x, 9.0 * 39 / 20 + 10, 1e-4);
    g_plot.text.label_mode = 0;
    // One character is its ink width; in a longer text the blank (9 units
    // of (h - 1) / 20) and the spacing of 0.25 h of each glyph but the last count.
    EXPECT_NEAR(text_width("W W"), 2 * text_width("W") + 17.55 + 10 + 10, 1);
    disalf(); // equally wide glyphs: 6 units of (h - 1) / 6, no spacing
    EXPECT_EQ(text_width("i"), 39);
    EXPECT_EQ(text_width("iiii   "), 4 * 39);
    const std::string long_text(300, 'm');
    EXPECT_EQ(text_width(long_text.c_str()), 256 * 39);
}

TEST_F(TextTest, OutOfPageWarningsAndEmptyTexts) {
    const std::string f = path("e.met");
    captured([&] { open_gksl(f, 1000, 1000); });
    EXPECT_EQ(captured([] {
                  messag("", 10, 10);
                  messag("    ", 10, 10);
              }),
              "");
    const std::string out = captured([] {
        messag("Longitude E", -1, 100);
        messag("a text past the edge", 800, 100);
    });
    EXPECT_TRUE(out.starts_with(
        " <<<< Warning: Startpoint (   -1/  100) in MESSAG out of page - (Longitud).\n"
        " <<<< Warning: Endpoint   ("))
        << out;
    EXPECT_TRUE(out.ends_with("in MESSAG out of page - (a text p).\n")) << out;
    EXPECT_EQ(g_plot.warning_count, 2);
    captured(disfin);
    // Only the two texts on the page drew anything.
    EXPECT_GT(gksl_pen_moves(f).size(), 20u);
}

TEST_F(TextTest, PostScriptFontCommandsAndCharacters) {
    const std::string f = path("h.ps");
    captured([&] { open_page("ps", f, 0, 0, 2000, 3000); }); // portrait: not turned
    hwfont();
    EXPECT_EQ(g_plot.text.hardware_font, 1);
    EXPECT_STREQ(g_plot.text.ps_font_name, "Times-Roman-German");
    height(40);
    g_plot.record.append("| "); // marks where the character output begins
    messag("AB", 100, 200);
    captured(disfin);
    std::string text = read_text(f);
    std::erase(text, '\n');
    // 36 * 1.8571428 / 4 = 16, 40 * 1.8571428 / 4 = 18. The line buffer
    // drops the blanks that stand alone before the numbers.
    EXPECT_NE(text.find("(Times-Roman) (Times-Roman-German) GermanVec ReEncodeSmall "
                        "(Times-Roman-German) 16 font (Times-Roman-German) 18 font | "),
              std::string::npos)
        << text;
    // A and B on the baseline 200 + 39, y flipped: (2999 - 239) * 1.8571428.
    EXPECT_NE(text.find(" 5125 0 c 66 "), std::string::npos) << text;
    EXPECT_TRUE(text.find("| 65 ") != std::string::npos && text.ends_with(" 5125 0 c showpage "))
        << text;
}

TEST_F(TextTest, PsfontNamesWidthsAndDevices) {
    captured([&] { open_page("ps", path("f.ps")); });
    EXPECT_EQ(captured([] { psfont("Arial"); }), " <<<< Warning: Arial is not a standard font!\n");
    EXPECT_EQ(g_plot.text.ps_font_index, 0);
    psfont("COURIER-bold");
    EXPECT_EQ(g_plot.text.ps_font_index, 19);
    // Every glyph 84 wide, the composed letters AE and ae included.
    EXPECT_EQ(std::count(g_plot.text.char_widths, g_plot.text.char_widths + 155, 84), 155);
    captured(disalf); // back to strokes
    EXPECT_EQ(g_plot.text.hardware_font, 0);
    captured(disfin);

    captured([&] { open_page("bmp", path("f.bmp"), 100, 100); });
    hwfont();
    EXPECT_EQ(g_plot.text.font_number, 3);
    EXPECT_EQ(g_plot.text.hardware_font, 0);
    EXPECT_EQ(captured([] {
                  psfont("Times-Roman");
                  winfnt("Arial");
                  X11FNT("-*-Times-Bold-R-Normal-", "STAN");
              }),
              " <<<< Warning  49: Fileformat is not PostScript in psfont!\n"
              " <<<< Warning 101: Window fonts cannot be used in winfnt!\n"
              " <<<< Warning 101: X11 fonts cannot be used in X11FNT!\n");
    EXPECT_EQ(g_plot.text.hardware_font, 0);
    captured(disfin);

    captured([&] { open_page("wmf", path("f.wmf")); });
    winfnt("Arial"); // in force; the stroke font stands in for its drawing
    EXPECT_EQ(g_plot.text.hardware_font, 2);
    EXPECT_EQ(g_plot.text.font_number, 3);
    captured(disfin);
}

TEST_F(TextTest, DotsOfDisalfAreSinglePixelsOnRaster) {
    captured([&] { open_page("virt", path("v")); });
    const int all = g_plot.raster.stride * g_plot.raster.height;
    auto ink = [&] { return all - count_colour(0); };
    ASSERT_EQ(ink(), 0);
    messag(".", 1000, 1000); // a stroke of two equal points
    sendbf();
    EXPECT_EQ(ink(), 1);
    messag(":", 1200, 1000);
    sendbf();
    EXPECT_EQ(ink(), 3);
}
