// The global record, its first-call and per-plot defaults, the level check
// and the keyword lookups.
#include "plot/core/state.h"
#include "plot/core/messages.h"
#include "plot/axes/axes.h"

#include <cstring>

namespace razidu {

PlotState g_plot;

void ensure_initialised() {
    if (g_plot.initialised) return;
    g_plot.initialised = 1;
    g_plot.msg_stream = stdout;
    const int one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    g_plot.low_byte_first = first == 1 ? 1 : 0;
}

void reset_library() {
    output_discard(); // the page's stream, PostScript, CGM or PDF
    raster_close();
    g_plot = PlotState{};
    ensure_initialised();
}

int check_level(int min, int max, const char* name) {
    ensure_initialised();
    g_plot.routine_name = name;
    if (g_plot.level < min || g_plot.level > max) {
        warning_with_number(3, g_plot.level);
        return 1;
    }
    return 0;
}

void keyword_key(const char* keyword, char key[5]) {
    int i = 0;
    if (keyword) {
        for (; i < 4 && keyword[i] != '\0'; ++i) {
            char c = keyword[i];
            key[i] = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
        }
    }
    for (; i < 4; ++i)
        key[i] = ' ';
    key[4] = '\0';
}

int keyword_index(const char* list, int count, const char* keyword) {
    char key[5], entry[5];
    keyword_key(keyword, key);
    const size_t list_len = std::strlen(list);
    for (int i = 0; i < count && size_t(5 * i) < list_len; ++i) {
        keyword_key(list + 5 * i, entry);
        if (std::memcmp(key, entry, 4) == 0) return i + 1;
    }
    warning_with_text(2, keyword ? keyword : "");
    return 0;
}

namespace {
struct DeviceKey {
    const char key[5];
    int code;
};
// Searched in this order; the first equal key wins.
constexpr DeviceKey kDevices[] = {
    {"GKSL", 201}, {"CGM ", 211}, {"KYOC", 301}, {"HPGL", 401}, {"HPA4", 402}, {"HPA3", 403},
    {"HPA2", 404}, {"HPA1", 405}, {"CONS", 101}, {"TEKT", 151}, {"VT34", 103}, {"LN03", 161},
    {"POST", 501}, {"PSCL", 502}, {"XWIN", 72},  {"XWI1", 72},  {"XWI2", 73},  {"XWI3", 74},
    {"XWI4", 75},  {"XWI5", 76},  {"XWI6", 77},  {"XWI7", 78},  {"XWI8", 79},  {"XWND", 80},
    {"TIFF", 601}, {"IMAG", 602}, {"VIRT", 603}, {"PNG ", 604}, {"JAVA", 701}, {"WMF ", 221},
    {"PPM ", 605}, {"PDF ", 511}, {"EPS ", 503}, {"BMP ", 606}, {"PS  ", 504},
};
static_assert(sizeof kDevices / sizeof kDevices[0] == 35);
} // namespace

int device_code_of(const char* keyword) {
    char key[5];
    keyword_key(keyword, key);
    if (std::strcmp(key, "MET1") >= 0 && std::strcmp(key, "MET9") <= 0) return DEV_XWND;
    for (const DeviceKey& d : kDevices)
        if (std::memcmp(key, d.key, 4) == 0) return d.code;
    warning_with_text(2, keyword ? keyword : "");
    return 0;
}

void set_default_axis_frame() {
    PlotState& g = g_plot;
    g.axis_default_w = int(2.0 * (g.page_xmax + 1) / 3.0 + 0.5);
    g.axis_default_h = int(2.0 * (g.page_ymax + 1) / 3.0 + 0.5);
    g.axis_default_x = (g.page_xmax - g.axis_default_w) / 2;
    g.axis_default_y = g.page_ymax - 300;
}

namespace {

void reset_axis() {
    PlotState& g = g_plot;
    AxisState& a = g.axis;
    a = AxisState{};
    a.pos_x = g.axis_default_x;
    a.pos_y = g.axis_default_y;
    a.len_x = g.axis_default_w;
    a.len_y = g.axis_default_h;
    a.len_z = g.axis_default_h;
    a.clip_x0 = 0;
    a.clip_y0 = 0;
    a.clip_x1 = g.page_xmax;
    a.clip_y1 = g.page_ymax;
}

void reset_line() {
    LineState& l = g_plot.line;
    l = LineState{};
    l.clip_rect[0] = 0;
    l.clip_rect[1] = 0;
    l.clip_rect[2] = g_plot.page_xmax;
    l.clip_rect[3] = g_plot.page_ymax;
}

void reset_colour() {
    g_plot.colour = ColourState{};
    // The reversed grey scale for black-and-white PostScript, the rainbow
    // for every other device; selects the default colour on the device.
    load_colour_table(g_plot.device == DEV_POST ? 6 : 1);
}

} // namespace

void reset_plot_parameters() {
    PlotState& g = g_plot;
    g.msg_stream = stdout;
    g.check_range = 1;
    reset_axis();
    reset_line();
    g.text = TextState{};
    g.titles = TitleState{};
    g.curves = CurveState{};
    g.isolines = IsolineState{};
    reset_map();
    // The writer groups (raster pen, ps, pdf, cgm) were set up when the
    // device opened just before and the calendar keeps its base date: they
    // are not reset here.
    reset_colour();
}

} // namespace razidu
