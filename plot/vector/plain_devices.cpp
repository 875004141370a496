// Devices that keep only their keyword, their file and its closing text:
// terminal and printer graphics files, the Windows metafile, Kyocera and
// HPGL plotter files and Java applet source. They discard what is drawn.
#include "plot/core/state.h"
#include "plot/core/dispatch.h"
#include "plot/draw/draw.h"

#include <cstdio>

namespace razidu {

namespace {

// Rectangles are discarded too (a null fill would draw them with strokes).
void fill_nothing(float, float, float, float, int) {}

void plain_open() {
    g_plot.device_scale = 1.0f;
}

int terminal_finish() {
    write_pending_record();
    return 1;
}

// WMF: nothing was drawn and no file was created.
int wmf_finish() {
    pen_move_to(0, 0);
    g_plot.line.pending_count = 0;
    return 1;
}

int kyocera_finish() {
    put_record_bytes("RES;EXIT;", 9);
    write_pending_record();
    return 1;
}

int hpgl_finish() {
    put_record_bytes("PU0,0;", 6);
    write_pending_record();
    return 1;
}

int java_finish() {
    if (g_plot.plot_stream) std::fputs("  }\n}\n", g_plot.plot_stream);
    return 1;
}

void java_erase() {
    const PlotState& g = g_plot;
    if (g.plot_stream)
        std::fprintf(g.plot_stream, "  g.clearRect (0,0,%d,%d);\n", g.window_w, g.window_h);
}

// Drawing, colours and rectangles are discarded; only the file is written.
constexpr DeviceOps plain_ops(const char* file_mode, int (*finish)(), void (*erase)() = nullptr) {
    return {PageAxes::Plot, file_mode, plain_open, nullptr, nullptr, fill_nothing, 0,
            nullptr,        nullptr,   finish,     erase};
}

} // namespace

const DeviceOps kTerminalOps = plain_ops("w", terminal_finish);
const DeviceOps kWmfOps = plain_ops(nullptr, wmf_finish);
const DeviceOps kKyoceraOps = plain_ops("w", kyocera_finish);
const DeviceOps kHpglOps = plain_ops("w", hpgl_finish);
const DeviceOps kJavaOps = plain_ops("w", java_finish, java_erase);

} // namespace razidu
