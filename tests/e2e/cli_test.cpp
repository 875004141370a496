// The kivar program run as a user runs it: exit codes, messages, outputs.
// (Damaged files: corruption_test.cpp and the fuzz targets.)
#include "cli_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <csignal>
#include <fstream>
#include <map>
#include <set>

using namespace testfiles;

namespace {

// Every file under a folder with its contents; gpv.log without the time
// of each line, which differs from run to run.
std::map<std::string, std::string> contents(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file()) continue;
        std::string bytes = read_file(e.path());
        if (e.path().filename() == "gpv.log") {
            std::string lines;
            for (std::size_t at = 0, end; (end = bytes.find('\n', at)) != std::string::npos;
                 at = end + 1)
                lines += bytes.substr(bytes.find("  P:", at), end - bytes.find("  P:", at)) + "\n";
            bytes = lines;
        }
        files[fs::relative(e.path(), root).string()] = bytes;
    }
    return files;
}

struct Cli : KivarCli {
    std::string gpv_path = (dir / "fc.gpv").string();

    void SetUp() override {
        KivarCli::SetUp();
        ASSERT_TRUE(write_forecast(gpv_path, {850, 500}, {4, 23}, 6));
    }
    // kivar started in the background: its process id.
    pid_t kivar_started(const std::string& args) {
        std::string cmd = command(args);
        pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }
};

// Runs whose whole output says it all: the inventory, also of a pipe; an
// endless device refused; the version and usage; a map that is not drawn
// because its field has one value says why and the run goes on.
TEST_F(Cli, OutputsAndMessagesOfSingleRuns) {
    const std::string info = "model: RSM (code 4)\n"
                             "initial: 26-12-04 00:00\n"
                             "levels: 850 500\n"
                             "items at 850: 4 (Temperature (C)), 23 (u-wind (m/s))\n"
                             "items at 500: 4 (Temperature (C)), 23 (u-wind (m/s))\n"
                             "hours: 0 3 6\n",
                      version = "kivar " KIVAR_VERSION "\n",
                      sample = KIVAR_BINARY_DIR "/data/sample_rsm.gpv",
                      constant = "kivar: no map for 1000/1/0: the field is constant (1000)\n";
    const struct {
        std::string args;
        int status;
        std::string out, err; // out: its beginning
    } cases[] = {
        {"info " + gpv_path, 0, info, ""},
        {"info /dev/stdin <'" + gpv_path + "'", 0, info, ""},
        {"info /dev/zero", 1, "",
         "kivar: /dev/zero: not a regular file, and longer than 256 MiB\n"},
        {"--version", 0, version, ""},
        {"-V", 0, version, ""},
        {"--help", 0, "usage:", ""},
        {"image " + sample + " --format png", 0, "", constant},
        {"image " + sample + " --format display", 0, "", constant},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Outcome r = kivar(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out.substr(0, c.out.size()), c.out);
        EXPECT_TRUE(r.out.size() == c.out.size() || c.out == "usage:") << r.out;
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(kivar("info /dev/stdin").status, 1); // nothing sent
    EXPECT_FALSE(fs::exists(dir / "work" / "MD04_ID001_P1000_DT26120400_TM00.png"));
    EXPECT_FALSE(fs::exists(dir / "work" / "tmp.bmp"));
}

// Usage errors exit with 2 and one line; a wrong value is answered with the
// valid ones, whole: the dialog's list entries and the file's levels, items
// and hours. Without a known command the usage is shown.
TEST_F(Cli, UsageErrorsExitWithTwoAndListTheValidValues) {
    const std::string data = "data " + gpv_path + " ", image = "image " + gpv_path + " ",
                      items = "; items: 4 (Temperature (C)), 23 (u-wind (m/s))",
                      scales =
                          "--vector-scale wants one of: 0.2 0.4 0.6 0.8 1.0 1.2 1.4 1.6 1.8 2.0",
                      formats = "; formats: display pdf cgm png tif ps bmp";
    const std::pair<std::string, std::string> cases[] = {
        {data + "--colour red", "unknown option --colour"},
        {data + "--level 700", "level 700 is not in " + gpv_path + "; levels: 850 500"},
        {image + "--level 700", "level 700 is not in " + gpv_path + "; levels: 850 500"},
        {data + "--item 49", "item 49 is not at level 850 of " + gpv_path + items},
        {image + "--level 500 --item 49", "item 49 is not at level 500 of " + gpv_path + items},
        {data + "--hour 5", "hour 5 is not in " + gpv_path + "; hours: 0 3 6"},
        {image + "--hour 5", "hour 5 is not in " + gpv_path + "; hours: 0 3 6"},
        {image + "--vector-scale 2.2", scales},
        {image + "--vector-scale x", scales},
        {image + "--vector-density 0", "--vector-density wants one of: 1 2 3 4 5 6 7 8 9 10"},
        {image + "--vector-density 11", "--vector-density wants one of: 1 2 3 4 5 6 7 8 9 10"},
        {image + "--format gif", "unknown format gif" + formats},
        {image + "--format NetCDF", "unknown format NetCDF" + formats},
        {data + "--range 1", "option --range needs a value"},
        {data + "--all --jobs 0", "--jobs wants a number of processes from 1 to 256"},
        {image + "--area 120 130 30", "option --area needs a value"},
    };
    for (const auto& [args, message] : cases) {
        Outcome r = kivar(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err, "kivar: " + message + "\n") << args;
        EXPECT_EQ(r.out, "") << args;
    }
    for (const std::string& args : {std::string(), "frobnicate " + gpv_path}) {
        Outcome r = kivar(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << args << "\n" << r.err;
    }
}

TEST_F(Cli, DataWritesWhereAsked) {
    Outcome r = kivar_ok("data " + gpv_path);
    EXPECT_TRUE(fs::exists(dir / "work" / "MD04_ID004_P0850_DT26120400_TM00.txt"));
    r = kivar_ok("data " + gpv_path + " --level 500 --item 23 --hour 6 --csv --save " +
                 (dir / "csv").string());
    std::string csv = read_file(dir / "csv" / "MD04_ID023_P0500_DT26120400_TM06.csv");
    EXPECT_EQ(csv.substr(0, 27), "60,75,4,23,500,26,12, 4, 0,");
    r = kivar_ok("data " + gpv_path + " --all --text --save all");
    EXPECT_EQ(r.err, ""); // progress only on a terminal
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "work" / "all"), {}), 12);
    std::string log = read_file(dir / "work" / "gpv.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 14);
}

