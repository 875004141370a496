// Execute with "Image": each selected field becomes one weather map page,
// drawn through the plotting library in a fixed sequence of calls.
#include "app/app.h"

#include "app/control_ids.h"
#include "app/forecast.h"
#include "gpv/gpv.h"
#include "plot/razidu.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace app {

namespace {

constexpr int kItemU = 23, kItemV = 24;
constexpr int kArrowCode = 1121;
// The library keeps this many characters of a file name.
constexpr std::size_t kPlotNameMax = 80;

void set_status(const char* text) {
    platform::set_text(IDC_STATUS, text);
}

// A range field as a number: its first 29 characters through read_decimal.
float range_field(int id) {
    return read_decimal(platform::get_text(id).substr(0, 29));
}

std::string selected_text(int id) {
    return platform::list_text(id, platform::list_selected(id));
}

// The device keyword of an "Image format:" entry.
std::string device_keyword(const std::string& format) {
    if (format.compare(0, 2, "ps") == 0) return "pscl";
    if (format.compare(0, 3, "tif") == 0) return "tiff";
    return format;
}

// Draws the coastline: every run of more than five points before an end mark
// is one polyline; points behind the last end mark are not drawn.
void draw_coastline() {
    const gpv::GpvGrid& g = gpv::grid;
    int count = static_cast<int>(std::min(g.CoastX.size(), g.CoastY.size()));
    int n = 0;
    for (int k = 0; k < count; ++k) {
        if (g.CoastX[k] < -990.0f) {
            if (n > 5) razidu::curve(&g.CoastX[k - n], &g.CoastY[k - n], n);
            n = 0;
        } else {
            ++n;
        }
    }
}

bool inside(const MapOptions& o, float lon, float lat) {
    return lon >= o.lon0 && lon <= o.lon1 && lat >= o.lat0 && lat <= o.lat1;
}

// One arrow per step-th cell of every step-th row, from the north-west cell,
// coloured by wind speed on the zmin..zmax scale; with an area, only the
// arrows that start inside it.
void draw_arrows(const MapGrid& m, float zmin, float zmax) {
    const MapOptions& o = state.map;
    const gpv::GpvGrid& g = gpv::grid;
    const float *u = m.a, *v = m.b;
    float scale = static_cast<float>(std::atof(selected_text(IDC_VECTOR_SCALE).c_str()));
    float s = scale * 0.005f * m.lon_span;
    int step = std::atoi(selected_text(IDC_VECTOR_DENSITY).c_str());
    if (step < 1) step = 1;
    for (int j = 0; j < m.rows; j += step)
        for (int i = 0; i < m.cols; i += step) {
            int k = j * m.cols + i;
            if (std::isnan(g.SpeedBuffer[k])) continue; // a missing point
            if (o.area && !inside(o, m.lon[k], m.lat[k])) continue;
            razidu::setclr(
                static_cast<int>(253.0f * (g.SpeedBuffer[k] - zmin) / (zmax - zmin) + 1.0f));
            razidu::rlvec(m.lon[k], m.lat[k], m.lon[k] + s * u[k], m.lat[k] + s * v[k], kArrowCode);
        }
}

// The cells of a field that have a value: missing points (NaN) are left out
// of the arrays given to curve3, which would colour them.
int present_cells(const MapGrid& m, std::vector<float>& x, std::vector<float>& y,
                  std::vector<float>& z) {
    const int n = m.cols * m.rows;
    x.clear(), y.clear(), z.clear();
    for (int k = 0; k < n; ++k)
        if (!std::isnan(m.a[k])) {
            x.push_back(m.lon[k]);
            y.push_back(m.lat[k]);
            z.push_back(m.a[k]);
        }
    return static_cast<int>(z.size());
}

// The axes of the map: the fixed frame, or the chosen area with labels every
// 0.1, 0.2, 0.5, 1, 2, 5, 10 or 20 degrees, whichever gives at most seven.
struct MapFrame {
    float x0 = 119.5f, x1 = 150.5f, x_first = 120.0f, x_step = 5.0f;
    float y0 = 19.5f, y1 = 50.5f, y_first = 20.0f, y_step = 5.0f;
    int digits = -1;
};

float label_step(float span) {
    static const float steps[] = {0.1f, 0.2f, 0.5f, 1, 2, 5, 10, 20, 50};
    for (float s : steps)
        if (span / s <= 7.0f) return s;
    return 100.0f;
}

MapFrame map_frame(const MapOptions& o) {
    MapFrame f;
    if (!o.area) return f;
    f.x0 = o.lon0;
    f.x1 = o.lon1;
    f.y0 = o.lat0;
    f.y1 = o.lat1;
    f.x_step = f.y_step = label_step(std::max(o.lon1 - o.lon0, o.lat1 - o.lat0));
    f.x_first = std::ceil(f.x0 / f.x_step) * f.x_step;
    f.y_first = std::ceil(f.y0 / f.y_step) * f.y_step;
    f.digits = f.x_step < 1.0f ? 1 : -1;
    return f;
}

// Spacing of the grid's cell centres in degrees.
float lon_step(const MapGrid& m) {
    return m.cols > 1 ? std::fabs(m.lon[1] - m.lon[0]) : 1.0f;
}
float lat_step(const MapGrid& m) {
    return m.rows > 1 ? std::fabs(m.lat[m.cols] - m.lat[0]) : 1.0f;
}

// Whether cell k covers some of the area (touching its edge is not enough).
bool reaches(const MapOptions& o, const MapGrid& m, int k) {
    const float hx = 0.5f * lon_step(m), hy = 0.5f * lat_step(m);
    const float lon = m.lon[k], lat = m.lat[k];
    return lon + hx > o.lon0 && lon - hx < o.lon1 && lat + hy > o.lat0 && lat - hy < o.lat1;
}

// Smallest and largest of the values whose cells cover some of the area (so
// that every cell drawn has a colour of the range); false when no cell does.
bool area_range(const MapOptions& o, const MapGrid& m, const float* z, float* lo, float* hi) {
    float a = 1.0e32f, b = -1.0e32f;
    bool any = false;
    for (int k = 0; k < m.cols * m.rows; ++k)
        if (!std::isnan(z[k]) && reaches(o, m, k)) {
            any = true;
            a = std::min(a, z[k]);
            b = std::max(b, z[k]);
        }
    if (any) *lo = a, *hi = b;
    return any;
}

// The cells of the area for curve3: first the cells that reach into it from
// outside, their centres moved onto its edge so that the library draws them
// (it draws a cell only when its centre is inside), then the cells inside,
// which paint over what the moved cells drew beyond their own extent. Every
// cell is cut at the edges of the axis system; missing points are left out.
int area_cells(const MapOptions& o, const MapGrid& m, std::vector<float>& x, std::vector<float>& y,
               std::vector<float>& v) {
    x.clear(), y.clear(), v.clear();
    for (int pass = 0; pass < 2; ++pass)
        for (int k = 0; k < m.cols * m.rows; ++k) {
            float lon = m.lon[k], lat = m.lat[k];
            bool in = inside(o, lon, lat);
            if (in != (pass == 1) || std::isnan(m.a[k])) continue;
            if (!in) {
                if (!reaches(o, m, k)) continue;
                lon = std::clamp(lon, o.lon0, o.lon1);
                lat = std::clamp(lat, o.lat0, o.lat1);
            }
            x.push_back(lon);
            y.push_back(lat);
            v.push_back(m.a[k]);
        }
    return static_cast<int>(v.size());
}

// The cell size for autres: as many cells as the grid has over the area.
int cells_over(float span, float step) {
    if (!(step > 0)) return 2;
    return std::clamp(static_cast<int>(span / step) + 1, 2, 10000);
}

// Labelled isolines of z (the map grid's values) every step over lo..hi.
void draw_contours(const MapGrid& m, const float* z, float step, float lo, float hi) {
    std::vector<float> levels = contour_levels(step, lo, hi);
    if (levels.empty() || m.cols < 2 || m.rows < 2) return;
    std::vector<float> lat(static_cast<std::size_t>(m.rows));
    for (int j = 0; j < m.rows; ++j)
        lat[static_cast<std::size_t>(j)] = m.lat[static_cast<std::size_t>(j) * m.cols];
    // Whole steps are labelled as integers, others with the step's decimals.
    int digits = -1;
    for (float d = step; digits < 3 && std::fabs(d - std::round(d)) > 1e-4f * std::fabs(d) + 1e-6f;
         d *= 10)
        digits = digits < 0 ? 1 : digits + 1;
    razidu::height(36);
    razidu::isolab(700, digits);
    razidu::isolin(m.lon, m.cols, lat.data(), m.rows, z, levels.data(),
                   static_cast<int>(levels.size()));
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
    gpv::GpvGrid& g = gpv::grid;
    MapGrid m;
    if (!a || (kind == 2 && !b) || !forecast_map_grid(a, b, m)) return 0;
    const gpv::FieldLabel& h = m.label;
    const MapOptions& opt = state.map;
    const int n = m.cols * m.rows;
    a = m.a, b = m.b;

    if (kind == 2)
        for (int k = 0; k < n; ++k)
            g.SpeedBuffer[k] = std::sqrt(a[k] * a[k] + b[k] * b[k]);
    const float* shown = kind == 2 ? g.SpeedBuffer.data() : a;

    // Colour range.
    float zmin, zmax;
    if (platform::is_checked(IDC_AUTO_SCALE)) {
        if (kind == 2) {
            zmin = 1.0e32f;
            zmax = -1.0e32f;
            for (int k = 0; k < n; ++k) {
                if (g.SpeedBuffer[k] < zmin) zmin = g.SpeedBuffer[k];
                if (g.SpeedBuffer[k] > zmax) zmax = g.SpeedBuffer[k];
            }
        } else {
            zmin = h.min_value;
            zmax = h.max_value;
        }
        if (opt.area) area_range(opt, m, shown, &zmin, &zmax);
        char text[64];
        std::snprintf(text, sizeof text, "%f", zmin);
        platform::set_text(IDC_RANGE_LOW, text);
        std::snprintf(text, sizeof text, "%f", zmax);
        platform::set_text(IDC_RANGE_HIGH, text);
    } else {
        zmin = range_field(IDC_RANGE_LOW);
        zmax = range_field(IDC_RANGE_HIGH);
        if (!(zmin < zmax)) zmax = zmin + 1.0f;
    }
    if (zmax == zmin) {
        if (state.no_map) state.no_map(level, item, hour, zmin);
        return 0;
    }
    float zstep = static_cast<float>((zmax - zmin) / 9.0);

    // Output file.
    std::string format = selected_text(IDC_FORMAT_LIST);
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
        file = gpv::output_base_name("", h, item, level, hour) + "." + format;
    }
    // The library keeps 80 characters of a file name: a longer path is
    // written from inside its folder under the bare name.
    const std::string full_path = dir + file;
    state.map_file = full_path;
    std::string path = full_path;
    std::string old_dir;
    if (path.size() > kPlotNameMax) {
        old_dir = platform::current_directory();
        if (!platform::change_directory(dir)) {
            platform::message_box(("Error: can't enter " + dir).c_str(), "plot_field", true);
            return 0;
        }
        path = file;
    }

