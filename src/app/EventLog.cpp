#include "app/EventLog.h"

#include <filesystem>
#include <fstream>
#include <iostream>

#include "host/GeneralDate.h"
#include "common/XapItems.h"

void EventLog::SetError(int location, std::string description) {
  hasError_ = true;
  errorLocation_ = location;
  errorDescription_ = std::move(description);
}

std::string EventLog::GeneralDateTime() {
  return GeneralDateText(std::chrono::system_clock::now());
}

void EventLog::LogEvent(const std::string& type, const std::string& text) {
  std::string data = text;
  if (hasError_) {
    data += " Line " + std::to_string(errorLocation_) + " " + errorDescription_;
    hasError_ = false;
    errorDescription_.clear();
  }
  const std::string time = clock_ ? clock_() : GeneralDateTime();
  if (echo_) std::cerr << time << ' ' << type << ": " << data << std::endl;
  if (send_) send_("", "Homeseer.Event", "Event.Log",
                   XapItems({{"Time", time}, {"Type", type}, {"Data", data}}));
}

void EventLog::LogToFile(const std::string& source, const std::string& text) {
  const int location = hasError_ ? errorLocation_ : 0;
  const std::string description = hasError_ ? errorDescription_ : std::string();
  hasError_ = false;
  errorDescription_.clear();
  if (echo_) std::cerr << source << ' ' << text << ' ' << location << ' ' << description << std::endl;
  if (logFile_.empty()) return;
  // Every failure from here on is ignored: the file log never reports itself.
  // A sender of broken messages can add a line each time: keep the file bounded.
  std::error_code ec;
  if (std::filesystem::file_size(logFile_, ec) >= logLimit_ && !ec)
    std::filesystem::rename(logFile_, logFile_ + ".1", ec);
  std::ofstream out(logFile_, std::ios::binary | std::ios::app);
  if (!out) return;
  out << source << ' ' << text << ' ' << location << ' ' << description << "\r\n";
}
