// The forecast file view of GRIB files: the fields of the file's index
// placed on levels, items and hours.
//
// Every level (type, value and second surface) is its own entry, shown by
// its name ("850 hPa", "2 m above ground", "surface"). Its code, the number
// the selection, the log and the first line of a data file carry, is the
// pressure in hPa for an isobaric level of whole hectopascals, else 10000 +
// its position among the file's other levels (kLevelCodeBase).
//
// The parameters of the nine items are converted to the units of the items'
// texts; other parameters keep their own names and units. A field of one of
// them that is more than a plain forecast (an ensemble member, a probability,
// a percentile, a derived field, a maximum...) is an item of its own, named
// by its kind ("Temperature (C), member 3"). These and other parameters get
// item codes from 256 upward, in the order they first appear in the file.
#include "engine/forecast_grib.h"

#include "grib/grib.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <map>

namespace engine::grib_view {

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

// The same items from GRIB edition 1: the WMO table 2 (versions 1 to 3,
// given here as 2) and the European centre's table 128 (total precipitation
// in metres, cloud cover as a fraction).
struct ItemParameter1 {
    int item, table, number;
    double a, b;
    bool per_hour;
};
constexpr ItemParameter1 kItemParameters1[] = {
    {1, 2, 1, 0.01, 0, false},
    {1, 2, 2, 0.01, 0, false},
    {4, 2, 11, 1, -273.15, false},
    {13, 2, 52, 1, 0, false},
    {23, 2, 33, 1, 0, false},
    {24, 2, 34, 1, 0, false},
    {42, 2, 39, 36, 0, false},
    {49, 2, 61, 1, 0, true},
    {102, 2, 7, 1, 0, false},
    {102, 2, 6, 1 / 9.80665, 0, false},
    {225, 2, 71, 1, 0, false},
    {1, 128, 151, 0.01, 0, false},
    {4, 128, 130, 1, -273.15, false},
    {13, 128, 157, 1, 0, false},
    {23, 128, 131, 1, 0, false},
    {24, 128, 132, 1, 0, false},
    {42, 128, 135, 36, 0, false},
    {49, 128, 228, 1000, 0, true},
    {102, 128, 129, 1 / 9.80665, 0, false},
    {225, 128, 164, 100, 0, false},
};

constexpr int kLevelCodeBase = 10000;

// What an item of code 256 and above stands for: a parameter, the kind of
// product (grib::product_kind) and, for statistics, the interval.
struct Parameter {
    int discipline, category, number;
    std::string kind;
    int interval;
    std::string name;
};

// A level of the file: its surfaces, code and name.
struct Level {
    int type;
    double value;
    int type2;
    double value2;
    int code = 0;
    std::string name;
    bool operator<(const Level& o) const {
        return std::tie(type, value, type2, value2) < std::tie(o.type, o.value, o.type2, o.value2);
    }
};

// One field placed in the view, and the conversion of its values.
struct Entry {
    int level, item, hour;
    std::size_t field; // in file.fields
    double a, b;
};

grib::File file;
std::vector<Parameter> others;     // item kFirstOtherItem + k
std::vector<Level> levels_seen;    // of forecast.levels, in order
bool in_minutes = false;           // the view's hours are minutes (times off the whole hour)
std::map<long, int> nine_interval; // of the nine items' parameters: the interval of their code
std::vector<Entry> entries;        // in the order of an "All items" run
std::map<std::tuple<int, int, int>, std::size_t> entry_at; // (level, item, hour) to entries
std::size_t cursor = 0;                                    // of an "All items" run
gpv::FieldLabel last_label;
const grib::Field* last_field = nullptr;
std::vector<float> map_a, map_b, map_lon, map_lat; // the values and cells a map draws
// The latitude and longitude of every point of coords_grid, kept while the
// fields extracted share their grid.
grib::Grid coords_grid;
std::vector<double> coords_lat, coords_lon;
bool coords_valid = false;

// The map's area: the fixed frame of the weather map.
constexpr double kWest = 119.5, kEast = 150.5, kSouth = 19.5, kNorth = 50.5;

// The level of a field, its second surface only when it makes a layer.
Level level_of(const grib::Field& f) {
    Level l{f.level_type, f.level_value, f.level2_type, f.level2_value, 0, {}};
    if (l.type2 == 255 || (l.type2 == l.type && l.value2 == l.value)) l.type2 = 255, l.value2 = 0;
    return l;
}

// The code of an isobaric level of whole hectopascals (1 to 9999), else 0.
int pressure_code(const Level& l) {
    if (l.type != 100 || l.type2 != 255) return 0;
    const double hpa = l.value / 100.0;
    const long whole = std::lround(hpa);
    return whole >= 1 && whole < kLevelCodeBase && std::fabs(hpa - whole) < 1e-9
               ? static_cast<int>(whole)
               : 0;
}

// The item of a field and the conversion of its values.
int item_of(const grib::Field& f, double& a, double& b) {
    const std::string kind = grib::product_kind(f);
    const int interval = f.statistical_process >= 0 ? f.interval_hours : -1;
    const bool ed1 = f.edition == 1;
    // One of the nine items: its conversion, and a key of its parameter.
    int nine_item = 0, nine_key = -1;
    bool per_hour = false;
    a = 1, b = 0;
    if (!ed1) {
        for (const ItemParameter& p : kItemParameters)
            if (p.discipline == f.discipline && p.category == f.category && p.number == f.number) {
                nine_item = p.item, nine_key = static_cast<int>(&p - kItemParameters);
                a = p.a, b = p.b, per_hour = p.per_hour;
                break;
            }
    } else {
        const int table = f.table_version <= 3 ? 2 : f.centre == 98 ? f.table_version : -1;
        for (const ItemParameter1& p : kItemParameters1)
            if (p.table == table && p.number == f.number) {
                nine_item = p.item, nine_key = 1000 + static_cast<int>(&p - kItemParameters1);
                a = p.a, b = p.b, per_hour = p.per_hour;
                break;
            }
    }
    // Probabilities are percentages whatever the parameter: they keep its
    // own name and units for the threshold.
    if (f.probability_type >= 0) nine_item = 0, a = 1, b = 0;
    if (nine_item) {
        if (per_hour && f.interval_hours > 0) a /= f.interval_hours;
        // Spreads are differences: no offset; an anomaly index has no unit.
        if (f.derived == 2 || f.derived == 3 || f.derived == 4 || f.derived == 7) b = 0;
        if (f.derived == 5) a = 1, b = 0;
        // The item's code goes to its first interval; others are told apart.
        if (kind.empty()) {
            auto [it, fresh] = nine_interval.emplace(nine_key, interval);
            if (fresh || it->second == interval) return nine_item;
        }
    }
    // GRIB1 parameters are told apart by table and centre (in the places
    // of discipline and category, below any discipline); the same parameter
    // and kind over another interval by the interval.
    const int d = ed1 ? -1 - f.table_version : f.discipline, c = ed1 ? f.centre : f.category;
    bool other_interval = nine_item && kind.empty();
    for (std::size_t k = 0; k < others.size(); ++k) {
        const Parameter& o = others[k];
        if (o.discipline != d || o.category != c || o.number != f.number || o.kind != kind)
            continue;
        if (o.interval == interval) return kFirstOtherItem + static_cast<int>(k);
        other_interval = true;
    }
    std::string name = nine_item ? gpv::item_text(nine_item)
                       : ed1     ? grib::parameter_name1(f.centre, f.table_version, f.number)
                             : grib::parameter_name(f.discipline, f.category, f.number, f.centre);
    if (!kind.empty()) name += ", " + kind;
    if (f.probability_type >= 0) name += " (%)";
    if (other_interval && interval >= 0) name += ", over " + std::to_string(interval) + " h";
    others.push_back({d, c, f.number, kind, interval, name});
    return kFirstOtherItem + static_cast<int>(others.size()) - 1;
}

// A regular latitude/longitude grid, the kind the file view began with.
bool plain_latlon(const grib::Grid& g) {
    return g.template_number == 0 && g.row_points.empty();
}

// The name of a grid that is not a regular latitude/longitude one: its kind
// and spacing, e.g. "Lambert conformal 3x3 km" or "reduced Gaussian N640".
std::string grid_name(const grib::Grid& g) {
    char text[96];
    const char* kind = grib::template_name(3, g.template_number);
    const char* reduced = g.row_points.empty() ? "" : "reduced ";
    if (!g.proj.empty())
        std::snprintf(text, sizeof text, "%s %gx%g km", kind, g.dx / 1000, g.dy / 1000);
    else if (g.template_number == 40 || g.template_number == 41)
        std::snprintf(text, sizeof text, "%s%sGaussian N%d", reduced,
                      g.template_number == 41 ? "rotated " : "", g.gaussian_n);
    else if (!g.row_points.empty())
        std::snprintf(text, sizeof text, "reduced %s %g", kind, g.lat_step);
    else
        std::snprintf(text, sizeof text, "%s %gx%g", kind, g.lon_step, g.lat_step);
    return text;
}

// The model's name and code from the grid of a field of the regional
// centre (34); other grids are shown by their steps.
void identify_model(const grib::Field& f) {
    const grib::Grid& g = f.grid;
    if (!plain_latlon(g)) {
        forecast.model_name = grid_name(g);
        forecast.model_code = 0;
        return;
    }
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

} // namespace

const std::string* level_name(int code) {
    for (const Level& l : levels_seen)
        if (l.code == code) return &l.name;
    return nullptr;
}

namespace {

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
    l.row_points = f.grid.row_points.empty() ? nullptr : f.grid.row_points.data();
    l.model_code = forecast.model_code;
    l.init_year = forecast.init_year, l.init_month = forecast.init_month;
    l.init_day = forecast.init_day, l.init_hour = forecast.init_hour;
    l.min_value = lo, l.max_value = hi;
    return 1;
}

int missing_field(int level, int item, int hour) {
    char text[256];
    const std::string* name = level_name(level);
    std::snprintf(text, sizeof text, "Error: no field of item %d at level %s, hour %d.", item,
                  name ? name->c_str() : std::to_string(level).c_str(), hour);
    grib::report("get_GRIB_dat", text);
    return 0;
}

} // namespace

