// Isolines (isolin) and their labels (isolab). Tracing runs marching squares
// over the cells of the grid and joins the crossings into polylines through
// the cell edges they share, so that every line is one polyline without gaps
// or repeated pieces. Drawing places the labels first (upright, in the stroke
// font, never overlapping one another), then draws every line broken under
// every label, then the labels.
#include "plot/axes/contour.h"

#include "plot/core/state.h"
#include "plot/core/messages.h"
#include "plot/core/dispatch.h"
#include "plot/draw/draw.h"
#include "plot/text/text.h"
#include "plot/axes/axes.h"
#include "plot/razidu.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace razidu {

namespace {

// A crossing edge of the grid: horizontal edges (i, j)-(i + 1, j) first,
// numbered j * (nx - 1) + i, then vertical edges (i, j)-(i, j + 1), numbered
// after them as j * nx + i.
struct EdgeNumbers {
    int64_t nx, horizontal;
    explicit EdgeNumbers(const IsoGrid& g) : nx(g.nx), horizontal(int64_t(g.nx - 1) * g.ny) {}
    int32_t h(int64_t i, int64_t j) const { return int32_t(j * (nx - 1) + i); }
    int32_t v(int64_t i, int64_t j) const { return int32_t(horizontal + j * nx + i); }
};

void add_link(IsoWork& w, int32_t e, int32_t f) {
    int32_t* l = &w.link[size_t(e) * 2];
    if (l[0] < 0 && l[1] < 0) w.touched.push_back(e);
    (l[0] < 0 ? l[0] : l[1]) = f;
}

void join(IsoWork& w, int32_t e, int32_t f) {
    add_link(w, e, f);
    add_link(w, f, e);
}

void unlink(IsoWork& w, int32_t e, int32_t f) {
    int32_t* l = &w.link[size_t(e) * 2];
    if (l[0] == f)
        l[0] = -1;
    else if (l[1] == f)
        l[1] = -1;
}

int degree(const IsoWork& w, int32_t e) {
    return (w.link[size_t(e) * 2] >= 0) + (w.link[size_t(e) * 2 + 1] >= 0);
}

// The point where the level crosses edge e.
void crossing(const IsoGrid& g, const EdgeNumbers& en, float level, int32_t e, float* x, float* y) {
    if (e < en.horizontal) {
        const int64_t j = e / (g.nx - 1), i = e % (g.nx - 1);
        const float z0 = g.z[j * g.nx + i], z1 = g.z[j * g.nx + i + 1];
        const float t = (level - z0) / (z1 - z0);
        *x = g.x[i] + t * (g.x[i + 1] - g.x[i]);
        *y = g.y[j];
    } else {
        const int64_t k = e - en.horizontal, j = k / g.nx, i = k % g.nx;
        const float z0 = g.z[j * g.nx + i], z1 = g.z[(j + 1) * g.nx + i];
        const float t = (level - z0) / (z1 - z0);
        *x = g.x[i];
        *y = g.y[j] + t * (g.y[j + 1] - g.y[j]);
    }
}

// Follows the links from edge start, removing each link it takes, and hands
// the line to the sink.
void follow(const IsoGrid& g, const EdgeNumbers& en, float level, int32_t start, IsoWork& w,
            IsoLineSink sink, void* data) {
    w.px.clear();
    w.py.clear();
    const auto emit = [&](int32_t e) {
        float x, y;
        crossing(g, en, level, e, &x, &y);
        // A line through a grid point crosses two edges there: one point.
        if (!w.px.empty() && w.px.back() == x && w.py.back() == y) return;
        w.px.push_back(x);
        w.py.push_back(y);
    };
    emit(start);
    int32_t cur = start;
    for (;;) {
        const int32_t* l = &w.link[size_t(cur) * 2];
        const int32_t next = l[0] >= 0 ? l[0] : l[1];
        if (next < 0) break;
        unlink(w, cur, next);
        unlink(w, next, cur);
        emit(next);
        cur = next;
    }
    const bool closed = cur == start && w.px.size() > 2;
    if (w.px.size() >= 2) sink(w.px.data(), w.py.data(), int(w.px.size()), closed, data);
}

} // namespace