TEST_F(Cli, ImageWritesMapsAndTheDisplayBitmap) {
    Outcome r =
        kivar_ok("image " + gpv_path + " --level 500 --item 4 --hour 3 --format tif --save " +
                 (dir / "maps").string());
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Fileformat: TIFF"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(dir / "maps" / "MD04_ID004_P0500_DT26120400_TM03.tif"));
    // The file has u but no v: the wind map cannot be drawn.
    r = kivar("image " + gpv_path + " --item 23 --format png --save " + (dir / "maps").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "get_GPV_dat: Error: number of data not matched.\n");
    // "display" (the default) writes tmp.bmp into the start folder.
    r = kivar_ok("image " + gpv_path + " --range 250 300");
    EXPECT_EQ(fs::file_size(dir / "work" / "tmp.bmp"), 392278u);
}

// Failures exit with 1 and say what and why. Maps: a file that cannot be
// created is named and the run goes on; one that cannot be written whole
// stops the run; a PDF file that cannot be created ends the library's
// process, and the command line says why. Standard output is checked at
// every write (in a run of several workers too), and a closed one is not
// taken over by a file opened later (gpv.log). No partial file is left.
TEST_F(Cli, FailuresExitWithOne) {
    write_file(dir / "junk.gpv", gpvgen::Bytes(1000, 'D'));
    const fs::path maps = dir / "maps";
    const std::string missing = (dir / "missing.gpv").string(), junk = (dir / "junk.gpv").string(),
                      deeper = (dir / "no" / "deeper").string(),
                      too_long = dir.string() + "/" + std::string(4100, 'l'),
                      bad_path = "check_path: Invalid path for saving extracted data.\n",
                      image = "image " + gpv_path,
                      reversed = "Map: The area is empty or reversed: LON0 must be west of LON1 "
                                 "and LAT0 south of LAT1.\n",
                      base = (maps / "MD04_ID004_P0850_DT26120400_TM00").string(),
                      one = image + " --item 4 --save " + maps.string(),
                      full = "kivar: standard output: No space left on device\n";
    fs::create_directories(base + ".png");
    fs::create_directories(base + ".pdf");
    const struct {
        std::string args, err, before = "true", out = "";
    } cases[] = {
        {"info " + missing, "kivar: " + missing + ": cannot be read\n"},
        {"data " + junk, "kivar: " + junk + ": no GPV records found\n"},
        {image + " --format png --save " + deeper,
         bad_path + "check_path: " + deeper + ": No such file or directory\n"},
        {"data " + gpv_path + " --save " + deeper,
         bad_path + "check_path: " + deeper + ": No such file or directory\n"},
        {"data " + gpv_path + " --save " + junk,
         bad_path + "check_path: " + junk + ": Not a directory\n"},
        {"data " + gpv_path + " --save " + too_long,
         bad_path + "check_path: " + too_long + ": File name too long\n"},
        {image + " --area 130 120 30 40", reversed},
        {image + " --area 120 130 30 30", reversed},
        {image + " --area 120 east 30 40",
         "Map: The area wants four numbers: LON0 LON1 LAT0 LAT1.\n"},
        {image + " --contour -4", "Map: The contour step wants a positive number or auto.\n"},
        {image + " --format png --area 10 20 35 40",
         "plot_field: The area lies outside the field's grid.\n"},
        {one + " --format png", "plot_field: " + base + ".png: Is a directory\n"},
        {one + " --format pdf", "plot_field: " + base + ".pdf: Is a directory\n"},
        {one + " --format tif", "plot_field: " + base + ".tif: File too large\n", "ulimit -f 2"},
        {one + " --format ps --all", "plot_field: " + base + ".ps: File too large\n",
         "ulimit -f 2"},
        {"info " + gpv_path, full, "true", "/dev/full"},
        {image + " --item 4 --format png --save out", full, "true", "/dev/full"},
        {image + " --all --jobs 2 --format bmp --save out", full, "true", "/dev/full"},
        {"--version", full, "true", "/dev/full"},
        {"--help", full, "true", "/dev/full"},
        {"info " + gpv_path, "kivar: standard output: Bad file descriptor\n", "true", "&-"},
    };
    for (const auto& c : cases) {
        const Outcome r = kivar(c.args, {}, c.before, c.out);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
    }
    for (const auto& e : fs::directory_iterator(maps))
        EXPECT_TRUE(fs::is_directory(e.path())) << e.path();
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir / "work" / "out", ec))
        EXPECT_NE(e.path().extension(), ".part") << e.path();
    EXPECT_EQ(read_file(dir / "work" / "gpv.log").find("model:"), std::string::npos);
    const Outcome r = kivar("info " + gpv_path, dir); // no map.dat there
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "initializeApp: Error: can't read map.\n");
}

