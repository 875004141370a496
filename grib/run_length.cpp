// Run-length packing with level values (data representation template
// 5.200): a stream of numbers of `bits` bits, each either a level (0 to the
// largest level used) or a digit of the repetition count of the level before
// it. Level 0 marks a missing value; level m (1 to the number of levels)
// stands for the m-th representative value of section 5.
#include "grib/bytes.h"
#include "grib/unpack.h"

namespace grib {

bool run_length_values(const std::uint8_t* s5, std::size_t len5, const std::uint8_t* data,
                       std::size_t size, std::size_t n, std::vector<float>& levels,
                       std::vector<std::uint16_t>& x, const char** error) {
    auto refuse = [&](const char* text) {
        *error = text;
        return false;
    };
    const int bits = s5[11];
    const std::uint32_t max_level = u16(s5 + 12), level_count = u16(s5 + 14);
    const int scale = sm8(s5[16]);
    if (bits < 1 || bits > 16) return refuse("run-length numbers of more than 16 bits.");
    if (len5 < 17 + 2ull * level_count) return refuse("data representation section too short.");
    const std::uint32_t top = (1u << bits) - 1;
    if (max_level >= top || max_level > level_count)
        return refuse("run-length levels beyond the number of levels.");
    levels.resize(level_count + 1);
    levels[0] = __builtin_nanf("");
    double ten = 1;
    for (int k = 0; k < (scale < 0 ? -scale : scale); ++k)
        ten *= 10;
    for (std::uint32_t m = 0; m < level_count; ++m) {
        const double v = static_cast<double>(u16(s5 + 17 + 2 * m));
        levels[m + 1] = static_cast<float>(scale >= 0 ? v / ten : v * ten);
    }
    // Digits count in base `radix`, least significant first.
    const std::uint64_t radix = top - max_level;
    x.resize(n);
    const std::uint64_t numbers = static_cast<std::uint64_t>(size) * 8 / bits;
    std::size_t k = 0;
    std::uint64_t at = 0;
    while (at < numbers && k < n) {
        const std::uint32_t level = bits_at(data, size, at * bits, bits);
        ++at;
        if (level > max_level) return refuse("run-length digits without a level before them.");
        std::uint64_t repeat = 0, weight = 1;
        while (at < numbers) {
            const std::uint32_t digit = bits_at(data, size, at * bits, bits);
            if (digit <= max_level) break;
            ++at;
            if (weight > n) return refuse("run longer than the values.");
            repeat += (digit - max_level - 1) * weight;
            weight *= radix;
        }
        if (repeat >= n - k) return refuse("run longer than the values.");
        for (std::uint64_t r = 0; r <= repeat; ++r)
            x[k++] = static_cast<std::uint16_t>(level);
    }
    if (k != n) return refuse("run-length data shorter than the values.");
    return true;
}

} // namespace grib
