// The PNG images of data representation template 5.41: chunks, the zlib
// stream of the IDAT chunks (inflated by libdeflate), and the five row filters of PNG, for the grey
// and RGB(A) images GRIB producers write. The pixels are the packed numbers.
#include "grib/bytes.h"
#include "grib/unpack.h"

#include <libdeflate.h>

namespace grib {

namespace {

// The predictor nearest to a + b - c (a on ties, then b), without branches.
inline int paeth(int a, int b, int c) {
    int pa = b > c ? b - c : c - b;
    const int pb = a > c ? a - c : c - a;
    const int s = a + b - 2 * c, pc = s < 0 ? -s : s;
    if (pb < pa) pa = pb, a = b;
    return pc < pa ? c : a;
}

// The Paeth filter of one row of bpp bytes per pixel: the left and
// upper-left bytes of each lane stay in registers.
template <int BPP> void paeth_row(std::uint8_t* x, const std::uint8_t* prior, std::size_t stride) {
    int a[BPP] = {}, c[BPP] = {};
    std::size_t i = 0;
    for (; i + BPP <= stride; i += BPP)
        for (int l = 0; l < BPP; ++l) {
            const int b = prior[i + l];
            a[l] = (x[i + l] + paeth(a[l], b, c[l])) & 0xff;
            x[i + l] = static_cast<std::uint8_t>(a[l]);
            c[l] = b;
        }
    for (int l = 0; i < stride; ++i, ++l) {
        const int b = prior[i];
        x[i] = static_cast<std::uint8_t>(x[i] + paeth(a[l], b, c[l]));
    }
}

// Undoes the filter of each row in place; rows are `stride` bytes behind
// their filter byte, bpp bytes per pixel (1 for images below 8 bits). One
// loop per filter, the row above the first being zeros.
bool unfilter(std::uint8_t* raw, std::size_t rows, std::size_t stride, std::size_t bpp) {
    thread_local std::vector<std::uint8_t> zeros;
    zeros.assign(stride, 0);
    const std::uint8_t* prior = zeros.data();
    for (std::size_t r = 0; r < rows; ++r) {
        std::uint8_t* line = raw + r * (stride + 1);
        std::uint8_t* x = line + 1;
        const std::size_t first = bpp < stride ? bpp : stride;
        switch (line[0]) {
        case 0:
            break;
        case 1:
            for (std::size_t i = bpp; i < stride; ++i)
                x[i] = static_cast<std::uint8_t>(x[i] + x[i - bpp]);
            break;
        case 2:
            for (std::size_t i = 0; i < stride; ++i)
                x[i] = static_cast<std::uint8_t>(x[i] + prior[i]);
            break;
        case 3:
            for (std::size_t i = 0; i < first; ++i)
                x[i] = static_cast<std::uint8_t>(x[i] + (prior[i] >> 1));
            for (std::size_t i = bpp; i < stride; ++i)
                x[i] = static_cast<std::uint8_t>(x[i] + ((x[i - bpp] + prior[i]) >> 1));
            break;
        case 4:
            switch (bpp) {
            case 1:
                paeth_row<1>(x, prior, stride);
                break;
            case 2:
                paeth_row<2>(x, prior, stride);
                break;
            case 3:
                paeth_row<3>(x, prior, stride);
                break;
            default:
                paeth_row<4>(x, prior, stride);
            }
            break;
        default:
            return false;
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
    thread_local std::vector<std::uint8_t> packed;
    packed.clear();
    const std::uint8_t* idat = nullptr;
    std::size_t idat_size = 0, idat_count = 0;
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
            // One chunk is inflated where it is; several are joined first.
            if (idat_count == 1) packed.assign(idat, idat + idat_size);
            if (idat_count >= 1) packed.insert(packed.end(), body, body + len);
            idat = body, idat_size = len;
            ++idat_count;
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
    thread_local libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    if (!inflater) return refuse("not enough memory for the PNG decoder.");
    const std::uint8_t* in = idat_count == 1 ? idat : packed.data();
    const std::size_t in_size = idat_count == 1 ? idat_size : packed.size();
    std::size_t got = 0;
    if (libdeflate_zlib_decompress(inflater, in, in_size, raw.data(), raw_size, &got) !=
            LIBDEFLATE_SUCCESS ||
        got != raw_size)
        return refuse("PNG data do not inflate to the image.");
    if (!unfilter(raw.data(), height, stride, pixel_bits >= 8 ? pixel_bits / 8 : 1))
        return refuse("PNG row of an unknown filter.");
    out.resize(n);
    std::size_t k = 0;
    for (std::size_t r = 0; r < height && k < n; ++r) {
        const std::uint8_t* line = raw.data() + r * (stride + 1) + 1;
        const std::size_t count = width < n - k ? width : n - k;
        std::uint32_t* o = out.data() + k;
        switch (pixel_bits) {
        case 8:
            for (std::size_t i = 0; i < count; ++i)
                o[i] = line[i];
            break;
        case 16:
            for (std::size_t i = 0; i < count; ++i)
                o[i] = std::uint32_t{line[2 * i]} << 8 | line[2 * i + 1];
            break;
        case 24:
            for (std::size_t i = 0; i < count; ++i)
                o[i] = std::uint32_t{line[3 * i]} << 16 | std::uint32_t{line[3 * i + 1]} << 8 |
                       line[3 * i + 2];
            break;
        case 32:
            for (std::size_t i = 0; i < count; ++i)
                o[i] = u32(line + 4 * i);
            break;
        default:
            for (std::size_t i = 0; i < count; ++i)
                o[i] =
                    bits_at(line, stride, static_cast<std::uint64_t>(i) * pixel_bits, pixel_bits);
        }
        k += count;
    }
    return true;
}

} // namespace grib
