#pragma once
// The names this program uses on an MQTT broker (pure).
//
// The node name is XAPNode, or the host name when XAPNode is empty, lower-cased, with
// every byte outside a-z, 0-9, "_" and "-" replaced by "_" (so it is safe in a topic,
// in a Home Assistant discovery topic and in a unique_id); "xapvyncid" when both are
// empty. Every topic of the program lies below <base> = <TopicPrefix>/<node>.
#include <string>
#include <string_view>

#include "mqtt/MqttConfig.h"

// Lower-case, with every byte outside [a-z0-9_-] replaced by "_".
std::string MqttSafeName(std::string_view text);
std::string MqttNodeName(std::string_view xapNode, std::string_view hostName);
// "xapvyncid-<host>-<node>", host made safe like a node name.
std::string MqttDefaultClientId(std::string_view hostName, std::string_view node);

struct MqttTopics {
  std::string base;        // <TopicPrefix>/<node>
  std::string status;      // "online" / "offline", retained
  std::string call;        // one JSON object per completed call, QoS 1
  std::string callUpdate;  // the same object when a later lookup names the call
  std::string lastCall;    // the last of either, retained
};
MqttTopics MakeMqttTopics(const std::string& topicPrefix, const std::string& node);
