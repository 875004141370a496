// Maps the engine draws from a dataset's fields: a page drawn into memory is
// the page it writes to a file, and the maps it refuses say why.
#include "engine/engine.h"
#include "engine/map.h"
#include "test_files.h"

#include <gtest/gtest.h>

using namespace testfiles;

namespace {

const std::string kMapDat = KIVAR_SOURCE_DIR "/data/map.dat";

struct Case {
    const char* file;
    const char* variable;
    int hour, level;
    int projection;
    bool area; // 125 to 145 E, 25 to 45 N
};

bool request(const Case& c, std::shared_ptr<engine::Dataset>& d, engine::FieldMap& store,
             engine::MapRequest& q, engine::Error& e) {
    d = engine::open(std::string(KIVAR_BINARY_DIR "/data/") + c.file, e);
    if (!d) return false;
    q.projection = c.projection;
    q.area = c.area;
    q.lon0 = 125, q.lon1 = 145, q.lat0 = 25, q.lat1 = 45;
    return engine::dataset_map(*d, engine::find_variable(*d, c.variable), c.hour, c.level, 0,
                               kMapDat, store, q, e) == 1;
}

TEST(EngineMaps, PagesInMemoryEqualPagesInFiles) {
    const Case cases[] = {
        {"sample_rsm.gpv", "t_isobaric", 8, 1, 0, false},
        {"sample_rsm.gpv", "u_isobaric", 2, 1, 3, false},       // arrows, Lambert
        {"sample_msm.grib2", "p0_6_3_surface", 1, 0, 0, false}, // the fixed map's part
        {"sample_msm.grib2", "v_height", 2, 0, 0, true},        // arrows over an area
        {"sample_msm.grib2", "t_isobaric", 0, 2, 7, false},     // the whole grid
    };
    TempDir dir("engine_maps");
    for (const Case& c : cases) {
        std::shared_ptr<engine::Dataset> d;
        engine::FieldMap store;
        engine::MapRequest q;
        engine::Error e;
        ASSERT_TRUE(request(c, d, store, q, e)) << c.variable << ": " << e.message();
        engine::MapResult r;
        q.path = (dir.path / "map.png").string();
        ASSERT_EQ(engine::draw_map(q, r, e), 1) << c.variable << ": " << e.message();
        EXPECT_TRUE(r.drawn && r.bytes.empty() && r.zmin < r.zmax) << c.variable;
        // The library turns every second tick line from page to page: the
        // page after next is drawn as the file's.
        q.path.clear();
        ASSERT_EQ(engine::draw_map(q, r, e), 1) << c.variable << ": " << e.message();
        ASSERT_EQ(engine::draw_map(q, r, e), 1) << c.variable << ": " << e.message();
        EXPECT_EQ(std::string(r.bytes.begin(), r.bytes.end()), read_file(dir.path / "map.png"))
            << c.variable;
    }
}

TEST(EngineMaps, RefusedMapsSayWhy) {
    const struct {
        Case c;
        float lon0; // of the area, when c.area
        const char* message;
        bool constant;
    } cases[] = {
        {{"sample_rsm.gpv", "p_isobaric", 0, 0, 0, false}, 0, "", true},
        {{"sample_rsm.gpv", "t_isobaric", 0, 0, 0, true},
         10,
         "plot_field: The area lies outside the field's grid.",
         false},
        {{"sample_msm.grib2", "t_isobaric", 0, 0, 5, false},
         0,
         "plot_field: The area lies outside the field's grid.",
         false},
    };
    for (const auto& k : cases) {
        std::shared_ptr<engine::Dataset> d;
        engine::FieldMap store;
        engine::MapRequest q;
        engine::Error e;
        if (k.c.area) q.area = true;
        ASSERT_TRUE(request(k.c, d, store, q, e)) << e.message();
        if (k.c.area) q.lon0 = k.lon0, q.lon1 = k.lon0 + 5, q.lat0 = 0, q.lat1 = 5;
        engine::MapResult r;
        EXPECT_EQ(engine::draw_map(q, r, e), 0) << k.c.variable;
        EXPECT_EQ(r.constant, k.constant) << k.c.variable;
        EXPECT_EQ(e.title.empty() ? "" : e.message(), k.message) << k.c.variable;
        EXPECT_FALSE(r.drawn);
    }
}

} // namespace
