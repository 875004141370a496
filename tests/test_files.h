// Helpers of the tests: temporary folders, files from bytes, and GPV records
// made with the writer library.
#pragma once

#include "gpv/gpv.h"
#include "gpvgen/gpvgen.h"
#include "platform/platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace testfiles {

namespace fs = std::filesystem;

// The data library's reports go to the headless message boxes, as the
// application's do.
inline const bool reports_shown = (
    gpv::report = [](const char* title,
                     const char* text) { platform::message_box(text, title, false); },
    true);

// A fresh empty folder under the system's temporary folder.
// Named after the running test, so that tests run in parallel never share one.
inline fs::path fresh_dir(const std::string& name) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path p =
        fs::temp_directory_path() /
        ("kivar_test_" + name + "_" + (test ? test->name() : "") + "_" + std::to_string(getpid()));
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

// Removes its folder at the end of the test.
struct TempDir {
    fs::path path;
    explicit TempDir(const std::string& name) : path(fresh_dir(name)) {}
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// A test of the data library in a folder of its own, its message boxes
// headless and silent, from an empty header.
struct GpvTest : ::testing::Test {
    TempDir tmp{::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name()};
    fs::path dir = tmp.path;
    void SetUp() override {
        platform::headless::reset();
        platform::headless::set_echo(false);
        gpv::header = {};
    }
};

// "TITLE: TEXT" of the last message box, or "".
inline std::string last_message() {
    auto& m = platform::headless::messages();
    return m.empty() ? "" : m.back().title + ": " + m.back().text;
}

inline void write_file(const fs::path& p, const gpvgen::Bytes& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

inline std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The lines of a text, without their ends.
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

inline gpvgen::Bytes concat(std::initializer_list<gpvgen::Bytes> parts) {
    gpvgen::Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A record of one tile whose X values are `x` (one forecast time unless the
// caller sets more); the value of cell k is reference + x[k].
inline gpvgen::Record tile(int item, int level, int c0, int r0, int c1, int r1, int x_value = 0,
                           int times = 1) {
    gpvgen::Record r;
    r.item = item;
    r.level = level;
    r.col_first = c0, r.row_first = r0, r.col_last = c1, r.row_last = r1;
    r.last_hour = 3 * (times - 1);
    r.x.assign(static_cast<std::size_t>((c1 - c0 + 1) * (r1 - r0 + 1) * times), x_value);
    return r;
}

// A forecast file of the levels and items given, hours 0 to last_hour.
inline bool write_forecast(const fs::path& p, std::vector<int> levels, std::vector<int> items,
                           int last_hour) {
    gpvgen::Forecast fc;
    fc.levels = std::move(levels), fc.items = std::move(items), fc.last_hour = last_hour;
    return gpvgen::write_forecast(p.string(), fc);
}

// A map.dat of the right size: one short coastline, then end marks.
inline void write_map(const fs::path& p) {
    std::vector<float> v(2 * 8535, -999.0f);
    for (int k = 0; k < 6; ++k)
        v[k] = 130.0f + k, v[8535 + k] = 35.0f;
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(v.data()), static_cast<std::streamsize>(4 * v.size()));
}

} // namespace testfiles
