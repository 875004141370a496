// Image file writers: TIFF, PNG, BMP, PPM and the raw dump, each a linear
// sequence of the format's units into a sink, a function of the image and
// the colours alone. Every writer knows the size of its output before it
// starts and reports a failed or short write as a file error.
// write_image_file writes the page's image into its file.
#include "plot/core/state.h"

#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace razidu {

namespace {

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
};
PngMemory png_memory;

// Grows a kept buffer to at least n bytes; false when it cannot.
bool keep_at_least(std::unique_ptr<uint8_t[]>& buf, size_t& size, size_t n) {
    if (buf && size >= n) return true;
    buf.reset(new (std::nothrow) uint8_t[n ? n : 1]);
    size = buf ? n : 0;
    return bool(buf);
}

voidpf png_zalloc(voidpf, uInt items, uInt size) {
    const size_t n = size_t(items) * size_t(size);
    PngMemory::Block* free_slot = nullptr;
    for (auto& b : png_memory.blocks) {
        if (b.p && !b.used && b.size == n) {
            b.used = true;
            return b.p;
        }
        if (!b.p && !free_slot) free_slot = &b;
    }
    if (!free_slot) return std::malloc(n); // never kept; see png_zfree
    free_slot->p = std::malloc(n);
    if (!free_slot->p) return Z_NULL;
    free_slot->size = n, free_slot->used = true;
    return free_slot->p;
}

void png_zfree(voidpf, voidpf p) {
    for (auto& b : png_memory.blocks)
        if (b.p == p) {
            b.used = false;
            return;
        }
    std::free(p);
}

// A sink being written, with a count of the bytes that reached it. After a
// failed write every later one is skipped.
struct Out {
    Sink& sink;
    long long written = 0;
    bool ok = true;

    void bytes(const void* p, size_t n) {
        if (ok && n) ok = sink.write(p, n);
        if (ok) written += (long long)n;
    }
    void u8(int v) {
        const uint8_t b = uint8_t(v);
        bytes(&b, 1);
    }
    void le16(uint32_t v) {
        const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
        bytes(b, 2);
    }
    void le32(uint32_t v) {
        const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        bytes(b, 4);
    }
    void be32(uint32_t v) {
        const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        bytes(b, 4);
    }
    // 0 when exactly `expected` bytes were written, else -1.
    int end(long long expected) const { return ok && written == expected ? 0 : -1; }
};

// Row y of an image, n bytes from column 0.
void read_row(const RasterImage& r, int y, uint8_t* dest, int n) {
    if (r.pixels && y >= 0 && y < r.height && n >= 0 && n <= r.stride)
        std::memcpy(dest, r.pixels.get() + size_t(y) * size_t(r.stride), size_t(n));
}

int red(uint32_t e) {
    return int((e >> 16) & 0xFF);
}
int green(uint32_t e) {
    return int((e >> 8) & 0xFF);
}
int blue(uint32_t e) {
    return int(e & 0xFF);
}

// ------------------------------------------------------------ TIFF

void tiff_entry(Out& out, int tag, int type, uint32_t count, uint32_t value) {
    out.le16(uint32_t(tag));
    out.le16(uint32_t(type));
    out.le32(count);
    if (type == 3 && count == 1) {
        out.le16(value);
        out.le16(0);
    } else {
        out.le32(value);
    }
}

// ------------------------------------------------------------ PNG

void png_chunk(Out& out, const char type[4], const uint8_t* data, size_t n) {
    out.be32(uint32_t(n));
    out.bytes(type, 4);
    if (n) out.bytes(data, n);
    uLong c = crc32(0L, reinterpret_cast<const Bytef*>(type), 4);
    if (n) c = crc32(c, data, uInt(n));
    out.be32(uint32_t(c));
}

void put_be32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

} // namespace

