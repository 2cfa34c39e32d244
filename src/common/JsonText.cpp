#include "common/JsonText.h"

namespace {
// Length of the valid UTF-8 sequence starting at s[i], or 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
  auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  auto cont = [&](std::size_t k, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return k < s.size() && at(k) >= lo && at(k) <= hi;
  };
  const unsigned char c = at(i);
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return cont(i + 1) ? 2 : 0;
  if (c == 0xE0) return cont(i + 1, 0xA0) && cont(i + 2) ? 3 : 0;
  if (c == 0xED) return cont(i + 1, 0x80, 0x9F) && cont(i + 2) ? 3 : 0;  // no surrogates
  if (c >= 0xE1 && c <= 0xEF) return cont(i + 1) && cont(i + 2) ? 3 : 0;
  if (c == 0xF0) return cont(i + 1, 0x90) && cont(i + 2) && cont(i + 3) ? 4 : 0;
  if (c >= 0xF1 && c <= 0xF3) return cont(i + 1) && cont(i + 2) && cont(i + 3) ? 4 : 0;
  if (c == 0xF4) return cont(i + 1, 0x80, 0x8F) && cont(i + 2) && cont(i + 3) ? 4 : 0;
  return 0;
}

void AppendLatin1(std::string& out, unsigned char c) {
  out += static_cast<char>(0xC0 | (c >> 6));
  out += static_cast<char>(0x80 | (c & 0x3F));
}

}  // namespace

std::string TextToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t n = Utf8SequenceLength(bytes, i);
    if (n == 0) {
      AppendLatin1(out, static_cast<unsigned char>(bytes[i]));
      ++i;
    } else {
      out.append(bytes, i, n);
      i += n;
    }
  }
  return out;
}

std::string JsonString(std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  const std::string utf8 = TextToUtf8(bytes);
  std::string out;
  out.reserve(utf8.size() + 2);
  out += '"';
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else if (c == 0xC2 && i + 1 < utf8.size() &&
               static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) {
      // C1 control characters (U+0080..U+009F) are escaped like the C0 ones.
      const unsigned char d = static_cast<unsigned char>(utf8[i + 1]);
      out += "\\u00";
      out += kHex[d >> 4];
      out += kHex[d & 0xF];
      ++i;
    } else if (c == 0xE2 && i + 2 < utf8.size() &&
               static_cast<unsigned char>(utf8[i + 1]) == 0x80 &&
               (static_cast<unsigned char>(utf8[i + 2]) == 0xA8 ||
                static_cast<unsigned char>(utf8[i + 2]) == 0xA9)) {
      out += static_cast<unsigned char>(utf8[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
  return out;
}

