// Stroke-font layout, width measurement, the out-of-page warnings, and the
// hardware fonts on PostScript (raised characters: the axis label test);
// integrity of the generated stroke-font tables and the hardware-font
// width sets.
#include "plot_test_util.h"
#include "plot/text/ps_widths.h"
#include "plot/text/stroke_fonts.h"

#include <algorithm>
#include <climits>
#include <vector>

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

namespace {

using razidu::fonts::StrokeAlphabet;

struct Point {
    double x, y;
    bool operator==(const Point&) const = default;
};
using Strokes = std::vector<std::vector<Point>>;

// Signed low and high byte of a table word.
const auto lo = [](int16_t w) { return int(int8_t(uint16_t(w) & 0xFF)); };
const auto hi = [](int16_t w) { return int(int8_t(uint16_t(w) >> 8)); };

// Decodes the record at word index `at` into strokes of points in font units,
// failing the test on any malformed stroke.
Strokes strokes_at(const StrokeAlphabet& a, int at) {
    Strokes out;
    const int end = at + a.glyphs[at];
    int k = at + 1;
    while (k < end) {
        int n = a.glyphs[k];
        const int s = a.glyphs[k + 1];
        double dx = 0, dy = 0;
        if (n < 0) { // an offset word follows
            EXPECT_LT(k + 2, end) << "offset word beyond the record at " << at;
            dx = lo(a.glyphs[k + 2]) * 0.5, dy = hi(a.glyphs[k + 2]) * 0.5;
            n = -n, ++k;
        }
        k += 2;
        EXPECT_TRUE(n >= 1 && s >= 1 && s + n - 1 <= a.point_count) << "stroke at " << at;
        std::vector<Point> pts;
        for (int i = 0; i < n && s + i <= a.point_count; ++i)
            pts.push_back({lo(a.points[s - 1 + i]) + dx, hi(a.points[s - 1 + i]) + dy});
        out.push_back(pts);
    }
    EXPECT_EQ(k, end) << "strokes do not end with the record at " << at;
    return out;
}

Strokes glyph(const StrokeAlphabet& a, int code) {
    const int at = razidu::fonts::glyph_record(a, code - 31);
    EXPECT_GE(at, 0) << "no record for code " << code;
    return at < 0 ? Strokes{} : strokes_at(a, at);
}

struct Box {
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
};
Box box(const Strokes& strokes) {
    Box b;
    for (const auto& s : strokes)
        for (const auto& p : s) {
            b.x0 = std::min(b.x0, p.x), b.x1 = std::max(b.x1, p.x);
            b.y0 = std::min(b.y0, p.y), b.y1 = std::max(b.y1, p.y);
        }
    return b;
}

const StrokeAlphabet& alphabet1(int font) {
    return *razidu::fonts::stroke_alphabet(font, 1);
}

TEST(StrokeFonts, RecordsWalkExactlyToTheEndOfTheGlyphTable) {
    using razidu::fonts::stroke_alphabet;
    for (int font : {1, 3}) {
        const StrokeAlphabet& a = alphabet1(font);
        EXPECT_EQ(a.char_count, font == 1 ? 132 : 155); // codes 32..163 and 32..186
        int at = 0;
        for (int g = 2; g <= a.char_count; ++g) {
            ASSERT_LT(at, a.glyph_count) << "font " << font << " glyph " << g;
            ASSERT_GE(a.glyphs[at], 3) << "a record holds at least one stroke";
            EXPECT_EQ(razidu::fonts::glyph_record(a, g), at);
            EXPECT_FALSE(strokes_at(a, at).empty());
            at += a.glyphs[at];
        }
        EXPECT_EQ(at, a.glyph_count) << "font " << font;
        EXPECT_EQ(razidu::fonts::glyph_record(a, 1), -1) << "the blank has no record";
        EXPECT_EQ(razidu::fonts::glyph_record(a, a.char_count + 1), -1);
    }
    // Alphabets 2..6 are registered empty; other fonts and numbers do not exist.
    ASSERT_NE(stroke_alphabet(3, 6), nullptr);
    EXPECT_EQ(stroke_alphabet(3, 6)->char_count, 0);
    EXPECT_EQ(razidu::fonts::glyph_record(*stroke_alphabet(1, 2), 2), -1);
    EXPECT_EQ(stroke_alphabet(2, 1), nullptr);
    EXPECT_EQ(stroke_alphabet(1, 0), nullptr);
    EXPECT_EQ(stroke_alphabet(1, 7), nullptr);
}

TEST(StrokeFonts, GlyphsFitTheirGrids) {
    const StrokeAlphabet &d = alphabet1(1), &c = alphabet1(3);
    // DISALF: a 6 by 7 cell whose 6th column stays free.
    for (int code = 33; code <= 163; ++code) {
        const Box b = box(glyph(d, code));
        EXPECT_TRUE(b.x0 >= 0 && b.x1 <= 5 && b.y0 >= -2 && b.y1 <= (code < 127 ? 8 : 9)) << code;
        EXPECT_TRUE(!isupper(code) || code == 'Q' || (b.y0 == 0 && b.y1 == 7)) << code;
    }
    // COMPLX: the ink starts at x = 0 (marks over I and i may reach half a
    // unit further left).
    for (int code = 33; code <= 186; ++code) {
        const Box b = box(glyph(c, code));
        EXPECT_TRUE(b.x0 == 0 || (code >= 127 && b.x0 >= -0.5)) << code;
        EXPECT_TRUE(b.x0 >= -0.5 && b.x1 < 40 && b.y0 >= -10 && b.y1 <= 30) << code;
    }
}

// Accented letters reuse the strokes of their base letter and add a mark above it
// (below it for the cedilla); the i takes no dot under its accent.
TEST(StrokeFonts, AccentedLettersAreBaseLetterPlusMark) {
    const struct {
        int code;
        char base;
        bool above;
    } cases[] = {{127, 'A', true}, {142, 'C', false}, {163, 'a', true}, {184, 'y', true}};
    for (int font : {1, 3}) {
        const StrokeAlphabet& a = alphabet1(font);
        for (const auto& c : cases) {
            if (c.code > 31 + a.char_count) continue;
            const Strokes base = glyph(a, c.base), accented = glyph(a, c.code);
            ASSERT_GT(accented.size(), base.size()) << font << " " << c.code;
            EXPECT_TRUE(std::equal(base.begin(), base.end(), accented.begin()));
            const Box b = box(base),
                      mark = box({accented.begin() + long(base.size()), accented.end()});
            EXPECT_TRUE(c.above ? mark.y0 > b.y1 : mark.y0 < b.y0) << font << " " << c.code;
            // The mark sits over the letter, not beside it.
            const double mid = (mark.x0 + mark.x1) / 2;
            EXPECT_TRUE(mid > b.x0 && mid < b.x1) << font << " " << c.code;
        }
        // i with a dieresis keeps every stroke of the plain i but its dot.
        const Strokes plain = glyph(a, 'i'), dotless = glyph(a, 147);
        const auto kept = std::count_if(plain.begin(), plain.end(), [&](const auto& s) {
            return std::find(dotless.begin(), dotless.end(), s) != dotless.end();
        });
        EXPECT_EQ(size_t(kept), plain.size() - 1) << "font " << font;
    }
}

TEST(PsWidths, FontListLookupAndWidthSets) {
    using namespace razidu::fonts;
    const std::pair<const char*, int> names[] = {
        {"Times-Roman", 0}, {"times-roman", 0},
        {"SYMBOL", 34},     {"Helvetica-Narrow-BoldOblique", 11},
        {"Arial", -1},      {"Times", -1}}; // a prefix is no match
    for (auto [name, position] : names)
        EXPECT_EQ(ps_font_position(name), position) << name;
    EXPECT_EQ(ps_font_position(nullptr), -1);
    EXPECT_EQ(kPsFonts[18].width_set, 0);                    // Courier
    EXPECT_EQ(kPsFonts[6].width_set, kPsFonts[4].width_set); // Helvetica-Oblique
    EXPECT_EQ(kPsFonts[33].width_set, 20);                   // Palatino-BoldItalic
    // 140 units to the em: Times-Roman (set 1) A 722, W 944, quoteright
    // 333/1000; Helvetica (set 5) i 222.
    const int widths[][3] = {{1, 'A', 101}, {1, 'W', 132}, {1, '\'', 47},
                             {1, 127, 101}, {5, 'i', 31},  {0, 133, 84}};
    for (auto [set, code, width] : widths)
        EXPECT_EQ(ps_set_width(set, code - 31), width) << set << " " << code;
    for (auto [set, index] : {std::pair{26, 1}, {-1, 1}, {1, 0}, {1, 103}})
        EXPECT_EQ(ps_set_width(set, index), -1) << set << " " << index;
}

TEST(PsWidths, AccentedLettersTakeTheirBaseWidth) {
    using razidu::fonts::fill_char_widths;
    int16_t widths[razidu::fonts::kCharWidthCount];
    auto at = [&](int code) { return widths[code - 32]; };
    ASSERT_EQ(fill_char_widths(1, widths), 0);
    // Aring, Aacute, ocircumflex, questiondown
    for (auto [code, base] : {std::pair{134, 'A'}, {148, 'A'}, {176, 'o'}, {186, '?'}})
        EXPECT_EQ(at(code), at(base)) << code;
    EXPECT_EQ(at(136), 101 / 2 + 86);              // AE
    EXPECT_EQ(at(139), 2 * at('a') / 3 + at('e')); // ae
    widths[0] = SHRT_MIN;
    EXPECT_EQ(fill_char_widths(26, widths), -1);
    EXPECT_EQ(widths[0], SHRT_MIN) << "a bad set leaves the widths alone";
    EXPECT_EQ(fill_char_widths(1, nullptr), -1);
    ASSERT_EQ(fill_char_widths(0, widths), 0); // Courier: every glyph, AE and ae too
    for (int code = 32; code <= 186; ++code)
        EXPECT_EQ(at(code), 84) << code;
}

} // namespace
