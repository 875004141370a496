// Isolines: traced lines of fields whose isolines are known exactly, and the
// drawn lines and labels on the devices.
#include "plot/axes/contour.h"
#include "plot_test_util.h"

#include <cmath>
#include <functional>
#include <set>
#include <utility>

namespace {

using plot_test::PlotTest;
namespace fs = std::filesystem;

struct Traced {
    std::vector<std::vector<std::pair<float, float>>> lines;
    std::vector<bool> closed;
};

void keep_line(const float* x, const float* y, int n, bool closed, void* data) {
    Traced& t = *static_cast<Traced*>(data);
    t.lines.emplace_back();
    for (int k = 0; k < n; ++k)
        t.lines.back().emplace_back(x[k], y[k]);
    t.closed.push_back(closed);
}

struct Field {
    std::vector<float> x, y, z;
};

Field sample(int n, float lo, float hi, const std::function<float(float, float)>& f) {
    Field g;
    for (int i = 0; i < n; ++i)
        g.x.push_back(lo + (hi - lo) * float(i) / float(n - 1));
    g.y = g.x;
    for (float y : g.y)
        for (float x : g.x)
            g.z.push_back(f(x, y));
    return g;
}

Traced trace(const Field& f, float level) {
    const razidu::IsoGrid g{f.x.data(), f.y.data(), f.z.data(), int(f.x.size()), int(f.y.size())};
    razidu::IsoWork w;
    razidu::prepare_isolines(g, w);
    Traced t;
    razidu::trace_isolines(g, level, w, keep_line, &t);
    return t;
}

TEST(Isolines, AnalyticFieldsGiveTheirKnownLines) {
    const auto paraboloid = [](float x, float y) { return x * x + y * y; };
    const auto saddle = [](float x, float y) { return x * x - y * y; };
    const auto low = [](float x, float y) { return -std::exp(-(x * x + y * y)); };
    struct Case {
        const char* name;
        std::function<float(float, float)> f;
        float level;
        int lines;
        bool closed;
    } cases[] = {
        {"paraboloid", paraboloid, 1.0f, 1, true}, {"paraboloid", paraboloid, 2.5f, 1, true},
        {"saddle above", saddle, 1.0f, 2, false},  {"saddle below", saddle, -0.5f, 2, false},
        {"closed low", low, -0.5f, 1, true},       {"beyond the field", paraboloid, 9.0f, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // 42 points: no grid point lies on an axis, so no value equals a level.
        const Field f = sample(42, -2.05f, 2.05f, c.f);
        const Traced t = trace(f, c.level);
        ASSERT_EQ(int(t.lines.size()), c.lines);
        std::set<std::pair<float, float>> seen;
        for (size_t l = 0; l < t.lines.size(); ++l) {
            const auto& line = t.lines[l];
            EXPECT_EQ(t.closed[l], c.closed);
            EXPECT_EQ(line.front() == line.back(), c.closed);
            for (size_t k = 0; k < line.size(); ++k) {
                const auto [x, y] = line[k];
                // Linear interpolation across cells of 0.1: close to the level.
                EXPECT_NEAR(c.f(x, y), c.level, 0.02f) << x << " " << y;
                // Every crossing once: no point repeats (but a ring's closure).
                if (k + 1 < line.size() || !c.closed) {
                    EXPECT_TRUE(seen.insert(line[k]).second);
                }
            }
            // Open lines end on the border of the grid.
            if (!c.closed) {
                for (const auto& end : {line.front(), line.back()})
                    EXPECT_NEAR(std::max(std::fabs(end.first), std::fabs(end.second)), 2.05f,
                                1e-5f);
            }
        }
    }
}

TEST(Isolines, SaddleCellsAndGapsAreResolvedConsistently) {
    // One cell, high corners at (0,0) and (1,1): the mean decides the pairing.
    for (float level : {0.4f, 0.6f}) {
        const Traced t = trace(Field{{0, 1}, {0, 1}, {1, 0, 0, 1}}, level);
        ASSERT_EQ(t.lines.size(), 2u);
        for (const auto& line : t.lines) {
            ASSERT_EQ(line.size(), 2u);
            // Mean 0.5 >= 0.4: the high corners stay joined, so each line
            // cuts off a low corner (1,0) or (0,1); below the mean, a high one.
            const float cx = 0.5f * (line[0].first + line[1].first);
            const float cy = 0.5f * (line[0].second + line[1].second);
            const bool cuts_low = (cx > 0.5f) != (cy > 0.5f);
            EXPECT_EQ(cuts_low, level < 0.5f) << cx << " " << cy;
        }
    }
    // A value that is not a number opens the ring around it, leaving no piece
    // twice: one open line.
    Field f = sample(42, -2.05f, 2.05f, [](float x, float y) { return x * x + y * y; });
    f.z[21 * 42 + 41 - 1] = NAN; // next to the ring of level 3.6 on the right
    const Traced t = trace(f, 3.6f);
    ASSERT_EQ(t.lines.size(), 1u);
    EXPECT_FALSE(t.closed[0]);
}

class IsolineDrawing : public PlotTest {};

// A paraboloid over the unit square of an axis system, contoured at 0.25 and
// 0.5 with labels.
void draw_rings(int spacing) {
    Field f = sample(60, -1.0f, 1.0f, [](float x, float y) { return x * x + y * y; });
    razidu::graf(-1, 1, -1, 0.5f, -1, 1, -1, 0.5f);
    razidu::color("RED");
    razidu::isolab(spacing, 2);
    const float levels[2] = {0.25f, 0.5f};
    razidu::isolin(f.x.data(), 60, f.y.data(), 60, f.z.data(), levels, 2);
}

TEST_F(IsolineDrawing, RingsAreDrawnWhereTheyLieAndBrokenUnderTheirLabels) {
    for (int spacing : {0, 400}) {
        SCOPED_TRACE(spacing);
        razidu::reset_library();
        plot_test::open_page("VIRT", "", 600, 600, 2000, 2000);
        razidu::axspos(400, 1600);
        const std::string out = plot_test::captured([&] { draw_rings(spacing); });
        EXPECT_EQ(out, "");
        const int red = razidu::g_plot.colour.current;
        // Sample the ring of radius 0.5 every degree: a red pixel within one
        // pixel of it, except where a label breaks it.
        int hit = 0;
        for (int d = 0; d < 360; ++d) {
            const float a = float(d) * 3.14159265f / 180;
            const float px =
                razidu::user_to_plot_x(0.5f * std::cos(a)) * razidu::g_plot.device_scale;
            const float py =
                razidu::user_to_plot_y(0.5f * std::sin(a)) * razidu::g_plot.device_scale;
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy)
                for (int dx = -1; dx <= 1 && !found; ++dx)
                    found = plot_test::pixel_at(int(px) + dx, int(py) + dy) == red;
            hit += found;
        }
        if (spacing == 0)
            EXPECT_EQ(hit, 360);
        else
            EXPECT_TRUE(hit > 250 && hit < 355) << hit; // gaps under the labels
        razidu::disfin();
    }
}

TEST_F(IsolineDrawing, EveryDeviceWritesItsFileWithoutWarnings) {
    for (const char* device : {"PNG", "BMP", "TIFF", "PS", "EPS", "PDF", "CGM", "GKSL"}) {
        SCOPED_TRACE(device);
        razidu::reset_library();
        fs::current_path(dir_); // short names: the library keeps 80 characters
        const std::string file = std::string("rings.") + device;
        const std::string out = plot_test::captured([&] {
            plot_test::open_page(device, file, 300, 300, 2000, 2000);
            razidu::axspos(400, 1600);
            draw_rings(300);
            razidu::disfin();
        });
        EXPECT_NE(out.find("Warnings: 0 "), std::string::npos) << out;
        EXPECT_GT(fs::file_size(file), 100u);
    }
}

TEST_F(IsolineDrawing, BadArgumentsAreWarnedAbout) {
    plot_test::open_page("VIRT", "");
    const float v[2] = {0, 1}, z[4] = {0, 1, 1, 0}, level = 0.5f;
    EXPECT_NE(
        plot_test::captured([&] { razidu::isolin(v, 2, v, 2, z, &level, 1); }).find("Warning   3"),
        std::string::npos); // level 1: no axis system yet
    razidu::graf(0, 1, 0, 1, 0, 1, 0, 1);
    for (auto call : std::vector<std::function<void()>>{
             [&] { razidu::isolin(v, 1, v, 2, z, &level, 1); },
             [&] { razidu::isolin(v, 2, v, 2, z, &level, 0); },
             [&] { razidu::isolin(v, 2, v, 2, nullptr, &level, 1); },
             [&] { razidu::isolab(-1, 0); }, [&] { razidu::isolab(100, 7); }})
        EXPECT_NE(plot_test::captured(call).find("Warning   2"), std::string::npos);
    razidu::disfin();
}

} // namespace
