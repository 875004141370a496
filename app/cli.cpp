// The command line turns its options into the request of an Execute run, as
// the dialog turns its controls into one, and runs it through the same
// routines, so both always agree.
#include "app/cli.h"

#include "app/app.h"
#include "app/cli_output.h"
#include "engine/forecast.h"
#include "app/netcdf_run.h"
#include "gpv/gpv.h"
#include "plot/razidu.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace app {

// The engine's view of the open file.
using engine::forecast;
using engine::forecast_item_name;
using engine::forecast_level_text;
using engine::ForecastView;

namespace {

struct Options {
    std::string command, file;
    const char* level = nullptr;
    const char* item = nullptr;
    const char* hour = nullptr;
    bool all = false;
    int layout = gpv::kLayoutText;
    const char* format = nullptr;
    const char* save = nullptr;
    const char* range_low = nullptr;
    const char* range_high = nullptr;
    const char* vector_scale = nullptr;
    const char* vector_density = nullptr;
    const char* contour = nullptr; // step or "auto"
    bool contour_only = false;
    std::string area; // "LON0 LON1 LAT0 LAT1"
    bool area_set = false;
    const char* projection = nullptr;
    const char* palette = nullptr;
    const char* jobs = nullptr;
};

int usage_error(const std::string& text) {
    std::fprintf(stderr, "kivar: %s\n", text.c_str());
    return 2;
}

bool is_number(const char* s, bool allow_fraction) {
    if (!s || !*s) return false;
    char* end = nullptr;
    if (allow_fraction)
        std::strtod(s, &end);
    else
        std::strtol(s, &end, 10);
    return end != s && *end == '\0';
}

// Parses the options behind FILE; returns 0 or the usage error status.
int parse(int argc, char** argv, Options& o) {
    for (int k = 3; k < argc; ++k) {
        std::string a = argv[k];
        auto value = [&](const char*& dst) {
            if (k + 1 >= argc) return false;
            dst = argv[++k];
            return true;
        };
        bool ok = true;
        if (a == "--level")
            ok = value(o.level);
        else if (a == "--item")
            ok = value(o.item);
        else if (a == "--hour")
            ok = value(o.hour);
        else if (a == "--all")
            o.all = true;
        else if (a == "--csv")
            o.layout = gpv::kLayoutCsv;
        else if (a == "--text")
            o.layout = gpv::kLayoutText;
        else if (a == "--points")
            o.layout = gpv::kLayoutPoints;
        else if (a == "--netcdf")
            o.layout = kNetcdfLayoutPosition;
        else if (a == "--format")
            ok = value(o.format);
        else if (a == "--save")
            ok = value(o.save);
        else if (a == "--range")
            ok = value(o.range_low) && value(o.range_high);
        else if (a == "--vector-scale")
            ok = value(o.vector_scale);
        else if (a == "--vector-density")
            ok = value(o.vector_density);
        else if (a == "--contour")
            ok = value(o.contour);
        else if (a == "--contour-only")
            o.contour_only = true;
        else if (a == "--area") {
            const char* v[4] = {};
            ok = value(v[0]) && value(v[1]) && value(v[2]) && value(v[3]);
            if (ok) o.area = std::string(v[0]) + " " + v[1] + " " + v[2] + " " + v[3];
            o.area_set = true;
        } else if (a == "--projection")
            ok = value(o.projection);
        else if (a == "--palette")
            ok = value(o.palette);
        else if (a == "--jobs")
            ok = value(o.jobs);
        else
            return usage_error("unknown option " + a);
        if (!ok) return usage_error("option " + a + " needs a value");
    }
    if (o.item && !is_number(o.item, false)) return usage_error("--item wants an item code");
    if (o.range_low && (!is_number(o.range_low, true) || !is_number(o.range_high, true)))
        return usage_error("--range wants two numbers");
    if (o.jobs && (!is_number(o.jobs, false) || std::atoi(o.jobs) < 1 || std::atoi(o.jobs) > 256))
        return usage_error("--jobs wants a number of processes from 1 to 256");
    return 0;
}

// The position of `want` in a list of entries, or -1.
template <class T> int position(const std::vector<T>& list, const T& want) {
    auto it = std::find(list.begin(), list.end(), want);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

template <class T> std::string entries(const std::vector<T>& list) {
    std::string s;
    for (std::size_t k = 0; k < list.size(); ++k) {
        if (k) s += " ";
        if constexpr (std::is_same_v<T, std::string>)
            s += list[k];
        else
            s += std::to_string(list[k]);
    }
    return s;
}

// The text a level is known by, lower-case without blanks: "2 m above
// ground", "2m above ground" and "2MAboveGround" are one level.
std::string level_key(const std::string& text) {
    std::string key;
    for (char c : text)
        if (c != ' ') key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

// The position of the level --level names: a GPV level's number; a GRIB
// level's name (blanks and case aside) or its code (the hPa of an isobaric
// level). -1 when none is.
int level_position(const char* want) {
    const std::string key = level_key(want);
    for (std::size_t k = 0; k < forecast.levels.size(); ++k)
        if ((is_number(want, false) && std::atoi(want) == forecast.levels[k]) ||
            (k < forecast.level_names.size() && level_key(forecast.level_names[k]) == key))
            return static_cast<int>(k);
    return -1;
}

// The position of the hour --hour names: its number, or its H:MM in a GRIB
// file of times in minutes. -1 when none is.
int hour_position(const char* want) {
    if (forecast.hour_names.empty())
        return is_number(want, false) ? position(forecast.hours, std::atoi(want)) : -1;
    return position(forecast.hour_names, std::string(want));
}

// The levels as `kivar info` lists them: GRIB names (which hold blanks)
// with commas between them, GPV numbers with blanks.
std::string level_entries() {
    if (forecast.level_names.empty()) return entries(forecast.levels);
    std::string s;
    for (std::size_t k = 0; k < forecast.level_names.size(); ++k)
        s += (k ? ", " : "") + forecast.level_names[k];
    return s;
}

std::string hour_entries() {
    return forecast.hour_names.empty() ? entries(forecast.hours) : entries(forecast.hour_names);
}

std::string item_entries() {
    std::string s;
    for (std::size_t k = 0; k < forecast.items.size(); ++k) {
        int code = forecast.items[k];
        const char* text = forecast_item_name(code);
        s += (k ? ", " : "") + std::to_string(code) + " (" + (text ? text : "?") + ")";
    }
    return s;
}

bool file_failed = false;
bool running = false; // a command is running: an exit now is the library's

// The plotting library ends the process on purpose (PDF file or memory,
// raster memory, file mode BREA, more than 9999 versions) after its warning:
// the command line then says why in one line and exits with 1.
void library_ended() {
    if (!running) return;
    const razidu::PageOutcome o = razidu::page_outcome();
    std::fflush(stdout);
    std::fprintf(stderr, "plot_field: %s: %s\n",
                 state.map_file.empty() ? o.file : state.map_file.c_str(), o.reason);
    std::fflush(stderr);
    _exit(1);
}

// An output file that could not be created: one line "TITLE: FILE: REASON".
void report_file_failure(const char* title, const std::string& file, const char* reason) {
    file_failed = true;
    std::fprintf(stderr, "%s: %s: %s\n", title, file.c_str(), reason);
}

void show_progress(int k, int n, int level, int item, int hour) {
    if (n <= 1) return;
    const char* text = forecast_item_name(item);
    std::fprintf(stderr, "\rfield %d of %d: level %d, item %d (%s), hour %d\033[K", k, n, level,
                 item, text ? text : "?", hour);
    if (k == n) std::fputc('\n', stderr);
    std::fflush(stderr);
}

// Opens the file as File, Open does. 0 when it worked, else 1 after saying why.
int open(const std::string& file) {
    std::size_t before = platform::headless::messages().size();
    open_file(file);
    if (state.file_ready) return 0;
    if (platform::headless::messages().size() == before) {
        if (!state.gpv_file && !state.open_error.empty())
            std::fprintf(stderr, "kivar: %s: %s\n", file.c_str(), state.open_error.c_str());
        else if (!state.gpv_file)
            std::fprintf(stderr, "kivar: %s: cannot be read\n", file.c_str());
        else
            std::fprintf(stderr, "kivar: %s: no GPV records found\n", file.c_str());
    }
    return 1;
}

int info() {
    const ForecastView& h = forecast;
    std::printf("model: %s (code %d)\n", h.model_name.c_str(), h.model_code);
    std::printf("initial: %02d-%02d-%02d %02d:%02d\n", h.init_year, h.init_month, h.init_day,
                h.init_hour, h.init_minute);
    std::printf("levels: %s\n", level_entries().c_str());
    const std::string hours = hour_entries();
    for (std::size_t k = 0; k < h.levels.size(); ++k) {
        fill_item_list(static_cast<int>(k));
        std::printf("items at %s: %s\n", forecast_level_text(static_cast<int>(k)).c_str(),
                    item_entries().c_str());
    }
    std::printf("hours: %s\n", hours.c_str());
    for (const std::string& note : h.notes)
        std::printf("%s\n", note.c_str());
    return 0;
}

// The request of the options, and the Map menu's choices they name; 0 or
// the usage error status (1 after a message).
int make_request(const Options& o, bool data, RunRequest& r) {
    using platform::headless::messages;
    const std::string& file = o.file;
    r.data = data;
    r.save_path = state.save_dir;
    if (o.level) {
        if (forecast.level_names.empty() && !is_number(o.level, false))
            return usage_error("--level wants a number");
        const int pos = level_position(o.level);
        if (pos < 0)
            return usage_error("level " + std::string(o.level) + " is not in " + file +
                               "; levels: " + level_entries());
        std::size_t before = messages().size();
        fill_item_list(pos);
        if (messages().size() != before) return 1;
        r.selection.level_pos = pos;
    }
    if (o.item) {
        const int pos = position(forecast.items, std::atoi(o.item));
        if (pos < 0)
            return usage_error("item " + std::string(o.item) + " is not at level " +
                               forecast_level_text(r.selection.level_pos) + " of " + file +
                               "; items: " + item_entries());
        r.selection.item_pos = pos;
    }
    if (o.hour) {
        if (forecast.hour_names.empty() && !is_number(o.hour, false))
            return usage_error("--hour wants a number");
        const int pos = hour_position(o.hour);
        if (pos < 0)
            return usage_error("hour " + std::string(o.hour) + " is not in " + file +
                               "; hours: " + hour_entries());
        r.selection.hour_pos = pos;
    }
    r.selection.selected_only = !o.all;
    r.layout = o.layout;
    if (o.format) {
        if (position(map_formats(), std::string(o.format)) < 0)
            return usage_error("unknown format " + std::string(o.format) +
                               "; formats: " + entries(map_formats()));
        r.format = o.format;
    }
    if (o.save) r.save_path = o.save;
    if (o.range_low) {
        r.auto_scale = false;
        r.range_low = o.range_low;
        r.range_high = o.range_high;
    }
    if (o.vector_scale) {
        char text[32] = "";
        if (is_number(o.vector_scale, true))
            std::snprintf(text, sizeof text, "%3.1f", std::strtod(o.vector_scale, nullptr));
        if (position(vector_scales(), std::string(text)) < 0)
            return usage_error("--vector-scale wants one of: " + entries(vector_scales()));
        r.vector_scale = text;
    }
    if (o.vector_density) {
        const std::string text =
            is_number(o.vector_density, false) ? std::to_string(std::atoi(o.vector_density)) : "";
        if (position(vector_densities(), text) < 0)
            return usage_error("--vector-density wants one of: " + entries(vector_densities()));
        r.vector_density = text;
    }
    // The Map menu's choices; a refused value has shown its box, and the
    // run stops with status 1.
    std::size_t before = messages().size();
    if (o.contour) set_contour_step(o.contour);
    if (o.contour || o.contour_only)
        set_map_contours(o.contour_only ? MapOptions::Only : MapOptions::WithCells);
    if (o.area_set) set_area(o.area);
    // Projections and palettes by name.
    const auto choose = [&](const char* name, const char* option, bool palette) {
        if (choose_map_option(palette, name)) return 0;
        std::string all;
        for (const char* n : palette ? std::span<const char* const>(kPaletteNames)
                                     : std::span<const char* const>(kProjectionNames))
            all += (all.empty() ? "" : " ") + std::string(n);
        return usage_error(std::string(option) + " wants one of: " + all);
    };
    if (o.projection && choose(o.projection, "--projection", false)) return 2;
    if (o.palette && choose(o.palette, "--palette", true)) return 2;
    if (messages().size() != before) return 1;
    state.jobs =
        o.jobs ? std::atoi(o.jobs) : std::max(1, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
    return 0;
}

} // namespace

void print_usage(std::FILE* to) {
    std::fputs(
        "usage:\n"
        "  kivar                       open the dialog\n"
        "  kivar info  FILE            inventory of a GPV or GRIB file\n"
        "  kivar data  FILE [options]  extract fields as TEXT, CSV or points files\n"
        "  kivar image FILE [options]  draw fields as weather maps\n"
        "options:\n"
        "  --level L             level: GPV hPa; GRIB hPa or name, e.g. \"2 m above ground\"\n"
        "                        (default: the first)\n"
        "  --item CODE           item code (default: the first of the level)\n"
        "  --hour H              forecast hour (default: the first)\n"
        "  --all                 every level, item and hour\n"
        "  --csv | --text        data file layout (default: TEXT)\n"
        "  --points              data file of latitude,longitude,value lines\n"
        "  --netcdf              one NetCDF file of every field of the run\n"
        "  --format F            display, pdf, cgm, png, tif, ps or bmp (default: display)\n"
        "  --save DIR            output folder (default: the current folder)\n"
        "  --range LO HI         fixed colour range instead of the automatic one\n"
        "  --vector-scale S      arrow length scale, 0.2 to 2.0 (default: 1.0)\n"
        "  --vector-density N    every N-th arrow, 1 to 10 (default: 1)\n"
        "  --contour STEP        labelled contour lines every STEP units, or auto\n"
        "  --contour-only        contour lines without the coloured cells or arrows\n"
        "  --area LON0 LON1 LAT0 LAT1  the map over this area; 150 -120 crosses the date\n"
        "                        line (default: the grid's extent, the fixed map for\n"
        "                        GPV files and grids within it)\n"
        "  --projection NAME     grid (its own, default), platecarree, mercator, lambert,\n"
        "                        polar-north, polar-south, robinson or equalearth\n"
        "  --palette NAME        rainbow (default), viridis, diverging or precipitation\n"
        "  --jobs N              worker processes for --all (default: the cores)\n"
        "  kivar --version | -V  the version\n"
        "  kivar --help          this text\n",
        to);
}

int run_cli(int argc, char** argv) {
    check_standard_output();
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && (first == "--version" || first == "-V" || first == "--help")) {
        if (first == "--help")
            print_usage(stdout);
        else
            print_version();
        std::fflush(stdout);
        return 0;
    }
    if (argc < 3) {
        print_usage();
        return 2;
    }
    Options o;
    o.command = argv[1];
    o.file = argv[2];
    bool is_info = o.command == "info";
    if (!is_info && o.command != "data" && o.command != "image") {
        print_usage();
        return 2;
    }
    if (is_info && argc > 3) return usage_error("info takes no options");
    if (int r = parse(argc, argv, o)) return r;

    if (isatty(STDERR_FILENO)) state.progress = show_progress;
    state.file_failed = report_file_failure;
    state.no_map = report_no_map;
    int status = 0;
    static bool registered = false;
    if (!registered) registered = std::atexit(library_ended) == 0;
    running = true;
    try {
        dialog_handlers.init();
        status = open(o.file);
        if (status == 0) {
            if (is_info) {
                status = info();
            } else {
                RunRequest request;
                if ((status = make_request(o, o.command == "data", request)) == 0) execute(request);
            }
        }
    } catch (const std::bad_alloc&) {
        // The work arrays of a huge grid: the file being written goes, the
        // earlier one of its name stays.
        gpv::remove_partial_file();
        std::fprintf(stderr, "kivar: %s: not enough memory\n", o.file.c_str());
        status = 1;
    }
    running = false;
    std::fflush(stdout); // a failure ends the command here
    shutdown();
    if (status == 0 && (file_failed || !platform::headless::messages().empty())) status = 1;
    return status;
}

} // namespace app
