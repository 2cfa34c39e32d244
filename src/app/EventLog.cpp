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
  if (echo_) Echo(type + ": " + data, time);
  if (send_) send_("", "Homeseer.Event", "Event.Log",
                   XapItems({{"Time", time}, {"Type", type}, {"Data", data}}));
}

void EventLog::LogToFile(const std::string& source, const std::string& text) {
  const int location = hasError_ ? errorLocation_ : 0;
  const std::string description = hasError_ ? errorDescription_ : std::string();
  hasError_ = false;
  errorDescription_.clear();
  if (echo_)
    Echo(source + ' ' + text + ' ' + std::to_string(location) + ' ' + description, std::string());
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

void EventLog::EchoLine(const std::string& text) {
  Echo(text, clock_ ? clock_() : GeneralDateTime());
}

namespace {

// One line on standard error in one write, so lines of a flood never interleave and a
// call costs one system call for its line.
void WriteStandardError(const std::string& line) {
  std::string out;
  out.reserve(line.size() + 1);
  out += line;
  out += '\n';
  std::cerr.write(out.data(), static_cast<std::streamsize>(out.size()));
}

}  // namespace

void EventLog::FlushRepeats() { FlushRepeats(Now(), false); }

void EventLog::FlushRepeats(std::chrono::steady_clock::time_point now, bool all) {
  for (auto it = repeats_.begin(); it != repeats_.end();) {
    if (!all && now - it->second.since < kEchoWindow) {
      ++it;
      continue;
    }
    if (it->second.counted > 0) {
      const std::string line = it->first + " (repeated " + std::to_string(it->second.counted) +
                               " times in the last minute)";
      if (sink_) sink_(line);
      else WriteStandardError(line);
    }
    it = repeats_.erase(it);
  }
}

void EventLog::Echo(const std::string& key, const std::string& time) {
  const auto now = Now();
  if (now - lastFlush_ >= std::chrono::seconds(1)) {
    FlushRepeats(now, false);
    lastFlush_ = now;
  }
  // Many different lines within one minute: the oldest counts are written early
  // rather than letting the table grow.
  if (repeats_.size() >= 1000 && repeats_.find(key) == repeats_.end()) FlushRepeats(now, true);
  auto [it, added] = repeats_.try_emplace(key);
  if (added) it->second.since = now;
  if (it->second.shown >= kEchoRepeats) {
    ++it->second.counted;
    return;
  }
  ++it->second.shown;
  const std::string line = time.empty() ? key : time + ' ' + key;
  if (sink_) sink_(line);
  else WriteStandardError(line);
}