    // Title text.
    char item_label[64] = "";
    if (kind == 2)
        std::snprintf(item_label, sizeof item_label, "u-v wind field (m/s)");
    else
        forecast_item_label(item, item_label);
    char title_line[160];
    std::snprintf(title_line, sizeof title_line, "%s  P=%d  DT=%02d%02d%02d%02d TM=%d", item_label,
                  level, h.init_year, h.init_month, h.init_day, h.init_hour, hour);

    const MapFrame f = map_frame(opt);
    const bool cells = opt.contours != MapOptions::Only;
    namespace rz = razidu;
    // A worker draws only the frame of a map it does not write, in memory:
    // the library carries the direction of every second tick line from page
    // to page, and the pages it writes must find it as one process leaves it.
    rz::metafl(state.draw_only ? "virt" : device_keyword(format).c_str());
    rz::winsiz(650, 600);
    if (!state.draw_only) {
        // A frame drawn in memory names no file: the library would replace
        // a file of that name, which the worker writing it may have written.
        rz::filmod("delete");
        rz::setfil(path.c_str());
    }
    rz::scrmod("revers");
    rz::page(2925, 2820);
    rz::disini();
    rz::axspos(526, 2346);
    rz::hwfont();
    rz::widbar(50);
    rz::name("Longitude", "x");
    rz::name("Latitude", "y");
    rz::labels("map", "x");
    rz::labels("map", "y");
    rz::digits(f.digits, "x");
    rz::digits(f.digits, "y");
    rz::nochek();
    rz::color("fore");
    rz::height(40);
    if (opt.area)
        rz::autres(cells_over(f.x1 - f.x0, lon_step(m)), cells_over(f.y1 - f.y0, lat_step(m)));
    else
        rz::autres(m.res_cols, m.res_rows);
    if (cells)
        rz::graf3(f.x0, f.x1, f.x_first, f.x_step, f.y0, f.y1, f.y_first, f.y_step, zmin, zmax,
                  zmin, zstep);
    else
        rz::graf(f.x0, f.x1, f.x_first, f.x_step, f.y0, f.y1, f.y_first, f.y_step);
    if (state.draw_only) {
        rz::close_axis_system();
        rz::disfin();
        if (!old_dir.empty()) platform::change_directory(old_dir);
        return 1;
    }
    if (kind == 1 && cells) {
        if (opt.area) {
            std::vector<float> x, y, z;
            int count = area_cells(opt, m, x, y, z);
            rz::curve3(x.data(), y.data(), z.data(), count);
        } else if (forecast.format == FileFormat::Gpv) {
            rz::curve3(m.lon, m.lat, a, n);
        } else {
            std::vector<float> x, y, z;
            rz::curve3(x.data(), y.data(), z.data(), present_cells(m, x, y, z));
        }
    }
    rz::titlin(title_line, 3);
    rz::title();
    draw_coastline();
    if (opt.contours != MapOptions::None) {
        float lo = 1.0e32f, hi = -1.0e32f;
        for (int k = 0; k < n; ++k)
            if (shown[k] == shown[k]) lo = std::min(lo, shown[k]), hi = std::max(hi, shown[k]);
        float step = opt.step > 0 ? opt.step : auto_contour_step(item, level, lo, hi);
        if (!cells) rz::color("blue");
        draw_contours(m, shown, step, lo, hi);
    }
    rz::color("back");
    if (kind == 2 && cells) draw_arrows(m, zmin, zmax);
    rz::close_axis_system();
    rz::disfin();

