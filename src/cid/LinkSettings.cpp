#include "cid/LinkSettings.h"

#include <vector>

namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A whole decimal number made of digits only, at most `limit`.
std::optional<long> WholeNumber(std::string_view s, long limit) {
  if (s.empty()) return std::nullopt;
  long value = 0;
  for (char c : s) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > limit) return std::nullopt;
  }
  return value;
}

std::vector<std::string_view> SplitFields(std::string_view s) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t comma = s.find(',');
    fields.push_back(TrimBlanks(s.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    s.remove_prefix(comma + 1);
  }
  return fields;
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

}  // namespace

LinkTarget ParseCommPort(std::string_view portText) {
  LinkTarget t;
  if (!portText.empty() && portText.front() == '/') {
    t.kind = LinkKind::Serial;
    t.device = std::string(portText);
    return t;
  }
  const std::size_t colon = portText.find(':');
  if (colon != std::string_view::npos) {
    t.kind = LinkKind::Tcp;
    t.host = std::string(TrimBlanks(portText.substr(0, colon)));
    const auto port = WholeNumber(TrimBlanks(portText.substr(colon + 1)), 65535);
    if (t.host.empty()) t.reason = "no host before \":\"";
    if (!port || *port == 0) {
      if (t.reason.empty())
        t.reason =
            "TCP port " + Quoted(portText.substr(colon + 1)) + " is not a number from 1 to 65535";
    } else {
      t.port = static_cast<int>(*port);
    }
    return t;
  }
  std::string_view rest = TrimBlanks(portText);
  std::size_t digits = 0;
  while (digits < rest.size() && IsDigit(rest[digits])) ++digits;
  const auto number = WholeNumber(rest.substr(0, digits), 100000);
  if (!number || *number == 0) {
    t.reason = "no serial port number in " + Quoted(portText);
    return t;
  }
  t.kind = LinkKind::Serial;
  t.device = "/dev/ttyS" + std::to_string(*number - 1);
  return t;
}

PortSettingsResult ParsePortSettings(std::string_view text) {
  PortSettingsResult r;
  const auto fields = SplitFields(text);
  const std::string what = "CIDPortString " + Quoted(text) + ": ";
  if (fields.size() != 4) {
    r.reason = what + "expected speed,parity,data bits,stop bits";
    return r;
  }
  SerialLineSettings s;
  const auto speed = WholeNumber(fields[0], 100000000);
  if (!speed || *speed == 0) {
    r.reason = what + "speed " + Quoted(fields[0]) + " is not a positive whole number";
    return r;
  }
  s.speed = static_cast<int>(*speed);

  if (fields[1].size() != 1) {
    r.reason = what + "parity " + Quoted(fields[1]) + " is not one of n, e, o, m, s";
    return r;
  }
  switch (fields[1][0]) {
    case 'n':
    case 'N':
      s.parity = Parity::None;
      break;
    case 'e':
    case 'E':
      s.parity = Parity::Even;
      break;
    case 'o':
    case 'O':
      s.parity = Parity::Odd;
      break;
    case 'm':
    case 'M':
      s.parity = Parity::Mark;
      break;
    case 's':
    case 'S':
      s.parity = Parity::Space;
      break;
    default:
      r.reason = what + "parity " + Quoted(fields[1]) + " is not one of n, e, o, m, s";
      return r;
  }

  const auto bits = WholeNumber(fields[2], 99);
  if (!bits || *bits < 5 || *bits > 8) {
    r.reason = what + "data bits " + Quoted(fields[2]) + " are not 5, 6, 7 or 8";
    return r;
  }
  s.dataBits = static_cast<int>(*bits);

  if (fields[3] == "1")
    s.stopBits = StopBits::One;
  else if (fields[3] == "1.5")
    s.stopBits = StopBits::OneAndHalf;
  else if (fields[3] == "2")
    s.stopBits = StopBits::Two;
  else {
    r.reason = what + "stop bits " + Quoted(fields[3]) + " are not 1, 1.5 or 2";
    return r;
  }
  r.settings = s;
  return r;
}
