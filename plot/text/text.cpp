// Stroke-font text: height, angle, font selection, the layout of a string
// along its baseline with the exponent characters, glyph drawing through the
// pen stage, and width measurement.
#include "plot/core/state.h"
#include "plot/core/messages.h"
#include "plot/draw/draw.h"
#include "plot/text/text.h"
#include "plot/axes/axes.h"
#include "plot/razidu.h"
#include "plot/text/stroke_fonts.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace razidu {

namespace {

constexpr int kMaxText = 256;
constexpr int kMaxGlyphs = 160; // more than the 155 characters of complx

// Word offsets of the glyph records of one alphabet, made on first use so
// that a character costs no walk through the glyph table.
struct GlyphIndex {
    const fonts::StrokeAlphabet* alphabet = nullptr;
    int offset[kMaxGlyphs + 1] = {};
};

const GlyphIndex& glyph_index(const fonts::StrokeAlphabet* a, int font) {
    static GlyphIndex cache[2];
    GlyphIndex& c = cache[font == fonts::kDisalfFont ? 0 : 1];
    if (c.alphabet != a) {
        c.alphabet = a;
        for (int g = 0; g <= kMaxGlyphs; ++g)
            c.offset[g] = g <= a->char_count ? fonts::glyph_record(*a, g) : -1;
    }
    return c;
}

// Glyph scales of the alphabet in use, recomputed only when the font, the
// height or the stretch changed since the last character.
struct GlyphScales {
    int font = -1, height = -1;
    float width_factor = 0, char_spacing = 0;
    const fonts::StrokeAlphabet* alphabet = nullptr;
    float sx = 0, sy = 0, sp = 0;
};
GlyphScales g_scales;

const GlyphScales& scales() {
    const TextState& t = g_plot.text;
    GlyphScales& s = g_scales;
    if (s.font != t.font_number || s.height != t.height || s.width_factor != t.width_factor ||
        s.char_spacing != t.char_spacing) {
        s.font = t.font_number;
        s.height = t.height;
        s.width_factor = t.width_factor;
        s.char_spacing = t.char_spacing;
        s.alphabet = fonts::stroke_alphabet(t.font_number, 1);
        if (s.alphabet == nullptr) {
            s.font = fonts::kDisalfFont;
            s.alphabet = fonts::stroke_alphabet(fonts::kDisalfFont, 1);
        }
        const float h1 = float(t.height - 1);
        s.sx = t.width_factor * h1 / s.alphabet->x_divisor;
        s.sy = h1 / s.alphabet->y_divisor;
        s.sp = float(t.height) * (t.char_spacing + s.alphabet->spacing);
    }
    return s;
}

float decode_x(int16_t w) {
    return float(int8_t(uint16_t(w) & 0xFF));
}
float decode_y(int16_t w) {
    return float(int8_t((uint16_t(w) >> 8) & 0xFF));
}

// Draws (unless measuring) the stroke glyph of code k at the text position
// and returns its width; sp receives the character spacing.
float stroke_char(int k, float* sp) {
    const GlyphScales& s = scales();
    const fonts::StrokeAlphabet& a = *s.alphabet;
    *sp = s.sp;
    int g = k < 32 ? 1 : k - 31;
    if (g > a.char_count) g = 1;
    const int at = g == 1 ? -1 : glyph_index(&a, s.font).offset[g];
    if (at < 0) return a.space_width * s.sx;
    const int16_t* rec = a.glyphs + at;
    const int len = rec[0];
    const TextState& t = g_plot.text;
    const bool fixed = s.font == fonts::kDisalfFont;
    const bool draw = t.measure_only == 0;
    float xmax = 0;
    for (int i = 1; i < len;) {
        int n = rec[i];
        const int start = rec[i + 1];
        float dx = 0, dy = 0;
        if (n < 0) {
            if (i + 2 >= len) break;
            dx = 0.5f * decode_x(rec[i + 2]);
            dy = 0.5f * decode_y(rec[i + 2]);
            n = -n;
            i += 3;
        } else {
            i += 2;
        }
        if (start < 1 || start - 1 + n > a.point_count) continue;
        for (int j = 0; j < n; ++j) {
            const int16_t w = a.points[start - 1 + j];
            const float px = decode_x(w) + dx, py = decode_y(w) + dy;
            if (px > xmax) xmax = px;
            if (!draw) continue;
            const float u = py * s.sy;
            const float v = px * s.sx + u * t.slant;
            const float x = t.x + t.cos_a * v - t.sin_a * u;
            const float y = t.y - t.cos_a * u - t.sin_a * v;
            if (j == 0)
                pen_move_to(x, y);
            else
                pen_draw_to(x, y);
        }
    }
    return fixed ? 6.0f * s.sx : xmax * s.sx;
}

// One character at the text position, advancing it; returns the spacing
// that follows the character.
float put_char(int k) {
    TextState& t = g_plot.text;
    float sp = 0, w = 0;
    if (t.hardware_font == 1)
        w = hardware_char(k, &sp);
    else
        w = stroke_char(k, &sp);
    t.x += t.cos_a * (sp + w);
    t.y -= t.sin_a * (sp + w);
    return sp;
}

bool off_page(int x, int y) {
    return x < 0 || y < 0 || x > g_plot.page_xmax || y > g_plot.page_ymax;
}

void page_warning(const char* which, int x, int y, const char* text) {
    out_of_page_message(which, x, y, text);
}

// Half away from zero; far-off and undefined positions stay in int range.
int round_away(float v) {
    if (std::isnan(v)) return 0;
    v = std::clamp(v, -1.0e9f, 1.0e9f);
    return int(v < 0 ? v - 0.5f : v + 0.5f);
}

// Lays the string out from the text position: characters, exponent
// characters in label mode, and the undoing of a raise at the end. Returns
// the largest rounded distance from (x0, y0) to the end of a character when
// widest is set.
int lay_out(const char* s, int n, float x0, float y0, bool widest) {
    TextState& t = g_plot.text;
    const int base_height = t.height;
    float off_x = 0, off_y = 0; // raise or lowering in force
    int best = 0;
    for (int i = 0; i < n; ++i) {
        const char c = s[i];
        if (t.label_mode == 1 && (c == t.raise_char || c == t.lower_char || c == t.reset_char)) {
            if (c == t.raise_char) {
                const float d = float(t.height) * t.raise_shift;
                t.x -= t.sin_a * d, t.y -= t.cos_a * d;
                off_x -= t.sin_a * d, off_y -= t.cos_a * d;
                set_text_height(int(std::lround(float(t.height) * t.raise_size)));
            } else if (c == t.lower_char) {
                set_text_height(int(std::lround(float(t.height) * t.raise_size)));
                const float d = float(t.height) * t.raise_shift;
                t.x += t.sin_a * d, t.y += t.cos_a * d;
                off_x += t.sin_a * d, off_y += t.cos_a * d;
            } else {
                set_text_height(base_height);
                t.x -= off_x, t.y -= off_y;
                off_x = off_y = 0;
            }
            continue;
        }
        const float sp = put_char(static_cast<unsigned char>(c));
        if (widest) {
            const float ex = t.x - t.cos_a * sp - x0, ey = t.y + t.sin_a * sp - y0;
            const int d = round_away(std::sqrt(ex * ex + ey * ey));
            if (d > best) best = d;
        }
    }
    t.x -= off_x, t.y -= off_y;
    if (t.height != base_height) set_text_height(base_height);
    return best;
}

// Copies at most 256 characters of text without its trailing blanks.
int trimmed(const char* text, char* out) {
    int n = 0;
    if (text)
        while (n < kMaxText && text[n] != '\0') {
            out[n] = text[n];
            ++n;
        }
    while (n > 0 && out[n - 1] == ' ')
        --n;
    out[n] = '\0';
    return n;
}

} // namespace

