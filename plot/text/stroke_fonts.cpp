// The alphabets of the two stroke fonts over the generated tables, and the
// walk to a glyph's record.
#include "plot/text/stroke_fonts.h"
#include "text/generated/stroke_tables.h"

namespace razidu::fonts {

namespace {

// Alphabets 1..6; alphabets 2..6 are empty (counts 0) and fall back to alphabet 1's
// tables with no characters of their own, with the metrics of the fixed-pitch
// or of the proportional face.
constexpr StrokeAlphabet kEmptyFixed = {nullptr, 0, nullptr, 0, 0, 6.0f, 7.0f, 0.0f, 6.0f};
constexpr StrokeAlphabet kEmptyProp = {nullptr, 0, nullptr, 0, 0, 20.0f, 21.0f, 0.25f, 9.0f};

// clang-format off
constexpr StrokeAlphabet kDisalf[kAlphabetCount] = {
    {kDisalfPoints, kDisalfPointCount, kDisalfGlyphs, kDisalfGlyphCount, kDisalfCharCount,
     6.0f, 7.0f, 0.0f, 6.0f},
    kEmptyFixed, kEmptyProp, kEmptyFixed, kEmptyProp, kEmptyProp};

constexpr StrokeAlphabet kComplx[kAlphabetCount] = {
    {kComplxPoints, kComplxPointCount, kComplxGlyphs, kComplxGlyphCount, kComplxCharCount,
     20.0f, 21.0f, 0.25f, 9.0f},
    kEmptyProp, kEmptyProp, kEmptyProp, kEmptyProp, kEmptyProp};
// clang-format on

} // namespace

const StrokeAlphabet* stroke_alphabet(int font, int alphabet) {
    if (alphabet < 1 || alphabet > kAlphabetCount) return nullptr;
    if (font == kDisalfFont) return &kDisalf[alphabet - 1];
    if (font == kComplxFont) return &kComplx[alphabet - 1];
    return nullptr;
}

int glyph_record(const StrokeAlphabet& a, int g) {
    if (a.glyphs == nullptr || g < 2 || g > a.char_count) return -1;
    int at = 0;
    for (int k = 2; k < g; ++k) {
        if (at >= a.glyph_count || a.glyphs[at] < 1) return -1;
        at += a.glyphs[at];
    }
    if (at >= a.glyph_count || a.glyphs[at] < 1 || at + a.glyphs[at] > a.glyph_count) return -1;
    return at;
}

} // namespace razidu::fonts
