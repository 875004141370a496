// Polylines in user coordinates (curve), the conversion of user coordinates
// to limited page coordinates, and the report of points outside the axis
// scaling that curve and rlvec share.
#include "plot/core/state.h"
#include "plot/razidu.h"

#include <cmath>

namespace razidu {

namespace {

constexpr float kPageLimit = 1.0e6f;

// Outside the X or Y user limits (a limit itself is inside); a value that is
// not a number is outside too.
bool outside_scaling(float x, float y) {
    const AxisState& a = g_plot.axis;
    return !(x >= a.x.lower && x <= a.x.upper && y >= a.y.lower && y <= a.y.upper);
}

// Exponent form for tiny non-zero and huge magnitudes.
// A value that is not a number goes far outside, where clipping drops it.
float limit_page(float v) {
    if (v != v) return kPageLimit;
    return v < -kPageLimit ? -kPageLimit : (v > kPageLimit ? kPageLimit : v);
}

} // namespace

void report_out_of_scaling(float x, float y) {
    if (g_plot.check_range != 1 || !outside_scaling(x, y)) return;
    out_of_scaling_message(x, y, false);
}

float user_to_page_x(float x) {
    return limit_page(user_to_plot_x(x));
}

float user_to_page_y(float y) {
    return limit_page(user_to_plot_y(y));
}

void curve(const float* x, const float* y, int n) {
    if (check_level(2, 3, "curve")) return;
    if (n < 2 || !x || !y) {
        warning_plain(2);
        return;
    }
    const int remembered = g_plot.colour.current;
    for (int i = 0; i < n; ++i)
        report_out_of_scaling(x[i], y[i]);
    clip_to_axis_system();
    const int check = g_plot.check_range;
    g_plot.check_range = 0;
    dash_restart();
    dash_move_to(user_to_page_x(x[0]), user_to_page_y(y[0]));
    for (int i = 1; i < n; ++i)
        dash_draw_to(user_to_page_x(x[i]), user_to_page_y(y[i]));
    g_plot.check_range = check;
    restore_clip();
    select_colour(remembered);
    lintyp(g_plot.line.line_type);
    CurveState& cs = g_plot.curves;
    if (cs.recorded < 30) ++cs.recorded;
    ++cs.counter;
}

} // namespace razidu
