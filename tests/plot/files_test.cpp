// Output file names: default names, remembered names and the file modes.
#include "plot_test_util.h"

#include <unistd.h>

using namespace plot_test;
using namespace razidu;

using FileTest = PlotTest;

namespace {
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
    ASSERT_EQ(chdir(dir_.c_str()), 0);
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
    ASSERT_EQ(chdir("/"), 0);
}

TEST_F(FileTest, DeleteRemovesTheOldFileAndKeepsTheName) {
    const std::string f = path("old.png");
    touch(f);
    g_plot.file_mode = 1;
    EXPECT_EQ(versioned(f), f);
    EXPECT_FALSE(fs::exists(f));
    EXPECT_EQ(versioned(f), f); // absent: nothing happens
}

TEST_F(FileTest, BreakStopsTheProgramOnAnExistingFile) {
    const std::string f = path("exists.ps");
    touch(f);
    EXPECT_EXIT(
        {
            dup2(2, 1); // the message goes to standard output
            filmod("break");
            metafl("ps");
            setfil(f.c_str());
            disini();
        },
        ::testing::ExitedWithCode(0), "File .*exists.ps does exist");
    EXPECT_EQ(read_text(f), "old");
}

TEST_F(FileTest, DefaultAndRememberedNames) {
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    EXPECT_STREQ(default_extension_of(504), "ps");
    EXPECT_STREQ(default_extension_of(501), "psc");
    EXPECT_STREQ(default_extension_of(403), "hpg");
    EXPECT_STREQ(default_extension_of(701), "java");
    EXPECT_STREQ(default_extension_of(603), "   ");
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
        EXPECT_EQ(g_plot.file_state, 2);
        disfin();
    });
    EXPECT_TRUE(fs::exists("first.bmp"));
    ASSERT_EQ(chdir("/"), 0);
}

TEST_F(FileTest, CountStopsAfter9999Versions) {
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    touch("a.x");
    for (int k = 1; k <= 9999; ++k)
        std::ofstream("a_" + std::to_string(k) + ".x");
    EXPECT_EXIT(
        {
            dup2(2, 1);
            versioned("a.x");
        },
        ::testing::ExitedWithCode(0), "More than 9999 file versions!");
}
