// Complex packing: values in groups, each with its reference, width and
// length, optionally with missing values and spatial differencing of order 1
// or 2 (the values are then differences of their neighbours in file order).
//
// The group descriptions are read and checked first; then the values go in
// blocks small enough to stay in the first-level cache: the groups' numbers
// into a block of integers, the differences undone, and the block scaled
// into single precision.
#include "grib/bytes.h"
#include "grib/unpack.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace grib {

namespace {

// A complex packing value marked missing, inside a block.
constexpr std::int64_t kMissingInteger = std::numeric_limits<std::int64_t>::min();

// Values per block.
constexpr std::size_t kBlock = 2048;

std::uint64_t ones(int bits) {
    return (std::uint64_t{1} << bits) - 1;
}

// Packed numbers of `bits` bits from bit `bit`, with one 8-byte load each;
// the caller has checked that the loads stay inside the data.
inline std::uint32_t load_bits(const std::uint8_t* p, std::uint64_t bit, int bits) {
    std::uint64_t w;
    std::memcpy(&w, p + (bit >> 3), 8);
    w = __builtin_bswap64(w);
    return static_cast<std::uint32_t>((w << (bit & 7)) >> (64 - bits));
}

struct Group {
    std::uint64_t ref, length, bit; // bit: where its numbers start
    int width;
};

// The state of spatial differencing carried from block to block.
struct Differences {
    int order;
    std::uint64_t first, second, minimum;
    std::uint64_t p1 = 0, d = 0; // the last value and the last difference
    std::size_t seen = 0;
};

// Undoes the differences of a block without missing values. Unsigned
// arithmetic: broken data wrap instead of overflowing. Second order as
// v = x + min + 2 p1 - p2 kept as a running difference d = p1 - p2.
void undo_differences(std::int64_t* x, std::size_t count, Differences& s) {
    std::size_t m = 0;
    for (; m < count && s.seen < static_cast<std::size_t>(s.order); ++m, ++s.seen) {
        const std::uint64_t v = s.seen == 0 ? s.first : s.second;
        if (s.seen == 1) s.d = v - s.p1;
        s.p1 = v;
        x[m] = static_cast<std::int64_t>(v);
    }
    std::uint64_t p1 = s.p1, d = s.d;
    const std::uint64_t minimum = s.minimum;
    if (s.order == 1) {
        for (; m < count; ++m) {
            p1 += static_cast<std::uint64_t>(x[m]) + minimum;
            x[m] = static_cast<std::int64_t>(p1);
        }
    } else {
        for (; m < count; ++m) {
            d += static_cast<std::uint64_t>(x[m]) + minimum;
            p1 += d;
            x[m] = static_cast<std::int64_t>(p1);
        }
    }
    s.p1 = p1, s.d = d;
}

// The same where values may be missing: those are skipped, and a value that
// comes out equal to the mark is moved off it.
void undo_differences_missing(std::int64_t* x, std::size_t count, Differences& s) {
    for (std::size_t m = 0; m < count; ++m) {
        if (x[m] == kMissingInteger) continue;
        std::uint64_t v;
        if (s.seen == 0)
            v = s.first;
        else if (s.seen == 1 && s.order == 2)
            v = s.second;
        else if (s.order == 1)
            v = static_cast<std::uint64_t>(x[m]) + s.minimum + s.p1;
        else
            v = static_cast<std::uint64_t>(x[m]) + s.minimum + s.p1 + s.d;
        s.d = v - s.p1, s.p1 = v;
        x[m] = static_cast<std::int64_t>(v);
        if (x[m] == kMissingInteger) x[m] = kMissingInteger + 1;
        ++s.seen;
    }
}

// ref + scale * x of a block into single precision; `exact` when every
// number lies within 2^51 and no value can leave single precision: the
// conversion then adds the number to 1.5 * 2^52 in the bits of a double, a
// loop the compiler vectorizes.
GRIB_WIDE_LOOP void scale_exact(const std::int64_t* x, std::size_t count, double ref, double scale,
                                float* out) {
    constexpr double magic = 0x1.8p52;
    constexpr std::uint64_t magic_bits = 0x4338000000000000;
    for (std::size_t m = 0; m < count; ++m) {
        const std::uint64_t u = static_cast<std::uint64_t>(x[m]) + magic_bits;
        double v;
        std::memcpy(&v, &u, 8);
        out[m] = static_cast<float>(ref + scale * (v - magic));
    }
}

void scale_block(const std::int64_t* x, std::size_t count, double ref, double scale, bool exact,
                 bool missing, float* out) {
    if (exact && !missing) return scale_exact(x, count, ref, scale, out);
    for (std::size_t m = 0; m < count; ++m) {
        const double d = ref + scale * static_cast<double>(x[m]);
        const double c = d > FLT_MAX ? HUGE_VAL : d < -FLT_MAX ? -HUGE_VAL : d;
        out[m] = x[m] == kMissingInteger ? std::numeric_limits<float>::quiet_NaN()
                                         : static_cast<float>(c);
    }
}

// Whether every number of a block lies within 2^51.
bool within_2_51(const std::int64_t* x, std::size_t count) {
    std::uint64_t outside = 0;
    for (std::size_t m = 0; m < count; ++m)
        outside |= (static_cast<std::uint64_t>(x[m]) + (std::uint64_t{1} << 51)) >> 52;
    return outside == 0;
}

} // namespace

