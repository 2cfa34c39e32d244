#pragma once
// Text for JSON and other UTF-8 consumers (pure).
//
// Texts of this program are 8-bit. On the way out every valid UTF-8 sequence is kept as
// it is and every other byte is taken as Latin-1 and converted to UTF-8, so the result is
// always valid UTF-8. In a JSON string literal quotes and backslashes are escaped, control
// bytes (below 0x20, 0x7F, and the C1 controls U+0080..U+009F) become \u00XX, and U+2028/U+2029 become \u2028/\u2029 so
// the text is also safe inside JavaScript.
#include <string>
#include <string_view>

// The bytes as UTF-8: valid sequences kept, any other byte read as Latin-1.
std::string TextToUtf8(std::string_view bytes);
// A JSON string literal, quotes included.
std::string JsonString(std::string_view bytes);
