// Helpers of the grid readers of both editions (not part of the public
// interface).
#pragma once

#include "grib/grib.h"

#include <cstdint>
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

// Reads section 3 of a GRIB edition 2 message (s3, len bytes from its length
// octets) into grid: templates 3.0, 3.1, 3.10, 3.20, 3.30, 3.40 and 3.41, with the
// list of points per row of reduced grids and the shape of the earth. false
// with problem set (without the message's number) for other templates, which
// are named, and for a grid that cannot be true (absurd sizes are refused
// before anything is allocated for them).
bool parse_grid_section(const std::uint8_t* s3, std::uint32_t len, Grid& grid,
                        std::string& problem);

// The semi-axes in metres of the shape of the earth `shape` (code table 3.2)
// with its scaled radius or axes (octets 16 to 30 of section 3); false for an
// unknown shape or a missing radius.
bool earth_shape(int shape, const std::uint8_t* scaled, double& a, double& b);

// Puts values in the file's scanning order (the first grid.count() of
// file_order) into the delivered order of the grid (see Grid).
void to_grid_order(const Grid& grid, const float* file_order, float* values);

// The latitudes of a Gaussian grid of n parallels between a pole and the
// equator, from the north: 2 n values, the roots of the Legendre polynomial
// of degree 2 n, in degrees.
void gaussian_latitudes(int n, double* lat);

// The latitude of row `row` (0 the northernmost) of a Gaussian grid of n
// parallels between a pole and the equator, as gaussian_latitudes gives it;
// NaN beyond the 2 n rows. Costs O(n), where the whole set costs O(n^2).
double gaussian_latitude(int n, int row);

} // namespace grib
