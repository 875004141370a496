// Scan-line polygon fill: the polygon is covered with horizontal lines d
// apart, drawn through the pen stage, so that a filled area looks alike and
// is clipped alike on every device. Sorting works on linked lists of 1-based
// indices in the caller's work arrays; nothing is allocated.
#include "plot/core/state.h"

#include <cmath>
#include <utility>

namespace razidu {

namespace {

inline int next_of(const int16_t* links, int i) {
    return links[i - 1];
}
inline void set_next(int16_t* links, int i, int next) {
    links[i - 1] = static_cast<int16_t>(next);
}

// Merges two sorted lists; on equal values the first list goes first.
int merge_lists(const float* v, int16_t* links, int a, int b) {
    int head = 0, tail = 0;
    while (a && b) {
        int take;
        if (v[a - 1] <= v[b - 1]) {
            take = a;
            a = next_of(links, a);
        } else {
            take = b;
            b = next_of(links, b);
        }
        if (tail)
            set_next(links, tail, take);
        else
            head = take;
        tail = take;
    }
    int rest = a ? a : b;
    if (tail)
        set_next(links, tail, rest);
    else
        head = rest;
    return head;
}

// Sorts the list of len entries starting at head; returns the new head.
int sort_list(const float* v, int16_t* links, int head, int len) {
    if (len <= 1) {
        if (len == 1) set_next(links, head, 0);
        return head;
    }
    const int half = len / 2;
    int mid = head;
    for (int k = 1; k < half; ++k)
        mid = next_of(links, mid);
    int second = next_of(links, mid);
    set_next(links, mid, 0);
    int left = sort_list(v, links, head, half);
    int right = sort_list(v, links, second, len - half);
    return merge_lists(v, links, left, right);
}

} // namespace

void sort_links(const float* values, int count, int16_t* links) {
    if (count < 2) { // index 1 alone: it ends the list and is its head
        links[0] = 0;
        links[1] = 1;
        return;
    }
    for (int i = 1; i < count; ++i)
        set_next(links, i, i + 1);
    set_next(links, count, 0);
    links[count] = static_cast<int16_t>(sort_list(values, links, 1, count));
}

void draw_span(const float xs[2], const float ys[2]) {
    pen_move_to(xs[0], ys[0]);
    pen_draw_to(xs[1], ys[1]);
}

void fill_polygon(int n, const float* x, const float* y, float d, int16_t* vertex_links,
                  int max_crossings, float* crossings, int16_t* crossing_links, SpanFunction span) {
    if (n < 2 || !(d > 0.0f)) return;
    float ymin = y[0], ymax = y[0];
    for (int i = 1; i < n; ++i) {
        if (y[i] < ymin) ymin = y[i];
        if (y[i] > ymax) ymax = y[i];
    }
    // Vertices that are not numbers, or lie beyond a billion lines, give no
    // lines to draw.
    if (!(std::fabs(ymin / d) < 1e9f && std::fabs(ymax / d) < 1e9f)) return;
    const float first_line = d * static_cast<float>(static_cast<int>(ymin / d - 0.5f));
    const float last_limit = ymax + 0.5f * d;

    for (int pass = 1;; ++pass) {
        sort_links(y, n, vertex_links);
        int most = 0;              // largest number of crossings left on a line
        bool right_to_left = true; // flipped before each line
        for (int line = 0;; ++line) {
            const float ly = first_line + static_cast<float>(line) * d;
            if (ly > last_limit) break;
            right_to_left = !right_to_left;

            // Crossings of the edges that leave the vertices above this line
            // towards vertices below it.
            int c = 0;
            bool too_many = false; // then the crossings are only counted
            int prev = 0;
            int v = vertex_links[n];
            while (v && y[v - 1] <= ly) {
                const int after = next_of(vertex_links, v);
                const int nb[2] = {v == n ? 1 : v + 1, v == 1 ? n : v - 1};
                const float yv = y[v - 1];
                const float y0 = y[nb[0] - 1], y1 = y[nb[1] - 1];
                if ((y0 <= yv && y1 <= yv) || (y0 <= ly && y1 <= ly)) {
                    // Both edges end above the line: finished for this pass.
                    if (prev)
                        set_next(vertex_links, prev, after);
                    else
                        vertex_links[n] = static_cast<int16_t>(after);
                    v = after;
                    continue;
                }
                for (int k = 0; k < 2; ++k) {
                    const float yn = y[nb[k] - 1];
                    if (yn <= ly) continue;
                    if (++c > max_crossings) too_many = true;
                    if (too_many) continue;
                    const float xv = x[v - 1], xn = x[nb[k] - 1];
                    crossings[c - 1] = xv + (ly - yv) / (yn - yv) * (xn - xv);
                }
                prev = v;
                v = after;
            }
            if (too_many) { // the warning gives how many there are
                warning_with_number(26, c);
                return;
            }
            if (c == 0) continue;

            // Sort by x and cancel pairs of equal crossings.
            sort_links(crossings, c, crossing_links);
            bool removed = true;
            while (removed) {
                removed = false;
                int before = 0;
                for (int a = crossing_links[c]; a; before = a, a = next_of(crossing_links, a)) {
                    const int b = next_of(crossing_links, a);
                    if (b && crossings[a - 1] == crossings[b - 1]) {
                        const int rest = next_of(crossing_links, b);
                        if (before)
                            set_next(crossing_links, before, rest);
                        else
                            crossing_links[c] = static_cast<int16_t>(rest);
                        removed = true;
                        break;
                    }
                }
            }
            int left = 0;
            for (int a = crossing_links[c]; a; a = next_of(crossing_links, a))
                ++left;
            if (left == 0) continue;
            if (left > most) most = left;

            // Spans pair the crossings: 1st with 2nd, 3rd with 4th, ...
            const int first_span = pass;
            const bool only_one = pass <= 4;
            int a = crossing_links[c];
            for (int s = 1; a; ++s) {
                const int b = next_of(crossing_links, a);
                if (!b) break; // an odd crossing left over pairs with nothing
                if (s >= first_span && (!only_one || s == first_span)) {
                    float xs[2] = {crossings[a - 1], crossings[b - 1]};
                    if (only_one && right_to_left) std::swap(xs[0], xs[1]);
                    const float ys[2] = {ly, ly};
                    span(xs, ys);
                }
                a = next_of(crossing_links, b);
            }
        }
        const int reached = pass <= 4 ? 2 * pass : most;
        if (most <= reached) return;
    }
}

} // namespace razidu
