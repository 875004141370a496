// Runs the dialog's template in the FLTK window with small handlers of its
// own, so that the window's mechanics can be tested without the commands:
// list notifications, refresh during a long handler that takes no input,
// pictures, message boxes and the dialog's result.
//
//   fltk_driver [BMP]   BMP: a picture shown at (2, 0) at the first Execute
#include "app/control_ids.h"
#include "app/dialog_template.h"
#include "platform/fltk/fltk_window.h"

#include <cstdio>
#include <unistd.h>

namespace {

const char* picture_file = nullptr;
int executes = 0;

void init() {
    platform::list_insert(app::IDC_LEVEL_LIST, -1, "1000");
    platform::list_insert(app::IDC_LEVEL_LIST, -1, "850");
    platform::list_select(app::IDC_LEVEL_LIST, 0);
    platform::set_checked(app::IDC_MODE_IMAGE, true);
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
    case app::IDM_EXIT:
        platform::end_dialog(1);
        break;
    default:
        if (notification == platform::SelectionChanged) {
            std::snprintf(buf, sizeof buf, "list %d: %s", id,
                          platform::list_text(id, platform::list_selected(id)).c_str());
            platform::set_text(app::IDC_STATUS, buf);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1) picture_file = argv[1];
    if (!platform::fltk::display_available()) {
        std::fprintf(stderr, "fltk_driver: no X display available\n");
        return 2;
    }
    return platform::fltk::run(app::dialog_template, {init, command, nullptr});
}
