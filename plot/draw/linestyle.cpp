// Line styles: the eight predefined dash patterns and user patterns.
#include "plot/core/state.h"
#include "plot/core/messages.h"
#include "plot/razidu.h"

namespace razidu {

namespace {

// Lengths of the predefined types: length i of type n at n + 8 * i; a 0
// within a type's count stands for 1.
constexpr int kTypeCounts[8] = {1, 2, 2, 4, 4, 2, 2, 2};
constexpr unsigned char kTypeLengths[32] = {
    1, 1,  10, 30, 1,  20, 1,  30, // first lengths of types 0..7
    0, 10, 10, 15, 15, 15, 20, 20, // second
    0, 0,  0,  10, 15, 0,  0,  0,  // third
    0, 0,  0,  15, 15, 0,  0,  0,  // fourth
};

// Checks and installs a pattern; warning 2 on a bad count or length.
void set_pattern(const int* pattern, int n) {
    if (n < 1 || n > 10) {
        warning_with_number(2, n);
        return;
    }
    if (!pattern) {
        warning_plain(2);
        return;
    }
    for (int i = 0; i < n; ++i)
        if (pattern[i] < 1) {
            warning_with_number(2, pattern[i]);
            return;
        }
    LineState& l = g_plot.line;
    for (int i = 0; i < n; ++i)
        l.dash_pattern[i] = pattern[i];
    l.dash_count = n;
    l.dash_gap = 0;
    l.dash_index = 1;
    l.dash_left = float(pattern[0]);
}

void set_type(int n) {
    if (n < 0 || n > 7) {
        warning_with_number(2, n);
        return;
    }
    g_plot.line.line_type = n;
    int pattern[4];
    for (int i = 0; i < kTypeCounts[n]; ++i)
        pattern[i] = kTypeLengths[n + 8 * i] == 0 ? 1 : kTypeLengths[n + 8 * i];
    set_pattern(pattern, kTypeCounts[n]);
}

// The style routines record their name for the warnings; a wrong level is
// reported but the style is set all the same.
void style(int n, const char* routine) {
    check_level(1, 3, routine);
    set_type(n);
}

} // namespace

void lintyp(int n) {
    style(n, "lintyp");
}
void myline(const int* pattern, int n) {
    check_level(1, 3, "myline");
    set_pattern(pattern, n);
}
void solid() {
    style(0, "solid");
}
void dot() {
    style(1, "dot");
}
void dash() {
    style(2, "dash");
}
void chndsh() {
    style(3, "chndsh");
}
void chndot() {
    style(4, "chndot");
}
void dashm() {
    style(5, "dashm");
}
void dotl() {
    style(6, "dotl");
}
void dashl() {
    style(7, "dashl");
}

} // namespace razidu
