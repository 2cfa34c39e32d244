// The NCID call source against an NCID server of the test (and against our own server) on
// 127.0.0.1: calls taken, log lines ignored, reconnection, keep-alives and hostile servers.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTcpServer>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "NcidPeers.h"
#include "ncid/NcidServer.h"
#include "ncid/NcidSource.h"

namespace {

using Received = std::pair<std::string, std::string>;  // number, name

struct SourceRig {
  explicit SourceRig(quint16 port) {
    source = std::make_unique<NcidSource>("127.0.0.1", port,
                                          [this](const std::string& l) { log.push_back(l); });
    source->SetRetryIntervals(10, 80);
    source->SetKeepAliveInterval(60000);
    source->SetConnectTimeout(2000);
    QObject::connect(source.get(), &NcidSource::callReceived,
                     [this](const std::string& number, const std::string& name) {
                       calls.emplace_back(number, name);
                     });
  }
  int LogCount(const std::string& part) const {
    int n = 0;
    for (const auto& l : log)
      if (l.find(part) != std::string::npos) ++n;
    return n;
  }
  std::string LogText() const {
    std::string all;
    for (const auto& l : log) all += l + "\n";
    return all;
  }

  std::unique_ptr<NcidSource> source;
  std::vector<Received> calls;
  std::vector<std::string> log;
};

quint16 ClosedPort() {
  QTcpServer probe;
  probe.listen(QHostAddress(QHostAddress::LocalHost), 0);
  return probe.serverPort();
}

const std::string kCid =
    "CID: *DATE*07052026*TIME*2230*LINE*-*NMBR*5551234567*MESG*NONE*NAME*Joe*\r\n";

TEST(NcidSource, TakesLiveCallsAndIgnoresTheLogAndOtherLines) {
  TestNcidServer server;
  server.greeting =
      "200 NCID Server: test\r\n210 API 1.0 Feature Set 1\r\n"
      "CIDLOG: *DATE*07042026*TIME*1200*LINE*-*NMBR*111*MESG*NONE*NAME*Old*\r\n"
      "CIDLOG: *DATE*07042026*TIME*1201*LINE*-*NMBR*222*MESG*NONE*NAME*Older*\r\n"
      "250 End of call log\r\n300 End of connection startup\r\n";
  ASSERT_TRUE(server.Listen());
  SourceRig rig(server.Port());
  rig.source->Start();
  ASSERT_TRUE(WaitFor([&] { return rig.source->Connected() && server.Connected() == 1; }));
  EXPECT_EQ(rig.source->State(),
            "NCID source connected to 127.0.0.1:" + std::to_string(server.Port()));

  server.Broadcast(kCid);
  server.Broadcast("CIDINFO: *LINE*-*RING*2*TIME*2230*\r\nMSG: hello\r\n\r\n");
  server.Broadcast("CID: *DATE*07052026*TIME*2231*LINE*-*NMBR*NO-NUMBER*MESG*NONE*NAME*PRIVATE*\n");
  server.Broadcast(
      "CID: *DATE*07052026*TIME*2231*LINE*-*NMBR*\x01"
      "12\x7f*MESG*NONE*NAME*A\x1b[2Jb*\r\n");
  ASSERT_TRUE(WaitFor([&] { return rig.calls.size() >= 3; }));
  Spin(30);
  const std::vector<Received> expected = {
      {"5551234567", "Joe"}, {"NO-NUMBER", "PRIVATE"}, {"12", "A [2Jb"}};
  EXPECT_EQ(rig.calls, expected);
  EXPECT_EQ(server.received, "");  // keep-alives only, and none due yet
  EXPECT_EQ(rig.LogCount("connected to 127.0.0.1:"), 1) << rig.LogText();
  EXPECT_EQ(rig.log.size(), 1u) << rig.LogText();
}

TEST(NcidSource, SendsNothingButKeepAlives) {
  TestNcidServer server;
  ASSERT_TRUE(server.Listen());
  SourceRig rig(server.Port());
  rig.source->SetKeepAliveInterval(15);
  rig.source->Start();
  ASSERT_TRUE(WaitFor([&] { return server.received.size() >= 3; }));
  EXPECT_EQ(server.received, std::string(server.received.size(), '\n'));
}

TEST(NcidSource, ReconnectsAfterTheServerRestarts) {
  TestNcidServer server;
  ASSERT_TRUE(server.Listen());
  const quint16 port = server.Port();
  SourceRig rig(port);
  rig.source->Start();
  ASSERT_TRUE(WaitFor([&] { return server.Connected() == 1; }));
  server.Broadcast(kCid);
  ASSERT_TRUE(WaitFor([&] { return rig.calls.size() == 1; }));

  server.Stop();
  ASSERT_TRUE(WaitFor([&] { return rig.LogCount("lost the link to 127.0.0.1:") == 1; }))
      << rig.LogText();
  Spin(300);  // several failed attempts while the server is down
  EXPECT_FALSE(rig.source->Connected());
  EXPECT_NE(rig.source->State().find("waiting to reconnect"), std::string::npos)
      << rig.source->State();

  ASSERT_TRUE(server.Listen(port));
  ASSERT_TRUE(WaitFor([&] { return server.Connected() == 1; }, 5000)) << rig.LogText();
  server.Broadcast(kCid);
  ASSERT_TRUE(WaitFor([&] { return rig.calls.size() == 2; }));
  EXPECT_EQ(rig.LogCount("connected to 127.0.0.1:"), 2) << rig.LogText();
  EXPECT_EQ(rig.LogCount("lost the link"), 1) << rig.LogText();
  EXPECT_EQ(rig.log.size(), 3u) << rig.LogText();
}

TEST(NcidSource, FirstConnectFailureIsLoggedOnce) {
  const quint16 port = ClosedPort();
  SourceRig rig(port);
  rig.source->Start();
  Spin(300);
  EXPECT_EQ(rig.LogCount("cannot connect to 127.0.0.1:" + std::to_string(port) +
                         " (Connection refused); retrying"),
            1)
      << rig.LogText();
  EXPECT_EQ(rig.log.size(), 1u) << rig.LogText();

  TestNcidServer server;
  ASSERT_TRUE(server.Listen(port));
  ASSERT_TRUE(WaitFor([&] { return rig.source->Connected(); }, 5000));
  EXPECT_EQ(rig.LogCount("connected to"), 1) << rig.LogText();

  rig.source->Stop();
  EXPECT_FALSE(rig.source->Connected());
  Spin(100);
  EXPECT_EQ(rig.log.size(), 2u) << rig.LogText();  // a stop is no loss
  EXPECT_EQ(rig.source->State().rfind("NCID source stopped", 0), 0u);
}

// A listener whose backlog is full: the connect gets no answer at all.
TEST(NcidSource, ConnectWithoutAnswerTimesOutAndRetries) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(fd, 0), 0);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  const quint16 port = ntohs(a.sin_port);
  std::vector<std::unique_ptr<SilentClient>> fillers;
  for (int i = 0; i < 3; ++i) fillers.push_back(std::make_unique<SilentClient>(port, false));
  Spin(20);

  SourceRig rig(port);
  rig.source->SetConnectTimeout(50);
  rig.source->Start();
  ASSERT_TRUE(WaitFor([&] { return !rig.log.empty(); }));
  EXPECT_EQ(rig.LogCount("no answer within 50 ms"), 1) << rig.LogText();
  EXPECT_FALSE(rig.source->Connected());
  ::close(fd);
}

