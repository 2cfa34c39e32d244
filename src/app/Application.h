#pragma once
// Application: the program as one object. It owns the process-wide values (the
// settings, the flags, the logs, the host object, the xAP transport) and runs
// start-up and shutdown in their fixed order. main() makes one; each test can
// make its own, with short timers and its own program folder.
//
// The life of a call: the caller-ID link (CommLink) cuts lines, its parser
// completes a call and the link emits callReceived; OnCallerIdCall names it
// (CallerIdentifier) and emits CallEvents::callCompleted; every output listens to
// that event, the xAP announcement first, then the display datagram. A later name
// from the reverse lookup goes out as CallEvents::callUpdated.
#include <QObject>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "announce/XapAnnouncer.h"
#include "app/EventLog.h"
#include "calls/CallEvents.h"
#include "common/Settings.h"
#include "cid/CallerRecord.h"
#include "cid/CommLink.h"
#include "history/CallHistory.h"
#include "mqtt/MqttPublisher.h"
#include "ncid/NcidServer.h"
#include "ncid/NcidSource.h"
#include "host/Homeseer.h"
#include "lookup/CallerIdentifier.h"
#include "udpclients/UdpClientService.h"
#include "web/WebServer.h"
#include "xap/XapOutbox.h"
#include "xap/XapRequestHandler.h"
#include "xap/XapTransport.h"
#include "xap/XapHub.h"

class Application : public QObject {
  Q_OBJECT
 public:
  struct Options {
    std::string home;          // program folder, without trailing "/"
    bool headless = true;      // no tray or windows; event lines also go to stderr
    XapTransport::Timing xapTiming;
    // Caller-ID link timers (ms).
    int connectIntervalMs = CommLink::kConnectInterval;
    int timer5IntervalMs = CommLink::kTimer5Interval;
    int restDelayMs = CommLink::kRestDelay;
    int serialRetryMs = CommLink::kSerialRetryMs;        // first reopen delay of a lost modem
    int serialRetryMaxMs = CommLink::kSerialRetryMaxMs;  // limit of its backoff
    int boxRetryMaxMs = CommLink::kBoxRetryMaxMs;        // limit of the box's backoff
    int inetTimerMs = 45000;  // reverse-lookup watchdog
    // The client service's store: empty for the per-user settings store.
    std::string clientStoreFile;
    // How soon a completed call is written to the history (ms).
    int historyFlushMs = 1000;
  };

  explicit Application(Options options, QObject* parent = nullptr);
  ~Application() override;

  // Runs start-up. 0: running; 1: the xAP transport could not start (logged to
  // the file log; the caller ends the process).
  int Start();
  // Orderly shutdown; emits finished(0). Safe to call more than once. Called
  // during Start (from a nested wait), it makes Start return without further steps.
  void Shutdown();
  // Reads the settings files and the phonebook sources again, re-opens the
  // caller-ID link when its settings changed, logs one line (SIGHUP).
  void Reload();
  // [Interface] HeartbeatInterval of vynXap.ini: seconds, 10..600, default 60.
  int HeartbeatSeconds() const { return heartbeatSeconds_; }
  static constexpr int kHeartbeatDefault = 60;

  // Start-up steps, in order of use.
  void InitXap();
  void InitHW();
  void InitIniKeys();
  void SetIniValue(const std::string& key);
  void InitApplication();
  // Drains the received-message queue, one message at a time, guarded against re-entry.
  void onMessage();

  // The call path: a call from the caller-ID link or the xAP network is named and
  // handed to every output through Calls().
  void OnCallerIdCall(const CallerIdCall& call);
  void OnCallRenamed(const std::string& name, const std::string& displayNumber);
  // The caller's name, as "display number : name"; what the lookup does besides naming
  // (a contact, a reverse lookup) waits for FinishCall, after the call is announced.
  std::string NameCall(const std::string& number, const std::string& name, bool fromNetwork);
  // Opens the call history and connects it to the completed-call event.
  void StartHistory();
  // MQTT and the NCID server, when their settings name a broker or an address.
  void StartNetworkOutputs();
  // CIDCommPort "ncid:host:port": calls come from an NCID server instead of the link.
  bool StartNcidSource();
  // The built-in web page, when [Web] Listen names an address.
  void StartWeb(const web::WebConfig& config);
  // Starts the built-in xAP hub unless vynXap.ini says off or the hub port is taken.
  void StartHub();
  XapHub* Hub() const { return hub_; }
  // Starts (or restarts) the UDP client service.
  void StartClientService();

