// Shared set-up of the benchmarks that drive the application: a temporary
// start folder holding a generated forecast and the coastline, the dialog
// initialised and the file opened, and a quiet standard output.
#pragma once

#include "app/app.h"
#include "app/control_ids.h"
#include "gpv/gpv.h"
#include "gpvgen/gpvgen.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace bench_app {

namespace fs = std::filesystem;

// The start folder of the running benchmark program; empty until prepared.
inline fs::path folder;

// Writes the forecast as `file` into a new start folder (tagged by `tag`),
// copies map.dat there, initialises the dialog with the save folder out/ and
// opens the file. Prepares once per program; later calls report the outcome.
inline bool open_forecast(const char* tag, const char* file, const gpvgen::Forecast& fc) {
    if (!folder.empty()) return app::state.file_ready;
    folder = fs::temp_directory_path() / (std::string(tag) + std::to_string(getpid()));
    fs::create_directories(folder / "out");
    const std::string gpv_path = (folder / file).string();
    if (!gpvgen::write_forecast(gpv_path, fc)) return false;
    std::error_code ec;
    fs::copy_file(fs::path(KIVAR_SOURCE_DIR) / "data" / "map.dat", folder / "map.dat", ec);
    if (ec) return false;
    fs::current_path(folder);
    platform::headless::set_echo(true);
    app::dialog_handlers.init();
    platform::set_text(app::IDC_SAVE_PATH, (folder / "out").c_str());
    return app::open_file(gpv_path) == 1;
}

// Standard output goes to /dev/null while a benchmark runs.
struct Quiet {
    int saved;
    Quiet() {
        std::fflush(stdout);
        saved = dup(1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~Quiet() {
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }
};

// Selects the entry of list `id` that reads `text`.
inline void select(int id, const char* text) {
    for (int k = 0; k < platform::list_count(id); ++k)
        if (platform::list_text(id, k) == text) platform::list_select(id, k);
}

// Selects one field for "Selected only": level 850, the item code, hour 24.
inline void choose_field(int item) {
    select(app::IDC_LEVEL_LIST, "850");
    app::dialog_handlers.command(app::IDC_LEVEL_LIST, platform::SelectionChanged);
    for (int k = 0; k < gpv::index.item_count; ++k)
        if (gpv::index.items[k] == item) platform::list_select(app::IDC_ITEM_LIST, k);
    select(app::IDC_HOUR_LIST, "24");
    platform::set_checked(app::IDC_SELECTED_ONLY, true);
    platform::set_checked(app::IDC_ALL_ITEMS, false);
}

// "All items" with "Image" to PNG of the open file into out/ in `jobs`
// processes; counts the maps written (fields whose values are all equal give
// none) and the wall time per map.
inline void all_items_png_run(benchmark::State& st, int jobs = 1) {
    app::state.jobs = jobs;
    select(app::IDC_FORMAT_LIST, "png");
    platform::set_checked(app::IDC_SELECTED_ONLY, false);
    platform::set_checked(app::IDC_ALL_ITEMS, true);
    fs::remove_all(folder / "out");
    fs::create_directories(folder / "out");
    double seconds = 0;
    // Processor time of this process and of its workers.
    auto cpu = [] {
        double t = 0;
        for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
            rusage u{};
            getrusage(who, &u);
            t += double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
        }
        return t;
    };
    const double cpu_start = cpu();
    {
        Quiet quiet;
        for (auto _ : st) {
            const auto start = std::chrono::steady_clock::now();
            app::plot_command();
            seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    }
    const auto maps = std::distance(fs::directory_iterator(folder / "out"), {});
    app::state.jobs = 1;
    st.counters["maps"] = static_cast<double>(maps);
    st.counters["jobs"] = jobs;
    if (maps > 0) {
        st.counters["ms_per_map"] = 1000.0 * seconds / static_cast<double>(maps);
        st.counters["cpu_ms_per_map"] = 1000.0 * (cpu() - cpu_start) / static_cast<double>(maps);
    }
}

// Runs the registered benchmarks, then closes the application and removes
// the start folder.
inline int run(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    app::shutdown();
    if (!folder.empty()) {
        fs::current_path(fs::temp_directory_path());
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    return 0;
}

} // namespace bench_app
