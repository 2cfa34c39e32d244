// MqttPublisher against a real mosquitto broker that each test starts on a free loopback
// port: discovery, calls and updates, the retained last call, "offline" from Stop() and
// from the will of a killed process, a broker restart in the middle of calls, refused
// logins, password files and TLS.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>
#include <string>
#include <vector>

#include "MqttRig.h"
#include "mqtt/MqttPublisher.h"

using namespace mqtttest;
using namespace std::chrono_literals;

namespace {

QJsonObject Json(const std::string& text) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

CompletedCall Call(int id) {
  CompletedCall c;
  c.time = std::chrono::system_clock::now();
  c.number = "55500" + std::to_string(id);
  c.displayNumber = "(555)00" + std::to_string(id);
  c.callerIdName = "CALLER " + std::to_string(id);
  c.name = "Caller " + std::to_string(id);
  c.namedBy = NamedBy::CallerId;
  c.source = CallSource::Serial;
  c.sourceDetail = "/dev/pts/9";
  return c;
}

std::vector<std::string> Numbers(const std::vector<Received>& messages) {
  std::vector<std::string> out;
  for (const Received& r : messages)
    out.push_back(Json(r.payload)["number"].toString().toStdString());
  return out;
}

bool RunTool(const QString& program, const QStringList& args) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, args);
  if (!p.waitForStarted(5000) || !p.waitForFinished(30000)) return false;
  return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

class MqttBrokerTest : public ::testing::Test {
 protected:
  static MqttTimings Fast() {
    MqttTimings t;
    t.firstRetry = 20ms;
    t.maxRetry = 160ms;
    t.misc = 100ms;
    t.connectTimeout = 3000ms;
    t.stopWait = 1000ms;
    t.steadyAfter = 50ms;
    return t;
  }

  std::unique_ptr<MqttPublisher> MakePublisher(quint16 port, MqttConfig config = {}) {
    if (config.host.empty()) config.host = "127.0.0.1";
    config.port = port;
    return std::make_unique<MqttPublisher>(
        config, "Kitchen", "testhost", "9.9",
        [this](const std::string& line) { logLines.push_back(line); }, Fast());
  }

  std::size_t LogLinesWith(const std::string& text) const {
    std::size_t n = 0;
    for (const std::string& line : logLines) n += line.find(text) != std::string::npos;
    return n;
  }
  std::string AllLog() const {
    std::string all;
    for (const std::string& line : logLines) all += line + "\n";
    return all;
  }

  const std::string base = "xapvyncid/kitchen";
  std::vector<std::string> logLines;
};

// ---- Connecting, discovery and calls ---------------------------------------------

TEST_F(MqttBrokerTest, DiscoveryDocumentsAndOnlineAreRetainedOnConnect) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  auto publisher = MakePublisher(broker.Port());
  publisher->Start();
  ASSERT_TRUE(Wait([&] { return publisher->Connected(); })) << AllLog();
  EXPECT_EQ(publisher->State(), "connected to 127.0.0.1:" + std::to_string(broker.Port()));
  EXPECT_EQ(LogLinesWith("MQTT: connected to 127.0.0.1:"), 1u);

  // A subscriber that comes later still finds everything: all of it is retained.
  Subscriber late(broker.Port(), "#");
  ASSERT_TRUE(late.WaitSubscribed());
  ASSERT_TRUE(Wait([&] { return late.Messages().size() >= 4; }));
  Pause(100);
  const auto messages = late.Messages();
  ASSERT_EQ(messages.size(), 4u);
  for (const Received& r : messages) EXPECT_TRUE(r.retained) << r.topic;

  const auto status = late.On(base + "/status");
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].payload, "online");

  const auto sensor = late.On("homeassistant/sensor/xapvyncid_kitchen/last_caller/config");
  const auto number = late.On("homeassistant/sensor/xapvyncid_kitchen/last_caller_number/config");
  const auto event = late.On("homeassistant/event/xapvyncid_kitchen/incoming_call/config");
  ASSERT_EQ(sensor.size(), 1u);
  ASSERT_EQ(number.size(), 1u);
  ASSERT_EQ(event.size(), 1u);
  const QJsonObject s = Json(sensor[0].payload);
  EXPECT_EQ(s["name"].toString(), "Last caller");
  EXPECT_EQ(s["state_topic"].toString(), QString::fromStdString(base + "/last_call"));
  EXPECT_EQ(s["json_attributes_topic"].toString(), QString::fromStdString(base + "/last_call"));
  EXPECT_EQ(s["availability_topic"].toString(), QString::fromStdString(base + "/status"));
  EXPECT_EQ(s["device"].toObject()["name"].toString(), "xapvynCID kitchen");
  EXPECT_EQ(s["device"].toObject()["sw_version"].toString(), "9.9");
  EXPECT_EQ(Json(number[0].payload)["unique_id"].toString(),
            "xapvyncid_kitchen_last_caller_number");
  const QJsonObject e = Json(event[0].payload);
  EXPECT_EQ(e["state_topic"].toString(), QString::fromStdString(base + "/call"));
  EXPECT_EQ(e["event_types"].toArray(), QJsonArray({"call"}));
}

