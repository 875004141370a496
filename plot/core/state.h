// PlotState: the plotting library's one global record, and the internal API
// that the library's modules share. Nothing here is part of the public
// interface (plot/razidu.h).
//
// Layout. The core groups (level, device, page, file, screen, window,
// scaling, messages, counters, default axis frame, machine) are plain fields
// of PlotState. Every other module owns one nested struct:
//   dev     DeviceBuffers  pen position and path buffers of the dispatch
//   axis    AxisState      axis-system geometry, scalings, clip window, bar
//   colour  ColourState    colour table, named colours, current colour
//   line    LineState      pending polyline, clip rectangle, line style
//   text    TextState      text height, angle, fonts, hardware font
//   titles  TitleState     the four title lines
//   curves  CurveState     curve counter and recorded curve attributes
//   calendar CalendarState base date (set once per process, not per plot)
//   (vector arrows keep no state of their own)
//   raster  RasterImage    the in-memory page of raster devices
//   ps, pdf, cgm           state of the PostScript, PDF and CGM writers
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
#include <string>

#include "plot/core/output.h"
#include <vector>

#include "plot/core/device.h"
#include "plot/raster/raster.h"

namespace razidu {

constexpr float kVersion = 7.6f;    // printed "%4.1f" in reports and headers
constexpr const char* kPatch = " "; // patch level 0 prints as one blank
constexpr int kNameMax = 80;        // characters kept of a file name
constexpr int kRecordLength = 80;   // output record of text devices and CGM
constexpr int kPathMax = 50;        // points of a PostScript or CGM path
constexpr int kPendingMax = 100;    // points of the pending polyline

// ------------------------------------------------------------ module groups

// Pen position and path buffers of the primitive dispatch (dispatch.cpp).
struct DeviceBuffers {
    int raster_pen_x = 0, raster_pen_y = 0; // current pixel on raster pages
    int ps_x[kPathMax] = {}, ps_y[kPathMax] = {};
    int ps_count = 0;                 // points in the PostScript path
    int ps_last_x = 0, ps_last_y = 0; // end of the last written path
    int16_t cgm_x[kPathMax] = {}, cgm_y[kPathMax] = {};
    int cgm_count = 0;
    int16_t cgm_last_x = 0, cgm_last_y = 0; // machine byte order
};

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

// PostScript writer (vector/).
struct PsState {
    float page_factor = 1; // fit factor / device scale, applied by the prolog
};

// PDF writer (vector/pdf.cpp): one file at a time, opened by pdf_open at
// disini and finished by pdf_path with operation 1 at disfin.
constexpr int kPdfContentMax = 300000; // bytes of one content stream buffer
constexpr int kPdfFonts = 35;          // font slots of the standard list
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
    uint8_t font_used[kPdfFonts] = {};  // 0 unused, 1 used, 2 object written
    int text_slot = -1, text_size = -1; // font of the open BT block
};

// CGM writer (vector/).
struct CgmState {
    int picture = 1;
};

// Isolines (axes/contour.cpp): labels every label_spacing plot units along
// a line (0: no labels) with label_digits decimals (-1: integers).
struct IsolineState {
    int label_spacing = 0;
    int label_digits = 0;
};

// ------------------------------------------------------------ the record

struct PlotState {
    // process
    int initialised = 0;
    // level: 0 closed, 1 page open, 2 axis system, 3 colour axis system
    int level = 0;
    // device
    int device = 0;           // DeviceCode, 0 none chosen
    char device_name[5] = {}; // metafl keyword, upper case ("Fileformat")
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

    DeviceBuffers dev;
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
    OutputState out; // the page's output file and outcome
};

extern PlotState g_plot;

// ------------------------------------------------------------ core (core/)

// Truncation to int kept in range (NaN gives 0): a far-off coordinate lands
// far off the page instead of wrapping around.
int trunc_int(float v);

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

