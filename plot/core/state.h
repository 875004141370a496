// PlotState: the plotting library's one global record, which holds all of
// the library's state, and the core routines around it (first-call
// defaults, reset, level check, keywords). Nothing here is part of the
// public interface (plot/razidu.h).
//
// The internal routines of each module are declared in the module's own
// header (core/dispatch.h, core/files.h, core/messages.h, draw/draw.h,
// text/text.h, axes/axes.h, vector/vector.h, raster/raster.h).
//
// Layout. The core groups (level, device, page, file, screen, window,
// scaling, messages, counters, default axis frame, machine) are plain fields
// of PlotState. Every other module owns one nested struct:
//   axis    AxisState      axis-system geometry, scalings, clip window, bar
//   colour  ColourState    colour table, named colours, current colour
//   line    LineState      pending polyline, clip rectangle, line style
//   text    TextState      text height, angle, fonts, hardware font
//   titles  TitleState     the four title lines
//   curves  CurveState     curve counter and recorded curve attributes
//   calendar CalendarState base date (set once per process, not per plot)
//   (vector arrows keep no state of their own)
//   raster  RasterImage    the in-memory page of raster devices, its pen
//   ps, pdf, cgm           state of the PostScript, PDF and CGM writers
//   png_memory             buffers the PNG writer keeps from image to image
//   out     OutputState    the page's output file and outcome
//
// Lifetime. The member initialisers below are the first-call defaults; they
// are applied by ensure_initialised() on the first call of any routine and
// never again. disini calls reset_plot_parameters(), which resets each
// module group to its per-plot defaults (reset_<group>() in state.cpp);
// a module that adds a field adds its default there.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <deque>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "plot/core/device.h"
#include "plot/core/output.h"
#include "plot/raster/raster.h"
#include "plot/vector/path_buffer.h"

