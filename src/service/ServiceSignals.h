#pragma once
// ServiceSignals: SIGINT, SIGTERM and SIGHUP, delivered on the event loop.
// The handlers only write one byte into a socket pair (a self-pipe); a socket
// notifier reads it on the event loop and emits stopRequested (SIGINT, SIGTERM)
// or reloadRequested (SIGHUP). One object per process; its destructor puts the
// default handlers back.
//
// CatchEarly() installs the handlers before any event loop exists (first thing in
// main): a signal that arrives then waits in the socket pair and is delivered by
// the first event loop after Install().
#include <QObject>

class QSocketNotifier;

class ServiceSignals : public QObject {
  Q_OBJECT
 public:
  explicit ServiceSignals(QObject* parent = nullptr);
  ~ServiceSignals() override;

  // Installs the handlers. False (with nothing installed) when the socket pair
  // cannot be made.
  bool Install();
  static bool CatchEarly();
  // True once a stop signal has arrived, even if nothing was listening yet.
  bool StopPending() const { return stopPending_; }

 signals:
  void stopRequested();
  void reloadRequested();

 private:
  void OnReadable();

  QSocketNotifier* notifier_ = nullptr;
  bool stopPending_ = false;
};
