// The FLTK backend: builds the dialog from its template, serves the control
// calls of the platform layer and runs the event loop. It holds no command
// logic: every menu entry, button and list change goes to the handlers.
//
// Trace lines (KIVAR_GUI_TRACE), fields separated by one tab:
//   shown                              the window had its first paint
//   title      TEXT                    window title set
//   text       ID   TEXT               label or edit field set
//   check      ID   0|1                check box or radio button set
//   list       ID   SELECTED   A|B|..  list contents after a change
//   message    TITLE   TEXT            message box shown (line breaks as "\n")
//   picture    PATH   X Y W H          picture shown in the frame
//   menu       ENTRIES                 the menu bar as built: "MENU/ENTRY" joined by
//                                      "|", a "-" where a divider follows an entry
//   chooser    DIR                     open-file chooser opened in DIR
//   folder     DIR                     the chooser lists DIR
//   help       PATH                    user's guide opened (or "none")
//   end        RESULT                  the dialog ended
#include "platform/fltk/fltk_window.h"

#include "platform/fltk/embedded_resources.h"
#include "platform/fltk/open_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_BMP_Image.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Help_Dialog.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_PNG_Image.H>
#include <FL/Fl_Round_Button.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform::fltk {

namespace {

constexpr int kPixelsPerUnit = 2;
constexpr int kMenuHeight = 26;
constexpr int kLargestFontSize = 13;
int font_size = kLargestFontSize; // chosen by pick_font_size

// The name under which show_picture finds the built-in start-up picture.
constexpr const char* kStartupName = ":startup";

int px(int units) {
    return units * kPixelsPerUnit;
}

bool is_regular_file(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// fl_draw reads '@' as the start of a symbol; doubled it is shown as is.
std::string literal_label(const std::string& s) {
    std::string out;
    for (char c : s) {
        out += c;
        if (c == '@') out += '@';
    }
    return out;
}

// The folder of the running executable, "" when unknown.
std::string executable_dir() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    std::string p(buf, static_cast<size_t>(n));
    auto slash = p.rfind('/');
    return slash == std::string::npos ? "" : p.substr(0, slash);
}

// ---------------------------------------------------------------- trace
struct Trace {
    std::FILE* f = nullptr;
    bool opened = false;

    void line(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        if (!opened) {
            opened = true;
            if (const char* p = std::getenv("KIVAR_GUI_TRACE"); p && *p) f = std::fopen(p, "a");
        }
        if (!f) return;
        va_list ap;
        va_start(ap, fmt);
        std::vfprintf(f, fmt, ap);
        va_end(ap);
        std::fputc('\n', f);
        std::fflush(f);
    }
};

// ---------------------------------------------------------------- widgets
// A group box: an engraved frame with its caption on the top edge.
class GroupBox : public Fl_Box {
  public:
    GroupBox(int x, int y, int w, int h) : Fl_Box(x, y, w, h) {}
    void draw() override {
        fl_font(labelfont(), labelsize());
        int th = fl_height();
        int top = y() + th / 2;
        draw_box(FL_ENGRAVED_FRAME, x(), top, w(), h() - (top - y()), color());
        if (!label() || !*label()) return;
        int tw = static_cast<int>(fl_width(label()));
        fl_color(color());
        fl_rectf(x() + 6, y(), tw + 6, th);
        fl_color(labelcolor());
        fl_draw(label(), x() + 9, y(), tw, th, FL_ALIGN_LEFT | FL_ALIGN_INSIDE, nullptr, 0);
    }
};

// The picture control: one image drawn at its top left, clipped to its box.
class Picture : public Fl_Box {
  public:
    Picture(int x, int y, int w, int h) : Fl_Box(x, y, w, h) { box(FL_NO_BOX); }
    void set(std::unique_ptr<Fl_Image> img) { image_ = std::move(img); }
    void draw() override {
        if (!image_) return;
        fl_push_clip(x(), y(), w(), h());
        image_->draw(x(), y());
        fl_pop_clip();
    }

