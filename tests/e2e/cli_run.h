// The kivar program run as a user runs it, from a work folder that holds a
// map.dat, without a display so that no window can open.
#pragma once

#include "test_files.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace testfiles {

struct Outcome {
    int status; // exit status, or 128 + signal
    std::string out, err;
};

struct KivarCli : ::testing::Test {
    TempDir tmp{"cli"};
    fs::path dir = tmp.path;

    void SetUp() override {
        fs::create_directories(dir / "work");
        write_map(dir / "work" / "map.dat");
    }
    // The shell command that runs kivar with args in cwd (by default the
    // work folder) after `before` (a limit, for example); standard output
    // goes to `out` when given ("&-": closed), else to dir/out.txt.
    std::string command(const std::string& args, const fs::path& cwd = {},
                        const std::string& before = "true", const std::string& out = "") const {
        const fs::path where = cwd.empty() ? dir / "work" : cwd;
        return "cd '" + where.string() + "' && " + before +
               " && exec env -u DISPLAY '" KIVAR_EXE "' " + args +
               (out == "&-" ? " >&-"
                            : " >'" + (out.empty() ? (dir / "out.txt").string() : out) + "'") +
               " 2>'" + (dir / "err.txt").string() + "'";
    }
    Outcome kivar(const std::string& args, const fs::path& cwd = {},
                  const std::string& before = "true", const std::string& out = "") const {
        fs::remove(dir / "out.txt");
        const int raw = std::system(command(args, cwd, before, out).c_str());
        const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return {status, read_file(dir / "out.txt"), read_file(dir / "err.txt")};
    }
    // kivar run in the work folder, which must end with status 0.
    Outcome kivar_ok(const std::string& args) const {
        Outcome r = kivar(args);
        EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
        return r;
    }
    // The number of files in a folder under the work folder.
    long files_in(const std::string& folder) const {
        return std::distance(fs::directory_iterator(dir / "work" / folder), {});
    }
};

} // namespace testfiles