TEST(NcidSource, EndlessLineDoesNotStallIt) {
  TestNcidServer server;
  ASSERT_TRUE(server.Listen());
  SourceRig rig(server.Port());
  rig.source->Start();
  ASSERT_TRUE(WaitFor([&] { return server.Connected() == 1; }));
  const std::string junk(64 * 1024, 'x');
  for (int i = 0; i < 32; ++i) {  // 2 MB without a line end
    server.Broadcast(junk);
    Spin(1);
  }
  server.Broadcast("\r\n" + kCid);
  ASSERT_TRUE(WaitFor([&] { return rig.calls.size() == 1; }, 5000)) << rig.LogText();
  EXPECT_EQ(rig.calls[0], Received("5551234567", "Joe"));
  // A line just over the limit right after is dropped too, without another log line.
  server.Broadcast(std::string(4097, 'y') + "\r\n" + kCid);
  ASSERT_TRUE(WaitFor([&] { return rig.calls.size() == 2; }));
  EXPECT_EQ(rig.LogCount("over 4096 bytes"), 1) << rig.LogText();
  EXPECT_TRUE(rig.source->Connected());
}

TEST(NcidSource, StopFromTheSlotEndsTheCalls) {
  TestNcidServer server;
  ASSERT_TRUE(server.Listen());
  SourceRig rig(server.Port());
  QObject::connect(rig.source.get(), &NcidSource::callReceived, [&] { rig.source->Stop(); });
  rig.source->Start();
  ASSERT_TRUE(WaitFor([&] { return server.Connected() == 1; }));
  server.Broadcast(kCid + kCid + kCid);
  ASSERT_TRUE(WaitFor([&] { return !rig.calls.empty(); }));
  Spin(100);
  EXPECT_EQ(rig.calls.size(), 1u);
  EXPECT_FALSE(rig.source->Connected());
  EXPECT_EQ(server.accepted, 1);
}

TEST(NcidSource, TakesCallsFromOurOwnServer) {
  setenv("TZ", "UTC0", 1);
  tzset();
  ncid::NcidServerConfig config;
  config.listen = "127.0.0.1:0";
  CompletedCall old;
  old.number = "111";
  old.name = "Old call";
  NcidServer server(config, [&](int) { return std::vector<CompletedCall>{old}; }, {});
  server.SetHelloWait(10);
  ASSERT_TRUE(server.Start());
  SourceRig rig(server.Port());
  rig.source->Start();
  ASSERT_TRUE(WaitFor([&] { return server.ClientCount() == 1; }));
  Spin(50);  // the log has been sent and ignored

  CompletedCall call;
  call.number = "5551234567";
  call.name = "Joe*Smith";
  server.SendCall(call);
  call.number.clear();
  call.namedBy = NamedBy::Withheld;
  server.SendCall(call);
  ASSERT_TRUE(WaitFor([&] { return rig.calls.size() == 2; }));
  EXPECT_EQ(rig.calls[0], Received("5551234567", "Joe Smith"));
  EXPECT_EQ(rig.calls[1], Received("NO-NUMBER", "PRIVATE"));
}

}  // namespace
