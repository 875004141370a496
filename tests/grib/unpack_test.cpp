// Packed data made here for what the independent tool does not write: PNG
// rows of every filter in every pixel layout, and complex packing with
// spatial differencing of order 1 and 2, with and without missing values.
#include "grib/unpack.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put(Bytes& b, std::uint64_t v, int bytes) {
    for (int s = 8 * (bytes - 1); s >= 0; s -= 8)
        b.push_back(static_cast<std::uint8_t>(v >> s));
}

// Numbers of `bits` bits at bit `at`, most significant first.
void put_bits(Bytes& b, std::size_t at, std::uint64_t v, int bits) {
    for (int k = 0; k < bits; ++k)
        if (v >> (bits - 1 - k) & 1)
            b[(at + k) / 8] |= static_cast<std::uint8_t>(0x80 >> (at + k) % 8);
}

// A chunk, its check sum left 0 (the reader does not look at it).
void chunk(Bytes& png, const char* type, const Bytes& body) {
    put(png, body.size(), 4), png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end()), put(png, 0, 4);
}

// numbers of `bits` bits as a PNG image whose row r has the filter
// filters[r % size], predicted the textbook way.
Bytes make_png(const std::vector<std::uint32_t>& numbers, std::uint32_t width, int depth,
               int colour, int bits, const std::string& filters) {
    const std::size_t stride = (std::size_t{width} * bits + 7) / 8, bpp = bits < 8 ? 1 : bits / 8;
    const std::size_t height = numbers.size() / width;
    Bytes plain(stride * height), raw;
    for (std::size_t k = 0; k < numbers.size(); ++k)
        put_bits(plain, k / width * stride * 8 + k % width * bits, numbers[k], bits);
    for (std::size_t r = 0; r < height; ++r) {
        const int filter = filters[r % filters.size()] - '0';
        raw.push_back(static_cast<std::uint8_t>(filter));
        for (std::size_t i = 0; i < stride; ++i) {
            const std::uint8_t* row = plain.data() + r * stride;
            const int a = i >= bpp ? row[i - bpp] : 0, b = r ? row[i - stride] : 0;
            const int c = r && i >= bpp ? row[i - stride - bpp] : 0;
            const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
            const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            const int predicted[] = {0, a, b, (a + b) / 2, paeth};
            raw.push_back(static_cast<std::uint8_t>(row[i] - predicted[filter]));
        }
    }
    uLongf size = compressBound(raw.size());
    Bytes packed(size), png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}, header;
    compress2(packed.data(), &size, raw.data(), raw.size(), 6);
    packed.resize(size);
    put(header, width, 4), put(header, height, 4), put(header, depth, 1), put(header, colour, 1);
    put(header, 0, 3);
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", {});
    return png;
}

TEST(GribUnpack, PngOfEveryLayoutAndFilterGivesItsNumbersBack) {
    // Every layout in every shape: waves of 8 / bytes per pixel rows, cut
    // short, narrower than a wave, and broken by rows of other filters.
    struct Layout {
        int depth, colour, bits;
    } layouts[] = {{8, 0, 8},  {16, 0, 16}, {8, 4, 16}, {8, 2, 24},
                   {8, 6, 32}, {4, 0, 4},   {1, 0, 1}};
    struct Shape {
        std::uint32_t width, height;
        const char* filters;
    } shapes[] = {{37, 19, "41444144"}, {1, 9, "4404"}, {3, 17, "4"}, {29, 23, "4444442344014"}};
    std::uint32_t seed = 12345;
    for (const Layout& l : layouts)
        for (const Shape& c : shapes) {
            SCOPED_TRACE(std::to_string(l.bits) + " bits, " + std::to_string(c.width) + " x " +
                         std::to_string(c.height) + ", filters " + c.filters);
            // Slopes with noise, and flat stretches: every predictor wins somewhere.
            std::vector<std::uint32_t> numbers(std::size_t{c.width} * c.height);
            const std::uint64_t top = std::uint64_t{1} << l.bits;
            for (std::size_t k = 0; k < numbers.size(); ++k) {
                seed = seed * 1664525u + 1013904223u;
                const std::size_t i = k % c.width, r = k / c.width;
                const std::uint64_t v = (i * 37 + r * 11) * (top / 64 + 1) + (seed >> 8) % 1024;
                numbers[k] = static_cast<std::uint32_t>((i / 4 + r / 3) % 3 ? v % top : 7 % top);
            }
            const Bytes png = make_png(numbers, c.width, l.depth, l.colour, l.bits, c.filters);
            std::vector<std::uint32_t> got;
            const char* error = nullptr;
            ASSERT_TRUE(grib::png_values(png.data(), png.size(), numbers.size(), got, &error))
                << error;
            EXPECT_EQ(got, numbers);
        }
}

