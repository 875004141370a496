// Entry of the window module that kivar loads with dlopen when it opens its
// window: the FLTK backend, or nullptr when no X display can be opened.
#include "platform/fltk/fltk_window.h"

extern "C" platform::Backend* kivar_window_backend() {
    return platform::fltk::display_available() ? &platform::fltk::backend() : nullptr;
}
