// The engine's datasets: the inventory of a GPV or GRIB file, its fields'
// values and its grids' coordinates.
#include "engine/engine.h"

#include "engine/map.h"
#include "engine/forecast_grib.h"
#include "engine/names.h"
#include "gpv/gpv.h"
#include "grib/grib.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace engine {

struct Dataset {
    Inventory inv;
    std::FILE* gpv = nullptr; // GPV files
    int model_code = 0;
    std::vector<int> gpv_grid_levels; // a level of each GPV grid (0: the surface's)
    grib::File grib;                  // GRIB files
    std::vector<grib::Grid> grib_grids;
    std::mutex coordinate_lock;
    ~Dataset();
};

namespace {

// The GPV reader keeps its state program-wide: one call at a time, and its
// record index belongs to the dataset read last.
std::mutex gpv_lock;
const Dataset* gpv_owner = nullptr;

// Reports of the readers go to the Error of the engine call under way on
// this thread; outside the engine's calls to the hook installed before.
thread_local Error* capture = nullptr;
gpv::Report gpv_before = nullptr;
grib::Report grib_before = nullptr;
std::mutex hook_lock;

void keep(const char* title, const char* text) {
    if (capture->title.empty()) {
        capture->title = title;
        capture->text = text;
    }
}
void gpv_hook(const char* title, const char* text) {
    if (capture)
        keep(title, text);
    else if (gpv_before)
        gpv_before(title, text);
}
void grib_hook(const char* title, const char* text) {
    if (capture)
        keep(title, text);
    else if (grib_before)
        grib_before(title, text);
}

// Sends the readers' reports of this thread into `e` while alive.
struct Capture {
    Error* saved;
    explicit Capture(Error& e) : saved(capture) {
        {
            std::lock_guard<std::mutex> g(hook_lock);
            if (gpv::report != gpv_hook) gpv_before = gpv::report, gpv::report = gpv_hook;
            if (grib::report != grib_hook) grib_before = grib::report, grib::report = grib_hook;
        }
        capture = &e;
    }
    ~Capture() { capture = saved; }
};

int fail(Error& e, Error::Kind kind, const std::string& title, const std::string& text) {
    e.title = title, e.text = text, e.kind = kind;
    return 0;
}

int full_year(int yy) {
    return yy < 70 ? 2000 + yy : 1900 + yy;
}

// ------------------------------------------------------------ GPV

bool open_gpv(Dataset& d, Error& error) {
    std::FILE* f = d.gpv;
    std::array<int, gpv::kMaxLevels> levels{};
    const int level_count = gpv::check_GPV_p(f, levels.data(), gpv::kMaxLevels);
    if (level_count == 0) return false;
    const gpv::GpvHeader first = gpv::header;
    Inventory& inv = d.inv;
    inv.model = first.model_name;
    d.model_code = first.model_code;
    inv.year = full_year(first.init_year), inv.month = first.init_month;
    inv.day = first.init_day, inv.hour = first.init_hour, inv.minute = first.init_minute;
    std::vector<int> hours;
    for (int h = first.first_forecast_hour; h <= first.last_forecast_hour && first.forecast_step;
         h += first.forecast_step)
        hours.push_back(h);

    // One grid for the pressure levels, a finer one for the surface.
    auto grid_of = [&](int level) {
        GridInfo g;
        std::vector<double> lat, lon;
        gpv_grid(d.model_code, level, g, lat, lon);
        for (std::size_t k = 0; k < inv.grids.size(); ++k)
            if (inv.grids[k].cols == g.cols && inv.grids[k].rows == g.rows)
                return static_cast<int>(k);
        inv.grids.push_back(g);
        d.gpv_grid_levels.push_back(level);
        return static_cast<int>(inv.grids.size()) - 1;
    };
    std::map<std::pair<int, bool>, std::size_t> at; // (item, surface) to variable
    for (int l = 0; l < level_count; ++l) {
        std::array<int, gpv::kMaxItems> items{};
        const int n = gpv::check_GPV_p(f, levels[l], items.data(), gpv::kMaxItems);
        if (n == 0) {
            if (error.title.empty()) continue;
            return false;
        }
        const bool surface = levels[l] == 0;
        for (int k = 0; k < n; ++k) {
            auto [it, added] = at.emplace(std::make_pair(items[k], surface), inv.variables.size());
            if (added) {
                Variable v;
                describe_gpv_item(items[k], surface, v);
                v.item = items[k];
                v.level_type = surface ? 1 : 100;
                v.level_kind = surface ? "surface" : "isobaric";
                v.level_units = surface ? "" : "hPa";
                v.hours = hours;
                v.grid = grid_of(levels[l]);
                inv.variables.push_back(v);
            }
            inv.variables[it->second].levels.push_back(levels[l]);
        }
    }
    for (Variable& v : inv.variables) {
        v.fields.resize(v.hours.size() * v.levels.size());
        for (std::size_t h = 0; h < v.hours.size(); ++h)
            for (std::size_t l = 0; l < v.levels.size(); ++l)
                v.fields[v.field_index(h, l, 0)] = static_cast<long>(h);
    }
    name_variables(inv.variables);
    return !inv.variables.empty();
}

int read_gpv(Dataset& d, const Variable& v, std::size_t h, std::size_t l, std::span<float> values,
             Error& error, gpv::FieldLabel* label = nullptr) {
    std::lock_guard<std::mutex> g(gpv_lock);
    if (gpv_owner != &d) {
        gpv::forget_index();
        gpv_owner = &d;
    }
    Capture c(error);
    if (gpv::get_GPV_dat(d.gpv, v.item, static_cast<int>(v.levels[l]), static_cast<int>(h),
                         values)) {
        if (label) *label = gpv::header_label();
        return 1;
    }
    if (error.title.empty())
        fail(error, Error::Input, "get_GPV_dat", "Error: the field could not be read.");
    error.kind = Error::Input;
    return 0;
}

// ------------------------------------------------------------ GRIB

GridInfo grid_info(const grib::Grid& g) {
    GridInfo i;
    i.template_number = g.template_number;
    i.cols = g.cols, i.rows = g.rows;
    i.points = g.count();
    i.proj = g.proj;
    i.x0 = g.x0, i.y0 = g.y0, i.dx = g.dx, i.dy = g.dy;
    const bool reduced = !g.row_points.empty();
    switch (g.template_number) {
    case 0:
        i.kind = reduced ? "reduced_ll" : "regular_ll";
        break;
    case 1:
        i.kind = "rotated_ll";
        break;
    case 10:
        i.kind = "mercator";
        break;
    case 20:
        i.kind = "polar_stereographic";
        break;
    case 30:
        i.kind = "lambert";
        break;
    case 40:
        i.kind = reduced ? "reduced_gg" : "regular_gg";
        break;
    default:
        i.kind = "template_" + std::to_string(g.template_number);
    }
    i.layout = reduced                  ? GridLayout::Points
               : g.template_number == 0 ? GridLayout::LatLon
                                        : GridLayout::Projected;
    return i;
}

bool same_grid(const grib::Grid& a, const grib::Grid& b) {
    return a.template_number == b.template_number && a.cols == b.cols && a.rows == b.rows &&
           a.row_points == b.row_points && a.lon_west == b.lon_west && a.lat_north == b.lat_north &&
           a.lon_step == b.lon_step && a.lat_step == b.lat_step && a.proj == b.proj &&
           a.x0 == b.x0 && a.y0 == b.y0 && a.dx == b.dx && a.dy == b.dy &&
           a.gaussian_n == b.gaussian_n && a.south_pole_lat == b.south_pole_lat &&
           a.south_pole_lon == b.south_pole_lon;
}

bool open_grib(Dataset& d, int fd, Error& error) {
    if (!grib::open_fd(fd, d.grib)) return false;
    Inventory& inv = d.inv;
    if (!error.title.empty()) inv.notes.push_back(error.message()); // a damaged file
    error = Error{};
    const grib::File& file = d.grib;
    // (edition, parameter, level type, grid) to variable; per variable the
    // fields by (hour, level).
    std::map<std::tuple<int, int, int, int, int, int>, std::size_t> at;
    std::vector<std::map<std::pair<int, double>, long>> placed;
    int repeated = 0;
    for (std::size_t k = 0; k < file.fields.size(); ++k) {
        const grib::Field& f = file.fields[k];
        int g = -1;
        for (std::size_t j = 0; j < d.grib_grids.size(); ++j)
            if (same_grid(d.grib_grids[j], f.grid)) g = static_cast<int>(j);
        if (g < 0) {
            d.grib_grids.push_back(f.grid);
            inv.grids.push_back(grid_info(f.grid));
            g = static_cast<int>(inv.grids.size()) - 1;
        }
        const auto key =
            std::make_tuple(f.edition, f.discipline, f.category, f.number, f.level_type, g);
        auto [it, added] = at.emplace(key, inv.variables.size());
        if (added) {
            Variable v;
            describe_grib_parameter(f, v);
            v.discipline = f.discipline, v.category = f.category, v.number = f.number;
            v.level_type = f.level_type;
            describe_grib_level(f.level_type, v);
            v.grid = g;
            v.interval_hours = f.interval_hours;
            inv.variables.push_back(v);
            placed.emplace_back();
        }
        const double level = f.level_type == 100 ? f.level_value / 100.0 : f.level_value;
        if (!placed[it->second].emplace(std::make_pair(f.forecast_hour, level), k).second)
            ++repeated;
    }
    for (std::size_t n = 0; n < inv.variables.size(); ++n) {
        Variable& v = inv.variables[n];
        for (const auto& [hl, k] : placed[n]) {
            v.hours.push_back(hl.first);
            v.levels.push_back(hl.second);
        }
        std::sort(v.hours.begin(), v.hours.end());
        v.hours.erase(std::unique(v.hours.begin(), v.hours.end()), v.hours.end());
        // Pressure from the ground up, other levels upward.
        if (v.level_type == 100)
            std::sort(v.levels.begin(), v.levels.end(), std::greater<double>());
        else
            std::sort(v.levels.begin(), v.levels.end());
        v.levels.erase(std::unique(v.levels.begin(), v.levels.end()), v.levels.end());
        v.fields.assign(v.hours.size() * v.levels.size(), -1);
        for (const auto& [hl, k] : placed[n]) {
            const auto h =
                std::lower_bound(v.hours.begin(), v.hours.end(), hl.first) - v.hours.begin();
            const auto l =
                std::find(v.levels.begin(), v.levels.end(), hl.second) - v.levels.begin();
            v.fields[v.field_index(h, l, 0)] = k;
        }
    }
    if (repeated)
        inv.notes.push_back("repeated parameter, level and hour: " + std::to_string(repeated) +
                            " field(s), the first one kept");
    if (file.skipped && !file.first_problem.empty())
        inv.notes.push_back("skipped " + std::to_string(file.skipped) +
                            " field(s): " + file.first_problem);
    const grib::Field& first = file.fields.front();
    inv.year = first.year, inv.month = first.month, inv.day = first.day;
    inv.hour = first.hour, inv.minute = first.minute;
    inv.model = grib_model_name(first);
    name_variables(inv.variables);
    return true;
}

} // namespace

