// Colour tables against their anchors, named colours and the reversed
// background.
#include "plot_test_util.h"

using namespace plot_test;
using namespace razidu;

using ColourTest = PlotTest;

namespace {
int comp(uint32_t e, int shift) {
    return int(e >> shift & 255);
}

// Each anchor is index, red, green, blue; the table meets them within tol and
// every component moves monotonically between two anchors.
void expect_near_anchors(const std::vector<std::array<int, 4>>& anchors, int tol) {
    const uint32_t* t = g_plot.colour.table;
    for (size_t k = 0; k < anchors.size(); ++k) {
        const auto& [i, r, g, b] = anchors[k];
        EXPECT_TRUE(std::abs(comp(t[i], 16) - r) <= tol && std::abs(comp(t[i], 8) - g) <= tol &&
                    std::abs(comp(t[i], 0) - b) <= tol)
            << i;
        for (int j = i; k + 1 < anchors.size() && j < anchors[k + 1][0]; ++j)
            for (int shift : {0, 8, 16}) {
                const int dir = comp(t[anchors[k + 1][0]], shift) - comp(t[i], shift);
                EXPECT_GE((comp(t[j + 1], shift) - comp(t[j], shift)) * (dir >= 0 ? 1 : -1), 0)
                    << j;
            }
    }
}
} // namespace

TEST_F(ColourTest, TablesFollowTheirAnchors) {
    captured([] { open_page("virt", ""); });
    EXPECT_EQ(g_plot.colour.table_id, 1); // rainbow by default
    // clang-format off
    expect_near_anchors({{1, 34, 0, 68}, {5, 51, 0, 102}, {13, 51, 0, 170}, {30, 0, 0, 255},
                         {49, 0, 72, 255}, {96, 0, 255, 255}, {125, 0, 255, 102},
                         {138, 0, 255, 0}, {160, 123, 255, 0}, {192, 255, 255, 0},
                         {214, 255, 166, 0}, {243, 255, 47, 0}, {254, 255, 0, 0}}, 1);
    EXPECT_TRUE(g_plot.colour.table[0] == 0u && g_plot.colour.table[255] == 0xFFFFFFu);
    setvlt("spectrum"); // about 5 per index along the sweep
    expect_near_anchors({{1, 255, 0, 255}, {27, 125, 0, 255}, {52, 0, 0, 255}, {102, 0, 255, 255},
                         {153, 0, 255, 0}, {204, 255, 255, 0}, {254, 255, 0, 0}}, 2);
    // clang-format on
    const std::pair<const char*, std::pair<int, uint32_t>> samples[] = {
        {"temp", {200, 0xFF9727}}, {"grey", {77, 0x4D4D4D}}, {"vga", {6, 0xAA5500}}};
    for (auto [table, entry] : samples) {
        setvlt(table);
        EXPECT_EQ(g_plot.colour.table[entry.first], entry.second) << table;
    }
    EXPECT_EQ(palette_size(), 16);
    EXPECT_EQ(g_plot.colour.current, 15); // the white of VGA
    captured(disfin);
}

TEST_F(ColourTest, ReversedTablesAndNamedColours) {
    captured([] { open_page("virt", ""); });
    const uint32_t rain1 = g_plot.colour.table[1], rain254 = g_plot.colour.table[254];
    setvlt("rrai");
    EXPECT_EQ(g_plot.colour.table[1], rain254);
    EXPECT_EQ(g_plot.colour.table[254], rain1);
    color("red");
    EXPECT_EQ(g_plot.colour.current, 255 - 254);
    color("whit");
    EXPECT_EQ(g_plot.colour.current, 255);
    setvlt("smal");
    color("blac");
    EXPECT_EQ(g_plot.colour.current, 1);
    EXPECT_EQ(g_plot.colour.cycle[8], g_plot.colour.named[0]); // curve 9: WHIT again
    EXPECT_EQ(captured([] {
                  setclr(-1);
                  color("purple");
                  setvlt("rgb");
              }),
              " <<<< Warning   2: Incorrect parameter in setclr!   (  -1)\n"
              " <<<< Warning   2: Incorrect parameter in color!   (purple)\n"
              " <<<< Warning   2: Incorrect parameter in setvlt!   (rgb)\n");
    EXPECT_EQ(g_plot.colour.current, 1);
    EXPECT_EQ(g_plot.colour.table_id, 0);
    captured(disfin);
}

TEST_F(ColourTest, ReversedBackgroundOnRasterAndPaperDevices) {
    // (Reversed raster pages: the white palette entry 0 in writers_test.cpp,
    // the foreground frame of index 255 in the weather map test.)
    // Black-and-white PostScript: reversed grey scale, foreground index 0.
    captured([&] { open_page("post", path("g.psc")); });
    EXPECT_EQ(g_plot.colour.table_id, 6);
    EXPECT_EQ(g_plot.colour.table[0], 0xFFFFFFu);
    color("fore");
    EXPECT_EQ(g_plot.colour.current, 0);
    EXPECT_EQ(g_plot.colour.background_index, 255);
    captured(disfin);
    // CGM with the rainbow draws with index 0 and has background 255.
    captured([&] { open_page("cgm", path("c.cgm")); });
    EXPECT_EQ(g_plot.colour.current, 0);
    EXPECT_EQ(g_plot.colour.background_index, 255);
    EXPECT_EQ(g_plot.colour.named[0], 0);
    captured(disfin);
}