TEST_F(MqttBrokerTest, DiscoveryOffPublishesNoDocuments) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  MqttConfig config;
  config.discovery = false;
  config.topicPrefix = "home/cid";
  auto publisher = MakePublisher(broker.Port(), config);
  publisher->Start();
  ASSERT_TRUE(Wait([&] { return publisher->Connected(); })) << AllLog();
  Subscriber late(broker.Port(), "#");
  ASSERT_TRUE(late.WaitSubscribed());
  ASSERT_TRUE(late.WaitCount("home/cid/kitchen/status", 1));
  Pause(100);
  EXPECT_EQ(late.Messages().size(), 1u);
}

TEST_F(MqttBrokerTest, ACallAndItsUpdateArriveAndTheLastOneIsRetained) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  auto publisher = MakePublisher(broker.Port());
  publisher->Start();
  ASSERT_TRUE(Wait([&] { return publisher->Connected(); })) << AllLog();
  Subscriber live(broker.Port(), base + "/#");
  ASSERT_TRUE(live.WaitSubscribed());

  CompletedCall call = Call(1);
  call.name = "M\xFCller \"Hans\"";  // Latin-1 and quotes on the wire
  publisher->Publish(call);
  ASSERT_TRUE(live.WaitCount(base + "/call", 1));
  const QJsonObject first = Json(live.On(base + "/call")[0].payload);
  EXPECT_EQ(first["event_type"].toString(), "call");
  EXPECT_EQ(first["number"].toString(), "555001");
  EXPECT_EQ(first["display_number"].toString(), "(555)001");
  EXPECT_EQ(first["name"].toString(), QString::fromUtf8("M\xC3\xBCller \"Hans\""));
  EXPECT_EQ(first["caller_id_name"].toString(), "CALLER 1");
  EXPECT_EQ(first["named_by"].toString(), "caller_id");
  EXPECT_EQ(first["source"].toString(), "serial");
  EXPECT_EQ(first["source_detail"].toString(), "/dev/pts/9");
  EXPECT_FALSE(first["time"].toString().isEmpty());

  CompletedCall update = call;
  update.firstName = call.name;
  update.name = "Hans M\xFCller, Springfield";
  update.namedBy = NamedBy::ReverseLookup;
  publisher->PublishUpdate(update);
  ASSERT_TRUE(live.WaitCount(base + "/call/update", 1));
  const QJsonObject second = Json(live.On(base + "/call/update")[0].payload);
  EXPECT_EQ(second["name"].toString(), QString::fromUtf8("Hans M\xC3\xBCller, Springfield"));
  EXPECT_EQ(second["named_by"].toString(), "reverse_lookup");
  EXPECT_EQ(second["number"].toString(), "555001");
  EXPECT_EQ(second["time"].toString(), first["time"].toString());
  ASSERT_TRUE(live.WaitCount(base + "/last_call", 2));
  EXPECT_EQ(live.Count(base + "/call"), 1u) << "an update is not a new call";

  // Later: only status and last_call are retained, and last_call is the update.
  Subscriber late(broker.Port(), base + "/#");
  ASSERT_TRUE(late.WaitSubscribed());
  ASSERT_TRUE(late.WaitCount(base + "/last_call", 1));
  Pause(100);
  EXPECT_EQ(late.Messages().size(), 2u);
  EXPECT_EQ(late.On(base + "/last_call")[0].payload, live.On(base + "/call/update")[0].payload);
  EXPECT_EQ(publisher->WaitingCalls(), 0u);
}

TEST_F(MqttBrokerTest, AHostNameIsLookedUp) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  MqttConfig config;
  config.host = "localhost";
  auto publisher = MakePublisher(broker.Port(), config);
  publisher->Start();
  EXPECT_TRUE(Wait([&] { return publisher->Connected(); })) << AllLog();
}

