// The display-client service without its socket: the call datagram, the service log lines and
// the client table, on an in-memory store and a recording datagram sender.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "udpclients/CallDatagram.h"
#include "udpclients/ClientRegistry.h"
#include "udpclients/ServiceLog.h"

namespace {

using Store = std::map<std::string, std::string>;  // "Section/Key" -> value

std::string Zeros(std::size_t n) { return std::string(n, '\0'); }

// ---------------------------------------------------------------- call datagram

TEST(CallDatagram, LayoutIsFixed) {
  const std::string name = "Smith Jones Company";  // 19
  const std::string number = "(555)123-4567";      // 13
  ASSERT_EQ(name.size(), 19u);
  ASSERT_EQ(number.size(), 13u);
  const std::string expected =
      std::string("\x03", 1) + Zeros(7) + name + Zeros(45) + number + Zeros(51);
  EXPECT_EQ(CallDatagram(name, number), expected);
  EXPECT_EQ(expected.size(), 136u);
}

TEST(CallDatagram, SpecialValuesAndLengths) {
  struct Row {
    const char* label;
    std::string name, number;
    std::string sentName, sentNumber;
  };
  const std::string s64(64, 'n'), s65(65, 'n'), s300(300, '9');
  const Row rows[] = {
      {"LowerPAndO", "p", "o", "Private Caller", "Unknown Number"},
      {"UpperOAndP", "O", "P", "Unknown Name", "Private Number"},
      {"LongerTextsAreNotSpecial", "Po", "Op", "Po", "Op"},
      {"Empty", "", "", "", ""},
      {"Exactly64", s64, s64, s64, s64},
      {"NameOver64IsCut", s65, "1", s64, "1"},
      {"NumberOver64IsCut", "A", s300, "A", std::string(64, '9')},
      {"EightBitBytesStay", "M\xfcller \xe9", "5\x80", "M\xfcller \xe9", "5\x80"},
      {"ZeroByteInsideIsCopied", std::string("a\0b", 3), "1", std::string("a\0b", 3), "1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const std::string d = CallDatagram(row.name, row.number);
    ASSERT_EQ(d.size(), kCallDatagramSize);
    EXPECT_EQ(d.substr(0, 8), std::string("\x03", 1) + Zeros(7));
    EXPECT_EQ(d.substr(8, 64), row.sentName + Zeros(64 - row.sentName.size()));
    EXPECT_EQ(d.substr(72, 64), row.sentNumber + Zeros(64 - row.sentNumber.size()));
  }
}

// ---------------------------------------------------------------- service log

struct LogRig {
  std::vector<std::pair<std::string, std::string>> events;
  ServiceLog log;
  LogRig() : log(Hooks()) {}
  HostHooks Hooks() {
    HostHooks h;
    h.logEvent = [this](const std::string& t, const std::string& x) { events.emplace_back(t, x); };
    h.now = [] {
      std::tm t{};
      t.tm_year = 2026 - 1900;
      t.tm_mon = 0;
      t.tm_mday = 2;
      t.tm_hour = 15;
      t.tm_min = 4;
      t.tm_sec = 5;
      t.tm_isdst = -1;
      return std::chrono::system_clock::from_time_t(std::mktime(&t));
    };
    return h;
  }
};

TEST(ServiceLog, LinesCarryTimeSourceAndMessage) {
  struct Row {
    int level;
    const char* source;
  };
  const Row rows[] = {{0, "xapvynCID OrvoServer Info"},
                      {2, "xapvynCID OrvoServer Warning"},
                      {3, "xapvynCID OrvoServer Error"},
                      {7, "xapvynCID OrvoServer Info"},
                      {-1, "xapvynCID OrvoServer Info"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.level);
    LogRig rig;
    rig.log.ServerLog("hello", row.level);
    EXPECT_EQ(rig.log.Text(), std::string("1/2/2026 3:04:05 PM~!~") + row.source + "~!~hello\r\n");
    ASSERT_EQ(rig.events.size(), 1u);
    EXPECT_EQ(rig.events[0], (std::pair<std::string, std::string>{row.source, "hello"}));
  }
}

TEST(ServiceLog, DebugLinesOnlyWhileServiceDebug) {
  LogRig rig;
  rig.log.ServerLog("hidden", 1);
  EXPECT_EQ(rig.log.Text(), "");
  EXPECT_TRUE(rig.events.empty());
  rig.log.ServiceDebug = true;
  rig.log.ServerLog("shown", 1);
  EXPECT_EQ(rig.log.Text(), "1/2/2026 3:04:05 PM~!~xapvynCID Debug~!~shown\r\n");
  ASSERT_EQ(rig.events.size(), 1u);
  EXPECT_EQ(rig.events[0].first, "xapvynCID Debug");
}

TEST(ServiceLog, ReportErrorText) {
  LogRig rig;
  rig.log.ReportError(10054, "UDPSendCID()");
  ASSERT_EQ(rig.log.Lines().size(), 1u);
  EXPECT_EQ(rig.log.Lines()[0],
            "1/2/2026 3:04:05 PM~!~xapvynCID OrvoServer Error~!~An unexpected error occured in the "
            "UDPSendCID() function/subroutine:  [10054 - ]");
}

TEST(ServiceLog, ClearAppendAndListener) {
  LogRig rig;
  std::string seen;
  rig.log.SetListener([&](const std::string& piece) { seen += piece; });
  rig.log.ServerLog("one", 0);
  rig.log.Clear();
  EXPECT_EQ(rig.log.Text(), "");
  rig.log.Append("\r\n\r\nblock\r\n");
  rig.log.ServerLog("two", 0);
  EXPECT_EQ(rig.log.Lines(),
            (std::vector<std::string>{"", "", "block",
                                      "1/2/2026 3:04:05 PM~!~xapvynCID OrvoServer Info~!~two"}));
  EXPECT_NE(seen.find("~!~one\r\n"), std::string::npos);
  EXPECT_EQ(seen.substr(seen.size() - 5), "two\r\n");
}

TEST(ServiceLog, TextStaysBoundedDroppingWholeOldLines) {
  LogRig rig;
  const std::string message(1000, 'x');
  for (int i = 0; i < 1000; ++i) rig.log.ServerLog(std::to_string(i) + message, 0);
  EXPECT_LE(rig.log.Text().size(), ServiceLog::kMaxText);
  EXPECT_GT(rig.log.Text().size(), ServiceLog::kMaxText / 2);
  const std::vector<std::string> lines = rig.log.Lines();
  EXPECT_EQ(lines.front().substr(0, 22), "1/2/2026 3:04:05 PM~!~");
  EXPECT_EQ(lines.back(), "1/2/2026 3:04:05 PM~!~xapvynCID OrvoServer Info~!~999" + message);
  EXPECT_EQ(rig.events.size(), 1000u);
}

// ---------------------------------------------------------------- client table

struct Datagram {
  std::string address;
  int port;
  std::string bytes;
};

struct Rig : LogRig {
  Store store;
  std::vector<Datagram> sent;
  std::vector<std::string> failFor;  // addresses whose send fails
  int commitError = 0;
  int commits = 0;
  ClientRegistry registry;

  Rig()
      : registry(Store_(), log, [this](const std::string& a, int p, const std::string& b) {
          if (std::find(failFor.begin(), failFor.end(), a) != failFor.end())
            return ClientRegistry::SendResult{false, 7};
          sent.push_back({a, p, b});
          return ClientRegistry::SendResult{};
        }) {}

  ClientStore Store_() {
    ClientStore s;
    s.Get = [this](const std::string& sec, const std::string& key, const std::string& def) {
      auto it = store.find(sec + "/" + key);
      return it == store.end() ? def : it->second;
    };
    s.Save = [this](const std::string& sec, const std::string& key, const std::string& value) {
      store[sec + "/" + key] = value;
    };
    s.Commit = [this] {
      ++commits;
      return commitError;
    };
    return s;
  }
  void Request(char first, const std::string& sender, const std::string& rest = "") {
    registry.HandleRequest(std::string(1, first) + rest, sender);
  }
  void Start(int remotePort = 4550) {
    store["Options/RemotePort"] = std::to_string(remotePort);
    ASSERT_TRUE(registry.PrepareService().ok);
    registry.SetServiceActive(true);
  }
};

TEST(ClientRegistry, FirstSubscribeTakesSlotOne) {
  Rig rig;
  rig.Request('\x01', "192.168.1.20");
  EXPECT_EQ(rig.store, (Store{{"Clients/ClientMax", "1"}, {"Clients/1", "192.168.1.20"}}));
}

TEST(ClientRegistry, SubscribingTwiceChangesNothing) {
  Rig rig;
  rig.Request('\x01', "192.168.1.20");
  const Store before = rig.store;
  rig.Request('\x01', "192.168.1.20");
  EXPECT_EQ(rig.store, before);
}

TEST(ClientRegistry, UnsubscribeMarksAndSubscribeRestoresTheSameSlot) {
  Rig rig;
  rig.Request('\x01', "192.168.1.20");
  rig.Request('\x01', "192.168.1.21");
  rig.Request('\x02', "192.168.1.20");
  EXPECT_EQ(rig.registry.Slots(), (std::vector<std::string>{"-192.168.1.20", "192.168.1.21"}));
  rig.Request('\x01', "192.168.1.20", "trailing bytes");
  EXPECT_EQ(rig.registry.Slots(), (std::vector<std::string>{"192.168.1.20", "192.168.1.21"}));
  EXPECT_EQ(rig.store["Clients/ClientMax"], "2");
}

TEST(ClientRegistry, RequestsThatChangeNothing) {
  struct Row {
    const char* name;
    std::string data;
    std::string sender;
  };
  const Row rows[] = {
      {"UnsubscribeUnknownAddress", "\x02", "10.0.0.9"},
      {"UnknownByte", "\x03", "192.168.1.20"},
      {"Empty", "", "192.168.1.20"},
      {"EmptySender", "\x01", ""},
      {"DashedSender", "\x02", "-192.168.1.20"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig rig;
    rig.Request('\x01', "192.168.1.20");
    const Store before = rig.store;
    rig.registry.HandleRequest(row.data, row.sender);
    EXPECT_EQ(rig.store, before);
  }
}

TEST(ClientRegistry, DebugLinesNameTheRequest) {
  struct Row {
    std::string data;
    std::string sender;
    const char* line;  // nullptr: none
  };
  const Row rows[] = {
      {"\x01", "192.168.1.20", "CID Client Subcribe Request from 192.168.1.20"},
      {"\x02", "192.168.1.20", "CID Client Unsubcribe Request from 192.168.1.20"},
      {"\x7f", "192.168.1.20", "Unknown data received from 192.168.1.20"},
      {"", "192.168.1.20", "Empty Message Received from 192.168.1.20"},
      {"\x01", "", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line ? row.line : "silent");
    for (const char* debug : {"True", "true", "1", "False", "yes", ""}) {
      Rig rig;
      rig.log.ServiceDebug = true;
      if (*debug) rig.store["Options/Debug"] = debug;
      rig.registry.HandleRequest(row.data, row.sender);
      const bool on =
          std::string(debug) == "True" || std::string(debug) == "true" || std::string(debug) == "1";
      if (row.line && on) {
        ASSERT_EQ(rig.log.Lines().size(), 1u) << debug;
        EXPECT_EQ(rig.log.Lines()[0],
                  std::string("1/2/2026 3:04:05 PM~!~xapvynCID Debug~!~") + row.line);
      } else {
        EXPECT_EQ(rig.log.Text(), "") << debug;
      }
    }
  }
  // The stored option alone shows nothing while ServiceDebug is off.
  Rig rig;
  rig.store["Options/Debug"] = "True";
  rig.Request('\x01', "192.168.1.20");
  EXPECT_EQ(rig.log.Text(), "");
}

TEST(ClientRegistry, EachActiveClientGetsExactlyOneDatagramPerCall) {
  Rig rig;
  rig.Start(45501);
  rig.log.ServiceDebug = true;
  rig.Request('\x01', "192.168.1.20");
  rig.Request('\x01', "192.168.1.21");
  rig.Request('\x01', "192.168.1.22");
  rig.Request('\x02', "192.168.1.21");
  rig.log.Clear();
  rig.registry.SendCIDSentry("Smith", "(555)123-4567");
  ASSERT_EQ(rig.sent.size(), 2u);
  EXPECT_EQ(rig.sent[0].address, "192.168.1.20");
  EXPECT_EQ(rig.sent[1].address, "192.168.1.22");
  for (const Datagram& d : rig.sent) {
    EXPECT_EQ(d.port, 45501);
    EXPECT_EQ(d.bytes, CallDatagram("Smith", "(555)123-4567"));
  }
  const std::vector<std::string> lines = rig.log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("~!~xapvynCID Debug~!~Sent CID Message to host 192.168.1.20"),
            std::string::npos);
  EXPECT_NE(lines[1].find("~!~xapvynCID Debug~!~Sent CID Message to host 192.168.1.22"),
            std::string::npos);
}

TEST(ClientRegistry, NothingIsSentWhileInactive) {
  Rig rig;
  rig.Request('\x01', "192.168.1.20");
  rig.registry.SendCIDSentry("Smith", "1");
  EXPECT_TRUE(rig.sent.empty());
}

TEST(ClientRegistry, UdpSendCidSendsOnlyToAnActiveSlot) {
  Rig rig;
  rig.Start();
  rig.Request('\x01', "192.168.1.20");
  rig.Request('\x01', "192.168.1.21");
  rig.Request('\x02', "192.168.1.21");
  for (const char* client : {"192.168.1.21", "-192.168.1.21", "", "10.0.0.1"})
    rig.registry.UDPSendCID("p", "o", client);
  EXPECT_TRUE(rig.sent.empty());
  rig.registry.UDPSendCID("p", "o", "192.168.1.20");
  ASSERT_EQ(rig.sent.size(), 1u);
  EXPECT_EQ(rig.sent[0].bytes.substr(8, 14), "Private Caller");
  EXPECT_EQ(rig.sent[0].bytes.substr(72, 14), "Unknown Number");
}

TEST(ClientRegistry, FailedSendIsReportedAndTheNextClientStillGetsTheCall) {
  Rig rig;
  rig.Start();
  rig.Request('\x01', "192.168.1.20");
  rig.Request('\x01', "192.168.1.21");
  rig.failFor = {"192.168.1.20"};
  rig.log.Clear();
  rig.registry.SendCIDSentry("Smith", "1");
  ASSERT_EQ(rig.sent.size(), 1u);
  EXPECT_EQ(rig.sent[0].address, "192.168.1.21");
  ASSERT_EQ(rig.log.Lines().size(), 1u);
  EXPECT_NE(
      rig.log.Lines()[0].find("~!~xapvynCID OrvoServer Error~!~An unexpected error occured in "
                              "the UDPSendCID() function/subroutine:  [7 - ]"),
      std::string::npos);
  EXPECT_TRUE(rig.registry.ServiceActive());
}

TEST(ClientRegistry, PrepareServiceEmptiesTheTableAndFixesThePorts) {
  Rig rig;
  rig.Request('\x01', "192.168.1.20");
  rig.Request('\x01', "192.168.1.21");
  rig.Request('\x02', "192.168.1.21");
  const ClientRegistry::Ports ports = rig.registry.PrepareService();
  ASSERT_TRUE(ports.ok);
  EXPECT_EQ(ports.LocalPort, 4550);
  EXPECT_EQ(ports.RemotePort, 4550);
  EXPECT_EQ(rig.store, (Store{{"Clients/ClientMax", "0"},
                              {"Clients/1", ""},
                              {"Clients/2", ""},
                              {"Options/LocalPort", "4550"},
                              {"Options/RemotePort", "4550"}}));
  const std::vector<std::string> lines = rig.log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(
      lines[0].find("~!~xapvynCID OrvoServer Info~!~xapvynCID - Clearing CID Client Database..."),
      std::string::npos);
  EXPECT_NE(lines[1].find("~!~xapvynCID - Initializing I/O... (LocalPort=4550, RemotePort=4550)"),
            std::string::npos);
  // A display that subscribed before must subscribe again.
  rig.registry.SetServiceActive(true);
  rig.registry.SendCIDSentry("Smith", "1");
  EXPECT_TRUE(rig.sent.empty());
}

TEST(ClientRegistry, PortValues) {
  struct Row {
    const char* local;
    const char* remote;
    bool ok;
    int localPort, remotePort;
  };
  const Row rows[] = {
      {"4551", "4552", true, 4551, 4552}, {" 4551 ", "4552", true, 4551, 4552},
      {"0", "65535", true, 0, 65535},     {"abc", "4550", false, 0, 0},
      {"4550", "65536", false, 0, 0},     {"-1", "4550", false, 0, 0},
      {"", "4550", false, 0, 0},          {"4550x", "4550", false, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.local) + "/" + row.remote);
    Rig rig;
    rig.store["Options/LocalPort"] = row.local;
    rig.store["Options/RemotePort"] = row.remote;
    const ClientRegistry::Ports p = rig.registry.PrepareService();
    EXPECT_EQ(p.ok, row.ok);
    if (row.ok) {
      EXPECT_EQ(p.LocalPort, row.localPort);
      EXPECT_EQ(p.RemotePort, row.remotePort);
    } else {
      EXPECT_FALSE(p.description.empty());
    }
    EXPECT_EQ(rig.store["Options/LocalPort"], row.local);
  }
}

TEST(ClientRegistry, FullTableGivesWayToTheClientSilentForLongestWithOneWarning) {
  Rig rig;
  std::int64_t now = 0;
  rig.registry.SetClock([&] { return now; });
  rig.Start();
  rig.log.Clear();
  auto address = [](int i) {
    return "10." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1) + ".1";
  };
  for (int i = 0; i < ClientRegistry::kMaxClients; ++i, now += 10) rig.Request('\x01', address(i));
  EXPECT_TRUE(rig.log.Lines().empty());
  // Client 0 speaks again: client 1 is now the one silent for longest.
  rig.Request('\x01', address(0));
  now += 10;
  rig.Request('\x01', "192.168.7.7");
  EXPECT_EQ(rig.registry.ClientMax(), ClientRegistry::kMaxClients);
  EXPECT_EQ(rig.store["Clients/2"], "192.168.7.7");
  EXPECT_EQ(rig.store["Clients/1"], address(0));
  const std::vector<std::string> lines = rig.log.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("~!~xapvynCID OrvoServer Warning~!~CID Client Database full (256 clients)"),
            std::string::npos);
  EXPECT_NE(lines[0].find("192.168.7.7"), std::string::npos);

  // An unsubscribed slot is taken before any active client; later take-overs stay quiet.
  rig.Request('\x02', address(5));
  rig.Request('\x01', "192.168.7.8");
  EXPECT_EQ(rig.store["Clients/6"], "192.168.7.8");
  // A flood of new addresses never locks the table: the last one is always in.
  for (int i = 0; i < 1000; ++i, now += 1) rig.Request('\x01', "172.16." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1));
  EXPECT_EQ(rig.registry.ClientMax(), ClientRegistry::kMaxClients);
  const std::vector<std::string> slots = rig.registry.Slots();
  EXPECT_NE(std::find(slots.begin(), slots.end(), "172.16.4.200"), slots.end());
  EXPECT_EQ(rig.log.Lines().size(), 1u);
  rig.registry.SendCIDSentry("A", "1");
  EXPECT_EQ(rig.sent.size(), static_cast<std::size_t>(ClientRegistry::kMaxClients));

  // A restart empties the table and arms the warning again.
  rig.registry.PrepareService();
  rig.log.Clear();
  for (int i = 0; i < 300; ++i) rig.Request('\x01', address(i));
  EXPECT_EQ(rig.log.Lines().size(), 1u);
}

