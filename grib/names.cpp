// Names of templates and parameters for messages and inventories.
#include "grib/grib.h"

namespace grib {

namespace {

struct TemplateName {
    int section, number;
    const char* name;
};
constexpr TemplateName kTemplates[] = {
    {3, 0, "latitude/longitude"},
    {3, 1, "rotated latitude/longitude"},
    {3, 2, "stretched latitude/longitude"},
    {3, 10, "Mercator"},
    {3, 20, "polar stereographic"},
    {3, 30, "Lambert conformal"},
    {3, 40, "Gaussian latitude/longitude"},
    {3, 50, "spherical harmonic coefficients"},
    {3, 90, "space view perspective"},
    {3, 101, "general unstructured grid"},
    {4, 0, "analysis or forecast at a point in time"},
    {4, 1, "individual ensemble forecast"},
    {4, 2, "derived forecast of all ensemble members"},
    {4, 5, "probability forecast"},
    {4, 8, "statistics over a time interval"},
    {4, 9, "probability over a time interval"},
    {4, 11, "individual ensemble forecast over a time interval"},
    {4, 12, "derived ensemble forecast over a time interval"},
    {4, 15, "statistics over a spatial area"},
    {4, 40, "atmospheric chemical constituents"},
    {5, 0, "simple packing"},
    {5, 1, "matrix values"},
    {5, 2, "complex packing"},
    {5, 3, "complex packing and spatial differencing"},
    {5, 4, "IEEE floating point"},
    {5, 40, "JPEG 2000"},
    {5, 41, "PNG"},
    {5, 42, "CCSDS lossless"},
    {5, 50, "spectral simple packing"},
    {5, 51, "spectral complex packing"},
    {5, 200, "run length packing with level values"},
};

struct ParameterName {
    int discipline, category, number;
    const char* name;
};
constexpr ParameterName kParameters[] = {
    {0, 0, 0, "Temperature (K)"},
    {0, 0, 1, "Virtual temperature (K)"},
    {0, 0, 2, "Potential temperature (K)"},
    {0, 0, 4, "Maximum temperature (K)"},
    {0, 0, 5, "Minimum temperature (K)"},
    {0, 0, 6, "Dew point temperature (K)"},
    {0, 0, 7, "Dew point depression (K)"},
    {0, 1, 0, "Specific humidity (kg/kg)"},
    {0, 1, 1, "Relative humidity (%)"},
    {0, 1, 3, "Precipitable water (kg/m2)"},
    {0, 1, 7, "Precipitation rate (kg/m2/s)"},
    {0, 1, 8, "Total precipitation (kg/m2)"},
    {0, 1, 11, "Snow depth (m)"},
    {0, 1, 52, "Total precipitation rate (kg/m2/s)"},
    {0, 2, 0, "Wind direction (deg)"},
    {0, 2, 1, "Wind speed (m/s)"},
    {0, 2, 2, "u-component of wind (m/s)"},
    {0, 2, 3, "v-component of wind (m/s)"},
    {0, 2, 8, "Vertical velocity (Pa/s)"},
    {0, 2, 9, "Geometric vertical velocity (m/s)"},
    {0, 2, 10, "Absolute vorticity (1/s)"},
    {0, 2, 12, "Relative vorticity (1/s)"},
    {0, 2, 13, "Relative divergence (1/s)"},
    {0, 2, 22, "Wind speed (gust) (m/s)"},
    {0, 3, 0, "Pressure (Pa)"},
    {0, 3, 1, "Pressure reduced to MSL (Pa)"},
    {0, 3, 4, "Geopotential (m2/s2)"},
    {0, 3, 5, "Geopotential height (gpm)"},
    {0, 3, 6, "Geometric height (m)"},
    {0, 4, 7, "Downward short-wave radiation flux (W/m2)"},
    {0, 5, 3, "Downward long-wave radiation flux (W/m2)"},
    {0, 6, 1, "Total cloud cover (%)"},
    {0, 6, 3, "Low cloud cover (%)"},
    {0, 6, 4, "Medium cloud cover (%)"},
    {0, 6, 5, "High cloud cover (%)"},
    {0, 7, 6, "Convective available potential energy (J/kg)"},
    {0, 19, 0, "Visibility (m)"},
    {2, 0, 0, "Land cover (proportion)"},
    {10, 0, 3, "Significant height of wind waves and swell (m)"},
    {10, 3, 0, "Water temperature (K)"},
};

} // namespace

const char* template_name(int section, int number) {
    for (const TemplateName& t : kTemplates)
        if (t.section == section && t.number == number) return t.name;
    return "";
}

std::string parameter_name(int discipline, int category, int number) {
    for (const ParameterName& p : kParameters)
        if (p.discipline == discipline && p.category == category && p.number == number)
            return p.name;
    return "Parameter " + std::to_string(discipline) + "." + std::to_string(category) + "." +
           std::to_string(number);
}

std::string parameter_name1(int, int table_version, int number) {
    return "Parameter " + std::to_string(table_version) + "." + std::to_string(number);
}

} // namespace grib
