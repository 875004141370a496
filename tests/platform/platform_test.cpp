// The clock and the headless backend. (Save folders made one level deep:
// the command-line tests.)
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(Platform, ClockHonoursSourceDateEpoch) {
    setenv("SOURCE_DATE_EPOCH", "1038960000", 1); // 2002-12-04 00:00:00 UTC
    const platform::DateTime u = platform::utc_now(), l = platform::local_now();
    unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_EQ(std::vector<int>({u.year, u.month, u.day, u.hour}),
              std::vector<int>({2002, 12, 4, 0}));
    EXPECT_EQ(l.year, 2002);
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
