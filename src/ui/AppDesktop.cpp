#include "ui/AppDesktop.h"

#include <QObject>
#include <QWidget>

#include "lookup/ContactBook.h"
#include "ui/DesktopText.h"

AppDesktop::AppDesktop(Application& app) : app_(app) {
  Application* a = &app_;
  auto svc = [a] { return a->Clients(); };  // null while the service has never run
  UiHost ui;
  ui.GetIniSetting = [a](const std::string& g, const std::string& k, const std::string& d,
                         const std::string& f, HostStatus* e) {
    return a->Host()->GetIniSetting(g, k, d, f, e);
  };
  ui.SaveIniSetting = [a](const std::string& g, const std::string& k, const std::string& v,
                          const std::string& f) { return a->Host()->SaveIniSetting(g, k, v, f); };
  ui.Report = [a](const std::string& t, const std::string& x, int loc, const std::string& d) {
    if (!d.empty()) a->Log().SetError(loc, d);
    a->LogEvent(t, x);
  };
  ui.InitIniKeys = [a] { a->InitIniKeys(); };
  ui.InitApplication = [a] { a->InitApplication(); };
  ui.StartClientService = [this, a] {
    a->StartClientService();
    WatchServiceLog();
  };
  ui.OcidEnabled = [a] { return a->CurrentSettings().OCID; };
  ui.ShuttingDown = [a] { return a->ShuttingDown(); };
  ui.Exit = [a] { a->Shutdown(); };
  ui.Caller = [a] { return &a->Record(); };
  ui.ProcessModemInput = [a] { a->Link()->Parser().ProcessModemInput(); };
  ui.Traffic.CommData = [a] { return std::string(a->Link()->CommData()); };
  ui.Traffic.CommStatus = [a] { return std::string(a->Link()->CommStatus()); };
  ui.Traffic.PortStatus = [a] { return a->Link()->PortStatus(); };
  auto& cs = ui.ClientService;
  cs.LogText = [svc] { return svc() ? svc()->Log().Text() : std::string(); };
  cs.ClearLog = [svc] { if (svc()) svc()->Log().Clear(); };
  cs.AppendLog = [svc](const std::string& t) { if (svc()) svc()->Log().Append(t); };
  cs.ServerLog = [svc](const std::string& m, int l) { if (svc()) svc()->ServerLog(m, l); };
  cs.StoredDebug = [svc] { return svc() && svc()->StoredDebug(); };
  cs.SaveDebug = [svc](bool on) { if (svc()) svc()->SaveDebug(on); };
  cs.SetServiceDebug = [svc](bool on) { if (svc()) svc()->SetServiceDebug(on); };
  cs.SendCIDSentry = [svc](const std::string& n, const std::string& x) {
    if (svc()) svc()->SendCIDSentry(n, x);
  };
  cs.ClientSlots = [svc] { return svc() ? svc()->ClientSlots() : std::vector<std::string>{}; };
  cs.ServiceActive = [svc] { return svc() && svc()->ServiceActive(); };
  desktop_ = std::make_unique<Desktop>(std::move(ui));

  Desktop* d = desktop_.get();
  QObject::connect(app_.Link(), &CommLink::TrafficChanged, d, &Desktop::TrafficChanged);
  QObject::connect(app_.Link(), &CommLink::PortStatusChanged, d, &Desktop::TrafficChanged);
  // Activity on the caller-ID link flashes the tray icon.
  QObject::connect(app_.Link(), &CommLink::TrafficChanged, d, &Desktop::SwapIcons);
  // The link state shows in the tray's tooltip and picture.
  QObject::connect(app_.Link(), &CommLink::PortStatusChanged, d, [this] { ShowLinkState(); });
  ShowLinkState();
  // Each call: the tooltip, the recent calls window and the desktop notice.
  QObject::connect(&app_.Calls(), &CallEvents::callCompleted, d, &Desktop::CallCompleted);
  QObject::connect(&app_.Calls(), &CallEvents::callUpdated, d, &Desktop::CallUpdated);
  // The window reads the stored history, and adds contacts to the contact folder.
  SetHistoryProvider([a](int limit, const std::string& search) {
    std::vector<CompletedCall> calls;
    if (CallHistory* h = a->History())
      for (StoredCall& c : h->Recent(limit, {}, search)) calls.push_back(std::move(c));
    return calls;
  });
  SetAddContact([a](const std::string& name, const std::string& displayNumber) {
    const Settings& s = a->CurrentSettings();
    if (!ConnectOutlook(s)) return false;
    NewContact contact;
    std::tie(contact.FirstName, contact.LastName) = SplitAtFirstSpace(name);
    contact.HomeTelephoneNumber = displayNumber;
    if (!CreateContact(s.ContactBookFolder, contact).status) return false;
    if (a->Lookup()) a->Lookup()->BuildPhonebook();
    return true;
  });
  WatchServiceLog();
}

void AppDesktop::ShowLinkState() {
  CommLink* link = app_.Link();
  if (!link) return;
  desktop_->SetLinkState(LinkStateFromPortStatus(link->PortStatus(), link->NetworkLink()));
}

void AppDesktop::SetHistoryProvider(RecentCallsWindow::Provider provider) {
  desktop_->RecentCalls().SetProvider(std::move(provider));
}

void AppDesktop::SetAddContact(RecentCallsWindow::AddContact hook) {
  desktop_->RecentCalls().SetAddContact(std::move(hook));
}

AppDesktop::~AppDesktop() {
  if (watched_) watched_->Log().SetListener(nullptr);
}

void AppDesktop::WatchServiceLog() {
  UdpClientService* s = app_.Clients();
  if (!s || s == watched_) return;
  Desktop* d = desktop_.get();
  s->Log().SetListener([d](const std::string& piece) { d->ServiceLogAppended(piece); });
  watched_ = s;
}

void AppDesktop::Start() { desktop_->Start(); }

void AppDesktop::Unload() { desktop_->Unload(); }

void AppDesktop::ShowTrafficOnce() {
  QWidget& w = desktop_->Traffic();
  w.show();
  w.raise();
}
