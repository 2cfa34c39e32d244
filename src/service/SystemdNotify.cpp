#include "service/SystemdNotify.h"

#include <time.h>

#include <algorithm>
#include <cstdint>

#ifdef VYN_HAVE_LIBSYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace {

std::string StatusLine(std::string_view text) {
  std::string line(text);
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  return "STATUS=" + line;
}

}  // namespace

SystemdNotify::SystemdNotify(QObject* parent) : QObject(parent) {
#ifdef VYN_HAVE_LIBSYSTEMD
  std::uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0)
    watchdogInterval_ = std::chrono::microseconds(usec);
#endif
  if (watchdogInterval_.count() > 0) {
    // Half the interval leaves the other half for a busy moment of the event loop.
    const auto half = std::chrono::duration_cast<std::chrono::milliseconds>(watchdogInterval_ / 2);
    watchdog_.setTimerType(Qt::PreciseTimer);
    watchdog_.setInterval(std::max<std::chrono::milliseconds::rep>(half.count(), 1));
    connect(&watchdog_, &QTimer::timeout, this, &SystemdNotify::PingWatchdog);
    watchdog_.start();
  }
}

bool SystemdNotify::Available() {
#ifdef VYN_HAVE_LIBSYSTEMD
  return true;
#else
  return false;
#endif
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

bool SystemdNotify::Send([[maybe_unused]] const std::string& state) {
#ifdef VYN_HAVE_LIBSYSTEMD
  return sd_notify(0, state.c_str()) > 0;
#else
  return false;
#endif
}
