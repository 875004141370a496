// Maps: a projection set on the axis system by a PROJ definition, the map
// frame fitted to the projected area with a labelled graticule, and curves,
// cells, isolines and arrows given in longitude and latitude.
#include "plot/core/state.h"
#include "plot/core/messages.h"
#include "plot/core/dispatch.h"
#include "plot/draw/draw.h"
#include "plot/text/text.h"
#include "plot/axes/axes.h"
#include "plot/axes/contour.h"
#include "plot/razidu.h"

#include <proj.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace razidu {

namespace {

constexpr double kDegree = 0.017453292519943295;

struct MapState {
    PJ_CONTEXT* context = nullptr;
    PJ* pj = nullptr;                   // null: plate carree, x = longitude, y = latitude
    bool radians_in = false;            // the operation wants radians
    bool degrees_out = false;           // it gives angles (radians), shown as degrees
    double centre = 0;                  // longitudes are taken within 180 degrees of it
    bool over = false;                  // PROJ takes them as given (+over), else wraps them itself
    float lon_step = 0, lat_step = 0;   // graticule of grafmp
    std::vector<double> lon, lat, x, y; // work arrays
};

MapState g_map;

// Longitudes of n points into [centre - 180, centre + 180) when normalise,
// projected in place into map coordinates; NaN where the projection fails.
void project(double* lon, double* lat, int n, bool normalise) {
    MapState& m = g_map;
    for (int k = 0; k < n; ++k) {
        if (!(std::fabs(lat[k]) <= 90.0) || !std::isfinite(lon[k])) {
            lon[k] = lat[k] = NAN;
            continue;
        }
        if (normalise) lon[k] -= 360.0 * std::floor((lon[k] - (m.centre - 180.0)) / 360.0);
    }
    if (!m.pj) return;
    const double in = m.radians_in ? kDegree : 1.0;
    for (int k = 0; k < n; ++k)
        lon[k] *= in, lat[k] *= in;
    proj_trans_generic(m.pj, PJ_FWD, lon, sizeof(double), size_t(n), lat, sizeof(double), size_t(n),
                       nullptr, 0, 0, nullptr, 0, 0);
    const double out = m.degrees_out ? 1.0 / kDegree : 1.0;
    for (int k = 0; k < n; ++k) {
        if (!std::isfinite(lon[k]) || !std::isfinite(lat[k]) || std::fabs(lon[k]) > 1e29 ||
            std::fabs(lat[k]) > 1e29)
            lon[k] = lat[k] = NAN;
        else
            lon[k] *= out, lat[k] *= out;
    }
}

// Page coordinates of map coordinates, NaN kept.
float page_x(double x) {
    return std::isnan(x) ? NAN : user_to_plot_x(float(x));
}
float page_y(double y) {
    return std::isnan(y) ? NAN : user_to_plot_y(float(y));
}

// Longitudes of a grid made continuous along its rows and down its first
// column, into g_map.lon; the smallest and largest of them.
void unwrap_grid(const float* lon, int nx, int ny, double* lo, double* hi) {
    std::vector<double>& l = g_map.lon;
    l.resize(size_t(nx) * size_t(ny));
    *lo = 1e300, *hi = -1e300;
    double prev_row = NAN;
    for (int j = 0; j < ny; ++j) {
        double prev = NAN;
        for (int i = 0; i < nx; ++i) {
            const size_t k = size_t(j) * size_t(nx) + size_t(i);
            double v = lon[k];
            if (std::isfinite(v)) {
                const double ref = std::isfinite(prev) ? prev : prev_row;
                if (std::isfinite(ref)) v = ref + std::remainder(v - ref, 360.0);
                if (i == 0 || !std::isfinite(prev_row)) prev_row = v;
                prev = v;
                *lo = std::min(*lo, v), *hi = std::max(*hi, v);
            }
            l[k] = v;
        }
    }
}

// The shifts by whole turns that bring a longitude range lo..hi onto the map
// (within 180 degrees of its centre); at most three.
int turn_shifts(double lo, double hi, double shifts[3]) {
    int n = 0;
    const double c = g_map.centre;
    if (!g_map.over) {
        shifts[0] = 0;
        return 1;
    }
    for (int k = -2; k <= 2 && n < 3; ++k) {
        const double s = 360.0 * k;
        if (hi + s >= c - 181.0 && lo + s <= c + 181.0) shifts[n++] = s;
    }
    return n;
}

// Map coordinates of a grid's points at one shift, into g_map.x, g_map.y.
void project_grid(const float* lat, int count, double shift) {
    MapState& m = g_map;
    m.x.resize(size_t(count)), m.y.resize(size_t(count));
    for (int k = 0; k < count; ++k)
        m.x[size_t(k)] = m.lon[size_t(k)] + shift, m.y[size_t(k)] = lat[k];
    project(m.x.data(), m.y.data(), count, false);
}

// The values of a grid with those beyond the seam at one shift (longitude
// more than 180 degrees from the centre) left out, in w; z itself when none is.
const float* beyond_seam(const float* z, int count, double shift, std::vector<float>& w) {
    const MapState& m = g_map;
    if (!m.over) return z;
    const double lo = m.centre - 180.0, hi = m.centre + 180.0;
    bool any = false;
    for (int k = 0; k < count && !any; ++k) {
        const double l = m.lon[size_t(k)] + shift;
        any = l < lo || l > hi;
    }
    if (!any) return z;
    w.assign(z, z + count);
    for (int k = 0; k < count; ++k) {
        const double l = m.lon[size_t(k)] + shift;
        if (l < lo || l > hi) w[size_t(k)] = NAN;
    }
    return w.data();
}

bool far_apart(float a, float b, float limit) {
    return std::fabs(a - b) > limit;
}

// ------------------------------------------------------------ graticule

// Page points of a meridian (kind 0, at value v, over all latitudes) or a
// parallel (kind 1, over the longitudes around the map's centre), finely
// enough for curved lines.
// Calls line(kind, value, step) for each meridian (kind 0) and parallel
// (kind 1) of the graticule, meridians first, the poles left out.
template <class Line> void each_graticule_line(const MapState& m, Line line) {
    for (int kind = 0; kind < 2; ++kind) {
        const float step = kind == 0 ? m.lon_step : m.lat_step;
        if (!(step > 0)) continue;
        const double first = kind == 0 ? std::ceil((m.centre - 180.0) / step) * step
                                       : std::ceil(-90.0 / step) * step;
        const double last = kind == 0 ? m.centre + 180.0 - 1e-9 : 90.0;
        for (double v = first; v <= last; v += step)
            if (kind == 0 || std::fabs(v) <= 89.99) line(kind, v, step);
    }
}

void graticule_line(int kind, double v, std::vector<float>& px, std::vector<float>& py) {
    MapState& m = g_map;
    const int n = kind == 0 ? 721 : 1441;
    m.x.resize(size_t(n)), m.y.resize(size_t(n));
    for (int k = 0; k < n; ++k) {
        if (kind == 0) {
            m.x[size_t(k)] = v;
            m.y[size_t(k)] = std::clamp(-90.0 + k * 0.25, -89.9, 89.9);
        } else {
            m.x[size_t(k)] = m.centre - 180.0 + k * 0.25;
            m.y[size_t(k)] = v;
        }
    }
    project(m.x.data(), m.y.data(), n, kind == 0);
    px.resize(size_t(n)), py.resize(size_t(n));
    for (int k = 0; k < n; ++k)
        px[size_t(k)] = page_x(m.x[size_t(k)]), py[size_t(k)] = page_y(m.y[size_t(k)]);
}

// Draws page points as pieces: a point that is not a number, far outside
// the axis system or a jump of more than half its size ends a piece.
//
// lon, when given, holds the longitudes of the points around the centre:
// where PROJ takes them as given, a step of more than 180 degrees crosses
// the seam; otherwise a jump on the page of half the map does.
void draw_pieces(const float* px, const float* py, int n, const double* lon = nullptr) {
    const bool by_longitude = lon && g_map.over;
    const AxisState& a = g_plot.axis;
    const float w = float(a.len_x), h = float(a.len_y);
    const float x0 = float(a.pos_x) - 3 * w, x1 = float(a.right) + 3 * w;
    const float y0 = float(a.top) - 3 * h, y1 = float(a.pos_y) + 3 * h;
    int start = 0;
    for (int k = 0; k <= n; ++k) {
        bool end = k == n;
        if (!end) {
            const bool bad = !(px[k] >= x0 && px[k] <= x1 && py[k] >= y0 && py[k] <= y1);
            const bool jump = k > start && (by_longitude ? std::fabs(lon[k] - lon[k - 1]) > 180.0
                                                         : (far_apart(px[k], px[k - 1], 0.5f * w) ||
                                                            far_apart(py[k], py[k - 1], 0.5f * h)));
            if (bad || jump) {
                if (k - start >= 2) draw_cut_polyline(px + start, py + start, k - start);
                start = bad ? k + 1 : k;
                continue;
            }
        }
        if (end && k - start >= 2) draw_cut_polyline(px + start, py + start, k - start);
    }
}

void degree_text(double v, bool lon, float step, char* out, int size) {
    if (lon) v = std::remainder(v, 360.0);
    const double a = std::fabs(v);
    const int decimals = step < 1.0f ? 1 : 0;
    const char* letter = a < 1e-6 || (lon && std::fabs(a - 180.0) < 1e-6)
                             ? ""
                             : (lon ? (v > 0 ? "E" : "W") : (v > 0 ? "N" : "S"));
    std::snprintf(out, size_t(size), "%.*f%s", decimals, a, letter);
}

// Labels of the graticule where its lines meet the frame: meridians below
// and above it, parallels left of it (and right of it without a colour bar).
void label_graticule(bool bar) {
    const MapState& m = g_map;
    const AxisState& a = g_plot.axis;
    const TextState& t = g_plot.text;
    const float h = float(t.height), gap = 0.5f * h;
    struct Mark {
        float at;
        std::string text;
    };
    std::vector<Mark> edge[4]; // bottom, top, left, right
    std::vector<float> px, py;
    const float left = float(a.pos_x), right = float(a.right), top = float(a.top),
                bottom = float(a.pos_y);
    // Meridians label the sides only where no parallel does.
    std::vector<Mark> side_meridians[2];
    struct Free {
        float x, y;
        std::string text;
    };
    std::vector<Free> free_marks;
    bool parallel_at_side = false;
    each_graticule_line(m, [&](int kind, double v, float step) {
        graticule_line(kind, v, px, py);
        char text[48];
        degree_text(v, kind == 0, step, text, sizeof text);
        for (size_t k = 1; k < px.size(); ++k) {
            const float ax = px[k - 1], ay = py[k - 1], bx = px[k], by = py[k];
            if (std::isnan(ax) || std::isnan(bx) || far_apart(ax, bx, 0.5f * float(a.len_x)))
                continue;
            const auto meets = [&](float a0, float b0, float line) {
                return (a0 - line) * (b0 - line) <= 0 && a0 != b0;
            };
            if (kind == 0) {
                for (int e = 0; e < 2; ++e) {
                    const float line = e == 0 ? bottom : top;
                    if (!meets(ay, by, line)) continue;
                    const float x = ax + (line - ay) / (by - ay) * (bx - ax);
                    if (x >= left && x <= right) edge[e].push_back({x, text});
                }
            }
            // Parallels, and meridians that run out at the sides (polar
            // maps), are labelled left and right.
            {
                for (int e = 2; e < 4; ++e) {
                    const float line = e == 2 ? left : right;
                    if (!meets(ax, bx, line)) continue;
                    const float y = ay + (line - ax) / (bx - ax) * (by - ay);
                    if (y >= top && y <= bottom) {
                        (kind == 1 ? edge[e] : side_meridians[e - 2]).push_back({y, text});
                        if (kind == 1) parallel_at_side = true;
                    }
                }
            }
        }
        // Lines that end inside the map (the outline of a whole-globe
        // map): meridians ending at the lower or upper edge are labelled
        // there, parallels left of their western end.
        size_t first = 0, last = px.size();
        while (first < px.size() && std::isnan(px[first]))
            ++first;
        while (last > first && std::isnan(px[last - 1]))
            --last;
        if (first >= last) return;
        const float near = 0.03f * float(a.len_y);
        if (kind == 0) {
            for (size_t k : {first, last - 1}) {
                if (!(px[k] >= left && px[k] <= right)) continue;
                if (std::fabs(py[k] - bottom) < near) edge[0].push_back({px[k], text});
                if (std::fabs(py[k] - top) < near) edge[1].push_back({px[k], text});
            }
        } else if (!parallel_at_side && px[first] > left && px[first] < right && py[first] > top &&
                   py[first] < bottom) {
            free_marks.push_back({px[first], py[first], text});
        }
        parallel_at_side = false;
    });
    // Free labels, right-aligned before their point, none over another.
    std::vector<std::array<float, 4>> boxes;
    for (const Free& f : free_marks) {
        const float w = float(text_width(f.text.c_str()));
        const std::array<float, 4> b{f.x - gap - w, f.y - 0.5f * h, f.x - gap, f.y + 0.5f * h};
        bool clear = true;
        for (const auto& o : boxes)
            clear = clear && (b[2] + gap < o[0] || o[2] + gap < b[0] || b[3] + gap < o[1] ||
                              o[3] + gap < b[1]);
        if (!clear) continue;
        boxes.push_back(b);
        draw_text(f.text.c_str(), int(std::lround(b[0])), int(std::lround(b[1])));
    }
    const auto by_place = [](const Mark& p, const Mark& q) { return p.at < q.at; };
    for (int e = 0; e < 4; ++e) {
        if (e == 3 && bar) continue;
        std::sort(edge[e].begin(), edge[e].end(), by_place);
        std::vector<std::pair<float, float>> taken;
        const auto place = [&](const Mark& k, float size) {
            const float from = k.at - 0.5f * size;
            for (const auto& [a0, a1] : taken)
                if (from < a1 + gap && a0 < from + size + gap) return false;
            taken.emplace_back(from, from + size);
            return true;
        };
        std::vector<Mark> marks = edge[e];
        const std::size_t parallels = marks.size();
        if (e >= 2) {
            // Meridians that run out at the sides (polar maps) where no
            // parallel is labelled.
            std::sort(side_meridians[e - 2].begin(), side_meridians[e - 2].end(), by_place);
            marks.insert(marks.end(), side_meridians[e - 2].begin(), side_meridians[e - 2].end());
        }
        for (std::size_t n = 0; n < marks.size(); ++n) {
            const Mark& k = marks[n];
            const float w = float(text_width(k.text.c_str()));
            const float size = e < 2 ? w : h;
            const float from = k.at - 0.5f * size;
            // A meridian's label at a side keeps a line clear of the
            // parallels' labels there, so that it is not read as one of them.
            if (n >= parallels && !place(k, 3 * size)) continue;
            if (n < parallels && !place(k, size)) continue;
            int x, y;
            if (e < 2) {
                x = int(std::lround(from));
                y = int(std::lround(e == 0 ? bottom + gap : top - gap - h));
            } else {
                y = int(std::lround(from));
                x = int(std::lround(e == 2 ? left - gap - w : right + gap));
            }
            draw_text(k.text.c_str(), x, y);
        }
    }
}

// The axis lengths that keep the aspect of xa..xe by ya..ye within the
// current lengths.
void fit_lengths(float xa, float xe, float ya, float ye, int* lx, int* ly) {
    PlotState& g = g_plot;
    const double w = double(xe) - xa, h = double(ye) - ya;
    *lx = g.axis.len_x, *ly = g.axis.len_y;
    if (w / h > double(*lx) / double(*ly))
        *ly = std::max(2, int(std::lround(*lx * h / w)));
    else
        *lx = std::max(2, int(std::lround(*ly * w / h)));
}

bool frame_ok(float xa, float xe, float ya, float ye) {
    return std::isfinite(xa) && std::isfinite(xe) && std::isfinite(ya) && std::isfinite(ye) &&
           xe > xa && ye > ya && std::isfinite(xe - xa) && std::isfinite(ye - ya);
}

bool open_map(float xa, float xe, float ya, float ye, float lon_step, float lat_step, bool bar,
              const float* z) {
    if (!frame_ok(xa, xe, ya, ye) || !(lon_step >= 0) || !(lat_step >= 0)) {
        warning_plain(2);
        return false;
    }
    int lx, ly;
    fit_lengths(xa, xe, ya, ye, &lx, &ly);
    AxisState& ax = g_plot.axis;
    if (z) {
        ax.len_z = ly;
        if (!define_colour_scaling(z[0], z[1], z[2], z[3])) return false;
    }
    g_map.lon_step = lon_step;
    g_map.lat_step = lat_step;
    g_plot.level = 2;
    define_map_axes(xa, xe, ya, ye, lx, ly);
    label_graticule(bar);
    return true;
}

// Bilinear place of a point (i, j) in grid index space, through the page
// points of the grid's centres.
struct IndexMap {
    const float* px;
    const float* py;
    int nx, ny;
    float wide, high;
};

bool index_to_page(float fi, float fj, float* x, float* y, void* data) {
    const IndexMap& m = *static_cast<const IndexMap*>(data);
    const int i = std::clamp(int(std::floor(fi)), 0, m.nx - 2);
    const int j = std::clamp(int(std::floor(fj)), 0, m.ny - 2);
    const float s = fi - float(i), t = fj - float(j);
    const size_t k = size_t(j) * size_t(m.nx) + size_t(i), l = k + size_t(m.nx);
    const float x00 = m.px[k], x10 = m.px[k + 1], x01 = m.px[l], x11 = m.px[l + 1];
    const float y00 = m.py[k], y10 = m.py[k + 1], y01 = m.py[l], y11 = m.py[l + 1];
    const float lo = std::min({x00, x10, x01, x11}), hi = std::max({x00, x10, x01, x11});
    const float lo_y = std::min({y00, y10, y01, y11}), hi_y = std::max({y00, y10, y01, y11});
    if (!(hi - lo <= m.wide) || !(hi_y - lo_y <= m.high)) return false; // NaN or a seam
    *x = (1 - t) * ((1 - s) * x00 + s * x10) + t * ((1 - s) * x01 + s * x11);
    *y = (1 - t) * ((1 - s) * y00 + s * y10) + t * ((1 - s) * y01 + s * y11);
    return true;
}

} // namespace

