// Drawing one axis (line, ticks, labels, name), the routines that choose how
// an axis is labelled, and the text of a label value.
#include "plot/core/state.h"
#include "plot/core/messages.h"
#include "plot/core/dispatch.h"
#include "plot/draw/draw.h"
#include "plot/text/text.h"
#include "plot/axes/axes.h"
#include "plot/razidu.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace razidu {

namespace {

constexpr int kMinorTick = 16, kMajorTick = 24, kNameHeight = 36;
constexpr float kMaxLabels = 1000;  // labels drawn on one axis at most
constexpr float kMaxTicks = 100000; // tick lines of one axis at most

// Whole number of steps, limited so that absurd scalings stay harmless.
int steps(float v, float limit) {
    return int(std::clamp(v, -limit, limit));
}

// Every second tick line of the program's run is drawn end to start, so
// that a pen plotter travels less.
int g_tick_parity = 0;

void line(float x1, float y1, float x2, float y2) {
    dash_move_to(x1, y1);
    dash_draw_to(x2, y2);
}

// Makes colour c current for one part of the axis; returns the colour to
// restore afterwards, or -1.
int part_colour(int c) {
    if (c < 0) return -1;
    const int old = g_plot.colour.current;
    select_colour(c);
    return old;
}
void restore_colour(int old) {
    if (old >= 0) select_colour(old);
}

// Selected axes of a selector: the letters X, Y, Z among its first three
// characters.
void selected_axes(const char* axes, AxisSettings* out[3]) {
    out[0] = out[1] = out[2] = nullptr;
    if (!axes) return;
    AxisState& ax = g_plot.axis;
    for (int i = 0; i < 3 && axes[i] != '\0'; ++i) {
        const char c = char(axes[i] >= 'a' && axes[i] <= 'z' ? axes[i] - 'a' + 'A' : axes[i]);
        if (c == 'X') out[0] = &ax.set_x;
        if (c == 'Y') out[1] = &ax.set_y;
        if (c == 'Z') out[2] = &ax.set_z;
    }
}

bool selector_is(const char* axes, const char* what) {
    char key[5];
    keyword_key(axes, key);
    return std::strncmp(key, what, 3) == 0;
}

// Plain number with d decimals (-1: integer without a decimal point).
void format_number(float v, int d, char* out, int size) {
    // m is the integer part of |v| rounded to d decimals, so the width is
    // the printed width: 9.7 with one decimal is "9.7", 9.96 is "10.0".
    const int sign = v < 0 ? 1 : 0;
    const double av = std::fabs(double(v));
    double m;
    if (d <= 0) {
        m = std::trunc(av + 0.5);
    } else {
        const double p = std::pow(10.0, d);
        m = std::trunc((p * av + 0.5) / p);
    }
    int k = 1;
    while (k < 100 && std::pow(10.0, k) - 0.5 <= m)
        ++k;
    const int width = sign + k + d + 1;
    if (d < 0) {
        const double c = std::clamp(double(v), -1e18, 1e18);
        const long long r = (long long)(c < 0 ? c - 0.5 : c + 0.5);
        std::snprintf(out, size_t(size), "%-1lld", r);
    } else {
        std::snprintf(out, size_t(size), "%*.*f", width, d, double(v));
    }
}

void append(char* out, int size, const char* text) {
    const size_t n = std::strlen(out);
    if (n + 1 < size_t(size)) std::snprintf(out + n, size_t(size) - n, "%s", text);
}

} // namespace

// ------------------------------------------------------------ label text

