#pragma once
// ServiceLog: the running log of the display-client service (ServerLog), kept in memory so
// that it exists with or without a window, and forwarded to the program's event log.
//
// ServerLog(message, level) appends one line "<general date-time>~!~<source>~!~<message>\r\n"
// and sends (source, message) to the event log. Levels: 1 debug ("xapvynCID Debug", dropped
// entirely while ServiceDebug is false), 2 warning ("xapvynCID OrvoServer Warning"), 3 error
// ("xapvynCID OrvoServer Error"), any other information ("xapvynCID OrvoServer Info").
// ReportError(error, routine) logs a trapped failure at level 3 as
// "An unexpected error occured in the <routine> function/subroutine:  [<error> - ]".
//
// The text keeps at most kMaxText bytes: when a line would pass that, whole lines are dropped
// from the front, so a long headless run or a request flood with debug on cannot use up the
// memory. Nothing here throws; an empty hook drops what it is given.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "host/HostHooks.h"

class ServiceLog {
 public:
  static constexpr std::size_t kMaxText = 256 * 1024;
  static constexpr const char* kDebugSource = "xapvynCID Debug";
  static constexpr const char* kWarningSource = "xapvynCID OrvoServer Warning";
  static constexpr const char* kErrorSource = "xapvynCID OrvoServer Error";
  static constexpr const char* kInfoSource = "xapvynCID OrvoServer Info";

  // Uses hooks.logEvent for the event log and hooks.Now() for the time stamps.
  explicit ServiceLog(HostHooks hooks = {}) : hooks_(std::move(hooks)) {}

  void ServerLog(const std::string& message, int level);
  void ReportError(int error, const std::string& routine);

  // Appends text as it is, without time stamp or event-log line (the information block).
  void Append(const std::string& text);
  // Empties the text (the log box's double-click).
  void Clear() { text_.clear(); }
  const std::string& Text() const { return text_; }
  // The text cut at CR LF, without the line ends; an unfinished last line is included.
  std::vector<std::string> Lines() const;

  // Called with each piece after it is appended, so a window can show it.
  void SetListener(std::function<void(const std::string& piece)> listener) {
    listener_ = std::move(listener);
  }

  // Whether debug-level lines are shown; false at start.
  bool ServiceDebug = false;

 private:
  HostHooks hooks_;
  std::function<void(const std::string&)> listener_;
  std::string text_;
};
