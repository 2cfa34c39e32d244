#pragma once
// CommLink: the caller-ID link of the main window. It owns the serial port Com1,
// the TCP socket Winsock2 of a network caller-ID box, the timers ConnectTimer
// (TCP connect retries) and Timer5 (call completion), the receive buffer, the
// caller-ID parser and the traffic texts.
//
// Which link is used comes from CIDCommPort (see ParseCommPort); Settings and
// CallerRecord belong to the application and must outlive the link. Event-log
// lines go out through the log hooks.
//
// Each call the parser completes leaves the link as callReceived, with the link it
// came from; the program names and announces it.
// Everything runs on the thread that owns the object.
//
//  - PortOpen(port): true when the link named by the port text is open, opening
//    it first (with CIDPortString) when not. A link open to another target is
//    closed first, so a changed setting takes effect.
//  - OpenCommPort(port, settings): opens the link. For TCP it connects and waits
//    in a nested event loop while ConnectTimer runs: one attempt and five retries,
//    ConnectTimer's interval apart, then "Unable to connect to CM11A via TCP ".
//  - ModemSend(text): opens the link if needed, shows the command in CommData and
//    sends it.
//  - ProcessCommData(text, code): the common receive path (code 2 = data).
//  - ClosePort(): closes the serial port and the socket and stops retrying.
//  - InitLink(): the start-up use: open, send CIDModemInitString + CR LF, report
//    "Opened" once (or "Error Opening ...").
//
// After a peer close or a socket error the TCP link reconnects by itself: at once
// when an established connection ended (after ConnectTimer's interval when it
// lasted under a second), after ConnectTimer's interval when a
// connect attempt failed (so a box that is off is not hammered). "TCP Port Connect
// Closed" is reported at most 3 times in a row (until data without "Port not
// available." arrives or a command is sent), socket errors at most 3 times until
// a connection is made. Nothing reconnects while the shutting-down test is true.
//
// A serial port is opened only under its UUCP lock file (LCK..<device> in the lock
// folder): a device whose lock a live other process holds stays closed, with one
// log line naming the device and the lock file; a lock folder that cannot be
// written is one log line too, and the port is opened all the same.
//
// A serial port that fails while open (ReadError, ResourceError: the device went
// away) is closed at once with one "CommERROR " log line. It is then reopened by
// itself (a single-shot timer, no polling): after the serial retry interval (2 s),
// doubling up to the serial retry limit (30 s), silently, until the device is back;
// then one "... back" line is logged and CIDModemInitString is sent again. The
// folder that holds the device name is watched meanwhile (inotify): a name that
// appears there is tried within a moment instead of at the next backoff step. A serial
// device missing at InitLink is retried the same way. A PortOpen or ModemSend in
// between opens it too. Every serial error code shows in CommStatus as 1000 + the
// QSerialPort error value.
//
// A network box still unreachable after the six attempts of the connect wait, or
// after a reconnect that failed, is tried again forever without a nested loop:
// after ConnectTimer's interval, doubling up to the box retry limit (60 s). When a
// connection is made after such a failure one "... back" line is logged and
// CIDModemInitString is sent again.
//
// TrafficChanged is emitted after every change of CommData or CommStatus,
// PortStatusChanged after every change of the port status text.
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "common/Settings.h"
#include "cid/CallerIdParser.h"
#include "cid/CallerRecord.h"
#include "cid/CommBuffer.h"
#include "cid/LinkSettings.h"
#include "cid/TrafficText.h"
#include "cid/UucpLock.h"
#include "host/HostHooks.h"

class QEventLoop;

class CommLink : public QObject {
  Q_OBJECT

 public:
  using ShuttingDown = std::function<bool()>;
  using Clock = std::function<std::string()>;  // local time as "hh:mm:ss"

  static constexpr int kConnectInterval = 2000;
  static constexpr int kTimer5Interval = 500;
  static constexpr int kRestDelay = 100;
  static constexpr int kConnectAttempts = 6;
  static constexpr int kReportLimit = 3;
  // A connection closed by the box sooner than this is retried after the connect
  // interval instead of at once.
  static constexpr int kQuickCloseMs = 1000;
  static constexpr int kSerialRetryMs = 2000;
  static constexpr int kSerialRetryMaxMs = 30000;
  static constexpr int kBoxRetryMaxMs = 60000;
  static constexpr int kQuickRetryMs = 100;  // after a change in the device's folder

  CommLink(const Settings& settings, CallerRecord& record, HostHooks log, ShuttingDown shuttingDown,
           QObject* parent = nullptr);
  ~CommLink() override;

