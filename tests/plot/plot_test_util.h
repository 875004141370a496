// Helpers of the plotting library tests: a clean library per test, a scratch
// folder, file contents, captured standard output and external readers run
// as child processes.
#pragma once

#include "plot/axes/axes.h"
#include "plot/core/dispatch.h"
#include "plot/core/files.h"
#include "plot/core/messages.h"
#include "plot/core/state.h"
#include "plot/draw/draw.h"
#include "plot/text/text.h"
#include "plot/vector/vector.h"
#include "plot/razidu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace plot_test {

namespace fs = std::filesystem;

// Each test starts from a new library state in its own empty folder.
class PlotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        razidu::reset_library();
        cwd_ = fs::current_path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / (std::string("razidu_") + info->test_suite_name() + "_" +
                                            info->name() + "_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        razidu::reset_library();
        fs::current_path(cwd_);
        // KIVAR_KEEP_TEST_FILES=1 keeps the files written, to look at them.
        if (!std::getenv("KIVAR_KEEP_TEST_FILES")) fs::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    fs::path dir_;
    fs::path cwd_;
};

inline std::vector<uint8_t> read_bytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::string read_text(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}
inline uint32_t le16(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8;
}
inline uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 |
           uint32_t(b[at + 3]);
}

// Starts a page on a device: the keyword, file, optional raster size and page.
inline void open_page(const char* device, const std::string& file, int w = 0, int h = 0,
                      int page_w = 0, int page_h = 0, const char* mode = nullptr) {
    razidu::metafl(device);
    razidu::setfil(file.c_str());
    if (w > 0) razidu::winsiz(w, h);
    if (page_w > 0) razidu::page(page_w, page_h);
    if (mode) razidu::scrmod(mode);
    razidu::disini();
}

// Output of f on standard output.
template <class F> std::string captured(F f) {
    ::testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

// Pixel (x, y) of the raster page, and the number of pixels of colour c.
inline uint8_t pixel_at(int x, int y) {
    return razidu::g_plot.raster.pixels[size_t(y * razidu::g_plot.raster.stride + x)];
}
inline int count_colour(int c) {
    const razidu::RasterImage& r = razidu::g_plot.raster;
    return int(std::count(r.pixels.get(), r.pixels.get() + r.stride * r.height, c));
}

// Runs a shell command; its exit status and what it printed (both streams).
struct RunResult {
    int status = -1;
    std::string output;
};
inline RunResult run(const std::string& command) {
    RunResult r;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        r.output.append(buf, n);
    r.status = pclose(p);
    return r;
}

} // namespace plot_test
