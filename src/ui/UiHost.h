#pragma once
// UiHost: everything the desktop windows need from the rest of the program, as plain
// callbacks and getters, so the windows depend on nothing but this header. The owner of
// the program fills it in once before it makes the Desktop; every member may be left
// empty, and an empty member then does nothing and reads as empty, false or 0.
//
// What the windows rely on:
//  - All callbacks run on the user-interface thread, from the windows' event handlers.
//  - GetIniSetting / SaveIniSetting are the host object's settings access (Group, Key,
//    Default or Value, File); a read returns Default for a missing key; a failure is
//    returned, never thrown.
//  - Report(type, text, location, description) is the event log: a non-empty
//    description is recorded as the pending error first, then the line is logged.
//  - ShuttingDown is the program's shutting-down flag; while it is true, closing the
//    setup dialog saves nothing.
//  - Exit runs the orderly shutdown. It must set the shutting-down flag first and may
//    call Desktop::Unload; it must not destroy the Desktop (do that after the event loop
//    has ended).
//  - Caller is the one caller record; ProcessModemInput completes the call held in it,
//    exactly as when the device has delivered both number and name.
//  - Traffic: the three texts of the modem communications window. After each change,
//    the owner calls Desktop::TrafficChanged.
//  - ClientService: the display-client service. After each piece appended to its log,
//    the owner calls Desktop::ServiceLogAppended.
#include <functional>
#include <string>
#include <vector>

#include "cid/CallerRecord.h"
#include "host/HostHooks.h"

// The modem communications texts (8-bit, lines ending in CR LF).
struct TrafficSource {
  std::function<std::string()> CommData;
  std::function<std::string()> CommStatus;
  std::function<std::string()> PortStatus;  // the port status label's text
};

// The display-client service as its options window sees it.
struct ClientServiceSource {
  std::function<std::string()> LogText;                    // the whole service log
  std::function<void()> ClearLog;                          // empty the service log
  std::function<void(const std::string& text)> AppendLog;  // append text as it is
  std::function<void(const std::string& message, int level)> ServerLog;
  std::function<bool()> StoredDebug;             // stored "Debug" value is true
  std::function<void(bool on)> SaveDebug;        // store "Debug" as True/False
  std::function<void(bool on)> SetServiceDebug;  // the in-memory debug flag
  std::function<void(const std::string& name, const std::string& number)> SendCIDSentry;
  std::function<std::vector<std::string>()> ClientSlots;  // slots 1..ClientMax in order
  std::function<bool()> ServiceActive;                    // the socket is bound
};

struct UiHost {
  std::function<std::string(const std::string& Group, const std::string& Key,
                            const std::string& Default, const std::string& File, HostStatus* error)>
      GetIniSetting;
  std::function<HostStatus(const std::string& Group, const std::string& Key,
                           const std::string& Value, const std::string& File)>
      SaveIniSetting;
  std::function<void(const std::string& type, const std::string& text, int location,
                     const std::string& description)>
      Report;

  std::function<void()> InitIniKeys;         // reload every setting into memory
  std::function<void()> InitApplication;     // rebuild the phonebook, reopen the caller-ID link
  std::function<void()> StartClientService;  // InitIO: start the display-client service
  std::function<bool()> OcidEnabled;         // the OCID setting as loaded in memory
  std::function<bool()> ShuttingDown;
  std::function<void()> Exit;

  std::function<CallerRecord*()> Caller;
  std::function<void()> ProcessModemInput;

  TrafficSource Traffic;
  ClientServiceSource ClientService;
};