void format_label(float v, float step, const AxisSettings& set, int axis_kind, char* out,
                  int size) {
    out[0] = '\0';
    const TextState& t = g_plot.text;
    const int type = set.label_type;
    const char raise[2] = {t.raise_char, '\0'}, reset[2] = {t.reset_char, '\0'};
    if (type == 0 || type == 12) return; // NONE; MYLA has no label table here
    if (set.label_class == 2) {
        // Longitudes beyond the date line read as their western value.
        if (axis_kind == 1 && (v > 180.001f || v < -180.001f))
            v = float(std::remainder(double(v), 360.0));
        const bool date_line =
            axis_kind == 1 && std::fabs(std::fabs(v) - 180.0f) < 0.001f && set.label_type != 7;
        format_number(type == 7 ? v : std::fabs(v), set.digits, out, size);
        append(out, size, raise);
        append(out, size, "o");
        append(out, size, reset);
        const bool east = axis_kind == 1;
        const char* letter = nullptr;
        if (v > 0.001f) letter = east ? "E" : "N";
        if (v < -0.001f) letter = east ? "W" : "S";
        if (date_line) letter = nullptr; // 180 degrees is neither
        if (letter) {
            char word[3] = {' ', letter[0], '\0'};
            if (type == 8) word[1] = char(word[1] - 'A' + 'a');
            if (type == 7) word[1] = ' ';
            append(out, size, word);
        }
        return;
    }
    if (type == 2 || type == 13) { // EXP, FEXP
        float w = std::isfinite(v) ? v : 0;
        if (std::fabs(w) < 1e-7f && std::fabs(w) < std::fabs(step) / 2) w = 0;
        int e = 0;
        float mant = w;
        if (w != 0) {
            e = int(std::floor(std::log10(std::fabs(double(w)))));
            mant = float(double(w) / std::pow(10.0, e));
            if (std::fabs(mant) >= 10.0f) mant /= 10, ++e;
            if (std::fabs(mant) < 1.0f) mant *= 10, --e;
        }
        format_number(mant, set.digits, out, size);
        char exp[16];
        if (type == 2) {
            std::snprintf(exp, sizeof exp, "*10%s%d%s", raise, e, reset);
        } else {
            std::snprintf(exp, sizeof exp, "E%d", e);
        }
        append(out, size, exp);
        return;
    }
    if (set.label_class == 1) { // TIME, HOUR, SECO
        long s = std::lround(std::clamp(double(v), -1e9, 1e9));
        while (s < 0)
            s += 86400;
        if (type == 10) {
            const long h = long(double(s) / 3600.0 + 0.5) % 24;
            std::snprintf(out, size_t(size), h < 10 ? "%1ld" : "%2ld", h);
            return;
        }
        long h = s / 3600;
        const long r = s % 3600;
        long m = type == 11 ? r / 60 : long(double(r) / 60.0 + 0.5);
        const long sec = r - 60 * m;
        if (m == 60) m = 0, ++h;
        h %= 24;
        if (type == 11)
            std::snprintf(out, size_t(size), "%02ld%02ld%02ld", h, m, sec);
        else
            std::snprintf(out, size_t(size), "%02ld%02ld", h, m);
        return;
    }
    if (set.label_class == 3 && g_plot.calendar.defined) { // DATE: day and month
        int d = 0, mo = 0, y = 0;
        calendar_date(int(std::lround(double(v))), &d, &mo, &y);
        std::snprintf(out, size_t(size), "%02d.%02d", d, mo);
        return;
    }
    format_number(v, set.digits, out, size);
}

// ------------------------------------------------------------ one axis

int draw_axis(float a, float e, float or_, float step, int length, const AxisSettings& set,
              int side, int x0, int y0, int kind) {
    // Positions and lengths from pages near the int limit are kept where
    // sums of a few of them stay in int range; such a page is far larger
    // than any device draws.
    constexpr int kLimit = 1 << 29;
    x0 = std::clamp(x0, -kLimit, kLimit);
    y0 = std::clamp(y0, -kLimit, kLimit);
    length = std::clamp(length, -kLimit, kLimit);
    const int sgn = side == 0 ? 1 : -1;
    const int label_dist = sgn * set.label_distance, name_dist = sgn * set.name_distance;
    int major = sgn * kMajorTick, minor = sgn * kMinorTick;
    if (set.tick_position == 1) major = -major, minor = -minor;
    const bool x_axis = kind == 1;
    const float s = float(length - 1) / (e - a);

    // Axis line.
    if (set.line_on) {
        const int old = part_colour(set.colour_line);
        if (x_axis)
            line(float(x0), float(y0), float(x0 + length - 1), float(y0));
        else
            line(float(x0), float(y0), float(x0), float(y0 - length + 1));
        restore_colour(old);
    }

    // Ticks: major ones at the labels, t - 1 minor ones between.
    const int t = set.ticks;
    if (t > 0) {
        const int old = part_colour(set.colour_ticks);
        const float d = step / float(t);
        const int k0 = steps((or_ - a) / d + 0.0001f, kMaxTicks);
        const int k1 = steps((e - or_) / d + 0.0001f, kMaxTicks);
        for (int i = -k0; i <= k1 && i + k0 <= int(kMaxTicks); ++i) {
            const float v = or_ + float(i) * d;
            const int len = i % t == 0 ? major : minor;
            const int from = set.tick_position == 2 ? -len / 2 : 0;
            const int to = set.tick_position == 2 ? len - len / 2 : len;
            float p1[2], p2[2];
            if (x_axis) {
                const int p = trunc_int(float(x0) + 0.5f + (v - a) * s);
                p1[0] = p2[0] = float(p);
                p1[1] = float(y0 + from);
                p2[1] = float(y0 + to);
            } else {
                const int p = trunc_int(float(y0) + 0.5f - (v - a) * s);
                p1[1] = p2[1] = float(p);
                p1[0] = float(x0 + from);
                p2[0] = float(x0 + to);
            }
            if (g_tick_parity)
                line(p2[0], p2[1], p1[0], p1[1]);
            else
                line(p1[0], p1[1], p2[0], p2[1]);
            g_tick_parity ^= 1;
        }
        restore_colour(old);
    }
    int tick_room = 0;
    if (t > 0)
        tick_room = set.tick_position == 0 ? major : (set.tick_position == 2 ? major / 2 : 0);

    // Labels.
    int extent = 0;
    TextState& ts = g_plot.text;
    if (set.label_type != 0) {
        const int old = part_colour(set.colour_labels);
        const int old_mode = ts.label_mode;
        if (set.label_class == 2 || set.label_type == 2) ts.label_mode = 1;
        const int n = steps((e - or_) / step + 0.0001f, kMaxLabels);
        const int base = (x_axis ? y0 : x0) + label_dist + tick_room;
        const int h = ts.height;
        int widest = 0;
        char text[160];
        if (!x_axis) {
            for (int k = 0; k <= n; ++k) {
                format_label(or_ + float(k) * step, step, set, kind, text, sizeof text);
                widest = std::max(widest, text_width(text));
            }
        }
        const int first = (set.first_last_mode == 1 || set.first_last_mode == 3) ? 1 : 0;
        const int last = (set.first_last_mode == 2 || set.first_last_mode == 3) ? n - 1 : n;
        for (int k = first; k <= last; ++k) {
            const float v = or_ + float(k) * step;
            format_label(v, step, set, kind, text, sizeof text);
            const int w = text_width(text);
            if (x_axis) {
                const int x = trunc_int(float(x0) + 0.5f + (v - a) * s - float(w) / 2);
                draw_text(text, x, side == 0 ? base : base - h);
            } else {
                const int y = trunc_int(float(y0) - 0.5f - (v - a) * s - float(h) / 2);
                draw_text(text, side == 1 ? base - w : base + widest - w, y);
            }
        }
        extent = x_axis ? h : widest;
        ts.label_mode = old_mode;
        restore_colour(old);
    }

    // Name, centred along the axis beyond the labels.
    if (set.name[0] != '\0') {
        const int old = part_colour(set.colour_name);
        const int d = name_dist + tick_room + (set.label_type != 0 ? label_dist : 0);
        const int old_h = ts.height;
        set_text_height(kNameHeight);
        const int w = text_width(set.name);
        set_text_height(old_h);
        const int off = (length - w) / 2;
        if (x_axis) {
            const int y = side == 0 ? y0 + d + extent : y0 + d - kNameHeight - extent;
            text_at(set.name, x0 + off, y, 0, kNameHeight);
        } else if (side == 1) {
            text_at(set.name, x0 + d - extent - kNameHeight, y0 - off, 90, kNameHeight);
        } else {
            text_at(set.name, x0 + d + extent + kNameHeight, y0 - length + 1 + off, 270,
                    kNameHeight);
        }
        restore_colour(old);
    }
    return extent;
}