void reset_map() {
    if (g_map.pj) proj_destroy(g_map.pj);
    g_map.pj = nullptr;
    g_map.centre = 0;
    g_map.lon_step = g_map.lat_step = 0;
}

int mapprj(const char* definition, float lon_centre) {
    if (check_level(1, 1, "mapprj")) return 1;
    if (!definition || !std::isfinite(lon_centre)) {
        warning_plain(2);
        return 1;
    }
    MapState& m = g_map;
    if (!m.context) {
        m.context = proj_context_create();
        proj_log_level(m.context, PJ_LOG_NONE);
    }
    PJ* pj = nullptr;
    bool over = false;
    double centre = lon_centre;
    if (definition[0] != '\0') {
        std::string text = definition;
        // With a central meridian known, longitudes go to PROJ as they are
        // around it, so that a grid is drawn on either side of the seam;
        // otherwise PROJ brings them round itself.
        const std::size_t at = text.find("+lon_0=");
        if (at != std::string::npos && text.find("ob_tran") == std::string::npos &&
            text.find("+over") == std::string::npos) {
            char* end = nullptr;
            const double v = std::strtod(text.c_str() + at + 7, &end);
            if (end != text.c_str() + at + 7 && std::isfinite(v)) {
                over = true;
                centre = v;
                text += " +over";
            }
        }
        pj = proj_create(m.context, text.c_str());
        if (!pj) {
            warning_with_text(2, definition);
            return 1;
        }
        if (proj_get_type(pj) != PJ_TYPE_CONVERSION &&
            proj_get_type(pj) != PJ_TYPE_OTHER_COORDINATE_OPERATION &&
            proj_get_type(pj) != PJ_TYPE_TRANSFORMATION &&
            proj_get_type(pj) != PJ_TYPE_CONCATENATED_OPERATION) {
            proj_destroy(pj);
            warning_with_text(2, definition);
            return 1;
        }
    }
    reset_map();
    m.pj = pj;
    m.over = over || !pj;
    m.centre = centre;
    if (pj) {
        m.radians_in = proj_angular_input(pj, PJ_FWD) != 0;
        // A rotated pole's plane of longitudes and latitudes comes in
        // radians, though PROJ does not call it angular.
        const std::string d = definition;
        m.degrees_out = proj_angular_output(pj, PJ_FWD) != 0 ||
                        (d.find("ob_tran") != std::string::npos &&
                         (d.find("o_proj=longlat") != std::string::npos ||
                          d.find("o_proj=latlon") != std::string::npos ||
                          d.find("o_proj=lonlat") != std::string::npos ||
                          d.find("o_proj=latlong") != std::string::npos));
    }
    return 0;
}

