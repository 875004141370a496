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
    int u16(size_t i) const { return p[i] << 8 | p[i + 1]; }
    int s16(size_t i) const { return int16_t(u16(i)); }
    std::string text() const { return std::string(p.begin() + 1, p.begin() + 1 + p[0]); }
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
    TestPage page;
    captured([&] {
        open_page("cgm", f, 0, 0, 2925, 2820);
        page.draw();
        disfin();
    });
    const std::vector<Element> e = walk(read_bytes(f));
    ASSERT_GT(e.size(), 12u);
    auto is = [&](size_t i, int cls, int id, size_t len) {
        EXPECT_EQ(e[i].cls, cls) << i;
        EXPECT_EQ(e[i].id, id) << i;
        EXPECT_EQ(e[i].p.size(), len) << i;
    };
    is(0, 0, 1, 1 + f.size()); // BEGIN METAFILE with the file name
    EXPECT_EQ(e[0].text(), f);
    is(1, 1, 1, 2); // METAFILE VERSION 1
    EXPECT_EQ(e[1].u16(0), 1);
    const std::string description = "\"ProfileId:CALS\",\"ProfileEd:1.0\",\"Source:RAZIDU  7.6\","
                                    "\"Date:20240102\",\"ColourClass:colour\"";
    is(2, 1, 2, 1 + description.size());
    EXPECT_EQ(e[2].text(), description);
    is(3, 1, 11, 6); // METAFILE ELEMENT LIST: the drawing set
    EXPECT_EQ(e[3].p, (std::vector<uint8_t>{0, 1, 0xFF, 0xFF, 0, 1}));
    is(4, 0, 3, 10); // BEGIN PICTURE
    EXPECT_EQ(e[4].text(), "Picture 1");
    is(5, 2, 2, 2); // COLOUR SELECTION MODE direct
    EXPECT_EQ(e[5].u16(0), 1);
    is(6, 2, 6, 8); // VDC EXTENT
    EXPECT_EQ(std::vector<int>({e[6].s16(0), e[6].s16(2), e[6].s16(4), e[6].s16(6)}),
              std::vector<int>({0, 0, 5848, 5638}));
    is(7, 2, 7, 4); // BACKGROUND COLOUR white
    EXPECT_EQ(e[7].p, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0}));
    is(8, 0, 4, 0);            // BEGIN PICTURE BODY
    is(e.size() - 2, 0, 5, 0); // END PICTURE
    is(e.size() - 1, 0, 2, 0); // END METAFILE
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
            ASSERT_EQ(e[i].cls, 4) << i;
            ASSERT_EQ(e[i].id, 1) << i;
            const size_t n = e[i].p.size() / 4;
            ASSERT_EQ(e[i].p.size(), 4 * n);
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
            for (int k = 1; k <= 50; ++k)
                connpt(float(10 * k), float(k));
            disfin();
        });
        const std::vector<uint8_t> b = read_bytes(f);
        // An even name length gives an odd parameter length and a pad byte.
        const size_t n = f.size();
        ASSERT_GT(b.size(), 6 + n);
        EXPECT_EQ(b[4], n);
        const size_t next = 5 + n + (n % 2 == 0);
        EXPECT_EQ(b[next], 0x10) << name;
        EXPECT_EQ(b[next + 1], 0x22) << name;
        const std::vector<Element> e = walk(b);
        std::vector<size_t> counts;
        for (const Element& el : e)
            if (el.cls == 4 && el.id == 1) counts.push_back(el.p.size() / 4);
        ASSERT_EQ(counts, (std::vector<size_t>{50, 2}));
        // The second polyline starts at the 50th point of the first.
        const Element* first = nullptr;
        for (const Element& el : e)
            if (el.cls == 4) {
                if (!first) {
                    first = &el;
                } else {
                    EXPECT_EQ(el.s16(0), first->s16(4 * 49));
                    EXPECT_EQ(el.s16(2), first->s16(4 * 49 + 2));
                    EXPECT_EQ(el.s16(4), 1000);
                    EXPECT_EQ(el.s16(6), (2099 - 50) * 2);
                }
            }
    }
}
