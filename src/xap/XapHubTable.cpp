#include "xap/XapHubTable.h"

#include <algorithm>
#include <optional>

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != prefix[i]) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::optional<long> Number(std::string_view s) {
  s = Trim(s);
  if (s.empty() || s.size() > 9) return std::nullopt;
  long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

}  // namespace

bool XapHubTable::Heard(std::string_view message, std::int64_t nowMs) {
  // One blank line before the header is tolerated, as by the message reader.
  if (StartsWithNoCase(message, "\r\n")) message.remove_prefix(2);
  else if (StartsWithNoCase(message, "\n")) message.remove_prefix(1);
  if (!StartsWithNoCase(message, "xap-hbeat")) return false;
  std::optional<long> port, interval;
  std::size_t pos = 0;
  while (pos < message.size()) {
    std::size_t end = message.find('\n', pos);
    if (end == std::string_view::npos) end = message.size();
    const std::string_view line = Trim(message.substr(pos, end - pos));
    pos = end + 1;
    if (line == "}") break;  // the header block ends here
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view name = Trim(line.substr(0, eq));
    if (name.size() == 4 && StartsWithNoCase(name, "port")) port = Number(line.substr(eq + 1));
    if (name.size() == 8 && StartsWithNoCase(name, "interval"))
      interval = Number(line.substr(eq + 1));
  }
  if (!port || *port < 1 || *port > 65535) return false;
  const long seconds = interval && *interval > 0 ? std::min(*interval, 3600L) : 60;
  const std::int64_t expires = nowMs + 2 * seconds * 1000;
  const auto p = static_cast<std::uint16_t>(*port);
  for (Entry& e : entries_) {
    if (e.port == p) {
      e.expiresMs = expires;
      return true;
    }
  }
  if (entries_.size() >= kMaxPorts) {
    auto first = std::min_element(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
      return a.expiresMs < b.expiresMs;
    });
    entries_.erase(first);
  }
  entries_.push_back({p, expires});
  return true;
}

std::vector<std::uint16_t> XapHubTable::Ports(std::int64_t nowMs) {
  std::erase_if(entries_, [nowMs](const Entry& e) { return e.expiresMs <= nowMs; });
  std::vector<std::uint16_t> ports;
  ports.reserve(entries_.size());
  for (const Entry& e : entries_) ports.push_back(e.port);
  return ports;
}
