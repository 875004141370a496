// Start-up and the commands of the main dialog.
#include "app/app.h"

#include "app/control_ids.h"
#include "engine/forecast.h"
#include "app/netcdf_run.h"
#include "gpv/gpv.h"
#include "grib/grib.h"
#include "plot/razidu.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app {

// The engine's view of the open file.
using engine::FileFormat;
using engine::forecast;
using engine::forecast_choose_level;
using engine::forecast_close;
using engine::forecast_extract_next;
using engine::forecast_field_count;
using engine::forecast_hour_text;
using engine::forecast_item_label;
using engine::forecast_item_name;
using engine::forecast_level_text;
using engine::forecast_open;
using engine::forecast_output_name;
using engine::forecast_save;
using engine::ForecastView;

ProgramState state;

namespace {

bool is_file(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return !platform::is_directory(path);
}

// Input that is not a regular file (a pipe, a FIFO, a device) is read into
// memory up to this many bytes and then decoded as a file.
constexpr std::size_t kMaxStreamBytes = std::size_t{256} << 20;

// Opens a GPV file for reading. A stream that is not a regular file is
// copied into an anonymous file in memory, which is returned instead. Null
// when the file cannot be opened, and with `error` set when the stream could
// not be read whole or is too long.
std::FILE* open_input(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return nullptr;
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return f;
    int fd = memfd_create("kivar-input", MFD_CLOEXEC);
    std::FILE* copy = fd >= 0 ? fdopen(fd, "w+b") : nullptr;
    if (!copy) {
        error = std::strerror(errno);
        if (fd >= 0) close(fd);
        std::fclose(f);
        return nullptr;
    }
    static char buffer[1 << 16];
    std::size_t total = 0;
    while (error.empty()) {
        std::size_t n = std::fread(buffer, 1, sizeof buffer, f);
        if (n == 0) {
            if (std::ferror(f)) error = std::strerror(errno);
            break;
        }
        total += n;
        if (total > kMaxStreamBytes)
            error = "not a regular file, and longer than " + std::to_string(kMaxStreamBytes >> 20) +
                    " MiB";
        else if (std::fwrite(buffer, 1, n, copy) != n)
            error = std::strerror(errno);
    }
    std::fclose(f);
    if (!error.empty() || std::fflush(copy) != 0) {
        if (error.empty()) error = std::strerror(errno);
        std::fclose(copy);
        return nullptr;
    }
    std::rewind(copy);
    return copy;
}

void set_status(const char* text) {
    platform::set_text(IDC_STATUS, text);
}

// The data library reports in message boxes without an owner window.
void show_report(const char* title, const char* text) {
    platform::message_box(text, title, false);
}

} // namespace

// The dialog's choice of fields for extract_next.
gpv::Selection read_selection() {
    gpv::Selection sel;
    sel.selected_only = platform::is_checked(IDC_SELECTED_ONLY);
    sel.level_pos = platform::list_selected(IDC_LEVEL_LIST);
    sel.item_pos = platform::list_selected(IDC_ITEM_LIST);
    sel.hour_pos = platform::list_selected(IDC_HOUR_LIST);
    return sel;
}

namespace {

void on_command(int id, int notification) {
    switch (id) {
    case IDC_EXECUTE:
        execute_command();
        break;
    case IDC_LEVEL_LIST:
        if (notification == platform::SelectionChanged)
            fill_item_list(platform::list_selected(IDC_LEVEL_LIST));
        break;
    case IDM_OPEN:
        open_command();
        break;
    case IDM_EXIT:
        platform::end_dialog(1);
        break;
    case IDM_USERS_GUIDE:
        platform::open_help("gpv.hlp");
        break;
    case IDM_MAP_CELLS:
    case IDM_MAP_CONTOURS:
    case IDM_MAP_CONTOURS_ONLY:
        map_mode_command(id);
        break;
    case IDM_MAP_STEP:
        contour_step_command();
        break;
    case IDM_MAP_AREA:
        area_command();
        break;
    case IDM_MAP_AREA_FIXED:
    case IDM_MAP_AREA_GRID:
    case IDM_MAP_AREA_EAST_ASIA:
    case IDM_MAP_AREA_GLOBE:
        area_preset_command(id);
        break;
    default:
        if (id >= IDM_MAP_PROJECTION && id < IDM_MAP_PALETTE + 4) map_choice_command(id);
        break;
    }
}

void on_first_paint() {
    if (state.bitmap_shown) return;
    state.bitmap_shown = true;
    if (!state.startup_bitmap.empty())
        platform::show_picture(state.startup_bitmap.c_str(), 163, 177, 323, 246);
}

} // namespace

