// The xAP announcement's latency with and without the call history beside it: the
// completed-call event drives the real XapAnnouncer, whose messages go out as UDP
// datagrams to a socket on 127.0.0.1 read by a thread of its own; with the history on,
// a CallHistory on a real SQLite file in a temporary folder listens to the same event
// and writes its queue every second as it does in the program. Calls are paced 1 ms
// apart from a timer of the event loop, so history writes fall between them as they
// would. Prints the median and 99th percentile, from the event to the CID.Incoming
// datagram's arrival, over the calls of each run.
//   announce_latency [calls = 2000]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "announce/XapAnnouncer.h"
#include "calls/CallEvents.h"
#include "common/Settings.h"
#include "history/CallHistory.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
  double median = 0;
  double p99 = 0;
  std::size_t seen = 0;
};

Figures Run(int calls, bool withHistory) {
  const int rx = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(rx, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(rx, reinterpret_cast<sockaddr*>(&addr), &len);
  const int tx = ::socket(AF_INET, SOCK_DGRAM, 0);
  ::connect(tx, reinterpret_cast<sockaddr*>(&addr), sizeof addr);

  std::vector<Clock::time_point> sent(static_cast<std::size_t>(calls));
  std::vector<Clock::time_point> arrived(static_cast<std::size_t>(calls));
  std::atomic<int> received{0};
  std::atomic<bool> stop{false};
  timeval wait{0, 200 * 1000};
  ::setsockopt(rx, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  std::thread reader([&] {
    char buf[2048];
    while (received.load() < calls && !stop.load()) {
      const ssize_t n = ::recv(rx, buf, sizeof buf, 0);
      if (n <= 0) continue;
      if (std::string_view(buf, static_cast<std::size_t>(n)).find("CID.Incoming") ==
          std::string_view::npos) {
        continue;
      }
      arrived[static_cast<std::size_t>(received.load())] = Clock::now();
      received.fetch_add(1);
    }
  });

  Settings settings;
  settings.CIDIncoming = true;
  settings.MessageDisplay = true;
  settings.XapVoice = true;
  CallEvents events;
  XapAnnouncer announcer(
      settings,
      [&](const std::string& target, const std::string& msgClass, const std::string& section,
          XapItemList items) {
        const std::string message = "xap-header\n{\nclass=" + msgClass + "\ntarget=" + target +
                                    "\n}\n" + section + "\n{\n" + XapItems(items) + "}\n";
        ::send(tx, message.data(), message.size(), 0);
      },
      [](const std::string&) {});
  QObject::connect(&events, &CallEvents::callCompleted, &announcer, &XapAnnouncer::OnCallCompleted);

  QTemporaryDir dir;
  std::unique_ptr<CallHistory> history;
  if (withHistory) {
    CallHistoryConfig config;
    config.file = dir.path().toStdString() + "/Data/calls.sqlite";
    history = std::make_unique<CallHistory>(config, [](const std::string&) {});
    QObject::connect(&events, &CallEvents::callCompleted, history.get(), &CallHistory::Record);
  }

  int next = 0;
  QTimer pace;
  pace.setTimerType(Qt::PreciseTimer);
  pace.setInterval(1);
  QObject::connect(&pace, &QTimer::timeout, [&] {
    if (next == calls) {
      if (received.load() >= calls) QCoreApplication::quit();
      return;
    }
    // Each call waits for the one before it, so arrivals pair with sends in order.
    if (received.load() < next) return;
    CompletedCall call;
    call.time = std::chrono::system_clock::now();
    call.number = std::to_string(5550100000LL + next);
    call.displayNumber = call.number;
    call.callerIdName = "BENCH CALLER";
    call.name = "Bench Caller " + std::to_string(next);
    call.sourceDetail = "/dev/ttyBENCH";
    sent[static_cast<std::size_t>(next)] = Clock::now();
    ++next;
    events.Complete(call);
  });
  pace.start();
  QTimer::singleShot(std::chrono::milliseconds(calls * 20 + 10000), [] { QCoreApplication::quit(); });
  QCoreApplication::exec();
  pace.stop();

  stop = true;
  reader.join();
  ::close(tx);
  const int got = received.load();
  ::close(rx);

  std::vector<double> us;
  for (int i = 0; i < got; ++i) {
    us.push_back(std::chrono::duration<double, std::micro>(arrived[static_cast<std::size_t>(i)] -
                                                           sent[static_cast<std::size_t>(i)])
                     .count());
  }
  std::sort(us.begin(), us.end());
  Figures f;
  f.seen = us.size();
  if (!us.empty()) {
    f.median = us[us.size() / 2];
    f.p99 = us[std::min(us.size() - 1, us.size() * 99 / 100)];
  }
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int calls = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
  std::printf("%-22s %7s %10s %10s\n", "announcement", "calls", "median us", "p99 us");
  // Twice each, alternating, so a warm-up or a busy moment does not favour one side.
  for (int round = 0; round < 2; ++round) {
    for (bool history : {false, true}) {
      const Figures f = Run(calls, history);
      std::printf("%-22s %7zu %10.1f %10.1f\n", history ? "with call history" : "without call history",
                  f.seen, f.median, f.p99);
    }
  }
  return 0;
}
