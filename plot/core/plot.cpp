// Set-up routines, disini and disfin, erase, nochek and sendbf.
#include "plot/core/state.h"
#include "plot/vector/vector.h"
#include "plot/razidu.h"

#include <cstring>

namespace razidu {

void metafl(const char* keyword) {
    if (check_level(0, 0, "metafl")) return;
    int code = device_code_of(keyword);
    if (code == 0) return;
    if (code == DEV_CONS) code = DEV_XWND;
    g_plot.device = code;
    keyword_key(keyword, g_plot.device_name);
}

void setfil(const char* name) {
    if (check_level(0, 0, "setfil")) return;
    if (!name || !*name) {
        warning_plain(37);
        return;
    }
    std::strncpy(g_plot.file_name, name, kNameMax);
    g_plot.file_name[kNameMax] = '\0';
    g_plot.file_state = 1;
}

void filmod(const char* option) {
    if (check_level(0, 3, "filmod")) return;
    const int i = keyword_index("COUN+DELE+BREA", 3, option);
    if (i > 0) g_plot.file_mode = i - 1;
}

void scrmod(const char* option) {
    if (check_level(0, 0, "scrmod")) return;
    static constexpr int kModes[] = {0, 1, 2, 0, 4};
    const int i = keyword_index("ERAS+NOER+REVE+NORE+AUTO", 5, option);
    if (i > 0) g_plot.screen_mode_req = kModes[i - 1];
}

void winsiz(int width, int height) {
    if (check_level(0, 3, "winsiz")) return;
    if (width <= 0 || height <= 0) {
        warning_with_number(2, width < height ? width : height);
        return;
    }
    g_plot.window_size_mode = 2;
    g_plot.window_req_w = width;
    g_plot.window_req_h = height;
}

void page(int width, int height) {
    if (check_level(0, 0, "page")) return;
    if (width <= 0 || height <= 0) {
        warning_plain(2);
        return;
    }
    g_plot.page_xmax = width - 1;
    g_plot.page_ymax = height - 1;
    std::memcpy(g_plot.page_name, "PAGE", 5);
}

void disini() {
    if (check_level(0, 0, "disini")) return;
    PlotState& g = g_plot;
    g.level = 1;
    set_outcome(0, 0, "", 0);
    g.vector_count = 0;
    g.warning_count = 0;
    g.plot_finished = 0;
    g.line.pending_count = 0;
    g.screen_mode = g.screen_mode_req;
    if (g.screen_mode == 4)
        g.screen_mode = (g.device == DEV_PDF || g.device == DEV_EPS || g.device == DEV_PS) ? 2 : 0;
    if (g.device == DEV_NONE) {
        g.device = DEV_GKSL;
        std::memcpy(g.device_name, "GKSL", 5);
    }
    g.low_byte_first = 1;
    set_default_axis_frame();
    g.plot_stream = nullptr;
    g.window_x = g.window_y = 0;
    if (g.window_size_mode == 2) {
        g.window_w = g.window_req_w;
        g.window_h = g.window_req_h;
    } else if (g.page_xmax > g.page_ymax) {
        g.window_w = 853;
        g.window_h = 603;
    } else {
        g.window_w = 603;
        g.window_h = 853;
    }
    // Screen windows open no window on this system: their page is drawn in
    // memory like VIRT. Every other device has a file.
    if (!is_screen(g.device)) open_device_file(g.device);
    open_device();
    reset_plot_parameters();
    if (g.first_screen_mode == -1) g.first_screen_mode = g.screen_mode;
    if (g.screen_mode != g.first_screen_mode) g.screen_mode_changed = 1;
    // The erase on a change of background applies to screen windows with
    // more than 8 bits of colour; none is opened here, so nothing to clear.
}

void disfin() {
    if (check_level(1, 3, "disfin")) return;
    PlotState& g = g_plot;
    const int d = g.device;
    flush_polyline();
    int report = 1;
    if (is_screen(d)) {
        report = 0; // no window to wait for: the page is discarded
    } else if (is_metafile(d)) {
        pen_move_to(0, 0);
        if (is_cgm(d)) {
            cgm_path_point(0, 0, 999);
            static const uint8_t kEnd[4] = {0x00, 0xA0, 0x00, 0x40};
            put_record_bytes(kEnd, 4);
        } else if (is_gksl(d)) {
            gksl_number(9, true);
        }
        // WMF: nothing was drawn and no file was created.
        g.line.pending_count = 0;
    } else if (is_kyocera(d)) {
        put_record_bytes("RES;EXIT;", 9);
    } else if (is_hpgl(d)) {
        put_record_bytes("PU0,0;", 6);
    } else if (is_pdf(d)) {
        pdf_path(0, 0, 1);
    } else if (is_postscript(d)) {
        ps_path_point(0, 0, 999);
        put_ps_words("showpage ", 9);
    } else if (is_raster(d)) {
        if (d == DEV_VIRT) {
            report = 0;
        } else {
            version_file_name(g.file_name);
            write_image_file(g.file_name, d - 600);
        }
    } else if (is_java(d)) {
        if (g.plot_stream) std::fputs("  }\n}\n", g.plot_stream);
    }
    if (draws_in_memory(d)) raster_close();
    if (d >= 101 && d <= 600 && !is_wmf(d) && !is_pdf(d)) write_pending_record();
    // The file takes its name only when every byte reached it.
    finish_output();
    g.plot_stream = nullptr;
    g.level = 0;
    g.plot_finished = 1;
    end_report_text(report);
}

void erase() {
    if (check_level(1, 3, "erase")) return;
    flush_polyline();
    PlotState& g = g_plot;
    if (draws_in_memory(g.device)) {
        raster_clear();
    } else if (is_java(g.device) && g.plot_stream) {
        std::fprintf(g.plot_stream, "  g.clearRect (0,0,%d,%d);\n", g.window_w, g.window_h);
    }
}

void nochek() {
    if (check_level(1, 3, "nochek")) return;
    g_plot.check_range = 0;
}

void sendbf() {
    if (check_level(1, 3, "sendbf")) return;
    flush_polyline();
}

} // namespace razidu
