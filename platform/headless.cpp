// The in-memory backend: controls are plain records keyed by id, message boxes
// are written to standard error as "TITLE: TEXT" and kept for the tests.
#include "platform.h"

#include <cstdio>
#include <map>

namespace platform {

namespace {

struct Control {
    std::vector<std::string> items;
    int selected = -1;
    bool checked = false;
    std::string text;
};

struct Headless final : Backend {
    std::map<int, Control> controls;
    std::vector<headless::Message> messages;
    std::string title_text;
    std::string picture;
    std::string next_file;
    std::string next_answer;
    bool have_answer = false;
    bool echo = true;

    void message_box(const char* text, const char* title, bool owned) override {
        messages.push_back({title ? title : "", text ? text : "", owned});
        if (echo) {
            std::fprintf(stderr, "%s: %s\n", title ? title : "", text ? text : "");
            std::fflush(stderr);
        }
    }
    void list_reset(int id) override {
        controls[id].items.clear();
        controls[id].selected = -1;
    }
    void list_insert(int id, int pos, const char* text) override {
        auto& items = controls[id].items;
        if (pos < 0 || pos > static_cast<int>(items.size())) pos = static_cast<int>(items.size());
        items.insert(items.begin() + pos, text ? text : "");
    }
    void list_select(int id, int pos) override {
        Control& c = controls[id];
        c.selected = (pos >= 0 && pos < static_cast<int>(c.items.size())) ? pos : -1;
    }
    int list_selected(int id) override { return controls[id].selected; }
    int list_count(int id) override { return static_cast<int>(controls[id].items.size()); }
    std::string list_text(int id, int pos) override {
        const auto& items = controls[id].items;
        return (pos >= 0 && pos < static_cast<int>(items.size())) ? items[pos] : std::string();
    }
    void set_checked(int id, bool on) override { controls[id].checked = on; }
    bool is_checked(int id) override { return controls[id].checked; }
    void set_text(int id, const char* text) override { controls[id].text = text ? text : ""; }
    std::string get_text(int id) override { return controls[id].text; }
    void set_title(const char* text) override { title_text = text ? text : ""; }
    std::string title() override { return title_text; }
    bool show_picture(const char* bmp_path, int, int, int, int) override {
        std::FILE* f = std::fopen(bmp_path, "rb");
        if (!f) return false;
        std::fclose(f);
        picture = bmp_path;
        return true;
    }
    void refresh() override {}
    bool choose_open_file(const char*, const std::string&, std::string& chosen) override {
        if (next_file.empty()) return false;
        chosen = next_file;
        next_file.clear();
        return true;
    }
    void open_help(const std::string&) override {}
    bool ask_text(const char*, const char*, std::string& value) override {
        if (!have_answer) return false;
        value = next_answer;
        have_answer = false;
        return true;
    }
    // Headless there is no window: the caller drives the commands itself.
    int run_dialog(const DialogTemplate&, const DialogHandlers&) override { return -1; }
    void end_dialog(int) override {}
};

Headless& instance() {
    static Headless h;
    return h;
}

} // namespace

Backend& headless_backend() {
    return instance();
}

namespace headless {
const std::vector<Message>& messages() {
    return instance().messages;
}
void reset() {
    Headless& h = instance();
    h.controls.clear();
    h.messages.clear();
    h.title_text.clear();
    h.picture.clear();
    h.next_file.clear();
    h.have_answer = false;
    h.menu_checked.clear();
}
void set_next_chosen_file(const std::string& path) {
    instance().next_file = path;
}
void set_next_answer(const std::string& text) {
    instance().next_answer = text;
    instance().have_answer = true;
}
const std::string& picture_path() {
    return instance().picture;
}
void set_echo(bool on) {
    instance().echo = on;
}
void record_message(const Message& m) {
    instance().messages.push_back(m);
}
} // namespace headless

} // namespace platform
