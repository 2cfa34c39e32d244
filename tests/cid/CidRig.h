#pragma once
// Test rig for the caller-ID link: the application values the link works on, an
// event log that keeps every line, and the calls that reached the announcement.
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Loopback.h"
#include "app/EventLog.h"
#include "app/Settings.h"
#include "cid/CallerRecord.h"
#include "cid/CommLink.h"

struct AnnouncedCall {
  std::string name, callerName, number;
};

struct CidRig {
  CidRig() {
    log.SetXapSend([this](const std::string&, const std::string&, const std::string&,
                          const std::string& items) {
      const std::size_t at = items.find(std::string("Data\x01", 5));
      if (at != std::string::npos) {
        const std::size_t from = at + 5;
        lines.push_back(items.substr(from, items.find('\0', from) - from));
      }
    });
    link = std::make_unique<CommLink>(settings, record, log, [this] { return shuttingDown; });
    link->SetConnectInterval(20);
    link->SetTimer5Interval(30);
    link->SetClock([] { return std::string("12:34:56"); });
    CallerIdParser::CallHooks hooks;
    hooks.AnnounceCall = [this](const std::string& n, const std::string& c,
                                const std::string& num) {
      calls.push_back({n, c, num});
    };
    link->SetCallHooks(hooks);
  }
  ~CidRig() {
    if (std::getenv("CID_SHOW_LOG")) std::cerr << AllLines();
    shuttingDown = true;
    link->ClosePort();
  }

  // How many event-log lines start with prefix.
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& l : lines)
      if (l.rfind(prefix, 0) == 0) ++n;
    return n;
  }
  std::string AllLines() const {
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    return all;
  }

  Settings settings;
  CallerRecord record;
  EventLog log;
  bool shuttingDown = false;
  std::vector<std::string> lines;
  std::vector<AnnouncedCall> calls;
  std::unique_ptr<CommLink> link;
};
