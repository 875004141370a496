// The dialog as the program starts it, in a new temporary folder that holds
// map.dat; shut down and left again after each test.
#pragma once

#include "app/app.h"
#include "app/control_ids.h"
#include "gpv/gpv.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <functional>

namespace testfiles {

constexpr int kRsmCols = 60, kRsmRows = 75; // the RSM grid: 120.25 E + 0.5 i, 49.8 N - 0.4 j

// A record of the whole RSM grid at 850 hPa holding value(i, j).
inline gpvgen::Record whole_grid(int item, const std::function<double(int i, int j)>& value) {
    std::vector<double> v;
    for (int j = 0; j < kRsmRows; ++j)
        for (int i = 0; i < kRsmCols; ++i)
            v.push_back(value(i, j));
    gpvgen::Record r;
    r.item = item;
    r.level = 850;
    r.col_last = kRsmCols - 1;
    r.row_last = kRsmRows - 1;
    gpvgen::quantise(v, 10, r);
    return r;
}

class StartedDialog : public ::testing::Test {
  protected:
    TempDir tmp{::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name()};
    fs::path dir = tmp.path;
    fs::path old_cwd = fs::current_path();

    void SetUp() override {
        platform::headless::reset();
        platform::headless::set_echo(false);
        gpv::header = {};
        write_map(dir / "map.dat");
        fs::current_path(dir);
        app::state = app::ProgramState{};
        app::dialog_handlers.init();
    }
    // Writes the records as one GPV file, dir/fc.gpv, and opens it.
    void open_records(const std::vector<gpvgen::Record>& records) {
        std::vector<gpvgen::Bytes> bytes;
        for (const gpvgen::Record& r : records)
            bytes.push_back(gpvgen::record(r));
        write_file(dir / "fc.gpv", gpvgen::block(bytes));
        platform::headless::set_next_chosen_file((dir / "fc.gpv").string());
        app::dialog_handlers.command(app::IDM_OPEN, platform::Clicked);
        ASSERT_TRUE(app::state.file_ready) << last_message();
    }
    // Selects the entry of a list that reads text.
    static void select_entry(int id, const std::string& text) {
        for (int k = 0; k < platform::list_count(id); ++k)
            if (platform::list_text(id, k) == text) platform::list_select(id, k);
    }
    // Execute into the save folder, in the format when one is given; the
    // library's report.
    std::string execute_into(const fs::path& save, const std::string& format = "") {
        if (!format.empty()) select_entry(app::IDC_FORMAT_LIST, format);
        platform::set_text(app::IDC_SAVE_PATH, save.string().c_str());
        ::testing::internal::CaptureStdout();
        app::dialog_handlers.command(app::IDC_EXECUTE, platform::Clicked);
        std::fflush(stdout);
        return ::testing::internal::GetCapturedStdout();
    }
    void TearDown() override {
        app::shutdown();
        fs::current_path(old_cwd);
    }
};

} // namespace testfiles
