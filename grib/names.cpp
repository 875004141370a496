// Names of templates and parameters for messages and inventories.
#include "grib/grib.h"
#include "grib/parameter_tables.h"

#include <algorithm>

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
    {3, 41, "rotated Gaussian latitude/longitude"},
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

// The name of a key in a sorted table, or nullptr.
const char* find(const tables::Parameter* table, std::size_t count, std::uint32_t key) {
    const tables::Parameter* end = table + count;
    const tables::Parameter* p = std::lower_bound(
        table, end, key, [](const tables::Parameter& e, std::uint32_t k) { return e.key < k; });
    return p != end && p->key == key ? p->name : nullptr;
}

} // namespace

const char* template_name(int section, int number) {
    for (const TemplateName& t : kTemplates)
        if (t.section == section && t.number == number) return t.name;
    return "";
}

std::string parameter_name(int discipline, int category, int number, int centre) {
    if (discipline >= 0 && discipline < 256 && category >= 0 && category < 256 && number >= 0 &&
        number < 256) {
        const auto key = static_cast<std::uint32_t>(discipline << 16 | category << 8 | number);
        const char* name = nullptr;
        if (centre > 0 && centre < 256)
            name = find(tables::kParameters2, tables::kParameters2Count,
                        static_cast<std::uint32_t>(centre) << 24 | key);
        if (!name) name = find(tables::kParameters2, tables::kParameters2Count, key);
        if (name) return name;
    }
    return "Parameter " + std::to_string(discipline) + "." + std::to_string(category) + "." +
           std::to_string(number);
}

std::string parameter_name1(int centre, int table_version, int number) {
    if (table_version >= 0 && table_version < 256 && number >= 0 && number < 256) {
        const auto key = static_cast<std::uint32_t>(table_version << 8 | number);
        const char* name = nullptr;
        if (centre > 0 && centre < 65536)
            name = find(tables::kParameters1, tables::kParameters1Count,
                        static_cast<std::uint32_t>(centre) << 16 | key);
        // The WMO table for the versions it has, whatever the centre.
        if (!name && table_version >= 1 && table_version <= 3)
            name = find(tables::kParameters1, tables::kParameters1Count, key);
        if (name) return name;
    }
    return "Parameter " + std::to_string(table_version) + "." + std::to_string(number);
}

} // namespace grib
