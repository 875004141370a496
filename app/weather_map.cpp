// Execute with "Image": each selected field becomes one weather map page,
// drawn by the engine from a request made of the program's state.
#include "app/app.h"

#include "app/control_ids.h"
#include "engine/forecast.h"
#include "engine/map.h"
#include "gpv/gpv.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace app {

// The engine's view of the open file.
using engine::FileFormat;
using engine::forecast;
using engine::forecast_extract_next;
using engine::forecast_field_count;
using engine::forecast_hour_label;
using engine::forecast_item_label;
using engine::forecast_level_label;
using engine::forecast_map_grid;
using engine::forecast_output_name;
using engine::MapGrid;

namespace {

constexpr int kItemU = 23, kItemV = 24;

void set_status(const char* text) {
    platform::set_text(IDC_STATUS, text);
}

// The device keyword of an "Image format:" entry.
std::string device_keyword(const std::string& format) {
    if (format.compare(0, 2, "ps") == 0) return "pscl";
    if (format.compare(0, 3, "tif") == 0) return "tiff";
    return format;
}

// A failure of the map as it arises: a box titled as the error.
void report_map_failure(const engine::Error& e) {
    platform::message_box(e.text.c_str(), e.title.c_str(), true);
}

// What became of the page written last: a map that could not be written
// whole stops the run with one message; one that could not be created is
// reported on the command line (the library has warned) and the run goes on.
int finish_page(const std::string& full_path, const engine::MapResult& r, int drawn) {
    if (r.outcome == 1 && state.file_failed)
        state.file_failed("plot_field", full_path, r.reason.c_str());
    if (r.outcome >= 2) {
        platform::message_box((full_path + ": " + r.reason).c_str(), "plot_field", true);
        return kPlotFailed;
    }
    if (r.outcome != 0 || drawn != 1) return 0;
    if (state.display_count > 0) {
        // The picture control sits at (2, 0) of its frame, 650 x 600 pixels;
        // each display plot replaces its bitmap by the new tmp.bmp.
        platform::show_picture((state.start_dir + "tmp.bmp").c_str(), 2, 0, 650, 600);
    }
    return 1;
}

// The title line of a map of the field extracted last.
std::string title_line(const engine::MapRequest& q, int kind, int item, int level, int hour) {
    engine::MapTitle t;
    char item_label[64] = "";
    if (kind == 2)
        std::snprintf(item_label, sizeof item_label, "u-v wind field (m/s)");
    else
        forecast_item_label(item, item_label);
    t.item = item_label;
    t.hour = hour;
    if (forecast.format == FileFormat::Grib) {
        t.level = forecast_level_label(level);
        t.hour_text = forecast_hour_label(hour);
        t.minutes = !forecast.hour_names.empty();
    }
    return engine::map_title(q, t);
}

} // namespace

float read_decimal(const std::string& text) {
    std::size_t k = text.find_first_not_of(" \t\n\v\f\r");
    if (k == std::string::npos) return 0.0f;
    std::size_t start = k;
    auto digits = [&] {
        std::size_t from = k;
        while (k < text.size() && text[k] >= '0' && text[k] <= '9')
            ++k;
        return k - from;
    };
    if (text[k] == '+' || text[k] == '-') ++k;
    std::size_t mantissa = digits();
    if (k < text.size() && text[k] == '.') {
        ++k;
        mantissa += digits();
    }
    if (mantissa == 0) return 0.0f;
    if (k < text.size() && (text[k] == 'e' || text[k] == 'E')) {
        std::size_t e = k++;
        if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
        if (digits() == 0) k = e; // "1e" is the number 1 followed by text
    }
    // Only the decimal literal goes to strtod, so "0x10" stays 0.
    double v = std::strtod(text.substr(start, k - start).c_str(), nullptr);
    return std::fabs(v) <= FLT_MAX ? static_cast<float>(v) : 0.0f;
}

