// The grid-sized work arrays, the coastline and the cell centres.
#include "gpv/gpv.h"

#include <cstring>

namespace gpv {

GpvGrid grid;

int load_map(const char* mapPath) {
    std::FILE* f = std::fopen(mapPath, "rb");
    if (!f) return 0;
    grid.CoastX.assign(kCoastPoints, kCoastEndMark);
    grid.CoastY.assign(kCoastPoints, 0.0f);
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
        bool lonRead = 4 * (k + 1) <= static_cast<int>(got);
        bool latRead = 4 * (kCoastPoints + k + 1) <= static_cast<int>(got);
        if (lonRead && latRead) {
            grid.CoastX[k] = le_float(k);
            grid.CoastY[k] = le_float(kCoastPoints + k);
        }
    }
    return 1;
}

int ini_vars(const char* mapPath, int gridCount) {
    GpvGrid& g = grid;
    for (auto* v : {&g.SpeedBuffer, &g.FieldBuffer[0], &g.FieldBuffer[1], &g.LonArray, &g.LatArray,
                    &g.CoastX, &g.CoastY})
        std::vector<float>().swap(*v);
    g.allocatedCount = 0;
    g.filledCols = g.filledRows = 0;
    if (gridCount <= 0) {
        report("ini_vars", "Not enough memory.");
        return 0;
    }
    try {
        g.FieldBuffer[0].assign(gridCount, 0.0f);
        g.FieldBuffer[1].assign(gridCount, 0.0f);
        g.SpeedBuffer.assign(gridCount, 0.0f);
        g.LonArray.assign(gridCount + 3, 0.0f);
        g.LatArray.assign(gridCount + 3, 0.0f);
    } catch (const std::bad_alloc&) {
        report("ini_vars", "Not enough memory.");
        return 0;
    }
    g.allocatedCount = gridCount;
    if (!load_map(mapPath)) {
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
    if (h.gridCols == grid.filledCols && h.gridRows == grid.filledRows) return;
    if (h.gridCount > grid.allocatedCount) return;
    for (int j = 0; j < h.gridRows; ++j)
        for (int i = 0; i < h.gridCols; ++i) {
            grid.LonArray[j * h.gridCols + i] = h.lonMin + (i + 0.5f) * h.lonStep;
            grid.LatArray[j * h.gridCols + i] = h.latMax - (j + 0.5f) * h.latStep;
        }
    grid.filledCols = h.gridCols;
    grid.filledRows = h.gridRows;
}

} // namespace gpv
