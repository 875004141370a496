#include "gpv/gpv.h"
#include "platform/platform.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <ctime>
#include <iterator>
#include <sstream>

using namespace testfiles;

namespace {

struct Export : ::testing::Test {
    TempDir tmp{"export"};
    fs::path dir = tmp.path;
    std::string save = dir.string() + "/";
    std::vector<float> field = std::vector<float>(120 * 150);
    void SetUp() override {
        platform::headless::reset();
        platform::headless::set_echo(false);
        gpv::header = {};
        gpv::header.modelCode = 4;
        gpv::header.initYear = 2, gpv::header.initMonth = 2, gpv::header.initDay = 4;
        gpv::header.initHour = 0;
        gpv::set_model_grid(gpv::header, 4, 500);
        for (std::size_t k = 0; k < field.size(); ++k)
            field[k] = static_cast<float>(k) * 0.5f - 3.0f;
        gpv::grid.minValue = -3.0f, gpv::grid.maxValue = 2246.5f;
    }
    static std::vector<std::string> lines(const std::string& s) {
        std::vector<std::string> out;
        std::istringstream in(s);
        for (std::string l; std::getline(in, l);)
            out.push_back(l);
        return out;
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

TEST_F(Export, LogLine) {
    const gpv::LogTime t{2002, 12, 4, 1, 4, 5};
    std::FILE* log = std::fopen((dir / "gpv.log").c_str(), "a");
    EXPECT_EQ(gpv::write_log_line(log, t, 850, 6, 225), 1);
    EXPECT_EQ(gpv::write_log_line(log, t, 0, 51, 4), 1);
    std::fclose(log);
    EXPECT_EQ(read_file(dir / "gpv.log"),
              "2002-12-4 1:4:5  P: 850  TM: 6  ID: 225  ITEM: Cloud (ref: DGRB)\n"
              "2002-12-4 1:4:5  P: 0  TM: 51  ID: 4  ITEM: Temperature (C)\n");
    EXPECT_EQ(gpv::write_log_line(nullptr, t, 850, 6, 4), 0);
}

} // namespace