// Warnings and report (messages.cpp).
void errmes(int number);
void warning_plain(int number);
void warning_with_number(int number, int value);
void warning_with_text(int number, const char* text);
void set_warning_text(const char* text);
void end_report_text(int flag);
// The free-form warning lines: a point outside the axis scaling (`plain`:
// both numbers as %12.4e, else %f unless very large or small; not counted),
// a text start or end point off the page (counted), an unknown PostScript
// font, an existing file in file mode BREA and the 10,000th file version.
void out_of_scaling_message(float x, float y, bool plain);
void out_of_page_message(const char* which, int x, int y, const char* text);
void not_standard_font_message(const char* font);
void file_exists_message(const char* name);
void versions_message();
// Date "dd.mm.yyyy" and time "hh:mm:ss" of now: SOURCE_DATE_EPOCH read as
// UTC when set, else the local clock. Used by the report and file headers.
void report_date_time(char date[11], char time[9]);
// The same moment as broken-down time, for the dates in file headers.
void file_date_time(std::tm* t);

// File naming (files.cpp).
void open_device_file(int device);
// Applies file_mode to name (at most kNameMax characters) in place. DELE
// deletes an existing file; BREA and more than 9999 versions end the process.
void version_file_name(char* name);
// Default extension of a device, three blanks for codes without one.
const char* default_extension_of(int device);

// Primitive dispatch (dispatch.cpp). Coordinates in plot units. Lines go
// pen_move_to / pen_draw_to -> flush_polyline (clipped) -> plot_pen; only
// the pen stage calls plot_pen for lines, so that they are clipped.
void open_device(); // device scale and opening actions (disini)
// Moves (pen 3) or draws (pen 2) the device pen; counts vector_count.
// Raster: pixels round(x * device_scale); PS/PDF: turned landscape page or
// flipped y; CGM: flipped y; GKSL: plot units.
void plot_pen(float x, float y, int pen);
// Makes colour-table entry index the drawing colour; current colour = index.
// CGM writes nothing for the colour in force, PostScript always writes.
void device_colour(int index);
// Fills x1 <= x <= x2, y1 <= y <= y2 with colour c, clipped to the clip
// rectangle in force (line.clip_rect).
void fill_rect(float x1, float y1, float x2, float y2, int c);
void put_record_bytes(const void* bytes, int n);
void put_ps_words(const char* text, int n);    // n -1 writes out the pending line
void ps_path_point(float x, float y, int pen); // pen 2, 3, 999 end
void cgm_path_point(float x, float y, int pen);
// Writes out a non-empty record (CGM padded to 80 bytes, text with a line feed).
void write_pending_record();
// One 10-character field of the GKSL metafile (plot/GKSL.md).
void gksl_number(float v, bool opcode);

// Pen stage, pattern stage and clipping (draw/pen.cpp).
// Flushes, then starts a new pending polyline at (x, y).
void pen_move_to(float x, float y);
// Appends (x, y); at 100 points the polyline is flushed and goes on from
// its last point.
void pen_draw_to(float x, float y);
// Draws the pending polyline through the clip rectangle in force and
// empties it. Call before anything that must not overtake pending lines
// (colour change, filled rectangle, erase, text on the device, clip change,
// image output, disfin).
void flush_polyline();
// Pattern stage: lines in the current line style, shifted by origin_shift.
void dash_move_to(float x, float y);
void dash_draw_to(float x, float y);
void dash_restart();
// Narrows the clip rectangle to the axis system's clip window around data
// plots, and restores it afterwards.
void clip_to_axis_system();
void restore_clip();

