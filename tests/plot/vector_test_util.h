// Helpers of the vector file tests: a test page drawn with the library, an
// external reader run as a child process, and a PPM image to look into.
#pragma once

#include "plot_test_util.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace plot_test {

// Grid of nx by ny coloured cells over the application's page (2925 by
// 2820 units), then a white frame and a yellow diagonal drawn as lines.
struct TestPage {
    int nx = 20, ny = 20;
    float x0 = 300, y0 = 300, w = 100, h = 110; // cell grid in plot units
    int colour_of(int i, int j) const { return 1 + (i * ny + j) % 254; }
    void draw() const {
        for (int i = 0; i < nx; ++i)
            for (int j = 0; j < ny; ++j)
                razidu::fill_rect(x0 + float(i) * w, y0 + float(j) * h, x0 + float(i + 1) * w - 1,
                                  y0 + float(j + 1) * h - 1, colour_of(i, j));
        razidu::color("WHIT");
        razidu::strtpt(x0, y0);
        razidu::connpt(x0 + float(nx) * w, y0);
        razidu::connpt(x0 + float(nx) * w, y0 + float(ny) * h);
        razidu::connpt(x0, y0 + float(ny) * h);
        razidu::connpt(x0, y0);
        razidu::color("YELL");
        razidu::strtpt(x0, y0);
        for (int k = 1; k <= 120; ++k)
            razidu::connpt(x0 + float(nx) * w * float(k) / 120,
                           y0 + float(ny) * h * float(k) / 120);
    }
    // Centre of cell (i, j) in plot units.
    float cx(int i) const { return x0 + (float(i) + 0.5f) * w; }
    float cy(int j) const { return y0 + (float(j) + 0.5f) * h; }
};

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

// Binary PPM (P6, maxval 255).
struct Ppm {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    bool load(const std::string& file) {
        const std::vector<uint8_t> b = read_bytes(file);
        size_t at = 0;
        auto token = [&]() {
            std::string t;
            while (at < b.size()) {
                if (b[at] == '#')
                    while (at < b.size() && b[at] != '\n')
                        ++at;
                else if (isspace(b[at]))
                    ++at;
                else
                    break;
            }
            while (at < b.size() && !isspace(b[at]))
                t += char(b[at++]);
            return t;
        };
        if (token() != "P6") return false;
        w = std::atoi(token().c_str());
        h = std::atoi(token().c_str());
        if (token() != "255") return false;
        ++at;
        if (w <= 0 || h <= 0 || b.size() < at + size_t(w) * size_t(h) * 3) return false;
        rgb.assign(b.begin() + long(at), b.begin() + long(at) + long(w) * h * 3);
        return true;
    }
    uint32_t at(int x, int y) const {
        if (x < 0 || y < 0 || x >= w || y >= h) return 0xFFFFFFFF;
        const size_t i = (size_t(y) * size_t(w) + size_t(x)) * 3;
        return uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2];
    }
};

// Sets SOURCE_DATE_EPOCH for one scope.
struct FixedDate {
    explicit FixedDate(const char* seconds) { setenv("SOURCE_DATE_EPOCH", seconds, 1); }
    ~FixedDate() { unsetenv("SOURCE_DATE_EPOCH"); }
};

} // namespace plot_test
