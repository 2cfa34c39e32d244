#pragma once
// EventLog: the program's two log sinks.
//  - LogEvent(type, text) sends one "Homeseer.Event" xAP message with the items
//    Time, Type and Data (Data = text plus the pending error, if any). In headless
//    runs every event line is also written to standard error.
//  - LogToFile(source, text) appends "source text location description" to
//    Data/xapvynCID.txt; it is used where the xAP network cannot carry a message.
// A failing step records a pending error with SetError(); the next sink call
// reports it and clears it. Neither sink ever throws or reports its own failure.
#include <cstdint>
#include <functional>
#include <string>

class EventLog {
 public:
  // Sends one xAP message: target, class, section, items encoded as
  // name \x01 value, items separated by \x00.
  using XapSend = std::function<void(const std::string& target, const std::string& msgClass,
                                     const std::string& section, const std::string& data)>;
  using Clock = std::function<std::string()>;

  void SetXapSend(XapSend send) { send_ = std::move(send); }
  void SetLogFile(std::string path) { logFile_ = std::move(path); }
  const std::string& LogFile() const { return logFile_; }
  void SetEchoToStderr(bool on) { echo_ = on; }
  // The file log is kept below this size: a full file is renamed to
  // xapvynCID.txt.1 (replacing an older one) and a new file is started.
  void SetLogFileLimit(std::uintmax_t bytes) { logLimit_ = bytes; }
  // The clock gives the "Time" item; by default the local general date-time text.
  void SetClock(Clock clock) { clock_ = std::move(clock); }

  void SetError(int location, std::string description);
  bool HasError() const { return hasError_; }

  void LogEvent(const std::string& type, const std::string& text);
  void LogToFile(const std::string& source, const std::string& text);

  // Local date and time as "M/d/yyyy h:mm:ss AM" (the general date-time text).
  static std::string GeneralDateTime();

 private:
  XapSend send_;
  Clock clock_;
  std::string logFile_;
  bool echo_ = false;
  std::uintmax_t logLimit_ = 10 * 1024 * 1024;
  bool hasError_ = false;
  int errorLocation_ = 0;
  std::string errorDescription_;
};
