#pragma once
// Test rig for the caller-ID link: the application values the link works on, an
// event log that keeps every line, and the calls the link handed on.
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Loopback.h"
#include "common/Settings.h"
#include "cid/CallerRecord.h"
#include "cid/CommLink.h"
#include "host/HostHooks.h"

struct AnnouncedCall {
  std::string name, callerName, number;
};

struct CidRig {
  CidRig() {
    // The event log's line: the text, then the pending error.
    log.setError = [this](int location, const std::string& description) {
      pending = " Line " + std::to_string(location) + " " + description;
    };
    log.logEvent = [this](const std::string&, const std::string& text) {
      lines.push_back(text + pending);
      pending.clear();
    };
    link = std::make_unique<CommLink>(settings, record, log, [this] { return shuttingDown; });
    link->SetConnectInterval(20);
    link->SetTimer5Interval(30);
    link->SetClock([] { return std::string("12:34:56"); });
    QObject::connect(link.get(), &CommLink::callReceived, [this](const CallerIdCall& c) {
      calls.push_back({c.name, c.name, c.number});
      sources.push_back(c.sourceDetail);
    });
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
  HostHooks log;
  std::string pending;
  bool shuttingDown = false;
  std::vector<std::string> lines;
  std::vector<AnnouncedCall> calls;
  std::vector<std::string> sources;
  std::unique_ptr<CommLink> link;
};
