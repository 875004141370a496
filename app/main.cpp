// Program entry: the dialog without arguments, the command line with them.
#include "app/app.h"
#include "app/cli.h"
#include "app/dialog_template.h"
#ifdef KIVAR_HAVE_FLTK
#include "platform/fltk/fltk_window.h"
#endif

#include <climits>
#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    // The installed coastline: ../share/kivar/map.dat beside the executable.
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string path(exe, static_cast<std::size_t>(n));
        path.erase(path.find_last_of('/') + 1);
        app::state.installedMapPath = path + "../share/kivar/map.dat";
    }
    if (argc > 1) return app::run_cli(argc, argv);
#ifdef KIVAR_HAVE_FLTK
    if (!platform::fltk::display_available()) {
        std::fprintf(stderr, "kivar: no display available for the window (is DISPLAY set?)\n");
        app::print_usage();
        return 2;
    }
    platform::set_backend(&platform::fltk::backend());
    app::state.startupBitmap = ":startup";
#endif
    int result = platform::run_dialog(app::dialog_template, app::dialog_handlers);
    app::shutdown();
    if (result < 0) {
        app::print_usage();
        return 2;
    }
    return result;
}
