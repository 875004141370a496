// Level machine, keywords and device codes, warnings, end report, page
// set-up and device scales; colour tables against their anchors, named
// colours and the reversed background; output file names: default names,
// remembered names and the file modes.
#include "plot_test_util.h"

#include <cstdlib>
#include <functional>
#include <tuple>

using namespace plot_test;
using namespace razidu;

using CoreTest = PlotTest;

TEST_F(CoreTest, KeywordsDeviceCodesAndMetafl) {
    EXPECT_EQ(keyword_index("COUN+DELE+BREA", 3, "delete"), 2);
    EXPECT_EQ(keyword_index("COUN+DELE+BREA", 3, "dEl"), 0); // "DEL " is no entry
    EXPECT_EQ(keyword_index("SMAL+RAIN+GREY+VGA +TEMP", 5, "vga"), 4);
    // Only a-z are upper-cased; other characters compare as they are.
    EXPECT_EQ(keyword_index("AUTO", 1, "\xe4uto"), 0);
    const std::pair<const char*, int> codes[] = {{"PSCL", 502}, {"tiff", 601}, {"xwi8", 79},
                                                 {"MET9", 80},  {"META", 0},   {"hpa1", 405}};
    for (auto [keyword, code] : codes)
        EXPECT_EQ(device_code_of(keyword), code) << keyword;
    std::string out = captured([] {
        metafl("ps");
        EXPECT_STREQ(g_plot.device_name, "PS  ");
        metafl("cons");
        metafl("tif");
    });
    EXPECT_EQ(g_plot.device, 80);
    EXPECT_EQ(out, " <<<< Warning   2: Incorrect parameter in metafl!   (tif)\n");
}

// Every public routine called at a level outside its range prints warning 3
// with its own name and the level, and changes nothing.
TEST_F(CoreTest, EveryRoutineAtAWrongLevelOnlyWarns) {
    struct Call {
        const char* name;
        int min, max;
        std::function<void()> f;
    };
    float x[2] = {1, 2}, y[2] = {1, 2}, z[2] = {1, 2};
    int pattern[2] = {1, 2};
    // clang-format off
#define CALL(f, lo, hi, ...) {#f, lo, hi, [&] { f(__VA_ARGS__); }}
    const std::vector<Call> calls = {
        CALL(metafl, 0, 0, "png"), CALL(scrmod, 0, 0, "revers"), CALL(disini, 0, 0),
        CALL(disfin, 1, 3), CALL(axspos, 1, 1, 1, 1), CALL(graf, 1, 1, 0, 1, 0, 1, 0, 1, 0, 1),
        CALL(graf3, 1, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1), CALL(labels, 1, 3, "map", "x"),
        CALL(setvlt, 1, 3, "grey"), CALL(setclr, 1, 3, 7), CALL(curve3, 3, 3, x, y, z, 2),
        CALL(curve, 2, 3, x, y, 2), CALL(connpt, 1, 3, 2, 2),
        CALL(rlvec, 2, 3, 0, 0, 1, 1, 1121), CALL(title, 2, 3), CALL(myline, 1, 3, pattern, 2),
        CALL(messag, 1, 3, "m", 1, 1), CALL(psfont, 1, 3, "Times-Roman")};
#undef CALL
    // clang-format on
    // Level 0, then an open VIRT page at levels 1, 2 and 3.
    for (int level : {0, 1, 2, 3}) {
        if (level == 1) captured([&] { open_page("virt", path("v")); });
        if (level >= 2) g_plot.level = level; // as after graf / graf3
        for (const Call& c : calls) {
            if (level >= c.min && level <= c.max) continue;
            const int device = g_plot.device, warnings = g_plot.warning_count;
            const int vectors = g_plot.vector_count, colour = g_plot.colour.current;
            EXPECT_EQ(captured(c.f), std::string(" <<<< Warning   3: Incorrect level in ") +
                                         c.name + "!   (   " + std::to_string(level) + ")\n");
            EXPECT_TRUE(g_plot.level == level && g_plot.device == device &&
                        g_plot.vector_count == vectors && g_plot.colour.current == colour)
                << c.name;
            EXPECT_EQ(g_plot.warning_count, warnings + 1) << c.name;
        }
    }
    // Routines of all levels run at level 0 (the calendar without a base
    // date only reports its absence).
    EXPECT_EQ(captured([&] {
                  filmod("dele");
                  winsiz(10, 10);
                  nwkday(1, 1, 2000);
              }),
              "");
}