int write_tiff(Sink& sink, const RasterImage& r, const uint32_t colours[256]) {
    const uint32_t W = uint32_t(r.width), H = uint32_t(r.height);
    const long long expected = 1682 + 6LL * H + (long long)W * H;
    Out out{sink};
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[W ? W : 1]);
    if (!row) return -2;
    const uint32_t strips = 146, counts = 146 + 4 * H, colour_map = 146 + 6 * H;
    out.bytes("II", 2);
    out.le16(42);
    out.le32(8);
    out.le16(11);
    tiff_entry(out, 254, 4, 1, 0);
    tiff_entry(out, 256, 3, 1, W & 0xFFFF);
    tiff_entry(out, 257, 3, 1, H & 0xFFFF);
    tiff_entry(out, 258, 3, 1, 8);
    tiff_entry(out, 259, 3, 1, 1);
    tiff_entry(out, 262, 3, 1, 3);
    // Values that fit into the entry's four bytes stand there, not behind an
    // offset: the one strip offset of a 1-row image and the byte counts of
    // 1 or 2 rows. The arrays behind 146 are written all the same.
    const uint32_t first_row = 1682 + 6 * H, count = W & 0xFFFF;
    tiff_entry(out, 273, 4, H, H == 1 ? first_row : strips);
    tiff_entry(out, 277, 3, 1, 1);
    tiff_entry(out, 278, 3, 1, 1);
    tiff_entry(out, 279, 3, H, H == 1 ? count : H == 2 ? count | count << 16 : counts);
    tiff_entry(out, 320, 3, 768, colour_map);
    out.le32(0);
    for (uint32_t i = 0; i < H; ++i)
        out.le32(1682 + 6 * H + i * W);
    for (uint32_t i = 0; i < H; ++i)
        out.le16(W & 0xFFFF);
    const uint32_t* t = colours;
    for (int i = 0; i < 256; ++i)
        out.le16(uint32_t(red(t[i]) * 257));
    for (int i = 0; i < 256; ++i)
        out.le16(uint32_t(green(t[i]) * 257));
    for (int i = 0; i < 256; ++i)
        out.le16(uint32_t(blue(t[i]) * 257));
    for (uint32_t y = 0; y < H && out.ok; ++y) {
        read_row(r, int(y), row.get(), int(W));
        out.bytes(row.get(), W);
    }
    return out.end(expected);
}

int write_raw_image(Sink& sink, const RasterImage& r) {
    const long long expected = 80 + (long long)r.stride * r.height;
    Out out{sink};
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[r.stride ? r.stride : 1]);
    if (!row) return -2;
    char header[96];
    std::snprintf(header, sizeof header,
                  "!Bitmap RAZIDU VIRT %5d %5d %5d %5d %5d %5d %5d %5d %5d       ", r.width,
                  r.height, 8, r.stride, 8, 32, 0, 1, 0);
    out.bytes(header, 80);
    for (int y = 0; y < r.height && out.ok; ++y) {
        read_row(r, y, row.get(), r.stride);
        out.bytes(row.get(), size_t(r.stride));
    }
    return out.end(expected) == 0 ? 0 : 1;
}

int write_png(Sink& sink, const RasterImage& r, int P, const uint32_t colours[256]) {
    const uint32_t W = uint32_t(r.width), H = uint32_t(r.height);
    // Everything but the compressed data: signature, IHDR, PLTE, IDAT and
    // IEND chunk frames.
    const long long frame = 8 + (12 + 13) + (12 + 3LL * P) + 12 + 12;
    Out out{sink};
    out.bytes("\x89PNG\r\n\x1a\n", 8);
    uint8_t ihdr[13];
    put_be32(ihdr, W);
    put_be32(ihdr + 4, H);
    ihdr[8] = 8;  // bit depth
    ihdr[9] = 3;  // palette colour
    ihdr[10] = 0; // deflate
    ihdr[11] = 0; // no filter method beyond the standard
    ihdr[12] = 0; // no interlace
    png_chunk(out, "IHDR", ihdr, 13);
    uint8_t plte[3 * 256];
    for (int i = 0; i < P; ++i) {
        const uint32_t e = colours[i];
        plte[3 * i] = uint8_t(red(e));
        plte[3 * i + 1] = uint8_t(green(e));
        plte[3 * i + 2] = uint8_t(blue(e));
    }
    png_chunk(out, "PLTE", plte, size_t(3 * P));

    const size_t raw_size = size_t(H) * (size_t(W) + 1);
    const size_t area = raw_size + raw_size / 100 + 13;
    PngMemory& m = png_memory;
    if (!keep_at_least(m.raw, m.raw_size, raw_size) ||
        !keep_at_least(m.packed, m.packed_size, area))
        return -2;
    for (uint32_t y = 0; y < H; ++y) {
        uint8_t* line = m.raw.get() + size_t(y) * (W + 1);
        line[0] = 0; // filter: none
        read_row(r, int(y), line + 1, int(W));
    }
    z_stream z{};
    z.zalloc = png_zalloc;
    z.zfree = png_zfree;
    if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) return -3;
    z.next_in = m.raw.get();
    z.avail_in = uInt(raw_size);
    z.next_out = m.packed.get();
    z.avail_out = uInt(area);
    const int done = deflate(&z, Z_FINISH);
    const size_t packed_size = area - z.avail_out;
    const int ended = deflateEnd(&z);
    if (done != Z_STREAM_END) return -4;
    if (ended != Z_OK) return -5;
    png_chunk(out, "IDAT", m.packed.get(), packed_size);
    png_chunk(out, "IEND", nullptr, 0);
    return out.end(frame + (long long)packed_size);
}

