// The forecast file view of GRIB edition 2 files: the fields of the file's
// index placed on levels (hPa, 0 for the surface), items and hours. The
// parameters of the nine items are converted to the units of the items'
// texts; other parameters keep their own names and units and get item codes
// from 256 upward, in the order they first appear in the file.
#include "app/forecast_grib.h"

#include "grib/grib.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>
#include <map>

namespace app::grib_view {

namespace {

constexpr int kFirstOtherItem = 256;

// A parameter of one of the nine items, and the conversion y = a x + b.
struct ItemParameter {
    int item, discipline, category, number;
    double a, b;
    bool per_hour; // an amount over the statistics interval becomes one per hour
};
constexpr ItemParameter kItemParameters[] = {
    {1, 0, 3, 0, 0.01, 0, false},          // pressure, Pa to hPa
    {1, 0, 3, 1, 0.01, 0, false},          // mean sea-level pressure
    {4, 0, 0, 0, 1, -273.15, false},       // temperature, K to C
    {13, 0, 1, 1, 1, 0, false},            // relative humidity, %
    {23, 0, 2, 2, 1, 0, false},            // u-wind, m/s
    {24, 0, 2, 3, 1, 0, false},            // v-wind, m/s
    {42, 0, 2, 8, 36, 0, false},           // vertical velocity, Pa/s to hPa/h
    {49, 0, 1, 8, 1, 0, true},             // total precipitation, mm per interval to mm/h
    {49, 0, 1, 52, 3600, 0, false},        // precipitation rate, kg/m2/s to mm/h
    {102, 0, 3, 5, 1, 0, false},           // geopotential height, gpm
    {102, 0, 3, 4, 1 / 9.80665, 0, false}, // geopotential, m2/s2 to m
    {225, 0, 6, 1, 1, 0, false},           // total cloud cover, %
};

struct Parameter {
    int discipline, category, number;
    std::string name;
};

// One field placed in the view, and the conversion of its values.
struct Entry {
    int level, item, hour;
    std::size_t field; // in file.fields
    double a, b;
};

grib::File file;
std::vector<Parameter> others;                             // item kFirstOtherItem + k
std::vector<Entry> entries;                                // in the order of an "All items" run
std::map<std::tuple<int, int, int>, std::size_t> entry_at; // (level, item, hour) to entries
std::size_t cursor = 0;                                    // of an "All items" run
gpv::FieldLabel last_label;
const grib::Field* last_field = nullptr;
std::vector<float> map_a, map_b, map_lon, map_lat; // the values and cells a map draws

// The level of a field in hPa, 0 for the surface; false for other surfaces.
bool level_of(const grib::Field& f, int& level) {
    switch (f.level_type) {
    case 1:   // ground or water surface
    case 101: // mean sea level
    case 103: // height above ground
        level = 0;
        return true;
    case 100: // isobaric surface, Pa
        level = static_cast<int>(std::lround(f.level_value / 100.0));
        return level > 0 && level < 10000;
    default:
        return false;
    }
}

// The item of a parameter and the conversion of its values.
int item_of(const grib::Field& f, double& a, double& b) {
    for (const ItemParameter& p : kItemParameters)
        if (p.discipline == f.discipline && p.category == f.category && p.number == f.number) {
            a = p.a, b = p.b;
            if (p.per_hour && f.interval_hours > 0) a /= f.interval_hours;
            return p.item;
        }
    a = 1, b = 0;
    for (std::size_t k = 0; k < others.size(); ++k)
        if (others[k].discipline == f.discipline && others[k].category == f.category &&
            others[k].number == f.number)
            return kFirstOtherItem + static_cast<int>(k);
    others.push_back({f.discipline, f.category, f.number,
                      grib::parameter_name(f.discipline, f.category, f.number)});
    return kFirstOtherItem + static_cast<int>(others.size()) - 1;
}

// The model's name and code from the grid of a field of the regional
// centre (34); other grids are shown by their steps.
void identify_model(const grib::Field& f) {
    const grib::Grid& g = f.grid;
    auto near = [](double x, double y) { return std::fabs(x - y) < 1e-6; };
    bool regional = std::fabs(g.lon_west - 120.0) < 0.01 && std::fabs(g.lat_north - 47.6) < 0.01;
    // The surface and pressure-level grids of today's files, and the grid of
    // its GPV files.
    if (f.centre == 34 && regional &&
        ((near(g.lon_step, 0.0625) && near(g.lat_step, 0.05)) ||
         (near(g.lon_step, 0.125) && near(g.lat_step, 0.1)) ||
         (near(g.lon_step, 0.25) && near(g.lat_step, 0.2)))) {
        forecast.model_name = "MSM";
        forecast.model_code = 5;
        return;
    }
    if (f.centre == 34 && near(g.lon_step, 0.025) && near(g.lat_step, 0.02)) {
        forecast.model_name = "LFM";
    } else if (f.centre == 34 && g.cols * g.lon_step > 359.0) {
        forecast.model_name = "GSM";
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "%gx%g", g.lon_step, g.lat_step);
        forecast.model_name = text;
    }
    forecast.model_code = 0;
}

std::tuple<int, int, int> key(int level, int item, int hour) {
    return {level, item, hour};
}

const Entry* find_entry(int level, int item, int hour) {
    auto it = entry_at.find(key(level, item, hour));
    if (it == entry_at.end()) return nullptr;
    return &entries[it->second];
}

// Decodes the field of an entry into `field`, converted, with its range.
int extract(const Entry& e, std::span<float> field) {
    const grib::Field& f = file.fields[e.field];
    if (!grib::decode(file, f, field, e.a, e.b)) return 0;
    const std::size_t n = f.grid.count();
    float lo = 1.0e32f, hi = -1.0e32f;
    for (std::size_t k = 0; k < n; ++k) {
        const float v = field[k];
        if (v < lo) lo = v;
        if (v > hi) hi = v;
    }
    last_field = &f;
    gpv::FieldLabel& l = last_label;
    l.grid_cols = f.grid.cols, l.grid_rows = f.grid.rows;
    l.model_code = forecast.model_code;
    l.init_year = forecast.init_year, l.init_month = forecast.init_month;
    l.init_day = forecast.init_day, l.init_hour = forecast.init_hour;
    l.min_value = lo, l.max_value = hi;
    return 1;
}

int missing_field(int level, int item, int hour) {
    char text[128];
    std::snprintf(text, sizeof text, "Error: no field of item %d at level %d, hour %d.", item,
                  level, hour);
    grib::report("get_GRIB_dat", text);
    return 0;
}

} // namespace