// ------------------------------------------------------------ internal API

void set_text_height(int h) {
    g_plot.text.height = h;
    if (g_plot.text.hardware_font == 1 && g_plot.text.measure_only == 0) ps_font_line();
}

void set_text_angle(int degrees) {
    TextState& t = g_plot.text;
    t.angle = degrees;
    const float r = float(degrees) * 0.017453292f;
    t.sin_a = std::sin(r);
    t.cos_a = std::cos(r);
}

void select_stroke_font(int font) {
    g_plot.text.font_number = font;
    g_plot.text.hardware_font = 0;
}

void draw_text(const char* text, int x, int y) {
    char s[kMaxText + 1];
    const int n = trimmed(text, s);
    if (n == 0) return;
    TextState& t = g_plot.text;
    const int colour = g_plot.colour.current;
    if (x != 999 || y != 999) {
        // Summed wide: a start point near the int limits must not wrap.
        const auto shifted = [](int v, int shift) {
            return int(std::clamp(int64_t(v) + shift, int64_t(-1000000000), int64_t(1000000000)));
        };
        const int px = shifted(x, g_plot.line.origin_shift_x);
        const int py = shifted(y, g_plot.line.origin_shift_y);
        const float h1 = float(t.height - 1);
        t.x = float(px) + h1 * t.sin_a;
        t.y = float(py) + h1 * t.cos_a;
        if (off_page(px, py)) page_warning("Startpoint", px, py, s);
    }
    lay_out(s, n, 0, 0, false);
    float sp = scales().sp;
    if (t.hardware_font == 1) sp = float(t.height) * (t.char_spacing + 0.1f);
    const int ex = round_away(t.x - t.cos_a * sp), ey = round_away(t.y + t.sin_a * sp);
    if (off_page(ex, ey)) page_warning("Endpoint  ", ex, ey, s);
    if (g_plot.colour.current != colour) select_colour(colour);
}