void mapxy(const float* lon, const float* lat, int n, float* x, float* y) {
    if (check_level(1, 3, "mapxy")) return;
    if (n < 0 || (n > 0 && (!lon || !lat || !x || !y))) {
        warning_plain(2);
        return;
    }
    MapState& m = g_map;
    for (int from = 0; from < n; from += 4096) {
        const int c = std::min(4096, n - from);
        m.x.assign(lon + from, lon + from + c);
        m.y.assign(lat + from, lat + from + c);
        project(m.x.data(), m.y.data(), c, true);
        for (int k = 0; k < c; ++k)
            x[from + k] = float(m.x[size_t(k)]), y[from + k] = float(m.y[size_t(k)]);
    }
}

int mapext(float lon0, float lon1, float lat0, float lat1, float* xa, float* xe, float* ya,
           float* ye) {
    if (check_level(1, 3, "mapext")) return 1;
    if (!(lon0 < lon1) || !(lat0 < lat1) || !(lon1 - lon0 <= 360.0f) || !(lat0 >= -90.0f) ||
        !(lat1 <= 90.0f)) {
        warning_plain(2);
        return 1;
    }
    MapState& m = g_map;
    constexpr int kSide = 181;
    m.x.resize(kSide * kSide), m.y.resize(kSide * kSide);
    for (int j = 0; j < kSide; ++j)
        for (int i = 0; i < kSide; ++i) {
            m.x[size_t(j * kSide + i)] = lon0 + (double(lon1) - lon0) * i / (kSide - 1);
            m.y[size_t(j * kSide + i)] = lat0 + (double(lat1) - lat0) * j / (kSide - 1);
        }
    // The area's own longitudes: brought near the centre as one piece.
    const double mid = 0.5 * (double(lon0) + lon1);
    const double shift = m.centre + std::remainder(mid - m.centre, 360.0) - mid;
    for (double& v : m.x)
        v += shift;
    project(m.x.data(), m.y.data(), kSide * kSide, false);
    double lo_x = 1e300, hi_x = -1e300, lo_y = 1e300, hi_y = -1e300;
    for (int k = 0; k < kSide * kSide; ++k)
        if (!std::isnan(m.x[size_t(k)])) {
            lo_x = std::min(lo_x, m.x[size_t(k)]), hi_x = std::max(hi_x, m.x[size_t(k)]);
            lo_y = std::min(lo_y, m.y[size_t(k)]), hi_y = std::max(hi_y, m.y[size_t(k)]);
        }
    if (!(lo_x < hi_x) || !(lo_y < hi_y)) return 1;
    *xa = float(lo_x), *xe = float(hi_x), *ya = float(lo_y), *ye = float(hi_y);
    return 0;
}

