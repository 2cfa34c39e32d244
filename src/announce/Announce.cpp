#include "announce/Announce.h"

#include <cstdio>

#include "common/XapItems.h"

namespace {
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
}  // namespace

std::string AnnounceDigits(const std::string& number) {
  std::string out;
  out.reserve(number.size());
  for (char c : number)
    if (c != ')' && c != '(' && c != '-' && c != ' ') out += c;
  return out;
}

std::string AnnounceDateTime(const std::tm& now) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", now.tm_year + 1900, now.tm_mon + 1,
                now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
  return buf;
}

std::string LongDate(const std::tm& now) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %s %02d, %04d", kDays[(now.tm_wday % 7 + 7) % 7],
                kMonths[(now.tm_mon % 12 + 12) % 12], now.tm_mday, now.tm_year + 1900);
  return buf;
}

std::string LongTime(const std::tm& now) {
  const int hour12 = now.tm_hour % 12 == 0 ? 12 : now.tm_hour % 12;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", hour12, now.tm_min, now.tm_sec,
                now.tm_hour < 12 ? "AM" : "PM");
  return buf;
}

void AnnounceCall(const std::string& name, const std::string& rawCallerName,
                  const std::string& rawNumber, const AnnounceOptions& options, bool fromXapFlag,
                  const std::tm& now, const AnnounceSend& send) {
  // Every message must fit one datagram: long texts are cut here, before they are used.
  const std::string callerName = XapCut(rawCallerName, kAnnounceMaxName);
  const std::string number = XapCut(rawNumber, kAnnounceMaxNumber);
  const std::string prefix = XapCut(options.FormatPrefix, kAnnounceMaxName);
  const std::string digits = AnnounceDigits(number);
  const std::string longTime = LongTime(now);
  const std::string availability = name == "Unknown" ? "Withheld" : "Available";
  if (options.CIDIncoming && !fromXapFlag) {
    send("", "CID.Incoming", "CID.Incoming",
         XapItems({{"Type", "Voice"},
                   {"DateTime", AnnounceDateTime(now)},
                   {"Phone", digits},
                   {"RNNumber", availability},
                   {"Formatted_Date", LongDate(now)},
                   {"Formatted_Time", longTime},
                   {"Name", callerName},
                   {"RNName", availability}}));
  }
  if (options.MessageDisplay) {
    send("", "Message.Display", "Display.Text",
         XapItems({{"Duration", "5"}, {"Line1", digits + "  " + longTime}, {"Line2", callerName}}));
  }
  if (options.XapVoice) {
    send("", "xAP.Voice", "Voice.Speak", XapItems({{"Say", prefix + " " + callerName}}));
  }
}