void prepare_isolines(const IsoGrid& g, IsoWork& w) {
    const size_t cells = size_t(g.nx - 1) * size_t(g.ny - 1);
    const size_t edges = size_t(g.nx - 1) * size_t(g.ny) + size_t(g.nx) * size_t(g.ny - 1);
    w.cell_min.resize(cells);
    w.cell_max.resize(cells);
    const size_t blocksPerRow = size_t(g.nx - 1 + kIsoBlock - 1) / kIsoBlock;
    w.block_min.assign(blocksPerRow * size_t(g.ny - 1), INFINITY);
    w.block_max.assign(blocksPerRow * size_t(g.ny - 1), -INFINITY);
    w.link.assign(edges * 2, -1);
    w.touched.clear();
    size_t c = 0;
    for (int j = 0; j + 1 < g.ny; ++j) {
        const float* r0 = g.z + size_t(j) * size_t(g.nx);
        const float* r1 = r0 + g.nx;
        for (int i = 0; i + 1 < g.nx; ++i, ++c) {
            const float a = r0[i], b = r0[i + 1], d = r1[i], e = r1[i + 1];
            if (std::isnan(a) || std::isnan(b) || std::isnan(d) || std::isnan(e)) {
                // No level lies between +inf and -inf: the cell is left out.
                w.cell_min[c] = INFINITY;
                w.cell_max[c] = -INFINITY;
                continue;
            }
            w.cell_min[c] = std::min(std::min(a, b), std::min(d, e));
            w.cell_max[c] = std::max(std::max(a, b), std::max(d, e));
            const size_t k = size_t(j) * blocksPerRow + size_t(i / kIsoBlock);
            w.block_min[k] = std::min(w.block_min[k], w.cell_min[c]);
            w.block_max[k] = std::max(w.block_max[k], w.cell_max[c]);
        }
    }
}

void trace_isolines(const IsoGrid& g, float level, IsoWork& w, IsoLineSink sink, void* data) {
    const EdgeNumbers en(g);
    const size_t blocksPerRow = size_t(g.nx - 1 + kIsoBlock - 1) / kIsoBlock;
    for (int j = 0; j + 1 < g.ny; ++j) {
        const float* r0 = g.z + size_t(j) * size_t(g.nx);
        const float* r1 = r0 + g.nx;
        const size_t rowCells = size_t(j) * size_t(g.nx - 1);
        for (int i = 0; i + 1 < g.nx; ++i) {
            if (i % kIsoBlock == 0) {
                // A block of cells the level does not cross is passed over.
                const size_t k = size_t(j) * blocksPerRow + size_t(i / kIsoBlock);
                if (!(w.block_min[k] < level && level <= w.block_max[k])) {
                    i += kIsoBlock - 1;
                    continue;
                }
            }
            const size_t c = rowCells + size_t(i);
            // All four corners above (>= level) or all below: no crossing.
            if (!(w.cell_min[c] < level && level <= w.cell_max[c])) continue;
            // Corners a (i, j), b (i + 1, j), e (i + 1, j + 1), d (i, j + 1).
            const bool a = r0[i] >= level, b = r0[i + 1] >= level;
            const bool e = r1[i + 1] >= level, d = r1[i] >= level;
            const int32_t bottom = en.h(i, j), right = en.v(i + 1, j);
            const int32_t top = en.h(i, j + 1), left = en.v(i, j);
            int32_t cross[4];
            int n = 0;
            if (a != b) cross[n++] = bottom;
            if (b != e) cross[n++] = right;
            if (e != d) cross[n++] = top;
            if (d != a) cross[n++] = left;
            if (n == 2) {
                join(w, cross[0], cross[1]);
            } else if (n == 4) {
                // Saddle: a and e on one side, b and d on the other. The mean
                // of the corners decides which pair the lines keep joined.
                const float mean = 0.25f * (r0[i] + r0[i + 1] + r1[i] + r1[i + 1]);
                if ((mean >= level) == a) {
                    join(w, bottom, right); // around b
                    join(w, top, left);     // around d
                } else {
                    join(w, left, bottom); // around a
                    join(w, right, top);   // around e
                }
            }
        }
    }
    // Open lines start at an edge with one link, closed ones anywhere.
    for (size_t k = 0; k < w.touched.size(); ++k)
        if (degree(w, w.touched[k]) == 1) follow(g, en, level, w.touched[k], w, sink, data);
    for (size_t k = 0; k < w.touched.size(); ++k)
        if (degree(w, w.touched[k]) == 2) follow(g, en, level, w.touched[k], w, sink, data);
    w.touched.clear();
}

// ------------------------------------------------------------ drawing

