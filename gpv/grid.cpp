// The grid-sized work arrays, the coastline and the cell centres.
#include "gpv/gpv.h"

#include <cstring>

namespace gpv {

GpvGrid grid;

int load_map(const char* map_path) {
    return read_map(map_path, grid.CoastX, grid.CoastY);
}

int read_map(const char* map_path, std::vector<float>& x, std::vector<float>& y) {
    std::FILE* f = std::fopen(map_path, "rb");
    if (!f) return 0;
    x.assign(kCoastPoints, kCoastEndMark);
    y.assign(kCoastPoints, 0.0f);
    std::vector<std::uint8_t> bytes(8 * kCoastPoints, 0);
    std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    // Little-endian single-precision floats: longitudes, then latitudes.
    auto le_float = [&](std::size_t k) {
        const std::uint8_t* p = &bytes[4 * k];
        std::uint32_t u = p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
        float v;
        std::memcpy(&v, &u, 4);
        return v;
    };
    for (int k = 0; k < kCoastPoints; ++k) {
        bool lon_read = 4 * (k + 1) <= static_cast<int>(got);
        bool lat_read = 4 * (kCoastPoints + k + 1) <= static_cast<int>(got);
        if (lon_read && lat_read) {
            x[k] = le_float(k);
            y[k] = le_float(kCoastPoints + k);
        }
    }
    return 1;
}

int ini_vars(const char* map_path, int grid_count) {
    GpvGrid& g = grid;
    for (auto* v : {&g.SpeedBuffer, &g.FieldBuffer[0], &g.FieldBuffer[1], &g.LonArray, &g.LatArray,
                    &g.CoastX, &g.CoastY})
        std::vector<float>().swap(*v);
    g.allocated_count = 0;
    g.filled_cols = g.filled_rows = 0;
    if (grid_count <= 0) {
        report("ini_vars", "Not enough memory.");
        return 0;
    }
    try {
        g.FieldBuffer[0].assign(grid_count, 0.0f);
        g.FieldBuffer[1].assign(grid_count, 0.0f);
        g.SpeedBuffer.assign(grid_count, 0.0f);
        g.LonArray.assign(grid_count + 3, 0.0f);
        g.LatArray.assign(grid_count + 3, 0.0f);
    } catch (const std::bad_alloc&) {
        report("ini_vars", "Not enough memory.");
        return 0;
    }
    g.allocated_count = grid_count;
    if (!load_map(map_path)) {
        // The arrays stay usable; the coastline is all end marks and draws nothing.
        g.CoastX.assign(kCoastPoints, kCoastEndMark);
        g.CoastY.assign(kCoastPoints, 0.0f);
        report("initializeApp", "Error: can't read map.");
        return 0;
    }
    return 1;
}

void fill_cell_centres() {
    const GpvHeader& h = header;
    if (h.grid_cols == grid.filled_cols && h.grid_rows == grid.filled_rows) return;
    if (h.grid_count > grid.allocated_count) return;
    for (int j = 0; j < h.grid_rows; ++j)
        for (int i = 0; i < h.grid_cols; ++i) {
            grid.LonArray[j * h.grid_cols + i] = h.lon_min + (i + 0.5f) * h.lon_step;
            grid.LatArray[j * h.grid_cols + i] = h.lat_max - (j + 0.5f) * h.lat_step;
        }
    grid.filled_cols = h.grid_cols;
    grid.filled_rows = h.grid_rows;
}

} // namespace gpv
