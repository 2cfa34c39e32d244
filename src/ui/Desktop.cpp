#include "ui/Desktop.h"

#include <QCursor>
#include <exception>

#include "common/Settings.h"
#include "ui/TrayArt.h"
#include "ui/UiText.h"

namespace {
constexpr const char* kProgram = "xapvynCID";
constexpr const char* kMenuCaptions[] = {
    "Setup", "System Config", "System Status", "Serial Comm", "OCID",
    "Help",  "Recent Calls",  "-",             "Exit"};

void ShowWindow(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}
}  // namespace

Desktop::Desktop(UiHost host, QObject* parent)
    : QObject(parent),
      host_(std::move(host)),
      image1_(MakeTrayIcon(TrayPicture::Idle)),
      image2_(MakeTrayIcon(TrayPicture::Activity)),
      image3_(MakeTrayIcon(TrayPicture::Down)),
      tray_(this) {
  menu_.setObjectName(QStringLiteral("mnuRinglet"));
  menu_.setTitle(QStringLiteral("Ringlet"));
  for (int index = 0; index < static_cast<int>(std::size(kMenuCaptions)); ++index) {
    if (index == kSeparator) {
      menu_.addSeparator();
      continue;
    }
    QAction* action = menu_.addAction(QLatin1String(kMenuCaptions[index]));
    connect(action, &QAction::triggered, this, [this, index] { MenuClick(index); });
  }

  timer1_.setObjectName(QStringLiteral("Timer1"));
  timer1_.setTimerType(Qt::PreciseTimer);
  connect(&timer1_, &QTimer::timeout, this, &Desktop::Timer1_Timer);

  traffic_ = std::make_unique<TrafficWindow>(host_);
  clientService_ = std::make_unique<ClientServiceWindow>(host_);
  recentCalls_ = std::make_unique<RecentCallsWindow>();
  UseNotificationBus(QDBusConnection::sessionBus());
}

void Desktop::UseNotificationBus(const QDBusConnection& bus) {
  notifier_ = std::make_unique<CallNotifier>(bus, &tray_.Tray());
  notifier_->SetEnabled([this] { return NotifyOn(); });
}

bool Desktop::NotifyOn() const {
  if (!host_.GetIniSetting) return true;
  HostStatus status;
  const std::string value =
      host_.GetIniSetting("History", "Notify", "1", "vynRinglet.ini", &status);
  return !status || SettingIsOn(RemoveQuotes(value));
}

Desktop::~Desktop() {
  // Deleting the dialog does not close it, so nothing is saved here.
  delete setup_.data();
}

void Desktop::Start() {
  tray_.SetCaption(ToQ(TrayStatusText(link_, lastCall_ ? &*lastCall_ : nullptr)));
  tray_.SetCallback([this](int code) { TrayIconCallback(code); });
  Timer1_Timer();
}

void Desktop::SwapIcons() {
  timer1_.setInterval(flashInterval_);
  timer1_.start();
  tray_.Update(true, image2_);
}

void Desktop::Timer1_Timer() {
  tray_.Update(true, RestingIcon());
  timer1_.stop();
}

void Desktop::TrayIconCallback(int code) {
  try {
    if (code == TrayIcon::kLeftUp || code == TrayIcon::kRightUp) menu_.popup(QCursor::pos());
  } catch (const std::exception& e) {
    Report("TrayIconCallback", e.what());
  }
}

void Desktop::MenuClick(int index) {
  try {
    switch (index) {
      case kSetup:
        if (!setup_) setup_ = new SetupDialog(host_);
        ShowWindow(setup_);
        break;
      case kSerialComm:
        ShowWindow(traffic_.get());
        break;
      case kRecentCalls:
        ShowWindow(recentCalls_.get());
        break;
      case kOcid:
        if (host_.OcidEnabled && host_.OcidEnabled()) clientService_->Open();
        break;
      case kExit:
        if (host_.Exit) host_.Exit();
        Unload();
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    Report("mnuRinglet_Click " + std::to_string(index), e.what());
  }
}

void Desktop::TrafficChanged() { traffic_->Refresh(); }

void Desktop::ServiceLogAppended(const std::string& piece) { clientService_->LogAppended(piece); }

void Desktop::Unload() {
  if (setup_) setup_->Discard();
  traffic_->hide();
  clientService_->hide();
  recentCalls_->hide();
  menu_.hide();
  timer1_.stop();
  tray_.Update(false, image1_);
}

void Desktop::SetLinkState(const LinkState& state) {
  if (state == link_) return;
  link_ = state;
  ShowStatus();
}

void Desktop::CallCompleted(const CompletedCall& call) {
  lastCall_ = call;
  ShowStatus();
  recentCalls_->CallArrived(call);
  notifier_->Notify(call);
}

void Desktop::CallUpdated(const CompletedCall& call) {
  if (lastCall_ && lastCall_->time == call.time && lastCall_->number == call.number) {
    lastCall_ = call;
    ShowStatus();
  }
  recentCalls_->CallUpdated(call);
  notifier_->Update(call);
}

void Desktop::ShowStatus() {
  tray_.SetCaption(ToQ(TrayStatusText(link_, lastCall_ ? &*lastCall_ : nullptr)));
  if (!tray_.IconAdded()) return;
  // While the activity picture flashes, the timer puts the resting picture back.
  tray_.Update(true, timer1_.isActive() ? image2_ : RestingIcon());
}

void Desktop::Report(const std::string& text, const std::string& description) {
  if (host_.Report) host_.Report(kProgram, text, 0, description);
}
