// Writer of GRIB edition 2 messages with simple packing on regular
// latitude/longitude grids: the sample forecast, the benchmarks' files and
// the seeds of the fuzz target. Nothing of KIVAR depends on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gribgen {

using Bytes = std::vector<std::uint8_t>;

// One field: its grid (row 0 north, column 0 west, scanning mode 0), its
// parameter, level, times and values (cols x rows, row-major).
struct Field {
    int centre = 34;
    int discipline = 0, category = 0, number = 0;
    int year = 2026, month = 12, day = 4, hour = 0;
    int level_type = 100; // 100 isobaric (Pa), 1 surface, 103 height above ground
    long level_value = 85000;
    int forecast_hour = 0;
    int interval_hours = 0; // above 0: product template 4.8, the interval ending at forecast_hour
    int cols = 0, rows = 0;
    double lon_west = 120, lat_north = 47.6, lon_step = 0.125, lat_step = 0.1;
    int bits = 12;
    int decimal_scale = 1; // values are kept to 10^-decimal_scale
    std::vector<double> values;
};

// One message holding the field.
Bytes message(const Field& field);

// One message of the field's grid and product with run-length packing
// (template 5.200): each point's level (0 missing, m the m-th of
// level_values, which stand for value x 10^-decimal), numbers of `bits` bits,
// the largest level used as the largest level number. The field's values are
// not used.
Bytes run_length_message(const Field& field, int bits, const std::vector<int>& level_values,
                         int decimal, const std::vector<int>& levels);

// A regional-model-like forecast: the MSM-like pressure grid (0.125 x 0.1
// degrees over 120 to 150 E, 22.4 to 47.6 N) with temperature, humidity,
// winds, vertical velocity and geopotential height at 1000, 850 and 500 hPa,
// and mean sea-level pressure, 2 m temperature, 10 m winds, hourly rain,
// total and low cloud cover at the surface, for the given hours.
std::vector<Field> regional_forecast(const std::vector<int>& hours, int cols = 241, int rows = 253);

// Writes messages of the fields into path; false with a message on standard
// error when it cannot.
bool write_file(const std::string& path, const std::vector<Field>& fields);

} // namespace gribgen
