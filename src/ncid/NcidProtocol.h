#pragma once
// NcidProtocol: the text of the NCID client protocol (API 1.0), both ways, as pure functions
// on bytes. Lines end in CR LF; the fields of a call line are separated by "*":
//   CID: *DATE*<mmddyyyy>*TIME*<hhmm>*LINE*<line>*NMBR*<number>*MESG*NONE*NAME*<name>*
// A CIDLOG: line (the call log sent at connection start) has the same fields.
//
// Server side:
//  - CleanField makes any bytes safe as field data: each control byte (0x00-0x1F, 0x7F) and
//    each "*" becomes a blank, and the text is cut to kMaxField bytes. Other bytes (8-bit
//    text included) stay as they are.
//  - NcidFieldsOf turns a completed call into cleaned fields: date and time in local time,
//    the number as received ("NO-NUMBER" when blank), the name as announced ("NO NAME" when
//    blank, "PRIVATE" for a withheld caller, "OUT-OF-AREA" for one out of area; see there).
//  - FormatCallLine builds one "<type>: *DATE*...*" line with its CR LF; it cleans the
//    fields again, so no field can break the line.
//  - ServerGreeting, CallLogSection and kStartupEnd are the lines of the connection start:
//    "200 <server>", "210 API 1.0 Feature Set 1", then the log section, then
//    "300 End of connection startup".
//  - ClassifyClientLine tells what a line from a client asks for (keep-alive, HELLO lines).
//
// Client side:
//  - ParseCidLine reads a server's "CID:" line into number and name (cleaned, blanks around
//    them trimmed); DATE, TIME and every other field are ignored. Any other line (CIDLOG:,
//    CIDINFO:, MSG:, the 2xx/3xx replies, ...) gives nothing. The values are passed on as
//    the server wrote them, so NCID's own words ("NO NAME", "PRIVATE", ...) come through.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/CompletedCall.h"

namespace ncid {

inline constexpr std::size_t kMaxField = 128;
inline constexpr std::string_view kApiLine = "210 API 1.0 Feature Set 1";
inline constexpr std::string_view kStartupEnd = "300 End of connection startup\r\n";
inline constexpr std::string_view kNoNumber = "NO-NUMBER";
inline constexpr std::string_view kNoName = "NO NAME";
inline constexpr std::string_view kPrivate = "PRIVATE";
inline constexpr std::string_view kOutOfArea = "OUT-OF-AREA";

std::string CleanField(std::string_view text);

struct CallFields {
  std::string date;  // mmddyyyy
  std::string time;  // hhmm, 24-hour clock
  std::string line;  // the line label
  std::string number;
  std::string name;
};

// The fields of a call, its time converted to local time. Name rules, first match wins:
//  - out of area: the number or the caller-ID name is "O" or begins with "OUT" (any case);
//  - withheld: namedBy is Withheld, or the number is "P" or "PRIVATE" (any case);
//  - otherwise the announced name, "NO NAME" when it is blank.
// A blank line label becomes "-".
CallFields NcidFieldsOf(const CompletedCall& call, std::string_view lineLabel);

// "<type>: *DATE*..*TIME*..*LINE*..*NMBR*..*MESG*NONE*NAME*..*\r\n"
std::string FormatCallLine(std::string_view type, const CallFields& fields);

// "200 <server name>\r\n210 API 1.0 Feature Set 1\r\n"
std::string ServerGreeting(std::string_view serverName);

// The call-log part of the connection start. With sendLog false: "251 Call log not sent";
// with no calls: "252 Call log empty"; otherwise one CIDLOG: line per call, in the order
// given, then "250 End of call log". Each with CR LF.
std::string CallLogSection(const std::vector<CompletedCall>& calls, std::string_view lineLabel,
                           bool sendLog);

// What a (cleaned) line from a client means to the server.
enum class ClientLine {
  KeepAlive,   // empty or blank: ignored, never answered
  Hello,       // "HELLO: ..." other than the no_log command (IDENT and the like)
  HelloNoLog,  // "HELLO: CMD: no_log": do not send the call log
  Other,       // anything else: ends the wait for HELLO lines, otherwise ignored
};
ClientLine ClassifyClientLine(std::string_view line);

struct ReceivedCall {
  std::string number;
  std::string name;
};

// The number and name of a server's "CID:" line (without its line end); nothing for any
// other line, or for a CID: line without an NMBR field.
std::optional<ReceivedCall> ParseCidLine(std::string_view line);

}  // namespace ncid
