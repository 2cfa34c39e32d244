#include "host/GeneralDate.h"

#include "common/DigitText.h"
#include "host/LocalClock.h"

std::string GeneralDateText(std::chrono::system_clock::time_point when) {
  const std::tm tm = LocalTm(std::chrono::system_clock::to_time_t(when));
  std::string out;
  out.reserve(24);
  AppendPadded(out, tm.tm_mon + 1, 1);
  out += '/';
  AppendPadded(out, tm.tm_mday, 1);
  out += '/';
  AppendPadded(out, tm.tm_year + 1900, 1);
  out += ' ';
  AppendTime12(out, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return out;
}