Dataset::~Dataset() {
    if (gpv) {
        std::lock_guard<std::mutex> g(gpv_lock);
        if (gpv_owner == this) {
            gpv::forget_index();
            gpv_owner = nullptr;
        }
        std::fclose(gpv);
    }
    grib::close(grib);
}

FileKind file_kind(std::FILE* f) {
    static thread_local std::uint8_t head[1 << 16];
    std::rewind(f);
    const std::size_t n = std::fread(head, 1, sizeof head, f);
    std::rewind(f);
    if (grib::find_grib(head, n, n)) return FileKind::Grib;
    if (n < sizeof head || memmem(head, n, "DGRB", 4)) return FileKind::Gpv;
    // Nothing in the head: GRIB when a message comes before the first GPV
    // record (a record found here is remembered for the GPV reader).
    long long record;
    {
        std::lock_guard<std::mutex> g(gpv_lock); // the reader remembers the last file searched
        record = gpv::first_marker_offset(fileno(f));
    }
    if (record == gpv::kNotRegular) return FileKind::Gpv;
    const long long stop = record >= 0 ? record : std::numeric_limits<long long>::max();
    return grib::find_grib_in_file(fileno(f), stop) >= 0 ? FileKind::Grib : FileKind::Gpv;
}

std::shared_ptr<Dataset> open(const std::string& path, Error& error) {
    error = Error{};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    struct stat st {};
    if (!f || fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
        if (f) std::fclose(f);
        fail(error, Error::Input, "kivar", path + ": cannot be read");
        return nullptr;
    }
    auto d = std::make_shared<Dataset>();
    d->inv.path = path;
    const bool is_grib = file_kind(f) == FileKind::Grib;
    Capture c(error);
    if (is_grib) {
        d->inv.kind = FileKind::Grib;
        const bool ok = open_grib(*d, fileno(f), error);
        std::fclose(f);
        if (!ok) {
            if (error.title.empty()) fail(error, Error::Input, "kivar", path + ": no GRIB fields");
            error.kind = Error::Input;
            return nullptr;
        }
        return d;
    }
    d->inv.kind = FileKind::Gpv;
    d->gpv = f;
    std::lock_guard<std::mutex> g(gpv_lock);
    if (!open_gpv(*d, error)) {
        if (error.title.empty())
            fail(error, Error::Input, "kivar", path + ": no GPV records found");
        error.kind = Error::Input;
        return nullptr;
    }
    return d;
}

