// The two faces of an Execute run agree: the command line's options and the
// dialog's controls set as a user would give the same files, byte for byte.
#include "app/app.h"
#include "app/control_ids.h"
#include "gpv/gpv.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>

using namespace testfiles;
using namespace app;
namespace hl = platform::headless;

namespace {

std::map<std::string, std::string> files_of(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(folder))
        files[e.path().filename().string()] = read_file(e.path());
    return files;
}

bool select(int id, const std::string& text) {
    for (int k = 0; k < platform::list_count(id); ++k)
        if (platform::list_text(id, k) == text) {
            platform::list_select(id, k);
            return true;
        }
    return false;
}

struct Case {
    const char* name;
    std::string options;                // of the command line, besides --save
    std::function<void()> set_controls; // the same through the dialog
};

TEST(Faces, CommandLineAndDialogWriteTheSameFiles) {
    TempDir tmp{"faces"};
    const fs::path dir = tmp.path;
    const std::string gpv = (dir / "fc.gpv").string();
    ASSERT_TRUE(write_forecast(gpv, {850, 500}, {4, 23, 24}, 6));
    using platform::set_checked;
    auto image = [] {
        set_checked(IDC_MODE_IMAGE, true);
        set_checked(IDC_MODE_DATA, false);
    };
    const Case cases[] = {
        {"csv of every field", "data --all --csv",
         [] {
             set_checked(IDC_MODE_DATA, true);
             set_checked(IDC_MODE_IMAGE, false);
             set_checked(IDC_SELECTED_ONLY, false);
             set_checked(IDC_ALL_ITEMS, true);
             platform::list_select(IDC_DATA_FORMAT, 1);
         }},
        {"wind with arrows and a fixed range",
         "image --level 500 --item 24 --hour 3 --format png --vector-scale 0.6 "
         "--vector-density 2 --range 0 30",
         [&] {
             image();
             select(IDC_LEVEL_LIST, "500");
             dialog_handlers.command(IDC_LEVEL_LIST, platform::SelectionChanged);
             platform::list_select(IDC_ITEM_LIST, 2);
             select(IDC_HOUR_LIST, "3");
             select(IDC_FORMAT_LIST, "png");
             select(IDC_VECTOR_SCALE, "0.6");
             select(IDC_VECTOR_DENSITY, "2");
             set_checked(IDC_AUTO_SCALE, false);
             platform::set_text(IDC_RANGE_LOW, "0");
             platform::set_text(IDC_RANGE_HIGH, "30");
         }},
        {"contours over an area", "image --all --format bmp --contour 2 --area 125 145 25 45",
         [&] {
             image();
             set_checked(IDC_SELECTED_ONLY, false);
             set_checked(IDC_ALL_ITEMS, true);
             select(IDC_FORMAT_LIST, "bmp");
             hl::set_next_answer("2");
             dialog_handlers.command(IDM_MAP_STEP, platform::Clicked);
             dialog_handlers.command(IDM_MAP_CONTOURS, platform::Clicked);
             hl::set_next_answer("125 145 25 45");
             dialog_handlers.command(IDM_MAP_AREA, platform::Clicked);
         }},
    };
    const fs::path old_cwd = fs::current_path();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path work = dir / c.name;
        fs::create_directories(work / "dialog");
        write_map(work / "map.dat");
        // The file comes before the options on the command line.
        const std::string verb = c.options.substr(0, c.options.find(' '));
        const std::string rest = c.options.substr(verb.size());
        const std::string run = "cd '" + work.string() + "' && env -u DISPLAY '" KIVAR_EXE "' " +
                                verb + " " + gpv + rest + " --jobs 1 --save cli >/dev/null 2>&1";
        ASSERT_EQ(std::system(run.c_str()), 0) << run;

        fs::current_path(work);
        hl::reset();
        hl::set_echo(false);
        gpv::header = {};
        state = ProgramState{};
        dialog_handlers.init();
        ASSERT_EQ(open_file(gpv), 1);
        c.set_controls();
        platform::set_text(IDC_SAVE_PATH, "dialog");
        dialog_handlers.command(IDC_EXECUTE, platform::Clicked);
        shutdown();
        fs::current_path(old_cwd);
        EXPECT_TRUE(hl::messages().empty());

        const auto cli = files_of(work / "cli"), dialog = files_of(work / "dialog");
        EXPECT_GE(cli.size(), 1u);
        EXPECT_TRUE(cli == dialog) << cli.size() << " and " << dialog.size() << " files";
    }
}

} // namespace
