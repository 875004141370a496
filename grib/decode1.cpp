// The binary data section of GRIB edition 1: simple packing of 0 to 32 bits
// and the general extended second-order packing (groups of their own width
// and length over a field with optional spatial differencing), scaled by the
// decimal factor of the product definition section, and IEEE floating point
// values.
#include "grib/bytes.h"
#include "grib/edition1.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

namespace grib {

namespace {

thread_local std::vector<std::int64_t> work;

inline float narrow(double v) {
    if (v > FLT_MAX) return HUGE_VALF;
    if (v < -FLT_MAX) return -HUGE_VALF;
    return static_cast<float>(v);
}

// An unsigned number of `bits` bits at bit offset `bit`, checked against the end.
struct BitReader {
    const std::uint8_t* p;
    std::size_t size;
    bool fits(std::uint64_t bit, std::uint64_t count, int bits) const {
        return bit + count * static_cast<std::uint64_t>(bits) <= 8ull * size;
    }
};

// Simple packing: n values of `bits` bits from data (size octets).
void unpack_simple(const std::uint8_t* data, std::size_t size, int bits, double ref, double scale,
                   float* out, std::size_t n) {
    if (bits == 0) {
        const float v = narrow(ref);
        for (std::size_t k = 0; k < n; ++k)
            out[k] = v;
        return;
    }
    // Values whose 8-byte load stays inside the data go the fast way, when
    // no value can leave single precision.
    const bool in_range = std::fabs(ref) + std::fabs(scale) * std::ldexp(1.0, bits) <= FLT_MAX;
    std::size_t fast = size >= 8 && in_range ? ((size - 8) * 8) / bits : 0;
    if (fast > n) fast = n;
    std::uint64_t bit = 0;
    std::size_t k = 0;
    if (bits == 16 && in_range) {
        for (; k < n; ++k)
            out[k] = static_cast<float>(ref + scale * u16(data + 2 * k));
        return;
    }
    for (; k < fast; ++k, bit += bits) {
        std::uint64_t w;
        std::memcpy(&w, data + (bit >> 3), 8);
        w = __builtin_bswap64(w);
        out[k] = static_cast<float>(ref + scale * ((w << (bit & 7)) >> (64 - bits)));
    }
    for (; k < n; ++k, bit += bits)
        out[k] = narrow(ref + scale * bits_at(data, size, bit, bits));
}

// Second-order packing, general extended form: the n integers of the field.
bool unpack_second_order(const std::uint8_t* bds, std::size_t len, std::size_t n,
                         std::vector<std::int64_t>& x, const char** error) {
    auto bad = [&](const char* text) { return *error = text, false; };
    const int first_width = bds[10];
    const std::size_t n1 = u16(bds + 11), n2 = u16(bds + 14);
    const int ext = bds[13];
    const std::size_t groups = u16(bds + 16) + 65536u * bds[20];
    const int width_width = bds[21], length_width = bds[22];
    const std::size_t nl = u16(bds + 23);
    const int order = ext & 0x03;
    if (first_width > 32 || width_width > 32 || length_width > 32)
        return bad("second-order packing with fields wider than 32 bits.");
    std::size_t at = 25; // octet of the widths (0-based), behind the spatial differencing
    std::int64_t spd[4] = {};
    std::int64_t bias = 0;
    if (order) {
        if (len < 27) return bad("second-order packing header too short.");
        const int w = bds[25];
        if (w == 0 || w > 32)
            return bad("second-order packing with a wrong width of its "
                       "first values.");
        const BitReader r{bds + 26, len - 26};
        if (!r.fits(0, order + 1, w)) return bad("second-order packing header too short.");
        for (int k = 0; k < order; ++k)
            spd[k] = bits_at(bds + 26, len - 26, static_cast<std::uint64_t>(k) * w, w);
        const std::uint32_t raw =
            bits_at(bds + 26, len - 26, static_cast<std::uint64_t>(order) * w, w);
        const std::uint32_t sign = 1u << (w - 1);
        bias = (raw & sign) ? -static_cast<std::int64_t>(raw & (sign - 1)) : raw;
        at = 26 + (static_cast<std::size_t>(order + 1) * w + 7) / 8;
    }
    if (n < static_cast<std::size_t>(order) || nl == 0 || n1 == 0 || n2 == 0 || nl - 1 > len ||
        n1 - 1 > len || n2 - 1 > len || at > len)
        return bad("second-order packing with sections outside the data.");
    const BitReader widths{bds + at, len - at}, lengths{bds + nl - 1, len - nl + 1},
        firsts{bds + n1 - 1, len - n1 + 1}, seconds{bds + n2 - 1, len - n2 + 1};
    if (!widths.fits(0, groups, width_width) || !lengths.fits(0, groups, length_width) ||
        !firsts.fits(0, groups, first_width))
        return bad("second-order packing with groups beyond the data.");
    x.resize(n);
    std::size_t k = order;
    std::uint64_t bit = 0;
    for (std::size_t g = 0; g < groups; ++g) {
        const std::uint64_t gb = static_cast<std::uint64_t>(g);
        const int w =
            static_cast<int>(bits_at(widths.p, widths.size, gb * width_width, width_width));
        const std::size_t l = bits_at(lengths.p, lengths.size, gb * length_width, length_width);
        const std::int64_t base = bits_at(firsts.p, firsts.size, gb * first_width, first_width);
        if (w > 32) return bad("second-order group wider than 32 bits.");
        if (l > n - k) return bad("second-order groups hold more values than the field.");
        if (!seconds.fits(bit, l, w)) return bad("second-order values beyond the data.");
        if (w == 0) {
            for (std::size_t e = k + l; k < e; ++k)
                x[k] = base;
        } else {
            for (std::size_t e = k + l; k < e; ++k, bit += w)
                x[k] = base + bits_at(seconds.p, seconds.size, bit, w);
        }
    }
    if (k != n) return bad("second-order groups hold fewer values than the field.");
    // Undo the spatial differencing: the first `order` values are given.
    for (int j = 0; j < order; ++j)
        x[j] = spd[j];
    for (std::size_t i = order; i < n; ++i) {
        const std::int64_t d = x[i] + bias;
        switch (order) {
        case 1:
            x[i] = d + x[i - 1];
            break;
        case 2:
            x[i] = d + 2 * x[i - 1] - x[i - 2];
            break;
        case 3:
            x[i] = d + 3 * x[i - 1] - 3 * x[i - 2] + x[i - 3];
            break;
        default:
            break;
        }
    }
    return true;
}

} // namespace

bool unpack1(const File& file, const Field& f, double a, double b, float* out, std::size_t n,
             bool& boustrophedonic, const char** error) {
    boustrophedonic = false;
    if (f.len5 < 28 || f.len7 < 11) return *error = "sections too short.", false;
    const std::uint8_t* pds = file.bytes + f.sec5;
    const std::uint8_t* bds = file.bytes + f.sec7;
    const int d = sm16(pds + 26), e = sm16(bds + 4);
    const double ten_d = std::pow(10.0, -d);
    const double ref = a * ibm32(bds + 6) * ten_d + b, scale = a * std::ldexp(1.0, e) * ten_d;
    if (f.data_template == 0) {
        const int bits = bds[10];
        const std::size_t size = f.len7 - 11;
        // A constant field is the reference value itself, whatever the decimal factor.
        if (bits == 0) return unpack_simple(nullptr, 0, 0, a * ibm32(bds + 6) + b, 0, out, n), true;
        if (bits > 32 || static_cast<std::uint64_t>(n) * bits > 8ull * size)
            return *error = "packed data shorter than its values.", false;
        unpack_simple(bds + 11, size, bits, ref, scale, out, n);
        return true;
    }
    if (f.data_template == 4) { // IEEE values, 32 or 64 bits
        const bool single = bds[11] == 1;
        if (f.len7 < 12 || static_cast<std::uint64_t>(n) * (single ? 4 : 8) > f.len7 - 12)
            return *error = "packed data shorter than its values.", false;
        const std::uint8_t* p = bds + 12;
        for (std::size_t k = 0; k < n; ++k) {
            double v;
            if (single) {
                v = ieee32(p + 4 * k);
            } else {
                const std::uint64_t u = u64(p + 8 * k);
                std::memcpy(&v, &u, 8);
            }
            out[k] = narrow(a * v + b);
        }
        return true;
    }
    if (f.len7 < 26) return *error = "second-order packing header too short.", false;
    boustrophedonic = bds[13] & 0x04;
    if (!unpack_second_order(bds, f.len7, n, work, error)) return false;
    for (std::size_t k = 0; k < n; ++k)
        out[k] = narrow(ref + scale * static_cast<double>(work[k]));
    return true;
}

} // namespace grib
