// The raster page: size, stride and padding, lines, rectangles, erase, VIRT.
#include "plot_test_util.h"

#include <unistd.h>

using namespace plot_test;
using namespace razidu;

using RasterTest = PlotTest;

namespace {
int count_colour(int c) {
    const RasterImage& r = g_plot.raster;
    int n = 0;
    for (int i = 0; i < r.stride * r.height; ++i)
        n += r.pixels[size_t(i)] == c;
    return n;
}
uint8_t at(int x, int y) {
    return g_plot.raster.pixels[size_t(y * g_plot.raster.stride + x)];
}
} // namespace

TEST_F(RasterTest, PageSizeStrideAndPadding) {
    captured([] { open_page("virt", "", 650, 600); });
    EXPECT_EQ(g_plot.raster.width, 650);
    EXPECT_EQ(g_plot.raster.stride, 652);
    raster_set_colour(9);
    raster_fill_rect(0, 0, 649, 599, 9);
    for (int y = 0; y < 600; ++y) {
        ASSERT_EQ(at(650, y), 0);
        ASSERT_EQ(at(651, y), 0);
    }
    erase();
    EXPECT_EQ(count_colour(0), 652 * 600);
    captured(disfin);
    EXPECT_EQ(g_plot.raster.pixels, nullptr);

    captured([] {
        winsiz(1, 1);
        page(100, 200);
        metafl("virt");
        disini();
    });
    captured(disfin);
    captured([] {
        razidu::reset_library();
        page(100, 200); // portrait, no winsiz
        metafl("virt");
        disini();
    });
    EXPECT_EQ(g_plot.raster.width, 603);
    EXPECT_EQ(g_plot.raster.height, 853);
    captured(disfin);
}

TEST_F(RasterTest, LinesAndRectangles) {
    captured([] { open_page("virt", "", 40, 30); });
    erase();
    raster_set_colour(3);
    raster_line(5, 5, 5, 5);
    EXPECT_EQ(count_colour(3), 1);
    raster_set_colour(4);
    raster_line(7, 2, 7, 12); // vertical
    EXPECT_EQ(count_colour(4), 11);
    raster_set_colour(5);
    raster_line(30, 1, 20, 1); // horizontal, drawn towards x1
    EXPECT_EQ(count_colour(5), 11);
    raster_set_colour(6);
    raster_line(0, 0, 9, 3); // shallow: one pixel per column
    EXPECT_EQ(count_colour(6), 10);
    EXPECT_EQ(at(0, 0), 6);
    EXPECT_EQ(at(9, 3), 6);
    raster_set_colour(7);
    raster_line(10, 20, 13, 29); // steep: one pixel per row
    EXPECT_EQ(count_colour(7), 10);
    // Ends outside the image are skipped, never written outside it.
    raster_set_colour(8);
    raster_line(-5, 29, 45, 29);
    EXPECT_EQ(count_colour(8), 40);
    raster_fill_rect(20, 10, 19, 12, 9); // x0 > x1: nothing
    raster_fill_rect(20, 12, 22, 10, 9); // y0 > y1: nothing
    EXPECT_EQ(count_colour(9), 0);
    raster_fill_rect(35, 25, 60, 60, 10); // limited to the image
    EXPECT_EQ(count_colour(10), 5 * 5);

    uint8_t rows[6];
    raster_read_rows(rows, 7, 2, 3, 2);
    EXPECT_EQ(std::vector<uint8_t>(rows, rows + 6), (std::vector<uint8_t>{6, 0, 0, 4, 6, 6}));
    captured(disfin);
}

TEST_F(RasterTest, PenDrawsThroughTheDeviceScale) {
    captured([] { open_page("virt", "", 650, 600, 2925, 2820); });
    EXPECT_NEAR(g_plot.device_scale, 0.21249f, 1e-5);
    // The page's far corner lands inside the image: 621 by 599 pixels.
    setclr(200);
    strtpt(0, 0);
    connpt(2924, 2819);
    sendbf();
    EXPECT_EQ(at(0, 0), 200);
    EXPECT_EQ(at(621, 599), 200);
    captured([&] { disfin(); });
    EXPECT_TRUE(fs::is_empty(dir_)); // VIRT leaves no file
}

TEST_F(RasterTest, OversizedPageEndsWithNotEnoughMemory) {
    EXPECT_EXIT(
        {
            dup2(2, 1);
            winsiz(100000, 100000);
            metafl("png");
            disini();
        },
        ::testing::ExitedWithCode(0), "Warning  53: Not enough memory in disini!");
}