int open(std::FILE* f, const std::string& /*path*/) {
    if (!grib::open_fd(fileno(f), file)) return 0;
    // The file's levels: isobaric ones from the ground up, then the others
    // by type and value.
    std::vector<Level> found;
    for (const grib::Field& g : file.fields)
        found.push_back(level_of(g));
    std::sort(found.begin(), found.end(), [](const Level& x, const Level& y) {
        const int px = pressure_code(x), py = pressure_code(y);
        if ((px > 0) != (py > 0)) return px > 0;
        if (px > 0) return px > py;
        return x < y;
    });
    found.erase(std::unique(found.begin(), found.end(),
                            [](const Level& x, const Level& y) { return !(x < y) && !(y < x); }),
                found.end());
    int next_code = kLevelCodeBase;
    for (Level& l : found) {
        l.code = pressure_code(l);
        if (l.code == 0) l.code = next_code++;
        l.name = grib::level_name(l.type, l.value, l.type2, l.value2);
    }
    levels_seen = found;
    auto level_code = [&](const Level& l) {
        auto it = std::lower_bound(levels_seen.begin(), levels_seen.end(), l,
                                   [](const Level& x, const Level& y) {
                                       const int px = pressure_code(x), py = pressure_code(y);
                                       if ((px > 0) != (py > 0)) return px > 0;
                                       if (px > 0) return px > py;
                                       return x < y;
                                   });
        return it->code;
    };

    // Times off the whole hour (nowcasts every few minutes) make the file's
    // "hours" minutes, shown as H:MM.
    auto minutes_of = [](const grib::Field& g) {
        return g.forecast_minutes >= 0 ? g.forecast_minutes : g.forecast_hour * 60LL;
    };
    in_minutes = false;
    for (const grib::Field& g : file.fields)
        if (minutes_of(g) % 60 != 0 && minutes_of(g) / 60 == g.forecast_hour) in_minutes = true;
    int repeated = 0;
    for (std::size_t k = 0; k < file.fields.size(); ++k) {
        const grib::Field& g = file.fields[k];
        Entry e{};
        e.level = level_code(level_of(g));
        e.item = item_of(g, e.a, e.b);
        e.hour = in_minutes ? static_cast<int>(minutes_of(g)) : g.forecast_hour;
        e.field = k;
        if (!entry_at.emplace(key(e.level, e.item, e.hour), entries.size()).second) {
            ++repeated;
            continue;
        }
        entries.push_back(e);
    }
    std::vector<int> levels, hours;
    for (const Level& l : levels_seen)
        levels.push_back(l.code);
    for (const Entry& e : entries)
        hours.push_back(e.hour);
    std::sort(hours.begin(), hours.end());
    hours.erase(std::unique(hours.begin(), hours.end()), hours.end());
    auto level_pos = [&](int level) {
        return std::find(levels.begin(), levels.end(), level) - levels.begin();
    };
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        return std::make_tuple(level_pos(a.level), a.item, a.hour) <
               std::make_tuple(level_pos(b.level), b.item, b.hour);
    });
    for (std::size_t k = 0; k < entries.size(); ++k)
        entry_at[key(entries[k].level, entries[k].item, entries[k].hour)] = k;

    forecast.level_names.clear();
    for (const Level& l : levels_seen)
        forecast.level_names.push_back(l.name);
    forecast.hour_names.clear();
    if (in_minutes)
        for (int minutes : hours) {
            char text[32];
            std::snprintf(text, sizeof text, "%d:%02d", minutes / 60, std::abs(minutes % 60));
            forecast.hour_names.push_back(text);
        }
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

