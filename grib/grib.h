// GRIB edition 2 reader: the index of a file's fields and their decoding.
//
// A GRIB2 file is a sequence of messages, each "GRIB" ... "7777": section 0
// (discipline, edition, total length), 1 (centre, reference time), optionally
// 2 (local use), then one or more fields, each of sections 3 (grid), 4
// (product: parameter, level, forecast time), 5 (data representation), 6
// (bit-map) and 7 (packed data). Numbers are big-endian; signed numbers are
// sign and magnitude.
//
// Supported: grid templates 3.0, 3.1, 3.10, 3.20, 3.30, 3.40 and 3.41 (lat/lon,
// rotated, Mercator, polar stereographic, Lambert conformal, Gaussian, rotated
// Gaussian; the lat/lon and Gaussian ones also reduced; every scanning
// mode); product templates 4.0 (analysis or forecast), 4.1 (ensemble member),
// 4.2 (derived from an ensemble), 4.5 (probability), 4.6 (percentile), 4.8
// (statistics over a time range), 4.9 (probability), 4.10 (percentile), 4.11
// (ensemble member over a time range), 4.12 (derived over a time range), 4.15
// (statistics over an area) and 4.40 to 4.43 (those of 4.0, 4.1, 4.8 and 4.11
// for a chemical constituent); data representation templates 5.0 (simple
// packing), 5.2 and 5.3 (complex packing, spatial differencing of order 1 and
// 2, every management of missing values), 5.4 (IEEE floats), 5.40 (JPEG
// 2000), 5.41 (PNG), 5.42 (CCSDS) and 5.200 (run length with level values),
// and the bit-map of section 6. Fields of other templates are skipped and
// reported by the template's name and number. A field packed with 0 bits per
// value is the constant reference value R (its decimal scale factor is not
// applied).
//
// GRIB edition 1 messages ("GRIB", 3-octet length, edition 1; sections 1
// product definition, 2 grid description, 3 bit-map, 4 binary data) are read
// into the same fields: grids of types 0 (lat/lon), 1 (Mercator), 3 (Lambert
// conformal), 4 (Gaussian), 5 (polar stereographic), 10 (rotated lat/lon),
// 14 (rotated Gaussian) and the reduced forms of lat/lon and Gaussian grids;
// simple packing, the general extended second-order packing and IEEE
// floating point values; the levels
// and time ranges given the codes of edition 2 (see Field). Messages without
// a grid description, spherical harmonics, stretched grids and predefined
// bit-maps are skipped by name.
//
// The reader depends on nothing of the application; it reports failures
// through `report` (title, text), each naming the message's number (1 for the
// first message of the file). Operations return 1 for success and 0 after a
// report. Any point of the program may call them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace grib {

// Where failures go: a title (the operation's name) and a text. The
// application installs its own; the default prints "TITLE: TEXT" on
// standard error.
using Report = void (*)(const char* title, const char* text);
extern Report report;

// A field's grid as the decoder delivers its values.
//
// Regular grids (every template but the reduced ones) are delivered as rows
// of `cols` points: for latitude/longitude and Gaussian grids row 0 is the
// northernmost and column 0 the westernmost, for projected and rotated grids
// row 0 is the one of largest y and column 0 the one of smallest x, whatever
// the file's scanning order. Reduced (quasi-regular) grids are delivered row
// after row in the same north-to-south order, row k holding row_points[k]
// points from west to east.
struct Grid {
    int template_number = 0; // 3.N of GRIB edition 2; GRIB1 grids are given the number of
                             // the edition 2 template of the same kind (0, 1, 10, 20, 30, 40,
                             // and 41 for rotated Gaussian grids)
    int cols = 0, rows = 0;  // points along a row and rows; reduced grids: cols is the longest row
    std::vector<int> row_points; // reduced grids: points of each delivered row, else empty
    double lon_west = 0;    // lat/lon, rotated and Gaussian: longitude of column 0, degrees
                            // east (may be below 0 or above 360)
    double lat_north = 0;   // latitude of row 0, degrees north (Gaussian: its true latitude)
    double lon_east = 0;    // reduced grids: longitude of each row's last point; rows that
                            // end a step short of going round (or lon_east not above
                            // lon_west) share 360 degrees evenly
    double lon_step = 0;    // degrees between columns, above 0
    double lat_step = 0;    // degrees between rows, above 0 (Gaussian: mean spacing)
    int gaussian_n = 0;     // Gaussian grids: parallels between a pole and the equator
    double south_pole_lat = 0, south_pole_lon = 0, rotation = 0; // rotated grids, degrees
    // Projected grids (Mercator, polar stereographic, Lambert conformal): the
    // projection as a PROJ definition with the shape of the earth, and the
    // projected coordinates in metres of row 0, column 0 with the spacing.
    std::string proj; // "" for lat/lon and Gaussian grids
    double x0 = 0, y0 = 0, dx = 0, dy = 0; // dx, dy above 0; x grows with columns, y falls with rows
    double earth_a = 6371229, earth_b = 6371229; // semi-axes in metres (section 3 shape of the earth)
    int scan_mode = 0;                           // flags of the file's order (0x80, 0x40, 0x20, 0x10)
    bool winds_grid_relative = false;            // u, v along the grid's x and y, not east and north
    std::size_t points = 0; // delivered points when set (reduced grids), else cols x rows
    std::size_t count() const {
        return points ? points : static_cast<std::size_t>(cols) * rows;
    }
    bool operator==(const Grid&) const = default;
};

