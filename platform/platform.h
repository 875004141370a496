// The thin layer between KIVAR and the machine: message boxes, the dialog's
// controls, the open-file chooser, the help viewer, the file system and the
// clock. The user-interface calls go to one backend: the in-memory headless
// backend (the default; used by the tests and the `kivar` command line) or the
// FLTK window. File system and clock calls are the same for both.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace platform {

// ---------------------------------------------------------------- dialog
// Controls are addressed by their numeric id (see app/control_ids.h).

// Shows a modal message box with an OK button. `owned` is true when the
// dialog owns the box, false for boxes without an owner window.
void message_box(const char* text, const char* title, bool owned);

// Drop-down lists. Positions are 0-based; list_insert with pos -1 appends.
void list_reset(int id);
void list_insert(int id, int pos, const char* text);
void list_select(int id, int pos);
int list_selected(int id); // -1 when nothing is selected
int list_count(int id);
std::string list_text(int id, int pos); // "" for a position outside the list

// Check boxes and radio buttons. Setting one radio button does not clear the
// others of its group; the caller sets each explicitly, as the dialog does.
void set_checked(int id, bool on);
bool is_checked(int id);

// Labels and edit fields.
void set_text(int id, const char* text);
std::string get_text(int id);

// The window title.
void set_title(const char* text);
std::string title();

// Loads a BMP file into the picture control, placing the control at (x, y)
// of the picture frame with size w x h pixels. Returns false when the file
// cannot be read.
bool show_picture(const char* bmp_path, int x, int y, int w, int h);

// Lets the window repaint (between the fields of a long run); input stays
// blocked. Does nothing headless.
void refresh();

// The open-file chooser: title, one filter matching all files, starting in
// initial_dir, existing files only; never changes the current directory.
// Returns false when the user cancels.
bool choose_open_file(const char* title, const std::string& initial_dir, std::string& chosen);

// Opens the user's guide (an HTML file) in the program's help viewer.
void open_help(const std::string& path);

// Asks for one line of text in a modal box with a title, a prompt, OK and
// Cancel; `value` holds the proposed text and receives the answer. Returns
// false when the user cancels (value untouched).
bool ask_text(const char* title, const char* prompt, std::string& value);

// Shows a radio entry of the menu (MenuRadio) as chosen or not; the backend
// does not clear the other entries of its group: the caller sets each.
void set_menu_checked(int command, bool on);
bool is_menu_checked(int command);

// ---------------------------------------------------------------- window
// The dialog template: what a windowing backend builds. Positions and sizes
// are in dialog units; the FLTK backend draws 2 pixels per unit.
enum class ControlKind {
    GroupBox,
    Label,
    List,
    RadioButton,
    CheckBox,
    EditField,
    PushButton,
    Frame
};
enum ControlFlags {
    AlignLeft = 0,
    AlignRight = 1,
    AlignCenter = 2,
    StartsGroup = 4,   // the first radio button of a new group
    DefaultButton = 8, // activated by Enter
};
struct ControlSpec {
    int id;
    ControlKind kind;
    const char* text; // "&" marks the accelerator letter
    int x, y, w, h;
    int flags;
};
enum MenuFlags {
    MenuRadio = 1, // an entry of a group of choices, one of them marked
};
struct MenuSpec {
    const char* menu;  // "&File"
    const char* entry; // nullptr for a separator
    int command;
    int flags = 0; // MenuFlags
};
struct DialogTemplate {
    int w, h; // dialog units
    const ControlSpec* controls;
    int control_count;
    const MenuSpec* menu;
    int menu_count;
};

// Notification codes passed with a command.
enum Notification { Clicked = 0, SelectionChanged = 1 };

// What the application does with the window's events. Every handler runs to
// its end before the next event is taken.
struct DialogHandlers {
    void (*init)();                            // after the controls exist
    void (*command)(int id, int notification); // menu entries, buttons, lists
    void (*first_paint)();                     // once, at the first paint
};

