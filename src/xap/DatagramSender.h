#pragma once
// DatagramSender: a send-only UDP socket bound to one local address and connected to one
// destination. The kernel resolves the route once, at Open, instead of for every datagram,
// which is most of the cost of a send on a cold cache. Non-blocking, closed on exec.
#include <cstdint>
#include <string>
#include <string_view>

class DatagramSender {
 public:
  DatagramSender() = default;
  DatagramSender(const DatagramSender&) = delete;
  DatagramSender& operator=(const DatagramSender&) = delete;
  ~DatagramSender() { Close(); }

  // IPv4 addresses in dotted form; the local port is left to the system. Broadcast
  // destinations are allowed. False, with the step and the system's reason in *failure,
  // when the socket cannot be made, bound or connected; the sender is then closed.
  bool Open(const std::string& localAddress, const std::string& to, std::uint16_t port,
            std::string* failure);
  bool IsOpen() const { return fd_ >= 0; }
  // One datagram. False, with the system's reason in *failure, when it was not sent.
  bool Send(std::string_view bytes, std::string* failure);
  void Close();

 private:
  int fd_ = -1;
};
