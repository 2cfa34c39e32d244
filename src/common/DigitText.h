#pragma once
// Numbers written as decimal digits into a string, zero-padded to a width: the date and
// time texts of every call are built with these instead of a printf per field.
#include <string>

// value (0 or more) appended with at least width digits, zero-padded on the left.
inline void AppendPadded(std::string& out, long long value, int width) {
  char digits[24];
  int n = 0;
  unsigned long long v = value < 0 ? 0 : static_cast<unsigned long long>(value);
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0 && n < static_cast<int>(sizeof digits));
  for (int i = n; i < width; ++i) out += '0';
  while (n > 0) out += digits[--n];
}

// A time of day on a 12-hour clock, as "h:mm:ss AM" / "h:mm:ss PM" (hour 0-23).
inline void AppendTime12(std::string& out, int hour, int minute, int second) {
  AppendPadded(out, hour % 12 == 0 ? 12 : hour % 12, 1);
  out += ':';
  AppendPadded(out, minute, 2);
  out += ':';
  AppendPadded(out, second, 2);
  out += hour < 12 ? " AM" : " PM";
}
