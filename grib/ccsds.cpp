// The CCSDS (adaptive entropy coding) data of data representation template
// 5.42, decoded by libaec: samples of the packed numbers' width, in whole
// bytes, most significant byte first when the flags say so.
#include "grib/bytes.h"
#include "grib/unpack.h"

#include <libaec.h>

namespace grib {

namespace {

thread_local std::vector<std::uint8_t> samples;

} // namespace

bool ccsds_values(const std::uint8_t* s5, const std::uint8_t* data, std::size_t size, std::size_t n,
                  std::vector<std::uint32_t>& x, const char** error) {
    auto refuse = [&](const char* text) {
        *error = text;
        return false;
    };
    const int bits = s5[19];
    const int flags = s5[21];
    const int block = s5[22];
    const int rsi = static_cast<int>(u16(s5 + 23));
    if (bits < 1 || bits > 32) return refuse("CCSDS samples of more than 32 bits.");
    // The coder's own checks do not cover every value: a block of 0 samples
    // would make it write anywhere.
    if (!(block == 8 || block == 16 || block == 32 || block == 64) || rsi < 1 || rsi > 4096)
        return refuse("CCSDS block size or reference sample interval not supported.");
    // Sample width in the decoded stream: 1, 2, 3 (only when flagged) or 4 bytes.
    const int width = bits <= 8                                ? 1
                      : bits <= 16                             ? 2
                      : bits <= 24 && (flags & AEC_DATA_3BYTE) ? 3
                                                               : 4;
    samples.resize(n * width + 1);
    aec_stream strm{};
    strm.bits_per_sample = static_cast<unsigned>(bits);
    strm.block_size = static_cast<unsigned>(block);
    strm.rsi = static_cast<unsigned>(rsi);
    strm.flags = static_cast<unsigned>(flags);
    strm.next_in = data;
    strm.avail_in = size;
    strm.next_out = samples.data();
    strm.avail_out = n * width;
    const int status = aec_buffer_decode(&strm);
    if (status == AEC_CONF_ERROR) return refuse("CCSDS parameters not supported.");
    if (status != AEC_OK) return refuse("broken CCSDS data.");
    if (strm.total_out < n * width) return refuse("CCSDS data shorter than its values.");
    x.resize(n);
    const std::uint8_t* p = samples.data();
    const bool msb = flags & AEC_DATA_MSB;
    if (width == 1) {
        for (std::size_t k = 0; k < n; ++k)
            x[k] = p[k];
    } else if (width == 2) {
        for (std::size_t k = 0; k < n; ++k, p += 2)
            x[k] = msb ? std::uint32_t{p[0]} << 8 | p[1] : std::uint32_t{p[1]} << 8 | p[0];
    } else if (width == 3) {
        for (std::size_t k = 0; k < n; ++k, p += 3)
            x[k] = msb ? std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2]
                       : std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
    } else {
        for (std::size_t k = 0; k < n; ++k, p += 4)
            x[k] = msb ? u32(p)
                       : std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 |
                             std::uint32_t{p[1]} << 8 | p[0];
    }
    return true;
}

} // namespace grib
