#include "web/WebConfig.h"

#include <optional>

namespace web {
namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string SettingText(const KeyLookup& lookup, const char* key) {
  if (!lookup) return {};
  std::string out;
  for (char c : lookup("Web", key))
    if (c != '"') out += c;
  return std::string(TrimBlanks(out));
}

std::optional<int> PortNumber(std::string_view s) {
  if (s.empty() || s.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > 65535) return std::nullopt;
  return value;
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

}  // namespace

WebConfig ReadWebConfig(const KeyLookup& lookup) {
  WebConfig c;
  c.listen = SettingText(lookup, "Listen");
  c.user = SettingText(lookup, "User");
  c.passwordFile = SettingText(lookup, "PasswordFile");
  return c;
}

bool IsLoopbackHost(std::string_view host) {
  if (host == "::1" || host == "localhost") return true;
  if (host.substr(0, 4) != "127.") return false;
  int dots = 0, digits = 0;
  for (char c : host) {
    if (c == '.') {
      if (digits == 0) return false;
      ++dots;
      digits = 0;
    } else if (c >= '0' && c <= '9') {
      if (++digits > 3) return false;
    } else {
      return false;
    }
  }
  return dots == 3 && digits > 0;
}

ListenPlan CheckWebConfig(const WebConfig& config, const FileReader& readFile) {
  ListenPlan plan;
  const std::string_view text = TrimBlanks(config.listen);
  const std::string where = "[Web] Listen " + Quoted(text);
  std::string_view host, port;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      plan.reason = where + " is not \"[address]:port\"";
      return plan;
    }
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || text.find(':') != colon) {
      plan.reason = where + " is not \"address:port\"";
      return plan;
    }
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  const auto number = PortNumber(TrimBlanks(port));
  if (!number) {
    plan.reason = where + ": the port is not a number from 0 to 65535";
    return plan;
  }
  plan.port = *number;
  plan.host = std::string(TrimBlanks(host));
  if (plan.host == "*") plan.host.clear();

  if (!config.user.empty() || !config.passwordFile.empty()) {
    std::string contents;
    if (config.user.empty()) {
      plan.reason = "[Web] PasswordFile is set but [Web] User is empty";
    } else if (config.passwordFile.empty()) {
      plan.reason = "[Web] User is set but [Web] PasswordFile is empty";
    } else if (!readFile || !readFile(config.passwordFile, contents)) {
      plan.reason = "[Web] PasswordFile " + Quoted(config.passwordFile) + " cannot be read";
    } else {
      const std::size_t end = contents.find_first_of("\r\n");
      plan.password = std::string(TrimBlanks(std::string_view(contents).substr(0, end)));
      if (plan.password.empty())
        plan.reason = "[Web] PasswordFile " + Quoted(config.passwordFile) + " holds no password";
    }
    if (!plan.reason.empty()) {
      plan.reason = "Web page not started: " + plan.reason;
      plan.password.clear();
      return plan;
    }
    plan.user = config.user;
  }
  if (plan.user.empty() && !IsLoopbackHost(plan.host))
    plan.reason = "Web page not started: " + where +
                  " serves the network, which needs [Web] User and [Web] PasswordFile";
  return plan;
}

}  // namespace web
