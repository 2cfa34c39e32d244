#pragma once
// SetupFields: the settings the setup dialog edits, in the order it loads them and in
// the order it writes them back. Plain data, no Qt.
//  - control: the object name of the dialog's box for the setting.
//  - group / key: where the value lives in vynRinglet.ini; saveKey is the name it is
//    written under (XapVoice goes back as "XAPVoice": keys compare without case).
//  - kind: a text box, a text box written wrapped in double quotes, or a check box
//    (on when the value's leading number is 1, as the program reads it; written as "0" or "1").
//  - fallback: the default shown when the file lacks the key; when empty, a key of
//    "General" takes the settings record's default and any other key the empty text.
#include <array>
#include <string_view>

enum class SetupKind { kText, kQuotedText, kCheck };

struct SetupField {
  std::string_view control;
  std::string_view group;
  std::string_view key;
  std::string_view saveKey;
  SetupKind kind;
  std::string_view fallback = {};

  constexpr bool Check() const { return kind == SetupKind::kCheck; }
  constexpr bool Quoted() const { return kind == SetupKind::kQuotedText; }
};

inline constexpr std::string_view kSetupFile = "vynRinglet.ini";

namespace setupfields {

constexpr SetupKind kText = SetupKind::kText;
constexpr SetupKind kQuoted = SetupKind::kQuotedText;
constexpr SetupKind kCheck = SetupKind::kCheck;

// A key of section "General", written back under saveKey (its own name by default).
constexpr SetupField General(std::string_view control, std::string_view key, SetupKind kind,
                             std::string_view saveKey = {}) {
  return {control, "General", key, saveKey.empty() ? key : saveKey, kind, {}};
}
// A Linux setting in a section of its own.
constexpr SetupField Own(std::string_view control, std::string_view group, std::string_view key,
                         SetupKind kind = SetupKind::kText, std::string_view fallback = {}) {
  return {control, group, key, key, kind, fallback};
}

constexpr SetupField XAPNode = General("aXAPNode", "XAPNode", kQuoted);
constexpr SetupField XAPPID = General("aXAPPID", "XAPPID", kQuoted);
constexpr SetupField CIDCommPort = General("aCIDCommPort", "CIDCommPort", kQuoted);
constexpr SetupField CIDPortString = General("aCIDPortString", "CIDPortString", kText);
constexpr SetupField CIDModemInitString =
    General("aCIDModemInitString", "CIDModemInitString", kText);
constexpr SetupField CIDNamePrefix = General("aCIDNamePrefix", "CIDNamePrefix", kText);
constexpr SetupField CIDNumberPrefix = General("aCIDNumberPrefix", "CIDNumberPrefix", kText);
constexpr SetupField CIDIncoming = General("aCIDIncoming", "CIDIncoming", kCheck);
constexpr SetupField MessageDisplay = General("aMessageDisplay", "MessageDisplay", kCheck);
constexpr SetupField XapVoice = General("aXapVoice", "XapVoice", kCheck, "XAPVoice");
constexpr SetupField FormatSuffix = General("aFormatSuffix", "FormatSuffix", kCheck);
constexpr SetupField FormatPrefix = General("aFormatPrefix", "FormatPrefix", kText);
constexpr SetupField FriendsLocation = General("aFriendsLocation", "FriendsLocation", kText);
constexpr SetupField StripPrefix = General("aStripPrefix", "StripPrefix", kCheck);
constexpr SetupField InsertModemCrLf = General("aInsertModemCrLf", "InsertModemCrLf", kCheck);
constexpr SetupField Outlook = General("aOutlook", "Outlook", kCheck);
constexpr SetupField OCID = General("aOCID", "OCID", kCheck);
constexpr SetupField ContactBookFolder = Own("aContactBookFolder", "ContactBook", "Folder");
constexpr SetupField AddressBookFile = Own("aAddressBookFile", "AddressBook", "File");
constexpr SetupField ReverseLookupBaseURL =
    Own("aReverseLookupBaseURL", "ReverseLookup", "BaseURL");
constexpr SetupField AreaCodeNames = {"aAreaCodeNames", "General", "AreaCodeNames",
                                      "AreaCodeNames", kCheck, "1"};
constexpr SetupField HistoryNotify = Own("aHistoryNotify", "History", "Notify", kCheck, "1");
constexpr SetupField MqttHost = Own("aMqttHost", "MQTT", "Host");
constexpr SetupField MqttPort = Own("aMqttPort", "MQTT", "Port", kText, "1883");
constexpr SetupField MqttUser = Own("aMqttUser", "MQTT", "User");
constexpr SetupField MqttPassword = Own("aMqttPassword", "MQTT", "Password");
constexpr SetupField MqttPasswordFile = Own("aMqttPasswordFile", "MQTT", "PasswordFile");
constexpr SetupField MqttCAFile = Own("aMqttCAFile", "MQTT", "CAFile");
constexpr SetupField MqttClientId = Own("aMqttClientId", "MQTT", "ClientId");
constexpr SetupField MqttTopicPrefix = Own("aMqttTopicPrefix", "MQTT", "TopicPrefix", kText,
                                           "xapvyncid");
constexpr SetupField MqttDiscovery = Own("aMqttDiscovery", "MQTT", "Discovery", kCheck, "1");
constexpr SetupField MqttDiscoveryPrefix = Own("aMqttDiscoveryPrefix", "MQTT", "DiscoveryPrefix",
                                               kText, "homeassistant");


}  // namespace setupfields

