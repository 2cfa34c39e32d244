#pragma once
// XapAnnouncer: the xAP announcement as an output of the completed-call event.
// A completed call goes out as AnnounceCall(caller-ID name, announced name, number),
// leaving out CID.Incoming for a call that itself came from the xAP network; a
// later update (the reverse lookup's answer) goes out as AnnounceCall(name, name,
// display number). The options are read from the settings at each call. A failure
// is reported through the log hook as "Ringlet " and never escapes.
// Right after the first message of a call the program gives up the processor once
// (sched_yield): a hub or listener on the same core, woken by that datagram, reads it
// before the program goes on with the other messages and outputs of the call.
#include <QObject>
#include <sched.h>

#include <functional>
#include <string>

#include "announce/Announce.h"
#include "common/CompletedCall.h"
#include "common/Settings.h"

class XapAnnouncer : public QObject {
  Q_OBJECT
 public:
  using Failure = std::function<void(const std::string& description)>;
  using Yield = std::function<void()>;

  // settings must outlive the object.
  XapAnnouncer(const Settings& settings, AnnounceSend send, Failure failure,
               QObject* parent = nullptr)
      : QObject(parent), settings_(settings), send_(std::move(send)), failure_(std::move(failure)) {}

  // How the processor is given up after a call's first message (tests record it).
  void SetYield(Yield yield) { yield_ = std::move(yield); }

  void OnCallCompleted(const CompletedCall& call);
  void OnCallUpdated(const CompletedCall& call);

 private:
  void Send(const std::string& name, const std::string& callerName, const std::string& number,
            bool fromXap, std::chrono::system_clock::time_point when);

  const Settings& settings_;
  AnnounceSend send_;
  Failure failure_;
  Yield yield_ = [] { sched_yield(); };
};
