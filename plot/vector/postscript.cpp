// PostScript and EPS writer: the file header, the prolog of procedures that
// the drawing and text commands use, the page scaling and the black page;
// the device operations of the family, whose commands go through the
// 80-character line buffer (put_ps_words) and the 50-point path buffer; the
// page ends with "showpage".
#include "plot/core/state.h"
#include "plot/core/messages.h"
#include "plot/core/dispatch.h"
#include "plot/text/text.h"
#include "plot/axes/axes.h"
#include "plot/vector/path_buffer.h"
#include "plot/vector/vector.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace razidu {

namespace {

// PostScript points per internal unit (the prolog's "cm").
constexpr double kPointsPerUnit = 0.14226378;

// Drawing procedures: u/d/p paths, e filled rectangle, f colour, text and
// font, c one centred character, sec ring sector, tri triangle.
constexpr const char* kProcedures[] = {
    "2 setlinecap 2 setlinejoin",
    "/cm {0.14226378 mul} def /rgb {255 div} def /lc 1 string def",
    "/u  { /y exch cm def /x exch cm def newpath  x y moveto } def",
    "/d  { /y exch cm def /x exch cm def x y lineto } def",
    "/p  { stroke } def",
    "/e { /b exch rgb def /g exch rgb def",
    " /r exch rgb def /v exch cm def /w exch cm def /y exch cm def",
    " /x exch cm def gsave r g b setrgbcolor newpath x y moveto",
    " w y lineto w v lineto x v lineto closepath fill grestore } def",
    "/f { /b exch rgb def /g exch rgb def",
    " /r exch rgb def r g b setrgbcolor } def",
    "/text { /c1 exch def /a exch def /y exch cm def /x exch cm def",
    " /Name exch def gsave x y moveto x y translate a rotate c1 0 gt",
    " { Name stringwidth 2 div neg exch 2 div neg exch rmoveto }",
    " {} ifelse Name show grestore } def /font { /h exch def",
    " /s exch def s findfont h scalefont setfont } def",
    "/c { /a exch def /y exch cm def /x exch cm def /i exch def",
    " gsave x y moveto x y translate a rotate lc 0 i put lc",
    " stringwidth 2 div neg exch 2 div neg exch rmoveto lc show",
    " grestore } def",
    "/sec { /b exch rgb def /g exch rgb def /r exch rgb def",
    " /a2 exch def /a exch def /r2 exch cm def /r1 exch cm def",
    " /y exch cm def /x exch cm def gsave r g b setrgbcolor newpath",
    " x y r1 a a2 arc x y r2 a2 a arcn closepath fill grestore } def",
    "/tri { /y3 exch cm def /x3 exch cm def /y2 exch cm def",
    " /x2 exch cm def /y1 exch cm def /x1 exch cm def",
    " gsave newpath x1 y1 moveto",
    " x2 y2 lineto x3 y3 lineto closepath fill grestore } def",
};

// ReEncodeSmall: base font name, new font name, [code name ...]: defines
// the new font as a copy of the base font with those codes re-encoded.
constexpr const char* kReEncode[] = {
    "/Reencsmalldict 12 dict def",
    "/ReEncodeSmall",
    "{ Reencsmalldict begin",
    "  /NewCodesAndNames exch def",
    "  /NewFontName exch def",
    "  /BaseFontName exch def",
    "  /BaseFontDict",
    "  BaseFontName findfont def",
    "  /NewFont BaseFontDict",
    "  maxlength dict def",
    "  BaseFontDict",
    "  { exch dup /FID ne",
    "    { dup /Encoding eq",
    "      { exch dup length array copy",
    "        NewFont 3 1 roll put",
    "      }",
    "      { exch NewFont 3 1 roll put",
    "      } ifelse",
    "      }",
    "      {pop pop} ifelse",
    "    } forall",
    "    NewFont",
    "    /FontName NewFontName put",
    "    NewCodesAndNames aload pop",
    "    NewCodesAndNames",
    "    length 2 idiv",
    "    { NewFont /Encoding get",
    "    3 1 roll put  } repeat",
    "    NewFontName NewFont",
    "    definefont pop end } def",
};

// Codes 127 to 186 of the hardware fonts: the accented Latin letters and
// the inverted marks.
constexpr const char* kGermanVec[] = {
    " /GermanVec [ 8#177 /Adieresis",
    " 8#200 /Odieresis 8#201 /Udieresis 8#202 /adieresis",
    " 8#203 /odieresis 8#204 /udieresis 8#205 /germandbls",
    " 8#206 /Aring     8#207 /Oslash    8#210 /AE",
    " 8#211 /aring     8#212 /oslash    8#213 /ae",
    " 8#214 /Ntilde    8#215 /ntilde    8#216 /Ccedilla",
    " 8#217 /ccedilla  8#220 /Edieresis 8#221 /Idieresis",
    " 8#222 /edieresis 8#223 /idieresis 8#224 /Aacute",
    " 8#225 /Eacute    8#226 /Iacute    8#227 /Oacute",
    " 8#230 /Uacute    8#231 /aacute    8#232 /eacute",
    " 8#233 /iacute    8#234 /oacute    8#235 /uacute",
    " 8#236 /Agrave    8#237 /Egrave    8#240 /Igrave",
    " 8#241 /Ograve    8#242 /Ugrave    8#243 /agrave",
    " 8#244 /egrave    8#245 /igrave    8#246 /ograve",
    " 8#247 /ugrave      8#250 /Acircumflex 8#251 /Ecircumflex",
    " 8#252 /Icircumflex 8#253 /Ocircumflex 8#254 /Ucircumflex",
    " 8#255 /acircumflex 8#256 /ecircumflex 8#257 /icircumflex",
    " 8#260 /ocircumflex 8#261 /ucircumflex 8#262 /Atilde",
    " 8#263 /atilde 8#264 /Otilde 8#265 /otilde 8#266 /Yacute",
    " 8#267 /yacute 8#270 /ydieresis",
    " 8#271 /exclamdown 8#272 /questiondown ] def",
};

template <size_t N> void put_lines(FILE* out, const char* const (&lines)[N]) {
    for (const char* line : lines) {
        std::fputs(line, out);
        std::fputc('\n', out);
    }
}

// Rounded to a whole unit, kept in int range (pages near the int limit).
int round_double(double v) {
    if (std::isnan(v)) return 0;
    return int(std::clamp(v, -1.0e9, 1.0e9) + 0.5);
}

} // namespace

