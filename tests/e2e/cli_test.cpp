// The kivar program run as a user runs it: exit codes, messages, outputs.
// (Damaged files: corruption_test.cpp and the fuzz targets.)
#include "test_files.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

using namespace testfiles;

namespace {

struct Outcome {
    int status; // exit status, or 128 + signal
    std::string out, err;
};

struct Cli : ::testing::Test {
    TempDir tmp{"cli"};
    fs::path dir = tmp.path;
    std::string gpvPath = (dir / "fc.gpv").string();

    void SetUp() override {
        gpvgen::Forecast fc;
        fc.levels = {850, 500};
        fc.items = {4, 23};
        fc.lastHour = 6;
        ASSERT_TRUE(gpvgen::write_forecast(gpvPath, fc));
        fs::create_directories(dir / "work");
        write_map(dir / "work" / "map.dat");
    }
    // Runs kivar with args in the folder work, without a display so that no
    // window can open.
    Outcome kivar(const std::string& args, const fs::path& cwd = {}) {
        fs::path where = cwd.empty() ? dir / "work" : cwd;
        std::string cmd = "cd '" + where.string() + "' && env -u DISPLAY '" KIVAR_EXE "' " + args +
                          " >'" + (dir / "out.txt").string() + "' 2>'" +
                          (dir / "err.txt").string() + "'";
        int raw = std::system(cmd.c_str());
        int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return {status, read_file(dir / "out.txt"), read_file(dir / "err.txt")};
    }
};

TEST_F(Cli, Info) {
    Outcome r = kivar("info " + gpvPath);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "model: RSM (code 4)\n"
                     "initial: 26-12-04 00:00\n"
                     "levels: 850 500\n"
                     "items at 850: 4 (Temperature (C)), 23 (u-wind (m/s))\n"
                     "items at 500: 4 (Temperature (C)), 23 (u-wind (m/s))\n"
                     "hours: 0 3 6\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "usage:"},
        {"frobnicate " + gpvPath, "usage:"},
        {"data " + gpvPath + " --colour red", "unknown option --colour"},
        {"data " + gpvPath + " --level 700", "levels: 850 500"},
        {"data " + gpvPath + " --item 49", "items: 4 (Temperature (C)), 23 (u-wind (m/s))"},
        {"data " + gpvPath + " --hour 5", "hours: 0 3 6"},
        {"image " + gpvPath + " --vector-scale 2.2", "0.2 0.4"},
        {"image " + gpvPath + " --vector-density 0", "1 2 3"},
        {"image " + gpvPath + " --format gif", "display pdf cgm png tif ps bmp"},
        {"data " + gpvPath + " --range 1", "--range"},
    };
    for (const auto& [args, message] : cases) {
        Outcome r = kivar(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find(message), std::string::npos) << args << "\n" << r.err;
    }
}

TEST_F(Cli, DataWritesWhereAsked) {
    Outcome r = kivar("data " + gpvPath);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "work" / "MD04_ID004_P0850_DT26120400_TM00.txt"));
    r = kivar("data " + gpvPath + " --level 500 --item 23 --hour 6 --csv --save " +
              (dir / "csv").string());
    EXPECT_EQ(r.status, 0) << r.err;
    std::string csv = read_file(dir / "csv" / "MD04_ID023_P0500_DT26120400_TM06.csv");
    EXPECT_EQ(csv.substr(0, 27), "60,75,4,23,500,26,12, 4, 0,");
    r = kivar("data " + gpvPath + " --all --text --save all");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, ""); // progress only on a terminal
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "work" / "all"), {}), 12);
    std::string log = read_file(dir / "work" / "gpv.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 14);
}

TEST_F(Cli, ImageWritesMapsAndTheDisplayBitmap) {
    Outcome r = kivar("image " + gpvPath + " --level 500 --item 4 --hour 3 --format tif --save " +
                      (dir / "maps").string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Fileformat: TIFF"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(dir / "maps" / "MD04_ID004_P0500_DT26120400_TM03.tif"));
    // The file has u but no v: the wind map cannot be drawn.
    r = kivar("image " + gpvPath + " --item 23 --format png --save " + (dir / "maps").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "get_GPV_dat: Error: number of data not matched.\n");
    // "display" (the default) writes tmp.bmp into the start folder.
    r = kivar("image " + gpvPath + " --range 250 300");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fs::file_size(dir / "work" / "tmp.bmp"), 392278u);
}

TEST_F(Cli, FailuresExitWithOne) {
    write_file(dir / "junk.gpv", gpvgen::Bytes(1000, 'D'));
    const std::string missing = (dir / "missing.gpv").string(), junk = (dir / "junk.gpv").string(),
                      deeper = (dir / "no" / "deeper").string(),
                      badPath = "check_path: Invalid path for saving extracted data.\n";
    const std::tuple<std::string, fs::path, std::string> cases[] = {
        {"info " + missing, {}, "kivar: " + missing + ": cannot be read\n"},
        {"data " + junk, {}, "kivar: " + junk + ": no GPV records found\n"},
        {"image " + gpvPath + " --format png --save " + deeper, {}, badPath},
        {"data " + gpvPath + " --save " + deeper, {}, badPath},
        {"info " + gpvPath, dir, "initializeApp: Error: can't read map.\n"}}; // no map.dat there
    for (const auto& [args, cwd, message] : cases) {
        Outcome r = kivar(args, cwd);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.err, message);
    }
}

} // namespace
