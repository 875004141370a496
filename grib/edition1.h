// GRIB edition 1 inside the reader (not part of the public interface): the
// index of one message and the unpacking of its binary data section.
#pragma once

#include "grib/grib.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace grib {

// Indexes the GRIB1 message at `at` ("GRIB", 3-octet length, edition 1) of
// the number `message`. Returns the offset behind the message, or 0 when it
// cannot be delimited (truncated, no end marker); *field is filled and true
// returned in *ok when it holds a supported field, else problem is set (a
// text without the message's number, e.g. "grid type 50 ... not supported;
// skipped.").
std::uint64_t index_message1(const std::uint8_t* b, std::size_t size, std::uint64_t at, int message,
                             Field& field, bool& ok, std::string& problem);

// The n packed values of a GRIB1 field (simple or second-order packing),
// scaled by a y + b, into out in the file's order (before the bit-map).
// *boustrophedonic tells that every second row of the grid is stored
// backwards. false with *error set when the data do not fit their
// description.
bool unpack1(const File& file, const Field& f, double a, double b, float* out, std::size_t n,
             bool& boustrophedonic, const char** error);

// IBM single precision floating point (sign, base-16 exponent biased by 64,
// 24-bit fraction).
double ibm32(const std::uint8_t* p);

} // namespace grib
