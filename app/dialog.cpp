// Start-up and the commands of the main dialog.
#include "app/app.h"

#include "app/control_ids.h"
#include "gpv/gpv.h"

#include <array>
#include <cstdio>

namespace app {

ProgramState state;

namespace {

bool is_file(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return !platform::is_directory(path);
}

void set_status(const char* text) {
    platform::set_text(IDC_STATUS, text);
}

// Makes the items found by a scan the index's and the item list's.
int show_items(const std::array<int, gpv::kMaxItems>& items, int count) {
    gpv::GpvIndex& ix = gpv::index;
    ix.items = items;
    ix.itemCount = count;
    platform::list_reset(IDC_ITEM_LIST);
    char text[32];
    for (int k = 0; k < count; ++k) {
        if (!gpv::id2str(ix.items[k] & 0xff, text)) return 0;
        platform::list_insert(IDC_ITEM_LIST, k, text);
    }
    platform::list_select(IDC_ITEM_LIST, 0);
    return 1;
}

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
    default:
        break;
    }
}

void on_first_paint() {
    if (state.bitmapShown) return;
    state.bitmapShown = true;
    if (!state.startupBitmap.empty())
        platform::show_picture(state.startupBitmap.c_str(), 163, 177, 323, 246);
}

} // namespace

const platform::DialogHandlers dialog_handlers = {dialog_init, on_command, on_first_paint};

gpv::Selection read_selection() {
    gpv::Selection sel;
    sel.selectedOnly = platform::is_checked(IDC_SELECTED_ONLY);
    sel.levelPos = platform::list_selected(IDC_LEVEL_LIST);
    sel.itemPos = platform::list_selected(IDC_ITEM_LIST);
    sel.hourPos = platform::list_selected(IDC_HOUR_LIST);
    return sel;
}

void dialog_init() {
    state.startDir = platform::current_directory();
    if (state.startDir.empty() || state.startDir.back() != '/') state.startDir += '/';
    state.saveDir = state.startDir;
    state.openDir = state.startDir;

    platform::set_checked(IDC_AUTO_SCALE, true);
    platform::set_checked(IDC_SELECTED_ONLY, true);
    platform::set_checked(IDC_ALL_ITEMS, false);
    platform::set_checked(IDC_MODE_IMAGE, true);
    platform::set_checked(IDC_MODE_DATA, false);
    platform::set_text(IDC_SAVE_PATH, state.saveDir.c_str());

    platform::list_reset(IDC_DATA_FORMAT);
    platform::list_insert(IDC_DATA_FORMAT, 0, "TEXT");
    platform::list_insert(IDC_DATA_FORMAT, 1, "CSV");
    platform::list_select(IDC_DATA_FORMAT, 0);

    static const char* const formats[] = {"display", "pdf", "cgm", "png", "tif", "ps", "bmp"};
    platform::list_reset(IDC_FORMAT_LIST);
    for (int k = 0; k < 7; ++k)
        platform::list_insert(IDC_FORMAT_LIST, k, formats[k]);
    platform::list_select(IDC_FORMAT_LIST, 0);

    char text[32];
    platform::list_reset(IDC_VECTOR_SCALE);
    float v = 0.2f;
    for (int k = 0; k < 10; ++k) {
        std::snprintf(text, sizeof text, "%3.1f", v);
        platform::list_insert(IDC_VECTOR_SCALE, k, text);
        v += 0.2f;
    }
    platform::list_select(IDC_VECTOR_SCALE, 4);

    platform::list_reset(IDC_VECTOR_DENSITY);
    for (int k = 0; k < 10; ++k) {
        std::snprintf(text, sizeof text, "%d", k + 1);
        platform::list_insert(IDC_VECTOR_DENSITY, k, text);
    }
    platform::list_select(IDC_VECTOR_DENSITY, 0);

    state.map = MapOptions{};
    map_mode_command(IDM_MAP_CELLS);

    platform::set_text(IDC_MODEL, "NON");
    platform::set_text(IDC_INIT_TIME, "0:00");
    set_status("NON");

    state.mapPath = state.startDir + "map.dat";
    if (!is_file(state.mapPath) && !state.installedMapPath.empty() &&
        is_file(state.installedMapPath))
        state.mapPath = state.installedMapPath;

    if (state.logFile) std::fclose(state.logFile);
    state.logFile = std::fopen((state.startDir + "gpv.log").c_str(), "a");
    state.logFailureReported = false;
}

void shutdown() {
    gpv::forget_index();
    if (state.gpvFile) std::fclose(state.gpvFile);
    if (state.logFile) std::fclose(state.logFile);
    state.gpvFile = state.logFile = nullptr;
    state.fileReady = false;
}

int open_command() {
    std::string chosen;
    if (!platform::choose_open_file("Open", state.openDir, chosen)) return 0;
    return open_file(chosen);
}

