// MQTT output on this machine: a real mosquitto broker on a free loopback port, the
// publisher on the Qt event loop and one QoS 1 subscriber on its own thread.
//  1. latency: from Publish() of a call to its arrival at the subscriber, one call at a
//     time, median and 99th percentile over 2000 calls;
//  2. throughput: calls per second sustained with no loss and no reordering at the
//     subscriber, keeping at most 200 calls unacknowledged at the publisher.
//   mqtt_bench [calls for latency = 2000] [calls for throughput = 20000]
#include <mosquitto.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "MqttRig.h"
#include "mqtt/MqttPublisher.h"

namespace {
using Clock = std::chrono::steady_clock;

// Records when each call (by its number) arrives, and whether they came in order.
class TimedSubscriber {
 public:
  TimedSubscriber(quint16 port, const std::string& topic, std::size_t calls)
      : topic_(topic), arrivals_(calls) {
    mosq_ = mosquitto_new(nullptr, true, this);
    mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int) {
      mosquitto_subscribe(m, nullptr, static_cast<TimedSubscriber*>(self)->topic_.c_str(), 1);
    });
    mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
      static_cast<TimedSubscriber*>(self)->subscribed_ = true;
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
      static_cast<TimedSubscriber*>(self)->Arrived(m);
    });
    mosquitto_connect(mosq_, "127.0.0.1", port, 60);
    mosquitto_loop_start(mosq_);
  }
  ~TimedSubscriber() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, true);
    mosquitto_destroy(mosq_);
  }
  bool Subscribed() const { return subscribed_; }
  std::size_t Count() const { return count_; }
  bool InOrder() const { return inOrder_; }
  Clock::time_point At(std::size_t i) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return arrivals_[i];
  }

 private:
  void Arrived(const mosquitto_message* m) {
    const auto now = Clock::now();
    // The number is "9" followed by the call's index: find it in the JSON.
    const std::string payload(static_cast<const char*>(m->payload),
                              static_cast<std::size_t>(m->payloadlen));
    const std::size_t at = payload.find("\"number\":\"9");
    if (at == std::string::npos) return;
    const std::size_t index = std::stoul(payload.substr(at + 11));
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < arrivals_.size()) arrivals_[index] = now;
    if (index != expected_) inOrder_ = false;
    expected_ = index + 1;
    ++count_;
    // Wakes the main thread, which sleeps in its event loop.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
  }

  std::string topic_;
  mosquitto* mosq_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<Clock::time_point> arrivals_;
  std::size_t expected_ = 0;
  std::atomic<std::size_t> count_{0};
  std::atomic<bool> inOrder_{true};
  std::atomic<bool> subscribed_{false};
};

CompletedCall Call(std::size_t index) {
  CompletedCall c;
  c.time = std::chrono::system_clock::now();
  c.number = "9" + std::to_string(index);
  c.displayNumber = c.number;
  c.callerIdName = "BENCH CALLER";
  c.name = "Bench Caller";
  c.namedBy = NamedBy::Phonebook;
  c.sourceDetail = "/dev/ttyACM0";
  return c;
}

// Runs the event loop until pred() holds, sleeping until the next event (a socket of the
// publisher, or an arrival posted by the subscriber).
template <typename Pred>
bool Spin(Pred pred, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  QTimer tick;  // makes sure the loop looks at the clock now and then
  tick.start(10);
  while (!pred()) {
    if (Clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

double Micro(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::size_t latencyCalls = argc > 1 ? std::stoul(argv[1]) : 2000;
  const std::size_t throughputCalls = argc > 2 ? std::stoul(argv[2]) : 20000;
  mosquitto_lib_init();

  mqtttest::Broker broker;
  if (!broker.Start()) {
    std::fprintf(stderr, "mosquitto did not start\n");
    return 1;
  }
  MqttConfig config;
  config.host = "127.0.0.1";
  config.port = broker.Port();
  MqttPublisher publisher(config, "bench", "benchhost", "bench", {});
  publisher.Start();
  if (!Spin([&] { return publisher.Connected(); }, 5000)) {
    std::fprintf(stderr, "no connection: %s\n", publisher.State().c_str());
    return 1;
  }
  const std::string topic = publisher.Topics().call;

  // 1. Latency, one call at a time.
  {
    TimedSubscriber sub(broker.Port(), topic, latencyCalls);
    if (!Spin([&] { return sub.Subscribed(); }, 5000)) return 1;
    std::vector<double> micros;
    for (std::size_t i = 0; i < latencyCalls; ++i) {
      const auto t0 = Clock::now();
      publisher.Publish(Call(i));
      if (!Spin([&] { return sub.Count() > i; }, 5000)) {
        std::fprintf(stderr, "call %zu did not arrive\n", i);
        return 1;
      }
      micros.push_back(Micro(sub.At(i) - t0));
    }
    Spin([&] { return publisher.WaitingCalls() == 0; }, 5000);
    std::sort(micros.begin(), micros.end());
    const double median = micros[micros.size() / 2];
    const double p99 = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    std::printf("publish->arrival over %zu calls: median %.1f us, p99 %.1f us, max %.1f us\n",
                latencyCalls, median, p99, micros.back());
  }

  // 2. Sustained throughput with no loss.
  {
    TimedSubscriber sub(broker.Port(), topic, throughputCalls);
    if (!Spin([&] { return sub.Subscribed(); }, 5000)) return 1;
    const auto t0 = Clock::now();
    for (std::size_t i = 0; i < throughputCalls; ++i) {
      if (publisher.WaitingCalls() >= 200)
        Spin([&] { return publisher.WaitingCalls() < 200; }, 10000);
      publisher.Publish(Call(i));
    }
    const bool all = Spin([&] { return sub.Count() >= throughputCalls; }, 30000);
    const auto t1 = sub.At(throughputCalls - 1);
    const double seconds = std::chrono::duration<double>(t1 - t0).count();
    std::printf("sustained QoS 1: %zu calls in %.3f s = %.0f calls/s; arrived %zu, %s, %s\n",
                throughputCalls, seconds, throughputCalls / seconds, sub.Count(),
                all ? "none lost" : "SOME LOST", sub.InOrder() ? "in order" : "OUT OF ORDER");
    if (!all || !sub.InOrder()) return 1;
  }
  publisher.Stop();
  return 0;
}
