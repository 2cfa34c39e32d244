#pragma once
// XapRequestHandler: what the program does with each received xAP message (Readmessage).
//
// It answers four kinds of message and ignores every other:
//  - "Homeseer.Role" addressed to the program or to everyone, with Role.Query/Role equal to
//    "application" or "any" (any case): replies, without target, "Homeseer.Role" /
//    "Role.Notification" with Role=Application, Path=<program file>, Form=SetupForm.
//  - "WDT.Echo" addressed to the program or to everyone, with an Echo.Query/Query item:
//    replies to the sender (its source as target) "WDT.Echo" / "Echo.Response" with
//    Response=<query lower-cased>, and keeps that text as LastEchoQuery.
//  - "xAPBSC.query" addressed to the program itself (no target does not count): replies,
//    without target, "xAPBSC.info" / "input.state" with State=OFF, Text=<caller number>,
//    DisplayText=<display number> " : " <caller name>.
//  - "CID.Incoming" from any source but the program's own: hands Name and Phone to the
//    TakeCall hook as a call of the program's own. FromXapFlag is true exactly while that
//    hook runs and is cleared however the hook ends, exceptions included. A CID.Incoming that
//    carries the program's own source is the program's own announcement coming back through
//    the hub; taking it would announce every call twice, so it is dropped. A CID.Incoming is
//    a call only when its CID.Incoming section is there, closed by "}", and holds a Phone or
//    a Name item; any other is ignored.
//
// Every text taken from a message (Name, Phone, the echo query) has its control bytes
// (0x00-0x1F, 0x7F) replaced by blanks before use. The file log gets at most one line a
// minute of each kind (the reader's "From XAP" failures, ignored CID.Incoming messages), each
// with a time stamp and the number of times it happened since the last line.
//
// "Addressed to the program" is CompareTarget(XapSource); "addressed to everyone" is
// CompareTarget("Unknown"), which holds for a message without target and for targets such as
// "*" or ">". The handler is pure: replies leave through the SendXap hook, calls through
// TakeCall, the caller state for the BSC reply comes from CurrentCall. Readmessage never
// throws and never stops on bad input: any failure (a hook that throws included) is logged
// with the event-log type "xapvynCID" and text "Readmessage", and the next message is handled
// as usual. Every hook may be left empty.
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "xap/XapMessage.h"

class XapRequestHandler {
 public:
  // The caller record's values that the BSC reply reports.
  struct CallState {
    std::string Number;         // number of the call being assembled; empty between calls
    std::string DisplayNumber;  // looked-up display number of the last completed call
    std::string CallerName;     // looked-up name of the last completed call
  };

  struct Hooks {
    // One outgoing message: target ("" for none), class, section, items encoded as with
    // XapItems (name \x01 value, items separated by \0).
    std::function<void(const std::string& target, const std::string& msgClass,
                       const std::string& section, const std::string& data)>
        SendXap;
    // A call received over xAP: set the caller record's Name and Number and both detected
    // flags, then run the call completion. FromXapFlag() is true for the whole call.
    std::function<void(const std::string& name, const std::string& phone)> TakeCall;
    std::function<CallState()> CurrentCall;
    // The event log and its pending error (the next LogEvent reports and clears it).
    std::function<void(const std::string& type, const std::string& text)> LogEvent;
    std::function<void(int location, const std::string& description)> SetError;
    // Where the message reader reports the texts it had to cut short (file log).
    XapMessage::LogSink FileLog;
    // Milliseconds on a steady clock, for the log limits; empty: the system's steady clock.
    std::function<std::int64_t()> NowMs;
  };

  struct Context {
    std::string XapSource;    // the program's own xAP address
    std::string ProgramFile;  // reported as Path in the role reply
  };

  XapRequestHandler(Context context, Hooks hooks)
      : context_(std::move(context)), hooks_(std::move(hooks)) {}

  // Handles one received message text.
  void Readmessage(const std::string& text);

  bool FromXapFlag() const { return fromXapFlag_; }
  const std::string& LastEchoQuery() const { return lastEchoQuery_; }
  const Context& CurrentContext() const { return context_; }
  void SetXapSource(std::string source) { context_.XapSource = std::move(source); }
  void SetProgramFile(std::string path) { context_.ProgramFile = std::move(path); }

 private:
  void Send(const std::string& target, const std::string& msgClass, const std::string& section,
            const std::string& data) const;

  // One file-log line of this kind unless one went out less than a minute ago.
  void LimitedLog(const std::string& source, const std::string& what);

  struct LogLimit {
    std::int64_t lastMs = 0;
    bool logged = false;
    long count = 0;  // occurrences since the last line
  };

  Context context_;
  Hooks hooks_;
  std::map<std::string, LogLimit> logLimits_;
  bool fromXapFlag_ = false;
  std::string lastEchoQuery_;
};
