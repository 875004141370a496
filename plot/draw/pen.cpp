// Pen stage: the pending polyline of at most 100 points, drawn through the
// clip rectangle in force as device pen moves; and the switch of the clip
// rectangle to the axis system around data plots.
#include "plot/core/state.h"

#include <algorithm>
#include <cmath>

namespace razidu {

namespace {

int code_of(float v, int lo, int hi) {
    return v < float(lo) ? 1 : (v > float(hi) ? 3 : 2);
}

bool inside(float x, float y) {
    const int* c = g_plot.line.clip_rect;
    return x >= float(c[0]) && x <= float(c[2]) && y >= float(c[1]) && y <= float(c[3]);
}

// Cohen-Sutherland clip of the segment p-q; draws what lies inside.
void clip_segment(float px, float py, float qx, float qy) {
    const int* c = g_plot.line.clip_rect;
    bool moved_p = false;
    for (int guard = 0; guard < 8; ++guard) {
        const int pxc = code_of(px, c[0], c[2]), pyc = code_of(py, c[1], c[3]);
        const int qxc = code_of(qx, c[0], c[2]), qyc = code_of(qy, c[1], c[3]);
        if (pxc == 2 && pyc == 2 && qxc == 2 && qyc == 2) break;
        if ((pxc == qxc && pxc != 2) || (pyc == qyc && pyc != 2)) return;
        const bool move_p = pxc != 2 || pyc != 2;
        float& mx = move_p ? px : qx;
        float& my = move_p ? py : qy;
        const int xc = move_p ? pxc : qxc, yc = move_p ? pyc : qyc;
        if (move_p) moved_p = true;
        // The other coordinate is interpolated from p, whichever end moves.
        if (xc != 2) {
            const float xb = float(xc == 1 ? c[0] : c[2]);
            my = std::fabs(qx - px) < 1.0e-35f ? py : py + (xb - px) * (qy - py) / (qx - px);
            mx = xb;
        } else {
            const float yb = float(yc == 1 ? c[1] : c[3]);
            mx = std::fabs(qy - py) <= 1.0e-35f ? px : px + (yb - py) * (qx - px) / (qy - py);
            my = yb;
        }
    }
    if (!inside(px, py) || !inside(qx, qy)) return; // not settled in four moves
    if (moved_p) plot_pen(px, py, 3);
    plot_pen(qx, qy, 2);
}

} // namespace

void flush_polyline() {
    LineState& l = g_plot.line;
    const int n = l.pending_count;
    l.pending_count = 0;
    if (n == 0) return;
    bool all_inside = inside(l.pending_x[0], l.pending_y[0]);
    if (all_inside) plot_pen(l.pending_x[0], l.pending_y[0], 3);
    for (int i = 1; i < n; ++i) {
        if (all_inside && inside(l.pending_x[i], l.pending_y[i])) {
            plot_pen(l.pending_x[i], l.pending_y[i], 2);
            continue;
        }
        // From the first point outside on, every segment is clipped; one
        // whose start had to be moved begins with a pen-up move.
        all_inside = false;
        clip_segment(l.pending_x[i - 1], l.pending_y[i - 1], l.pending_x[i], l.pending_y[i]);
    }
}

void pen_move_to(float x, float y) {
    flush_polyline();
    LineState& l = g_plot.line;
    l.pending_x[0] = x;
    l.pending_y[0] = y;
    l.pending_count = 1;
}

void pen_draw_to(float x, float y) {
    LineState& l = g_plot.line;
    if (l.pending_count == 0) {
        // No start point: begin at the target itself.
        l.pending_x[0] = x;
        l.pending_y[0] = y;
        l.pending_count = 1;
        return;
    }
    l.pending_x[l.pending_count] = x;
    l.pending_y[l.pending_count] = y;
    if (++l.pending_count == kPendingMax) {
        flush_polyline();
        l.pending_x[0] = x;
        l.pending_y[0] = y;
        l.pending_count = 1;
    }
}

void clip_to_axis_system() {
    flush_polyline();
    LineState& l = g_plot.line;
    const AxisState& a = g_plot.axis;
    std::copy(l.clip_rect, l.clip_rect + 4, l.clip_saved);
    l.clip_rect[0] = std::max(l.clip_rect[0], a.clip_x0);
    l.clip_rect[1] = std::max(l.clip_rect[1], a.clip_y0);
    l.clip_rect[2] = std::min(l.clip_rect[2], a.clip_x1);
    l.clip_rect[3] = std::min(l.clip_rect[3], a.clip_y1);
    l.clip_switched = 1;
}

void restore_clip() {
    LineState& l = g_plot.line;
    if (!l.clip_switched) return;
    flush_polyline();
    std::copy(l.clip_saved, l.clip_saved + 4, l.clip_rect);
    l.clip_switched = 0;
}

} // namespace razidu

