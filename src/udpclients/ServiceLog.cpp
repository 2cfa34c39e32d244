#include "udpclients/ServiceLog.h"

#include "host/GeneralDate.h"

void ServiceLog::ServerLog(const std::string& message, int level) {
  if (level == 1 && !ServiceDebug) return;
  const char* source = level == 1   ? kDebugSource
                       : level == 2 ? kWarningSource
                       : level == 3 ? kErrorSource
                                    : kInfoSource;
  Append(GeneralDateText(hooks_.Now()) + "~!~" + source + "~!~" + message + "\r\n");
  if (hooks_.logEvent) hooks_.logEvent(source, message);
}

void ServiceLog::ReportError(int error, const std::string& routine) {
  ServerLog("An unexpected error occured in the " + routine + " function/subroutine:  [" +
                std::to_string(error) + " - " + "]",
            3);
}

void ServiceLog::Append(const std::string& text) {
  text_ += text;
  if (text_.size() > kMaxText) {
    // Drop whole lines from the front; a single line longer than the limit goes whole.
    std::size_t cut = text_.size() - kMaxText;
    const std::size_t eol = text_.find("\r\n", cut);
    cut = eol == std::string::npos ? text_.size() : eol + 2;
    text_.erase(0, cut);
  }
  if (listener_) listener_(text);
}

std::vector<std::string> ServiceLog::Lines() const {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  for (std::size_t eol; (eol = text_.find("\r\n", pos)) != std::string::npos; pos = eol + 2)
    lines.push_back(text_.substr(pos, eol - pos));
  if (pos < text_.size()) lines.push_back(text_.substr(pos));
  return lines;
}
