#include "ui/CallNotifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QSystemTrayIcon>
#include <QVariantMap>

#include "ui/DesktopText.h"
#include "ui/UiText.h"

namespace {
constexpr std::size_t kKeptIds = 32;

std::pair<long long, std::string> Key(const CompletedCall& call) {
  return {std::chrono::duration_cast<std::chrono::milliseconds>(call.time.time_since_epoch()).count(),
          call.number};
}
}  // namespace

CallNotifier::CallNotifier(QDBusConnection bus, QSystemTrayIcon* tray, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), tray_(tray) {}

bool CallNotifier::BusAvailable() const {
  if (!bus_.isConnected() || !bus_.interface()) return false;
  return bus_.interface()->isServiceRegistered(QLatin1String(kService)).value();
}

void CallNotifier::Notify(const CompletedCall& call) { Send(call, false); }

void CallNotifier::Update(const CompletedCall& call) { Send(call, true); }

void CallNotifier::Send(const CompletedCall& call, bool replace) {
  if (enabled_ && !enabled_()) return;
  const QString title = ToQ(NotificationTitle(call));
  const QString body = ToQ(NotificationBody(call));
  if (!BusAvailable()) {
    if (tray_ && QSystemTrayIcon::isSystemTrayAvailable())
      tray_->showMessage(title, body, QSystemTrayIcon::Information, kTimeoutMs);
    return;
  }
  const auto key = Key(call);
  uint replaces = 0;
  if (auto it = ids_.find(key); replace && it != ids_.end()) replaces = it->second;
  QDBusMessage message = QDBusMessage::createMethodCall(
      QLatin1String(kService), QLatin1String(kPath), QLatin1String(kService), QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("category"), QStringLiteral("im.received"));
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("xapvynCID"));
  message << QStringLiteral("Ringlet") << replaces << QStringLiteral("call-start") << title << body
          << QStringList() << hints << kTimeoutMs;
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, key](QDBusPendingCallWatcher* done) {
            QDBusPendingReply<uint> reply = *done;
            if (reply.isError()) {
              lastError_ = reply.error().message();
            } else {
              if (ids_.size() >= kKeptIds) ids_.erase(ids_.begin());
              ids_[key] = reply.value();
            }
            done->deleteLater();
          });
}