namespace {

struct PageLine {
    size_t start;
    int n;
    int level;
};

struct LabelBox {
    float x0, y0, x1, y1;
    int level;
};

// Every line of one isolin call in page coordinates.
struct PageLines {
    std::vector<float> x, y;
    std::vector<PageLine> lines;
    int level = 0;
};

IsoVertexMap g_vertex_map = nullptr;
void* g_vertex_data = nullptr;

void collect_line(const float* x, const float* y, int n, bool, void* data) {
    PageLines& p = *static_cast<PageLines*>(data);
    if (!g_vertex_map) {
        p.lines.push_back({p.x.size(), n, p.level});
        for (int k = 0; k < n; ++k) {
            p.x.push_back(user_to_page_x(x[k]));
            p.y.push_back(user_to_page_y(y[k]));
        }
        return;
    }
    // Through the caller's map: a point it cannot place ends a piece.
    int run = 0;
    const auto end_piece = [&] {
        if (run >= 2)
            p.lines.push_back({p.x.size() - size_t(run), run, p.level});
        else
            p.x.resize(p.x.size() - size_t(run)), p.y.resize(p.y.size() - size_t(run));
        run = 0;
    };
    for (int k = 0; k < n; ++k) {
        float px, py;
        if (!g_vertex_map(x[k], y[k], &px, &py, g_vertex_data) || !std::isfinite(px) ||
            !std::isfinite(py)) {
            end_piece();
            continue;
        }
        p.x.push_back(std::clamp(px, -1.0e6f, 1.0e6f));
        p.y.push_back(std::clamp(py, -1.0e6f, 1.0e6f));
        ++run;
    }
    end_piece();
}

// The label of a level with d decimals (-1: an integer without a point); a
// value that rounds to zero carries no sign.
void format_level(float v, int d, char* out, int size) {
    std::snprintf(out, size_t(size), "%.*f", d < 0 ? 0 : d, double(v));
    if (out[0] == '-' && std::strspn(out + 1, "0.") == std::strlen(out + 1))
        std::memmove(out, out + 1, std::strlen(out));
}

// Boxes of the placed labels, found by a coarse grid of buckets over the
// axis system so that each segment tests only the boxes near it.
struct BoxIndex {
    static constexpr int kCells = 32;
    float x0 = 0, y0 = 0, cw = 1, ch = 1;
    std::vector<LabelBox> boxes;
    std::vector<std::vector<int>> bucket;
    std::vector<size_t> seen; // segment that last tested a box, plus one

