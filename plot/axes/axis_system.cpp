// Axis systems: position, the checked scalings, the user-to-page transform,
// the clip window, and the drawing of the four axes and the frame.
#include "plot/core/state.h"
#include "plot/core/messages.h"
#include "plot/draw/draw.h"
#include "plot/axes/axes.h"
#include "plot/axes/contour.h"
#include "plot/razidu.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace razidu {

namespace {

// Checks one scaling; prints warnings 10, 9 (rejecting) and 12, 50 (only
// warning). Returns true when the scaling is accepted.
bool check_scaling(float a, float e, float or_, float step) {
    if (!std::isfinite(a) || !std::isfinite(e) || !std::isfinite(or_) || !std::isfinite(step) ||
        !std::isfinite(e - a)) {
        warning_plain(2);
        return false;
    }
    if (std::fabs(e - a) < 1e-35f) {
        warning_plain(10);
        return false;
    }
    if (std::fabs(step) < 1e-35f) {
        warning_plain(9);
        return false;
    }
    if (e > a) {
        if (or_ < a || or_ > e) warning_plain(12);
        if (step < 0) warning_plain(50);
    } else {
        if (or_ > a || or_ < e) warning_plain(12);
        if (step > 0) warning_plain(50);
    }
    return true;
}

void store_scaling(AxisScaling& s, float a, float e, float or_, float step, int length) {
    s.a = a;
    s.e = e;
    s.or_ = or_;
    s.step = step;
    s.scale = float(length - 1) / (e - a);
    s.lower = std::min(a, e);
    s.upper = std::max(a, e);
}

// Half away from zero; undefined and far-off values stay in int range.
int nint(float v) {
    if (std::isnan(v)) return 0;
    v = std::clamp(v, -1.0e9f, 1.0e9f);
    return int(v < 0 ? v - 0.5f : v + 0.5f);
}

void compute_clip_window() {
    const PlotState& g = g_plot;
    AxisState& ax = g_plot.axis;
    int m = -1;
    if (draws_in_memory(g.device)) m = -1 - nint(0.99f / g.device_scale);
    // Summed wide: on pages near the int limit the margin must not wrap.
    const auto within = [](int64_t v, int64_t lo, int64_t hi) {
        return int(std::clamp(v, lo, hi));
    };
    ax.clip_x0 = within(int64_t(ax.pos_x) - m, 0, INT_MAX);
    ax.clip_y0 = within(int64_t(ax.top) - m, 0, INT_MAX);
    ax.clip_x1 = within(int64_t(ax.right) + m, INT_MIN, g.page_xmax);
    ax.clip_y1 = within(int64_t(ax.pos_y) + m, INT_MIN, g.page_ymax);
    ax.centre_x = float(ax.pos_x) + float(ax.len_x) / 2;
    ax.centre_y = float(ax.pos_y) - float(ax.len_y) / 2;
    ax.radius = float(m) + float(std::min(ax.len_x, ax.len_y)) / 2;
}

// The settings of one axis with its side level applied: below 4 no name,
// below 3 no labels, below 2 no ticks, 0 no axis line.
AxisSettings at_side_level(const AxisSettings& s, int level) {
    AxisSettings t = s;
    if (level < 4) t.name[0] = '\0';
    if (level < 3) t.label_type = 0;
    if (level < 2) t.ticks = 0;
    if (level < 1) t.line_on = 0;
    return t;
}

void draw_frame() {
    const AxisState& ax = g_plot.axis;
    const int t = ax.frame;
    for (int k = 0; k < std::abs(t); ++k) {
        const int d = t > 0 ? k : -k;
        const float x0 = float(ax.pos_x - d), y0 = float(ax.top - d);
        const float x1 = float(ax.right + d), y1 = float(ax.pos_y + d);
        dash_move_to(x0, y0);
        dash_draw_to(x1, y0);
        dash_draw_to(x1, y1);
        dash_draw_to(x0, y1);
        dash_draw_to(x0, y0);
    }
}

// Stores the X and Y scalings (already checked), computes the clip window
// and draws the axes and the frame.
void define_and_draw(float xa, float xe, float xor_, float xstep, float ya, float ye, float yor,
                     float ystep) {
    AxisState& ax = g_plot.axis;
    store_scaling(ax.x, xa, xe, xor_, xstep, ax.len_x);
    store_scaling(ax.y, ya, ye, yor, ystep, ax.len_y);
    ax.origin_x = float(ax.pos_x);
    ax.origin_y = float(ax.pos_y);
    ax.right = ax.pos_x + ax.len_x - 1;
    ax.top = ax.pos_y - ax.len_y + 1;
    compute_clip_window();
    clear_label_keepout();
    const int* lv = ax.side_level; // bottom, right, top, left
    draw_axis(xa, xe, xor_, xstep, ax.len_x, at_side_level(ax.set_x, lv[0]), 0, ax.pos_x, ax.pos_y,
              1);
    draw_axis(ya, ye, yor, ystep, ax.len_y, at_side_level(ax.set_y, lv[3]), 1, ax.pos_x, ax.pos_y,
              2);
    draw_axis(xa, xe, xor_, xstep, ax.len_x, at_side_level(ax.set_x, lv[2]), 1, ax.pos_x, ax.top,
              1);
    draw_axis(ya, ye, yor, ystep, ax.len_y, at_side_level(ax.set_y, lv[1]), 0, ax.right, ax.pos_y,
              2);
    if (ax.frame != 0) draw_frame();
}

} // namespace

