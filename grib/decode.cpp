// Decoding of one field: the packed values of section 7 (simple packing,
// complex packing with or without spatial differencing, IEEE floats, JPEG
// 2000, PNG, CCSDS, run length with level values), the bit-map of
// section 6 and the scanning order, into a grid of row 0 north, column 0 west.
#include "grib/bytes.h"
#include "grib/edition1.h"
#include "grib/grib.h"
#include "grib/grid.h"
#include "grib/unpack.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <vector>

namespace grib {

namespace {

constexpr float kMissing = std::numeric_limits<float>::quiet_NaN();

// Scratch arrays reused from field to field.
thread_local std::vector<float> file_order;
thread_local std::vector<std::uint32_t> pixels;
thread_local std::vector<float> spread;
thread_local std::vector<float> level_values;
thread_local std::vector<std::uint16_t> runs;

// Rounds to single precision; values beyond its range become infinities.
inline float narrow(double v) {
    if (v > FLT_MAX) return HUGE_VALF;
    if (v < -FLT_MAX) return -HUGE_VALF;
    return static_cast<float>(v);
}

int fail(const Field& f, const char* text) {
    char line[256];
    std::snprintf(line, sizeof line, "Error: message %d: %s", f.message, text);
    report("get_GRIB_dat", line);
    return 0;
}

// The scaling of section 5 octets 12 to 19 and the change of units a y + b:
// value = ref + scale * X.
struct Scaling {
    double ref, scale;
};
Scaling scaling(const std::uint8_t* s5, double a, double b) {
    double r = ieee32(s5 + 11);
    int e = sm16(s5 + 15), d = sm16(s5 + 17);
    double ten_d = std::pow(10.0, -d);
    return {a * r * ten_d + b, a * std::ldexp(1.0, e) * ten_d};
}

// ref + scale * X of n numbers into single precision, none of which can
// leave its range: big-endian 16-bit and 8-bit numbers, and 32-bit ones,
// which go through signed 32 bits to convert in vector registers.
GRIB_WIDE_LOOP void scale_16(const std::uint8_t* data, std::size_t n, double ref, double scale,
                             float* out) {
    for (std::size_t k = 0; k < n; ++k)
        out[k] = static_cast<float>(
            ref + scale * static_cast<double>(data[2 * k] << 8 | data[2 * k + 1]));
}
GRIB_WIDE_LOOP void scale_8(const std::uint8_t* data, std::size_t n, double ref, double scale,
                            float* out) {
    for (std::size_t k = 0; k < n; ++k)
        out[k] = static_cast<float>(ref + scale * static_cast<double>(data[k]));
}
GRIB_WIDE_LOOP void scale_32(const std::uint32_t* x, std::size_t n, double ref, double scale,
                             float* out) {
    for (std::size_t k = 0; k < n; ++k) {
        const auto v = static_cast<std::int32_t>(x[k] ^ 0x80000000u);
        out[k] = static_cast<float>(ref + scale * (static_cast<double>(v) + 0x1p31));
    }
}

// Big-endian single-precision numbers as they stand.
GRIB_WIDE_LOOP void ieee_32(const std::uint8_t* data, std::size_t n, float* out) {
    for (std::size_t k = 0; k < n; ++k)
        out[k] = ieee32(data + 4 * k);
}

// Every second row (from the second) of values stored backwards turned
// forwards: rows of the grid's columns, or of its row_points when reduced.
void reverse_odd_rows(float* v, const Grid& g) {
    const std::size_t rows = g.row_points.empty() ? g.rows : g.row_points.size();
    std::size_t at = 0;
    for (std::size_t r = 0; r < rows; ++r) {
        const std::size_t len = g.row_points.empty()   ? g.cols
                                : (g.scan_mode & 0x40) ? g.row_points[rows - 1 - r]
                                                       : g.row_points[r];
        if (r & 1) std::reverse(v + at, v + at + len);
        at += len;
    }
}

int decode_field(const File& file, const Field& f, std::span<float> values, double a, double b) {
    const std::size_t total = f.grid.count();
    if (values.size() < total) return fail(f, "grid larger than the work arrays.");
    if (f.sec5 + f.len5 > file.size || f.sec7 + f.len7 > file.size || f.len7 < 5)
        return fail(f, "sections beyond the end of the file.");
    const std::uint8_t* s5 = file.bytes + f.sec5;
    const std::uint8_t* data = file.bytes + f.sec7 + 5;
    const std::size_t size = f.len7 - 5;
    const std::size_t n = f.value_count;
    const bool direct = !f.bitmap && f.grid.scan_mode == 0;
    float* out = direct ? values.data() : nullptr;
    if (!direct) {
        file_order.resize(n);
        out = file_order.data();
    }
    bool boustrophedonic = false;
    const Scaling sc = f.edition == 1 ? Scaling{} : scaling(s5, a, b);
    const int bits = f.edition == 1 ? 0 : s5[19];
    const int dt = f.data_template;
    // 0 bits per value: every value is the reference value, as it stands.
    const bool constant =
        f.edition == 2 && (dt == 0 || dt == 40 || dt == 41 || dt == 42) && bits == 0;

    if (f.edition == 1) {
        const char* error = nullptr;
        if (!unpack1(file, f, a, b, out, n, boustrophedonic, &error)) return fail(f, error);
        if (boustrophedonic && !f.bitmap) reverse_odd_rows(out, f.grid);
    } else if (constant) {
        const float v = narrow(a * static_cast<double>(ieee32(s5 + 11)) + b);
        for (std::size_t k = 0; k < n; ++k)
            out[k] = v;
    } else if (dt == 0) {
        if (bits > 32) return fail(f, "more than 32 bits per value.");
        if (static_cast<std::uint64_t>(n) * bits > 8ull * size)
            return fail(f, "packed data shorter than its values.");
        {
            // Values whose 8-byte load stays inside the data go the fast way,
            // when no value can leave single precision.
            std::size_t fast = size >= 8 ? ((size - 8) * 8) / bits : 0;
            if (fast > n) fast = n;
            const bool in_range =
                std::fabs(sc.ref) + std::fabs(sc.scale) * std::ldexp(1.0, bits) <= FLT_MAX;
            if (!in_range) fast = 0;
            std::uint64_t bit = 0;
            std::size_t k = 0;
            // Whole bytes per value: loads the compiler vectorizes.
            if (in_range && bits == 16) {
                scale_16(data, n, sc.ref, sc.scale, out);
                k = n;
            } else if (in_range && bits == 8) {
                scale_8(data, n, sc.ref, sc.scale, out);
                k = n;
            }
            for (; k < fast; ++k, bit += bits) {
                std::uint64_t w;
                std::memcpy(&w, data + (bit >> 3), 8);
                w = __builtin_bswap64(w);
                auto x = static_cast<std::uint32_t>((w << (bit & 7)) >> (64 - bits));
                out[k] = static_cast<float>(sc.ref + sc.scale * x);
            }
            for (; k < n; ++k, bit += bits)
                out[k] = narrow(sc.ref + sc.scale * bits_at(data, size, bit, bits));
        }
    } else if (dt == 40 || dt == 41 || dt == 42) {
        if (bits > 32) return fail(f, "more than 32 bits per value.");
        const char* error = nullptr;
        const bool ok = dt == 40   ? jpeg2000_values(data, size, n, pixels, &error)
                        : dt == 41 ? png_values(data, size, n, pixels, &error)
                                   : ccsds_values(s5, data, size, n, pixels, &error);
        if (!ok) return fail(f, error);
        const std::uint32_t* x = pixels.data();
        const double r = sc.ref, m = sc.scale;
        if (std::fabs(r) + std::fabs(m) * 0x1p32 <= FLT_MAX) {
            scale_32(x, n, r, m, out);
        } else {
            for (std::size_t k = 0; k < n; ++k)
                out[k] = narrow(r + m * x[k]);
        }
    } else if (dt == 4) {
        // IEEE floats, big-endian, of single (1) or double (2) precision.
        const std::size_t width = s5[11] == 2 ? 8 : 4;
        if (s5[11] != 1 && s5[11] != 2) return fail(f, "IEEE precision not supported.");
        if (static_cast<std::uint64_t>(n) * width > size)
            return fail(f, "packed data shorter than its values.");
        if (width == 4 && a == 1 && b == 0) {
            ieee_32(data, n, out);
        } else if (width == 4) {
            for (std::size_t k = 0; k < n; ++k)
                out[k] = narrow(a * static_cast<double>(ieee32(data + 4 * k)) + b);
        } else {
            for (std::size_t k = 0; k < n; ++k) {
                const std::uint64_t u = u64(data + 8 * k);
                double v;
                std::memcpy(&v, &u, 8);
                out[k] = narrow(a * v + b);
            }
        }
    } else if (dt == 200) {
        const char* error = nullptr;
        if (!run_length_values(s5, f.len5, data, size, n, level_values, runs, &error))
            return fail(f, error);
        for (float& v : level_values)
            v = narrow(a * static_cast<double>(v) + b);
        const float* lv = level_values.data();
        for (std::size_t k = 0; k < n; ++k)
            out[k] = lv[runs[k]];
    } else {
        const char* error = nullptr;
        if (!unpack_complex(s5, f.len5, f.data_template, data, size, n, sc.ref, sc.scale, out,
                            &error))
            return fail(f, error);
    }
    if (direct) return 1;

    // The bit-map spreads the values over the grid in the file's order.
    const float* ordered = out;
    if (f.bitmap) {
        const std::uint8_t* bm = file.bytes + f.bitmap + 6;
        std::size_t used = 0;
        spread.resize(total);
        for (std::size_t p = 0; p < total; ++p) {
            if (bm[p >> 3] & (0x80 >> (p & 7))) {
                if (used == n) return fail(f, "bit-map marks more points than there are values.");
                spread[p] = out[used++];
            } else {
                spread[p] = kMissing;
            }
        }
        if (used != n) return fail(f, "bit-map marks fewer points than there are values.");
        if (boustrophedonic) reverse_odd_rows(spread.data(), f.grid);
        ordered = spread.data();
    }
    // The file's scanning order into the grid's rows and columns.
    to_grid_order(f.grid, ordered, values.data());
    return 1;
}

} // namespace

int decode(const File& file, const Field& f, std::span<float> values, double a, double b) {
    try {
        return decode_field(file, f, values, a, b);
    } catch (const std::bad_alloc&) {
        return fail(f, "not enough memory for the field.");
    }
}

} // namespace grib
