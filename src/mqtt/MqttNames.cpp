#include "mqtt/MqttNames.h"

std::string MqttSafeName(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 'A' && c <= 'Z')
      out += static_cast<char>(c - 'A' + 'a');
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-')
      out += static_cast<char>(c);
    else
      out += '_';
  }
  return out;
}

std::string MqttNodeName(std::string_view xapNode, std::string_view hostName) {
  const std::string_view source = xapNode.empty() ? hostName : xapNode;
  return source.empty() ? std::string("xapvyncid") : MqttSafeName(source);
}

std::string MqttDefaultClientId(std::string_view hostName, std::string_view node) {
  return "xapvyncid-" + MqttSafeName(hostName) + "-" + std::string(node);
}

MqttTopics MakeMqttTopics(const std::string& topicPrefix, const std::string& node) {
  MqttTopics t;
  t.base = topicPrefix + "/" + node;
  t.status = t.base + "/status";
  t.call = t.base + "/call";
  t.callUpdate = t.base + "/call/update";
  t.lastCall = t.base + "/last_call";
  return t;
}
