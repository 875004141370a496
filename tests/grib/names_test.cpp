// Parameter names from the generated tables: the WMO tables, a centre's
// local entries only for that centre, and the fallback for unknown numbers.
#include "grib/grib.h"

#include <gtest/gtest.h>

namespace {

TEST(GribNames, ParametersByTheirTables) {
    struct Edition2 {
        int discipline, category, number, centre;
        const char* name;
    };
    const Edition2 two[] = {
        {0, 1, 37, 0, "Convective precipitation rate (kg m-2 s-1)"},
        {0, 1, 0, 34, "Specific humidity (kg/kg)"},
        {10, 0, 3, 0, "Significant height of combined wind waves and swell (m)"},
        {0, 1, 192, 7, "Categorical rain (Code table 4.222)"},
        {0, 1, 192, 34, "Parameter 0.1.192"}, // the US centre's entry is not the WMO's
        {0, 1, 300, 0, "Parameter 0.1.300"},
        {-1, 0, 0, 0, "Parameter -1.0.0"},
    };
    for (const Edition2& p : two)
        EXPECT_EQ(grib::parameter_name(p.discipline, p.category, p.number, p.centre), p.name);

    struct Edition1 {
        int centre, table, number;
        const char* name;
    };
    const Edition1 one[] = {
        {98, 128, 167, "2 metre temperature (K)"},
        {34, 200, 61, "Mean total precipitation (mm per day)"},
        {78, 2, 11, "Temperature (K)"},
        {7, 2, 33, "U component of wind (m s-1)"}, // the WMO table where the centre has none
        {74, 3, 11, "Temperature (K)"},
        {74, 128, 167, "Parameter 128.167"}, // another centre's local table is not used
        {98, 400, 1, "Parameter 400.1"},
    };
    for (const Edition1& p : one)
        EXPECT_EQ(grib::parameter_name1(p.centre, p.table, p.number), p.name);
}

} // namespace
