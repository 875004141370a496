// The clock and the headless backend. (Save folders made one level deep:
// the command-line tests.)
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

TEST(Platform, OnlyTheLocalClockHonoursSourceDateEpoch) {
    setenv("SOURCE_DATE_EPOCH", "1038960000", 1); // 2002-12-04 00:00:00 UTC
    const platform::DateTime u = platform::utc_now(), l = platform::local_now();
    unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_EQ(std::vector<int>({l.year, l.month, l.day, l.hour}),
              std::vector<int>({2002, 12, 4, 0}));
    // gpv.log's clock is the real one.
    std::time_t now = std::time(nullptr);
    std::tm t{};
    gmtime_r(&now, &t);
    EXPECT_EQ(u.year, t.tm_year + 1900);
}

TEST(Platform, TypedPathsAreResolvedAgainstTheFolderShown) {
    const char* home = std::getenv("HOME");
    const std::string old_home = home ? home : "";
    setenv("HOME", "/home/met", 1);
    const struct {
        const char *folder, *typed, *want;
    } cases[] = {
        {"/data/run", "sample.gpv", "/data/run/sample.gpv"},
        {"/data/run", "sub/x.gpv", "/data/run/sub/x.gpv"},
        {"/data/run", "../other//x.gpv", "/data/other/x.gpv"},
        {"/data/run", "/tmp/x/sample.gpv", "/tmp/x/sample.gpv"},
        {"/data/run", "  ./a.gpv \n", "/data/run/a.gpv"},
        {"/data/run", "~/b.gpv", "/home/met/b.gpv"},
        {"/", "../..", "/"},
        {"/data/run", "", "/data/run"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::resolve_typed_path(c.folder, c.typed), c.want) << c.typed;
    if (home)
        setenv("HOME", old_home.c_str(), 1);
    else
        unsetenv("HOME");
}

TEST(Platform, HeadlessListsAndMessages) {
    platform::headless::reset();
    platform::headless::set_echo(false);
    platform::list_insert(108, -1, "1000");
    platform::list_insert(108, -1, "500");
    platform::list_insert(108, 1, "850");
    EXPECT_EQ(platform::list_count(108), 3);
    EXPECT_EQ(platform::list_text(108, 1), "850");
    EXPECT_EQ(platform::list_text(108, 3), "");
    platform::list_select(108, 5); // outside the list: nothing selected
    EXPECT_EQ(platform::list_selected(108), -1);
    platform::list_select(108, 2);
    EXPECT_EQ(platform::list_text(108, platform::list_selected(108)), "500");
    platform::list_reset(108);
    EXPECT_EQ(platform::list_count(108), 0);
    platform::message_box("File not opened yet.", "Execute_CMD", true);
    ASSERT_EQ(platform::headless::messages().size(), 1u);
    EXPECT_EQ(platform::headless::messages()[0].title, "Execute_CMD");
    std::string chosen;
    EXPECT_FALSE(platform::choose_open_file("Open", "/", chosen));
    platform::headless::set_next_chosen_file("/tmp/x.gpv");
    EXPECT_TRUE(platform::choose_open_file("Open", "/", chosen));
    EXPECT_EQ(chosen, "/tmp/x.gpv");
    platform::headless::reset();
    platform::headless::set_echo(true);
}
