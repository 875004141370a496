// The engine's runs over the open forecast file, whatever its format: its
// model and initial time, its levels, the items of a level, its forecast
// hours; the fields of a selection extracted one after another, each
// written to a file of its layout (forecast_save) or handed to a map
// (forecast_map_grid, draw_map). The dialog's Open and Execute and
// `kivar info|data|image` go through these routines only; each file format
// implements them (GPV through gpv/, GRIB editions 1 and 2 through grib/).
// Failures are reported where they arise, as the format's own routines
// report them. One file is open at a time, in the program's own state.
#pragma once

#include "engine/map.h"
#include "gpv/gpv.h"

#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace engine {

enum class FileFormat { Gpv, Grib };

// What is known of the open file, filled by forecast_open.
struct ForecastView {
    FileFormat format = FileFormat::Gpv;
    std::string model_name;
    int model_code = 0;
    int init_year = 0, init_month = 0, init_day = 0, init_hour = 0,
        init_minute = 0;     // year of 2 digits
    std::vector<int> levels; // GPV: hPa, 0 is the surface; GRIB: level codes (forecast_grib.cpp)
    std::vector<std::string> level_names; // GRIB: the lists' text of each level; GPV: empty
    std::vector<int> items; // item codes at the level chosen last (forecast_choose_level)
    std::vector<int> hours; // forecast hours (GRIB files with times off the whole hour: minutes)
    std::vector<std::string> hour_names; // GRIB in minutes: "H:MM" of each; else empty
    int largest_grid_count = 0;
    std::vector<std::string> notes; // further lines of `kivar info`
};
extern ForecastView forecast;

// The format of a file (file_kind): Grib when a GRIB message
// (edition 1 or 2, with a consistent indicator and section 1) comes before
// the first GPV record, behind a WMO bulletin header or padding or not, else
// Gpv.
FileFormat sniff_format(std::FILE* f);

// The text of level position pos in the lists: the GRIB level's name, or the
// GPV level's number.
std::string forecast_level_text(int pos);

// The text of hour position pos in the lists: "H:MM" for a GRIB file of
// times in minutes, else the hour's number.
std::string forecast_hour_text(int pos);

// The text of an hour in titles: "H:MM" for a GRIB file of times in
// minutes, else the hour's number.
std::string forecast_hour_label(int hour);

// The text of a level code in titles and messages: "850" for GPV files,
// the level's name ("850 hPa", "2 m above ground") for GRIB files.
std::string forecast_level_label(int level);

// The output file name (without extension) of the field extracted last.
std::string forecast_output_name(const char* save_dir, int item, int level, int hour);

// Reads the inventory of the open file f (path for messages) into
// `forecast`, the items of the first level included. 1 on success; 0 when the
// file has no usable field (after a report when the format gave one), and
// then `forecast` keeps the lists of the file opened before.
int forecast_open(std::FILE* f, const std::string& path);

// Fills forecast.items with the items of level position pos. 1 on success, 0
// when the level has none (after the format's report), the items unchanged.
int forecast_choose_level(int pos);

// The display text of an item into text (at least 64 bytes). 0 after a
// report titled "id2str" when the item has none.
int forecast_item_label(int item, char* text);

// The display text of an item, or nullptr; reports nothing.
const char* forecast_item_name(int item);

// Number of fields a selection asks for.
int forecast_field_count(const gpv::Selection& sel);

// gpv::extract_next's contract for the open file: pass -1 starts a run, 0
// goes on with "All items", 1 extracts the caller's level, item and hour.
// Returns 0 (nothing extracted), 1 (the last field) or 2 (more follow).
int forecast_extract_next(std::FILE* f, const gpv::Selection& sel, std::span<float> field,
                          int& level, int& item, int& hour, int& pass);

// The label (grid, model, initial time, range) of the field extracted last.
gpv::FieldLabel forecast_field_label();

// Writes the field extracted last as TEXT or CSV, as gpv::save_GPV does
// (GRIB fields with every value as "%.7g", under their own names), or as
// points (gpv::save_points) with the latitude and longitude of each point of
// its grid (GPV: the cell centres).
int forecast_save(const char* save_dir, int layout, std::span<const float> field, int item,
                  int level, int hour);

// The map grid of the field extracted last, with the values a and b (b may
// be null) of that field. false when the work arrays cannot hold its grid.
bool forecast_map_grid(const float* a, const float* b, MapGrid& grid);

// Forgets the open file's inventory and buffers.
void forecast_close();

} // namespace engine
