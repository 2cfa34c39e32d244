#include "host/Homeseer.h"

#include "common/FastString.h"
#include "host/FileIo.h"
#include "host/GeneralDate.h"
#include "host/IniTool.h"
#include "common/XapItems.h"

Homeseer::Homeseer(std::string programFolder, HostHooks hooks) : hooks_(std::move(hooks)) {
  while (!programFolder.empty() && programFolder.back() == '/') programFolder.pop_back();
  appPath_ = programFolder;
  hsPath_ = programFolder;
  dbPath_ = programFolder;
  logFile_ = programFolder + "/Data/xapvynCID.txt";
}

HostStatus Homeseer::Writelog(const std::string& Col1, const std::string& col2) {
  std::string line = GeneralDateText(hooks_.Now());
  line += '\t';
  line += Col1;
  line += '\t';
  line += col2;
  line += "\r\n";
  return AppendToExistingFile(logFile_, line);
}

std::string Homeseer::GetIniSetting(const std::string& Group, const std::string& Key,
                                    const std::string& Default, const std::string& File,
                                    HostStatus* error) {
  IniTool ini(hooks_);
  HostStatus status = ini.Load(IniPath(File));
  if (error) *error = status;
  if (!status) return Default;
  return ini.Read(Group, Key, Default);
}

HostStatus Homeseer::SaveIniSetting(const std::string& Group, const std::string& Key,
                                    const std::string& Value, const std::string& File) {
  IniTool ini(hooks_);
  if (HostStatus status = ini.Load(IniPath(File)); !status) return status;
  ini.WriteKey(Group, Key, Value);
  return ini.Save();
}

std::string Homeseer::GetINISection(const std::string& Group, const std::string& File,
                                    HostStatus* error) {
  IniTool ini(hooks_);
  HostStatus status = ini.Load(IniPath(File));
  if (error) *error = status;
  if (!status) return {};
  FastString text;
  for (const std::string& key : ini.Keys(Group)) {
    text.Add(std::string_view("\0", 1));
    text.Add(key);
    text.Add("=");
    text.Add(ini.Read(Group, key, ""));
  }
  return text.Value().substr(1);
}

std::int32_t Homeseer::DeviceExists(const std::string& sDevice) const {
  return deviceIndex_.count(sDevice) ? 1 : -1;
}

std::int32_t Homeseer::NewDevice(const std::string& sDevice) {
  auto [it, added] = deviceIndex_.try_emplace(sDevice, devices_.size());
  if (!added) return -1;
  devices_.emplace_back(sDevice, Device{});
  return 0;
}

Device* Homeseer::Find(const std::string& sDevice) {
  auto it = deviceIndex_.find(sDevice);
  return it == deviceIndex_.end() ? nullptr : &devices_[it->second].second;
}

const Device* Homeseer::FindDevice(const std::string& sDevice) const {
  auto it = deviceIndex_.find(sDevice);
  return it == deviceIndex_.end() ? nullptr : &devices_[it->second].second;
}

void Homeseer::SetDeviceValue(const std::string& sDevice, std::int32_t iValue) {
  if (Device* d = Find(sDevice)) d->DeviceValue = iValue;
}

std::int32_t Homeseer::DeviceValue(const std::string& sDevice) const {
  const Device* d = FindDevice(sDevice);
  return d ? d->DeviceValue : 0;
}

void Homeseer::SetDeviceString(const std::string& sDevice, const std::string& sString) {
  if (Device* d = Find(sDevice)) d->DeviceString = sString;
  if (sDevice.empty() || !hooks_.sendXap) return;
  hooks_.sendXap("", "Homeseer.Device", "Device.State",
                 XapItems({{"Property", "String"}, {"Device", sDevice}, {"Value", sString}}));
}

std::string Homeseer::DeviceString(const std::string& sDevice) const {
  const Device* d = FindDevice(sDevice);
  return d ? d->DeviceString : std::string();
}

void Homeseer::SetDeviceStatus(const std::string& sDevice, std::int16_t iStatus) {
  if (Device* d = Find(sDevice)) d->DeviceStatus = iStatus;
}

std::int16_t Homeseer::DeviceStatus(const std::string& sDevice) const {
  const Device* d = FindDevice(sDevice);
  return d ? d->DeviceStatus : std::int16_t{0};
}

void Homeseer::SetDeviceLastChange(const std::string& sDevice,
                                   std::chrono::system_clock::time_point dDate) {
  if (Device* d = Find(sDevice)) d->DeviceLastChange = dDate;
}

std::chrono::system_clock::time_point Homeseer::DeviceLastChange(const std::string& sDevice) const {
  const Device* d = FindDevice(sDevice);
  return d ? d->DeviceLastChange : std::chrono::system_clock::time_point{};
}

bool Homeseer::isOn(const std::string& sDevice) const { return DeviceStatus(sDevice) == 2; }

bool Homeseer::isOff(const std::string& sDevice) const { return DeviceStatus(sDevice) == 3; }

std::string Homeseer::StringItem(const std::string& sString, std::int32_t iPosition,
                                 const std::string& sDelimiter) {
  if (iPosition < 1) return {};
  if (sDelimiter.empty()) return iPosition == 1 ? sString : std::string();
  std::size_t start = 0;
  for (std::int32_t item = 1;; ++item) {
    const std::size_t end = sString.find(sDelimiter, start);
    if (item == iPosition)
      return sString.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (end == std::string::npos) return {};
    start = end + sDelimiter.size();
  }
}
