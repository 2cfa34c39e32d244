#pragma once
// Text crossing between the program's 8-bit strings and Qt widgets. Every byte maps to
// one character and back (Latin-1), so no text is ever re-encoded; characters a user
// types outside Latin-1 come back as "?".
//  - ToQ / FromQ: plain conversion.
//  - ForDisplay: CR LF (and a lone CR) become the line feed a text view expects.
#include <QString>
#include <string>
#include <string_view>

inline QString ToQ(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string FromQ(const QString& text) { return text.toLatin1().toStdString(); }

inline QString ForDisplay(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return ToQ(out);
}
