// NCID server: the time from CallEvents::Complete to the moment an NCID client on 127.0.0.1
// has read the call's "CID:" line. The clients are plain sockets read by threads of their
// own, so the server's event loop (this thread) does no work for them. One figure with a
// single client, one for the last client served when 32 are connected, and the time the
// slot itself takes (Complete returning) with 32 clients. Each iteration is one call; the
// counters p50_us and p99_us are the median and 99th percentile over the 2 000 calls of a
// run.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "calls/CallEvents.h"
#include "ncid/NcidServer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCalls = 2000;

int ConnectTo(quint16 port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  const char hello[] = "HELLO: IDENT: client bench 1.0\r\nHELLO: CMD: no_log\r\n";
  if (::send(fd, hello, sizeof hello - 1, 0) < 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Reads lines from one socket and notes when each CID: line arrived.
class LineWatch {
 public:
  // Feeds what recv gave; returns the CID: lines completed.
  int Feed(const char* data, std::size_t n) {
    int cid = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (data[i] != '\n') {
        if (line_.size() < 8) line_ += data[i];
        continue;
      }
      if (line_.rfind("CID:", 0) == 0) ++cid;
      if (line_.rfind("300 ", 0) == 0) started = true;
      line_.clear();
    }
    return cid;
  }
  std::atomic<bool> started{false};

 private:
  std::string line_;
};

// The measured client: a thread blocked in recv on its socket.
class MeasuredClient {
 public:
  explicit MeasuredClient(int fd) : fd_(fd), thread_([this] { Run(); }) {}
  ~MeasuredClient() {
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
  }
  bool Started() const { return watch_.started.load(); }
  int Count() const { return count_.load(std::memory_order_acquire); }
  Clock::time_point LastArrival() const {
    return Clock::time_point(Clock::duration(arrival_.load(std::memory_order_relaxed)));
  }

 private:
  void Run() {
    char buf[65536];
    for (;;) {
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) return;
      const auto now = Clock::now();
      const int cid = watch_.Feed(buf, static_cast<std::size_t>(n));
      if (cid > 0) {
        arrival_.store(now.time_since_epoch().count(), std::memory_order_relaxed);
        count_.fetch_add(cid, std::memory_order_release);
      }
    }
  }

  int fd_;
  LineWatch watch_;
  std::atomic<int> count_{0};
  std::atomic<Clock::rep> arrival_{0};
  std::thread thread_;
};

// The other clients: one thread that reads them all so none falls behind.
class DrainedClients {
 public:
  explicit DrainedClients(std::vector<int> fds) : fds_(std::move(fds)), watches_(fds_.size()) {
    thread_ = std::thread([this] { Run(); });
  }
  ~DrainedClients() {
    stop_ = true;
    thread_.join();
    for (int fd : fds_) ::close(fd);
  }
  bool Started() const {
    return std::all_of(watches_.begin(), watches_.end(),
                       [](const LineWatch& w) { return w.started.load(); });
  }

 private:
  void Run() {
    std::vector<pollfd> polls;
    for (int fd : fds_) polls.push_back({fd, POLLIN, 0});
    char buf[65536];
    while (!stop_) {
      if (::poll(polls.data(), polls.size(), 50) <= 0) continue;
      for (std::size_t i = 0; i < polls.size(); ++i) {
        if (!(polls[i].revents & POLLIN)) continue;
        const ssize_t n = ::recv(polls[i].fd, buf, sizeof buf, 0);
        if (n > 0) watches_[i].Feed(buf, static_cast<std::size_t>(n));
      }
    }
  }

  std::vector<int> fds_;
  std::vector<LineWatch> watches_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

template <typename Pred>
bool SpinUntil(Pred pred, int timeoutMs = 5000) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (Clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  return true;
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

enum class Measure { Arrival, SlotOnly };

void CallToClient(benchmark::State& state, int clients, Measure measure) {
  ncid::NcidServerConfig config;
  config.listen = "127.0.0.1:0";
  NcidServer server(config, {}, {});
  server.SetHelloWait(20);
  CallEvents events;
  QObject::connect(&events, &CallEvents::callCompleted, &server, &NcidServer::SendCall);
  if (!server.Start()) {
    state.SkipWithError("cannot listen on 127.0.0.1");
    return;
  }

  // Connected one after the other, so the last one is served last.
  std::vector<int> others;
  for (int i = 0; i + 1 < clients; ++i) {
    const int fd = ConnectTo(server.Port());
    if (fd >= 0) others.push_back(fd);
    SpinUntil([&] { return server.ClientCount() == i + 1; });
  }
  const int last = ConnectTo(server.Port());
  if (last < 0 || static_cast<int>(others.size()) != clients - 1) {
    for (int fd : others) ::close(fd);
    if (last >= 0) ::close(last);
    state.SkipWithError("cannot connect to the server");
    return;
  }
  DrainedClients drained(others);
  MeasuredClient measured(last);
  if (!SpinUntil([&] { return measured.Started() && drained.Started(); }) ||
      server.ClientCount() != clients) {
    state.SkipWithError("connection start did not finish");
    return;
  }

  CompletedCall call;
  call.time = std::chrono::system_clock::now();
  call.number = "5551234567";
  call.displayNumber = "(555) 123-4567";
  call.name = "Joe Smith";
  std::vector<double> micros;
  micros.reserve(kCalls);
  for (auto _ : state) {
    const int before = measured.Count();
    const auto start = Clock::now();
    events.Complete(call);
    const auto returned = Clock::now();
    if (!SpinUntil([&] { return measured.Count() > before; })) {
      state.SkipWithError("a call line did not arrive");
      break;
    }
    const std::chrono::duration<double> took =
        (measure == Measure::Arrival ? measured.LastArrival() : returned) - start;
    state.SetIterationTime(took.count());
    micros.push_back(took.count() * 1e6);
  }
  if (!micros.empty()) {
    state.counters["p50_us"] = Percentile(micros, 0.5);
    state.counters["p99_us"] = Percentile(micros, 0.99);
  }
  state.counters["clients"] = server.ClientCount();
}

void BM_CallToOneClient(benchmark::State& state) { CallToClient(state, 1, Measure::Arrival); }
void BM_CallToLastOf32Clients(benchmark::State& state) {
  CallToClient(state, NcidServer::kMaxClients, Measure::Arrival);
}
void BM_SlotWith32Clients(benchmark::State& state) {
  CallToClient(state, NcidServer::kMaxClients, Measure::SlotOnly);
}

BENCHMARK(BM_CallToOneClient)->Iterations(kCalls)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallToLastOf32Clients)
    ->Iterations(kCalls)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SlotWith32Clients)->Iterations(kCalls)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
