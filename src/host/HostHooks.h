#pragma once
// HostHooks and HostStatus: how the host services talk to the rest of the program
// without depending on it.
//  - HostStatus is the result of an operation that can fail: ok, or a location
//    number (which step failed) and the system's description of the failure.
//  - HostHooks carries the injected sinks. Every member may be left empty; an empty
//    sink drops what it is given and the clock then falls back to the system clock.
//    logEvent(type, text) stands for the program's event log; setError(location,
//    description) records the pending error that the next logEvent appends to its
//    text (" Line " + location + " " + description). A report is always setError
//    first (when there is an error to describe), then logEvent.
#include <chrono>
#include <functional>
#include <string>

struct HostStatus {
  bool ok = true;
  int location = 0;         // the failing step; 0 when none is known
  std::string description;  // the system's reason, e.g. "Permission denied"
  int code = 0;             // the system's error number (errno), 0 when none

  explicit operator bool() const { return ok; }
  static HostStatus Fail(int location, std::string description, int code = 0) {
    return HostStatus{false, location, std::move(description), code};
  }
};

struct HostHooks {
  using LogEvent = std::function<void(const std::string& type, const std::string& text)>;
  using SetError = std::function<void(int location, const std::string& description)>;
  // One xAP message: target, class, section, items encoded as name + '\x01' + value,
  // items separated by '\0'.
  using SendXap = std::function<void(const std::string& target, const std::string& cls,
                                     const std::string& section, const std::string& data)>;
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  LogEvent logEvent;
  SetError setError;
  SendXap sendXap;
  Clock now;

  // Reports one event, with the pending error first when a description is given.
  void Report(const std::string& type, const std::string& text, int location = 0,
              const std::string& description = {}) const {
    if (!description.empty() && setError) setError(location, description);
    if (logEvent) logEvent(type, text);
  }
  std::chrono::system_clock::time_point Now() const {
    return now ? now() : std::chrono::system_clock::now();
  }
};
