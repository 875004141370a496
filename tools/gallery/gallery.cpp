// Draws one PNG page per drawing feature of the plotting library into a
// folder, for looking at: line styles and clipping, text sizes and angles,
// the glyph tables of both stroke fonts, and axes of every label type.
//
//   razidu_gallery [folder]      (default: gallery)
#include "plot/core/state.h"
#include "plot/razidu.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

using namespace razidu;

namespace {

std::string g_dir = "gallery";

void open_png(const char* file, int w, int h, int page_w = 2970, int page_h = 2100) {
    metafl("PNG");
    filmod("DELE");
    const std::string f = g_dir + "/" + file;
    setfil(f.c_str());
    scrmod("REVE");
    page(page_w, page_h);
    winsiz(w, h);
    disini();
    complx();
}

void heading(const char* text) {
    height(50);
    messag(text, 60, 40);
}

void page_lines() {
    open_png("lines.png", 1485, 1050);
    heading("Line styles, a user pattern and clipping");
    static const char* kNames[8] = {"solid",  "dot",   "dash", "chndsh",
                                    "chndot", "dashm", "dotl", "dashl"};
    height(32);
    for (int n = 0; n < 8; ++n) {
        const float y = 220.0f + 120.0f * float(n);
        messag(kNames[n], 60, int(y) - 16);
        lintyp(n);
        strtpt(300, y);
        connpt(1300, y);
        // The pattern runs on across the vertices of a polyline.
        strtpt(300, y + 50);
        for (int k = 1; k <= 20; ++k)
            connpt(300.0f + 50.0f * float(k), y + (k % 2 ? 20.0f : 50.0f));
    }
    const int user[6] = {40, 10, 5, 10, 5, 10};
    myline(user, 6);
    messag("myline", 60, 1180);
    strtpt(300, 1200);
    connpt(1300, 1200);
    solid();

    // Clipping: a rectangle, lines of a star and a spiral cut at its edges.
    const int x0 = 1700, y0 = 400, x1 = 2700, y1 = 1400;
    messag("clipped to the rectangle", 1700, 300);
    strtpt(x0, y0);
    connpt(x1, y0);
    connpt(x1, y1);
    connpt(x0, y1);
    connpt(x0, y0);
    sendbf();
    int* c = g_plot.line.clip_rect;
    c[0] = x0, c[1] = y0, c[2] = x1, c[3] = y1;
    setclr(50);
    for (int k = 0; k < 36; ++k) {
        const float a = float(k) * 10.0f * 0.0174533f;
        strtpt(2200 + 200 * std::cos(a), 900 - 200 * std::sin(a));
        connpt(2200 + 900 * std::cos(a), 900 - 900 * std::sin(a));
    }
    setclr(200);
    strtpt(2200, 900);
    for (int k = 1; k < 400; ++k) {
        const float a = float(k) * 0.1f, r = float(k) * 2.0f;
        connpt(2200 + r * std::cos(a), 900 - r * std::sin(a));
    }
    sendbf();
    setclr(255);
    c[0] = 0, c[1] = 0, c[2] = g_plot.page_xmax, c[3] = g_plot.page_ymax;
    height(32);
    messag("250-point polyline through three flushes", 1700, 1500);
    strtpt(1700, 1700);
    for (int k = 1; k < 250; ++k)
        connpt(1700.0f + 4.0f * float(k), 1700.0f - 150.0f * std::sin(float(k) * 0.08f));
    disfin();
}

void text_page(const char* file, bool complex_font) {
    open_png(file, 1485, 1050);
    heading(complex_font ? "complx: heights 20 to 100 and angles"
                         : "disalf: heights 20 to 100 and angles");
    if (!complex_font) disalf();
    int y = 130;
    for (int h = 20; h <= 100; h += 10) {
        height(h);
        char text[128];
        std::snprintf(text, sizeof text, "%d: hPa 35N \x7f\x80\x81 \x82\x83\x84\x85 (-2.5)",
                      h);
        messag(text, 60, y);
        y += h + 40;
    }
    // Exponent characters, as axis labels use them: [ raises, $ returns.
    g_plot.text.label_mode = 1;
    height(36);
    for (int a = 0; a < 360; a += 30) {
        angle(a);
        messag("  Angle 30[o$ N", 2350, 1500);
    }
    angle(0);
    height(60);
    messag("Exponents: 1.5*10[-3$ m/s, 35[o$ N, 120[o$ E", 60, 1250);
    height(40);
    messag("and at height 40: 1.5*10[-3$ m/s, 35[o$ N, 120[o$ E", 60, 1400);
    g_plot.text.label_mode = 0;
    disfin();
}

void glyph_page(const char* file, bool complex_font, int last) {
    open_png(file, 1485, 1050);
    heading(complex_font ? "complx: codes 32 to 186" : "disalf: codes 32 to 163");
    const int cols = 16;
    for (int k = 32; k <= last; ++k) {
        const int i = k - 32, col = i % cols, row = i / cols;
        const int x = 80 + col * 178, y = 150 + row * 185;
        char code[12];
        std::snprintf(code, sizeof code, "%d", k);
        disalf();
        height(24);
        color("BLUE");
        messag(code, x, y);
        color("FORE");
        if (complex_font) complx();
        height(80);
        const char ch[2] = {char(k), '\0'};
        messag(ch, x + 40, y + 60);
    }
    disfin();
}

// One small axis system per label type on a page.
void axis_box(int x, int y, const char* kind, float a, float e, float or_, float step, int dig,
              const char* title, bool map_y = false) {
    AxisState& ax = g_plot.axis;
    ax.len_x = 1000;
    ax.len_y = 400;
    axspos(x, y);
    labels(kind, "x");
    labels(map_y ? "map" : "floa", "y");
    digits(dig, "x");
    digits(map_y ? -1 : 1, "y");
    name(title, "x");
    name(map_y ? "latitude" : "value", "y");
    if (map_y)
        graf(a, e, or_, step, -10, 10, -10, 10);
    else
        graf(a, e, or_, step, 0, 10, 0, 5);
    close_axis_system();
}

void page_axes() {
    open_png("axes.png", 1485, 1050);
    heading("Axes of every label type");
    height(30);
    labels("float", "y");
    axis_box(250, 650, "FLOA", -1, 1, -1, 0.5f, 1, "FLOA, 1 digit");
    axis_box(1700, 650, "EXP", 0, 5000, 0, 1000, 1, "EXP");
    axis_box(250, 1300, "FEXP", 0, 0.004f, 0, 0.001f, 1, "FEXP");
    axis_box(1700, 1300, "DMAP", -30, 30, -30, 10, -1, "DMAP (signed degrees)");
    axis_box(250, 1950, "TIME", 0, 86400, 0, 21600, -1, "TIME (hhmm)");
    axis_box(1700, 1950, "HOUR", -7200, 36000, 0, 7200, -1, "HOUR");
    disfin();
}

void page_axes2() {
    open_png("axes2.png", 1485, 1050);
    heading("Geographic and time labels");
    height(30);
    axis_box(250, 650, "MAP", -20, 20, -20, 10, -1, "MAP: W and E, S and N", true);
    axis_box(1700, 650, "LMAP", 100, 160, 100, 20, 0, "LMAP, 0 digits");
    axis_box(250, 1300, "SECO", 0, 600, 0, 120, -1, "SECO (hhmmss)");
    axis_box(1700, 1300, "LOG", 0.5f, 3.5f, 0.5f, 0.5f, 2, "LOG, 2 digits");
    axis_box(250, 1950, "NONE", 0, 1, 0, 0.5f, 1, "NONE");
    axis_box(1700, 1950, "MAP", 150, 120, 150, -10, -1, "MAP, descending");
    disfin();
}

// The frame of the weather map, with its settings.
void page_weather_frame() {
    open_png("weather_axes.png", 650, 600, 2925, 2820);
    height(40);
    hwfont();
    axspos(526, 2346);
    name("Longitude", "x");
    name("Latitude", "y");
    labels("map", "x");
    labels("map", "y");
    digits(-1, "x");
    digits(-1, "y");
    graf3(119.5f, 150.5f, 120.0f, 5.0f, 19.5f, 50.5f, 20.0f, 5.0f, 0.0f, 9.0f, 0.0f, 1.0f);
    close_axis_system();
    disfin();
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1) g_dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(g_dir, ec);
    if (ec) {
        std::fprintf(stderr, "razidu_gallery: cannot create %s: %s\n", g_dir.c_str(),
                     ec.message().c_str());
        return 1;
    }
    page_lines();
    text_page("text_complx.png", true);
    text_page("text_disalf.png", false);
    glyph_page("glyphs_complx.png", true, 186);
    glyph_page("glyphs_disalf.png", false, 163);
    page_axes();
    page_axes2();
    page_weather_frame();
    return 0;
}
