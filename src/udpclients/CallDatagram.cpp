#include "udpclients/CallDatagram.h"

#include <algorithm>

namespace {
bool IsLetter(const std::string& s, char upper) {
  return s.size() == 1 && (s[0] == upper || s[0] == static_cast<char>(upper + 32));
}

void AppendField(std::string& out, const std::string& text) {
  const std::size_t n = std::min(text.size(), kCallFieldSize);
  out.append(text, 0, n);
  out.append(kCallFieldSize - n, '\0');
}
}  // namespace

std::string SpecialName(const std::string& name) {
  if (IsLetter(name, 'O')) return "Unknown Name";
  if (IsLetter(name, 'P')) return "Private Caller";
  return name;
}

std::string SpecialNumber(const std::string& number) {
  if (IsLetter(number, 'O')) return "Unknown Number";
  if (IsLetter(number, 'P')) return "Private Number";
  return number;
}

std::string CallDatagram(const std::string& name, const std::string& number) {
  std::string out;
  out.reserve(kCallDatagramSize);
  out += '\x03';
  out.append(7, '\0');
  AppendField(out, SpecialName(name));
  AppendField(out, SpecialNumber(number));
  return out;
}
