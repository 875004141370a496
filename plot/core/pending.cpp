// Public routines whose drawing comes with later modules. Each checks its
// level (so misuse is reported with its own name) and does nothing else
// yet. A module that implements a routine removes it from this file.
#include "plot/core/state.h"
#include "plot/razidu.h"

namespace razidu {

// ------------------------------------------------------------ coloured surfaces
// Rectangle resolution, colour-bar width, coloured cells and the colour bar.

// PENDING: the colour bar of graf3 comes with the coloured-surface module;
// graf3 already calls this with the bar's lower left corner.
void draw_colour_bar(int, int) {}

void autres(int, int) {
    check_level(1, 1, "autres");
}
void widbar(int) {
    check_level(1, 3, "widbar");
}
void curve3(const float*, const float*, const float*, int) {
    check_level(3, 3, "curve3");
}

// ------------------------------------------------------------ curve and vector module

void curve(const float*, const float*, int) {
    check_level(2, 3, "curve");
}
void rlvec(float, float, float, float, int) {
    check_level(2, 3, "rlvec");
}
void vector(int, int, int, int, int) {
    check_level(1, 3, "vector");
}

// ------------------------------------------------------------ title module

void titlin(const char*, int) {
    check_level(1, 3, "titlin");
}
void title() {
    check_level(2, 3, "title");
}

} // namespace razidu
