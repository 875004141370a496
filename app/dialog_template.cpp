#include "app/dialog_template.h"

#include "app/control_ids.h"

#include <iterator>

namespace app {

namespace {

using platform::ControlKind;
using K = ControlKind;
constexpr int R = platform::AlignRight;
constexpr int L = platform::AlignLeft;
constexpr int C = platform::AlignCenter;

const platform::ControlSpec controls[] = {
    {IDC_GROUP_ITEM, K::GroupBox, "Item", 8, 6, 137, 83, L},
    {IDC_LABEL_PRESSURE, K::Label, "Pressure (hPa):", 14, 23, 59, 12, R},
    {IDC_LEVEL_LIST, K::List, "", 79, 22, 42, 93, L},
    {IDC_LABEL_FORECAST, K::Label, "Forecast time (hr):", 9, 45, 64, 12, R},
    {IDC_HOUR_LIST, K::List, "", 79, 44, 36, 78, L},
    {IDC_LABEL_ITEM, K::Label, "Item:", 20, 65, 27, 12, R},
    {IDC_ITEM_LIST, K::List, "", 53, 65, 83, 93, L},
    {IDC_GROUP_OUTPUT, K::GroupBox, "Output options", 8, 96, 137, 76, L},
    {IDC_LABEL_DATA_FORMAT, K::Label, "Save extracted data as:", 12, 113, 78, 12, R},
    {IDC_DATA_FORMAT, K::List, "", 94, 112, 43, 42, L},
    {IDC_SELECTED_ONLY, K::RadioButton, "Selected only", 23, 134, 59, 10,
     L | platform::StartsGroup},
    {IDC_ALL_ITEMS, K::RadioButton, "All items", 23, 149, 45, 10, L},
    {IDC_MODE_DATA, K::RadioButton, "Data", 93, 134, 32, 10, L | platform::StartsGroup},
    {IDC_MODE_IMAGE, K::RadioButton, "Image", 93, 149, 35, 10, L},
    {IDC_GROUP_GRAPH, K::GroupBox, "Graph", 8, 178, 137, 134, L},
    {IDC_LABEL_FORMAT, K::Label, "Image format:", 27, 193, 52, 12, R},
    {IDC_FORMAT_LIST, K::List, "", 87, 193, 42, 93, L},
    {IDC_LABEL_VECTOR_SCALE, K::Label, "Vector length scale:", 11, 215, 68, 12, R},
    {IDC_VECTOR_SCALE, K::List, "", 87, 215, 37, 40, L},
    {IDC_LABEL_VECTOR_DENSITY, K::Label, "Vector density:", 23, 237, 56, 12, R},
    {IDC_VECTOR_DENSITY, K::List, "", 87, 237, 37, 40, L},
    {IDC_AUTO_SCALE, K::CheckBox, "Auto contour scale", 40, 260, 71, 10, L},
    {IDC_LABEL_RANGE, K::Label, "Contour scale range:", 31, 277, 68, 12, L},
    {IDC_RANGE_LOW, K::EditField, "", 31, 290, 37, 12, L},
    {IDC_LABEL_TO, K::Label, "to", 70, 290, 17, 12, C},
    {IDC_RANGE_HIGH, K::EditField, "", 89, 290, 37, 12, L},
    {IDC_EXECUTE, K::PushButton, "E&xecute", 38, 318, 40, 14, C | platform::DefaultButton},
    {IDC_LABEL_SAVE_PATH, K::Label, "Save to (path):", 91, 324, 55, 12, R},
    {IDC_SAVE_PATH, K::EditField, "", 153, 323, 99, 12, L},
    {IDC_LABEL_MODEL, K::Label, "Model:", 258, 323, 25, 12, R},
    {IDC_MODEL, K::Label, "NON", 286, 323, 20, 12, L},
    {IDC_LABEL_INIT_TIME, K::Label, "Initialize time (hr):", 304, 323, 54, 12, R},
    {IDC_INIT_TIME, K::Label, "0:00", 361, 323, 18, 12, L},
    {IDC_LABEL_STATUS, K::Label, "Status:", 380, 323, 24, 12, R},
    {IDC_STATUS, K::Label, "NON", 407, 323, 74, 12, L},
    {IDC_PICTURE_FRAME, K::Frame, "", 154, 11, 327, 303, L},
};

const platform::MenuSpec menu[] = {
    {"&File", "&Open", IDM_OPEN},
    {"&File", nullptr, 0},
    {"&File", "E&xit", IDM_EXIT},
    {"&Map", "&Coloured cells", IDM_MAP_CELLS, platform::MenuRadio},
    {"&Map", "Cells and c&ontours", IDM_MAP_CONTOURS, platform::MenuRadio},
    {"&Map", "Contours o&nly", IDM_MAP_CONTOURS_ONLY, platform::MenuRadio},
    {"&Map", nullptr, 0},
    {"&Map", "Contour &step...", IDM_MAP_STEP},
    {"&Map", nullptr, 0},
    {"&Map", "Area: the fixed Japan map", IDM_MAP_AREA_FIXED, platform::MenuRadio},
    {"&Map", "Area: the grid's extent", IDM_MAP_AREA_GRID, platform::MenuRadio},
    {"&Map", "Area: East Asia", IDM_MAP_AREA_EAST_ASIA, platform::MenuRadio},
    {"&Map", "Area: the globe", IDM_MAP_AREA_GLOBE, platform::MenuRadio},
    {"&Map", "&Area...", IDM_MAP_AREA, platform::MenuRadio},
    {"&Map", nullptr, 0},
    {"&Map", "Projection: the grid's own", IDM_MAP_PROJECTION + 0, platform::MenuRadio},
    {"&Map", "Projection: plate carree", IDM_MAP_PROJECTION + 1, platform::MenuRadio},
    {"&Map", "Projection: Mercator", IDM_MAP_PROJECTION + 2, platform::MenuRadio},
    {"&Map", "Projection: Lambert conformal", IDM_MAP_PROJECTION + 3, platform::MenuRadio},
    {"&Map", "Projection: polar stereographic north", IDM_MAP_PROJECTION + 4, platform::MenuRadio},
    {"&Map", "Projection: polar stereographic south", IDM_MAP_PROJECTION + 5, platform::MenuRadio},
    {"&Map", "Projection: Robinson", IDM_MAP_PROJECTION + 6, platform::MenuRadio},
    {"&Map", "Projection: equal earth", IDM_MAP_PROJECTION + 7, platform::MenuRadio},
    {"&Map", nullptr, 0},
    {"&Map", "Palette: rainbow", IDM_MAP_PALETTE + 0, platform::MenuRadio},
    {"&Map", "Palette: viridis-like", IDM_MAP_PALETTE + 1, platform::MenuRadio},
    {"&Map", "Palette: diverging", IDM_MAP_PALETTE + 2, platform::MenuRadio},
    {"&Map", "Palette: precipitation", IDM_MAP_PALETTE + 3, platform::MenuRadio},
    {"&Help", "&User's guide", IDM_USERS_GUIDE},
};

} // namespace

const platform::DialogTemplate dialog_template = {
    494,      363,
    controls, static_cast<int>(std::size(controls)),
    menu,     static_cast<int>(std::size(menu)),
};

} // namespace app
