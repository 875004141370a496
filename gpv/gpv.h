// GPV decoding, extraction and export.
//
// A GPV file is a sequence of blocks, each introduced by "DGRB", a 16-bit block
// length and two unused bytes, then records: a 44-byte header and the packed
// values of one tile of the model grid for one item at one level, all forecast
// times one after another. Numbers are big-endian.
//
// State lives in program-wide single instances: `header` (the most recently
// read record header), `RecordBuffer`, `index` (levels and items of the open
// file) and `grid` (work arrays and coastline). Every header read overwrites
// `header`. Operations return 1 for success and 0 for failure; a failure has
// already been reported through `report` with the operation's name as title,
// so callers stop without a further message. Any point of the program may call
// them once a file is open. The indexed extraction (see Walk) keeps an index
// of the open file's records between calls; it is rebuilt when the file's
// size or modification time changes.
#pragma once

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace gpv {

// ---------------------------------------------------------------- reports

// Where failures go: a title (the operation's name) and a text. The
// application installs its own (a message box); the default prints
// "TITLE: TEXT" on standard error.
using Report = void (*)(const char* title, const char* text);
extern Report report;

// ---------------------------------------------------------------- types

// The decoded header of the most recently read record, with the geometry of
// its model grid (level 0 selects a grid twice as fine).
struct GpvHeader {
    std::uint8_t model_code = 0;
    char model_name[4] = "";
    std::uint8_t item_code = 0;
    std::int16_t level = 0;
    std::uint8_t init_year = 0, init_month = 0, init_day = 0, init_hour = 0, init_minute = 0;
    std::uint8_t first_forecast_hour = 0, last_forecast_hour = 0, forecast_step = 0;
    int forecast_count = 0;
    int col_first = 0, row_first = 0, col_last = 0, row_last = 0;
    int tile_cols = 0, tile_rows = 0, tile_count = 0;
    std::uint8_t bits_per_value = 0;
    double scale_factor = 1.0, reference_value = 0.0;
    int data_length = 0;
    int grid_cols = 0, grid_rows = 0, grid_count = 0;
    float lon_min = 0, lon_max = 0, lon_step = 0, lat_min = 0, lat_max = 0, lat_step = 0;
    int col_offset = 0, row_offset = 0;
};

constexpr int kMaxLevels = 32;
constexpr int kMaxItems = 256;
constexpr int kCoastPoints = 8535;
constexpr float kCoastEndMark = -999.0f; // any longitude below -990 ends a polyline

// The lists of the open file.
struct GpvIndex {
    std::array<int, kMaxLevels> levels{};
    int level_count = 0;
    std::array<int, kMaxItems> items{};
    int item_count = 0;
    int largest_grid_count = 0; // largest grid met by the last level scan
};

// Grid-sized work arrays, row-major with row 0 northernmost, and the coastline.
struct GpvGrid {
    std::vector<float> FieldBuffer[2]; // extracted field; partner wind component
    std::vector<float> SpeedBuffer;
    std::vector<float> LonArray, LatArray; // cell centres, grid_count + 3 each
    std::vector<float> CoastX, CoastY;     // kCoastPoints each
    float min_value = 0, max_value = 0;    // of the latest extraction
    int allocated_count = 0;               // grid_count the arrays are allocated for
    int filled_cols = 0, filled_rows = 0;  // grid of the last cell-centre fill
};

extern GpvHeader header;
extern std::array<std::uint8_t, 65536> RecordBuffer; // header, then record data
extern GpvIndex index;
extern GpvGrid grid;

// What the dialog selects for extract_next.
struct Selection {
    bool selected_only = true; // false: "All items"
    int level_pos = 0;         // positions in the level, item and hour lists
    int item_pos = 0;
    int hour_pos = 0;
};

// ---------------------------------------------------------------- decoding

// Reads byte by byte up to and over the next "DGRB". Returns 1 with the file
// on the byte behind the marker, 0 at the end of the file (also inside a
// partial match).
int find_record_marker(std::FILE* f);

// find_record_marker from the start of the file: positions f behind its
// first "DGRB" (1), or at its end (0). A regular file is searched by large
// reads, skipping holes, once while it stays the same (first_marker_offset).
int find_first_marker(std::FILE* f);

// Offset of the first "DGRB" in the regular file behind fd, or -1 when there
// is none; kNotRegular for another kind of file. Remembered for the last file
// searched while its size and times stay the same.
constexpr long long kNotRegular = -2;
long long first_marker_offset(int fd);

// Reads the block length and the two spare bytes behind a marker; false at
// the end of the file.
bool read_block_length(std::FILE* f, int& remaining);

unsigned read_u16be(const std::uint8_t* p);
unsigned read_u24be(const std::uint8_t* p);
int read_sm16(const std::uint8_t* p);         // sign and magnitude
double read_ibm_float(const std::uint8_t* p); // hexadecimal single precision
double int_power(double x, int n);            // x to the power n, n may be negative

// Returned by get_GPV_def when the file ends before a whole header: the walk
// ends as at the end of the file, nothing is reported.
constexpr int kEndOfFile = -1;

// Reads the next 44 bytes into RecordBuffer and decodes them into `header`.
// 1 on success; 0 after a report titled "get_GPV_def" (unknown model or item,
// record length below 44, forecast step 0, more than 10 bits per value);
// kEndOfFile on a short read. The caller has positioned the file on a header.
int get_GPV_def(std::FILE* f);

// Decodes the 44 header bytes at b into h. 1 on success; 0 with *error set to
// the refusal's text (nothing is reported) and the fields decoded before the
// refusal changed.
int decode_header(const std::uint8_t* b, GpvHeader& h, const char** error);

// Sets the tile bounds and counts of h from header bytes 24 to 31 and h's
// grid offsets.
void decode_tile_bounds(const std::uint8_t* b, GpvHeader& h);

// Sets the packing of h (bits per value, scale factor, reference value) from
// header bytes 33 to 39; 0 with *error set when it is refused.
int decode_packing(const std::uint8_t* b, GpvHeader& h, const char** error);

// Copies the display text of an item code into `text` (at least 20 bytes).
// 0 for an unknown code, after a report titled "id2str", `text` untouched.
int id2str(int item_code, char* text);

// Display text of an item code, or nullptr; reports nothing.
const char* item_text(int item_code);

// Sets the grid geometry of `h` for a model code and level; false for an
// unknown model.
bool set_model_grid(GpvHeader& h, int model_code, int level);

// ---------------------------------------------------------------- scans

// Level scan of the file's first block into levels (capacity up to 32).
// Returns the number of levels, 0 when there is no block or a header fails.
// Also records the largest grid met in index.largest_grid_count.
int check_GPV_p(std::FILE* f, int* levels, int capacity);

// Item scan of the first block: the item codes of records at `level`, in
// order of first appearance, without repeats. Returns their number (0 after a
// failure).
int check_GPV_p(std::FILE* f, int level, int* items, int capacity);

// Unpacks forecast time `time_index` of (item, level) from every matching tile
// of the file into `field` and sets grid.min_value/max_value. 1 when the whole
// grid was filled; 0 after a report titled "get_GPV_def" or "get_GPV_dat". On
// success `header` carries the geometry of the extracted field's grid.
int get_GPV_dat(std::FILE* f, int item, int level, int time_index, std::span<float> field);

// How get_GPV_dat finds the records of a field. Walk::Reference reads the file
// from its start at every call and unpacks bit by bit. Walk::Indexed (the
// default) walks the file only once, as far as the fields asked for need it,
// into an index of its records kept while the file's size and modification
// time stay the same; each field then reads only its own records and unpacks
// them by 64-bit words. Both give the same field, the same reports in the same
// order, and leave the same `header`.
enum class Walk { Reference, Indexed };
extern Walk walk;

// The reference walk of get_GPV_dat.
int get_GPV_dat_walk(std::FILE* f, int item, int level, int time_index, std::span<float> field);

// The indexed extraction; kIndexUnavailable when the file cannot be indexed
// (not a regular file, read error), and then nothing has changed.
constexpr int kIndexUnavailable = -2;
int get_GPV_dat_indexed(std::FILE* f, int item, int level, int time_index, std::span<float> field);

// Indexes the whole open file now (otherwise the extractions index as far
// as they need). False when it cannot be indexed.
bool index_file(std::FILE* f);

// Drops the index and its buffers.
void forget_index();

// Why a matching record cannot be unpacked into a field of field_size cells at
// time_index, or nullptr.
const char* tile_error(const GpvHeader& h, int time_index, std::size_t field_size);

// Rounds to single precision; values beyond its range become infinities.
inline float to_float(double v) {
    if (v > FLT_MAX) return HUGE_VALF;
    if (v < -FLT_MAX) return -HUGE_VALF;
    return static_cast<float>(v);
}

// Unpacks count values of `bits` bits (0 to 10) starting at bit `bit_pos` of
// data (most significant bit first) as the 10-bit weights X of the format:
// the b-bit number shifted left by 10 - b. data must be readable 8 bytes
// beyond the last value's byte.
void unpack_values(const std::uint8_t* data, long long bit_pos, int bits, int count, int* x);

// One value of unpack_values: the X of the `bits`-bit number at bit `bit` of
// base, read with one 64-bit big-endian load.
inline int unpack_one(const std::uint8_t* base, std::uint64_t bit, int bits) {
    if (bits == 0) return 0;
    std::uint64_t w;
    __builtin_memcpy(&w, base + (bit >> 3), 8);
    w = __builtin_bswap64(w);
    return static_cast<int>((w << (bit & 7)) >> (64 - bits)) << (10 - bits);
}

// Extracts the next field of an Execute run into `field`. pass: -1 starts a
// run, 0 while an "All items" run goes on, 1 when the caller set level, item
// and hour. Returns 0 (nothing extracted), 1 (the last field), 2 (more follow).
// level, item and hour are set to the extracted field's.
int extract_next(std::FILE* f, const Selection& sel, std::span<float> field, int& level, int& item,
                 int& hour, int& pass);

// Number of fields the selection asks for (1, or levels x items x hours).
int field_count(const Selection& sel);

// (Re)allocates the work arrays for grid_count cells and loads the coastline
// from map_path. 0 after a report titled "ini_vars" or "initializeApp"; after the
// latter (no map) the arrays are allocated and the coastline is empty.
int ini_vars(const char* map_path, int grid_count);

// Loads map.dat into grid.CoastX/CoastY; points the file lacks become end
// marks. 0 when the file cannot be opened (no report).
int load_map(const char* map_path);
// The same into x and y (kCoastPoints each), the program's arrays untouched.
int read_map(const char* map_path, std::vector<float>& x, std::vector<float>& y);

// Fills LonArray/LatArray with the cell centres of header's grid when its
// size differs from the last fill and fits the arrays.
void fill_cell_centres();

// ---------------------------------------------------------------- export

// What a data file's name and first line tell of a field: its grid, model,
// initial time and range.
struct FieldLabel {
    int grid_cols = 0, grid_rows = 0;
    int model_code = 0;
    int init_year = 0, init_month = 0, init_day = 0, init_hour = 0; // year of two digits
    float min_value = 0, max_value = 0;
    // Rows of their own lengths (reduced grids: grid_rows numbers, grid_cols
    // the longest), or null for rows of grid_cols values.
    const int* row_points = nullptr;
};

// The label of the field extracted last: `header`'s grid and `grid`'s range.
FieldLabel header_label();

// The layouts of data files, in the order of the dialog's list.
enum Layout { kLayoutText = 0, kLayoutCsv = 1, kLayoutPoints = 2, kLayoutCount = 3 };

// The name of a layout in the dialog's list ("TEXT", "CSV", "points") and
// the extension of its files (".txt", ".csv", ".points.csv"); nullptr for
// another number.
const char* layout_name(int layout);
const char* layout_extension(int layout);

// Writes `field` (label's grid, row 0 northernmost) as TEXT (layout 0,
// ".txt") or CSV (layout 1, ".csv") under save_dir, whole or not at all (see
// OutputFile). The rows of a label with row_points have their own lengths. 1 when written; 0 after a report titled "save_GPV" when the
// file cannot be opened, or for another layout; kWriteFailed after a report
// "FILE: REASON" titled "save_GPV" when a write, the flush, the close or the
// rename failed.
int save_field(const char* save_dir, int layout, const FieldLabel& label,
               std::span<const float> field, int item, int level, int hour);

// Writes `field` in the points layout (".points.csv"): the line
// "latitude,longitude,value", then one line per point of the field in its
// order, from lat and lon (degrees, as many as the field's points; six
// decimals) and the value (the shortest text that reads back as the same
// single-precision number, "nan" for a missing point). Named, written and
// reported as save_field.
// base_name, when given, is the file's name without extension in place of
// output_base_name's.
int save_points(const char* save_dir, const FieldLabel& label, std::span<const float> field,
                std::span<const double> lat, std::span<const double> lon, int item, int level,
                int hour, const char* base_name = nullptr);

// The centres of the cells of header's grid (degrees), row by row from the
// north, as the points layout gives them for GPV fields.
void cell_centres(std::vector<double>& lat, std::vector<double>& lon);

// save_field of the field extracted last (header_label()).
int save_GPV(const char* save_dir, int layout, std::span<const float> field, int item, int level,
             int hour);

// How save_GPV formats values: Format::Reference through fprintf, value by
// value; Format::Fast (the default) through format_value into large buffers.
// Both write the same bytes.
enum class Format { Reference, Fast };
extern Format format;

// Writes v as "%f" writes (double)v, without a terminating zero; returns the
// number of characters (at most 48).
int format_value(float v, char* out);

// The output file name without extension, with label's model and initial time.
std::string output_base_name(const char* save_dir, const FieldLabel& label, int item, int level,
                             int hour);

// A time of the log line (UTC), the year of four digits.
struct LogTime {
    int year, month, day, hour, minute, second;
};

// Appends one gpv.log line (time, level, hour, item and its text) whole or
// not at all (see append_line). text is the item's display text; nullptr
// takes that of the item table. 1 when written; 0 when log is null or the
// item has no text; kWriteFailed with errno set when it could not be written.
int write_log_line(std::FILE* log, const LogTime& utc, int level, int hour, int item,
                   const char* text = nullptr);

// save_GPV and write_log_line: the file could not be written whole.
constexpr int kWriteFailed = -1;

// ---------------------------------------------------------------- output files
// Every output file is written under a temporary name in its own folder,
// ".NAME.PID.part", and renamed onto NAME only once every byte was written,
// flushed, closed and (with sync_output) on the disk; a file that fails is
// removed, so NAME keeps what it held. A ".part" file left behind was cut
// short by a killed process. The names inside the folder are used relative
// to it, so a path longer than the system takes at once works when its
// folder does.
struct OutputFile {
    std::FILE* stream = nullptr;
    std::string name, temp;      // the paths as given
    std::string leaf, temp_leaf; // both names inside the folder
    int folder = -1, fd = -1;    // the open folder and the temporary file
    int error = 0;               // errno of the first write that failed
};

// Whether commit_output syncs the file before the rename and the folder
// after it (the default), so that a crash of the machine leaves NAME whole.
extern bool sync_output;

// The temporary name of an output file name.
std::string temporary_name(const std::string& name);

// Creates the temporary file of `name` (fopen mode `mode`) behind out.stream,
// whose writes go to the file at once and keep the errno of the first that
// fails. out must stay where it is until committed or discarded. False with
// errno set when it cannot be created.
bool open_output(OutputFile& out, const std::string& name, const char* mode);

// Flushes, syncs and closes the file, renames it onto its name and syncs the
// folder. False with errno set (the reason of the first failed write, else of
// the step that failed), the temporary file removed and the named file
// untouched, when any write, the flush, the sync, the close or the rename
// failed.
bool commit_output(OutputFile& out);

// Closes and removes the temporary file.
void discard_output(OutputFile& out);

// The temporary file being written, or nullptr: a signal handler may remove
// it with remove_partial_file (async-signal-safe, as this call is).
const char* partial_file();
void remove_partial_file();

// Opens gpv.log for appending (and reading). A last line that an earlier
// run left cut short (a full disk, a killed process) is dropped first, so
// that no line continues it. Null with errno set when it cannot be opened
// or repaired.
std::FILE* open_log(const std::string& path);

// Appends the n bytes of line (ending in a line feed) to the log in one
// write; a line that reaches the file only in part is taken back. 1 when
// written; 0 with errno set when not.
int append_line(std::FILE* log, const char* line, std::size_t n);

} // namespace gpv
