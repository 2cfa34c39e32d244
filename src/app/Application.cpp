#include "app/Application.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <exception>
#include <stdexcept>

#include "announce/Announce.h"
#include "app/Paths.h"
#include "lookup/NumberFormat.h"
#include "host/CreateFolders.h"

namespace {
constexpr const char* kProgram = "xapvynCID";

// A settings read that failed; caught by the routine that made the read.
struct IniReadError : std::runtime_error {
  explicit IniReadError(const HostStatus& s) : std::runtime_error(s.description), location(s.location) {}
  int location;
};
constexpr const char* kXapFile = "vynXap.ini";
}  // namespace

Application::Application(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)), requests_({}, {}) {
  log_.SetEchoToStderr(options_.headless);
  log_.SetXapSend([this](const std::string& t, const std::string& c, const std::string& s,
                         const std::string& d) { outbox_.SendXap(t, c, s, d); });
  // The xAP announcement listens first, so it goes out before every other output.
  announcer_ = new XapAnnouncer(
      settings_,
      [this](const std::string& tg, const std::string& c, const std::string& s, const std::string& d) {
        outbox_.SendXap(tg, c, s, d);
      },
      [this](const std::string& what) {
        log_.SetError(1, what);
        log_.LogEvent(kProgram, "Ringlet ");
      },
      this);
  connect(&events_, &CallEvents::callCompleted, announcer_, &XapAnnouncer::OnCallCompleted);
  connect(&events_, &CallEvents::callUpdated, announcer_, &XapAnnouncer::OnCallUpdated);

  link_ = new CommLink(settings_, record_, LogHooks(), [this] { return shuttingDown_; }, this);
  link_->SetConnectInterval(options_.connectIntervalMs);
  link_->SetTimer5Interval(options_.timer5IntervalMs);
  link_->SetRestDelay(options_.restDelayMs);
  connect(link_, &CommLink::callReceived, this, &Application::OnCallerIdCall);

  XapRequestHandler::Hooks rh;
  rh.SendXap = [this](const std::string& t, const std::string& c, const std::string& s,
                      const std::string& d) { outbox_.SendXap(t, c, s, d); };
  rh.LogEvent = [this](const std::string& type, const std::string& text) { log_.LogEvent(type, text); };
  rh.SetError = [this](int location, const std::string& d) { log_.SetError(location, d); };
  rh.FileLog = [this](const std::string& source, const std::string& text) { log_.LogToFile(source, text); };
  rh.CurrentCall = [this] {
    return XapRequestHandler::CallState{record_.Number, record_.DisplayNumber, record_.CallerName};
  };
  rh.TakeCall = [this](const std::string& name, const std::string& phone) {
    // A call from another device has its own values: a call the link is
    // assembling at the same time is left alone.
    CallerIdCall call = link_->Parser().TakeCall(phone, name);
    call.source = CallSource::Xap;
    OnCallerIdCall(call);
  };
  requests_ = XapRequestHandler({}, std::move(rh));
  messageHandler_ = [this](const std::string& m) { requests_.Readmessage(m); };
}

Application::~Application() { Shutdown(); }

std::string Application::IniValue(const std::string& section, const std::string& key,
                                  const std::string& fallback, const std::string& file) {
  HostStatus status;
  std::string value = host_->GetIniSetting(section, key, fallback, file, &status);
  if (!status) throw IniReadError(status);
  return value;
}

HostHooks Application::LogHooks() {
  HostHooks hooks;
  hooks.logEvent = [this](const std::string& type, const std::string& text) { log_.LogEvent(type, text); };
  hooks.setError = [this](int location, const std::string& d) { log_.SetError(location, d); };
  return hooks;
}

