#pragma once
// CallerIdParser: turns caller-ID lines and network frames into a completed call.
//  - DoModem(line): a number line (CIDNumberPrefix) or name line (CIDNamePrefix,
//    tested first) fills the CallerRecord; "RING" resets both flags and stops
//    Timer5; other lines are ignored. Prefixes and "RING" match anywhere, ignoring
//    case.
//  - DoModemNetCallerID(frame): takes "...NAME" (to the end of the frame) and
//    "...NMBR" (up to the next ".") from one network frame.
//  - A call completes as soon as both number and name have arrived, or when
//    Timer5 expires (Timer5Expired) after the last of them; ProcessModemInput then
//    maps withheld-name codes to "Unknown", calls HSPAddressBookLookup, AnnounceCall
//    and SendCIDSentry in that order and clears Name, Number and the flags.
//    DisplayNumber and CallerName keep the lookup's answer.
// The parser owns no timer and no window: it starts and stops Timer5 and writes
// its annotations through the link hooks. Unset hooks do nothing (an unset lookup
// answers with the number and the name as they are). A failure inside a routine
// (an exception from a hook) is reported through LogFailure with the routine's
// name ("DoModem ", "DoModemNetCallerID ", "ProcessModemInput "), the step it
// failed at and the error's description, and ends that routine; nothing is thrown
// to the caller.
#include <functional>
#include <string>

#include "app/Settings.h"
#include "cid/CallerRecord.h"

class CallerIdParser {
 public:
  struct LinkHooks {
    std::function<void()> StartTimer5;  // (re)start with the completion interval
    std::function<void()> StopTimer5;
    std::function<void(const std::string& text)> AppendCommData;
    std::function<void(const std::string& text, int location, const std::string& description)>
        LogFailure;
  };
  struct CallHooks {
    // Answers "display number : caller name".
    std::function<std::string(const std::string& number, const std::string& name)>
        HSPAddressBookLookup;
    std::function<void(const std::string& name, const std::string& callerName,
                       const std::string& number)>
        AnnounceCall;
    std::function<void(const std::string& callerName, const std::string& displayNumber)>
        SendCIDSentry;
  };

  // Both references must outlive the parser; settings are read on every call.
  CallerIdParser(const Settings& settings, CallerRecord& record)
      : settings_(settings), record_(record) {}

  void SetLinkHooks(LinkHooks hooks) { link_ = std::move(hooks); }
  void SetCallHooks(CallHooks hooks) { call_ = std::move(hooks); }

  void DoModem(const std::string& line);
  void DoModemNetCallerID(const std::string& frame);
  void ProcessModemInput();
  void Timer5Expired();

  CallerRecord& Record() { return record_; }

 private:
  void StartTimer5();
  void StopTimer5();
  void AppendCommData(const std::string& text);
  void Fail(const char* routine, int location, const std::string& description);

  const Settings& settings_;
  CallerRecord& record_;
  LinkHooks link_;
  CallHooks call_;
};
