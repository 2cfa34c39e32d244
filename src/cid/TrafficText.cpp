#include "cid/TrafficText.h"

#include "cid/CidText.h"

void AppendKeepingTail(std::string& target, std::string_view text, std::size_t limit) {
  if (text.size() >= limit) {
    target.assign(text.substr(text.size() - limit));
    return;
  }
  target.append(text);
  // The text may run to twice the limit before its front is dropped, so each appended
  // character costs a constant amount of copying however long the text already is.
  if (target.size() > 2 * limit) target.erase(0, target.size() - limit);
}

std::string_view LastChars(const std::string& text, std::size_t limit) {
  const std::string_view all(text);
  return all.size() > limit ? all.substr(all.size() - limit) : all;
}

std::string StampLines(std::string_view text, std::string_view hhmmss) {
  std::string stamp = "\r\n";
  stamp += hhmmss;
  stamp += " |  ";
  return cid::ReplaceAll(text, "\r\n", stamp);
}

std::string SentToModemText(std::string_view text) {
  return "\r\n[Sent to Modem:     " + cid::ReplaceAll(text, "\r\n", "<crlf>") + " ]\r\n";
}

std::string PortStatusText(std::string_view port, bool open, int tries) {
  std::string out = "Port ";
  out += port;
  if (open)
    out += " Open / " + std::to_string(tries) + " tries";
  else
    out += " Not Connected";
  return out;
}

void TrafficText::AppendCommData(std::string_view text) {
  AppendKeepingTail(commData_, text, kLimit);
}

void TrafficText::AppendCommStatus(std::string_view text) {
  AppendKeepingTail(commStatus_, text, kLimit);
}

void TrafficText::AppendReceived(std::string_view text, std::string_view hhmmss) {
  if (text.empty()) return;
  std::string stamped;
  if (receivedEndsInCr_ && text.front() == '\n') {
    stamped = "\n";
    stamped += hhmmss;
    stamped += " |  ";
    text.remove_prefix(1);
  }
  stamped += StampLines(text, hhmmss);
  AppendCommData(stamped);
  receivedEndsInCr_ = stamped.back() == '\r';
}

void TrafficText::AppendSent(std::string_view text) { AppendCommData(SentToModemText(text)); }

void TrafficText::AppendEventCode(int code) { AppendCommStatus("\r\n" + std::to_string(code)); }

void TrafficText::Clear() {
  commData_.clear();
  commStatus_.clear();
  receivedEndsInCr_ = false;
}