// ---- Going offline -------------------------------------------------------------------

TEST_F(MqttBrokerTest, StopDeliversTheCallInFlightThenPublishesOffline) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  auto publisher = MakePublisher(broker.Port());
  publisher->Start();
  ASSERT_TRUE(Wait([&] { return publisher->Connected(); })) << AllLog();
  Subscriber live(broker.Port(), base + "/#");
  ASSERT_TRUE(live.WaitSubscribed());
  ASSERT_TRUE(live.WaitCount(base + "/status", 1));

  publisher->Publish(Call(1));
  QElapsedTimer t;
  t.start();
  publisher->Stop();  // no event loop in between: Stop itself waits for the broker
  EXPECT_LT(t.elapsed(), 3000) << "Stop must not hang";
  EXPECT_EQ(publisher->State(), "off");
  EXPECT_EQ(publisher->WaitingCalls(), 0u);

  ASSERT_TRUE(live.WaitCount(base + "/status", 2));
  EXPECT_EQ(live.On(base + "/status")[1].payload, "offline");
  EXPECT_EQ(live.Count(base + "/call"), 1u);
  Subscriber late(broker.Port(), base + "/status");
  ASSERT_TRUE(late.WaitSubscribed());
  ASSERT_TRUE(late.WaitCount(base + "/status", 1));
  EXPECT_EQ(late.On(base + "/status")[0].payload, "offline");
  EXPECT_TRUE(late.On(base + "/status")[0].retained);
}

TEST_F(MqttBrokerTest, TheWillSaysOfflineWhenTheProcessIsKilled) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber live(broker.Port(), "xapvyncid/doomed/status");
  ASSERT_TRUE(live.WaitSubscribed());

  QProcess helper;
  helper.start(QStringLiteral(MQTT_PUBLISHER_PROCESS),
               {QString::number(broker.Port()), QStringLiteral("Doomed")});
  ASSERT_TRUE(helper.waitForStarted(5000));
  ASSERT_TRUE(live.WaitCount("xapvyncid/doomed/status", 1));
  EXPECT_EQ(live.On("xapvyncid/doomed/status")[0].payload, "online");

  ::kill(static_cast<pid_t>(helper.processId()), SIGKILL);
  ASSERT_TRUE(helper.waitForFinished(5000));
  ASSERT_TRUE(live.WaitCount("xapvyncid/doomed/status", 2));
  EXPECT_EQ(live.On("xapvyncid/doomed/status")[1].payload, "offline");
}

// ---- The broker goes away --------------------------------------------------------------

TEST_F(MqttBrokerTest, BrokerRestartInTheMiddleOfThreeCallsLosesNoneAndKeepsTheOrder) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  auto publisher = MakePublisher(broker.Port());
  publisher->Start();
  ASSERT_TRUE(Wait([&] { return publisher->Connected(); })) << AllLog();
  auto before = std::make_unique<Subscriber>(broker.Port(), base + "/call");
  ASSERT_TRUE(before->WaitSubscribed());

  publisher->Publish(Call(1));
  ASSERT_TRUE(before->WaitCount(base + "/call", 1));

  // Call 2 leaves while the broker is frozen, so it is in flight, unacknowledged, when
  // the broker dies; call 3 completes while the broker is gone.
  broker.Signal(SIGSTOP);
  publisher->Publish(Call(2));
  Pause(100);
  EXPECT_EQ(publisher->WaitingCalls(), 1u);
  broker.Kill();
  ASSERT_TRUE(Wait([&] { return !publisher->Connected(); })) << AllLog();
  publisher->Publish(Call(3));
  Pause(300);  // several failed attempts
  EXPECT_EQ(publisher->WaitingCalls(), 2u);
  EXPECT_EQ(publisher->State(), "connecting");
  const auto beforeRestart = before->Messages();
  before.reset();

  // The new broker gets its subscriber before the publisher (which runs only in the
  // event loop) can come back.
  ASSERT_TRUE(broker.Start());
  Subscriber after(broker.Port(), base + "/call");
  ASSERT_TRUE(after.WaitSubscribed());
  ASSERT_TRUE(after.WaitCount(base + "/call", 2)) << AllLog();
  Pause(100);

  std::vector<Received> all = beforeRestart;
  for (const Received& r : after.Messages()) all.push_back(r);
  EXPECT_EQ(Numbers(all), (std::vector<std::string>{"555001", "555002", "555003"}));
  EXPECT_TRUE(Wait([&] { return publisher->WaitingCalls() == 0; }));
  EXPECT_EQ(LogLinesWith("lost"), 1u) << AllLog();
  EXPECT_LE(LogLinesWith("cannot reach"), 1u) << AllLog();
  EXPECT_EQ(LogLinesWith("MQTT: connected to"), 2u) << AllLog();
}

