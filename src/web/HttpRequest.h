#pragma once
// HttpRequest: the head of one HTTP/1.x request, cut from received bytes (pure).
//
// ParseRequestHead looks at the bytes received so far. Incomplete: no blank line yet (and
// fewer than maxHead bytes). Complete: the request line and headers ended within maxHead
// bytes; headLength says how many bytes they took. Otherwise an error status to answer with
// before closing: 431 for a head longer than maxHead, 400 for a malformed request line or
// header, 505 for a version other than HTTP/1.0 or 1.1, 413 for a request with a body (this
// server takes none).
//
// The target is split into its path (percent-decoded; a path with a NUL byte or ".." is
// refused) and its query parameters (percent-decoded, "+" as a blank).
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace web {

struct HttpRequest {
  std::string method;
  std::string path;
  std::vector<std::pair<std::string, std::string>> query;
  std::string authorization;  // the Authorization header, as sent

  // The value of the first query parameter of that name; "" when missing.
  std::string Query(std::string_view name) const;
  bool HasQuery(std::string_view name) const;
};

enum class HeadState { Incomplete, Complete, Error };

struct HeadResult {
  HeadState state = HeadState::Incomplete;
  HttpRequest request;
  std::size_t headLength = 0;
  int status = 0;  // the error status when state is Error
};

HeadResult ParseRequestHead(std::string_view bytes, std::size_t maxHead);

// "%41+b" -> "A b" (plusIsBlank); false for a broken escape.
bool PercentDecode(std::string_view text, bool plusIsBlank, std::string& out);

// True when an Authorization header carries "Basic base64(user:password)" for exactly these.
bool BasicAuthMatches(std::string_view header, std::string_view user, std::string_view password);

// The reason phrase of the statuses this server uses.
std::string_view StatusText(int status);

}  // namespace web
