// Axis systems, axes and labels, the colour table, data plots in user
// coordinates and the calendar (axes/).
#pragma once

#include <cstdint>

#include "plot/core/state.h"

namespace razidu {

// Axis systems and axes (axes/).
// Map axis system: lengths len_x x len_y from the lower left corner, the
// scalings xa..xe and ya..ye, the clip window and the frame; no axes.
void define_map_axes(float xa, float xe, float ya, float ye, int len_x, int len_y);
// Checks and stores the Z scaling of a colour axis system (graf3's
// warnings); false when it is rejected. Call after the axis lengths are set.
bool define_colour_scaling(float za, float ze, float zor, float zstep);
// Forgets the projection of the map (disini).
void reset_map();
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

} // namespace razidu
