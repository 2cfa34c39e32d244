#pragma once
// EventLog: the program's two log sinks.
//  - LogEvent(type, text) sends one "Homeseer.Event" xAP message with the items
//    Time, Type and Data (Data = text plus the pending error, if any). With the
//    echo on, every event line is also written to standard error.
//  - Standard error stays bounded: within one minute the same line (without its
//    time) is written at most kEchoRepeats times; further copies are counted and
//    written once as "<line> (repeated N times in the last minute)" when the
//    minute is over (on the next echo or FlushRepeats()).
//  - LogToFile(source, text) appends "source text location description" to
//    Data/xapvynCID.txt; it is used where the xAP network cannot carry a message.
// A failing step records a pending error with SetError(); the next sink call
// reports it and clears it. Neither sink ever throws or reports its own failure.
#include <chrono>
#include <cstdint>
#include <map>
#include <functional>
#include <string>

class EventLog {
 public:
  // Sends one xAP message: target, class, section, items encoded as
  // name \x01 value, items separated by \x00.
  using XapSend = std::function<void(const std::string& target, const std::string& msgClass,
                                     const std::string& section, const std::string& data)>;
  using Clock = std::function<std::string()>;
  using Monotonic = std::function<std::chrono::steady_clock::time_point()>;
  using LineSink = std::function<void(const std::string& line)>;
  static constexpr int kEchoRepeats = 10;
  static constexpr std::chrono::seconds kEchoWindow{60};

  void SetXapSend(XapSend send) { send_ = std::move(send); }
  void SetLogFile(std::string path) { logFile_ = std::move(path); }
  const std::string& LogFile() const { return logFile_; }
  void SetEchoToStderr(bool on) { echo_ = on; }
  // The file log is kept below this size: a full file is renamed to
  // xapvynCID.txt.1 (replacing an older one) and a new file is started.
  void SetLogFileLimit(std::uintmax_t bytes) { logLimit_ = bytes; }
  // The clock gives the "Time" item; by default the local general date-time text.
  void SetClock(Clock clock) { clock_ = std::move(clock); }
  // The clock of the repeat count and where echoed lines go (default: std::cerr).
  void SetMonotonic(Monotonic clock) { monotonic_ = std::move(clock); }
  void SetStderrSink(LineSink sink) { sink_ = std::move(sink); }
  // Writes one line (time first) to standard error through the repeat count,
  // whether or not the event echo is on.
  void EchoLine(const std::string& text);
  // Writes the count of every repeat whose minute is over.
  void FlushRepeats();

  void SetError(int location, std::string description);
  bool HasError() const { return hasError_; }

  void LogEvent(const std::string& type, const std::string& text);
  void LogToFile(const std::string& source, const std::string& text);

  // Local date and time as "M/d/yyyy h:mm:ss AM" (the general date-time text).
  static std::string GeneralDateTime();

 private:
  struct Repeat {
    std::chrono::steady_clock::time_point since;
    int shown = 0;
    long counted = 0;
  };
  void Echo(const std::string& key, const std::string& time);
  void FlushRepeats(std::chrono::steady_clock::time_point now, bool all);
  std::chrono::steady_clock::time_point Now() const {
    return monotonic_ ? monotonic_() : std::chrono::steady_clock::now();
  }

  XapSend send_;
  Monotonic monotonic_;
  LineSink sink_;
  std::map<std::string, Repeat> repeats_;
  // When the table was last looked through for counts to write (at most once a second).
  std::chrono::steady_clock::time_point lastFlush_{};
  Clock clock_;
  std::string logFile_;
  bool echo_ = false;
  std::uintmax_t logLimit_ = 10 * 1024 * 1024;
  bool hasError_ = false;
  int errorLocation_ = 0;
  std::string errorDescription_;
};
