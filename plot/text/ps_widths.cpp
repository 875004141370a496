// Lookups in the hardware-font width tables.
#include "plot/text/ps_widths.h"

#include <cctype>

namespace razidu::fonts {

int ps_font_position(const char* name) {
    if (name == nullptr) return -1;
    for (int i = 0; i < kPsFontCount; ++i) {
        const char* a = name;
        const char* b = kPsFonts[i].name;
        int n = 0;
        while (n < 30 && *a != '\0' && *b != '\0' &&
               std::tolower(static_cast<unsigned char>(*a)) ==
                   std::tolower(static_cast<unsigned char>(*b))) {
            ++a, ++b, ++n;
        }
        if (*b == '\0' && (n == 30 || *a == '\0')) return i;
    }
    return -1;
}

int ps_set_width(int set, int g) {
    if (set < 0 || set > kWidthSetCount || g < 1 || g > kSetWidthCount) return -1;
    if (set == 0) return kFixedWidth;
    const uint16_t word = kPsWidthWords[set - 1][(g - 1) / 2];
    return (g % 2 == 1) ? (word >> 8) : (word & 0xFF);
}

int fill_char_widths(int set, int16_t* widths) {
    if (widths == nullptr || set < 0 || set > kWidthSetCount) return -1;
    // Base letters of the codes 134..186.
    static constexpr char kBase[] = "AOAaoaNnCcEIeiAEIOUaeiouAEIOUaeiouAEIOUaeiouAaOoYyy!?";
    static_assert(sizeof(kBase) - 1 == kCharWidthCount - kSetWidthCount);
    for (int g = 1; g <= kSetWidthCount; ++g)
        widths[g - 1] = int16_t(ps_set_width(set, g));
    auto base = [&](char c) { return ps_set_width(set, c - 31); };
    for (int k = 0; k < kCharWidthCount - kSetWidthCount; ++k)
        widths[kSetWidthCount + k] = int16_t(base(kBase[k]));
    if (set == 0) return 0; // a fixed pitch: the ligatures are 84 wide too
    widths[136 - 32] = int16_t(base('A') / 2 + base('E'));
    widths[139 - 32] = int16_t(2 * base('a') / 3 + base('e'));
    return 0;
}

} // namespace razidu::fonts