// Stroke-font and hardware-font text (text/). Positions in plot units.
// Text height without the level check; with a PostScript font in force it
// also writes the font line.
void set_text_height(int h);
void set_text_angle(int degrees);
// Selects stroke font 1 (disalf) or 3 (complx) and switches hardware fonts off.
void select_stroke_font(int font);
// messag without the level check: upper left corner of the first character
// cell at (x, y), or the current text position for 999, 999.
void draw_text(const char* text, int x, int y);
// Length of text in plot units as draw_text lays it out (no drawing).
int text_width(const char* text);
// draw_text with a temporary angle and height, both restored afterwards.
void text_at(const char* text, int x, int y, int degrees, int h);
// Hardware font in force: width of character code k in plot units, *sp the
// spacing after it; passes the character to the PostScript or PDF device
// unless measuring (text/hwfont.cpp).
float hardware_char(int k, float* sp);
// Writes "(name) " and the "%5d font " line of the text height on PostScript.
void ps_font_line();

// Axis systems and axes (axes/).
// Page coordinates of user coordinates of the current axis system, not rounded.
float user_to_plot_x(float x);
float user_to_plot_y(float y);
// Draws one axis: line, ticks, labels and name. kind 1 horizontal X axis, 2
// vertical Y axis; side 0 labels below an X axis or right of a Y axis, 1
// above or left; (x0, y0) the start of the axis (its lower or left end).
// Returns the largest extent of the labels away from the axis.
int draw_axis(float a, float e, float or_, float step, int length, const AxisSettings& set,
              int side, int x0, int y0, int kind);
// Text of label value v of an axis (exponent characters included); axis_kind
// 1 X, 2 Y, 3 Z picks the E/W or N/S letters of geographic labels.
void format_label(float v, float step, const AxisSettings& set, int axis_kind, char* out, int size);
// The colour bar of graf3 with its lower left corner at (x, y), over the Z
// scaling, axis_len_z high (axes/, coloured surfaces).
void draw_colour_bar(int x, int y);

// Calendar (axes/calendar.cpp): date of day count n from the base date,
// which must be defined.
void calendar_date(int n, int* day, int* month, int* year);

// Colour (axes/colour.cpp).
void load_colour_table(int id);   // setvlt without the level check
void select_colour(int index);    // setclr without the checks
uint32_t colour_entry(int index); // table entry index mod 256
int palette_size();               // 9 SMAL, 16 VGA, else 256

// Data plots in user coordinates (axes/curves.cpp).
// Page coordinates of user coordinates of the axis system, each limited to
// -1e6..1e6 (curve, rlvec).
float user_to_page_x(float x);
float user_to_page_y(float y);
// With check_range on, reports a point outside the X or Y user limits on the
// message stream (curve, rlvec).
void report_out_of_scaling(float x, float y);
// Rectangle size of curve3 from the data resolution given by autres, when
// it was given: the page distance between neighbouring points, rounded up,
// one more on file devices (graf3).
void rect_size_from_autres();
// Colour index of a value on the Z scaling of graf3: colour_first..colour_last
// inside, 0 or table_last outside.
int z_colour(float z);

// Polygon fill (draw/fill.cpp). Vertices in plot coordinates.
// A span operation draws one fill line from (xs[0], ys[0]) to (xs[1], ys[1]).
using SpanFunction = void (*)(const float xs[2], const float ys[2]);
// Links the indices 1..count in ascending order of values[index - 1]; equal
// values keep the order of their indices. links[index - 1] is the next index
// (0 ends the list) and links[count] the first; count below 2 gives index 1
// alone (links[0] = 0, links[1] = 1, so links needs two entries then).
void sort_links(const float* values, int count, int16_t* links);
// The span operation of the library's callers: pen_move_to, pen_draw_to.
void draw_span(const float xs[2], const float ys[2]);
// Covers the closed polygon of n vertices with horizontal lines d apart,
// handed to span. Work arrays from the caller: vertex_links n + 1 entries,
// crossings max_crossings, crossing_links max_crossings + 1. More crossings on
// one line than max_crossings: warning 26 with their number, and the fill
// ends there.
void fill_polygon(int n, const float* x, const float* y, float d, int16_t* vertex_links,
                  int max_crossings, float* crossings, int16_t* crossing_links, SpanFunction span);

} // namespace razidu
