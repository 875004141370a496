// Big-endian numbers of GRIB2 sections; signed ones are sign and magnitude.
#pragma once

#include <cstdint>
#include <cstring>

namespace grib {

inline std::uint32_t u16(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 8 | p[1];
}
inline std::uint32_t u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}
inline std::uint64_t u64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(u32(p)) << 32 | u32(p + 4);
}
inline int sm8(std::uint8_t v) {
    return v & 0x80 ? -(v & 0x7f) : v;
}
inline int sm16(const std::uint8_t* p) {
    int m = static_cast<int>(u16(p) & 0x7fff);
    return p[0] & 0x80 ? -m : m;
}
inline long long sm32(const std::uint8_t* p) {
    long long m = u32(p) & 0x7fffffff;
    return p[0] & 0x80 ? -m : m;
}
// A sign-and-magnitude number of n octets (1 to 4).
inline long long smn(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int k = 0; k < n; ++k)
        v = v << 8 | p[k];
    std::uint64_t sign = std::uint64_t{1} << (8 * n - 1);
    long long m = static_cast<long long>(v & (sign - 1));
    return v & sign ? -m : m;
}
inline float ieee32(const std::uint8_t* p) {
    std::uint32_t u = u32(p);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

// Reads `bits` (0 to 32) bits at bit offset `bit` of a buffer of `size`
// bytes, most significant bit first; bits beyond the buffer read as 0.
inline std::uint32_t bits_at(const std::uint8_t* p, std::size_t size, std::uint64_t bit, int bits) {
    if (bits == 0) return 0;
    std::uint64_t byte = bit >> 3;
    std::uint64_t w = 0;
    if (byte + 8 <= size) {
        std::memcpy(&w, p + byte, 8);
        w = __builtin_bswap64(w);
    } else {
        for (int k = 0; k < 8; ++k)
            w = w << 8 | (byte + k < size ? p[byte + k] : 0);
    }
    return static_cast<std::uint32_t>((w << (bit & 7)) >> (64 - bits));
}

} // namespace grib
