// The PNG images of data representation template 5.41: chunks, the zlib
// stream of the IDAT chunks (inflated by libdeflate), and the five row filters of PNG, for the grey
// and RGB(A) images GRIB producers write. The pixels are the packed numbers.
#include "grib/bytes.h"
#include "grib/unpack.h"

#include <libdeflate.h>

#include <type_traits>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__) && defined(__x86_64__)
// One pixel of BPP bytes, byte 0 lowest.
template <int BPP> inline std::uint32_t pixel_at(const std::uint8_t* p) {
    std::uint32_t v = 0;
    std::memcpy(&v, p, BPP);
    return v;
}

inline __m128i abs16(__m128i v) {
    return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

// Undoes the Paeth or Sub filters of ROWS = 8 / BPP consecutive rows at once
// (`rows`, each `width` pixels behind its filter byte; `prior`, the row above
// the first, already plain). The rows go as a wave: at step t, row j works
// on its pixel t - j, whose upper and upper-left neighbours row j - 1 made
// in the two steps before. Each byte has a 16-bit lane of its own; a Sub row
// takes the left neighbour in every lane.
template <int BPP>
void paeth_sub_rows(std::uint8_t* const* rows, const bool* sub, const std::uint8_t* prior,
                    std::size_t width) {
    constexpr int ROWS = 8 / BPP;
    const __m128i zero = _mm_setzero_si128(), low = _mm_set1_epi16(0xff);
    alignas(16) std::int16_t mask[8] = {};
    for (int j = 0; j < ROWS; ++j)
        for (int l = 0; l < BPP; ++l)
            mask[j * BPP + l] = sub[j] ? -1 : 0;
    const __m128i sub_lanes = _mm_load_si128(reinterpret_cast<const __m128i*>(mask));
    __m128i left = zero, upper = zero; // the last step's results and upper neighbours
    // One step; when not `whole`, rows whose pixel t - j lies outside the row
    // take 0 and give nothing.
    auto step = [&](std::size_t t, auto whole) {
        std::uint64_t packed = 0;
        for (int j = 0; j < ROWS; ++j)
            if (whole.value || (t >= static_cast<std::size_t>(j) && t - j < width))
                packed |= std::uint64_t{pixel_at<BPP>(rows[j] + (t - j) * BPP)} << (8 * BPP * j);
        const __m128i x =
            _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(packed)), zero);
        const __m128i above = _mm_unpacklo_epi8(
            _mm_cvtsi32_si128(t < width ? static_cast<int>(pixel_at<BPP>(prior + t * BPP)) : 0),
            zero);
        const __m128i a = left, c = upper;
        const __m128i b = _mm_or_si128(_mm_slli_si128(left, 2 * BPP), above);
        const __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
        const __m128i pa = abs16(bc), pb = abs16(ac), pc = abs16(_mm_add_epi16(ac, bc));
        const __m128i not_a =
            _mm_andnot_si128(sub_lanes, _mm_cmpgt_epi16(pa, _mm_min_epi16(pb, pc)));
        const __m128i b_or_c =
            _mm_xor_si128(b, _mm_and_si128(_mm_cmpgt_epi16(pb, pc), _mm_xor_si128(b, c)));
        const __m128i pred = _mm_xor_si128(a, _mm_and_si128(not_a, _mm_xor_si128(a, b_or_c)));
        left = _mm_and_si128(_mm_add_epi16(x, pred), low);
        upper = b;
        const auto done =
            static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_packus_epi16(left, left)));
        for (int j = 0; j < ROWS; ++j)
            if (whole.value || (t >= static_cast<std::size_t>(j) && t - j < width)) {
                const auto v = static_cast<std::uint32_t>(done >> (8 * BPP * j));
                std::memcpy(rows[j] + (t - j) * BPP, &v, BPP);
            }
    };
    const std::size_t ramp = ROWS - 1 < width ? ROWS - 1 : width, steps = width + ROWS - 1;
    std::size_t t = 0;
    for (; t < ramp; ++t)
        step(t, std::false_type{});
    for (; t < width; ++t)
        step(t, std::true_type{});
    for (; t < steps; ++t)
        step(t, std::false_type{});
}

// The rows from r on, ROWS = 8 / bpp of them, as a wave when each has the
// Paeth or the Sub filter; false when they are not such rows.
bool wave_rows(std::uint8_t* raw, std::size_t r, std::size_t rows, std::size_t stride,
               std::size_t bpp, const std::uint8_t* prior) {
    if (bpp > 4 || stride % bpp != 0) return false;
    const std::size_t count = 8 / bpp;
    if (rows - r < count) return false;
    std::uint8_t* line[8];
    bool sub[8];
    for (std::size_t j = 0; j < count; ++j) {
        std::uint8_t* at = raw + (r + j) * (stride + 1);
        if (at[0] != 1 && at[0] != 4) return false;
        sub[j] = at[0] == 1;
        line[j] = at + 1;
    }
    const std::size_t width = stride / bpp;
    switch (bpp) {
    case 1:
        paeth_sub_rows<1>(line, sub, prior, width);
        break;
    case 2:
        paeth_sub_rows<2>(line, sub, prior, width);
        break;
    case 3:
        paeth_sub_rows<3>(line, sub, prior, width);
        break;
    default:
        paeth_sub_rows<4>(line, sub, prior, width);
    }
    return true;
}
#endif

// Undoes the filter of each row in place; rows are `stride` bytes behind
// their filter byte, bpp bytes per pixel (1 for images below 8 bits). Runs
// of Paeth and Sub rows go as waves (x86-64); other rows have one loop per
// filter, the row above the first being zeros.
bool unfilter(std::uint8_t* raw, std::size_t rows, std::size_t stride, std::size_t bpp) {
    thread_local std::vector<std::uint8_t> zeros;
    zeros.assign(stride, 0);
    const std::uint8_t* prior = zeros.data();
    for (std::size_t r = 0; r < rows; ++r) {
#if defined(__SSE2__) && defined(__x86_64__)
        if (wave_rows(raw, r, rows, stride, bpp, prior)) {
            r += 8 / bpp - 1;
            prior = raw + r * (stride + 1) + 1;
            continue;
        }
#endif
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