// Every file, every gpv.log line (without its time), the output and the
// messages of runs in worker processes equal those of one process: a full
// run, and one that ends early (the file has u-wind but no v-wind).
TEST_F(Cli, ParallelRunsMatchOneJob) {
    const std::string full = (dir / "full.gpv").string();
    ASSERT_TRUE(write_forecast(full, {850, 500, 0}, {1, 4, 23, 24, 49}, 3));
    setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
    const std::string runs[] = {"data " + full + " --all",
                                "data " + full + " --all --csv",
                                "image " + full + " --all --format png",
                                "image " + full + " --all --format pdf --contour auto",
                                "image " + gpv_path + " --all --format ps",
                                "data " + gpv_path + " --all --save /proc/none"};
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
        auto a = contents(dir / "jobs1"), b = contents(dir / "jobs3");
        EXPECT_GT(a.size(), 2u) << args;
        EXPECT_TRUE(a == b) << args << ": " << a.size() << " and " << b.size() << " files";
    }
    unsetenv("SOURCE_DATE_EPOCH");
}

// Save folders are used as given: "" is the current folder, and a folder of
// 4,061 characters is not cut, although its files' paths pass the system's
// limit.
TEST_F(Cli, SaveFoldersAsGiven) {
    Outcome r = kivar_ok("data " + gpv_path + " --save ''");
    EXPECT_TRUE(fs::exists(dir / "work" / "MD04_ID004_P0850_DT26120400_TM00.txt"));
    fs::path deep = dir;
    while (deep.string().size() < 3800)
        deep /= std::string(200, 'd');
    deep /= std::string(4060 - deep.string().size(), 'e');
    ASSERT_EQ(deep.string().size(), 4061u);
    fs::create_directories(deep);
    for (const char* run : {"data", "image"}) {
        r = kivar_ok(std::string(run) + " " + gpv_path + " --format png --save " + deep.string());
    }
    // The files' paths are too long to name at once: the folder is listed.
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(deep))
        names.insert(e.path().filename().string());
    EXPECT_TRUE(names == std::set<std::string>({"MD04_ID004_P0850_DT26120400_TM00.txt",
                                                "MD04_ID004_P0850_DT26120400_TM00.png"}));
}

