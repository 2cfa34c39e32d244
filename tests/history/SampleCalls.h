#pragma once
// Sample calls and a fixed time zone for the call-history tests (no Qt).
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <string>

#include "common/CompletedCall.h"

namespace history_test {

using Clock = std::chrono::system_clock;
using namespace std::chrono_literals;

// 2026-12-10 13:03:22.250 UTC
inline Clock::time_point BaseTime() { return Clock::time_point(1796907802250ms); }

inline CompletedCall Call(int n, Clock::time_point time = BaseTime()) {
  CompletedCall c;
  c.time = time + std::chrono::minutes(n);
  c.number = "555" + std::to_string(1000000 + n);
  c.displayNumber = "(555)" + std::to_string(100 + n % 900) + "-" + std::to_string(1000 + n % 9000);
  c.callerIdName = "CALLER " + std::to_string(n);
  c.name = "Caller " + std::to_string(n);
  c.namedBy = NamedBy::Phonebook;
  c.source = CallSource::Serial;
  c.sourceDetail = "/dev/ttyACM0";
  return c;
}

// Sets TZ for the life of the object.
class TimeZone {
 public:
  explicit TimeZone(const char* tz) {
    if (const char* old = getenv("TZ")) old_ = old, had_ = true;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~TimeZone() {
    if (had_)
      setenv("TZ", old_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::string old_;
  bool had_ = false;
};

}  // namespace history_test
