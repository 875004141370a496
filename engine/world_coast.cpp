// The world coastline: the generated files of engine/generated are assembled
// into the program and decoded on first use.
#include "engine/world_coast.h"

#include <cstdint>
#include <cstring>

// The files' contents: KIVAR_COAST_DIR is set by the build, and
// KIVAR_COAST_SUM (their checksum) makes a change to them change this source.
#define KIVAR_COAST_BLOB(r)                                                                        \
    ".section .rodata\n.balign 16\n.global kivar_coast_" #r "\nkivar_coast_" #r ":\n"              \
    ".incbin \"" KIVAR_COAST_DIR "/coast_" #r ".bin\"\n.global kivar_coast_" #r "_end\n"           \
    "kivar_coast_" #r "_end:\n.previous\n"
asm(KIVAR_COAST_BLOB(c) KIVAR_COAST_BLOB(l) KIVAR_COAST_BLOB(i) "# " KIVAR_COAST_SUM "\n");

extern "C" const unsigned char kivar_coast_c[], kivar_coast_c_end[];
extern "C" const unsigned char kivar_coast_l[], kivar_coast_l_end[];
extern "C" const unsigned char kivar_coast_i[], kivar_coast_i_end[];

namespace engine {

namespace {

std::uint32_t u32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
int s16(const unsigned char* p) {
    return std::int16_t(std::uint16_t(p[0] | p[1] << 8));
}
unsigned u16(const unsigned char* p) {
    return unsigned(p[0] | p[1] << 8);
}

} // namespace

bool decode_coast(const unsigned char* data, std::size_t size, CoastLines& out) {
    out = {};
    out.start.push_back(0);
    if (size < 16 || std::memcmp(data, "KVCOAST1", 8) != 0) return false;
    const std::uint32_t lines = u32(data + 8), points = u32(data + 12);
    if (points > size / 4) return false;
    out.lon.reserve(points), out.lat.reserve(points), out.start.reserve(lines + 1);
    std::size_t at = 16;
    for (std::uint32_t k = 0; k < lines; ++k) {
        if (size - at < 10) return false;
        const std::uint32_t n = u32(data + at);
        const float lon0 = float(s16(data + at + 4)), lat0 = float(s16(data + at + 6));
        const float unit = float(u16(data + at + 8)) / 60.0f / 65535.0f;
        at += 10;
        if (n > (size - at) / 4) return false;
        for (std::uint32_t p = 0; p < n; ++p, at += 4) {
            out.lon.push_back(lon0 + unit * float(u16(data + at)));
            out.lat.push_back(lat0 + unit * float(u16(data + at + 2)));
        }
        out.start.push_back(int(out.lon.size()));
    }
    return true;
}

const CoastLines& world_coast(float span) {
    static CoastLines sets[3];
    static bool done[3];
    const int r = span > 90 ? 0 : span > 20 ? 1 : 2;
    if (!done[r]) {
        const unsigned char* begin[3] = {kivar_coast_c, kivar_coast_l, kivar_coast_i};
        const unsigned char* end[3] = {kivar_coast_c_end, kivar_coast_l_end, kivar_coast_i_end};
        if (!decode_coast(begin[r], std::size_t(end[r] - begin[r]), sets[r])) sets[r] = {};
        if (sets[r].start.empty()) sets[r].start.push_back(0);
        done[r] = true;
    }
    return sets[r];
}

} // namespace engine
