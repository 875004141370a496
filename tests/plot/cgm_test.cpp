// Binary CGM files read back by an element walker: every element's class,
// id and length, the header in its order, 80-byte blocks padded with
// blanks, polylines inside the VDC extent.
#include "vector_test_util.h"

#include <set>

using namespace plot_test;
using namespace razidu;

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
