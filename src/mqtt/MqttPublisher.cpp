#include "mqtt/MqttPublisher.h"

#include <poll.h>
#include <signal.h>

#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "mqtt/MosquittoLibrary.h"
#include "mqtt/MqttDiscovery.h"
#include "mqtt/MqttJson.h"

namespace {

// The loaded library: Start() loads it before any other use.
const MosquittoLibrary& Mosq() {
  std::string unused;
  return *LoadMosquitto(unused);
}

// libmosquitto writes with write(): a peer that closed the connection must give EPIPE,
// not end the program.
void IgnoreSigpipe() {
  struct sigaction current {};
  if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
    signal(SIGPIPE, SIG_IGN);
}

std::string ErrorText(int rc, int savedErrno) {
  if (rc == MOSQ_ERR_ERRNO) return std::strerror(savedErrno);
  std::string text = Mosq().strerror(rc);
  while (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

// CONNACK return codes of MQTT 3.1.1, with the setting a person should check.
std::string RefusalReason(int rc, std::string& hint) {
  switch (rc) {
    case 1:
      return "unacceptable protocol version";
    case 2:
      hint = "ClientId";
      return "client id rejected";
    case 3:
      return "server unavailable";
    case 4:
      hint = "User and Password";
      return "bad user name or password";
    case 5:
      hint = "User and Password";
      return "not authorised";
    default:
      return "code " + std::to_string(rc);
  }
}

QString Text(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

MqttPublisher::MqttPublisher(MqttConfig config, const std::string& xapNode,
                             const std::string& hostName, std::string version, Log log,
                             MqttTimings timings, QObject* parent)
    : QObject(parent),
      config_(std::move(config)),
      node_(MqttNodeName(xapNode, hostName)),
      version_(std::move(version)),
      log_(std::move(log)),
      timings_(timings),
      topics_(MakeMqttTopics(TextToUtf8(config_.topicPrefix), node_)),
      outbox_(timings.outboxCalls),
      backoff_(timings.firstRetry) {
  clientId_ = config_.clientId.empty() ? MqttDefaultClientId(hostName, node_)
                                       : TextToUtf8(config_.clientId);
  tls_ = !config_.caFile.empty();
  retryTimer_.setSingleShot(true);
  connectTimer_.setSingleShot(true);
  steadyTimer_.setSingleShot(true);
  connect(&retryTimer_, &QTimer::timeout, this, &MqttPublisher::Attempt);
  connect(&miscTimer_, &QTimer::timeout, this, &MqttPublisher::OnMisc);
  connect(&connectTimer_, &QTimer::timeout, this, &MqttPublisher::OnConnectTimeout);
  connect(&steadyTimer_, &QTimer::timeout, this, &MqttPublisher::OnSteady);
}

MqttPublisher::~MqttPublisher() {
  Stop();
  CloseClient();
}

void MqttPublisher::Start() {
  if (started_ || !config_.Enabled()) return;
  std::string why;
  if (!LoadMosquitto(why)) {
    Report("cannot load the MQTT library (" + why +
           "); no MQTT (install libmosquitto1, or leave [MQTT] Host empty)");
    SetState("refused: MQTT library missing");
    return;
  }
  IgnoreSigpipe();
  if (Mosq().pub_topic_check(topics_.call.c_str()) != MOSQ_ERR_SUCCESS) {
    Report("TopicPrefix \"" + config_.topicPrefix +
           "\" cannot be used in a topic (\"+\" and \"#\" are not allowed; check [MQTT] "
           "TopicPrefix)");
    SetState("refused: TopicPrefix cannot be used");
    return;
  }
  if (config_.discovery &&
      Mosq().pub_topic_check(TextToUtf8(config_.discoveryPrefix).c_str()) != MOSQ_ERR_SUCCESS) {
    Report("DiscoveryPrefix \"" + config_.discoveryPrefix +
           "\" cannot be used in a topic; no discovery (check [MQTT] DiscoveryPrefix)");
    config_.discovery = false;
  }
  password_ = config_.password;
  if (!config_.passwordFile.empty()) {
    const PasswordFileResult r = ReadPasswordFile(config_.passwordFile);
    if (r.ok)
      password_ = r.password;
    else
      Report("cannot read the password file " + config_.passwordFile +
             " ([MQTT] PasswordFile): " + r.error);
  }
  started_ = true;
  backoff_ = timings_.firstRetry;
  flaps_ = 0;
  miscTimer_.start(timings_.misc);
  SetState("connecting");
  Attempt();
}

void MqttPublisher::Stop() {
  if (!started_) return;
  started_ = false;
  retryTimer_.stop();
  miscTimer_.stop();
  connectTimer_.stop();
  if (lookupId_ >= 0) {
    QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
  }
  if (mosq_ && connected_) {
    // "offline" first, then a bounded wait for it and for every call in flight.
    stopAcked_ = false;
    int mid = 0;
    if (Mosq().publish(mosq_, &mid, topics_.status.c_str(), 7, "offline", 1, true) ==
        MOSQ_ERR_SUCCESS)
      stopMid_ = mid;
    const auto deadline = std::chrono::steady_clock::now() + timings_.stopWait;
    while (!lost_ && ((stopMid_ && !stopAcked_) || !outbox_.Empty())) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      const int fd = Mosq().socket(mosq_);
      if (fd < 0) break;
      pollfd p{fd, static_cast<short>(POLLIN | (Mosq().want_write(mosq_) ? POLLOUT : 0)), 0};
      const int n = poll(&p, 1, static_cast<int>(left.count()));
      if (n < 0 && errno != EINTR) break;
      if (n <= 0) continue;
      int rc = MOSQ_ERR_SUCCESS;
      if (tls_) {
        rc = Mosq().loop(mosq_, 0, 1);
      } else {
        if (p.revents & POLLOUT) rc = Mosq().loop_write(mosq_, 1);
        if (rc == MOSQ_ERR_SUCCESS && (p.revents & (POLLIN | POLLHUP | POLLERR)))
          rc = Mosq().loop_read(mosq_, 1);
      }
      if (rc != MOSQ_ERR_SUCCESS) break;
    }
    if (!lost_) Mosq().disconnect(mosq_);
    if (log_) log_("MQTT: disconnected from " + Where());
  }
  CloseClient();
  SetState("off");
}

void MqttPublisher::Publish(const CompletedCall& call) { Queue(call, false); }

void MqttPublisher::PublishUpdate(const CompletedCall& call) { Queue(call, true); }

void MqttPublisher::Queue(const CompletedCall& call, bool update) {
  if (!config_.Enabled()) return;
  try {
    const std::string json = MqttCallJson(call, LocalIsoTime(call.time), update);
    std::vector<MqttOutbox::Message> messages;
    messages.push_back({update ? topics_.callUpdate : topics_.call, json, false});
    messages.push_back({topics_.lastCall, json, true});
    const std::size_t dropped = outbox_.Add(std::move(messages));
    if (dropped) {
      if (droppedCalls_ == 0 && log_)
        log_("MQTT: more than " + std::to_string(outbox_.Capacity()) +
             " calls wait for the broker; the oldest are dropped");
      droppedCalls_ += dropped;
    }
    SendWaiting();
  } catch (...) {
    // A slot must not throw; a call that cannot even be queued is left out.
  }
}

void MqttPublisher::Attempt() {
  retryTimer_.stop();
  if (!started_ || mosq_ || lookupId_ >= 0) return;
  QHostAddress literal;
  if (tls_ || literal.setAddress(QString::fromStdString(config_.host))) {
    // TLS checks the certificate against the name, so libmosquitto gets the name itself.
    Connect(config_.host);
    return;
  }
  lookupId_ = QHostInfo::lookupHost(Text(config_.host), this, &MqttPublisher::OnHostFound);
}

void MqttPublisher::OnHostFound(const QHostInfo& info) {
  lookupId_ = -1;
  if (!started_ || mosq_) return;
  if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
    Fail("connecting", "cannot find the broker host \"" + config_.host +
                           "\" ([MQTT] Host): " + info.errorString().toStdString());
    return;
  }
  // Brokers often listen on IPv4 only, while "localhost" lists ::1 first.
  QHostAddress address = info.addresses().first();
  for (const QHostAddress& a : info.addresses())
    if (a.protocol() == QAbstractSocket::IPv4Protocol) {
      address = a;
      break;
    }
  Connect(address.toString().toStdString());
}

void MqttPublisher::Connect(const std::string& address) {
  mosq_ = Mosq().new_client(clientId_.c_str(), true, this);
  if (!mosq_) {
    Fail("connecting", std::string("cannot create the MQTT client: ") + std::strerror(errno));
    return;
  }
  connackRc_ = -1;
  lost_ = false;
  stopMid_ = 0;
  Mosq().int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  Mosq().int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
  Mosq().max_inflight_messages_set(mosq_, 100);
  Mosq().connect_callback_set(mosq_, &MqttPublisher::OnConnectCallback);
  Mosq().disconnect_callback_set(mosq_, &MqttPublisher::OnDisconnectCallback);
  Mosq().publish_callback_set(mosq_, &MqttPublisher::OnPublishCallback);
  if (!config_.user.empty())
    Mosq().username_pw_set(mosq_, config_.user.c_str(),
                              password_.empty() ? nullptr : password_.c_str());
  Mosq().will_set(mosq_, topics_.status.c_str(), 7, "offline", 1, true);
  if (tls_) {
    const int rc =
        Mosq().tls_set(mosq_, config_.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
      Fail("refused: CA file cannot be read",
           "the CA file " + config_.caFile + " ([MQTT] CAFile) cannot be read");
      return;
    }
  }
  errno = 0;
  const int rc =
      Mosq().connect_async(mosq_, address.c_str(), config_.port, timings_.keepAliveSeconds);
  const int savedErrno = errno;
  if (rc == MOSQ_ERR_TLS) {
    FailTls();
    return;
  }
  if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_CONN_PENDING) {
    Fail("connecting", "cannot reach " + Where() + ": " + ErrorText(rc, savedErrno));
    return;
  }
  const int fd = Mosq().socket(mosq_);
  if (fd < 0) {
    Fail("connecting", "cannot reach " + Where());
    return;
  }
  readWatch_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  writeWatch_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
  connect(readWatch_, &QSocketNotifier::activated, this, [this] { OnSocket(false); });
  connect(writeWatch_, &QSocketNotifier::activated, this, [this] { OnSocket(true); });
  connectTimer_.start(timings_.connectTimeout);
  AfterLibraryCall(MOSQ_ERR_SUCCESS);
}

void MqttPublisher::OnSocket(bool writable) {
  if (!mosq_) return;
  errno = 0;
  int rc;
  if (tls_)
    rc = Mosq().loop(mosq_, 0, 1);  // also drives the TLS handshake
  else
    rc = writable ? Mosq().loop_write(mosq_, 1) : Mosq().loop_read(mosq_, 1);
  AfterLibraryCall(rc);
}

void MqttPublisher::OnMisc() {
  if (!mosq_) return;
  errno = 0;
  AfterLibraryCall(Mosq().loop_misc(mosq_));
}

void MqttPublisher::OnConnectTimeout() {
  if (!mosq_ || connected_) return;
  Fail("connecting", "no answer from " + Where() + " within " +
                         std::to_string(timings_.connectTimeout.count()) + " ms");
}

void MqttPublisher::AfterLibraryCall(int rc) {
  const int savedErrno = errno;
  if (!mosq_) return;
  if (connackRc_ >= 0) {
    const int code = connackRc_;
    connackRc_ = -1;
    OnConnack(code);
    if (!mosq_) return;
  }
  if (lost_ || (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_CONN_PENDING)) {
    const int why = rc != MOSQ_ERR_SUCCESS ? rc : lostRc_;
    if (why == MOSQ_ERR_TLS) {
      FailTls();
      return;
    }
    const std::string reason = why ? ErrorText(why, savedErrno) : "closed by the broker";
    Fail("connecting",
         (connected_ ? "connection to " + Where() + " lost: " : "cannot reach " + Where() + ": ") +
             reason);
    return;
  }
  UpdateWriteWatch();
}

void MqttPublisher::OnConnack(int rc) {
  if (rc != 0) {
    std::string hint;
    const std::string reason = RefusalReason(rc, hint);
    Fail("refused: " + reason, Where() + " refused the connection: " + reason +
                                   (hint.empty() ? "" : " (check [MQTT] " + hint + ")"));
    return;
  }
  connectTimer_.stop();
  connected_ = true;
  droppedCalls_ = 0;
  // A connection that breaks again soon (e.g. another client with the same id takes it
  // over) is neither logged again nor allowed to reset the retry delay.
  steadyTimer_.start(timings_.steadyAfter);
  if (flaps_ == 0 && log_) log_("MQTT: connected to " + Where());
  SetState("connected to " + Where());
  if (config_.discovery)
    for (const MqttMessage& m :
         MqttDiscoveryMessages(TextToUtf8(config_.discoveryPrefix), topics_, node_, version_))
      PublishRaw(m.topic, m.payload, true);
  PublishRaw(topics_.status, "online", true);
  SendWaiting();
}

void MqttPublisher::OnSteady() {
  if (!connected_) return;
  if (flaps_ > 0 && log_) log_("MQTT: connected to " + Where() + ", steady again");
  flaps_ = 0;
  backoff_ = timings_.firstRetry;
  lastProblem_.clear();
}

void MqttPublisher::SendWaiting() {
  if (!mosq_ || !connected_) return;
  outbox_.SendDue([this](const MqttOutbox::Message& m) {
    return lost_ ? 0 : PublishRaw(m.topic, m.payload, m.retain);
  });
  AfterLibraryCall(MOSQ_ERR_SUCCESS);
}

int MqttPublisher::PublishRaw(const std::string& topic, const std::string& payload, bool retain) {
  int mid = 0;
  const int rc = Mosq().publish(mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                   payload.data(), 1, retain);
  if (rc != MOSQ_ERR_SUCCESS) {
    lost_ = true;
    lostRc_ = rc;
    return 0;
  }
  return mid;
}

void MqttPublisher::Fail(const std::string& state, const std::string& problem) {
  CloseClient();
  if (!problem.empty()) Report(problem + "; trying again");
  SetState(started_ ? state : "off");
  ScheduleRetry();
}

// The handshake may fail inside the connect or later on the socket: one text for both.
void MqttPublisher::FailTls() {
  Fail("refused: TLS failed",
       "TLS with " + Where() + " failed (check [MQTT] CAFile " + config_.caFile + ")");
}

void MqttPublisher::CloseClient() {
  connectTimer_.stop();
  if (connected_ && steadyTimer_.isActive()) ++flaps_;
  steadyTimer_.stop();
  for (QSocketNotifier** watch : {&readWatch_, &writeWatch_}) {
    if (!*watch) continue;
    // It may be the notifier whose signal is running now.
    (*watch)->setEnabled(false);
    (*watch)->deleteLater();
    *watch = nullptr;
  }
  if (mosq_) {
    Mosq().destroy(mosq_);
    mosq_ = nullptr;
  }
  connected_ = false;
  connackRc_ = -1;
  lost_ = false;
  lostRc_ = 0;
  stopMid_ = 0;
  outbox_.Requeue();
}

void MqttPublisher::ScheduleRetry() {
  if (!started_) return;
  retryTimer_.start(backoff_);
  backoff_ = std::min(backoff_ * 2, timings_.maxRetry);
}

void MqttPublisher::UpdateWriteWatch() {
  if (writeWatch_) writeWatch_->setEnabled(mosq_ && Mosq().want_write(mosq_));
}

void MqttPublisher::SetState(const std::string& state) {
  if (state == state_) return;
  state_ = state;
  emit stateChanged(Text(state_));
}

void MqttPublisher::Report(const std::string& problem) {
  if (problem == lastProblem_) return;
  lastProblem_ = problem;
  if (log_) log_("MQTT: " + problem);
}

std::string MqttPublisher::Where() const {
  const bool v6 = config_.host.find(':') != std::string::npos;
  return (v6 ? "[" + config_.host + "]" : config_.host) + ":" + std::to_string(config_.port);
}

void MqttPublisher::OnConnectCallback(mosquitto*, void* self, int rc) {
  static_cast<MqttPublisher*>(self)->connackRc_ = rc;
}

void MqttPublisher::OnDisconnectCallback(mosquitto*, void* self, int rc) {
  auto* p = static_cast<MqttPublisher*>(self);
  p->lost_ = true;
  p->lostRc_ = rc;
}

void MqttPublisher::OnPublishCallback(mosquitto*, void* self, int mid) {
  auto* p = static_cast<MqttPublisher*>(self);
  if (p->stopMid_ && mid == p->stopMid_)
    p->stopAcked_ = true;
  else
    p->outbox_.Acknowledge(mid);
}
