// The program as one object, in process: start-up order, settings loading and
// the hand-over of received messages, on loopback with a private hub port.
#include "app/Application.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "Loopback.h"
#include "xap/XapMessage.h"

namespace {

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

struct Rig {
  QTemporaryDir home;
  UdpCollector hub;
  std::vector<std::unique_ptr<QUdpSocket>> ports;
  std::unique_ptr<Application> app;

  Rig() {
    QDir().mkpath(home.path() + "/Config");
    WriteFile(Path("/Config/vynXap.ini"),
              "[Interface]\r\nBroadcastAddress=127.0.0.1\r\nInterfaceAddress=127.0.0.1\r\n");
  }
  std::string Path(const std::string& rel) const { return home.path().toStdString() + rel; }
  int Start(int connectIntervalMs = CommLink::kConnectInterval) {
    Application::Options o;
    o.connectIntervalMs = connectIntervalMs;
    o.home = home.path().toStdString();
    o.headless = false;  // keep the test output quiet
    o.xapTiming.remotePort = hub.Port();
    o.xapTiming.receiveDelayMs = 20;
    o.xapTiming.firstPort = TakeUdpPorts(4, ports);
    ports.clear();
    // The client service keeps its table and ports in the test's own store.
    const quint16 clientPort = TakeUdpPorts(1, ports, 52000);
    ports.clear();
    o.clientStoreFile = Path("/clients.ini");
    WriteFile(o.clientStoreFile, "[Options]\nLocalPort=" + std::to_string(clientPort) +
                                     "\nRemotePort=" + std::to_string(clientPort) + "\n");
    app = std::make_unique<Application>(o);
    return app->Start();
  }
};

TEST(Application, MissingOrEmptySettingsGiveTheDefaults) {
  for (bool empty : {false, true}) {
    Rig rig;
    if (empty) WriteFile(rig.Path("/Config/vynRinglet.ini"), "");
    ASSERT_EQ(rig.Start(), 0);
    const Settings& s = rig.app->CurrentSettings();
    Settings d;
    EXPECT_EQ(s.XAPNode, d.XAPNode);
    EXPECT_EQ(s.XAPPID, "FF008000");
    EXPECT_EQ(s.CIDPortString, "9600,n,8,1");
    EXPECT_EQ(s.CIDModemInitString, "AT#CID=1");
    EXPECT_EQ(s.CIDNumberPrefix, "NMBR =");
    EXPECT_EQ(s.CIDNamePrefix, "NAME =");
    EXPECT_EQ(s.FormatPrefix, "Call from");
    EXPECT_TRUE(s.InsertModemCrLf && s.Outlook && s.OCID && s.CIDIncoming && s.MessageDisplay &&
                s.XapVoice && s.FormatSuffix);
    EXPECT_FALSE(s.StripPrefix);
    EXPECT_TRUE(rig.app->XapReady());
  }
}

TEST(Application, HandEditedFileWithLfLoadsLikeCrLf) {
  const std::string body =
      "; my settings\n[general]\nxapnode=den\nCIDCOMMPORT=\"/dev/ttyUSB0\"\nStripPrefix=1\n"
      "formatprefix=Ring from\nOCID=0\n\n[ReverseLookup]\nBaseURL=http://127.0.0.1:8080\n";
  std::string crlf;
  for (char c : body) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  Settings loaded[2];
  int i = 0;
  for (const std::string& text : {body, crlf}) {
    Rig rig;
    WriteFile(rig.Path("/Config/vynRinglet.ini"), text);
    ASSERT_EQ(rig.Start(), 0);
    loaded[i++] = rig.app->CurrentSettings();
  }
  for (const Settings& s : loaded) {
    EXPECT_EQ(s.XAPNode, "den");
    EXPECT_EQ(s.CIDCommPort, "/dev/ttyUSB0");
    EXPECT_TRUE(s.StripPrefix);
    EXPECT_FALSE(s.OCID);
    EXPECT_EQ(s.FormatPrefix, "Ring from");
    EXPECT_EQ(s.ReverseLookupBaseURL, "http://127.0.0.1:8080");
  }
}

TEST(Application, ReceivedMessagesReachTheHandlerInOrder) {
  Rig rig;
  ASSERT_EQ(rig.Start(), 0);
  std::vector<std::string> got;
  rig.app->SetMessageHandler([&](const std::string& m) { got.push_back(m); });
  const auto port = static_cast<quint16>(rig.app->Xap()->Port());
  for (int i = 0; i < 5; ++i) SendUdp(port, "xap-header\n{\nclass=m" + std::to_string(i) + "\n}\n");
  ASSERT_TRUE(WaitFor([&] { return got.size() == 5; }));
  for (int i = 0; i < 5; ++i) EXPECT_NE(got[i].find("class=m" + std::to_string(i)), std::string::npos);
}

TEST(Application, ShutdownFinishesOnce) {
  Rig rig;
  ASSERT_EQ(rig.Start(), 0);
  int finished = 0, code = -1;
  QObject::connect(rig.app.get(), &Application::finished, [&](int c) { ++finished; code = c; });
  rig.app->Shutdown();
  rig.app->Shutdown();
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(rig.app->ShuttingDown());
}

// A stop while start-up waits for a network box ends the wait at once, and
// start-up takes no further step (the client service is not started).
TEST(Application, ShutdownDuringTheConnectWaitEndsStartUp) {
  Rig rig;
  QTcpServer closed;
  closed.listen(QHostAddress(QHostAddress::LocalHost), 0);
  const quint16 port = closed.serverPort();
  closed.close();
  WriteFile(rig.Path("/Config/vynRinglet.ini"),
            "[General]\r\nOCID=1\r\nCIDCommPort=127.0.0.1:" + std::to_string(port) + "\r\n");
  int finished = 0;
  QTimer::singleShot(300, [&] { rig.app->Shutdown(); });
  QElapsedTimer t;
  t.start();
  ASSERT_EQ(rig.Start(500), 0);  // the wait alone would take 3 s
  EXPECT_LT(t.elapsed(), 1500);
  QObject::connect(rig.app.get(), &Application::finished, [&](int) { ++finished; });
  EXPECT_TRUE(rig.app->ShuttingDown());
  EXPECT_EQ(rig.app->Clients(), nullptr);
  EXPECT_FALSE(rig.app->Link()->Retrying());
  rig.app->Shutdown();
  EXPECT_EQ(finished, 0) << "finished only once";
}

}  // namespace

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Application, NonNumericOcidIsReportedAndTheAddressesStillLoad) {
  // A typo in OCID must not leave the xAP addresses at their defaults, which
  // would broadcast to the whole network.
  Rig rig;
  WriteFile(rig.Path("/Config/vynRinglet.ini"), "[General]\r\nOCID=yes\r\n");
  ASSERT_EQ(rig.Start(), 0);
  EXPECT_EQ(rig.app->BroadcastAddress(), "127.0.0.1");
  EXPECT_EQ(rig.app->InterfaceAddress(), "127.0.0.1");
  EXPECT_EQ(rig.app->Xap()->SendHost(), "127.0.0.1");
  EXPECT_NE(ReadFile(rig.Path("/Data/xapvynCID.txt")).find("xapvynCID InitXap "), std::string::npos);
  EXPECT_FALSE(rig.app->CurrentSettings().OCID) << "the settings load reads a non-number as off";
}

}  // namespace