TEST(ClientRegistry, EachAddressChangesTheTableOnlyAtALimitedRate) {
  Rig rig;
  std::int64_t now = 0;
  rig.registry.SetClock([&] { return now; });
  rig.Start();
  rig.log.Clear();
  // A burst of changes goes through, then the address waits for its rate.
  for (int i = 0; i < 20; ++i) rig.Request(i % 2 ? '\x02' : '\x01', "192.168.1.20");
  EXPECT_EQ(rig.store["Clients/1"], "192.168.1.20");  // 5 changes: sub, unsub, sub, unsub, sub
  ASSERT_EQ(rig.log.Lines().size(), 1u);
  EXPECT_NE(rig.log.Lines()[0].find("Too many requests from 192.168.1.20"), std::string::npos);
  // Another address is not held back by it.
  rig.Request('\x01', "192.168.1.21");
  EXPECT_EQ(rig.store["Clients/2"], "192.168.1.21");
  now += 1000;
  rig.Request('\x02', "192.168.1.20");
  EXPECT_EQ(rig.store["Clients/1"], "-192.168.1.20");
  rig.Request('\x01', "192.168.1.20");
  EXPECT_EQ(rig.store["Clients/1"], "-192.168.1.20");
  EXPECT_EQ(rig.log.Lines().size(), 1u);
}

