#include "mqtt/MqttDiscovery.h"

#include "mqtt/MqttJson.h"

std::vector<MqttMessage> MqttDiscoveryMessages(const std::string& discoveryPrefix,
                                               const MqttTopics& topics, const std::string& node,
                                               const std::string& version) {
  const std::string id = "xapvyncid_" + node;
  const std::string device = JsonObject()
                                 .AddRaw("identifiers", "[" + JsonString(id) + "]")
                                 .Add("name", "xapvynCID " + node)
                                 .Add("manufacturer", "xapvynCID")
                                 .Add("model", "xapvynCID")
                                 .Add("sw_version", version)
                                 .Text();
  auto topic = [&](const char* component, const char* object) {
    return discoveryPrefix + "/" + component + "/" + id + "/" + object + "/config";
  };
  auto common = [&](JsonObject& o, const char* name, const char* object) -> JsonObject& {
    return o.Add("name", name)
        .Add("unique_id", id + "_" + object)
        .Add("availability_topic", topics.status)
        .AddRaw("device", device);
  };

  std::vector<MqttMessage> out;
  JsonObject lastCaller;
  common(lastCaller, "Last caller", "last_caller")
      .Add("state_topic", topics.lastCall)
      .Add("value_template", "{{ value_json.name }}")
      .Add("json_attributes_topic", topics.lastCall)
      .Add("icon", "mdi:phone-incoming");
  out.push_back({topic("sensor", "last_caller"), lastCaller.Text()});

  JsonObject lastNumber;
  common(lastNumber, "Last caller number", "last_caller_number")
      .Add("state_topic", topics.lastCall)
      .Add("value_template", "{{ value_json.display_number }}")
      .Add("icon", "mdi:phone-classic");
  out.push_back({topic("sensor", "last_caller_number"), lastNumber.Text()});

  JsonObject incoming;
  common(incoming, "Incoming call", "incoming_call")
      .Add("state_topic", topics.call)
      .AddRaw("event_types", "[\"call\"]")
      .Add("icon", "mdi:phone-ring");
  out.push_back({topic("event", "incoming_call"), incoming.Text()});
  return out;
}
