// The three drawing primitives (pen, colour, filled rectangle): each counts,
// applies the one page transform and calls the operations of the device
// family that disini picked; the output record of the text devices.
#include "plot/core/state.h"
#include "plot/core/dispatch.h"
#include "plot/axes/axes.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <vector>

#include "plot/draw/draw.h"

namespace razidu {

int trunc_int(float v) {
    if (std::isnan(v)) return 0;
    return int(std::clamp(v, -1.0e9f, 1.0e9f));
}

int round_unit(float v) {
    if (std::isnan(v)) return 0;
    v = std::clamp(v, -1.0e9f, 1.0e9f);
    return int(v + 0.5f);
}

int wrap_colour(int n) {
    return ((n % 256) + 256) % 256;
}

void write_plot_stream(const void* bytes, size_t n) {
    if (g_plot.plot_stream && n > 0) std::fwrite(bytes, 1, n, g_plot.plot_stream);
}

// ------------------------------------------------------------ page transform

bool page_turned() {
    const PlotState& g = g_plot;
    return g.ops->axes == PageAxes::TurnLandscape && g.page_xmax > g.page_ymax;
}

void page_point(float x, float y, float* px, float* py) {
    const PlotState& g = g_plot;
    if (page_turned()) {
        *px = y;
        *py = x;
    } else if (g.ops->axes != PageAxes::Plot) {
        *px = x;
        *py = float(g.page_ymax) - y;
    } else {
        *px = x;
        *py = y;
    }
}

void device_point(float x, float y, float* dx, float* dy) {
    page_point(x, y, dx, dy);
    *dx *= g_plot.device_scale;
    *dy *= g_plot.device_scale;
}

// ------------------------------------------------------------ primitives

void plot_pen(float x, float y, int pen) {
    PlotState& g = g_plot;
    ++g.vector_count;
    float dx, dy;
    device_point(x, y, &dx, &dy);
    if (g.ops->pen) g.ops->pen(dx, dy, pen);
}

void device_colour(int n) {
    PlotState& g = g_plot;
    const uint32_t e = colour_entry(n);
    if (g.ops->colour) g.ops->colour(n, int((e >> 16) & 0xFF), int((e >> 8) & 0xFF), int(e & 0xFF));
    g.colour.current = n;
}

namespace {

// Fills the rectangle with one serpentine stroke, lines 1.4 plot units apart,
// on devices that only draw lines.
void fill_by_strokes(float x1, float y1, float x2, float y2, int c) {
    select_colour(wrap_colour(c));
    plot_pen(x1, y1, 3);
    plot_pen(x2, y1, 2);
    bool at_right = true;
    // Strokes outside the clip window draw nothing: a rectangle reaching
    // far above it starts near it, and the strokes end below it (also
    // where the step no longer changes a huge y).
    const float top = float(g_plot.line.clip_rect[1]), bottom = float(g_plot.line.clip_rect[3]);
    float y = y1 + 1.4f;
    if (top - y > 100000.0f) {
        const double k = std::floor((double(top) - y1) / 1.4) - 1;
        y = float(y1 + k * 1.4);
        at_right = std::fmod(k, 2.0) == 1.0;
    }
    for (; y <= y2 && y <= bottom + 1.4f && y + 1.4f > y; y += 1.4f) {
        const float near = at_right ? x2 : x1, far = at_right ? x1 : x2;
        plot_pen(near, y, 2);
        plot_pen(far, y, 2);
        at_right = !at_right;
    }
}

} // namespace

void fill_rect(float x1, float y1, float x2, float y2, int c) {
    PlotState& g = g_plot;
    x1 += float(g.line.origin_shift_x);
    x2 += float(g.line.origin_shift_x);
    y1 += float(g.line.origin_shift_y);
    y2 += float(g.line.origin_shift_y);
    const int* clip = g.line.clip_rect;
    x1 = std::max(x1, float(clip[0]));
    y1 = std::max(y1, float(clip[1]));
    x2 = std::min(x2, float(clip[2]));
    y2 = std::min(y2, float(clip[3]));
    if (x2 < x1 || y2 < y1) return;
    if (!g.ops->fill) {
        fill_by_strokes(x1, y1, x2, y2, c);
        return;
    }
    float ax, ay, bx, by;
    page_point(x1, y1, &ax, &ay);
    page_point(x2, y2, &bx, &by);
    g.ops->fill(ax, ay, bx, by, c);
}

namespace {

// One Sutherland-Hodgman pass: the part of polygon (x, y) on the inside of
// the line v = limit along axis (0 x, 1 y), `keep_below` choosing the side.
void clip_pass(const std::vector<float>& x, const std::vector<float>& y, int axis, float limit,
               bool keep_below, std::vector<float>& ox, std::vector<float>& oy) {
    ox.clear(), oy.clear();
    const size_t n = x.size();
    const auto in = [&](size_t k) {
        const float v = axis == 0 ? x[k] : y[k];
        return keep_below ? v <= limit : v >= limit;
    };
    for (size_t k = 0; k < n; ++k) {
        const size_t l = (k + 1) % n;
        const bool a = in(k), b = in(l);
        if (a) ox.push_back(x[k]), oy.push_back(y[k]);
        if (a != b) {
            const float va = axis == 0 ? x[k] : y[k], vb = axis == 0 ? x[l] : y[l];
            const float t = (limit - va) / (vb - va);
            const float px = x[k] + t * (x[l] - x[k]), py = y[k] + t * (y[l] - y[k]);
            ox.push_back(axis == 0 ? limit : px);
            oy.push_back(axis == 0 ? py : limit);
        }
    }
}

void span_in_colour(const float xs[2], const float ys[2]) {
    pen_move_to(xs[0], ys[0]);
    pen_draw_to(xs[1], ys[1]);
}

} // namespace

void fill_polygon_plot(const float* x, const float* y, int n, int c) {
    PlotState& g = g_plot;
    if (n < 3) return;
    static std::vector<float> ax, ay, bx, by;
    const int* clip = g.line.clip_rect;
    ax.assign(x, x + n), ay.assign(y, y + n);
    for (int k = 0; k < n; ++k) {
        ax[size_t(k)] += float(g.line.origin_shift_x);
        ay[size_t(k)] += float(g.line.origin_shift_y);
    }
    float lo_x = ax[0], hi_x = ax[0], lo_y = ay[0], hi_y = ay[0];
    for (size_t k = 1; k < ax.size(); ++k) {
        lo_x = std::min(lo_x, ax[k]), hi_x = std::max(hi_x, ax[k]);
        lo_y = std::min(lo_y, ay[k]), hi_y = std::max(hi_y, ay[k]);
    }
    if (!(hi_x >= float(clip[0]) && lo_x <= float(clip[2]) && hi_y >= float(clip[1]) &&
          lo_y <= float(clip[3])))
        return; // outside the window, or not a number
    if (lo_x < float(clip[0]) || hi_x > float(clip[2]) || lo_y < float(clip[1]) ||
        hi_y > float(clip[3])) {
        clip_pass(ax, ay, 0, float(clip[0]), false, bx, by);
        clip_pass(bx, by, 0, float(clip[2]), true, ax, ay);
        clip_pass(ax, ay, 1, float(clip[1]), false, bx, by);
        clip_pass(bx, by, 1, float(clip[3]), true, ax, ay);
        if (ax.size() < 3) return;
    }
    const int m = int(ax.size());
    if (g.ops->polygon) {
        for (int k = 0; k < m; ++k)
            page_point(ax[size_t(k)], ay[size_t(k)], &ax[size_t(k)], &ay[size_t(k)]);
        g.ops->polygon(ax.data(), ay.data(), m, c);
        return;
    }
    // Devices that only draw lines: spans 1.4 plot units apart.
    if (m > 1000) return;
    int16_t vertex_links[1002], crossing_links[1002];
    float crossings[1001];
    const int remembered = g.colour.current;
    select_colour(wrap_colour(c));
    fill_polygon(m, ax.data(), ay.data(), 1.4f, vertex_links, 1000, crossings, crossing_links,
                 span_in_colour);
    flush_polyline();
    select_colour(remembered);
}

// ------------------------------------------------------------ output record

void put_record_bytes(const void* bytes, int n) {
    PlotState& g = g_plot;
    if (n <= 0) return;
    if (int(g.record.size()) + n > g.record_length) {
        g.record.push_back('\n');
        write_plot_stream(g.record.data(), g.record.size());
        g.record.clear();
    }
    g.record.append(static_cast<const char*>(bytes), size_t(n));
}

void write_pending_record() {
    PlotState& g = g_plot;
    if (g.record.empty()) return;
    g.record.push_back('\n');
    write_plot_stream(g.record.data(), g.record.size());
    g.record.clear();
}

} // namespace razidu
