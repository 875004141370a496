// Isolines of a grid: tracing (marching squares, crossings joined into
// polylines) apart from drawing, so that the geometry can be used and checked
// on its own.
#pragma once

#include <cstdint>
#include <vector>

namespace razidu {

// A grid of nx * ny values, z[j * nx + i] at (x[i], y[j]).
struct IsoGrid {
    const float* x;
    const float* y;
    const float* z;
    int nx, ny;
};

// Reusable work space of trace_isolines: the links between cell edges and
// the points of the line being traced. Kept between calls so that the
// levels of one plot allocate once.
struct IsoWork {
    std::vector<int32_t> link;    // two per cell edge: the edges joined to it, -1 none
    std::vector<int32_t> touched; // edges with a link, to clear after a level
    std::vector<float> cell_min, cell_max;
    std::vector<float> block_min, block_max; // of kIsoBlock cells of a row, to skip them at once
    std::vector<float> px, py;               // the points of one line, in user coordinates
};

// Cells of a row whose range is kept together, so that a level passes over
// the blocks it does not cross without looking at their cells.
constexpr int kIsoBlock = 32;

// Called once per line with its points in user coordinates; closed lines end
// on their first point.
using IsoLineSink = void (*)(const float* x, const float* y, int n, bool closed, void* data);

// Prepares the per-cell ranges of a grid; call once before the levels.
void prepare_isolines(const IsoGrid& g, IsoWork& w);
// Traces the isolines of one level: every line once, open lines (ending at
// the grid's border or at cells with values that are not numbers) first,
// then closed ones. A corner equal to the level counts as above it; a saddle
// cell joins its corners on the side of the mean of its four values.
void trace_isolines(const IsoGrid& g, float level, IsoWork& w, IsoLineSink sink, void* data);

// Where isolin puts the points of its lines: when a map is set, the user
// coordinates (x, y) of each point go through it to page coordinates
// instead of the axis scaling; a point it returns false for breaks the line
// there. nullptr (the default) restores the scaling.
using IsoVertexMap = bool (*)(float x, float y, float* px, float* py, void* data);
void set_isoline_vertex_map(IsoVertexMap map, void* data);

// The label boxes that isolin placed in the current axis system are kept
// clear of other strokes: draw_cut_polyline draws a polyline of page points
// in the current line style, leaving out what lies under a label. Each new
// axis system forgets the boxes.
void draw_cut_polyline(const float* x, const float* y, int n);
void clear_label_keepout();

} // namespace razidu
