// The drawing primitives and the page transform (dispatch.cpp), through
// the operations of the device in force (device.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace razidu {

// Truncation to int kept in range (NaN gives 0): a far-off coordinate lands
// far off the page instead of wrapping around.
int trunc_int(float v);
// Integer device coordinate: truncation of v + 0.5, kept in int range.
int round_unit(float v);
// Colour index n taken into 0..255.
int wrap_colour(int n);

// Primitive dispatch (dispatch.cpp). Coordinates in plot units. Lines go
// pen_move_to / pen_draw_to -> flush_polyline (clipped) -> plot_pen; only
// the pen stage calls plot_pen for lines, so that they are clipped.
// 1 when the device turns the page in force (a landscape page on PostScript
// and PDF): plot x runs along the device's y axis.
bool page_turned();
// Page point of a plot point on the device in force, in plot units: turned,
// y flipped or unchanged as the device's page axes lie (DeviceOps::axes).
void page_point(float x, float y, float* px, float* py);
// The page point in device units (times device_scale).
void device_point(float x, float y, float* dx, float* dy);
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
// Filled polygon of n plot points (n >= 3) in colour c, cut to the clip
// window; the same edge of two polygons is filled by exactly one of them on
// raster devices, so that a mesh of polygons leaves no gap and no overlap.
void fill_polygon_plot(const float* x, const float* y, int n, int c);
// Bytes to the plot file (nothing when none is open).
void write_plot_stream(const void* bytes, size_t n);
// Output record of the text devices: a record that would grow beyond
// record_length is ended with a line feed and written first.
void put_record_bytes(const void* bytes, int n);
// Writes out a non-empty record of a text device, ended with a line feed.
void write_pending_record();

} // namespace razidu
