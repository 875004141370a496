// Weather maps through Execute with "Image": file names and sizes, the axis
// frame and colour bar in the picture, cell colours against their values,
// arrow counts, the colour range and its fields, wind pairing.
#include "app/app.h"
#include "app/control_ids.h"
#include "gpv/gpv.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>

using namespace testfiles;
using namespace app;
namespace hl = platform::headless;

namespace {

constexpr int kCols = 60, kRows = 75;      // the RSM grid
constexpr float kScale = 599.0f / 2819.0f; // device units per plot unit

// A record of the whole RSM grid at 850 hPa holding the given values.
gpvgen::Bytes field_record(int item, const std::function<double(int i, int j)>& value) {
    std::vector<double> v;
    for (int j = 0; j < kRows; ++j)
        for (int i = 0; i < kCols; ++i)
            v.push_back(value(i, j));
    gpvgen::Record r;
    r.item = item;
    r.level = 850;
    r.colLast = kCols - 1;
    r.rowLast = kRows - 1;
    gpvgen::quantise(v, 10, r);
    return gpvgen::record(r);
}

// An 8-bit BMP read back: colour index of pixel (x, y), row 0 at the top.
struct Picture {
    std::string bytes;
    int width = 0, height = 0;
    explicit Picture(const fs::path& p) : bytes(read_file(p)) {
        if (bytes.size() < 54) return;
        width = le32(18);
        height = le32(22);
    }
    int le32(size_t at) const {
        auto b = [&](size_t k) { return int(static_cast<unsigned char>(bytes[at + k])); };
        return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
    }
    int at(int x, int y) const {
        const size_t stride = size_t(width + 3) / 4 * 4;
        return static_cast<unsigned char>(
            bytes[size_t(le32(10)) + size_t(height - 1 - y) * stride + size_t(x)]);
    }
};

int pixel(float plot_units) {
    return int(plot_units * kScale + 0.5f);
}

struct WeatherMap : ::testing::Test {
    TempDir tmp{"wmap"};
    fs::path dir = tmp.path;
    fs::path out = dir / "out";
    fs::path oldCwd = fs::current_path();

