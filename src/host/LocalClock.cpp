#include "host/LocalClock.h"

#include <ctime>

#include "common/DigitText.h"

std::string LocalTimeOfDay() {
  thread_local std::time_t offsetMinute = -1;  // the minute the offset was read in
  thread_local long offset = 0;                // seconds east of UTC
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const std::time_t minute = now.tv_sec / 60;
  if (minute != offsetMinute) {
    tzset();
    std::tm local{};
    if (localtime_r(&now.tv_sec, &local)) offset = local.tm_gmtoff;
    offsetMinute = minute;
  }
  const long long day = ((static_cast<long long>(now.tv_sec) + offset) % 86400 + 86400) % 86400;
  std::string text;
  text.reserve(8);
  AppendPadded(text, day / 3600, 2);
  text += ':';
  AppendPadded(text, day / 60 % 60, 2);
  text += ':';
  AppendPadded(text, day % 60, 2);
  return text;
}