    void init(float ax0, float ay0, float ax1, float ay1) {
        x0 = ax0;
        y0 = ay0;
        cw = std::max(1.0f, (ax1 - ax0) / kCells);
        ch = std::max(1.0f, (ay1 - ay0) / kCells);
        bucket.assign(kCells * kCells, {});
    }
    int cell_x(float x) const { return std::clamp(int((x - x0) / cw), 0, kCells - 1); }
    int cell_y(float y) const { return std::clamp(int((y - y0) / ch), 0, kCells - 1); }
    bool overlaps(const LabelBox& b) const {
        for (int cy = cell_y(b.y0); cy <= cell_y(b.y1); ++cy)
            for (int cx = cell_x(b.x0); cx <= cell_x(b.x1); ++cx)
                for (int k : bucket[size_t(cy * kCells + cx)]) {
                    const LabelBox& o = boxes[size_t(k)];
                    if (b.x0 < o.x1 && o.x0 < b.x1 && b.y0 < o.y1 && o.y0 < b.y1) return true;
                }
        return false;
    }
    void add(const LabelBox& b) {
        const int k = int(boxes.size());
        boxes.push_back(b);
        seen.push_back(0);
        for (int cy = cell_y(b.y0); cy <= cell_y(b.y1); ++cy)
            for (int cx = cell_x(b.x0); cx <= cell_x(b.x1); ++cx)
                bucket[size_t(cy * kCells + cx)].push_back(k);
    }
};

// Part [t0, t1] of the segment p + t (q - p), 0 <= t <= 1, inside box b;
// false when it misses the box.
bool inside_part(float px, float py, float qx, float qy, const LabelBox& b, float* t0, float* t1) {
    float lo = 0, hi = 1;
    const float d[2] = {qx - px, qy - py}, p[2] = {px, py};
    const float mn[2] = {b.x0, b.y0}, mx[2] = {b.x1, b.y1};
    for (int a = 0; a < 2; ++a) {
        if (d[a] == 0) {
            if (p[a] < mn[a] || p[a] > mx[a]) return false;
            continue;
        }
        float ta = (mn[a] - p[a]) / d[a], tb = (mx[a] - p[a]) / d[a];
        if (ta > tb) std::swap(ta, tb);
        lo = std::max(lo, ta);
        hi = std::min(hi, tb);
        if (lo >= hi) return false;
    }
    *t0 = lo;
    *t1 = hi;
    return true;
}

// Places labels along one line at the spacing: the first half a spacing from
// its start; a line too short for that gets one in its middle when it is at
// least three labels long. A place where the box would leave the axis system
// or overlap another label is tried again a quarter spacing on either side,
// then given up.
void place_labels(const PageLines& p, const PageLine& line, const float* widths, int h,
                  float spacing, const float window[4], BoxIndex& index, std::vector<float>& arc) {
    const float* x = &p.x[line.start];
    const float* y = &p.y[line.start];
    arc.resize(size_t(line.n));
    arc[0] = 0;
    for (int k = 1; k < line.n; ++k)
        arc[size_t(k)] = arc[size_t(k - 1)] + std::hypot(x[k] - x[k - 1], y[k] - y[k - 1]);
    const float length = arc[size_t(line.n - 1)];
    const float w = widths[line.level];
    const float pad = float(h) * 0.3f;
    const auto try_at = [&](float s) {
        if (s < 0 || s > length) return false;
        const size_t k = size_t(std::upper_bound(arc.begin(), arc.end(), s) - arc.begin());
        const size_t a = std::min(std::max<size_t>(k, 1), size_t(line.n - 1)) - 1;
        const float seg = arc[a + 1] - arc[a];
        const float t = seg > 0 ? (s - arc[a]) / seg : 0;
        const float cx = x[a] + t * (x[a + 1] - x[a]), cy = y[a] + t * (y[a + 1] - y[a]);
        const LabelBox b{cx - 0.5f * w - pad, cy - 0.5f * float(h) - pad, cx + 0.5f * w + pad,
                         cy + 0.5f * float(h) + pad, line.level};
        if (b.x0 < window[0] || b.y0 < window[1] || b.x1 > window[2] || b.y1 > window[3])
            return false;
        if (index.overlaps(b)) return false;
        index.add(b);
        return true;
    };
    const auto place = [&](float s) {
        return try_at(s) || try_at(s + 0.25f * spacing) || try_at(s - 0.25f * spacing);
    };
    if (length < spacing) {
        if (length >= 3 * (w + 2 * pad)) place(0.5f * length);
        return;
    }
    for (float s = 0.5f * spacing; s < length; s += spacing)
        place(s);
}

// Draws one line, leaving out what lies under a label.
void draw_line(const float* x, const float* y, int count, BoxIndex& index, size_t& segment_id) {
    dash_restart();
    if (index.boxes.empty()) {
        dash_move_to(x[0], y[0]);
        for (int k = 1; k < count; ++k)
            dash_draw_to(x[k], y[k]);
        return;
    }
    bool pen_at_end = false; // the last piece drawn ended at the current vertex
    float cut[2 * 16];
    for (int k = 1; k < count; ++k) {
        const float ax = x[k - 1], ay = y[k - 1], bx = x[k], by = y[k];
        ++segment_id;
        int n = 0;
        const int cx0 = index.cell_x(std::min(ax, bx)), cx1 = index.cell_x(std::max(ax, bx));
        const int cy0 = index.cell_y(std::min(ay, by)), cy1 = index.cell_y(std::max(ay, by));
        for (int cy = cy0; cy <= cy1; ++cy)
            for (int cx = cx0; cx <= cx1; ++cx)
                for (int b : index.bucket[size_t(cy * BoxIndex::kCells + cx)]) {
                    if (index.seen[size_t(b)] == segment_id || n == 16) continue;
                    index.seen[size_t(b)] = segment_id;
                    if (inside_part(ax, ay, bx, by, index.boxes[size_t(b)], &cut[2 * n],
                                    &cut[2 * n + 1]))
                        ++n;
                }
        // Sort the cut intervals by their start (there are very few).
        for (int i = 1; i < n; ++i)
            for (int j = i; j > 0 && cut[2 * j] < cut[2 * j - 2]; --j) {
                std::swap(cut[2 * j], cut[2 * j - 2]);
                std::swap(cut[2 * j + 1], cut[2 * j - 1]);
            }
        float t = 0;
        const auto piece = [&](float t0, float t1) {
            if (!(pen_at_end && t0 == 0)) dash_move_to(ax + t0 * (bx - ax), ay + t0 * (by - ay));
            dash_draw_to(ax + t1 * (bx - ax), ay + t1 * (by - ay));
        };
        bool reached_end = false;
        for (int i = 0; i < n; ++i) {
            if (cut[2 * i] > t) piece(t, cut[2 * i]);
            t = std::max(t, cut[2 * i + 1]);
        }
        if (t < 1) {
            piece(t, 1);
            reached_end = true;
        }
        pen_at_end = reached_end;
    }
}

// The label boxes of every isolin of the axis system, kept clear by
// draw_cut_polyline.
BoxIndex g_keepout;
size_t g_keepout_segment = 0;

} // namespace

