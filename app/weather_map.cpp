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

// One arrow per step-th cell of every step-th row, from the north-west cell,
// coloured by wind speed on the zmin..zmax scale.
void draw_arrows(const MapGrid& m, float zmin, float zmax) {
    const gpv::GpvGrid& g = gpv::grid;
    const float *u = m.a, *v = m.b;
    float scale = static_cast<float>(std::atof(selected_text(IDC_VECTOR_SCALE).c_str()));
    float s = scale * 0.005f * m.lonSpan;
    int step = std::atoi(selected_text(IDC_VECTOR_DENSITY).c_str());
    if (step < 1) step = 1;
    for (int j = 0; j < m.rows; j += step)
        for (int i = 0; i < m.cols; i += step) {
            int k = j * m.cols + i;
            if (std::isnan(g.SpeedBuffer[k])) continue; // a missing point
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
    const int n = m.cols * m.rows;
    a = m.a, b = m.b;

    if (kind == 2)
        for (int k = 0; k < n; ++k)
            g.SpeedBuffer[k] = std::sqrt(a[k] * a[k] + b[k] * b[k]);

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
            zmin = h.minValue;
            zmax = h.maxValue;
        }
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
    if (zmax == zmin) return 0;
    float zstep = static_cast<float>((zmax - zmin) / 9.0);

    // Output file.
    std::string format = selected_text(IDC_FORMAT_LIST);
    std::string dir, file;
    if (format.compare(0, 7, "display") == 0) {
        format = "bmp";
        dir = state.startDir;
        file = "tmp.bmp";
        ++state.displayCount;
    } else {
        state.displayCount = 0;
        if (!check_path()) return 0;
        dir = state.saveDir;
        file = gpv::output_base_name("", h, item, level, hour) + "." + format;
    }
    // The library keeps 80 characters of a file name: a longer path is
    // written from inside its folder under the bare name.
    const std::string fullPath = dir + file;
    state.mapFile = fullPath;
    std::string path = fullPath;
    std::string oldDir;
    if (path.size() > kPlotNameMax) {
        oldDir = platform::current_directory();
        if (!platform::change_directory(dir)) {
            platform::message_box(("Error: can't enter " + dir).c_str(), "plot_field", true);
            return 0;
        }
        path = file;
    }

    // Title text.
    char itemText[64] = "";
    if (kind == 2)
        std::snprintf(itemText, sizeof itemText, "u-v wind field (m/s)");
    else
        forecast_item_label(item, itemText);
    char titleText[160];
    std::snprintf(titleText, sizeof titleText, "%s  P=%d  DT=%02d%02d%02d%02d TM=%d", itemText,
                  level, h.initYear, h.initMonth, h.initDay, h.initHour, hour);

    namespace rz = razidu;
    rz::metafl(device_keyword(format).c_str());
    rz::winsiz(650, 600);
    rz::filmod("delete");
    rz::setfil(path.c_str());
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
    rz::digits(-1, "x");
    rz::digits(-1, "y");
    rz::nochek();
    rz::color("fore");
    rz::height(40);
    rz::autres(m.resCols, m.resRows);
    rz::graf3(119.5f, 150.5f, 120.0f, 5.0f, 19.5f, 50.5f, 20.0f, 5.0f, zmin, zmax, zmin, zstep);
    if (kind == 1) {
        if (forecast.format == FileFormat::Gpv) {
            rz::curve3(m.lon, m.lat, a, n);
        } else {
            std::vector<float> x, y, z;
            rz::curve3(x.data(), y.data(), z.data(), present_cells(m, x, y, z));
        }
    }
    rz::titlin(titleText, 3);
    rz::title();
    draw_coastline();
    rz::color("back");
    if (kind == 2) draw_arrows(m, zmin, zmax);
    rz::close_axis_system();
    rz::disfin();

    if (!oldDir.empty()) platform::change_directory(oldDir);
    // A map that could not be written whole stops the run with one message;
    // one that could not be created is reported on the command line (the
    // library has warned) and the run goes on.
    const rz::PageOutcome outcome = rz::page_outcome();
    if (outcome.status == 1 && state.fileFailed)
        state.fileFailed("plot_field", fullPath, outcome.reason);
    if (outcome.status >= 2) {
        platform::message_box((fullPath + ": " + outcome.reason).c_str(), "plot_field", true);
        return kPlotFailed;
    }
    if (outcome.status != 0) return 0;
    if (state.displayCount > 0) {
        // The picture control sits at (2, 0) of its frame, 650 x 600 pixels;
        // each display plot replaces its bitmap by the new tmp.bmp.
        platform::show_picture((state.startDir + "tmp.bmp").c_str(), 2, 0, 650, 600);
    }
    return 1;
}

int plot_command() {
    gpv::Selection sel = read_selection();
    int total = forecast_field_count(sel);
    std::vector<float>& first = gpv::grid.FieldBuffer[0];
    std::vector<float>& second = gpv::grid.FieldBuffer[1];
    int level = 0, item = 0, hour = 0, pass = -1;
    int done = 0;
    int result;
    do {
        result = forecast_extract_next(state.gpvFile, sel, first, level, item, hour, pass);
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
                int partnerPass = 1, partnerLevel = level, partnerHour = hour;
                if (!forecast_extract_next(state.gpvFile, sel, second, partnerLevel, partner,
                                           partnerHour, partnerPass))
                    return 0;
                const float* u = item == kItemU ? first.data() : second.data();
                const float* v = item == kItemU ? second.data() : first.data();
                plotted = plot_field(u, v, partner, level, hour, 2);
            } else {
                plotted = plot_field(first.data(), nullptr, item, level, hour, 1);
            }
            // The next maps would fail the same way (a full disk, a limit).
            if (plotted == kPlotFailed) return 0;
            ++done;
            if (state.progress) state.progress(done, total, level, item, hour);
        }
    } while (result == 2);
    set_status("plot OK");
    return 1;
}

} // namespace app