    if (!old_dir.empty()) platform::change_directory(old_dir);
    // A map that could not be written whole stops the run with one message;
    // one that could not be created is reported on the command line (the
    // library has warned) and the run goes on.
    const rz::PageOutcome outcome = rz::page_outcome();
    if (outcome.status == 1 && state.file_failed)
        state.file_failed("plot_field", full_path, outcome.reason);
    if (outcome.status >= 2) {
        platform::message_box((full_path + ": " + outcome.reason).c_str(), "plot_field", true);
        return kPlotFailed;
    }
    if (outcome.status != 0) return 0;
    if (state.display_count > 0) {
        // The picture control sits at (2, 0) of its frame, 650 x 600 pixels;
        // each display plot replaces its bitmap by the new tmp.bmp.
        platform::show_picture((state.start_dir + "tmp.bmp").c_str(), 2, 0, 650, 600);
    }
    return 1;
}

int plot_command() {
    gpv::Selection sel = read_selection();
    int total = forecast_field_count(sel);
    if (!sel.selected_only && state.jobs > 1 && !in_worker() &&
        selected_text(IDC_FORMAT_LIST).compare(0, 7, "display") != 0) {
        // The workers share the save folder: it is made before they start.
        std::string dir = platform::get_text(IDC_SAVE_PATH).substr(0, 255);
        if (!dir.empty() && !platform::is_directory(dir)) platform::make_directory(dir);
        int r = run_jobs(false, total, plot_command);
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