// ------------------------------------------------------------ public routines

void name(const char* text, const char* axes) {
    if (check_level(1, 3, "name")) return;
    AxisSettings* sel[3];
    selected_axes(axes, sel);
    for (AxisSettings* s : sel) {
        if (!s) continue;
        std::snprintf(s->name, sizeof s->name, "%.132s", text ? text : "");
    }
}

void labels(const char* kind, const char* axes) {
    if (check_level(1, 3, "labels")) return;
    AxisState& ax = g_plot.axis;
    if (selector_is(axes, "BAR")) {
        const int i = keyword_index("NONE+SECO+FIRS+MAXI+MINI+DELT+POSI", 7, kind);
        if (i > 0) ax.bar_label_mode = i - 1;
        return;
    }
    if (selector_is(axes, "PIE")) {
        const int i = keyword_index("NONE+PERC+DATA+BOTH", 4, kind);
        if (i > 0) ax.pie_label_mode = i - 1;
        return;
    }
    if (selector_is(axes, "CON")) {
        const int i = keyword_index("NONE+FLOA+CONL", 3, kind);
        if (i > 0) {
            ax.contour_label_mode = i == 3 ? 1 : i - 1;
            if (i == 3) ax.contour_label_flag = 1;
        }
        return;
    }
    const int i = keyword_index("NONE+FLOA+EXP +LOG +CLOG+ELOG+MAP +DMAP+"
                                "LMAP+TIME+HOUR+SECO+MYLA+FEXP+DATE",
                                15, kind);
    if (i == 0) return;
    const int type = i - 1;
    AxisSettings* sel[3];
    selected_axes(axes, sel);
    for (AxisSettings* s : sel) {
        if (!s) continue;
        s->label_type = type;
        s->label_class = (type >= 6 && type <= 8)    ? 2
                         : (type >= 9 && type <= 11) ? 1
                         : type == 14                ? 3
                                                     : 0;
        s->exponent = (type == 2 || type == 4) ? 1 : 0;
        s->log_style = (type == 3 || type == 4) ? 1 : type == 5 ? 3 : 2;
    }
}

void digits(int n, const char* axes) {
    if (check_level(1, 3, "digits")) return;
    if (n < -1 || n > 100) {
        warning_with_number(2, n);
        return;
    }
    AxisState& ax = g_plot.axis;
    if (selector_is(axes, "BAR")) {
        ax.bar_digits = n;
    } else if (selector_is(axes, "CON")) {
        ax.contour_digits = n;
    } else if (selector_is(axes, "PIE")) {
        ax.pie_percent_digits = ax.pie_data_digits = n;
    } else if (selector_is(axes, "DAT")) {
        ax.pie_data_digits = n;
    } else if (selector_is(axes, "PER")) {
        ax.pie_percent_digits = n;
    } else {
        AxisSettings* sel[3];
        selected_axes(axes, sel);
        for (AxisSettings* s : sel)
            if (s) s->digits = n;
    }
}

} // namespace razidu
