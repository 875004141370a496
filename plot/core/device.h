// Device codes, the device families and their tables of operations. Every
// decision by device code in the library goes through the predicates here;
// everything a family draws goes through its DeviceOps table, which disini
// picks once (device_ops).
//
// A new device: its code and the predicate of its family here, its DeviceOps
// table beside its writer, its keyword in the metafl table (state.cpp) and
// its default file extension (files.cpp).
#pragma once

namespace razidu {

enum DeviceCode : int {
    DEV_NONE = 0,
    DEV_XWIN = 72, // screen windows 72..79 (XWIN, XWI1..XWI8)
    DEV_XWND = 80, // second variant, also CONS and MET1..MET9
    DEV_CONS = 101,
    DEV_VT34 = 103,
    DEV_TEKT = 151,
    DEV_LN03 = 161,
    DEV_GKSL = 201,
    DEV_CGM = 211,
    DEV_WMF = 221,
    DEV_KYOC = 301,
    DEV_HPGL = 401, // HPA4..HPA1 are 402..405
    DEV_POST = 501,
    DEV_PSCL = 502,
    DEV_EPS = 503,
    DEV_PS = 504,
    DEV_PDF = 511,
    DEV_TIFF = 601,
    DEV_IMAG = 602,
    DEV_VIRT = 603,
    DEV_PNG = 604,
    DEV_PPM = 605,
    DEV_BMP = 606,
    DEV_JAVA = 701,
};

// Screen windows: no window is opened on this system; the page is drawn in
// memory and discarded, as for VIRT.
inline bool is_screen(int d) {
    return d > 0 && d < 101;
}
// Terminal and printer graphics files (accepted, drawing discarded).
inline bool is_terminal(int d) {
    return d >= 101 && d <= 200;
}
// Metafiles: GKSL, CGM, WMF.
inline bool is_metafile(int d) {
    return d >= 201 && d <= 300;
}
inline bool is_gksl(int d) {
    return d == DEV_GKSL;
}
inline bool is_cgm(int d) {
    return d == DEV_CGM;
}
inline bool is_wmf(int d) {
    return d == DEV_WMF;
}
inline bool is_kyocera(int d) {
    return d >= 301 && d <= 400;
}
inline bool is_hpgl(int d) {
    return d >= 401 && d <= 500;
}
// PostScript (POST, PSCL, EPS, PS) and PDF.
inline bool is_postscript(int d) {
    return d >= 501 && d <= 504;
}
inline bool is_pdf(int d) {
    return d == DEV_PDF;
}
inline bool is_ps_or_pdf(int d) {
    return d >= 501 && d <= 600;
}
// Raster images, VIRT included.
inline bool is_raster(int d) {
    return d >= 601 && d <= 700;
}
inline bool is_java(int d) {
    return d == DEV_JAVA;
}
// Devices whose page lives in a RasterImage: raster devices and the screen
// windows that stand in for them.
inline bool draws_in_memory(int d) {
    return is_screen(d) || is_raster(d);
}
// Raster devices that write an image file at disfin (all but VIRT).
inline bool writes_image_file(int d) {
    return is_raster(d) && d != DEV_VIRT;
}
// Every device but the screen windows: a data cell gets one more plot unit
// there so that neighbouring cells leave no gap.
inline bool is_file_device(int d) {
    return d > 100;
}
// Screen windows and WMF have window fonts instead of hardware fonts.
inline bool uses_window_fonts(int d) {
    return is_screen(d) || is_wmf(d);
}
// Devices whose "AUTO" screen mode is the reversed one (white paper).
inline bool reverses_by_default(int d) {
    return d == DEV_PDF || d == DEV_EPS || d == DEV_PS;
}
// Devices on which a reversed screen mode swaps background and foreground
// in the colour table.
inline bool swaps_reversed_colours(int d) {
    return is_screen(d) || d == DEV_PSCL || d == DEV_EPS || d == DEV_PS || d == DEV_PDF ||
           is_raster(d) || is_java(d);
}
// Devices that print on white paper: the plain colour scales put black in
// the foreground there.
inline bool is_paper_device(int d) {
    return d == DEV_POST || d == DEV_WMF || d == DEV_CGM || d == DEV_JAVA;
}
// Devices whose file name is versioned when the plot opens (a BMP image only
// when it is written, VIRT never).
inline bool versions_name_at_open(int d) {
    return !is_raster(d) || (d != DEV_VIRT && d != DEV_BMP);
}

// How the device's page lies against the plot page: plot axes kept (raster,
// GKSL), y pointing up (CGM), or y pointing up with a landscape page turned
// by 90 degrees so that plot x runs along the device's y axis (PostScript,
// PDF).
enum class PageAxes { Plot, FlipY, TurnLandscape };

// Operations of one device family, its table written in this order. The
// primitives (plot_pen, device_colour, fill_rect) count, apply the page
// transform and call these; a null entry does nothing (a null fill draws
// the rectangle with strokes).
struct DeviceOps {
    PageAxes axes = PageAxes::Plot;
    // Mode the plot file is opened in at disini ("w", "wb"); null: the
    // device opens no plot stream (raster, PDF, WMF).
    const char* file_mode = nullptr;
    // Device scale and opening actions, after the plot file is open (disini).
    void (*open)() = nullptr;
    // Pen move (3) or draw (2) to a device point (page point * device_scale).
    void (*pen)(float x, float y, int pen) = nullptr;
    // Colour-table entry n, components r, g, b, becomes the drawing colour.
    void (*colour)(int n, int r, int g, int b) = nullptr;
    // Filled rectangle between two page points (plot units, not scaled;
    // corner 1 from the lower plot corner) in colour c; null: filled by
    // serpentine strokes through the pen.
    void (*fill)(float x1, float y1, float x2, float y2, int c) = nullptr;
    // Hardware fonts (PostScript, PDF): the font size is text height *
    // font_scale / 4; font selects the font in force on the device (full:
    // name and re-encoding, else the size line only); character shows one
    // character of width w and that size at the text position.
    float font_scale = 0;
    void (*font)(bool full) = nullptr;
    void (*character)(int k, float w, int size) = nullptr;
    // Ends the page and the file (disfin, after the last polyline);
    // returns the report flag: 1 when a file was written.
    int (*finish)() = nullptr;
    // Clears the page (erase).
    void (*erase)() = nullptr;
    // Filled polygon of n page points (plot units, not scaled; already cut to
    // the clip window) in colour c; null: covered by strokes through the pen.
    void (*polygon)(const float* x, const float* y, int n, int c) = nullptr;
};

// The tables of the families, each beside its writer.
extern const DeviceOps kRasterOps;     // raster/raster.cpp: screen windows and images
extern const DeviceOps kPostScriptOps; // vector/postscript.cpp
extern const DeviceOps kPdfOps;        // vector/pdf.cpp
extern const DeviceOps kCgmOps;        // vector/cgm.cpp
extern const DeviceOps kGkslOps;       // vector/gksl.cpp
// vector/plain_devices.cpp: devices that keep only their keyword and file.
extern const DeviceOps kTerminalOps, kWmfOps, kKyoceraOps, kHpglOps, kJavaOps;

// The table of device code d.
inline const DeviceOps& device_ops(int d) {
    if (draws_in_memory(d)) return kRasterOps;
    if (is_postscript(d)) return kPostScriptOps;
    if (is_pdf(d)) return kPdfOps;
    if (is_cgm(d)) return kCgmOps;
    if (is_gksl(d)) return kGkslOps;
    if (is_wmf(d)) return kWmfOps;
    if (is_kyocera(d)) return kKyoceraOps;
    if (is_hpgl(d)) return kHpglOps;
    if (is_java(d)) return kJavaOps;
    return kTerminalOps;
}

} // namespace razidu
