// The NCID server on 127.0.0.1 with real NCID clients of the test: connection start, live
// calls, slow and surplus clients, hostile input and listen failures.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QTcpServer>
#include <memory>
#include <string>
#include <vector>

#include "NcidPeers.h"
#include "ncid/NcidServer.h"

namespace {

// Call times are written in UTC so the expected lines do not depend on the machine.
struct Utc {
  Utc() {
    setenv("TZ", "UTC0", 1);
    tzset();
  }
};

CompletedCall Call(std::string number, std::string name, int minute = 30) {
  CompletedCall c;
  c.time = std::chrono::system_clock::from_time_t(1783290600 + minute * 60 - 30 * 60);
  c.number = std::move(number);
  c.name = std::move(name);
  c.namedBy = NamedBy::Phonebook;
  return c;
}
// 1783290600 is 2026-07-05 22:30 UTC.
const std::string kDate = "07052026";

// A string literal with every byte, NUL bytes included.
template <std::size_t N>
std::string Bytes(const char (&s)[N]) {
  return std::string(s, N - 1);
}

struct ServerRig {
  explicit ServerRig(ncid::NcidServerConfig config = Loopback(), int helloMs = 30) {
    server = std::make_unique<NcidServer>(
        config,
        [this](int n) {
          ++historyAsked;
          lastAskedFor = n;
          return history;
        },
        [this](const std::string& line) { log.push_back(line); });
    server->SetHelloWait(helloMs);
  }
  static ncid::NcidServerConfig Loopback() {
    ncid::NcidServerConfig c;
    c.listen = "127.0.0.1:0";
    return c;
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

  Utc utc;
  std::vector<CompletedCall> history;
  int historyAsked = 0;
  int lastAskedFor = 0;
  std::vector<std::string> log;
  std::unique_ptr<NcidServer> server;
};

const std::string kNoLog = "HELLO: IDENT: client test 1.0\r\nHELLO: CMD: no_log\r\n";

// ---------------------------------------------------------------- connection start

TEST(NcidServer, ConnectionStart) {
  const std::vector<CompletedCall> three = {Call("111", "First", 10), Call("222", "Second", 20),
                                            Call("", "", 30)};
  struct Row {
    const char* label;
    std::vector<CompletedCall> history;
    int logLines;
    std::string hello;  // what the client answers to the 210 line
    int helloMs;
    std::vector<std::string> section;  // lines between 210 and 300
  };
  const Row rows[] = {
      {"LogOldestFirst",
       three,
       200,
       "",
       30,
       {"CIDLOG: *DATE*" + kDate + "*TIME*2210*LINE*-*NMBR*111*MESG*NONE*NAME*First*",
        "CIDLOG: *DATE*" + kDate + "*TIME*2220*LINE*-*NMBR*222*MESG*NONE*NAME*Second*",
        "CIDLOG: *DATE*" + kDate + "*TIME*2230*LINE*-*NMBR*NO-NUMBER*MESG*NONE*NAME*NO NAME*",
        "250 End of call log"}},
      {"LogCutToLogLines",
       three,
       1,
       "",
       30,
       {"CIDLOG: *DATE*" + kDate + "*TIME*2230*LINE*-*NMBR*NO-NUMBER*MESG*NONE*NAME*NO NAME*",
        "250 End of call log"}},
      {"IdentOnlyGetsTheLog",
       {three[0]},
       200,
       "HELLO: IDENT: client test 1.0\r\n",
       30,
       {"CIDLOG: *DATE*" + kDate + "*TIME*2210*LINE*-*NMBR*111*MESG*NONE*NAME*First*",
        "250 End of call log"}},
      {"EmptyLog", {}, 200, "", 30, {"252 Call log empty"}},
      // A long wait: no_log ends it, the client is not kept waiting.
      {"NoLog", three, 200, kNoLog, 60000, {"251 Call log not sent"}},
      {"LogLinesZero", three, 0, "", 30, {"251 Call log not sent"}},
      // Any other line ends the wait too.
      {"OtherLineEndsTheWait", {}, 200, "\r\nMSG: hi\r\n", 60000, {"252 Call log empty"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    ncid::NcidServerConfig config = ServerRig::Loopback();
    config.logLines = row.logLines;
    ServerRig rig(config, row.helloMs);
    rig.history = row.history;
    ASSERT_TRUE(rig.server->Start()) << rig.LogText();

    TestNcidClient client(rig.server->Port(), row.hello);
    ASSERT_TRUE(client.WaitStarted()) << client.lines.size();
    Spin(30);
    std::vector<std::string> expected = {"200 Server: xapvynCID " XAPVYNCID_VERSION,
                                         "210 API 1.0 Feature Set 1"};
    expected.insert(expected.end(), row.section.begin(), row.section.end());
    expected.push_back("300 End of connection startup");
    EXPECT_EQ(client.lines, expected);
    EXPECT_EQ(client.badEnds, 0);
    if (row.logLines > 0 && row.hello != kNoLog) {
      EXPECT_EQ(rig.lastAskedFor, row.logLines);
    }
    EXPECT_TRUE(rig.log.empty()) << rig.LogText();
  }
}

TEST(NcidServer, CallDuringTheStartFollowsIt) {
  ServerRig rig(ServerRig::Loopback(), 200);
  ASSERT_TRUE(rig.server->Start());
  TestNcidClient client(rig.server->Port());
  ASSERT_TRUE(client.WaitLines(2));
  rig.server->SendCall(Call("5551234567", "Early"));
  ASSERT_TRUE(client.WaitLines(5));
  EXPECT_EQ(client.lines[2], "252 Call log empty");
  EXPECT_EQ(client.lines[3], "300 End of connection startup");
  EXPECT_EQ(client.lines[4],
            "CID: *DATE*" + kDate + "*TIME*2230*LINE*-*NMBR*5551234567*MESG*NONE*NAME*Early*");
}

// ---------------------------------------------------------------- live calls

TEST(NcidServer, LiveCallToTwoClientsAndKeepAlivesAreNotAnswered) {
  ncid::NcidServerConfig config = ServerRig::Loopback();
  config.line = "HOME";
  ServerRig rig(config);
  ASSERT_TRUE(rig.server->Start());
  TestNcidClient a(rig.server->Port(), kNoLog);
  TestNcidClient b(rig.server->Port());
  ASSERT_TRUE(a.WaitStarted());
  ASSERT_TRUE(b.WaitStarted());
  ASSERT_EQ(rig.server->ClientCount(), 2);

  a.Send("\n");
  a.Send("\r\n\r\n");
  b.Send("\n");
  Spin(50);
  const std::size_t aBefore = a.lines.size();
  const std::size_t bBefore = b.lines.size();

  rig.server->SendCall(Call("5551234567", "Joe Smith"));
  CompletedCall withheld = Call("5559876543", "Unknown");
  withheld.namedBy = NamedBy::Withheld;
  rig.server->SendCall(withheld);
  ASSERT_TRUE(a.WaitLines(aBefore + 2));
  ASSERT_TRUE(b.WaitLines(bBefore + 2));
  Spin(30);
  const std::vector<std::string> expected = {
      "CID: *DATE*" + kDate + "*TIME*2230*LINE*HOME*NMBR*5551234567*MESG*NONE*NAME*Joe Smith*",
      "CID: *DATE*" + kDate + "*TIME*2230*LINE*HOME*NMBR*5559876543*MESG*NONE*NAME*PRIVATE*"};
  EXPECT_EQ(std::vector<std::string>(a.lines.begin() + static_cast<long>(aBefore), a.lines.end()),
            expected);
  EXPECT_EQ(std::vector<std::string>(b.lines.begin() + static_cast<long>(bBefore), b.lines.end()),
            expected);
  EXPECT_EQ(rig.server->State(), "NCID server listening on 127.0.0.1:" +
                                     std::to_string(rig.server->Port()) + ", 2 clients");

  // Clients come and go; the rest keep getting calls.
  a.socket.disconnectFromHost();
  ASSERT_TRUE(WaitFor([&] { return rig.server->ClientCount() == 1; }));
  TestNcidClient c(rig.server->Port(), kNoLog);
  ASSERT_TRUE(c.WaitStarted());
  rig.server->SendCall(Call("1", "Third"));
  ASSERT_TRUE(b.WaitLines(bBefore + 3));
  ASSERT_TRUE(WaitFor([&] { return c.CountPrefix("CID: ") == 1; }));
  EXPECT_EQ(b.lines.back(), c.lines.back());
  EXPECT_TRUE(rig.log.empty()) << rig.LogText();
}

TEST(NcidServer, HostileCallFieldsStayInTheirField) {
  ServerRig rig;
  ASSERT_TRUE(rig.server->Start());
  TestNcidClient client(rig.server->Port(), kNoLog);
  ASSERT_TRUE(client.WaitStarted());
  const std::size_t before = client.lines.size();
  rig.server->SendCall(Call("555\r\n*1", Bytes("Bob*\r\nCID: *NMBR*666*NAME*X*\0\x1b")));
  ASSERT_TRUE(client.WaitLines(before + 1));
  Spin(50);
  ASSERT_EQ(client.lines.size(), before + 1);
  EXPECT_EQ(client.lines.back(), "CID: *DATE*" + kDate +
                                     "*TIME*2230*LINE*-*NMBR*555   1*MESG*NONE*NAME*"
                                     "Bob   CID:  NMBR 666 NAME X   *");
}

// ---------------------------------------------------------------- bounds

TEST(NcidServer, ClientThatDoesNotReadIsDroppedAndTheOtherGetsEveryCall) {
  ServerRig rig(ServerRig::Loopback(), 5);
  ASSERT_TRUE(rig.server->Start());
  TestNcidClient reader(rig.server->Port(), kNoLog);
  ASSERT_TRUE(reader.WaitStarted());
  SilentClient silent(rig.server->Port());
  ASSERT_TRUE(silent.connected);
  ASSERT_TRUE(WaitFor([&] { return rig.server->ClientCount() == 2; }));
  Spin(30);  // the silent client's connection start is over

  const std::string name(100, 'n');
  int sent = 0;
  while (rig.server->ClientCount() == 2 && sent < 50000) {
    rig.server->SendCall(Call("5551234567", name));
    ++sent;
    QCoreApplication::processEvents();
  }
  ASSERT_EQ(rig.server->ClientCount(), 1) << sent << " calls sent";
  rig.server->SendCall(Call("5551234567", "After"));
  ++sent;
  ASSERT_TRUE(WaitFor([&] { return reader.CountPrefix("CID: ") == sent; }, 10000))
      << reader.CountPrefix("CID: ") << " of " << sent;
  EXPECT_EQ(reader.lines.back(),
            "CID: *DATE*" + kDate + "*TIME*2230*LINE*-*NMBR*5551234567*MESG*NONE*NAME*After*");
  EXPECT_EQ(rig.LogCount("not reading"), 1) << rig.LogText();
  EXPECT_EQ(rig.log.size(), 1u) << rig.LogText();
  EXPECT_TRUE(reader.Connected());
}

TEST(NcidServer, AtMost32Clients) {
  ServerRig rig;
  ASSERT_TRUE(rig.server->Start());
  std::vector<std::unique_ptr<TestNcidClient>> clients;
  for (int i = 0; i < NcidServer::kMaxClients; ++i)
    clients.push_back(std::make_unique<TestNcidClient>(rig.server->Port(), kNoLog));
  for (auto& c : clients) ASSERT_TRUE(c->WaitStarted());
  ASSERT_EQ(rig.server->ClientCount(), 32);

  auto refusedOne = [&] {
    auto extra = std::make_unique<TestNcidClient>(rig.server->Port(), kNoLog);
    EXPECT_TRUE(WaitFor([&] { return extra->socket.state() == QAbstractSocket::UnconnectedState; }))
        << extra->socket.state();
    EXPECT_TRUE(extra->lines.empty());
  };
  refusedOne();
  refusedOne();
  EXPECT_EQ(rig.server->ClientCount(), 32);
  EXPECT_EQ(rig.LogCount("refused"), 1) << rig.LogText();

  // Every client still gets each call.
  rig.server->SendCall(Call("1", "All"));
  for (auto& c : clients) ASSERT_TRUE(WaitFor([&] { return c->CountPrefix("CID: ") == 1; }));

  // A place is free again when one leaves; once full again, a refusal is logged anew.
  clients.front()->socket.disconnectFromHost();
  ASSERT_TRUE(WaitFor([&] { return rig.server->ClientCount() == 31; }));
  TestNcidClient late(rig.server->Port(), kNoLog);
  ASSERT_TRUE(late.WaitStarted());
  EXPECT_EQ(rig.server->ClientCount(), 32);
  refusedOne();
  EXPECT_EQ(rig.LogCount("refused"), 2) << rig.LogText();
}

TEST(NcidServer, OverlongAndHostileClientInput) {
  ServerRig rig(ServerRig::Loopback(), 60000);
  ASSERT_TRUE(rig.server->Start());
  TestNcidClient client(rig.server->Port());
  ASSERT_TRUE(client.WaitLines(2));
  // Still in the wait for HELLO lines: a line over 4 kB does not count as a line.
  client.Send(std::string(5000, 'A') + "\r\n");
  Spin(50);
  EXPECT_FALSE(client.Has("300 End of connection startup"));
  EXPECT_EQ(rig.LogCount("over 4096 bytes"), 1) << rig.LogText();

  // Control bytes, a screen-clearing escape, 8-bit bytes and another endless line.
  client.Send(Bytes("\0\x1b[2J\xff\xfe HELLO: CMD: no_log\r\n"));
  ASSERT_TRUE(client.WaitStarted());
  EXPECT_TRUE(client.Has("252 Call log empty"));
  client.Send(std::string(300000, 'B'));
  client.Send("\r\nHELLO: CMD: no_log\r\n");
  Spin(50);
  EXPECT_EQ(rig.LogCount("over 4096 bytes"), 1) << rig.LogText();
  EXPECT_EQ(client.CountPrefix("25"), 1);  // nothing answered
  rig.server->SendCall(Call("1", "Still"));
  ASSERT_TRUE(WaitFor([&] { return client.CountPrefix("CID: ") == 1; }));
  EXPECT_EQ(rig.server->ClientCount(), 1);
  EXPECT_EQ(rig.log.size(), 1u) << rig.LogText();
}

// ---------------------------------------------------------------- listening

TEST(NcidServer, ListenFailuresAreOneClearLine) {
  QTcpServer holder;
  ASSERT_TRUE(holder.listen(QHostAddress(QHostAddress::LocalHost), 0));
  const std::string taken = "127.0.0.1:" + std::to_string(holder.serverPort());
  struct Row {
    const char* label;
    std::string listen;
  };
  const Row rows[] = {
      {"PortInUse", taken},
      {"NotAnIpAddress", "ncid.example:3333"},
      {"NoPort", "127.0.0.1"},
      {"PortTooBig", "127.0.0.1:70000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    ncid::NcidServerConfig config;
    config.listen = row.listen;
    ServerRig rig(config);
    EXPECT_FALSE(rig.server->Start());
    ASSERT_EQ(rig.log.size(), 1u) << rig.LogText();
    EXPECT_NE(rig.log[0].find(row.listen), std::string::npos) << rig.log[0];
    EXPECT_NE(rig.log[0].find("[NCID] Listen"), std::string::npos) << rig.log[0];
    EXPECT_EQ(rig.server->State().rfind("NCID server not listening on " + row.listen + ": ", 0), 0u)
        << rig.server->State();
  }

  ServerRig off(ncid::NcidServerConfig{});
  EXPECT_FALSE(off.server->Start());
  EXPECT_TRUE(off.log.empty());
  EXPECT_EQ(off.server->State(), "NCID server off ([NCID] Listen is empty)");
  off.server->SendCall(Call("1", "Nobody"));
}

}  // namespace
