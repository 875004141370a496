// RAZIDU, a scientific plotting library.
//
// A program draws one page at a time. Set-up routines (level 0) choose the
// device, file and page; disini opens the page (level 1); graf / graf3 open
// an axis system (level 2 / 3) in which data routines draw; close_axis_system
// returns to level 1 and disfin writes the page out and returns to level 0.
//
// Levels: 0 closed, 1 page open, 2 inside an axis system (graf), 3 inside a
// colour axis system (graf3). Every routine checks the level first: outside
// its range it prints warning 3 "Incorrect level" with the current level,
// naming itself, and does nothing else. Misuse is never fatal; warnings are
// numbered lines on standard output:
//     " <<<< Warning   2: Incorrect parameter in metafl!   (tif)"
// Options are keywords compared on their first four letters without regard
// to case ("delete", "DELE" and "dele" are the same option).
//
// Coordinates: plot units (0.1 mm on paper), origin at the upper left page
// corner, x to the right, y downwards. Colours are indices 0..255 into a
// 256-entry colour table; 0 is the background and 255 the foreground.
//
// Devices (metafl keyword -> output): "PNG", "BMP", "TIFF", "PPM", "IMAG"
// (raw dump), "VIRT" (drawn in memory, no file) are raster images; "PS",
// "EPS", "POST", "PSCL" PostScript (one page; a landscape page is turned
// on the sheet; "PSCL" and "EPS" paint the page black unless the background
// is reversed); "PDF" one page of PDF 1.3 with deflated content streams;
// "CGM" binary CGM (lines only: rectangles are filled with strokes, text is
// stroked); "GKSL" a plain-text metafile (the default when metafl is not
// called). PostScript, PDF and CGM files carry a creation date, taken from
// SOURCE_DATE_EPOCH (as UTC) when it is set. The screen
// windows "XWIN", "XWI1".."XWI8", "XWND", "CONS", "MET1".."MET9" draw in
// memory and discard the page like "VIRT"; "KYOC", "HPGL", "HPA1".."HPA4",
// "TEKT", "VT34", "LN03", "WMF", "JAVA" are accepted keywords whose drawing
// is discarded (see README "Using RAZIDU on its own").
#pragma once

#include <cstdint>

