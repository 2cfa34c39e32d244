#pragma once
// Small 8-bit text helpers shared by the caller-ID code. Case folding is ASCII
// only, so results do not depend on the process locale; other bytes compare
// exactly.
#include <cstddef>
#include <string>
#include <string_view>

namespace cid {

inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

inline std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

// First position of needle in text, ignoring ASCII case; npos when absent. An
// empty needle is never found: an empty setting must not match every line.
inline std::size_t FindNoCase(std::string_view text, std::string_view needle) {
  if (needle.empty() || needle.size() > text.size()) return std::string_view::npos;
  for (std::size_t i = 0; i + needle.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < needle.size() && AsciiUpper(text[i + k]) == AsciiUpper(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::string_view::npos;
}

// Removes leading and trailing spaces (spaces only, not tabs).
inline std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return std::string(s.substr(b, e - b));
}

inline std::string RemoveCrLf(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

inline std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string out;
  out.reserve(s.size());
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = s.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(s.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(s.substr(pos));
  return out;
}

}  // namespace cid
