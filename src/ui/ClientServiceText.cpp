#include "ui/ClientServiceText.h"

std::string InformationBlock(const std::vector<std::string>& clientSlots) {
  const std::string crlf = "\r\n";
  const std::string stars(56, '*');
  std::string text = crlf + crlf;
  text += stars + crlf;
  text += std::string(18, ' ') + "Orvo Server" + crlf;
  text += stars + crlf;
  text += "  xapvynCID caller-ID display service" + crlf;
  text += "  Sends each incoming call to the caller-ID displays" + crlf;
  text += "  that have subscribed on UDP." + crlf;
  text += stars + crlf;
  text += "Registered CID clients:" + crlf;
  for (const std::string& slot : clientSlots) text += "--> " + slot + crlf;
  text += crlf + crlf;
  return text;
}

int RegisteredDisplays(const std::vector<std::string>& clientSlots) {
  int count = 0;
  for (const std::string& slot : clientSlots)
    if (!slot.empty() && slot.front() != '-') ++count;
  return count;
}
