// PostScript and EPS writer: the file header, the prolog of procedures that
// the drawing and text commands use, the page scaling and the black page.
// The drawing commands themselves go through the line buffer of the
// dispatch (put_ps_words); disfin adds "showpage".
#include "plot/core/state.h"
#include "plot/vector/vector.h"

#include <algorithm>
#include <cmath>

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
int round_unit(double v) {
    if (std::isnan(v)) return 0;
    return int(std::clamp(v, -1.0e9, 1.0e9) + 0.5);
}

} // namespace

void write_ps_prolog(FILE* out) {
    if (!out) return;
    const PlotState& g = g_plot;
    const bool turned = g.page_xmax > g.page_ymax;
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
        const int x = round_unit(g.page_xmax * s), y = round_unit(g.page_ymax * s);
        std::fprintf(out, turned ? "0 0 %d %d 0 0 0 e \n" : "0 %d %d 0 0 0 0 e \n", y, x);
    }
}

} // namespace razidu
