#include "host/LocalClock.h"

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