void write_ps_prolog(FILE* out) {
    if (!out) return;
    const PlotState& g = g_plot;
    const bool turned = page_turned();
    const double s = g.device_scale, pf = g.ps.page_factor;
    const double across = turned ? g.page_ymax : g.page_xmax;
    const double up = turned ? g.page_xmax : g.page_ymax;

    std::fputs(g.device == DEV_EPS ? "%!PS-Adobe-3.0 EPSF-3.0\n" : "%!PS-Adobe-2.0\n", out);
    std::fprintf(out, "%s %d %d %d %d\n", "%%BoundingBox:", int(150 * kPointsPerUnit),
                 int(200 * kPointsPerUnit), int((across * s * pf + 150) * kPointsPerUnit + 1),
                 int((up * s * pf + 200) * kPointsPerUnit + 1));
    std::fprintf(out, turned ? "%s %4.1f L\n" : "%s %4.1f P\n", "%%Creator: RAZIDU",
                 double(kVersion));
    char date[11], time_text[9];
    report_date_time(date, time_text);
    std::fprintf(out, "%s %s , %s\n", "%%CreationDate:", date, time_text);
    std::fputs("%%Page: 1 1\n%%EndComments\n", out);
    put_lines(out, kProcedures);
    put_lines(out, kReEncode);
    put_lines(out, kGermanVec);
    std::fprintf(out, "%s %10.6f%10.6f scale\n", "  150 cm   200 cm translate 5 cm setlinewidth",
                 pf, pf);
    // Colour PostScript and EPS paint the page black unless the background
    // is reversed.
    if ((g.device == DEV_PSCL || g.device == DEV_EPS) && g.screen_mode != 2) {
        const int x = round_double(g.page_xmax * s), y = round_double(g.page_ymax * s);
        std::fprintf(out, turned ? "0 0 %d %d 0 0 0 e \n" : "0 %d %d 0 0 0 0 e \n", y, x);
    }
}

// ------------------------------------------------------------ line buffer

void put_ps_words(const char* text, int n) {
    PlotState& g = g_plot;
    if (n == -1) {
        g.record.push_back('\n');
        write_plot_stream(g.record.data(), g.record.size());
        g.record.clear();
        return;
    }
    int start = 0;
    while (start < n) {
        int end = start;
        while (end < n && text[end] != ' ')
            ++end;
        if (end < n) ++end; // the piece ends with its blank
        const int len = end - start;
        const bool last = end >= n;
        if (!(len == 1 && text[start] == ' ' && !last)) {
            if (int(g.record.size()) + len > kRecordLength) {
                g.record.push_back('\n');
                write_plot_stream(g.record.data(), g.record.size());
                g.record.clear();
            }
            g.record.append(text + start, size_t(len));
        }
        start = end;
    }
}

