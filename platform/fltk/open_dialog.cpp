// The open-file dialog: a window of its own, so that what the user types into
// the file name field stays exactly as typed until Enter or Open is pressed.
#include "platform/fltk/open_dialog.h"

#include "platform/platform.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Browser.H>
#include <FL/Fl_File_Icon.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Return_Button.H>
#include <FL/filename.H>

#include <memory>
#include <sys/stat.h>

namespace platform::fltk {

namespace {

bool is_regular_file(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool has_wildcard(const std::string& s) {
    return s.find_first_of("*?[") != std::string::npos;
}

struct OpenDialog {
    const OpenDialogHooks& hooks;
    std::unique_ptr<Fl_Double_Window> win;
    Fl_Output* folder_field = nullptr;
    Fl_File_Browser* list = nullptr;
    Fl_Input* name_field = nullptr;
    std::string folder;       // the folder shown, absolute, without a trailing '/'
    std::string filter = "*"; // the list's pattern; "All files" matches every name
    std::string chosen;
    bool accepted = false;

    explicit OpenDialog(const OpenDialogHooks& h) : hooks(h) {}

    void build(const char* title, const Fl_Window* owner);
    void show_folder(const std::string& dir);
    void select_name();
    void accept_typed();
    void activate_entry(const std::string& entry);
    void finish(bool ok) {
        accepted = ok;
        win->hide();
    }
};

void OpenDialog::select_name() {
    name_field->take_focus();
    name_field->position(name_field->size(), 0);
}

void OpenDialog::show_folder(const std::string& dir) {
    folder = dir;
    folder_field->value(folder.c_str());
    list->filter(filter.c_str());
    list->load(folder.c_str(), fl_casealphasort);
    list->topline(1);
    if (hooks.folder_shown) hooks.folder_shown(folder);
}

// A line of the list: a folder (shown with a trailing '/') is entered, a file
// is chosen.
void OpenDialog::activate_entry(const std::string& entry) {
    std::string path = resolve_typed_path(folder, entry);
    if (!entry.empty() && entry.back() == '/') {
        show_folder(path);
        name_field->value("");
    } else if (is_regular_file(path)) {
        chosen = path;
        finish(true);
    }
}

// Enter or Open with the file name field as typed.
void OpenDialog::accept_typed() {
    std::string text = name_field->value();
    if (text.find_first_not_of(" \t") == std::string::npos) {
        if (int line = list->value(); line > 0) activate_entry(list->text(line));
        return;
    }
    std::size_t slash = text.rfind('/');
    std::string last = slash == std::string::npos ? text : text.substr(slash + 1);
    if (has_wildcard(last)) {
        // A pattern filters the list, in the folder named before it if any.
        std::string dir = slash == std::string::npos
                              ? folder
                              : resolve_typed_path(folder, text.substr(0, slash + 1));
        if (is_directory(dir)) {
            filter = last == "*.*" ? "*" : last;
            show_folder(dir);
            name_field->value(last.c_str());
            select_name();
            return;
        }
    }
    std::string path = resolve_typed_path(folder, text);
    if (is_directory(path)) {
        show_folder(path);
        name_field->value("");
        name_field->take_focus();
        return;
    }
    if (is_regular_file(path)) {
        chosen = path;
        finish(true);
        return;
    }
    if (hooks.not_found) hooks.not_found(path);
    select_name();
}

void OpenDialog::build(const char* title, const Fl_Window* owner) {
    const int W = 620, H = 430, pad = 10, line_h = 28, label_w = 100, button_w = 90;
    win = std::make_unique<Fl_Double_Window>(W, H);
    win->copy_label(title);
    win->set_modal();
    if (owner) win->position(owner->x() + (owner->w() - W) / 2, owner->y() + 60);
    win->callback([](Fl_Widget*, void* d) { static_cast<OpenDialog*>(d)->finish(false); }, this);

    int y = pad;
    folder_field =
        new Fl_Output(pad + label_w, y, W - 3 * pad - label_w - button_w, line_h, "Look &in:");
    auto* up = new Fl_Button(W - pad - button_w, y, button_w, line_h, "&Up");
    up->callback(
        [](Fl_Widget*, void* d) {
            auto* dlg = static_cast<OpenDialog*>(d);
            dlg->show_folder(resolve_typed_path(dlg->folder, ".."));
        },
        this);

    y += line_h + pad;
    int list_h = H - y - 2 * (line_h + pad) - pad;
    list = new Fl_File_Browser(pad, y, W - 2 * pad, list_h);
    list->type(FL_HOLD_BROWSER);
    list->textsize(FL_NORMAL_SIZE);
    list->when(FL_WHEN_CHANGED | FL_WHEN_NOT_CHANGED | FL_WHEN_ENTER_KEY);
    list->callback(
        [](Fl_Widget*, void* d) {
            auto* dlg = static_cast<OpenDialog*>(d);
            int line = dlg->list->value();
            if (line <= 0 || !dlg->win->shown()) return;
            std::string entry = dlg->list->text(line);
            bool enter = Fl::event() == FL_KEYBOARD &&
                         (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter);
            bool doubleClick =
                (Fl::event() == FL_PUSH || Fl::event() == FL_RELEASE) && Fl::event_clicks() > 0;
            if (enter || doubleClick) {
                dlg->activate_entry(entry);
            } else if (entry.empty() || entry.back() != '/') {
                // A file picked with one click goes into the name field.
                dlg->name_field->value(entry.c_str());
            }
        },
        this);

    y += list_h + pad;
    name_field =
        new Fl_Input(pad + label_w, y, W - 3 * pad - label_w - button_w, line_h, "File &name:");
    auto* open = new Fl_Return_Button(W - pad - button_w, y, button_w, line_h, "&Open");
    open->callback([](Fl_Widget*, void* d) { static_cast<OpenDialog*>(d)->accept_typed(); }, this);

    y += line_h + pad;
    auto* types = new Fl_Choice(pad + label_w, y, W - 3 * pad - label_w - button_w, line_h,
                                "Files of &type:");
    types->add("All files");
    types->value(0);
    auto* cancel = new Fl_Button(W - pad - button_w, y, button_w, line_h, "Cancel");
    cancel->callback([](Fl_Widget*, void* d) { static_cast<OpenDialog*>(d)->finish(false); }, this);
    win->end();
}

} // namespace

bool run_open_dialog(const char* title, const std::string& folder, const Fl_Window* owner,
                     const OpenDialogHooks& hooks, std::string& chosen) {
    static bool icons_loaded = false;
    if (!icons_loaded) {
        Fl_File_Icon::load_system_icons();
        icons_loaded = true;
    }
    OpenDialog dlg(hooks);
    dlg.build(title ? title : "Open", owner);
    // A start folder that no longer exists: its nearest existing parent.
    std::string dir = resolve_typed_path("/", folder);
    while (dir != "/" && !is_directory(dir))
        dir = resolve_typed_path(dir, "..");
    dlg.show_folder(dir);
    // The name field starts with the pattern of every file, selected, so that
    // typing replaces it.
    dlg.name_field->value("*.*");
    dlg.win->show();
    dlg.name_field->take_focus();
    dlg.name_field->position(dlg.name_field->size(), 0);
    while (dlg.win->shown())
        Fl::wait();
    if (dlg.accepted) chosen = dlg.chosen;
    return dlg.accepted;
}

} // namespace platform::fltk