  private:
    std::unique_ptr<Fl_Image> image_;
};

// The default push button: drawn with a dark outline; Enter presses it (see
// dispatch).
class DefaultButton : public Fl_Button {
  public:
    DefaultButton(int x, int y, int w, int h) : Fl_Button(x, y, w, h) {}
    void press() {
        simulate_key_action();
        do_callback();
    }
    void draw() override {
        Fl_Button::draw();
        fl_color(FL_FOREGROUND_COLOR);
        fl_rect(x(), y(), w(), h());
    }
};

class MainWindow : public Fl_Double_Window {
  public:
    MainWindow(int w, int h) : Fl_Double_Window(w, h) {}
    void (*on_first_paint)() = nullptr;
    void draw() override {
        Fl_Double_Window::draw();
        if (!painted_) {
            painted_ = true;
            // The handler may change controls: run it after this paint.
            if (on_first_paint)
                Fl::add_timeout(
                    0.0, [](void* p) { reinterpret_cast<void (*)()>(p)(); },
                    reinterpret_cast<void*>(on_first_paint));
        }
    }

  private:
    bool painted_ = false;
};

struct Control {
    const ControlSpec* layout = nullptr;
    Fl_Widget* widget = nullptr;
    std::string text;               // label or field text as given
    std::vector<std::string> items; // list entries as given
    std::vector<std::string> shown; // list entries as drawn
    std::vector<Fl_Menu_Item> menu; // the list's menu, terminated by an empty item
    int selected = -1;
    bool dirty = false; // list changed since the last trace line
};

// ---------------------------------------------------------------- backend
struct FltkBackend final : Backend {
    std::map<int, Control> controls;
    MainWindow* win = nullptr;
    Fl_Menu_Bar* bar = nullptr;
    Fl_Box* frame = nullptr; // its border lies one pixel outside the frame's rectangle
    DefaultButton* default_button = nullptr;
    Picture* picture = nullptr;
    std::unique_ptr<Fl_Help_Dialog> help;
    std::unique_ptr<Fl_PNG_Image> icon;
    DialogHandlers handlers{};
    std::string title_text;
    bool ended = false;
    int result = 0;
    bool busy = false;            // a handler is running: the window takes no input
    bool close_requested = false; // the close box was pressed while busy
    Trace trace;

    Control* find(int id) {
        auto it = controls.find(id);
        return it == controls.end() ? nullptr : &it->second;
    }
    Fl_Choice* choice(Control* c) {
        return c && c->layout->kind == ControlKind::List ? static_cast<Fl_Choice*>(c->widget)
                                                         : nullptr;
    }

    // Runs one handler with the window's input blocked, then reports the
    // lists it changed.
    void run_handler(void (*fn)(int, int), int id, int notification) {
        if (!fn || ended) return;
        bool was_busy = busy;
        busy = true;
        fn(id, notification);
        busy = was_busy;
        after_handler();
    }
    // Reports the lists a handler changed and acts on a close box pressed
    // while it ran.
    void after_handler() {
        flush_lists();
        if (close_requested && !busy && !ended) end_dialog(0);
    }
    void flush_lists() {
        for (auto& [id, c] : controls) {
            if (!c.dirty) continue;
            c.dirty = false;
            std::string joined;
            for (size_t i = 0; i < c.items.size(); ++i)
                joined += (i ? "|" : "") + c.items[i];
            trace.line("list\t%d\t%d\t%s", id, list_selected(id), joined.c_str());
        }
    }

    // Rebuilds the drop-down menu of a list from its entries.
    void rebuild_list(Control& c) {
        Fl_Choice* ch = choice(&c);
        c.shown.clear();
        for (const auto& s : c.items)
            c.shown.push_back(literal_label(s));
        c.menu.assign(c.items.size() + 1, Fl_Menu_Item{});
        for (size_t i = 0; i < c.items.size(); ++i)
            c.menu[i].text = c.shown[i].c_str();
        ch->menu(c.menu.data());
        if (c.selected >= 0 && c.selected < static_cast<int>(c.items.size()))
            ch->value(c.selected);
        else
            ch->value(static_cast<const Fl_Menu_Item*>(nullptr));
        c.dirty = true;
        ch->redraw();
    }

