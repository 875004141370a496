// Vector arrows: a shaft between two points with heads whose width, length,
// form and position come from the four decimal digits of an arrow code.
#include "plot/core/state.h"
#include "plot/core/messages.h"
#include "plot/draw/draw.h"
#include "plot/axes/axes.h"
#include "plot/razidu.h"

#include <cmath>

namespace razidu {

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kFillDistance = 0.75f; // fill lines of solid heads
constexpr int kHeadCrossings = 4;

void line(float x1, float y1, float x2, float y2) {
    pen_move_to(x1, y1);
    pen_draw_to(x2, y2);
}

// One head: tip T, base centre B, half-width w along the normal (s, c).
void head(float tx, float ty, float bx, float by, float w, float s, float c, int form) {
    const float px[3] = {bx - w * s, tx, bx + w * s};
    const float py[3] = {by - w * c, ty, by + w * c};
    pen_move_to(px[0], py[0]);
    pen_draw_to(px[1], py[1]);
    pen_draw_to(px[2], py[2]);
    if (form != 2) pen_draw_to(px[0], py[0]);
    if (form == 0) {
        int16_t vertex_links[4];
        float crossings[kHeadCrossings];
        int16_t crossing_links[kHeadCrossings + 1];
        fill_polygon(3, px, py, kFillDistance, vertex_links, kHeadCrossings, crossings,
                     crossing_links, draw_span);
    }
}

// The arrow without the level check (vector and rlvec).
void draw_vector(int ix1, int iy1, int ix2, int iy2, int code) {
    const int d1 = code / 1000;
    const int d2 = code % 1000 / 100;
    const int d3 = code % 100 / 10;
    const int d4 = code % 10;
    if (!(d3 == 1 && d4 != 0)) line(float(ix1), float(iy1), float(ix2), float(iy2));
    if (d4 == 0) return;
    if (d3 < 0 || d3 > 3) {
        warning_with_number(2, d3);
        return;
    }
    if (d4 < 0 || d4 > 3) {
        warning_with_number(2, d4);
        return;
    }
    const float len_head = 10.0f * float(d2) + 10.0f;
    const float w = (float(d1) + 0.5f) / 4.5f * len_head;

    // Direction in the mathematical sense (page y grows downwards).
    float theta;
    if (ix2 == ix1) {
        theta = iy1 < iy2 ? -kPi / 2 : kPi / 2;
    } else {
        theta = std::atan((float(iy1) - float(iy2)) / (float(ix2) - float(ix1)));
        if (iy1 == iy2 && ix2 < ix1) theta = kPi;
        if (iy1 > iy2 && ix2 < ix1) theta += kPi;
        if (iy1 < iy2 && ix2 < ix1) theta -= kPi;
    }
    const float s = std::sin(theta), c = std::cos(theta);
    // In float: coordinates far apart must not overflow.
    const float len =
        iy1 != iy2 ? std::fabs((float(iy1) - float(iy2)) / s) : std::fabs(float(ix2) - float(ix1));
    const float x1 = float(ix1), y1 = float(iy1);

    if (d3 == 1) {
        const float from = d4 >= 2 ? len_head : 0.0f;
        line(x1 + from * c, y1 - from * s, x1 + (len - len_head) * c, y1 - (len - len_head) * s);
    }
    head(float(ix2), float(iy2), x1 + (len - len_head) * c, y1 - (len - len_head) * s, w, s, c, d3);
    if (d4 == 2)
        head(x1, y1, x1 + len_head * c, y1 - len_head * s, w, s, c, d3);
    else if (d4 == 3)
        head(x1 + len_head * c, y1 - len_head * s, x1, y1, w, s, c, d3);
}

// Half away from zero.
int round_half_away(float v) {
    return static_cast<int>(v < 0 ? v - 0.5f : v + 0.5f);
}

} // namespace

void vector(int ix1, int iy1, int ix2, int iy2, int code) {
    if (check_level(1, 3, "vector")) return;
    draw_vector(ix1, iy1, ix2, iy2, code);
}

void rlvec(float x1, float y1, float x2, float y2, int code) {
    if (check_level(2, 3, "rlvec")) return;
    report_out_of_scaling(x1, y1);
    report_out_of_scaling(x2, y2);
    const float px1 = user_to_page_x(x1), py1 = user_to_page_y(y1);
    const float px2 = user_to_page_x(x2), py2 = user_to_page_y(y2);
    clip_to_axis_system();
    draw_vector(round_half_away(px1), round_half_away(py1), round_half_away(px2),
                round_half_away(py2), code);
    restore_clip();
}

} // namespace razidu
