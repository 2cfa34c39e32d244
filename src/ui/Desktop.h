#pragma once
// Desktop: the program's face on a desktop: the tray icon with its pictures and its
// activity flash, the "Ringlet" menu, the windows it opens (setup dialog, modem
// communications window, client-service window, recent calls) and the notice of
// each call. It holds a copy of the UiHost;
// the windows use that copy, so the Desktop must outlive nothing but them.
//
// What callers may rely on:
//  - Start() puts the icon in the tray with the idle picture (Image1) and the tooltip
//    "Ringlet", and leaves Timer1 stopped.
//  - SwapIcons() shows the activity picture (Image2) and (re)starts Timer1 with the
//    flash interval (200 ms unless set); when Timer1 fires, Timer1_Timer() puts the
//    idle picture back and stops it. So a second flash within the interval keeps the
//    activity picture up until one interval after the second.
//  - A left or right click on the icon (codes 514, 517) pops up the menu at the pointer.
//  - The menu "Ringlet": 0 "Setup" (opens the setup dialog, built afresh from the file
//    unless it is already open), 1 "System Config", 2 "System Status", 3 "Serial Comm"
//    (shows the modem communications window), 4 "OCID" (shows the client-service window
//    when host.OcidEnabled() is true; nothing otherwise), 5 "Help", 6 "Recent Calls"
//    (shows the recent calls window), 7 a separator, 8 "Exit" (host.Exit, then
//    Unload). Items 1, 2 and 5 do nothing.
//  - SetLinkState(state) and CallCompleted / CallUpdated keep the tooltip
//    (TrayStatusText: "Ringlet", the link state, the last call) up to date. While the
//    link is down (closed or reconnecting) the resting picture is the link-down
//    picture (Image3) instead of Image1; the activity flash is unchanged.
//  - CallCompleted(call) also adds the call to the recent calls window and sends the
//    desktop notice, unless "[History] Notify" in vynRinglet.ini is off (default on).
//    CallUpdated renames the call in the window and replaces its notice.
//  - TrafficChanged() and ServiceLogAppended() forward the owner's change notices to
//    the windows.
//  - Unload() closes the setup dialog without saving, hides the other windows, stops
//    Timer1 and removes the icon. It is safe to call more than once. Destroying the
//    Desktop calls none of the host's callbacks.
//  - Exceptions from the host's callbacks in the menu and click handlers are reported
//    (type "xapvynCID") and go no further.
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "ui/CallNotifier.h"
#include "ui/ClientServiceWindow.h"
#include "ui/DesktopText.h"
#include "ui/RecentCallsWindow.h"
#include "ui/SetupDialog.h"
#include "ui/TrafficWindow.h"
#include "ui/TrayIcon.h"
#include "ui/UiHost.h"

class Desktop : public QObject {
  Q_OBJECT
 public:
  static constexpr int kFlashInterval = 200;
  enum MenuItem {
    kSetup = 0,
    kSystemConfig = 1,
    kSystemStatus = 2,
    kSerialComm = 3,
    kOcid = 4,
    kHelp = 5,
    kRecentCalls = 6,
    kSeparator = 7,
    kExit = 8,
  };

  explicit Desktop(UiHost host, QObject* parent = nullptr);
  ~Desktop() override;

  void Start();
  void SwapIcons();
  void Timer1_Timer();
  void SetFlashInterval(int ms) { flashInterval_ = ms; }
  void TrayIconCallback(int code);
  void MenuClick(int index);
  void TrafficChanged();
  void ServiceLogAppended(const std::string& piece);
  void Unload();

  void SetLinkState(const LinkState& state);
  void CallCompleted(const CompletedCall& call);
  void CallUpdated(const CompletedCall& call);
  // Where notices go: the session bus unless a test gives another.
  void UseNotificationBus(const QDBusConnection& bus);

  TrayIcon& Tray() { return tray_; }
  QMenu& Menu() { return menu_; }
  QTimer& Timer1() { return timer1_; }
  const QIcon& Image1() const { return image1_; }
  const QIcon& Image2() const { return image2_; }
  const QIcon& Image3() const { return image3_; }
  const LinkState& Link() const { return link_; }
  RecentCallsWindow& RecentCalls() { return *recentCalls_; }
  CallNotifier& Notifier() { return *notifier_; }
  SetupDialog* Setup() const { return setup_; }
  TrafficWindow& Traffic() { return *traffic_; }
  ClientServiceWindow& ClientService() { return *clientService_; }

 private:
  void Report(const std::string& text, const std::string& description);
  void ShowStatus();
  const QIcon& RestingIcon() const { return link_.Down() ? image3_ : image1_; }
  bool NotifyOn() const;

  UiHost host_;
  QIcon image1_;
  QIcon image2_;
  QIcon image3_;
  TrayIcon tray_;
  QMenu menu_;
  QTimer timer1_;
  int flashInterval_ = kFlashInterval;
  QPointer<SetupDialog> setup_;
  std::unique_ptr<TrafficWindow> traffic_;
  std::unique_ptr<ClientServiceWindow> clientService_;
  std::unique_ptr<RecentCallsWindow> recentCalls_;
  std::unique_ptr<CallNotifier> notifier_;
  LinkState link_;
  std::optional<CompletedCall> lastCall_;
};
