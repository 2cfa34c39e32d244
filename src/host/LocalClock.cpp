#include "host/LocalClock.h"

#include "common/DigitText.h"

namespace {

struct Zone {
  long offset = 0;  // seconds east of UTC
  int isDst = 0;
};

// The zone in force at t, asked of the C library once for each minute it is asked about.
Zone ZoneAt(std::time_t t) {
  thread_local std::time_t cachedMinute = -1;
  thread_local Zone zone;
  const std::time_t minute = t / 60;
  if (minute != cachedMinute) {
    tzset();
    std::tm local{};
    if (localtime_r(&t, &local)) zone = Zone{local.tm_gmtoff, local.tm_isdst};
    cachedMinute = minute;
  }
  return zone;
}

long long FloorDiv(long long a, long long b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian calendar).
long long DaysFromCivil(long long y, int m, int d) {
  y -= m <= 2;
  const long long era = FloorDiv(y, 400);
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

std::tm LocalTm(std::time_t t) {
  const Zone zone = ZoneAt(t);
  const long long local = static_cast<long long>(t) + zone.offset;
  const long long days = FloorDiv(local, 86400);
  const long long second = local - days * 86400;
  // The civil date of a day count (proleptic Gregorian calendar).
  const long long z = days + 719468;
  const long long era = FloorDiv(z, 146097);
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const long long year = yoe + era * 400 + (month <= 2);
  std::tm tm{};
  tm.tm_sec = static_cast<int>(second % 60);
  tm.tm_min = static_cast<int>(second / 60 % 60);
  tm.tm_hour = static_cast<int>(second / 3600);
  tm.tm_mday = day;
  tm.tm_mon = month - 1;
  tm.tm_year = static_cast<int>(year - 1900);
  const long long weekday = (days + 4) % 7;  // 1970-01-01 was a Thursday
  tm.tm_wday = static_cast<int>(weekday < 0 ? weekday + 7 : weekday);
  tm.tm_yday = static_cast<int>(days - DaysFromCivil(year, 1, 1));
  tm.tm_isdst = zone.isDst;
  tm.tm_gmtoff = zone.offset;
  return tm;
}

std::string LocalTimeOfDay() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const long long local = static_cast<long long>(now.tv_sec) + ZoneAt(now.tv_sec).offset;
  const long long day = local - FloorDiv(local, 86400) * 86400;
  std::string text;
  text.reserve(8);
  AppendPadded(text, day / 3600, 2);
  text += ':';
  AppendPadded(text, day / 60 % 60, 2);
  text += ':';
  AppendPadded(text, day % 60, 2);
  return text;
}
