// Damaged GPV files through the command line: every truncation of a small
// file, every bit of its headers flipped, blocks swapped and repeated, and
// absurd header values, each through `kivar data` and `kivar image`. The
// command line runs in a forked child, so that a thousand runs stay quick;
// the outcome must be exit status 0, or 1 with a message, never a signal, a
// sanitizer report or a run longer than the time limit. Maps cost more than
// extractions, so image runs cover the headers fully and the packed values
// by samples.
#include "app/cli.h"
#include "cli_run.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

using namespace testfiles;

namespace {

using gpvgen::Bytes;

// One record of 1-bit values over the whole RSM grid: the smallest file
// whose field can be extracted and drawn.
Bytes whole_grid_record(int item, int level) {
    gpvgen::Record r = tile(item, level, 0, 0, 59, 74);
    for (std::size_t k = 0; k < r.x.size(); ++k)
        r.x[k] = k % 3 ? 0 : 512;
    r.bits = 1;
    return gpvgen::record(r);
}

struct Corruption : KivarCli {
    fs::path bad = dir / "bad.gpv";
    // u and v of one level, each in its own block: wind arrows on a map.
    Bytes block_u = gpvgen::block({whole_grid_record(23, 850)});
    Bytes block_v = gpvgen::block({whole_grid_record(24, 850)});
    Bytes good = concat({block_u, block_v});

    // Runs `kivar ARGS` on bytes in a child; an empty string when the outcome
    // is acceptable, else what went wrong.
    std::string run(const Bytes& bytes, std::vector<std::string> args) {
        write_file(bad, bytes);
        args.insert(args.begin() + 1, bad.string());
        args.insert(args.begin(), "kivar");
        const fs::path err = dir / "err.txt";
        std::fflush(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            alarm(20); // a run that hangs ends by SIGALRM
            if (chdir((dir / "work").c_str()) != 0 || !std::freopen("/dev/null", "w", stdout) ||
                !std::freopen(err.c_str(), "w", stderr))
                _exit(99);
            std::vector<char*> argv;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            int status = app::run_cli(static_cast<int>(args.size()), argv.data());
            std::fflush(nullptr);
            _exit(status);
        }
        int raw = 0;
        waitpid(pid, &raw, 0);
        std::string text = read_file(err);
        if (WIFSIGNALED(raw) && WTERMSIG(raw) == SIGALRM) return "no end within 20 s";
        if (!WIFEXITED(raw)) return "signal " + std::to_string(WTERMSIG(raw)) + "\n" + text;
        int status = WEXITSTATUS(raw);
        if (status != 0 && status != 1) return "status " + std::to_string(status) + "\n" + text;
        if (status == 1 && text.empty()) return "status 1 without a message";
        if (text.find("Sanitizer") != std::string::npos ||
            text.find("runtime error") != std::string::npos)
            return text;
        return "";
    }

    // Both commands on one damaged file; image only when asked, as drawing a
    // map costs more than an extraction.
    void check(const Bytes& bytes, const std::string& what, bool image = true) {
        std::string r = run(bytes, {"data", "--all", "--save", "out"});
        ASSERT_EQ(r, "") << "data, " << what;
        if (!image) return;
        r = run(bytes, {"image", "--format", "bmp", "--save", "maps"});
        ASSERT_EQ(r, "") << "image, " << what;
    }
};

TEST_F(Corruption, TheUndamagedFileWorks) {
    EXPECT_EQ(run(good, {"image", "--format", "bmp", "--save", "maps"}), "");
    EXPECT_TRUE(fs::exists(dir / "work" / "maps" / "MD04_ID024_P0850_DT02120400_TM00.bmp"));
    EXPECT_EQ(run(good, {"data", "--all", "--save", "out"}), "");
    EXPECT_EQ(files_in("out"), 1); // first block: u
}

TEST_F(Corruption, TruncatedAtEveryOffset) {
    // A temperature field in one block: the smallest file that draws a map.
    const Bytes small = gpvgen::block({whole_grid_record(4, 850)});
    for (std::size_t n = 0; n <= small.size(); ++n) {
        check(Bytes(small.begin(), small.begin() + static_cast<long>(n)),
              "cut at " + std::to_string(n), n < 60 || n % 25 == 0 || n == small.size());
        if (HasFatalFailure()) return;
    }
}

TEST_F(Corruption, EveryHeaderBitFlipped) {
    // Block header (8 bytes) and record header (44 bytes) of the first block.
    for (int bit = 0; bit < 8 * 52; ++bit) {
        Bytes b = good;
        b[bit / 8] ^= static_cast<std::uint8_t>(0x80 >> (bit % 8));
        check(b, "bit " + std::to_string(bit) + " flipped", bit % 5 == 0);
        if (HasFatalFailure()) return;
    }
}

TEST_F(Corruption, BlocksSwappedRepeatedAndCut) {
    const Bytes cases[] = {
        concat({block_v, block_u}),
        concat({block_u, block_u}),
        concat({block_u, block_v, block_u, block_v}),
        concat({Bytes(block_u.begin(), block_u.begin() + 300), block_v}),
        concat({block_u, Bytes(block_u.begin(), block_u.begin() + 52), block_v}),
        concat({Bytes{'D', 'G', 'R', 'B', 0xff, 0xff, 0, 0}, block_u, block_v}),
        concat({Bytes{'D', 'G', 'R', 'B', 0, 0, 0, 0}, block_u, block_v}),
        concat({Bytes(block_u.begin() + 8, block_u.end()), block_v}), // record without a marker
    };
    int k = 0;
    for (const Bytes& b : cases) {
        check(b, "case " + std::to_string(k++));
        if (HasFatalFailure()) return;
    }
}

TEST_F(Corruption, AbsurdHeaderValues) {
    // (offset in the record header, bytes written there)
    // clang-format off
    const std::pair<int, Bytes> cases[] = {
        {0, {0, 0}}, {0, {0, 43}}, {0, {0, 44}}, {0, {0xff, 0xff}}, {5, {0}}, {5, {255}},
        {8, {0}}, {8, {2}}, {10, {0, 0}}, {10, {0xff, 0xff}}, {10, {0x80, 0}}, {18, {200}},
        {19, {255}}, {20, {200}}, {20, {199}}, {20, {0}}, {24, {0, 0}}, {24, {0xff, 0xff}},
        {28, {0, 0}}, {28, {0xff, 0xff}}, {26, {0xff, 0xff}}, {30, {0, 0}}, {32, {0, 0}},
        {32, {0, 10}}, {32, {0, 11}}, {32, {0, 255}}, {34, {0x7f, 0xff}}, {34, {0xff, 0xff}},
        {36, {0x7f, 0xff, 0xff, 0xff}}, {36, {0xff, 0xff, 0xff, 0xff}}, {36, {0, 0, 0, 0}},
        {12, {255, 255, 255, 255, 255}}};
    // clang-format on
    for (const auto& [offset, bytes] : cases) {
        for (int which = 0; which < 2; ++which) { // u's header, then v's
            Bytes b = good;
            std::size_t at = 8 + static_cast<std::size_t>(offset) + (which ? block_u.size() : 0);
            std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(at));
            check(b, "offset " + std::to_string(offset) + (which ? " of v" : " of u"));
            if (HasFatalFailure()) return;
        }
    }
}

} // namespace