namespace razidu {

constexpr float kVersion = 7.6f;    // printed "%4.1f" in reports and headers
constexpr const char* kPatch = " "; // patch level 0 prints as one blank
constexpr int kNameMax = 80;        // characters kept of a file name
constexpr int kRecordLength = 80;   // output record of text devices and CGM
constexpr int kPendingMax = 100;    // points of the pending polyline

// ------------------------------------------------------------ module groups

// Scaling of one axis as passed to graf / graf3.
struct AxisScaling {
    float a = 0, e = 1, or_ = 0, step = 1; // first, last, first label, step
    float scale = 1;                       // plot units per user unit
    float lower = 0, upper = 1;            // user limits, lower <= upper
};

// Drawing settings of one axis (name, labels, ticks).
struct AxisSettings {
    char name[133] = {};
    int label_type = 1; // index into NONE+FLOA+EXP+...; 1 FLOA
    int label_class = 0;
    int exponent = 0;
    int log_style = 2;
    int digits = 1;
    int ticks = 2;
    int label_distance = 24;
    int name_distance = 30;
    int line_on = 1;
    int tick_position = 0;
    int label_orientation = 0;
    int first_last_mode = 0;
    int colour_line = -1, colour_ticks = -1, colour_labels = -1, colour_name = -1;
};

// Axis systems, scalings, coloured surfaces and the colour bar.
struct AxisState {
    int pos_x = 0, pos_y = 0;            // lower left corner (axspos)
    int len_x = 0, len_y = 0, len_z = 0; // axis lengths
    AxisScaling x, y, z;
    float scale_colour = 1; // colour indices per z unit
    float origin_x = 0, origin_y = 0;
    int right = 0, top = 0; // right and upper edges
    // Clip window of the axis system, computed by graf; the whole page
    // until then.
    int clip_x0 = 0, clip_y0 = 0, clip_x1 = 0, clip_y1 = 0;
    float centre_x = 0, centre_y = 0, radius = 0;
    int frame = 1;
    int side_level[4] = {4, 2, 2, 4}; // bottom, right, top, left
    AxisSettings set_x, set_y, set_z;
    // Coloured surfaces and colour bar.
    int rect_width = 1, rect_height = 1;
    int autres_set = 0, autres_nx = 0, autres_ny = 0;
    int bar_width = 85, bar_distance = 85, bar_shift_x = 0, bar_shift_y = 0, bar_on = 1;
    // Label settings of other plot kinds (labels, digits with "BAR", "PIE", "CON").
    int bar_label_mode = 0, bar_digits = 1;
    int pie_label_mode = 0, pie_percent_digits = 1, pie_data_digits = 1;
    int contour_label_mode = 1, contour_digits = 1, contour_label_flag = 0;
};

// Colour table and colour selection (colour.cpp).
struct ColourState {
    uint32_t table[256] = {}; // 0x00RRGGBB
    int table_id = 1;   // small, rainbow, spectrum, grey, their reverses, VGA, temperature = 0..8
    int named[9] = {};  // WHIT RED GREE YELL BLUE ORAN CYAN MAGE BLAC
    int cycle[30] = {}; // curve colours, from the named colours
    int first = 1, last = 254; // data colour range
    int table_last = 255;
    int background_index = 0;
    int current = 0; // colour in force, last sent to the device
};

// Pending polyline, clipping and line style (draw/).
struct LineState {
    float pending_x[kPendingMax] = {}, pending_y[kPendingMax] = {};
    int pending_count = 0;
    int clip_rect[4] = {};  // xmin, ymin, xmax, ymax: inside is inclusive
    int clip_saved[4] = {}; // rectangle saved while clipping to the axes
    int clip_switched = 0;  // 1 between clip_to_axis_system and restore_clip
    int line_type = 0;
    int dash_pattern[10] = {1};
    int dash_count = 1, dash_index = 1, dash_gap = 0;
    float dash_left = 1.0f;
    float dash_last_x = 0, dash_last_y = 0;
    int origin_shift_x = 0, origin_shift_y = 0;
};

// Text attributes and fonts (text/).
struct TextState {
    int height = 36;
    int angle = 0;
    float sin_a = 0, cos_a = 1;
    float x = 0, y = 0;
    int font_number = 1;   // 1 disalf, 3 complx
    int hardware_font = 0; // 0 stroke, 1 PostScript, 2 window system
    float char_spacing = 0, width_factor = 1, slant = 0;
    int label_mode = 0;
    char raise_char = '[', lower_char = ']', reset_char = '$';
    float raise_shift = 0.6f, raise_size = 0.8f;
    int measure_only = 0;
    char ps_font_name[61] = {};
    int ps_font_index = 0;
    int16_t char_widths[155] = {};
};

// Title lines 1..4 (index 0..3).
struct TitleState {
    char line[4][133] = {};
    int underline[4] = {};
};

// Curve bookkeeping.
struct CurveState {
    int counter = 1;
    int recorded = 0;
};

// Base date of the calendar routines: undefined until set; kept across plots.
struct CalendarState {
    int day = 0, month = 0, year = 0, day_of_year = 0;
    int defined = 0;
};

// PostScript writer (vector/postscript.cpp), reset when the device opens.
struct PsState {
    float page_factor = 1; // fit factor / device scale, applied by the prolog
    PathBuffer path;       // pending path in PostScript units
};

// PDF writer (vector/pdf.cpp): one file at a time, opened by pdf_open at
// disini and finished by pdf_path with operation 1 at disfin.
constexpr int kPdfContentMax = 300000; // bytes of one content stream buffer
constexpr int kPdfFonts = 35;          // font slots of the standard list
// A compressed content stream on its way to the file: deflated on a thread
// of its own, written whole and in order.
struct PdfPendingStream {
    int object;
    std::vector<uint8_t> content;
    std::future<std::vector<uint8_t>> packed;
};
struct PdfState {
    int page_w = 0, page_h = 0; // media box in points
    int open = 0;               // 1 while a PDF file is being written
    FILE* stream = nullptr;
    int offset = 0;      // bytes written to the file so far
    int next_object = 3; // 1 is the catalog, 2 the page tree
    std::vector<int> object_offset;
    // 0 other, 1 content stream, 2 page, 10 + i font slot i
    std::vector<uint8_t> object_kind;
    int compress = 0;
    int in_stream = 0;
    std::vector<uint8_t> content; // the content stream being collected
    int content_object = 0;       // its object number when compressed
    int stream_start = 0;         // offset of an uncompressed stream's data
    int path_open = 0, text_open = 0, text_used = 0;
    int fill_rgb[3] = {-1, -1, -1};
    int content_count = 0, last_content = 0, first_content = 1;
    uint8_t font_used[kPdfFonts] = {};    // 0 unused, 1 used, 2 object written
    int text_slot = -1, text_size = -1;   // font of the open BT block
    std::deque<PdfPendingStream> pending; // streams still deflating
};

// CGM writer (vector/cgm.cpp), reset when the device opens.
struct CgmState {
    int picture = 1;
    int written = 0; // bytes of the header, checked against its expected size
    PathBuffer path; // pending polyline in CGM units
};

// Isolines (axes/contour.cpp): labels every label_spacing plot units along
// a line (0: no labels) with label_digits decimals (-1: integers).
struct IsolineState {
    int label_spacing = 0;
    int label_digits = 0;
    int halo = -1; // colour of the box under each label, -1 none
};

// ------------------------------------------------------------ the record

struct PlotState {
    // process
    int initialised = 0;
    // level: 0 closed, 1 page open, 2 axis system, 3 colour axis system
    int level = 0;
    // device
    int device = 0;                       // DeviceCode, 0 none chosen
    const DeviceOps* ops = &kTerminalOps; // operations of the device, chosen by disini
    char device_name[5] = {};             // metafl keyword, upper case ("Fileformat")
    // page, as largest coordinates: width - 1, height - 1
    int page_xmax = 2969, page_ymax = 2099;
    char page_name[5] = "DA4L";
    // file
    char file_name[kNameMax + 8] = {}; // room for a version suffix "_9999"
    int file_state = 0;                // 0 none, 1 given by setfil, 2 remembered
    char saved_file_name[kNameMax + 8] = {};
    int file_mode = 0; // 0 COUN, 1 DELE, 2 BREA
    FILE* plot_stream = nullptr;
    int record_length = kRecordLength;
    std::string record; // pending output record; its size is the record fill
    // screen
    int screen_mode_req = 4; // 0 ERAS/NORE, 1 NOER, 2 REVE, 4 AUTO
    int screen_mode = 0;     // 0 normal, 1 no erase, 2 reversed
    int first_screen_mode = -1;
    uint8_t screen_mode_changed = 0;
    // window / raster image size
    int window_size_mode = 0; // 0 default, 2 winsiz
    int window_req_w = 0, window_req_h = 0;
    int window_x = 0, window_y = 0, window_w = 0, window_h = 0;
    // scaling: device units per plot unit
    float device_scale = 1;
    // messages
    FILE* msg_stream = nullptr; // standard output
    const char* routine_name = "";
    const char* warning_text = "";
    // counters
    int vector_count = 0;
    int warning_count = 0;
    int plot_finished = 0;
    // default axis frame, from the page at disini
    int axis_default_w = 0, axis_default_h = 0, axis_default_x = 0, axis_default_y = 0;
    // check points against the axis scaling
    int check_range = 1;
    // machine: 1 when the low byte of an integer is stored first
    int low_byte_first = 1;