TEST_F(MqttBrokerTest, CallsWaitWhileNoBrokerRunsAndTheLogSaysSoOnce) {
  Broker broker;  // not started yet
  auto publisher = MakePublisher(broker.Port());
  publisher->Start();
  for (int id = 1; id <= 3; ++id) publisher->Publish(Call(id));
  Pause(500);  // at 20, 40, 80, 160, 160 ms: five attempts or so
  EXPECT_EQ(publisher->State(), "connecting");
  EXPECT_EQ(publisher->WaitingCalls(), 3u);
  EXPECT_EQ(logLines.size(), 1u) << AllLog();
  EXPECT_EQ(LogLinesWith("cannot reach 127.0.0.1:" + std::to_string(broker.Port()) +
                         ": Connection refused"),
            1u)
      << AllLog();

  ASSERT_TRUE(broker.Start());
  Subscriber live(broker.Port(), base + "/call");
  ASSERT_TRUE(live.WaitSubscribed());
  ASSERT_TRUE(live.WaitCount(base + "/call", 3)) << AllLog();
  EXPECT_EQ(Numbers(live.Messages()), (std::vector<std::string>{"555001", "555002", "555003"}));
}

TEST_F(MqttBrokerTest, OnlyTheNewestCallsWaitBeyondTheBound) {
  Broker broker;  // not started yet
  MqttTimings timings = Fast();
  timings.outboxCalls = 3;
  MqttConfig config;
  config.host = "127.0.0.1";
  config.port = broker.Port();
  MqttPublisher publisher(
      config, "Kitchen", "testhost", "9.9",
      [this](const std::string& line) { logLines.push_back(line); }, timings);
  publisher.Start();
  for (int id = 1; id <= 5; ++id) publisher.Publish(Call(id));
  EXPECT_EQ(publisher.WaitingCalls(), 3u);
  EXPECT_EQ(LogLinesWith("more than 3 calls wait for the broker; the oldest are dropped"), 1u)
      << AllLog();

  ASSERT_TRUE(broker.Start());
  Subscriber live(broker.Port(), base + "/call");
  ASSERT_TRUE(live.WaitSubscribed());
  ASSERT_TRUE(live.WaitCount(base + "/call", 3)) << AllLog();
  EXPECT_EQ(Numbers(live.Messages()), (std::vector<std::string>{"555003", "555004", "555005"}));
}

TEST_F(MqttBrokerTest, AServerThatNeverAnswersTheConnectIsLeftAndTriedAgain) {
  QTcpServer silent;  // accepts and says nothing
  ASSERT_TRUE(silent.listen(QHostAddress(QHostAddress::LocalHost), 0));
  int accepted = 0;
  QObject::connect(&silent, &QTcpServer::newConnection, [&] {
    while (QTcpSocket* s = silent.nextPendingConnection()) {
      ++accepted;
      s->setParent(&silent);
    }
  });
  MqttTimings timings = Fast();
  timings.connectTimeout = 100ms;
  MqttConfig config;
  config.host = "127.0.0.1";
  config.port = silent.serverPort();
  MqttPublisher publisher(
      config, "Kitchen", "testhost", "9.9",
      [this](const std::string& line) { logLines.push_back(line); }, timings);
  publisher.Start();
  ASSERT_TRUE(Wait([&] { return accepted >= 3; })) << AllLog();
  EXPECT_EQ(publisher.State(), "connecting");
  EXPECT_EQ(logLines.size(), 1u) << AllLog();
  EXPECT_EQ(LogLinesWith("no answer from 127.0.0.1:" + std::to_string(config.port) +
                         " within 100 ms; trying again"),
            1u)
      << AllLog();
}