namespace razidu {

// ------------------------------------------------------------ set-up, level 0

// Selects the output device by keyword (table above). Level 0. Unknown
// keyword: warning 2 with the keyword, device unchanged.
void metafl(const char* keyword);
// Output file name of the next plots (at most 80 characters kept). Level 0.
void setfil(const char* name);
// What happens when the output file exists: "COUN" new name name_1.ext,
// name_2.ext ... (base cut to 8 characters), "DELE" replace it (once the new
// file is complete), "BREA" print "File <name> does exist" and end the
// program. Levels 0-3; unknown: warning 2.
void filmod(const char* option);
// Background: "ERAS"/"NORE" normal (black), "NOER", "REVE" reversed (white
// background, black foreground), "AUTO" (reversed for PS, EPS and PDF only).
// Level 0; unknown: warning 2.
void scrmod(const char* option);
// Raster image size in pixels (default 853 x 603 landscape, 603 x 853
// portrait); any size is tried at disini. Levels 0-3; a value <= 0 gives
// warning 2 with the smaller value.
void winsiz(int width, int height);
// Page size in plot units (default 2970 x 2100, A4 landscape). Level 0;
// a value <= 0 gives warning 2.
void page(int width, int height);

// ------------------------------------------------------------ page

// Opens the page on the selected device and resets all per-plot settings.
// Level 0 -> 1. Ends the program (exit code 0) after warning 53 when the
// raster image or the PDF tables cannot be allocated, after warning 36 when
// the PDF file cannot be created, after the message of filmod "BREA" and
// after "More than 9999 file versions!"; page_outcome then says why (see
// end_hook for programs that must go on).
void disini();
// Writes the page out, closes the file and prints the end-of-plot report.
// Levels 1-3 -> 0. Every file is written under a temporary name in its
// folder, ".NAME.PID.part", and renamed onto NAME once every byte was
// written, flushed, synced (see file_sync) and closed; a file that fails is
// removed, so an earlier file of that name stays as it was. A file that cannot be created or
// written whole gives warning 36 (PostScript, CGM and the text devices:
// only when it was created and then failed); see page_outcome.
void disfin();
// What became of the file of the last page since disini: `status` 0 when
// it was written whole (or the device writes no file); 1 when it could not
// be created; 2 when it was not written whole (a write, the flush, the close
// or the rename failed, or memory or the compressor did), so that no file
// took its name; 3 when the library is ending the process (see disini).
// `warning` is the number of the warning that reported it (0: none),
// `file` the output file, `reason` the system's reason ("No space left on
// device") or what went wrong. Any level; the texts live until the next
// disini.
struct PageOutcome {
    int status;
    int warning;
    const char* file;
    const char* reason;
};
PageOutcome page_outcome();
// The temporary file of the page being written, or nullptr. A signal
// handler may call it and remove that file (async-signal-safe).
const char* partial_file();
// Whether disfin syncs a page's file to the disk before it takes its name,
// and its folder after (on by default): after a crash of the machine the
// name then holds the earlier file or the new one, whole. Any level; kept
// for the program's life.
void file_sync(bool on);
// Whether warnings and the end-of-plot report are printed (on standard
// output, the default) or dropped, for programs that report each page's
// outcome themselves (page_outcome). Any level; kept until changed.
void messages_shown(bool on);
// Called in place of ending the program on the failures that end it (see
// disini), once the page was discarded, page_outcome set (status 3) and the
// library put back to level 0, so that it can open the next page. The hook
// must not return: it ends the program, or throws to the code that called
// the library (an interpreter drawing maps). A hook that returns ends the
// program as before. nullptr (the default) ends it with exit code 0. Any
// level; kept until changed.
void end_hook(void (*hook)());
// Clears the page of raster devices. Levels 1-3.
void erase();
// Switches off the reports of points outside the axis scaling. Levels 1-3.
void nochek();
// Draws pending lines. Levels 1-3.
void sendbf();

// ------------------------------------------------------------ axis systems

// Lower left corner of the axis system in plot units (default: centred, 300
// above the lower page edge; the axes are 2/3 of the page wide and high).
// Level 1. Outside the page: warning 2 with the value, nothing changes.
void axspos(int x, int y);
// Axis lengths in plot units (default 2/3 of the page's width and height;
// the colour bar of graf3 is as high as the Y axis). Level 1; a length below
// 2: warning 2 with it, nothing changes.
void axslen(int nx, int ny);
// Rectangle size of curve3 from the number of data points along x and y
// (each 2..10000): graf3 makes each rectangle the page distance between
// neighbouring points, rounded up (one unit more on file devices). Without
// autres the rectangles are 1 x 1. Level 1; bad count: warning 2 with it,
// nothing stored.
void autres(int nx, int ny);
// Two-axis system: first value, last value, first label, label step for x and
// y; draws the bottom and left axes with ticks, labels and names, ticks on
// the top and right axes, and the frame. Level 1 -> 2. First value equal to
// the last: warning 10, step 0: warning 9 (both reject the call, level stays
// 1); first label outside the range: warning 12, step against the direction:
// warning 50 (both only warn). Descending scalings are allowed.
void graf(float xa, float xe, float xor_, float xstep, float ya, float ye, float yor, float ystep);
// graf with a colour scaling z (checked first, like x and y) and the colour
// bar at the right of the axis system. Level 1 -> 3; a rejected scaling
// leaves level 1 and draws nothing.
void graf3(float xa, float xe, float xor_, float xstep, float ya, float ye, float yor, float ystep,
           float za, float ze, float zor, float zstep);
// Ends the axis system: level 2 or 3 -> 1. Callable at any level.
void close_axis_system();
// Axis name (at most 132 characters), drawn 36 units high, centred under the
// X axis and upright beside the Y axis. axes: the letters X, Y, Z among its
// first three characters select the axes ("x", "XY", "xyz"). Levels 1-3.
void name(const char* text, const char* axes);
// Label kind of the given axes: "NONE", "FLOA" (default), "EXP" (m*10^e),
// "FEXP" (mEe), "LOG", "CLOG", "ELOG" (plain numbers on this linear axis),
// "MAP" (degrees with E/W, N/S and a raised o), "DMAP" (signed degrees),
// "LMAP" (lower-case letters), "TIME" (hhmm), "HOUR", "SECO" (hhmmss) of
// values in seconds, "MYLA" (user labels: none here), "DATE". The selectors
// "BAR", "PIE" and "CON" set the label modes of those plot kinds. Levels
// 1-3; unknown kind: warning 2, nothing changes.
void labels(const char* kind, const char* axes);
// Number of decimals of the labels, -1..100 (-1 integer without a point;
// default 1). Selectors "BAR", "CON", "PIE", "DAT", "PER" set the digits of
// those plot kinds. Levels 1-3; out of range: warning 2 with n.
void digits(int n, const char* axes);
// Width of the colour bar of graf3 in plot units, 0..10000 (default 85); the
// bar stands 85 units right of the axis system, one band per data colour
// (1 at the bottom, 254 at the top), with an axis of the z scaling on its
// right. Levels 1-3; otherwise warning 2 with n.
void widbar(int n);

// ------------------------------------------------------------ colours

// Loads a colour table, named by its first four letters: "small", "rainbow"
// (default), "spectrum", "grey", "rrainbow", "rspectrum", "rgrey" (the
// reversed ones), "vga", "temperature". Levels 1-3; unknown: warning 2.
void setvlt(const char* table);
// Current colour by name: "WHIT", "RED", "GREE", "YELL", "BLUE", "ORAN",
// "CYAN", "MAGE", "BLAC", "FORE", "BACK". Levels 1-3; unknown: warning 2.
void color(const char* name);
// Current colour by index 0..255. Levels 1-3; otherwise warning 2.
void setclr(int index);
// Sets entry index of the colour table to r, g, b (each 0..255): a palette
// of one's own over the data colours 1..254 after setvlt. Levels 1-3; a value
// outside 0..255: warning 2 with it, nothing changes.
void setind(int index, int r, int g, int b);
// The components of entry index of the colour table. Levels 1-3; a bad
// index or null output: warning 2, outputs unchanged.
void getind(int index, int* r, int* g, int* b);

// ------------------------------------------------------------ data plots

// One rectangle per point (x[i], y[i]) centred on it, coloured by z[i] on
// the z scaling of graf3: data colours inside the range, the last colour at
// its end, background below and foreground above it. Points outside the x or
// y scaling are skipped (reported unless nochek). Clipped to the axis
// system. Level 3.
void curve3(const float* x, const float* y, const float* z, int n);
// Polyline through n points (n >= 2, else warning 2) in user coordinates in
// the current colour and line style, clipped to the axis system; points
// outside the scaling are reported unless nochek, and drawn as far as they
// fall inside. Levels 2-3.
void curve(const float* x, const float* y, int n);
// Start / continue a line at a point in plot units, in the current line
// style, clipped to the page. Levels 1-3.
void strtpt(float x, float y);
void connpt(float x, float y);
// Arrow from (x1, y1) to (x2, y2) in user coordinates, clipped to the axis
// system (end points outside the scaling are reported unless nochek).
// Code d1d2d3d4: head half-width (d1 + 0.5) / 4.5 of its length, head length
// 10 * d2 + 10 plot units, form d3 (0 filled, 1 closed outline with the shaft
// stopping at it, 2 open, 3 closed with the shaft to the tip), heads d4 (0
// none, 1 at the end, 2 at both ends pointing outwards, 3 both pointing to
// the end). Levels 2-3.
void rlvec(float x1, float y1, float x2, float y2, int code);
// The same arrow between two points in plot units. Levels 1-3. d3 or d4
// above 3: warning 2 with the digit after the shaft is drawn.
void vector(int x1, int y1, int x2, int y2, int code);

// Isolines of the grid z at the n given levels, z[j * nx + i] being the
// value at (x[i], y[j]) in user coordinates (x and y ascending or
// descending). Marching squares over the cells: a corner equal to a level
// counts as above it, a saddle cell keeps its corners joined on the side of
// the mean of its four values, and the crossings are joined into one
// polyline per line, without gaps or repeated pieces. Cells with a value
// that is not a number are left out. Drawn in the current colour and line
// style, clipped to the axis system; with isolab labels, each line carries
// its level. Levels 2-3. nx or ny below 2, n below 1, a null array or a grid
// of more than 2^26 points: warning 2, nothing is drawn.
void isolin(const float* x, int nx, const float* y, int ny, const float* z, const float* levels,
            int n);
// Labels of isolin: the level's value with digits decimals (-1: an integer
// without a point, up to 6), every spacing plot units along a line (the
// first half a spacing from its start; a line shorter than the spacing gets
// one in its middle when it is long enough). Labels are upright, in the
// stroke font at the current text height, inside the axis system, never
// overlapping one another; every line is broken under them. spacing 0 (the
// default after disini) draws no labels. Levels 1-3; spacing below 0 or
// digits outside -1..6: warning 2 with the value, nothing changes.
void isolab(int spacing, int digits);

// Colour of a box drawn under each label of isolin before its text, so that
// the label reads on any colour beneath it (0 the background); -1 (the
// default after disini) draws none. Levels 1-3; another value: warning 2.
void isohal(int colour);

// ------------------------------------------------------------ maps

// A map is an axis system whose user coordinates are the plane of a
// projection: x and y of a PROJ definition (metres for most projections,
// degrees for rotated-pole ones), or longitude and latitude themselves
// (plate carree). The routines below take points as longitude and latitude
// (degrees east and north) and put them through the projection; longitudes
// are taken within 180 degrees of the map's centre, so that a map may cross
// the date line. Lines and cells that jump across the projection's seam are
// left out there. A typical page:
//     mapprj("+proj=lcc +lat_1=30 +lat_2=60 +lon_0=140", 140);
//     mapext(100, 180, 10, 60, &xa, &xe, &ya, &ye);
//     grafmp3(xa, xe, ya, ye, 10, 10, zmin, zmax, zmin, zstep);
//     geocel(lon, lat, z, nx, ny); geoiso(...); mapgrd(); geocrv(...);
// Each disini forgets the projection (plate carree around 0 degrees).

// Sets the projection: a PROJ definition ("+proj=merc +lon_0=140", the
// rotated pole's "+proj=ob_tran +o_proj=longlat ..."), or "" for plate
// carree; lon_centre is the map's middle longitude (the definition's lon_0
// where it has one). Level 1. Returns 0, or 1 after warning 2 with the
// definition when PROJ cannot set it up (the projection then stays).
int mapprj(const char* definition, float lon_centre);
// Map coordinates of n points (NaN where the projection has none). Levels 1-3.
void mapxy(const float* lon, const float* lat, int n, float* x, float* y);
// The smallest rectangle of map coordinates that holds the area lon0..lon1,
// lat0..lat1 (lon1 - lon0 up to 360; lon1 may pass 180). Levels 1-3.
// Returns 0, or 1 when no point of the area has map coordinates (warning 2
// for an empty or reversed area); the outputs are then unchanged.
int mapext(float lon0, float lon1, float lat0, float lat1, float* xa, float* xe, float* ya,
           float* ye);
// Opens a map axis system over xa..xe, ya..ye (map coordinates): its size
// keeps the aspect of the rectangle within the axis lengths, its lower left
// corner at axspos; the frame is drawn, and the graticule every lon_step and
// lat_step degrees (0: none) is labelled where it meets the frame (meridians
// below and above, parallels left and right). Level 1 -> 2; a bad rectangle
// or step: warning 2, level stays 1.
void grafmp(float xa, float xe, float ya, float ye, float lon_step, float lat_step);
// grafmp with a colour scaling z and the colour bar at the right of the map
// (as graf3; parallels then are labelled on the left only). Level 1 -> 3.
void grafmp3(float xa, float xe, float ya, float ye, float lon_step, float lat_step, float za,
             float ze, float zor, float zstep);
// Draws the graticule lines of grafmp in the current colour and line style,
// clipped to the map and broken under contour labels. Levels 2-3.
void mapgrd();
// Polyline through n points in longitude and latitude (steps longer than a
// degree are divided, so that it bends with the projection), clipped to the
// map and broken under the labels of isolin. Levels 2-3; n below 2: warning 2.
void geocrv(const float* lon, const float* lat, int n);
// Cells of a grid of nx * ny centres (row after row; any orientation), each a
// quadrilateral in the map's plane whose corners lie midway between
// neighbouring centres (the outer ones as far outside), coloured by z on the
// Z scaling as curve3; values that are not numbers are left out. Cells
// sharing an edge neither overlap nor leave a gap. A grid that goes round
// the globe is drawn on either side of the seam. Level 3; nx or ny below 2 or
// more than 2^26 points: warning 2.
void geocel(const float* lon, const float* lat, const float* z, int nx, int ny);
// geocel with the centres already in map coordinates (x, y of nx * ny).
void mapcel(const float* x, const float* y, const float* z, int nx, int ny);
// Isolines of a grid given by its centres' longitudes and latitudes (nx * ny
// each), traced in the grid's index space (as isolin) and drawn through the
// projection, with the labels of isolab. Levels 2-3; bad sizes: warning 2.
void geoiso(const float* lon, const float* lat, int nx, int ny, const float* z, const float* levels,
            int n);
// geoiso with the centres already in map coordinates.
void mapiso(const float* x, const float* y, int nx, int ny, const float* z, const float* levels,
            int n);
// Arrow from the point (lon, lat) along the wind (u east, v north): its
// length is `length` plot units per unit of speed, its direction follows
// the map's east and north at that point; code as rlvec. Levels 2-3.
void geovec(float lon, float lat, float u, float v, float length, int code);

// ------------------------------------------------------------ titles

// Stores title line |n| (1..4, at most 132 characters), underlined when
// n < 0. Levels 1-3; otherwise warning 2 with |n|, nothing stored.
void titlin(const char* text, int n);
// Draws the stored lines centred above the axis system in the current text
// height and colour, line 4 lowest, each earlier line 1.5 heights higher;
// empty lines take no room. Levels 2-3.
void title();

// ------------------------------------------------------------ line styles

// Line styles apply to strtpt/connpt, curves and axes, never to text. The
// pattern runs on across the vertices of a polyline. A wrong level is
// reported (warning 3) but the style is set all the same.

// Line type 0..7 (solid, dot, dash, chndsh, chndot, dashm, dotl, dashl).
// Levels 1-3; another type: warning 2 with it, the style stays.
void lintyp(int type);
// User pattern of n lengths in plot units (1..10 lengths, each >= 1), drawn
// and skipped alternately, starting drawn. Otherwise warning 2 with the bad
// count or the first bad length, and the style stays.
void myline(const int* pattern, int n);
void solid();
void dot();
void dash();
void chndsh();
void chndot();
void dashm();
void dotl();
void dashl();

// ------------------------------------------------------------ text

// Text is drawn in the current colour, as strokes of a built-in font on
// raster, CGM and GKSL pages (clipped like lines, never dashed), and as
// characters of a standard PostScript font on PostScript and PDF pages after
// hwfont or psfont. Character codes are bytes: 32..126 ASCII, 127..186 the
// accented letters Ä Ö Ü ä ö ü ß (127..133) and the rest of the Latin-1
// letters in the order of the PostScript "GermanVec" vector; uncovered
// codes draw as blanks.

// Text height in plot units (1..10000; default 36); the height of a capital
// letter. Levels 1-3; otherwise warning 2 with h, the height stays.
void height(int h);
// Width in plot units of text in the current font and height, as title and
// messag would draw it (leading and trailing blanks left out); 0 for none.
// Levels 1-3; otherwise warning 3 and 0.
int txtlen(const char* text);
// Text angle in degrees, counter-clockwise. Levels 1-3.
void angle(int degrees);
// Stroke fonts: disalf a plain fixed-width face (the default after disini),
// complx a serif face. Both switch a hardware font off. Levels 1-3.
void disalf();
void complx();
// Draws text with the upper left corner of its first character at (x, y)
// plot units; 999, 999 continues where the last text ended. At most 256
// characters; trailing blanks are dropped. A start or end point outside the
// page prints " <<<< Warning: Startpoint (x/y) in MESSAG out of page - (text)."
// (or Endpoint) and counts a warning; the text is drawn all the same.
// Levels 1-3.
void messag(const char* text, int x, int y);
// Chooses the font of the device: Times-Roman on PostScript and PDF, complx
// on every other device. Levels 1-3.
void hwfont();
// PostScript font by one of the 35 standard names, without regard to case
// ("Times-Roman", "Helvetica-Bold", "Courier", "Symbol", ...). Levels 1-3;
// only on PostScript and PDF pages, elsewhere warning 49. An unknown name
// prints " <<<< Warning: <name> is not a standard font!" and uses Times-Roman.
void psfont(const char* font);
// Window-system font: on the screen devices and WMF it is put in force
// (hardware font 2), but with no window system here the stroke font complx
// draws its characters; on any other device warning 101 "Window fonts
// cannot be used". Levels 1-3.
void winfnt(const char* font);
// Always warning 101 "X11 fonts cannot be used". Levels 1-3.
void X11FNT(const char* font, const char* option);

// ------------------------------------------------------------ calendar

// Dates are checked: day 1..31, month 1..12, year from 1000, February 29
// only in leap years; a bad value gives warning 2 with it. No routine here
// sets a base date, so incdat and trfdat print warning 101 "no base date is
// defined with basdat".

// Days from the base date to a date (negative before it); 0 on failure.
// Levels 0-3.
int incdat(int day, int month, int year);
// Date of a day count from the base date; outputs unset on failure. Levels 0-3.
void trfdat(int n, int* day, int* month, int* year);
// Weekday (1 Monday .. 7 Sunday) of a date; 0 for a bad date. Levels 0-3.
int nwkday(int day, int month, int year);

} // namespace razidu
