// The open-file dialog of the FLTK window, built the way desktop file dialogs
// behave: the folder shown with its files, a file name field to type into and
// one filter, "All files".
//
// What is typed into the file name field is taken when Enter or Open is
// pressed, never while typing: an absolute path as it stands, a relative path
// or a bare name relative to the folder shown. A name that turns out to be a
// folder shows that folder; a name with '*' or '?' becomes the filter of the
// list; a file that does not exist is reported and the dialog stays.
#pragma once

#include <functional>
#include <string>

class Fl_Window;

namespace platform::fltk {

struct OpenDialogHooks {
    std::function<void(const std::string& folder)> folder_shown; // each folder listed
    std::function<void(const std::string& path)> not_found;      // shows the message box
};

// Runs the dialog, titled `title`, starting in `folder`, until a file is
// chosen (true, `chosen` is its full path) or the dialog is cancelled (false).
// `owner` (may be null) is the window it is centred over.
bool run_open_dialog(const char* title, const std::string& folder, const Fl_Window* owner,
                     const OpenDialogHooks& hooks, std::string& chosen);

} // namespace platform::fltk