    // ------------------------------------------------------------ controls
    void message_box(const char* text, const char* title, bool) override {
        // One trace line per box: line breaks of the text are written as "\n".
        std::string one_line;
        for (const char* c = text ? text : ""; *c; ++c)
            one_line += *c == '\n' ? std::string("\\n") : std::string(1, *c);
        trace.line("message\t%s\t%s", title ? title : "", one_line.c_str());
        fl_message_title(title ? title : "");
        fl_message("%s", text ? text : "");
    }
    bool ask_text(const char* title, const char* prompt, std::string& value) override {
        fl_message_title(title ? title : "");
        const char* answer = fl_input("%s", value.c_str(), prompt ? prompt : "");
        trace.line("ask\t%s\t%s", title ? title : "", answer ? answer : "(cancel)");
        if (!answer) return false;
        value = answer;
        return true;
    }
    // The menu item that sends `command`, or nullptr.
    Fl_Menu_Item* menu_item(int command) {
        if (!bar) return nullptr;
        for (int i = 0; i < bar->size(); ++i) {
            auto* item = const_cast<Fl_Menu_Item*>(&bar->menu()[i]);
            if (item->label() && !item->submenu() && item->argument() == command) return item;
        }
        return nullptr;
    }
    void set_menu_checked(int command, bool on) override {
        Backend::set_menu_checked(command, on);
        if (Fl_Menu_Item* item = menu_item(command)) on ? item->set() : item->clear();
        trace.line("menucheck\t%d\t%d", command, on ? 1 : 0);
    }
    void list_reset(int id) override {
        Control* c = find(id);
        if (!choice(c)) return;
        c->items.clear();
        c->selected = -1;
        rebuild_list(*c);
    }
    void list_insert(int id, int pos, const char* text) override {
        Control* c = find(id);
        if (!choice(c)) return;
        int n = static_cast<int>(c->items.size());
        if (pos < 0 || pos > n) pos = n;
        c->selected = static_cast<Fl_Choice*>(c->widget)->value();
        if (c->selected >= pos) ++c->selected;
        c->items.insert(c->items.begin() + pos, text ? text : "");
        rebuild_list(*c);
    }
    void list_select(int id, int pos) override {
        Control* c = find(id);
        if (!choice(c)) return;
        c->selected = (pos >= 0 && pos < static_cast<int>(c->items.size())) ? pos : -1;
        rebuild_list(*c);
    }
    int list_selected(int id) override {
        Control* c = find(id);
        return choice(c) ? static_cast<Fl_Choice*>(c->widget)->value() : -1;
    }
    int list_count(int id) override {
        Control* c = find(id);
        return choice(c) ? static_cast<int>(c->items.size()) : 0;
    }
    std::string list_text(int id, int pos) override {
        Control* c = find(id);
        if (!choice(c) || pos < 0 || pos >= static_cast<int>(c->items.size())) return "";
        return c->items[pos];
    }
    void set_checked(int id, bool on) override {
        Control* c = find(id);
        if (!c) return;
        auto kind = c->layout->kind;
        if (kind != ControlKind::CheckBox && kind != ControlKind::RadioButton) return;
        static_cast<Fl_Button*>(c->widget)->value(on ? 1 : 0);
        trace.line("check\t%d\t%d", id, on ? 1 : 0);
    }
    bool is_checked(int id) override {
        Control* c = find(id);
        if (!c) return false;
        auto kind = c->layout->kind;
        if (kind != ControlKind::CheckBox && kind != ControlKind::RadioButton) return false;
        return static_cast<Fl_Button*>(c->widget)->value() != 0;
    }
    void set_text(int id, const char* text) override {
        Control* c = find(id);
        if (!c) return;
        c->text = text ? text : "";
        if (c->layout->kind == ControlKind::EditField) {
            Fl_Input* in = static_cast<Fl_Input*>(c->widget);
            in->value(c->text.c_str());
            in->position(0);
        } else if (c->layout->kind != ControlKind::List) {
            c->widget->copy_label(literal_label(c->text).c_str());
            // A label's old or new text may reach beyond its box: repaint the
            // band of the window it lies in.
            Fl_Widget* w = c->widget;
            if (win) win->damage(FL_DAMAGE_ALL, 0, w->y(), win->w(), w->h());
        }
        trace.line("text\t%d\t%s", id, c->text.c_str());
    }
    std::string get_text(int id) override {
        Control* c = find(id);
        if (!c) return "";
        if (c->layout->kind == ControlKind::EditField) {
            const char* v = static_cast<Fl_Input*>(c->widget)->value();
            return v ? v : "";
        }
        return c->text;
    }
    void set_title(const char* text) override {
        title_text = text ? text : "";
        if (win) win->copy_label(title_text.c_str());
        trace.line("title\t%s", title_text.c_str());
    }
    std::string title() override { return title_text; }