TEST_F(MqttBrokerTest, TwoClientsWithOneClientIdDoNotFloodTheLog) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  MqttTimings timings = Fast();
  timings.steadyAfter = 10000ms;  // no connection gets steady while they fight
  MqttConfig config;
  config.host = "127.0.0.1";
  config.port = broker.Port();
  config.clientId = "clash";
  std::vector<std::string> logA, logB;
  MqttPublisher a(
      config, "a", "testhost", "9.9", [&](const std::string& line) { logA.push_back(line); },
      timings);
  MqttPublisher b(
      config, "b", "testhost", "9.9", [&](const std::string& line) { logB.push_back(line); },
      timings);
  a.Start();
  ASSERT_TRUE(Wait([&] { return a.Connected(); }));
  b.Start();
  // Each takes the session over from the other, again and again.
  ASSERT_TRUE(Wait([&] { return CountOf(broker.Log(), "as clash") >= 8; }, 10000)) << broker.Log();
  EXPECT_LE(logA.size(), 2u);  // "connected", "connection ... lost"
  EXPECT_LE(logB.size(), 2u);
}

// ---- Logins ----------------------------------------------------------------------------

class MqttLoginTest : public MqttBrokerTest {
 protected:
  void SetUp() override {
    passwords = broker.Path("passwords");
    ASSERT_TRUE(RunTool("mosquitto_passwd",
                        {"-b", "-c", QString::fromStdString(passwords), "cid", "right"}));
    ASSERT_TRUE(
        RunTool("mosquitto_passwd", {"-b", QString::fromStdString(passwords), "watcher", "look"}));
    broker.ReplaceExtraConfig("allow_anonymous false\npassword_file " + passwords + "\n");
    ASSERT_TRUE(broker.Start());
  }
  std::size_t RefusedAtBroker() const { return CountOf(broker.Log(), "not authorised"); }

  Broker broker;
  std::string passwords;
};

TEST_F(MqttLoginTest, AWrongPasswordIsOneLogLineAndTheClientKeepsTrying) {
  MqttConfig config;
  config.user = "cid";
  config.password = "wrong";
  auto publisher = MakePublisher(broker.Port(), config);
  publisher->Start();
  ASSERT_TRUE(Wait([&] { return RefusedAtBroker() >= 4; })) << broker.Log();
  EXPECT_EQ(publisher->State(), "refused: not authorised");
  EXPECT_EQ(logLines.size(), 1u) << AllLog();
  EXPECT_EQ(LogLinesWith("refused the connection: not authorised (check [MQTT] User and "
                         "Password)"),
            1u)
      << AllLog();

  // Calls still return at once and wait for a login that works.
  publisher->Publish(Call(1));
  EXPECT_EQ(publisher->WaitingCalls(), 1u);

  // The broker learns this password and reloads its password file: the client, still
  // trying, gets in by itself and delivers the waiting call.
  ASSERT_TRUE(
      RunTool("mosquitto_passwd", {"-b", QString::fromStdString(passwords), "cid", "wrong"}));
  broker.Signal(SIGHUP);
  ASSERT_TRUE(Wait([&] { return publisher->Connected(); }, 10000)) << AllLog();
  EXPECT_TRUE(Wait([&] { return publisher->WaitingCalls() == 0; }));
}

TEST_F(MqttLoginTest, ThePasswordFileSuppliesThePassword) {
  WriteFile(broker.Path("credential"), "right\r\n");
  MqttConfig config;
  config.user = "cid";
  config.password = "ignored";
  config.passwordFile = broker.Path("credential");
  auto publisher = MakePublisher(broker.Port(), config);
  publisher->Start();
  EXPECT_TRUE(Wait([&] { return publisher->Connected(); })) << AllLog();
  EXPECT_EQ(logLines.size(), 1u) << AllLog();  // "connected to ..."
}

TEST_F(MqttLoginTest, AnUnreadablePasswordFileIsOneLineNamingFileAndKey) {
  MqttConfig config;
  config.user = "cid";
  config.password = "right";
  config.passwordFile = broker.Path("no-such-credential");
  auto publisher = MakePublisher(broker.Port(), config);
  publisher->Start();
  EXPECT_EQ(LogLinesWith("cannot read the password file " + config.passwordFile +
                         " ([MQTT] PasswordFile): No such file or directory"),
            1u)
      << AllLog();
  // It goes on with the Password key.
  EXPECT_TRUE(Wait([&] { return publisher->Connected(); })) << AllLog();
}

// ---- TLS -------------------------------------------------------------------------------