int open(std::FILE* f, const std::string& /*path*/) {
    if (!grib::open_fd(fileno(f), file)) return 0;
    int other_levels = 0, repeated = 0;
    for (std::size_t k = 0; k < file.fields.size(); ++k) {
        const grib::Field& g = file.fields[k];
        Entry e{};
        if (!level_of(g, e.level)) {
            ++other_levels;
            continue;
        }
        e.item = item_of(g, e.a, e.b);
        e.hour = g.forecast_hour;
        e.field = k;
        if (!entry_at.emplace(key(e.level, e.item, e.hour), entries.size()).second) {
            ++repeated;
            continue;
        }
        entries.push_back(e);
    }
    if (entries.empty()) {
        grib::report("open_GRIB", "Error: no field on a pressure level or the surface.");
        return 0;
    }
    // Levels from the ground up (the surface last), items by code, hours in order.
    std::vector<int> levels, hours;
    for (const Entry& e : entries) {
        levels.push_back(e.level);
        hours.push_back(e.hour);
    }
    auto unique_sorted = [](std::vector<int>& v, auto order) {
        std::sort(v.begin(), v.end(), order);
        v.erase(std::unique(v.begin(), v.end()), v.end());
    };
    unique_sorted(levels, [](int a, int b) { return (a == 0 ? -1 : a) > (b == 0 ? -1 : b); });
    unique_sorted(hours, std::less<int>());
    auto level_pos = [&](int level) {
        return std::find(levels.begin(), levels.end(), level) - levels.begin();
    };
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        return std::make_tuple(level_pos(a.level), a.item, a.hour) <
               std::make_tuple(level_pos(b.level), b.item, b.hour);
    });
    for (std::size_t k = 0; k < entries.size(); ++k)
        entry_at[key(entries[k].level, entries[k].item, entries[k].hour)] = k;

    forecast.levels = levels;
    forecast.hours = hours;
    const grib::Field& first = file.fields[entries.front().field];
    identify_model(first);
    forecast.init_year = first.year % 100, forecast.init_month = first.month;
    forecast.init_day = first.day, forecast.init_hour = first.hour;
    forecast.init_minute = first.minute;
    std::size_t largest = 0;
    for (const Entry& e : entries)
        largest = std::max(largest, file.fields[e.field].grid.count());
    forecast.largest_grid_count = static_cast<int>(largest);
    forecast.notes.clear();
    if (other_levels)
        forecast.notes.push_back(
            "not on pressure levels or the surface: " + std::to_string(other_levels) + " field(s)");
    if (repeated)
        forecast.notes.push_back("repeated level, item and hour: " + std::to_string(repeated) +
                                 " field(s), the first one kept");
    return choose_level(0);
}

