#pragma once
// The program-wide encoding of the items of one xAP body section, as handed to
// SendXap: each item is its name, the character with code 1 and its value;
// items are separated by the character with code 0.
#include <initializer_list>
#include <string>
#include <utility>

inline std::string XapItems(std::initializer_list<std::pair<std::string, std::string>> items) {
  std::string out;
  bool first = true;
  for (const auto& [name, value] : items) {
    if (!first) out += '\0';
    first = false;
    out += name;
    out += '\x01';
    out += value;
  }
  return out;
}
