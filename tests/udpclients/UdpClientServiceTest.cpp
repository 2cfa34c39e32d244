// The display-client service on real loopback sockets and the real per-user store: a test
// display subscribes to the service port and catches the call datagrams on RemotePort.
#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "Loopback.h"
#include "udpclients/CallDatagram.h"
#include "udpclients/UdpClientService.h"

namespace {

// The per-user store of this test process lives in a private folder; set before any QSettings.
class ConfigHome : public ::testing::Environment {
 public:
  void SetUp() override {
    dir_ = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", dir_->path().toLocal8Bit());
  }
  void TearDown() override { dir_.reset(); }
  static std::string StoreFile() {
    return qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() + "/xapvynCID/xapvynCID.conf";
  }

 private:
  std::unique_ptr<QTemporaryDir> dir_;
};
[[maybe_unused]] ::testing::Environment* const kConfigHome =
    ::testing::AddGlobalTestEnvironment(new ConfigHome);

quint16 FreeUdpPort() {
  QUdpSocket s;
  s.bind(QHostAddress(QHostAddress::AnyIPv4), 0, QAbstractSocket::DontShareAddress);
  return s.localPort();
}

std::string ReadFile(const std::string& path) {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray b = f.readAll();
  return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

const std::string kSubscribe("\x01", 1);
const std::string kUnsubscribe("\x02", 1);

class UdpClientServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings s(QStringLiteral("xapvynCID"), QStringLiteral("xapvynCID"));
    s.clear();
    localPort = FreeUdpPort();
    ASSERT_NE(localPort, 0);
    ASSERT_TRUE(display.Bound());
    s.setValue("Options/LocalPort", QString::number(localPort));
    s.setValue("Options/RemotePort", QString::number(display.Port()));
    s.sync();
  }

  std::unique_ptr<UdpClientService> MakeService(const std::string& storeFile = {}) {
    HostHooks h;
    h.logEvent = [this](const std::string& t, const std::string& x) { events.emplace_back(t, x); };
    h.setError = [this](int l, const std::string& d) { errors.emplace_back(l, d); };
    return std::make_unique<UdpClientService>(h, storeFile);
  }

  // Sends a request from 127.0.0.1 and waits until the table shows its effect.
  static bool Request(UdpClientService& service, const std::string& data,
                      const std::vector<std::string>& slotsAfter) {
    SendUdp(service.BoundPort(), data);
    return WaitFor([&] { return service.ClientSlots() == slotsAfter; });
  }

  quint16 localPort = 0;
  UdpCollector display;
  std::vector<std::pair<std::string, std::string>> events;
  std::vector<std::pair<int, std::string>> errors;
};

TEST_F(UdpClientServiceTest, SubscribedDisplayGetsOneExactDatagramPerCall) {
  auto service = MakeService();
  service->InitIO();
  ASSERT_TRUE(service->ServiceActive());
  EXPECT_EQ(service->BoundPort(), localPort);
  ASSERT_TRUE(Request(*service, kSubscribe, {"127.0.0.1"}));

  service->SendCIDSentry("Smith Jones Company", "(555)123-4567");
  service->SendCIDSentry("p", "O");
  ASSERT_TRUE(display.WaitCount(2));
  const std::string first = std::string("\x03", 1) + std::string(7, '\0') + "Smith Jones Company" +
                            std::string(45, '\0') + "(555)123-4567" + std::string(51, '\0');
  EXPECT_EQ(display.messages[0], first);
  const std::string second = std::string("\x03", 1) + std::string(7, '\0') + "Private Caller" +
                             std::string(50, '\0') + "Unknown Number" + std::string(50, '\0');
  EXPECT_EQ(display.messages[1], second);

  // A third call arrives next: nothing was sent twice in between.
  service->SendCIDSentry(std::string(100, 'N'), std::string(70, '5'));
  ASSERT_TRUE(display.WaitCount(3));
  ASSERT_EQ(display.messages.size(), 3u);
  EXPECT_EQ(display.messages[2], CallDatagram(std::string(64, 'N'), std::string(64, '5')));
  EXPECT_EQ(display.messages[2].size(), 136u);
}

