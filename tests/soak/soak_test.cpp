// Long runs through the dialog's handlers: "All items" as data files and as
// maps over a forecast of several grids, watching the memory between fields.
// The live heap must come back to the same size after every field, and the
// peak resident size must stop growing once each kind of field has been
// through once. CI runs it under AddressSanitizer as well.
#include "app/app.h"
#include "app/control_ids.h"
#include "test_files.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#if defined(__SANITIZE_ADDRESS__)
// Bytes in use, from the sanitizer's allocator (its header is not always
// installed).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
// Freed memory is held back for a while to catch late uses; a small hold
// keeps the resident size a measure of what the program keeps.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=4:detect_leaks=1";
}
#endif

using namespace testfiles;

namespace {

struct Sample {
    long long live; // bytes in use on the heap
    long hwm_kb;    // peak resident size so far
};

long status_kb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, std::strlen(key), key) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    return -1;
}

long long live_heap() {
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
    struct mallinfo2 m = mallinfo2();
    return static_cast<long long>(m.uordblks + m.hblkhd); // small blocks and mapped ones
#endif
}

std::vector<Sample> samples;

void on_field(int, int, int, int, int) {
    samples.push_back({live_heap(), status_kb("VmHWM:")});
}

// After `warm` fields: the live heap within `live_slack` bytes of its value
// then, and the peak resident size within `hwm_slack_kb`.
void expect_steady(const std::vector<Sample>& s, std::size_t warm, long long live_slack,
                   long hwm_slack_kb, const char* run) {
    ASSERT_GT(s.size(), warm) << run;
    for (std::size_t k = warm; k < s.size(); ++k) {
        EXPECT_LE(std::llabs(s[k].live - s[warm].live), live_slack)
            << run << ": field " << k + 1 << " keeps " << s[k].live - s[warm].live << " bytes more";
        EXPECT_LE(s[k].hwm_kb - s[warm].hwm_kb, hwm_slack_kb) << run << ": field " << k + 1;
    }
    std::printf("%s: %zu fields, live heap %lld -> %lld bytes, VmHWM %ld -> %ld kB\n", run,
                s.size(), s[warm].live, s.back().live, s[warm].hwm_kb, s.back().hwm_kb);
}

TEST(Soak, AllItemsDataAndMapsKeepMemorySteady) {
    TempDir tmp("soak");
    const fs::path work = tmp.path / "work";
    fs::create_directories(work);
    write_map(work / "map.dat");
    // MSM with the double-resolution surface grid: 3 levels x 3 items x 4
    // hours, 36 fields of 15,120 and 60,480 cells.
    gpvgen::Forecast fc;
    fc.model = 5;
    fc.levels = {850, 0, 500};
    fc.items = {4, 23, 24};
    fc.last_hour = 9;
    fc.tile_cols = 20, fc.tile_rows = 21;
    const fs::path gpv_path = tmp.path / "big.gpv";
    ASSERT_TRUE(gpvgen::write_forecast(gpv_path.string(), fc));

    const fs::path before = fs::current_path();
    fs::current_path(work);
    platform::headless::set_echo(false);
    platform::headless::reset();
    app::dialog_init();
    ASSERT_EQ(app::open_file(gpv_path.string()), 1);
    using namespace platform;
    set_checked(app::IDC_SELECTED_ONLY, false);
    set_checked(app::IDC_ALL_ITEMS, true);
    set_text(app::IDC_SAVE_PATH, (tmp.path / "out").c_str());
    app::state.progress = on_field;

    set_checked(app::IDC_MODE_DATA, true);
    set_checked(app::IDC_MODE_IMAGE, false);
    // The first run fills the file's record index (it grows with each new
    // level and item); the second must then hold the heap steady throughout.
    app::execute_command();
    samples.clear();
    samples.reserve(256); // the samples themselves must not move the heap
    app::execute_command();
    std::vector<Sample> data = samples;

    set_checked(app::IDC_MODE_DATA, false);
    set_checked(app::IDC_MODE_IMAGE, true);
    list_select(app::IDC_FORMAT_LIST, 3); // png
    samples.clear();
    ::testing::internal::CaptureStdout(); // the end-of-plot reports
    app::execute_command();
    ::testing::internal::GetCapturedStdout();
    std::vector<Sample> maps = samples;

    app::state.progress = nullptr;
    app::shutdown();
    fs::current_path(before);
    EXPECT_TRUE(headless::messages().empty()) << headless::messages().front().text;

    EXPECT_EQ(data.size(), 36u);
    // A wind map draws both components: 12 of the 36 fields are paired.
    EXPECT_GE(maps.size(), 24u);
    expect_steady(data, 0, 4096, 1024, "data");
    expect_steady(maps, maps.size() / 2, 4096, 2048, "maps");
}

} // namespace