// Runs the dialog modally until end_dialog or the close box (result 0).
// Returns the result, or -1 when the backend has no window to show.
int run_dialog(const DialogTemplate& dialog, const DialogHandlers& handlers);
void end_dialog(int result);

// ---------------------------------------------------------------- backend
// What a user interface must provide. The free functions above forward to
// the backend installed with set_backend (the headless one by default).
struct Backend {
    virtual ~Backend() = default;
    virtual void message_box(const char* text, const char* title, bool owned) = 0;
    virtual void list_reset(int id) = 0;
    virtual void list_insert(int id, int pos, const char* text) = 0;
    virtual void list_select(int id, int pos) = 0;
    virtual int list_selected(int id) = 0;
    virtual int list_count(int id) = 0;
    virtual std::string list_text(int id, int pos) = 0;
    virtual void set_checked(int id, bool on) = 0;
    virtual bool is_checked(int id) = 0;
    virtual void set_text(int id, const char* text) = 0;
    virtual std::string get_text(int id) = 0;
    virtual void set_title(const char* text) = 0;
    virtual std::string title() = 0;
    virtual bool show_picture(const char* bmp_path, int x, int y, int w, int h) = 0;
    virtual void refresh() = 0;
    virtual bool choose_open_file(const char* title, const std::string& initial_dir,
                                  std::string& chosen) = 0;
    virtual void open_help(const std::string& path) = 0;
    // Menu choices and text questions; a backend without them keeps the
    // marks in memory and answers every question with cancel.
    virtual bool ask_text(const char*, const char*, std::string&) { return false; }
    virtual void set_menu_checked(int command, bool on) { menu_checked[command] = on; }
    virtual bool is_menu_checked(int command) {
        auto it = menu_checked.find(command);
        return it != menu_checked.end() && it->second;
    }
    std::map<int, bool> menu_checked;
    virtual int run_dialog(const DialogTemplate& dialog, const DialogHandlers& handlers) = 0;
    virtual void end_dialog(int result) = 0;
};

// Installs a backend (not owned); nullptr restores the headless backend.
void set_backend(Backend* backend);

// ---------------------------------------------------------------- headless
namespace headless {

struct Message {
    std::string title;
    std::string text;
    bool owned;
};

// Every message box shown through the headless backend, in order. Each is
// also written to standard error as one line "TITLE: TEXT".
const std::vector<Message>& messages();

// Forgets the recorded messages and resets every control, the title and the
// picture to their empty state.
void reset();

// The answer of the next choose_open_file call (cancel when empty).
void set_next_chosen_file(const std::string& path);

// The answer of the next ask_text call (cancel when never set).
void set_next_answer(const std::string& text);

// The last picture shown: path, or "" when none.
const std::string& picture_path();

// Whether message boxes are also echoed to standard error (default true).
void set_echo(bool on);

// Records a box another process has shown and echoed, without echoing it.
void record_message(const Message& m);

} // namespace headless

// ---------------------------------------------------------------- files
// Paths use '/' as separator.
std::string current_directory(); // no trailing separator added
bool is_directory(const std::string& path);
// Creates the last element of the path only; false when that fails.
bool make_directory(const std::string& path);
// Makes path the current directory; false when that fails.
bool change_directory(const std::string& path);
// The path a name typed into the open-file dialog stands for: an absolute
// path as it is, "~" or "~/..." under the home folder, anything else relative
// to `folder` (an absolute path). Blanks around the name are dropped; "."
// steps, ".." steps (none above "/") and repeated '/' are folded away.
std::string resolve_typed_path(const std::string& folder, const std::string& typed);

// ---------------------------------------------------------------- clock
struct DateTime {
    int year, month, day, hour, minute, second;
};
// The real UTC time (gpv.log records when a field was saved, whatever
// SOURCE_DATE_EPOCH says).
DateTime utc_now();
// The local time, or SOURCE_DATE_EPOCH (seconds since 1970, read as UTC) when
// it is set, so that outputs can be reproduced.
DateTime local_now();

} // namespace platform
