// The tray icon, its activity flash, the "Ringlet" menu and what each item opens.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QTableWidget>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "host/Homeseer.h"
#include "ui/Desktop.h"
#include "ui/TrayArt.h"

namespace {

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = std::make_unique<Homeseer>(dir_.Path());
    UiHost ui;
    ui.GetIniSetting = [this](const std::string& g, const std::string& k, const std::string& d,
                              const std::string& f,
                              HostStatus* e) { return host_->GetIniSetting(g, k, d, f, e); };
    ui.SaveIniSetting = [this](const std::string& g, const std::string& k, const std::string& v,
                               const std::string& f) {
      events_.push_back("save " + k);
      return host_->SaveIniSetting(g, k, v, f);
    };
    ui.Report = [this](const std::string&, const std::string& text, int, const std::string&) {
      events_.push_back("report " + text);
    };
    ui.InitIniKeys = [this] { events_.push_back("InitIniKeys"); };
    ui.InitApplication = [this] { events_.push_back("InitApplication"); };
    ui.StartClientService = [this] { events_.push_back("StartClientService"); };
    ui.OcidEnabled = [this] { return ocid_; };
    ui.ShuttingDown = [this] { return shuttingDown_; };
    ui.Exit = [this] {
      events_.push_back("Exit");
      shuttingDown_ = true;
    };
    ui.Caller = [this] { return &record_; };
    ui.ProcessModemInput = [this] { events_.push_back("ProcessModemInput"); };
    ui.Traffic.CommData = [] { return std::string("RING\r\n"); };
    ui.ClientService.LogText = [] { return std::string("line\r\n"); };
    desktop_ = std::make_unique<Desktop>(ui);
    desktop_->Start();
  }
  void TearDown() override {
    desktop_.reset();
    EXPECT_EQ(VisibleWindows(), 0);
  }

  bool ShowsActivity() const {
    return desktop_->Tray().CurrentIcon().cacheKey() == desktop_->Image2().cacheKey();
  }
  bool ShowsIdle() const {
    return desktop_->Tray().CurrentIcon().cacheKey() == desktop_->Image1().cacheKey();
  }
  QAction* Item(int index) { return desktop_->Menu().actions().at(index); }

  TempDir dir_;
  std::unique_ptr<Homeseer> host_;
  std::unique_ptr<Desktop> desktop_;
  std::vector<std::string> events_;
  CallerRecord record_;
  bool ocid_ = true;
  bool shuttingDown_ = false;
};

TEST_F(DesktopTest, StartPutsTheIdleIconWithItsTooltipInTheTray) {
  EXPECT_TRUE(desktop_->Tray().IconAdded());
  EXPECT_TRUE(ShowsIdle());
  EXPECT_EQ(desktop_->Tray().ToolTip(), "Ringlet");
  EXPECT_FALSE(desktop_->Timer1().isActive());
  EXPECT_NE(desktop_->Image1().cacheKey(), desktop_->Image2().cacheKey());
}

TEST_F(DesktopTest, MenuIsRingletWithItsItemsAndRecentCallsBeforeExit) {
  QMenu& menu = desktop_->Menu();
  EXPECT_EQ(menu.title(), "Ringlet");
  const QList<QAction*> items = menu.actions();
  ASSERT_EQ(items.size(), 9);
  const char* captions[] = {"Setup", "System Config", "System Status", "Serial Comm", "OCID",
                            "Help",  "Recent Calls",  nullptr,         "Exit"};
  for (int i = 0; i < 9; ++i) {
    if (captions[i]) {
      EXPECT_EQ(items[i]->text(), captions[i]) << i;
      EXPECT_FALSE(items[i]->isSeparator()) << i;
    } else {
      EXPECT_TRUE(items[i]->isSeparator()) << i;
    }
  }
}

