#pragma once
// The program-wide encoding of the items of one xAP body section, as handed to
// SendXap: each item is its name, the character with code 1 and its value;
// items are separated by the character with code 0.
//
// Names and values pass through XapClean on the way in: a control byte (0x00-0x1F,
// 0x7F) becomes a blank, so no text can add, cut or reorder an item, or a line of
// the message it ends up in.
#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>

// text appended to out with every control byte (0x00-0x1F and 0x7F) replaced by a blank.
inline void AppendXapClean(std::string& out, std::string_view text) {
  const std::size_t start = out.size();
  out.append(text);
  for (std::size_t i = start; i < out.size(); ++i)
    if (static_cast<unsigned char>(out[i]) < 0x20 || out[i] == '\x7F') out[i] = ' ';
}

// text with every control byte (0x00-0x1F and 0x7F) replaced by a blank.
inline std::string XapClean(std::string_view text) {
  std::string out;
  AppendXapClean(out, text);
  return out;
}

// text cut to at most maxBytes bytes, ending in "..." when cut; the cut falls on a character
// boundary of UTF-8 text (never inside a multi-byte sequence). maxBytes below 3 is taken as 3.
inline std::string XapCut(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  if (maxBytes < 3) maxBytes = 3;
  std::size_t keep = maxBytes - 3;
  // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
  while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) --keep;
  return std::string(text.substr(0, keep)) + "...";
}

// The items of one section as name and value pairs, before encoding.
using XapItemList = std::span<const std::pair<std::string_view, std::string_view>>;

inline std::string XapItems(XapItemList items) {
  std::size_t size = 0;
  for (const auto& [name, value] : items) size += name.size() + value.size() + 2;
  std::string out;
  out.reserve(size);
  for (const auto& [name, value] : items) {
    if (!out.empty()) out += '\0';
    AppendXapClean(out, name);
    out += '\x01';
    AppendXapClean(out, value);
  }
  return out;
}

inline std::string XapItems(
    std::initializer_list<std::pair<std::string_view, std::string_view>> items) {
  return XapItems(XapItemList(items.begin(), items.size()));
}
