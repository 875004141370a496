// Integrity of the generated stroke-font tables and the hardware-font width sets.
#include "text/generated/ps_widths.h"
#include "text/generated/stroke_fonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace {

using razidu::fonts::StrokeAlphabet;

struct Point {
    double x, y;
};

int low_byte(int16_t w) {
    return static_cast<int8_t>(static_cast<uint16_t>(w) & 0xFF);
}
int high_byte(int16_t w) {
    return static_cast<int8_t>(static_cast<uint16_t>(w) >> 8);
}

// Decodes the record at word index `at` into strokes of points in font units,
// failing the test on any malformed stroke.
std::vector<std::vector<Point>> strokes_at(const StrokeAlphabet& a, int at) {
    std::vector<std::vector<Point>> out;
    const int end = at + a.glyphs[at];
    int k = at + 1;
    while (k < end) {
        int n = a.glyphs[k];
        const int s = a.glyphs[k + 1];
        double dx = 0, dy = 0;
        if (n < 0) {
            EXPECT_LT(k + 2, end) << "offset word beyond the record at " << at;
            dx = low_byte(a.glyphs[k + 2]) * 0.5;
            dy = high_byte(a.glyphs[k + 2]) * 0.5;
            n = -n;
            k += 3;
        } else {
            k += 2;
        }
        EXPECT_GE(n, 1);
        EXPECT_GE(s, 1);
        EXPECT_LE(s + n - 1, a.point_count) << "stroke leaves the point table";
        std::vector<Point> pts;
        for (int i = 0; i < n && s + i <= a.point_count; ++i) {
            const int16_t w = a.points[s - 1 + i];
            pts.push_back({low_byte(w) + dx, high_byte(w) + dy});
        }
        out.push_back(pts);
    }
    EXPECT_EQ(k, end) << "strokes do not end with the record at " << at;
    return out;
}

std::vector<std::vector<Point>> glyph(const StrokeAlphabet& a, int code) {
    const int at = razidu::fonts::glyph_record(a, code - 31);
    EXPECT_GE(at, 0) << "no record for code " << code;
    return at < 0 ? std::vector<std::vector<Point>>{} : strokes_at(a, at);
}

struct Box {
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
};

Box box(const std::vector<std::vector<Point>>& strokes) {
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
    for (int font : {1, 3}) {
        const StrokeAlphabet& a = alphabet1(font);
        int at = 0;
        for (int g = 2; g <= a.char_count; ++g) {
            ASSERT_LT(at, a.glyph_count) << "font " << font << " glyph " << g;
            ASSERT_GE(a.glyphs[at], 3) << "a record holds at least one stroke";
            EXPECT_EQ(razidu::fonts::glyph_record(a, g), at);
            const auto strokes = strokes_at(a, at);
            EXPECT_FALSE(strokes.empty());
            at += a.glyphs[at];
        }
        EXPECT_EQ(at, a.glyph_count) << "font " << font;
        EXPECT_EQ(razidu::fonts::glyph_record(a, 1), -1) << "the blank has no record";
        EXPECT_EQ(razidu::fonts::glyph_record(a, a.char_count + 1), -1);
    }
}

TEST(StrokeFonts, AlphabetsAndMetrics) {
    using razidu::fonts::stroke_alphabet;
    const StrokeAlphabet& d = alphabet1(1);
    const StrokeAlphabet& c = alphabet1(3);
    EXPECT_EQ(d.char_count, 132); // codes 32..163
    EXPECT_EQ(c.char_count, 155); // codes 32..186
    EXPECT_EQ(d.point_count, razidu::fonts::kDisalfPointCount);
    EXPECT_EQ(c.glyph_count, razidu::fonts::kComplxGlyphCount);
    EXPECT_EQ(d.x_divisor, 6.0f);
    EXPECT_EQ(d.y_divisor, 7.0f);
    EXPECT_EQ(d.space_width, 6.0f);
    EXPECT_EQ(c.x_divisor, 20.0f);
    EXPECT_EQ(c.y_divisor, 21.0f);
    EXPECT_EQ(c.spacing, 0.25f);
    EXPECT_EQ(c.space_width, 9.0f);
    // Alphabets 2..6 are registered empty; other fonts and numbers do not exist.
    ASSERT_NE(stroke_alphabet(3, 6), nullptr);
    EXPECT_EQ(stroke_alphabet(3, 6)->char_count, 0);
    EXPECT_EQ(stroke_alphabet(3, 6)->point_count, 0);
    EXPECT_EQ(stroke_alphabet(2, 1), nullptr);
    EXPECT_EQ(stroke_alphabet(1, 0), nullptr);
    EXPECT_EQ(stroke_alphabet(1, 7), nullptr);
    EXPECT_EQ(razidu::fonts::glyph_record(*stroke_alphabet(1, 2), 2), -1);
}

