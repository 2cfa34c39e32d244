#include "cid/CallerIdParser.h"

#include <exception>
#include <string_view>

#include "cid/CidText.h"
#include "lookup/NumberFormat.h"

namespace {

constexpr std::string_view kNetName = "...NAME";
constexpr std::string_view kNetNumber = "...NMBR";
constexpr std::string_view kNoNumber = "(000)000-0000";

bool IsWithheldName(const std::string& name) {
  const std::string upper = cid::UpperAscii(name);
  return upper == "WITHHELD" || upper == "O" || upper == "P" || upper.compare(0, 3, "OUT") == 0;
}

}  // namespace

void CallerIdParser::DoModem(const std::string& line) {
  int step = 0;
  try {
    step = 1;
    const std::size_t namePos = cid::FindNoCase(line, settings_.CIDNamePrefix);
    if (namePos != std::string::npos) {
      record_.Name =
          cid::Trim(std::string_view(line).substr(namePos + settings_.CIDNamePrefix.size()));
      record_.NameDetected = true;
      AppendCommData(" ... Name=" + record_.Name + " ... ");
      if (record_.NumberDetected)
        ProcessModemInput();
      else
        StartTimer5();
      return;
    }
    step = 2;
    const std::size_t numberPos = cid::FindNoCase(line, settings_.CIDNumberPrefix);
    if (numberPos != std::string::npos) {
      const std::string raw =
          cid::Trim(std::string_view(line).substr(numberPos + settings_.CIDNumberPrefix.size()));
      record_.Number = FormatPhoneNumber(raw, settings_.StripPrefix);
      record_.ReceivedNumber = raw;
      record_.NumberDetected = true;
      AppendCommData(" ... Number=" + record_.Number + " ... ");
      if (record_.NameDetected)
        ProcessModemInput();
      else
        StartTimer5();
      return;
    }
    step = 3;
    if (cid::FindNoCase(line, "RING") != std::string::npos) {
      // A ring ends an unfinished call: its number or name must not reach the next one.
      record_.Name.clear();
      record_.Number.clear();
      record_.ReceivedNumber.clear();
      record_.NameDetected = false;
      record_.NumberDetected = false;
      StopTimer5();
    }
  } catch (const std::exception& e) {
    Fail("DoModem ", step, e.what());
  } catch (...) {
    Fail("DoModem ", step, "unknown error");
  }
}

void CallerIdParser::DoModemNetCallerID(const std::string& frame) {
  int step = 0;
  try {
    step = 1;
    const std::size_t p = cid::FindNoCase(frame, kNetName);
    if (p != std::string::npos) {
      record_.Name = cid::Trim(std::string_view(frame).substr(p + kNetName.size()));
      record_.NameDetected = true;
      if (record_.NumberDetected)
        ProcessModemInput();
      else
        StartTimer5();
    }
    step = 2;
    const std::size_t q = cid::FindNoCase(frame, kNetNumber);
    if (q != std::string::npos) {
      record_.Number = std::string(kNoNumber);
      record_.ReceivedNumber.clear();
      const std::size_t from = q + kNetNumber.size();
      const std::size_t e = frame.find('.', from);
      if (e != std::string::npos) {
        record_.ReceivedNumber = cid::Trim(std::string_view(frame).substr(from, e - from));
        record_.Number = FormatPhoneNumber(record_.ReceivedNumber, settings_.StripPrefix);
        record_.NumberDetected = true;
        if (record_.NameDetected)
          ProcessModemInput();
        else
          StartTimer5();
      }
    }
  } catch (const std::exception& e) {
    Fail("DoModemNetCallerID ", step, e.what());
  } catch (...) {
    Fail("DoModemNetCallerID ", step, "unknown error");
  }
}

void CallerIdParser::ProcessModemInput() {
  int step = 0;
  try {
    step = 1;
    AppendCommData(" ... CID Detected ... ");
    step = 2;
    StopTimer5();
    step = 3;
    CallerIdCall call;
    call.withheld = IsWithheldName(record_.Name);
    if (call.withheld) record_.Name = "Unknown";
    call.name = record_.Name;
    call.number = record_.Number;
    call.receivedNumber = record_.ReceivedNumber;
    step = 4;
    if (link_.CallReady) link_.CallReady(call);
    step = 7;
    record_.Name.clear();
    record_.Number.clear();
    record_.ReceivedNumber.clear();
    record_.NameDetected = false;
    record_.NumberDetected = false;
  } catch (const std::exception& e) {
    Fail("ProcessModemInput ", step, e.what());
  } catch (...) {
    Fail("ProcessModemInput ", step, "unknown error");
  }
}

CallerIdCall CallerIdParser::TakeCall(const std::string& number, const std::string& name) {
  try {
    AppendCommData(" ... CID Detected ... ");
  } catch (...) {
    // The annotation is only for the traffic window; the call goes on.
  }
  CallerIdCall call;
  call.withheld = IsWithheldName(name);
  call.name = call.withheld ? std::string("Unknown") : name;
  call.number = number;
  call.receivedNumber = number;
  return call;
}

void CallerIdParser::Timer5Expired() {
  record_.NameDetected = true;
  record_.NumberDetected = true;
  StopTimer5();
  ProcessModemInput();
}

void CallerIdParser::StartTimer5() {
  if (link_.StartTimer5) link_.StartTimer5();
}

void CallerIdParser::StopTimer5() {
  if (link_.StopTimer5) link_.StopTimer5();
}

void CallerIdParser::AppendCommData(const std::string& text) {
  if (link_.AppendCommData) link_.AppendCommData(text);
}

void CallerIdParser::Fail(const char* routine, int location, const std::string& description) {
  // A failing log hook must not turn a handled failure into an escaping one.
  try {
    if (link_.LogFailure) link_.LogFailure(routine, location, description);
  } catch (...) {
  }
}
