#include "announce/Announce.h"

#include "common/DigitText.h"
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
  std::string out;
  out.reserve(14);
  AppendPadded(out, now.tm_year + 1900, 4);
  AppendPadded(out, now.tm_mon + 1, 2);
  AppendPadded(out, now.tm_mday, 2);
  AppendPadded(out, now.tm_hour, 2);
  AppendPadded(out, now.tm_min, 2);
  AppendPadded(out, now.tm_sec, 2);
  return out;
}

std::string LongDate(const std::tm& now) {
  std::string out;
  out.reserve(32);
  out += kDays[(now.tm_wday % 7 + 7) % 7];
  out += ", ";
  out += kMonths[(now.tm_mon % 12 + 12) % 12];
  out += ' ';
  AppendPadded(out, now.tm_mday, 2);
  out += ", ";
  AppendPadded(out, now.tm_year + 1900, 4);
  return out;
}

std::string LongTime(const std::tm& now) {
  std::string out;
  out.reserve(11);
  AppendTime12(out, now.tm_hour, now.tm_min, now.tm_sec);
  return out;
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
  using Item = std::pair<std::string_view, std::string_view>;
  if (options.CIDIncoming && !fromXapFlag) {
    const std::string dateTime = AnnounceDateTime(now);
    const std::string longDate = LongDate(now);
    const Item items[] = {{"Type", "Voice"},
                          {"DateTime", dateTime},
                          {"Phone", digits},
                          {"RNNumber", availability},
                          {"Formatted_Date", longDate},
                          {"Formatted_Time", longTime},
                          {"Name", callerName},
                          {"RNName", availability}};
    send("", "CID.Incoming", "CID.Incoming", items);
  }
  if (options.MessageDisplay) {
    const std::string line1 = digits + "  " + longTime;
    const Item items[] = {{"Duration", "5"}, {"Line1", line1}, {"Line2", callerName}};
    send("", "Message.Display", "Display.Text", items);
  }
  if (options.XapVoice) {
    const std::string say = prefix + " " + callerName;
    const Item items[] = {{"Say", say}};
    send("", "xAP.Voice", "Voice.Speak", items);
  }
}
