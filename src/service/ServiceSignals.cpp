#include "service/ServiceSignals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace {

int gPipe[2] = {-1, -1};

void OnSignal(int signo) {
  const char c = signo == SIGHUP ? 'H' : 'T';
  [[maybe_unused]] auto n = write(gPipe[1], &c, 1);
}

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

ServiceSignals::ServiceSignals(QObject* parent) : QObject(parent) {}

ServiceSignals::~ServiceSignals() {
  if (!notifier_) return;
  for (int s : kSignals) std::signal(s, SIG_DFL);
  delete notifier_;
  close(gPipe[0]);
  close(gPipe[1]);
  gPipe[0] = gPipe[1] = -1;
}

bool ServiceSignals::CatchEarly() {
  if (gPipe[0] >= 0) return true;
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gPipe) != 0) return false;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int s : kSignals) sigaction(s, &sa, nullptr);
  return true;
}

bool ServiceSignals::Install() {
  if (notifier_) return true;
  if (!CatchEarly()) return false;
  notifier_ = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &ServiceSignals::OnReadable);
  return true;
}

void ServiceSignals::OnReadable() {
  char buf[64];
  bool stop = false, reload = false;
  for (ssize_t n; (n = read(gPipe[0], buf, sizeof buf)) > 0;)
    for (ssize_t i = 0; i < n; ++i) (buf[i] == 'H' ? reload : stop) = true;
  if (stop) {
    stopPending_ = true;
    emit stopRequested();
  } else if (reload) {
    emit reloadRequested();
  }
}
