// The NetCDF layout: the fields of a run collected through the engine's
// NetCDF writer.
#include "app/netcdf_run.h"

#include "engine/forecast.h"
#include "engine/forecast_grib.h"
#include "engine/engine.h"

#include <map>
#include <memory>

namespace app {

// The engine's view of the open file.
using engine::FileFormat;
using engine::forecast;
using engine::forecast_field_label;
using engine::forecast_item_name;
namespace grib_view = engine::grib_view;

namespace {

struct Run {
    engine::NetcdfWriter writer;
    std::string name; // file name without the folder
    // Descriptions the writer's fields point to, by variable name and grid.
    std::map<std::string, std::unique_ptr<engine::Variable>> variables;
    std::map<std::string, std::unique_ptr<engine::GridInfo>> grids;
    std::map<std::string, std::unique_ptr<std::vector<double>>> lats, lons;
};
std::unique_ptr<Run> run;

} // namespace

void netcdf_begin() {
    run = std::make_unique<Run>();
}

bool netcdf_add(std::span<const float> field, int item, int level, int hour, std::string& why) {
    if (!run) netcdf_begin();
    const gpv::FieldLabel label = forecast_field_label();
    if (run->name.empty()) {
        std::string base = gpv::output_base_name("", label, item, level, hour);
        run->name = base + ".nc";
        run->writer.reference = {2000 + label.init_year, label.init_month, label.init_day,
                                 label.init_hour, 0};
        run->writer.title = forecast.model_name + " " + base;
    }
    engine::GridInfo grid;
    std::vector<double> lat, lon;
    engine::Error error;
    if (forecast.format == FileFormat::Grib) {
        const grib::Grid* g = grib_view::field_grid();
        if (!g || !engine::grib_grid(*g, grid, lat, lon, error)) {
            why = g ? error.text : "no grid";
            return false;
        }
    } else if (!engine::gpv_grid(label.model_code, level, grid, lat, lon)) {
        why = "unknown model";
        return false;
    }
    const std::string grid_key = grid.kind + std::to_string(grid.cols) + "x" +
                                 std::to_string(grid.rows) + std::to_string(lat.front()) +
                                 std::to_string(lon.front());
    auto& g = run->grids[grid_key];
    if (!g) {
        g = std::make_unique<engine::GridInfo>(grid);
        run->lats[grid_key] = std::make_unique<std::vector<double>>(std::move(lat));
        run->lons[grid_key] = std::make_unique<std::vector<double>>(std::move(lon));
    }
    engine::Variable v = engine::item_variable(item, level, forecast_item_name(item));
    auto& kept = run->variables[v.name + "/" + grid_key];
    if (!kept) {
        // One parameter and level kind on two grids: two variables.
        int same = 0;
        for (const auto& [key, other] : run->variables)
            if (other && other->short_name == v.short_name && other->level_kind == v.level_kind)
                ++same;
        if (same) v.name += "_" + std::to_string(same + 1);
        kept = std::make_unique<engine::Variable>(v);
    }
    engine::NetcdfField f;
    f.variable = kept.get();
    f.level = level;
    f.hour = hour;
    f.grid = g.get();
    f.lat = run->lats[grid_key].get();
    f.lon = run->lons[grid_key].get();
    f.values = field.first(std::min(field.size(), g->points));
    if (!engine::netcdf_add(run->writer, f, error)) {
        why = error.text;
        return false;
    }
    return true;
}

int netcdf_end(const std::string& save_dir, std::string& file, std::string& why) {
    if (!run || run->name.empty()) return 1;
    file = save_dir + run->name;
    engine::Error error;
    const int ok = engine::netcdf_write(run->writer, file, error);
    run.reset();
    if (!ok) {
        const std::string prefix = file + ": ";
        why = error.text.rfind(prefix, 0) == 0 ? error.text.substr(prefix.size()) : error.text;
    }
    return ok;
}

} // namespace app
