// PostScript and EPS files: header, prolog and scale line, a line checker
// over the drawing commands, and pages rendered by Ghostscript.
#include "vector_test_util.h"

#include <cmath>
#include <map>
#include <set>
#include <sstream>

using namespace plot_test;
using namespace razidu;

namespace {

using PostScriptTest = PlotTest;

constexpr double K = 0.14226378; // points per internal unit

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

// Checks the drawing commands after the scale line: lines of at most 80
// characters, each operator with its number of integer operands, and the
// file ending in showpage. Returns the u/d points.
std::vector<std::pair<int, int>> check_commands(const std::vector<std::string>& lines,
                                                size_t first) {
    static const std::map<std::string, int> operands = {
        {"u", 2},        {"d", 2}, {"p", 0},    {"f", 3},    {"e", 7},
        {"showpage", 0}, {"c", 4}, {"font", 2}, {"text", 5}, {"ReEncodeSmall", 3}};
    std::vector<std::pair<int, int>> points;
    std::vector<int> stack;
    std::string last;
    for (size_t i = first; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 80u) << "line " << i;
        std::istringstream words(lines[i]);
        for (std::string w; words >> w; last = w) {
            if (w.find_first_not_of("-0123456789") == std::string::npos) {
                stack.push_back(std::stoi(w));
                continue;
            }
            if (w[0] == '(' || w == "GermanVec") { // font names, the encoding vector
                EXPECT_EQ(w[0] == '(', w.back() == ')') << w;
                stack.push_back(0);
                continue;
            }
            const auto op = operands.find(w);
            if (op == operands.end()) {
                ADD_FAILURE() << "unknown word " << w << " on line " << i;
                stack.clear();
                continue;
            }
            EXPECT_EQ(int(stack.size()), op->second) << w << " on line " << i;
            if (w == "u" || w == "d") points.emplace_back(stack[0], stack[1]);
            if (w == "f" || w == "e") {
                for (size_t k = stack.size() - 3; k < stack.size(); ++k)
                    EXPECT_TRUE(stack[k] >= 0 && stack[k] <= 255) << w;
            }
            stack.clear();
        }
    }
    EXPECT_EQ(last, "showpage");
    EXPECT_TRUE(lines.back().ends_with(" showpage ") || lines.back() == "showpage ")
        << lines.back();
    return points;
}

// Index of the scale line, which ends the prolog.
size_t scale_line(const std::vector<std::string>& lines) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].size() > 6 && lines[i].substr(lines[i].size() - 6) == " scale") return i;
    return lines.size();
}

// Renders a PostScript file with Ghostscript on a fixed letter-size medium.
RunResult ghostscript(const std::string& in, const std::string& device, const std::string& out,
                      int dpi, const std::string& extra = "") {
    return run("gs -q -dSAFER -dBATCH -dNOPAUSE -dDEVICEWIDTHPOINTS=612 "
               "-dDEVICEHEIGHTPOINTS=792 -dFIXEDMEDIA " +
               extra + " -r" + std::to_string(dpi) + " -sDEVICE=" + device +
               " -sOutputFile=" + out + " " + in);
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
    const std::vector<std::string> lines = lines_of(read_text(f));
    ASSERT_GT(lines.size(), 10u);
    EXPECT_EQ(lines[0], "%!PS-Adobe-2.0");
    EXPECT_EQ(lines[2], "%%Creator: RAZIDU  7.6 P");
    const size_t scale = scale_line(lines);
    ASSERT_LT(scale + 1, lines.size());
    EXPECT_EQ(lines[scale + 1], "0 5198 3712 0 0 0 0 e ");
    // Not turned: device y is the page height minus the plot y.
    const auto points = check_commands(lines, scale + 2);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0], std::make_pair(19, int((2799 - 10) * 1.8571428f + 0.5f)));
    const std::vector<std::string> eps = lines_of(read_text(e));
    ASSERT_GT(eps.size(), 10u);
    EXPECT_EQ(eps[0], "%!PS-Adobe-3.0 EPSF-3.0");
    EXPECT_EQ(eps[scale_line(eps) + 1], "0 5198 3712 0 0 0 0 e ");
    const RunResult r = ghostscript(e, "png16m", path("eps.png"), 36, "-dEPSCrop");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "");
}