std::string output_name(const char* save_dir, int item, int level, int hour) {
    const gpv::FieldLabel& h = last_label;
    // Isobaric levels as the GPV names write them, other levels by name.
    std::string where;
    const std::string* name = level_name(level);
    if (level < kLevelCodeBase || !name) {
        char text[16];
        std::snprintf(text, sizeof text, "P%04d", level);
        where = text;
    } else {
        where = "L";
        for (char c : *name) {
            if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-')
                where += c;
            else if (where.back() != '-')
                where += '-';
        }
        while (where.back() == '-')
            where.pop_back();
    }
    char when[32];
    if (in_minutes)
        std::snprintf(when, sizeof when, "%02d%02d", hour / 60, std::abs(hour % 60));
    else
        std::snprintf(when, sizeof when, "%02d", hour);
    char text[160];
    std::snprintf(text, sizeof text, "MD%02d_ID%03d_%s_DT%02d%02d%02d%02d_TM%s", h.model_code, item,
                  where.c_str(), h.init_year, h.init_month, h.init_day, h.init_hour, when);
    return std::string(save_dir) + text;
}

int save(const char* save_dir, int layout, std::span<const float> field, int item, int level,
         int hour) {
    if (layout != 0 && layout != 1) return 0;
    const gpv::FieldLabel& h = last_label;
    // Rows of their own lengths for reduced grids.
    auto row_length = [&h](int j) { return h.row_points ? h.row_points[j] : h.grid_cols; };
    std::size_t count = 0;
    for (int j = 0; j < h.grid_rows; ++j)
        count += static_cast<std::size_t>(row_length(j));
    if (!last_field || count > field.size()) {
        grib::report("save_GPV", "Error: grid larger than the work arrays.");
        return 0;
    }
    const std::string name =
        output_name(save_dir, item, level, hour) + (layout == 0 ? ".txt" : ".csv");
    gpv::OutputFile out;
    if (!gpv::open_output(out, name, "w")) {
        const int err = errno;
        if (layout == 0) grib::report("save_GPV", name.c_str());
        grib::report("save_GPV", "Error: can't open output file.");
        errno = err;
        return 0;
    }
    // The layouts of GPV files, with every value in the significant digits
    // single precision carries ("%.7g": 1.6e-07, not 0.000000).
    std::FILE* f = out.stream;
    const char* sep = layout == 0 ? "  " : ",";
    if (layout == 0)
        std::fprintf(f, "%d  %d  %d  %d  %d  %02d %02d %02d %02d %02d  %.7g  %.7g\n", h.grid_cols,
                     h.grid_rows, h.model_code, item, level, h.init_year, h.init_month, h.init_day,
                     h.init_hour, hour, static_cast<double>(h.min_value),
                     static_cast<double>(h.max_value));
    else
        std::fprintf(f, "%d,%d,%d,%d,%d,%2d,%2d,%2d,%2d,%2d,%.7g,%.7g\n", h.grid_cols, h.grid_rows,
                     h.model_code, item, level, h.init_year, h.init_month, h.init_day, h.init_hour,
                     hour, static_cast<double>(h.min_value), static_cast<double>(h.max_value));
    std::vector<char> line;
    char number[32];
    const float* row = field.data();
    for (int j = 0; j < h.grid_rows; ++j) {
        line.clear();
        const int cols = row_length(j);
        for (int i = 0; i < cols; ++i) {
            if (layout == 0 || i > 0) line.insert(line.end(), sep, sep + std::strlen(sep));
            const int n = std::snprintf(number, sizeof number, "%.7g", static_cast<double>(row[i]));
            line.insert(line.end(), number, number + n);
        }
        line.push_back('\n');
        row += cols;
        if (std::fwrite(line.data(), 1, line.size(), f) != line.size()) break;
    }
    if (!gpv::commit_output(out)) {
        grib::report("save_GPV", (name + ": " + std::strerror(errno)).c_str());
        return gpv::kWriteFailed;
    }
    return 1;
}

