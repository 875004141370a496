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
#include "app/forecast_grib.h"

#include "grib/grib.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
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
    const ItemParameter* nine = nullptr;
    for (const ItemParameter& p : kItemParameters)
        if (p.discipline == f.discipline && p.category == f.category && p.number == f.number) {
            nine = &p;
            break;
        }
    a = 1, b = 0;
    // Probabilities are percentages whatever the parameter: they keep its
    // own name and units for the threshold.
    if (f.probability_type >= 0) nine = nullptr;
    if (nine) {
        a = nine->a, b = nine->b;
        if (nine->per_hour && f.interval_hours > 0) a /= f.interval_hours;
        // Spreads are differences: no offset; an anomaly index has no unit.
        if (f.derived == 2 || f.derived == 3 || f.derived == 4 || f.derived == 7) b = 0;
        if (f.derived == 5) a = 1, b = 0;
        // The item's code goes to its first interval; others are told apart.
        if (kind.empty()) {
            auto [it, fresh] = nine_interval.emplace(nine - kItemParameters, interval);
            if (fresh || it->second == interval) return nine->item;
        }
    }
    // The same parameter and kind over another interval is told apart by it.
    bool other_interval = nine && kind.empty();
    for (std::size_t k = 0; k < others.size(); ++k) {
        const Parameter& o = others[k];
        if (o.discipline != f.discipline || o.category != f.category || o.number != f.number ||
            o.kind != kind)
            continue;
        if (o.interval == interval) return kFirstOtherItem + static_cast<int>(k);
        other_interval = true;
    }
    std::string name = nine ? gpv::item_text(nine->item)
                            : grib::parameter_name(f.discipline, f.category, f.number);
    if (!kind.empty()) name += ", " + kind;
    if (f.probability_type >= 0) name += " (%)";
    if (other_interval && interval >= 0) name += ", over " + std::to_string(interval) + " h";
    others.push_back({f.discipline, f.category, f.number, kind, interval, name});
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
    const std::size_t count = static_cast<std::size_t>(h.grid_cols) * h.grid_rows;
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
    for (int j = 0; j < h.grid_rows; ++j) {
        line.clear();
        const float* row = field.data() + static_cast<std::size_t>(j) * h.grid_cols;
        for (int i = 0; i < h.grid_cols; ++i) {
            if (layout == 0 || i > 0) line.insert(line.end(), sep, sep + std::strlen(sep));
            const int n = std::snprintf(number, sizeof number, "%.7g", static_cast<double>(row[i]));
            line.insert(line.end(), number, number + n);
        }
        line.push_back('\n');
        if (std::fwrite(line.data(), 1, line.size(), f) != line.size()) break;
    }
    if (!gpv::commit_output(out)) {
        grib::report("save_GPV", (name + ": " + std::strerror(errno)).c_str());
        return gpv::kWriteFailed;
    }
    return 1;
}

bool map_grid(const float* a, const float* b, MapGrid& m) {
    if (!last_field) return false;
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
    levels_seen.clear();
    nine_interval.clear();
    in_minutes = false;
    entries.clear();
    entry_at.clear();
    cursor = 0;
    last_field = nullptr;
    last_label = {};
}

} // namespace app::grib_view
