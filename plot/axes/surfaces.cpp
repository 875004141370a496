// Coloured surfaces: one rectangle of uniform colour per data point
// (curve3), sized from the data resolution (autres), coloured by the value's
// place on the Z scaling; and the colour bar that graf3 draws beside the axis
// system, with its own axis (widbar sets its width).
#include "plot/core/state.h"
#include "plot/razidu.h"

#include <cstdio>

namespace razidu {

namespace {

// Outside the X or Y user limits (a limit itself is inside); a value that is
// not a number is outside too.
bool outside_scaling(float x, float y) {
    const AxisState& a = g_plot.axis;
    return !(x >= a.x.lower && x <= a.x.upper && y >= a.y.lower && y <= a.y.upper);
}

} // namespace

void rect_size_from_autres() {
    AxisState& a = g_plot.axis;
    if (!a.autres_set) return;
    auto size = [](int len, int n) {
        const int q = (len - 1) / (n - 1) + ((len - 1) % (n - 1) != 0 ? 1 : 0);
        return q == 0 ? 1 : q;
    };
    a.rect_width = size(a.len_x, a.autres_nx);
    a.rect_height = size(a.len_y, a.autres_ny);
    if (g_plot.device > 100) {
        ++a.rect_width;
        ++a.rect_height;
    }
}

int z_colour(float z) {
    const AxisState& a = g_plot.axis;
    const ColourState& c = g_plot.colour;
    const bool descending = a.z.e < a.z.a;
    if (z != z) return 0; // not a number: background
    if (z < a.z.lower) return descending ? c.table_last : 0;
    if (z > a.z.upper) return descending ? 0 : c.table_last;
    int k = static_cast<int>(float(c.first) + (z - a.z.a) * a.scale_colour);
    if (k == c.first - 1) k = c.first;
    if (k == c.last + 1) k = c.last;
    return k;
}

void autres(int nx, int ny) {
    if (check_level(1, 1, "autres")) return;
    bool ok = true;
    for (int v : {nx, ny})
        if (v < 2 || v > 10000) {
            warning_with_number(2, v);
            ok = false;
        }
    if (!ok) return;
    AxisState& a = g_plot.axis;
    a.autres_set = 1;
    a.autres_nx = nx;
    a.autres_ny = ny;
}

void widbar(int n) {
    if (check_level(1, 3, "widbar")) return;
    if (n < 0 || n > 10000) {
        warning_with_number(2, n);
        return;
    }
    g_plot.axis.bar_width = n;
}

void curve3(const float* x, const float* y, const float* z, int n) {
    if (check_level(3, 3, "curve3")) return;
    if (n > 0 && (!x || !y || !z)) {
        warning_plain(2);
        return;
    }
    const AxisState& a = g_plot.axis;
    const int remembered = g_plot.colour.current;
    clip_to_axis_system();
    const int w = a.rect_width, h = a.rect_height;
    for (int i = 0; i < n; ++i) {
        if (outside_scaling(x[i], y[i])) {
            if (g_plot.check_range == 1) out_of_scaling_message(x[i], y[i], true);
            continue;
        }
        const int c = z_colour(z[i]);
        const float cx = a.origin_x + (x[i] - a.x.a) * a.x.scale;
        const float cy = a.origin_y - (y[i] - a.y.a) * a.y.scale;
        const float x0 = cx - float(w / 2), y0 = cy - float(h / 2);
        fill_rect(x0, y0, x0 + float(w), y0 + float(h), c);
    }
    restore_clip();
    select_colour(remembered);
}

void draw_colour_bar(int x, int y) {
    AxisState& a = g_plot.axis;
    const ColourState& c = g_plot.colour;
    x += a.bar_shift_x;
    y -= a.bar_shift_y;
    const int remembered = c.current;
    // Bands from the first colour at the bottom to the last at the top.
    const int n = c.last - c.first + 1;
    const float step = float(a.len_z - 1) / float(n);
    float y_prev = float(y);
    for (int i = 1; i <= n; ++i) {
        const float y_i = float(y) - float(i) * step;
        if (y_prev - y_i >= 0)
            fill_rect(float(x), y_i, float(x + a.bar_width - 1), y_prev, c.first + i - 1);
        y_prev = y_i;
    }
    select_colour(remembered);
    // The bar's axis: the Z scaling with the Z axis settings, labels to the
    // right of the bar.
    draw_axis(a.z.a, a.z.e, a.z.or_, a.z.step, a.len_z, a.set_z, 0, x + a.bar_width, y, 2);
}

} // namespace razidu
