// Names, units and CF attributes of the engine's variables.
#include "engine/names.h"

#include "gpv/gpv.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <string>

namespace engine {

namespace {

struct Known {
    int discipline, category, number; // GRIB edition 2 parameter
    int table2;                       // the same parameter in GRIB edition 1's WMO table 2
    int table128;                     // and in the European centre's table 128 (0: none)
    const char* short_name;
    const char* long_name;
    const char* units;
    const char* standard_name;
};

constexpr Known kKnown[] = {
    {0, 0, 0, 11, 130, "t", "Temperature", "K", "air_temperature"},
    {0, 0, 6, 17, 168, "dpt", "Dew point temperature", "K", "dew_point_temperature"},
    {0, 1, 0, 51, 133, "q", "Specific humidity", "kg kg-1", "specific_humidity"},
    {0, 1, 1, 52, 157, "r", "Relative humidity", "%", "relative_humidity"},
    {0, 1, 8, 61, 0, "tp", "Total precipitation", "kg m-2", "precipitation_amount"},
    {0, 1, 52, 59, 0, "prate", "Precipitation rate", "kg m-2 s-1", "precipitation_flux"},
    {0, 2, 2, 33, 131, "u", "U component of wind", "m s-1", "eastward_wind"},
    {0, 2, 3, 34, 132, "v", "V component of wind", "m s-1", "northward_wind"},
    {0, 2, 8, 39, 135, "w", "Vertical velocity (pressure)", "Pa s-1",
     "lagrangian_tendency_of_air_pressure"},
    {0, 3, 0, 1, 134, "sp", "Pressure", "Pa", "air_pressure"},
    {0, 3, 1, 2, 151, "prmsl", "Pressure reduced to MSL", "Pa", "air_pressure_at_mean_sea_level"},
    {0, 3, 4, 6, 129, "z", "Geopotential", "m2 s-2", "geopotential"},
    {0, 3, 5, 7, 156, "gh", "Geopotential height", "m", "geopotential_height"},
    {0, 6, 1, 71, 0, "tcc", "Total cloud cover", "%", "cloud_area_fraction"},
};

struct GpvItem {
    int item;
    const char* short_name;
    const char* units;
    const char* standard_name;
};
constexpr GpvItem kGpvItems[] = {
    {1, "p", "hPa", "air_pressure"},
    {4, "t", "degree_Celsius", "air_temperature"},
    {13, "r", "%", "relative_humidity"},
    {23, "u", "m s-1", "eastward_wind"},
    {24, "v", "m s-1", "northward_wind"},
    {42, "w", "hPa h-1", "lagrangian_tendency_of_air_pressure"},
    {49, "rain", "mm h-1", "lwe_precipitation_rate"},
    {102, "gh", "m", "geopotential_height"},
    {225, "tcc", "%", "cloud_area_fraction"},
};

// "Name (unit)" into its two parts.
void split_name(const std::string& text, std::string& name, std::string& unit) {
    const std::size_t open = text.rfind(" (");
    if (open != std::string::npos && text.back() == ')') {
        name = text.substr(0, open);
        unit = text.substr(open + 2, text.size() - open - 3);
    } else {
        name = text, unit = "";
    }
}

} // namespace

void describe_gpv_item(int item, bool surface, Variable& v) {
    const char* text = gpv::item_text(item);
    std::string unit;
    split_name(text ? text : "Item " + std::to_string(item), v.long_name, unit);
    v.short_name = "item" + std::to_string(item);
    v.units = unit;
    for (const GpvItem& g : kGpvItems)
        if (g.item == item) {
            v.short_name = g.short_name, v.units = g.units, v.standard_name = g.standard_name;
            if (item == 1 && surface) v.standard_name = "air_pressure_at_mean_sea_level";
        }
}

void describe_grib_parameter(const grib::Field& f, Variable& v) {
    for (const Known& k : kKnown) {
        const bool match =
            f.edition == 1
                ? (f.table_version >= 1 && f.table_version <= 3 && f.number == k.table2) ||
                      (f.centre == 98 && f.table_version == 128 && k.table128 &&
                       f.number == k.table128)
                : f.discipline == k.discipline && f.category == k.category && f.number == k.number;
        if (!match) continue;
        v.short_name = k.short_name, v.long_name = k.long_name;
        v.units = k.units, v.standard_name = k.standard_name;
        if (std::string(k.short_name) == "sp" && f.level_type == 1)
            v.standard_name = "surface_air_pressure";
        return;
    }
    std::string text;
    char name[48];
    if (f.edition == 1) {
        text = grib::parameter_name1(f.centre, f.table_version, f.number);
        std::snprintf(name, sizeof name, "p%d_%d", f.table_version, f.number);
    } else {
        text = grib::parameter_name(f.discipline, f.category, f.number);
        std::snprintf(name, sizeof name, "p%d_%d_%d", f.discipline, f.category, f.number);
    }
    v.short_name = name;
    split_name(text, v.long_name, v.units);
}

void describe_grib_level(int level_type, Variable& v) {
    switch (level_type) {
    case 1:
        v.level_kind = "surface", v.level_units = "";
        break;
    case 100:
        v.level_kind = "isobaric", v.level_units = "hPa";
        break;
    case 101:
        v.level_kind = "msl", v.level_units = "";
        break;
    case 102:
        v.level_kind = "altitude", v.level_units = "m";
        break;
    case 103:
        v.level_kind = "height", v.level_units = "m";
        break;
    case 105:
        v.level_kind = "hybrid", v.level_units = "";
        break;
    case 106:
        v.level_kind = "depth", v.level_units = "m";
        break;
    default:
        v.level_kind = "level" + std::to_string(level_type), v.level_units = "";
    }
}

std::string grib_model_name(const grib::Field& f) {
    const grib::Grid& g = f.grid;
    auto near = [](double x, double y) { return std::fabs(x - y) < 1e-6; };
    const bool regional =
        std::fabs(g.lon_west - 120.0) < 0.01 && std::fabs(g.lat_north - 47.6) < 0.01;
    if (f.centre == 34 && regional &&
        ((near(g.lon_step, 0.0625) && near(g.lat_step, 0.05)) ||
         (near(g.lon_step, 0.125) && near(g.lat_step, 0.1)) ||
         (near(g.lon_step, 0.25) && near(g.lat_step, 0.2))))
        return "MSM";
    if (f.centre == 34 && near(g.lon_step, 0.025) && near(g.lat_step, 0.02)) return "LFM";
    if (f.centre == 34 && g.cols * g.lon_step > 359.0) return "GSM";
    char text[64];
    std::snprintf(text, sizeof text, "%gx%g", g.lon_step, g.lat_step);
    return text;
}

void name_variables(std::vector<Variable>& variables) {
    std::map<std::string, int> seen;
    for (Variable& v : variables) {
        std::string base = v.short_name + "_" + v.level_kind;
        const int n = ++seen[base];
        v.name = n == 1 ? base : base + "_" + std::to_string(n);
    }
}

} // namespace engine
