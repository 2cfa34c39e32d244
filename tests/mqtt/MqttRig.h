#pragma once
// Helpers for the MQTT tests: a real mosquitto broker on a free loopback port, started
// and stopped by the test, and a subscriber (libmosquitto on its own thread, test side
// only) that records every message it receives.
#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace mqtttest {

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::size_t CountOf(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Runs the Qt event loop until pred() holds or timeoutMs passes; returns pred(). Sleeps
// in the event loop between looks, so a waiting test costs no CPU.
inline bool Wait(const std::function<bool()>& pred, int timeoutMs = 5000) {
  QElapsedTimer t;
  t.start();
  while (!pred() && t.elapsed() < timeoutMs) {
    QEventLoop loop;
    QTimer::singleShot(2, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return pred();
}

inline void Pause(int ms) {
  Wait([] { return false; }, ms);
}

// A TCP port on 127.0.0.1 that was free a moment ago.
inline quint16 FreeTcpPort() {
  QTcpServer s;
  s.listen(QHostAddress(QHostAddress::LocalHost), 0);
  return s.serverPort();
}

// True once something accepts TCP connections on 127.0.0.1:port. Does not run the Qt
// event loop, so the program under test stands still meanwhile.
inline bool WaitPortOpen(quint16 port, int timeoutMs = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    if (ok) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// mosquitto on 127.0.0.1 at a free port, with its config and log in a private folder.
class Broker {
 public:
  // extraConfig is appended to the listener lines (e.g. password_file ...).
  explicit Broker(std::string extraConfig = "allow_anonymous true\n")
      : extra_(std::move(extraConfig)), port_(FreeTcpPort()) {}
  ~Broker() { Kill(); }

  std::string Path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }
  quint16 Port() const { return port_; }
  std::string Log() const { return ReadFile(Path("broker.log")); }

  bool Start() {
    WriteFile(Path("mosquitto.conf"), "listener " + std::to_string(port_) + " 127.0.0.1\n" +
                                          "user root\npersistence false\nlog_dest file " +
                                          Path("broker.log") + "\nlog_type all\n" + extra_);
    process_.setProgram(QStringLiteral("mosquitto"));
    process_.setArguments({"-c", QString::fromStdString(Path("mosquitto.conf"))});
    process_.setStandardOutputFile(QString::fromStdString(Path("broker.out")));
    process_.setStandardErrorFile(QString::fromStdString(Path("broker.out")), QIODevice::Append);
    process_.start();
    if (!process_.waitForStarted(5000)) return false;
    return WaitPortOpen(port_);
  }
  // Orderly end (SIGTERM).
  void Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) Kill();
  }
  void Kill() {
    if (process_.state() == QProcess::NotRunning) return;
    ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
    process_.waitForFinished(5000);
  }
  void Signal(int sig) {
    if (process_.state() != QProcess::NotRunning)
      ::kill(static_cast<pid_t>(process_.processId()), sig);
  }
  void ReplaceExtraConfig(std::string extra) { extra_ = std::move(extra); }

 private:
  QTemporaryDir dir_;
  std::string extra_;
  quint16 port_;
  QProcess process_;
};

struct Received {
  std::string topic;
  std::string payload;
  bool retained = false;
};

// Subscribes to one topic filter at QoS 1 and keeps every message in arrival order.
class Subscriber {
 public:
  Subscriber(quint16 port, std::string filter) : filter_(std::move(filter)) {
    mosquitto_lib_init();
    mosq_ = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int rc) {
      if (rc == 0)
        mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(self)->filter_.c_str(), 1);
    });
    mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
      auto* s = static_cast<Subscriber*>(self);
      std::lock_guard<std::mutex> lock(s->mutex_);
      s->subscribed_ = true;
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
      auto* s = static_cast<Subscriber*>(self);
      std::lock_guard<std::mutex> lock(s->mutex_);
      s->messages_.push_back({m->topic,
                              std::string(static_cast<const char*>(m->payload),
                                          static_cast<std::size_t>(m->payloadlen)),
                              m->retain});
    });
    if (mosquitto_connect(mosq_, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS)
      mosquitto_loop_start(mosq_);
  }
  ~Subscriber() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, true);
    mosquitto_destroy(mosq_);
  }
  // Blocks (without the Qt event loop) until the broker has confirmed the subscription.
  bool WaitSubscribed(int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (subscribed_) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }
  std::vector<Received> Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  std::vector<Received> On(const std::string& topic) const {
    std::vector<Received> out;
    for (const Received& r : Messages())
      if (r.topic == topic) out.push_back(r);
    return out;
  }
  std::size_t Count(const std::string& topic) const { return On(topic).size(); }
  // Runs the Qt event loop until `count` messages arrived on topic.
  bool WaitCount(const std::string& topic, std::size_t count, int timeoutMs = 5000) const {
    return Wait([&] { return Count(topic) >= count; }, timeoutMs);
  }

 private:
  std::string filter_;
  mosquitto* mosq_ = nullptr;
  mutable std::mutex mutex_;
  bool subscribed_ = false;
  std::vector<Received> messages_;
};

}  // namespace mqtttest