int Application::Start() {
  outbox_.SetReady(false);
  shuttingDown_ = false;
  messageBusy_ = false;

  InitXap();

  // Name the xAP layer from the settings file before it starts.
  SetIniValue("XAPNode");
  SetIniValue("XAPPID");

  xap_ = new XapTransport(options_.xapTiming, this);
  xap_->SetFileLog([this](const std::string& s, const std::string& t) { log_.LogToFile(s, t); });
  xap_->RegisterNewMessageCallback([this] { onMessage(); });
  std::string source = "vyn.CID.";
  if (!settings_.XAPNode.empty()) source += settings_.XAPNode + ".";
  source += LocalComputerName();
  xap_->SetXapSource(source);
  requests_.SetXapSource(source);
  requests_.SetProgramFile(programFilePath_);
  xap_->SetXapUID(settings_.XAPPID.empty() ? "FF008000" : settings_.XAPPID);
  xap_->BroadcastAddress = broadcastAddress_;
  xap_->InterfaceAddress = interfaceAddress_;
  xap_->FilterHeartbeats = true;
  const int port = xap_->Init();
  if (port <= 0) {
    log_.LogToFile(kProgram, "xAP Init Error " + std::to_string(port) + " occurred");
    xap_->Unload();
    return 1;
  }
  outbox_.SetSender([this](const std::string& t, const std::string& c, const std::string& s,
                           const std::string& d) { return xap_->SendXap(t, c, s, d); });
  xap_->SendHeartbeat(60);
  outbox_.SetReady(true);
  log_.LogEvent(kProgram, "Using xAP port " + std::to_string(port));

  CallerIdentifier::Hooks lh;
  lh.LogEvent = [this](const std::string& t, const std::string& x) { log_.LogEvent(t, x); };
  lh.SetError = [this](int l, const std::string& d) { log_.SetError(l, d); };
  lh.Renamed = [this](const std::string& name, const std::string& number) {
    OnCallRenamed(name, number);
  };
  lookup_ = new CallerIdentifier(settings_, lh, this);
  lookup_->SetInetTimerInterval(options_.inetTimerMs);

  InitHW();
  if (settings_.OCID) StartClientService();
  return 0;
}

void Application::StartClientService() {
  if (!clients_) {
    clients_ = new UdpClientService(LogHooks(), options_.clientStoreFile, this);
    connect(&events_, &CallEvents::callCompleted, clients_, &UdpClientService::OnCallCompleted);
    connect(&events_, &CallEvents::callUpdated, clients_, &UdpClientService::OnCallUpdated);
  }
  clients_->InitIO();
}

void Application::InitXap() {
  computerName_ = LocalComputerName();
  programFolder_ = options_.home;
  programFilePath_ = ProgramFilePath();
  log_.SetLogFile(programFolder_ + "/Data/" + kProgram + ".txt");
  for (const char* folder : {"/Config/x", "/Data/x"}) {
    CreateFoldersResult made = CreateFolders(programFolder_ + folder);
    if (!made) {
      log_.SetError(5, made.description);
      log_.LogEvent(kProgram, " CreateFolders " + made.folder);
    }
  }
  HostHooks hooks = LogHooks();
  hooks.sendXap = [this](const std::string& t, const std::string& c, const std::string& s,
                         const std::string& d) { outbox_.SendXap(t, c, s, d); };
  host_ = std::make_unique<Homeseer>(programFolder_, hooks);
  try {
    // The flag must be a number here; anything else is reported and the flag keeps its value.
    const std::string ocid = RemoveQuotes(IniValue("General", "OCID", "1", std::string(kSettingsFile)));
    if (!IsNumeric(ocid)) {
      log_.SetError(8, "Type mismatch");
      log_.LogToFile(kProgram, "InitXap");
    } else {
      ocid_ = LeadingNumber(ocid) == 1.0;
    }
    interfaceAddress_ = RemoveQuotes(IniValue("Interface", "InterfaceAddress", "Default", kXapFile));
    broadcastAddress_ = RemoveQuotes(IniValue("Interface", "BroadcastAddress", "Default", kXapFile));
  } catch (const std::exception& e) {
    log_.SetError(9, e.what());
    log_.LogToFile(kProgram, "InitXap");
  }
  computerName_ = LocalComputerName();
}

void Application::SetIniValue(const std::string& key) {
  try {
    const std::string value =
        IniValue(std::string(kSettingsSection), key, SettingDefault(key), std::string(kSettingsFile));
    ApplySetting(settings_, key, value);
  } catch (const std::exception& e) {
    log_.SetError(1, e.what());
    log_.LogEvent(kProgram, "SetIniValue");
  }
}

