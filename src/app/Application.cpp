#include "app/Application.h"

#include <QTimer>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <exception>
#include <stdexcept>

#include "announce/Announce.h"
#include "app/Paths.h"
#include "lookup/NumberFormat.h"
#include "history/HistoryTable.h"
#include "host/CreateFolders.h"
#include "host/IniTool.h"

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
  // Every event line reaches standard error in every mode (repeats are counted).
  log_.SetEchoToStderr(true);
  auto* repeats = new QTimer(this);
  connect(repeats, &QTimer::timeout, this, [this] { log_.FlushRepeats(); });
  repeats->start(static_cast<int>(std::chrono::milliseconds(EventLog::kEchoWindow).count()));
  log_.SetXapSend([this](const std::string& t, const std::string& c, const std::string& s,
                         const std::string& d) { outbox_.SendXap(t, c, s, d); });
  // The xAP announcement listens first, so it goes out before every other output.
  announcer_ = new XapAnnouncer(
      settings_,
      [this](const std::string& tg, const std::string& c, const std::string& s, XapItemList items) {
        outbox_.SendXapItems(tg, c, s, items);
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
  link_->SetSerialRetry(options_.serialRetryMs, options_.serialRetryMaxMs);
  link_->SetBoxRetryMax(options_.boxRetryMaxMs);
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
  if (finished_) return 0;
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
  StartHub();
  outbox_.SetSender([this](const std::string& t, const std::string& c, const std::string& s,
                           const std::string& d) { return xap_->SendXap(t, c, s, d); });
  outbox_.SetItemSender([this](const std::string& t, const std::string& c, const std::string& s,
                               XapItemList items) { return xap_->SendXapItems(t, c, s, items); });
  xap_->SetHeartbeatInterval(heartbeatSeconds_);
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
  // A stop during the connect wait has shut the program down: no further steps.
  if (finished_) return 0;
  if (settings_.OCID) StartClientService();
  StartHistory();
  StartNetworkOutputs();
  if (options_.headless)
    connect(&events_, &CallEvents::callCompleted, this, [this](const CompletedCall& c) {
      log_.EchoLine("call " + c.displayNumber + " \"" + c.name + "\" (" + std::string(NamedByText(c.namedBy)) +
                    ", " + std::string(CallSourceText(c.source)) + ")");
    });
  return 0;
}

void Application::Reload() {
  if (finished_ || !host_) return;
  const std::string port = settings_.CIDCommPort;
  const std::string portSettings = settings_.CIDPortString;
  const std::string init = settings_.CIDModemInitString;
  InitIniKeys();
  if (lookup_) lookup_->BuildPhonebook();
  const bool linkChanged = port != settings_.CIDCommPort ||
                           portSettings != settings_.CIDPortString ||
                           init != settings_.CIDModemInitString;
  log_.LogEvent(kProgram, std::string("Settings reloaded") +
                              (linkChanged ? "; caller-ID link re-opened on " + settings_.CIDCommPort
                                           : ""));
  if (linkChanged) {
    link_->ClosePort();
    link_->ClearOpenedReport();
    if (!StartNcidSource()) link_->InitLink();
  }
}

void Application::StartHistory() {
  if (history_) return;
  CallHistoryConfig config;
  config.file = CallHistoryFile(programFolder_);
  config.keepDays = settings_.HistoryKeepDays;
  config.flushIntervalMs = options_.historyFlushMs;
  history_ = new CallHistory(
      config, [this](const std::string& text) { log_.LogEvent(kProgram, text); }, this);
  // Connected after the announcement and the displays: the history never delays them.
  connect(&events_, &CallEvents::callCompleted, history_, &CallHistory::Record);
  connect(&events_, &CallEvents::callUpdated, history_, &CallHistory::Update);
}

void Application::StartNetworkOutputs() {
  // One load for every key of these sections: the file's faults were reported when the
  // options were read, so this read neither repeats them nor reads the file per key.
  IniTool ini;
  ini.Load(host_->IniPath(std::string(kSettingsFile)));
  auto value = [&ini](const std::string& section, const std::string& key,
                      const std::string& fallback) {
    return RemoveQuotes(ini.Read(section, key, fallback));
  };
  const MqttConfig mqtt = ReadMqttConfig(
      [&](const std::string& key, const std::string& fallback) { return value("MQTT", key, fallback); });
  if (mqtt.Enabled() && !mqtt_) {
    mqtt_ = new MqttPublisher(
        mqtt, settings_.XAPNode, computerName_, XAPVYNCID_VERSION,
        [this](const std::string& line) { log_.LogEvent(kProgram, line); }, {}, this);
    connect(&events_, &CallEvents::callCompleted, mqtt_, &MqttPublisher::Publish);
    connect(&events_, &CallEvents::callUpdated, mqtt_, &MqttPublisher::PublishUpdate);
    mqtt_->Start();
  }
  const ncid::NcidServerConfigResult ncid = ncid::ReadNcidServerConfig(
      [&](const std::string& section, const std::string& key) { return value(section, key, ""); });
  for (const std::string& problem : ncid.problems) log_.LogEvent(kProgram, problem);
  if (!ncid.config.listen.empty() && !ncidServer_) {
    ncidServer_ = new NcidServer(
        ncid.config,
        [this](int n) {
          std::vector<CompletedCall> calls;
          if (!history_) return calls;
          const std::vector<StoredCall> recent = history_->Recent(n);  // newest first
          calls.assign(recent.rbegin(), recent.rend());
          return calls;
        },
        [this](const std::string& line) { log_.LogEvent(kProgram, line); }, this);
    connect(&events_, &CallEvents::callCompleted, ncidServer_, &NcidServer::SendCall);
    ncidServer_->Start();
  }
  StartWeb(web::ReadWebConfig(
      [&](const std::string& section, const std::string& key) { return value(section, key, ""); }));
}

void Application::StartWeb(const web::WebConfig& config) {
  if (config.listen.empty() || web_) return;
  const auto started = std::chrono::steady_clock::now();
  web_ = new WebServer(
      config,
      [this](int limit, std::optional<WebServer::Time> before, const std::string& search) {
        return history_ ? history_->Recent(limit, before, search) : std::vector<StoredCall>{};
      },
      [this, started] {
        web::WebStatus s;
        s.linkOpen = link_->PortStatus().find(" Open") != std::string::npos && !link_->Retrying();
        s.linkState = s.linkOpen ? "open" : "down";
        if (!s.linkOpen)
          s.linkReason = link_->Retrying() ? settings_.CIDCommPort + " lost, retrying"
                                           : link_->PortStatus();
        if (ncidSource_) {
          s.linkOpen = ncidSource_->Connected();
          s.linkState = s.linkOpen ? "open" : "down";
          s.linkReason = s.linkOpen ? "" : "NCID server " + ncidSource_->State();
        }
        s.xapPort = xap_ ? xap_->Port() : 0;
        if (clients_)
          for (const std::string& slot : clients_->ClientSlots()) s.displayClients += !slot.empty();
        if (mqtt_) s.mqtt = mqtt_->State();
        if (ncidServer_) s.ncid = ncidServer_->State();
        s.version = XAPVYNCID_VERSION;
        s.uptimeSeconds = std::chrono::duration_cast<std::chrono::seconds>(
                              std::chrono::steady_clock::now() - started)
                              .count();
        return s;
      },
      [this](const std::string& line) { log_.LogEvent(kProgram, line); }, this);
  // Connected after every other output: the page never delays an announcement.
  connect(&events_, &CallEvents::callCompleted, web_, &WebServer::OnCallCompleted);
  connect(&events_, &CallEvents::callUpdated, web_, &WebServer::OnCallUpdated);
  connect(link_, &CommLink::PortStatusChanged, web_, &WebServer::PushStatus);
  web_->Start();
}

bool Application::StartNcidSource() {
  if (!ncid::IsNcidPort(settings_.CIDCommPort)) {
    if (ncidSource_) {
      ncidSource_->Stop();
      delete ncidSource_;
      ncidSource_ = nullptr;
    }
    return false;
  }
  const ncid::HostPort target = ncid::ParseNcidPort(settings_.CIDCommPort);
  if (!target.Usable()) {
    log_.LogEvent(kProgram, "CIDCommPort " + settings_.CIDCommPort + ": " + target.reason);
    return true;
  }
  if (ncidSource_ && ncidSource_->Target() == target.host + ":" + std::to_string(target.port))
    return true;
  delete ncidSource_;
  ncidSource_ = new NcidSource(target.host, target.port,
                               [this](const std::string& line) { log_.LogEvent(kProgram, line); }, this);
  connect(ncidSource_, &NcidSource::callReceived, this,
          [this](const std::string& number, const std::string& name) {
            // NCID's words for a missing number or a withheld name.
            const bool noNumber = number == "NO-NUMBER";
            const bool noName = name == "NO NAME" || name == "PRIVATE";
            CallerIdCall call = link_->Parser().TakeCall(noNumber ? std::string() : number,
                                                         noName ? std::string("P") : name);
            call.source = CallSource::Ncid;
            call.sourceDetail = ncidSource_->Target();
            OnCallerIdCall(call);
          });
  ncidSource_->Start();
  return true;
}

void Application::StartHub() {
  // A machine without a hub hears nothing: the program relays itself unless the hub port is
  // taken (a real hub runs, and takes precedence) or the setting says off.
  if (hubMode_ == "off") return;
  const bool loopback = xap_->LocalAddress() == "127.0.0.1";
  hub_ = new XapHub({loopback ? "127.0.0.1" : "0.0.0.0", options_.xapTiming.remotePort}, this);
  if (hub_->Start()) {
    log_.LogEvent(kProgram, "Built-in xAP hub on port " + std::to_string(hub_->Port()));
    return;
  }
  if (hubMode_ == "on")
    log_.LogToFile(kProgram, "xAP hub port " + std::to_string(options_.xapTiming.remotePort) +
                                 " in use: built-in hub not started");
  delete hub_;
  hub_ = nullptr;
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
  } catch (const std::exception& e) {
    log_.SetError(9, e.what());
    log_.LogToFile(kProgram, "InitXap");
  }
  // vynXap.ini is read on its own: a broken vynRinglet.ini never leaves the
  // configured addresses at "Default", and a failed read keeps what was read.
  for (auto [key, target] : {std::pair{"InterfaceAddress", &interfaceAddress_},
                             std::pair{"BroadcastAddress", &broadcastAddress_}}) {
    try {
      *target = RemoveQuotes(IniValue("Interface", key, *target, kXapFile));
    } catch (const std::exception& e) {
      log_.SetError(9, e.what());
      log_.LogToFile(kProgram, "InitXap");
    }
  }
  ReadHeartbeatInterval();
  computerName_ = LocalComputerName();
}

