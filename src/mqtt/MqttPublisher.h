#pragma once
// MqttPublisher: publishes every completed call to an MQTT broker (MQTT 3.1.1 over
// libmosquitto), with Home Assistant discovery.
//
// Topics, below <base> = <TopicPrefix>/<node> (see MqttNames.h):
//   <base>/status       "online" (retained) once connected; "offline" (retained) as the
//                       will, and published by Stop().
//   <base>/call         one JSON object per completed call (MqttJson.h), QoS 1.
//   <base>/call/update  the same object again when the reverse lookup names the call
//                       later, with the new "name", QoS 1.
//   <base>/last_call    the last object of either kind, retained, QoS 1.
// On every connect the discovery documents (MqttDiscovery.h, when Discovery is on),
// then "online", then every waiting call go out.
//
// Runs on the thread that owns it, from the Qt event loop: the client's socket is
// watched with QSocketNotifier (write only while the library has bytes to send), a
// timer calls the library's housekeeping about once a second; no thread of its own.
// Publish and PublishUpdate return at once and never throw: a call is queued in an
// MqttOutbox (at most the last 1000 calls) and leaves it only when the broker has
// acknowledged it, so calls that complete while the broker is away, or that were in
// flight when the connection broke, go out in order after the reconnect (at least
// once: one whose acknowledgement was lost may arrive twice).
//
// Connecting: a host name is looked up without blocking; connect attempts are
// retried after timings.firstRetry, doubling up to timings.maxRetry (1 s to 60 s). A
// broker that does not answer a connect within timings.connectTimeout counts as a
// failed attempt. Each new problem (unreachable broker, refused login, unreadable CA
// file, TLS failure, lost connection) is one log line naming the setting to check, and
// so is each connection; the same problem again is not logged. Once a connection has
// lasted timings.steadyAfter (10 s) the retry delay starts over and every problem may be
// logged anew; a connection that breaks before that (another client with the same
// ClientId, a broker that drops it at once) neither resets the delay nor logs its
// "connected" line again. Publishing never blocks the program or stops the xAP
// announcements.
//
// Stop() publishes "offline", waits until the broker has acknowledged it and every
// call in flight (at most timings.stopWait, 1 s), then disconnects. The destructor
// calls Stop(). Start() after Stop() connects anew; calls still waiting are kept.
//
// libmosquitto writes to its socket with write(): Start() sets SIGPIPE to be ignored
// when it has its default action, so a broker that goes away cannot end the program.
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <string>

#include "common/CompletedCall.h"
#include "mqtt/MqttConfig.h"
#include "mqtt/MqttNames.h"
#include "mqtt/MqttOutbox.h"

class QHostInfo;
class QSocketNotifier;
struct mosquitto;

struct MqttTimings {
  std::chrono::milliseconds firstRetry{1000};
  std::chrono::milliseconds maxRetry{60000};
  std::chrono::milliseconds misc{1000};             // library housekeeping (keep-alive)
  std::chrono::milliseconds connectTimeout{15000};  // no answer to a connect by then: retry
  std::chrono::milliseconds stopWait{1000};         // Stop() waits at most this long
  std::chrono::milliseconds steadyAfter{10000};     // a connection this old counts as steady
  int keepAliveSeconds = 60;
  std::size_t outboxCalls = 1000;
};

class MqttPublisher : public QObject {
  Q_OBJECT
 public:
  using Log = std::function<void(const std::string& line)>;

  // xapNode and hostName give the node name (MqttNodeName); version is the program's
  // version for the discovery documents; log receives one line per event (may be empty).
  MqttPublisher(MqttConfig config, const std::string& xapNode, const std::string& hostName,
                std::string version, Log log, MqttTimings timings = {}, QObject* parent = nullptr);
  ~MqttPublisher() override;

  // Starts connecting; does nothing when Host is empty or when already started.
  void Start();
  // Publishes "offline", disconnects (waiting at most timings.stopWait) and stays off.
  void Stop();

  // For status pages: "off", "connecting", "connected to <host>:<port>" or
  // "refused: <reason>".
  std::string State() const { return state_; }
  bool Connected() const { return connected_; }
  const MqttTopics& Topics() const { return topics_; }
  const std::string& Node() const { return node_; }
  const MqttConfig& Config() const { return config_; }
  // Calls not yet acknowledged by the broker.
  std::size_t WaitingCalls() const { return outbox_.Calls(); }

 public slots:
  // To be connected to CallEvents::callCompleted and CallEvents::callUpdated.
  void Publish(const CompletedCall& call);
  void PublishUpdate(const CompletedCall& call);

 signals:
  void stateChanged(const QString& state);

 private:
  static void OnConnectCallback(mosquitto* mosq, void* self, int rc);
  static void OnDisconnectCallback(mosquitto* mosq, void* self, int rc);
  static void OnPublishCallback(mosquitto* mosq, void* self, int mid);

  void Queue(const CompletedCall& call, bool update);
  void Attempt();
  void OnHostFound(const QHostInfo& info);
  void Connect(const std::string& address);
  void OnSocket(bool writable);
  void OnMisc();
  void OnConnectTimeout();
  void OnSteady();
  // Looks at what the library reported during the last call into it.
  void AfterLibraryCall(int rc);
  void OnConnack(int rc);
  void Fail(const std::string& state, const std::string& problem);
  void FailTls();
  void CloseClient();
  void ScheduleRetry();
  void UpdateWriteWatch();
  void SendWaiting();
  int PublishRaw(const std::string& topic, const std::string& payload, bool retain);
  void SetState(const std::string& state);
  void Report(const std::string& problem);
  std::string Where() const;

  MqttConfig config_;
  std::string node_;
  std::string clientId_;
  std::string version_;
  Log log_;
  MqttTimings timings_;
  MqttTopics topics_;
  MqttOutbox outbox_;

  mosquitto* mosq_ = nullptr;
  QSocketNotifier* readWatch_ = nullptr;
  QSocketNotifier* writeWatch_ = nullptr;
  QTimer retryTimer_;
  QTimer miscTimer_;
  QTimer connectTimer_;
  QTimer steadyTimer_;
  std::chrono::milliseconds backoff_;
  int lookupId_ = -1;
  bool started_ = false;
  bool connected_ = false;
  bool tls_ = false;
  std::string password_;
  std::string state_ = "off";
  std::string lastProblem_;
  // Set by the library's callbacks, acted on once the library call has returned.
  int connackRc_ = -1;
  bool lost_ = false;
  int lostRc_ = 0;
  int stopMid_ = 0;
  bool stopAcked_ = false;
  std::size_t droppedCalls_ = 0;
  int flaps_ = 0;  // connections in a row that broke before they were steady
};
