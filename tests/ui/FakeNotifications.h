#pragma once
// A stand-in for the desktop's notification service, registered on a private bus by
// the tests: it records each Notify and answers with growing ids.
#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <vector>

struct Notice {
  QString app;
  uint replaces = 0;
  QString title;
  QString body;
};

class FakeNotifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
 public:
  using QObject::QObject;
  std::vector<Notice> notices;

 public slots:
  uint Notify(const QString& app, uint replaces, const QString& icon, const QString& title,
              const QString& body, const QStringList& actions, const QVariantMap& hints,
              int timeout) {
    Q_UNUSED(icon);
    Q_UNUSED(actions);
    Q_UNUSED(hints);
    Q_UNUSED(timeout);
    notices.push_back({app, replaces, title, body});
    return replaces ? replaces : static_cast<uint>(notices.size()) + 100;
  }
};
