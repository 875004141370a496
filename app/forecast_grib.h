// The forecast file view of GRIB edition 2 files (see forecast.h): the
// routines forecast.cpp calls when the open file is one.
#pragma once

#include "app/forecast.h"

namespace app::grib_view {

int open(std::FILE* f, const std::string& path);
int choose_level(int pos);
int item_label(int item, char* text);
const char* item_name(int item);
int field_count(const gpv::Selection& sel);
int extract_next(const gpv::Selection& sel, std::span<float> field, int& level, int& item,
                 int& hour, int& pass);
gpv::FieldLabel field_label();
bool map_grid(const float* a, const float* b, MapGrid& grid);
// The latitude and longitude of every point of the field extracted last, in
// the order of its values; false after a report when there is none.
bool point_coordinates(std::span<const double>& lat, std::span<const double>& lon);
void close();

} // namespace app::grib_view
