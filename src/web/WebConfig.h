#pragma once
// WebConfig: the settings of the built-in web page, read from text (pure).
//
// vynRinglet.ini, section [Web]:
//   Listen        "address:port"; empty (default) leaves the page off. The address is an
//                 IPv4 address ("127.0.0.1", "0.0.0.0"), "[::1]", or "*" for every address;
//                 port 0 takes a free port (tests).
//   User          the user name of HTTP basic authentication.
//   PasswordFile  a file whose first line is the password (blanks and CR/LF cut off).
// ReadWebConfig reads them through a key lookup (section, key -> value, "" when missing);
// double quotes and surrounding blanks are dropped.
//
// CheckWebConfig decides whether the page may start: the address must parse, and an address
// that is not a loopback address needs both User and a readable, non-empty password (the page
// never serves a network without authentication). Its answer carries the host, port and the
// password, or one reason text for the log.
#include <functional>
#include <string>
#include <string_view>

namespace web {

struct WebConfig {
  std::string listen;        // "address:port"; empty = off
  std::string user;          // basic authentication; empty = none (loopback only)
  std::string passwordFile;  // first line is the password
};

using KeyLookup = std::function<std::string(const std::string& section, const std::string& key)>;
WebConfig ReadWebConfig(const KeyLookup& lookup);

struct ListenPlan {
  std::string host;  // without brackets; empty means every address
  int port = 0;
  std::string user, password;  // both empty: no authentication
  std::string reason;          // why the page must not start; empty when it may
  bool Usable() const { return reason.empty(); }
};

// Reads the password file through readFile (path -> contents; false when unreadable).
using FileReader = std::function<bool(const std::string& path, std::string& contents)>;
ListenPlan CheckWebConfig(const WebConfig& config, const FileReader& readFile);

// "127.0.0.1", any 127.x.y.z, "::1" and "localhost".
bool IsLoopbackHost(std::string_view host);

}  // namespace web
