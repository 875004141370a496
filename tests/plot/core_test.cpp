// Level machine, keywords and device codes, warnings, end report, page set-up
// and device scales.
#include "plot_test_util.h"

#include <cstdlib>
#include <functional>

using namespace plot_test;
using namespace razidu;

using CoreTest = PlotTest;

TEST_F(CoreTest, KeywordsMatchFourLettersWithoutCase) {
    EXPECT_EQ(keyword_index("COUN+DELE+BREA", 3, "delete"), 2);
    EXPECT_EQ(keyword_index("COUN+DELE+BREA", 3, "dEl"), 0); // "DEL " is no entry
    EXPECT_EQ(keyword_index("SMAL+RAIN+SPEC+GREY+RRAI+RSPE+RGRE+VGA +TEMP", 9, "vga"), 8);
    EXPECT_EQ(keyword_index("WHIT+RED +GREE", 3, "red"), 2);
    // Only a-z are upper-cased; other characters compare as they are.
    EXPECT_EQ(keyword_index("AUTO", 1, "\xe4uto"), 0);

    EXPECT_EQ(device_code_of("ps"), 504);
    EXPECT_EQ(device_code_of("PSCL"), 502);
    EXPECT_EQ(device_code_of("png"), 604);
    EXPECT_EQ(device_code_of("tiff"), 601);
    EXPECT_EQ(device_code_of("xwin"), 72);
    EXPECT_EQ(device_code_of("xwi8"), 79);
    EXPECT_EQ(device_code_of("met5"), 80);
    EXPECT_EQ(device_code_of("MET1"), 80);
    EXPECT_EQ(device_code_of("MET9"), 80);
    EXPECT_EQ(device_code_of("META"), 0); // after "MET9" in string order
    EXPECT_EQ(device_code_of("hpa1"), 405);
    EXPECT_EQ(device_code_of("cons"), 101);
}

