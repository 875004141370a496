// The world coastline drawn on maps other than the fixed Japan frame: GSHHG
// shorelines at three resolutions (tools/gen_world_coast.py), built into the
// program.
#pragma once

#include <cstddef>
#include <vector>

namespace engine {

// Polylines of points in degrees east (0..360) and north: line k runs from
// start[k] to start[k + 1] - 1.
struct CoastLines {
    std::vector<float> lon, lat;
    std::vector<int> start; // one more entry than lines
};

// The coastline for a map spanning `span` degrees (the larger of its longitude
// and latitude extent): crude above 90 degrees, low above 20, intermediate
// below. Decoded at the first call of each resolution; an empty set when the
// built-in data is damaged.
const CoastLines& world_coast(float span);

// Decodes one generated coastline file (its bytes) into out;
// false when it is malformed (out then holds the lines before the fault).
bool decode_coast(const unsigned char* data, std::size_t size, CoastLines& out);

} // namespace engine
