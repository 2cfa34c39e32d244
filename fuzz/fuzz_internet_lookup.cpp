// Fuzz target: the reverse-lookup answer page. InternetLookup on any page, and the request
// address built from pieces of it: a key can never add query parameters of its own.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "lookup/InternetLookup.h"

namespace {
constexpr std::string_view kHeading = "<B>Reverse Telephone Listings</B>";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view page = fuzz::AsText(data, size);
  const std::string name = InternetLookup(page);
  const std::size_t heading = page.find(kHeading);
  if (heading == std::string_view::npos) {
    FUZZ_CHECK(name.empty());
  } else {
    // Decoding only shortens; the swap around the comma only drops spaces.
    FUZZ_CHECK(name.size() <= page.size() - heading - kHeading.size());
  }
  // The same listing behind any text before the heading reads the same.
  if (heading != std::string_view::npos)
    FUZZ_CHECK(InternetLookup(std::string("<HTML>") + std::string(page.substr(heading))) == name);

  // The first ten bytes as the key, the rest as the server address.
  const std::string_view key = page.substr(0, 10);
  const std::string_view base = page.substr(key.size());
  const std::string url = ReverseLookupURL(base.empty() ? "http://127.0.0.1:8080" : base, key);
  if (key.size() != 10) {
    FUZZ_CHECK(url.empty());
  } else if (!url.empty()) {
    const std::size_t query = url.rfind("/qry/wp_rl?npa=");
    FUZZ_CHECK(query != std::string::npos);
    const std::string_view tail = std::string_view(url).substr(query);
    std::size_t amps = 0;
    for (char c : tail) {
      amps += c == '&';
      FUZZ_CHECK(c != '#' && c != ' ' && c != '\r' && c != '\n' && c != '\0');
    }
    FUZZ_CHECK(amps == 3);
    FUZZ_CHECK(tail.size() >= 30 &&
               tail.substr(tail.size() - 30) == "&btnsubmit.x=22&btnsubmit.y=16");
  }
  return 0;
}