TEST_F(CoreTest, MetaflStoresCodeAndName) {
    std::string out = captured([] {
        metafl("pscl");
        metafl("ps");
        EXPECT_EQ(g_plot.device, 504);
        EXPECT_STREQ(g_plot.device_name, "PS  ");
        metafl("cons");
        EXPECT_EQ(g_plot.device, 80);
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
    int pattern[2] = {1, 2}, d, m, yr;
    const std::vector<Call> calls = {
        {"metafl", 0, 0, [] { metafl("png"); }},
        {"setfil", 0, 0, [] { setfil("x.png"); }},
        {"scrmod", 0, 0, [] { scrmod("revers"); }},
        {"page", 0, 0, [] { page(100, 100); }},
        {"disini", 0, 0, [] { disini(); }},
        {"disfin", 1, 3, [] { disfin(); }},
        {"erase", 1, 3, [] { erase(); }},
        {"nochek", 1, 3, [] { nochek(); }},
        {"sendbf", 1, 3, [] { sendbf(); }},
        {"axspos", 1, 1, [] { axspos(1, 1); }},
        {"autres", 1, 1, [] { autres(2, 2); }},
        {"graf", 1, 1, [] { graf(0, 1, 0, 1, 0, 1, 0, 1); }},
        {"graf3", 1, 1, [] { graf3(0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1); }},
        {"name", 1, 3, [] { name("a", "x"); }},
        {"labels", 1, 3, [] { labels("map", "x"); }},
        {"digits", 1, 3, [] { digits(1, "x"); }},
        {"widbar", 1, 3, [] { widbar(50); }},
        {"setvlt", 1, 3, [] { setvlt("grey"); }},
        {"color", 1, 3, [] { color("red"); }},
        {"setclr", 1, 3, [] { setclr(7); }},
        {"curve3", 3, 3, [&] { curve3(x, y, z, 2); }},
        {"curve", 2, 3, [&] { curve(x, y, 2); }},
        {"strtpt", 1, 3, [] { strtpt(1, 1); }},
        {"connpt", 1, 3, [] { connpt(2, 2); }},
        {"rlvec", 2, 3, [] { rlvec(0, 0, 1, 1, 1121); }},
        {"vector", 1, 3, [] { vector(0, 0, 1, 1, 1121); }},
        {"titlin", 1, 3, [] { titlin("t", 1); }},
        {"title", 2, 3, [] { title(); }},
        {"lintyp", 1, 3, [] { lintyp(1); }},
        {"myline", 1, 3, [&] { myline(pattern, 2); }},
        {"solid", 1, 3, [] { solid(); }},
        {"dot", 1, 3, [] { dot(); }},
        {"dash", 1, 3, [] { dash(); }},
        {"chndsh", 1, 3, [] { chndsh(); }},
        {"chndot", 1, 3, [] { chndot(); }},
        {"dashm", 1, 3, [] { dashm(); }},
        {"dotl", 1, 3, [] { dotl(); }},
        {"dashl", 1, 3, [] { dashl(); }},
        {"height", 1, 3, [] { height(40); }},
        {"angle", 1, 3, [] { angle(90); }},
        {"disalf", 1, 3, [] { disalf(); }},
        {"complx", 1, 3, [] { complx(); }},
        {"messag", 1, 3, [] { messag("m", 1, 1); }},
        {"hwfont", 1, 3, [] { hwfont(); }},
        {"psfont", 1, 3, [] { psfont("Times-Roman"); }},
        {"winfnt", 1, 3, [] { winfnt("Arial"); }},
        {"X11FNT", 1, 3, [] { X11FNT("a", "b"); }},
    };
    (void)d, (void)m, (void)yr;
    // Level 0, then an open VIRT page at levels 1, 2 and 3.
    for (int level : {0, 1, 2, 3}) {
        if (level == 1) captured([&] { open_page("virt", path("v")); });
        if (level >= 2) g_plot.level = level; // as after graf / graf3
        for (const Call& c : calls) {
            if (level >= c.min && level <= c.max) continue;
            const int device = g_plot.device, warnings = g_plot.warning_count;
            const int vectors = g_plot.vector_count, colour = g_plot.colour.current;
            const std::string out = captured(c.f);
            EXPECT_EQ(out, std::string(" <<<< Warning   3: Incorrect level in ") + c.name +
                               "!   (   " + std::to_string(level) + ")\n")
                << c.name;
            EXPECT_EQ(g_plot.level, level) << c.name;
            EXPECT_EQ(g_plot.device, device) << c.name;
            EXPECT_EQ(g_plot.vector_count, vectors) << c.name;
            EXPECT_EQ(g_plot.colour.current, colour) << c.name;
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
    ASSERT_GT(file.size(), 48u);
    std::string out = captured([&] {
        open_page("png", file, 20, 10);
        g_plot.vector_count = 1234;
        setclr(300); // one warning
        disfin();
    });
    const std::string shown = file.substr(0, 48);
    std::string metafile = " <<  Metafile: " + shown + std::string(48 - shown.size(), ' ') + "  <<";
    EXPECT_EQ(out, " <<<< Warning   2: Incorrect parameter in setclr!   ( 300)\n"
                   "\n <<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<"
                   "\n <<                END OF RAZIDU / VERSION  7.6                  <<"
                   "\n <<  Date    : 04.12.2002  Time    : 00:00:00  Pageformat: DA4L  <<"
                   "\n <<  Vectors : 1234        Warnings: 1         Fileformat: PNG   <<"
                   "\n" +
                       metafile +
                       "\n <<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<\n\n");
    // VIRT writes no file: the metafile line is empty.
    out = captured([&] {
        open_page("virt", file);
        disfin();
    });
    EXPECT_NE(out.find("\n <<  Metafile:                                                   <<"),
              std::string::npos);
    EXPECT_NE(out.find("Warnings: 0         Fileformat: VIRT"), std::string::npos);
    unsetenv("SOURCE_DATE_EPOCH");
}

TEST_F(CoreTest, PageWindowAndScreenSetUp) {
    std::string out = captured([] {
        page(0, 100);
        winsiz(650, -3);
        scrmod("norevers");
    });
    EXPECT_EQ(out, " <<<< Warning   2: Incorrect parameter in page!\n"
                   " <<<< Warning   2: Incorrect parameter in winsiz!   (  -3)\n");
    EXPECT_EQ(g_plot.screen_mode_req, 0);
    EXPECT_EQ(g_plot.page_xmax, 2969);

    captured([&] {
        page(2925, 2820);
        open_page("virt", "");
    });
    EXPECT_EQ(g_plot.page_xmax, 2924);
    EXPECT_EQ(g_plot.page_ymax, 2819);
    EXPECT_STREQ(g_plot.page_name, "PAGE");
    EXPECT_EQ(g_plot.axis_default_w, 1950);
    EXPECT_EQ(g_plot.axis_default_h, 1880);
    EXPECT_EQ(g_plot.axis_default_x, 487);
    EXPECT_EQ(g_plot.axis_default_y, 2519);
    EXPECT_EQ(g_plot.window_w, 853); // landscape page, no winsiz
    EXPECT_EQ(g_plot.window_h, 603);
    captured(disfin);

    // AUTO: reversed on PS, EPS and PDF only.
    for (auto [dev, mode] : {std::pair{"pscl", 0}, {"ps", 2}, {"eps", 2}, {"png", 0}}) {
        captured([&] {
            metafl(dev);
            scrmod("auto");
            filmod("delete");
            setfil(path("s").c_str());
            disini();
        });
        EXPECT_EQ(g_plot.screen_mode, mode) << dev;
        captured(disfin);
    }
}

TEST_F(CoreTest, DeviceScaleOfEachFamily) {
    auto scale_of = [&](const char* dev, int w, int h) {
        captured([&] {
            filmod("delete");
            open_page(dev, path("scale"), w, h, 2925, 2820);
        });
        const float s = g_plot.device_scale;
        captured(disfin);
        return s;
    };
    EXPECT_NEAR(scale_of("png", 650, 600), 599.0f / 2819.0f, 1e-6);
    EXPECT_NEAR(scale_of("bmp", 5000, 5000), 4999.0f / 2969.0f, 1e-5); // capped
    EXPECT_FLOAT_EQ(scale_of("ps", 0, 0), 1.8571428f);
    EXPECT_NEAR(g_plot.ps.page_factor, 0.74495f, 1e-5);
    EXPECT_NEAR(scale_of("pdf", 0, 0), 0.19608f, 1e-5);
    EXPECT_EQ(g_plot.pdf.page_w, 553);
    EXPECT_EQ(g_plot.pdf.page_h, 574);
    EXPECT_FLOAT_EQ(scale_of("cgm", 0, 0), 2.0f);
    EXPECT_FLOAT_EQ(scale_of("gksl", 0, 0), 1.0f);
}