void grafmp(float xa, float xe, float ya, float ye, float lon_step, float lat_step) {
    if (check_level(1, 1, "grafmp")) return;
    open_map(xa, xe, ya, ye, lon_step, lat_step, false, nullptr);
}

void grafmp3(float xa, float xe, float ya, float ye, float lon_step, float lat_step, float za,
             float ze, float zor, float zstep) {
    if (check_level(1, 1, "grafmp3")) return;
    const float z[4] = {za, ze, zor, zstep};
    AxisState& ax = g_plot.axis;
    if (!open_map(xa, xe, ya, ye, lon_step, lat_step, ax.bar_on == 1, z)) return;
    if (ax.bar_on == 1) draw_colour_bar(ax.pos_x + ax.len_x + ax.bar_distance, ax.pos_y);
    g_plot.level = 3;
}

void mapgrd() {
    if (check_level(2, 3, "mapgrd")) return;
    const MapState& m = g_map;
    std::vector<float> px, py;
    clip_to_axis_system();
    each_graticule_line(m, [&](int kind, double v, float) {
        graticule_line(kind, v, px, py);
        draw_pieces(px.data(), py.data(), int(px.size()));
    });
    flush_polyline();
    restore_clip();
}

void geocrv(const float* lon, const float* lat, int n) {
    if (check_level(2, 3, "geocrv")) return;
    if (n < 2 || !lon || !lat) {
        warning_with_number(2, n);
        return;
    }
    MapState& m = g_map;
    // Steps of at most a degree, so that the line bends with the projection.
    m.x.clear(), m.y.clear();
    for (int k = 0; k < n; ++k) {
        if (k > 0) {
            const double d = std::remainder(double(lon[k]) - lon[k - 1], 360.0);
            const double e = double(lat[k]) - lat[k - 1];
            const int parts = int(std::min(360.0, std::ceil(std::max(std::fabs(d), std::fabs(e)))));
            for (int p = 1; p < parts; ++p) {
                m.x.push_back(lon[k - 1] + d * p / parts);
                m.y.push_back(lat[k - 1] + e * p / parts);
            }
        }
        m.x.push_back(lon[k]);
        m.y.push_back(lat[k]);
    }
    const int count = int(m.x.size());
    m.lat = m.x;
    for (double& l : m.lat)
        l -= 360.0 * std::floor((l - (m.centre - 180.0)) / 360.0);
    project(m.x.data(), m.y.data(), count, true);
    std::vector<float> px(static_cast<size_t>(count)), py(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k)
        px[size_t(k)] = page_x(m.x[size_t(k)]), py[size_t(k)] = page_y(m.y[size_t(k)]);
    clip_to_axis_system();
    draw_pieces(px.data(), py.data(), count, m.lat.data());
    flush_polyline();
    restore_clip();
}