const Inventory& inventory(const Dataset& d) {
    return d.inv;
}

int find_variable(const Dataset& d, const std::string& name) {
    for (std::size_t k = 0; k < d.inv.variables.size(); ++k)
        if (d.inv.variables[k].name == name) return static_cast<int>(k);
    return -1;
}

namespace {
int read_field_labelled(Dataset& d, int vi, int hour_pos, int level_pos, int member_pos,
                        std::span<float> values, Error& error, gpv::FieldLabel* label);
}

int read_field(Dataset& d, int vi, int hour_pos, int level_pos, int member_pos,
               std::span<float> values, Error& error) {
    return read_field_labelled(d, vi, hour_pos, level_pos, member_pos, values, error, nullptr);
}

namespace {

// read_field, with the GPV reader's label of the field (its range).
int read_field_labelled(Dataset& d, int vi, int hour_pos, int level_pos, int member_pos,
                        std::span<float> values, Error& error, gpv::FieldLabel* label) {
    error = Error{};
    const Inventory& inv = d.inv;
    if (vi < 0 || vi >= static_cast<int>(inv.variables.size()))
        return fail(error, Error::Value, "kivar", "no variable " + std::to_string(vi));
    const Variable& v = inv.variables[vi];
    const std::size_t members = v.members.empty() ? 1 : v.members.size();
    if (hour_pos < 0 || hour_pos >= static_cast<int>(v.hours.size()) || level_pos < 0 ||
        level_pos >= static_cast<int>(v.levels.size()) || member_pos < 0 ||
        member_pos >= static_cast<int>(members))
        return fail(error, Error::Value, "kivar",
                    v.name + ": no field at position (" + std::to_string(hour_pos) + ", " +
                        std::to_string(level_pos) + ", " + std::to_string(member_pos) + ")");
    const GridInfo& g = inv.grids[v.grid];
    if (values.size() < g.points)
        return fail(error, Error::Value, "kivar",
                    v.name + ": " + std::to_string(g.points) + " values do not fit in " +
                        std::to_string(values.size()));
    values = values.first(g.points);
    const long k = v.fields[v.field_index(hour_pos, level_pos, member_pos)];
    if (k < 0) {
        std::fill(values.begin(), values.end(), NAN);
        char text[160];
        std::snprintf(text, sizeof text, "Error: no field of %s at level %g, hour %d.",
                      v.name.c_str(), v.levels[level_pos], v.hours[hour_pos]);
        return fail(error, Error::Value, "get_GRIB_dat", text);
    }
    if (inv.kind == FileKind::Gpv) return read_gpv(d, v, hour_pos, level_pos, values, error, label);
    Capture c(error);
    if (grib::decode(d.grib, d.grib.fields[k], values)) return 1;
    error.kind = Error::Input;
    return 0;
}

} // namespace

