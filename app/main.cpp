// Program entry: the dialog without arguments, the command line with them.
//
// The window lives in a module (kivar-window.so) loaded only when the window
// opens, so that command-line runs start without the window libraries.
#include "app/app.h"
#include "app/cli.h"
#include "app/dialog_template.h"
#include "gpv/gpv.h"
#include "plot/razidu.h"

#include <climits>
#include <csignal>
#include <cstdio>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {

// The folder of the running executable, with a trailing '/'.
std::string executable_folder() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "";
    std::string path(exe, static_cast<std::size_t>(n));
    path.erase(path.find_last_of('/') + 1);
    return path;
}

#ifdef KIVAR_WINDOW_MODULE
// Loads the window module, from beside the executable (the build tree) or
// from ../lib/kivar (an installed one), and returns its backend; nullptr with
// a message on standard error when it cannot be loaded or has no display.
platform::Backend* window_backend(const std::string& folder) {
    void* module = nullptr;
    std::string error;
    for (const char* place : {"", "../" KIVAR_LIBDIR "/kivar/"}) {
        std::string path = folder + place + "kivar-window.so";
        if (access(path.c_str(), F_OK) != 0) continue;
        module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module) break;
        error = dlerror();
    }
    if (!module) {
        std::fprintf(stderr, "kivar: cannot load the window module%s%s\n",
                     error.empty() ? "" : ": ", error.empty() ? " kivar-window.so" : error.c_str());
        return nullptr;
    }
    auto entry = reinterpret_cast<platform::Backend* (*)()>(dlsym(module, "kivar_window_backend"));
    platform::Backend* backend = entry ? entry() : nullptr;
    if (!backend)
        std::fprintf(stderr, "kivar: no display available for the window (is DISPLAY set?)\n");
    return backend;
}
#endif

// SIGINT and SIGTERM remove the output file being written (it lives under a
// temporary name until it is complete), also by the workers of an "All
// items" run, then end the process as the signal would have.
extern "C" void remove_partial_files(int sig) {
    app::end_workers(sig); // their partial files go with them
    gpv::remove_partial_file();
    if (const char* f = razidu::partial_file()) unlink(f);
    signal(sig, SIG_DFL);
    raise(sig);
}

void install_signal_handlers() {
    for (int sig : {SIGINT, SIGTERM}) {
        struct sigaction sa {};
        sa.sa_handler = remove_partial_files;
        sigemptyset(&sa.sa_mask);
        sigaction(sig, &sa, nullptr);
    }
    // Beyond a file-size limit a write fails with EFBIG and is reported,
    // instead of the process being killed.
    signal(SIGXFSZ, SIG_IGN);
}

} // namespace

int main(int argc, char** argv) {
    install_signal_handlers();
    // The installed coastline: ../share/kivar/map.dat beside the executable.
    const std::string folder = executable_folder();
    if (!folder.empty()) app::state.installed_map_path = folder + "../share/kivar/map.dat";
    if (argc > 1) return app::run_cli(argc, argv);
#ifdef KIVAR_WINDOW_MODULE
    platform::Backend* backend = window_backend(folder);
    if (!backend) {
        app::print_usage();
        return 2;
    }
    platform::set_backend(backend);
    app::state.startup_bitmap = ":startup";
#endif
    int result = platform::run_dialog(app::dialog_template, app::dialog_handlers);
    app::shutdown();
    if (result < 0) {
        app::print_usage();
        return 2;
    }
    return result;
}
