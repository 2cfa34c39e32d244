#pragma once
// CallerIdParser: turns caller-ID lines and network frames into a completed call.
//  - DoModem(line): a number line (CIDNumberPrefix) or name line (CIDNamePrefix,
//    tested first) fills the CallerRecord; "RING" forgets the number, the name
//    and both flags of an unfinished call and stops Timer5; other lines are ignored. Prefixes and "RING" match anywhere, ignoring
//    case.
//  - DoModemNetCallerID(frame): takes "...NAME" (to the end of the frame) and
//    "...NMBR" (up to the next ".") from one network frame.
//  - A call completes as soon as both number and name have arrived, or when
//    Timer5 expires (Timer5Expired) after the last of them; ProcessModemInput then
//    maps withheld-name codes to "Unknown", hands the call to CallReady (the link
//    passes it on to the program, which names and announces it) and clears Name,
//    Number and the flags.
//  - TakeCall(number, name): a call that arrived complete from elsewhere (another
//    device on the xAP network): annotated and mapped like a device call and
//    returned to the caller. It never touches the record or Timer5, so a call
//    being assembled from the device is not disturbed.
// The parser owns no timer and no window: it starts and stops Timer5 and writes
// its annotations through the link hooks. Unset hooks do nothing. A failure inside
// a routine (an exception from a hook) is reported through LogFailure with the
// routine's name ("DoModem ", "DoModemNetCallerID ", "ProcessModemInput "), the
// step it failed at and the error's description, and ends that routine; nothing is
// thrown to the caller.
#include <functional>
#include <string>

#include "common/Settings.h"
#include "cid/CallerRecord.h"

class CallerIdParser {
 public:
  struct LinkHooks {
    std::function<void()> StartTimer5;  // (re)start with the completion interval
    std::function<void()> StopTimer5;
    std::function<void(const std::string& text)> AppendCommData;
    std::function<void(const std::string& text, int location, const std::string& description)>
        LogFailure;
    // A completed call, before it is named.
    std::function<void(const CallerIdCall& call)> CallReady;
  };

  // Both references must outlive the parser; settings are read on every call.
  CallerIdParser(const Settings& settings, CallerRecord& record)
      : settings_(settings), record_(record) {}

  void SetLinkHooks(LinkHooks hooks) { link_ = std::move(hooks); }

  void DoModem(const std::string& line);
  void DoModemNetCallerID(const std::string& frame);
  void ProcessModemInput();
  CallerIdCall TakeCall(const std::string& number, const std::string& name);
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
};