void mapcel(const float* x, const float* y, const float* z, int nx, int ny) {
    if (check_level(3, 3, "mapcel")) return;
    if (!x || !y || !z || nx < 2 || ny < 2 || int64_t(nx) * ny > (int64_t(1) << 26)) {
        warning_with_number(2, nx < 2 ? nx : ny);
        return;
    }
    const AxisState& a = g_plot.axis;
    // Centres extended by one on every side (linearly), then the corners as
    // the means of the four centres around them, in page coordinates.
    const auto ext = [&](const float* v, int i, int j) {
        const int i0 = std::clamp(i, 0, nx - 1), j0 = std::clamp(j, 0, ny - 1);
        const auto at = [&](int p, int q) { return v[size_t(q) * size_t(nx) + size_t(p)]; };
        float r = at(i0, j0);
        if (i < 0) r -= at(1, j0) - at(0, j0);
        if (i >= nx) r += at(nx - 1, j0) - at(nx - 2, j0);
        if (j < 0) r -= at(i0, 1) - at(i0, 0);
        if (j >= ny) r += at(i0, ny - 1) - at(i0, ny - 2);
        return r;
    };
    const size_t cw = size_t(nx) + 1;
    std::vector<float> cx(cw * (size_t(ny) + 1)), cy(cx.size());
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i) {
            const bool inner = i > 0 && i < nx && j > 0 && j < ny;
            float sx, sy;
            if (inner) {
                const size_t k = size_t(j - 1) * size_t(nx) + size_t(i - 1);
                sx = x[k] + x[k + 1] + x[k + size_t(nx)] + x[k + size_t(nx) + 1];
                sy = y[k] + y[k + 1] + y[k + size_t(nx)] + y[k + size_t(nx) + 1];
            } else {
                sx = ext(x, i - 1, j - 1) + ext(x, i, j - 1) + ext(x, i - 1, j) + ext(x, i, j);
                sy = ext(y, i - 1, j - 1) + ext(y, i, j - 1) + ext(y, i - 1, j) + ext(y, i, j);
            }
            cx[size_t(j) * cw + size_t(i)] = page_x(0.25 * double(sx));
            cy[size_t(j) * cw + size_t(i)] = page_y(0.25 * double(sy));
        }
    const int remembered = g_plot.colour.current;
    clip_to_axis_system();
    // Where PROJ brings longitudes round itself, a cell across its seam
    // would span the map: cells of half its size or more are left out.
    const float wide = g_map.over ? INFINITY : 0.5f * float(a.len_x),
                high = g_map.over ? INFINITY : 0.5f * float(a.len_y);
    const int* clip = g_plot.line.clip_rect;
    const bool merge = !draws_in_memory(g_plot.device);
    std::vector<float> run_x, run_y;
    for (int j = 0; j < ny; ++j) {
        const float* top_x = &cx[size_t(j) * cw];
        const float* top_y = &cy[size_t(j) * cw];
        const float* low_x = top_x + cw;
        const float* low_y = top_y + cw;
        for (int i = 0; i < nx; ++i) {
            const float v = z[size_t(j) * size_t(nx) + size_t(i)];
            if (v != v) continue;
            const float qx[4] = {top_x[i], top_x[i + 1], low_x[i + 1], low_x[i]};
            const float qy[4] = {top_y[i], top_y[i + 1], low_y[i + 1], low_y[i]};
            const float lo = std::min({qx[0], qx[1], qx[2], qx[3]}),
                        hi = std::max({qx[0], qx[1], qx[2], qx[3]});
            const float lo_y = std::min({qy[0], qy[1], qy[2], qy[3]}),
                        hi_y = std::max({qy[0], qy[1], qy[2], qy[3]});
            if (!(hi - lo <= wide) || !(hi_y - lo_y <= high)) continue; // NaN or a seam
            if (hi < float(clip[0]) || lo > float(clip[2]) || hi_y < float(clip[1]) ||
                lo_y > float(clip[3]))
                continue;
            const int c = z_colour(v);
            if (!merge) {
                fill_polygon_plot(qx, qy, 4, c);
                continue;
            }
            // File devices: a run of cells of one colour along the row is one
            // polygon, its upper corners then its lower ones.
            int e = i;
            while (e + 1 < nx && e - i < 900) {
                const float w = z[size_t(j) * size_t(nx) + size_t(e + 1)];
                if (w != w || colour_entry(z_colour(w)) != colour_entry(c)) break; // another colour
                const float ux[2] = {top_x[e + 2], low_x[e + 2]},
                            uy[2] = {top_y[e + 2], low_y[e + 2]};
                if (!(std::fabs(ux[0] - top_x[e + 1]) <= wide &&
                      std::fabs(ux[1] - low_x[e + 1]) <= wide &&
                      std::fabs(uy[0] - top_y[e + 1]) <= high &&
                      std::fabs(uy[1] - low_y[e + 1]) <= high))
                    break;
                ++e;
            }
            // Corners in line with their neighbours (a straight row) are
            // left out.
            run_x.clear(), run_y.clear();
            const auto straight = [](const float* px, const float* py, int k) {
                const float cross = (px[k] - px[k - 1]) * (py[k + 1] - py[k - 1]) -
                                    (py[k] - py[k - 1]) * (px[k + 1] - px[k - 1]);
                return std::fabs(cross) <=
                       0.01f * std::hypot(px[k + 1] - px[k - 1], py[k + 1] - py[k - 1]);
            };
            for (int k = i; k <= e + 1; ++k)
                if (k == i || k == e + 1 || !straight(top_x, top_y, k))
                    run_x.push_back(top_x[k]), run_y.push_back(top_y[k]);
            for (int k = e + 1; k >= i; --k)
                if (k == i || k == e + 1 || !straight(low_x, low_y, k))
                    run_x.push_back(low_x[k]), run_y.push_back(low_y[k]);
            fill_polygon_plot(run_x.data(), run_y.data(), int(run_x.size()), c);
            i = e;
        }
    }
    restore_clip();
    select_colour(remembered);
}

