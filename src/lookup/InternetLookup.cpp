#include "lookup/InternetLookup.h"

#include "common/ControlBytes.h"

namespace {

void AppendQueryText(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    const bool plain = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
                       u == '-' || u == '.' || u == '_' || u == '~';
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0x0F];
    }
  }
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Replaces every match of `from` (ASCII case ignored) by `to`, left to right.
std::string ReplaceNoCase(const std::string& s, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    bool match = i + from.size() <= s.size();
    for (std::size_t j = 0; match && j < from.size(); ++j) {
      match = LowerAscii(s[i + j]) == LowerAscii(from[j]);
    }
    if (match) {
      out += to;
      i += from.size();
    } else {
      out += s[i++];
    }
  }
  return out;
}

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

std::string ReverseLookupURL(std::string_view baseURL, std::string_view key) {
  while (!baseURL.empty() && baseURL.back() == '/') baseURL.remove_suffix(1);
  if (baseURL.empty() || key.size() != 10) return {};
  std::string url(baseURL);
  url += "/qry/wp_rl?npa=";
  AppendQueryText(url, key.substr(0, 3));
  url += "&telephone=";
  AppendQueryText(url, key.substr(3));
  url += "&btnsubmit.x=22&btnsubmit.y=16";
  return url;
}

std::string InternetLookup(std::string_view page) {
  constexpr std::string_view kHeading = "<B>Reverse Telephone Listings</B>";
  const std::size_t heading = page.find(kHeading);
  if (heading == std::string_view::npos) return {};
  const std::size_t open = page.find("<B>", heading + kHeading.size());
  if (open == std::string_view::npos) return {};
  const std::size_t close = page.find("</B>", open);
  if (close == std::string_view::npos) return {};

  std::string text(page.substr(open + 3, close - open - 3));
  if (const std::size_t comma = text.find(','); comma != std::string::npos) {
    const std::string swapped = text.substr(comma + 1) + " " + text.substr(0, comma);
    text = std::string(TrimSpaces(swapped));
  }
  text = ReplaceNoCase(text, "&amp;", "&");
  text = ReplaceNoCase(text, "&lt;", "<");
  text = ReplaceNoCase(text, "&gt;", ">");
  // The page is someone else's text: no control byte reaches a message or contact.
  BlankControlBytes(text);
  return text;
}