    void SetUp() override {
        hl::reset();
        hl::set_echo(false);
        gpv::header = {};
        write_map(dir / "map.dat");
        fs::current_path(dir);
        state = ProgramState{};
        dialog_handlers.init();
    }
    void TearDown() override {
        shutdown();
        fs::current_path(oldCwd);
    }
    // Writes the records as one GPV file and opens it.
    void open(const std::vector<gpvgen::Bytes>& records) {
        const std::string path = (dir / "fc.gpv").string();
        write_file(path, gpvgen::block(records));
        hl::set_next_chosen_file(path);
        dialog_handlers.command(IDM_OPEN, platform::Clicked);
        ASSERT_TRUE(state.fileReady) << last_message();
    }
    void select_entry(int id, const std::string& text) {
        for (int k = 0; k < platform::list_count(id); ++k)
            if (platform::list_text(id, k) == text) platform::list_select(id, k);
    }
    // Execute with "Image" in the given format; returns the library's report.
    std::string execute(const std::string& format) {
        select_entry(IDC_FORMAT_LIST, format);
        platform::set_text(IDC_SAVE_PATH, out.string().c_str());
        ::testing::internal::CaptureStdout();
        dialog_handlers.command(IDC_EXECUTE, platform::Clicked);
        std::fflush(stdout);
        return ::testing::internal::GetCapturedStdout();
    }
    void typed_range(const char* lo, const char* hi) {
        platform::set_checked(IDC_AUTO_SCALE, false);
        platform::set_text(IDC_RANGE_LOW, lo);
        platform::set_text(IDC_RANGE_HIGH, hi);
    }
    // Colour index at the centre of cell (i, j), rounded to plot units as
    // the arrows' start points are.
    static int cell_colour(const Picture& p, int i, int j) {
        const size_t k = size_t(j * kCols + i);
        const float x = 526.0f + (gpv::grid.LonArray[k] - 119.5f) * (1949.0f / 31.0f);
        const float y = 2346.0f - (gpv::grid.LatArray[k] - 19.5f) * (1879.0f / 31.0f);
        return p.at(pixel(std::round(x)), pixel(std::round(y)));
    }
};

const char* kScalarName = "MD04_ID004_P0850_DT02120400_TM00";

TEST_F(WeatherMap, ScalarMapFrameColourBarAndCells) {
    // Temperature rising eastwards from 250 to 295.
    open({field_record(4, [](int i, int) { return 250.0 + 45.0 * i / (kCols - 1); })});
    std::string report = execute("bmp");
    EXPECT_EQ(platform::get_text(IDC_STATUS), "plot OK");
    EXPECT_NE(report.find("Warnings: 0 "), std::string::npos) << report;
    const fs::path file = out / (std::string(kScalarName) + ".bmp");
    ASSERT_TRUE(fs::exists(file)) << report;
    EXPECT_EQ(fs::file_size(file), 392278u);

    // The automatic range is the field's and is written into the fields.
    const float zmin = gpv::grid.minValue, zmax = gpv::grid.maxValue;
    char text[64];
    std::snprintf(text, sizeof text, "%f", zmin);
    EXPECT_EQ(platform::get_text(IDC_RANGE_LOW), text);
    std::snprintf(text, sizeof text, "%f", zmax);
    EXPECT_EQ(platform::get_text(IDC_RANGE_HIGH), text);

    Picture p(file);
    ASSERT_EQ(p.width * 1000 + p.height, 650600);
    // Frame of the axis system: x 526..2475, y 467..2346 in plot units, that
    // is pixel columns 112..526 and rows 99..498.
    const int left = pixel(526), right = pixel(2475), top = pixel(467), bottom = pixel(2346);
    for (int y = top; y <= bottom; ++y)
        ASSERT_TRUE(p.at(left, y) == 255 && p.at(right, y) == 255) << y;
    for (int x = left; x <= right; ++x)
        ASSERT_TRUE(p.at(x, top) == 255 && p.at(x, bottom) == 255) << x;
    // The grid (120..150 E, 20..50 N) leaves a margin of half a degree
    // inside the frame; the cells overlap, so no background shows between.
    EXPECT_EQ(p.at(left + 3, top + 3), 0);
    for (int x = pixel(560); x < pixel(2440); ++x)
        ASSERT_NE(p.at(x, pixel(1500)), 0) << x;

    // Colour bar: 254 bands from colour 1 at the bottom to 254 at the top.
    const int barX = pixel(2475 + 85 + 25);
    std::vector<int> bands;
    for (int y = bottom; y >= top; --y)
        if (bands.empty() || bands.back() != p.at(barX, y)) bands.push_back(p.at(barX, y));
    ASSERT_EQ(bands.size(), 254u);
    for (int k = 0; k < 254; ++k)
        ASSERT_EQ(bands[size_t(k)], k + 1);

    // Cells carry the colour of their value; first and last colour at the
    // ends of the range.
    const std::vector<float>& f = gpv::grid.FieldBuffer[0];
    const float scale = 254.0f / (zmax - zmin);
    for (int i : {0, 1, 17, 30, 58, 59})
        for (int j : {2, 60}) {
            const float z = f[size_t(j * kCols + i)];
            int c = int(1.0f + (z - zmin) * scale);
            c = std::min(c, 254);
            EXPECT_EQ(cell_colour(p, i, j), c) << i << " " << j << " " << z;
        }
    EXPECT_EQ(cell_colour(p, 0, 10), 1);
    EXPECT_EQ(cell_colour(p, kCols - 1, 10), 254);
}

TEST_F(WeatherMap, TypedRangeOfEqualLimitsIsDrawnAsOneUnit) {
    // Columns of 9 (below), 10.5 (inside) and 12 (above the range).
    open({field_record(4, [](int i, int) { return i < 20 ? 9.0 : (i < 40 ? 10.5 : 12.0); })});
    typed_range("10", "10");
    execute("bmp");
    EXPECT_EQ(platform::get_text(IDC_RANGE_LOW), "10"); // typed fields stay
    EXPECT_EQ(platform::get_text(IDC_RANGE_HIGH), "10");
    Picture p(out / (std::string(kScalarName) + ".bmp"));
    EXPECT_EQ(cell_colour(p, 5, 30), 0);    // below 10: background
    EXPECT_EQ(cell_colour(p, 30, 30), 128); // 10.5 is the middle of 10..11
    EXPECT_EQ(cell_colour(p, 50, 30), 255); // above 11: foreground
}

TEST_F(WeatherMap, ConstantFieldDrawsNothing) {
    open({field_record(4, [](int, int) { return 7.0; })});
    execute("png");
    EXPECT_FALSE(fs::exists(out)); // not even the save folder was needed
    EXPECT_EQ(platform::get_text(IDC_STATUS), "plot OK");
    EXPECT_EQ(platform::get_text(IDC_RANGE_LOW), "7.000000");
}

TEST_F(WeatherMap, FormatsNamesAndDevices) {
    open({field_record(4, [](int i, int j) { return i + j; })});
    for (auto [format, device] : {std::pair{"png", "PNG"}, {"tif", "TIFF"}, {"ps", "PSCL"}}) {
        std::string report = execute(format);
        EXPECT_NE(report.find(std::string("Fileformat: ") + device), std::string::npos) << report;
        EXPECT_TRUE(fs::exists(out / (std::string(kScalarName) + "." + format))) << format;
    }

    // "display" writes tmp.bmp into the start folder and shows it; it needs
    // no save folder.
    out = "/proc/no/such/folder";
    execute("display");
    EXPECT_TRUE(hl::messages().empty()) << last_message();
    EXPECT_EQ(hl::picture_path(), (dir / "tmp.bmp").string());
    EXPECT_EQ(fs::file_size(dir / "tmp.bmp"), 392278u);
    EXPECT_EQ(state.displayCount, 1);
    execute("display");
    EXPECT_EQ(state.displayCount, 2);
    execute("png"); // refused folder: its message, no page
    EXPECT_EQ(state.displayCount, 0);
    EXPECT_EQ(last_message(), "check_path: Invalid path for saving extracted data.");
}

TEST_F(WeatherMap, WindArrowsDensityAndPairing) {
    // u = 3, v = 4 everywhere: speed 5, in the middle of a typed range 0..10.
    open({field_record(4, [](int i, int) { return i; }),
          field_record(23, [](int, int) { return 3.0; }),
          field_record(24, [](int, int) { return 4.0; })});
    select_entry(IDC_ITEM_LIST, "v-wind (m/s)");
    select_entry(IDC_VECTOR_DENSITY, "3");
    typed_range("0", "10");
    execute("bmp");
    // Selecting v plots u and v together, named with u's code.
    const fs::path file = out / "MD04_ID023_P0850_DT02120400_TM00.bmp";
    ASSERT_TRUE(fs::exists(file));
    Picture p(file);
    const int arrow = int(253.0f * 0.5f + 1.0f); // 127
    // Arrows start at the centres of every third cell of every third row,
    // from the north-west one: 20 x 25; no other cell centre is touched.
    int starts = 0;
    for (int j = 0; j < kRows; ++j)
        for (int i = 0; i < kCols; ++i)
            if (cell_colour(p, i, j) == arrow) {
                ++starts;
                EXPECT_TRUE(i % 3 == 0 && j % 3 == 0) << i << " " << j;
            }
    EXPECT_EQ(starts, 20 * 25);
    // u and v both positive: the arrows run to the north-east (downwind).
    const int cx = pixel(526.0f + 0.75f * 1949.0f / 31.0f);
    const int cy = pixel(2346.0f - 30.3f * 1879.0f / 31.0f);
    EXPECT_EQ(p.at(cx + 4, cy - 5), arrow);
    EXPECT_EQ(p.at(cx - 3, cy + 3), 0);
}

TEST_F(WeatherMap, AllItemsRunDrawsTwoWindPlotsPerLevelAndHour) {
    open({field_record(4, [](int i, int) { return i; }),
          field_record(23, [](int i, int j) { return i - j; }),
          field_record(24, [](int i, int) { return 0.5 * i; })});
    platform::set_checked(IDC_SELECTED_ONLY, false);
    platform::set_checked(IDC_ALL_ITEMS, true);
    execute("png");
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(out))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"MD04_ID004_P0850_DT02120400_TM00.png",
                                            "MD04_ID023_P0850_DT02120400_TM00.png",
                                            "MD04_ID024_P0850_DT02120400_TM00.png"}));
    EXPECT_EQ(read_file(out / "MD04_ID023_P0850_DT02120400_TM00.png"),
              read_file(out / "MD04_ID024_P0850_DT02120400_TM00.png"));
    // The wind range comes from the speeds: 0 where u = v = 0.
    EXPECT_EQ(platform::get_text(IDC_RANGE_LOW), "0.000000");
}

} // namespace
