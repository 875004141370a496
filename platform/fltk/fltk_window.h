// The desktop window: a backend of the platform layer that builds the dialog
// from its template with FLTK 1.3 and shows it on an X display.
//
// Layout: 2 pixels per dialog unit in both directions, the menu bar above the
// controls; the window has a fixed size. Input is blocked while a command
// runs; refresh() lets the window repaint meanwhile.
//
// Pictures: show_picture loads BMP files; the name ":startup" stands for the
// start-up picture built into the program (323 x 246 pixels).
//
// Test hook: when the environment variable KIVAR_GUI_TRACE names a file, every
// message box, text and title change, list change and picture shown is
// appended to it as one line (see trace lines in fltk_backend.cpp), so that
// end-to-end tests can read the window's state without screen scraping.
#pragma once

#include "platform/platform.h"

namespace platform::fltk {

// True when an X display can be opened (DISPLAY set and the server answers).
// Call before run(): FLTK itself ends the process when it has no display.
bool display_available();

// The FLTK backend; install it with platform::set_backend before run_dialog.
Backend& backend();

// Installs the FLTK backend and runs the dialog until end_dialog or the close
// box. Returns the dialog's result (0 closed, otherwise end_dialog's value),
// or -1 when no display is available (nothing is shown then).
int run(const DialogTemplate& dialog, const DialogHandlers& handlers);

} // namespace platform::fltk