int choose_level(int pos) {
    const int level = forecast.levels[pos];
    forecast.items.clear();
    for (const Entry& e : entries)
        if (e.level == level) forecast.items.push_back(e.item);
    std::sort(forecast.items.begin(), forecast.items.end());
    forecast.items.erase(std::unique(forecast.items.begin(), forecast.items.end()),
                         forecast.items.end());
    return !forecast.items.empty();
}

const char* item_name(int item) {
    if (item >= kFirstOtherItem) {
        std::size_t k = static_cast<std::size_t>(item - kFirstOtherItem);
        return k < others.size() ? others[k].name.c_str() : nullptr;
    }
    return gpv::item_text(item);
}

int item_label(int item, char* text) {
    const char* name = item_name(item);
    if (!name) {
        grib::report("id2str", "Error: item unknown.");
        return 0;
    }
    std::snprintf(text, 64, "%s", name);
    return 1;
}

int field_count(const gpv::Selection& sel) {
    return sel.selected_only ? 1 : static_cast<int>(entries.size());
}

int extract_next(const gpv::Selection& sel, std::span<float> field, int& level, int& item,
                 int& hour, int& pass) {
    if (pass > 0 || sel.selected_only) {
        if (pass <= 0) {
            const int levels = static_cast<int>(forecast.levels.size());
            const int items = static_cast<int>(forecast.items.size());
            const int hours = static_cast<int>(forecast.hours.size());
            if (sel.level_pos < 0 || sel.level_pos >= levels || sel.item_pos < 0 ||
                sel.item_pos >= items || sel.hour_pos < 0 || sel.hour_pos >= hours) {
                grib::report("extract_next", "Error: no field selected.");
                return 0;
            }
            level = forecast.levels[sel.level_pos];
            item = forecast.items[sel.item_pos];
            hour = forecast.hours[sel.hour_pos];
        }
        const Entry* e = find_entry(level, item, hour);
        if (!e) return missing_field(level, item, hour);
        return extract(*e, field);
    }
    if (pass < 0) {
        pass = 0;
        cursor = 0;
    }
    if (cursor >= entries.size()) return 0;
    const Entry& e = entries[cursor];
    level = e.level, item = e.item, hour = e.hour;
    if (!extract(e, field)) return 0;
    ++cursor;
    return cursor < entries.size() ? 2 : 1;
}

gpv::FieldLabel field_label() {
    return last_label;
}

