#include "host/LocalClock.h"

#include "host/GeneralDate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

// The stamp is the local time of the zone in force, as the C library gives it,
// in a zone far from UTC too.
TEST(LocalClock, StampIsTheLocalTimeOfDay) {
  setenv("TZ", "XYZ-5:30", 1);  // five and a half hours east of UTC
  tzset();
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::time_t before = std::time(nullptr);
    const std::string stamp = LocalTimeOfDay();
    if (std::time(nullptr) != before) continue;  // a second boundary in between: try again
    std::tm local{};
    localtime_r(&before, &local);
    char expected[16];
    std::strftime(expected, sizeof expected, "%H:%M:%S", &local);
    EXPECT_EQ(stamp, expected);
    unsetenv("TZ");
    tzset();
    return;
  }
  FAIL() << "the clock never stood still for one call";
}

// The dated lines of the logs and tables: month/day/year and a 12-hour clock, at the hours
// where a 12-hour clock goes wrong most easily.
TEST(LocalClock, GeneralDateTextAroundTheDay) {
  setenv("TZ", "UTC0", 1);
  tzset();
  const struct {
    std::time_t at;
    const char* text;
  } rows[] = {
      {1798761600, "1/1/2027 12:00:00 AM"},     // midnight
      {1798804800, "1/1/2027 12:00:00 PM"},     // noon
      {1798761599, "12/31/2026 11:59:59 PM"},   // the last second of a year
      {1798765509, "1/1/2027 1:05:09 AM"},      // one-digit hour, padded minutes and seconds
  };
  for (const auto& row : rows)
    EXPECT_EQ(GeneralDateText(std::chrono::system_clock::from_time_t(row.at)), row.text);
  unsetenv("TZ");
  tzset();
}
