// The raster page: size, stride and padding, lines, rectangles, erase,
// VIRT; the scan-line polygon fill: spans per pass and direction, cancelled
// crossings, and the crossing limit.
#include "plot_test_util.h"

using namespace plot_test;
using namespace razidu;

using RasterTest = PlotTest;

#ifdef __SANITIZE_ADDRESS__
// A page no machine can hold must come back as a failed allocation under the
// address sanitizer too, as it does in the ordinary build.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

TEST_F(RasterTest, PageSizeStrideAndPadding) {
    captured([] { open_page("virt", "", 650, 600); });
    EXPECT_EQ(g_plot.raster.stride, 652);
    raster_fill_rect(0, 0, 649, 599, 9);
    EXPECT_EQ(count_colour(9), 650 * 600); // the padding stays 0
    erase();
    EXPECT_EQ(count_colour(0), 652 * 600);
    captured(disfin);
    EXPECT_EQ(g_plot.raster.pixels, nullptr);
    captured([] { // a window of one pixel
        open_page("virt", "", 1, 1, 100, 200);
        disfin();
        razidu::reset_library();
        page(100, 200); // portrait, no winsiz
        open_page("virt", "");
    });
    EXPECT_EQ(g_plot.raster.width, 603);
    EXPECT_EQ(g_plot.raster.height, 853);
    captured(disfin);
}

TEST_F(RasterTest, LinesAndRectangles) {
    captured([] { open_page("virt", "", 40, 30); });
    // Colour, end points and the number of pixels set.
    const int lines[][6] = {{3, 5, 5, 5, 5, 1},      {4, 7, 2, 7, 12, 11}, // a point, vertical
                            {5, 30, 1, 20, 1, 11},    // horizontal, drawn towards x1
                            {6, 0, 0, 9, 3, 10},      // shallow: one pixel per column
                            {7, 10, 20, 13, 29, 10},  // steep: one pixel per row
                            {8, -5, 29, 45, 29, 40}}; // ends outside the image are skipped
    for (const auto& l : lines) {
        raster_set_colour(l[0]);
        raster_line(l[1], l[2], l[3], l[4]);
        EXPECT_EQ(count_colour(l[0]), l[5]) << l[0];
    }
    EXPECT_EQ(pixel_at(0, 0), 6);
    EXPECT_EQ(pixel_at(9, 3), 6);
    raster_fill_rect(20, 10, 19, 12, 9); // x0 > x1: nothing
    raster_fill_rect(20, 12, 22, 10, 9); // y0 > y1: nothing
    EXPECT_EQ(count_colour(9), 0);
    raster_fill_rect(35, 25, 60, 60, 10); // limited to the image
    EXPECT_EQ(count_colour(10), 5 * 5);
    captured(disfin);
}

TEST_F(RasterTest, LargePagesAreTriedAndOnlyAFailedAllocationEnds) {
    int w = 16384, h = 16400, status = -1; // just above 256 MiB
    raster_open(0, 0, &w, &h, 2, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(g_plot.raster.pixels[size_t(w) * size_t(h) - 1], 0);
    raster_close();
    EXPECT_EXIT(
        {
            dup2(2, 1);
            winsiz(INT32_MAX, INT32_MAX); // 4.6e18 bytes: no machine has them
            metafl("png");
            disini();
        },
        ::testing::ExitedWithCode(0), "Warning  53: Not enough memory in disini!");
}

namespace {

struct Span {
    float x1, x2, y;
};
std::vector<Span> spans;
void record_span(const float xs[2], const float ys[2]) {
    spans.push_back({xs[0], xs[1], ys[0]});
}

std::vector<Span> fill(std::vector<float> x, std::vector<float> y, float d, int max_crossings) {
    spans.clear();
    std::vector<int16_t> vlinks(x.size() + 1);
    std::vector<float> crossings(static_cast<size_t>(max_crossings));
    std::vector<int16_t> clinks(size_t(max_crossings) + 1);
    fill_polygon(int(x.size()), x.data(), y.data(), d, vlinks.data(), max_crossings,
                 crossings.data(), clinks.data(), record_span);
    return spans;
}

} // namespace

using FillTest = PlotTest;

TEST_F(FillTest, TriangleInOnePassAlternatingDirection) {
    // Apex at the top (smallest y), base at y = 10: fill lines 0, 1, ... 10.
    auto s = fill({0, 10, 5}, {10, 10, 0}, 1.0f, 4);
    // The line through the apex has two equal crossings: they cancel. The
    // line through the base has none left (both edges end there).
    ASSERT_EQ(s.size(), 9u);
    for (size_t i = 0; i < s.size(); ++i) {
        const float y = float(i + 1);
        EXPECT_FLOAT_EQ(s[i].y, y);
        const float half = y / 2;
        // Line 0 (the apex) was left to right, so line 1 runs right to left.
        const bool rtl = i % 2 == 0;
        EXPECT_FLOAT_EQ(s[i].x1, rtl ? 5 + half : 5 - half) << i;
        EXPECT_FLOAT_EQ(s[i].x2, rtl ? 5 - half : 5 + half) << i;
    }
}

TEST_F(FillTest, ConcavePolygonIsFilledInTwoPasses) {
    // A "U" open to the top: lines above y = 6 cross both arms.
    auto s = fill({0, 10, 10, 7, 7, 3, 3, 0}, {10, 10, 0, 0, 6, 6, 0, 0}, 2.0f, 4);
    // Pass 1 draws the left span of each line, pass 2 the right span.
    std::vector<Span> left, right;
    bool second = false;
    for (const Span& sp : s) {
        const float lo = std::min(sp.x1, sp.x2);
        if (!second && lo >= 7) second = true;
        (second ? right : left).push_back(sp);
    }
    // Lines 0, 2 and 4 meet both arms; line 6 passes the inner corners and
    // line 8 the full width (one span each, drawn in pass 1 only).
    ASSERT_EQ(right.size(), 3u);
    EXPECT_FLOAT_EQ(std::min(right[0].x1, right[0].x2), 7);
    EXPECT_FLOAT_EQ(std::max(right[0].x1, right[0].x2), 10);
    EXPECT_EQ(left.size(), 5u);
    for (const Span& sp : left)
        EXPECT_FLOAT_EQ(std::min(sp.x1, sp.x2), 0);
}

TEST_F(FillTest, TooManyCrossingsWarnsAndStops) {
    // A comb with three teeth: lines through the teeth cross six edges.
    std::vector<float> x = {0, 10, 10, 8, 8, 6, 6, 4, 4, 2, 2, 0};
    std::vector<float> y = {10, 10, 0, 0, 5, 5, 0, 0, 5, 5, 0, 0};
    g_plot.routine_name = "rlvec";
    std::string out = captured([&] { fill(x, y, 1.0f, 4); });
    EXPECT_EQ(out, " <<<< Warning  26: Too many intersections in rlvec!   (   6)\n");
    EXPECT_TRUE(spans.empty()); // the first line with crossings already has six
    out = captured([&] { fill(x, y, 1.0f, 6); });
    EXPECT_EQ(out, "");
    EXPECT_FALSE(spans.empty());
}

TEST_F(FillTest, SortLinksBelowTwoHoldsIndexOneAlone) {
    const float v[1] = {3};
    for (int count : {1, 0, -2}) {
        int16_t links[2] = {7, 7};
        sort_links(v, count, links);
        EXPECT_EQ(links[0], 0) << count;
        EXPECT_EQ(links[1], 1) << count;
    }
}
