// The raster page: allocation, clearing, integer lines and filled
// rectangles on one byte per pixel, and the device operations of the raster
// images and of the screen windows that stand in for them.
#include "plot/core/state.h"
#include "plot/core/messages.h"
#include "plot/core/files.h"
#include "plot/core/dispatch.h"
#include "plot/draw/draw.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace razidu {

void raster_open(int page_width, int page_height, int* width, int* height, int window_size_mode,
                 int* status) {
    RasterImage& r = g_plot.raster;
    r.pixels.reset();
    if (window_size_mode == 0) {
        *width = page_width > page_height ? 853 : 603;
        *height = page_width > page_height ? 603 : 853;
    }
    // Any size is tried; only a byte count that does not fit size_t (or a
    // stride beyond int) counts as a failed allocation without trying.
    *status = 1;
    if (*width <= 0 || *height <= 0) return;
    const int64_t stride = (int64_t(*width) + 3) / 4 * 4;
    if (stride > INT32_MAX || uint64_t(stride) * uint64_t(*height) > SIZE_MAX) return;
    r.width = *width;
    r.height = *height;
    r.stride = int(stride);
    const size_t bytes = size_t(r.stride) * size_t(r.height);
    if (r.spare && r.spare_bytes == bytes)
        r.pixels = std::move(r.spare);
    else
        r.pixels.reset(new (std::nothrow) uint8_t[bytes]);
    r.spare.reset();
    if (!r.pixels) return;
    std::memset(r.pixels.get(), 0, bytes);
    r.colour = 0;
    *status = 0;
}

void raster_clear() {
    RasterImage& r = g_plot.raster;
    if (r.pixels) std::memset(r.pixels.get(), 0, size_t(r.stride) * size_t(r.height));
}

void raster_set_colour(int n) {
    g_plot.raster.colour = uint8_t(n & 0xFF);
}

void raster_line(int x0, int y0, int x1, int y1) {
    RasterImage& r = g_plot.raster;
    if (!r.pixels) return;
    uint8_t* const p = r.pixels.get();
    const int w = r.width, h = r.height, stride = r.stride;
    const uint8_t c = r.colour;
    // The callers keep both ends on the page; a line that is not wholly
    // inside still never writes outside the image.
    const bool safe =
        x0 >= 0 && x0 < w && x1 >= 0 && x1 < w && y0 >= 0 && y0 < h && y1 >= 0 && y1 < h;
    auto set = [&](int x, int y) {
        if (safe || (x >= 0 && x < w && y >= 0 && y < h))
            p[size_t(y) * size_t(stride) + size_t(x)] = c;
    };
    if (y0 == y1) {
        const int sx = x0 > x1 ? -1 : 1;
        for (int x = x0;; x += sx) {
            set(x, y0);
            if (x == x1) break;
        }
        return;
    }
    const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    const int sx = x0 > x1 ? -1 : 1, sy = y0 > y1 ? -1 : 1;
    int x = x0, y = y0;
    set(x, y);
    if (dx <= dy) {
        int e = dy / 2;
        for (int i = 0; i < dy; ++i) {
            y += sy;
            e += dx;
            if (e > dy) {
                x += sx;
                e -= dy;
            }
            set(x, y);
        }
    } else {
        int e = dx / 2;
        for (int i = 0; i < dx; ++i) {
            x += sx;
            e += dy;
            if (e > dx) {
                y += sy;
                e -= dx;
            }
            set(x, y);
        }
    }
}

void raster_fill_rect(int x0, int y0, int x1, int y1, int n) {
    RasterImage& r = g_plot.raster;
    if (!r.pixels || x0 > x1 || y0 > y1) return;
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, r.width - 1);
    y1 = std::min(y1, r.height - 1);
    if (x0 > x1 || y0 > y1) return;
    for (int y = y0; y <= y1; ++y)
        std::memset(r.pixels.get() + size_t(y) * size_t(r.stride) + size_t(x0), n & 0xFF,
                    size_t(x1 - x0 + 1));
}