// One completed call reaches every output through the one event, named and with
// its origin: the phonebook's " : " and " from " survive to the outputs.
struct NamingCase {
  const char* name;
  std::string friends;  // Friends.txt line for 5551234
  std::string callerIdName;
  std::string displayNumber, announced;
  NamedBy namedBy;
};
void PrintTo(const NamingCase& c, std::ostream* os) { *os << c.name; }
class CallNaming : public ::testing::TestWithParam<NamingCase> {};

TEST_P(CallNaming, CompletedCallCarriesTheLookupAnswer) {
  const NamingCase& c = GetParam();
  Rig rig;
  QDir().mkpath(rig.home.path() + "/book");
  WriteFile(rig.Path("/book/Friends.txt"), c.friends);
  WriteFile(rig.Path("/Config/vynRinglet.ini"),
            "[General]\r\nFriendsLocation=" + rig.Path("/book") + "\r\nOutlook=0\r\n");
  ASSERT_EQ(rig.Start(), 0);
  std::vector<CompletedCall> seen;
  QObject::connect(&rig.app->Calls(), &CallEvents::callCompleted,
                   [&](const CompletedCall& call) { seen.push_back(call); });
  CallerIdCall in;
  in.number = "555-1234";
  in.name = c.callerIdName;
  in.source = CallSource::Serial;
  in.sourceDetail = "/dev/ttyACM0";
  rig.app->OnCallerIdCall(in);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].displayNumber, c.displayNumber);
  EXPECT_EQ(seen[0].name, c.announced);
  EXPECT_EQ(seen[0].callerIdName, c.callerIdName);
  EXPECT_EQ(seen[0].namedBy, c.namedBy);
  EXPECT_EQ(seen[0].sourceDetail, "/dev/ttyACM0");
  EXPECT_EQ(rig.app->Record().CallerName, c.announced);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CallNaming,
    ::testing::Values(
        NamingCase{"CallerIdName", "", "JOE", "555-1234", "JOE", NamedBy::CallerId},
        NamingCase{"Withheld", "", "Unknown", "555-1234", "Unknown", NamedBy::Withheld},
        NamingCase{"PhonebookNameWithSeparator", "5551234\tShop : Main Street\r\n", "X",
                   "555-1234", "Shop : Main Street", NamedBy::Phonebook}),
    [](const auto& info) { return std::string(info.param.name); });