namespace {

// Appends v as "%*d" writes it (right-aligned in width columns, wider when
// it needs more) and one blank; returns the new end. A page writes tens of
// thousands of these.
char* put_int(char* p, int v, int width) {
    char digits[12];
    int k = 12;
    unsigned u = v < 0 ? 0u - unsigned(v) : unsigned(v);
    do {
        digits[--k] = char('0' + u % 10);
        u /= 10;
    } while (u);
    if (v < 0) digits[--k] = '-';
    for (int pad = width - (12 - k); pad > 0; --pad)
        *p++ = ' ';
    std::memcpy(p, digits + k, size_t(12 - k));
    p += 12 - k;
    *p++ = ' ';
    return p;
}

// One path: "u" for its first point, "d" for the others, "p" strokes it.
void write_path(const int* x, const int* y, int count) {
    char words[64];
    for (int i = 0; i < count; ++i) {
        char* w = put_int(put_int(words, x[i], 5), y[i], 5);
        *w++ = i == 0 ? 'u' : 'd', *w++ = ' ';
        put_ps_words(words, int(w - words));
    }
    put_ps_words("p ", 2);
}

// ------------------------------------------------------------ device operations

// The device scale of PostScript: the prolog's page factor does the fitting.
constexpr float kPsScale = 1.8571428f;

void ps_open() {
    PlotState& g = g_plot;
    const bool turned = page_turned();
    const float xmax = float(g.page_xmax), ymax = float(g.page_ymax);
    float f = turned ? std::min(5600.0f / xmax, 3900.0f / ymax)
                     : std::min(3900.0f / xmax, 5600.0f / ymax);
    f = std::min(f, 2.0f);
    g.device_scale = kPsScale;
    g.ps = PsState{};
    g.ps.page_factor = f / kPsScale;
    write_ps_prolog(g.plot_stream);
}

void ps_pen(float x, float y, int pen) {
    ps_path_point(x, y, pen);
}

void ps_colour(int, int r, int gr, int b) {
    ps_path_point(0, 0, 999);
    char words[64];
    char* w = put_int(put_int(put_int(words, r, 3), gr, 3), b, 3);
    *w++ = 'f', *w++ = ' ';
    put_ps_words(words, int(w - words));
}

void ps_fill(float ax, float ay, float bx, float by, int c) {
    const float s = g_plot.device_scale;
    const uint32_t e = colour_entry(c);
    const int r = int((e >> 16) & 0xFF), gr = int((e >> 8) & 0xFF), b = int(e & 0xFF);
    char words[128];
    char* w = put_int(words, round_unit(ax * s), 5);
    w = put_int(w, round_unit(ay * s), 5);
    w = put_int(w, round_unit(bx * s), 5);
    w = put_int(w, round_unit(by * s), 5);
    w = put_int(put_int(put_int(w, r, 3), gr, 3), b, 3);
    *w++ = 'e', *w++ = ' ';
    put_ps_words(words, int(w - words));
}

// A filled polygon: the colour, then the path through the u/d procedures.
void ps_polygon(const float* x, const float* y, int n, int c) {
    const float s = g_plot.device_scale;
    const uint32_t e = colour_entry(c);
    ps_colour(c, int((e >> 16) & 0xFF), int((e >> 8) & 0xFF), int(e & 0xFF));
    for (int k = 0; k < n; ++k) {
        char words[64];
        char* w = put_int(words, round_unit(x[k] * s), 5);
        w = put_int(w, round_unit(y[k] * s), 5);
        *w++ = k == 0 ? 'u' : 'd', *w++ = ' ';
        put_ps_words(words, int(w - words));
    }
    put_ps_words("closepath fill ", 15);
    const int current = g_plot.colour.current;
    const uint32_t back = colour_entry(current);
    ps_colour(current, int((back >> 16) & 0xFF), int((back >> 8) & 0xFF), int(back & 0xFF));
}

void put_words(const char* text) {
    put_ps_words(text, int(std::strlen(text)));
}

void put_font_name(const char* name, const char* suffix) {
    char words[96];
    std::snprintf(words, sizeof words, "(%.60s%.8s) ", name, suffix);
    put_words(words);
}

void put_font_size() {
    char words[32];
    std::snprintf(words, sizeof words, "%5d font ",
                  int(float(g_plot.text.height) * g_plot.device_scale / 4.0f));
    put_words(words);
}

// Full: the font of the list selected anew, re-encoded for the accented
// letters ("-German"); otherwise the font in force at the text height.
void ps_font(bool full) {
    TextState& t = g_plot.text;
    if (!full) {
        put_font_name(t.ps_font_name, "");
        put_font_size();
        return;
    }
    put_font_name(t.ps_font_name, "");
    put_font_name(t.ps_font_name, "-German");
    put_words("GermanVec ReEncodeSmall ");
    put_font_name(t.ps_font_name, "-German");
    put_font_size();
    std::strncat(t.ps_font_name, "-German",
                 sizeof t.ps_font_name - std::strlen(t.ps_font_name) - 1);
}

// One character centred on its cell: code, position and angle.
void ps_character(int k, float w, int) {
    const TextState& t = g_plot.text;
    float dx, dy;
    device_point(t.x + t.cos_a * w / 2, t.y - t.sin_a * w / 2, &dx, &dy);
    char words[64];
    const int n = std::snprintf(words, sizeof words, "%5d %5d %5d %5d c ", k, trunc_int(dx),
                                trunc_int(dy), device_text_angle());
    put_ps_words(words, n);
}

int ps_finish() {
    ps_path_point(0, 0, 999);
    put_ps_words("showpage ", 9);
    write_pending_record();
    return 1;
}

} // namespace

void ps_path_point(float x, float y, int pen) {
    path_point(g_plot.ps.path, round_unit(x), round_unit(y), pen, write_path);
}

const DeviceOps kPostScriptOps = {
    PageAxes::TurnLandscape,
    "w",
    ps_open,
    ps_pen,
    ps_colour,
    ps_fill,
    kPsScale,
    ps_font,
    ps_character,
    ps_finish,
    nullptr,
    ps_polygon,
};

} // namespace razidu
