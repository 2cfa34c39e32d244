#pragma once
// WebJson: the JSON texts of the web API and of its live events (pure).
//
// A call: {"id":..,"time":"2026-12-10T15:59:39.123Z","ms":<epoch ms>,"number":..,
// "displayNumber":..,"name":..,"callerIdName":..,"firstName":..,"namedBy":"phonebook",
// "source":"serial"}; every text through JsonString, so the result is valid UTF-8 JSON that
// is also safe inside a page's script. A page of calls: {"calls":[...],"next":<ms>|null},
// "next" being the "before" value of the following page (null on the last page).
// The status: see WebStatus.
//
// ParseTimeParam reads a "before" value: epoch milliseconds, or UTC ISO 8601
// "YYYY-MM-DDTHH:MM:SS[.fff]Z"; nullopt for anything else.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/CompletedCall.h"
#include "history/StoredCall.h"

namespace web {

using Time = std::chrono::system_clock::time_point;

// What the status bar shows. Plain value, filled by the program.
struct WebStatus {
  bool linkOpen = false;
  std::string linkState;   // "open", "down" (or "off" when there is no link)
  std::string linkReason;  // e.g. "Port /dev/ttyACM0 Not Connected"; empty when open
  std::optional<Time> linkSince;  // when the link state last changed
  std::string xapTransport = "UDP";
  int xapPort = 0;
  int displayClients = 0;
  std::string mqtt;  // state text; empty when MQTT is off
  std::string ncid;  // state text; empty when the NCID server is off
  std::string version;
  std::int64_t uptimeSeconds = 0;
};

std::string TimeText(Time time);  // UTC ISO 8601 with milliseconds
std::int64_t EpochMs(Time time);
std::optional<Time> ParseTimeParam(std::string_view text);

std::string CallJson(const CompletedCall& call, std::int64_t id);
std::string CallsJson(const std::vector<StoredCall>& calls, bool more);
std::string StatusJson(const WebStatus& status);

}  // namespace web
