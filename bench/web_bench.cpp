// Speed of the web page's server (a plain program: it prints its own figures).
//  1. GET /api/calls?limit=50 against a call history of 1 000 000 calls (built once by one
//     bulk INSERT, as in history_bench): median and 99th percentile from request to the
//     closed connection, by a client on its own thread with plain sockets. Goal: median
//     under 10 ms.
//  2. The completed-call event with the page connected: how long CallEvents::Complete takes
//     (every slot, the page's last) with no live client and with 50 clients on
//     /api/events that read on their own thread. Goal: the same within 10 %.
// Usage: web_bench [calls in the history, default 1000000]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "calls/CallEvents.h"
#include "history/CallHistory.h"
#include "history/HistoryTable.h"
#include "web/WebServer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

int Connect(quint16 port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// One request; the milliseconds until the server closed, or -1.
double Get(quint16 port, const std::string& target, std::size_t& bytes) {
  const auto start = Clock::now();
  const int fd = Connect(port);
  if (fd < 0) return -1;
  const std::string req = "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n";
  if (write(fd, req.data(), req.size()) != static_cast<ssize_t>(req.size())) return close(fd), -1;
  char buf[65536];
  bytes = 0;
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) bytes += static_cast<std::size_t>(n);
  close(fd);
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void BuildHistory(const std::string& file, long count) {
  CallHistoryConfig config;
  config.file = file;
  { CallHistory layout(config, {}); }
  const auto start = HistoryTime(std::chrono::system_clock::now() - std::chrono::hours(24 * 700));
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "bulk");
    db.setDatabaseName(QString::fromStdString(file));
    db.open();
    QSqlQuery q(db);
    q.exec("PRAGMA journal_mode=DELETE");
    q.exec("PRAGMA synchronous=OFF");
    q.exec(QStringLiteral(
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1),"
               " c(i, k) AS (SELECT i, (i * 7919) % 20000 FROM n)"
               " INSERT INTO calls (time, number, display_number, caller_id_name, name, named_by,"
               " source, source_detail, first_name)"
               " SELECT %2 + i * 60000, printf('212%07d', 5550000 + k),"
               " printf('(212)%03d-%04d', 555 + k / 10000, k % 10000),"
               " printf('SMITH%05d JOHN', k), printf('John <Smith> %d', k), 1, 1, '/dev/ttyACM0',"
               " NULL FROM c")
               .arg(count)
               .arg(start));
    q.exec("PRAGMA journal_mode=WAL");
    q.finish();
    db.close();
  }
  QSqlDatabase::removeDatabase("bulk");
}

CompletedCall SampleCall(int n) {
  CompletedCall c;
  c.time = std::chrono::system_clock::now();
  c.number = "212555" + std::to_string(1000 + n % 9000);
  c.displayNumber = c.number;
  c.callerIdName = "SMITH JOHN";
  c.name = "John Smith";
  c.namedBy = NamedBy::Phonebook;
  return c;
}

// Runs the event loop for ms milliseconds.
void Spin(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const long count = argc > 1 ? std::atol(argv[1]) : 1000000;
  std::string tmpl = (fs::temp_directory_path() / "web_bench_XXXXXX").string();
  if (!mkdtemp(tmpl.data())) return 1;
  const std::string home = tmpl;
  const std::string file = CallHistoryFile(home);
  std::printf("building a history of %ld calls...\n", count);
  BuildHistory(file, count);
  CallHistoryConfig config;
  config.file = file;
  CallHistory history(config, [](const std::string& t) { std::fprintf(stderr, "%s\n", t.c_str()); });

  CallEvents events;
  WebServer server(
      {"127.0.0.1:0", "", ""},
      [&](int limit, std::optional<WebServer::Time> before, const std::string& search) {
        return history.Recent(limit, before, search);
      },
      [] { return web::WebStatus{}; }, [](const std::string&) {});
  if (!server.Start()) return 1;
  const quint16 port = server.Port();

  // 1. The API on the big history, requests from another thread.
  {
    std::vector<double> ms;
    std::size_t bytes = 0;
    std::atomic<bool> done{false};
    std::thread client([&] {
      for (int i = 0; i < 220; ++i) {
        const double t = Get(port, "/api/calls?limit=50", bytes);
        if (i >= 20 && t >= 0) ms.push_back(t);  // the first ones warm the caches
      }
      done = true;
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    client.join();
    std::printf("GET /api/calls?limit=50 on %ld calls: median %.2f ms, p99 %.2f ms (%zu bytes, "
                "%zu requests)\n",
                count, Percentile(ms, 0.5), Percentile(ms, 0.99), bytes, ms.size());
  }

  // 2. The event with 0 and with 50 live clients. The first slot stands in for the xAP
  // announcement: one datagram to a loopback socket.
  QUdpSocket hub, sender;
  hub.bind(QHostAddress::LocalHost, 0);
  Clock::time_point announced;
  QObject::connect(&events, &CallEvents::callCompleted, [&](const CompletedCall& c) {
    const QByteArray d = QByteArray::fromStdString("xap-header\n{\n" + c.name + "\n}\n");
    sender.writeDatagram(d, QHostAddress::LocalHost, hub.localPort());
    announced = Clock::now();
  });
  QObject::connect(&hub, &QUdpSocket::readyRead, [&] {
    while (hub.hasPendingDatagrams()) hub.receiveDatagram();
  });
  QObject::connect(&events, &CallEvents::callCompleted, &server, &WebServer::OnCallCompleted);
  auto measure = [&](int clients) {
    std::vector<int> fds;
    for (int i = 0; i < clients; ++i) {
      const int fd = Connect(port);
      const char* req = "GET /api/events HTTP/1.1\r\nHost: x\r\n\r\n";
      if (write(fd, req, std::strlen(req)) < 0) return;
      fds.push_back(fd);
    }
    std::atomic<bool> stop{false};
    std::atomic<long> received{0};
    std::thread reader([&] {
      std::vector<pollfd> p;
      for (int fd : fds) p.push_back({fd, POLLIN, 0});
      char buf[65536];
      while (!stop) {
        if (p.empty()) {
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
          continue;
        }
        if (poll(p.data(), p.size(), 5) <= 0) continue;
        for (auto& e : p)
          if (e.revents & POLLIN) received += read(e.fd, buf, sizeof buf);
      }
    });
    Spin(300);
    if (server.StreamCount() != clients) std::printf("  (only %d streams)\n", server.StreamCount());
    std::vector<double> us, announce, loop;
    for (int i = 0; i < 2000; ++i) {
      const CompletedCall call = SampleCall(i);
      const auto start = Clock::now();
      events.Complete(call);
      const auto emitted = Clock::now();
      us.push_back(std::chrono::duration<double, std::micro>(emitted - start).count());
      announce.push_back(std::chrono::duration<double, std::micro>(announced - start).count());
      QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
      loop.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      if (i % 50 == 0) Spin(2);
    }
    Spin(200);
    stop = true;
    reader.join();
    for (int fd : fds) close(fd);
    Spin(100);
    std::printf("%2d live clients: announcement median %.1f us p99 %.1f us; whole event median "
                "%.1f us p99 %.1f us; event + loop pass (stream writes) median %.1f us p99 %.1f us "
                "(%ld bytes read)\n",
                clients, Percentile(announce, 0.5), Percentile(announce, 0.99), Percentile(us, 0.5),
                Percentile(us, 0.99), Percentile(loop, 0.5), Percentile(loop, 0.99),
                received.load());
  };
  measure(0);
  measure(50);
  measure(0);
  measure(50);

  server.Stop();
  fs::remove_all(home);
  return 0;
}
