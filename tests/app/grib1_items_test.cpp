// GRIB edition 1 fields in the GRIB view: the parameters of the nine items
// from the WMO table 2 and the European centre's table 128 become those
// items in the items' units; others keep their table's name.
#include "engine/forecast.h"
#include "engine/forecast_grib.h"
#include "tool_oracle.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace testfiles;

namespace {

struct Param {
    const char* keys; // grib_filter statements
    double written;   // every value
    int item;
    double shown; // the value in the item's unit
    int hour;
};
const Param kParams[] = {
    {"table2Version=2; indicatorOfParameter=11;", 288.15, 4, 15, 0},
    {"table2Version=3; indicatorOfParameter=33;", 12.5, 23, 12.5, 0},
    {"table2Version=2; indicatorOfParameter=39;", 0.5, 42, 18, 0},
    {"table2Version=128; indicatorOfParameter=129;", 9806.65, 102, 1000, 0},
    {"table2Version=128; indicatorOfParameter=164;", 0.25, 225, 25, 0},
    {"table2Version=128; indicatorOfParameter=228; timeRangeIndicator=4; "
     "P1=0; P2=6;",
     0.012, 49, 2, 6},
    {"table2Version=2; indicatorOfParameter=80;", 290, 256, 290, 0},
};

TEST(Grib1Items, TablesOfBothKindsBecomeTheItems) {
    if (!oracle::have_tools())
        GTEST_SKIP() << "ecCodes tools are missing (scripts/install-deps.sh)";
    TempDir dir("grib1_items");
    const std::string path = (dir.path / "fc.grib1").string();
    std::string rules =
        "centre=98; indicatorOfTypeOfLevel=100; level=850;\nNi=4; Nj=3; bitsPerValue=16;\n"
        "latitudeOfFirstGridPointInDegrees=45; latitudeOfLastGridPointInDegrees=43;\n"
        "longitudeOfFirstGridPointInDegrees=120; longitudeOfLastGridPointInDegrees=123;\n"
        "iDirectionIncrementInDegrees=1; jDirectionIncrementInDegrees=1;\n";
    for (const Param& p : kParams)
        rules += "timeRangeIndicator=0; P1=0; P2=0;\n" + std::string(p.keys) + "\nvalues={" +
                 oracle::values(12, [&](std::size_t) { return p.written; }) + "};\nwrite \"" +
                 path + "\";\n";
    ASSERT_TRUE(oracle::filter(dir.path, rules, "regular_ll_pl_grib1.tmpl"))
        << read_file(dir.path / "filter.log");

    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(engine::grib_view::open(f, path), 1);
    ASSERT_EQ(engine::forecast.levels, std::vector<int>{850});
    ASSERT_EQ(engine::grib_view::choose_level(0), 1);
    EXPECT_EQ(engine::forecast.items, (std::vector<int>{4, 23, 42, 49, 102, 225, 256}));
    EXPECT_EQ(engine::forecast.hours, (std::vector<int>{0, 6}));
    EXPECT_STREQ(engine::grib_view::item_name(256), "Water temperature (K)");
    std::vector<float> field(12);
    for (const Param& p : kParams) {
        SCOPED_TRACE(p.keys);
        gpv::Selection sel;
        int level = 850, item = p.item, hour = p.hour, pass = 1;
        ASSERT_GE(engine::grib_view::extract_next(sel, field, level, item, hour, pass), 1);
        EXPECT_EQ(item, p.item);
        EXPECT_NEAR(field[5], p.shown, 1e-3 * std::fabs(p.shown) + 1e-3);
    }
    engine::grib_view::close();
    std::fclose(f);
}

} // namespace
