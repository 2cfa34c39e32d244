#include "xap/DatagramSender.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool ParseAddress(const std::string& text, std::uint16_t port, sockaddr_in* out) {
  *out = sockaddr_in{};
  out->sin_family = AF_INET;
  out->sin_port = htons(port);
  return inet_pton(AF_INET, text.c_str(), &out->sin_addr) == 1;
}

}  // namespace

bool DatagramSender::Open(const std::string& localAddress, const std::string& to,
                          std::uint16_t port, std::string* failure) {
  Close();
  sockaddr_in local{}, remote{};
  if (!ParseAddress(localAddress, 0, &local) || !ParseAddress(to, port, &remote)) {
    if (failure) *failure = "not an IPv4 address: " + localAddress + " or " + to;
    return false;
  }
  auto fail = [&](const char* step) {
    if (failure) *failure = std::string(step) + ": " + std::strerror(errno);
    Close();
    return false;
  };
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return fail("socket");
  const int on = 1;
  if (::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) return fail("broadcast");
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
    return fail("bind");
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0)
    return fail("connect");
  return true;
}

bool DatagramSender::Send(std::string_view bytes, std::string* failure) {
  bool retried = false;
  for (;;) {
    if (::send(fd_, bytes.data(), bytes.size(), 0) >= 0) return true;
    if (errno == EINTR) continue;
    // A connected socket reports that nobody listened to an earlier datagram on the next
    // send, which is then not sent: that refusal is not this datagram's, so try once more.
    if (errno == ECONNREFUSED && !retried) {
      retried = true;
      continue;
    }
    if (failure) *failure = std::strerror(errno);
    return false;
  }
}

void DatagramSender::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}
