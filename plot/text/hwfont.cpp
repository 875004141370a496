// Hardware fonts: the standard PostScript fonts with their width tables on
// PostScript and PDF pages, and the character output that replaces the
// stroke glyphs there. Window-system fonts do not exist on this system.
#include "plot/core/state.h"
#include "plot/razidu.h"
#include "plot/vector/vector.h"
#include "text/generated/ps_widths.h"
#include "text/generated/stroke_fonts.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace razidu {

namespace {

// Font size of the hardware font for the text height in force: on PDF the
// PostScript device scale stands in for the device's own.
int font_size(float k) {
    return int(float(g_plot.text.height) * k / 4.0f);
}

void put_words(const char* text) {
    put_ps_words(text, int(std::strlen(text)));
}

void put_font_name(const char* name, const char* suffix) {
    char words[96];
    std::snprintf(words, sizeof words, "(%.60s%.8s) ", name, suffix);
    put_words(words);
}

// Device point and angle of a plot point on PostScript and PDF: a landscape
// page is turned, otherwise y is flipped.
void device_point(float x, float y, float* dx, float* dy, int* degrees) {
    const PlotState& g = g_plot;
    const float s = g.device_scale;
    if (g.page_xmax > g.page_ymax) {
        *dx = y * s;
        *dy = x * s;
        if (*degrees > INT_MAX - 90) *degrees -= 360; // the same direction, room to turn
        *degrees += 90;
    } else {
        *dx = x * s;
        *dy = (float(g.page_ymax) - y) * s;
    }
}

int select_ps_font(const char* font) {
    TextState& t = g_plot.text;
    char cut[31] = {};
    if (font) std::strncpy(cut, font, 30);
    int pos = fonts::ps_font_position(cut);
    if (pos < 0) {
        not_standard_font_message(font);
        pos = 0;
    }
    const char* list_name = fonts::kPsFonts[pos].name;
    std::snprintf(t.ps_font_name, sizeof t.ps_font_name, "%s", list_name);
    t.ps_font_index = pos;
    select_stroke_font(fonts::kComplxFont);
    fonts::fill_char_widths(fonts::kPsFonts[pos].width_set, t.char_widths);
    if (!is_pdf(g_plot.device)) {
        put_font_name(list_name, "");
        put_font_name(list_name, "-German");
        put_words("GermanVec ReEncodeSmall ");
        put_font_name(list_name, "-German");
        char words[32];
        std::snprintf(words, sizeof words, "%5d font ", font_size(g_plot.device_scale));
        put_words(words);
        std::strncat(t.ps_font_name, "-German",
                     sizeof t.ps_font_name - std::strlen(t.ps_font_name) - 1);
    }
    t.hardware_font = 1;
    return pos;
}

void warn_101(const char* text) {
    set_warning_text(text);
    warning_plain(101);
}

// Screen windows and WMF: the window font is in force (hardware font 2),
// but with no window system here its characters are drawn with the stroke
// font complx that stands in for it.
void window_font() {
    select_stroke_font(fonts::kComplxFont);
    g_plot.text.hardware_font = 2;
}

} // namespace

// ------------------------------------------------------------ internal API

void ps_font_line() {
    const PlotState& g = g_plot;
    if (g.text.hardware_font != 1 || !is_postscript(g.device)) return;
    put_font_name(g.text.ps_font_name, "");
    char words[32];
    std::snprintf(words, sizeof words, "%5d font ", font_size(g.device_scale));
    put_words(words);
}

float hardware_char(int k, float* sp) {
    PlotState& g = g_plot;
    TextState& t = g.text;
    if (k < 32 || k - 31 > fonts::kCharWidthCount) k = 32;
    const int gl = k - 31;
    const bool pdf = is_pdf(g.device);
    const int size = font_size(pdf ? 1.857143f : g.device_scale);
    const float w = float(t.char_widths[gl - 1]) * float(size) / 40.0f;
    *sp = float(t.height) * (t.char_spacing + 0.1f);
    if (t.measure_only) return w;
    int degrees = t.angle;
    float dx, dy;
    flush_polyline(); // lines drawn before the text stay before it
    if (pdf) {
        device_point(t.x, t.y, &dx, &dy, &degrees);
        const float r = float(degrees) * 0.017453292f;
        const float c = std::cos(r), s = std::sin(r);
        const float m[6] = {c, s, -s, c, dx, dy};
        // The same em as PostScript, whose prolog scales the font to `size`
        // of its units, 1.857143 * 0.14226378 of them to the plot unit; the
        // PDF font size is that em in points.
        const float em_points = float(size) / (1.857143f * 0.14226378f) * g.device_scale;
        pdf_text(k, m, degrees, t.ps_font_index, em_points);
    } else if (is_postscript(g.device)) {
        device_point(t.x + t.cos_a * w / 2, t.y - t.sin_a * w / 2, &dx, &dy, &degrees);
        char words[64];
        const int n = std::snprintf(words, sizeof words, "%5d %5d %5d %5d c ", k, trunc_int(dx),
                                    trunc_int(dy), degrees);
        put_ps_words(words, n);
    }
    return w;
}

// ------------------------------------------------------------ public routines

void hwfont() {
    if (check_level(1, 3, "hwfont")) return;
    const int d = g_plot.device;
    if (d >= 100 && !is_wmf(d)) {
        if (is_ps_or_pdf(d))
            select_ps_font("Times-Roman");
        else
            select_stroke_font(fonts::kComplxFont);
    } else {
        window_font();
    }
}

void psfont(const char* font) {
    if (check_level(1, 3, "psfont")) return;
    if (!is_ps_or_pdf(g_plot.device)) {
        warning_plain(49);
        return;
    }
    select_ps_font(font);
}

void winfnt(const char*) {
    if (check_level(1, 3, "winfnt")) return;
    const int d = g_plot.device;
    if (!is_screen(d) && !is_wmf(d)) {
        warn_101("Window fonts cannot be used");
        return;
    }
    window_font();
}

void X11FNT(const char*, const char*) {
    if (check_level(1, 3, "X11FNT")) return;
    warn_101("X11 fonts cannot be used");
}

} // namespace razidu
