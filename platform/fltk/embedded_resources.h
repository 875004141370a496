// Pictures built into the program from resources/ (generated at configure
// time from the committed PNG files).
#pragma once

namespace platform::fltk::embedded {

extern const unsigned char startup_png[]; // the start-up picture, 323 x 246
extern const int startup_png_size;
extern const unsigned char icon_png[]; // the window icon, 48 x 48
extern const int icon_png_size;

} // namespace platform::fltk::embedded
