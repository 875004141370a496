// PostScript and EPS files: header, prolog and scale line, a line checker
// over the drawing commands, and a page rendered by Ghostscript. Binary CGM
// files read back by an element walker: every element's class, id and
// length, the header in its order, 80-byte blocks padded with blanks,
// polylines inside the VDC extent.
#include "plot_test_util.h"

#include <map>
#include <set>

using namespace plot_test;
using namespace razidu;

namespace {

using PostScriptTest = PlotTest;

constexpr double K = 0.14226378; // points per internal unit

// A PostScript file: its lines and the index of the scale line, which
// ends the prolog.
struct PsFile {
    std::vector<std::string> lines;
    size_t scale = 0;
    explicit PsFile(const std::string& file) {
        std::istringstream in(read_text(file));
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        while (scale < lines.size() && !lines[scale].ends_with(" scale"))
            ++scale;
        EXPECT_LT(scale + 1, lines.size());
    }
    std::string head(size_t n) const {
        std::string h;
        for (size_t i = 0; i < n && i < lines.size(); ++i)
            h += lines[i] + "\n";
        return h;
    }
};

// Checks the drawing commands after the scale line: lines of at most 80
// characters, each operator with its number of integer operands, and the
// file ending in showpage. Returns the u/d points.
std::vector<std::pair<int, int>> check_commands(const PsFile& ps) {
    static const std::map<std::string, int> operands = {
        {"u", 2},        {"d", 2}, {"p", 0},    {"f", 3},    {"e", 7},
        {"showpage", 0}, {"c", 4}, {"font", 2}, {"text", 5}, {"ReEncodeSmall", 3}};
    std::vector<std::pair<int, int>> points;
    std::vector<int> stack;
    std::string last;
    for (size_t i = ps.scale + 1; i < ps.lines.size(); ++i) {
        EXPECT_LE(ps.lines[i].size(), 80u) << "line " << i;
        std::istringstream words(ps.lines[i]);
        for (std::string w; words >> w; last = w) {
            if (w.find_first_not_of("-0123456789") == std::string::npos) {
                stack.push_back(std::stoi(w));
            } else if (w[0] == '(' || w == "GermanVec") { // font names, the encoding vector
                EXPECT_EQ(w[0] == '(', w.back() == ')') << w;
                stack.push_back(0);
            } else {
                const auto op = operands.find(w);
                EXPECT_NE(op, operands.end()) << w << " on line " << i;
                EXPECT_TRUE(op == operands.end() || int(stack.size()) == op->second) << w << i;
                if (w == "u" || w == "d") points.emplace_back(stack.at(0), stack.at(1));
                for (size_t k = stack.size() - 3; (w == "f" || w == "e") && k < stack.size(); ++k)
                    EXPECT_TRUE(stack[k] >= 0 && stack[k] <= 255) << w; // colour components
                stack.clear();
            }
        }
    }
    EXPECT_EQ(last, "showpage");
    EXPECT_TRUE(ps.lines.back().ends_with("showpage ")) << ps.lines.back();
    return points;
}

} // namespace

TEST_F(PostScriptTest, PortraitColourPageAndEps) {
    const std::string f = path("portrait.ps"), e = path("page.eps");
    captured([&] {
        open_page("pscl", f, 0, 0, 2000, 2800); // AUTO: black background on PSCL
        setclr(40);
        strtpt(10, 10);
        connpt(500, 700);
        disfin();
        open_page("eps", e, 0, 0, 2000, 2800, "norevers");
        disfin();
    });
    const PsFile ps(f), eps(e);
    EXPECT_EQ(ps.lines.at(2), "%%Creator: RAZIDU  7.6 P");
    EXPECT_EQ(ps.lines.at(ps.scale + 1), "0 5198 3712 0 0 0 0 e "); // the black page
    // Not turned: device y is the page height minus the plot y.
    const auto points = check_commands(ps);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0], std::make_pair(19, int((2799 - 10) * 1.8571428f + 0.5f)));
    EXPECT_EQ(eps.lines.at(0), "%!PS-Adobe-3.0 EPSF-3.0");
    EXPECT_EQ(eps.lines.at(eps.scale + 1), "0 5198 3712 0 0 0 0 e ");
}

