// Output file names: default names, remembered names and the file modes.
#include "plot_test_util.h"

using namespace plot_test;
using namespace razidu;

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
