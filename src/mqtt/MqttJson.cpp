#include "mqtt/MqttJson.h"

#include <ctime>

#include "common/DigitText.h"

namespace {
void AppendTwoDigits(std::string& out, int v) { AppendPadded(out, v % 100, 2); }
}  // namespace

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
      .Add("number", ReceivedNumber(call))
      .Add("display_number", call.displayNumber)
      .Add("name", call.name)
      .Add("caller_id_name", call.callerIdName)
      .Add("named_by", NamedByText(call.namedBy))
      .Add("source", CallSourceText(call.source))
      .Add("source_detail", call.sourceDetail);
  if (update && !call.firstName.empty()) o.Add("first_name", call.firstName);
  return o.Text();
}