// The application's page: header, prolog, scale line and commands, then
// Ghostscript draws the cells where the page mapping puts them, in the
// colours of the colour table, and shows hardware-font characters through
// the prolog's font, ReEncodeSmall and c procedures.
TEST_F(PostScriptTest, ApplicationPageCheckedAndRendered) {
    FixedDate date("1704164645"); // 2024-01-02 03:04:05 UTC
    const std::string f = path("map.ps");
    const TestPage page;
    captured([&] {
        open_page("ps", f, 0, 0, 2925, 2820, "revers");
        page.draw();
        color("FORE"); // black on the reversed page
        // What the hardware-font text output writes for a few characters.
        std::string text = "(Times-Roman) (Times-Roman-German) GermanVec ReEncodeSmall "
                           "(Times-Roman-German)   120 font ";
        for (int k = 0; k < 6; ++k) // accented letters too
            text += std::to_string(k % 2 ? 127 + k : 'A' + k) + " 185 " +
                    std::to_string(int((200 + 60 * k) * 1.8571428f)) + " 90 c ";
        put_ps_words(text.c_str(), int(text.size()));
        disfin();
    });
    const PsFile ps(f);
    EXPECT_EQ(ps.head(6), "%!PS-Adobe-2.0\n%%BoundingBox: 21 28 577 604\n"
                          "%%Creator: RAZIDU  7.6 L\n%%CreationDate: 02.01.2024 , 03:04:05\n"
                          "%%Page: 1 1\n%%EndComments\n");
    EXPECT_EQ(ps.lines.at(ps.scale),
              "  150 cm   200 cm translate 5 cm setlinewidth   0.744945  0.744945 scale");
    // The re-encoding vector ends at code 8#272 (Ghostscript below finds
    // every procedure the commands use).
    EXPECT_EQ(ps.lines[ps.scale - 1], " 8#271 /exclamdown 8#272 /questiondown ] def");
    // "PS" with the reversed background paints no black page.
    EXPECT_EQ(ps.lines.at(ps.scale + 1).find("0 0 0 0 e"), std::string::npos);
    // Every point lies inside the bounding box once scaled.
    const auto points = check_commands(ps);
    ASSERT_GT(points.size(), 100u);
    for (auto [x, y] : points) {
        const double px = (150 + x * 0.744945) * K, py = (200 + y * 0.744945) * K;
        EXPECT_TRUE(px >= 21 && px <= 577 && py >= 28 && py <= 604) << x << " " << y;
    }
    // Ghostscript on a fixed letter-size medium.
    const int dpi = 144;
    const RunResult r = run("gs -q -dSAFER -dBATCH -dNOPAUSE -dDEVICEWIDTHPOINTS=612 "
                            "-dDEVICEHEIGHTPOINTS=792 -dFIXEDMEDIA -r144 -sDEVICE=ppmraw "
                            "-sOutputFile=" +
                            path("map.ppm") + " " + f);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "");
    Ppm image;
    ASSERT_TRUE(image.load(path("map.ppm")));
    ASSERT_EQ(image.h, 792 * dpi / 72);
    const double pf = 0.744945, s = 1.8571428;
    auto pixel = [&](float x, float y) { // turned page: plot y across, plot x up
        const double pt_x = (150 + y * s * pf) * K, pt_y = (200 + x * s * pf) * K;
        return image.at(int(pt_x * dpi / 72), int(image.h - pt_y * dpi / 72));
    };
    page.expect_cells(pixel);
    EXPECT_EQ(pixel(100, 2700), 0xFFFFFFu); // the white page outside the cells
    // Ink in the strip where the characters stand (plot y 100, plot x 200 to 500).
    int ink = 0;
    for (float x = 180; x < 600; x += 2)
        for (float y = 60; y < 140; y += 2)
            ink += pixel(x, y) != 0xFFFFFF;
    EXPECT_GT(ink, 100);
}

namespace {

using CgmTest = PlotTest;

struct Element {
    int cls = 0, id = 0;
    std::vector<uint8_t> p; // parameters
    int s16(size_t i) const { return int16_t(p[i] << 8 | p[i + 1]); }
};

// Splits the file into elements up to END METAFILE; what follows must be
// the blank padding of the last 80-byte block.
std::vector<Element> walk(const std::vector<uint8_t>& b) {
    std::vector<Element> out;
    EXPECT_EQ(b.size() % 80, 0u);
    size_t at = 0;
    while (at + 2 <= b.size()) {
        Element e;
        const int word = b[at] << 8 | b[at + 1];
        at += 2;
        e.cls = word >> 12;
        e.id = word >> 5 & 0x7F;
        size_t len = size_t(word & 31);
        if (len == 31) {
            const int w = b[at] << 8 | b[at + 1];
            EXPECT_EQ(w & 0x8000, 0) << "one partition only";
            len = size_t(w & 0x7FFF);
            at += 2;
        }
        if (at + len > b.size()) {
            ADD_FAILURE() << "element " << e.cls << "/" << e.id << " runs past the end";
            return out;
        }
        e.p.assign(b.begin() + long(at), b.begin() + long(at + len));
        at += len + len % 2;
        out.push_back(e);
        if (e.cls == 0 && e.id == 2) break; // END METAFILE
    }
    EXPECT_LT(b.size() - at, 80u);
    for (size_t i = at; i < b.size(); ++i)
        EXPECT_EQ(b[i], ' ') << "padding at " << i;
    return out;
}

} // namespace

