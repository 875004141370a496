// The names and units of parameters, generated from the WMO code tables and
// the main centres' local tables (tools/gen_grib_tables.py writes
// generated/parameter_tables.cpp). Internal to the reader.
#pragma once

#include <cstddef>
#include <cstdint>

namespace grib::tables {

struct Parameter {
    std::uint32_t key;
    const char* name; // "Name (unit)"
};

// GRIB edition 2, key centre << 24 | discipline << 16 | category << 8 |
// number (centre 0: the WMO code table 4.2), sorted by key.
extern const Parameter kParameters2[];
extern const std::size_t kParameters2Count;

// GRIB edition 1, key centre << 16 | table << 8 | number (centre 0: the WMO
// table 2 of versions 1 to 3), sorted by key.
extern const Parameter kParameters1[];
extern const std::size_t kParameters1Count;

} // namespace grib::tables
