// Colour tables against their anchors, named colours and the reversed
// background.
#include "plot_test_util.h"

#include <cstdlib>

using namespace plot_test;
using namespace razidu;

using ColourTest = PlotTest;

namespace {
struct Rgb {
    int i, r, g, b;
};
int comp(uint32_t e, int shift) {
    return int(e >> shift & 255);
}

void expect_near_anchors(const std::vector<Rgb>& anchors, int tol) {
    const uint32_t* t = g_plot.colour.table;
    for (const Rgb& a : anchors) {
        EXPECT_NEAR(comp(t[a.i], 16), a.r, tol) << a.i;
        EXPECT_NEAR(comp(t[a.i], 8), a.g, tol) << a.i;
        EXPECT_NEAR(comp(t[a.i], 0), a.b, tol) << a.i;
    }
    // Between anchors every component moves monotonically.
    for (size_t k = 0; k + 1 < anchors.size(); ++k)
        for (int i = anchors[k].i; i < anchors[k + 1].i; ++i)
            for (int shift : {0, 8, 16}) {
                const int d0 = comp(t[i + 1], shift) - comp(t[i], shift);
                const int dir = comp(t[anchors[k + 1].i], shift) - comp(t[anchors[k].i], shift);
                EXPECT_GE(d0 * (dir >= 0 ? 1 : -1), 0) << i;
            }
}
} // namespace

TEST_F(ColourTest, TablesFollowTheirAnchors) {
    captured([] { open_page("virt", ""); });
    EXPECT_EQ(g_plot.colour.table_id, 1); // rainbow by default
    expect_near_anchors({{1, 34, 0, 68},
                         {5, 51, 0, 102},
                         {13, 51, 0, 170},
                         {30, 0, 0, 255},
                         {49, 0, 72, 255},
                         {96, 0, 255, 255},
                         {125, 0, 255, 102},
                         {138, 0, 255, 0},
                         {160, 123, 255, 0},
                         {192, 255, 255, 0},
                         {214, 255, 166, 0},
                         {243, 255, 47, 0},
                         {254, 255, 0, 0}},
                        1);
    EXPECT_EQ(g_plot.colour.table[0], 0u);
    EXPECT_EQ(g_plot.colour.table[255], 0xFFFFFFu);

    setvlt("spec");
    expect_near_anchors({{1, 255, 0, 255},
                         {52, 0, 0, 255},
                         {102, 0, 255, 255},
                         {153, 0, 255, 0},
                         {204, 255, 255, 0},
                         {254, 255, 0, 0}},
                        2);
    // About 5 per index along the sweep.
    EXPECT_NEAR(comp(g_plot.colour.table[27], 16), 125, 2);

    setvlt("temp");
    EXPECT_EQ(g_plot.colour.table[100], 0xAA0000u);                        // 170, 0, 0
    EXPECT_EQ(g_plot.colour.table[200], (255u << 16) | (151u << 8) | 39u); // green, blue
    setvlt("grey");
    EXPECT_EQ(g_plot.colour.table[77], 0x4D4D4Du);
    setvlt("vga");
    EXPECT_EQ(g_plot.colour.table[6], 0xAA5500u);
    EXPECT_EQ(g_plot.colour.table_last, 15);
    EXPECT_EQ(g_plot.colour.last, 14);
    EXPECT_EQ(palette_size(), 16);
    EXPECT_EQ(g_plot.colour.current, 15);
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
                  setclr(256);
                  setclr(-1);
                  color("purple");
                  setvlt("rgb");
              }),
              " <<<< Warning   2: Incorrect parameter in setclr!   ( 256)\n"
              " <<<< Warning   2: Incorrect parameter in setclr!   (  -1)\n"
              " <<<< Warning   2: Incorrect parameter in color!   (purple)\n"
              " <<<< Warning   2: Incorrect parameter in setvlt!   (rgb)\n");
    EXPECT_EQ(g_plot.colour.current, 1);
    EXPECT_EQ(g_plot.colour.table_id, 0);
    captured(disfin);
}

TEST_F(ColourTest, ReversedBackgroundOnRasterAndPaperDevices) {
    captured([&] { open_page("png", path("r.png"), 0, 0, 0, 0, "revers"); });
    EXPECT_EQ(g_plot.colour.table[0], 0xFFFFFFu); // white background
    EXPECT_EQ(g_plot.colour.table[255], 0u);      // black foreground
    color("fore");
    EXPECT_EQ(g_plot.colour.current, 255);
    color("back");
    EXPECT_EQ(g_plot.colour.current, 0);
    EXPECT_EQ(g_plot.colour.table[30], 0x0000FFu); // data colours keep the rainbow
    captured(disfin);

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