TEST_F(CgmTest, ApplicationPageElementByElement) {
    FixedDate date("1704164645"); // 2024-01-02 03:04:05 UTC
    const std::string f = path("map.cgm");
    const TestPage page;
    page.plot("cgm", f);
    const std::vector<Element> e = walk(read_bytes(f));
    ASSERT_GT(e.size(), 12u);
    // Class, id and parameters of element i; a string parameter is its
    // length byte and its characters.
    auto is = [&](size_t i, int cls, int id, std::vector<uint8_t> p) {
        EXPECT_TRUE(e[i].cls == cls && e[i].id == id) << i;
        EXPECT_EQ(e[i].p, p) << i;
    };
    auto str = [](const std::string& t) {
        std::vector<uint8_t> p{uint8_t(t.size())};
        return p.insert(p.end(), t.begin(), t.end()), p;
    };
    is(0, 0, 1, str(f)); // BEGIN METAFILE with the file name
    is(1, 1, 1, {0, 1}); // METAFILE VERSION 1
    is(2, 1, 2,
       str("\"ProfileId:CALS\",\"ProfileEd:1.0\",\"Source:RAZIDU  7.6\",\"Date:20240102\","
           "\"ColourClass:colour\""));
    is(3, 1, 11, {0, 1, 0xFF, 0xFF, 0, 1}); // METAFILE ELEMENT LIST: the drawing set
    is(4, 0, 3, str("Picture 1"));          // BEGIN PICTURE
    is(5, 2, 2, {0, 1});                    // COLOUR SELECTION MODE direct
    is(6, 2, 6, {0, 0, 0, 0, 5848 >> 8, 5848 & 255, 5638 >> 8, 5638 & 255}); // VDC EXTENT
    is(7, 2, 7, {0xFF, 0xFF, 0xFF, 0}); // BACKGROUND COLOUR white
    is(8, 0, 4, {});                    // BEGIN PICTURE BODY
    is(e.size() - 2, 0, 5, {});         // END PICTURE
    is(e.size() - 1, 0, 2, {});         // END METAFILE
    // The body: LINE COLOUR and POLYLINE only, no colour set twice in a row,
    // every point inside the extent.
    std::set<uint32_t> colours;
    uint32_t last_colour = 0xFFFFFFFF;
    int polylines = 0;
    for (size_t i = 9; i + 2 < e.size(); ++i) {
        if (e[i].cls == 5 && e[i].id == 4) {
            ASSERT_EQ(e[i].p.size(), 3u);
            const uint32_t c = uint32_t(e[i].p[0]) << 16 | e[i].p[1] << 8 | e[i].p[2];
            EXPECT_NE(c, last_colour);
            colours.insert(last_colour = c);
        } else {
            const size_t n = e[i].p.size() / 4;
            ASSERT_TRUE(e[i].cls == 4 && e[i].id == 1 && e[i].p.size() == 4 * n) << i;
            ASSERT_TRUE(n >= 2 && n <= 50) << n;
            for (size_t k = 0; k < n; ++k) {
                const int x = e[i].s16(4 * k), y = e[i].s16(4 * k + 2);
                EXPECT_TRUE(x >= 0 && x <= 5848 && y >= 0 && y <= 5638) << x << " " << y;
            }
            ++polylines;
        }
    }
    EXPECT_GT(polylines, 400); // cells filled by serpentine strokes
    for (int i = 0; i < page.nx; ++i)
        for (int j = 0; j < page.ny; ++j)
            EXPECT_TRUE(colours.count(g_plot.colour.table[page.colour_of(i, j)])) << i << " " << j;
}

TEST_F(CgmTest, NamePaddingAndLongPolylines) {
    for (const char* name : {"ab.cgm", "abc.cgm"}) {
        const std::string f = path(name);
        captured([&] {
            open_page("cgm", f);
            strtpt(0, 0);
            for (int k = 1; k <= 50; ++k) {
                connpt(float(10 * k), float(k));
                if (k == 25) device_colour(g_plot.colour.current); // the colour in use: nothing
            }
            disfin();
        });
        const std::vector<uint8_t> b = read_bytes(f);
        // One of the two names gives an odd parameter length and so a pad
        // byte, which the walker steps over.
        // The second polyline starts at the 50th point of the first.
        std::vector<Element> lines;
        int colours = 0;
        for (const Element& el : walk(b)) {
            if (el.cls == 4 && el.id == 1) lines.push_back(el);
            colours += el.cls == 5 && el.id == 4;
        }
        EXPECT_EQ(colours, 0);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].p.size(), 50u * 4);
        EXPECT_EQ(std::vector<uint8_t>(lines[1].p.begin(), lines[1].p.begin() + 4),
                  std::vector<uint8_t>(lines[0].p.end() - 4, lines[0].p.end()));
        EXPECT_EQ(std::vector<int>({lines[1].s16(4), lines[1].s16(6), int(lines[1].p.size())}),
                  std::vector<int>({1000, (2099 - 50) * 2, 8}));
    }
}
