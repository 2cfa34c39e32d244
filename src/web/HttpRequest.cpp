#include "web/HttpRequest.h"

#include <optional>

namespace web {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool TokenChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '!' || c == '#' || c == '$' || c == '%' || c == '&' ||
         c == '\'' || c == '*' || c == '+' || c == '^' || c == '`' || c == '|' || c == '~';
}

std::optional<std::string> Base64Decode(std::string_view text) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    const int v = value(c);
    if (v < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

HeadResult Fail(int status) {
  HeadResult r;
  r.state = HeadState::Error;
  r.status = status;
  return r;
}

}  // namespace

std::string HttpRequest::Query(std::string_view name) const {
  for (const auto& [key, value] : query)
    if (key == name) return value;
  return {};
}

bool HttpRequest::HasQuery(std::string_view name) const {
  for (const auto& entry : query)
    if (entry.first == name) return true;
  return false;
}

bool PercentDecode(std::string_view text, bool plusIsBlank, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return false;
      const int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
      if (hi < 0 || lo < 0) return false;
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else if (c == '+' && plusIsBlank) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return true;
}

HeadResult ParseRequestHead(std::string_view bytes, std::size_t maxHead) {
  // Accept CR LF and bare LF line ends alike.
  std::size_t end = std::string_view::npos, endLength = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\n') continue;
    if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      end = i, endLength = 2;
      break;
    }
    if (i + 2 < bytes.size() && bytes[i + 1] == '\r' && bytes[i + 2] == '\n') {
      end = i, endLength = 3;
      break;
    }
  }
  if (end == std::string_view::npos) {
    if (bytes.size() >= maxHead) return Fail(431);
    return {};
  }
  if (end + endLength > maxHead) return Fail(431);

  HeadResult r;
  r.headLength = end + endLength;
  std::string_view head = bytes.substr(0, end);
  std::vector<std::string_view> lines;
  while (!head.empty()) {
    const std::size_t nl = head.find('\n');
    std::string_view line = head.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (nl == std::string_view::npos) break;
    head.remove_prefix(nl + 1);
  }
  if (lines.empty()) return Fail(400);

  // Request line: METHOD SP target SP HTTP/1.x
  const std::string_view requestLine = lines.front();
  const std::size_t sp1 = requestLine.find(' ');
  const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : requestLine.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || requestLine.find(' ', sp2 + 1) != std::string_view::npos)
    return Fail(400);
  const std::string_view method = requestLine.substr(0, sp1);
  const std::string_view target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
  const std::string_view version = requestLine.substr(sp2 + 1);
  if (method.empty()) return Fail(400);
  for (char c : method)
    if (!TokenChar(c)) return Fail(400);
  if (version.substr(0, 5) != "HTTP/") return Fail(400);
  if (version != "HTTP/1.1" && version != "HTTP/1.0") return Fail(505);
  if (target.empty() || target.front() != '/') return Fail(400);
  for (char c : target)
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F)
      return Fail(400);
  r.request.method = std::string(method);

  const std::size_t question = target.find('?');
  const std::string_view rawPath = target.substr(0, question);
  if (!PercentDecode(rawPath, false, r.request.path)) return Fail(400);
  if (r.request.path.find('\0') != std::string::npos ||
      r.request.path.find("..") != std::string::npos)
    return Fail(400);
  if (question != std::string_view::npos) {
    std::string_view rest = target.substr(question + 1);
    const std::size_t hash = rest.find('#');
    rest = rest.substr(0, hash);
    while (!rest.empty()) {
      const std::size_t amp = rest.find('&');
      const std::string_view part = rest.substr(0, amp);
      if (!part.empty()) {
        const std::size_t eq = part.find('=');
        std::string key, value;
        if (!PercentDecode(part.substr(0, eq), true, key)) return Fail(400);
        if (eq != std::string_view::npos && !PercentDecode(part.substr(eq + 1), true, value))
          return Fail(400);
        r.request.query.emplace_back(std::move(key), std::move(value));
      }
      if (amp == std::string_view::npos) break;
      rest.remove_prefix(amp + 1);
    }
  }

  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return Fail(400);
    const std::string_view name = line.substr(0, colon);
    for (char c : name)
      if (!TokenChar(c)) return Fail(400);
    const std::string_view value = Trim(line.substr(colon + 1));
    if (SameWord(name, "Authorization")) {
      r.request.authorization = std::string(value);
    } else if (SameWord(name, "Content-Length")) {
      if (value != "0") return Fail(413);
    } else if (SameWord(name, "Transfer-Encoding")) {
      return Fail(413);
    }
  }
  r.state = HeadState::Complete;
  return r;
}

bool BasicAuthMatches(std::string_view header, std::string_view user, std::string_view password) {
  header = Trim(header);
  if (header.size() < 6 || !SameWord(header.substr(0, 6), "Basic ")) return false;
  const auto decoded = Base64Decode(Trim(header.substr(6)));
  if (!decoded) return false;
  std::string expected;
  expected.reserve(user.size() + 1 + password.size());
  expected.append(user).append(1, ':').append(password);
  // Compare every byte, so the time taken does not tell how much matched.
  unsigned diff = decoded->size() == expected.size() ? 0u : 1u;
  for (std::size_t i = 0; i < expected.size(); ++i)
    diff |= static_cast<unsigned>(static_cast<unsigned char>(expected[i]) ^
                                  static_cast<unsigned char>(i < decoded->size() ? (*decoded)[i] : 0));
  return diff == 0;
}

std::string_view StatusText(int status) {
  switch (status) {
    case 200: return "OK";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
  }
  return "Error";
}

}  // namespace web
