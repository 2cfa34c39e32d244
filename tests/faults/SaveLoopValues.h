#pragma once
// The settings the save-loop helper writes and the settings-kill test checks: save
// number n (from 1) sets key FillerKey(n % keys) of section [Filler] to FillerValue(n);
// before the first save every key k holds OriginalValue(k). Values are long enough
// that the file takes a while to write.
#include <string>

namespace faults {

inline constexpr const char* kFillerSection = "Filler";

inline std::string FillerKey(long k) { return "K" + std::to_string(k); }

inline std::string FillerValue(long n) {
  return "gen" + std::to_string(n) + " " + std::string(48, 'x') + " end";
}

inline std::string OriginalValue(long k) {
  return "orig" + std::to_string(k) + " " + std::string(48, 'o') + " end";
}

}  // namespace faults
