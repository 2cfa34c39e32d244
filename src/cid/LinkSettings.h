#pragma once
// LinkSettings: reading the two settings that describe the caller-ID link.
//
// ParseCommPort(CIDCommPort):
//  - a value beginning with "/" is a serial device path, used as written (even
//    when it holds ":");
//  - otherwise a value with ":" names a network caller-ID box: the host is the
//    text before the first ":", the port the number after it (1 to 65535, blanks
//    around it allowed);
//  - otherwise the leading number N (after blanks) names /dev/ttyS<N-1>;
//    0 or no number names no port.
// A value that names nothing usable has kind None (or kind Tcp with port 0 when
// only the TCP port is bad) and a reason.
//
// ParsePortSettings(CIDPortString) reads "speed,parity,data bits,stop bits", e.g.
// "9600,n,8,1": speed a positive whole number, parity one of n e o m s (either
// case), data bits 5 to 8, stop bits 1, 1.5 or 2; blanks around each field are
// allowed. A malformed text gives no settings and a reason that names the field.
#include <optional>
#include <string>
#include <string_view>

enum class LinkKind { None, Serial, Tcp };

struct LinkTarget {
  LinkKind kind = LinkKind::None;
  std::string device;  // Serial: the device path
  std::string host;    // Tcp
  int port = 0;        // Tcp; 0 when the text after ":" is not a valid port
  std::string reason;  // why the target is not usable; empty when it is

  bool Usable() const { return reason.empty(); }
};

LinkTarget ParseCommPort(std::string_view portText);

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

struct SerialLineSettings {
  int speed = 9600;
  Parity parity = Parity::None;
  int dataBits = 8;
  StopBits stopBits = StopBits::One;
};

struct PortSettingsResult {
  std::optional<SerialLineSettings> settings;
  std::string reason;  // set when settings is empty
};

PortSettingsResult ParsePortSettings(std::string_view text);
