// Colour tables (setvlt), colour selection by name (color) and index
// (setclr), and the exchange of background and foreground for a reversed
// background.
#include "plot/core/state.h"
#include "plot/core/messages.h"
#include "plot/core/dispatch.h"
#include "plot/draw/draw.h"
#include "plot/axes/axes.h"
#include "plot/razidu.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>

namespace razidu {

namespace {

struct Anchor {
    int index, r, g, b;
};

constexpr uint32_t rgb(int r, int g, int b) {
    return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

// Entries 1..254 by linear interpolation between anchors, rounded; entry 0
// black and 255 white.
template <size_t N> std::array<uint32_t, 256> interpolate(const Anchor (&a)[N]) {
    std::array<uint32_t, 256> t{};
    t[0] = rgb(0, 0, 0);
    t[255] = rgb(255, 255, 255);
    for (size_t k = 0; k + 1 < N; ++k) {
        const Anchor& p = a[k];
        const Anchor& q = a[k + 1];
        for (int i = p.index; i <= q.index; ++i) {
            const double f = double(i - p.index) / double(q.index - p.index);
            auto mix = [f](int u, int v) { return int(u + (v - u) * f + 0.5); };
            t[size_t(i)] = rgb(mix(p.r, q.r), mix(p.g, q.g), mix(p.b, q.b));
        }
    }
    return t;
}

constexpr Anchor kRainAnchors[] = {
    {1, 34, 0, 68},     {5, 51, 0, 102},    {13, 51, 0, 170},   {18, 34, 0, 204},
    {22, 34, 0, 238},   {26, 17, 0, 255},   {30, 0, 0, 255},    {43, 0, 51, 255},
    {49, 0, 72, 255},   {68, 0, 147, 255},  {74, 0, 168, 255},  {96, 0, 255, 255},
    {102, 0, 255, 234}, {117, 0, 255, 170}, {125, 0, 255, 102}, {130, 0, 255, 68},
    {138, 0, 255, 0},   {146, 68, 255, 0},  {154, 102, 255, 0}, {160, 123, 255, 0},
    {183, 221, 255, 0}, {189, 242, 255, 0}, {192, 255, 255, 0}, {208, 255, 187, 0},
    {214, 255, 166, 0}, {237, 255, 68, 0},  {243, 255, 47, 0},  {254, 255, 0, 0},
};

// Hue sweep at full saturation: magenta, blue, cyan, green, yellow, red.
constexpr Anchor kSpecAnchors[] = {
    {1, 255, 0, 255}, {52, 0, 0, 255},    {102, 0, 255, 255},
    {153, 0, 255, 0}, {204, 255, 255, 0}, {254, 255, 0, 0},
};

const std::array<uint32_t, 256>& rain_table() {
    static const std::array<uint32_t, 256> t = interpolate(kRainAnchors);
    return t;
}
const std::array<uint32_t, 256>& spec_table() {
    static const std::array<uint32_t, 256> t = interpolate(kSpecAnchors);
    return t;
}

constexpr uint32_t kSmal[9] = {rgb(0, 0, 0),    rgb(255, 255, 255), rgb(255, 0, 0),
                               rgb(0, 255, 0),  rgb(0, 0, 255),     rgb(255, 255, 0),
                               rgb(255, 85, 0), rgb(0, 255, 255),   rgb(255, 0, 255)};
constexpr uint32_t kVga[16] = {
    rgb(0, 0, 0),     rgb(0, 0, 170),    rgb(0, 170, 0),    rgb(0, 170, 170),
    rgb(170, 0, 0),   rgb(170, 0, 170),  rgb(170, 85, 0),   rgb(170, 170, 170),
    rgb(85, 85, 85),  rgb(85, 85, 255),  rgb(85, 255, 85),  rgb(85, 255, 255),
    rgb(255, 85, 85), rgb(255, 85, 255), rgb(255, 255, 85), rgb(255, 255, 255)};

// Named colour indices per table: WHIT RED GREE YELL BLUE ORAN CYAN MAGE BLAC.
constexpr int kNamed[9][9] = {
    {1, 2, 3, 5, 4, 6, 7, 8, 1},                  // SMAL
    {255, 254, 138, 192, 30, 223, 96, 13, 0},     // RAIN
    {255, 254, 154, 205, 53, 235, 103, 1, 0},     // spectrum
    {255, 230, 185, 150, 95, 215, 175, 110, 255}, // GREY
    {255, 254, 138, 192, 30, 223, 96, 13, 0},     // RRAI
    {255, 254, 154, 205, 53, 235, 103, 1, 0},     // RSPE
    {255, 230, 185, 150, 95, 215, 175, 110, 255}, // RGRE
    {15, 4, 2, 14, 1, 12, 3, 5, 0},               // VGA
    {255, 254, 138, 192, 30, 223, 96, 13, 0},     // TEMP
};

enum { SMAL, RAIN, SPECTRUM, GREY, RRAI, RSPE, RGRE, VGA, TEMP };

// The rainbow, spectrum and grey scales, their reversed forms included: on
// the paper devices they draw with index 0 on background 255 (so black-and-
// white PostScript, whose default is the reversed grey scale, draws with 0).
bool is_plain_scale(int id) {
    return id >= RAIN && id <= RGRE;
}

} // namespace

uint32_t colour_entry(int index) {
    return g_plot.colour.table[((index % 256) + 256) % 256];
}

int palette_size() {
    const int id = g_plot.colour.table_id;
    return id == SMAL ? 9 : (id == VGA ? 16 : 256);
}

void select_colour(int index) {
    flush_polyline();
    device_colour(index);
}

void load_colour_table(int id) {
    PlotState& g = g_plot;
    ColourState& c = g.colour;
    const int d = g.device;
    if (is_kyocera(d)) id = SMAL;
    c.table_id = id;

    for (int i = 0; i < 9; ++i)
        c.named[i] = kNamed[id][i];
    if ((d == DEV_WMF || d == DEV_CGM) && is_plain_scale(id)) c.named[0] = 0;
    if (id == RRAI || id == RSPE || id == RGRE)
        for (int i = 1; i <= 7; ++i)
            c.named[i] = 255 - c.named[i];

    uint32_t* t = c.table;
    if (id == SMAL || id == VGA) {
        const uint32_t* src = id == SMAL ? kSmal : kVga;
        const int n = id == SMAL ? 9 : 16;
        for (int i = 0; i < n; ++i)
            t[i] = src[i];
        if (d == DEV_POST || d == DEV_WMF) std::swap(t[0], t[id == SMAL ? 1 : 15]);
    } else if (id == RAIN || id == RRAI || id == TEMP) {
        if (id == TEMP) {
            for (int i = 0; i < 256; ++i) {
                const int r = i < 150 ? int(1.7 * i + 0.5) : 255;
                const int gr = i < 120 ? 0 : int((i - 120) * 255.0 / 135.0 + 0.5);
                const int b = i < 190 ? 0 : int((i - 190) * 255.0 / 65.0 + 0.5);
                t[i] = rgb(r, gr, b);
            }
        } else {
            for (int i = 0; i < 256; ++i)
                t[i] = rain_table()[size_t(i)];
        }
    } else if (id == SPECTRUM || id == RSPE) {
        for (int i = 0; i < 256; ++i)
            t[i] = spec_table()[size_t(i)];
    } else {
        for (int i = 0; i < 256; ++i)
            t[i] = rgb(i, i, i);
    }
    if (id == RRAI || id == RSPE || id == RGRE)
        for (int i = 0; i < 128; ++i)
            std::swap(t[i], t[255 - i]);

    for (int i = 1; i <= 30; ++i)
        c.cycle[i - 1] = c.named[(i % 8 == 0 ? 8 : i % 8) - 1];

    if (g.screen_mode == 2 && swaps_reversed_colours(d))
        std::swap(t[0], t[id == SMAL ? 1 : (id == VGA ? 15 : 255)]);

    c.table_last = 255;
    c.background_index = 0;
    int def = 255;
    if (is_paper_device(d) && is_plain_scale(id)) {
        def = 0;
        c.background_index = 255;
    } else if (id == SMAL) {
        c.table_last = 9;
        def = 1;
    } else if (id == VGA) {
        c.table_last = 15;
        def = 15;
    }
    c.first = 1;
    c.last = c.table_last - 1;
    // The raster writers read the table at disfin; the PostScript and PDF
    // writers take colours per command, so nothing more is handed over.
    select_colour(def);
}

// The option list of setvlt, made from the tables' names in the order of
// their ids: options are matched on their first four letters.
static const std::string& table_options() {
    static const std::string list = [] {
        const char* const names[] = {"SMALL",     "RAINBOW", "SPECTRUM", "GREY",       "RRAINBOW",
                                     "RSPECTRUM", "RGREY",   "VGA",      "TEMPERATURE"};
        std::string out;
        for (const char* n : names) {
            std::string key(n, std::min<std::size_t>(4, std::strlen(n)));
            key.resize(4, ' ');
            out += (out.empty() ? "" : "+") + key;
        }
        return out;
    }();
    return list;
}

void setvlt(const char* table) {
    if (check_level(1, 3, "setvlt")) return;
    const int i = keyword_index(table_options().c_str(), 9, table);
    if (i > 0) load_colour_table(i - 1);
}

void color(const char* name) {
    if (check_level(1, 3, "color")) return;
    const int i = keyword_index("WHIT+RED +GREE+YELL+BLUE+ORAN+CYAN+MAGE+BLAC+FORE+BACK", 11, name);
    if (i == 0) return;
    const ColourState& c = g_plot.colour;
    int index;
    if (i <= 9) {
        index = c.named[i - 1];
    } else if (i == 10) {
        if (is_paper_device(g_plot.device) && is_plain_scale(c.table_id))
            index = 0;
        else
            index = c.table_id == SMAL ? 1 : (c.table_id == VGA ? 15 : 255);
    } else {
        index = c.background_index;
    }
    select_colour(index);
}

void setind(int index, int r, int g, int b) {
    if (check_level(1, 3, "setind")) return;
    for (int v : {index, r, g, b})
        if (v < 0 || v > 255) {
            warning_with_number(2, v);
            return;
        }
    g_plot.colour.table[index] = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
    // The colour in force takes the new value on the device at once.
    if (g_plot.colour.current == index) select_colour(index);
}

void getind(int index, int* r, int* g, int* b) {
    if (check_level(1, 3, "getind")) return;
    if (index < 0 || index > 255 || !r || !g || !b) {
        warning_with_number(2, index);
        return;
    }
    const uint32_t e = g_plot.colour.table[index];
    *r = int(e >> 16 & 0xFF), *g = int(e >> 8 & 0xFF), *b = int(e & 0xFF);
}

void setclr(int index) {
    if (check_level(1, 3, "setclr")) return;
    if (index < 0 || index > 255) {
        warning_with_number(2, index);
        return;
    }
    select_colour(index);
}

} // namespace razidu
