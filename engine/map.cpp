// Weather maps: one field drawn through the plotting library in a fixed
// sequence of calls, on the fixed map of the GPV coastline or over any area
// through the world coastline.
#include "engine/map.h"

#include "engine/world_coast.h"
#include "plot/razidu.h"

#include <proj.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace engine {

namespace {

constexpr int kItemPressure = 1, kItemTemperature = 4, kItemHumidity = 13, kItemWindU = 23,
              kItemWindV = 24, kItemGeopotential = 102, kItemCloud = 225;
constexpr int kArrowCode = 1121;
// The library keeps this many characters of a file name.
constexpr std::size_t kPlotNameMax = 80;

// 1, 2 or 5 times a power of ten, near range / 10.
float nice_step(float lo, float hi) {
    double raw = (double(hi) - double(lo)) / 10.0;
    if (!(raw > 0) || !std::isfinite(raw)) return 1.0f;
    double p = std::pow(10.0, std::floor(std::log10(raw)));
    double m = raw / p;
    return float((m < 1.5 ? 1.0 : m < 3.5 ? 2.0 : m < 7.5 ? 5.0 : 10.0) * p);
}

// Draws the coastline: every run of more than five points before an end mark
// is one polyline; points behind the last end mark are not drawn.
void draw_coastline(std::span<const float> x, std::span<const float> y) {
    int count = static_cast<int>(std::min(x.size(), y.size()));
    int n = 0;
    for (int k = 0; k < count; ++k) {
        if (x[k] < -990.0f) {
            if (n > 5) razidu::curve(&x[k - n], &y[k - n], n);
            n = 0;
        } else {
            ++n;
        }
    }
}

bool inside(const MapRequest& o, float lon, float lat) {
    return lon >= o.lon0 && lon <= o.lon1 && lat >= o.lat0 && lat <= o.lat1;
}

// One arrow per step-th cell of every step-th row, from the north-west cell,
// coloured by wind speed on the zmin..zmax scale; with an area, only the
// arrows that start inside it.
void draw_arrows(const MapRequest& o, const MapGrid& m, const float* speed, float zmin,
                 float zmax) {
    const float *u = m.a, *v = m.b;
    float s = o.vector_scale * 0.005f * m.lon_span;
    int step = o.vector_density;
    if (step < 1) step = 1;
    for (int j = 0; j < m.rows; j += step)
        for (int i = 0; i < m.cols; i += step) {
            int k = j * m.cols + i;
            if (std::isnan(speed[k])) continue; // a missing point
            if (o.area && !inside(o, m.lon[k], m.lat[k])) continue;
            razidu::setclr(static_cast<int>(253.0f * (speed[k] - zmin) / (zmax - zmin) + 1.0f));
            razidu::rlvec(m.lon[k], m.lat[k], m.lon[k] + s * u[k], m.lat[k] + s * v[k], kArrowCode);
        }
}

// The cells of a field that have a value: missing points (NaN) are left out
// of the arrays given to curve3, which would colour them.
int present_cells(const MapGrid& m, std::vector<float>& x, std::vector<float>& y,
                  std::vector<float>& z) {
    const int n = m.cols * m.rows;
    x.clear(), y.clear(), z.clear();
    for (int k = 0; k < n; ++k)
        if (!std::isnan(m.a[k])) {
            x.push_back(m.lon[k]);
            y.push_back(m.lat[k]);
            z.push_back(m.a[k]);
        }
    return static_cast<int>(z.size());
}

// The axes of the map: the fixed frame, or the chosen area with labels every
// 0.1, 0.2, 0.5, 1, 2, 5, 10 or 20 degrees, whichever gives at most seven.
struct MapFrame {
    float x0 = 119.5f, x1 = 150.5f, x_first = 120.0f, x_step = 5.0f;
    float y0 = 19.5f, y1 = 50.5f, y_first = 20.0f, y_step = 5.0f;
    int digits = -1;
};

float label_step(float span) {
    static const float steps[] = {0.1f, 0.2f, 0.5f, 1, 2, 5, 10, 20, 50};
    for (float s : steps)
        if (span / s <= 7.0f) return s;
    return 100.0f;
}

MapFrame map_frame(const MapRequest& o) {
    MapFrame f;
    if (!o.area) return f;
    f.x0 = o.lon0;
    f.x1 = o.lon1;
    f.y0 = o.lat0;
    f.y1 = o.lat1;
    f.x_step = f.y_step = label_step(std::max(o.lon1 - o.lon0, o.lat1 - o.lat0));
    f.x_first = std::ceil(f.x0 / f.x_step) * f.x_step;
    f.y_first = std::ceil(f.y0 / f.y_step) * f.y_step;
    f.digits = f.x_step < 1.0f ? 1 : -1;
    return f;
}

// Spacing of the grid's cell centres in degrees.
float lon_step(const MapGrid& m) {
    return m.cols > 1 ? std::fabs(m.lon[1] - m.lon[0]) : 1.0f;
}
float lat_step(const MapGrid& m) {
    return m.rows > 1 ? std::fabs(m.lat[m.cols] - m.lat[0]) : 1.0f;
}

// Whether cell k covers some of the area (touching its edge is not enough).
bool reaches(const MapRequest& o, const MapGrid& m, int k) {
    const float hx = 0.5f * lon_step(m), hy = 0.5f * lat_step(m);
    const float lon = m.lon[k], lat = m.lat[k];
    return lon + hx > o.lon0 && lon - hx < o.lon1 && lat + hy > o.lat0 && lat - hy < o.lat1;
}

// Smallest and largest of the values whose cells cover some of the area (so
// that every cell drawn has a colour of the range); false when no cell does.
bool area_range(const MapRequest& o, const MapGrid& m, const float* z, float* lo, float* hi) {
    float a = 1.0e32f, b = -1.0e32f;
    bool any = false;
    for (int k = 0; k < m.cols * m.rows; ++k)
        if (!std::isnan(z[k]) && reaches(o, m, k)) {
            any = true;
            a = std::min(a, z[k]);
            b = std::max(b, z[k]);
        }
    if (any) *lo = a, *hi = b;
    return any;
}

// The cells of the area for curve3: first the cells that reach into it from
// outside, their centres moved onto its edge so that the library draws them
// (it draws a cell only when its centre is inside), then the cells inside,
// which paint over what the moved cells drew beyond their own extent. Every
// cell is cut at the edges of the axis system; missing points are left out.
int area_cells(const MapRequest& o, const MapGrid& m, std::vector<float>& x, std::vector<float>& y,
               std::vector<float>& v) {
    x.clear(), y.clear(), v.clear();
    for (int pass = 0; pass < 2; ++pass)
        for (int k = 0; k < m.cols * m.rows; ++k) {
            float lon = m.lon[k], lat = m.lat[k];
            bool in = inside(o, lon, lat);
            if (in != (pass == 1) || std::isnan(m.a[k])) continue;
            if (!in) {
                if (!reaches(o, m, k)) continue;
                lon = std::clamp(lon, o.lon0, o.lon1);
                lat = std::clamp(lat, o.lat0, o.lat1);
            }
            x.push_back(lon);
            y.push_back(lat);
            v.push_back(m.a[k]);
        }
    return static_cast<int>(v.size());
}

// The cell size for autres: as many cells as the grid has over the area.
int cells_over(float span, float step) {
    if (!(step > 0)) return 2;
    return std::clamp(static_cast<int>(span / step) + 1, 2, 10000);
}

// Labelled isolines of z (the map grid's values) every step over lo..hi.
void draw_contours(const MapGrid& m, const float* z, float step, float lo, float hi) {
    std::vector<float> levels = contour_levels(step, lo, hi);
    if (levels.empty() || m.cols < 2 || m.rows < 2) return;
    std::vector<float> lat(static_cast<std::size_t>(m.rows));
    for (int j = 0; j < m.rows; ++j)
        lat[static_cast<std::size_t>(j)] = m.lat[static_cast<std::size_t>(j) * m.cols];
    // Whole steps are labelled as integers, others with the step's decimals.
    int digits = -1;
    for (float d = step; digits < 3 && std::fabs(d - std::round(d)) > 1e-4f * std::fabs(d) + 1e-6f;
         d *= 10)
        digits = digits < 0 ? 1 : digits + 1;
    razidu::height(36);
    razidu::isolab(700, digits);
    razidu::isolin(m.lon, m.cols, lat.data(), m.rows, z, levels.data(),
                   static_cast<int>(levels.size()));
}

// ------------------------------------------------------------ maps of any area

// What a map other than the fixed Japan frame shows: its area in degrees
// (lon1 may pass 180), its projection, and the grid's spacing.
struct GeoMap {
    float lon0 = 0, lon1 = 0, lat0 = 0, lat1 = 0;
    std::string proj;  // PROJ definition; "" plate carree
    bool own = false;  // the grid's own projection over the grid's extent
    float spacing = 1; // degrees between neighbouring points, about
};

// Degrees between a point and its neighbours near the middle of the grid.
float grid_spacing(const MapGrid& m) {
    const int i = std::min(m.cols / 2, m.cols - 2), j = std::min(m.rows / 2, m.rows - 2);
    if (i < 0 || j < 0) return 1.0f;
    const int k = j * m.cols + i;
    const float dx = std::fabs(std::remainder(m.lon[k + 1] - m.lon[k], 360.0f));
    const float dy = std::fabs(m.lat[k + m.cols] - m.lat[k]);
    const float dx2 = std::fabs(std::remainder(m.lon[k + m.cols] - m.lon[k], 360.0f));
    const float dy2 = std::fabs(m.lat[k + 1] - m.lat[k]);
    const float s = std::max(std::hypot(dx, dy2), std::hypot(dx2, dy));
    return s > 0 && std::isfinite(s) ? s : 1.0f;
}

// The longitudes and latitudes the grid covers (its points and half a
// spacing around them); a grid round the globe gives -180..180.
void grid_extent(const MapGrid& m, float half, GeoMap& g) {
    double lo = 1e30, hi = -1e30, south = 90, north = -90, prev_row = NAN;
    for (int j = 0; j < m.rows; ++j) {
        double prev = NAN;
        for (int i = 0; i < m.cols; ++i) {
            const int k = j * m.cols + i;
            double v = m.lon[k];
            if (!std::isfinite(v) || !std::isfinite(m.lat[k])) continue;
            const double ref = std::isfinite(prev) ? prev : prev_row;
            if (std::isfinite(ref)) v = ref + std::remainder(v - ref, 360.0);
            if (!std::isfinite(prev)) prev_row = v;
            prev = v;
            lo = std::min(lo, v), hi = std::max(hi, v);
            south = std::min(south, double(m.lat[k])), north = std::max(north, double(m.lat[k]));
        }
    }
    if (hi - lo + 2 * half >= 359.0) {
        g.lon0 = -180, g.lon1 = 180;
    } else {
        const double shift = 360.0 * std::floor((lo - half + 180.0) / 360.0);
        g.lon0 = float(lo - half - shift), g.lon1 = float(hi + half - shift);
    }
    g.lat0 = std::max(-90.0f, float(south) - half);
    g.lat1 = std::min(90.0f, float(north) + half);
}

// Whether a point lies within the area widened by `margin` degrees.
bool near_area(const GeoMap& g, float lon, float lat, float margin) {
    if (!(lat >= g.lat0 - margin && lat <= g.lat1 + margin)) return false;
    if (g.lon1 - g.lon0 >= 360.0f - 2 * margin) return true;
    const float d = std::fmod(lon - (g.lon0 - margin), 360.0f);
    const float e = d < 0 ? d + 360.0f : d;
    return e <= g.lon1 - g.lon0 + 2 * margin;
}

// The PROJ definition of a projection chosen by name for the area.
std::string projection_definition(int projection, const MapGrid& m, GeoMap& g) {
    const float centre = 0.5f * (g.lon0 + g.lon1);
    char text[160];
    switch (projection) {
    case 0:
        return m.proj;
    case 2:
        g.lat0 = std::max(g.lat0, -85.0f), g.lat1 = std::min(g.lat1, 85.0f);
        std::snprintf(text, sizeof text, "+proj=merc +lon_0=%g", double(centre));
        return text;
    case 3: {
        float a = g.lat0 + (g.lat1 - g.lat0) / 6, b = g.lat1 - (g.lat1 - g.lat0) / 6;
        if (std::fabs(a + b) < 1.0f) a = b = g.lat1 > 0 ? std::max(b, 10.0f) : std::min(a, -10.0f);
        g.lat0 = std::max(g.lat0, a > 0 ? -30.0f : -89.0f);
        g.lat1 = std::min(g.lat1, a > 0 ? 89.0f : 30.0f);
        std::snprintf(text, sizeof text, "+proj=lcc +lat_1=%g +lat_2=%g +lat_0=%g +lon_0=%g",
                      double(a), double(b), double(0.5f * (a + b)), double(centre));
        return text;
    }
    case 4:
        g.lat0 = std::max(g.lat0, 0.0f);
        std::snprintf(text, sizeof text, "+proj=stere +lat_0=90 +lat_ts=60 +lon_0=%g",
                      double(centre));
        return text;
    case 5:
        g.lat1 = std::min(g.lat1, 0.0f);
        std::snprintf(text, sizeof text, "+proj=stere +lat_0=-90 +lat_ts=-60 +lon_0=%g",
                      double(centre));
        return text;
    case 6:
        std::snprintf(text, sizeof text, "+proj=robin +lon_0=%g", double(centre));
        return text;
    case 7:
        std::snprintf(text, sizeof text, "+proj=eqearth +lon_0=%g", double(centre));
        return text;
    default:
        return "";
    }
}

// Sets error to a failure of the map (titled "plot_field") and reports it.
void fail(const MapRequest& o, Error& error, const std::string& text) {
    error = {"plot_field", text, Error::Value};
    if (o.report) o.report(error);
}

// Labels every 0.1 .. 90 degrees, whichever gives at most seven over span.
float geo_label_step(float span) {
    static const float steps[] = {0.1f, 0.2f, 0.5f, 1, 2, 5, 10, 15, 30, 45, 60, 90};
    for (float s : steps)
        if (span / s <= 7.0f) return s;
    return 90.0f;
}

// The coastline over the area, each line cut to the part near it.
void draw_world_coast(const GeoMap& g) {
    const float span = std::max(g.lon1 - g.lon0, g.lat1 - g.lat0);
    const CoastLines& c = world_coast(span);
    const float margin = std::max(1.0f, 0.2f * span);
    for (std::size_t l = 0; l + 1 < c.start.size(); ++l) {
        const int from = c.start[l], to = c.start[l + 1];
        int run = from;
        for (int k = from; k <= to; ++k) {
            const bool in =
                k < to && near_area(g, c.lon[std::size_t(k)], c.lat[std::size_t(k)], margin);
            if (in) continue;
            if (k - run >= 2)
                razidu::geocrv(&c.lon[std::size_t(run)], &c.lat[std::size_t(run)], k - run);
            run = k + 1;
        }
    }
}

// Colour of a palette at t (0..1) from its anchors, evenly spaced.
struct Rgb {
    float r, g, b;
};
Rgb palette_colour(int palette, float t, const std::vector<Rgb>& rainbow) {
    static const Rgb viridis[] = {
        {68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}};
    static const Rgb diverging[] = {
        {5, 48, 97}, {67, 147, 195}, {247, 247, 247}, {214, 96, 77}, {103, 0, 31}};
    static const Rgb rain[] = {{225, 240, 255}, {140, 190, 255}, {40, 110, 240}, {30, 170, 60},
                               {250, 230, 40},  {250, 140, 20},  {225, 30, 30},  {150, 20, 160}};
    t = std::clamp(t, 0.0f, 1.0f);
    const Rgb* a = viridis;
    int n = 5;
    if (palette == 0) {
        a = rainbow.data();
        n = int(rainbow.size());
    } else if (palette == 2) {
        a = diverging;
    } else if (palette == 3) {
        a = rain;
        n = 8;
    }
    const float f = t * float(n - 1);
    const int k = std::min(n - 2, int(f));
    const float s = f - float(k);
    return {a[k].r + s * (a[k + 1].r - a[k].r), a[k].g + s * (a[k + 1].g - a[k].g),
            a[k].b + s * (a[k + 1].b - a[k].b)};
}

// Loads the chosen palette over the data colours 1..254 of zmin..zmax; with
// contour levels, each band between two levels takes one colour (that of its
// middle), so that the colour steps fall on the contour lines.
void load_palette(int palette, float zmin, float zmax, const std::vector<float>& levels) {
    if (palette == 0 && levels.empty()) return; // the rainbow as it is
    std::vector<Rgb> rainbow;
    for (int i = 1; i <= 254; ++i) {
        int r, g, b;
        razidu::getind(i, &r, &g, &b);
        rainbow.push_back({float(r), float(g), float(b)});
    }
    const float range = zmax - zmin;
    for (int i = 1; i <= 254; ++i) {
        float v = zmin + (float(i) - 0.5f) / 254.0f * range;
        if (!levels.empty()) {
            const auto up = std::upper_bound(levels.begin(), levels.end(), v);
            const float lo = up == levels.begin() ? zmin : *(up - 1);
            const float hi = up == levels.end() ? zmax : *up;
            v = 0.5f * (lo + hi);
        }
        const Rgb c = palette_colour(palette, (v - zmin) / range, rainbow);
        razidu::setind(i, int(std::lround(c.r)), int(std::lround(c.g)), int(std::lround(c.b)));
    }
}

// Turns winds along the axes of a projected grid into east and north
// components, at the points asked for: the grid's north at a point is where a
// step north takes it in the grid's plane (for rotated grids, whose plane is
// in degrees, its x step is shortened by the cosine of its latitude).
struct GridWinds {
    PJ_CONTEXT* context = nullptr;
    PJ* pj = nullptr;
    bool angular = false;
    explicit GridWinds(const std::string& proj) {
        if (proj.empty()) return;
        context = proj_context_create();
        proj_log_level(context, PJ_LOG_NONE);
        pj = proj_create(context, proj.c_str());
        // (a rotated pole's plane comes in radians, though PROJ does not
        // call it angular)
        if (pj)
            angular =
                proj_angular_output(pj, PJ_FWD) != 0 || proj.find("ob_tran") != std::string::npos;
    }
    ~GridWinds() {
        if (pj) proj_destroy(pj);
        if (context) proj_context_destroy(context);
    }
    GridWinds(const GridWinds&) = delete;
    GridWinds& operator=(const GridWinds&) = delete;
    // u, v along the grid's x and y at (lon, lat) into east and north; false
    // when the projection cannot place the point.
    bool earth_relative(float lon, float lat, float* u, float* v) const {
        if (!pj) return false;
        constexpr double d = 0.01, rad = 0.017453292519943295;
        const double north = lat + d <= 90 ? d : -d;
        const bool in_radians = proj_angular_input(pj, PJ_FWD) != 0;
        const double k = in_radians ? rad : 1.0;
        PJ_COORD a = proj_coord(lon * k, lat * k, 0, 0),
                 b = proj_coord(lon * k, (lat + north) * k, 0, 0);
        a = proj_trans(pj, PJ_FWD, a);
        b = proj_trans(pj, PJ_FWD, b);
        double dx = b.xy.x - a.xy.x, dy = b.xy.y - a.xy.y;
        if (angular) dx *= std::cos(a.xy.y);
        if (!std::isfinite(dx) || !std::isfinite(dy) || (dx == 0 && dy == 0)) return false;
        if (north < 0) dx = -dx, dy = -dy;
        const double angle = std::atan2(dx, dy), c = std::cos(angle), s = std::sin(angle);
        const double ug = *u, vg = *v;
        *u = float(ug * c - vg * s);
        *v = float(ug * s + vg * c);
        return true;
    }
};

// Draws a map of the area of gm on the open page: its cells (or arrows),
// contours, coastline and graticule, the title lines and the colour bar.
// Returns 1, or 0 when the projection cannot show the area.
int draw_geo_map(const MapRequest& o, const MapGrid& m, const GeoMap& gm, const float* shown,
                 const char* title_line, float zmin, float zmax, float zstep, Error& error) {
    namespace rz = razidu;
    const int kind = o.kind, item = o.item, level = o.level;
    const bool cells = o.contours != 2;
    const float centre = 0.5f * (gm.lon0 + gm.lon1);
    rz::axspos(526, 2346);
    rz::hwfont();
    rz::widbar(50);
    rz::nochek();
    rz::color("fore");
    rz::height(40);
    if (rz::mapprj(gm.proj.c_str(), centre) != 0) {
        rz::mapprj("", centre);
    }
    const bool plate = gm.proj.empty();
    float xa = gm.lon0, xe = gm.lon1, ya = gm.lat0, ye = gm.lat1;
    if (!plate) {
        if (gm.own && m.affine) {
            // The grid's own plane, where its points are evenly spaced.
            xa = float(m.x0 - 0.5 * m.dx), xe = float(m.x0 + (m.cols - 0.5) * m.dx);
            ya = float(m.y0 - (m.rows - 0.5) * m.dy), ye = float(m.y0 + 0.5 * m.dy);
        } else if (gm.own) {
            // The grid's own plane: the rectangle of its outer points and
            // half a cell around them.
            std::vector<float> lon, lat;
            for (int i = 0; i < m.cols; ++i)
                for (int j : {0, m.rows - 1})
                    lon.push_back(m.lon[j * m.cols + i]), lat.push_back(m.lat[j * m.cols + i]);
            for (int j = 0; j < m.rows; ++j)
                for (int i : {0, m.cols - 1})
                    lon.push_back(m.lon[j * m.cols + i]), lat.push_back(m.lat[j * m.cols + i]);
            std::vector<float> x(lon.size()), y(lon.size());
            rz::mapxy(lon.data(), lat.data(), int(lon.size()), x.data(), y.data());
            float x0 = 1e30f, x1 = -1e30f, y0 = 1e30f, y1 = -1e30f;
            for (std::size_t k = 0; k < x.size(); ++k)
                if (x[k] == x[k] && y[k] == y[k])
                    x0 = std::min(x0, x[k]), x1 = std::max(x1, x[k]), y0 = std::min(y0, y[k]),
                    y1 = std::max(y1, y[k]);
            const float hx = 0.5f * (x1 - x0) / float(m.cols - 1),
                        hy = 0.5f * (y1 - y0) / float(m.rows - 1);
            xa = x0 - hx, xe = x1 + hx, ya = y0 - hy, ye = y1 + hy;
            if (!(xa < xe && ya < ye))
                rz::mapext(gm.lon0, gm.lon1, gm.lat0, gm.lat1, &xa, &xe, &ya, &ye);
        } else if (rz::mapext(gm.lon0, gm.lon1, gm.lat0, gm.lat1, &xa, &xe, &ya, &ye) != 0) {
            fail(o, error, "The projection cannot show the area.");
            return 0;
        }
    }
    const float span = std::max(gm.lon1 - gm.lon0, gm.lat1 - gm.lat0);
    const float step = geo_label_step(span);
    // Contour levels; with cells, the colour range runs from level to level
    // and the colour bar is labelled at them.
    std::vector<float> levels;
    float cstep = 0;
    if (o.contours != 0) {
        float lo = 1.0e32f, hi = -1.0e32f;
        for (int k = 0; k < m.cols * m.rows; ++k)
            if (shown[k] == shown[k]) lo = std::min(lo, shown[k]), hi = std::max(hi, shown[k]);
        cstep = o.contour_step > 0 ? o.contour_step : auto_contour_step(item, level, lo, hi);
        levels = contour_levels(cstep, lo, hi);
        if (cells && !levels.empty() && o.auto_range) {
            const float a = std::floor(zmin / cstep) * cstep, b = std::ceil(zmax / cstep) * cstep;
            if (a < b && (b - a) / cstep <= 1000) {
                zmin = a, zmax = b;
                const float bands = (b - a) / cstep;
                zstep = cstep * std::max(1.0f, std::ceil(bands / 10.0f));
            }
        }
    }
    // Decimals of the colour bar from its step.
    int zdigits = 1;
    while (zdigits < 4 && std::fabs(zstep) * std::pow(10.0f, float(zdigits)) < 9.5f)
        ++zdigits;
    if (!levels.empty() && std::fabs(cstep - std::round(cstep)) < 1e-4f && cells) zdigits = -1;
    // Very small or large GRIB values (a dust concentration of 1.6e-7) as
    // mantissa and exponent.
    const float magnitude = std::max(std::fabs(zmin), std::fabs(zmax));
    if (o.grib && (magnitude >= 1e6f || (magnitude > 0 && magnitude < 1e-2f))) {
        rz::labels("fexp", "z");
        zdigits = 2;
    }
    rz::digits(zdigits, "z");
    if (cells) load_palette(o.palette, zmin, zmax, levels);
    // The map keeps the area's aspect within the fixed map's axes (1951 x
    // 1881), centred in them.
    const float w = 1951.0f, hgt = 1881.0f, aspect = (xe - xa) / (ye - ya);
    const int lx = aspect > w / hgt ? int(w) : std::max(2, int(hgt * aspect));
    const int ly = aspect > w / hgt ? std::max(2, int(w / aspect)) : int(hgt);
    rz::axspos(526 + (1951 - lx) / 2, 2346 - (1881 - ly) / 2);
    rz::axslen(lx, ly);
    if (plate) {
        // Plate carree keeps the plain axes.
        rz::name("Longitude", "x");
        rz::name("Latitude", "y");
        rz::labels("map", "x");
        rz::labels("map", "y");
        const int digits = step < 1.0f ? 1 : -1;
        rz::digits(digits, "x");
        rz::digits(digits, "y");
        const float xf = std::ceil(xa / step) * step, yf = std::ceil(ya / step) * step;
        if (cells)
            rz::graf3(xa, xe, xf, step, ya, ye, yf, step, zmin, zmax, zmin, zstep);
        else
            rz::graf(xa, xe, xf, step, ya, ye, yf, step);
    } else {
        // The graticule: meridians and parallels each by their own extent (a
        // map round a pole has its meridians every 30 degrees).
        const float lon_span = gm.lon1 - gm.lon0, lat_span = gm.lat1 - gm.lat0;
        const float lat_step = geo_label_step(lat_span);
        const float lon_step =
            lon_span >= 359.0f && lat_span < 120.0f ? 30.0f : geo_label_step(lon_span);
        if (cells)
            rz::grafmp3(xa, xe, ya, ye, lon_step, lat_step, zmin, zmax, zmin, zstep);
        else
            rz::grafmp(xa, xe, ya, ye, lon_step, lat_step);
    }
    if (o.draw_only) {
        rz::close_axis_system();
        return 1;
    }
    // In the grid's own plane its points need no projection.
    std::vector<float> plane_x, plane_y;
    if (gm.own && m.affine && !plate) {
        const std::size_t n = std::size_t(m.cols) * std::size_t(m.rows);
        plane_x.resize(n), plane_y.resize(n);
        for (int j = 0; j < m.rows; ++j)
            for (int i = 0; i < m.cols; ++i) {
                plane_x[std::size_t(j) * m.cols + i] = float(m.x0 + i * m.dx);
                plane_y[std::size_t(j) * m.cols + i] = float(m.y0 - j * m.dy);
            }
    }
    const bool in_plane = !plane_x.empty();
    if (kind == 1 && cells) {
        if (in_plane)
            rz::mapcel(plane_x.data(), plane_y.data(), shown, m.cols, m.rows);
        else
            rz::geocel(m.lon, m.lat, shown, m.cols, m.rows);
    }
    // A long title (level names, valid time) is drawn smaller so that it
    // fits the page with a margin on each side.
    constexpr int kTitleRoom = 2925 - 2 * 60;
    if (const int w = rz::txtlen(title_line); w > kTitleRoom)
        rz::height(std::max(16, 40 * kTitleRoom / w));
    rz::titlin(title_line, 3);
    rz::title();
    if (o.contours != 0) {
        if (!levels.empty()) {
            int digits = -1;
            for (float d = cstep;
                 digits < 3 && std::fabs(d - std::round(d)) > 1e-4f * std::fabs(d) + 1e-6f; d *= 10)
                digits = digits < 0 ? 1 : digits + 1;
            rz::color(cells ? "fore" : "blue");
            rz::height(36);
            rz::isolab(700, digits);
            rz::isohal(0);
            if (in_plane)
                rz::mapiso(plane_x.data(), plane_y.data(), m.cols, m.rows, shown, levels.data(),
                           int(levels.size()));
            else
                rz::geoiso(m.lon, m.lat, m.cols, m.rows, shown, levels.data(), int(levels.size()));
        }
        rz::color("fore");
    }
    draw_world_coast(gm);
    if (!plate) {
        rz::dot();
        rz::mapgrd();
        rz::solid();
    }
    if (kind == 2 && cells) {
        // Arrows about 60 plot units apart at least, coloured by speed.
        const float* u = m.a;
        const float* v = m.b;
        const float scale = o.vector_scale;
        int every = std::max(1, o.vector_density);
        const float per_cell = 1950.0f * gm.spacing / std::max(span, 1e-3f);
        every = std::max(every, int(std::ceil(60.0f / std::max(per_cell, 1e-3f))));
        const float* speed = shown;
        const GridWinds winds(m.winds_grid_relative ? m.proj : std::string());
        for (int j = 0; j < m.rows; j += every)
            for (int i = 0; i < m.cols; i += every) {
                const int k = j * m.cols + i;
                if (std::isnan(speed[k]) || !near_area(gm, m.lon[k], m.lat[k], 0)) continue;
                float east = u[k], north = v[k];
                if (m.winds_grid_relative &&
                    !winds.earth_relative(m.lon[k], m.lat[k], &east, &north))
                    continue;
                rz::setclr(static_cast<int>(253.0f * (speed[k] - zmin) / (zmax - zmin) + 1.0f));
                rz::geovec(m.lon[k], m.lat[k], east, north, scale * 9.0f, kArrowCode);
            }
    }
    rz::close_axis_system();
    return 1;
}

// The map a request draws: over an area or on the fixed map, the values
// shown (the field, or the wind speed in `speed`) and their colour range.
struct Plan {
    bool geo = false;
    GeoMap gm;
    const float* shown = nullptr;
    float zmin = 0, zmax = 0;
};

// The checks and the colour range of a map (see map_range); the range
// before a field of one value is widened goes to result.
int plan_map(const MapRequest& o, std::vector<float>& speed, Plan& p, MapResult& result,
             Error& error) {
    const MapGrid& m = o.grid;
    const int n = m.cols * m.rows;
    const float *a = m.a, *b = m.b;
    if (!a || (o.kind == 2 && !b) || !m.lon || !m.lat || m.cols < 1 || m.rows < 1) {
        error = {"plot_field", "The map has no field to draw.", Error::Value};
        return 0;
    }
    const bool geo = o.geo;
    if (!geo && o.area) {
        bool reached = false;
        for (int k = 0; k < n && !reached; ++k)
            reached = !std::isnan(a[k]) && reaches(o, m, k);
        if (!reached) {
            fail(o, error, "The area lies outside the field's grid.");
            return 0;
        }
    }
    GeoMap& gm = p.gm;
    if (geo) {
        gm.spacing = grid_spacing(m);
        if (o.area) {
            gm.lon0 = o.lon0, gm.lon1 = o.lon1, gm.lat0 = o.lat0, gm.lat1 = o.lat1;
        } else if (o.fixed) {
            gm.lon0 = kFixedWest, gm.lon1 = kFixedEast, gm.lat0 = kFixedSouth,
            gm.lat1 = kFixedNorth;
        } else {
            grid_extent(m, 0.5f * gm.spacing, gm);
        }
        gm.own = o.projection == 0 && !o.area && !o.fixed && !m.proj.empty();
        gm.proj = projection_definition(o.projection, m, gm);
        bool reached = false;
        for (int k = 0; k < n && !reached; ++k)
            reached = near_area(gm, m.lon[k], m.lat[k], gm.spacing);
        if (!reached) {
            fail(o, error, "The area lies outside the field's grid.");
            return 0;
        }
    }

    if (o.kind == 2) {
        if (speed.size() < std::size_t(n)) speed.resize(std::size_t(n));
        for (int k = 0; k < n; ++k)
            speed[k] = std::sqrt(a[k] * a[k] + b[k] * b[k]);
    }
    const float* shown = o.kind == 2 ? speed.data() : a;

    float zmin, zmax;
    if (o.auto_range) {
        if (o.kind == 2) {
            zmin = 1.0e32f;
            zmax = -1.0e32f;
            for (int k = 0; k < n; ++k) {
                if (speed[k] < zmin) zmin = speed[k];
                if (speed[k] > zmax) zmax = speed[k];
            }
        } else {
            zmin = m.label.min_value;
            zmax = m.label.max_value;
        }
        if (geo && o.area) {
            float lo = 1.0e32f, hi = -1.0e32f;
            for (int k = 0; k < n; ++k)
                if (!std::isnan(shown[k]) && near_area(gm, m.lon[k], m.lat[k], 0.5f * gm.spacing))
                    lo = std::min(lo, shown[k]), hi = std::max(hi, shown[k]);
            if (lo <= hi) zmin = lo, zmax = hi;
        } else if (geo && o.kind != 2) {
            zmin = 1.0e32f, zmax = -1.0e32f;
            for (int k = 0; k < n; ++k)
                if (!std::isnan(shown[k]))
                    zmin = std::min(zmin, shown[k]), zmax = std::max(zmax, shown[k]);
        } else if (o.area) {
            area_range(o, m, shown, &zmin, &zmax);
        }
    } else {
        zmin = o.range_low;
        zmax = o.range_high;
        if (!(zmin < zmax)) zmax = zmin + 1.0f;
    }
    result.zmin = zmin, result.zmax = zmax;
    if (zmax == zmin) {
        // A map of one value (an area inside one cell) is drawn all the same.
        if (!geo && !o.area) {
            result.constant = true;
            result.value = zmin;
        }
        zmax = zmin + 1.0f;
    }
    p.geo = geo;
    p.shown = shown;
    p.zmin = zmin, p.zmax = zmax;
    return 1;
}

// The plotting library ended a page that a face asked to recover from.
struct LibraryEnded {};
[[noreturn]] void library_ended() {
    throw LibraryEnded{};
}

// Goes back to the folder a page was written from, whatever way it ends.
struct FolderGuard {
    std::string folder;
    ~FolderGuard() {
        // The folder the page started in was entered before; there is no
        // one left to tell when it cannot be entered again.
        if (folder.empty()) return;
        [[maybe_unused]] const int r = chdir(folder.c_str());
    }
};

std::string current_folder() {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::current_path(ec);
    return ec ? "." : p.string();
}

// A private folder for a page drawn into memory, removed with its file.
struct MemoryPage {
    std::string folder, file;
    ~MemoryPage() {
        if (!file.empty()) unlink(file.c_str());
        if (!folder.empty()) rmdir(folder.c_str());
    }
};

bool read_whole(const std::string& path, std::vector<unsigned char>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    bytes.clear();
    unsigned char chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// The page: the fixed map, or a map of an area (draw_geo_map). 1 when drawn.
int draw_page(const MapRequest& o, const Plan& p, const std::string& path, Error& error) {
    const MapGrid& m = o.grid;
    const int n = m.cols * m.rows;
    const float* shown = p.shown;
    const float zmin = p.zmin, zmax = p.zmax;
    const float zstep = static_cast<float>((zmax - zmin) / 9.0);
    const MapFrame f = map_frame(o);
    const bool cells = o.contours != 2;
    namespace rz = razidu;
    // A frame drawn only in memory names no file: the library would replace
    // a file of that name, which another page may have written.
    rz::metafl(o.draw_only ? "virt" : o.device.c_str());
    rz::winsiz(650, 600);
    if (!o.draw_only) {
        rz::filmod("delete");
        rz::setfil(path.c_str());
    }
    rz::scrmod("revers");
    rz::page(2925, 2820);
    rz::disini();
    if (p.geo) {
        const int r = draw_geo_map(o, m, p.gm, shown, o.title.c_str(), zmin, zmax, zstep, error);
        rz::disfin();
        return r;
    }
    rz::axspos(526, 2346);
    rz::hwfont();
    rz::widbar(50);
    rz::name("Longitude", "x");
    rz::name("Latitude", "y");
    rz::labels("map", "x");
    rz::labels("map", "y");
    rz::digits(f.digits, "x");
    rz::digits(f.digits, "y");
    rz::nochek();
    rz::color("fore");
    rz::height(40);
    if (o.area)
        rz::autres(cells_over(f.x1 - f.x0, lon_step(m)), cells_over(f.y1 - f.y0, lat_step(m)));
    else
        rz::autres(m.res_cols, m.res_rows);
    if (cells && o.grib) {
        // The colour bar of a GRIB field labels its values in the digits
        // the steps need: very small or large ones as mantissa and exponent.
        const float mag = std::max(std::fabs(zmin), std::fabs(zmax));
        if (mag >= 1e6f || (mag > 0 && mag < 1e-2f)) {
            rz::labels("fexp", "z");
            rz::digits(2, "z");
        } else {
            int d = zstep > 0 ? static_cast<int>(std::ceil(-std::log10(zstep))) : 1;
            rz::digits(std::clamp(d, 1, 6), "z");
        }
    }
    if (cells)
        rz::graf3(f.x0, f.x1, f.x_first, f.x_step, f.y0, f.y1, f.y_first, f.y_step, zmin, zmax,
                  zmin, zstep);
    else
        rz::graf(f.x0, f.x1, f.x_first, f.x_step, f.y0, f.y1, f.y_first, f.y_step);
    if (o.draw_only) {
        rz::close_axis_system();
        rz::disfin();
        return 1;
    }
    if (o.kind == 1 && cells) {
        if (o.area) {
            std::vector<float> x, y, z;
            int count = area_cells(o, m, x, y, z);
            rz::curve3(x.data(), y.data(), z.data(), count);
        } else if (!o.grib) {
            rz::curve3(m.lon, m.lat, m.a, n);
        } else {
            std::vector<float> x, y, z;
            rz::curve3(x.data(), y.data(), z.data(), present_cells(m, x, y, z));
        }
    }
    rz::titlin(o.title.c_str(), 3);
    rz::title();
    draw_coastline(o.coast_x, o.coast_y);
    if (o.contours != 0) {
        float lo = 1.0e32f, hi = -1.0e32f;
        for (int k = 0; k < n; ++k)
            if (shown[k] == shown[k]) lo = std::min(lo, shown[k]), hi = std::max(hi, shown[k]);
        float step =
            o.contour_step > 0 ? o.contour_step : auto_contour_step(o.item, o.level, lo, hi);
        if (!cells) rz::color("blue");
        draw_contours(m, shown, step, lo, hi);
    }
    rz::color("back");
    if (o.kind == 2 && cells) draw_arrows(o, m, shown, zmin, zmax);
    rz::close_axis_system();
    rz::disfin();
    return 1;
}

std::mutex page_mutex;                       // one page at a time: the library is one per process
std::vector<float> page_speed;               // the wind speed of the page under way
thread_local std::vector<float> range_speed; // of map_range

} // namespace

bool within_fixed_frame(const MapGrid& m) {
    const int n = m.cols * m.rows;
    for (int k = 0; k < n; ++k) {
        float lon = std::fmod(m.lon[k], 360.0f);
        if (lon < 0) lon += 360.0f;
        if (!(lon >= kFixedWest && lon <= kFixedEast && m.lat[k] >= kFixedSouth &&
              m.lat[k] <= kFixedNorth))
            return false;
    }
    return true;
}

std::string map_title(const MapRequest& q, const MapTitle& t) {
    const gpv::FieldLabel& h = q.grid.label;
    const char* item = t.item.c_str();
    char text[200];
    if (!q.grib)
        std::snprintf(text, sizeof text, "%s  P=%d  DT=%02d%02d%02d%02d TM=%d", item, q.level,
                      h.init_year, h.init_month, h.init_day, h.init_hour, t.hour);
    else
        std::snprintf(text, sizeof text, "%s  %s  DT=%02d%02d%02d%02d TM=%s", item, t.level.c_str(),
                      h.init_year, h.init_month, h.init_day, h.init_hour, t.hour_text.c_str());
    if (q.geo && q.grib) {
        // GRIB maps name the level with its unit, the initial and the valid
        // time (files of times in minutes count their "hours" in minutes).
        std::tm start{};
        start.tm_year = 100 + h.init_year, start.tm_mon = h.init_month - 1;
        start.tm_mday = h.init_day, start.tm_hour = h.init_hour;
        const std::time_t valid = timegm(&start) + std::time_t(t.hour) * (t.minutes ? 60 : 3600);
        std::tm v{};
        gmtime_r(&valid, &v);
        char lead[48], valid_text[80];
        if (t.minutes) {
            std::snprintf(lead, sizeof lead, "+%s", t.hour_text.c_str());
            std::snprintf(valid_text, sizeof valid_text, "%04d-%02d-%02d %02d:%02dUTC",
                          v.tm_year + 1900, v.tm_mon + 1, v.tm_mday, v.tm_hour, v.tm_min);
        } else {
            std::snprintf(lead, sizeof lead, "+%dh", t.hour);
            std::snprintf(valid_text, sizeof valid_text, "%04d-%02d-%02d %02dUTC", v.tm_year + 1900,
                          v.tm_mon + 1, v.tm_mday, v.tm_hour);
        }
        std::snprintf(text, sizeof text, "%s  %s  %04d-%02d-%02d %02dUTC %s  valid %s", item,
                      t.level.c_str(), 2000 + h.init_year, h.init_month, h.init_day, h.init_hour,
                      lead, valid_text);
    }
    return text;
}

int map_range(const MapRequest& request, MapResult& result, Error& error) {
    result = MapResult{};
    Plan p;
    return plan_map(request, range_speed, p, result, error);
}

int draw_map(const MapRequest& o, MapResult& result, Error& error) {
    result = MapResult{};
    std::lock_guard<std::mutex> lock(page_mutex);
    Plan p;
    if (!plan_map(o, page_speed, p, result, error)) return 0;
    if (result.constant) return 0;

    // Into memory: the page is written to a private folder and read back.
    MemoryPage memory;
    std::string full_path = o.path;
    if (full_path.empty() && !o.draw_only) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kivar-map-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            error = {"plot_field", pattern + ": " + std::strerror(errno), Error::Output};
            return 0;
        }
        memory.folder = pattern;
        memory.file = full_path = pattern + "/map";
    }
    // The library keeps 80 characters of a file name: a longer path is
    // written from inside its folder under the bare name.
    std::string path = full_path;
    FolderGuard back;
    if (path.size() > kPlotNameMax) {
        const std::size_t slash = full_path.rfind('/');
        const std::string dir = slash == std::string::npos ? "" : full_path.substr(0, slash + 1);
        back.folder = current_folder();
        if (dir.empty() || chdir(dir.c_str()) != 0) {
            back.folder.clear();
            fail(o, error, "Error: can't enter " + dir);
            return 0;
        }
        path = full_path.substr(slash + 1);
    }

    int drawn = 0;
    if (o.quiet) razidu::messages_shown(false);
    if (o.recover) {
        razidu::end_hook(library_ended);
        try {
            drawn = draw_page(o, p, path, error);
        } catch (const LibraryEnded&) {
            drawn = 0;
        }
        razidu::end_hook(nullptr);
    } else {
        drawn = draw_page(o, p, path, error);
    }
    if (o.quiet) razidu::messages_shown(true);
    if (o.draw_only) return drawn;

    const razidu::PageOutcome outcome = razidu::page_outcome();
    result.outcome = outcome.status;
    result.reason = outcome.reason ? outcome.reason : "";
    if (outcome.status != 0) {
        error = {"plot_field", full_path + ": " + result.reason, Error::Output};
        if (outcome.status == 3)
            error.text = full_path + ": the library ended the page: " + result.reason;
        return 0;
    }
    if (drawn != 1) return 0;
    if (!memory.file.empty() && !read_whole(memory.file, result.bytes)) {
        error = {"plot_field", full_path + ": " + std::strerror(errno), Error::Output};
        return 0;
    }
    result.drawn = true;
    return 1;
}

