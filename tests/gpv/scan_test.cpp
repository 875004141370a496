#include "gpv/gpv.h"
#include "platform/platform.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace testfiles;
using gpvgen::Bytes;

namespace {

// (The walks start from the data length of the last header read.)
struct Scan : GpvTest {
    std::FILE* f = nullptr;
    std::vector<float> field = std::vector<float>(120 * 150, -1.0f);
    void TearDown() override {
        if (f) std::fclose(f);
    }
    void open(const Bytes& b) {
        if (f) std::fclose(f);
        write_file(dir / "f.gpv", b);
        gpv::header = {};
        f = std::fopen((dir / "f.gpv").c_str(), "rb");
    }
};

TEST_F(Scan, LevelsAndItemsOfTheFirstBlockInOrderOfAppearance) {
    std::vector<Bytes> first;
    for (int item : {4, 23})
        for (int level : {1000, 850, 500})
            first.push_back(gpvgen::record(tile(item, level, 0, 0, 1, 1)));
    Bytes second = gpvgen::block({gpvgen::record(tile(13, 300, 0, 0, 1, 1))});
    open(concat({Bytes{'j', 'D'}, gpvgen::block(first), second}));
    int levels[32];
    ASSERT_EQ(gpv::check_GPV_p(f, levels, 32), 3);
    EXPECT_EQ(std::vector<int>(levels, levels + 3), std::vector<int>({1000, 850, 500})); // not 300
    int items[256];
    ASSERT_EQ(gpv::check_GPV_p(f, 850, items, 256), 2);
    EXPECT_EQ(std::vector<int>(items, items + 2), std::vector<int>({4, 23}));
    EXPECT_EQ(gpv::check_GPV_p(f, 300, items, 256), 0);

    std::vector<Bytes> many;
    for (int level = 1; level <= 33; ++level)
        many.push_back(gpvgen::record(tile(4, level, 0, 0, 0, 0)));
    open(gpvgen::block(many));
    EXPECT_EQ(gpv::check_GPV_p(f, levels, 32), 0);
    EXPECT_EQ(last_message(), "check_GPV_p: Error: too many pressure largers.");

    open(Bytes{'n', 'o', 'n', 'e'});
    EXPECT_EQ(gpv::check_GPV_p(f, levels, 32), 0);
}

// The first marker is found by large reads, skipping holes, exactly where
// the byte-by-byte search finds it: across the reads' block boundaries,
// behind partial markers and holes; the scans then read the same records.
TEST_F(Scan, FirstMarkerByBlocksWhereTheByteSearchFindsIt) {
    const std::size_t block = 1 << 20; // the search's read size
    const Bytes rec = gpvgen::block({gpvgen::record(tile(4, 850, 0, 0, 1, 1))});
    const std::string marked(rec.begin(), rec.end());
    struct Case {
        std::string before; // then a hole of `hole` bytes, then `after`
        long long hole;
        std::string after;
    } cases[] = {
        {"", 0, marked},
        {std::string(block - 2, 'x'), 0, marked},               // cut by the first read's end
        {std::string(block - 3, 'x') + "DGR", 0, "D" + marked}, // a partial marker there
        {std::string(block - 1, 'x') + "DD", 0, "GR" + marked},
        {"DG", 3 << 20, "RB" + marked}, // a hole parts "DG" and "RB"
        {"DGR", 5 << 20, "DDGR" + marked},
        {std::string(block + 5, 'D'), 1 << 20, "DGR"}, // no marker at all
        {"", 2 << 20, ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        // A new file each time: one rewritten in place within a clock tick
        // may keep its size and times.
        const fs::path path = dir / ("m" + std::to_string(n++) + ".gpv");
        {
            std::ofstream out(path, std::ios::binary);
            out << c.before;
            out.seekp(static_cast<std::streamoff>(c.before.size() + c.hole));
            out << c.after;
        }
        std::FILE* bytes = std::fopen(path.c_str(), "rb");
        const int found = gpv::find_record_marker(bytes);
        const long at = std::ftell(bytes);
        std::fclose(bytes);
        if (f) std::fclose(f);
        f = std::fopen(path.c_str(), "rb");
        EXPECT_EQ(gpv::first_marker_offset(fileno(f)), found ? at - 4 : -1) << n;
        EXPECT_EQ(gpv::find_first_marker(f), found) << n;
        EXPECT_EQ(std::ftell(f), at) << n;
        int levels[32];
        EXPECT_EQ(gpv::check_GPV_p(f, levels, 32), found ? 1 : 0) << n;
    }
}

TEST_F(Scan, RefusedFields) {
    Bytes outside = gpvgen::record(tile(4, 500, 0, 0, 59, 74));
    outside[24] = 0, outside[25] = 10; // first column 10 < offset 240
    // Time 1 of a one-time record runs past its data.
    Bytes cut = gpvgen::record(tile(4, 500, 0, 0, 59, 74, 0, 2));
    unsigned len = 44 + 60 * 75 * 10 / 8 + 100;
    cut[0] = static_cast<std::uint8_t>(len >> 8), cut[1] = static_cast<std::uint8_t>(len);
    cut.resize(len);
    std::vector<float> small(60 * 75); // level 0's grid does not fit arrays for 60 x 75
    const struct {
        Bytes record;
        int level, hour;
        std::vector<float>& into;
        std::string message;
    } cases[] = {
        {gpvgen::record(tile(4, 500, 0, 0, 60, 74)), 500, 0, field, "v-dimension too small."},
        {gpvgen::record(tile(4, 500, 0, 0, 59, 36)), 500, 0, field, "number of data not matched."},
        {outside, 500, 0, field, "tile outside the grid."},
        {cut, 500, 1, field, "packed data longer than the record."},
        {gpvgen::record(tile(4, 0, 0, 0, 9, 9)), 0, 0, small, "grid larger than the work arrays."},
    };
    for (const auto& c : cases) {
        open(gpvgen::block({c.record}));
        EXPECT_EQ(gpv::get_GPV_dat(f, 4, c.level, c.hour, c.into), 0) << c.message;
        EXPECT_EQ(last_message(), "get_GPV_dat: Error: " + c.message);
    }
}

TEST_F(Scan, AllItemsRunsTimeFastestThenItemThenLevel) {
    std::vector<Bytes> recs;
    for (int level : {850, 500})
        for (int item : {4, 13, 23}) {
            gpvgen::Record r = tile(item, level, 0, 0, 59, 74, 0, 4);
            r.bits = 8; // three records of 4 times fit one block
            for (int t = 0; t < 4; ++t)
                for (int k = 0; k < 4500; ++k)
                    r.x[t * 4500 + k] = 4 * (item + t);
            recs.push_back(gpvgen::record(r));
        }
    open(concat(
        {gpvgen::block({recs[0], recs[1], recs[2]}), gpvgen::block({recs[3], recs[4], recs[5]})}));
    gpv::index.level_count = gpv::check_GPV_p(f, gpv::index.levels.data(), 32);
    ASSERT_EQ(gpv::index.level_count, 1); // the first block holds level 850 only
    gpv::index.levels[1] = 500, gpv::index.level_count = 2;
    gpv::index.item_count = gpv::check_GPV_p(f, 850, gpv::index.items.data(), 256);
    ASSERT_EQ(gpv::index.item_count, 3);
    gpv::Selection sel;
    sel.selected_only = false;
    EXPECT_EQ(gpv::field_count(sel), 24);
    int level = 0, item = 0, hour = 0, pass = -1, result = 0;
    std::string seen;
    do {
        result = gpv::extract_next(f, sel, field, level, item, hour, pass);
        ASSERT_GT(result, 0);
        ASSERT_EQ(field[100], static_cast<float>(4 * (item + hour / 3)));
        seen +=
            std::to_string(level) + "/" + std::to_string(item) + "/" + std::to_string(hour) + " ";
    } while (result == 2);
    EXPECT_EQ(seen, "850/4/0 850/4/3 850/4/6 850/4/9 850/13/0 850/13/3 850/13/6 850/13/9 "
                    "850/23/0 850/23/3 850/23/6 850/23/9 500/4/0 500/4/3 500/4/6 500/4/9 "
                    "500/13/0 500/13/3 500/13/6 500/13/9 500/23/0 500/23/3 500/23/6 500/23/9 ");
    EXPECT_EQ(gpv::extract_next(f, sel, field, level, item, hour, pass), 0);
}

TEST_F(Scan, GeneratedForecastRoundTrips) {
    ASSERT_TRUE(write_forecast(dir / "fc.gpv", {850, 0}, {4, 49}, 51));
    f = std::fopen((dir / "fc.gpv").c_str(), "rb");
    int levels[32];
    ASSERT_EQ(gpv::check_GPV_p(f, levels, 32), 2);
    EXPECT_EQ(gpv::index.largest_grid_count, 120 * 150);
    for (int level : {850, 0}) {
        ASSERT_EQ(gpv::get_GPV_dat(f, 4, level, 6, field), 1) << level;
        const gpv::GpvHeader& h = gpv::header;
        EXPECT_EQ(h.grid_cols, level == 0 ? 120 : 60);
        for (int j = 0; j < h.grid_rows; j += 7)
            for (int i = 0; i < h.grid_cols; i += 5) {
                double want = gpvgen::plausible_value(4, level, 120.0 + (i + 0.5) * h.lon_step,
                                                      50.0 - (j + 0.5) * h.lat_step, 18);
                ASSERT_NEAR(field[j * h.grid_cols + i], want, 0.1) << level << " " << i << " " << j;
            }
        // The range is that of the field.
        const auto [lo, hi] = std::minmax_element(field.begin(), field.begin() + h.grid_count);
        EXPECT_TRUE(gpv::grid.min_value == *lo && gpv::grid.max_value == *hi) << level;
    }
}

TEST_F(Scan, MapAndCellCentres) {
    write_map(dir / "map.dat");
    gpv::header = {};
    gpv::set_model_grid(gpv::header, 4, 500);
    ASSERT_EQ(gpv::ini_vars((dir / "map.dat").c_str(), 4500), 1);
    gpv::fill_cell_centres();
    EXPECT_FLOAT_EQ(gpv::grid.LonArray[0], 120.25f);
    EXPECT_FLOAT_EQ(gpv::grid.LatArray[0], 49.8f);
    EXPECT_FLOAT_EQ(gpv::grid.LonArray[4499], 149.75f);
    EXPECT_FLOAT_EQ(gpv::grid.LatArray[4499], 20.2f);
    EXPECT_TRUE(gpv::grid.CoastX[5] == 135.0f && gpv::grid.CoastY[5] == 35.0f);

    fs::resize_file(dir / "map.dat", 4 * 8535 + 4 * 3); // latitudes of 3 points only
    ASSERT_EQ(gpv::load_map((dir / "map.dat").c_str()), 1);
    EXPECT_EQ(gpv::grid.CoastX[2], 132.0f);
    EXPECT_LT(gpv::grid.CoastX[3], -990.0f); // (a missing map.dat: the command-line tests)
}

} // namespace