    bool show_picture(const char* bmp_path, int x, int y, int w, int h) override {
        if (!picture || !frame || !bmp_path || w <= 0 || h <= 0) return false;
        std::unique_ptr<Fl_Image> loaded;
        if (std::string(bmp_path) == kStartupName)
            loaded.reset(
                new Fl_PNG_Image("startup", embedded::startup_png, embedded::startup_png_size));
        else
            loaded.reset(new Fl_BMP_Image(bmp_path));
        if (loaded->fail() || loaded->w() <= 0 || loaded->h() <= 0) return false;
        std::unique_ptr<Fl_Image> img(loaded->w() == w && loaded->h() == h ? loaded.release()
                                                                           : loaded->copy(w, h));
        if (!img) return false;
        return place_picture(std::move(img), bmp_path, x, y, w, h);
    }
    bool place_picture(std::unique_ptr<Fl_Image> img, const char* name, int x, int y, int w,
                       int h) {
        picture->set(std::move(img));
        picture->resize(frame->x() + 1 + x, frame->y() + 1 + y, w, h);
        picture->show();
        win->redraw();
        trace.line("picture\t%s\t%d %d %d %d", name, x, y, w, h);
        return true;
    }

    void refresh() override {
        if (win && win->shown()) Fl::check();
    }

    bool choose_open_file(const char* title, const std::string& initial_dir,
                          std::string& chosen) override {
        std::string dir = initial_dir.empty() ? current_directory() : initial_dir;
        trace.line("chooser\t%s", dir.c_str());
        const char* t = title ? title : "Open";
        OpenDialogHooks hooks;
        hooks.folder_shown = [this](const std::string& f) { trace.line("folder\t%s", f.c_str()); };
        hooks.not_found = [this, t](const std::string& path) {
            std::string text = path + "\nFile not found.\nCheck the file name and try again.";
            message_box(text.c_str(), t, true);
        };
        return run_open_dialog(t, dir, win, hooks, chosen);
    }

    void open_help(const std::string& path) override {
        std::string p = path;
        if (!is_regular_file(p)) {
            auto slash = path.rfind('/');
            std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
            std::string exe = executable_dir();
            p = exe.empty() ? "" : exe + "/../share/kivar/" + name;
        }
        if (p.empty() || !is_regular_file(p)) {
            trace.line("help\tnone");
            return;
        }
        if (!help) {
            help = std::make_unique<Fl_Help_Dialog>();
            help->resize(win->x() + 60, win->y() + 40, 760, 660);
            help->textsize(font_size + 1);
        }
        help->load(p.c_str());
        help->show();
        trace.line("help\t%s", p.c_str());
    }

    // ------------------------------------------------------------ window
    int run_dialog(const DialogTemplate& dialog, const DialogHandlers& h) override;
    void end_dialog(int r) override {
        if (ended) return;
        ended = true;
        result = r;
        trace.line("end\t%d", r);
    }

