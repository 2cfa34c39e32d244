#pragma once
// Home Assistant discovery documents for this program (pure).
//
// One device, "xapvynCID <node>" (identifiers ["xapvyncid_<node>"], model "xapvynCID",
// sw_version = version), with three entities, each with availability_topic
// <base>/status and a unique_id "xapvyncid_<node>_<object>":
//  - sensor "Last caller" (object last_caller): state = "name" of <base>/last_call, the
//    whole object as its attributes (json_attributes_topic <base>/last_call);
//  - sensor "Last caller number" (object last_caller_number): "display_number" of
//    <base>/last_call;
//  - event "Incoming call" (object incoming_call): event_types ["call"], fed from
//    <base>/call, whose objects carry "event_type":"call"; the other members become
//    the event's attributes.
// Topics: <DiscoveryPrefix>/<component>/xapvyncid_<node>/<object>/config. The documents
// are published retained on every connect.
#include <string>
#include <vector>

#include "mqtt/MqttNames.h"

struct MqttMessage {
  std::string topic;
  std::string payload;
};

std::vector<MqttMessage> MqttDiscoveryMessages(const std::string& discoveryPrefix,
                                               const MqttTopics& topics, const std::string& node,
                                               const std::string& version);