TEST(ClientRegistry, ChangesAreCommittedOnceWhenAsked) {
  Rig rig;
  rig.Start();
  const int before = rig.commits;
  rig.Request('\x01', "192.168.1.20");
  rig.Request('\x01', "192.168.1.21");
  EXPECT_TRUE(rig.registry.HasPendingChanges());
  EXPECT_EQ(rig.commits, before);
  EXPECT_TRUE(rig.registry.CommitPending());
  EXPECT_EQ(rig.commits, before + 1);
  EXPECT_FALSE(rig.registry.CommitPending());
  rig.Request('\x01', "192.168.1.21");  // no change
  EXPECT_FALSE(rig.registry.CommitPending());
  EXPECT_EQ(rig.commits, before + 1);
}

TEST(ClientRegistry, AllowedNetworksLimitWhoMaySubscribe) {
  struct Row {
    const char* name;
    const char* list;
    const char* address;
    bool accepted;
    std::size_t warnings;
  };
  const Row rows[] = {
      {"no list", "", "192.168.2.5", true, 0},
      {"inside first", "127.0.0.0/8, 192.168.1.0/24", "127.0.0.1", true, 0},
      {"inside second", "127.0.0.0/8, 192.168.1.0/24", "192.168.1.20", true, 0},
      {"outside", "127.0.0.0/8, 192.168.1.0/24", "192.168.2.20", false, 0},
      {"single host", "192.168.1.20", "192.168.1.20", true, 0},
      {"single host other", "192.168.1.20", "192.168.1.21", false, 0},
      {"bad entry left out", "nonsense, 10.0.0.0/8", "10.1.2.3", true, 1},
      {"only bad entries let nobody in", "10.0.0.0/33", "10.1.2.3", false, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig rig;
    rig.store["Options/AllowedNetworks"] = row.list;
    rig.log.Clear();
    rig.Start();
    std::size_t warnings = 0;
    for (const std::string& line : rig.log.Lines())
      if (line.find("AllowedNetworks") != std::string::npos) ++warnings;
    EXPECT_EQ(warnings, row.warnings);
    rig.Request('\x01', row.address);
    EXPECT_EQ(rig.registry.ClientMax(), row.accepted ? 1 : 0);
  }
}

TEST(ClientRegistry, UnreadableCountIsAnEmptyTable) {
  for (const char* count : {"abc", "-3", ""}) {
    SCOPED_TRACE(count);
    Rig rig;
    rig.store["Clients/ClientMax"] = count;
    EXPECT_EQ(rig.registry.ClientMax(), 0);
    rig.Request('\x01', "192.168.1.20");
    EXPECT_EQ(rig.store["Clients/ClientMax"], "1");
    EXPECT_EQ(rig.store["Clients/1"], "192.168.1.20");
  }
}

TEST(ClientRegistry, StoreFailureIsReportedForTheRequest) {
  Rig rig;
  rig.commitError = 1;
  rig.Request('\x01', "192.168.1.20");
  rig.registry.CommitPending();
  ASSERT_EQ(rig.log.Lines().size(), 1u);
  EXPECT_NE(rig.log.Lines()[0].find("An unexpected error occured in the Winsock Receive() "
                                    "function/subroutine:  [1 - ]"),
            std::string::npos);
}

TEST(ClientRegistry, DebugOptionRoundTrip) {
  Rig rig;
  EXPECT_FALSE(rig.registry.StoredDebug());
  rig.registry.SaveDebug(true);
  EXPECT_EQ(rig.store["Options/Debug"], "True");
  EXPECT_TRUE(rig.registry.StoredDebug());
  rig.registry.SaveDebug(false);
  EXPECT_EQ(rig.store["Options/Debug"], "False");
}

}  // namespace

