#include "common/Settings.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

struct KeyDefault {
  std::string_view key;
  std::string_view value;
};

constexpr KeyDefault kDefaults[] = {
    {"XAPNode", ""},          {"XAPPID", "FF008000"},      {"InsertModemCrLf", "1"},
    {"CIDCommPort", ""},      {"CIDPortString", "9600,n,8,1"}, {"CIDModemInitString", "AT#CID=1"},
    {"CIDNumberPrefix", "NMBR ="}, {"CIDNamePrefix", "NAME ="}, {"FriendsLocation", ""},
    {"Outlook", "1"},         {"OCID", "1"},               {"StripPrefix", "0"},
    {"CIDIncoming", "1"},     {"MessageDisplay", "1"},     {"XapVoice", "1"},
    {"FormatPrefix", "Call from"}, {"FormatSuffix", "1"},
};

}  // namespace

std::vector<std::string> SettingsKeys() {
  std::vector<std::string> keys;
  std::string_view list = kSettingsKeyList;
  while (!list.empty()) {
    auto comma = list.find(',');
    keys.emplace_back(list.substr(0, comma));
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return keys;
}

std::string SettingDefault(std::string_view key) {
  for (const auto& kd : kDefaults)
    if (EqualNoCase(kd.key, key)) return std::string(kd.value);
  return {};
}

double LeadingNumber(std::string_view text) {
  // The numeric value of a text is its leading number after blanks; none is 0.
  std::string s(text);
  const char* begin = s.c_str();
  while (*begin == ' ' || *begin == '\t') ++begin;
  char* end = nullptr;
  double v = std::strtod(begin, &end);
  if (end == begin) return 0;
  // strtod also accepts "inf", "nan" and hexadecimal: only decimal digits count here.
  if (!std::isdigit(static_cast<unsigned char>(*begin)) && *begin != '.' && *begin != '-' &&
      *begin != '+')
    return 0;
  if (begin[0] == '0' && (begin[1] == 'x' || begin[1] == 'X')) return 0;
  return v;
}

bool IsNumeric(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return false;
  std::string s(text);
  char* end = nullptr;
  std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size() && LeadingNumber(s) == std::strtod(s.c_str(), nullptr);
}

bool SettingIsOn(std::string_view text) { return LeadingNumber(RemoveQuotes(text)) == 1.0; }

std::string RemoveQuotes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '"') out += c;
  return out;
}

bool ApplySetting(Settings& s, std::string_view key, std::string_view raw) {
  const std::string v = RemoveQuotes(raw);
  auto is = [&](std::string_view name) { return EqualNoCase(key, name); };
  if (is("XAPNode")) s.XAPNode = v;
  else if (is("XAPPID")) s.XAPPID = v;
  else if (is("InsertModemCrLf")) s.InsertModemCrLf = SettingIsOn(v);
  else if (is("CIDCommPort")) s.CIDCommPort = v;
  else if (is("CIDPortString")) s.CIDPortString = v;
  else if (is("CIDModemInitString")) s.CIDModemInitString = v;
  else if (is("CIDNumberPrefix")) s.CIDNumberPrefix = v;
  else if (is("CIDNamePrefix")) s.CIDNamePrefix = v;
  else if (is("FriendsLocation")) s.FriendsLocation = (v.empty() || v.back() == '/') ? v : v + "/";
  else if (is("Outlook")) s.Outlook = SettingIsOn(v);
  else if (is("OCID")) s.OCID = SettingIsOn(v);
  else if (is("StripPrefix")) s.StripPrefix = SettingIsOn(v);
  else if (is("CIDIncoming")) s.CIDIncoming = SettingIsOn(v);
  else if (is("MessageDisplay")) s.MessageDisplay = SettingIsOn(v);
  else if (is("XapVoice")) s.XapVoice = SettingIsOn(v);
  else if (is("FormatPrefix")) s.FormatPrefix = v;
  else if (is("FormatSuffix")) s.FormatSuffix = SettingIsOn(v);
  else return false;
  return true;
}