namespace {

// Projects a grid of centres once for each turn of the earth its longitudes
// need, and hands draw their map coordinates with the values z, those
// beyond that turn's seam hidden.
template <class Draw>
void per_turn(const float* lon, const float* lat, const float* z, int nx, int ny, Draw draw) {
    double lo, hi, shifts[3];
    unwrap_grid(lon, nx, ny, &lo, &hi);
    const int count = nx * ny;
    std::vector<float> x(static_cast<size_t>(count)), y(static_cast<size_t>(count)), w;
    for (int s = 0, n = turn_shifts(lo, hi, shifts); s < n; ++s) {
        project_grid(lat, count, shifts[s]);
        for (int k = 0; k < count; ++k)
            x[size_t(k)] = float(g_map.x[size_t(k)]), y[size_t(k)] = float(g_map.y[size_t(k)]);
        draw(x.data(), y.data(), beyond_seam(z, count, shifts[s], w));
    }
}

} // namespace

void geocel(const float* lon, const float* lat, const float* z, int nx, int ny) {
    if (check_level(3, 3, "geocel")) return;
    if (!lon || !lat || !z || nx < 2 || ny < 2 || int64_t(nx) * ny > (int64_t(1) << 26)) {
        warning_with_number(2, nx < 2 ? nx : ny);
        return;
    }
    per_turn(lon, lat, z, nx, ny,
             [&](const float* x, const float* y, const float* v) { mapcel(x, y, v, nx, ny); });
}