const grib::Grid* field_grid() {
    return last_field ? &last_field->grid : nullptr;
}

namespace {

// Fills coords_lat/coords_lon for grid g unless they hold it already.
bool coordinates_of(const grib::Grid& g) {
    if (coords_valid && coords_grid == g) return true;
    coords_valid = false;
    coords_lat.resize(g.count());
    coords_lon.resize(g.count());
    if (!grib::grid_coordinates(g, coords_lat, coords_lon)) return false;
    coords_grid = g;
    coords_valid = true;
    return true;
}

// The map grid of any grid but a regular latitude/longitude one: a regular
// latitude/longitude grid over the map's area at about the grid's spacing,
// each cell taking the value of the grid's point nearest to its centre (in
// the grid's own rows and columns), cut to the cells that the grid covers.
// Cells, arrows and contour lines are then drawn as for a lat/lon grid.
bool map_points(const grib::Grid& g, const float* a, const float* b, MapGrid& m) {
    if (!coordinates_of(g)) return false;
    // The cells' size in degrees (at the map's middle latitude for projected
    // grids), at least 2 and at most 2000 over each axis.
    const double middle = std::cos((kSouth + kNorth) / 2 * M_PI / 180);
    double step_x = g.lon_step, step_y = g.lat_step;
    if (!g.proj.empty()) {
        step_x = g.dx / 111195.0 / middle;
        step_y = g.dy / 111195.0;
    } else if (!g.row_points.empty()) {
        step_x = step_y; // the rows' own steps vary; the parallels' does not
    }
    step_x = std::clamp(step_x, (kEast - kWest) / 2000, (kEast - kWest) / 2);
    step_y = std::clamp(step_y, (kNorth - kSouth) / 2000, (kNorth - kSouth) / 2);
    if (!(step_x > 0 && step_y > 0)) {
        grib::report("plot_field", "Error: the field's grid does not reach the map.");
        return false;
    }
    const int nx = std::max(1, static_cast<int>(std::ceil((kEast - kWest) / step_x)));
    const int ny = std::max(1, static_cast<int>(std::ceil((kNorth - kSouth) / step_y)));
    const std::size_t total = static_cast<std::size_t>(nx) * ny;
    // The cells' nearest points, kept while the maps' fields share their grid.
    static std::vector<double> cell_lat, cell_lon;
    static std::vector<long long> nearest;
    static grib::Grid nearest_grid;
    static bool nearest_valid = false;
    if (!nearest_valid || !(nearest_grid == g) || cell_lat.size() != total) {
        nearest_valid = false;
        cell_lat.resize(total), cell_lon.resize(total), nearest.resize(total);
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                cell_lon[static_cast<std::size_t>(j) * nx + i] = kWest + (i + 0.5) * step_x;
                cell_lat[static_cast<std::size_t>(j) * nx + i] = kNorth - (j + 0.5) * step_y;
            }
        if (!grib::grid_nearest(g, cell_lat, cell_lon, nearest)) return false;
        nearest_grid = g;
        nearest_valid = true;
    }
    int r0 = ny, r1 = -1, c0 = nx, c1 = -1;
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            if (nearest[static_cast<std::size_t>(j) * nx + i] >= 0) {
                r0 = std::min(r0, j), r1 = std::max(r1, j);
                c0 = std::min(c0, i), c1 = std::max(c1, i);
            }
    if (r1 < 0) {
        grib::report("plot_field", "Error: the field's grid does not reach the map.");
        return false;
    }
    // Wind components along the grid's axes are turned to east and north by
    // the direction of the grid's x axis at the point, found from the same
    // grid moved a thousandth of a step along x (the projections are
    // conformal: y is a quarter turn from x).
    bool turn = b && g.winds_grid_relative && g.row_points.empty();
    static std::vector<double> east_lat, east_lon;
    static grib::Grid east_grid;
    static bool east_valid = false;
    if (turn && !(east_valid && east_grid == g)) {
        east_valid = false;
        grib::Grid moved = g;
        if (!g.proj.empty())
            moved.x0 += g.dx * 1e-3;
        else
            moved.lon_west += g.lon_step * 1e-3;
        east_lat.resize(g.count()), east_lon.resize(g.count());
        east_valid = turn = grib::grid_coordinates(moved, east_lat, east_lon);
        east_grid = g;
    }
    auto earth_relative = [&](std::size_t p, float& u, float& v) {
        double de = east_lon[p] - coords_lon[p];
        de -= 360 * std::round(de / 360);
        de *= std::cos(coords_lat[p] * M_PI / 180);
        const double dn = east_lat[p] - coords_lat[p];
        const double h = std::hypot(de, dn);
        if (!(h > 0)) return;
        const double cs = de / h, sn = dn / h;
        const double x = u, y = v;
        u = static_cast<float>(x * cs - y * sn);
        v = static_cast<float>(x * sn + y * cs);
    };
    const int mc = c1 - c0 + 1, mr = r1 - r0 + 1;
    const std::size_t n = static_cast<std::size_t>(mc) * mr;
    map_a.resize(n), map_lon.resize(n), map_lat.resize(n);
    if (b) map_b.resize(n);
    float lo = 1.0e32f, hi = -1.0e32f;
    std::size_t k = 0;
    for (int j = r0; j <= r1; ++j)
        for (int i = c0; i <= c1; ++i, ++k) {
            const std::size_t q = static_cast<std::size_t>(j) * nx + i;
            map_lon[k] = static_cast<float>(cell_lon[q]);
            map_lat[k] = static_cast<float>(cell_lat[q]);
            if (nearest[q] < 0) {
                map_a[k] = NAN;
                if (b) map_b[k] = NAN;
                continue;
            }
            const auto p = static_cast<std::size_t>(nearest[q]);
            map_a[k] = a[p];
            if (b) map_b[k] = b[p];
            if (turn) earth_relative(p, map_a[k], map_b[k]);
            if (map_a[k] < lo) lo = map_a[k];
            if (map_a[k] > hi) hi = map_a[k];
        }
    m.label = last_label;
    m.label.min_value = lo, m.label.max_value = hi; // the range of what the map shows
    m.cols = mc, m.rows = mr;
    m.res_cols = nx, m.res_rows = ny;
    m.a = map_a.data();
    m.b = b ? map_b.data() : nullptr;
    m.lon = map_lon.data(), m.lat = map_lat.data();
    m.lon_span = std::min(30.0f, static_cast<float>(mc * step_x));
    return true;
}

} // namespace

