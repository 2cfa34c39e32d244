#pragma once
// CallNotifier: a desktop notification for each call. It sends
// org.freedesktop.Notifications.Notify on the session bus (or the bus it is given) when
// a notification service is registered there, and otherwise shows the message on the
// tray icon it is given (nothing when there is neither).
//
// What callers may rely on:
//  - Notify(call): when enabled() is true (or empty), one notification: title the
//    announced name (NotificationTitle), body the display number and how it was named
//    (NotificationBody). The D-Bus call is asynchronous, so the slot returns at once.
//  - Update(call): the same, replacing the earlier notice of that call when the
//    service has answered it with an id.
//  - Nothing is thrown; a bus that fails is recorded in LastError().
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <string>

#include "common/CompletedCall.h"

class QSystemTrayIcon;

class CallNotifier : public QObject {
  Q_OBJECT
 public:
  static constexpr const char* kService = "org.freedesktop.Notifications";
  static constexpr const char* kPath = "/org/freedesktop/Notifications";
  static constexpr int kTimeoutMs = 10000;

  // bus: where the notification service is looked for; tray: the fallback (may be null).
  CallNotifier(QDBusConnection bus, QSystemTrayIcon* tray, QObject* parent = nullptr);

  void SetEnabled(std::function<bool()> enabled) { enabled_ = std::move(enabled); }

  void Notify(const CompletedCall& call);
  void Update(const CompletedCall& call);

  // True when a notification service answers on the bus.
  bool BusAvailable() const;
  QString LastError() const { return lastError_; }

 private:
  void Send(const CompletedCall& call, bool replace);

  QDBusConnection bus_;
  QSystemTrayIcon* tray_;
  std::function<bool()> enabled_;
  // The service's id of each call's notice, by call (time in ms and number); only the
  // last few are kept.
  std::map<std::pair<long long, std::string>, uint> ids_;
  QString lastError_;
};
