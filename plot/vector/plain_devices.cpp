// Devices that keep only their keyword, their file and its closing text:
// terminal and printer graphics files, the Windows metafile, Kyocera and
// HPGL plotter files and Java applet source. They discard what is drawn.
#include "plot/core/state.h"
#include "plot/core/dispatch.h"
#include "plot/draw/draw.h"

#include <cstdio>

namespace razidu {

namespace {

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

} // namespace

const DeviceOps kTerminalOps = {
    PageAxes::Plot, "w",     plain_open,      nullptr, nullptr, fill_nothing, 0,
    nullptr,        nullptr, terminal_finish, nullptr,
};
const DeviceOps kWmfOps = {
    PageAxes::Plot, nullptr, plain_open, nullptr, nullptr, fill_nothing, 0,
    nullptr,        nullptr, wmf_finish, nullptr,
};
const DeviceOps kKyoceraOps = {
    PageAxes::Plot, "w",     plain_open,     nullptr, nullptr, fill_nothing, 0,
    nullptr,        nullptr, kyocera_finish, nullptr,
};
const DeviceOps kHpglOps = {
    PageAxes::Plot, "w",     plain_open,  nullptr, nullptr, fill_nothing, 0,
    nullptr,        nullptr, hpgl_finish, nullptr,
};
const DeviceOps kJavaOps = {
    PageAxes::Plot, "w",     plain_open,  nullptr,    nullptr, fill_nothing, 0,
    nullptr,        nullptr, java_finish, java_erase,
};

} // namespace razidu
