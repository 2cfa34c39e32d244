#pragma once
// Homeseer: the host object. A small local stand-in for a home-automation host's
// object model: INI settings access for the program, a file log, a device table with
// its xAP device-string message, and a text helper. One instance lives for the
// whole program.
//
// What callers may rely on:
//  - Folders: the program folder given at construction (a trailing "/" is dropped) is
//    the application, HS and DB path. Settings files are folder + "/Config/" + File;
//    the log file is folder + "/Data/xapvynCID.txt".
//  - INI access is stateless: every call makes a fresh IniTool (with this object's
//    hooks for its reports), uses it and drops it. GetIniSetting returns Default for
//    a missing key or an empty value, and also when the file cannot be read; the
//    reason then goes to *error when given. A missing file is created empty (with its
//    folders). SaveIniSetting loads, writes the one key and saves the whole file
//    (sorted, upper-case names, comments dropped, old file kept as "_bck"); a save
//    failure is reported by the engine and returned.
//  - GetINISection: "KEY=value" pairs of one section in table order, separated by
//    single NUL characters; a section without keys gives "=".
//  - Writelog appends "date\tCol1\tcol2\r\n" to the log file, which must exist (it is
//    not created); a failure is returned.
//  - Device table: names compared exactly. Reads and writes of a name without a
//    record change nothing, do not add the name, and read as 0, "", the zero date
//    or false. NewDevice returns 0, or -1 (record left as it was) for a name that
//    already has a record. DeviceExists answers 1 or -1.
//  - SetDeviceString sends, for a non-empty device name, class "Homeseer.Device",
//    section "Device.State", items Property=String, Device=name, Value=text, through
//    hooks.sendXap, whether or not the device has a record.
//  - StringItem(text, n, delimiter): item n (from 1) of text split at every
//    delimiter; "" when there is no such item (also for n below 1). An empty
//    delimiter does not split.
#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/Device.h"
#include "host/HostHooks.h"

class Homeseer {
 public:
  explicit Homeseer(std::string programFolder, HostHooks hooks = {});

  void SetHooks(HostHooks hooks) { hooks_ = std::move(hooks); }

  HostStatus Writelog(const std::string& Col1, const std::string& col2);
  std::string GetIniSetting(const std::string& Group, const std::string& Key,
                            const std::string& Default, const std::string& File,
                            HostStatus* error = nullptr);
  HostStatus SaveIniSetting(const std::string& Group, const std::string& Key,
                            const std::string& Value, const std::string& File);
  std::string GetINISection(const std::string& Group, const std::string& File,
                            HostStatus* error = nullptr);
  std::int32_t DeviceExists(const std::string& sDevice) const;
  const std::string& GetAppPath() const { return appPath_; }
  const std::string& GetHSPath() const { return hsPath_; }
  const std::string& GetDBPath() const { return dbPath_; }
  std::int32_t NewDevice(const std::string& sDevice);
  void SetDeviceValue(const std::string& sDevice, std::int32_t iValue);
  std::int32_t DeviceValue(const std::string& sDevice) const;
  void SetDeviceString(const std::string& sDevice, const std::string& sString);
  std::string DeviceString(const std::string& sDevice) const;
  void SetDeviceStatus(const std::string& sDevice, std::int16_t iStatus);
  std::int16_t DeviceStatus(const std::string& sDevice) const;
  void SetDeviceLastChange(const std::string& sDevice, std::chrono::system_clock::time_point dDate);
  std::chrono::system_clock::time_point DeviceLastChange(const std::string& sDevice) const;
  bool isOn(const std::string& sDevice) const;
  bool isOff(const std::string& sDevice) const;
  static std::string StringItem(const std::string& sString, std::int32_t iPosition,
                                const std::string& sDelimiter);

  // The settings file path for a bare file name, and the log file path.
  std::string IniPath(const std::string& File) const { return appPath_ + "/Config/" + File; }
  const std::string& LogFilePath() const { return logFile_; }
  // The record of a device, or nullptr.
  const Device* FindDevice(const std::string& sDevice) const;

 private:
  Device* Find(const std::string& sDevice);

  HostHooks hooks_;
  std::string appPath_;
  std::string hsPath_;
  std::string dbPath_;
  std::string logFile_;
  // Insertion-ordered device table: records in order, index by name.
  std::vector<std::pair<std::string, Device>> devices_;
  std::unordered_map<std::string, std::size_t> deviceIndex_;
};
