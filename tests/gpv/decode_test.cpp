#include "gpv/gpv.h"
#include "platform/platform.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testfiles;

namespace {

struct Decode : GpvTest {
    std::FILE* open_bytes(const gpvgen::Bytes& b) {
        write_file(dir / "f.gpv", b);
        return std::fopen((dir / "f.gpv").c_str(), "rb");
    }
    std::FILE* open_text(const std::string& s) {
        return open_bytes(gpvgen::Bytes(s.begin(), s.end()));
    }
    // Decodes one header built from r, with its bytes patched by patch.
    int decode(const gpvgen::Record& r, std::function<void(gpvgen::Bytes&)> patch = {}) {
        gpvgen::Bytes b = gpvgen::record(r);
        if (patch) patch(b);
        std::FILE* f = open_bytes(b);
        int result = gpv::get_GPV_def(f);
        std::fclose(f);
        return result;
    }
};

TEST_F(Decode, MarkerSearchRestartsPartialMatchesAndStopsAtTheEnd) {
    // Found: the file stands after the marker, at the z; not found: at its end.
    for (std::string s : {"xxDGRBz", "DDGRBz", "DGDGRBz", "DGRDGRBz", "", "no marker at all",
                          "abcD", "abcDG", "abcDGR", "DGRx"}) {
        std::FILE* f = open_text(s);
        const bool found = s.ends_with('z');
        EXPECT_EQ(gpv::find_record_marker(f), found ? 1 : 0) << s;
        EXPECT_EQ(std::ftell(f), static_cast<long>(s.size()) - (found ? 1 : 0)) << s;
        std::fclose(f);
    }
}

// The decoded header in one line: model, level, grid, steps, offsets, tile,
// forecast step and count, scale, reference, data length.
std::string summary() {
    const gpv::GpvHeader& h = gpv::header;
    char s[400];
    std::snprintf(s, sizeof s, "%s %d %dx%d %g/%g %d,%d tile %d,%d-%d,%d=%d step %d*%d %g %g %d",
                  h.model_name, h.level, h.grid_cols, h.grid_rows, h.lon_step, h.lat_step,
                  h.col_offset, h.row_offset, h.col_first, h.row_first, h.col_last, h.row_last,
                  h.tile_count, h.forecast_step, h.forecast_count, h.scale_factor,
                  h.reference_value, h.data_length);
    return s;
}

TEST_F(Decode, HeaderGeometryOfBothModelsAndLevelZero) {
    gpvgen::Record r = tile(23, 500, 2, 3, 5, 5, 0, 18);
    r.first_hour = 0, r.last_hour = 51, r.step_byte = 203, r.exponent = -3, r.reference = 100.0;
    ASSERT_EQ(decode(r), 1);
    EXPECT_EQ(summary(), "RSM 500 60x75 0.5/0.4 240,100 tile 2,3-5,5=12 step 3*18 0.125 100 270");
    r.level = 0;
    ASSERT_EQ(decode(r), 1);
    EXPECT_EQ(summary(), "RSM 0 120x150 0.25/0.2 480,200 tile 2,3-5,5=12 step 3*18 0.125 100 270");
    r.model = 5;
    ASSERT_EQ(decode(r), 1);
    EXPECT_EQ(summary(), "MSM 0 240x252 0.125/0.1 960,424 tile 2,3-5,5=12 step 3*18 0.125 100 270");
    EXPECT_TRUE(platform::headless::messages().empty());
}

TEST_F(Decode, RefusedHeaders) {
    gpvgen::Record r = tile(2, 500, 0, 0, 1, 1);
    EXPECT_EQ(decode(r), 0);
    EXPECT_EQ(last_message(), "get_GPV_def: Error: item unknown.");
    r.item = 42;
    r.model = 6;
    EXPECT_EQ(decode(r), 0);
    EXPECT_EQ(last_message(), "get_GPV_def: Error: unknown model.");
    r.model = 4;
    r.step_byte = 200;
    EXPECT_EQ(decode(r), 0);
    EXPECT_EQ(last_message(), "get_GPV_def: Error: forecast step is 0.");
    r.step_byte = 203;
    EXPECT_EQ(decode(r, [](gpvgen::Bytes& b) { b[33] = 11; }), 0);
    EXPECT_EQ(last_message(), "get_GPV_def: Error: more than 10 bits per value.");
    r.length_override = 43;
    EXPECT_EQ(decode(r), 0);
    EXPECT_EQ(last_message(), "get_GPV_def: Error: record length below 44 bytes.");
    r.length_override = -1;
    std::size_t shown = platform::headless::messages().size();
    EXPECT_EQ(decode(r, [](gpvgen::Bytes& b) { b.resize(43); }), gpv::kEndOfFile);
    EXPECT_EQ(platform::headless::messages().size(), shown);
}

TEST_F(Decode, ItemTexts) {
    char text[32] = "unchanged";
    EXPECT_EQ(gpv::id2str(42, text), 1);
    EXPECT_STREQ(text, "w-wind (hPa/h)");
    EXPECT_EQ(gpv::id2str(2, text), 0);
    EXPECT_STREQ(text, "w-wind (hPa/h)"); // left alone
    EXPECT_EQ(last_message(), "id2str: Error: item unknown.");
}

} // namespace
