#pragma once
// The reverse-lookup request and the reading of its answer page.
// - ReverseLookupURL(baseURL, key): baseURL (scheme, host, optional port; a trailing
//   "/" is dropped), then "/qry/wp_rl?npa=" + the first 3 characters of the key +
//   "&telephone=" + the last 7 + "&btnsubmit.x=22&btnsubmit.y=16". Characters of the
//   key other than letters, digits and "-._~" are percent-encoded, so a number can
//   never add query parameters. Empty when baseURL is empty or the key is not ten
//   characters long.
// - InternetLookup(page): the listed name, first name first, or empty. The listing is
//   the text of the first "<B>" ... "</B>" after the heading
//   "<B>Reverse Telephone Listings</B>" (exact case); "LAST, FIRST" becomes
//   "FIRST LAST" (spaces trimmed), a text without a comma stays as it is; then
//   "&amp;", "&lt;" and "&gt;" (any case) are decoded, in that order, and control
//   bytes become blanks. Total on any
//   input.
// Pure C++, no Qt.
#include <string>
#include <string_view>

std::string ReverseLookupURL(std::string_view baseURL, std::string_view key);
std::string InternetLookup(std::string_view page);
