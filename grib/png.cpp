// The PNG images of data representation template 5.41: chunks, the zlib
// stream of the IDAT chunks, and the five row filters of PNG, for the grey
// and RGB(A) images GRIB producers write. The pixels are the packed numbers.
#include "grib/bytes.h"
#include "grib/unpack.h"

#include <zlib.h>

namespace grib {

namespace {

int paeth(int a, int b, int c) {
    int p = a + b - c;
    int pa = p > a ? p - a : a - p, pb = p > b ? p - b : b - p, pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// Undoes the filter of each row in place; rows are `stride` bytes behind
// their filter byte, bpp bytes per pixel (1 for images below 8 bits).
bool unfilter(std::uint8_t* raw, std::size_t rows, std::size_t stride, std::size_t bpp) {
    const std::uint8_t* prior = nullptr;
    for (std::size_t r = 0; r < rows; ++r) {
        std::uint8_t* line = raw + r * (stride + 1);
        const int type = line[0];
        std::uint8_t* x = line + 1;
        for (std::size_t i = 0; i < stride; ++i) {
            int a = i >= bpp ? x[i - bpp] : 0;
            int b = prior ? prior[i] : 0;
            int c = prior && i >= bpp ? prior[i - bpp] : 0;
            int add;
            switch (type) {
            case 0:
                add = 0;
                break;
            case 1:
                add = a;
                break;
            case 2:
                add = b;
                break;
            case 3:
                add = (a + b) / 2;
                break;
            case 4:
                add = paeth(a, b, c);
                break;
            default:
                return false;
            }
            x[i] = static_cast<std::uint8_t>(x[i] + add);
        }
        prior = x;
    }
    return true;
}

} // namespace

bool png_values(const std::uint8_t* data, std::size_t size, std::size_t n,
                std::vector<std::uint32_t>& out, const char** error) {
    auto refuse = [&](const char* text) {
        *error = text;
        return false;
    };
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (size < 8 || std::memcmp(data, signature, 8) != 0)
        return refuse("PNG data without a PNG signature.");
    std::uint32_t width = 0, height = 0;
    int depth = 0, colour = -1;
    std::vector<std::uint8_t> packed;
    std::size_t pos = 8;
    bool ended = false;
    while (!ended) {
        if (size - pos < 12) return refuse("PNG data cut short.");
        std::uint32_t len = u32(data + pos);
        if (len > size - pos - 12) return refuse("PNG chunk longer than the data.");
        const std::uint8_t* type = data + pos + 4;
        const std::uint8_t* body = data + pos + 8;
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (len != 13) return refuse("PNG header of a wrong length.");
            width = u32(body), height = u32(body + 4);
            depth = body[8], colour = body[9];
            if (body[12] != 0) return refuse("interlaced PNG images are not supported.");
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            packed.insert(packed.end(), body, body + len);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            ended = true;
        }
        pos += 12 + len;
    }
    int channels;
    switch (colour) {
    case 0:
        channels = 1;
        break;
    case 2:
        channels = 3;
        break;
    case 4:
        channels = 2;
        break;
    case 6:
        channels = 4;
        break;
    default:
        return refuse("PNG image of an unsupported colour type.");
    }
    if (!(depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16) ||
        (channels > 1 && depth < 8))
        return refuse("PNG image of an unsupported bit depth.");
    const int pixel_bits = depth * channels;
    if (pixel_bits > 32) return refuse("PNG pixels wider than 32 bits.");
    if (static_cast<std::uint64_t>(width) * height < n)
        return refuse("PNG image smaller than the values.");
    // At most a row more than the values: a larger image is not theirs.
    if (static_cast<std::uint64_t>(width) * height > n + width)
        return refuse("PNG image larger than the values.");
    const std::size_t stride = (static_cast<std::size_t>(width) * pixel_bits + 7) / 8;
    const std::size_t raw_size = (stride + 1) * height;
    thread_local std::vector<std::uint8_t> raw;
    raw.resize(raw_size + 8);
    uLongf got = static_cast<uLongf>(raw_size);
    if (uncompress(raw.data(), &got, packed.data(), static_cast<uLong>(packed.size())) != Z_OK ||
        got != raw_size)
        return refuse("PNG data do not inflate to the image.");
    if (!unfilter(raw.data(), height, stride, pixel_bits >= 8 ? pixel_bits / 8 : 1))
        return refuse("PNG row of an unknown filter.");
    out.resize(n);
    std::size_t k = 0;
    for (std::size_t r = 0; r < height && k < n; ++r) {
        const std::uint8_t* line = raw.data() + r * (stride + 1) + 1;
        for (std::size_t i = 0; i < width && k < n; ++i)
            out[k++] =
                bits_at(line, stride, static_cast<std::uint64_t>(i) * pixel_bits, pixel_bits);
    }
    return true;
}

} // namespace grib
