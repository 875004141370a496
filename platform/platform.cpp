// Dispatch of the user-interface calls to the installed backend, and the file
// system and clock functions shared by every backend.
#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

Backend& headless_backend(); // headless.cpp

namespace {
Backend* current = nullptr;
Backend& ui() {
    return current ? *current : headless_backend();
}
} // namespace

void set_backend(Backend* backend) {
    current = backend;
}

void message_box(const char* text, const char* title, bool owned) {
    ui().message_box(text, title, owned);
}
void list_reset(int id) {
    ui().list_reset(id);
}
void list_insert(int id, int pos, const char* text) {
    ui().list_insert(id, pos, text);
}
void list_select(int id, int pos) {
    ui().list_select(id, pos);
}
int list_selected(int id) {
    return ui().list_selected(id);
}
int list_count(int id) {
    return ui().list_count(id);
}
std::string list_text(int id, int pos) {
    return ui().list_text(id, pos);
}
void set_checked(int id, bool on) {
    ui().set_checked(id, on);
}
bool is_checked(int id) {
    return ui().is_checked(id);
}
void set_text(int id, const char* text) {
    ui().set_text(id, text);
}
std::string get_text(int id) {
    return ui().get_text(id);
}
void set_title(const char* text) {
    ui().set_title(text);
}
std::string title() {
    return ui().title();
}
bool show_picture(const char* bmp_path, int x, int y, int w, int h) {
    return ui().show_picture(bmp_path, x, y, w, h);
}
void refresh() {
    ui().refresh();
}
bool choose_open_file(const char* title, const std::string& initial_dir, std::string& chosen) {
    return ui().choose_open_file(title, initial_dir, chosen);
}
void open_help(const std::string& path) {
    ui().open_help(path);
}
bool ask_text(const char* title, const char* prompt, std::string& value) {
    return ui().ask_text(title, prompt, value);
}
void set_menu_checked(int command, bool on) {
    ui().set_menu_checked(command, on);
}
bool is_menu_checked(int command) {
    return ui().is_menu_checked(command);
}
int run_dialog(const DialogTemplate& dialog, const DialogHandlers& handlers) {
    return ui().run_dialog(dialog, handlers);
}
void end_dialog(int result) {
    ui().end_dialog(result);
}

std::string current_directory() {
    std::string buf(4096, '\0');
    // A folder deeper than the buffer: try a larger one.
    while (!getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE || buf.size() > (1u << 20)) return ".";
        buf.resize(buf.size() * 2);
    }
    buf.resize(std::char_traits<char>::length(buf.c_str()));
    return buf;
}

bool is_directory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool make_directory(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return !p.empty() && mkdir(p.c_str(), 0777) == 0;
}

bool change_directory(const std::string& path) {
    return !path.empty() && chdir(path.c_str()) == 0;
}

std::string resolve_typed_path(const std::string& folder, const std::string& typed) {
    std::size_t first = typed.find_first_not_of(" \t\r\n");
    std::size_t last = typed.find_last_not_of(" \t\r\n");
    std::string name = first == std::string::npos ? "" : typed.substr(first, last - first + 1);
    std::string path;
    if (!name.empty() && name[0] == '/') {
        path = name;
    } else if (name == "~" || name.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        path = std::string(home && *home ? home : "/") + "/" + name.substr(1);
    } else {
        path = folder + "/" + name;
    }
    // Fold the steps: the kept elements, each behind a '/'.
    std::string out;
    std::size_t k = 0;
    while (k <= path.size()) {
        std::size_t end = path.find('/', k);
        if (end == std::string::npos) end = path.size();
        std::string step = path.substr(k, end - k);
        if (step == "..") {
            std::size_t slash = out.rfind('/');
            out.erase(slash == std::string::npos ? 0 : slash);
        } else if (!step.empty() && step != ".") {
            out += "/" + step;
        }
        k = end + 1;
    }
    return out.empty() ? "/" : out;
}

namespace {
// Seconds from 1970 to the start of the year 10000.
constexpr long long kEpochEnd = 253402300800LL;

// SOURCE_DATE_EPOCH when it holds a whole number of seconds in the years
// 1970 to 9999; any other value is ignored with one warning on standard
// error. False when it is not set or ignored.
bool source_date_epoch(std::time_t& out) {
    const char* s = std::getenv("SOURCE_DATE_EPOCH");
    if (!s) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s, &end, 10);
    if (end != s && *end == '\0' && errno == 0 && v >= 0 && v < kEpochEnd) {
        out = static_cast<std::time_t>(v);
        return true;
    }
    static bool warned = false;
    if (!warned)
        std::fprintf(stderr,
                     "kivar: SOURCE_DATE_EPOCH=%s is not a time in the years 1970 to 9999; the "
                     "clock is used\n",
                     s);
    warned = true;
    return false;
}

// The time to report: SOURCE_DATE_EPOCH when it is usable, else now.
std::time_t now_or_epoch() {
    std::time_t t;
    return source_date_epoch(t) ? t : std::time(nullptr);
}

DateTime from_tm(const std::tm& t) {
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}
} // namespace

DateTime utc_now() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return from_tm(tm);
}

DateTime local_now() {
    std::time_t t = now_or_epoch();
    std::tm tm{};
    // A reproducible time is reported as given, not shifted into a time zone.
    std::time_t epoch;
    if (source_date_epoch(epoch))
        gmtime_r(&t, &tm);
    else
        localtime_r(&t, &tm);
    return from_tm(tm);
}

} // namespace platform
