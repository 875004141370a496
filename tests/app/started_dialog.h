// The dialog as the program starts it, in a new temporary folder that holds
// map.dat; shut down and left again after each test.
#pragma once

#include "app/app.h"
#include "gpv/gpv.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace testfiles {

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
    void TearDown() override {
        app::shutdown();
        fs::current_path(old_cwd);
    }
};

} // namespace testfiles
