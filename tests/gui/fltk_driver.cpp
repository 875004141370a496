// Runs the dialog's template in the FLTK window with small handlers of its
// own, so that the window's mechanics can be tested without the commands:
// lists and their notifications, check boxes, texts, title, pictures,
// refresh during a long handler, message boxes, the file chooser, the help
// viewer and the dialog's result.
//
//   fltk_driver [BMP]   BMP: a picture shown at (2, 0) at the first Execute
#include "app/control_ids.h"
#include "app/dialog_template.h"
#include "platform/fltk/fltk_window.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

const char* picture_file = nullptr;
int executes = 0;

void init() {
    const char* formats[] = {"display", "pdf", "cgm", "png", "tif", "ps", "bmp"};
    for (const char* f : formats)
        platform::list_insert(app::IDC_FORMAT_LIST, -1, f);
    platform::list_select(app::IDC_FORMAT_LIST, 0);
    platform::list_insert(app::IDC_LEVEL_LIST, -1, "1000");
    platform::list_insert(app::IDC_LEVEL_LIST, -1, "850");
    platform::list_select(app::IDC_LEVEL_LIST, 0);
    platform::set_checked(app::IDC_SELECTED_ONLY, true);
    platform::set_checked(app::IDC_MODE_IMAGE, true);
    platform::set_text(app::IDC_SAVE_PATH, platform::current_directory().c_str());
}

void command(int id, int notification) {
    char buf[128];
    switch (id) {
    case app::IDC_EXECUTE:
        ++executes;
        // A long run (two seconds): the status changes field by field and the
        // window repaints, but takes no input.
        for (int i = 1; i <= 40; ++i) {
            std::snprintf(buf, sizeof buf, "P: %d   ID: %d   TM: %d", 1000, 225, i * 3);
            platform::set_text(app::IDC_STATUS, buf);
            platform::refresh();
            usleep(50000);
        }
        if (picture_file) platform::show_picture(picture_file, 2, 0, 650, 600);
        std::snprintf(buf, sizeof buf, "image %d %s", executes,
                      platform::is_checked(app::IDC_MODE_DATA) ? "data" : "image");
        platform::message_box(buf, "driver", true);
        break;
    case app::IDM_OPEN: {
        std::string chosen;
        if (platform::choose_open_file("Open", platform::current_directory() + "/", chosen))
            platform::set_title(("KIVAR (GPV): " + chosen).c_str());
        break;
    }
    case app::IDM_EXIT:
        platform::end_dialog(1);
        break;
    case app::IDM_USERS_GUIDE:
        platform::open_help("gpv.hlp");
        break;
    default:
        if (notification == platform::SelectionChanged) {
            std::snprintf(buf, sizeof buf, "list %d: %s", id,
                          platform::list_text(id, platform::list_selected(id)).c_str());
            platform::set_text(app::IDC_STATUS, buf);
        }
    }
}

void first_paint() {
    platform::set_text(app::IDC_MODEL, "drv");
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1) picture_file = argv[1];
    if (!platform::fltk::display_available()) {
        std::fprintf(stderr, "fltk_driver: no X display available\n");
        return 2;
    }
    return platform::fltk::run(app::dialog_template, {init, command, first_paint});
}
