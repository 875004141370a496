// Scan-line polygon fill: spans per pass and direction, cancelled
// crossings, and the crossing limit.
#include "plot_test_util.h"

using namespace plot_test;
using namespace razidu;

namespace {

struct Span {
    float x1, x2, y;
};
std::vector<Span> spans;
void record_span(const float xs[2], const float ys[2]) {
    spans.push_back({xs[0], xs[1], ys[0]});
}

std::vector<Span> fill(std::vector<float> x, std::vector<float> y, float d, int max_crossings) {
    spans.clear();
    std::vector<int16_t> vlinks(x.size() + 1);
    std::vector<float> crossings(static_cast<size_t>(max_crossings));
    std::vector<int16_t> clinks(size_t(max_crossings) + 1);
    fill_polygon(int(x.size()), x.data(), y.data(), d, vlinks.data(), max_crossings,
                 crossings.data(), clinks.data(), record_span);
    return spans;
}

} // namespace

using FillTest = PlotTest;

TEST_F(FillTest, TriangleInOnePassAlternatingDirection) {
    // Apex at the top (smallest y), base at y = 10: fill lines 0, 1, ... 10.
    auto s = fill({0, 10, 5}, {10, 10, 0}, 1.0f, 4);
    // The line through the apex has two equal crossings: they cancel. The
    // line through the base has none left (both edges end there).
    ASSERT_EQ(s.size(), 9u);
    for (size_t i = 0; i < s.size(); ++i) {
        const float y = float(i + 1);
        EXPECT_FLOAT_EQ(s[i].y, y);
        const float half = y / 2;
        // Line 0 (the apex) was left to right, so line 1 runs right to left.
        const bool rtl = i % 2 == 0;
        EXPECT_FLOAT_EQ(s[i].x1, rtl ? 5 + half : 5 - half) << i;
        EXPECT_FLOAT_EQ(s[i].x2, rtl ? 5 - half : 5 + half) << i;
    }
}

TEST_F(FillTest, ConcavePolygonIsFilledInTwoPasses) {
    // A "U" open to the top: lines above y = 6 cross both arms.
    auto s = fill({0, 10, 10, 7, 7, 3, 3, 0}, {10, 10, 0, 0, 6, 6, 0, 0}, 2.0f, 4);
    // Pass 1 draws the left span of each line, pass 2 the right span.
    std::vector<Span> left, right;
    bool second = false;
    for (const Span& sp : s) {
        const float lo = std::min(sp.x1, sp.x2);
        if (!second && lo >= 7) second = true;
        (second ? right : left).push_back(sp);
    }
    // Lines 0, 2 and 4 meet both arms; line 6 passes the inner corners and
    // line 8 the full width (one span each, drawn in pass 1 only).
    ASSERT_EQ(right.size(), 3u);
    EXPECT_FLOAT_EQ(std::min(right[0].x1, right[0].x2), 7);
    EXPECT_FLOAT_EQ(std::max(right[0].x1, right[0].x2), 10);
    EXPECT_EQ(left.size(), 5u);
    for (const Span& sp : left)
        EXPECT_FLOAT_EQ(std::min(sp.x1, sp.x2), 0);
}

TEST_F(FillTest, TooManyCrossingsWarnsAndStops) {
    // A comb with three teeth: lines through the teeth cross six edges.
    std::vector<float> x = {0, 10, 10, 8, 8, 6, 6, 4, 4, 2, 2, 0};
    std::vector<float> y = {10, 10, 0, 0, 5, 5, 0, 0, 5, 5, 0, 0};
    g_plot.routine_name = "rlvec";
    std::string out = captured([&] { fill(x, y, 1.0f, 4); });
    EXPECT_EQ(out, " <<<< Warning  26: Too many intersections in rlvec!   (   6)\n");
    EXPECT_TRUE(spans.empty()); // the first line with crossings already has six
    out = captured([&] { fill(x, y, 1.0f, 6); });
    EXPECT_EQ(out, "");
    EXPECT_FALSE(spans.empty());
}

TEST_F(FillTest, SortLinksBelowTwoHoldsIndexOneAlone) {
    const float v[1] = {3};
    for (int count : {1, 0, -2}) {
        int16_t links[2] = {7, 7};
        sort_links(v, count, links);
        EXPECT_EQ(links[0], 0) << count;
        EXPECT_EQ(links[1], 1) << count;
    }
}