// A run that cannot write a file whole stops there with one message and
// exit 1; a run ended by SIGTERM ends as the signal says. Either way every
// earlier file is as it was and no partial file is left.
TEST_F(Cli, FailedAndInterruptedRunsKeepEarlierFiles) {
    const std::string sample = KIVAR_BINARY_DIR "/data/sample_rsm.gpv";
    const fs::path out = dir / "out";
    // Temperature alone (no wind map lacking its partner), 34 fields.
    const std::string temperature = (dir / "t.gpv").string();
    ASSERT_TRUE(write_forecast(temperature, {850, 500}, {4}, 48));
    const std::pair<std::string, std::string> runs[] = {
        {"data " + sample + " --all",
         "save_GPV: " + out.string() + "/MD04_ID001_P1000_DT26120400_TM00.txt: File too large\n"},
        {"image " + temperature + " --all --format pdf",
         "plot_field: " + out.string() +
             "/MD04_ID004_P0850_DT26120400_TM00.pdf: File too large\n"}};
    for (const auto& [command, message] : runs) {
        const std::string run = command + " --save " + out.string();
        fs::remove_all(out);
        ASSERT_EQ(kivar(run).status, 0);
        const auto before = contents(out);
        // A file-size limit of 20 blocks of 512 bytes: the first file fails.
        fs::remove(dir / "work" / "gpv.log");
        Outcome r = kivar(run, {}, "ulimit -f 20");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, message);
        EXPECT_TRUE(contents(out) == before);
        // SIGTERM while a file is being written.
        pid_t pid = kivar_started(run);
        bool seen = false;
        // Polled for up to 30 s: a loaded machine may be slow to start it.
        for (int k = 0; k < 600000 && !seen; ++k) {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(out, ec))
                seen = seen || e.path().extension() == ".part";
            if (!seen) usleep(50);
        }
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(seen) << command;
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << command;
        EXPECT_TRUE(contents(out) == before) << command;
    }
}

// Junk before the first record, with a hole of 3 GiB in it, is read once by
// large blocks: the inventory is that of the records alone, in seconds.
TEST_F(Cli, JunkBeforeTheRecordsIsPassedOverQuickly) {
    const Outcome plain = kivar("info " + gpv_path);
    const std::string records = read_file(gpv_path);
    const std::string padded = (dir / "padded.gpv").string();
    {
        std::ofstream f(padded, std::ios::binary);
        f << "DGR";
        f.seekp((3LL << 30) + 3);
        f << "DDGR" << records; // partial markers on both sides of the hole
    }
    const auto start = std::chrono::steady_clock::now();
    Outcome r = kivar("info " + padded);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fs::remove(padded);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, plain.out);
    EXPECT_LT(seconds, 20.0);
}

} // namespace