TEST_F(DesktopTest, SystemConfigSystemStatusAndHelpDoNothing) {
  for (int index : {Desktop::kSystemConfig, Desktop::kSystemStatus, Desktop::kHelp}) {
    Item(index)->trigger();
    QApplication::processEvents();
    EXPECT_EQ(VisibleWindows(), 0) << index;
  }
  EXPECT_EQ(desktop_->Setup(), nullptr);
  EXPECT_FALSE(desktop_->ClientService().Loaded());
  EXPECT_TRUE(events_.empty());
  EXPECT_TRUE(desktop_->Tray().IconAdded());
}

TEST_F(DesktopTest, SetupOpensOneDialogAndBuildsItAfreshAfterClosing) {
  Item(Desktop::kSetup)->trigger();
  QPointer<SetupDialog> first = desktop_->Setup();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->windowTitle(), "CID Setup");
  Item(Desktop::kSetup)->trigger();
  EXPECT_EQ(desktop_->Setup(), first.data());

  first->close();
  ASSERT_TRUE(WaitFor([&] { return first.isNull(); }));
  EXPECT_EQ(events_.back(), "InitApplication");

  // Edited by hand while closed: the next opening shows it.
  ASSERT_TRUE(host_->SaveIniSetting("General", "XAPPID", "\"FF00AB00\"", "vynRinglet.ini"));
  Item(Desktop::kSetup)->trigger();
  ASSERT_NE(desktop_->Setup(), nullptr);
  EXPECT_EQ(desktop_->Setup()->findChild<QLineEdit*>("aXAPPID")->text(), "FF00AB00");
  desktop_->Setup()->Discard();
}

TEST_F(DesktopTest, SerialCommShowsTheTrafficWindow) {
  Item(Desktop::kSerialComm)->trigger();
  EXPECT_TRUE(desktop_->Traffic().isVisible());
  EXPECT_EQ(desktop_->Traffic().windowTitle(), "Modem Communications Window");
  desktop_->Traffic().hide();
}

TEST_F(DesktopTest, OcidDoesNothingWhileTheServiceIsOff) {
  ocid_ = false;
  Item(Desktop::kOcid)->trigger();
  EXPECT_FALSE(desktop_->ClientService().isVisible());
  EXPECT_FALSE(desktop_->ClientService().Loaded());
  EXPECT_EQ(VisibleWindows(), 0);

  ocid_ = true;
  Item(Desktop::kOcid)->trigger();
  EXPECT_TRUE(desktop_->ClientService().isVisible());
  EXPECT_EQ(desktop_->ClientService().windowTitle(), "xapvynCID");
  desktop_->ClientService().hide();
}

TEST_F(DesktopTest, ExitShutsDownFirstSoTheOpenSetupSavesNothing) {
  Item(Desktop::kSetup)->trigger();
  QPointer<SetupDialog> dialog = desktop_->Setup();
  Item(Desktop::kSerialComm)->trigger();
  Item(Desktop::kExit)->trigger();
  EXPECT_EQ(events_, std::vector<std::string>{"Exit"});
  EXPECT_TRUE(WaitFor([&] { return dialog.isNull(); }));
  EXPECT_EQ(VisibleWindows(), 0);
  EXPECT_FALSE(desktop_->Tray().IconAdded());
  EXPECT_EQ(events_, std::vector<std::string>{"Exit"});
}

TEST_F(DesktopTest, LeftOrRightClickPopsUpTheMenu) {
  struct Row {
    int code;
    bool pops;
  };
  const Row rows[] = {{512, false}, {513, false}, {514, true},  {515, false},
                      {516, false}, {517, true},  {518, false}, {519, false}};
  for (const Row& row : rows) {
    desktop_->Tray().MouseMessage(row.code);
    EXPECT_EQ(desktop_->Menu().isVisible(), row.pops) << row.code;
    desktop_->Menu().hide();
  }
}

TEST_F(DesktopTest, ClickOnTheTrayIconReachesTheMenu) {
  emit desktop_->Tray().Tray().activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(desktop_->Menu().isVisible());
  desktop_->Menu().hide();
  emit desktop_->Tray().Tray().activated(QSystemTrayIcon::Context);
  EXPECT_TRUE(desktop_->Menu().isVisible());
  desktop_->Menu().hide();
  emit desktop_->Tray().Tray().activated(QSystemTrayIcon::MiddleClick);
  EXPECT_FALSE(desktop_->Menu().isVisible());
}

