// The engine: KIVAR's work on forecast files without a window.
//
// Open a GPV or GRIB file (file_kind decides which) into its inventory:
// variables, each one parameter on one kind of level, with their levels,
// forecast hours, ensemble members and grid. Read one field's values and its
// grid's coordinates; write fields as a NetCDF file. The Python module and
// the NetCDF layout of the application go through these routines. The runs
// of the dialog and the command line (a selection's fields extracted to
// files) are in engine/forecast.h, maps in engine/map.h.
//
// Values are those the file holds: GPV fields as `kivar data` writes them,
// GRIB fields in the parameter's own units (kelvin, pascal...) as decoded.
// Rows run north to south (row 0 northernmost; projected grids: row 0 of
// largest y), columns west to east.
//
// Failures come back as an Error carrying the message the command line
// prints for the same fault ("TITLE: TEXT"); nothing is thrown and nothing
// is shown. Datasets may be used from several threads: GRIB fields decode
// in parallel, GPV fields one at a time (the GPV reader's state is
// program-wide, so its calls are serialised by the engine).
#pragma once

#include "grib/grib.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace engine {

// A failure: the title and text the command line prints as "TITLE: TEXT".
struct Error {
    std::string title, text;
    enum Kind {
        None,
        Input,
        Value,
        Output
    } kind = None; // a file that cannot be read,
                   // a request out of range, a
                   // file that cannot be written
    std::string message() const { return title + ": " + text; }
};

enum class FileKind { Gpv, Grib };

// How a grid's points are laid out and what its coordinates look like.
enum class GridLayout {
    LatLon,    // regular in latitude and longitude: 1-D lat (rows) and lon (columns)
    Projected, // rows x cols of a projection (or rotated/Gaussian): 2-D lat/lon
    Points,    // reduced grids: a list of points with their lat/lon
};

struct GridInfo {
    GridLayout layout = GridLayout::LatLon;
    std::string kind;        // "regular_ll", "rotated_ll", "mercator", "polar_stereographic",
                             // "lambert", "regular_gg", "reduced_gg", "reduced_ll", "gpv"
    int template_number = 0; // GRIB grid template 3.N; GPV: 0
    int cols = 0, rows = 0;
    std::size_t points = 0;                // values of a field
    std::string proj;                      // PROJ definition of projected grids, else ""
    double x0 = 0, y0 = 0, dx = 0, dy = 0; // projected grids: metres of row 0, column 0
};

// One parameter on one kind of level.
struct Variable {
    std::string name;          // short name with the level kind: "t_isobaric", "u_height"
    std::string short_name;    // "t", "u", ...
    std::string long_name;     // "Temperature"
    std::string units;         // CF units: "K", "degree_Celsius", "m s-1", ...
    std::string standard_name; // CF standard name, "" when none fits
    int item = 0;              // GPV item code; GRIB: 0
    int discipline = 0, category = 0, number = 0; // GRIB parameter (edition 1: table, number)
    int level_type = 0;         // GRIB type of the first fixed surface; GPV: 100 (hPa) or 1
    std::string level_kind;     // "isobaric", "surface", "msl", "height", "level_N"
    std::string level_units;    // "hPa", "m", "" ...
    std::vector<double> levels; // in level_units, as the file orders them
    std::vector<int> hours;     // forecast hours (statistics: the interval's end), ascending
    std::vector<int> members;   // ensemble members; empty when not an ensemble
    int grid = 0;               // in Inventory::grids
    int interval_hours = 0;     // statistics over an interval (accumulations), else 0
    // The field of (hour, level, member) at fields[(h * L + l) * M + m] (M at
    // least 1), -1 where the file has none.
    std::vector<long> fields;
    std::size_t field_index(std::size_t h, std::size_t l, std::size_t m) const {
        const std::size_t nm = members.empty() ? 1 : members.size();
        return (h * levels.size() + l) * nm + m;
    }
};

struct Inventory {
    FileKind kind = FileKind::Gpv;
    std::string path;
    std::string model; // "RSM", "MSM", ... or the centre's grid steps
    int year = 0, month = 0, day = 0, hour = 0, minute = 0; // reference time, year of 4 digits
    std::vector<GridInfo> grids;
    std::vector<Variable> variables;
    std::vector<std::string> notes; // fields left out and why; a damaged file's message
};

