// Integrity of the generated stroke-font tables and the hardware-font width sets.
#include "plot/text/ps_widths.h"
#include "plot/text/stroke_fonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

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
