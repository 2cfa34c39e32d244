// Latency of the network parts under load, on loopback (a small program, not Google
// Benchmark: it needs an event loop and sender threads). Prints median and maximum (or 99th
// percentile) per case:
//  - flood4550: a call datagram reaching a display while 1 000 requests a second (alternating
//    subscribe/unsubscribe from 127.0.0.2) hit the display-client service; 50 calls.
//  - floodxap: an xAP announcement reaching the hub port while 1 000 xAP messages a second
//    hit the program's xAP port; 50 calls.
//  - hubrelay: a datagram sent to the built-in hub reaching a registered local port; 10 000.
// A call is a datagram from the measuring thread to a trigger socket in the event loop, whose
// handler sends the call as the program does; the time runs from the trigger to arrival.
#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QSettings>
#include <QThread>
#include <QUdpSocket>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "common/XapItems.h"
#include "udpclients/UdpClientService.h"
#include "xap/XapHub.h"
#include "xap/XapRequestHandler.h"
#include "xap/XapTransport.h"

namespace {
using Clock = std::chrono::steady_clock;

int Socket(std::uint32_t from, quint16 port = 0) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(from);
  a.sin_port = htons(port);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  timeval tv{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd;
}

quint16 PortOf(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

void SendTo(int fd, quint16 port, const std::string& bytes) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// Paced flood of `messages` (taken in turn) to port at perSecond until stop.
void Flood(quint16 port, std::vector<std::string> messages, int perSecond,
           const std::atomic<bool>& stop) {
  const int fd = Socket(0x7F000002);
  const auto step = std::chrono::microseconds(1000000 / perSecond);
  auto next = Clock::now();
  for (std::size_t i = 0; !stop; ++i) {
    SendTo(fd, port, messages[i % messages.size()]);
    next += step;
    std::this_thread::sleep_until(next);
  }
  ::close(fd);
}

// Sends `count` triggers to triggerPort, each waiting for one datagram on receiver
// (matching accept); returns the latencies in microseconds.
template <typename Accept>
std::vector<double> Measure(int count, quint16 triggerPort, int receiver, int gapMs, Accept accept) {
  std::vector<double> us;
  const int trigger = Socket(INADDR_LOOPBACK);
  char buf[2048];
  for (int i = 0; i < count; ++i) {
    const auto t0 = Clock::now();
    SendTo(trigger, triggerPort, "call");
    for (;;) {
      const ssize_t n = ::recv(receiver, buf, sizeof buf, 0);
      if (n < 0) {
        us.push_back(2e6);  // lost or later than 2 s
        break;
      }
      if (accept(std::string(buf, static_cast<std::size_t>(n)))) {
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        break;
      }
    }
    if (gapMs) std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
  }
  ::close(trigger);
  return us;
}

void Report(const char* name, std::vector<double> us, bool p99) {
  std::sort(us.begin(), us.end());
  const double median = us[us.size() / 2];
  const double tail = p99 ? us[us.size() * 99 / 100] : us.back();
  std::printf("%-10s n=%zu median=%.1f us %s=%.1f us\n", name, us.size(), median,
              p99 ? "p99" : "max", tail);
}

// Runs work on a thread while the event loop turns; returns its result.
template <typename Work>
auto WhileLoopRuns(Work work) {
  std::atomic<bool> done{false};
  decltype(work()) result;
  std::thread t([&] {
    result = work();
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  t.join();
  return result;
}

void Flood4550() {
  QTemporaryDir dir;
  const int display = Socket(INADDR_LOOPBACK);
  QUdpSocket probe;
  probe.bind(QHostAddress(QHostAddress::LocalHost), 0);
  const quint16 servicePort = probe.localPort();
  probe.close();
  const std::string file = dir.path().toStdString() + "/clients.conf";
  {
    QSettings s(QString::fromStdString(file), QSettings::IniFormat);
    s.setValue("Options/LocalPort", QString::number(servicePort));
    s.setValue("Options/RemotePort", QString::number(PortOf(display)));
  }
  UdpClientService service(HostHooks{}, file);
  service.InitIO();
  SendTo(display, servicePort, std::string(1, '\x01'));  // the display subscribes
  while (service.ClientSlots().empty()) QCoreApplication::processEvents();

  QUdpSocket trigger;
  trigger.bind(QHostAddress(QHostAddress::LocalHost), 0);
  QObject::connect(&trigger, &QUdpSocket::readyRead, [&] {
    while (trigger.hasPendingDatagrams()) trigger.receiveDatagram();
    service.SendCIDSentry("Smith", "5551234");
  });
  std::atomic<bool> stop{false};
  std::thread flood(Flood, servicePort, std::vector<std::string>{"\x01", "\x02"}, 1000,
                    std::cref(stop));
  const auto us = WhileLoopRuns([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return Measure(50, trigger.localPort(), display, 20, [](const std::string&) { return true; });
  });
  stop = true;
  flood.join();
  ::close(display);
  Report("flood4550", us, false);
}

void FloodXap() {
  const int hub = Socket(INADDR_LOOPBACK);
  XapTransport::Timing timing;
  timing.remotePort = PortOf(hub);
  QUdpSocket probe;
  probe.bind(QHostAddress(QHostAddress::LocalHost), 0);
  timing.firstPort = probe.localPort();
  probe.close();
  XapTransport xap(timing);
  xap.BroadcastAddress = "127.0.0.1";
  xap.InterfaceAddress = "127.0.0.1";
  xap.SetXapSource("vyn.CID.bench");
  if (xap.Init() <= 0) {
    std::printf("floodxap: no xAP port\n");
    return;
  }
  // The program's receive side: every queued message goes through the request handler.
  XapRequestHandler handler({"vyn.CID.bench", "/bench"}, {});
  xap.RegisterNewMessageCallback([&] {
    for (std::string m = xap.GetMessage(); !m.empty(); m = xap.GetMessage()) handler.Readmessage(m);
  });
  QUdpSocket trigger;
  trigger.bind(QHostAddress(QHostAddress::LocalHost), 0);
  QObject::connect(&trigger, &QUdpSocket::readyRead, [&] {
    while (trigger.hasPendingDatagrams()) trigger.receiveDatagram();
    xap.SendXap("", "Message.Display", "Display.Text",
                XapItems({{"Duration", "5"}, {"Line1", "5551234"}, {"Line2", "Smith"}}));
  });
  const std::vector<std::string> junk = {
      "xap-header\n{\nv=12\nhop=1\nuid=FF1\nclass=Other.Thing\nsource=a.b.c\n}\nx\n{\ny=1\n}\n",
      "xap-header\n{\nclass=CID.Incoming\nsource=a.b.c\n}\n",
      std::string("\x01", 1)};
  std::atomic<bool> stop{false};
  std::thread flood(Flood, static_cast<quint16>(xap.Port()), junk, 1000, std::cref(stop));
  const auto us = WhileLoopRuns([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return Measure(50, trigger.localPort(), hub, 20, [](const std::string& m) {
      return m.find("Message.Display") != std::string::npos;
    });
  });
  stop = true;
  flood.join();
  ::close(hub);
  Report("floodxap", us, false);
}

void HubRelay() {
  QUdpSocket probe;
  probe.bind(QHostAddress(QHostAddress::LocalHost), 0);
  const quint16 port = probe.localPort();
  probe.close();
  XapHub hub({"127.0.0.1", port});
  if (!hub.Start()) {
    std::printf("hubrelay: no hub port\n");
    return;
  }
  const int app = Socket(INADDR_LOOPBACK);
  SendTo(app, port,
         "xap-hbeat\n{\nv=12\nhop=1\nuid=FF1\nclass=xap-hbeat.alive\nsource=a.b.c\ninterval=60\nport=" +
             std::to_string(PortOf(app)) + "\n}\n");
  const auto us = WhileLoopRuns([&] {
    char buf[2048];
    ::recv(app, buf, sizeof buf, 0);  // its own heartbeat, relayed
    std::vector<double> out;
    const int sender = Socket(INADDR_LOOPBACK);
    const std::string msg = "xap-header\n{\nv=12\nhop=1\nuid=FF1\nclass=a.b\nsource=a.b.c\n}\n";
    for (int i = 0; i < 10000; ++i) {
      const auto t0 = Clock::now();
      SendTo(sender, port, msg);
      if (::recv(app, buf, sizeof buf, 0) < 0) {
        out.push_back(2e6);
        continue;
      }
      out.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    ::close(sender);
    return out;
  });
  ::close(app);
  Report("hubrelay", us, true);
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication qapp(argc, argv);
  Flood4550();
  FloodXap();
  HubRelay();
  return 0;
}
