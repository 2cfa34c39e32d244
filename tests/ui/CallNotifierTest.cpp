// The desktop notice of a call, sent to a fake notification service on a private
// session bus (a dbus-daemon the test starts), on and off by "[History] Notify".
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <memory>

#include "FakeNotifications.h"
#include "UiTestSupport.h"
#include "host/Homeseer.h"
#include "ui/Desktop.h"

namespace {

// A private session bus for one test, ended with it.
class PrivateBus {
 public:
  PrivateBus() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) return;
    process_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                            QStringLiteral("--print-address=1")});
    if (!process_.waitForStarted(5000)) return;
    if (!WaitFor([this] { return process_.canReadLine(); }, 5000)) return;
    address_ = QString::fromLatin1(process_.readLine()).trimmed();
  }
  ~PrivateBus() {
    QDBusConnection::disconnectFromBus(QStringLiteral("notify-service"));
    QDBusConnection::disconnectFromBus(QStringLiteral("notify-client"));
    process_.kill();
    process_.waitForFinished(3000);
  }
  bool Ready() const { return !address_.isEmpty(); }
  QDBusConnection Connect(const QString& name) {
    return QDBusConnection::connectToBus(address_, name);
  }

 private:
  QProcess process_;
  QString address_;
};

CompletedCall Call(const std::string& name, NamedBy by) {
  CompletedCall c;
  c.time = std::chrono::system_clock::from_time_t(1'780'000'000);
  c.name = name;
  c.number = "5559876543";
  c.displayNumber = "(555)987-6543";
  c.namedBy = by;
  return c;
}

class CallNotifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus_.Ready()) GTEST_SKIP() << "dbus-daemon is not available";
    QDBusConnection service = bus_.Connect(QStringLiteral("notify-service"));
    ASSERT_TRUE(service.isConnected());
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake_,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

    host_ = std::make_unique<Homeseer>(dir_.Path());
    UiHost ui;
    ui.GetIniSetting = [this](const std::string& g, const std::string& k, const std::string& d,
                              const std::string& f,
                              HostStatus* e) { return host_->GetIniSetting(g, k, d, f, e); };
    desktop_ = std::make_unique<Desktop>(ui);
    desktop_->UseNotificationBus(bus_.Connect(QStringLiteral("notify-client")));
    desktop_->Start();
  }
  void TearDown() override { desktop_.reset(); }

  void SetNotify(const char* value) {
    ASSERT_TRUE(host_->SaveIniSetting("History", "Notify", value, "vynRinglet.ini"));
  }

  PrivateBus bus_;
  FakeNotifications fake_;
  TempDir dir_;
  std::unique_ptr<Homeseer> host_;
  std::unique_ptr<Desktop> desktop_;
};

TEST_F(CallNotifierTest, EachCallSendsANoticeWithNameNumberAndHowNamed) {
  EXPECT_TRUE(desktop_->Notifier().BusAvailable());
  desktop_->CallCompleted(Call("Ann Baker", NamedBy::Phonebook));  // the setting is missing: on
  ASSERT_TRUE(WaitFor([&] { return fake_.notices.size() == 1; }));
  EXPECT_EQ(fake_.notices[0].app, "Ringlet");
  EXPECT_EQ(fake_.notices[0].title, "Ann Baker");
  EXPECT_EQ(fake_.notices[0].body, "(555)987-6543\nNamed by: Phonebook");
  EXPECT_EQ(fake_.notices[0].replaces, 0u);

  // The reverse lookup's later name replaces that notice.
  Spin(50);  // the id of the first notice comes back
  CompletedCall update = Call("Ann B. Baker", NamedBy::ReverseLookup);
  update.firstName = "Ann Baker";
  desktop_->CallUpdated(update);
  ASSERT_TRUE(WaitFor([&] { return fake_.notices.size() == 2; }));
  EXPECT_EQ(fake_.notices[1].title, "Ann B. Baker");
  EXPECT_EQ(fake_.notices[1].replaces, 101u);
  EXPECT_TRUE(desktop_->Notifier().LastError().isEmpty());
}

TEST_F(CallNotifierTest, TheSettingTurnsNoticesOffAndOn) {
  struct Row {
    const char* value;
    bool sent;
  };
  const Row rows[] = {{"0", false}, {"1", true}, {"\"0\"", false}, {"1.0", true}};
  for (const Row& row : rows) {
    SetNotify(row.value);
    const std::size_t before = fake_.notices.size();
    desktop_->CallCompleted(Call("Bob Cole", NamedBy::AreaCode));
    if (row.sent)
      EXPECT_TRUE(WaitFor([&] { return fake_.notices.size() == before + 1; })) << row.value;
    else
      EXPECT_FALSE(WaitFor([&] { return fake_.notices.size() != before; }, 200)) << row.value;
  }
}

TEST(CallNotifierFallbackTest, WithoutAServiceNothingIsSentOnTheBus) {
  // A bus that is not connected: the notifier falls back to the tray and never fails.
  CallNotifier notifier(QDBusConnection(QStringLiteral("no-such-bus")), nullptr);
  EXPECT_FALSE(notifier.BusAvailable());
  notifier.Notify(Call("Ann Baker", NamedBy::Phonebook));
  EXPECT_TRUE(notifier.LastError().isEmpty());
}

}  // namespace
