// The NetCDF layout of "Save extracted data as": every field of a run goes
// into one NetCDF-CF file, written when the run ends.
#pragma once

#include "gpv/gpv.h"

#include <span>
#include <string>

namespace app {

// The text of the layout's entry in the data format list, and its position
// there (behind the layouts of gpv::Layout).
constexpr const char* kNetcdfLayout = "NetCDF";
constexpr int kNetcdfLayoutPosition = gpv::kLayoutCount;

// Starts a run: forgets the fields of an earlier one.
void netcdf_begin();

// Keeps a copy of the field extracted last (of the open file) for the run's
// file, named after the run's first field: its output file name with ".nc".
// False with `why` set when the field's grid cannot be described.
bool netcdf_add(std::span<const float> field, int item, int level, int hour, std::string& why);

// Writes the run's file into save_dir, whole or not at all. 1 when written
// (or when the run had no field); 0 with `file` and `why` set when not.
int netcdf_end(const std::string& save_dir, std::string& file, std::string& why);

} // namespace app
