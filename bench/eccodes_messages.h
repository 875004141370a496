// Messages the benchmarks have ecCodes write, the peer they are measured
// beside: the 3 km Lambert conformal grid of a regional model over North
// America, and a handle's message appended to a buffer. Only where the
// benchmarks are built with ecCodes (KIVAR_BENCH_ECCODES).
#pragma once

#include <eccodes.h>

#include <cstdint>
#include <vector>

namespace bench {

constexpr int kLambertCols = 1799, kLambertRows = 1059;

// Sets the grid of h to the 3 km Lambert grid (its first point in the
// south-west, scanned west to east and north from there).
inline void set_lambert_3km(codes_handle* h) {
    codes_set_long(h, "gridDefinitionTemplateNumber", 30);
    codes_set_long(h, "Nx", kLambertCols);
    codes_set_long(h, "Ny", kLambertRows);
    codes_set_double(h, "latitudeOfFirstGridPointInDegrees", 21.138123);
    codes_set_double(h, "longitudeOfFirstGridPointInDegrees", 237.280472);
    codes_set_double(h, "LaDInDegrees", 38.5);
    codes_set_double(h, "LoVInDegrees", 262.5);
    codes_set_double(h, "Latin1InDegrees", 38.5);
    codes_set_double(h, "Latin2InDegrees", 38.5);
    codes_set_long(h, "DxInMetres", 3000);
    codes_set_long(h, "DyInMetres", 3000);
}

// Appends the message of h to out and deletes h.
inline void append_message(codes_handle* h, std::vector<std::uint8_t>& out) {
    const void* msg = nullptr;
    std::size_t size = 0;
    codes_get_message(h, &msg, &size);
    const auto* m = static_cast<const std::uint8_t*>(msg);
    out.insert(out.end(), m, m + size);
    codes_handle_delete(h);
}

} // namespace bench
