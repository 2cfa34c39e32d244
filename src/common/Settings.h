#pragma once
// Settings: the seventeen options of section "General" of vynRinglet.ini, with
// their defaults and conversions. Values are read with every double quote
// removed; a boolean is on exactly when the leading number of its text is 1.
#include <string>
#include <string_view>
#include <vector>

struct Settings {
  std::string XAPNode;
  std::string XAPPID = "FF008000";
  bool InsertModemCrLf = true;
  std::string CIDCommPort;
  std::string CIDPortString = "9600,n,8,1";
  std::string CIDModemInitString = "AT#CID=1";
  std::string CIDNumberPrefix = "NMBR =";
  std::string CIDNamePrefix = "NAME =";
  std::string FriendsLocation;
  bool Outlook = true;
  bool OCID = true;
  bool StripPrefix = false;
  bool CIDIncoming = true;
  bool MessageDisplay = true;
  bool XapVoice = true;
  std::string FormatPrefix = "Call from";
  bool FormatSuffix = true;

  // Extra settings of the Linux build, each in a section of its own.
  std::string ContactBookFolder;   // [ContactBook] Folder: vCard folder
  std::string AddressBookFile;     // [AddressBook] File: CSV address book
  std::string ReverseLookupBaseURL;  // [ReverseLookup] BaseURL
  int HistoryKeepDays = 730;         // [History] KeepDays: 0 keeps every call
  bool HistoryNotify = true;         // [History] Notify: a desktop notification per call
  // [General] AreaCodeNames: the area code's location replaces the caller-ID name
  // (on) or names only a caller without one (off).
  bool AreaCodeNames = true;
  // [General] LearnFromNetworkCalls: calls from the xAP network may create contacts
  // and start reverse lookups.
  bool LearnFromNetworkCalls = false;
};

// The key list in load order, and its sections.
inline constexpr std::string_view kSettingsKeyList =
    "XAPNode,XAPPID,InsertModemCrLf,CIDCommPort,CIDPortString,CIDModemInitString,"
    "CIDNumberPrefix,CIDNamePrefix,FriendsLocation,Outlook,OCID,StripPrefix,CIDIncoming,"
    "MessageDisplay,XapVoice,FormatPrefix,FormatSuffix";
inline constexpr std::string_view kSettingsFile = "vynRinglet.ini";
inline constexpr std::string_view kSettingsSection = "General";

std::vector<std::string> SettingsKeys();
// The default text of a key (as stored in the file), "" for an unknown key.
std::string SettingDefault(std::string_view key);
// Leading number of a text, as a double; 0 when there is none.
double LeadingNumber(std::string_view text);
// On exactly when the leading number is 1.
bool SettingIsOn(std::string_view text);
// The whole text (blanks aside) is a decimal number.
bool IsNumeric(std::string_view text);
std::string RemoveQuotes(std::string_view text);
// Stores one value (as read from the file) into the record; key matched without
// regard to case. Returns false for a key that is not in the list.
bool ApplySetting(Settings& settings, std::string_view key, std::string_view value);
