// Line drawing: the pen and pattern stages, clipping (pen.cpp,
// linestyle.cpp) and the polygon fill (fill.cpp).
#pragma once

#include <cstdint>

namespace razidu {

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