// The whole grid of the last field, each point with its coordinates.
bool whole_map_grid(const float* a, const float* b, MapGrid& m) {
    const grib::Grid& g = last_field->grid;
    const std::size_t n = g.count();
    if (g.cols < 2 || g.rows < 2 || n != std::size_t(g.cols) * std::size_t(g.rows)) {
        grib::report("plot_field", "Error: the field's grid cannot be drawn as a map.");
        return false;
    }
    std::vector<double> lat(n), lon(n);
    if (!grib::grid_coordinates(g, lat, lon)) return false;
    map_lon.resize(n), map_lat.resize(n);
    float lo = 1.0e32f, hi = -1.0e32f;
    for (std::size_t k = 0; k < n; ++k) {
        map_lon[k] = static_cast<float>(lon[k]);
        map_lat[k] = static_cast<float>(lat[k]);
        if (a[k] < lo) lo = a[k];
        if (a[k] > hi) hi = a[k];
    }
    m.label = last_label;
    m.label.min_value = lo, m.label.max_value = hi;
    m.cols = g.cols, m.rows = g.rows;
    m.res_cols = g.cols, m.res_rows = g.rows;
    m.a = a, m.b = b;
    m.lon = map_lon.data(), m.lat = map_lat.data();
    m.lon_span = 30.0f;
    m.proj = g.proj;
    m.winds_grid_relative = g.winds_grid_relative;
    return true;
}

bool map_grid(const float* a, const float* b, MapGrid& m) {
    if (!last_field) return false;
    if (m.whole) return whole_map_grid(a, b, m);
    const grib::Grid& g = last_field->grid;
    // Columns and rows inside the map's area, west to east and north to south.
    constexpr double west = 119.5, east = 150.5, south = 19.5, north = 50.5;
    std::vector<std::pair<double, int>> cols;
    for (int i = 0; i < g.cols; ++i) {
        double lon = std::fmod(g.lon_west + i * g.lon_step, 360.0);
        if (lon < 0) lon += 360.0;
        if (lon >= west && lon <= east) cols.emplace_back(lon, i);
    }
    std::sort(cols.begin(), cols.end());
    std::vector<int> rows;
    for (int j = 0; j < g.rows; ++j) {
        double lat = g.lat_north - j * g.lat_step;
        if (lat >= south && lat <= north) rows.push_back(j);
    }
    if (cols.empty() || rows.empty()) {
        grib::report("plot_field", "Error: the field's grid does not reach the map.");
        return false;
    }
    const std::size_t n = cols.size() * rows.size();
    map_a.resize(n), map_lon.resize(n), map_lat.resize(n);
    if (b) map_b.resize(n);
    float lo = 1.0e32f, hi = -1.0e32f;
    std::size_t k = 0;
    for (int j : rows)
        for (const auto& [lon, i] : cols) {
            const std::size_t p = static_cast<std::size_t>(j) * g.cols + i;
            map_a[k] = a[p];
            if (b) map_b[k] = b[p];
            map_lon[k] = static_cast<float>(lon);
            map_lat[k] = static_cast<float>(g.lat_north - j * g.lat_step);
            if (a[p] < lo) lo = a[p];
            if (a[p] > hi) hi = a[p];
            ++k;
        }
    m.label = last_label;
    m.label.min_value = lo, m.label.max_value = hi; // the range of what the map shows
    m.cols = static_cast<int>(cols.size());
    m.rows = static_cast<int>(rows.size());
    m.res_cols = std::max(1, static_cast<int>(std::lround((east - west) / g.lon_step)));
    m.res_rows = std::max(1, static_cast<int>(std::lround((north - south) / g.lat_step)));
    m.a = map_a.data();
    m.b = b ? map_b.data() : nullptr;
    m.lon = map_lon.data(), m.lat = map_lat.data();
    m.lon_span =
        std::min(30.0f, static_cast<float>(cols.back().first - cols.front().first + g.lon_step));
    return true;
}

void close() {
    grib::close(file);
    others.clear();
    entries.clear();
    entry_at.clear();
    cursor = 0;
    last_field = nullptr;
    last_label = {};
}

} // namespace app::grib_view