  void SetConnectInterval(int ms) { connectInterval_ = ms; }
  void SetTimer5Interval(int ms) { timer5Interval_ = ms; }
  // How long the device must stay quiet before an unterminated line that holds a
  // prefix is taken as complete (InsertModemCrLf); 0 takes it at once. Keep it
  // well below Timer5's interval, or a lone number completes before the name.
  void SetRestDelay(int ms) { restDelay_ = ms; }
  // Reopen timing of a vanished serial device: first delay and limit of the backoff.
  void SetSerialRetry(int firstMs, int maxMs) {
    serialRetryFirst_ = firstMs;
    serialRetryMax_ = maxMs;
  }
  // Limit of the backoff between attempts to reach an unreachable network box.
  void SetBoxRetryMax(int ms) { boxRetryMax_ = ms; }
  void SetClock(Clock clock) { clock_ = std::move(clock); }
  // Where the serial port's UUCP lock file goes (default /var/lock).
  void SetLockFolder(std::string folder) {
    lockFolder_ = std::move(folder);
    uucpLock_.reset();
  }

  bool PortOpen(const std::string& portText);
  bool OpenCommPort(const std::string& portText, const std::string& portSettings);
  void ModemSend(const std::string& text);
  void ClosePort();
  void ProcessCommData(const std::string& text, int eventCode);
  void InitLink();
  // True while a lost link is being retried by itself.
  bool Retrying() const { return serialLost_ || boxLost_; }
  // Forget that "Opened" was reported (start-up).
  void ClearOpenedReport() { openedReported_ = false; }

  CallerIdParser& Parser() { return parser_; }
  bool NetworkLink() const { return networkLink_; }
  int ConnectTries() const { return tries_; }
  std::string_view CommData() const { return traffic_.CommData(); }
  std::string_view CommStatus() const { return traffic_.CommStatus(); }
  const std::string& PortStatus() const { return portStatus_; }
  const std::string& CommBufferText() const { return buffer_.Text(); }
  QSerialPort& Com1() { return com1_; }
  QTcpSocket& Winsock2() { return winsock2_; }

 signals:
  void callReceived(const CallerIdCall& call);
  void TrafficChanged();
  void PortStatusChanged();

 private:
  bool OpenSerial(const std::string& portText, const LinkTarget& target,
                  const std::string& portSettings, bool quiet = false);
  void SerialLost();
  void OnSerialRetry();
  void OnDeviceFolderChanged();
  void StopSerialRetry();
  void BoxLost();
  void LinkBack(const std::string& what);
  bool OpenTcp(const std::string& portText, const LinkTarget& target);
  void CloseSerial();
  void CloseTcp();
  void StartConnect();
  void ScheduleReconnect(int delayMs);
  void SetPortStatus(const std::string& portText, bool open);
  void Log(const std::string& text);
  void LogFailure(const std::string& text, int location, const std::string& description);
  void ScrollEchoWindows() { emit TrafficChanged(); }
  CommBuffer::Rules BufferRules(bool deferRest) const;
  CommBuffer::Sink BufferSink();
  bool IsShuttingDown() const { return shuttingDown_ && shuttingDown_(); }

  void OnSerialReadyRead();
  void OnSerialError(QSerialPort::SerialPortError error);
  void OnTcpConnected();
  void OnTcpReadyRead();
  void OnTcpDisconnected();
  void OnTcpError(QAbstractSocket::SocketError error);
  void OnConnectTimer();

  const Settings& settings_;
  HostHooks log_;
  ShuttingDown shuttingDown_;
  Clock clock_;
  bool holdTraffic_ = false;  // while received text is parsed: notes wait in heldTraffic_
  std::string heldTraffic_;
  CallerIdParser parser_;
  CommBuffer buffer_;
  TrafficText traffic_;
  std::string portStatus_ = "Port Status";

  QSerialPort com1_;
  QTcpSocket winsock2_;
  QTimer connectTimer_;
  QTimer timer5_;
  QTimer restTimer_;
  QTimer reconnectTimer_;
  QTimer serialRetryTimer_;
  QFileSystemWatcher deviceFolder_;  // watched while the serial device is lost
  int quickTries_ = 0;               // prompt attempts left after a change in that folder
  QEventLoop* connectWait_ = nullptr;

  int connectInterval_ = kConnectInterval;
  int timer5Interval_ = kTimer5Interval;
  int restDelay_ = kRestDelay;
  int serialRetryFirst_ = kSerialRetryMs;
  int serialRetryMax_ = kSerialRetryMaxMs;
  int serialRetryDelay_ = kSerialRetryMs;
  int boxRetryMax_ = kBoxRetryMaxMs;
  int boxRetryDelay_ = 0;
  bool serialLost_ = false;  // the serial device went away; retried until back
  bool boxLost_ = false;     // the box could not be reached; retried until back

  std::string serialDevice_;  // device Com1 was opened on
  std::string lockFolder_ = UucpLock::kDefaultFolder;
  std::unique_ptr<UucpLock> uucpLock_;
  std::string lockReport_;  // the last lock problem logged, so a retry does not repeat it
  std::string tcpHost_;
  quint16 tcpPort_ = 0;
  bool networkLink_ = false;
  bool openedReported_ = false;
  bool ownClose_ = false;        // our own close of Winsock2 is not a peer close
  bool tcpEstablished_ = false;  // the current Winsock2 attempt reached Connected
  int tries_ = 0;
  int closeReports_ = 0;
  QElapsedTimer connectedAt_;
  int errorReports_ = 0;
};
