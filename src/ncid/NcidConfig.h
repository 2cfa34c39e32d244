#pragma once
// NcidConfig: the settings of the NCID server and of the NCID call source, read from text.
//
// The server's settings live in vynRinglet.ini, section [NCID]:
//   Listen    "address:port" to listen on; empty (default) leaves the server off. The
//             address is an IP address ("127.0.0.1", "[::1]"), or empty or "*" for every
//             address; port 0 takes a free port (tests).
//   LogLines  how many past calls a client gets at connection start (0 to 10000, default
//             200; 0 sends "251 Call log not sent").
//   Line      the LINE label of every call line, default "-" (cleaned, cut to 32 bytes).
// ReadNcidServerConfig reads them through a key lookup (section, key -> value, "" when
// missing); double quotes and surrounding blanks are dropped. A bad LogLines keeps the
// default and adds a problem text that names the setting; Listen is checked by
// ParseListenAddress when the server starts.
//
// The call source is chosen by a CIDCommPort value "ncid:host:port" (the word "ncid" in any
// case; the port may be left out for NCID's usual 3333; an IPv6 host goes in brackets).
// IsNcidPort tells whether a value names it at all; ParseNcidPort reads host and port, or
// gives a reason.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ncid {

inline constexpr int kDefaultLogLines = 200;
inline constexpr int kMaxLogLines = 10000;
inline constexpr int kDefaultPort = 3333;

struct NcidServerConfig {
  std::string listen;               // "address:port"; empty = off
  int logLines = kDefaultLogLines;  // past calls sent at connection start
  std::string line = "-";           // LINE label
};

using KeyLookup = std::function<std::string(const std::string& section, const std::string& key)>;

struct NcidServerConfigResult {
  NcidServerConfig config;
  std::vector<std::string> problems;  // one text per setting that kept its default
};
NcidServerConfigResult ReadNcidServerConfig(const KeyLookup& lookup);

struct HostPort {
  std::string host;  // without brackets; empty means every address (listen only)
  int port = 0;
  std::string reason;  // why the text is unusable; empty when it is usable
  bool Usable() const { return reason.empty(); }
};

// "address:port" of [NCID] Listen.
HostPort ParseListenAddress(std::string_view text);

bool IsNcidPort(std::string_view commPort);
// "ncid:host:port" or "ncid:host" of CIDCommPort.
HostPort ParseNcidPort(std::string_view commPort);

}  // namespace ncid
