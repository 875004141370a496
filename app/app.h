// The dialog's behaviour: start-up, the commands of the menu and the Execute
// button, and the program state they share. A window backend runs
// `dialog_handlers` through platform::run_dialog; the `kivar` command line
// drives the same handlers through the headless backend.
#pragma once

#include "gpv/gpv.h"
#include "platform/platform.h"

#include <cstdio>
#include <string>

namespace app {

// Program-wide state of one run.
struct ProgramState {
    std::string startDir; // ends with '/'
    std::string saveDir;  // ends with '/'
    std::string openDir;  // initial folder of the open-file chooser
    std::string openPath; // the file opened last
    std::FILE* gpvFile = nullptr;
    std::FILE* logFile = nullptr;
    bool logFailureReported = false;
    bool fileReady = false; // the last open filled the lists
    bool bitmapShown = false;
    std::string mapPath;          // map.dat used by ini_vars
    std::string installedMapPath; // fallback when the start folder has no map.dat
    std::string startupBitmap;    // shown at the first paint when set
    int displayCount = 0;         // display plots since start or the last file plot
    int recordedGridCount = 0;    // grid size of the last ini_vars that succeeded
    // Called after each field of an Execute run (k from 1 to n); may be null.
    void (*progress)(int k, int n, int level, int item, int hour) = nullptr;
    // Called for an output file that could not be created, with the
    // operation's name, the file and the system's reason; the run goes on.
    // May be null (the window: the messages of the operation say enough).
    void (*fileFailed)(const char* title, const std::string& file, const char* reason) = nullptr;
    std::string openError; // why the last open_file found no file to read, or ""
    std::string mapFile;   // the map being drawn, as the save folder names it
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
// Execute with "Data": every selected field to a TEXT or CSV file. 1 when the
// run ended, 0 when the save folder was refused or a file could not be
// written whole (the run stops there, after its message).
int save_command();
// Execute with "Image": every selected field as a weather map; the two wind
// components of a level and hour make one map of arrows. 1 when the run
// ended, 0 when the partner wind component could not be extracted or a map
// could not be written whole (the run stops there).
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

// The Execute button.
void execute_command();

} // namespace app
