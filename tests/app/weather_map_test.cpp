// Weather maps through Execute with "Image": file names and sizes, the axis
// frame and colour bar in the picture, cell colours at the range's ends,
// arrow counts, the colour range and its fields, wind pairing.
#include "app/app.h"
#include "app/control_ids.h"
#include "gpv/gpv.h"
#include "started_dialog.h"
#include "image_files.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numeric>
#include <set>

using namespace testfiles;
using namespace app;
namespace hl = platform::headless;

namespace {

constexpr int kCols = kRsmCols, kRows = kRsmRows;
constexpr float kScale = 599.0f / 2819.0f; // device units per plot unit

int pixel(float plot_units) {
    return int(plot_units * kScale + 0.5f);
}

struct WeatherMap : StartedDialog {
    fs::path out = dir / "out";
    void typed_range(const char* lo, const char* hi) {
        platform::set_checked(IDC_AUTO_SCALE, false);
        platform::set_text(IDC_RANGE_LOW, lo);
        platform::set_text(IDC_RANGE_HIGH, hi);
    }
    // Colour index at the centre of cell (i, j), rounded to plot units as
    // the arrows' start points are.
    static int cell_colour(const Image& p, int i, int j) {
        const size_t k = size_t(j * kCols + i);
        const float x = 526.0f + (gpv::grid.LonArray[k] - 119.5f) * (1949.0f / 31.0f);
        const float y = 2346.0f - (gpv::grid.LatArray[k] - 19.5f) * (1879.0f / 31.0f);
        return p.index_at(pixel(std::round(x)), pixel(std::round(y)));
    }
};

const char* kScalarName = "MD04_ID004_P0850_DT02120400_TM00";

TEST(RangeField, DecimalLiteralsOnly) {
    const std::pair<const char*, float> cases[] = {
        {"250.5", 250.5f}, {" -1.5e2 C", -150.0f}, {"+.5", 0.5f},
        {"7.", 7.0f},      {"1e", 1.0f},           {"0x10", 0.0f},
        {"inf", 0.0f},     {"nan", 0.0f},          {"-", 0.0f},
        {".", 0.0f},       {"1e39", 0.0f},         {"", 0.0f},
    };
    for (auto [text, want] : cases)
        EXPECT_EQ(read_decimal(text), want) << text;
}

TEST_F(WeatherMap, ScalarMapFrameColourBarAndCells) {
    // Temperature rising eastwards from 250 to 295.
    open_records({whole_grid(4, [](int i, int) { return 250.0 + 45.0 * i / (kCols - 1); })});
    const std::string report = execute_into(out, "bmp");
    EXPECT_EQ(platform::get_text(IDC_STATUS), "plot OK");
    EXPECT_NE(report.find("Warnings: 0 "), std::string::npos) << report;
    const fs::path file = out / (std::string(kScalarName) + ".bmp");
    ASSERT_EQ(fs::exists(file) ? fs::file_size(file) : 0, 392278u) << report;
    // The automatic range is the field's and is written into the fields.
    char lo[64], hi[64];
    std::snprintf(lo, sizeof lo, "%f", gpv::grid.min_value);
    std::snprintf(hi, sizeof hi, "%f", gpv::grid.max_value);
    EXPECT_EQ(platform::get_text(IDC_RANGE_LOW) + " " + platform::get_text(IDC_RANGE_HIGH),
              std::string(lo) + " " + hi);

    const Image p = read_image(file);
    ASSERT_EQ(p.w * 1000 + p.h, 650600);
    // Frame of the axis system: x 526..2475, y 467..2346 in plot units.
    const int left = pixel(526), right = pixel(2475), top = pixel(467), bottom = pixel(2346);
    for (int y = top; y <= bottom; ++y)
        ASSERT_TRUE(p.index_at(left, y) == 255 && p.index_at(right, y) == 255) << y;
    for (int x = left; x <= right; ++x)
        ASSERT_TRUE(p.index_at(x, top) == 255 && p.index_at(x, bottom) == 255) << x;
    // Colour bar: 254 bands from colour 1 at the bottom to 254 at the top.
    std::vector<int> bands;
    for (int y = bottom, c; y >= top; --y)
        if (c = p.index_at(pixel(2475 + 85 + 25), y); bands.empty() || bands.back() != c)
            bands.push_back(c);
    std::vector<int> want(254);
    std::iota(want.begin(), want.end(), 1);
    EXPECT_EQ(bands, want);
    // The first and last colour at the ends of the range.
    EXPECT_EQ(cell_colour(p, 0, 10), 1);
    EXPECT_EQ(cell_colour(p, kCols - 1, 10), 254);
}

TEST_F(WeatherMap, TypedRangeOfEqualLimitsIsDrawnAsOneUnit) {
    // Columns of 9 (below), 10.5 (inside) and 12 (above the range).
    open_records({whole_grid(4, [](int i, int) { return i < 20 ? 9.0 : (i < 40 ? 10.5 : 12.0); })});
    typed_range("10", "10");
    execute_into(out, "bmp");
    EXPECT_EQ(platform::get_text(IDC_RANGE_HIGH), "10"); // typed fields stay
    const Image p = read_image(out / (std::string(kScalarName) + ".bmp"));
    // Below 10 the background, 10.5 the middle of 10..11, above 11 the foreground.
    EXPECT_EQ(
        std::vector<int>({cell_colour(p, 5, 30), cell_colour(p, 30, 30), cell_colour(p, 50, 30)}),
        std::vector<int>({0, 128, 255}));
}

TEST_F(WeatherMap, ConstantFieldDrawsNothing) {
    open_records({whole_grid(4, [](int, int) { return 7.0; })});
    execute_into(out, "png");
    EXPECT_FALSE(fs::exists(out)); // not even the save folder was needed
    EXPECT_EQ(platform::get_text(IDC_RANGE_LOW), "7.000000");
}

TEST_F(WeatherMap, FormatsNamesAndDisplay) {
    open_records({whole_grid(4, [](int i, int j) { return i + j; })});
    for (auto [format, device] : {std::pair{"png", "PNG"}, {"ps", "PSCL"}}) {
        EXPECT_NE(execute_into(out, format).find(std::string("Fileformat: ") + device),
                  std::string::npos);
        EXPECT_TRUE(fs::exists(out / (std::string(kScalarName) + "." + format))) << format;
    }
    // "display" shows tmp.bmp of the start folder and needs no save folder.
    out = "/proc/no/such/folder";
    execute_into(out, "display");
    EXPECT_EQ(hl::picture_path(), (dir / "tmp.bmp").string()) << last_message();
    EXPECT_EQ(state.display_count, 1);
}

TEST_F(WeatherMap, WindArrowsAtEveryThirdCell) {
    // u = 3, v = 4 everywhere: speed 5, in the middle of a typed range 0..10.
    open_records({whole_grid(4, [](int i, int) { return i; }),
                  whole_grid(23, [](int, int) { return 3.0; }),
                  whole_grid(24, [](int, int) { return 4.0; })});
    select_entry(IDC_ITEM_LIST, "v-wind (m/s)");
    select_entry(IDC_VECTOR_DENSITY, "3");
    typed_range("0", "10");
    execute_into(out, "bmp");
    // Selecting v plots u and v together, named with u's code. Arrows
    // start at the centres of every third cell of every third row, from
    // the north-west one: 20 x 25; no other cell centre is touched.
    const Image p = read_image(out / "MD04_ID023_P0850_DT02120400_TM00.bmp");
    int starts = 0;
    for (int j = 0; j < kRows; ++j)
        for (int i = 0; i < kCols; ++i)
            if (cell_colour(p, i, j) == 127) { // colour 1 + 253 / 2
                ++starts;
                EXPECT_TRUE(i % 3 == 0 && j % 3 == 0) << i << " " << j;
            }
    EXPECT_EQ(starts, 20 * 25);
}

TEST_F(WeatherMap, AllItemsRunDrawsTwoWindPlotsPerLevelAndHour) {
    open_records({whole_grid(4, [](int i, int) { return i; }),
                  whole_grid(23, [](int i, int j) { return i - j; }),
                  whole_grid(24, [](int i, int) { return 0.5 * i; })});
    platform::set_checked(IDC_SELECTED_ONLY, false);
    platform::set_checked(IDC_ALL_ITEMS, true);
    execute_into(out, "png");
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(out))
        names.insert(e.path().filename().string());
    const std::string u = "MD04_ID023_P0850_DT02120400_TM00.png",
                      v = "MD04_ID024_P0850_DT02120400_TM00.png";
    EXPECT_EQ(names, (std::set<std::string>{std::string(kScalarName) + ".png", u, v}));
    EXPECT_EQ(read_file(out / u), read_file(out / v));
    // The wind range comes from the speeds: 0 where u = v = 0.
    EXPECT_EQ(platform::get_text(IDC_RANGE_LOW), "0.000000");
}

} // namespace