void mapiso(const float* x, const float* y, int nx, int ny, const float* z, const float* levels,
            int n) {
    if (check_level(2, 3, "mapiso")) return;
    if (!x || !y || !z || !levels || nx < 2 || ny < 2 || n < 1 ||
        int64_t(nx) * ny > (int64_t(1) << 26)) {
        warning_with_number(2, nx < 2 ? nx : ny < 2 ? ny : n);
        return;
    }
    const size_t count = size_t(nx) * size_t(ny);
    std::vector<float> px(count), py(count), ix(static_cast<size_t>(nx)),
        iy(static_cast<size_t>(ny));
    for (size_t k = 0; k < count; ++k)
        px[k] = page_x(x[k]), py[k] = page_y(y[k]);
    for (int i = 0; i < nx; ++i)
        ix[size_t(i)] = float(i);
    for (int j = 0; j < ny; ++j)
        iy[size_t(j)] = float(j);
    const AxisState& a = g_plot.axis;
    IndexMap map{px.data(),
                 py.data(),
                 nx,
                 ny,
                 g_map.over ? INFINITY : 0.5f * float(a.len_x),
                 g_map.over ? INFINITY : 0.5f * float(a.len_y)};
    set_isoline_vertex_map(index_to_page, &map);
    isolin(ix.data(), nx, iy.data(), ny, z, levels, n);
    set_isoline_vertex_map(nullptr, nullptr);
}

