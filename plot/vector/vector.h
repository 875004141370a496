// Entry points of the PostScript, PDF and CGM writers below their device
// operations (plot/core/device.h).
#pragma once

#include <cstdio>

namespace razidu {

// Header, prolog, page scaling and black background of a PostScript or EPS
// file, written straight to the open plot stream (nothing when it is null);
// uses g_plot.ps.page_factor, device_scale, the page and screen_mode.
void write_ps_prolog(FILE* stream);

// PostScript line buffer: appends text in pieces that end with a blank,
// lines of at most 80 characters; n -1 writes out the pending line.
void put_ps_words(const char* text, int n);
// PostScript path buffer, points in PostScript units: pen 2 draw, 3 move,
// 999 end the path.
void ps_path_point(float x, float y, int pen);

// CGM metafile and picture header through cgm_put_bytes (mode 1).
void cgm_begin(int mode);
// CGM record buffer: the bytes are cut into 80-byte records.
void cgm_put_bytes(const void* bytes, int n);
// CGM path buffer, points in CGM units; pens as ps_path_point.
void cgm_path_point(float x, float y, int pen);

// Starts a PDF file of w x h points; mode % 2 switches compression on.
// status 0, -1 file not opened, -2 no memory for the object table.
void pdf_open(const char* file, int w, int h, int mode, int* status);
// op 3 move, 2 line, 1 end the page and finish the file.
void pdf_path(float x, float y, int op);
// which 0 stroking, 1 filling colour; components 0..255.
void pdf_colour(int r, int g, int b, int which);
// Fills a rectangle in the filling colour (points).
void pdf_rect(float x, float y, float w, float h);
// Shows one character of the hardware font: code, text matrix (cos, sin,
// -sin, cos, x, y in points), angle in degrees, font slot (the position of
// the font in the standard list, 0..34) and font size in points, written as
// a whole number. Called by the hardware-font text output.
void pdf_text(int code, const float m[6], int angle, int slot, float size);
// The one output routine of the PDF writer: into the content buffer while a
// compressed content stream is open, else to the file. n -1: text up to NUL.
void pdf_write(const void* bytes, int n);
// Records the offset and kind of object n and writes "n 0 obj".
void pdf_begin_object(int n, int kind);

} // namespace razidu
