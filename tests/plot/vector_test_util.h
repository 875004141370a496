// Helpers of the vector file tests: a test page drawn with the library and a
// PPM image to look into.
#pragma once

#include "plot_test_util.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace plot_test {

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
