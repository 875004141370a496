// Entry points of the PostScript, PDF and CGM writers, called by the
// primitive dispatch (core/dispatch.cpp) and by disini / disfin.
//
// PENDING: the writers themselves are not built yet. pending_writers.cpp
// holds placeholders that write nothing (the PostScript prolog, the CGM
// header) or create no file at all (PDF). The vector writer module replaces
// that file; the dispatch already produces the drawing commands, the
// 80-byte CGM records and the PostScript line buffer around these calls.
#pragma once

#include <cstdio>

namespace razidu {

// Header and prolog of a PostScript or EPS file, written straight to the
// open plot stream; uses g_plot.ps.page_factor and device_scale.
void write_ps_prolog(FILE* stream);

// CGM metafile and picture header through put_record_bytes (mode 1).
void cgm_begin(int mode);

// Starts a PDF file of w x h points; mode % 2 switches compression on.
// status 0, -1 file not opened, -2 no memory.
void pdf_open(const char* file, int w, int h, int mode, int* status);
// op 3 move, 2 line, 1 end the page and finish the file.
void pdf_path(float x, float y, int op);
// which 0 stroking, 1 filling colour; components 0..255.
void pdf_colour(int r, int g, int b, int which);
// Fills a rectangle in the filling colour (points).
void pdf_rect(float x, float y, float w, float h);
// Shows one character of the hardware font: code, text matrix (cos, sin,
// -sin, cos, x, y in points), angle in degrees, font slot (the position of
// the font in the standard list) and font size in points. Called by the
// hardware-font text output.
void pdf_text(int code, const float m[6], int angle, int slot, float size);

} // namespace razidu