TEST(StrokeFonts, DisalfFitsItsSixBySevenGrid) {
    const StrokeAlphabet& a = alphabet1(1);
    for (int code = 33; code <= 163; ++code) {
        const Box b = box(glyph(a, code));
        EXPECT_GE(b.x0, 0) << code;
        EXPECT_LE(b.x1, 5) << code << ": ink must leave the 6th column of the cell free";
        EXPECT_GE(b.y0, -2) << code;
        EXPECT_LE(b.y1, code < 127 ? 8 : 9) << code;
    }
    for (int code = 'A'; code <= 'Z'; ++code) {
        if (code == 'Q') continue;
        const Box b = box(glyph(a, code));
        EXPECT_EQ(b.y0, 0) << static_cast<char>(code);
        EXPECT_EQ(b.y1, 7) << static_cast<char>(code);
    }
}

TEST(StrokeFonts, ComplxHeightsAndBaseline) {
    const StrokeAlphabet& a = alphabet1(3);
    for (char ch : std::string("ABDEFHIKLMNPRTUVWXYZ")) {
        const Box b = box(glyph(a, ch));
        EXPECT_EQ(b.y0, 0) << ch;
        EXPECT_NEAR(b.y1, 21, 1) << ch;
        EXPECT_EQ(b.x0, 0) << ch << ": the ink starts at x = 0";
    }
    for (char ch : std::string("uvwxz"))
        EXPECT_NEAR(box(glyph(a, ch)).y1, 14, 1) << ch;
    for (char ch : std::string("gjpqy"))
        EXPECT_LT(box(glyph(a, ch)).y0, -5) << ch;
    // The ink starts at x = 0 (marks over I and i may reach half a unit further left)
    // and stays well inside the signed byte range.
    for (int code = 33; code <= 186; ++code) {
        const Box b = box(glyph(a, code));
        if (code < 127) {
            EXPECT_EQ(b.x0, 0) << code;
        }
        EXPECT_GE(b.x0, -0.5) << code;
        EXPECT_LT(b.x1, 40) << code;
        EXPECT_GE(b.y0, -10) << code;
        EXPECT_LE(b.y1, 30) << code;
    }
}

// Accented letters reuse the strokes of their base letter and add a mark above it
// (below it for the cedilla); the i takes no dot under its accent.
TEST(StrokeFonts, AccentedLettersAreBaseLetterPlusMark) {
    struct Case {
        int code;
        char base;
        bool above;
    };
    const Case cases[] = {{127, 'A', true},  {132, 'u', true}, {140, 'N', true},
                          {142, 'C', false}, {149, 'E', true}, {163, 'a', true},
                          {171, 'O', true},  {179, 'a', true}, {184, 'y', true}};
    for (int font : {1, 3}) {
        const StrokeAlphabet& a = alphabet1(font);
        for (const Case& c : cases) {
            if (c.code > 31 + a.char_count) continue;
            const auto base = glyph(a, c.base);
            const auto accented = glyph(a, c.code);
            ASSERT_GT(accented.size(), base.size()) << font << " " << c.code;
            for (size_t i = 0; i < base.size(); ++i) {
                ASSERT_EQ(accented[i].size(), base[i].size()) << font << " " << c.code;
                for (size_t k = 0; k < base[i].size(); ++k) {
                    EXPECT_EQ(accented[i][k].x, base[i][k].x);
                    EXPECT_EQ(accented[i][k].y, base[i][k].y);
                }
            }
            const Box b = box(base);
            const Box mark = box({accented.begin() + base.size(), accented.end()});
            if (c.above) {
                EXPECT_GT(mark.y0, b.y1) << font << " " << c.code;
            } else {
                EXPECT_LT(mark.y0, b.y0) << font << " " << c.code;
            }
            // The mark sits over the letter, not beside it.
            EXPECT_GT((mark.x0 + mark.x1) / 2, b.x0) << font << " " << c.code;
            EXPECT_LT((mark.x0 + mark.x1) / 2, b.x1) << font << " " << c.code;
        }
        // i with a dieresis keeps every stroke of the plain i but its dot.
        const auto plain = glyph(a, 'i');
        const auto dotless = glyph(a, 147);
        auto same = [](const std::vector<Point>& p, const std::vector<Point>& q) {
            return p.size() == q.size() &&
                   std::equal(p.begin(), p.end(), q.begin(),
                              [](Point u, Point v) { return u.x == v.x && u.y == v.y; });
        };
        size_t kept = 0;
        for (const auto& s : plain)
            kept += std::any_of(dotless.begin(), dotless.end(),
                                [&](const auto& t) { return same(s, t); });
        EXPECT_EQ(kept, plain.size() - 1) << "font " << font;
    }
}