int open_file(const std::string& path) {
    state.fileReady = false;
    gpv::forget_index();
    if (state.gpvFile) std::fclose(state.gpvFile);
    state.gpvFile = std::fopen(path.c_str(), "rb");
    if (!state.gpvFile || platform::is_directory(path)) {
        if (state.gpvFile) std::fclose(state.gpvFile);
        state.gpvFile = nullptr;
        return 0;
    }
    state.openPath = path;
    // The scans go to lists of their own: when they find nothing, the index
    // keeps the lists the dialog still shows, and Execute works with those.
    gpv::GpvIndex& ix = gpv::index;
    std::array<int, gpv::kMaxLevels> levels{};
    int levelCount = gpv::check_GPV_p(state.gpvFile, levels.data(), gpv::kMaxLevels);
    if (levelCount == 0) return 0;
    std::array<int, gpv::kMaxItems> items{};
    int itemCount = gpv::check_GPV_p(state.gpvFile, levels[0], items.data(), gpv::kMaxItems);
    if (itemCount == 0) return 0;
    ix.levels = levels;
    ix.levelCount = levelCount;
    if (!show_items(items, itemCount)) return 0;

    std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) state.openDir = path.substr(0, slash);
    platform::set_title(("KIVAR (GPV): " + path).c_str());

    const gpv::GpvHeader& h = gpv::header;
    char text[32];
    platform::set_text(IDC_MODEL, h.modelName);
    std::snprintf(text, sizeof text, "%d:%d", h.initHour, h.initMinute);
    platform::set_text(IDC_INIT_TIME, text);

    platform::list_reset(IDC_LEVEL_LIST);
    for (int k = 0; k < ix.levelCount; ++k) {
        std::snprintf(text, sizeof text, "%d", ix.levels[k]);
        platform::list_insert(IDC_LEVEL_LIST, k, text);
    }
    platform::list_reset(IDC_HOUR_LIST);
    int pos = 0;
    for (int hour = h.firstForecastHour; hour <= h.lastForecastHour; hour += h.forecastStep) {
        std::snprintf(text, sizeof text, "%d", hour);
        platform::list_insert(IDC_HOUR_LIST, pos++, text);
    }
    platform::list_select(IDC_LEVEL_LIST, 0);
    platform::list_select(IDC_HOUR_LIST, 0);

    if (ix.largestGridCount != state.recordedGridCount) {
        if (!gpv::ini_vars(state.mapPath.c_str(), ix.largestGridCount)) return 0;
        state.recordedGridCount = ix.largestGridCount;
    }
    gpv::fill_cell_centres();
    state.fileReady = true;
    return 1;
}

int fill_item_list(int pos) {
    gpv::GpvIndex& ix = gpv::index;
    if (!state.gpvFile || pos < 0 || pos >= ix.levelCount) return 0;
    std::array<int, gpv::kMaxItems> items{};
    int n = gpv::check_GPV_p(state.gpvFile, ix.levels[pos], items.data(), gpv::kMaxItems);
    if (n == 0) return 0; // the item list and the index keep their items
    return show_items(items, n);
}

int check_path() {
    std::string dir = platform::get_text(IDC_SAVE_PATH).substr(0, 255);
    if (dir.empty() || dir.back() != '/') dir += '/';
    state.saveDir = dir;
    if (platform::is_directory(dir)) return 1;
    if (platform::make_directory(dir)) return 1;
    platform::message_box("Invalid path for saving extracted data.", "check_path", true);
    return 0;
}

int save_command() {
    if (!check_path()) return 0;
    int layout = platform::list_selected(IDC_DATA_FORMAT);
    gpv::Selection sel = read_selection();
    int total = gpv::field_count(sel);
    if (!sel.selectedOnly && state.jobs > 1 && !in_worker()) {
        int r = run_jobs(true, total, save_command);
        if (r >= 0) {
            set_status("data save OK");
            return r;
        }
    }
    std::vector<float>& field = gpv::grid.FieldBuffer[0];
    int level = 0, item = 0, hour = 0, pass = -1;
    int done = 0, position = 0;
    int result;
    do {
        result = gpv::extract_next(state.gpvFile, sel, field, level, item, hour, pass);
        if (result > 0) {
            if (worker_owns(position))
                gpv::save_GPV(state.saveDir.c_str(), layout, field, item, level, hour);
            char text[32];
            gpv::id2str(item & 0xff, text);
            if (in_worker()) {
                worker_log(level, hour, item);
            } else {
                if (!state.logFile && !state.logFailureReported) {
                    state.logFailureReported = true;
                    platform::message_box(
                        ("Error: can't open log file " + state.startDir + "gpv.log.").c_str(),
                        "save_GPV", false);
                }
                gpv::write_log_line(state.logFile, level, hour, item);
            }
            ++done;
            if (state.progress) state.progress(done, total, level, item, hour);
        }
        char status[64];
        std::snprintf(status, sizeof status, "P: %d   ID: %d   TM: %d", level, item, hour);
        set_status(status);
        platform::refresh();
        if (in_worker()) worker_field_end(position, result != 2, 1, result > 0, level, item, hour);
        ++position;
    } while (result == 2);
    set_status("data save OK");
    return 1;
}

void execute_command() {
    if (!state.gpvFile) {
        platform::message_box("File not opened yet.", "Execute_CMD", true);
        return;
    }
    if (platform::is_checked(IDC_MODE_DATA)) {
        save_command();
        return;
    }
    plot_command();
}

} // namespace app
