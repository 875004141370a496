// Coordinates of the points of a grid, in the order the decoder delivers its
// values, and the placing of projected grids through PROJ.
#include "grib/grid.h"

#include <proj.h>

#include <cmath>
#include <cstdio>

namespace grib {

namespace {

std::string format(const char* fmt, auto... args) {
    char text[320];
    std::snprintf(text, sizeof text, fmt, args...);
    return text;
}

// A PROJ transformation from longitude/latitude (degrees, east/north order)
// to a grid's projected metres, freed with its context.
struct Projection {
    PJ_CONTEXT* ctx = nullptr;
    PJ* pj = nullptr;
    explicit Projection(const std::string& definition) {
        ctx = proj_context_create();
        if (!ctx) return;
        proj_log_level(ctx, PJ_LOG_NONE);
        pj = proj_create(ctx, definition.c_str());
    }
    ~Projection() {
        if (pj) proj_destroy(pj);
        if (ctx) proj_context_destroy(ctx);
    }
    Projection(const Projection&) = delete;
    Projection& operator=(const Projection&) = delete;
};

} // namespace

std::string lambert_proj(double lad, double lov, double latin1, double latin2, double a, double b) {
    return format("+proj=lcc +lat_0=%.10g +lon_0=%.10g +lat_1=%.10g +lat_2=%.10g +a=%.10g +b=%.10g",
                  lad, lov, latin1, latin2, a, b);
}

std::string polar_proj(bool south, double lad, double lov, double a, double b) {
    return format("+proj=stere +lat_0=%d +lat_ts=%.10g +lon_0=%.10g +a=%.10g +b=%.10g",
                  south ? -90 : 90, lad, lov, a, b);
}

std::string mercator_proj(double lad, double a, double b) {
    return format("+proj=merc +lat_ts=%.10g +lon_0=0 +a=%.10g +b=%.10g", lad, a, b);
}

bool place_projected_grid(Grid& grid, double first_lat, double first_lon, std::string& problem) {
    Projection p(grid.proj);
    if (!p.pj) {
        problem = "PROJ refuses the grid's projection " + grid.proj;
        return false;
    }
    // A bare projection definition maps geodetic radians to metres.
    PJ_COORD c = proj_coord(first_lon * M_PI / 180, first_lat * M_PI / 180, 0, 0);
    PJ_COORD xy = proj_trans(p.pj, PJ_FWD, c);
    if (!std::isfinite(xy.xy.x) || !std::isfinite(xy.xy.y) || proj_errno(p.pj) != 0) {
        problem = format("PROJ cannot place the first point (%g N, %g E) of the grid", first_lat,
                         first_lon);
        return false;
    }
    // The first point is where the scan starts; delivered rows run from the
    // largest y to the smallest and columns from the smallest x.
    int s = grid.scan_mode;
    grid.x0 = (s & 0x80) ? xy.xy.x - (grid.cols - 1) * grid.dx : xy.xy.x;
    grid.y0 = (s & 0x40) ? xy.xy.y + (grid.rows - 1) * grid.dy : xy.xy.y;
    return true;
}

int grid_coordinates(const Grid& grid, std::span<double> lat, std::span<double> lon) {
    const std::size_t n = grid.count();
    if (lat.size() < n || lon.size() < n) {
        report("grid", "Error: coordinate arrays smaller than the grid.");
        return 0;
    }
    if (grid.template_number != 0 || !grid.row_points.empty()) {
        report(
            "grid",
            format("Error: no coordinates for grid template 3.%d.", grid.template_number).c_str());
        return 0;
    }
    std::size_t k = 0;
    for (int r = 0; r < grid.rows; ++r)
        for (int c = 0; c < grid.cols; ++c, ++k) {
            lat[k] = grid.lat_north - r * grid.lat_step;
            lon[k] = grid.lon_west + c * grid.lon_step;
        }
    return 1;
}

} // namespace grib