void Application::ReadHeartbeatInterval() {
  // The file was just read for the addresses, which reported any fault in it. The
  // built-in hub's setting is read here too, without a second report.
  IniTool ini;
  if (!ini.Load(host_->IniPath(kXapFile))) return;
  std::string hub = RemoveQuotes(ini.Read("Interface", "Hub", "auto"));
  for (char& c : hub) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  hubMode_ = hub == "on" || hub == "off" ? hub : "auto";
  const std::string text = RemoveQuotes(ini.Read("Interface", "HeartbeatInterval", ""));
  if (text.empty()) {
    heartbeatSeconds_ = kHeartbeatDefault;
    return;
  }
  if (!IsNumeric(text)) {
    heartbeatSeconds_ = kHeartbeatDefault;
    log_.LogEvent(kProgram, "HeartbeatInterval " + text + " is not a number; using " +
                                std::to_string(kHeartbeatDefault) + " s");
    return;
  }
  const double asked = LeadingNumber(text);
  heartbeatSeconds_ = static_cast<int>(std::clamp(asked, 10.0, 600.0));
  if (asked < 10.0 || asked > 600.0)
    log_.LogEvent(kProgram, "HeartbeatInterval " + text + " is outside 10..600; using " +
                                std::to_string(heartbeatSeconds_) + " s");
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
    const std::string keep = RemoveQuotes(IniValue("History", "KeepDays", "730", file));
    settings_.HistoryKeepDays = IsNumeric(keep) ? std::max(0, static_cast<int>(LeadingNumber(keep))) : 730;
    settings_.HistoryNotify = SettingIsOn(RemoveQuotes(IniValue("History", "Notify", "1", file)));
    settings_.AreaCodeNames = SettingIsOn(RemoveQuotes(IniValue("General", "AreaCodeNames", "1", file)));
    settings_.LearnFromNetworkCalls =
        SettingIsOn(RemoveQuotes(IniValue("General", "LearnFromNetworkCalls", "0", file)));
  } catch (const std::exception& e) {
    log_.SetError(2, e.what());
    log_.LogEvent(kProgram, "InitIniKeys");
  }
}