const platform::DialogHandlers dialog_handlers = {dialog_init, on_command, on_first_paint};

void dialog_init() {
    gpv::report = show_report;
    grib::report = show_report;
    // KIVAR_FSYNC=0: output files are not synced to the disk before they
    // take their names (faster on a disk; whole or absent then holds when
    // the process dies, not when the machine does).
    const char* sync = std::getenv("KIVAR_FSYNC");
    const bool no_sync = sync && std::strcmp(sync, "0") == 0;
    gpv::sync_output = !no_sync;
    razidu::file_sync(!no_sync);
    state.start_dir = platform::current_directory();
    if (state.start_dir.empty() || state.start_dir.back() != '/') state.start_dir += '/';
    state.save_dir = state.start_dir;
    state.open_dir = state.start_dir;

    platform::set_checked(IDC_AUTO_SCALE, true);
    platform::set_checked(IDC_SELECTED_ONLY, true);
    platform::set_checked(IDC_ALL_ITEMS, false);
    platform::set_checked(IDC_MODE_IMAGE, true);
    platform::set_checked(IDC_MODE_DATA, false);
    platform::set_text(IDC_SAVE_PATH, state.save_dir.c_str());

    auto fill = [](int id, const std::vector<std::string>& entries, int selected) {
        platform::list_reset(id);
        for (std::size_t k = 0; k < entries.size(); ++k)
            platform::list_insert(id, static_cast<int>(k), entries[k].c_str());
        platform::list_select(id, selected);
    };
    fill(IDC_DATA_FORMAT, data_layouts(), 0);
    fill(IDC_FORMAT_LIST, map_formats(), 0);
    fill(IDC_VECTOR_SCALE, vector_scales(), 4);
    fill(IDC_VECTOR_DENSITY, vector_densities(), 0);

    state.map = MapOptions{};
    map_mode_command(IDM_MAP_CELLS);
    area_preset_command(IDM_MAP_AREA_GRID);
    map_choice_command(IDM_MAP_PROJECTION);
    map_choice_command(IDM_MAP_PALETTE);

    platform::set_text(IDC_MODEL, "NON");
    platform::set_text(IDC_INIT_TIME, "0:00");
    set_status("NON");

    state.map_path = state.start_dir + "map.dat";
    if (!is_file(state.map_path) && !state.installed_map_path.empty() &&
        is_file(state.installed_map_path))
        state.map_path = state.installed_map_path;

    if (state.log_file) std::fclose(state.log_file);
    state.log_file = gpv::open_log(state.start_dir + "gpv.log");
    state.log_failure_reported = false;
}

void shutdown() {
    forecast_close();
    if (state.gpv_file) std::fclose(state.gpv_file);
    if (state.log_file) std::fclose(state.log_file);
    state.gpv_file = state.log_file = nullptr;
    state.file_ready = false;
}

int open_command() {
    std::string chosen;
    if (!platform::choose_open_file("Open", state.open_dir, chosen)) return 0;
    return open_file(chosen);
}

