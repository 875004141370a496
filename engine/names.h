// Names, units and CF attributes of the engine's variables (not part of the
// public interface).
#pragma once

#include "engine/engine.h"
#include "grib/grib.h"

#include <vector>

namespace engine {

// Short name, long name, units and standard name of a GPV item (its texts'
// units; at the surface, pressure is the sea-level pressure).
void describe_gpv_item(int item, bool surface, Variable& v);

// The same of a GRIB field's parameter, in the parameter's own units.
void describe_grib_parameter(const grib::Field& f, Variable& v);

// level_kind and level_units of a GRIB type of fixed surface.
void describe_grib_level(int level_type, Variable& v);

// The model of a GRIB file by its first field's centre and grid: "MSM",
// "LFM", "GSM", or the grid's steps.
std::string grib_model_name(const grib::Field& f);

// Sets each variable's name to "SHORT_LEVELKIND", with "_2", "_3"... for
// repeats (one parameter and level kind on several grids).
void name_variables(std::vector<Variable>& variables);

} // namespace engine