// Complex packing, template 5.3, with groups of `length` values 12 bits wide
// (the last one shorter) and differences of order 1 or 2 over the values
// that are not missing; every 13th value missing when missing values are
// managed (mode 2: alternately as primary and secondary ones).
TEST(GribUnpack, SpatialDifferencesUndoneAcrossBlocksAndMissingValues) {
    struct Case {
        int order, missing_mode;
        std::size_t n, length;
    } cases[] = {
        {1, 0, 5000, 150}, {2, 0, 5000, 97}, {2, 1, 4500, 64}, {1, 2, 3001, 2048}, {2, 2, 2049, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE("order " + std::to_string(c.order) + ", missing " +
                     std::to_string(c.missing_mode) + ", groups of " + std::to_string(c.length));
        std::vector<long long> x(c.n), kept;
        for (std::size_t k = 0; k < c.n; ++k)
            x[k] =
                2000 + std::lround(300 * std::sin(k / 50.0)) + static_cast<long long>(k * 7 % 113);
        auto gone = [&](std::size_t k) { return c.missing_mode && k % 13 == 5; };
        for (std::size_t k = 0; k < c.n; ++k)
            if (!gone(k)) kept.push_back(x[k]);
        std::vector<long long> d(kept.size(), 0);
        for (std::size_t j = c.order; j < kept.size(); ++j)
            d[j] = kept[j] - kept[j - 1] - (c.order == 2 ? kept[j - 1] - kept[j - 2] : 0);
        const long long minimum = *std::min_element(d.begin() + c.order, d.end());
        const std::size_t groups = (c.n + c.length - 1) / c.length;
        // Section 5: no group references, all widths 12, all lengths the same.
        Bytes s5(22, 0), data;
        put(s5, c.missing_mode, 1), put(s5, 0, 8), put(s5, groups, 4), put(s5, 12 << 8, 2);
        put(s5, c.length, 4), put(s5, 0, 1), put(s5, c.n - (groups - 1) * c.length, 4);
        put(s5, 0, 1), put(s5, c.order, 1), put(s5, 4, 1);
        auto sign_magnitude = [](long long v) { return v < 0 ? 0x80000000u | -v : v; };
        put(data, sign_magnitude(kept[0]), 4);
        if (c.order == 2) put(data, sign_magnitude(kept[1]), 4);
        put(data, sign_magnitude(minimum), 4);
        const std::size_t start = data.size() * 8;
        data.resize(data.size() + c.n * 12 / 8 + 9, 0);
        for (std::size_t k = 0, j = 0; k < c.n; ++k) {
            std::uint64_t v = c.missing_mode == 2 && k % 2 ? 0xffe : 0xfff;
            if (!gone(k)) {
                v = j < static_cast<std::size_t>(c.order) ? 0 : d[j] - minimum;
                ++j;
            }
            put_bits(data, start + 12 * k, v, 12);
        }
        std::vector<float> out(c.n);
        const char* error = nullptr;
        ASSERT_TRUE(grib::unpack_complex(s5.data(), s5.size(), 3, data.data(), data.size(), c.n,
                                         0.5, 0.25, out.data(), &error))
            << error;
        for (std::size_t k = 0; k < c.n; ++k)
            if (gone(k) ? !std::isnan(out[k]) : out[k] != static_cast<float>(0.5 + 0.25 * x[k]))
                ADD_FAILURE() << "value " << k << ": " << out[k];
    }
}

// Complex packing, template 5.2, of three groups of four values: one 2 bits
// wide (values 0 to 3 over reference 3) and two constant ones (width 0)
// whose references are the largest two of 4 bits. Missing value management
// reads all ones as missing (mode 1), and all ones less one too (mode 2),
// in the values of a group and in the references of constant groups.
TEST(GribUnpack, ConstantGroupsOfMissingReferences) {
    const float m = NAN;
    const struct {
        int mode;
        std::vector<float> want; // ref 0.5 + 0.25 x
    } cases[] = {
        {0, {1.25f, 1.5f, 1.75f, 2, 4.25f, 4.25f, 4.25f, 4.25f, 4, 4, 4, 4}},
        {1, {1.25f, 1.5f, 1.75f, m, m, m, m, m, 4, 4, 4, 4}},
        {2, {1.25f, 1.5f, m, m, m, m, m, m, m, m, m, m}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("missing value management " + std::to_string(c.mode));
        Bytes s5(22, 0), data;
        s5[19] = 4; // bits of a group reference
        put(s5, c.mode, 1), put(s5, 0, 8), put(s5, 3, 4), put(s5, 2, 2); // widths 0 + 2 bits
        put(s5, 4, 4), put(s5, 1, 1), put(s5, 4, 4), put(s5, 0, 1);      // lengths all 4
        put(data, 0x3f, 1), put(data, 0xe0, 1);                          // references 3, 15, 14
        put(data, 0x80, 1);                                              // widths 2, 0, 0
        put(data, 0x1b, 1), put(data, 0, 8);                             // 0, 1, 2, 3
        std::vector<float> out(12);
        const char* error = nullptr;
        ASSERT_TRUE(grib::unpack_complex(s5.data(), s5.size(), 2, data.data(), data.size(), 12, 0.5,
                                         0.25, out.data(), &error))
            << error;
        for (std::size_t k = 0; k < 12; ++k)
            if (std::isnan(c.want[k]) ? !std::isnan(out[k]) : out[k] != c.want[k])
                ADD_FAILURE() << "value " << k << ": " << out[k];
    }
}

} // namespace
