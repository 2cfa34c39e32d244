#include "cid/TrafficText.h"

#include "cid/CidText.h"

void AppendKeepingTail(std::string& target, std::string_view text, std::size_t limit) {
  if (text.size() >= limit) {
    target.assign(text.substr(text.size() - limit));
    return;
  }
  target.append(text);
  if (target.size() > limit) target.erase(0, target.size() - limit);
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
