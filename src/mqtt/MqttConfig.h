#pragma once
// MqttConfig: the settings of section [MQTT] of vynRinglet.ini, and how they are read.
//
// ReadMqttConfig fills the struct from a key lookup (get(key, fallback) returns the
// value stored under that key of [MQTT], or fallback when there is none). It is pure:
// no file is read. Values are taken with surrounding blanks removed and one pair of
// enclosing double quotes dropped; an empty value means the default. Port must be a
// number from 1 to 65535, otherwise 1883. Discovery is on exactly when the leading
// number of its text is 1. Trailing "/" of the two prefixes is dropped. Publishing is
// enabled when Host is not empty.
//
// PasswordFile names a file (e.g. a systemd credential) whose first line is the
// password; ReadPasswordFile reads it and reports a failure as a value.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct MqttConfig {
  std::string host;  // broker host name or address; empty: off
  int port = 1883;
  std::string user;  // empty: no login
  std::string password;
  std::string passwordFile;  // when set, the password is read from this file
  std::string caFile;        // when set, TLS with this CA certificate file
  std::string clientId;      // empty: "xapvyncid-<host>-<node>"
  std::string topicPrefix = "xapvyncid";
  bool discovery = true;  // Home Assistant discovery documents
  std::string discoveryPrefix = "homeassistant";

  bool Enabled() const { return !host.empty(); }
};

inline constexpr std::string_view kMqttSection = "MQTT";

using MqttKeyLookup =
    std::function<std::string(const std::string& key, const std::string& fallback)>;

MqttConfig ReadMqttConfig(const MqttKeyLookup& get);

// On exactly when the leading number of text (after blanks) is 1: "1", " 1", "1.0",
// "1 yes" are on; "", "0", "yes", "true", "10" are off.
bool MqttSettingOn(std::string_view text);

// The password held by a password file's bytes: its first line, without the line end
// (CR LF or LF) and without trailing CR or LF.
std::string PasswordFromFileText(std::string_view bytes);

struct PasswordFileResult {
  bool ok = false;
  std::string password;
  std::string error;  // the system's reason when !ok, e.g. "No such file or directory"
};
PasswordFileResult ReadPasswordFile(const std::string& path);
