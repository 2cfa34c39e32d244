#include "ncid/NcidProtocol.h"

#include <cstdio>
#include <ctime>

namespace ncid {
namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IsBlank(std::string_view s) { return TrimBlanks(s).empty(); }

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool IsOutOfArea(std::string_view text) {
  const std::string upper = UpperAscii(TrimBlanks(text));
  return upper == "O" || upper.rfind("OUT", 0) == 0;
}

bool IsPrivateNumber(std::string_view text) {
  const std::string upper = UpperAscii(TrimBlanks(text));
  return upper == "P" || upper == "PRIVATE";
}

void AppendField(std::string& out, std::string_view key, std::string_view value) {
  out += key;
  out += '*';
  out += CleanField(value);
  out += '*';
}

// Date and time from a broken-down local time.
CallFields FieldsAt(const std::tm& local) {
  char date[32];
  char time[32];
  std::snprintf(date, sizeof date, "%02d%02d%04d", local.tm_mon + 1, local.tm_mday,
                local.tm_year + 1900);
  std::snprintf(time, sizeof time, "%02d%02d", local.tm_hour, local.tm_min);
  CallFields f;
  f.date = date;
  f.time = time;
  return f;
}

}  // namespace

std::string CleanField(std::string_view text) {
  std::string out(text.substr(0, kMaxField));
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || c == '*') c = ' ';
  }
  return out;
}

CallFields NcidFieldsOf(const CompletedCall& call, std::string_view lineLabel) {
  const std::time_t t = std::chrono::system_clock::to_time_t(call.time);
  std::tm local{};
  localtime_r(&t, &local);
  CallFields f = FieldsAt(local);
  f.line = IsBlank(CleanField(lineLabel)) ? std::string("-") : CleanField(lineLabel);
  const std::string number = CleanField(ReceivedNumber(call));
  f.number = IsBlank(number) ? std::string(kNoNumber) : number;
  if (IsOutOfArea(call.number) || IsOutOfArea(call.callerIdName))
    f.name = kOutOfArea;
  else if (call.namedBy == NamedBy::Withheld || IsPrivateNumber(call.number))
    f.name = kPrivate;
  else
    f.name = IsBlank(CleanField(call.name)) ? std::string(kNoName) : CleanField(call.name);
  return f;
}

std::string FormatCallLine(std::string_view type, const CallFields& fields) {
  std::string out;
  out.reserve(96 + fields.line.size() + fields.number.size() + fields.name.size());
  out += type;
  out += ": *";
  AppendField(out, "DATE", fields.date);
  AppendField(out, "TIME", fields.time);
  AppendField(out, "LINE", fields.line);
  AppendField(out, "NMBR", fields.number);
  AppendField(out, "MESG", "NONE");
  AppendField(out, "NAME", fields.name);
  out += "\r\n";
  return out;
}

std::string ServerGreeting(std::string_view serverName) {
  std::string out = "200 ";
  out += CleanField(serverName);
  out += "\r\n";
  out += kApiLine;
  out += "\r\n";
  return out;
}

std::string CallLogSection(const std::vector<CompletedCall>& calls, std::string_view lineLabel,
                           bool sendLog) {
  if (!sendLog) return "251 Call log not sent\r\n";
  if (calls.empty()) return "252 Call log empty\r\n";
  std::string out;
  for (const CompletedCall& call : calls)
    out += FormatCallLine("CIDLOG", NcidFieldsOf(call, lineLabel));
  out += "250 End of call log\r\n";
  return out;
}

ClientLine ClassifyClientLine(std::string_view line) {
  line = TrimBlanks(line);
  if (line.empty()) return ClientLine::KeepAlive;
  constexpr std::string_view kHello = "HELLO:";
  if (line.substr(0, kHello.size()) != kHello) return ClientLine::Other;
  std::string_view rest = TrimBlanks(line.substr(kHello.size()));
  constexpr std::string_view kCmd = "CMD:";
  if (rest.substr(0, kCmd.size()) == kCmd && TrimBlanks(rest.substr(kCmd.size())) == "no_log")
    return ClientLine::HelloNoLog;
  return ClientLine::Hello;
}

std::optional<ReceivedCall> ParseCidLine(std::string_view line) {
  constexpr std::string_view kCid = "CID:";
  if (line.substr(0, kCid.size()) != kCid) return std::nullopt;
  std::string_view rest = TrimBlanks(line.substr(kCid.size()));
  if (rest.empty() || rest.front() != '*') return std::nullopt;
  rest.remove_prefix(1);

  // Key and value alternate, each closed by "*".
  std::optional<std::string> number;
  std::string name;
  for (;;) {
    const std::size_t keyEnd = rest.find('*');
    if (keyEnd == std::string_view::npos) break;
    const std::string_view key = rest.substr(0, keyEnd);
    rest.remove_prefix(keyEnd + 1);
    const std::size_t valueEnd = rest.find('*');
    const std::string_view value = rest.substr(0, valueEnd);
    if (key == "NMBR") number = std::string(TrimBlanks(CleanField(value)));
    if (key == "NAME") name = std::string(TrimBlanks(CleanField(value)));
    if (valueEnd == std::string_view::npos) break;
    rest.remove_prefix(valueEnd + 1);
  }
  if (!number) return std::nullopt;
  return ReceivedCall{std::move(*number), std::move(name)};
}

}  // namespace ncid
