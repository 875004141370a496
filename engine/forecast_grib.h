// The forecast file view of GRIB files (see forecast.h): the
// routines forecast.cpp calls when the open file is one.
#pragma once

#include "engine/forecast.h"
#include "grib/grib.h"

namespace engine::grib_view {

int open(std::FILE* f, const std::string& path);
int choose_level(int pos);
int item_label(int item, char* text);
const char* item_name(int item);
int field_count(const gpv::Selection& sel);
int extract_next(const gpv::Selection& sel, std::span<float> field, int& level, int& item,
                 int& hour, int& pass);
gpv::FieldLabel field_label();
// The name of a level code of the open file, or nullptr.
const std::string* level_name(int code);
// The output file name (no extension) of a field extracted last.
std::string output_name(const char* save_dir, int item, int level, int hour);
// Writes the field extracted last as TEXT or CSV (save_field's contract).
int save(const char* save_dir, int layout, std::span<const float> field, int item, int level,
         int hour);
const grib::Grid* field_grid(); // of the field extracted last, or null
bool map_grid(const float* a, const float* b, MapGrid& grid);
// The PROJ definition of a rotated latitude/longitude grid's own plane
// (rotated longitude and latitude in degrees), from its south pole.
std::string rotated_proj(const grib::Grid& g);
// The part over the fixed frame (119.5-150.5 E, 19.5-50.5 N) of a regular
// latitude/longitude grid g and the values a and b (b may be null) of a
// field on it: into pa, pb, lon and lat, and m's sizes, range and pointers
// to them. False when no point of g lies in the frame.
bool frame_part(const grib::Grid& g, const float* a, const float* b, std::vector<float>& pa,
                std::vector<float>& pb, std::vector<float>& lon, std::vector<float>& lat,
                MapGrid& m);
// The latitude and longitude of every point of the field extracted last, in
// the order of its values; false after a report when there is none.
bool point_coordinates(std::span<const double>& lat, std::span<const double>& lon);
void close();

} // namespace engine::grib_view
