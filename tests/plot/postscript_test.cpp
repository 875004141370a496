// PostScript and EPS files: header, prolog and scale line, a line checker
// over the drawing commands, and a page rendered by Ghostscript.
#include "vector_test_util.h"

#include <map>

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