  // Sends one xAP message (queued until the transport is ready).
  void SendXap(const std::string& target, const std::string& msgClass, const std::string& section,
               const std::string& data) {
    outbox_.SendXap(target, msgClass, section, data);
  }
  void LogEvent(const std::string& type, const std::string& text) { log_.LogEvent(type, text); }

  // Run at shutdown right after the shutting-down flag is set: the tray and
  // windows go first, before any socket or port closes.
  void SetShutdownUi(std::function<void()> h) { shutdownUi_ = std::move(h); }

  // Receiver of each received message; the request handling plugs in here.
  void SetMessageHandler(std::function<void(const std::string&)> h) { messageHandler_ = std::move(h); }

  CallEvents& Calls() { return events_; }
  EventLog& Log() { return log_; }
  Settings& CurrentSettings() { return settings_; }
  Homeseer* Host() { return host_.get(); }
  XapTransport* Xap() { return xap_; }
  CommLink* Link() { return link_; }
  CallerRecord& Record() { return record_; }
  bool FromXapFlag() const { return requests_.FromXapFlag(); }
  UdpClientService* Clients() { return clients_; }
  CallerIdentifier* Lookup() { return lookup_; }
  // The call history; null when it could not start.
  CallHistory* History() { return history_; }
  // The network outputs and the NCID call source; null while off.
  MqttPublisher* Mqtt() { return mqtt_; }
  NcidServer* Ncid() { return ncidServer_; }
  NcidSource* NcidLink() { return ncidSource_; }
  WebServer* Web() { return web_; }
  bool XapReady() const { return outbox_.Ready(); }
  bool ShuttingDown() const { return shuttingDown_; }
  bool OcidFlag() const { return ocid_; }
  const std::string& ProgramFolder() const { return programFolder_; }
  const std::string& ProgramFile() const { return programFilePath_; }
  const std::string& ComputerName() const { return computerName_; }
  const std::string& InterfaceAddress() const { return interfaceAddress_; }
  const std::string& BroadcastAddress() const { return broadcastAddress_; }

 signals:
  void finished(int exitCode);

 private:
  // The event log and its pending error, for the host-service parts.
  HostHooks LogHooks();
  void ReadHeartbeatInterval();
  std::string IniValue(const std::string& section, const std::string& key,
                       const std::string& fallback, const std::string& file);

  Options options_;
  EventLog log_;
  Settings settings_;
  XapOutbox outbox_;
  CallEvents events_;
  XapAnnouncer* announcer_ = nullptr;
  std::deque<CompletedCall> recentCalls_;  // the last few, for the reverse lookup's update
  std::unique_ptr<Homeseer> host_;
  XapTransport* xap_ = nullptr;
  XapHub* hub_ = nullptr;        // the built-in hub, while it runs
  std::string hubMode_ = "auto";  // vynXap.ini [Interface] Hub: auto, on or off
  CallerRecord record_;
  CommLink* link_ = nullptr;
  XapRequestHandler requests_;
  UdpClientService* clients_ = nullptr;
  CallerIdentifier* lookup_ = nullptr;
  CallHistory* history_ = nullptr;
  MqttPublisher* mqtt_ = nullptr;
  NcidServer* ncidServer_ = nullptr;
  NcidSource* ncidSource_ = nullptr;
  WebServer* web_ = nullptr;
  std::function<void(const std::string&)> messageHandler_;
  std::function<void()> shutdownUi_;

  std::string programFolder_;
  std::string programFilePath_;
  std::string computerName_;
  std::string interfaceAddress_ = "Default";
  std::string broadcastAddress_ = "Default";
  bool ocid_ = true;
  bool shuttingDown_ = false;
  bool messageBusy_ = false;
  bool finished_ = false;
  int heartbeatSeconds_ = kHeartbeatDefault;
};