bool unpack_complex(const std::uint8_t* s5, std::size_t len5, int data_template,
                    const std::uint8_t* data, std::size_t size, std::size_t n, double ref,
                    double scale, float* out, const char** error) {
    auto refuse = [&](const char* text) {
        *error = text;
        return false;
    };
    const int ref_bits = s5[19];
    const int missing_mode = s5[22];
    const std::uint64_t groups = u32(s5 + 31);
    const int width_ref = s5[35], width_bits = s5[36];
    const std::uint64_t length_ref = u32(s5 + 37);
    const int length_step = s5[41];
    const std::uint64_t last_length = u32(s5 + 42);
    const int length_bits = s5[46];
    int order = 0, extra = 0;
    if (data_template == 3) {
        if (len5 < 49) return refuse("data representation section too short.");
        order = s5[47], extra = s5[48];
        // Order 0 is complex packing without differences.
        if (order > 2) return refuse("spatial differencing of an unknown order.");
        if (order > 0 && (extra < 1 || extra > 4))
            return refuse("wrong size of the spatial differencing numbers.");
        if (order == 0) extra = 0;
    }
    if (ref_bits > 32 || width_bits > 32 || length_bits > 32)
        return refuse("more than 32 bits for group numbers.");
    if (missing_mode > 2) return refuse("unknown management of missing values.");
    if (n == 0) return true;
    if (groups == 0 || groups > n) return refuse("wrong number of groups.");

    // Spatial differencing numbers, then group references, widths and
    // lengths, each starting on a byte; then the values of all groups.
    std::uint64_t pos = static_cast<std::uint64_t>(order + 1) * extra;
    if (pos > size) return refuse("packed data shorter than its description.");
    Differences diff{order, 0, 0, 0};
    if (order > 0) {
        diff.first = static_cast<std::uint64_t>(smn(data, extra));
        if (order == 2) diff.second = static_cast<std::uint64_t>(smn(data + extra, extra));
        diff.minimum = static_cast<std::uint64_t>(smn(data + order * extra, extra));
    }
    const std::uint64_t ref_at = pos * 8;
    pos += (groups * ref_bits + 7) / 8;
    const std::uint64_t width_at = pos * 8;
    pos += (groups * width_bits + 7) / 8;
    const std::uint64_t length_at = pos * 8;
    pos += (groups * length_bits + 7) / 8;
    if (pos > size) return refuse("packed data shorter than its group descriptions.");
    std::uint64_t bit = pos * 8;
    const std::uint64_t end_bit = static_cast<std::uint64_t>(size) * 8;

    // Every group described and checked before any value is written.
    thread_local std::vector<Group> group;
    group.resize(groups);
    std::uint64_t k = 0;
    for (std::uint64_t g = 0; g < groups; ++g) {
        Group& gr = group[g];
        gr.ref = bits_at(data, size, ref_at + g * ref_bits, ref_bits);
        gr.width = width_ref +
                   static_cast<int>(bits_at(data, size, width_at + g * width_bits, width_bits));
        if (gr.width > 32) return refuse("group wider than 32 bits.");
        gr.length =
            g + 1 == groups
                ? last_length
                : length_ref +
                      length_step * std::uint64_t{bits_at(data, size, length_at + g * length_bits,
                                                          length_bits)};
        if (gr.length > n - k) return refuse("groups longer than the values.");
        if (gr.length * gr.width > end_bit - bit)
            return refuse("packed data shorter than its groups.");
        gr.bit = bit;
        bit += gr.length * gr.width;
        k += gr.length;
    }
    if (k != n) return refuse("group lengths do not add up to the number of values.");

    const std::uint64_t missing1 = ones(ref_bits), missing2 = ones(ref_bits) - 1;
    const bool missing = missing_mode >= 1;
    const bool in_range = std::fabs(ref) + std::fabs(scale) * 0x1p51 <= FLT_MAX;
    thread_local std::vector<std::int64_t> block;
    block.resize(kBlock);
    std::int64_t* x = block.data();
    std::size_t g = 0;
    std::uint64_t done = 0; // values of group g already taken
    for (std::size_t base = 0; base < n; base += kBlock) {
        const std::size_t count = n - base < kBlock ? n - base : kBlock;
        std::size_t filled = 0;
        while (filled < count) {
            const Group& gr = group[g];
            const std::uint64_t left = gr.length - done;
            const std::size_t take = left < count - filled ? left : count - filled;
            std::int64_t* o = x + filled;
            const int width = gr.width;
            if (width == 0) {
                const bool gone = ref_bits > 0 && ((missing_mode >= 1 && gr.ref == missing1) ||
                                                   (missing_mode == 2 && gr.ref == missing2));
                const std::int64_t v = gone ? kMissingInteger : static_cast<std::int64_t>(gr.ref);
                for (std::size_t m = 0; m < take; ++m)
                    o[m] = v;
            } else {
                std::uint64_t b = gr.bit + done * width;
                const std::uint64_t all = ones(width);
                const bool fast = (b + take * width) / 8 + 8 <= size;
                const auto r = static_cast<std::int64_t>(gr.ref);
                if (fast && !missing) {
                    // The common case in a loop of its own: no checks per value.
                    for (std::size_t m = 0; m < take; ++m, b += width)
                        o[m] = r + load_bits(data, b, width);
                } else {
                    for (std::size_t m = 0; m < take; ++m, b += width) {
                        const std::uint64_t v =
                            fast ? load_bits(data, b, width) : bits_at(data, size, b, width);
                        if (missing && (v == all || (missing_mode == 2 && v == all - 1)))
                            o[m] = kMissingInteger;
                        else
                            o[m] = static_cast<std::int64_t>(gr.ref + v);
                    }
                }
            }
            filled += take;
            done += take;
            if (done == gr.length) ++g, done = 0;
        }
        if (order > 0) {
            if (missing)
                undo_differences_missing(x, count, diff);
            else
                undo_differences(x, count, diff);
        }
        const bool exact = in_range && !missing && (order == 0 || within_2_51(x, count));
        scale_block(x, count, ref, scale, exact, missing, out + base);
    }
    return true;
}

} // namespace grib