struct Dataset;

// What a file holds: GRIB when a GRIB message (behind a bulletin header or
// padding, too) comes before the first GPV record, else GPV (also for a file
// of neither, which the GPV reader then refuses). Reads the file's first
// 64 KiB; a regular file without a GPV record there is searched further, up
// to that record. The stream is left at its start.
FileKind file_kind(std::FILE* f);

// Opens a file and reads its inventory. Null with `error` set (the command
// line's "kivar: FILE: REASON" for a file that cannot be read, the reader's
// report for one that holds no usable field).
std::shared_ptr<Dataset> open(const std::string& path, Error& error);

const Inventory& inventory(const Dataset& d);

// The variable of a name, or -1.
int find_variable(const Dataset& d, const std::string& name);

// Decodes the field at positions (hour, level, member) of variable v into
// values (grid points of its grid). 1 on success; 0 with `error` set for a
// position out of range, a field the file lacks, or a field that cannot be
// decoded (the reader's report). Missing points are NaN.
int read_field(Dataset& d, int v, int hour_pos, int level_pos, int member_pos,
               std::span<float> values, Error& error);

// The coordinates of grid g: for GridLayout::LatLon `lat` holds rows values
// and `lon` cols values; otherwise each holds one value per point. 1 on
// success; 0 with `error` set when the projection cannot be set up.
int grid_coordinates(const Dataset& d, int g, std::vector<double>& lat, std::vector<double>& lon,
                     Error& error);

// ---------------------------------------------------------------- NetCDF

// One field handed to a NetCDF file.
struct NetcdfField {
    const Variable* variable = nullptr; // names, units, level kind
    double level = 0;
    int hour = 0;
    int member = -1; // -1: not an ensemble
    const GridInfo* grid = nullptr;
    const std::vector<double>* lat = nullptr; // as grid_coordinates gives them
    const std::vector<double>* lon = nullptr;
    std::span<const float> values;
};

// The reference time written as the file's time origin.
struct ReferenceTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
};

// Collects fields in memory and writes them as one netCDF-4 file with CF
// attributes: one variable per parameter and level kind with dimensions
// (time, step, level, [member,] lat, lon), time the run (of length 1) (projected grids: y, x with
// 2-D latitude/longitude and a grid_mapping; reduced grids: one "values" dimension), NaN where a
// combination was not given. The file is written under a temporary name and renamed once complete.
struct NetcdfWriter {
    ReferenceTime reference;
    std::string title; // global "title" attribute, may be empty
    struct Stored;
    std::vector<std::shared_ptr<Stored>> stored;
};

// Adds a copy of a field. False with `error` set when its grid differs from
// the grid of the fields of its variable given before.
bool netcdf_add(NetcdfWriter& w, const NetcdfField& f, Error& error);

// Writes the collected fields to path (title "save_GPV" for errors, the
// text "PATH: REASON"). 1 when written; 0 with `error` set and no file of
// that name changed.
int netcdf_write(const NetcdfWriter& w, const std::string& path, Error& error);

// Writes the given variables (all when `names` is empty) of a dataset, every
// field of them, to one NetCDF file. 1 when written.
int write_netcdf(Dataset& d, const std::vector<std::string>& names, const std::string& path,
                 Error& error);

// ---------------------------------------------------------------- run fields

// The description of an item of the application's runs at a level (0: the
// surface, else hPa): GPV item codes with their texts' units; other codes
// (a GRIB file's further parameters) from `text`, "Name (unit)".
Variable item_variable(int item, int level, const char* text);

// The grid of a GPV model's level (0: the surface's finer grid), with its
// cell centres. False for an unknown model.
bool gpv_grid(int model_code, int level, GridInfo& grid, std::vector<double>& lat,
              std::vector<double>& lon);

// The description of a GRIB grid and its coordinates (as grid_coordinates
// gives them). 0 with `error` set when its projection cannot be set up.
int grib_grid(const grib::Grid& g, GridInfo& grid, std::vector<double>& lat,
              std::vector<double>& lon, Error& error);

} // namespace engine