TEST_F(DesktopTest, OneFlashShowsActivityThenIdleAgain) {
  desktop_->SetFlashInterval(30);
  desktop_->SwapIcons();
  EXPECT_TRUE(ShowsActivity());
  EXPECT_TRUE(desktop_->Timer1().isActive());
  EXPECT_EQ(desktop_->Timer1().interval(), 30);
  ASSERT_TRUE(WaitFor([&] { return ShowsIdle(); }));
  EXPECT_FALSE(desktop_->Timer1().isActive());
  EXPECT_TRUE(desktop_->Tray().IconAdded());
}

TEST_F(DesktopTest, SecondFlashKeepsActivityUntilOneIntervalAfterIt) {
  const int interval = 200;
  desktop_->SetFlashInterval(interval);
  QElapsedTimer sinceFirst;
  sinceFirst.start();
  desktop_->SwapIcons();
  Spin(60);
  ASSERT_TRUE(ShowsActivity());
  QElapsedTimer sinceSecond;
  desktop_->SwapIcons();
  sinceSecond.start();
  const qint64 secondAt = sinceFirst.elapsed();

  // Poll until the idle picture is back and note when that happened.
  qint64 idleAfterSecond = -1;
  while (sinceSecond.elapsed() < 5000) {
    QApplication::processEvents(QEventLoop::AllEvents, 1);
    if (ShowsIdle()) {
      idleAfterSecond = sinceSecond.elapsed();
      break;
    }
  }
  ASSERT_GE(idleAfterSecond, 0) << "the idle picture never came back";
  EXPECT_LT(secondAt, interval) << "the machine stalled; the rule was not exercised";
  // Idle no sooner than one interval after the second flash, so the activity picture
  // outlived the first flash's deadline.
  EXPECT_GE(idleAfterSecond, interval);
}

TEST_F(DesktopTest, RecentCallsOpensTheWindowWithTheCallsOfThisRun) {
  CompletedCall call;
  call.time = std::chrono::system_clock::now();
  call.name = "Ann Baker";
  call.number = "5559876543";
  call.displayNumber = "(555)987-6543";
  desktop_->CallCompleted(call);  // arrives while the window is closed
  Item(Desktop::kRecentCalls)->trigger();
  RecentCallsWindow& window = desktop_->RecentCalls();
  EXPECT_TRUE(window.isVisible());
  ASSERT_EQ(window.Table().rowCount(), 1);
  EXPECT_EQ(window.Table().item(0, RecentCallsWindow::kName)->text(), "Ann Baker");
  Item(Desktop::kExit)->trigger();
  EXPECT_FALSE(window.isVisible());
}

TEST_F(DesktopTest, TooltipAndPictureFollowTheLinkAndTheLastCall) {
  struct Row {
    const char* name;
    LinkState state;
    bool downPicture;
    const char* secondLine;
  };
  const Row rows[] = {
      {"open", {LinkPhase::Open, {}}, false, "Link: open"},
      {"closed", {LinkPhase::Closed, "Port /dev/ttyACM0 Not Connected"}, true,
       "Link: closed: Port /dev/ttyACM0 Not Connected"},
      {"reconnecting", {LinkPhase::Reconnecting, {}}, true, "Link: reconnecting"},
      {"open again", {LinkPhase::Open, {}}, false, "Link: open"},
  };
  for (const Row& row : rows) {
    desktop_->SetLinkState(row.state);
    const QStringList lines = desktop_->Tray().ToolTip().split('\n');
    ASSERT_GE(lines.size(), 2) << row.name;
    EXPECT_EQ(lines[0], "Ringlet") << row.name;
    EXPECT_EQ(lines[1], row.secondLine) << row.name;
    const qint64 shown = desktop_->Tray().CurrentIcon().cacheKey();
    EXPECT_EQ(shown == desktop_->Image3().cacheKey(), row.downPicture) << row.name;
    EXPECT_EQ(shown == desktop_->Image1().cacheKey(), !row.downPicture) << row.name;
  }

  // A flash while the link is down ends on the link-down picture.
  desktop_->SetLinkState({LinkPhase::Closed, {}});
  desktop_->SetFlashInterval(20);
  desktop_->SwapIcons();
  EXPECT_TRUE(ShowsActivity());
  EXPECT_TRUE(WaitFor([&] {
    return desktop_->Tray().CurrentIcon().cacheKey() == desktop_->Image3().cacheKey();
  }));

  CompletedCall call;
  call.name = "Bob Cole";
  call.displayNumber = "(555)000-2222";
  desktop_->CallCompleted(call);
  const QStringList lines = desktop_->Tray().ToolTip().split('\n');
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[2].startsWith("Last call: Bob Cole (555)000-2222 ")) << lines[2].toStdString();
}