    AxisState axis;
    ColourState colour;
    LineState line;
    TextState text;
    TitleState titles;
    CurveState curves;
    CalendarState calendar;
    IsolineState isolines;
    RasterImage raster;
    PsState ps;
    PdfState pdf;
    CgmState cgm;
    PngMemory png_memory;
    OutputState out; // the page's output file and outcome
};

extern PlotState g_plot;

// ------------------------------------------------------------ core state (state.cpp)

// Sets the first-call defaults once per process.
void ensure_initialised();
// Returns the library to the state of a new process: closes an open plot
// file, frees the raster image, sets the first-call defaults. For tests and
// programs that want a clean start.
void reset_library();
// First-call defaults, then records name as routine_name; returns 0 when
// the level lies in min..max, otherwise warning 3 with the level and 1.
int check_level(int min, int max, const char* name);
// 1-based index of keyword in a list of four-letter entries joined by "+"
// ("SMAL+RAIN+..."), 0 with warning 2 when it is not there.
int keyword_index(const char* list, int count, const char* keyword);
// Device code of a metafl keyword; 0 with warning 2 when unknown.
int device_code_of(const char* keyword);
// Upper-cased, blank-padded four-character key of an option.
void keyword_key(const char* keyword, char key[5]);
// Default axis system from the page (disini).
void set_default_axis_frame();
// Per-plot defaults of every group (disini).
void reset_plot_parameters();

} // namespace razidu
