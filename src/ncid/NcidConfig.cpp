#include "ncid/NcidConfig.h"

#include <optional>

#include "ncid/NcidProtocol.h"

namespace ncid {
namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string SettingText(const KeyLookup& lookup, const char* key) {
  if (!lookup) return {};
  std::string value = lookup("NCID", key);
  std::string out;
  for (char c : value)
    if (c != '"') out += c;
  return std::string(TrimBlanks(out));
}

std::optional<long> WholeNumber(std::string_view s, long limit) {
  if (s.empty()) return std::nullopt;
  long value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > limit) return std::nullopt;
  }
  return value;
}

std::string Quoted(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  out += '"';
  out += s;
  out += '"';
  return out;
}

// "host:port", "[v6]:port", or "host" alone when the port may be left out.
HostPort SplitHostPort(std::string_view text, bool portRequired, int defaultPort, int minPort) {
  HostPort r;
  std::string_view host;
  std::optional<std::string_view> port;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) {
      r.reason = "no \"]\" after the IPv6 address in " + Quoted(text);
      return r;
    }
    host = text.substr(1, close - 1);
    std::string_view after = text.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') {
        r.reason = "text after \"]\" in " + Quoted(text);
        return r;
      }
      port = after.substr(1);
    }
  } else {
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos) {
      r.reason = "an IPv6 address must be written in brackets: " + Quoted(text);
      return r;
    }
    host = text.substr(0, colon);
    if (colon != std::string_view::npos) port = text.substr(colon + 1);
  }
  r.host = std::string(TrimBlanks(host));
  if (!port) {
    if (portRequired) {
      r.reason = "no port in " + Quoted(text) + " (address:port)";
      return r;
    }
    r.port = defaultPort;
    return r;
  }
  const auto number = WholeNumber(TrimBlanks(*port), 65535);
  if (!number || *number < minPort) {
    r.reason =
        "port " + Quoted(*port) + " is not a number from " + std::to_string(minPort) + " to 65535";
    return r;
  }
  r.port = static_cast<int>(*number);
  return r;
}

}  // namespace

NcidServerConfigResult ReadNcidServerConfig(const KeyLookup& lookup) {
  NcidServerConfigResult r;
  r.config.listen = SettingText(lookup, "Listen");
  const std::string logLines = SettingText(lookup, "LogLines");
  if (!logLines.empty()) {
    const auto n = WholeNumber(logLines, kMaxLogLines);
    if (n)
      r.config.logLines = static_cast<int>(*n);
    else
      r.problems.push_back("[NCID] LogLines " + Quoted(logLines) + " is not a number from 0 to " +
                           std::to_string(kMaxLogLines) + "; using " +
                           std::to_string(kDefaultLogLines));
  }
  std::string line = CleanField(SettingText(lookup, "Line")).substr(0, 32);
  line = std::string(TrimBlanks(line));
  r.config.line = line.empty() ? std::string("-") : line;
  return r;
}

HostPort ParseListenAddress(std::string_view text) {
  text = TrimBlanks(text);
  HostPort r = SplitHostPort(text, true, 0, 0);
  if (r.Usable() && r.host == "*") r.host.clear();
  return r;
}

bool IsNcidPort(std::string_view commPort) {
  commPort = TrimBlanks(commPort);
  if (commPort.size() < 5) return false;
  std::string word(commPort.substr(0, 5));
  for (char& c : word)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return word == "ncid:";
}

HostPort ParseNcidPort(std::string_view commPort) {
  commPort = TrimBlanks(commPort);
  if (!IsNcidPort(commPort)) {
    HostPort r;
    r.reason = Quoted(commPort) + " does not begin with \"ncid:\"";
    return r;
  }
  const std::string_view rest = TrimBlanks(commPort.substr(5));
  HostPort r = SplitHostPort(rest, false, kDefaultPort, 1);
  if (r.Usable() && r.host.empty())
    r.reason = "no host in " + Quoted(commPort) + " (ncid:host:port)";
  return r;
}

}  // namespace ncid