void Application::InitIniKeys() {
  for (const std::string& key : SettingsKeys()) SetIniValue(key);
  try {
    const std::string file(kSettingsFile);
    settings_.ContactBookFolder = RemoveQuotes(IniValue("ContactBook", "Folder", "", file));
    settings_.AddressBookFile = RemoveQuotes(IniValue("AddressBook", "File", "", file));
    settings_.ReverseLookupBaseURL = RemoveQuotes(IniValue("ReverseLookup", "BaseURL", "", file));
    settings_.AreaCodeNames = SettingIsOn(RemoveQuotes(IniValue("General", "AreaCodeNames", "1", file)));
    settings_.LearnFromNetworkCalls =
        SettingIsOn(RemoveQuotes(IniValue("General", "LearnFromNetworkCalls", "0", file)));
  } catch (const std::exception& e) {
    log_.SetError(2, e.what());
    log_.LogEvent(kProgram, "InitIniKeys");
  }
}

void Application::InitHW() {
  shuttingDown_ = false;
  link_->ClearOpenedReport();
  InitIniKeys();
  InitApplication();
}

void Application::InitApplication() {
  if (lookup_) lookup_->BuildPhonebook();
  link_->InitLink();
}

std::string Application::HSPAddressBookLookup(const std::string& number, const std::string& name,
                                              bool fromNetwork) {
  if (lookup_) return lookup_->HSPAddressBookLookup(number, name, fromNetwork);
  return FormatPhoneNumber(NumberKey(number), settings_.StripPrefix) + " : " + name;
}

void Application::OnCallerIdCall(const CallerIdCall& received) {
  if (shuttingDown_) return;
  CompletedCall call;
  try {
    call.time = std::chrono::system_clock::now();
    call.number = received.number;
    call.callerIdName = received.name;
    call.source = received.source;
    call.sourceDetail = received.sourceDetail;
    const std::string answer = HSPAddressBookLookup(received.number, received.name,
                                                    received.source == CallSource::Xap);
    // Split at the first separator only, so a caller name that itself holds
    // " : " reaches the announcement whole.
    const std::size_t sep = answer.find(" : ");
    call.displayNumber = answer.substr(0, sep);
    call.name = sep == std::string::npos ? std::string() : answer.substr(sep + 3);
    call.namedBy = lookup_ ? lookup_->LastNamedBy()
                           : (received.withheld ? NamedBy::Withheld : NamedBy::CallerId);
    record_.DisplayNumber = call.displayNumber;
    record_.CallerName = call.name;
  } catch (const std::exception& e) {
    log_.SetError(4, e.what());
    log_.LogEvent(kProgram, "ProcessModemInput ");
    return;
  }
  recentCalls_.push_back(call);
  if (recentCalls_.size() > 32) recentCalls_.pop_front();
  events_.Complete(call);
}

void Application::OnCallRenamed(const std::string& name, const std::string& displayNumber) {
  CompletedCall call;
  auto it = std::find_if(recentCalls_.rbegin(), recentCalls_.rend(),
                         [&](const CompletedCall& c) { return c.displayNumber == displayNumber; });
  if (it != recentCalls_.rend()) {
    call = *it;
  } else {
    call.time = std::chrono::system_clock::now();
    call.number = call.displayNumber = displayNumber;
  }
  call.firstName = call.name;
  call.name = name;
  call.namedBy = NamedBy::ReverseLookup;
  if (it != recentCalls_.rend()) *it = call;
  events_.Update(call);
}

void Application::onMessage() {
  if (messageBusy_ || !xap_) return;
  messageBusy_ = true;
  for (std::string m = xap_->GetMessage(); !m.empty(); m = xap_->GetMessage()) {
    if (messageHandler_) messageHandler_(m);
    if (!xap_) break;
  }
  messageBusy_ = false;
}

void Application::Shutdown() {
  if (finished_) return;
  finished_ = true;
  shuttingDown_ = true;
  if (shutdownUi_) shutdownUi_();
  if (lookup_) lookup_->CancelLookup();
  if (clients_) clients_->Close();
  link_->ClosePort();
  if (xap_) xap_->Unload();
  host_.reset();
  emit finished(0);
}
