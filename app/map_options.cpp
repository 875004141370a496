// The Map menu: contour lines over the map or instead of its cells, their
// step, and the area the map shows. The choices stay for the session; the
// command line sets them through the same commands.
#include "app/app.h"

#include "app/control_ids.h"

#include <cmath>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <sstream>

namespace app {

namespace {

// A number as the step box shows it.
std::string step_text(float step) {
    if (step <= 0) return "auto";
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(step));
    return text;
}

} // namespace

bool parse_area(const std::string& text, MapOptions& o, std::string* why) {
    float v[4];
    if (!engine::parse_area(text, v, why)) return false;
    o.area = true;
    o.lon0 = v[0], o.lon1 = v[1], o.lat0 = v[2], o.lat1 = v[3];
    return true;
}

void map_mode_command(int command) {
    const int entries[] = {IDM_MAP_CELLS, IDM_MAP_CONTOURS, IDM_MAP_CONTOURS_ONLY};
    for (int k = 0; k < 3; ++k) {
        platform::set_menu_checked(entries[k], entries[k] == command);
        if (entries[k] == command) state.map.contours = k;
    }
}

void set_map_contours(int contours) {
    const int entries[] = {IDM_MAP_CELLS, IDM_MAP_CONTOURS, IDM_MAP_CONTOURS_ONLY};
    if (contours >= 0 && contours < 3) map_mode_command(entries[contours]);
}

int contour_step_command() {
    std::string text = step_text(state.map.step);
    if (!platform::ask_text("Map", "Contour step (a number, or auto):", text)) return 0;
    return set_contour_step(text);
}

int set_contour_step(const std::string& text) {
    std::istringstream in(text);
    std::string word, extra;
    in >> word >> extra;
    if (word == "auto" && extra.empty()) {
        state.map.step = 0;
        return 1;
    }
    float step = 0;
    std::string why;
    if (!engine::parse_contour_step(text, step, &why)) {
        platform::message_box(why.c_str(), "Map", true);
        return 0;
    }
    state.map.step = step;
    return 1;
}

namespace {

// Checks the one area entry of the menu that is in force.
void check_area_entry(int command) {
    const int entries[] = {IDM_MAP_AREA_FIXED, IDM_MAP_AREA_GRID, IDM_MAP_AREA_EAST_ASIA,
                           IDM_MAP_AREA_GLOBE, IDM_MAP_AREA};
    for (int e : entries)
        platform::set_menu_checked(e, e == command);
}

} // namespace

void area_preset_command(int command) {
    MapOptions& o = state.map;
    o.area = command == IDM_MAP_AREA_EAST_ASIA || command == IDM_MAP_AREA_GLOBE;
    o.fixed = command == IDM_MAP_AREA_FIXED;
    if (command == IDM_MAP_AREA_EAST_ASIA) o.lon0 = 90, o.lon1 = 160, o.lat0 = 10, o.lat1 = 60;
    if (command == IDM_MAP_AREA_GLOBE) o.lon0 = -180, o.lon1 = 180, o.lat0 = -90, o.lat1 = 90;
    check_area_entry(command);
}

void map_choice_command(int command) {
    const bool palette = command >= IDM_MAP_PALETTE;
    const int first = palette ? IDM_MAP_PALETTE : IDM_MAP_PROJECTION;
    const int count = palette ? int(std::size(kPaletteNames)) : int(std::size(kProjectionNames));
    if (command - first >= count) return;
    for (int k = 0; k < count; ++k)
        platform::set_menu_checked(first + k, first + k == command);
    (palette ? state.map.palette : state.map.projection) = command - first;
}

bool choose_map_option(bool palette, const std::string& name) {
    const std::span<const char* const> names = palette
                                                   ? std::span<const char* const>(kPaletteNames)
                                                   : std::span<const char* const>(kProjectionNames);
    for (std::size_t k = 0; k < names.size(); ++k)
        if (name == names[k]) {
            map_choice_command((palette ? IDM_MAP_PALETTE : IDM_MAP_PROJECTION) + int(k));
            return true;
        }
    return false;
}

int area_command() {
    std::string text;
    if (state.map.area) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "%g %g %g %g", double(state.map.lon0),
                      double(state.map.lon1), double(state.map.lat0), double(state.map.lat1));
        text = buf;
    }
    if (!platform::ask_text("Map", "Area: LON0 LON1 LAT0 LAT1 (empty: the whole map):", text))
        return 0;
    return set_area(text);
}

int set_area(const std::string& text) {
    if (text.find_first_not_of(" \t") == std::string::npos) {
        area_preset_command(IDM_MAP_AREA_GRID);
        return 1;
    }
    std::string why;
    if (!parse_area(text, state.map, &why)) {
        platform::message_box(why.c_str(), "Map", true);
        return 0;
    }
    state.map.fixed = false;
    check_area_entry(IDM_MAP_AREA);
    return 1;
}

} // namespace app
