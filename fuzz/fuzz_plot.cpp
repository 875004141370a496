// Fuzz target: the plotting library driven through its public routines.
// The bytes are read as a program: an opcode byte picks a routine, the
// following bytes its arguments (boundary and random integers, NaN and
// infinite coordinates, keywords, empty and overlong texts, array sizes that
// are zero, negative or large), so calls arrive at every level in any order.
//
// The library ends the process on purpose in a few cases (raster or PDF
// memory, the file mode BREA on an existing file, more than 9999 versions);
// such an exit during disini or disfin, or while a PDF page is open, ends
// this process with status 0 and a note; any other exit is a finding.
#include "fuzz_util.h"
#include "plot/core/state.h"
#include "plot/razidu.h"

#include <vector>

namespace {

using fuzzutil::Reader;

fuzzutil::fs::path work_dir;
bool exit_expected = false;
const char* exit_where = "";

const char* const kDevices[] = {"VIRT", "BMP",  "PNG", "TIFF", "PPM",  "IMAG", "PS",   "EPS",
                                "PSCL", "POST", "PDF", "CGM",  "GKSL", "XWIN", "CONS", "MET5",
                                "HPGL", "KYOC", "WMF", "JAVA", "TEKT", "tif",  "virt", "bmp"};
const char* const kFileModes[] = {"COUN", "DELE", "count", "delete", "BREA", "xxxx"};
const char* const kScreenModes[] = {"ERAS", "NOER", "REVE", "NORE", "AUTO", "revers", "bad"};
const char* const kAxes[] = {"X", "Y", "Z", "XY", "XYZ", "xyz", "", "Q", "ZYX"};
const char* const kLabels[] = {"NONE", "FLOA", "EXP",  "FEXP", "LOG",  "CLOG", "ELOG",
                               "MAP",  "DMAP", "LMAP", "TIME", "HOUR", "SECO", "MYLA",
                               "DATE", "BAR",  "PIE",  "CON",  "DAT",  "PER",  "XYZ"};
const char* const kTables[] = {"SMAL", "RAIN", "spectrum", "GREY", "RRAI",
                               "RSPE", "RGRE", "VGA",      "TEMP", "NONE"};
const char* const kColours[] = {"WHIT", "RED",  "GREE", "YELL", "BLUE", "ORAN",
                                "CYAN", "MAGE", "BLAC", "FORE", "BACK", "PINK"};
const char* const kFonts[] = {"Times-Roman", "Helvetica-Bold", "Courier", "Symbol",
                              "times-roman", "NoSuchFont",     ""};
const char* const kTexts[] = {
    "", " ", "Temperature (C)", "850 hPa", "\x7f\x80\x81 ABC", "   trailing   ", "^2 _x {} $ % \\"};

template <std::size_t N> std::string word(Reader& r, const char* const (&words)[N]) {
    return r.text(words, N);
}

// A file name inside the working folder: no separators, at most 300 bytes.
std::string file_name(Reader& r) {
    std::string s = r.text(nullptr, 0);
    if (s == fuzzutil::kNullText) return s;
    for (char& c : s)
        if (c == '/' || static_cast<unsigned char>(c) < 32) c = '_';
    if (s == "." || s == "..") s = "x";
    return s;
}

// Points for the curve routines: n as read, with arrays holding n values
// when n is positive (at most 5000).
struct Points {
    std::vector<float> x, y, z;
    int n;
};
Points points(Reader& r) {
    Points p;
    int k = r.byte();
    p.n = k < 200 ? k % 40 : k < 240 ? r.integer() % 5001 : static_cast<int>(r.u32() % 5001);
    std::size_t size = p.n > 0 ? static_cast<std::size_t>(p.n) : 1;
    p.x.resize(size), p.y.resize(size), p.z.resize(size);
    for (std::size_t i = 0; i < size && !r.done(); ++i) {
        p.x[i] = r.real();
        p.y[i] = r.real();
        p.z[i] = r.real();
    }
    return p;
}

// Calls that may end the process on purpose run with exit_expected set.
struct MayExit {
    MayExit(const char* where) {
        exit_expected = true;
        exit_where = where;
    }
    ~MayExit() { exit_expected = false; }
};

void on_exit() {
    if (!exit_expected) return; // the fuzzer reports it
    std::fprintf(stderr, "fuzz_plot: the library ended the process in %s (expected)\n", exit_where);
    std::_Exit(0);
}

// A dashed line across a page near the int limit carries some 10^8 dashes:
// work in proportion to them, not a hang, but far past the fuzzer's time
// limit. On such pages lines are drawn solid (a pattern of one length).
void keep_dashes_bounded(const razidu::PlotState& ps) {
    const razidu::LineState& l = ps.line;
    if (l.dash_count <= 1) return;
    double period = 0;
    for (int i = 0; i < l.dash_count; ++i)
        period += l.dash_pattern[i];
    const double extent = double(ps.page_xmax) + double(ps.page_ymax);
    if (extent / period < 1.0e6) return;
    static const int solid_pattern[1] = {1};
    razidu::myline(solid_pattern, 1);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    work_dir = fuzzutil::make_work_dir("plot");
    if (!std::freopen("/dev/null", "w", stdout)) std::abort(); // warnings and reports
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzutil::InDir here(work_dir);
    static bool hooked = false;
    if (!hooked) { // after the fuzzer's own handler, so that it runs first
        std::atexit(on_exit);
        hooked = true;
    }
    // Each input starts from a fresh library, as a new process would.
    razidu::reset_library();
    Reader r{data, size};
    int steps = 0;
    while (!r.done() && ++steps < 400) {
        std::uint8_t op = r.byte();
        // A PDF page's tables may run out of memory at any drawing call.
        const razidu::PlotState& ps = razidu::g_plot;
        MayExit guard("a PDF page");
        exit_expected = ps.level > 0 && ps.device == 511;
        switch (op % 60) {
        case 0: {
            std::string d = word(r, kDevices);
            razidu::metafl(fuzzutil::arg(d));
            break;
        }
        case 1:
            razidu::setfil(fuzzutil::arg(file_name(r)));
            break;
        case 2:
            razidu::filmod(fuzzutil::arg(word(r, kFileModes)));
            break;
        case 3:
            razidu::scrmod(fuzzutil::arg(word(r, kScreenModes)));
            break;
        case 4: {
            // Raster pages up to 4096 x 4096 mostly; any size sometimes.
            int w = r.integer(), h = r.integer();
            if (r.byte() < 250) w %= 4097, h %= 4097;
            razidu::winsiz(w, h);
            break;
        }
        case 5: {
            int w = r.integer(), h = r.integer();
            razidu::page(w, h);
            break;
        }
        case 6:
        case 7: {
            MayExit g("disini");
            razidu::disini();
            break;
        }
        case 8:
        case 9: {
            MayExit g("disfin");
            razidu::disfin();
            break;
        }
        case 10:
            razidu::erase();
            break;
        case 11:
            razidu::nochek();
            break;
        case 12:
            razidu::sendbf();
            break;
        case 13: {
            int x = r.integer(), y = r.integer();
            razidu::axspos(x, y);
            break;
        }
        case 14: {
            int nx = r.integer(), ny = r.integer();
            razidu::autres(nx, ny);
            break;
        }
        case 15:
        case 16: {
            float v[8];
            for (float& f : v)
                f = r.real();
            razidu::graf(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
            break;
        }
        case 17:
        case 18: {
            float v[12];
            for (float& f : v)
                f = r.real();
            razidu::graf3(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11]);
            break;
        }
        case 19:
            razidu::close_axis_system();
            break;
        case 20: {
            std::string t = word(r, kTexts), a = word(r, kAxes);
            razidu::name(fuzzutil::arg(t), fuzzutil::arg(a));
            break;
        }
        case 21: {
            std::string k = word(r, kLabels), a = word(r, kAxes);
            razidu::labels(fuzzutil::arg(k), fuzzutil::arg(a));
            break;
        }
        case 22: {
            int n = r.integer();
            std::string a = word(r, kLabels);
            razidu::digits(n, fuzzutil::arg(a));
            break;
        }
        case 23:
            razidu::widbar(r.integer());
            break;
        case 24:
            razidu::setvlt(fuzzutil::arg(word(r, kTables)));
            break;
        case 25:
            razidu::color(fuzzutil::arg(word(r, kColours)));
            break;
        case 26:
            razidu::setclr(r.integer());
            break;
        case 27:
        case 28: {
            Points p = points(r);
            razidu::curve3(p.x.data(), p.y.data(), p.z.data(), p.n);
            break;
        }
        case 29:
        case 30: {
            Points p = points(r);
            razidu::curve(p.x.data(), p.y.data(), p.n);
            break;
        }
        case 31: {
            float x = r.real(), y = r.real();
            razidu::strtpt(x, y);
            break;
        }
        case 32:
        case 33: {
            float x = r.real(), y = r.real();
            razidu::connpt(x, y);
            break;
        }
        case 34: {
            float v[4];
            for (float& f : v)
                f = r.real();
            razidu::rlvec(v[0], v[1], v[2], v[3], r.integer());
            break;
        }
        case 35: {
            int v[5];
            for (int& k : v)
                k = r.integer();
            razidu::vector(v[0], v[1], v[2], v[3], v[4]);
            break;
        }
        case 36: {
            std::string t = word(r, kTexts);
            razidu::titlin(fuzzutil::arg(t), r.integer());
            break;
        }
        case 37:
            razidu::title();
            break;
        case 38:
            razidu::lintyp(r.integer());
            break;
        case 39: {
            int n = r.integer();
            int pattern[16];
            for (int& k : pattern)
                k = r.integer();
            razidu::myline(pattern, n < 0 || n > 16 ? n % 17 : n);
            break;
        }
        case 40: {
            static void (*const styles[])() = {razidu::solid,  razidu::dot,    razidu::dash,
                                               razidu::chndsh, razidu::chndot, razidu::dashm,
                                               razidu::dotl,   razidu::dashl};
            styles[r.byte() % 8]();
            break;
        }
        case 41:
            razidu::height(r.integer());
            break;
        case 42:
            razidu::angle(r.integer());
            break;
        case 43:
            razidu::disalf();
            break;
        case 44:
            razidu::complx();
            break;
        case 45:
        case 46:
        case 47: {
            std::string t = word(r, kTexts);
            int x = r.integer(), y = r.integer();
            razidu::messag(fuzzutil::arg(t), x, y);
            break;
        }
        case 48:
            razidu::hwfont();
            break;
        case 49:
            razidu::psfont(fuzzutil::arg(word(r, kFonts)));
            break;
        case 50:
            razidu::winfnt(fuzzutil::arg(word(r, kFonts)));
            break;
        case 51: {
            std::string f = word(r, kFonts), o = word(r, kTexts);
            razidu::X11FNT(fuzzutil::arg(f), fuzzutil::arg(o));
            break;
        }
        case 52: {
            int d = r.integer(), m = r.integer(), y = r.integer();
            razidu::incdat(d, m, y);
            razidu::nwkday(d, m, y);
            break;
        }
        case 53: {
            int d = -1, m = -1, y = -1;
            razidu::trfdat(r.integer(), &d, &m, &y);
            break;
        }
        default: { // the weather map's own sequence, to reach deep states quickly
            razidu::metafl(r.byte() & 1 ? "VIRT" : "BMP");
            razidu::winsiz(65 + r.byte(), 60 + r.byte());
            razidu::filmod("delete");
            razidu::setfil("map.bmp");
            razidu::scrmod("revers");
            razidu::page(2925, 2820);
            MayExit g("disini");
            razidu::disini();
            break;
        }
        }
        keep_dashes_bounded(ps);
    }
    {
        MayExit g("disfin");
        razidu::disfin(); // closes a plot left open (or warns at level 0)
    }
    // The files of this input go; the next input starts in an empty folder.
    for (const auto& e : fuzzutil::fs::directory_iterator(work_dir)) {
        std::error_code ec;
        fuzzutil::fs::remove_all(e.path(), ec);
    }
    return 0;
}