TEST(ClientRegistry, RequestFloodDoesNotCommitTheStorePerRequest) {
  Rig rig;
  rig.Start();
  const int before = rig.commits;
  for (int i = 0; i < 1000; ++i) rig.Request(i % 2 ? '\x02' : '\x01', "192.168.1.20");
  EXPECT_LE(rig.commits - before, 1);
}

TEST(ClientRegistry, OnlyUnicastAddressesBecomeClients) {
  struct Row {
    const char* name;
    const char* address;
    bool accepted;
  };
  const Row rows[] = {
      {"loopback host", "127.0.0.1", true},
      {"lan host", "192.168.1.20", true},
      {"limited broadcast", "255.255.255.255", false},
      {"loopback broadcast", "127.255.255.255", false},
      {"loopback network", "127.0.0.0", false},
      {"lan broadcast", "192.168.1.255", false},
      {"lan network", "192.168.1.0", false},
      {"multicast", "224.0.0.1", false},
      {"multicast top", "239.255.255.250", false},
      {"reserved", "240.0.0.1", false},
      {"zero", "0.0.0.0", false},
      {"zero network", "0.1.2.3", false},
      {"not an address", "display.local", false},
      {"ipv6", "::1", false},
      {"octet out of range", "192.168.1.300", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig rig;
    rig.Start();
    rig.Request('\x01', row.address);
    EXPECT_EQ(rig.registry.ClientMax(), row.accepted ? 1 : 0);
    rig.registry.SendCIDSentry("A", "1");
    EXPECT_EQ(rig.sent.size(), row.accepted ? 1u : 0u);
  }
}
