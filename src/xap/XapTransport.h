#pragma once
// XapTransport: the program's place on the xAP network. It finds a free local
// UDP port from 32768 on, announces it in a heartbeat, sends each message as one
// datagram to the hub port (3639) on the send host (from a socket of its own connected
// there, so the route is found once), and queues received messages,
// handing them to the registered receiver about 50 ms later on the event loop.
// Port, delays and the heartbeat time unit can be set so tests run fast.
//
// Every message sent fits one datagram of at most kMaxDatagram bytes: item names and values
// have their control bytes replaced by blanks, and the longest value is cut ("..." at its end)
// until the message fits; a cut and a failed send are each logged at most once a minute. One
// pass of the event loop reads at most kDatagramsPerPass datagrams per socket, so a flood
// cannot hold back timers, calls or signals.
#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "common/XapItems.h"
#include "xap/DatagramSender.h"

class XapTransport : public QObject {
  Q_OBJECT
 public:
  using FileLog = std::function<void(const std::string& source, const std::string& text)>;
  static constexpr std::size_t kMaxDatagram = 1400;
  static constexpr int kDatagramsPerPass = 32;

  struct Timing {
    int receiveDelayMs = 50;      // hand-over delay of received messages
    int msPerSecond = 1000;       // unit of the heartbeat timer
    int initialHeartbeatMs = 20000;
    quint16 remotePort = 3639;    // the hub's port
    quint16 firstPort = 32768;    // start of the local port search
    int portsToTry = 200;
  };

  explicit XapTransport(QObject* parent = nullptr);
  explicit XapTransport(Timing timing, QObject* parent = nullptr);
  ~XapTransport() override;

  void SetFileLog(FileLog log) { fileLog_ = std::move(log); }
  void RegisterNewMessageCallback(std::function<void()> onMessage) {
    callback_ = std::move(onMessage);
  }

  // Binds the sockets; the bound port when positive, -1 or a negated error number on failure.
  int Init();
  // Sends one message at once; "" when sent, else "location description".
  std::string SendXap(const std::string& sTarget, const std::string& sClass,
                      const std::string& sSection, const std::string& sData);
  // The same for a message given as its items (no encoding and decoding on the way).
  std::string SendXapItems(const std::string& sTarget, const std::string& sClass,
                           const std::string& sSection, XapItemList items);
  void SendHeartbeat(int LongInterval);
  // Sends a heartbeat now and then one every `seconds` (1..600), each saying
  // interval=<seconds>. Replaces the tick-counting rhythm of SendHeartbeat.
  void SetHeartbeatInterval(int seconds);
  // Oldest queued received text, removed from the queue; "" when none.
  std::string GetMessage();
  std::size_t QueuedMessages() const { return queue_.size(); }
  std::string GetIP() const;
  static bool AddressFitsMask(const std::string& mask, const std::string& address);
  // Unloads: drops the queue, closes both sockets. No heartbeat is sent.
  void Unload();

  bool FilterHeartbeats = true;
  std::string BroadcastAddress = "Default";
  std::string InterfaceAddress = "Default";
  std::string XapClass;

  const std::string& XapSource() const { return source_; }
  const std::string& XapTarget() const { return target_; }
  const std::string& XapUID() const { return uid_; }
  void SetXapSource(std::string v) { source_ = std::move(v); RebuildHead(); }
  void SetXapTarget(std::string v) { target_ = std::move(v); RebuildHead(); }
  void SetXapUID(std::string v) { uid_ = std::move(v); RebuildHead(); }

  int Port() const { return port_; }
  const std::string& SendHost() const { return sendHost_; }
  const std::string& LocalAddress() const { return localAddress_; }
  const QTimer& HBeatTimer() const { return hbeatTimer_; }

  static int hibyte(int w) { return (w / 256) & 255; }
  static int lobyte(int w) { return w & 255; }

 private:
  void RebuildHead();
  void ReadDatagrams(QUdpSocket* socket);
  void ProcessReceivedMessage(std::string text);
  void HeartbeatTick();
  void SendBeat(const std::string& interval);
  bool SendDatagram(const std::string& text, std::string* failure);
  void LogLimited(std::int64_t& lastMs, const std::string& text);

  Timing timing_;
  FileLog fileLog_;
  std::function<void()> callback_;
  QUdpSocket winsock1_;
  QUdpSocket winsock2_;
  QUdpSocket* sendSocket_ = &winsock1_;
  // Sends leave through this socket, bound to the send socket's address and connected to
  // the hub port; the send socket itself keeps receiving from anyone. Unopened: the send
  // socket sends.
  DatagramSender sender_;
  QTimer hbeatTimer_;
  QTimer receiveTimer_;
  std::string source_, target_, uid_;
  std::string head_, tail_;
  std::string sendHost_;
  QHostAddress sendAddress_;
  std::string localAddress_;
  int port_ = 0;
  int tickCounter_ = 0;
  int beatSeconds_ = 0;  // heartbeat every tick with this interval; 0: every tenth tick
  std::deque<std::string> queue_;
  bool overflowReported_ = false;
  std::int64_t lastCutLogMs_ = 0;
  std::int64_t lastFailLogMs_ = 0;
};
