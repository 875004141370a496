// The kivar program run as a user runs it: exit codes, messages, outputs.
// (Damaged files: corruption_test.cpp and the fuzz targets.)
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
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
        {"data " + gpvPath + " --all --jobs 0", "--jobs wants"},
        {"image " + gpvPath + " --area 120 130 30", "--area needs a value"},
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
        {"info " + gpvPath, dir, "initializeApp: Error: can't read map.\n"}, // no map.dat there
        {"image " + gpvPath + " --area 130 120 30 40",
         {},
         "Map: The area is empty or reversed: LON0 must be west of LON1 and LAT0 south of LAT1.\n"},
        {"image " + gpvPath + " --area 120 130 30 30",
         {},
         "Map: The area is empty or reversed: LON0 must be west of LON1 and LAT0 south of LAT1.\n"},
        {"image " + gpvPath + " --area 120 east 30 40",
         {},
         "Map: The area wants four numbers: LON0 LON1 LAT0 LAT1.\n"},
        {"image " + gpvPath + " --contour -4",
         {},
         "Map: The contour step wants a positive number or auto.\n"}};
    for (const auto& [args, cwd, message] : cases) {
        Outcome r = kivar(args, cwd);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.err, message);
    }
}

// Every file, every gpv.log line (without its time), the output and the
// messages of runs in worker processes equal those of one process: a full
// run, and one that ends early (the file has u-wind but no v-wind).
TEST_F(Cli, ParallelRunsMatchOneJob) {
    gpvgen::Forecast fc;
    fc.levels = {850, 500, 0};
    fc.items = {1, 4, 23, 24, 49};
    fc.lastHour = 3;
    const std::string full = (dir / "full.gpv").string();
    ASSERT_TRUE(gpvgen::write_forecast(full, fc));
    setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
    auto tree = [](const fs::path& root) {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            if (!e.is_regular_file()) continue;
            std::string bytes = read_file(e.path());
            if (e.path().filename() == "gpv.log") { // the time of each line differs
                std::string lines;
                for (std::size_t at = 0, end; (end = bytes.find('\n', at)) != std::string::npos;
                     at = end + 1)
                    lines +=
                        bytes.substr(bytes.find("  P:", at), end - bytes.find("  P:", at)) + "\n";
                bytes = lines;
            }
            files[fs::relative(e.path(), root).string()] = bytes;
        }
        return files;
    };
    const std::string runs[] = {"data " + full + " --all",
                                "data " + full + " --all --csv",
                                "image " + full + " --all --format png",
                                "image " + full + " --all --format pdf --contour auto",
                                "image " + gpvPath + " --all --format ps",
                                "data " + gpvPath + " --all --save /proc/none"};
    for (const std::string& args : runs) {
        Outcome one, many;
        for (int jobs : {1, 3}) {
            const fs::path where = dir / ("jobs" + std::to_string(jobs));
            fs::remove_all(where);
            fs::create_directories(where);
            write_map(where / "map.dat");
            (jobs == 1 ? one : many) =
                kivar(args + " --save out --jobs " + std::to_string(jobs), where);
        }
        EXPECT_EQ(many.status, one.status) << args;
        EXPECT_EQ(many.out, one.out) << args;
        EXPECT_EQ(many.err, one.err) << args;
        auto a = tree(dir / "jobs1"), b = tree(dir / "jobs3");
        EXPECT_GT(a.size(), 2u) << args;
        EXPECT_TRUE(a == b) << args << ": " << a.size() << " and " << b.size() << " files";
    }
    unsetenv("SOURCE_DATE_EPOCH");
}

} // namespace
