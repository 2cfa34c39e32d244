#pragma once
// DesktopText: the words the desktop shows about calls and the caller-ID link, apart
// from Qt so they are tested directly.
//  - NamedByWords: how a caller was named, as a reader says it ("Phonebook",
//    "Area code", "Reverse lookup", "Caller ID", "Withheld").
//  - CallMatches: true when search is empty or occurs, without regard to case, in the
//    announced name, the caller-ID name, the display number or the raw number.
//  - LinkState / LinkStateText: the caller-ID link as the tray shows it ("open",
//    "closed: <reason>", "reconnecting"); Unknown gives the empty text.
//  - LinkStateFromPortStatus: the state read from the link's port status text
//    ("Port <p> Open / <n> tries" is open; "... Not Connected" is reconnecting for a
//    network link, which retries by itself, and closed with that text as the reason
//    for a serial one; an empty text is unknown).
//  - TrayStatusText: "Ringlet" on the first line, then "Link: ..." when the state is
//    known and "Last call: <name> <number> <HH:MM>" (local time) when there was one.
//  - NotificationTitle / NotificationBody: the desktop notice of a call: the announced
//    name (the display number when there is none) and "<number>\nNamed by: <words>".
#include <string>

#include "common/CompletedCall.h"

enum class LinkPhase { Unknown, Open, Closed, Reconnecting };

struct LinkState {
  LinkPhase phase = LinkPhase::Unknown;
  std::string reason;  // why it is closed; may be empty

  bool Down() const { return phase == LinkPhase::Closed || phase == LinkPhase::Reconnecting; }
  bool operator==(const LinkState&) const = default;
};

std::string NamedByWords(NamedBy namedBy);
bool CallMatches(const CompletedCall& call, const std::string& search);
std::string LinkStateText(const LinkState& state);
LinkState LinkStateFromPortStatus(const std::string& portStatus, bool networkLink);
// The local clock time of a call, "YYYY-MM-DD HH:MM:SS".
std::string CallTimeText(std::chrono::system_clock::time_point time);
std::string TrayStatusText(const LinkState& state, const CompletedCall* lastCall);
std::string NotificationTitle(const CompletedCall& call);
std::string NotificationBody(const CompletedCall& call);
