#include "xap/XapRequestHandler.h"

#include <chrono>
#include <ctime>
#include <exception>

#include "common/XapItems.h"

namespace {
constexpr const char* kProgram = "xapvynCID";

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

bool SameAddress(const std::string& a, const std::string& b) {
  return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

// Sets the flag for its lifetime; clears it on every way out of the scope.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};
}  // namespace

void XapRequestHandler::Send(const std::string& target, const std::string& msgClass,
                             const std::string& section, const std::string& data) const {
  if (hooks_.SendXap) hooks_.SendXap(target, msgClass, section, data);
}

void XapRequestHandler::LimitedLog(const std::string& source, const std::string& what) {
  if (!hooks_.FileLog) return;
  const std::int64_t now =
      hooks_.NowMs ? hooks_.NowMs()
                   : std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count();
  LogLimit& limit = logLimits_[source + "\n" + what];
  ++limit.count;
  if (limit.logged && now - limit.lastMs < 60000) return;
  limit.logged = true;
  limit.lastMs = now;
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::string line = std::string(stamp) + (what.empty() ? "" : " " + what) + " (" +
                     std::to_string(limit.count) + (limit.count == 1 ? " time)" : " times)");
  limit.count = 0;
  hooks_.FileLog(source, line);
}

void XapRequestHandler::Readmessage(const std::string& text) {
  // Which step was running, for the log line of a failure.
  int step = 1;
  try {
    XapMessage m([this](const std::string& source, const std::string& what) {
      LimitedLog(source, what);
    });
    m.FromXap(text);
    const bool toMe = m.CompareTarget(context_.XapSource);
    const bool toAll = m.CompareTarget("Unknown");

    if (m.CompareClass("Homeseer.Role")) {
      step = 2;
      if (!toMe && !toAll) return;
      const std::string role = LowerAscii(m.GetItem("Role.Query", "Role"));
      if (role != "application" && role != "any") return;
      Send("", "Homeseer.Role", "Role.Notification",
           XapItems(
               {{"Role", "Application"}, {"Path", context_.ProgramFile}, {"Form", "SetupForm"}}));
    } else if (m.CompareClass("WDT.Echo")) {
      step = 3;
      if (!toMe && !toAll) return;
      const std::string query = XapClean(m.GetItem("Echo.Query", "Query"));
      if (query == "Unknown") return;
      lastEchoQuery_ = LowerAscii(query);
      Send(m.msgSource(), "WDT.Echo", "Echo.Response", XapItems({{"Response", lastEchoQuery_}}));
    } else if (m.CompareClass("xAPBSC.query")) {
      step = 4;
      if (!toMe) return;
      const CallState call = hooks_.CurrentCall ? hooks_.CurrentCall() : CallState{};
      Send("", "xAPBSC.info", "input.state",
           XapItems({{"State", "OFF"},
                     {"Text", call.Number},
                     {"DisplayText", call.DisplayNumber + " : " + call.CallerName}}));
    } else if (m.CompareClass("CID.Incoming")) {
      step = 5;
      // The hub hands the program its own announcements too; those are no calls from elsewhere.
      if (SameAddress(m.msgSource(), context_.XapSource)) return;
      // Only a whole message is a call: a header alone, or a message a hub cut short, is not.
      const std::string rawName = m.GetItem("CID.Incoming", "Name");
      const std::string rawPhone = m.GetItem("CID.Incoming", "Phone");
      if (!m.SectionClosed("CID.Incoming") || (rawName == "Unknown" && rawPhone == "Unknown")) {
        LimitedLog("From XAP", "CID.Incoming ignored: not a whole call message");
        return;
      }
      const std::string name = XapClean(rawName);
      const std::string phone = XapClean(rawPhone);
      step = 6;
      FlagScope fromXap(fromXapFlag_);
      if (hooks_.TakeCall) hooks_.TakeCall(name, phone);
    }
  } catch (const std::exception& e) {
    if (hooks_.SetError) hooks_.SetError(step, e.what());
    if (hooks_.LogEvent) hooks_.LogEvent(kProgram, "Readmessage");
  } catch (...) {
    if (hooks_.SetError) hooks_.SetError(step, "Unknown error");
    if (hooks_.LogEvent) hooks_.LogEvent(kProgram, "Readmessage");
  }
}