int plot_field(const float* a, const float* b, int item, int level, int hour, int kind) {
    const MapOptions& opt = state.map;
    if (!a || (kind == 2 && !b)) return 0;
    engine::MapRequest q;
    MapGrid& m = q.grid;
    // A GRIB grid within the fixed frame, a GPV grid, with no other area or
    // projection asked for, is drawn on the fixed map; any other map shows
    // its area (by default the grid's extent) through the world coastline.
    bool geo = opt.projection != 0;
    if (forecast.format == FileFormat::Grib) {
        m.whole = true;
        if (!forecast_map_grid(a, b, m)) return 0;
        geo = geo || opt.area || !m.proj.empty() || !engine::within_fixed_frame(m);
        if (!geo) m = MapGrid{};
    }
    if (!geo || forecast.format != FileFormat::Grib)
        if (!forecast_map_grid(a, b, m)) return 0;
    q.kind = kind;
    q.grib = forecast.format == FileFormat::Grib;
    q.geo = geo;
    q.item = item, q.level = level;
    q.area = opt.area;
    q.lon0 = opt.lon0, q.lon1 = opt.lon1, q.lat0 = opt.lat0, q.lat1 = opt.lat1;
    q.fixed = opt.fixed;
    q.contours = opt.contours;
    q.contour_step = opt.step;
    q.projection = opt.projection;
    q.palette = opt.palette;
    q.auto_range = state.request.auto_scale;
    if (!q.auto_range) {
        q.range_low = read_decimal(state.request.range_low.substr(0, 29));
        q.range_high = read_decimal(state.request.range_high.substr(0, 29));
    }
    q.vector_scale = static_cast<float>(std::atof(state.request.vector_scale.c_str()));
    q.vector_density = std::atoi(state.request.vector_density.c_str());
    q.coast_x = gpv::grid.CoastX, q.coast_y = gpv::grid.CoastY;
    q.report = report_map_failure;

    engine::MapResult r;
    engine::Error error;
    if (!engine::map_range(q, r, error)) return 0;
    if (q.auto_range) {
        // GRIB fields show their range in the digits it has (1.6e-07).
        const char* shown_as = q.grib ? "%.7g" : "%f";
        char text[64];
        std::snprintf(text, sizeof text, shown_as, r.zmin);
        platform::set_text(IDC_RANGE_LOW, text);
        std::snprintf(text, sizeof text, shown_as, r.zmax);
        platform::set_text(IDC_RANGE_HIGH, text);
    }
    if (r.constant) {
        if (state.no_map) state.no_map(level, item, hour, r.value);
        return 0;
    }

    // Output file.
    std::string format = state.request.format;
    std::string dir, file;
    if (format.compare(0, 7, "display") == 0) {
        format = "bmp";
        dir = state.start_dir;
        file = "tmp.bmp";
        ++state.display_count;
    } else {
        state.display_count = 0;
        if (!check_path()) return 0;
        dir = state.save_dir;
        file = forecast_output_name("", item, level, hour) + "." + format;
    }
    const std::string full_path = dir + file;
    state.map_file = full_path;
    q.device = device_keyword(format);
    q.path = full_path;
    q.title = title_line(q, kind, item, level, hour);
    // A worker draws only the frame of a map it does not write, in memory.
    q.draw_only = state.draw_only;

    const int drawn = engine::draw_map(q, r, error);
    if (state.draw_only) return drawn;
    return finish_page(full_path, r, drawn);
}

int plot_command() {
    state.request = read_request();
    return plot_run();
}

int plot_run() {
    const gpv::Selection sel = state.request.selection;
    int total = forecast_field_count(sel);
    if (!sel.selected_only && state.jobs > 1 && !in_worker() &&
        state.request.format.compare(0, 7, "display") != 0) {
        // The workers share the save folder: it is made before they start.
        std::string dir = state.request.save_path.substr(0, 255);
        if (!dir.empty() && !platform::is_directory(dir)) platform::make_directory(dir);
        int r = run_jobs(false, total, plot_run);
        if (r >= 0) {
            if (r) set_status("plot OK");
            return r;
        }
    }
    std::vector<float>& first = gpv::grid.FieldBuffer[0];
    std::vector<float>& second = gpv::grid.FieldBuffer[1];
    int level = 0, item = 0, hour = 0, pass = -1;
    int done = 0, field = 0;
    int result;
    do {
        result = forecast_extract_next(state.gpv_file, sel, first, level, item, hour, pass);
        if (result > 0) {
            char status[64];
            std::snprintf(status, sizeof status, "P: %d   ID: %d   TM: %d", level, item, hour);
            set_status(status);
            platform::refresh();
            int plotted = 0;
            if (item == kItemU || item == kItemV) {
                // The partner component goes to the second buffer; the map is
                // named after the partner's item code.
                int partner = item == kItemU ? kItemV : kItemU;
                int partner_pass = 1, partner_level = level, partner_hour = hour;
                if (!forecast_extract_next(state.gpv_file, sel, second, partner_level, partner,
                                           partner_hour, partner_pass)) {
                    if (in_worker()) worker_field_end(field, true, 0, true, level, item, hour);
                    return 0;
                }
                const float* u = item == kItemU ? first.data() : second.data();
                const float* v = item == kItemU ? second.data() : first.data();
                state.draw_only = !worker_owns(field);
                plotted = plot_field(u, v, partner, level, hour, 2);
            } else {
                state.draw_only = !worker_owns(field);
                plotted = plot_field(first.data(), nullptr, item, level, hour, 1);
            }
            state.draw_only = false;
            // The next maps would fail the same way (a full disk, a limit).
            if (plotted == kPlotFailed) {
                if (in_worker()) worker_field_end(field, true, 0, true, level, item, hour);
                return 0;
            }
            ++done;
            if (state.progress) state.progress(done, total, level, item, hour);
        }
        if (in_worker()) worker_field_end(field, result != 2, 1, result > 0, level, item, hour);
        ++field;
    } while (result == 2);
    set_status("plot OK");
    return 1;
}

} // namespace app
