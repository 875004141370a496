// Public routines whose drawing comes with later modules. Each checks its
// level (so misuse is reported with its own name) and does nothing else
// yet. A module that implements a routine removes it from this file.
#include "plot/core/state.h"
#include "plot/razidu.h"

namespace razidu {

// ------------------------------------------------------------ axis module
// Axis systems, scalings, labels, colour bar and coloured surfaces.

void axspos(int, int) {
    check_level(1, 1, "axspos");
}
void graf(float, float, float, float, float, float, float, float) {
    check_level(1, 1, "graf");
}
void graf3(float, float, float, float, float, float, float, float, float, float, float, float) {
    check_level(1, 1, "graf3");
}
void name(const char*, const char*) {
    check_level(1, 3, "name");
}
void labels(const char*, const char*) {
    check_level(1, 3, "labels");
}
void digits(int, const char*) {
    check_level(1, 3, "digits");
}

// Ends an axis system. The level machine and the clip rectangle are the
// core's; resetting the curve bookkeeping comes with the curve module.
void close_axis_system() {
    ensure_initialised();
    if (g_plot.level < 2) return;
    restore_clip();
    g_plot.curves.counter = 1;
    g_plot.curves.recorded = 0;
    g_plot.level = 1;
    flush_polyline();
}

// ------------------------------------------------------------ title module

void titlin(const char*, int) {
    check_level(1, 3, "titlin");
}
void title() {
    check_level(2, 3, "title");
}

// ------------------------------------------------------------ line style module

void lintyp(int) {
    check_level(1, 3, "lintyp");
}
void myline(const int*, int) {
    check_level(1, 3, "myline");
}
void solid() {
    check_level(1, 3, "solid");
}
void dot() {
    check_level(1, 3, "dot");
}
void dash() {
    check_level(1, 3, "dash");
}
void chndsh() {
    check_level(1, 3, "chndsh");
}
void chndot() {
    check_level(1, 3, "chndot");
}
void dashm() {
    check_level(1, 3, "dashm");
}
void dotl() {
    check_level(1, 3, "dotl");
}
void dashl() {
    check_level(1, 3, "dashl");
}

// ------------------------------------------------------------ text module

void height(int) {
    check_level(1, 3, "height");
}
void angle(int) {
    check_level(1, 3, "angle");
}
void disalf() {
    check_level(1, 3, "disalf");
}
void complx() {
    check_level(1, 3, "complx");
}
void messag(const char*, int, int) {
    check_level(1, 3, "messag");
}
void hwfont() {
    check_level(1, 3, "hwfont");
}
void psfont(const char*) {
    check_level(1, 3, "psfont");
}
void winfnt(const char*) {
    check_level(1, 3, "winfnt");
}
void X11FNT(const char*, const char*) {
    check_level(1, 3, "X11FNT");
}

// ------------------------------------------------------------ calendar module

int incdat(int, int, int) {
    check_level(0, 3, "incdat");
    return 0;
}
void trfdat(int, int*, int*, int*) {
    check_level(0, 3, "trfdat");
}
int nwkday(int, int, int) {
    check_level(0, 3, "nwkday");
    return 0;
}

} // namespace razidu