TEST_F(UdpClientServiceTest, UnsubscribeStopsAndSubscribeResumes) {
  auto service = MakeService();
  service->InitIO();
  ASSERT_TRUE(Request(*service, kSubscribe, {"127.0.0.1"}));
  service->SendCIDSentry("One", "1");
  ASSERT_TRUE(display.WaitCount(1));

  ASSERT_TRUE(Request(*service, kUnsubscribe, {"-127.0.0.1"}));
  service->SendCIDSentry("Two", "2");
  ASSERT_TRUE(Request(*service, kSubscribe + "extra", {"127.0.0.1"}));
  service->SendCIDSentry("Three", "3");
  ASSERT_TRUE(display.WaitCount(2));
  ASSERT_EQ(display.messages.size(), 2u);
  EXPECT_EQ(display.messages[0], CallDatagram("One", "1"));
  EXPECT_EQ(display.messages[1], CallDatagram("Three", "3"));
}

TEST_F(UdpClientServiceTest, RestartForgetsSubscribers) {
  auto service = MakeService();
  service->SetCommitInterval(10);
  service->InitIO();
  ASSERT_TRUE(Request(*service, kSubscribe, {"127.0.0.1"}));
  // The table is in the store file, as text, once the change is committed.
  EXPECT_TRUE(WaitFor(
      [] { return ReadFile(ConfigHome::StoreFile()).find("1=127.0.0.1") != std::string::npos; }));
  const std::string stored = ReadFile(ConfigHome::StoreFile());
  EXPECT_NE(stored.find("[Clients]"), std::string::npos);
  EXPECT_NE(stored.find("1=127.0.0.1"), std::string::npos);
  EXPECT_NE(stored.find("ClientMax=1"), std::string::npos);
  EXPECT_NE(stored.find("LocalPort=" + std::to_string(localPort)), std::string::npos);
  service.reset();

  auto restarted = MakeService();
  restarted->InitIO();
  ASSERT_TRUE(restarted->ServiceActive());
  EXPECT_TRUE(restarted->ClientSlots().empty());
  EXPECT_NE(ReadFile(ConfigHome::StoreFile()).find("ClientMax=0"), std::string::npos);
  restarted->SendCIDSentry("Lost", "1");
  ASSERT_TRUE(Request(*restarted, kSubscribe, {"127.0.0.1"}));
  restarted->SendCIDSentry("Again", "2");
  ASSERT_TRUE(display.WaitCount(1));
  EXPECT_EQ(display.messages[0], CallDatagram("Again", "2"));
}

TEST_F(UdpClientServiceTest, RepeatedSubscribesKeepOneSlot) {
  auto service = MakeService();
  service->InitIO();
  for (int i = 0; i < 100; ++i) SendUdp(localPort, kSubscribe);
  ASSERT_TRUE(Request(*service, kUnsubscribe, {"-127.0.0.1"}));
  ASSERT_TRUE(Request(*service, kSubscribe, {"127.0.0.1"}));
  service->SendCIDSentry("Once", "1");
  service->SendCIDSentry("Twice", "2");
  ASSERT_TRUE(display.WaitCount(2));
  EXPECT_EQ(display.messages[0], CallDatagram("Once", "1"));
  EXPECT_EQ(display.messages[1], CallDatagram("Twice", "2"));
}

TEST_F(UdpClientServiceTest, PortInUseLeavesTheServiceInactiveAndQuiet) {
  QUdpSocket holder;
  ASSERT_TRUE(holder.bind(QHostAddress(QHostAddress::AnyIPv4), localPort,
                          QAbstractSocket::DontShareAddress));
  auto service = MakeService();
  service->InitIO();
  EXPECT_FALSE(service->ServiceActive());
  EXPECT_EQ(service->BoundPort(), 0);
  EXPECT_TRUE(errors.empty());
  // Only the two start-up lines; the failed bind adds none.
  EXPECT_EQ(service->Log().Lines().size(), 2u);
  service->SendCIDSentry("Nobody", "1");
  EXPECT_TRUE(service->ClientSlots().empty());
}

