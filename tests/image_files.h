// Map files read back: the pixels of 8-bit BMP and PNG files as their
// palette colours.
#pragma once

#include "test_files.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testfiles {

// The pixels of a BMP or PNG file as palette colours (0xRRGGBB) and as
// palette indexes, row 0 at the top.
struct Image {
    int w = 0, h = 0;
    std::vector<uint32_t> rgb;
    std::string indexes;
    uint32_t at(int x, int y) const {
        return x >= 0 && y >= 0 && x < w && y < h ? rgb[size_t(y) * size_t(w) + size_t(x)] : 0;
    }
    // -1 outside the image.
    int index_at(int x, int y) const {
        return x >= 0 && y >= 0 && x < w && y < h ? uint8_t(indexes[size_t(y * w + x)]) : -1;
    }
};

inline uint32_t be32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) << 24 | uint8_t(b[at + 1]) << 16 | uint8_t(b[at + 2]) << 8 |
           uint8_t(b[at + 3]);
}

// An empty image when the file is missing or too short.
inline Image read_image(const fs::path& p) {
    const std::string b = read_file(p);
    Image im;
    if (b.size() < 54) return im;
    auto le32 = [&](size_t at) {
        return int(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 |
                   uint32_t(uint8_t(b[at + 3])) << 24);
    };
    std::vector<uint32_t> palette(256);
    std::string pixels; // one index a pixel, rows top down
    if (b.compare(0, 2, "BM") == 0) {
        im.w = le32(18), im.h = le32(22);
        for (int k = 0; k < 256; ++k)
            palette[size_t(k)] = uint32_t(le32(54 + 4 * size_t(k))) & 0xffffff;
        const size_t stride = size_t(im.w + 3) / 4 * 4;
        for (int y = 0; y < im.h; ++y)
            pixels += b.substr(size_t(le32(10)) + size_t(im.h - 1 - y) * stride, size_t(im.w));
    } else {
        std::string idat;
        for (size_t at = 8; at + 8 <= b.size();) {
            const uint32_t n = be32(b, at);
            const std::string type = b.substr(at + 4, 4), data = b.substr(at + 8, n);
            if (type == "IHDR") im.w = int(be32(data, 0)), im.h = int(be32(data, 4));
            if (type == "PLTE")
                for (size_t k = 0; k * 3 + 2 < data.size(); ++k)
                    palette[k] = uint32_t(uint8_t(data[3 * k])) << 16 |
                                 uint8_t(data[3 * k + 1]) << 8 | uint8_t(data[3 * k + 2]);
            if (type == "IDAT") idat += data;
            at += 12 + n;
        }
        std::string raw(size_t(im.h) * size_t(im.w + 1), '\0');
        uLongf size = raw.size();
        EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &size,
                             reinterpret_cast<const Bytef*>(idat.data()), idat.size()),
                  Z_OK);
        for (int y = 0; y < im.h; ++y) // every row has filter 0 (none)
            pixels += raw.substr(size_t(y) * size_t(im.w + 1) + 1, size_t(im.w));
    }
    for (unsigned char c : pixels)
        im.rgb.push_back(palette[c]);
    im.indexes = pixels;
    return im;
}

} // namespace testfiles
