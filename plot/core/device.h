// Device codes and the device families. Every decision by device family in
// the library goes through these predicates.
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
// PostScript and PDF turn a landscape page by 90 degrees.
inline bool turns_landscape(int d) {
    return is_ps_or_pdf(d);
}

} // namespace razidu
