#include "history/CallListing.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

// Length of the UTF-8 sequence that starts at text[i], or 0 when it is not a valid one
// (overlong forms, surrogates and code points past U+10FFFF are refused).
std::size_t Utf8Sequence(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  std::size_t n;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return n;
}

// Calls f(codePoint, utf8Bytes) for each character of a valid UTF-8 text.
template <typename F>
void ForEachCodePoint(std::string_view utf8, F f) {
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t n = Utf8Sequence(utf8, i);
    if (n == 0) n = 1;  // not reached for TextAsUtf8 output
    const auto c = static_cast<unsigned char>(utf8[i]);
    char32_t cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    for (std::size_t k = 1; k < n; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    f(cp, utf8.substr(i, n));
    i += n;
  }
}

bool IsControl(char32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

// The text for a terminal column, and its width in characters.
struct Cell {
  std::string text;
  std::size_t width = 0;
};

Cell TerminalCell(std::string_view text) {
  Cell cell;
  ForEachCodePoint(TextAsUtf8(text), [&](char32_t cp, std::string_view bytes) {
    if (IsControl(cp))
      cell.text += '?';
    else
      cell.text += bytes;
    ++cell.width;
  });
  return cell;
}

void AppendPadded(std::string& out, const Cell& cell, std::size_t width) {
  out += cell.text;
  out.append(width > cell.width ? width - cell.width : 0, ' ');
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Utf8Sequence(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string TextAsUtf8(std::string_view text) {
  if (IsValidUtf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() * 2);
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string LocalTimeText(std::chrono::system_clock::time_point time, bool iso) {
  const auto seconds = std::chrono::floor<std::chrono::seconds>(time.time_since_epoch()).count();
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return {};
  char text[40];
  std::strftime(text, sizeof text, iso ? "%Y-%m-%dT%H:%M:%S" : "%Y-%m-%d %H:%M:%S", &local);
  std::string out = text;
  if (iso) {
    const long offset = local.tm_gmtoff;
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    std::snprintf(text, sizeof text, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60,
                  minutes % 60);
    out += text;
  }
  return out;
}

std::string ListingText(const std::vector<StoredCall>& calls) {
  std::vector<Cell> numbers, names;
  std::size_t numberWidth = 0, nameWidth = 0;
  for (const StoredCall& call : calls) {
    numbers.push_back(TerminalCell(call.displayNumber.empty() ? call.number : call.displayNumber));
    names.push_back(TerminalCell(call.name));
    numberWidth = std::max(numberWidth, numbers.back().width);
    nameWidth = std::max(nameWidth, names.back().width);
  }
  std::string out;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    out += LocalTimeText(calls[i].time, false);
    out += "  ";
    AppendPadded(out, numbers[i], numberWidth);
    out += "  ";
    AppendPadded(out, names[i], nameWidth);
    out += "  ";
    out += NamedByText(calls[i].namedBy);
    out += '\n';
  }
  return out;
}

std::string ListingJson(const std::vector<StoredCall>& calls) {
  std::string out = "[";
  for (std::size_t i = 0; i < calls.size(); ++i) {
    const StoredCall& c = calls[i];
    out += i == 0 ? "\n" : ",\n";
    out += "{\"id\":" + std::to_string(c.id);
    out += ",\"time\":" + JsonString(LocalTimeText(c.time, true));
    out += ",\"number\":" + JsonString(c.number);
    out += ",\"display_number\":" + JsonString(c.displayNumber);
    out += ",\"name\":" + JsonString(c.name);
    out += ",\"caller_id_name\":" + JsonString(c.callerIdName);
    out += ",\"named_by\":" + JsonString(NamedByText(c.namedBy));
    out += ",\"source\":" + JsonString(CallSourceText(c.source));
    out += ",\"source_detail\":" + JsonString(c.sourceDetail);
    if (!c.firstName.empty()) out += ",\"first_name\":" + JsonString(c.firstName);
    out += '}';
  }
  out += calls.empty() ? "]\n" : "\n]\n";
  return out;
}