int open_file(const std::string& path) {
    state.file_ready = false;
    gpv::forget_index();
    if (state.gpv_file) std::fclose(state.gpv_file);
    state.open_error.clear();
    state.gpv_file = open_input(path, state.open_error);
    if (!state.gpv_file || platform::is_directory(path)) {
        if (state.gpv_file) std::fclose(state.gpv_file);
        state.gpv_file = nullptr;
        return 0;
    }
    state.open_path = path;
    if (!forecast_open(state.gpv_file, path)) return 0;
    if (!fill_item_list(-1)) return 0;

    std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) state.open_dir = path.substr(0, slash);
    const char* kind = forecast.format == FileFormat::Grib ? "KIVAR (GRIB2): " : "KIVAR (GPV): ";
    platform::set_title((kind + path).c_str());

    const ForecastView& v = forecast;
    char text[32];
    platform::set_text(IDC_MODEL, v.model_name.c_str());
    std::snprintf(text, sizeof text, "%d:%d", v.init_hour, v.init_minute);
    platform::set_text(IDC_INIT_TIME, text);

    platform::list_reset(IDC_LEVEL_LIST);
    for (std::size_t k = 0; k < v.levels.size(); ++k)
        platform::list_insert(IDC_LEVEL_LIST, static_cast<int>(k),
                              forecast_level_text(static_cast<int>(k)).c_str());
    platform::list_reset(IDC_HOUR_LIST);
    for (std::size_t k = 0; k < v.hours.size(); ++k)
        platform::list_insert(IDC_HOUR_LIST, static_cast<int>(k),
                              forecast_hour_text(static_cast<int>(k)).c_str());
    platform::list_select(IDC_LEVEL_LIST, 0);
    platform::list_select(IDC_HOUR_LIST, 0);

    if (v.largest_grid_count != state.recorded_grid_count) {
        if (!gpv::ini_vars(state.map_path.c_str(), v.largest_grid_count)) return 0;
        state.recorded_grid_count = v.largest_grid_count;
    }
    if (v.format == FileFormat::Gpv) gpv::fill_cell_centres();
    state.file_ready = true;
    return 1;
}

int fill_item_list(int pos) {
    // pos -1: the items of the first level, which the open just read. A scan
    // that finds nothing leaves the item list and the items as they were.
    if (!state.gpv_file) return 0;
    if (pos >= 0 && !forecast_choose_level(pos)) return 0;
    const std::vector<int>& items = forecast.items;
    if (items.empty()) return 0;
    platform::list_reset(IDC_ITEM_LIST);
    char text[64];
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (!forecast_item_label(items[k], text)) return 0;
        platform::list_insert(IDC_ITEM_LIST, static_cast<int>(k), text);
    }
    platform::list_select(IDC_ITEM_LIST, 0);
    return 1;
}

int check_path() {
    // The folder as given, whatever its length (files are written relative
    // to it); an empty field is the current folder.
    const std::string given = state.request.save_path;
    std::string dir = given.empty() ? "." : given;
    if (dir.back() != '/') dir += '/';
    state.save_dir = dir;
    if (platform::is_directory(dir)) return 1;
    if (platform::make_directory(dir)) return 1;
    int err = errno;
    if (err == EEXIST && !platform::is_directory(dir)) err = ENOTDIR; // a file of that name
    platform::message_box("Invalid path for saving extracted data.", "check_path", true);
    if (state.file_failed)
        state.file_failed("check_path", given.empty() ? "." : given, std::strerror(err));
    return 0;
}

int save_command() {
    state.request = read_request();
    return save_run();
}

int save_run() {
    if (!check_path()) return 0;
    const int layout = state.request.layout;
    // NetCDF: every field of the run into one file, written by this process.
    const bool netcdf = layout >= 0 && layout < static_cast<int>(data_layouts().size()) &&
                        data_layouts()[layout] == kNetcdfLayout;
    if (netcdf) netcdf_begin();
    const gpv::Selection sel = state.request.selection;
    int total = forecast_field_count(sel);
    if (!netcdf && !sel.selected_only && state.jobs > 1 && !in_worker()) {
        int r = run_jobs(true, total, save_run);
        if (r >= 0) {
            if (r) set_status("data save OK");
            return r;
        }
    }
    std::vector<float>& field = gpv::grid.FieldBuffer[0];
    int level = 0, item = 0, hour = 0, pass = -1;
    int done = 0, position = 0;
    int result;
    bool write_failed = false;
    do {
        result = forecast_extract_next(state.gpv_file, sel, field, level, item, hour, pass);
        if (result > 0) {
            std::string why;
            int saved = netcdf                  ? 1
                        : worker_owns(position) ? forecast_save(state.save_dir.c_str(), layout,
                                                                field, item, level, hour)
                                                : 1;
            if (netcdf && !netcdf_add(field, item, level, hour, why)) {
                platform::message_box(why.c_str(), "save_GPV", true);
                return 0;
            }
            if (saved == 0 && gpv::layout_extension(layout) && state.file_failed) {
                int err = errno;
                state.file_failed("save_GPV",
                                  forecast_output_name(state.save_dir.c_str(), item, level, hour) +
                                      gpv::layout_extension(layout),
                                  std::strerror(err));
            }
            write_failed = saved == gpv::kWriteFailed;
            char text[64];
            forecast_item_label(item, text);
            if (in_worker())
                worker_log(level, hour, item);
            else
                write_log(level, hour, item);
            ++done;
            if (state.progress) state.progress(done, total, level, item, hour);
        }
        char status[64];
        std::snprintf(status, sizeof status, "P: %d   ID: %d   TM: %d", level, item, hour);
        set_status(status);
        platform::refresh();
        // A file that could not be written whole ends the run: the next
        // ones would fail the same way (a full disk, a file-size limit).
        if (in_worker())
            worker_field_end(position, result != 2 || write_failed, write_failed ? 0 : 1,
                             result > 0, level, item, hour);
        ++position;
        if (write_failed) return 0;
    } while (result == 2);
    if (netcdf) {
        std::string file, why;
        if (!netcdf_end(state.save_dir, file, why)) {
            platform::message_box((file + ": " + why).c_str(), "save_GPV", true);
            return 0;
        }
    }
    set_status("data save OK");
    return 1;
}