namespace razidu {

// ------------------------------------------------------------ pattern stage

namespace {

// Segments longer than this (plot units) skip the stretches outside the clip
// rectangle by arithmetic instead of walking them dash by dash.
constexpr float kWalkedLength = 100000.0f;

void next_dash(LineState& l) {
    l.dash_index = l.dash_index >= l.dash_count ? 1 : l.dash_index + 1;
    l.dash_gap = 1 - l.dash_gap;
    l.dash_left = float(std::max(1, l.dash_pattern[l.dash_index - 1]));
}

// Runs the pattern on by s plot units without drawing: whole periods (the
// lengths once, twice when their count is odd so that drawn and skipped
// come round again) are dropped, the rest is stepped through.
void skip_pattern(LineState& l, double s) {
    if (s < l.dash_left) {
        l.dash_left = float(l.dash_left - s);
        return;
    }
    s -= l.dash_left;
    next_dash(l);
    double period = 0;
    for (int i = 0; i < l.dash_count; ++i)
        period += std::max(1, l.dash_pattern[i]);
    if (l.dash_count % 2) period *= 2;
    s = std::fmod(s, period);
    while (l.dash_left <= s) {
        s -= l.dash_left;
        next_dash(l);
    }
    l.dash_left = float(l.dash_left - s);
}

// Walks the pattern d units from (lx, ly) in direction (ca, -sa), putting the
// pen down or up at every change; returns what is left of d.
float walk_dashes(LineState& l, float& lx, float& ly, float ca, float sa, float d) {
    while (l.dash_left <= d) {
        lx += l.dash_left * ca;
        ly -= l.dash_left * sa;
        if (l.dash_gap == 0)
            pen_draw_to(lx, ly);
        else
            pen_move_to(lx, ly);
        d -= l.dash_left;
        next_dash(l);
    }
    return d;
}

void pen_to(const LineState& l, float x, float y) {
    if (l.dash_gap == 0)
        pen_draw_to(x, y);
    else
        pen_move_to(x, y);
}

// A segment of length d too long to walk whole: only the stretch inside the
// clip rectangle (with a margin) is walked; the pattern runs on over the
// rest by skip_pattern, so the dashes seen are those of the whole walk.
void dash_long_segment(LineState& l, float tx, float ty) {
    // In double: the ends may lie so far apart that their distance is
    // beyond float.
    const double lx = l.dash_last_x, ly = l.dash_last_y;
    const double d = std::hypot(double(tx) - lx, double(ty) - ly);
    const double dx = (double(tx) - lx) / d, dy = (double(ty) - ly) / d;
    const float ca = float(dx), sa = float(-dy);
    const int* c = l.clip_rect;
    double t0 = 0, t1 = d;
    const double lo[2] = {c[0] - 2.0, c[1] - 2.0}, hi[2] = {c[2] + 2.0, c[3] + 2.0};
    const double from[2] = {lx, ly}, dir[2] = {dx, dy};
    for (int k = 0; k < 2 && t0 <= t1; ++k) {
        if (std::fabs(dir[k]) < 1e-12) {
            if (from[k] < lo[k] || from[k] > hi[k]) t0 = d + 1; // parallel, outside
            continue;
        }
        double a = (lo[k] - from[k]) / dir[k], b = (hi[k] - from[k]) / dir[k];
        if (a > b) std::swap(a, b);
        t0 = std::max(t0, a);
        t1 = std::min(t1, b);
    }
    if (t0 <= t1) {
        if (t0 > 0) {
            skip_pattern(l, t0);
            pen_move_to(float(lx + t0 * dx), float(ly + t0 * dy));
        }
        float x = float(lx + t0 * dx), y = float(ly + t0 * dy);
        const float left = walk_dashes(l, x, y, ca, sa, float(t1 - t0));
        if (t1 < d) pen_to(l, float(lx + t1 * dx), float(ly + t1 * dy));
        l.dash_left -= left;
        if (t1 < d) skip_pattern(l, d - t1);
    } else {
        skip_pattern(l, d);
    }
    pen_to(l, tx, ty);
    l.dash_last_x = tx;
    l.dash_last_y = ty;
}

} // namespace

void dash_restart() {
    LineState& l = g_plot.line;
    l.dash_gap = 0;
    l.dash_index = 1;
    l.dash_left = float(l.dash_pattern[0]);
}

void dash_move_to(float x, float y) {
    LineState& l = g_plot.line;
    l.dash_last_x = x + float(l.origin_shift_x);
    l.dash_last_y = y + float(l.origin_shift_y);
    pen_move_to(l.dash_last_x, l.dash_last_y);
}

void dash_draw_to(float x, float y) {
    LineState& l = g_plot.line;
    const float tx = x + float(l.origin_shift_x), ty = y + float(l.origin_shift_y);
    if (l.dash_count == 1) {
        pen_draw_to(tx, ty);
        l.dash_last_x = tx;
        l.dash_last_y = ty;
        return;
    }
    float lx = l.dash_last_x, ly = l.dash_last_y;
    float a;
    if (std::fabs(tx - lx) > 1.0e-6f)
        a = std::atan2(ly - ty, tx - lx);
    else
        a = ly - ty >= 0 ? 1.570796f : -1.570796f;
    const float sa = std::sin(a), ca = std::cos(a);
    float d = ty == ly ? std::fabs(tx - lx) : std::fabs((ly - ty) / sa);
    if (!std::isfinite(tx) || !std::isfinite(ty) || !std::isfinite(lx) || !std::isfinite(ly)) {
        // An end at infinity: no pattern can be laid along it.
        pen_draw_to(tx, ty);
        l.dash_last_x = tx;
        l.dash_last_y = ty;
        return;
    }
    if (!(d <= kWalkedLength)) {
        dash_long_segment(l, tx, ty);
        return;
    }
    d = walk_dashes(l, lx, ly, ca, sa, d);
    pen_to(l, tx, ty);
    l.dash_left -= d;
    l.dash_last_x = tx;
    l.dash_last_y = ty;
}

} // namespace razidu