float auto_contour_step(int item, int level, float lo, float hi) {
    switch (item & 0xff) {
    case kItemPressure:
        return 4.0f;
    case kItemTemperature:
        return 3.0f;
    case kItemHumidity:
    case kItemCloud:
        return 10.0f;
    case kItemWindU:
    case kItemWindV:
        return 5.0f; // isotachs of the wind speed
    case kItemGeopotential:
        if (level >= 925) return 40.0f;
        if (level >= 400) return 60.0f;
        if (level > 0) return 120.0f;
        break;
    default:
        break;
    }
    return nice_step(lo, hi);
}

std::vector<float> contour_levels(float step, float lo, float hi) {
    std::vector<float> levels;
    if (!(step > 0) || !(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi)) return levels;
    double first = std::ceil(double(lo) / step), last = std::floor(double(hi) / step);
    if (!(last >= first)) return levels;
    double every = std::ceil((last - first + 1) / kMaxContourLevels);
    for (double k = first; k <= last; k += every)
        levels.push_back(float(k * step));
    return levels;
}

bool parse_area(const std::string& text, float area[4], std::string* why) {
    std::istringstream in(text);
    double v[4];
    std::string word;
    int n = 0;
    while (in >> word) {
        char* end = nullptr;
        double d = std::strtod(word.c_str(), &end);
        if (n == 4 || end == word.c_str() || *end || !std::isfinite(d)) {
            *why = "The area wants four numbers: LON0 LON1 LAT0 LAT1.";
            return false;
        }
        v[n++] = d;
    }
    if (n != 4) {
        *why = "The area wants four numbers: LON0 LON1 LAT0 LAT1.";
        return false;
    }
    // An east longitude followed by a west one crosses the date line:
    // "150 -120" is 150 E to 120 W.
    if (v[0] >= 0 && v[1] < 0 && v[0] <= 180 && v[1] >= -180) v[1] += 360;
    if (!(v[0] < v[1]) || !(v[2] < v[3])) {
        *why = "The area is empty or reversed: LON0 must be west of LON1 and LAT0 south of LAT1.";
        return false;
    }
    if (v[2] < -90 || v[3] > 90 || v[1] - v[0] > 360) {
        *why = "The area lies outside the globe: latitudes run from -90 to 90.";
        return false;
    }
    for (int k = 0; k < 4; ++k)
        area[k] = float(v[k]);
    return true;
}

bool parse_contour_step(const std::string& text, float& step, std::string* why) {
    std::istringstream in(text);
    std::string word, extra;
    in >> word >> extra;
    if (word == "auto" && extra.empty()) {
        step = 0;
        return true;
    }
    char* end = nullptr;
    const double d = std::strtod(word.c_str(), &end);
    if (word.empty() || *end || !extra.empty() || !(d > 0) || !std::isfinite(d) || float(d) <= 0) {
        *why = "The contour step wants a positive number or auto.";
        return false;
    }
    step = float(d);
    return true;
}

} // namespace engine
