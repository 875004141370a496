// The in-memory raster page: one colour number (0..255, an index into the
// colour table) per pixel, row 0 at the top, rows padded to a multiple of 4
// bytes. Drawn by the primitive dispatch, written out by the image writers.
#pragma once

#include <cstdint>
#include <cstddef>
#include <memory>

namespace razidu {

struct RasterImage {
    int width = 0;
    int height = 0;
    int stride = 0;                    // width rounded up to a multiple of 4
    std::unique_ptr<uint8_t[]> pixels; // stride * height bytes, or null
    uint8_t colour = 0;                // current colour of raster_line
    int pen_x = 0, pen_y = 0;          // current pixel of the device pen
    // The pixels of the last closed page, kept for the next page of the same
    // size: a run of maps then reuses one allocation instead of mapping fresh
    // memory for every page.
    std::unique_ptr<uint8_t[]> spare;
    size_t spare_bytes = 0;
};

// Memory of the PNG writer kept from one image to the next, so that a run of
// maps neither maps fresh pages nor zeroes them for every image: the raw
// rows, the compressed area, and the compressor's own blocks (deflateInit
// asks for the same few sizes every time).
struct PngMemory {
    std::unique_ptr<uint8_t[]> raw, packed;
    size_t raw_size = 0, packed_size = 0;
    struct Block {
        void* p;
        size_t size;
        bool used;
    };
    Block blocks[8] = {};
    PngMemory() = default;
    PngMemory(const PngMemory&) = delete;
    PngMemory& operator=(const PngMemory&) = delete;
    // Blocks go back to the C heap they came from.
    PngMemory& operator=(PngMemory&& o) noexcept;
    ~PngMemory();
};

// Allocates the page of the plot in g_plot.raster. With window_size_mode 0
// the size is 853 x 603 when page_width > page_height, else 603 x 853;
// otherwise width and height are kept. Clears to 0; status 0, or 1 when the
// pixels cannot be allocated.
void raster_open(int page_width, int page_height, int* width, int* height, int window_size_mode,
                 int* status);
// Sets every byte, padding included, to 0.
void raster_clear();
void raster_set_colour(int n);
// Line in the current colour, both ends included. Pixels outside the image
// are skipped.
void raster_line(int x0, int y0, int x1, int y1);
// Sets x0 <= column <= x1, y0 <= row <= y1 to n; nothing when x0 > x1 or
// y0 > y1; limited to the image.
void raster_fill_rect(int x0, int y0, int x1, int y1, int n);
// Copies n bytes of each of `rows` rows, from column x of row y on, into dest.
// Fills the polygon of n points in pixel coordinates (pixel centres at
// k + 0.5): a pixel is set when its centre lies inside, on the left or top
// edge but not on the right or bottom one, so that polygons sharing an edge
// neither overlap nor leave a gap. Limited to the image and to columns
// x0..x1, rows y0..y1.
void raster_fill_polygon(const float* x, const float* y, int n, int colour, int x0, int y0, int x1,
                         int y1);
void raster_read_rows(uint8_t* dest, int x, int y, int n, int rows);
void raster_close();

// Where an image writer puts its bytes: a file, or a test's buffer.
struct Sink {
    virtual ~Sink() = default;
    // Writes n bytes; false when they could not all be written.
    virtual bool write(const void* bytes, size_t n) = 0;
};

// Image writers: image r with the colour table `colours` (256 entries
// 0x00RRGGBB) and, for PNG and BMP, `palette` of them in the palette. Status
// 0 success, -1 a write failed (or wrote other than the expected size), -2
// no memory, -3/-4/-5 deflate failures (PNG); the raw dump gives 1 for a
// failed write. A writer stops at the first failed write.
int write_tiff(Sink& sink, const RasterImage& r, const uint32_t colours[256]);
int write_raw_image(Sink& sink, const RasterImage& r);
// PNG keeps its buffers in `memory` for the next image when one is given.
int write_png(Sink& sink, const RasterImage& r, int palette, const uint32_t colours[256],
              PngMemory* memory = nullptr);
int write_ppm(Sink& sink, const RasterImage& r, const uint32_t colours[256]);
int write_bmp(Sink& sink, const RasterImage& r, int palette, const uint32_t colours[256]);
// kind = device code - 600: 1 TIFF, 2 IMAG, 4 PNG, 5 PPM, 6 BMP. Flushes the
// pending polyline and writes the page's image under the file's temporary
// name, renamed onto the file when complete. A file that cannot be created
// gives -1 (raw dump 1) and warning 36; a writer's failure warning 36, 51 or
// 101 "ZLIB error", and then no file takes the name. Returns the status.
int write_image_file(const char* file, int kind);

} // namespace razidu
