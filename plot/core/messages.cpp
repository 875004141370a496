// Numbered warnings and the end-of-plot report.
#include "plot/core/state.h"
#include "plot/core/messages.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace razidu {

namespace {
constexpr const char* kWarnings[59] = {
    " ",
    "Negative parameter",
    "Incorrect parameter",
    "Incorrect level",
    "X coordinate out of page",
    "Y coordinate out of page",
    "Same tick number as in a call before",
    "First radius greater than second radius",
    "Start angle greater/equal end angle",
    "Step equal zero",
    "Begin and end of scaling are equal",
    "Axis length < 2",
    "Startlabel out of scaling",
    "Linear scaling must be used",
    "Linear interpolation must be used",
    "No call to legini before",
    "Too long string for legend line",
    "Not enough store for the legend buffer",
    "Incorrect character after the eushft operator",
    "The basealphabet cannot be used",
    "No metafile",
    "The routine must be called after disfin",
    "The metafile is deleted before",
    "Non positive minimum for log scaling (set to 0.1)",
    "Non positive maximum for log scaling (set to 1.0)",
    "Minimum equal maximum (added -1 and +1)",
    "Too many intersections",
    "Non positive values for log scaling",
    "Number of bars unequal number of main ticks",
    "Sum of data is zero",
    "Incorrect number of points",
    "Incorrect number of points for spline interpolation",
    "No increasing x coordinates for spline interpolation",
    "Incorrect viewpoint",
    "No call to grfini before",
    "Confusion of graf3d and graf3",
    "File error",
    "Incorrect filename",
    "Singular matrix",
    "Too many pages for CGM file (max. length 327 cm)",
    "File format and output device are incompatible",
    "Incorrect device for HPGL file",
    "More legend lines than calls to curve",
    "Instruction code: incorrect parameter",
    "Instruction code: incorrect tabulator index",
    "Instruction code: no integer value",
    "Instruction code: unknown command",
    "Blanking buffer overflow",
    "No call to psfont",
    "Fileformat is not PostScript",
    "Incorrect sign for step",
    "Non positive parameter",
    "Hiddenline overflow",
    "Not enough memory",
    "No call to imgfin",
    "No call to imgini",
    "Incorrect file format",
    "Control characters must be different",
    "Array is out of screen",
};

bool shown = true; // messages_shown

FILE* msg() {
    ensure_initialised();
    if (!shown) {
        // Opened once, for the program's life.
        static FILE* const nowhere = std::fopen("/dev/null", "w");
        if (nowhere) return nowhere;
    }
    return g_plot.msg_stream ? g_plot.msg_stream : stdout;
}

const char* text_or_blank(const char* s) {
    return s ? s : "";
}
} // namespace

void messages_shown(bool on) {
    shown = on;
}

void errmes(int n) {
    ensure_initialised();
    ++g_plot.warning_count;
    if (n > 100) return;
    if (n >= 1 && n <= 58) {
        g_plot.warning_text = kWarnings[n];
    } else {
        std::printf("<<<< Incorrect parameter in errmes! (%4d)\n", n);
        g_plot.warning_text = kWarnings[0];
    }
}

void set_warning_text(const char* text) {
    g_plot.warning_text = text_or_blank(text);
}

void warning_plain(int n) {
    errmes(n);
    std::fprintf(msg(), " <<<< Warning %3d: %s in %s!\n", n, text_or_blank(g_plot.warning_text),
                 text_or_blank(g_plot.routine_name));
}

void warning_with_number(int n, int value) {
    errmes(n);
    std::fprintf(msg(), " <<<< Warning %3d: %s in %s!   (%4d)\n", n,
                 text_or_blank(g_plot.warning_text), text_or_blank(g_plot.routine_name), value);
}

void warning_with_text(int n, const char* text) {
    errmes(n);
    std::fprintf(msg(), " <<<< Warning %3d: %s in %s!   (%s)\n", n,
                 text_or_blank(g_plot.warning_text), text_or_blank(g_plot.routine_name),
                 text_or_blank(text));
}

namespace {
bool needs_exponent(float v) {
    const float m = std::fabs(v);
    return (m < 1.0e-6f && v != 0.0f) || m > 1.0e6f;
}
} // namespace

