#pragma once
// SystemdNotify: tells the service manager (systemd) how the program is doing, with the
// notification protocol of sd_notify(3) (a datagram to NOTIFY_SOCKET):
//  - Ready(): start-up is done (READY=1); the manager then counts the service as
//    started, so call it once the xAP transport is up.
//  - Reloading(): the settings are being read again (RELOADING=1 with the monotonic
//    time); call Ready() again when the reload is done.
//  - Stopping(): the orderly shutdown has begun (STOPPING=1).
//  - Status(text): one line for `systemctl status` (STATUS=); line ends become blanks.
// Ready and Stopping take an optional status line sent in the same message.
//
// Watchdog: when the manager asks this process for one (WATCHDOG_USEC set, and
// WATCHDOG_PID unset or this process), a QTimer on the event loop of the thread that
// constructs the object sends WATCHDOG=1 every half interval, from construction until
// destruction (also during the shutdown, so a long orderly stop is not taken for a
// hang). The pings come from the event loop itself: a loop that hangs stops them and
// the manager restarts the program.
//
// Outside a service (no NOTIFY_SOCKET) every call does nothing and reports false. A failed send is reported, never retried: notifications are
// advisory.
#include <QObject>
#include <QTimer>
#include <chrono>
#include <string>
#include <string_view>

class SystemdNotify : public QObject {
  Q_OBJECT

 public:
  explicit SystemdNotify(QObject* parent = nullptr);

  // Each returns true when the manager received the message.
  bool Ready(std::string_view status = {});
  bool Reloading();
  bool Stopping(std::string_view status = {});
  bool Status(std::string_view text);

  // The manager's watchdog interval for this process; zero when it asked for none.
  std::chrono::microseconds WatchdogInterval() const { return watchdogInterval_; }

 private:
  bool Send(const std::string& state);
  void PingWatchdog();

  std::chrono::microseconds watchdogInterval_{0};
  QTimer watchdog_;
};
