// The indexed extraction, the word unpacker and the fast number formatting
// against the reference walk, the bit loop and printf, on generated and
// corrupted files.
#include "gpv/gpv.h"
#include "platform/platform.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <fcntl.h>
#include <sys/stat.h>

using namespace testfiles;
using gpvgen::Bytes;

namespace {

struct Indexed : GpvTest {
    void TearDown() override {
        gpv::walk = gpv::Walk::Indexed;
        gpv::format = gpv::Format::Fast;
        gpv::forget_index();
    }
};

// Everything an extraction leaves behind, as text and bytes.
struct Outcome {
    int result;
    std::vector<std::string> messages;
    std::string header;
    std::vector<float> field;
    float min_value, max_value;
};

std::string header_text(const gpv::GpvHeader& h) {
    char s[512];
    std::snprintf(s, sizeof s,
                  "%d %s %d %d %d.%d.%d.%d.%d %d-%d/%d*%d %d,%d-%d,%d %dx%d=%d b%d %a %a L%d "
                  "g%dx%d=%d %a %a %a %a %a %a o%d,%d",
                  h.model_code, h.model_name, h.item_code, h.level, h.init_year, h.init_month,
                  h.init_day, h.init_hour, h.init_minute, h.first_forecast_hour,
                  h.last_forecast_hour, h.forecast_step, h.forecast_count, h.col_first, h.row_first,
                  h.col_last, h.row_last, h.tile_cols, h.tile_rows, h.tile_count, h.bits_per_value,
                  h.scale_factor, h.reference_value, h.data_length, h.grid_cols, h.grid_rows,
                  h.grid_count, h.lon_min, h.lon_max, h.lon_step, h.lat_min, h.lat_max, h.lat_step,
                  h.col_offset, h.row_offset);
    return s;
}

Outcome extract(gpv::Walk how, std::FILE* f, int item, int level, int time, std::size_t cells,
                const gpv::GpvHeader& before) {
    gpv::header = before;
    gpv::walk = how;
    platform::headless::reset();
    Outcome o;
    o.field.assign(cells, -7.0f);
    o.result = gpv::get_GPV_dat(f, item, level, time, o.field);
    for (const auto& m : platform::headless::messages())
        o.messages.push_back(m.title + ": " + m.text);
    o.header = header_text(gpv::header);
    o.min_value = gpv::grid.min_value, o.max_value = gpv::grid.max_value;
    return o;
}

// A random record of a field; tiles of a whole grid in `cut` x `cut` pieces
// when whole is set.
std::vector<Bytes> random_field(std::mt19937& rng, int model, int level, int item, bool whole) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    gpvgen::Grid g{};
    gpvgen::model_grid(model == 6 ? 4 : model, level, g); // 6: an unknown model on the RSM grid
    int bits = pick(0, 10), times = pick(1, 3), exponent = pick(-6, 4);
    double reference = pick(-3000, 3000) / 7.0;
    int tc = whole ? g.cols / pick(2, 4) : pick(1, 12),
        tr = whole ? g.rows / pick(2, 4) : pick(1, 9);
    std::vector<Bytes> out;
    for (int r0 = 0; r0 < g.rows; r0 += tr)
        for (int c0 = 0; c0 < g.cols; c0 += tc) {
            gpvgen::Record r = tile(item, level, c0, r0, std::min(c0 + tc, g.cols) - 1,
                                    std::min(r0 + tr, g.rows) - 1, 0, times);
            r.model = model, r.bits = bits, r.exponent = exponent, r.reference = reference;
            for (int& x : r.x)
                x = bits ? pick(0, (1 << bits) - 1) << (10 - bits) : 0;
            out.push_back(gpvgen::record(r));
            if (!whole) return out;
        }
    return out;
}

const int kLevels[] = {1000, 850, 0, -5, 65531};
const int kItems[] = {4, 23, 49, 2, 260};