void Application::InitHW() {
  if (finished_) return;
  link_->ClearOpenedReport();
  InitIniKeys();
  InitApplication();
}

void Application::InitApplication() {
  if (lookup_) lookup_->BuildPhonebook();
  if (StartNcidSource()) {
    link_->ClosePort();
    return;
  }
  link_->InitLink();
}

std::string Application::NameCall(const std::string& number, const std::string& name,
                                  bool fromNetwork) {
  if (lookup_) return lookup_->NameCall(number, name, fromNetwork);
  return FormatPhoneNumber(NumberKey(number), settings_.StripPrefix) + " : " + name;
}

void Application::OnCallerIdCall(const CallerIdCall& received) {
  if (shuttingDown_) return;
  CompletedCall call;
  try {
    call.time = std::chrono::system_clock::now();
    call.number = received.number;
    call.receivedNumber = received.receivedNumber;
    call.callerIdName = received.name;
    call.source = received.source;
    call.sourceDetail = received.sourceDetail;
    const std::string answer =
        NameCall(received.number, received.name, received.source == CallSource::Xap);
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
  // The announcement first; the contact, the reverse lookup and the bookkeeping after.
  events_.Complete(call);
  if (lookup_) lookup_->FinishCall();
  recentCalls_.push_back(std::move(call));
  if (recentCalls_.size() > 32) recentCalls_.pop_front();
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
  if (ncidSource_) ncidSource_->Stop();
  if (web_) web_->Stop();
  if (ncidServer_) ncidServer_->Stop();
  if (mqtt_) mqtt_->Stop();
  if (history_) history_->Flush();
  link_->ClosePort();
  if (xap_) xap_->Unload();
  if (hub_) hub_->Close();
  host_.reset();
  emit finished(0);
}
