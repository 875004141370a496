// The raster page: size, stride and padding, lines, rectangles, erase, VIRT.
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
