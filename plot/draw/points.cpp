// Lines through points given in plot units.
#include "plot/core/state.h"
#include "plot/draw/draw.h"
#include "plot/razidu.h"

namespace razidu {

void strtpt(float x, float y) {
    if (check_level(1, 3, "strtpt")) return;
    dash_move_to(x, y);
}

void connpt(float x, float y) {
    if (check_level(1, 3, "connpt")) return;
    dash_draw_to(x, y);
}

} // namespace razidu