TEST_F(UdpClientServiceTest, PortThatIsNoNumberIsReportedAsInitUdp) {
  {
    QSettings s(QStringLiteral("xapvynCID"), QStringLiteral("xapvynCID"));
    s.setValue("Options/LocalPort", "45x");
    s.sync();
  }
  auto service = MakeService();
  service->InitIO();
  EXPECT_FALSE(service->ServiceActive());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].second.find("45x"), std::string::npos);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), (std::pair<std::string, std::string>{"xapvynCID", "InitUDP"}));
}

TEST_F(UdpClientServiceTest, DebugLinesForRequestsAndSends) {
  auto service = MakeService();
  service->SaveDebug(true);
  service->SetServiceDebug(true);
  service->InitIO();
  ASSERT_TRUE(Request(*service, kSubscribe, {"127.0.0.1"}));
  SendUdp(localPort, "");
  SendUdp(localPort, "?");
  ASSERT_TRUE(WaitFor([&] { return service->Log().Lines().size() == 5; }));
  service->SendCIDSentry("Test Caller", "(123)456-7890");
  ASSERT_TRUE(display.WaitCount(1));
  const std::vector<std::string> lines = service->Log().Lines();
  ASSERT_EQ(lines.size(), 6u);
  const char* expected[] = {
      "~!~xapvynCID OrvoServer Info~!~xapvynCID - Clearing CID Client Database...",
      "~!~xapvynCID OrvoServer Info~!~xapvynCID - Initializing I/O... (LocalPort=",
      "~!~xapvynCID Debug~!~CID Client Subcribe Request from 127.0.0.1",
      "~!~xapvynCID Debug~!~Empty Message Received from 127.0.0.1",
      "~!~xapvynCID Debug~!~Unknown data received from 127.0.0.1",
      "~!~xapvynCID Debug~!~Sent CID Message to host 127.0.0.1",
  };
  for (std::size_t i = 0; i < lines.size(); ++i)
    EXPECT_NE(lines[i].find(expected[i]), std::string::npos) << lines[i];
  EXPECT_EQ(events.back(), (std::pair<std::string, std::string>{
                               "xapvynCID Debug", "Sent CID Message to host 127.0.0.1"}));
  EXPECT_NE(ReadFile(ConfigHome::StoreFile()).find("Debug=True"), std::string::npos);
}

TEST_F(UdpClientServiceTest, SecondInitIoRestartsOnAFreshSocket) {
  auto service = MakeService();
  service->InitIO();
  ASSERT_TRUE(Request(*service, kSubscribe, {"127.0.0.1"}));
  service->InitIO();
  ASSERT_TRUE(service->ServiceActive());
  EXPECT_TRUE(service->ClientSlots().empty());
  ASSERT_TRUE(Request(*service, kSubscribe, {"127.0.0.1"}));
  service->SendCIDSentry("Back", "1");
  ASSERT_TRUE(display.WaitCount(1));
  EXPECT_EQ(display.messages[0], CallDatagram("Back", "1"));
}

TEST_F(UdpClientServiceTest, CloseStopsTheService) {
  auto service = MakeService();
  EXPECT_FALSE(service->ServiceActive());
  service->InitIO();
  ASSERT_TRUE(Request(*service, kSubscribe, {"127.0.0.1"}));
  service->Close();
  EXPECT_FALSE(service->ServiceActive());
  EXPECT_EQ(service->BoundPort(), 0);
  service->SendCIDSentry("Closed", "1");
  // The port is free again for the next start.
  QUdpSocket probe;
  EXPECT_TRUE(probe.bind(QHostAddress(QHostAddress::AnyIPv4), localPort,
                         QAbstractSocket::DontShareAddress));
  probe.close();
  service->InitIO();
  ASSERT_TRUE(Request(*service, kSubscribe, {"127.0.0.1"}));
  service->SendCIDSentry("Open", "2");
  ASSERT_TRUE(display.WaitCount(1));
  EXPECT_EQ(display.messages[0], CallDatagram("Open", "2"));
}

