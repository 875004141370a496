// Identifiers of the dialog's controls and menu commands.
#pragma once

namespace app {

enum ControlId {
    IDC_EXECUTE = 1,
    IDC_GROUP_ITEM = 101,
    IDC_PICTURE_FRAME = 102,
    IDC_LABEL_PRESSURE = 103,
    IDC_LABEL_FORECAST = 104,
    IDC_LABEL_ITEM = 105,
    IDC_LABEL_INIT_TIME = 106,
    IDC_GROUP_OUTPUT = 107,
    IDC_LEVEL_LIST = 108,
    IDC_HOUR_LIST = 109,
    IDC_ITEM_LIST = 110,
    IDC_FORMAT_LIST = 111,
    IDC_INIT_TIME = 112,
    IDC_GROUP_GRAPH = 113,
    IDC_LABEL_FORMAT = 114,
    IDC_LABEL_STATUS = 115,
    IDC_STATUS = 116,
    IDC_LABEL_SAVE_PATH = 118,
    IDC_SAVE_PATH = 119,
    IDC_AUTO_SCALE = 120,
    IDC_LABEL_RANGE = 121,
    IDC_RANGE_LOW = 122,
    IDC_LABEL_TO = 123,
    IDC_RANGE_HIGH = 124,
    IDC_LABEL_MODEL = 125,
    IDC_MODEL = 126,
    IDC_LABEL_VECTOR_SCALE = 127,
    IDC_VECTOR_DENSITY = 128,
    IDC_VECTOR_SCALE = 129,
    IDC_LABEL_VECTOR_DENSITY = 130,
    IDC_SELECTED_ONLY = 131,
    IDC_ALL_ITEMS = 132,
    IDC_DATA_FORMAT = 133,
    IDC_MODE_DATA = 134,
    IDC_MODE_IMAGE = 135,
    IDC_LABEL_DATA_FORMAT = 136,
};

enum MenuCommand {
    IDM_OPEN = 1021,
    IDM_EXIT = 1031,
    IDM_USERS_GUIDE = 1032,
    IDM_MAP_CELLS = 1041,         // coloured cells (or arrows) only
    IDM_MAP_CONTOURS = 1042,      // cells and labelled contour lines
    IDM_MAP_CONTOURS_ONLY = 1043, // contour lines without the cells
    IDM_MAP_STEP = 1044,          // asks for the contour step
    IDM_MAP_AREA = 1045,          // asks for the map's area
    IDM_MAP_AREA_FIXED = 1046,    // the fixed Japan map
    IDM_MAP_AREA_GRID = 1047,     // the grid's extent (the fixed map for its own grids)
    IDM_MAP_AREA_EAST_ASIA = 1048,
    IDM_MAP_AREA_GLOBE = 1049,
    IDM_MAP_PROJECTION = 1050, // 1050..1057: kProjectionNames
    IDM_MAP_PALETTE = 1060,    // 1060..1063: kPaletteNames
};

} // namespace app
