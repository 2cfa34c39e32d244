#pragma once
// Device: one record of the host object's device table. A plain record: every
// property returns the value last set; a new record holds empty strings, zeros and
// the zero date (the clock's epoch). DeviceStatus 2 means on, 3 means off.
#include <chrono>
#include <cstdint>
#include <string>

struct Device {
  std::int32_t index = 0;
  std::int32_t ref() const { return index; }
  std::int32_t DeviceValue = 0;
  std::string DeviceString;
  std::int16_t DeviceStatus = 0;
  std::chrono::system_clock::time_point DeviceLastChange{};
  std::string Location;
  std::string Dev_type_string;
  std::string HC;
  std::string DC;
  std::string Interface;
  std::int32_t Misc = 0;
  std::int16_t IoType = 0;
  std::string Name;
};
