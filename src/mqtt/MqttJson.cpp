#include "mqtt/MqttJson.h"

#include <ctime>

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

void AppendTwoDigits(std::string& out, int v) {
  out += static_cast<char>('0' + v / 10 % 10);
  out += static_cast<char>('0' + v % 10);
}
}  // namespace

std::string MqttToUtf8(std::string_view bytes) {
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
  const std::string utf8 = MqttToUtf8(bytes);
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

std::string IsoTime(std::chrono::system_clock::time_point t, int offsetSeconds) {
  const std::time_t shifted = std::chrono::system_clock::to_time_t(t) + offsetSeconds;
  std::tm tm{};
  gmtime_r(&shifted, &tm);
  std::string out;
  out.reserve(25);
  const int year = tm.tm_year + 1900;
  AppendTwoDigits(out, year / 100);
  AppendTwoDigits(out, year % 100);
  out += '-';
  AppendTwoDigits(out, tm.tm_mon + 1);
  out += '-';
  AppendTwoDigits(out, tm.tm_mday);
  out += 'T';
  AppendTwoDigits(out, tm.tm_hour);
  out += ':';
  AppendTwoDigits(out, tm.tm_min);
  out += ':';
  AppendTwoDigits(out, tm.tm_sec);
  const int offsetMinutes = (offsetSeconds < 0 ? -offsetSeconds : offsetSeconds) / 60;
  out += offsetSeconds < 0 ? '-' : '+';
  AppendTwoDigits(out, offsetMinutes / 60);
  out += ':';
  AppendTwoDigits(out, offsetMinutes % 60);
  return out;
}

std::string LocalIsoTime(std::chrono::system_clock::time_point t) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
  std::tm tm{};
  localtime_r(&seconds, &tm);
  return IsoTime(t, static_cast<int>(tm.tm_gmtoff));
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view text) {
  return AddRaw(key, JsonString(text));
}

JsonObject& JsonObject::AddRaw(std::string_view key, std::string_view json) {
  if (text_.size() > 1) text_ += ',';
  text_ += JsonString(key);
  text_ += ':';
  text_ += json;
  return *this;
}

std::string MqttCallJson(const CompletedCall& call, const std::string& timeText, bool update) {
  JsonObject o;
  o.Add("event_type", "call")
      .Add("time", timeText)
      .Add("number", call.number)
      .Add("display_number", call.displayNumber)
      .Add("name", call.name)
      .Add("caller_id_name", call.callerIdName)
      .Add("named_by", NamedByText(call.namedBy))
      .Add("source", CallSourceText(call.source))
      .Add("source_detail", call.sourceDetail);
  if (update && !call.firstName.empty()) o.Add("first_name", call.firstName);
  return o.Text();
}