// The latitude and longitude (degrees north and east, longitude in -180 to
// 360 as the grid runs) of every delivered point of a grid, in the order of
// the decoded values. 1 on success; 0 after a report titled "grid" when the
// grid's projection cannot be set up. lat and lon hold grid.count() values.
int grid_coordinates(const Grid& grid, std::span<double> lat, std::span<double> lon);

// For each place (lat[k], lon[k], degrees), the delivered point of the grid
// nearest to it in the grid's own rows and columns into index[k], or -1 when
// the place lies beyond the grid's edge by more than half a step. 1 on
// success; 0 after a report titled "grid" as grid_coordinates.
int grid_nearest(const Grid& grid, std::span<const double> lat, std::span<const double> lon,
                 std::span<long long> index);

// One field of a file, as the index keeps it.
struct Field {
    int message = 0;          // number of its message, 1 for the first
    std::uint64_t offset = 0; // of its message in the file
    int edition = 2;          // 1 or 2
    int centre = 0, subcentre = 0;
    int table_version = 0; // GRIB1: the parameter table (its number is `number`, category 0)
    int discipline = 0, category = 0, number = 0;           // the parameter
    int year = 0, month = 0, day = 0, hour = 0, minute = 0; // reference time
    // Type of the first fixed surface (code table 4.5). GRIB1 levels are given
    // the edition 2 type of the same kind and unit (surface 1, isobaric 100 in
    // Pa, mean sea level 101, height above ground 103, sigma 104, hybrid 105,
    // depth below land 106 in m, isentropic 107, PV 109, entire atmosphere
    // 10, ...; layers with level2); a GRIB1 type T without one is 1000 + T,
    // with the value of its octets 11 and 12.
    int level_type = 0;
    double level_value = 0; // its value in the units of its type (Pa for 100)
    int level2_type = 255;  // type of the second fixed surface (255: none), for layers
    double level2_value = 0;
    int forecast_hour = 0;  // for statistics (4.8), the end of the interval
    int interval_hours = 0; // length of the statistics interval (4.8), else 0
    long long forecast_minutes = -1; // the forecast time (end of the interval) in minutes;
                                     // -1: whole hours, forecast_hour
    // GRIB1: product template 0 for a time, 8 for an interval (time range
    // indicators 2 to 5); data template 0 for simple packing, 2 and 3 for
    // second-order packing without and with spatial differencing, 4 for IEEE
    // floating point values.
    int product_template = 0, data_template = 0;

    // What sets a field apart from others of the same parameter, level and
    // time (product templates 4.1 to 4.15); -1 (NaN for the limits) where its
    // template does not say.
    int ensemble_type = -1;    // code table 4.6: 0/1 control, 2/3 perturbed member
    int perturbation = -1;     // number of the member
    int ensemble_size = -1;    // forecasts in the ensemble
    int derived = -1;          // code table 4.7: 0 mean, 2 standard deviation, ...
    int probability_type = -1; // code table 4.9: 0 below lower, 1 above upper,
                               // 2 between, 3 above lower, 4 below upper limit
    double lower_limit = __builtin_nan(""), upper_limit = __builtin_nan("");
    int percentile = -1;          // 0 to 100
    int statistical_process = -1; // code table 4.10: 0 average, 1 accumulation, 2 maximum, ...
    int spatial_process = -1;     // template 4.15: code table 4.15
    int constituent = -1;         // templates 4.40 to 4.43: code table 4.230