int grid_coordinates(const Dataset& d, int gi, std::vector<double>& lat, std::vector<double>& lon,
                     Error& error) {
    error = Error{};
    const Inventory& inv = d.inv;
    if (gi < 0 || gi >= static_cast<int>(inv.grids.size()))
        return fail(error, Error::Value, "kivar", "no grid " + std::to_string(gi));
    GridInfo g;
    if (inv.kind == FileKind::Gpv)
        return gpv_grid(d.model_code, d.gpv_grid_levels[gi], g, lat, lon);
    auto& dd = const_cast<Dataset&>(d);
    std::lock_guard<std::mutex> lock(dd.coordinate_lock);
    return grib_grid(d.grib_grids[gi], g, lat, lon, error);
}

Variable item_variable(int item, int level, const char* text) {
    Variable v;
    v.item = item;
    v.level_type = level == 0 ? 1 : 100;
    v.level_kind = level == 0 ? "surface" : "isobaric";
    v.level_units = level == 0 ? "" : "hPa";
    v.levels = {static_cast<double>(level)};
    if (item < gpv::kMaxItems && gpv::item_text(item)) {
        describe_gpv_item(item, level == 0, v);
    } else {
        const std::string t = text ? text : "Item " + std::to_string(item);
        const std::size_t open = t.rfind(" (");
        v.long_name = open == std::string::npos ? t : t.substr(0, open);
        if (open != std::string::npos && t.back() == ')')
            v.units = t.substr(open + 2, t.size() - open - 3);
        v.short_name = "item" + std::to_string(item);
    }
    v.name = v.short_name + "_" + v.level_kind;
    return v;
}

