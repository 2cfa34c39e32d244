#pragma once
// BlankControlBytes: every byte 0x00-0x1F and 0x7F of a text replaced by a blank.
// Texts from outside (caller-ID device, web pages, contact files) pass through it
// before use, so no such byte can act as a separator inside the program's own
// messages or files. Bytes of 0x80 and above (UTF-8, Latin-1) stay.
#include <string>
#include <string_view>

inline void BlankControlBytes(std::string& text) {
  for (char& c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = ' ';
  }
}

inline std::string WithControlBytesBlanked(std::string_view text) {
  std::string out(text);
  BlankControlBytes(out);
  return out;
}
