#pragma once
// XapHubTable: the relay table of a local xAP hub, without sockets.
//
// Each local xAP application registers by its heartbeat: a message whose first line is
// "xap-hbeat" and whose header holds "port=<1..65535>" and "interval=<seconds>". Heard
// registers that port (or renews it) until twice the interval has passed without another
// heartbeat from it; an interval that is missing, zero or not a number counts as 60 s. Ports
// lists the live registrations in order of first registration, dropping the expired ones.
// The table holds at most kMaxPorts ports; a new port beyond that replaces the one that
// expires first. CR LF line ends are read like LF. Nothing here throws on any input.
#include <cstdint>
#include <string_view>
#include <vector>

class XapHubTable {
 public:
  static constexpr std::size_t kMaxPorts = 64;

  // Takes one received message at nowMs; true when it was a heartbeat that (re)registered.
  bool Heard(std::string_view message, std::int64_t nowMs);
  // The live ports at nowMs.
  std::vector<std::uint16_t> Ports(std::int64_t nowMs);
  std::size_t Size() const { return entries_.size(); }

 private:
  struct Entry {
    std::uint16_t port = 0;
    std::int64_t expiresMs = 0;
  };
  std::vector<Entry> entries_;
};