bool gpv_grid(int model_code, int level, GridInfo& grid, std::vector<double>& lat,
              std::vector<double>& lon) {
    gpv::GpvHeader h;
    if (!gpv::set_model_grid(h, model_code, level)) return false;
    grid = GridInfo{};
    grid.layout = GridLayout::LatLon;
    grid.kind = "regular_ll";
    grid.cols = h.grid_cols, grid.rows = h.grid_rows;
    grid.points = static_cast<std::size_t>(h.grid_count);
    // The cell centres, as the maps place them.
    lat.resize(grid.rows), lon.resize(grid.cols);
    for (int j = 0; j < grid.rows; ++j)
        lat[j] = h.lat_max - (j + 0.5f) * h.lat_step;
    for (int i = 0; i < grid.cols; ++i)
        lon[i] = h.lon_min + (i + 0.5f) * h.lon_step;
    return true;
}

int grib_grid(const grib::Grid& src, GridInfo& g, std::vector<double>& lat,
              std::vector<double>& lon, Error& error) {
    g = grid_info(src);
    std::vector<double> la(g.points), lo(g.points);
    {
        Capture c(error);
        if (!grib::grid_coordinates(src, la, lo)) {
            error.kind = Error::Input;
            return 0;
        }
    }
    if (g.layout != GridLayout::LatLon) {
        lat = std::move(la), lon = std::move(lo);
        return 1;
    }
    lat.resize(g.rows), lon.resize(g.cols);
    for (int j = 0; j < g.rows; ++j)
        lat[j] = la[static_cast<std::size_t>(j) * g.cols];
    for (int i = 0; i < g.cols; ++i)
        lon[i] = lo[i];
    return 1;
}

// ---------------------------------------------------------------- maps