bool point_coordinates(std::span<const double>& lat, std::span<const double>& lon) {
    if (!last_field) return false;
    if (!coordinates_of(last_field->grid)) return false;
    lat = coords_lat, lon = coords_lon;
    return true;
}

// The PROJ definition of a rotated latitude/longitude grid's own plane
// (rotated longitude and latitude in degrees), from its south pole.
std::string rotated_proj(const grib::Grid& g) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "+proj=ob_tran +o_proj=longlat +o_lon_p=%.9g +o_lat_p=%.9g +lon_0=%.9g "
                  "+a=%.9g +b=%.9g",
                  -g.rotation, -g.south_pole_lat, g.south_pole_lon, g.earth_a, g.earth_b);
    return text;
}

// A reduced grid over the whole map: a regular latitude/longitude grid round
// the globe at about the grid's spacing (at most 1440 x 720 cells), each cell
// taking the value of the grid's point nearest to its centre.
bool resampled_whole_grid(const grib::Grid& g, const float* a, const float* b, MapGrid& m) {
    const double step = std::max(0.25, g.lat_step > 0 ? g.lat_step : 1.0);
    const int nx = std::max(2, static_cast<int>(std::lround(360.0 / step)));
    const int ny = std::max(2, static_cast<int>(std::lround(180.0 / step)));
    const std::size_t total = static_cast<std::size_t>(nx) * ny;
    std::vector<double> lat(total), lon(total);
    std::vector<long long> nearest(total);
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            lon[static_cast<std::size_t>(j) * nx + i] = (i + 0.5) * 360.0 / nx;
            lat[static_cast<std::size_t>(j) * nx + i] = 90.0 - (j + 0.5) * 180.0 / ny;
        }
    if (!grib::grid_nearest(g, lat, lon, nearest)) return false;
    map_a.resize(total), map_lon.resize(total), map_lat.resize(total);
    if (b) map_b.resize(total);
    float lo = 1.0e32f, hi = -1.0e32f;
    for (std::size_t k = 0; k < total; ++k) {
        map_lon[k] = static_cast<float>(lon[k]);
        map_lat[k] = static_cast<float>(lat[k]);
        const bool in = nearest[k] >= 0;
        map_a[k] = in ? a[nearest[k]] : NAN;
        if (b) map_b[k] = in ? b[nearest[k]] : NAN;
        if (in) lo = std::min(lo, map_a[k]), hi = std::max(hi, map_a[k]);
    }
    m.label = last_label;
    m.label.min_value = lo, m.label.max_value = hi;
    m.cols = m.res_cols = nx, m.rows = m.res_rows = ny;
    m.a = map_a.data(), m.b = b ? map_b.data() : nullptr;
    m.lon = map_lon.data(), m.lat = map_lat.data();
    m.lon_span = 30.0f;
    m.proj.clear();
    m.winds_grid_relative = false;
    return true;
}

