#include "mqtt/MqttConfig.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
std::string Clean(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text.remove_prefix(1);
    text.remove_suffix(1);
  }
  return std::string(text);
}

std::string WithoutTrailingSlashes(std::string text) {
  while (!text.empty() && text.back() == '/') text.pop_back();
  return text;
}

double LeadingNumber(std::string_view text) {
  std::string s(text);
  const char* begin = s.c_str();
  while (*begin == ' ' || *begin == '\t') ++begin;
  // Only plain decimal numbers count: strtod would also take "inf", "nan" and hex.
  const char c = *begin;
  if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '+') return 0;
  if (begin[0] == '0' && (begin[1] == 'x' || begin[1] == 'X')) return 0;
  char* end = nullptr;
  const double v = std::strtod(begin, &end);
  return end == begin ? 0 : v;
}
}  // namespace

bool MqttSettingOn(std::string_view text) { return LeadingNumber(Clean(text)) == 1.0; }

MqttConfig ReadMqttConfig(const MqttKeyLookup& get) {
  MqttConfig c;
  auto value = [&](const char* key, const std::string& fallback) {
    const std::string v = Clean(get(key, fallback));
    return v.empty() ? fallback : v;
  };
  c.host = value("Host", "");
  const std::string port = value("Port", "1883");
  const double p = LeadingNumber(port);
  c.port = (p >= 1 && p <= 65535 && p == static_cast<int>(p)) ? static_cast<int>(p) : 1883;
  c.user = value("User", "");
  c.password = value("Password", "");
  c.passwordFile = value("PasswordFile", "");
  c.caFile = value("CAFile", "");
  c.clientId = value("ClientId", "");
  c.topicPrefix = WithoutTrailingSlashes(value("TopicPrefix", c.topicPrefix));
  if (c.topicPrefix.empty()) c.topicPrefix = MqttConfig{}.topicPrefix;
  c.discovery = MqttSettingOn(value("Discovery", "1"));
  c.discoveryPrefix = WithoutTrailingSlashes(value("DiscoveryPrefix", c.discoveryPrefix));
  if (c.discoveryPrefix.empty()) c.discoveryPrefix = MqttConfig{}.discoveryPrefix;
  return c;
}

std::string PasswordFromFileText(std::string_view bytes) {
  const std::size_t end = bytes.find_first_of("\r\n");
  return std::string(bytes.substr(0, end));
}

PasswordFileResult ReadPasswordFile(const std::string& path) {
  PasswordFileResult r;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    r.error = std::strerror(errno);
    return r;
  }
  // The password is on the first line; a few kilobytes are more than enough.
  std::string bytes;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      r.error = std::strerror(errno);
      ::close(fd);
      return r;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    if (bytes.find_first_of("\r\n") != std::string::npos || bytes.size() >= 65536) break;
  }
  ::close(fd);
  r.ok = true;
  r.password = PasswordFromFileText(bytes);
  return r;
}