namespace {

// The wind component that makes a map of arrows with variable v, or -1:
// GPV items 23 and 24, GRIB u and v (10u and 10v...) on the same kind of level.
int wind_partner(const Inventory& inv, const Variable& v, bool& is_u) {
    std::string want;
    if (inv.kind == FileKind::Gpv) {
        if (v.item != 23 && v.item != 24) return -1;
        is_u = v.item == 23;
        for (std::size_t k = 0; k < inv.variables.size(); ++k)
            if (inv.variables[k].item == (is_u ? 24 : 23) &&
                inv.variables[k].level_kind == v.level_kind)
                return static_cast<int>(k);
        return -1;
    }
    const std::string& s = v.short_name;
    if (s.empty() || (s.back() != 'u' && s.back() != 'v')) return -1;
    is_u = s.back() == 'u';
    want = s.substr(0, s.size() - 1) + (is_u ? "v" : "u");
    for (std::size_t k = 0; k < inv.variables.size(); ++k) {
        const Variable& w = inv.variables[k];
        if (w.short_name == want && w.level_kind == v.level_kind && w.grid == v.grid &&
            w.levels == v.levels && w.hours == v.hours && w.members == v.members)
            return static_cast<int>(k);
    }
    return -1;
}

// Reads one field for a map: the values, and for GPV files the program's
// label of it (its range as the reader found it).
int read_map_field(Dataset& d, int vi, int h, int l, int m, std::vector<float>& values,
                   gpv::FieldLabel& label, Error& error) {
    const Inventory& inv = d.inv;
    if (vi < 0 || vi >= static_cast<int>(inv.variables.size()))
        return fail(error, Error::Value, "kivar", "no variable " + std::to_string(vi));
    values.resize(inv.grids[inv.variables[vi].grid].points);
    return read_field_labelled(d, vi, h, l, m, values, error, &label);
}

} // namespace

