// GKSL, the plain-text metafile of numbers (plot/GKSL.md): every pen move,
// colour and filled rectangle as an opcode and its values in plot units,
// 10-character fields in 80-character records.
#include "plot/core/state.h"
#include "plot/core/dispatch.h"
#include "plot/draw/draw.h"

#include <cstdio>

namespace razidu {

namespace {

// One 10-character field of the metafile.
void gksl_number(float v, bool opcode) {
    char field[32];
    const int n = std::snprintf(field, sizeof field, opcode ? "%10.7f" : "%10.3f", double(v));
    put_record_bytes(field, n);
}

void gksl_open() {
    g_plot.device_scale = 1.0f;
    gksl_number(0, true);
    gksl_number(float(g_plot.page_xmax) + 1, false);
    gksl_number(float(g_plot.page_ymax) + 1, false);
}

void gksl_pen(float x, float y, int pen) {
    gksl_number(pen == 2 ? 2 : 3, true);
    gksl_number(x, false);
    gksl_number(y, false);
}

void gksl_colour(int n, int r, int g, int b) {
    gksl_number(1, true);
    gksl_number(float(n), false);
    gksl_number(float(r), false);
    gksl_number(float(g), false);
    gksl_number(float(b), false);
}

void gksl_fill(float x1, float y1, float x2, float y2, int c) {
    const float s = g_plot.device_scale;
    flush_polyline();
    gksl_number(4, true);
    gksl_number(x1 * s, false);
    gksl_number(y1 * s, false);
    gksl_number(x2 * s, false);
    gksl_number(y2 * s, false);
    gksl_number(float(wrap_colour(c)), false);
}

int gksl_finish() {
    pen_move_to(0, 0);
    gksl_number(9, true);
    g_plot.line.pending_count = 0;
    write_pending_record();
    return 1;
}

} // namespace

const DeviceOps kGkslOps = {
    PageAxes::Plot, "w",     gksl_open,   gksl_pen, gksl_colour, gksl_fill, 0,
    nullptr,        nullptr, gksl_finish, nullptr,
};

} // namespace razidu
