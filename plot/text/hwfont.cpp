// Hardware fonts: the standard PostScript fonts with their width tables on
// PostScript and PDF pages, and the character output that replaces the
// stroke glyphs there. Window-system fonts do not exist on this system.
#include "plot/core/state.h"
#include "plot/core/messages.h"
#include "plot/core/dispatch.h"
#include "plot/draw/draw.h"
#include "plot/text/text.h"
#include "plot/razidu.h"
#include "plot/text/ps_widths.h"
#include "plot/text/stroke_fonts.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace razidu {

namespace {

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
    if (g_plot.ops->font) g_plot.ops->font(true);
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
    if (g.text.hardware_font != 1 || !g.ops->font) return;
    g.ops->font(false);
}

int device_text_angle() {
    int degrees = g_plot.text.angle;
    if (page_turned()) {
        if (degrees > INT_MAX - 90) degrees -= 360; // the same direction, room to turn
        degrees += 90;
    }
    return degrees;
}

float hardware_char(int k, float* sp) {
    PlotState& g = g_plot;
    TextState& t = g.text;
    if (k < 32 || k - 31 > fonts::kCharWidthCount) k = 32;
    const int gl = k - 31;
    // Font size of the hardware font for the text height in force.
    const int size = int(float(t.height) * g.ops->font_scale / 4.0f);
    const float w = float(t.char_widths[gl - 1]) * float(size) / 40.0f;
    *sp = float(t.height) * (t.char_spacing + 0.1f);
    if (t.measure_only) return w;
    flush_polyline(); // lines drawn before the text stay before it
    if (g.ops->character) g.ops->character(k, w, size);
    return w;
}

// ------------------------------------------------------------ public routines

void hwfont() {
    if (check_level(1, 3, "hwfont")) return;
    const int d = g_plot.device;
    if (!uses_window_fonts(d)) {
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
    if (!uses_window_fonts(g_plot.device)) {
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