int dataset_map(Dataset& d, int vi, int hour_pos, int level_pos, int member_pos,
                const std::string& coast_path, FieldMap& s, MapRequest& q, Error& error) {
    error = Error{};
    const Inventory& inv = d.inv;
    if (vi < 0 || vi >= static_cast<int>(inv.variables.size()))
        return fail(error, Error::Value, "kivar", "no variable " + std::to_string(vi));
    const Variable& v = inv.variables[vi];
    bool is_u = false;
    const int partner = wind_partner(inv, v, is_u);
    gpv::FieldLabel label;
    if (!read_map_field(d, vi, hour_pos, level_pos, member_pos, s.a, label, error)) return 0;
    if (partner >= 0) {
        gpv::FieldLabel other;
        if (!read_map_field(d, partner, hour_pos, level_pos, member_pos, s.b, other, error))
            return 0;
        if (!is_u) std::swap(s.a, s.b);
    } else {
        s.b.clear();
    }
    q.kind = partner >= 0 ? 2 : 1;
    q.grib = inv.kind == FileKind::Grib;
    const int level = static_cast<int>(v.levels[level_pos]);
    const int hour = v.hours[hour_pos];
    q.item = inv.kind == FileKind::Gpv ? v.item : 0;
    q.level = level;
    MapGrid& m = q.grid;
    m = MapGrid{};
    MapTitle t;
    t.hour = hour;
    if (inv.kind == FileKind::Gpv) {
        gpv::GpvHeader h;
        if (!gpv::set_model_grid(h, d.model_code, level))
            return fail(error, Error::Input, "plot_field", "Error: the model's grid is unknown.");
        m.label = label;
        m.cols = m.res_cols = h.grid_cols;
        m.rows = m.res_rows = h.grid_rows;
        m.lon_span = h.lon_max - h.lon_min;
        const std::size_t n = std::size_t(m.cols) * std::size_t(m.rows);
        s.lon.resize(n), s.lat.resize(n);
        for (int j = 0; j < h.grid_rows; ++j)
            for (int i = 0; i < h.grid_cols; ++i) {
                s.lon[std::size_t(j) * h.grid_cols + i] = h.lon_min + (i + 0.5f) * h.lon_step;
                s.lat[std::size_t(j) * h.grid_cols + i] = h.lat_max - (j + 0.5f) * h.lat_step;
            }
        q.geo = q.projection != 0;
        if (q.kind == 2) {
            t.item = "u-v wind field (m/s)";
        } else {
            char text[64] = "";
            Capture c(error);
            if (!gpv::id2str(v.item & 0xff, text)) return 0;
            t.item = text;
        }
    } else {
        const grib::Grid& g = d.grib_grids[v.grid];
        const grib::Field& f =
            d.grib.fields[v.fields[v.field_index(hour_pos, level_pos, member_pos)]];
        const float* a = s.a.data();
        const float* b = s.b.empty() ? nullptr : s.b.data();
        m.label.init_year = inv.year % 100, m.label.init_month = inv.month;
        m.label.init_day = inv.day, m.label.init_hour = inv.hour;
        // A regular latitude/longitude grid within the fixed frame is drawn
        // on the fixed map unless an area or a projection is asked for.
        const bool plain = g.template_number == 0 && g.row_points.empty();
        std::vector<double> lat(g.count()), lon(g.count());
        {
            std::lock_guard<std::mutex> lock(d.coordinate_lock);
            Capture c(error);
            if (!grib::grid_coordinates(g, lat, lon)) {
                error.kind = Error::Input;
                return 0;
            }
        }
        const bool rotated = g.template_number == 1 || g.template_number == 41;
        m.proj = rotated ? grib_view::rotated_proj(g) : g.proj;
        bool within = m.proj.empty();
        for (std::size_t k = 0; k < lat.size() && within; ++k) {
            double x = std::fmod(lon[k], 360.0);
            if (x < 0) x += 360.0;
            const float fx = float(x), fy = float(lat[k]);
            within = fx >= kFixedWest && fx <= kFixedEast && fy >= kFixedSouth && fy <= kFixedNorth;
        }
        q.geo = q.projection != 0 || q.area || !within || !plain;
        if (!q.geo) {
            m.proj.clear();
            if (!grib_view::frame_part(g, a, b, s.a, s.b, s.lon, s.lat, m))
                return fail(error, Error::Value, "plot_field",
                            "Error: the field's grid does not reach the map.");
        } else {
            const std::size_t n = g.count();
            if (g.cols < 2 || g.rows < 2 || !g.row_points.empty() ||
                n != std::size_t(g.cols) * std::size_t(g.rows))
                return fail(error, Error::Value, "plot_field",
                            "Error: the field's grid cannot be drawn as a map.");
            s.lon.resize(n), s.lat.resize(n);
            float lo = 1.0e32f, hi = -1.0e32f;
            for (std::size_t k = 0; k < n; ++k) {
                s.lon[k] = static_cast<float>(lon[k]);
                s.lat[k] = static_cast<float>(lat[k]);
                if (a[k] < lo) lo = a[k];
                if (a[k] > hi) hi = a[k];
            }
            m.label.min_value = lo, m.label.max_value = hi;
            m.cols = m.res_cols = g.cols;
            m.rows = m.res_rows = g.rows;
            m.lon_span = 30.0f;
            m.winds_grid_relative = g.winds_grid_relative;
            m.affine = g.template_number == 1 || !g.proj.empty();
            if (rotated)
                m.x0 = std::remainder(g.lon_west, 360.0), m.y0 = g.lat_north, m.dx = g.lon_step,
                m.dy = g.lat_step;
            else
                m.x0 = g.x0, m.y0 = g.y0, m.dx = g.dx, m.dy = g.dy;
        }
        if (q.kind == 2) {
            t.item = "u-v wind field (m/s)";
        } else {
            t.item = f.edition == 1
                         ? grib::parameter_name1(f.centre, f.table_version, f.number)
                         : grib::parameter_name(f.discipline, f.category, f.number, f.centre);
            const std::string kind = grib::product_kind(f);
            if (!kind.empty()) t.item += ", " + kind;
            if (f.probability_type >= 0) t.item += " (%)";
        }
        t.level = grib::level_name(f.level_type, f.level_value, f.level2_type, f.level2_value);
        t.hour_text = std::to_string(hour);
    }
    // The fixed map's coastline.
    if (q.geo || !gpv::read_map(coast_path.c_str(), s.coast_x, s.coast_y))
        s.coast_x.clear(), s.coast_y.clear();
    m.a = s.a.data();
    m.b = q.kind == 2 ? s.b.data() : nullptr;
    m.lon = s.lon.data(), m.lat = s.lat.data();
    q.coast_x = s.coast_x, q.coast_y = s.coast_y;
    q.title = map_title(q, t);
    return 1;
}

} // namespace engine