void raster_fill_polygon(const float* x, const float* y, int n, int colour, int x0, int y0, int x1,
                         int y1) {
    RasterImage& r = g_plot.raster;
    if (!r.pixels || n < 3) return;
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min(x1, r.width - 1), y1 = std::min(y1, r.height - 1);
    float lo = y[0], hi = y[0];
    for (int k = 1; k < n; ++k)
        lo = std::min(lo, y[k]), hi = std::max(hi, y[k]);
    if (!(lo <= hi)) return; // a point that is not a number
    // Rows whose centre lies in [lo, hi).
    const int first = std::max(y0, int(std::ceil(lo - 0.5f))),
              last = std::min(y1, int(std::ceil(hi - 0.5f)) - 1);
    float cross[64];
    for (int row = first; row <= last; ++row) {
        const float c = float(row) + 0.5f;
        int m = 0;
        for (int k = 0; k < n && m < 64; ++k) {
            // Each edge from its upper end (then its left end) down, so that
            // the polygons sharing it compute the same crossings.
            float ax = x[k], ay = y[k], bx = x[(k + 1) % n], by = y[(k + 1) % n];
            if (ay > by || (ay == by && ax > bx)) std::swap(ax, bx), std::swap(ay, by);
            if (!(c >= ay && c < by)) continue;
            cross[m++] = ax + (c - ay) * (bx - ax) / (by - ay);
        }
        std::sort(cross, cross + m);
        uint8_t* line = r.pixels.get() + size_t(row) * size_t(r.stride);
        for (int k = 0; k + 1 < m; k += 2) {
            const int a = std::max(x0, int(std::ceil(cross[k] - 0.5f)));
            const int b = std::min(x1, int(std::ceil(cross[k + 1] - 0.5f)) - 1);
            if (a <= b) std::memset(line + a, colour & 0xFF, size_t(b - a + 1));
        }
    }
}

void raster_read_rows(uint8_t* dest, int x, int y, int n, int rows) {
    const RasterImage& r = g_plot.raster;
    if (!r.pixels || x < 0 || y < 0 || n < 0 || rows < 0 || x + n > r.stride || y + rows > r.height)
        return;
    for (int i = 0; i < rows; ++i)
        std::memcpy(dest + size_t(i) * size_t(n),
                    r.pixels.get() + size_t(y + i) * size_t(r.stride) + size_t(x), size_t(n));
}

void raster_close() {
    RasterImage& r = g_plot.raster;
    // Only pages of ordinary size are kept for reuse; a huge one is freed.
    r.spare_bytes = r.pixels ? size_t(r.stride) * size_t(r.height) : 0;
    r.spare = std::move(r.pixels);
    if (r.spare_bytes > (size_t(64) << 20)) {
        r.spare.reset();
        r.spare_bytes = 0;
    }
    r.width = r.height = r.stride = 0;
}

// ------------------------------------------------------------ device operations

namespace {

// The page in window_w x window_h pixels: an A4 landscape page never maps
// to more than window_w pixels across, and a smaller page is not enlarged
// beyond that ratio.
void raster_device_open() {
    PlotState& g = g_plot;
    int status = 0;
    raster_open(g.page_xmax + 1, g.page_ymax + 1, &g.window_w, &g.window_h, g.window_size_mode,
                &status);
    if (status != 0) {
        warning_plain(53);
        end_process(53, g.file_name, "not enough memory for the raster image");
    }
    g.raster.pen_x = g.raster.pen_y = 0;
    const bool landscape = g.page_xmax > g.page_ymax;
    const float xmax = float(g.page_xmax), ymax = float(g.page_ymax);
    const float w1 = float(g.window_w - 1), h1 = float(g.window_h - 1);
    const float f = std::min(w1 / xmax, h1 / ymax);
    g.device_scale = std::min(f, (landscape ? w1 : h1) / 2969.0f);
}

void raster_pen(float x, float y, int pen) {
    RasterImage& r = g_plot.raster;
    const int px = round_unit(x), py = round_unit(y);
    if (pen == 2) raster_line(r.pen_x, r.pen_y, px, py);
    r.pen_x = px;
    r.pen_y = py;
}

void raster_colour(int n, int, int, int) {
    raster_set_colour(wrap_colour(n));
}

void raster_fill_polygon_op(const float* x, const float* y, int n, int c) {
    const float s = g_plot.device_scale;
    flush_polyline();
    float px[64], py[64];
    if (n > 64) return;
    for (int k = 0; k < n; ++k)
        px[k] = x[k] * s, py[k] = y[k] * s;
    const int* clip = g_plot.line.clip_rect;
    raster_fill_polygon(px, py, n, wrap_colour(c), round_unit(float(clip[0]) * s),
                        round_unit(float(clip[1]) * s), round_unit(float(clip[2]) * s),
                        round_unit(float(clip[3]) * s));
}

void raster_fill(float x1, float y1, float x2, float y2, int c) {
    const float s = g_plot.device_scale;
    flush_polyline();
    raster_fill_rect(round_unit(x1 * s), round_unit(y1 * s), round_unit(x2 * s), round_unit(y2 * s),
                     wrap_colour(c));
}

// Image devices write their file; VIRT and the screen windows discard the
// page (no report of a written file).
int raster_finish() {
    PlotState& g = g_plot;
    int report = 0;
    if (writes_image_file(g.device)) {
        version_file_name(g.file_name);
        write_image_file(g.file_name, g.device - 600);
        report = 1;
    }
    raster_close();
    return report;
}

} // namespace

const DeviceOps kRasterOps = {
    PageAxes::Plot,
    nullptr,
    raster_device_open,
    raster_pen,
    raster_colour,
    raster_fill,
    0,
    nullptr,
    nullptr,
    raster_finish,
    raster_clear,
    raster_fill_polygon_op,
};

} // namespace razidu
