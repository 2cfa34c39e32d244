#pragma once
// AnnounceCall: tells the xAP network about one identified call, with up to three
// messages, each switched by its own setting: "CID.Incoming" (left out for calls
// that themselves arrived as CID.Incoming over xAP), "Message.Display" and
// "xAP.Voice". All go out without target through the program's SendXap.
// Item values never carry a control byte (each becomes a blank, see XapItems), and
// names, prefix and number are cut to kAnnounceMaxName / kAnnounceMaxNumber bytes
// ("..." at the end, on a character boundary), so each message fits one datagram.
#include <cstddef>
#include <ctime>
#include <functional>
#include <string>

#include "common/XapItems.h"

inline constexpr std::size_t kAnnounceMaxName = 256;
inline constexpr std::size_t kAnnounceMaxNumber = 64;

struct AnnounceOptions {
  bool CIDIncoming = true;
  bool MessageDisplay = true;
  bool XapVoice = true;
  std::string FormatPrefix = "Call from";
};

// One message of the announcement: its items are handed over as pairs, valid during the call.
using AnnounceSend = std::function<void(const std::string& target, const std::string& msgClass,
                                        const std::string& section, XapItemList items)>;

// Number without ")", "(", "-" and " ".
std::string AnnounceDigits(const std::string& number);
// "yyyyMMddHHmmss", "Saturday, December 05, 2026", "6:45:12 PM".
std::string AnnounceDateTime(const std::tm& now);
std::string LongDate(const std::tm& now);
std::string LongTime(const std::tm& now);

void AnnounceCall(const std::string& name, const std::string& callerName, const std::string& number,
                  const AnnounceOptions& options, bool fromXapFlag, const std::tm& now,
                  const AnnounceSend& send);
