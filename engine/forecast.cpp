// The forecast file view over the two formats: GPV files through gpv/, GRIB
// edition 2 files through grib/ (forecast_grib.cpp).
#include "engine/forecast.h"

#include "engine/forecast_grib.h"
#include "engine/engine.h"
#include "grib/grib.h"

#include <array>
#include <cstring>

namespace engine {

ForecastView forecast;

namespace {

std::FILE* inventory_file = nullptr; // the file of the inventory

bool is_grib() {
    return forecast.format == FileFormat::Grib;
}

} // namespace

FileFormat sniff_format(std::FILE* f) {
    return file_kind(f) == FileKind::Grib ? FileFormat::Grib : FileFormat::Gpv;
}

std::string forecast_level_text(int pos) {
    if (pos < 0 || pos >= static_cast<int>(forecast.levels.size())) return "";
    if (pos < static_cast<int>(forecast.level_names.size())) return forecast.level_names[pos];
    return std::to_string(forecast.levels[pos]);
}

std::string forecast_hour_text(int pos) {
    if (pos < 0 || pos >= static_cast<int>(forecast.hours.size())) return "";
    if (pos < static_cast<int>(forecast.hour_names.size())) return forecast.hour_names[pos];
    return std::to_string(forecast.hours[pos]);
}

std::string forecast_hour_label(int hour) {
    if (forecast.hour_names.empty()) return std::to_string(hour);
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d", hour / 60,
                  hour % 60 < 0 ? -(hour % 60) : hour % 60);
    return text;
}

std::string forecast_level_label(int level) {
    if (is_grib())
        if (const std::string* name = grib_view::level_name(level)) return *name;
    return std::to_string(level);
}

std::string forecast_output_name(const char* save_dir, int item, int level, int hour) {
    if (is_grib()) return grib_view::output_name(save_dir, item, level, hour);
    return gpv::output_base_name(save_dir, forecast_field_label(), item, level, hour);
}

int forecast_open(std::FILE* f, const std::string& path) {
    // The index of the file opened before goes; its lists stay, and stay what
    // Execute works with, until this file shows lists of its own.
    gpv::forget_index();
    grib_view::close();
    inventory_file = f;
    const FileFormat format = sniff_format(f);
    if (format == FileFormat::Grib) {
        if (!grib_view::open(f, path)) return 0;
        forecast.format = format;
        return 1;
    }

    gpv::GpvIndex& ix = gpv::index;
    std::array<int, gpv::kMaxLevels> levels{};
    int level_count = gpv::check_GPV_p(f, levels.data(), gpv::kMaxLevels);
    if (level_count == 0) return 0;
    std::array<int, gpv::kMaxItems> items{};
    int item_count = gpv::check_GPV_p(f, levels[0], items.data(), gpv::kMaxItems);
    if (item_count == 0) return 0;
    forecast.format = format;
    ix.levels = levels;
    ix.level_count = level_count;
    ix.items = items;
    ix.item_count = item_count;
    forecast.levels.assign(levels.begin(), levels.begin() + level_count);
    forecast.level_names.clear();
    forecast.hour_names.clear();
    forecast.items.assign(items.begin(), items.begin() + item_count);
    const gpv::GpvHeader& h = gpv::header;
    forecast.model_name = h.model_name;
    forecast.model_code = h.model_code;
    forecast.init_year = h.init_year, forecast.init_month = h.init_month;
    forecast.init_day = h.init_day, forecast.init_hour = h.init_hour;
    forecast.init_minute = h.init_minute;
    forecast.hours.clear();
    for (int hour = h.first_forecast_hour; hour <= h.last_forecast_hour; hour += h.forecast_step)
        forecast.hours.push_back(hour);
    forecast.largest_grid_count = ix.largest_grid_count;
    forecast.notes.clear();
    return 1;
}

int forecast_choose_level(int pos) {
    if (!inventory_file || pos < 0 || pos >= static_cast<int>(forecast.levels.size())) return 0;
    if (is_grib()) return grib_view::choose_level(pos);
    // A scan that finds nothing leaves the items as they were.
    std::array<int, gpv::kMaxItems> items{};
    int n = gpv::check_GPV_p(inventory_file, forecast.levels[pos], items.data(), gpv::kMaxItems);
    if (n == 0) return 0;
    gpv::GpvIndex& ix = gpv::index;
    ix.items = items;
    ix.item_count = n;
    forecast.items.assign(items.begin(), items.begin() + n);
    return 1;
}

int forecast_item_label(int item, char* text) {
    if (is_grib()) return grib_view::item_label(item, text);
    return gpv::id2str(item & 0xff, text);
}

const char* forecast_item_name(int item) {
    if (is_grib()) return grib_view::item_name(item);
    return gpv::item_text(item);
}

int forecast_field_count(const gpv::Selection& sel) {
    if (is_grib()) return grib_view::field_count(sel);
    return gpv::field_count(sel);
}

int forecast_extract_next(std::FILE* f, const gpv::Selection& sel, std::span<float> field,
                          int& level, int& item, int& hour, int& pass) {
    if (is_grib()) return grib_view::extract_next(sel, field, level, item, hour, pass);
    return gpv::extract_next(f, sel, field, level, item, hour, pass);
}

gpv::FieldLabel forecast_field_label() {
    if (is_grib()) return grib_view::field_label();
    return gpv::header_label();
}

int forecast_save(const char* save_dir, int layout, std::span<const float> field, int item,
                  int level, int hour) {
    if (layout != gpv::kLayoutPoints) {
        if (is_grib()) return grib_view::save(save_dir, layout, field, item, level, hour);
        return gpv::save_field(save_dir, layout, forecast_field_label(), field, item, level, hour);
    }
    std::span<const double> lat, lon;
    if (is_grib()) {
        if (!grib_view::point_coordinates(lat, lon)) return 0;
        const std::string name = grib_view::output_name(save_dir, item, level, hour);
        return gpv::save_points(save_dir, forecast_field_label(), field, lat, lon, item, level,
                                hour, name.c_str());
    }
    static std::vector<double> cell_lat, cell_lon;
    gpv::cell_centres(cell_lat, cell_lon);
    lat = cell_lat, lon = cell_lon;
    return gpv::save_points(save_dir, forecast_field_label(), field, lat, lon, item, level, hour);
}

bool forecast_map_grid(const float* a, const float* b, MapGrid& m) {
    if (is_grib()) return grib_view::map_grid(a, b, m);
    const gpv::GpvHeader& h = gpv::header;
    const gpv::GpvGrid& g = gpv::grid;
    if (h.grid_count <= 0 || h.grid_count > g.allocated_count) return false;
    // The cell centres follow the grid of the field (the surface level has a
    // finer grid than the pressure levels).
    gpv::fill_cell_centres();
    m.label = gpv::header_label();
    m.cols = m.res_cols = h.grid_cols;
    m.rows = m.res_rows = h.grid_rows;
    m.a = a, m.b = b;
    m.lon = g.LonArray.data(), m.lat = g.LatArray.data();
    m.lon_span = h.lon_max - h.lon_min;
    return true;
}

void forecast_close() {
    gpv::forget_index();
    grib_view::close();
    inventory_file = nullptr;
    forecast = ForecastView{};
}

} // namespace engine
