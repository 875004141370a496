// Coordinates of the points of a grid, in the order the decoder delivers its
// values.
#include "grib/grib.h"

#include <cstdio>

namespace grib {

int grid_coordinates(const Grid& grid, std::span<double> lat, std::span<double> lon) {
    const std::size_t n = grid.count();
    if (lat.size() < n || lon.size() < n) {
        report("grid", "Error: coordinate arrays smaller than the grid.");
        return 0;
    }
    if (grid.template_number != 0 || !grid.row_points.empty()) {
        char text[128];
        std::snprintf(text, sizeof text, "Error: no coordinates for grid template 3.%d.",
                      grid.template_number);
        report("grid", text);
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
