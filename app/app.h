// The dialog's behaviour: start-up, the commands of the menu and the Execute
// button, and the program state they share. A window backend runs
// `dialog_handlers` through platform::run_dialog; the `kivar` command line
// drives the same handlers through the headless backend.
#pragma once

#include "engine/map.h"
#include "gpv/gpv.h"
#include "platform/platform.h"

#include <cstdio>
#include <string>
#include <vector>

namespace app {

// How maps are drawn: the Map menu's choices, kept for the session.
struct MapOptions {
    enum Contours { None, WithCells, Only };
    int contours = None;
    float step = 0; // contour step; 0 chooses one per item (auto_contour_step)
    bool area = false;
    float lon0 = 0, lon1 = 0, lat0 = 0, lat1 = 0; // when area; lon1 may pass 180
    bool fixed = false; // the fixed Japan frame even for a grid beyond it (when !area)
    int projection = 0; // kProjectionNames position; 0: the grid's own (plate carree for lat/lon)
    int palette = 0;    // kPaletteNames position; 0: the rainbow
};

// What an Execute run does: the dialog turns its controls into one, the
// command line its options. Texts are kept as typed or listed.
struct RunRequest {
    bool data = false; // "Data": fields to files; else "Image": maps
    gpv::Selection selection;
    int layout = 0;                 // position in data_layouts()
    std::string format = "display"; // an entry of map_formats()
    std::string save_path;          // "" is the current folder
    bool auto_scale = true;         // else range_low..range_high
    std::string range_low, range_high;
    std::string vector_scale = "1.0"; // an entry of vector_scales()
    std::string vector_density = "1"; // an entry of vector_densities()
};

// The entries of the dialog's lists, which requests name.
const std::vector<std::string>& data_layouts();     // TEXT, CSV, points, NetCDF
const std::vector<std::string>& map_formats();      // display, pdf, cgm, png, tif, ps, bmp
const std::vector<std::string>& vector_scales();    // 0.2 to 2.0
const std::vector<std::string>& vector_densities(); // 1 to 10

// The names of --projection and --palette, in the order of their menu entries.
constexpr const char* kProjectionNames[] = {"grid",        "platecarree", "mercator", "lambert",
                                            "polar-north", "polar-south", "robinson", "equalearth"};
constexpr const char* kPaletteNames[] = {"rainbow", "viridis", "diverging", "precipitation"};

// Program-wide state of one run.
struct ProgramState {
    std::string start_dir; // ends with '/'
    std::string save_dir;  // ends with '/'
    std::string open_dir;  // initial folder of the open-file chooser
    std::string open_path; // the file opened last
    std::FILE* gpv_file = nullptr;
    std::FILE* log_file = nullptr;
    bool log_failure_reported = false;
    bool file_ready = false; // the last open filled the lists
    bool bitmap_shown = false;
    std::string map_path;           // map.dat used by ini_vars
    std::string installed_map_path; // fallback when the start folder has no map.dat
    std::string startup_bitmap;     // shown at the first paint when set
    int display_count = 0;          // display plots since start or the last file plot
    int recorded_grid_count = 0;    // grid size of the last ini_vars that succeeded
    MapOptions map;
    RunRequest request;     // of the run under way (Execute)
    int jobs = 1;           // worker processes of an "All items" run (see run_jobs)
    bool draw_only = false; // plot_field draws in memory only (a worker's field of another)
    // Called after each field of an Execute run (k from 1 to n); may be null.
    void (*progress)(int k, int n, int level, int item, int hour) = nullptr;
    // Called for an output file that could not be created (or a save folder
    // that check_path refused), with the operation's name, the file (the
    // folder) and the system's reason; the run goes on.
    // May be null (the window: the messages of the operation say enough).
    void (*file_failed)(const char* title, const std::string& file, const char* reason) = nullptr;
    // Called for a map that is not drawn because its field (its wind speed)
    // has one value; may be null (the window says nothing, as it always has).
    void (*no_map)(int level, int item, int hour, float value) = nullptr;
    std::string open_error; // why the last open_file found no file to read, or ""
    std::string map_file;   // the map being drawn, as the save folder names it
};
extern ProgramState state;

// The dialog procedure: init runs the start-up steps, command reacts to the
// menu, Execute and the level list, first_paint shows the start-up picture.
extern const platform::DialogHandlers dialog_handlers;

// Start-up: directories, the controls' initial contents, gpv.log.
void dialog_init();

// Closes the open GPV file and gpv.log (the end of the program).
void shutdown();

// File, Open: asks the chooser for a file, then open_file. 1 on success.
int open_command();
// Opens a chosen GPV file and fills the lists and labels. 1 on success.
int open_file(const std::string& path);
// Refills the item list for the level at position pos. 1 on success.
int fill_item_list(int pos);
// Reads, completes and if needed creates the save folder. 1 when usable.
int check_path();
// Execute with "Data": every selected field of state.request to a file of
// its layout (TEXT, CSV or points, gpv::Layout), or all into one NetCDF file.
// 1 when the run ended, 0 when the save folder was refused or a file could
// not be written whole (the run stops there, after its message).
int save_run();
// save_run with the request of the dialog's controls.
int save_command();
// Execute with "Image": every selected field as a weather map; the two wind
// components of a level and hour make one map of arrows. 1 when the run
// ended, 0 when the partner wind component could not be extracted or a map
// could not be written whole (the run stops there).
int plot_run();
// plot_run with the request of the dialog's controls.
int plot_command();
// One weather map page. kind 1: the scalar field `a` as coloured cells;
// kind 2: wind arrows from u = `a`, v = `b`, coloured by speed. The format,
// colour range and arrow settings come from the dialog. 1 when a page was
// written, 0 when not (equal range limits, save folder refused, the file
// could not be created), kPlotFailed after a box "FILE: REASON" titled
// "plot_field" when the file could not be written whole (no file took its
// name).
int plot_field(const float* a, const float* b, int item, int level, int hour, int kind);
constexpr int kPlotFailed = -1;

// The dialog's choice of fields for an Execute run.
gpv::Selection read_selection();

// Reads text like a decimal floating-point literal (blanks, a sign, digits
// with a decimal point, an exponent; what follows is ignored). Text that does
// not begin so, hexadecimal numbers, "inf", "nan" and values beyond single
// precision read as 0.
float read_decimal(const std::string& text);

// The request of the dialog's controls.
RunRequest read_request();

// Runs a request as the Execute button does: "File not opened yet." when no
// file is open, else save_run or plot_run.
void execute(const RunRequest& request);

// The Execute button: execute(read_request()).
void execute_command();

// Appends the gpv.log line of a field saved now.
void write_log(int level, int hour, int item);

// ------------------------------------------------------------ jobs
// Runs the "All items" command (save_command or plot_command, which call it
// first) in state.jobs worker processes: each extracts every field as one
// process would and writes every jobs-th; the parent prints their output,
// shows their boxes and writes gpv.log in field order. Returns the command's
// result, or -1 when the run is to go on in this process (one job, fewer
// than two fields, inside a worker, or no process could be started).
int run_jobs(bool data, int total, int (*command)());
// Sends sig to the workers of a run under way and waits until they have
// ended (each removes the file it was writing). Safe in a signal handler.
void end_workers(int sig);
// Inside a worker: whether it writes field k (k from 0 in the run's order);
// always true outside.
bool in_worker();
bool worker_owns(int field);
// Inside a worker: the gpv.log line the current field asks for.
void worker_log(int level, int hour, int item);
// Inside a worker: the end of field k of the run; sends its record when the
// worker owns it.
void worker_field_end(int field, bool last, int result, bool delivered, int level, int item,
                      int hour);

// ------------------------------------------------------------ Map menu
// Coloured cells, cells and contours, or contours only (IDM_MAP_CELLS,
// IDM_MAP_CONTOURS, IDM_MAP_CONTOURS_ONLY): marks the entry in the menu.
void map_mode_command(int command);
// The same by MapOptions::Contours.
void set_map_contours(int contours);
// Sets the contour step from text ("auto" or a positive number). 1 when
// set, 0 after a box titled "Map" saying why not.
int set_contour_step(const std::string& text);
// Sets the map's area from text "LON0 LON1 LAT0 LAT1" (blank: the fixed
// map). 1 when set, 0 after a box titled "Map" saying why not.
int set_area(const std::string& text);
// Picks the projection (or, with palette, the palette) of that name as its
// Map menu entry does; false when none has the name (see kProjectionNames,
// kPaletteNames).
bool choose_map_option(bool palette, const std::string& name);
// Asks for the contour step ("auto" or a positive number). 1 when set, 0
// when cancelled or refused (a box titled "Map" says why).
int contour_step_command();
// Asks for the map's area "LON0 LON1 LAT0 LAT1" (empty: the fixed map).
// 1 when set, 0 when cancelled or refused (a box titled "Map" says why).
int area_command();

// The contour step chosen per item, and the levels of a step (see
// engine/map.h).
using engine::auto_contour_step;
using engine::contour_levels;
using engine::kMaxContourLevels;
// Reads "LON0 LON1 LAT0 LAT1": four numbers, west below east (or an east
// longitude then a west one: across the date line, LON1 then gets 360 more),
// south below north, latitudes within -90..90. False with the reason in *why.
bool parse_area(const std::string& text, MapOptions& o, std::string* why);

// Map, Area presets: the fixed map, the grid's extent, East Asia, the globe;
// the entry is checked and kept for the session.
void area_preset_command(int command);
// Map, Projection and Palette entries (IDM_MAP_PROJECTION + k,
// IDM_MAP_PALETTE + k): the choice is checked and kept for the session.
void map_choice_command(int command);

} // namespace app