    void build(const DialogTemplate& dialog);
    Fl_Widget* make_control(const ControlSpec& s, int top);
};

// The one connection to the X server: opened by the first question whether a
// display is available and then handed to FLTK (closing and reopening it could
// meet a server that resets when its last client leaves).
Display* x_display() {
    static Display* d = XOpenDisplay(nullptr);
    return d;
}

FltkBackend& self() {
    static FltkBackend b;
    return b;
}

bool is_input_event(int e) {
    switch (e) {
    case FL_PUSH:
    case FL_RELEASE:
    case FL_DRAG:
    case FL_MOUSEWHEEL:
    case FL_KEYDOWN:
    case FL_KEYUP:
    case FL_SHORTCUT:
    case FL_CLOSE:
    case FL_DND_ENTER:
    case FL_DND_DRAG:
    case FL_DND_RELEASE:
    case FL_PASTE:
        return true;
    default:
        return false;
    }
}

// While a handler runs, the dialog takes no input; message boxes and the
// file chooser it opens are other windows and work as usual.
int dispatch(int event, Fl_Window* w) {
    FltkBackend& b = self();
    if (b.busy && w == b.win && is_input_event(event)) {
        // The close box pressed during a run is remembered and acted on once
        // the run ends; while a box or the chooser is up it is ignored, as a
        // click on any other control of the window is.
        if (event == FL_CLOSE && !Fl::modal()) b.close_requested = true;
        return 1;
    }
    // Enter presses the default button wherever the focus or the mouse is
    // (FLTK would first offer it to the widget under the mouse).
    if (event == FL_KEYDOWN && w == b.win && !Fl::grab() && b.default_button &&
        b.default_button->active_r() &&
        (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter) &&
        !(Fl::event_state() & (FL_ALT | FL_CTRL | FL_META))) {
        b.default_button->press();
        return 1;
    }
    return Fl::handle_(event, w);
}

void command_cb(Fl_Widget*, void* data) {
    int id = static_cast<int>(reinterpret_cast<intptr_t>(data));
    self().run_handler(self().handlers.command, id, Clicked);
}

void list_cb(Fl_Widget*, void* data) {
    int id = static_cast<int>(reinterpret_cast<intptr_t>(data));
    FltkBackend& b = self();
    if (Control* c = b.find(id)) {
        c->selected = static_cast<Fl_Choice*>(c->widget)->value();
        c->dirty = true;
    }
    b.run_handler(b.handlers.command, id, SelectionChanged);
}

void window_cb(Fl_Widget*, void*) {
    // Escape does not close a dialog that has no Cancel button.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    if (self().busy) return;
    self().end_dialog(0);
}

void first_paint() {
    FltkBackend& b = self();
    if (b.handlers.first_paint) {
        b.busy = true;
        b.handlers.first_paint();
        b.busy = false;
        b.after_handler();
    }
    b.trace.line("shown");
}

void* as_data(int id) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(id));
}

// "&File" + "E&xit" -> "&File/E&xit", with the path characters of the texts escaped.
std::string menu_path(const char* menu, const char* entry) {
    std::string out;
    auto add = [&out](const char* s) {
        for (; *s; ++s) {
            if (*s == '/' || *s == '\\') out += '\\';
            out += *s;
        }
    };
    add(menu);
    out += '/';
    add(entry);
    return out;
}

