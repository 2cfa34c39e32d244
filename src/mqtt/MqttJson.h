#pragma once
// JSON texts of the MQTT output (pure).
//
// Texts of this program are 8-bit. On the way into JSON every valid UTF-8 sequence is
// kept as it is and every other byte is taken as Latin-1 and converted to UTF-8, so the
// result is always valid UTF-8. Quotes and backslashes are escaped, control bytes
// (below 0x20, and 0x7F) become \u00XX, and U+2028/U+2029 become \u2028/\u2029 so the
// text is also safe inside JavaScript.
//
// The call object, in this key order:
//   {"event_type":"call","time":"2024-05-01T14:03:07+02:00","number":"5559876543",
//    "display_number":"(555)987-6543","name":"Mary Smith","caller_id_name":"SMITH MARY",
//    "named_by":"phonebook","source":"serial","source_detail":"/dev/ttyACM0"}
// "event_type" lets a Home Assistant event entity take the object as it is. An update
// (the reverse lookup named the call later) is the same object with the new "name",
// plus "first_name", the name announced first, when that is known.
#include <chrono>
#include <string>
#include <string_view>

#include "common/CompletedCall.h"
#include "common/JsonText.h"


// ISO 8601 with seconds and the given offset from UTC, e.g. "2024-05-01T14:03:07+02:00"
// (offset 0 is written "+00:00").
std::string IsoTime(std::chrono::system_clock::time_point t, int offsetSeconds);
// The same in the local time zone of the process.
std::string LocalIsoTime(std::chrono::system_clock::time_point t);

// The call object; timeText is the value of "time".
std::string MqttCallJson(const CompletedCall& call, const std::string& timeText, bool update);

// Builds one JSON object, member by member, in the order given.
class JsonObject {
 public:
  JsonObject& Add(std::string_view key, std::string_view text);     // a string
  JsonObject& AddRaw(std::string_view key, std::string_view json);  // JSON as written
  std::string Text() const { return text_ + "}"; }

 private:
  std::string text_ = "{";
};
