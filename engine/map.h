// Weather maps without a window: one page of one field drawn through the
// plotting library from a plain request, to a file or into memory.
//
// A face (the dialog, the command line, Python) fills a MapRequest with the
// field's values on a map grid, its labels and the map's options, and calls
// draw_map. Nothing is shown and nothing is asked: failures come back as an
// Error (title "plot_field" for the map's own faults), and what the face
// shows beside the page (the colour range, a field of one value) comes back
// in the MapResult.
//
// The plotting library is one per process and carries state from page to
// page (the direction of every second tick line, the palette): pages are
// drawn one at a time (draw_map serialises its callers), and a face that
// draws frames it does not write (job workers) asks for them with
// draw_only so that the pages it writes find the library as one process
// leaves it.
#pragma once

#include "engine/engine.h"
#include "gpv/gpv.h"

#include <span>
#include <string>
#include <vector>

namespace engine {

// What a map draws of one field: the values, their cell centres and size.
struct MapGrid {
    gpv::FieldLabel label;          // initial time; min/max: the range of the values
    int cols = 0, rows = 0;         // of the values drawn, row 0 northernmost
    int res_cols = 0, res_rows = 0; // cells over the whole axis, for the cell size
    const float* a = nullptr;       // the field, or u
    const float* b = nullptr;       // v, or null
    const float* lon = nullptr;     // cell centres, cols x rows
    const float* lat = nullptr;
    float lon_span = 0; // longitudes the grid spans over the map, for the arrow length
    // In: the whole grid (every point, its own rows and columns) instead of
    // the part over the fixed map.
    bool whole = false;
    // Out, with whole: the grid's own projection as a PROJ definition ("" for
    // latitude/longitude grids), and whether its winds run along its axes.
    std::string proj;
    bool winds_grid_relative = false;
    // Out, with whole and a projection: the points' coordinates in that plane
    // are x0 + i dx, y0 - j dy (column i, row j).
    bool affine = false;
    double x0 = 0, y0 = 0, dx = 0, dy = 0;
};

// The fixed map's frame (degrees east and north), where GPV fields and grids
// within it are drawn when no other area or projection is asked for.
constexpr float kFixedWest = 119.5f, kFixedEast = 150.5f, kFixedSouth = 19.5f, kFixedNorth = 50.5f;

// One map page.
struct MapRequest {
    MapGrid grid; // a and b: the field, or u and v of a wind map
    int kind = 1; // 1: the field a as coloured cells; 2: arrows of (a, b) coloured by speed
    // The field is a GRIB field: its range and colour bar in the digits its
    // values need, its maps beyond the fixed frame titled with valid times.
    bool grib = false;
    // Drawn over its area through the world coastline (projections, areas
    // and grids beyond the fixed frame); false: the fixed map of the GPV
    // coastline. A GPV field is always false, a GRIB field false only for a
    // grid within the fixed frame with no area or projection asked for (see
    // within_fixed_frame).
    bool geo = false;
    int item = 0, level = 0; // for the contour step chosen per item
    std::string title;       // the title line

    // Output: device keyword of the plotting library ("png", "pdf", "cgm",
    // "tiff", "pscl", "bmp"), and the file; an empty path draws into memory
    // (MapResult::bytes). draw_only draws the frame in memory and writes
    // nothing (see the top of this file). The library keeps 80 characters
    // of a file name: a longer path is written from inside its folder, the
    // process's working folder changed for the page.
    std::string device = "png";
    std::string path;
    bool draw_only = false;

    // The map.
    bool area = false;
    float lon0 = 0, lon1 = 0, lat0 = 0, lat1 = 0; // when area; lon1 may pass 180
    bool fixed = false;     // the fixed frame even for a grid beyond it (when !area)
    int contours = 0;       // 0: none, 1: over the cells, 2: lines only
    float contour_step = 0; // 0: the step of auto_contour_step
    int projection = 0;     // 0 grid's own, platecarree, mercator, lambert, polar-north,
                            // polar-south, robinson, equalearth
    int palette = 0;        // 0 rainbow, viridis, diverging, precipitation
    bool auto_range = true; // else range_low..range_high
    float range_low = 0, range_high = 0;
    float vector_scale = 1.0f; // arrow length, 0.2 .. 2.0
    int vector_density = 1;    // every N-th arrow
    // The fixed map's coastline: points with x < -990 end a line.
    std::span<const float> coast_x, coast_y;

