#pragma once
// CompletedCall: one call as every output sees it, once it has been named.
// Plain value, no Qt: the xAP announcement, the display datagram, the call history
// and every later output receive the same fields.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// How the announced name was found.
enum class NamedBy { Phonebook, AreaCode, ReverseLookup, CallerId, Withheld };
// Where the call came from.
enum class CallSource { Serial, NetworkBox, Xap, Ncid };

struct CompletedCall {
  std::chrono::system_clock::time_point time;  // when the call completed
  std::string number;         // the number as the parser formatted it, before any lookup
  std::string receivedNumber; // the number as the caller-ID text carried it; "" when unknown
  std::string displayNumber;  // the number as announced, e.g. "(555)987-6543"
  std::string callerIdName;   // the name the caller-ID text carried ("Unknown" when withheld)
  std::string name;           // the announced name
  NamedBy namedBy = NamedBy::CallerId;
  CallSource source = CallSource::Serial;
  std::string sourceDetail;   // device path, host:port, or the xAP source address
  // For a later update (the reverse lookup's answer): the name announced first.
  std::string firstName;
};

// The number as received where it is known, else the parser's form.
inline const std::string& ReceivedNumber(const CompletedCall& call) {
  return call.receivedNumber.empty() ? call.number : call.receivedNumber;
}

// Stable lower-case words for files, JSON and topics.
inline std::string_view NamedByText(NamedBy n) {
  switch (n) {
    case NamedBy::Phonebook: return "phonebook";
    case NamedBy::AreaCode: return "area_code";
    case NamedBy::ReverseLookup: return "reverse_lookup";
    case NamedBy::Withheld: return "withheld";
    case NamedBy::CallerId: break;
  }
  return "caller_id";
}

inline std::string_view CallSourceText(CallSource s) {
  switch (s) {
    case CallSource::NetworkBox: return "network_box";
    case CallSource::Xap: return "xap";
    case CallSource::Ncid: return "ncid";
    case CallSource::Serial: break;
  }
  return "serial";
}

// The inverse of the two above; false for an unknown word.
inline bool ParseNamedBy(std::string_view text, NamedBy& out) {
  for (NamedBy n : {NamedBy::Phonebook, NamedBy::AreaCode, NamedBy::ReverseLookup, NamedBy::CallerId,
                    NamedBy::Withheld})
    if (NamedByText(n) == text) return out = n, true;
  return false;
}

inline bool ParseCallSource(std::string_view text, CallSource& out) {
  for (CallSource s : {CallSource::Serial, CallSource::NetworkBox, CallSource::Xap, CallSource::Ncid})
    if (CallSourceText(s) == text) return out = s, true;
  return false;
}