int write_ppm(Sink& sink, const RasterImage& r, const uint32_t colours[256]) {
    char header[48];
    const int header_len =
        std::snprintf(header, sizeof header, "P6\n%d %d\n255\n", r.width, r.height);
    const long long expected = header_len + 3LL * r.width * r.height;
    Out out{sink};
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[size_t(r.width) * 4 + 1]);
    if (!row) return -2;
    out.bytes(header, size_t(header_len));
    uint8_t* index = row.get();
    uint8_t* rgb = row.get() + r.width;
    const uint32_t* t = colours;
    for (int y = 0; y < r.height && out.ok; ++y) {
        read_row(r, y, index, r.width);
        for (int x = 0; x < r.width; ++x) {
            const uint32_t e = t[index[x]];
            rgb[3 * x] = uint8_t(red(e));
            rgb[3 * x + 1] = uint8_t(green(e));
            rgb[3 * x + 2] = uint8_t(blue(e));
        }
        out.bytes(rgb, size_t(r.width) * 3);
    }
    return out.end(expected);
}

int write_bmp(Sink& sink, const RasterImage& r, int palette, const uint32_t colours[256]) {
    const uint32_t W = uint32_t(r.width), H = uint32_t(r.height), S = (W + 3) / 4 * 4;
    const uint32_t P = uint32_t(palette);
    const uint32_t data_offset = 54 + 4 * P;
    const long long expected = (long long)data_offset + (long long)S * H;
    Out out{sink};
    out.bytes("BM", 2);
    out.le32(uint32_t(expected));
    out.le16(0);
    out.le16(0);
    out.le32(data_offset);
    out.le32(40);
    out.le32(W);
    out.le32(H);
    out.le16(1);
    out.le16(8);
    out.le32(0);
    out.le32(S * H);
    out.le32(2500);
    out.le32(2500);
    out.le32(P);
    out.le32(P);
    for (uint32_t i = 0; i < P; ++i) {
        const uint32_t e = colours[i];
        out.u8(blue(e));
        out.u8(green(e));
        out.u8(red(e));
        out.u8(0);
    }
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[S ? S : 1]);
    if (!row) return -2;
    std::memset(row.get(), 0, S);
    for (uint32_t y = H; y-- > 0 && out.ok;) {
        read_row(r, int(y), row.get(), int(W));
        out.bytes(row.get(), S);
    }
    return out.end(expected);
}

namespace {

// A file as a sink; the first failed write keeps its errno.
struct FileSink : Sink {
    FILE* f;
    int error = 0;
    explicit FileSink(FILE* file) : f(file) {}
    bool write(const void* p, size_t n) override {
        if (std::fwrite(p, 1, n, f) == n) return true;
        error = errno ? errno : EIO;
        return false;
    }
};

} // namespace

int write_image_file(const char* file, int kind) {
    flush_polyline();
    if (kind != 1 && kind != 2 && kind != 4 && kind != 5 && kind != 6)
        return 0; // VIRT and unknown kinds write no file
    const PlotState& g = g_plot;
    const uint32_t* colours = g.colour.table;
    int status = 0;
    FILE* f = output_open(file, "wb");
    if (!f) {
        status = kind == 2 ? 1 : -1;
        set_outcome(1, 36, file, errno);
    } else {
        FileSink sink(f);
        switch (kind) {
        case 1:
            status = write_tiff(sink, g.raster, colours);
            break;
        case 2:
            status = write_raw_image(sink, g.raster);
            break;
        case 4:
            status = write_png(sink, g.raster, palette_size(), colours);
            break;
        case 5:
            status = write_ppm(sink, g.raster, colours);
            break;
        default:
            status = write_bmp(sink, g.raster, palette_size(), colours);
            break;
        }
        if (status == 0 && !output_commit()) {
            status = -1;
            set_outcome(2, 36, file, errno);
        } else if (status != 0) {
            const int err = sink.error ? sink.error : status == -2 ? ENOMEM : 0;
            output_discard();
            const bool zlib = status <= -3;
            set_outcome(2,
                        status == -2 ? 51
                        : zlib       ? 101
                                     : 36,
                        file, err, zlib ? "ZLIB error" : "the image was not written whole");
        }
    }
    if (status == -1 || (kind == 2 && status == 1)) {
        warning_plain(36);
    } else if (status == -2) {
        warning_plain(51);
    } else if (status != 0 && kind == 4) {
        set_warning_text("ZLIB error");
        warning_plain(101);
    }
    return status;
}

} // namespace razidu