TEST_F(CoreTest, WarningLinesAndErrmes) {
    std::string out = captured([] {
        check_level(0, 0, "disfin");
        warning_plain(36);
        warning_with_number(2, -12345);
        warning_with_text(2, "abc");
        set_warning_text("ZLIB error");
        warning_plain(101);
        warning_plain(59);
        warning_plain(0);
    });
    EXPECT_EQ(out, " <<<< Warning  36: File error in disfin!\n"
                   " <<<< Warning   2: Incorrect parameter in disfin!   (-12345)\n"
                   " <<<< Warning   2: Incorrect parameter in disfin!   (abc)\n"
                   " <<<< Warning 101: ZLIB error in disfin!\n"
                   "<<<< Incorrect parameter in errmes! (  59)\n"
                   " <<<< Warning  59:   in disfin!\n"
                   "<<<< Incorrect parameter in errmes! (   0)\n"
                   " <<<< Warning   0:   in disfin!\n");
    EXPECT_EQ(g_plot.warning_count, 6);
}

TEST_F(CoreTest, EndReportWithSourceDateEpoch) {
    FixedDate date("1038960000"); // 2002-12-04 00:00:00 UTC
    const std::string file = path("a_rather_long_file_name_for_the_report_line_x.png");
    std::string out = captured([&] {
        open_page("png", file, 20, 10);
        g_plot.vector_count = 1234;
        setclr(300); // one warning
        disfin();
    });
    EXPECT_EQ(out, " <<<< Warning   2: Incorrect parameter in setclr!   ( 300)\n"
                   "\n <<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<"
                   "\n <<                END OF RAZIDU / VERSION  7.6                  <<"
                   "\n <<  Date    : 04.12.2002  Time    : 00:00:00  Pageformat: DA4L  <<"
                   "\n <<  Vectors : 1234        Warnings: 1         Fileformat: PNG   <<"
                   "\n <<  Metafile: " +
                       file.substr(0, 48) + // the name cut to its first 48 characters
                       "  <<\n <<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<"
                       "<<<<\n\n");
    // VIRT writes no file: the metafile line is empty.
    std::filesystem::remove(file);
    out = captured([&] {
        open_page("virt", file);
        disfin();
    });
    EXPECT_NE(out.find("\n <<  Metafile:                                                   <<"),
              std::string::npos);
    EXPECT_NE(out.find("Warnings: 0         Fileformat: VIRT"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(CoreTest, PageWindowAndScreenSetUp) {
    EXPECT_EQ(captured([] {
                  page(0, 100);
                  winsiz(650, -3);
                  scrmod("norevers");
              }),
              " <<<< Warning   2: Incorrect parameter in page!\n"
              " <<<< Warning   2: Incorrect parameter in winsiz!   (  -3)\n");
    EXPECT_EQ(g_plot.page_xmax, 2969);
    captured([&] {
        page(2925, 2820);
        open_page("virt", "");
    });
    EXPECT_EQ(std::vector<int>({g_plot.page_xmax, g_plot.page_ymax, g_plot.axis_default_w,
                                g_plot.axis_default_h, g_plot.axis_default_x, g_plot.axis_default_y,
                                g_plot.window_w, g_plot.window_h}),
              std::vector<int>({2924, 2819, 1950, 1880, 487, 2519, 853, 603}));
    EXPECT_STREQ(g_plot.page_name, "PAGE");
    captured(disfin);
    // AUTO: reversed on PS, EPS and PDF only (PSCL: see metafiles_test.cpp).
    for (auto [dev, mode] : {std::pair{"ps", 2}, {"eps", 2}, {"png", 0}}) {
        captured([&] {
            filmod("delete");
            open_page(dev, path("s"), 0, 0, 0, 0, "auto");
        });
        EXPECT_EQ(g_plot.screen_mode, mode) << dev;
        captured(disfin);
    }
}

// Raster pages map the page onto the picture's smaller side ratio. (The
// vector devices' scales show in their files' coordinates.)
TEST_F(CoreTest, RasterDeviceScale) {
    for (auto [w, h, scale] :
         {std::tuple{650, 600, 599.0f / 2819.0f}, {5000, 5000, 4999.0f / 2969.0f}}) {
        captured([&] { open_page("bmp", path("scale"), w, h, 2925, 2820); });
        EXPECT_NEAR(g_plot.device_scale, scale, 1e-5) << w;
        captured(disfin);
    }
}

using ColourTest = PlotTest;

namespace {
int comp(uint32_t e, int shift) {
    return int(e >> shift & 255);
}

// Each anchor is index, red, green, blue; the table meets them within tol and
// every component moves monotonically between two anchors.
void expect_near_anchors(const std::vector<std::array<int, 4>>& anchors, int tol) {
    const uint32_t* t = g_plot.colour.table;
    for (size_t k = 0; k < anchors.size(); ++k) {
        const auto& [i, r, g, b] = anchors[k];
        EXPECT_TRUE(std::abs(comp(t[i], 16) - r) <= tol && std::abs(comp(t[i], 8) - g) <= tol &&
                    std::abs(comp(t[i], 0) - b) <= tol)
            << i;
        for (int j = i; k + 1 < anchors.size() && j < anchors[k + 1][0]; ++j)
            for (int shift : {0, 8, 16}) {
                const int dir = comp(t[anchors[k + 1][0]], shift) - comp(t[i], shift);
                EXPECT_GE((comp(t[j + 1], shift) - comp(t[j], shift)) * (dir >= 0 ? 1 : -1), 0)
                    << j;
            }
    }
}
} // namespace

TEST_F(ColourTest, TablesFollowTheirAnchors) {
    captured([] { open_page("virt", ""); });
    EXPECT_EQ(g_plot.colour.table_id, 1); // rainbow by default
    // clang-format off
    expect_near_anchors({{1, 34, 0, 68}, {5, 51, 0, 102}, {13, 51, 0, 170}, {30, 0, 0, 255},
                         {49, 0, 72, 255}, {96, 0, 255, 255}, {125, 0, 255, 102},
                         {138, 0, 255, 0}, {160, 123, 255, 0}, {192, 255, 255, 0},
                         {214, 255, 166, 0}, {243, 255, 47, 0}, {254, 255, 0, 0}}, 1);
    EXPECT_TRUE(g_plot.colour.table[0] == 0u && g_plot.colour.table[255] == 0xFFFFFFu);
    setvlt("spectrum"); // about 5 per index along the sweep
    expect_near_anchors({{1, 255, 0, 255}, {27, 125, 0, 255}, {52, 0, 0, 255}, {102, 0, 255, 255},
                         {153, 0, 255, 0}, {204, 255, 255, 0}, {254, 255, 0, 0}}, 2);
    // clang-format on
    const std::pair<const char*, std::pair<int, uint32_t>> samples[] = {
        {"temp", {200, 0xFF9727}}, {"grey", {77, 0x4D4D4D}}, {"vga", {6, 0xAA5500}}};
    for (auto [table, entry] : samples) {
        setvlt(table);
        EXPECT_EQ(g_plot.colour.table[entry.first], entry.second) << table;
    }
    EXPECT_EQ(palette_size(), 16);
    EXPECT_EQ(g_plot.colour.current, 15); // the white of VGA
    captured(disfin);
}

TEST_F(ColourTest, ReversedTablesAndNamedColours) {
    captured([] { open_page("virt", ""); });
    const uint32_t rain1 = g_plot.colour.table[1], rain254 = g_plot.colour.table[254];
    setvlt("rrai");
    EXPECT_EQ(g_plot.colour.table[1], rain254);
    EXPECT_EQ(g_plot.colour.table[254], rain1);
    color("red");
    EXPECT_EQ(g_plot.colour.current, 255 - 254);
    color("whit");
    EXPECT_EQ(g_plot.colour.current, 255);
    setvlt("smal");
    color("blac");
    EXPECT_EQ(g_plot.colour.current, 1);
    EXPECT_EQ(g_plot.colour.cycle[8], g_plot.colour.named[0]); // curve 9: WHIT again
    EXPECT_EQ(captured([] {
                  setclr(-1);
                  color("purple");
                  setvlt("rgb");
              }),
              " <<<< Warning   2: Incorrect parameter in setclr!   (  -1)\n"
              " <<<< Warning   2: Incorrect parameter in color!   (purple)\n"
              " <<<< Warning   2: Incorrect parameter in setvlt!   (rgb)\n");
    EXPECT_EQ(g_plot.colour.current, 1);
    EXPECT_EQ(g_plot.colour.table_id, 0);
    captured(disfin);
}

TEST_F(ColourTest, ReversedBackgroundOnRasterAndPaperDevices) {
    // (Reversed raster pages: the white palette entry 0 in writers_test.cpp,
    // the foreground frame of index 255 in the weather map test.)
    // Black-and-white PostScript: reversed grey scale, foreground index 0.
    captured([&] { open_page("post", path("g.psc")); });
    EXPECT_EQ(g_plot.colour.table_id, 6);
    EXPECT_EQ(g_plot.colour.table[0], 0xFFFFFFu);
    color("fore");
    EXPECT_EQ(g_plot.colour.current, 0);
    EXPECT_EQ(g_plot.colour.background_index, 255);
    captured(disfin);
    // CGM with the rainbow draws with index 0 and has background 255.
    captured([&] { open_page("cgm", path("c.cgm")); });
    EXPECT_EQ(g_plot.colour.current, 0);
    EXPECT_EQ(g_plot.colour.background_index, 255);
    EXPECT_EQ(g_plot.colour.named[0], 0);
    captured(disfin);
}

namespace {
class FileTest : public PlotTest {
  protected:
    void SetUp() override {
        PlotTest::SetUp();
        fs::current_path(dir_); // the base class goes back afterwards
    }
};

void touch(const std::string& f) {
    std::ofstream(f) << "old";
}

std::string versioned(const std::string& name) {
    char buf[kNameMax + 8];
    snprintf(buf, sizeof buf, "%s", name.c_str());
    version_file_name(buf);
    return buf;
}
} // namespace

TEST_F(FileTest, CountFindsTheNextFreeVersion) {
    g_plot.file_mode = 0;
    EXPECT_EQ(versioned("razidu.cgm"), "razidu.cgm"); // absent: kept
    touch("razidu.cgm");
    touch("razidu_1.cgm");
    EXPECT_EQ(versioned("razidu.cgm"), "razidu_2.cgm");
    for (int k = 2; k <= 9; ++k)
        touch("razidu_" + std::to_string(k) + ".cgm");
    EXPECT_EQ(versioned("razidu.cgm"), "razid_10.cgm"); // base cut to 8 - len("_10")
    touch("plot");
    EXPECT_EQ(versioned("plot"), "plot_1");
    // A point in a folder name is no extension point.
    fs::create_directories("a.b");
    touch("a.b/plot");
    EXPECT_EQ(versioned("a.b/plot"), "a.b/plot_1");
    touch("a.b/weathermap.pdf");
    EXPECT_EQ(versioned("a.b/weathermap.pdf"), "a.b/weathe_1.pdf");
    // A backslash separates folders too (here it is part of one file name).
    touch("C:\\plots\\weathermap.pdf");
    EXPECT_EQ(versioned("C:\\plots\\weathermap.pdf"), "C:\\plots\\weathe_1.pdf");
    // After 9999 versions the program stops.
    for (int k = 1; k <= 9999; ++k)
        std::ofstream("a_" + std::to_string(k) + ".x");
    touch("a.x");
    EXPECT_EXIT(
        {
            dup2(2, 1);
            versioned("a.x");
        },
        ::testing::ExitedWithCode(0), "More than 9999 file versions!");
}

TEST_F(FileTest, DeleteAndBreakModes) {
    touch("old.png");
    g_plot.file_mode = 1;
    EXPECT_EQ(versioned("old.png"), "old.png");
    EXPECT_TRUE(fs::exists("old.png"));         // replaced once the new file is complete
    EXPECT_EQ(versioned("old.png"), "old.png"); // absent: nothing happens
    // BREAK stops the program on an existing file and leaves it alone.
    touch("exists.ps");
    EXPECT_EXIT(
        {
            dup2(2, 1); // the message goes to standard output
            filmod("break");
            metafl("ps");
            setfil("exists.ps");
            disini();
        },
        ::testing::ExitedWithCode(0), "File .*exists.ps does exist");
    EXPECT_EQ(read_text("exists.ps"), "old");
}

TEST_F(FileTest, DefaultAndRememberedNames) {
    for (auto [code, extension] :
         {std::pair{504, "ps"}, {501, "psc"}, {403, "hpg"}, {701, "java"}, {603, "   "}})
        EXPECT_STREQ(default_extension_of(code), extension) << code;
    captured([] {
        metafl("ppm");
        disini();
        disfin();
        disini(); // counts up without a name
        disfin();
    });
    EXPECT_TRUE(fs::exists("razidu.ppm"));
    EXPECT_TRUE(fs::exists("razidu_1.ppm"));
    // A setfil name holds for later plots until setfil is called again.
    captured([] {
        metafl("bmp");
        filmod("delete");
        setfil("first.bmp");
        disini();
        disfin();
        disini();
        EXPECT_STREQ(g_plot.file_name, "first.bmp");
        disfin();
    });
    EXPECT_TRUE(fs::exists("first.bmp"));
}

// With an end hook, the failures that end the program come back to the
// caller instead: the page discarded, nothing written under its name, and
// the library ready for the next page.
TEST_F(FileTest, EndHookReturnsTheEndingFailuresToTheCaller) {
    struct Ended {};
    touch("exists.ps");
    const struct {
        const char *mode, *device, *file;
    } cases[] = {
        {"break", "ps", "exists.ps"},    // BREAK on an existing file
        {"delete", "pdf", "none/x.pdf"}, // a PDF file that cannot be created
    };
    end_hook([] { throw Ended{}; });
    for (const auto& c : cases) {
        bool thrown = false;
        captured([&] {
            filmod(c.mode);
            metafl(c.device);
            setfil(c.file);
            try {
                disini();
            } catch (const Ended&) {
                thrown = true;
            }
        });
        EXPECT_TRUE(thrown) << c.file;
        EXPECT_EQ(page_outcome().status, 3) << c.file;
        captured([] {
            filmod("delete");
            metafl("png");
            setfil("next.png");
            disini();
            disfin();
        });
        EXPECT_EQ(page_outcome().status, 0) << c.file;
        EXPECT_TRUE(fs::exists("next.png")) << c.file;
        fs::remove("next.png");
    }
    end_hook(nullptr);
    EXPECT_EQ(read_text("exists.ps"), "old");
    EXPECT_FALSE(fs::exists("none"));
}