int text_width(const char* text) {
    char s[kMaxText + 1];
    const int n = trimmed(text, s);
    if (n == 0) return 0;
    TextState& t = g_plot.text;
    const float x = t.x, y = t.y;
    const int h = t.height, measure = t.measure_only;
    t.measure_only = 1;
    t.x = 0;
    t.y = 0;
    const int w = lay_out(s, n, 0, 0, true);
    t.measure_only = measure;
    t.x = x;
    t.y = y;
    if (t.height != h) set_text_height(h);
    return w;
}

void text_at(const char* text, int x, int y, int degrees, int h) {
    TextState& t = g_plot.text;
    const int old_angle = t.angle, old_height = t.height;
    if (degrees != old_angle) set_text_angle(degrees);
    if (h != old_height) set_text_height(h);
    draw_text(text, x, y);
    if (t.height != old_height) set_text_height(old_height);
    if (t.angle != old_angle) set_text_angle(old_angle);
}

// ------------------------------------------------------------ public routines

void height(int h) {
    if (check_level(1, 3, "height")) return;
    if (h < 1 || h > 10000) {
        warning_with_number(2, h);
        return;
    }
    set_text_height(h);
}

void angle(int degrees) {
    if (check_level(1, 3, "angle")) return;
    set_text_angle(degrees);
}

void disalf() {
    if (check_level(1, 3, "disalf")) return;
    select_stroke_font(fonts::kDisalfFont);
}

void complx() {
    if (check_level(1, 3, "complx")) return;
    select_stroke_font(fonts::kComplxFont);
}

void messag(const char* text, int x, int y) {
    if (check_level(1, 3, "messag")) return;
    draw_text(text, x, y);
}

int txtlen(const char* text) {
    if (check_level(1, 3, "txtlen")) return 0;
    return text_width(text ? text : "");
}

} // namespace razidu