void define_map_axes(float xa, float xe, float ya, float ye, int len_x, int len_y) {
    AxisState& ax = g_plot.axis;
    ax.len_x = len_x;
    ax.len_y = len_y;
    ax.len_z = len_y;
    store_scaling(ax.x, xa, xe, xa, xe - xa, ax.len_x);
    store_scaling(ax.y, ya, ye, ya, ye - ya, ax.len_y);
    ax.origin_x = float(ax.pos_x);
    ax.origin_y = float(ax.pos_y);
    ax.right = ax.pos_x + ax.len_x - 1;
    ax.top = ax.pos_y - ax.len_y + 1;
    compute_clip_window();
    clear_label_keepout();
    if (ax.frame != 0) draw_frame();
}

bool define_colour_scaling(float za, float ze, float zor, float zstep) {
    if (!check_scaling(za, ze, zor, zstep)) return false;
    AxisState& ax = g_plot.axis;
    store_scaling(ax.z, za, ze, zor, zstep, ax.len_z);
    ax.scale_colour = float(g_plot.colour.last - g_plot.colour.first + 1) / (ze - za);
    return true;
}

float user_to_plot_x(float x) {
    const AxisState& ax = g_plot.axis;
    return ax.origin_x + (x - ax.x.a) * ax.x.scale;
}

float user_to_plot_y(float y) {
    const AxisState& ax = g_plot.axis;
    return ax.origin_y - (y - ax.y.a) * ax.y.scale;
}

void axslen(int nx, int ny) {
    if (check_level(1, 1, "axslen")) return;
    if (nx < 2 || ny < 2) {
        warning_with_number(2, std::min(nx, ny));
        return;
    }
    g_plot.axis.len_x = nx;
    g_plot.axis.len_y = ny;
    g_plot.axis.len_z = ny;
}

void axspos(int x, int y) {
    if (check_level(1, 1, "axspos")) return;
    if (x < 0 || x > g_plot.page_xmax) {
        warning_with_number(2, x);
        return;
    }
    if (y < 0 || y > g_plot.page_ymax) {
        warning_with_number(2, y);
        return;
    }
    g_plot.axis.pos_x = x;
    g_plot.axis.pos_y = y;
}

void graf(float xa, float xe, float xor_, float xstep, float ya, float ye, float yor, float ystep) {
    if (check_level(1, 1, "graf")) return;
    const bool ok_x = check_scaling(xa, xe, xor_, xstep);
    const bool ok_y = check_scaling(ya, ye, yor, ystep);
    if (!ok_x || !ok_y) return;
    g_plot.level = 2;
    define_and_draw(xa, xe, xor_, xstep, ya, ye, yor, ystep);
}

// A rejected X or Y scaling stops graf3 as well: no colour bar is drawn and
// the level stays 1, so that the next routines report the missing axis
// system instead of drawing into one that does not exist.
void graf3(float xa, float xe, float xor_, float xstep, float ya, float ye, float yor, float ystep,
           float za, float ze, float zor, float zstep) {
    if (check_level(1, 1, "graf3")) return;
    rect_size_from_autres();
    if (!check_scaling(za, ze, zor, zstep)) return;
    const bool ok_x = check_scaling(xa, xe, xor_, xstep);
    const bool ok_y = check_scaling(ya, ye, yor, ystep);
    if (!ok_x || !ok_y) return;
    AxisState& ax = g_plot.axis;
    store_scaling(ax.z, za, ze, zor, zstep, ax.len_z);
    ax.scale_colour = float(g_plot.colour.last - g_plot.colour.first + 1) / (ze - za);
    g_plot.level = 2;
    define_and_draw(xa, xe, xor_, xstep, ya, ye, yor, ystep);
    if (ax.bar_on == 1) draw_colour_bar(ax.pos_x + ax.len_x + ax.bar_distance, ax.pos_y);
    g_plot.level = 3;
}

void close_axis_system() {
    ensure_initialised();
    if (g_plot.level < 2) return;
    restore_clip();
    g_plot.curves.counter = 1;
    g_plot.curves.recorded = 0;
    g_plot.level = 1;
    flush_polyline();
}

} // namespace razidu