TEST(PsWidths, FontListAndLookup) {
    using razidu::fonts::kPsFonts;
    using razidu::fonts::ps_font_position;
    EXPECT_EQ(ps_font_position("Times-Roman"), 0);
    EXPECT_EQ(ps_font_position("times-roman"), 0);
    EXPECT_EQ(ps_font_position("SYMBOL"), 34);
    EXPECT_EQ(ps_font_position("Helvetica-Narrow-BoldOblique"), 11);
    EXPECT_EQ(ps_font_position("Arial"), -1);
    EXPECT_EQ(ps_font_position("Times"), -1) << "a prefix is no match";
    EXPECT_EQ(ps_font_position(nullptr), -1);
    EXPECT_EQ(kPsFonts[18].width_set, 0);                    // Courier
    EXPECT_EQ(kPsFonts[6].width_set, kPsFonts[4].width_set); // Helvetica-Oblique
    EXPECT_EQ(kPsFonts[26].width_set, 22);                   // Bookman-Light
    EXPECT_EQ(kPsFonts[33].width_set, 20);                   // Palatino-BoldItalic
}

TEST(PsWidths, SetsAt140UnitsToTheEm) {
    using razidu::fonts::ps_set_width;
    auto w = [](int set, int code) { return ps_set_width(set, code - 31); };
    // Times-Roman (set 1): A 722, E 611, W 944, i 278, space 250, quoteright 333/1000.
    EXPECT_EQ(w(1, 'A'), 101);
    EXPECT_EQ(w(1, 'E'), 86);
    EXPECT_EQ(w(1, 'W'), 132);
    EXPECT_EQ(w(1, 'i'), 39);
    EXPECT_EQ(w(1, ' '), 35);
    EXPECT_EQ(w(1, '\''), 47);
    EXPECT_EQ(w(1, 127), 101) << "Adieresis is as wide as A";
    // Helvetica (set 5): A 667, i 222.
    EXPECT_EQ(w(5, 'A'), 93);
    EXPECT_EQ(w(5, 'i'), 31);
    for (int code = 32; code <= 133; ++code)
        EXPECT_EQ(w(0, code), 84);
    EXPECT_EQ(ps_set_width(26, 1), -1);
    EXPECT_EQ(ps_set_width(-1, 1), -1);
    EXPECT_EQ(ps_set_width(1, 0), -1);
    EXPECT_EQ(ps_set_width(1, 103), -1);
}

TEST(PsWidths, AccentedLettersTakeTheirBaseWidth) {
    using razidu::fonts::fill_char_widths;
    int16_t widths[razidu::fonts::kCharWidthCount];
    ASSERT_EQ(fill_char_widths(1, widths), 0);
    auto at = [&](int code) { return widths[code - 32]; };
    EXPECT_EQ(at('A'), 101);
    EXPECT_EQ(at(134), at('A'));                   // Aring
    EXPECT_EQ(at(148), at('A'));                   // Aacute
    EXPECT_EQ(at(176), at('o'));                   // ocircumflex
    EXPECT_EQ(at(186), at('?'));                   // questiondown
    EXPECT_EQ(at(136), 101 / 2 + 86);              // AE
    EXPECT_EQ(at(139), 2 * at('a') / 3 + at('e')); // ae
    ASSERT_EQ(fill_char_widths(0, widths), 0);
    EXPECT_EQ(at(65), 84);
    EXPECT_EQ(at(186), 84);
    EXPECT_EQ(at(136), 42 + 84);
    widths[0] = SHRT_MIN;
    EXPECT_EQ(fill_char_widths(26, widths), -1);
    EXPECT_EQ(widths[0], SHRT_MIN) << "a bad set leaves the widths alone";
    EXPECT_EQ(fill_char_widths(1, nullptr), -1);
}

} // namespace
