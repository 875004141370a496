// Helpers of the grid readers of both editions (not part of the public
// interface).
#pragma once

#include "grib/grib.h"

#include <string>

namespace grib {

// The PROJ definitions the readers give projected grids, with the earth's
// semi-axes a and b in metres (degrees for the angles):
//   Lambert conformal    "+proj=lcc +lat_0=LAD +lon_0=LOV +lat_1=LATIN1 +lat_2=LATIN2 +a=A +b=B"
//   polar stereographic  "+proj=stere +lat_0=90 (or -90) +lat_ts=LAD +lon_0=LOV +a=A +b=B"
//   Mercator             "+proj=merc +lat_ts=LAD +lon_0=0 +a=A +b=B"
// built by this routine so that both editions agree to the letter.
std::string lambert_proj(double lad, double lov, double latin1, double latin2, double a, double b);
std::string polar_proj(bool south, double lad, double lov, double a, double b);
std::string mercator_proj(double lad, double a, double b);

// Sets grid.x0 and grid.y0 (row 0, column 0 as delivered) from the latitude
// and longitude of the file's first point, once grid.proj, cols, rows, dx,
// dy and scan_mode are set. false with problem set when PROJ refuses the
// definition or the point.
bool place_projected_grid(Grid& grid, double first_lat, double first_lon, std::string& problem);

} // namespace grib