// The application's page: header, prolog, scale line and commands, then
// Ghostscript draws the cells where the page mapping puts them, in the
// colours of the colour table, and shows hardware-font characters through
// the prolog's font, ReEncodeSmall and c procedures.
TEST_F(PostScriptTest, ApplicationPageCheckedAndRendered) {
    FixedDate date("1704164645"); // 2024-01-02 03:04:05 UTC
    const std::string f = path("map.ps");
    TestPage page;
    captured([&] {
        open_page("ps", f, 0, 0, 2925, 2820, "revers");
        page.draw();
        color("FORE"); // black on the reversed page
        // What the hardware-font text output writes for a few characters.
        const char* font = "(Times-Roman) (Times-Roman-German) GermanVec ReEncodeSmall "
                           "(Times-Roman-German)   120 font ";
        put_ps_words(font, int(strlen(font)));
        char text[64];
        for (int k = 0; k < 6; ++k) {
            const int code = k % 2 ? 127 + k : 'A' + k; // accented letters too
            const int len = snprintf(text, sizeof text, "%5d %5d %5d %5d c ", code,
                                     int(100 * 1.8571428f), int((200 + 60 * k) * 1.8571428f), 90);
            put_ps_words(text, len);
        }
        disfin();
    });
    const std::vector<std::string> lines = lines_of(read_text(f));
    ASSERT_GT(lines.size(), 100u);
    EXPECT_EQ(lines[0], "%!PS-Adobe-2.0");
    EXPECT_EQ(lines[1], "%%BoundingBox: 21 28 577 604");
    EXPECT_EQ(lines[2], "%%Creator: RAZIDU  7.6 L");
    EXPECT_EQ(lines[3], "%%CreationDate: 02.01.2024 , 03:04:05");
    EXPECT_EQ(lines[4], "%%Page: 1 1");
    EXPECT_EQ(lines[5], "%%EndComments");
    const size_t scale = scale_line(lines);
    ASSERT_LT(scale, lines.size());
    EXPECT_EQ(lines[scale],
              "  150 cm   200 cm translate 5 cm setlinewidth   0.744945  0.744945 scale");
    // The prolog defines every procedure that the drawing and text commands
    // use, and the re-encoding vector ends at code 8#272.
    std::set<std::string> defined;
    for (size_t i = 6; i < scale; ++i) {
        std::istringstream words(lines[i]);
        for (std::string w; words >> w;)
            if (w.size() > 1 && w[0] == '/') defined.insert(w.substr(1));
    }
    for (const char* proc : {"cm", "u", "d", "p", "e", "f", "text", "font", "c", "sec", "tri",
                             "ReEncodeSmall", "GermanVec"})
        EXPECT_TRUE(defined.count(proc)) << proc;
    EXPECT_EQ(lines[scale - 1], " 8#271 /exclamdown 8#272 /questiondown ] def");
    // "PS" with the reversed background paints no black page.
    EXPECT_EQ(lines[scale + 1].find("0 0 0 0 e"), std::string::npos);
    // Every point lies inside the bounding box once scaled.
    const auto points = check_commands(lines, scale + 1);
    ASSERT_GT(points.size(), 100u);
    for (auto [x, y] : points) {
        const double px = (150 + x * 0.744945) * K, py = (200 + y * 0.744945) * K;
        EXPECT_TRUE(px >= 21 && px <= 577 && py >= 28 && py <= 604) << x << " " << y;
    }
    const RunResult png = ghostscript(f, "png16m", path("map.png"), 72);
    EXPECT_EQ(png.status, 0) << png.output;
    EXPECT_EQ(png.output, "");
    const int dpi = 144;
    const RunResult r = ghostscript(f, "ppmraw", path("map.ppm"), dpi);
    ASSERT_EQ(r.status, 0) << r.output;
    Ppm image;
    ASSERT_TRUE(image.load(path("map.ppm")));
    ASSERT_EQ(image.h, 792 * dpi / 72);
    const double pf = 0.744945, s = 1.8571428;
    auto pixel = [&](float x, float y) {
        const double pt_x = (150 + y * s * pf) * K, pt_y = (200 + x * s * pf) * K;
        return image.at(int(pt_x * dpi / 72), int(image.h - pt_y * dpi / 72));
    };
    for (int i = 0; i < page.nx; i += 3)
        for (int j = 1; j < page.ny; j += 4)
            if (i != j) { // off the diagonal line
                EXPECT_EQ(pixel(page.cx(i), page.cy(j)), g_plot.colour.table[page.colour_of(i, j)])
                    << i << " " << j;
            }
    EXPECT_EQ(pixel(100, 2700), 0xFFFFFFu); // the white page outside the cells
    // Ink in the strip where the characters stand (device x is plot y on
    // the turned page: plot y 100, plot x 200 to 500).
    int ink = 0;
    for (float x = 180; x < 600; x += 2)
        for (float y = 60; y < 140; y += 2)
            ink += pixel(x, y) != 0xFFFFFF;
    EXPECT_GT(ink, 100);
}
