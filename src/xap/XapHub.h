#pragma once
// XapHub: a local xAP hub, for machines that have none. It binds the hub port on an address
// and relays as an xAP hub does: every datagram it receives goes to each local application
// registered in its XapHubTable (127.0.0.1:<port>, its sender included); heartbeats from this
// machine register their port= (see XapHubTable).
//
// Start binds the port without sharing it, so it fails (and the program stays a plain client)
// when a real hub or anything else holds it. One event-loop pass relays at most
// kDatagramsPerPass datagrams; the rest waits for the next pass. Close releases the port.
// Everything runs on the thread that owns the object.
#include <QObject>
#include <QUdpSocket>
#include <cstdint>
#include <functional>
#include <string>

#include "xap/XapHubTable.h"

class XapHub : public QObject {
  Q_OBJECT
 public:
  static constexpr int kDatagramsPerPass = 64;

  struct Config {
    std::string address = "127.0.0.1";  // where to bind; "0.0.0.0" for every interface
    std::uint16_t port = 3639;
  };
  // Milliseconds on a steady clock; tests set their own.
  using Clock = std::function<std::int64_t()>;

  explicit XapHub(Config config, QObject* parent = nullptr);
  ~XapHub() override;

  // Binds the hub port; false when it is held by another socket (or cannot be bound).
  bool Start();
  void Close();
  bool Running() const { return socket_.state() == QAbstractSocket::BoundState; }
  std::uint16_t Port() const { return Running() ? socket_.localPort() : 0; }
  const XapHubTable& Table() const { return table_; }
  void SetClock(Clock clock) { clock_ = std::move(clock); }

 private:
  void Relay();
  std::int64_t Now() const;

  Config config_;
  Clock clock_;
  XapHubTable table_;
  QUdpSocket socket_;
  QUdpSocket out_;
};
