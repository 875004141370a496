// Titles: up to four lines stored by titlin and drawn centred above the axis
// system by title, line 4 lowest, each earlier line 1.5 text heights higher.
#include "plot/core/state.h"
#include "plot/razidu.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace razidu {

void titlin(const char* text, int n) {
    if (check_level(1, 3, "titlin")) return;
    const long long k = std::llabs(n); // |INT_MIN| does not fit an int
    if (k < 1 || k > 4) {
        if (k <= INT_MAX) {
            warning_with_number(2, int(k));
        } else {
            char value[24];
            std::snprintf(value, sizeof value, "%4lld", k);
            warning_with_text(2, value);
        }
        return;
    }
    TitleState& t = g_plot.titles;
    std::snprintf(t.line[k - 1], sizeof t.line[k - 1], "%.132s", text ? text : "");
    t.underline[k - 1] = n < 0 ? 1 : 0;
}

void title() {
    if (check_level(2, 3, "title")) return;
    const AxisState& a = g_plot.axis;
    const TitleState& t = g_plot.titles;
    const int h = g_plot.text.height;
    for (int i = 1; i <= 4; ++i) {
        const char* text = t.line[i - 1];
        const int w = text_width(text);
        if (w == 0) continue;
        const int x = a.pos_x + (a.len_x - w) / 2;
        const int y = static_cast<int>(float(a.pos_y - a.len_y) - float(4 - i) * 1.5f * float(h) -
                                       3.0f * float(h));
        text_at(text, x, y, 0, h);
        if (t.underline[i - 1]) {
            const int yu = static_cast<int>(float(y) + 1.2f * float(h));
            dash_move_to(float(x - h / 2), float(yu));
            dash_draw_to(float(x + w + h / 2), float(yu));
        }
    }
}

} // namespace razidu