Fl_Widget* FltkBackend::make_control(const ControlSpec& s, int top) {
    int x = px(s.x), y = top + px(s.y), w = px(s.w), h = px(s.h);
    Fl_Align align = FL_ALIGN_INSIDE | ((s.flags & AlignRight)    ? FL_ALIGN_RIGHT
                                        : (s.flags & AlignCenter) ? FL_ALIGN_CENTER
                                                                  : FL_ALIGN_LEFT);
    Fl_Widget* wd = nullptr;
    switch (s.kind) {
    case ControlKind::GroupBox:
        wd = new GroupBox(x, y, w, h);
        break;
    case ControlKind::Label: {
        auto* b = new Fl_Box(x, y, w, h);
        b->box(FL_NO_BOX);
        b->align(align);
        wd = b;
        break;
    }
    case ControlKind::List: {
        // The template gives the height of the dropped-down list; closed, a
        // drop-down list is one line high.
        auto* ch = new Fl_Choice(x, y, w, px(12));
        ch->textsize(font_size);
        ch->down_box(FL_BORDER_BOX);
        ch->when(FL_WHEN_CHANGED);
        ch->callback(list_cb, as_data(s.id));
        wd = ch;
        break;
    }
    case ControlKind::RadioButton: {
        auto* b = new Fl_Round_Button(x, y, w, h);
        b->type(FL_RADIO_BUTTON);
        b->callback(command_cb, as_data(s.id));
        wd = b;
        break;
    }
    case ControlKind::CheckBox: {
        auto* b = new Fl_Check_Button(x, y, w, h);
        b->callback(command_cb, as_data(s.id));
        wd = b;
        break;
    }
    case ControlKind::EditField: {
        auto* in = new Fl_Input(x, y, w, h);
        in->box(FL_DOWN_BOX);
        in->textsize(font_size);
        wd = in;
        break;
    }
    case ControlKind::PushButton: {
        Fl_Button* b;
        if (s.flags & platform::DefaultButton)
            b = default_button = new DefaultButton(x, y, w, h);
        else
            b = new Fl_Button(x, y, w, h);
        b->callback(command_cb, as_data(s.id));
        wd = b;
        break;
    }
    case ControlKind::Frame: {
        // The border goes around the frame's rectangle, so that a picture
        // filling the rectangle leaves it whole.
        auto* b = new Fl_Box(x - 1, y - 1, w + 2, h + 2);
        b->box(FL_BORDER_BOX);
        b->color(FL_WHITE);
        wd = b;
        frame = b;
        break;
    }
    }
    wd->labelsize(font_size);
    if (s.kind != ControlKind::List && s.kind != ControlKind::EditField && s.text && *s.text)
        wd->copy_label(s.kind == ControlKind::Label ? literal_label(s.text).c_str() : s.text);
    Control& c = controls[s.id];
    c.layout = &s;
    c.widget = wd;
    c.text = s.text ? s.text : "";
    if (s.kind == ControlKind::List) rebuild_list(c);
    return wd;
}

// The font: a Helvetica-like face, at the largest size up to 13 pixels at
// which every label of the template fits its box.
void pick_font_size(const DialogTemplate& d) {
    Fl::set_font(FL_HELVETICA, " Nimbus Sans");
    Fl::set_font(FL_HELVETICA_BOLD, "BNimbus Sans");
    for (font_size = kLargestFontSize; font_size > 9; --font_size) {
        fl_font(FL_HELVETICA, font_size);
        bool fits = true;
        for (int i = 0; i < d.control_count && fits; ++i) {
            const ControlSpec& s = d.controls[i];
            if (s.kind == ControlKind::Label && s.text && fl_width(s.text) > px(s.w)) fits = false;
        }
        if (fits) break;
    }
}

// The entries of a menu bar as "MENU/ENTRY" joined by "|", with "-" behind an
// entry that has a divider.
std::string menu_entries(const Fl_Menu_Item* item) {
    std::string out, menu;
    for (; item && (item->label() || !menu.empty()); ++item) {
        if (!item->label()) { // the end of a submenu
            menu.clear();
            continue;
        }
        if (item->submenu()) {
            menu = item->label();
            continue;
        }
        out += (out.empty() ? "" : "|") + menu + "/" + item->label();
        if (item->flags & FL_MENU_DIVIDER) out += "|-";
    }
    return out;
}

// Asks the window manager for a title bar with a close box only: the window
// can be moved and closed, not minimised, maximised or resized.
void close_box_only(Fl_Window* w) {
    enum { Functions = 1, Decorations = 2 };
    enum { FuncMove = 4, FuncClose = 32 };
    enum { DecorBorder = 2, DecorTitle = 8, DecorMenu = 16 };
    long hints[5] = {Functions | Decorations, FuncMove | FuncClose,
                     DecorBorder | DecorTitle | DecorMenu, 0, 0};
    Atom a = XInternAtom(fl_display, "_MOTIF_WM_HINTS", False);
    XChangeProperty(fl_display, fl_xid(w), a, a, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(hints), 5);
}