    Grid grid;
    std::uint32_t value_count = 0;    // values packed in section 7
    std::uint64_t sec5 = 0, sec7 = 0; // offsets of the sections in the file (GRIB1: of
                                      // sections 1 and 4)
    std::uint32_t len5 = 0, len7 = 0;
    std::uint64_t bitmap = 0; // offset of the section 6 (GRIB1: 3) holding its bit-map, 0 for none
    std::uint32_t bitmap_length = 0;
};

// An open file: its bytes (mapped) and its fields in file order.
struct File {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    std::vector<Field> fields;
    int messages = 0;          // messages met
    int skipped = 0;           // fields skipped (unsupported templates or broken)
    std::string first_problem; // text of the first skip or fault, "" when none
    bool mapped = false;
};

// True when bytes begin a GRIB edition 2 message ("GRIB", edition octet 2).
bool is_grib2(const std::uint8_t* bytes, std::size_t size);

// The edition (1 or 2) of the first GRIB message in bytes, where "GRIB" is
// followed by a consistent indicator section (a WMO bulletin header or padding
// may come before it); 0 when there is none. Reads at most the first limit
// bytes.
int find_grib(const std::uint8_t* bytes, std::size_t size, std::size_t limit = 1 << 16);
// The offset of the first GRIB message (as find_grib finds it) that starts
// before offset `stop` of the regular file behind fd, searched by large reads
// that skip holes; -1 when there is none or fd is not a regular file. The
// descriptor's position is left alone.
long long find_grib_in_file(int fd, long long stop);
// True when bytes begin a GRIB message of edition 1 or 2, the editions
// index_bytes reads.
bool is_grib(const std::uint8_t* bytes, std::size_t size);

// Indexes the bytes of a file (kept by the caller) in one pass into file,
// reading the sections' headers only. Fields of unsupported templates, broken
// messages and a truncated end are skipped; the first such problem is kept in
// file.first_problem and counted in file.skipped, nothing is reported. file
// points to bytes afterwards (not mapped). 1 when
// at least one field was indexed, else 0.
int index_bytes(const std::uint8_t* bytes, std::size_t size, File& file);

// Maps the open file descriptor fd read-only and indexes it. 0 after a
// report titled "open_GRIB" when it cannot be mapped or has no usable field;
// a file with some fields skipped opens, and says so by a report.
int open_fd(int fd, File& file);

// Unmaps and forgets the file.
void close(File& file);

// Decodes a field into values (at least field.grid.count() of them) in the
// grid's order (row 0 north, column 0 west); points missing by the bit-map or
// the packing are NaN. Each value y is delivered as a * y + b, computed
// before the rounding to single precision (a change of units). 1 on success;
// 0 after a report titled "get_GRIB_dat" naming the message when the data do
// not fit their description.
int decode(const File& file, const Field& field, std::span<float> values, double a = 1,
           double b = 0);

// The name of a parameter with its unit from the WMO code table 4.2, e.g.
// "Convective precipitation rate (kg m-2 s-1)", or for the local numbers
// (192 to 254) from the table of centre when it has one; for a parameter
// without a name, "Parameter D.C.N".
std::string parameter_name(int discipline, int category, int number, int centre = 0);

// The name of a GRIB edition 1 parameter with its unit, from the table
// table_version of centre (the WMO table 2 for versions 1 to 3); for a
// parameter without a name, "Parameter T.N" (T the table, N the number).
std::string parameter_name1(int centre, int table_version, int number);

// The readable name of a field's level (code table 4.5) with its unit, e.g.
// "500 hPa", "70 Pa", "2 m above ground", "surface", "mean sea level",
// "entire atmosphere", "low cloud layer", "0.1-0.4 m below ground" (a layer
// between two surfaces of one type), "PV 2 units", "hybrid level 1". Two
// different levels never share a name; unknown types read "level type T V".
std::string level_name(int type, double value, int type2 = 255, double value2 = 0);

// What sets a field apart from others of its parameter, level and time, for
// lists: "" for a plain analysis or forecast (and accumulations), else e.g.
// "member 3", "control", "ensemble mean", "probability > 273.15",
// "90th percentile", "maximum", "area average". Parts are joined by ", ".
std::string product_kind(const Field& field);

// The name of a template (section 3, 4 or 5) for messages, "" when unknown.
const char* template_name(int section, int number);

} // namespace grib
