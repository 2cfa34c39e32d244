#include "web/WebJson.h"

#include <ctime>

#include "common/JsonText.h"

namespace web {
namespace {

void Field(std::string& out, const char* name, std::string_view value) {
  out += '"';
  out += name;
  out += "\":";
  out += JsonString(value);
  out += ',';
}

void Number(std::string& out, const char* name, std::int64_t value) {
  out += '"';
  out += name;
  out += "\":";
  out += std::to_string(value);
  out += ',';
}

void Close(std::string& out) {
  if (!out.empty() && out.back() == ',') out.pop_back();
  out += '}';
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

std::int64_t EpochMs(Time time) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

std::string TimeText(Time time) {
  const std::int64_t ms = EpochMs(time);
  std::int64_t seconds = ms / 1000, rest = ms % 1000;
  if (rest < 0) rest += 1000, --seconds;
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(rest));
  return text;
}

std::optional<Time> ParseTimeParam(std::string_view text) {
  if (text.empty() || text.size() > 30) return std::nullopt;
  bool digitsOnly = true;
  for (char c : text) digitsOnly = digitsOnly && c >= '0' && c <= '9';
  if (digitsOnly) {
    if (text.size() > 15) return std::nullopt;
    std::int64_t ms = 0;
    for (char c : text) ms = ms * 10 + (c - '0');
    return Time(std::chrono::milliseconds(ms));
  }
  // YYYY-MM-DDTHH:MM:SS[.fff]Z
  auto number = [&](std::size_t at, std::size_t n, int& out) {
    if (at + n > text.size()) return false;
    out = 0;
    for (std::size_t i = at; i < at + n; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      out = out * 10 + (text[i] - '0');
    }
    return true;
  };
  int y, mo, d, h, mi, s, ms = 0;
  if (text.size() < 20 || !number(0, 4, y) || text[4] != '-' || !number(5, 2, mo) ||
      text[7] != '-' || !number(8, 2, d) || (text[10] != 'T' && text[10] != ' ') ||
      !number(11, 2, h) || text[13] != ':' || !number(14, 2, mi) || text[16] != ':' ||
      !number(17, 2, s))
    return std::nullopt;
  std::size_t at = 19;
  if (text[at] == '.') {
    std::size_t digits = 0;
    int scale = 100;
    for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
      ms += (text[at] - '0') * scale;
      scale /= 10;
    }
    if (digits == 0 || digits > 9) return std::nullopt;
  }
  if (at + 1 != text.size() || text[at] != 'Z') return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return std::nullopt;
  const std::int64_t days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  const std::int64_t total = ((days * 24 + h) * 60 + mi) * 60 + s;
  return Time(std::chrono::milliseconds(total * 1000 + ms));
}

std::string CallJson(const CompletedCall& call, std::int64_t id) {
  std::string out = "{";
  Number(out, "id", id);
  Field(out, "time", TimeText(call.time));
  Number(out, "ms", EpochMs(call.time));
  Field(out, "number", call.number);
  Field(out, "displayNumber", call.displayNumber);
  Field(out, "name", call.name);
  Field(out, "callerIdName", call.callerIdName);
  Field(out, "firstName", call.firstName);
  Field(out, "namedBy", NamedByText(call.namedBy));
  Field(out, "source", CallSourceText(call.source));
  Close(out);
  return out;
}

std::string CallsJson(const std::vector<StoredCall>& calls, bool more) {
  std::string out = "{\"calls\":[";
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (i) out += ',';
    out += CallJson(calls[i], calls[i].id);
  }
  out += "],\"next\":";
  out += more && !calls.empty() ? std::to_string(EpochMs(calls.back().time)) : "null";
  out += '}';
  return out;
}

std::string StatusJson(const WebStatus& s) {
  std::string out = "{\"link\":{";
  out += "\"open\":";
  out += s.linkOpen ? "true," : "false,";
  Field(out, "state", s.linkState);
  Field(out, "reason", s.linkReason);
  if (s.linkSince) {
    Field(out, "since", TimeText(*s.linkSince));
    Number(out, "sinceMs", EpochMs(*s.linkSince));
  }
  Close(out);
  out += ",\"xap\":{";
  Field(out, "transport", s.xapTransport);
  Number(out, "port", s.xapPort);
  Close(out);
  out += ',';
  Number(out, "displayClients", s.displayClients);
  if (!s.mqtt.empty()) Field(out, "mqtt", s.mqtt);
  if (!s.ncid.empty()) Field(out, "ncid", s.ncid);
  Field(out, "version", s.version);
  Number(out, "uptimeSeconds", s.uptimeSeconds);
  Close(out);
  return out;
}

}  // namespace web