void clear_label_keepout() {
    g_keepout = BoxIndex{};
}

void set_isoline_vertex_map(IsoVertexMap map, void* data) {
    g_vertex_map = map;
    g_vertex_data = data;
}

void draw_cut_polyline(const float* x, const float* y, int n) {
    if (n < 2) return;
    draw_line(x, y, n, g_keepout, g_keepout_segment);
}

void isohal(int colour) {
    if (check_level(1, 3, "isohal")) return;
    if (colour < -1 || colour > 255) {
        warning_with_number(2, colour);
        return;
    }
    g_plot.isolines.halo = colour;
}

void isolab(int spacing, int digits) {
    if (check_level(1, 3, "isolab")) return;
    if (spacing < 0) {
        warning_with_number(2, spacing);
        return;
    }
    if (digits < -1 || digits > 6) {
        warning_with_number(2, digits);
        return;
    }
    g_plot.isolines.label_spacing = spacing;
    g_plot.isolines.label_digits = digits;
}

void isolin(const float* x, int nx, const float* y, int ny, const float* z, const float* levels,
            int n) {
    if (check_level(2, 3, "isolin")) return;
    if (!x || !y || !z || !levels || nx < 2 || ny < 2 || n < 1) {
        warning_with_number(2, nx < 2 ? nx : ny < 2 ? ny : n);
        return;
    }
    // The work space takes about 20 bytes a grid point; far larger grids than
    // any page can show are refused rather than risked.
    if (int64_t(nx) * ny > (int64_t(1) << 26)) {
        warning_with_number(2, nx);
        return;
    }
    const IsoGrid g{x, y, z, nx, ny};
    IsoWork work;
    PageLines lines;
    try {
        prepare_isolines(g, work);
        for (int k = 0; k < n; ++k) {
            lines.level = k;
            trace_isolines(g, levels[k], work, collect_line, &lines);
        }
    } catch (const std::bad_alloc&) {
        warning_with_number(2, nx);
        return;
    }

    const int remembered = g_plot.colour.current;
    const AxisState& a = g_plot.axis;
    const float window[4] = {float(a.clip_x0), float(a.clip_y0), float(a.clip_x1),
                             float(a.clip_y1)};
    BoxIndex index;
    index.init(window[0], window[1], window[2], window[3]);
    TextState& text = g_plot.text;
    const int hardware = text.hardware_font, text_angle = text.angle;
    std::vector<std::array<char, 32>> label_text(static_cast<size_t>(n));
    const IsolineState& iso = g_plot.isolines;
    if (iso.label_spacing > 0) {
        // Labels are measured and drawn upright in the stroke font.
        text.hardware_font = 0;
        if (text_angle != 0) set_text_angle(0);
        std::vector<float> widths(static_cast<size_t>(n));
        for (int k = 0; k < n; ++k) {
            format_level(levels[k], iso.label_digits, label_text[size_t(k)].data(), 32);
            widths[size_t(k)] = float(text_width(label_text[size_t(k)].data()));
        }
        std::vector<float> arc;
        for (const PageLine& line : lines.lines)
            place_labels(lines, line, widths.data(), text.height, float(iso.label_spacing), window,
                         index, arc);
    }

    clip_to_axis_system();
    const int check = g_plot.check_range;
    g_plot.check_range = 0;
    size_t segment_id = 0;
    for (const PageLine& line : lines.lines)
        draw_line(&lines.x[line.start], &lines.y[line.start], line.n, index, segment_id);
    flush_polyline();
    for (const LabelBox& b : index.boxes) {
        const char* t = label_text[size_t(b.level)].data();
        const float pad = float(text.height) * 0.3f;
        if (iso.halo >= 0) {
            fill_rect(b.x0, b.y0, b.x1, b.y1, iso.halo);
            select_colour(remembered);
        }
        draw_text(t, int(std::lround(b.x0 + pad)), int(std::lround(b.y0 + pad)));
        if (g_keepout.bucket.empty()) g_keepout.init(window[0], window[1], window[2], window[3]);
        g_keepout.add(b);
    }
    g_plot.check_range = check;
    restore_clip();
    if (iso.label_spacing > 0) {
        text.hardware_font = hardware;
        if (text_angle != 0) set_text_angle(text_angle);
    }
    select_colour(remembered);
}

} // namespace razidu
