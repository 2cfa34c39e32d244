#pragma once
// CallEvents: the one place a completed call is announced inside the program.
// The application emits callCompleted once per completed call, after it has been
// named, and callUpdated when a later answer (the reverse lookup) names it anew.
// Every output (xAP announcement, display datagram, history, MQTT, NCID, web page,
// desktop) connects to these signals; slots run in the order they were connected,
// so the xAP announcement is connected first. No output calls another, and a slot
// must return quickly: slow work (disk, network) is queued by the output itself.
#include <QObject>

#include "common/CompletedCall.h"

class CallEvents : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;

  void Complete(const CompletedCall& call) { emit callCompleted(call); }
  void Update(const CompletedCall& call) { emit callUpdated(call); }

 signals:
  void callCompleted(const CompletedCall& call);
  void callUpdated(const CompletedCall& call);
};