void geoiso(const float* lon, const float* lat, int nx, int ny, const float* z, const float* levels,
            int n) {
    if (check_level(2, 3, "geoiso")) return;
    if (!lon || !lat || !z || !levels || nx < 2 || ny < 2 || n < 1 ||
        int64_t(nx) * ny > (int64_t(1) << 26)) {
        warning_with_number(2, nx < 2 ? nx : ny < 2 ? ny : n);
        return;
    }
    per_turn(lon, lat, z, nx, ny, [&](const float* x, const float* y, const float* v) {
        mapiso(x, y, nx, ny, v, levels, n);
    });
}

void geovec(float lon, float lat, float u, float v, float length, int code) {
    if (check_level(2, 3, "geovec")) return;
    const float speed = std::hypot(u, v);
    if (!std::isfinite(speed) || !std::isfinite(length) || speed == 0) return;
    // The point and small steps east and north of it on the page.
    const double d = 0.01, north = lat + d <= 90.0 ? d : -d;
    double px[3] = {lon, lon + d, lon}, py[3] = {lat, lat, lat + north};
    project(px, py, 3, true);
    float gx[3], gy[3];
    for (int k = 0; k < 3; ++k)
        gx[k] = page_x(px[k]), gy[k] = page_y(py[k]);
    float ex = gx[1] - gx[0], ey = gy[1] - gy[0], nx = gx[2] - gx[0], ny = gy[2] - gy[0];
    if (north < 0) nx = -nx, ny = -ny;
    const float le = std::hypot(ex, ey), ln = std::hypot(nx, ny);
    if (!(le > 0) || !(ln > 0)) return;
    float dx = u * ex / le + v * nx / ln, dy = u * ey / le + v * ny / ln;
    const float dl = std::hypot(dx, dy);
    if (!(dl > 0)) return;
    dx *= length * speed / dl, dy *= length * speed / dl;
    const AxisState& a = g_plot.axis;
    // Back to user (map) coordinates for rlvec.
    const float x0 = float(px[0]), y0 = float(py[0]);
    const float x1 = x0 + dx / a.x.scale, y1 = y0 - dy / a.y.scale;
    const int check = g_plot.check_range;
    g_plot.check_range = 0;
    rlvec(x0, y0, x1, y1, code);
    g_plot.check_range = check;
}

} // namespace razidu