TEST_F(UdpClientServiceTest, StoreFileKeepsTheTableApart) {
  QTemporaryDir dir;
  const std::string file = dir.path().toStdString() + "/clients.conf";
  {
    QSettings own(QString::fromStdString(file), QSettings::IniFormat);
    own.setValue("Options/LocalPort", QString::number(localPort));
    own.setValue("Options/RemotePort", QString::number(display.Port()));
  }
  const std::string perUser = ReadFile(ConfigHome::StoreFile());
  auto service = MakeService(file);
  service->InitIO();
  ASSERT_TRUE(service->ServiceActive());
  ASSERT_TRUE(Request(*service, kSubscribe, {"127.0.0.1"}));
  EXPECT_TRUE(WaitFor([&] { return ReadFile(file).find("1=127.0.0.1") != std::string::npos; }));
  EXPECT_EQ(ReadFile(ConfigHome::StoreFile()), perUser);
}

// Sends alternating subscribe and unsubscribe requests from 127.0.0.2 to port, as fast as the
// machine can, for 1.5 s; then sets over.
void Flood(quint16 port, std::atomic<bool>& over, std::atomic<long>& sent) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr.s_addr = htonl(0x7F000002);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (long i = 0; std::chrono::steady_clock::now() < end; ++i) {
    const char byte = i % 2 ? '\x02' : '\x01';
    if (::sendto(fd, &byte, 1, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 1) ++sent;
  }
  ::close(fd);
  over = true;
}

TEST_F(UdpClientServiceTest, CallGoesOutWhileRequestsFloodTheServiceAndTheStoreIsSpared) {
  QTemporaryDir dir;
  const std::string file = dir.path().toStdString() + "/clients.conf";
  {
    QSettings own(QString::fromStdString(file), QSettings::IniFormat);
    own.setValue("Options/LocalPort", QString::number(localPort));
    own.setValue("Options/RemotePort", QString::number(display.Port()));
  }
  auto service = MakeService(file);
  service->InitIO();
  ASSERT_TRUE(Request(*service, kSubscribe, {"127.0.0.1"}));
  Spin(1200);  // the subscription is committed; the flood starts on a quiet store

  // Each write of the store replaces the file (a new inode).
  std::atomic<bool> stop{false};
  std::atomic<bool> over{false};
  std::atomic<long> sent{0};
  std::atomic<int> writes{0};
  std::thread watcher([&] {
    struct stat st {};
    ino_t last = ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
    while (!stop) {
      if (::stat(file.c_str(), &st) == 0 && st.st_ino != last) {
        last = st.st_ino;
        ++writes;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  std::thread flood(Flood, service->BoundPort(), std::ref(over), std::ref(sent));

  std::atomic<bool> sentDuringFlood{false};
  QTimer::singleShot(300, [&] {
    service->SendCIDSentry("During", "5");
    sentDuringFlood = !over;
  });
  QElapsedTimer t;
  t.start();
  bool arrived = false;
  while (t.elapsed() < 1000 && !arrived) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    arrived = !display.messages.empty();
  }
  flood.join();
  const int writesDuringFlood = writes;
  stop = true;
  watcher.join();

  EXPECT_GT(sent.load(), 1000);
  EXPECT_TRUE(sentDuringFlood);
  ASSERT_TRUE(arrived);
  EXPECT_EQ(display.messages[0], CallDatagram("During", "5"));
  EXPECT_LE(writesDuringFlood, 4);
}

}  // namespace