    // A library failure that would end the process instead returns an
    // error ("the library ended the page: REASON"); for faces that must go
    // on (Python). The program keeps the library's behaviour.
    bool recover = false;
    // The library's warnings and end-of-plot report are not printed: the
    // face reports the page's outcome itself (Python).
    bool quiet = false;
    // Called with a failure of the map itself (the area, the projection,
    // the folder) as it arises, before the page is closed, so that a face
    // shows it where it always has; the same error is returned. Failures of
    // the page's file come in MapResult::outcome only. May be null.
    void (*report)(const Error& error) = nullptr;
};

struct MapResult {
    float zmin = 0, zmax = 0; // the colour range used (auto or fixed)
    // The field (its wind speed) has one value on the fixed map with no
    // area: no page is drawn, value is that value.
    bool constant = false;
    float value = 0;
    // What became of the page's file (the plotting library's outcome): 0
    // written (or none asked for), 1 not created (the run may go on), 2 not
    // written whole, 3 the library ended the page (recover); reason why.
    int outcome = 0;
    std::string reason;
    bool drawn = false;               // a page was drawn whole
    std::vector<unsigned char> bytes; // the page, when drawn into memory
};

// The colour range and the checks draw_map starts with, without drawing:
// 1 with result.zmin/zmax (and result.constant); 0 with `error` set when
// the area lies outside the field's grid. Any time.
int map_range(const MapRequest& request, MapResult& result, Error& error);

// Draws one map page. 1 when the page was drawn and written (or drawn into
// memory); 0 with result.constant for a field of one value (no page), or
// with `error` set: the area outside the grid, a projection that cannot
// show the area, a folder that cannot be entered, a file that could not be
// created or written whole (result.outcome says which). Any time, from any
// thread (pages are drawn one at a time).
int draw_map(const MapRequest& request, MapResult& result, Error& error);

// The texts of a map's title line.
struct MapTitle {
    std::string item;      // the item's label; wind maps: "u-v wind field (m/s)"
    std::string level;     // GRIB: the level's name ("850 hPa", "2 m above ground")
    int hour = 0;          // the forecast hour (GRIB files of times in minutes: minutes)
    std::string hour_text; // GRIB: the hour as listed ("6", "0:30")
    bool minutes = false;  // GRIB: the file counts its times in minutes
};

// The title line of a map of request q (its grib, geo, level and the
// initial time of its grid's label): GPV "ITEM  P=LEVEL  DT=YYMMDDHH
// TM=HOUR", GRIB on the fixed map "ITEM  LEVEL  DT=YYMMDDHH TM=HOUR", GRIB
// over an area with the initial and the valid time.
std::string map_title(const MapRequest& q, const MapTitle& t);

// The arrays a map of a dataset's field points into.
struct FieldMap {
    std::vector<float> a, b, lon, lat, coast_x, coast_y;
};

// Fills q (grid, kind, grib, geo, item, level, title, coastline) with the
// field of variable v at positions (hour, level, member) of a dataset, as
// the program draws it; the map's options (area, projection) are set
// before, as they decide the grid. A wind component (GPV items 23 and 24,
// GRIB u and v) makes a map of arrows with its partner. GPV maps take the
// fixed map's coastline from coast_path (map.dat; none when it cannot be
// read). GRIB values stay in the file's units; a grid that is not a regular
// latitude/longitude one is drawn over its extent. 1, or 0 with `error`.
int dataset_map(Dataset& d, int v, int hour_pos, int level_pos, int member_pos,
                const std::string& coast_path, FieldMap& store, MapRequest& q, Error& error);

// Whether every point of a lat/lon grid lies within the fixed frame.
bool within_fixed_frame(const MapGrid& m);

// Reads an area "LON0 LON1 LAT0 LAT1" into area[4]: four numbers, west
// below east (or an east longitude then a west one: across the date line,
// LON1 then gets 360 more), south below north, latitudes within -90..90.
// False with the reason in *why.
bool parse_area(const std::string& text, float area[4], std::string* why);
// Reads a contour step: "auto" (0) or a positive number. False with the
// reason in *why.
bool parse_contour_step(const std::string& text, float& step, std::string* why);

// The contour step used when none is given: 4 hPa for pressure, 3 degrees
// for temperature, heights by level (40 m near the ground, 60 m in the middle
// troposphere, 120 m above 400 hPa), 10 % for humidity and cloud, 5 m/s for
// wind speed; for other items a step of 1, 2 or 5 times a power of ten that
// gives about ten lines over lo..hi.
float auto_contour_step(int item, int level, float lo, float hi);
// The whole multiples of step inside lo..hi, lowest first; when there are
// more than kMaxContourLevels, every second (third...) of them.
constexpr int kMaxContourLevels = 100;
std::vector<float> contour_levels(float step, float lo, float hi);

} // namespace engine