// A file of random fields (level and item positions in kLevels and kItems
// noted in `fields`) in blocks, then maybe broken in a few places.
Bytes random_file(std::mt19937& rng, std::vector<std::pair<int, int>>& fields) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int model = pick(0, 9) == 0 ? 6 : pick(0, 3) == 0 ? 5 : 4;
    std::vector<Bytes> records;
    fields.clear();
    for (int n = pick(1, 5); n > 0; --n) {
        int level = pick(0, 3), item = pick(0, 3);
        if (model == 5 && level == 2) level = 1;
        fields.emplace_back(level, item);
        auto recs = random_field(rng, model, kLevels[level], kItems[item], pick(0, 3) > 0);
        records.insert(records.end(), recs.begin(), recs.end());
    }
    if (pick(0, 1)) std::shuffle(records.begin(), records.end(), rng);
    Bytes file = pick(0, 1) ? Bytes{'x', 'D', 'G'} : Bytes{};
    for (std::size_t k = 0; k < records.size();) {
        std::vector<Bytes> block;
        std::size_t size = 4;
        for (int n = pick(1, 8); n > 0 && k < records.size() && size + records[k].size() < 0xffff;
             --n)
            size += records[k].size(), block.push_back(records[k++]);
        if (block.empty()) block.push_back(records[k++]);
        Bytes b = gpvgen::block(block);
        file.insert(file.end(), b.begin(), b.end());
        if (pick(0, 3) == 0) file.insert(file.end(), {'D', 'G', 'R', 'D'});
    }
    for (int n = pick(0, 1) * pick(1, 3); n > 0 && !file.empty(); --n) {
        std::size_t at = static_cast<std::size_t>(pick(0, static_cast<int>(file.size()) - 1));
        const int kind = pick(0, 5);
        const auto it = file.begin() + static_cast<long>(at);
        if (kind == 0) file[at] ^= static_cast<std::uint8_t>(1 << pick(0, 7));
        if (kind == 1) file.resize(at);
        if (kind == 2) file.insert(it, {'D', 'G', 'R', 'B', 0, 9});
        if (kind == 3) file[at] = static_cast<std::uint8_t>(pick(0, 255));
        if (kind == 4) file.erase(it);
        if (kind == 5) file.insert(it, static_cast<std::uint8_t>(pick(0, 255)));
    }
    return file;
}

TEST_F(Indexed, SameOutcomeAsTheReferenceWalkOnRandomAndBrokenFiles) {
    std::mt19937 rng(20261206);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int successes = 0, failures = 0;
    for (int n = 0; n < 1500; ++n) {
        fs::path path = tmp.path / ("f" + std::to_string(n) + ".gpv");
        std::vector<std::pair<int, int>> fields;
        write_file(path, random_file(rng, fields));
        std::FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_TRUE(f);
        gpv::forget_index();
        gpv::GpvHeader state{};
        state.data_length = pick(0, 3) ? 0 : pick(0, 70000 / 2);
        for (int q = 0; q < 6; ++q) {
            auto [lp, ip] = fields[pick(0, static_cast<int>(fields.size()) - 1)];
            if (pick(0, 4) == 0) lp = pick(0, 4), ip = pick(0, 4);
            int level = kLevels[lp], item = kItems[ip];
            int time = pick(0, 9) ? pick(0, 2) : pick(-1, 4);
            std::size_t cells = pick(0, 5) ? 240 * 252 : 60 * 75;
            Outcome a = extract(gpv::Walk::Reference, f, item, level, time, cells, state);
            Outcome b = extract(gpv::Walk::Indexed, f, item, level, time, cells, state);
            ASSERT_EQ(a.result, b.result) << path << " query " << q;
            ASSERT_EQ(a.messages, b.messages) << path << " query " << q;
            ASSERT_EQ(a.header, b.header) << path << " query " << q;
            ASSERT_EQ(0, std::memcmp(a.field.data(), b.field.data(), 4 * cells))
                << path << " query " << q;
            if (a.result) {
                ASSERT_EQ(0, std::memcmp(&a.min_value, &b.min_value, 4)) << path;
                ASSERT_EQ(0, std::memcmp(&a.max_value, &b.max_value, 4)) << path;
            }
            (a.result ? successes : failures)++;
            state = gpv::header;
        }
        std::fclose(f);
        fs::remove(path);
    }
    // Both outcomes must be well represented for the comparison to mean much.
    EXPECT_GT(successes, 250);
    EXPECT_GT(failures, 1500);
}

// (The fast TEXT and CSV files are compared with the reference ones below.)
TEST_F(Indexed, BundledSamplesGiveTheReferenceFieldsAndHeaders) {
    for (const char* name : {"sample_rsm.gpv", "sample_msm.gpv"}) {
        std::FILE* f = std::fopen((std::string(KIVAR_BINARY_DIR) + "/data/" + name).c_str(), "rb");
        ASSERT_TRUE(f) << name;
        gpv::forget_index();
        gpv::header = {};
        int levels[32];
        int level_count = gpv::check_GPV_p(f, levels, 32);
        ASSERT_EQ(level_count, 4) << name;
        for (int l = 0; l < level_count; ++l) {
            int items[256];
            int item_count = gpv::check_GPV_p(f, levels[l], items, 256);
            ASSERT_EQ(item_count, 9);
            for (int k = 0; k < item_count; ++k) {
                int time = (l * 9 + k) % 18;
                gpv::GpvHeader before = gpv::header;
                Outcome a =
                    extract(gpv::Walk::Reference, f, items[k], levels[l], time, 240 * 252, before);
                Outcome b =
                    extract(gpv::Walk::Indexed, f, items[k], levels[l], time, 240 * 252, before);
                ASSERT_TRUE(a.result == 1 && b.result == 1);
                ASSERT_EQ(a.header, b.header) << name << " " << levels[l] << " " << items[k];
                ASSERT_EQ(0, std::memcmp(a.field.data(), b.field.data(), 4 * a.field.size()));
            }
        }
        std::fclose(f);
    }
}

