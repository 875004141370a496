// The packings of section 7 that need more than a loop: complex packing,
// PNG, JPEG 2000, CCSDS and run length. Internal to the reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace grib {

// Marks a loop worth a second build for processors with 256-bit vectors,
// picked when the program starts; other processors run the baseline build.
// No fused multiply-add: both builds round alike.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define GRIB_WIDE_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define GRIB_WIDE_LOOP
#endif

// Complex packing (data representation template 5.2, or 5.3 with spatial
// differencing) of section 5 (s5, len5 bytes) over the data of section 7:
// the n values ref + scale * X into out in single precision (infinities
// beyond its range, NaN where missing). false with *error set, and out
// untouched, when the data do not fit their description.
bool unpack_complex(const std::uint8_t* s5, std::size_t len5, int data_template,
                    const std::uint8_t* data, std::size_t size, std::size_t n, double ref,
                    double scale, float* out, const char** error);

// The first n pixels of a PNG image (grey of 1 to 16 bits, or 8-bit RGB or
// RGBA taken as 24- and 32-bit numbers), row by row, into x. false with
// *error set when the image is broken or too small.
bool png_values(const std::uint8_t* data, std::size_t size, std::size_t n,
                std::vector<std::uint32_t>& x, const char** error);

// The first n samples of a JPEG 2000 code stream (data representation
// template 5.40) into x, through OpenJPEG. false with *error set when the
// stream is broken or its image does not fit n.
bool jpeg2000_values(const std::uint8_t* data, std::size_t size, std::size_t n,
                     std::vector<std::uint32_t>& x, const char** error);

// The n packed numbers of CCSDS data (data representation template 5.42,
// section 5 at s5) into x, through libaec. false with *error set when the
// data are broken or shorter than n samples.
bool ccsds_values(const std::uint8_t* s5, const std::uint8_t* data, std::size_t size, std::size_t n,
                  std::vector<std::uint32_t>& x, const char** error);

// Run-length packing with level values (template 5.200, section 5 at s5 of
// len5 bytes): the n levels of the values into x and the value of each level
// into levels (levels[0], the missing level, is NaN). false with *error set
// when the runs do not fit their description.
bool run_length_values(const std::uint8_t* s5, std::size_t len5, const std::uint8_t* data,
                       std::size_t size, std::size_t n, std::vector<float>& levels,
                       std::vector<std::uint16_t>& x, const char** error);

} // namespace grib
