#include "host/GeneralDate.h"

#include <cstdio>
#include <ctime>

std::string GeneralDateText(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm tm{};
  localtime_r(&t, &tm);
  int hour12 = tm.tm_hour % 12;
  if (hour12 == 0) hour12 = 12;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d/%d/%d %d:%02d:%02d %s", tm.tm_mon + 1, tm.tm_mday,
                tm.tm_year + 1900, hour12, tm.tm_min, tm.tm_sec, tm.tm_hour < 12 ? "AM" : "PM");
  return buf;
}