TEST_F(Indexed, ChangedFileIsIndexedAgain) {
    fs::path path = tmp.path / "f.gpv";
    write_file(path, gpvgen::block({gpvgen::record(tile(4, 500, 0, 0, 59, 74, 8))}));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::vector<float> field(4500);
    ASSERT_EQ(gpv::get_GPV_dat(f, 4, 500, 0, field), 1);
    EXPECT_EQ(field[0], 8.0f);
    // same size, new values and a later modification time
    write_file(path, gpvgen::block({gpvgen::record(tile(4, 500, 0, 0, 59, 74, 16))}));
    timespec later[2] = {{0, UTIME_OMIT}, {time(nullptr) + 5, 0}};
    utimensat(AT_FDCWD, path.c_str(), later, 0);
    ASSERT_EQ(gpv::get_GPV_dat(f, 4, 500, 0, field), 1);
    EXPECT_EQ(field[0], 16.0f);
    std::fclose(f);
}

TEST_F(Indexed, WordUnpackerMatchesTheBitLoopForEveryWidth) {
    std::mt19937 rng(7);
    std::vector<std::uint8_t> data(600 + 8);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(rng());
    std::vector<int> x(400);
    for (int bits = 0; bits <= 10; ++bits)
        for (int start = 0; start < 24; ++start) {
            gpv::unpack_values(data.data(), start, bits, 400, x.data());
            long long byte = start / 8;
            int bit = start % 8;
            for (int q = 0; q < 400; ++q) {
                int want = 0;
                for (int k = 0; k < bits; ++k, ++bit) {
                    if (bit > 7) bit = 0, ++byte;
                    if (data[byte] & (0x80 >> bit)) want += 512 >> k;
                }
                ASSERT_EQ(x[q], want) << bits << " bits from " << start << ", value " << q;
            }
        }
}

TEST_F(Indexed, NumbersAreFormattedAsPrintfDoes) {
    auto check = [](float v) {
        char want[64], got[64];
        int n = std::snprintf(want, sizeof want, "%f", static_cast<double>(v));
        int m = gpv::format_value(v, got);
        ASSERT_EQ(std::string(want, n), std::string(got, m)) << std::hexfloat << v;
    };
    // ties at the sixth decimal round to even; both zeros, specials, limits
    for (float v : {0.0078125f,   0.0234375f,    -0.0078125f,     0.0f,    -0.0f,
                    1e-30f,       -1e-30f,       0.5e-6f,         1.5e-6f, 999999.9999995f,
                    1e12f,        -1e12f,        999999995904.0f, 3.4e38f, 1.0f / 0.0f,
                    -1.0f / 0.0f, std::nanf(""), 1e-45f,          250.0f,  -3.0f})
        check(v);
    std::mt19937 rng(11);
    for (int k = 0; k < 400000; ++k) {
        std::uint32_t bits = static_cast<std::uint32_t>(rng());
        if (k % 2) bits = (bits & 0x807fffff) | (0x60 + rng() % 0x30) << 23; // 2^-31 .. 2^16
        float v;
        std::memcpy(&v, &bits, 4);
        check(v);
    }
}

TEST_F(Indexed, FastExportWritesTheReferenceBytes) {
    gpv::header = {};
    gpv::header.model_code = 5, gpv::header.init_year = 26, gpv::header.init_month = 2;
    gpv::set_model_grid(gpv::header, 5, 0);
    std::vector<float> field(240 * 252);
    std::mt19937 rng(3);
    for (float& v : field)
        v = std::uniform_real_distribution<float>(-1e4f, 1e4f)(rng) * (rng() % 2 ? 1e-5f : 1.0f);
    field[17] = -0.0f, field[18] = 0.0078125f, field[19] = 2e13f;
    gpv::grid.min_value = -1e4f, gpv::grid.max_value = 2e13f;
    std::string save = tmp.path.string() + "/";
    for (int layout : {0, 1}) {
        std::string name = save + "MD05_ID004_P0000_DT26020000_TM03" + (layout ? ".csv" : ".txt");
        gpv::format = gpv::Format::Reference;
        ASSERT_EQ(gpv::save_GPV(save.c_str(), layout, field, 4, 0, 3), 1);
        std::string want = read_file(name);
        gpv::format = gpv::Format::Fast;
        ASSERT_EQ(gpv::save_GPV(save.c_str(), layout, field, 4, 0, 3), 1);
        EXPECT_TRUE(read_file(name) == want) << name;
        EXPECT_GT(want.size(), 500000u);
    }
}

} // namespace
