#include "host/LocalClock.h"

#include "host/GeneralDate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

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

// The broken-down local time matches the C library's field for field, in zones with and
// without daylight saving time, at the switches, around leap days and over a century.
TEST(LocalClock, LocalTmIsWhatLocaltimeGives) {
  const char* zones[] = {"UTC0", "XYZ-5:30", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0"};
  std::vector<std::time_t> times = {0,          951782400,  1709208000, 1774745999, 1774746000,
                                    1792889999, 1792890000, 1798761599, 1798761600, 4102444800};
  for (std::time_t t = 86399; t < 4102444800; t += 7777777) times.push_back(t);
  for (const char* zone : zones) {
    setenv("TZ", zone, 1);
    tzset();
    for (std::time_t t : times) {
      std::tm expected{};
      localtime_r(&t, &expected);
      const std::tm got = LocalTm(t);
      SCOPED_TRACE(std::string(zone) + " at " + std::to_string(t));
      EXPECT_EQ(got.tm_year, expected.tm_year);
      EXPECT_EQ(got.tm_mon, expected.tm_mon);
      EXPECT_EQ(got.tm_mday, expected.tm_mday);
      EXPECT_EQ(got.tm_hour, expected.tm_hour);
      EXPECT_EQ(got.tm_min, expected.tm_min);
      EXPECT_EQ(got.tm_sec, expected.tm_sec);
      EXPECT_EQ(got.tm_wday, expected.tm_wday);
      EXPECT_EQ(got.tm_yday, expected.tm_yday);
      EXPECT_EQ(got.tm_isdst, expected.tm_isdst);
      EXPECT_EQ(got.tm_gmtoff, expected.tm_gmtoff);
    }
  }
  unsetenv("TZ");
  tzset();
}
