#include "service/SystemdNotify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The manager's protocol (sd_notify(3)), spoken directly: one datagram of newline-separated
// assignments to the AF_UNIX socket named in NOTIFY_SOCKET, a path or, with a leading '@',
// an abstract name. Doing it here keeps libsystemd and what it loads out of the process.
bool SendToManager(const std::string& state) {
  const char* name = std::getenv("NOTIFY_SOCKET");
  if (!name || (name[0] != '/' && name[0] != '@')) return false;
  const std::size_t length = std::strlen(name);
  sockaddr_un address{};
  if (length < 2 || length > sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, name, length);
  if (name[0] == '@') address.sun_path[0] = '\0';
  // A path is sent with its terminating NUL when there is room; an abstract name without.
  const std::size_t pathBytes = name[0] == '/' && length < sizeof address.sun_path ? length + 1 : length;
  const socklen_t addressLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + pathBytes);
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ssize_t sent;
  do {
    sent = sendto(fd, state.data(), state.size(), MSG_NOSIGNAL,
                  reinterpret_cast<const sockaddr*>(&address), addressLength);
  } while (sent < 0 && errno == EINTR);
  close(fd);
  return sent == static_cast<ssize_t>(state.size());
}

std::uint64_t Decimal(const char* text) {
  std::uint64_t value = 0;
  if (!text) return 0;
  const char* end = text + std::strlen(text);
  const auto [at, ec] = std::from_chars(text, end, value);
  return ec == std::errc() && at == end ? value : 0;
}

// The watchdog interval the manager asks of this process (WATCHDOG_USEC, for this process
// when WATCHDOG_PID names one); zero when none.
std::uint64_t WatchdogMicroseconds() {
  const std::uint64_t usec = Decimal(std::getenv("WATCHDOG_USEC"));
  if (usec == 0) return 0;
  const char* pid = std::getenv("WATCHDOG_PID");
  if (pid && Decimal(pid) != static_cast<std::uint64_t>(getpid())) return 0;
  return usec;
}

std::string StatusLine(std::string_view text) {
  std::string line(text);
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  return "STATUS=" + line;
}

}  // namespace

SystemdNotify::SystemdNotify(QObject* parent) : QObject(parent) {
  if (const std::uint64_t usec = WatchdogMicroseconds())
    watchdogInterval_ = std::chrono::microseconds(usec);
  if (watchdogInterval_.count() > 0) {
    // Half the interval leaves the other half for a busy moment of the event loop.
    const auto half = std::chrono::duration_cast<std::chrono::milliseconds>(watchdogInterval_ / 2);
    watchdog_.setTimerType(Qt::PreciseTimer);
    watchdog_.setInterval(std::max<std::chrono::milliseconds::rep>(half.count(), 1));
    connect(&watchdog_, &QTimer::timeout, this, &SystemdNotify::PingWatchdog);
    watchdog_.start();
  }
}

bool SystemdNotify::Ready(std::string_view status) {
  return Send(status.empty() ? "READY=1" : "READY=1\n" + StatusLine(status));
}

bool SystemdNotify::Reloading() {
  // The monotonic time lets a manager that waits for the reload match it to the signal.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const long long usec = static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
  return Send("RELOADING=1\nMONOTONIC_USEC=" + std::to_string(usec));
}

bool SystemdNotify::Stopping(std::string_view status) {
  return Send(status.empty() ? "STOPPING=1" : "STOPPING=1\n" + StatusLine(status));
}

bool SystemdNotify::Status(std::string_view text) { return Send(StatusLine(text)); }

void SystemdNotify::PingWatchdog() { Send("WATCHDOG=1"); }

bool SystemdNotify::Send(const std::string& state) { return SendToManager(state); }
