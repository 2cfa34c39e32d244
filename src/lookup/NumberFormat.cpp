#include "lookup/NumberFormat.h"

std::string NumberKey(std::string_view s) {
  std::string key;
  key.reserve(s.size());
  for (char c : s) {
    if (c != '-' && c != '(' && c != ')' && c != ' ') key += c;
  }
  return key;
}

std::string NationalNumber(std::string_view s) {
  std::string digits;
  digits.reserve(s.size());
  for (char c : s) {
    if (c >= '0' && c <= '9') digits += c;
  }
  if (digits.size() == 11 && digits.front() == '1') digits.erase(0, 1);
  return digits;
}

std::string FormatPhoneNumber(std::string_view s, bool stripPrefix) {
  if (stripPrefix && s.size() > 10 && s.front() == '1') s.remove_prefix(1);

  std::string out;
  if (s.size() == 11) {
    out.reserve(13);
    out.append(s.substr(0, 4)).append(" ").append(s.substr(4, 3)).append(" ").append(s.substr(7));
  } else if (s.size() > 11 || (s.size() == 10 && s.front() == '*')) {
    out.assign(s);
  } else if (s.size() == 10) {
    out.reserve(14);
    out.append("(").append(s.substr(0, 3)).append(") ").append(s.substr(3, 3)).append("-");
    out.append(s.substr(6));
  } else if (s.size() == 7) {
    out.reserve(8);
    out.append(s.substr(0, 3)).append("-").append(s.substr(3));
  } else {
    out.assign(s);
  }
  return out;
}
