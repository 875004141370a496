#include "gpv/gpv.h"
#include "platform/platform.h"
#include "file_limit.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

using namespace testfiles;

namespace {

struct Export : GpvTest {
    std::string save = dir.string() + "/";
    std::vector<float> field = std::vector<float>(120 * 150);
    void SetUp() override {
        GpvTest::SetUp();
        gpv::header.model_code = 4;
        gpv::header.init_year = 2, gpv::header.init_month = 2, gpv::header.init_day = 4;
        gpv::header.init_hour = 0;
        gpv::set_model_grid(gpv::header, 4, 500);
        for (std::size_t k = 0; k < field.size(); ++k)
            field[k] = static_cast<float>(k) * 0.5f - 3.0f;
        gpv::grid.min_value = -3.0f, gpv::grid.max_value = 2246.5f;
    }
};

TEST_F(Export, TextLayout) {
    ASSERT_EQ(gpv::save_GPV(save.c_str(), 0, field, 23, 500, 6), 1);
    std::string text = read_file(dir / "MD04_ID023_P0500_DT02020400_TM06.txt");
    auto l = lines(text);
    ASSERT_EQ(l.size(), 76u);
    EXPECT_EQ(l[0], "60  75  4  23  500  02 02 04 00 06  -3.000000  2246.500000");
    EXPECT_EQ(l[1].substr(0, 33), "  -3.000000  -2.500000  -2.000000");
    EXPECT_EQ(l[75].substr(l[75].size() - 13), "  2246.500000");
    for (std::size_t k = 1; k < l.size(); ++k) {
        std::istringstream row(l[k]);
        EXPECT_EQ(std::distance(std::istream_iterator<std::string>(row), {}), 60) << k;
    }
    EXPECT_EQ(text.back(), '\n');
}

TEST_F(Export, CsvLayoutAndLevelZero) {
    gpv::set_model_grid(gpv::header, 4, 0);
    ASSERT_EQ(gpv::save_GPV(save.c_str(), 1, field, 4, 0, 12), 1);
    auto l = lines(read_file(dir / "MD04_ID004_P0000_DT02020400_TM12.csv"));
    ASSERT_EQ(l.size(), 151u);
    EXPECT_EQ(l[0], "120,150,4,4,0, 2, 2, 4, 0,12,-3.000000,2246.500000");
    EXPECT_EQ(l[1].substr(0, 29), "-3.000000,-2.500000,-2.000000");
    for (std::size_t k = 1; k < l.size(); ++k) {
        EXPECT_EQ(std::count(l[k].begin(), l[k].end(), ','), 119);
        EXPECT_NE(l[k].back(), ',');
    }
}

TEST_F(Export, FailuresAndOtherLayouts) {
    std::string missing = save + "no/such/";
    EXPECT_EQ(gpv::save_GPV(missing.c_str(), 0, field, 4, 500, 0), 0);
    auto& m = platform::headless::messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].text, missing + "MD04_ID004_P0500_DT02020400_TM00.txt");
    EXPECT_EQ(m[1].text, "Error: can't open output file.");
    EXPECT_EQ(m[1].title, "save_GPV");
    EXPECT_EQ(gpv::save_GPV(missing.c_str(), 1, field, 4, 500, 0), 0);
    EXPECT_EQ(m.size(), 3u); // CSV: no box with the file name
    EXPECT_EQ(gpv::save_GPV(save.c_str(), 2, field, 4, 500, 0), 0);
    EXPECT_EQ(m.size(), 3u);
    EXPECT_TRUE(fs::is_empty(dir));
}

// A write that fails anywhere in a file: the named file keeps its earlier
// contents, no temporary file stays, and the box names the file and the
// reason.
TEST_F(Export, WriteFailuresLeaveTheEarlierFile) {
    for (gpv::Format f : {gpv::Format::Fast, gpv::Format::Reference})
        for (int layout : {0, 1}) {
            gpv::format = f;
            const std::string ext = layout ? ".csv" : ".txt";
            const fs::path file = dir / ("MD04_ID004_P0500_DT02020400_TM00" + ext);
            ASSERT_EQ(gpv::save_GPV(save.c_str(), layout, field, 4, 500, 0), 1);
            const std::string good = read_file(file);
            field[0] = 70.0f; // a new file differs, with the same length
            const rlim_t size = good.size();
            for (rlim_t limit : {rlim_t{0}, rlim_t{1}, size / 8, size / 4, size / 2, size - 1}) {
                int status = with_file_limit(limit, [&] {
                    int r = gpv::save_GPV(save.c_str(), layout, field, 4, 500, 0);
                    return r == gpv::kWriteFailed &&
                                   last_message() ==
                                       "save_GPV: " + file.string() + ": File too large"
                               ? 0
                               : 1;
                });
                EXPECT_EQ(status, 0) << layout << " " << limit;
                EXPECT_TRUE(read_file(file) == good) << layout << " " << limit;
                EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1) << limit;
            }
            field[0] = -3.0f;
            fs::remove(file);
        }
    gpv::format = gpv::Format::Fast;
}

// A write that fails keeps its reason, even when the writes after it would
// succeed (another process freed the disk) and errno has changed since: the
// file-size limit is raised before the commit.
TEST_F(Export, FailedWritesKeepTheSystemsReason) {
    const int status = with_file_limit(100, [&] {
        gpv::OutputFile out;
        if (!gpv::open_output(out, save + "late.txt", "w")) return 2;
        const std::string text(50000, 'x');
        std::fwrite(text.data(), 1, text.size(), out.stream);
        lift_file_limit();
        std::fwrite(text.data(), 1, text.size(), out.stream);
        errno = 0; // what ran since the failure may have changed it
        return !gpv::commit_output(out) && errno == EFBIG ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 0);
}

// gpv.log lines: their layout; each reaches the file whole or not at all,
// and never continues a line cut short by an earlier run.
TEST_F(Export, LogLinesWholeOrAbsent) {
    const fs::path path = dir / "gpv.log";
    write_file(path, {'o', 'l', 'd', '\n', 'c', 'u', 't'});
    std::FILE* log = gpv::open_log(path.string());
    const gpv::LogTime t{2002, 12, 4, 1, 4, 5};
    ASSERT_EQ(gpv::write_log_line(log, t, 850, 6, 225), 1);
    const std::string text = read_file(path);
    EXPECT_EQ(text, "old\n2002-12-4 1:4:5  P: 850  TM: 6  ID: 225  ITEM: Cloud (ref: DGRB)\n");
    for (rlim_t cut : {0, 1, 20}) {
        int status = with_file_limit(text.size() + cut, [&] {
            return gpv::write_log_line(log, t, 500, 3, 23) == gpv::kWriteFailed && errno == EFBIG
                       ? 0
                       : 1;
        });
        EXPECT_EQ(status, 0) << cut;
        EXPECT_EQ(read_file(path), text) << cut;
    }
    ASSERT_EQ(gpv::write_log_line(log, t, 0, 51, 4), 1);
    EXPECT_EQ(read_file(path),
              text + "2002-12-4 1:4:5  P: 0  TM: 51  ID: 4  ITEM: Temperature (C)\n");
    std::fclose(log);
    EXPECT_EQ(gpv::write_log_line(nullptr, t, 850, 6, 4), 0);
}

} // namespace