// The whole grid of the last field, each point with its coordinates.
bool whole_map_grid(const float* a, const float* b, MapGrid& m) {
    const grib::Grid& g = last_field->grid;
    if (!g.row_points.empty()) return resampled_whole_grid(g, a, b, m);
    const std::size_t n = g.count();
    if (g.cols < 2 || g.rows < 2 || n != std::size_t(g.cols) * std::size_t(g.rows)) {
        grib::report("plot_field", "Error: the field's grid cannot be drawn as a map.");
        return false;
    }
    if (!coordinates_of(g)) return false;
    map_lon.resize(n), map_lat.resize(n);
    float lo = 1.0e32f, hi = -1.0e32f;
    for (std::size_t k = 0; k < n; ++k) {
        map_lon[k] = static_cast<float>(coords_lon[k]);
        map_lat[k] = static_cast<float>(coords_lat[k]);
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
    const bool rotated = g.template_number == 1 || g.template_number == 41;
    m.proj = rotated ? rotated_proj(g) : g.proj;
    m.winds_grid_relative = g.winds_grid_relative;
    m.affine = g.template_number == 1 || !g.proj.empty(); // Gaussian rows are uneven
    if (rotated)
        m.x0 = std::remainder(g.lon_west, 360.0), m.y0 = g.lat_north, m.dx = g.lon_step,
        m.dy = g.lat_step; // rotated longitudes as PROJ gives them, -180..180
    else
        m.x0 = g.x0, m.y0 = g.y0, m.dx = g.dx, m.dy = g.dy;
    return true;
}

bool frame_part(const grib::Grid& g, const float* a, const float* b, std::vector<float>& pa,
                std::vector<float>& pb, std::vector<float>& lon, std::vector<float>& lat,
                MapGrid& m) {
    // Columns and rows inside the frame, west to east and north to south.
    constexpr double west = kWest, east = kEast, south = kSouth, north = kNorth;
    std::vector<std::pair<double, int>> cols;
    for (int i = 0; i < g.cols; ++i) {
        double x = std::fmod(g.lon_west + i * g.lon_step, 360.0);
        if (x < 0) x += 360.0;
        if (x >= west && x <= east) cols.emplace_back(x, i);
    }
    std::sort(cols.begin(), cols.end());
    std::vector<int> rows;
    for (int j = 0; j < g.rows; ++j) {
        double y = g.lat_north - j * g.lat_step;
        if (y >= south && y <= north) rows.push_back(j);
    }
    if (cols.empty() || rows.empty()) return false;
    const std::size_t n = cols.size() * rows.size();
    pa.resize(n), lon.resize(n), lat.resize(n);
    pb.resize(b ? n : 0);
    float lo = 1.0e32f, hi = -1.0e32f;
    std::size_t k = 0;
    for (int j : rows)
        for (const auto& [x, i] : cols) {
            const std::size_t p = static_cast<std::size_t>(j) * g.cols + i;
            pa[k] = a[p];
            if (b) pb[k] = b[p];
            lon[k] = static_cast<float>(x);
            lat[k] = static_cast<float>(g.lat_north - j * g.lat_step);
            if (a[p] < lo) lo = a[p];
            if (a[p] > hi) hi = a[p];
            ++k;
        }
    m.label.min_value = lo, m.label.max_value = hi; // the range of what the map shows
    m.cols = static_cast<int>(cols.size());
    m.rows = static_cast<int>(rows.size());
    m.res_cols = std::max(1, static_cast<int>(std::lround((east - west) / g.lon_step)));
    m.res_rows = std::max(1, static_cast<int>(std::lround((north - south) / g.lat_step)));
    m.a = pa.data();
    m.b = b ? pb.data() : nullptr;
    m.lon = lon.data(), m.lat = lat.data();
    m.lon_span =
        std::min(30.0f, static_cast<float>(cols.back().first - cols.front().first + g.lon_step));
    return true;
}

bool map_grid(const float* a, const float* b, MapGrid& m) {
    if (!last_field) return false;
    if (m.whole) return whole_map_grid(a, b, m);
    const grib::Grid& g = last_field->grid;
    if (!plain_latlon(g)) return map_points(g, a, b, m);
    m.label = last_label;
    if (!frame_part(g, a, b, map_a, map_b, map_lon, map_lat, m)) {
        grib::report("plot_field", "Error: the field's grid does not reach the map.");
        return false;
    }
    return true;
}

void close() {
    grib::close(file);
    others.clear();
    levels_seen.clear();
    nine_interval.clear();
    in_minutes = false;
    entries.clear();
    entry_at.clear();
    cursor = 0;
    last_field = nullptr;
    last_label = {};
    coords_valid = false;
}

} // namespace engine::grib_view