inline constexpr std::array<SetupField, 32> kSetupLoadOrder{
    setupfields::XAPNode,
    setupfields::XAPPID,
    setupfields::CIDCommPort,
    setupfields::CIDPortString,
    setupfields::CIDModemInitString,
    setupfields::CIDNamePrefix,
    setupfields::CIDNumberPrefix,
    setupfields::CIDIncoming,
    setupfields::MessageDisplay,
    setupfields::XapVoice,
    setupfields::FormatSuffix,
    setupfields::FormatPrefix,
    setupfields::FriendsLocation,
    setupfields::StripPrefix,
    setupfields::InsertModemCrLf,
    setupfields::Outlook,
    setupfields::OCID,
    setupfields::ContactBookFolder,
    setupfields::AddressBookFile,
    setupfields::ReverseLookupBaseURL,
    setupfields::AreaCodeNames,
    setupfields::HistoryNotify,
    setupfields::MqttHost,
    setupfields::MqttPort,
    setupfields::MqttUser,
    setupfields::MqttPassword,
    setupfields::MqttPasswordFile,
    setupfields::MqttCAFile,
    setupfields::MqttClientId,
    setupfields::MqttTopicPrefix,
    setupfields::MqttDiscovery,
    setupfields::MqttDiscoveryPrefix,
};

inline constexpr std::array<SetupField, 32> kSetupSaveOrder{
    setupfields::XAPNode,
    setupfields::XAPPID,
    setupfields::CIDCommPort,
    setupfields::CIDPortString,
    setupfields::CIDModemInitString,
    setupfields::CIDNamePrefix,
    setupfields::CIDNumberPrefix,
    setupfields::CIDIncoming,
    setupfields::MessageDisplay,
    setupfields::XapVoice,
    setupfields::FriendsLocation,
    setupfields::InsertModemCrLf,
    setupfields::StripPrefix,
    setupfields::Outlook,
    setupfields::OCID,
    setupfields::FormatPrefix,
    setupfields::FormatSuffix,
    setupfields::ContactBookFolder,
    setupfields::AddressBookFile,
    setupfields::ReverseLookupBaseURL,
    setupfields::AreaCodeNames,
    setupfields::HistoryNotify,
    setupfields::MqttHost,
    setupfields::MqttPort,
    setupfields::MqttUser,
    setupfields::MqttPassword,
    setupfields::MqttPasswordFile,
    setupfields::MqttCAFile,
    setupfields::MqttClientId,
    setupfields::MqttTopicPrefix,
    setupfields::MqttDiscovery,
    setupfields::MqttDiscoveryPrefix,
};