class MqttTlsTest : public MqttBrokerTest {
 protected:
  // A CA and a certificate for 127.0.0.1 that it signed; a second CA that signed nothing.
  bool MakeCertificates() {
    const auto file = [&](const char* name) {
      return QString::fromStdString(dir.path().toStdString() + "/" + name);
    };
    WriteFile(file("ext.cnf").toStdString(), "subjectAltName=IP:127.0.0.1\n");
    const QStringList ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    return RunTool("openssl", QStringList{"req", "-x509"} + ec +
                                  QStringList{"-keyout", file("ca.key"), "-out", file("ca.crt"),
                                              "-days", "2", "-subj", "/CN=test ca"}) &&
           RunTool("openssl",
                   QStringList{"req", "-x509"} + ec +
                       QStringList{"-keyout", file("other.key"), "-out", file("other.crt"), "-days",
                                   "2", "-subj", "/CN=other ca"}) &&
           RunTool("openssl", QStringList{"req"} + ec +
                                  QStringList{"-keyout", file("server.key"), "-out",
                                              file("server.csr"), "-subj", "/CN=127.0.0.1"}) &&
           RunTool("openssl", {"x509", "-req", "-in", file("server.csr"), "-CA", file("ca.crt"),
                               "-CAkey", file("ca.key"), "-CAcreateserial", "-out",
                               file("server.crt"), "-days", "2", "-extfile", file("ext.cnf")});
  }
  void SetUp() override {
    if (!RunTool("openssl", {"version"})) GTEST_SKIP() << "openssl is not installed";
    ASSERT_TRUE(MakeCertificates());
    plainPort = FreeTcpPort();
    // TLS on the broker's first listener, and a plain one for the test's subscriber.
    broker = std::make_unique<Broker>("cafile " + Path("ca.crt") + "\ncertfile " +
                                      Path("server.crt") + "\nkeyfile " + Path("server.key") +
                                      "\nallow_anonymous true\nlistener " +
                                      std::to_string(plainPort) + " 127.0.0.1\n");
    ASSERT_TRUE(broker->Start());
    ASSERT_TRUE(WaitPortOpen(plainPort));
  }
  std::string Path(const char* name) const { return dir.path().toStdString() + "/" + name; }

  QTemporaryDir dir;
  quint16 plainPort = 0;
  std::unique_ptr<Broker> broker;
};

TEST_F(MqttTlsTest, TheRightCaFileConnectsAndCallsArrive) {
  Subscriber live(plainPort, base + "/call");
  ASSERT_TRUE(live.WaitSubscribed());
  MqttConfig config;
  config.caFile = Path("ca.crt");
  auto publisher = MakePublisher(broker->Port(), config);
  publisher->Start();
  ASSERT_TRUE(Wait([&] { return publisher->Connected(); })) << AllLog();
  publisher->Publish(Call(1));
  publisher->Publish(Call(2));
  ASSERT_TRUE(live.WaitCount(base + "/call", 2)) << AllLog();
  EXPECT_EQ(Numbers(live.Messages()), (std::vector<std::string>{"555001", "555002"}));
  publisher->Stop();
  EXPECT_EQ(publisher->WaitingCalls(), 0u);
}

TEST_F(MqttTlsTest, ACaThatDidNotSignTheBrokerIsOneLogLine) {
  MqttConfig config;
  config.caFile = Path("other.crt");
  auto publisher = MakePublisher(broker->Port(), config);
  publisher->Start();
  ASSERT_TRUE(Wait([&] { return publisher->State() == "refused: TLS failed"; })) << AllLog();
  Pause(400);  // several more attempts
  EXPECT_FALSE(publisher->Connected());
  EXPECT_EQ(logLines.size(), 1u) << AllLog();
  EXPECT_EQ(LogLinesWith("check [MQTT] CAFile " + config.caFile), 1u) << AllLog();
}

TEST_F(MqttTlsTest, AMissingCaFileIsOneLogLineNamingIt) {
  MqttConfig config;
  config.caFile = Path("missing.crt");
  auto publisher = MakePublisher(broker->Port(), config);
  publisher->Start();
  ASSERT_TRUE(Wait([&] { return publisher->State() == "refused: CA file cannot be read"; }))
      << AllLog();
  Pause(300);
  publisher->Publish(Call(1));
  EXPECT_EQ(publisher->WaitingCalls(), 1u);
  EXPECT_EQ(logLines.size(), 1u) << AllLog();
  EXPECT_EQ(LogLinesWith("the CA file " + config.caFile + " ([MQTT] CAFile) cannot be read"), 1u)
      << AllLog();
}

}  // namespace
