// Level machine, keywords and device codes, warnings, end report, page set-up
// and device scales.
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
    EXPECT_EQ(keyword_index("SMAL+RAIN+SPEC+GREY+RRAI+RSPE+RGRE+VGA +TEMP", 9, "vga"), 8);
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
    setenv("SOURCE_DATE_EPOCH", "1038960000", 1); // 2002-12-04 00:00:00 UTC
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
    unsetenv("SOURCE_DATE_EPOCH");
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
    // AUTO: reversed on PS, EPS and PDF only (PSCL: see postscript_test.cpp).
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