void out_of_scaling_message(float x, float y, bool plain) {
    FILE* out = msg();
    if (plain) {
        std::fprintf(out, " <<<< (%12.4e /%12.4e) out of axis scaling!\n", double(x), double(y));
        return;
    }
    std::fputs(" <<<< (", out);
    std::fprintf(out, needs_exponent(x) ? "%12.4e /" : "%f /", double(x));
    std::fprintf(
        out, needs_exponent(y) ? "%12.4e) out of axis scaling!\n" : " %f) out of axis scaling!\n",
        double(y));
}

void out_of_page_message(const char* which, int x, int y, const char* text) {
    ++g_plot.warning_count;
    FILE* out = msg();
    char head[9] = {};
    std::strncpy(head, text_or_blank(text), 8);
    std::fprintf(out, " <<<< Warning: %s (%5d/%5d) ", which, x, y);
    std::fprintf(out, "in MESSAG out of page - (%s).\n", head);
}

void not_standard_font_message(const char* font) {
    std::fprintf(msg(), " <<<< Warning: %s is not a standard font!\n", text_or_blank(font));
}

// The two messages before the library ends the process go to standard
// output whatever the message stream is.
void file_exists_message(const char* name) {
    std::printf("File %s does exist", name);
}

void versions_message() {
    std::printf("More than 9999 file versions!\n");
}

void file_date_time(std::tm* out) {
    std::tm& t = *out;
    t = std::tm{};
    // SOURCE_DATE_EPOCH counts as a time in the years 1970 to 9999 (dates
    // have four-digit years); any other value is ignored with one warning.
    constexpr long long kYear10000 = 253402300800LL;
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    char* end = nullptr;
    errno = 0;
    long long seconds = epoch ? std::strtoll(epoch, &end, 10) : 0;
    const bool usable =
        epoch && end != epoch && *end == '\0' && errno == 0 && seconds >= 0 && seconds < kYear10000;
    static bool warned = false;
    if (epoch && !usable && !warned) {
        warned = true;
        std::fprintf(stderr,
                     "RAZIDU: SOURCE_DATE_EPOCH=%s is not a time in the years 1970 to 9999; the "
                     "clock is used\n",
                     epoch);
    }
    if (usable) {
        std::time_t s = std::time_t(seconds);
        gmtime_r(&s, &t);
    } else {
        std::time_t now = std::time(nullptr);
        localtime_r(&now, &t);
    }
}

void report_date_time(char date[11], char time_text[9]) {
    std::tm t{};
    file_date_time(&t);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%4d", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900);
    std::memcpy(date, buf, 10);
    date[10] = '\0';
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    std::memcpy(time_text, buf, 8);
    time_text[8] = '\0';
}

void end_report_text(int flag) {
    PlotState& g = g_plot;
    FILE* out = msg();
    char vectors[16], warnings[16];
    auto squeeze = [](char* s) {
        char* w = s;
        for (char* r = s; *r; ++r)
            if (*r != ' ') *w++ = *r;
        *w = '\0';
    };
    std::snprintf(vectors, sizeof vectors, "%10d", g.vector_count);
    std::snprintf(warnings, sizeof warnings, "%8d", g.warning_count);
    squeeze(vectors);
    squeeze(warnings);
    char date[11], time_text[9];
    report_date_time(date, time_text);
    char metafile[64];
    std::snprintf(metafile, sizeof metafile, "Metafile: %.48s", flag == 1 ? g.file_name : "");
    const char* line = "<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<";
    std::fprintf(out, "\n %s", line);
    std::fprintf(out, "\n <<                END OF RAZIDU / VERSION %4.1f %s                <<",
                 double(kVersion), kPatch);
    std::fprintf(out, "\n <<  Date    : %10s  Time    : %8s  Pageformat: %4s  <<", date, time_text,
                 g.page_name);
    std::fprintf(out, "\n <<  Vectors : %-10s  Warnings: %-8s  Fileformat: %4s  <<", vectors,
                 warnings, g.device_name);
    std::fprintf(out, "\n <<  %-58s  <<", metafile);
    std::fprintf(out, "\n %s\n", line);
    std::fprintf(out, "\n");
    std::fflush(out);
}

} // namespace razidu