TEST_F(DesktopTest, EveryWindowCarriesTheProgramIcon) {
  Item(Desktop::kSetup)->trigger();
  const QImage program = ProgramIcon().pixmap(32, 32).toImage();
  QWidget* windows[] = {desktop_->Setup(), &desktop_->Traffic(), &desktop_->ClientService(),
                        &desktop_->RecentCalls()};
  for (QWidget* w : windows) {
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowIcon().pixmap(32, 32).toImage(), program) << w->objectName().toStdString();
  }
  desktop_->Setup()->Discard();
}

TEST_F(DesktopTest, UnloadRemovesTheIconAndIsSafeTwice) {
  desktop_->SwapIcons();
  desktop_->Unload();
  EXPECT_FALSE(desktop_->Tray().IconAdded());
  EXPECT_FALSE(desktop_->Timer1().isActive());
  desktop_->Unload();
  EXPECT_FALSE(desktop_->Tray().IconAdded());
}

TEST(TrayIconTest, RemovingAnIconNeverAddedDoesNothing) {
  TrayIcon tray;
  tray.Update(false, QIcon());
  EXPECT_FALSE(tray.IconAdded());
  EXPECT_FALSE(tray.Tray().isVisible());
}

TEST(TrayIconTest, CaptionIsCutTo63Characters) {
  TrayIcon tray;
  tray.SetCaption(QString(80, QLatin1Char('x')));
  tray.Update(true, QIcon());
  EXPECT_EQ(tray.ToolTip().size(), 63);
  tray.Update(false, QIcon());
}

TEST(TrayIconTest, EachLineOfALongerCaptionIsCut) {
  TrayIcon tray;
  tray.SetCaption("Ringlet\n" + QString(80, QLatin1Char('x')) + "\nc\nd\ne");
  tray.Update(true, QIcon());
  const QStringList lines = tray.ToolTip().split('\n');
  ASSERT_EQ(lines.size(), TrayIcon::kTipLines);
  EXPECT_EQ(lines[0], "Ringlet");
  EXPECT_EQ(lines[1].size(), 63);
  tray.Update(false, QIcon());
}

TEST(TrayIconTest, ClicksDuringTheCallbackAreDropped) {
  TrayIcon tray;
  std::vector<int> codes;
  tray.SetCallback([&](int code) {
    codes.push_back(code);
    tray.MouseMessage(TrayIcon::kRightUp);  // arrives while the first still runs
  });
  tray.MouseMessage(TrayIcon::kLeftUp);
  tray.MouseMessage(TrayIcon::kLeftDown);
  EXPECT_EQ(codes, (std::vector<int>{TrayIcon::kLeftUp, TrayIcon::kLeftDown}));
}

TEST(TrayIconTest, CallbackExceptionsAreReportedNotThrown) {
  TempDir dir;
  std::vector<std::string> reports;
  UiHost ui;
  ui.OcidEnabled = []() -> bool { throw std::runtime_error("store gone"); };
  ui.Report = [&](const std::string& type, const std::string& text, int, const std::string& d) {
    reports.push_back(type + " " + text + " " + d);
  };
  Desktop desktop(ui);
  desktop.MenuClick(Desktop::kOcid);
  EXPECT_EQ(reports, std::vector<std::string>{"xapvynCID mnuRinglet_Click 4 store gone"});
}

}  // namespace