void FltkBackend::build(const DialogTemplate& d) {
    pick_font_size(d);
    FL_NORMAL_SIZE = font_size;
    fl_message_font(FL_HELVETICA, font_size);
    int width = px(d.w), top = kMenuHeight;
    win = new MainWindow(width, top + px(d.h));
    win->position(px(42), px(38));
    win->xclass("kivar");
    win->callback(window_cb);
    win->on_first_paint = first_paint;

    bar = new Fl_Menu_Bar(0, 0, width, kMenuHeight);
    bar->textsize(font_size);
    int added = -1; // the entry added last
    for (int i = 0; i < d.menu_count; ++i) {
        const MenuSpec& m = d.menu[i];
        if (!m.entry) {
            // A separator: a divider under the entry before it.
            if (added >= 0) bar->mode(added, bar->mode(added) | FL_MENU_DIVIDER);
            continue;
        }
        added = bar->add(menu_path(m.menu, m.entry).c_str(), 0, command_cb, as_data(m.command),
                         (m.flags & MenuRadio) ? FL_MENU_RADIO : 0);
    }
    trace.line("menu\t%s", menu_entries(bar->menu()).c_str());

    for (int i = 0; i < d.control_count; ++i) {
        const ControlSpec& s = d.controls[i];
        if (s.kind != ControlKind::RadioButton) {
            make_control(s, top);
            continue;
        }
        // A radio group: the buttons from this one up to the next that starts
        // a group, inside an invisible group so that a click clears the others.
        int j = i + 1;
        while (j < d.control_count && d.controls[j].kind == ControlKind::RadioButton &&
               !(d.controls[j].flags & StartsGroup))
            ++j;
        int x0 = s.x, y0 = s.y, x1 = s.x + s.w, y1 = s.y + s.h;
        for (int k = i; k < j; ++k) {
            const ControlSpec& r = d.controls[k];
            x0 = std::min(x0, r.x), y0 = std::min(y0, r.y);
            x1 = std::max(x1, r.x + r.w), y1 = std::max(y1, r.y + r.h);
        }
        auto* g = new Fl_Group(px(x0), top + px(y0), px(x1 - x0), px(y1 - y0));
        g->box(FL_NO_BOX);
        for (int k = i; k < j; ++k)
            make_control(d.controls[k], top);
        g->end();
        i = j - 1;
    }

    // The picture control lies over the frame; it shows nothing until a
    // picture is set.
    picture = new Picture(0, 0, 1, 1);
    picture->hide();
    win->end();

    icon = std::make_unique<Fl_PNG_Image>("icon", embedded::icon_png, embedded::icon_png_size);
    if (!icon->fail()) win->icon(icon.get());
}

int FltkBackend::run_dialog(const DialogTemplate& dialog, const DialogHandlers& h) {
    if (win || !x_display()) return -1; // one dialog per process
    handlers = h;
    ended = false;
    result = 0;
    fl_open_display(x_display());
    Fl::scheme("gtk+");
    Fl::visible_focus(1);
    fl_close = "OK";
    Fl::event_dispatch(dispatch);

    build(dialog);
    if (handlers.init) {
        busy = true;
        handlers.init();
        busy = false;
        flush_lists();
    }
    win->show();
    close_box_only(win);
    while (!ended && win->shown())
        Fl::wait();
    if (!ended) end_dialog(0);
    if (help) help->hide();
    win->hide();
    Fl::flush();
    return result;
}

} // namespace

bool display_available() {
    return x_display() != nullptr;
}

Backend& backend() {
    return self();
}

int run(const DialogTemplate& dialog, const DialogHandlers& handlers) {
    if (!display_available()) return -1;
    set_backend(&self());
    return run_dialog(dialog, handlers);
}

} // namespace platform::fltk
