// Helpers of the plotting library tests: a clean library per test, a scratch
// folder, file contents, captured standard output, external readers run as
// child processes, the pen moves of a GKSL metafile (plot/GKSL.md) and a
// test page for the vector files with a PPM image to look into.
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
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
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

// ---- Pen moves of GKSL metafiles: the drawing as the device received it.

struct PenMove {
    int pen; // 3 move, 2 draw
    float x, y;
};

// Pen moves of a GKSL file (10-character numbers in 80-character lines);
// other operations are skipped.
inline std::vector<PenMove> gksl_pen_moves(const std::string& file) {
    std::string text = read_text(file);
    std::erase(text, '\n');
    std::vector<float> f;
    for (size_t i = 0; i + 10 <= text.size(); i += 10)
        f.push_back(std::strtof(text.substr(i, 10).c_str(), nullptr));
    std::vector<PenMove> moves;
    static const int kOperands[10] = {2, 4, 2, 2, 5, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < f.size() && f[i] >= 0 && f[i] < 10;
         i += 1 + size_t(kOperands[int(f[i])])) {
        const int op = int(f[i]);
        if ((op == 2 || op == 3) && i + 2 < f.size()) moves.push_back({op, f[i + 1], f[i + 2]});
    }
    return moves;
}

inline void expect_moves(const std::vector<PenMove>& got, const std::vector<PenMove>& want,
                         float tolerance = 0.002f) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].pen, want[i].pen) << i;
        EXPECT_NEAR(got[i].x, want[i].x, tolerance) << i;
        EXPECT_NEAR(got[i].y, want[i].y, tolerance) << i;
    }
}

// Opens a GKSL page of w x h plot units.
inline void open_gksl(const std::string& file, int w = 3000, int h = 2000) {
    open_page("gksl", file, 0, 0, w, h);
}

// ---- The vector files' test page.

// Grid of nx by ny coloured cells over the application's page (2925 by
// 2820 units), then a white frame and a yellow diagonal drawn as lines.
struct TestPage {
    int nx = 20, ny = 20;
    float x0 = 300, y0 = 300, w = 100, h = 110; // cell grid in plot units
    int colour_of(int i, int j) const { return 1 + (i * ny + j) % 254; }
    float cx(int i) const { return x0 + (float(i) + 0.5f) * w; }
    float cy(int j) const { return y0 + (float(j) + 0.5f) * h; }
    void draw() const {
        for (int i = 0; i < nx; ++i)
            for (int j = 0; j < ny; ++j)
                razidu::fill_rect(x0 + float(i) * w, y0 + float(j) * h, x0 + float(i + 1) * w - 1,
                                  y0 + float(j + 1) * h - 1, colour_of(i, j));
        const float x1 = x0 + float(nx) * w, y1 = y0 + float(ny) * h;
        razidu::color("WHIT");
        razidu::strtpt(x0, y0);
        razidu::connpt(x1, y0);
        razidu::connpt(x1, y1);
        razidu::connpt(x0, y1);
        razidu::connpt(x0, y0);
        razidu::color("YELL");
        razidu::strtpt(x0, y0);
        for (int k = 1; k <= 120; ++k)
            razidu::connpt(x0 + (x1 - x0) * float(k) / 120, y0 + (y1 - y0) * float(k) / 120);
    }
    // The whole page on a device, on the application's page size.
    void plot(const char* device, const std::string& file, const char* mode = nullptr) const {
        captured([&] {
            open_page(device, file, 0, 0, 2925, 2820, mode);
            draw();
            razidu::disfin();
        });
    }
    // Every cell off the diagonal, sampled, shows its colour-table colour
    // at pixel(plot x, plot y).
    template <class F> void expect_cells(F pixel) const {
        for (int i = 0; i < nx; i += 3)
            for (int j = 1; j < ny; j += 4)
                if (i != j) {
                    EXPECT_EQ(pixel(cx(i), cy(j)), razidu::g_plot.colour.table[colour_of(i, j)])
                        << i << " " << j;
                }
    }
};

// Binary PPM (P6, maxval 255), comment lines allowed in the header.
struct Ppm {
    int w = 0, h = 0;
    std::string rgb;
    bool load(const std::string& file) {
        std::istringstream in(read_text(file));
        auto token = [&] {
            std::string t;
            while (in >> t && t[0] == '#')
                std::getline(in, t);
            return t;
        };
        if (token() != "P6") return false;
        w = std::atoi(token().c_str());
        h = std::atoi(token().c_str());
        if (token() != "255" || w <= 0 || h <= 0) return false;
        in.get();
        rgb = in.str().substr(size_t(in.tellg()));
        return rgb.size() >= size_t(w) * size_t(h) * 3;
    }
    uint32_t at(int x, int y) const {
        if (x < 0 || y < 0 || x >= w || y >= h) return 0xFFFFFFFF;
        const auto* p = reinterpret_cast<const uint8_t*>(rgb.data()) + (size_t(y) * w + x) * 3;
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
};

// Sets SOURCE_DATE_EPOCH for one scope.
struct FixedDate {
    explicit FixedDate(const char* seconds) { setenv("SOURCE_DATE_EPOCH", seconds, 1); }
    ~FixedDate() { unsetenv("SOURCE_DATE_EPOCH"); }
};

} // namespace plot_test
