// Complex packing: values in groups, each with its reference, width and
// length, optionally with missing values and spatial differencing of order 1
// or 2 (the values are then differences of their neighbours in file order).
#include "grib/bytes.h"
#include "grib/unpack.h"

namespace grib {

namespace {

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

} // namespace

bool unpack_complex(const std::uint8_t* s5, std::size_t len5, int data_template,
                    const std::uint8_t* data, std::size_t size, std::size_t n,
                    std::vector<std::int64_t>& x, const char** error) {
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
    x.resize(n);
    if (n == 0) return true;
    if (groups == 0 || groups > n) return refuse("wrong number of groups.");

    // Spatial differencing numbers, then group references, widths and
    // lengths, each starting on a byte; then the values of all groups.
    std::uint64_t pos = static_cast<std::uint64_t>(order + 1) * extra;
    if (pos > size) return refuse("packed data shorter than its description.");
    long long first = 0, second = 0, minimum = 0;
    if (order > 0) {
        first = smn(data, extra);
        if (order == 2) second = smn(data + extra, extra);
        minimum = smn(data + order * extra, extra);
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

    const std::uint64_t missing1 = ones(ref_bits), missing2 = ones(ref_bits) - 1;
    std::size_t k = 0;
    for (std::uint64_t g = 0; g < groups; ++g) {
        const std::uint64_t ref = bits_at(data, size, ref_at + g * ref_bits, ref_bits);
        const int width =
            width_ref +
            static_cast<int>(bits_at(data, size, width_at + g * width_bits, width_bits));
        if (width > 32) return refuse("group wider than 32 bits.");
        const std::uint64_t length =
            g + 1 == groups
                ? last_length
                : length_ref +
                      length_step * std::uint64_t{bits_at(data, size, length_at + g * length_bits,
                                                          length_bits)};
        if (length > n - k) return refuse("groups longer than the values.");
        if (length * width > end_bit - bit) return refuse("packed data shorter than its groups.");
        std::int64_t* out = x.data() + k;
        if (width == 0) {
            bool gone = ref_bits > 0 && ((missing_mode >= 1 && ref == missing1) ||
                                         (missing_mode == 2 && ref == missing2));
            std::int64_t v = gone ? kMissingInteger : static_cast<std::int64_t>(ref);
            for (std::uint64_t m = 0; m < length; ++m)
                out[m] = v;
        } else {
            const std::uint64_t all = ones(width);
            const bool fast = (bit + length * width) / 8 + 8 <= size;
            if (fast && missing_mode == 0) {
                // The common case in a loop of its own: no checks per value.
                const auto base = static_cast<std::int64_t>(ref);
                for (std::uint64_t m = 0; m < length; ++m, bit += width)
                    out[m] = base + load_bits(data, bit, width);
                k += length;
                continue;
            }
            for (std::uint64_t m = 0; m < length; ++m, bit += width) {
                std::uint64_t v =
                    fast ? load_bits(data, bit, width) : bits_at(data, size, bit, width);
                if (missing_mode >= 1 && (v == all || (missing_mode == 2 && v == all - 1)))
                    out[m] = kMissingInteger;
                else
                    out[m] = static_cast<std::int64_t>(ref + v);
            }
        }
        k += length;
    }
    if (k != n) return refuse("group lengths do not add up to the number of values.");

    if (order > 0) {
        // Unsigned arithmetic: broken data wrap instead of overflowing.
        std::uint64_t p1 = 0, p2 = 0;
        std::size_t seen = 0;
        for (std::size_t m = 0; m < n; ++m) {
            if (x[m] == kMissingInteger) continue;
            std::uint64_t v;
            if (seen == 0)
                v = static_cast<std::uint64_t>(first);
            else if (seen == 1 && order == 2)
                v = static_cast<std::uint64_t>(second);
            else if (order == 1)
                v = static_cast<std::uint64_t>(x[m]) + static_cast<std::uint64_t>(minimum) + p1;
            else
                v = static_cast<std::uint64_t>(x[m]) + static_cast<std::uint64_t>(minimum) +
                    2 * p1 - p2;
            p2 = p1, p1 = v;
            x[m] = static_cast<std::int64_t>(v);
            if (x[m] == kMissingInteger) x[m] = kMissingInteger + 1;
            ++seen;
        }
    }
    return true;
}

} // namespace grib