void write_log(int level, int hour, int item) {
    if (!state.log_file && !state.log_failure_reported) {
        state.log_failure_reported = true;
        platform::message_box(
            ("Error: can't open log file " + state.start_dir + "gpv.log.").c_str(), "save_GPV",
            false);
    }
    platform::DateTime t = platform::utc_now();
    if (gpv::write_log_line(state.log_file, {t.year, t.month, t.day, t.hour, t.minute, t.second},
                            level, hour, item, forecast_item_name(item)) == gpv::kWriteFailed &&
        !state.log_failure_reported) {
        state.log_failure_reported = true;
        platform::message_box((state.start_dir + "gpv.log: " + std::strerror(errno)).c_str(),
                              "save_GPV", false);
    }
}

RunRequest read_request() {
    RunRequest r;
    r.data = platform::is_checked(IDC_MODE_DATA);
    r.selection = read_selection();
    r.layout = platform::list_selected(IDC_DATA_FORMAT);
    r.format = platform::list_text(IDC_FORMAT_LIST, platform::list_selected(IDC_FORMAT_LIST));
    r.save_path = platform::get_text(IDC_SAVE_PATH);
    r.auto_scale = platform::is_checked(IDC_AUTO_SCALE);
    r.range_low = platform::get_text(IDC_RANGE_LOW);
    r.range_high = platform::get_text(IDC_RANGE_HIGH);
    r.vector_scale =
        platform::list_text(IDC_VECTOR_SCALE, platform::list_selected(IDC_VECTOR_SCALE));
    r.vector_density =
        platform::list_text(IDC_VECTOR_DENSITY, platform::list_selected(IDC_VECTOR_DENSITY));
    return r;
}

void execute(const RunRequest& request) {
    if (!state.gpv_file) {
        platform::message_box("File not opened yet.", "Execute_CMD", true);
        return;
    }
    state.request = request;
    if (request.data) {
        save_run();
        return;
    }
    plot_run();
}

void execute_command() {
    execute(read_request());
}

const std::vector<std::string>& data_layouts() {
    static const std::vector<std::string> layouts = [] {
        std::vector<std::string> v;
        for (int k = 0; k < gpv::kLayoutCount; ++k)
            v.push_back(gpv::layout_name(k));
        v.push_back(kNetcdfLayout);
        return v;
    }();
    return layouts;
}

const std::vector<std::string>& map_formats() {
    static const std::vector<std::string> formats = {"display", "pdf", "cgm", "png",
                                                     "tif",     "ps",  "bmp"};
    return formats;
}

const std::vector<std::string>& vector_scales() {
    static const std::vector<std::string> scales = [] {
        std::vector<std::string> v;
        char text[32];
        float scale = 0.2f;
        for (int k = 0; k < 10; ++k, scale += 0.2f) {
            std::snprintf(text, sizeof text, "%3.1f", scale);
            v.push_back(text);
        }
        return v;
    }();
    return scales;
}

const std::vector<std::string>& vector_densities() {
    static const std::vector<std::string> densities = [] {
        std::vector<std::string> v;
        for (int k = 1; k <= 10; ++k)
            v.push_back(std::to_string(k));
        return v;
    }();
    return densities;
}

} // namespace app
