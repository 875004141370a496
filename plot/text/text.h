// Stroke-font and hardware-font text (text.cpp, hwfont.cpp).
#pragma once

namespace razidu {

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
// Text angle on the device: turned with a turned page.
int device_text_angle();

} // namespace razidu
