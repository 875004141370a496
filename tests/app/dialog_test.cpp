// The dialog's handlers run headless. (Data runs of the selected field and of
// "All items", and the save folder: the command-line tests.)
#include "app/app.h"
#include "app/control_ids.h"
#include "gpv/gpv.h"
#include "started_dialog.h"
#include "test_files.h"

#include <gtest/gtest.h>

using namespace testfiles;
using namespace app;
namespace hl = platform::headless;

namespace {

struct Dialog : StartedDialog {
    std::string gpv_path = (dir / "in" / "fc.gpv").string();

    void SetUp() override {
        fs::create_directories(dir / "in");
        ASSERT_TRUE(write_forecast(gpv_path, {850, 500}, {4, 23}, 6));
        StartedDialog::SetUp();
    }
    bool open(const std::string& path) {
        hl::set_next_chosen_file(path);
        dialog_handlers.command(IDM_OPEN, platform::Clicked);
        return state.file_ready;
    }
    void execute_data() {
        platform::set_checked(IDC_MODE_DATA, true);
        platform::set_checked(IDC_MODE_IMAGE, false);
        dialog_handlers.command(IDC_EXECUTE, platform::Clicked);
    }
    // The entries of a list, blank-separated, the selected one in brackets.
    static std::string list(int id) {
        std::string v;
        for (int k = 0; k < platform::list_count(id); ++k) {
            std::string t = platform::list_text(id, k);
            v += (k ? " " : "") + (k == platform::list_selected(id) ? "[" + t + "]" : t);
        }
        return v;
    }
};

TEST_F(Dialog, StartUpFillsTheControls) {
    std::string start = dir.string() + "/";
    EXPECT_EQ(state.start_dir, start); // the window test sees it in the save path
    EXPECT_EQ(list(IDC_VECTOR_SCALE), "0.2 0.4 0.6 0.8 [1.0] 1.2 1.4 1.6 1.8 2.0");
    EXPECT_EQ(list(IDC_FORMAT_LIST), "[display] pdf cgm png tif ps bmp");
    EXPECT_TRUE(platform::is_checked(IDC_AUTO_SCALE) && platform::is_checked(IDC_MODE_IMAGE));
    EXPECT_EQ(platform::get_text(IDC_STATUS), "NON");
    EXPECT_TRUE(fs::exists(dir / "gpv.log"));

    dialog_handlers.command(IDC_EXECUTE, platform::Clicked);
    ASSERT_EQ(hl::messages().size(), 1u);
    EXPECT_EQ(last_message(), "Execute_CMD: File not opened yet.");
    EXPECT_TRUE(hl::messages()[0].owned);
}

TEST_F(Dialog, OpenFillsListsAndAFailedOpenClosesTheFile) {
    ASSERT_TRUE(open(gpv_path));
    // (The window test checks the title, lists and labels after an open.)
    EXPECT_EQ(state.open_dir, (dir / "in").string());
    EXPECT_EQ(list(IDC_LEVEL_LIST) + " " + list(IDC_ITEM_LIST),
              "[850] 500 [Temperature (C)] u-wind (m/s)");
    // a file that cannot be read leaves none open
    EXPECT_FALSE(open((dir / "missing.gpv").string()));
    EXPECT_EQ(state.gpv_file, nullptr);
    dialog_handlers.command(IDC_EXECUTE, platform::Clicked);
    EXPECT_EQ(last_message(), "Execute_CMD: File not opened yet.");
}

TEST_F(Dialog, ExecuteAfterAnOpenThatFoundNoLevelsUsesTheListsShown) {
    ASSERT_TRUE(open(gpv_path));
    write_file(dir / "in" / "none.gpv", {'n', 'o', 'n', 'e'});
    EXPECT_FALSE(open((dir / "in" / "none.gpv").string()));
    EXPECT_EQ(list(IDC_LEVEL_LIST) + " " + list(IDC_ITEM_LIST),
              "[850] 500 [Temperature (C)] u-wind (m/s)");
    execute_data();
    EXPECT_EQ(last_message(), "get_GPV_dat: Error: number of data not matched.");
    // An empty hour list (a file whose last hour is below its first).
    ASSERT_TRUE(open(gpv_path));
    platform::list_reset(IDC_HOUR_LIST);
    execute_data();
    EXPECT_EQ(last_message(), "get_GPV_dat: Error: forecast time not in the record.");
}

TEST_F(Dialog, WithoutMapDatTheOpenFailsAndMapsHaveNoCoastline) {
    fs::remove(dir / "map.dat");
    EXPECT_FALSE(open(gpv_path));
    EXPECT_EQ(last_message(), "initializeApp: Error: can't read map.");
    execute_into(dir / "out", "png");
    EXPECT_TRUE(fs::exists(dir / "out" / "MD04_ID004_P0850_DT26120400_TM00.png"));
    EXPECT_EQ(platform::get_text(IDC_STATUS), "plot OK");
    // The next open reads map.dat again.
    write_map(dir / "map.dat");
    EXPECT_TRUE(open(gpv_path)) << last_message();
}

TEST_F(Dialog, MessagesOfARun) {
    ASSERT_TRUE(open(gpv_path));
    // gpv.log that could not be opened is reported once
    std::fclose(state.log_file);
    state.log_file = nullptr;
    platform::set_checked(IDC_SELECTED_ONLY, false);
    platform::set_checked(IDC_ALL_ITEMS, true);
    fs::create_directories(dir / "ro");
    platform::set_text(IDC_SAVE_PATH, (dir / "ro").c_str());
    std::size_t before = hl::messages().size();
    execute_data();
    ASSERT_EQ(hl::messages().size(), before + 1);
    EXPECT_EQ(hl::messages().back().title, "save_GPV");
    // an output name taken by a folder: two boxes for the TEXT field, and
    // the run still ends as a save
    platform::set_checked(IDC_SELECTED_ONLY, true);
    platform::set_checked(IDC_ALL_ITEMS, false);
    fs::remove(dir / "ro" / "MD04_ID004_P0850_DT26120400_TM00.txt");
    fs::create_directories(dir / "ro" / "MD04_ID004_P0850_DT26120400_TM00.txt");
    before = hl::messages().size();
    execute_data();
    ASSERT_EQ(hl::messages().size(), before + 2);
    EXPECT_EQ(hl::messages().back().text, "Error: can't open output file.");
    EXPECT_EQ(platform::get_text(IDC_STATUS), "data save OK");
}

} // namespace
