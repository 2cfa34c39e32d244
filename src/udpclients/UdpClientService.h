#pragma once
// UdpClientService: the UDP caller-ID display-client service, as the program runs it. It owns
// the service's socket (Winsock1), its running log and the client table, which lives in the
// per-user settings store (QSettings "xapvynCID"/"xapvynCID", native format:
// ${XDG_CONFIG_HOME:-$HOME/.config}/xapvynCID/xapvynCID.conf).
//
// Before InitIO nothing is bound and SendCIDSentry sends nothing. InitIO empties the client
// table, fixes the ports from the store ("Options" LocalPort and RemotePort, default 4550) and
// binds LocalPort on every IPv4 interface, refusing a port another socket holds;
// ServiceActive tells whether that bind succeeded (a failed bind is silent). A port value that
// is not a number is reported to the event log as "InitUDP" and leaves the service as it was.
// Calling InitIO again restarts the service on a fresh socket. Each arriving datagram is one
// request (see ClientRegistry); no reply is ever sent. One pass of the event loop handles at
// most kRequestsPerPass requests and leaves the rest for the next pass, so a flood cannot hold
// back timers, calls or signals. Table changes reach the store file at most once per commit
// interval (1 s; SetCommitInterval) and at Close. SendCIDSentry sends each call, as one
// 136-byte datagram, to every active client's address only, at RemotePort. Close (the
// program's unload) closes the socket; the table stays in the store until the next InitIO.
//
// The event log reaches the program through hooks.logEvent and hooks.setError; hooks.now
// stamps the log lines. A non-empty storeFile puts the store in that INI file instead of the
// per-user one (same layout), so that a test or a second instance can keep its own.
// Everything runs on the thread that owns the object.
#include <QObject>
#include <QSettings>
#include <QTimer>
#include <QUdpSocket>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/CompletedCall.h"
#include "host/HostHooks.h"
#include "udpclients/ClientRegistry.h"
#include "udpclients/ServiceLog.h"

class UdpClientService : public QObject {
  Q_OBJECT
 public:
  static constexpr int kRequestsPerPass = 32;

  explicit UdpClientService(HostHooks hooks, const std::string& storeFile = {},
                            QObject* parent = nullptr);
  ~UdpClientService() override;

  void InitIO();
  // One call to every active client: name and number as the caller gives them.
  void SendCIDSentry(const std::string& name, const std::string& number);
  // The completed-call event: the announced name (its " from " shown as "/") and
  // the display number; an update sends the new name as it is.
  void OnCallCompleted(const CompletedCall& call);
  void OnCallUpdated(const CompletedCall& call);
  void UDPSendCID(const std::string& name, const std::string& number, const std::string& client);
  void ServerLog(const std::string& message, int level) { log_.ServerLog(message, level); }
  void ReportError(int error, const std::string& routine) { log_.ReportError(error, routine); }
  // Commits pending table changes and closes Winsock1; the service stays inactive until the
  // next InitIO.
  void Close();
  // How long table changes may wait before they are committed to the store file.
  void SetCommitInterval(int ms) { commitTimer_.setInterval(ms); }

  bool ServiceActive() const { return registry_.ServiceActive(); }
  bool ServiceDebug() const { return log_.ServiceDebug; }
  void SetServiceDebug(bool on) { log_.ServiceDebug = on; }
  // The stored "Debug" option, as the options window reads and writes it.
  bool StoredDebug() const { return registry_.StoredDebug(); }
  void SaveDebug(bool on) { registry_.SaveDebug(on); }
  // Client slots 1..ClientMax as stored.
  std::vector<std::string> ClientSlots() const { return registry_.Slots(); }

  ServiceLog& Log() { return log_; }
  const ServiceLog& Log() const { return log_; }
  // The port Winsock1 is bound to; 0 when not bound.
  quint16 BoundPort() const;

 private:
  void Winsock1DataArrival();
  ClientRegistry::SendResult SendDatagram(const std::string& address, int port,
                                          const std::string& bytes);

  HostHooks hooks_;
  std::unique_ptr<QSettings> settings_;
  // Saved values not yet handed to settings_: QSettings writes its file on the next event-loop
  // pass after any change, which under a request flood would be once per pass.
  std::map<std::string, std::string> pending_;
  ServiceLog log_;
  ClientRegistry registry_;
  QUdpSocket winsock1_;
  QTimer commitTimer_;
};
