#include "ui/DesktopText.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace {

std::string Lower(const std::string& text) {
  std::string out = text;
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

bool Contains(const std::string& text, const std::string& lowerNeedle) {
  return Lower(text).find(lowerNeedle) != std::string::npos;
}

std::string LocalTime(std::chrono::system_clock::time_point time, const char* format) {
  const std::time_t t = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  localtime_r(&t, &local);
  char buffer[32];
  const std::size_t n = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, n);
}

}  // namespace

std::string NamedByWords(NamedBy namedBy) {
  switch (namedBy) {
    case NamedBy::Phonebook: return "Phonebook";
    case NamedBy::AreaCode: return "Area code";
    case NamedBy::ReverseLookup: return "Reverse lookup";
    case NamedBy::Withheld: return "Withheld";
    case NamedBy::CallerId: break;
  }
  return "Caller ID";
}

bool CallMatches(const CompletedCall& call, const std::string& search) {
  if (search.empty()) return true;
  const std::string needle = Lower(search);
  return Contains(call.name, needle) || Contains(call.callerIdName, needle) ||
         Contains(call.displayNumber, needle) || Contains(call.number, needle);
}

std::string LinkStateText(const LinkState& state) {
  switch (state.phase) {
    case LinkPhase::Open: return "open";
    case LinkPhase::Reconnecting: return "reconnecting";
    case LinkPhase::Closed: return state.reason.empty() ? "closed" : "closed: " + state.reason;
    case LinkPhase::Unknown: break;
  }
  return {};
}

LinkState LinkStateFromPortStatus(const std::string& portStatus, bool networkLink) {
  if (portStatus.empty()) return {};
  if (portStatus.find(" Open") != std::string::npos) return {LinkPhase::Open, {}};
  if (networkLink) return {LinkPhase::Reconnecting, {}};
  return {LinkPhase::Closed, portStatus};
}

std::string CallTimeText(std::chrono::system_clock::time_point time) {
  return LocalTime(time, "%Y-%m-%d %H:%M:%S");
}

std::string TrayStatusText(const LinkState& state, const CompletedCall* lastCall) {
  std::string text = "Ringlet";
  if (state.phase != LinkPhase::Unknown) text += "\nLink: " + LinkStateText(state);
  if (lastCall) {
    text += "\nLast call: " + NotificationTitle(*lastCall);
    if (!lastCall->displayNumber.empty() && lastCall->displayNumber != lastCall->name)
      text += " " + lastCall->displayNumber;
    text += " " + LocalTime(lastCall->time, "%H:%M");
  }
  return text;
}

std::string NotificationTitle(const CompletedCall& call) {
  if (!call.name.empty()) return call.name;
  if (!call.displayNumber.empty()) return call.displayNumber;
  return "Unknown caller";
}

std::string NotificationBody(const CompletedCall& call) {
  const std::string& number = call.displayNumber.empty() ? call.number : call.displayNumber;
  return number + "\nNamed by: " + NamedByWords(call.namedBy);
}
