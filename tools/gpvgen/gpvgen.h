// Writer of GPV files, the inverse of the decoder in gpv/: records (44-byte
// header and bit-packed values of one tile for every forecast time), blocks
// ("DGRB", block length, two spare bytes, records) and whole forecast files
// with a plausible weather field. Used by the tests, the benchmarks and the
// sample generator; nothing of KIVAR depends on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gpvgen {

using Bytes = std::vector<std::uint8_t>;

void put_u16(Bytes& out, unsigned v);
// Sign and magnitude: top bit for the sign, 15 bits of magnitude.
void put_sm16(Bytes& out, int v);
// IBM hexadecimal single precision; the magnitude is truncated, so that the
// encoded value is never above v when round_down is set.
std::uint32_t ibm_float(double v, bool round_down = false);

// A model grid as the decoder derives it from model code and level.
struct Grid {
    int cols, rows, col_offset, row_offset;
    double lon_min, lon_step, lat_max, lat_step;
};
// false for a model other than 4 (RSM) or 5 (MSM).
bool model_grid(int model, int level, Grid& grid);

// One record. Tile bounds are grid-relative; the writer adds the offsets.
// x holds the values of every forecast time, tile row-major, time after
// time, in units of the 10-bit weights (multiples of 1 << (10 - bits)).
struct Record {
    int model = 4, item = 4, level = 500;
    int year = 2, month = 12, day = 4, hour = 0, minute = 0;
    int first_hour = 0, last_hour = 0, step_byte = 203; // 200 + forecast step
    int col_first = 0, row_first = 0, col_last = 0, row_last = 0;
    int bits = 10;
    int exponent = 0;
    double reference = 0.0;
    std::vector<int> x;
    int pad_to = 0;           // pad the record with zero bytes to this length
    int length_override = -1; // record length field as written, for broken files
};

// Header and packed data of one record (at most 65,535 bytes).
Bytes record(const Record& r);
// A block of records; the block length counts the records and four bytes.
Bytes block(const std::vector<Bytes>& records);

// Chooses exponent and reference for values so that bits suffice, and fills
// r.exponent, r.reference and r.x (in the order of values).
void quantise(const std::vector<double>& values, int bits, Record& r);

// A physically plausible value of an item at a level (0: the surface), a
// place and a forecast hour.
double plausible_value(int item, int level, double lon, double lat, int hour);

// A whole forecast file: every (level, item) pair, tiles of tile_cols x
// tile_rows cells, all records of the file padded to one length. The first
// block holds the first tile of every pair, later blocks the rest; a few junk
// bytes (with partial markers) lie between blocks.
struct Forecast {
    int model = 4;
    std::vector<int> levels{1000, 850, 500, 0};
    std::vector<int> items{1, 4, 13, 23, 24, 42, 49, 102, 225};
    int first_hour = 0, last_hour = 51, step = 3;
    int year = 26, month = 12, day = 4, hour = 0, minute = 0;
    int tile_cols = 10, tile_rows = 6;
    int weather_shift = 0; // hours added to the forecast hour of the values' pattern
};
// Bits per value used for an item (8 for rain and cloud, else 10).
int item_bits(int item);
// Writes the file; false with a message on standard error when it cannot.
bool write_forecast(const std::string& path, const Forecast& forecast);

} // namespace gpvgen
