// The xAP transport on real loopback sockets: port search, heartbeat bytes,
// send rules, receive queue and hand-over.
#include "xap/XapTransport.h"

#include <gtest/gtest.h>

#include "Loopback.h"
#include "common/XapItems.h"

namespace {

struct Rig {
  UdpCollector hub;  // stands in for the xAP hub on its port
  std::vector<std::unique_ptr<QUdpSocket>> taken;
  std::unique_ptr<XapTransport> xap;

  explicit Rig(int takenPorts = 0, int portsToTry = 200) {
    XapTransport::Timing t;
    t.remotePort = hub.Port();
    t.receiveDelayMs = 20;
    t.firstPort = TakeUdpPorts(takenPorts + 3, taken);  // a free run to search in
    taken.resize(static_cast<std::size_t>(takenPorts));   // release all but the first few
    t.portsToTry = portsToTry;
    xap = std::make_unique<XapTransport>(t);
    xap->BroadcastAddress = "127.0.0.1";
    xap->InterfaceAddress = "127.0.0.1";
    xap->SetXapSource("vyn.CID.DESK1");
    xap->SetXapUID("FF008000");
  }
  quint16 First() const { return static_cast<quint16>(xap->Port()); }
};

TEST(XapTransport, FirstHeartbeatIsExact) {
  Rig rig;
  int port = rig.xap->Init();
  ASSERT_GT(port, 0);
  EXPECT_EQ(rig.xap->SendHost(), "127.0.0.1");
  rig.xap->SendHeartbeat(60);
  ASSERT_TRUE(rig.hub.WaitCount(1));
  EXPECT_EQ(rig.hub.messages[0],
            "xap-hbeat\n{\nv=12\nhop=1\nuid=FF008000\nclass=xap-hbeat.alive\nsource=vyn.CID.DESK1\n"
            "interval=600\nport=" + std::to_string(port) + "\n}\n");
  EXPECT_EQ(rig.xap->HBeatTimer().interval(), 60000);
}

TEST(XapTransport, PortSearchSkipsTakenPorts) {
  std::vector<std::unique_ptr<QUdpSocket>> taken;
  quint16 base = TakeUdpPorts(2, taken);
  ASSERT_NE(base, 0);
  // Make sure the third port is free too.
  {
    QUdpSocket probe;
    ASSERT_TRUE(probe.bind(QHostAddress(QHostAddress::LocalHost), base + 2, QAbstractSocket::DontShareAddress));
  }
  XapTransport::Timing t;
  t.firstPort = base;
  XapTransport xap(t);
  xap.InterfaceAddress = "127.0.0.1";
  EXPECT_EQ(xap.Init(), base + 2);
}

TEST(XapTransport, AllPortsTakenFails) {
  std::vector<std::unique_ptr<QUdpSocket>> taken;
  quint16 base = TakeUdpPorts(5, taken);
  ASSERT_NE(base, 0);
  XapTransport::Timing t;
  t.firstPort = base;
  t.portsToTry = 5;
  XapTransport xap(t);
  xap.InterfaceAddress = "127.0.0.1";
  EXPECT_EQ(xap.Init(), -1);
}

TEST(XapTransport, HeartbeatIntervalLimits) {
  struct Row { int in; int timerMs; const char* wire; bool active; };
  const Row rows[] = {{3, 5000, "interval=50\n", true},
                      {0, 0, "interval=00\n", false},
                      {-4, 0, "interval=00\n", false},
                      {90, 60000, "interval=600\n", true}};
  Rig rig;
  ASSERT_GT(rig.xap->Init(), 0);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.in);
    rig.hub.messages.clear();
    rig.xap->SendHeartbeat(r.in);
    ASSERT_TRUE(rig.hub.WaitCount(1));
    EXPECT_NE(rig.hub.messages[0].find(r.wire), std::string::npos) << rig.hub.messages[0];
    EXPECT_EQ(rig.xap->HBeatTimer().isActive(), r.active);
    if (r.active) {
      EXPECT_EQ(rig.xap->HBeatTimer().interval(), r.timerMs);
    }
  }
}

TEST(XapTransport, HeartbeatRepeatsEveryTenthTick) {
  UdpCollector hub;
  XapTransport::Timing t;
  t.remotePort = hub.Port();
  t.msPerSecond = 1;  // a "60 s" tick takes 60 ms
  XapTransport xap(t);
  xap.InterfaceAddress = "127.0.0.1";
  xap.BroadcastAddress = "127.0.0.1";
  ASSERT_GT(xap.Init(), 0);
  xap.SendHeartbeat(60);
  ASSERT_TRUE(hub.WaitCount(1));
  Spin(60 * 5);
  EXPECT_EQ(hub.messages.size(), 1u) << "no heartbeat before the tenth tick";
  ASSERT_TRUE(hub.WaitCount(2, 3000));
  EXPECT_NE(hub.messages[1].find("interval=600\n"), std::string::npos);
}

// A set heartbeat interval: one heartbeat now and one every interval, each
// saying that interval.
TEST(XapTransport, HeartbeatEveryConfiguredInterval) {
  UdpCollector hub;
  XapTransport::Timing t;
  t.remotePort = hub.Port();
  t.msPerSecond = 2;  // "60 s" take 120 ms
  XapTransport xap(t);
  xap.InterfaceAddress = "127.0.0.1";
  xap.BroadcastAddress = "127.0.0.1";
  ASSERT_GT(xap.Init(), 0);
  xap.SetHeartbeatInterval(60);
  ASSERT_TRUE(hub.WaitCount(1));
  EXPECT_EQ(xap.HBeatTimer().interval(), 120);
  ASSERT_TRUE(hub.WaitCount(3, 3000));
  for (const std::string& m : hub.messages)
    EXPECT_NE(m.find("\ninterval=60\nport="), std::string::npos) << m;
}

TEST(XapTransport, SendXapUsesBscSourceForBscClasses) {
  struct Row { const char* cls; const char* source; const char* uid; };
  const Row rows[] = {
      {"xAPBSC.info", "source=vyn.CID.DESK1:CID.NetCallerIDLine1.Text\n", "uid=FF008001\n"},
      {"xapBSC.event", "source=vyn.CID.DESK1:CID.NetCallerIDLine1.Text\n", "uid=FF008001\n"},
      {"CID.Incoming", "source=vyn.CID.DESK1\n", "uid=FF008000\n"},
  };
  Rig rig;
  ASSERT_GT(rig.xap->Init(), 0);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.cls);
    rig.hub.messages.clear();
    EXPECT_EQ(rig.xap->SendXap("", r.cls, "S", XapItems({{"A", "1"}})), "");
    ASSERT_TRUE(rig.hub.WaitCount(1));
    EXPECT_NE(rig.hub.messages[0].find(r.source), std::string::npos) << rig.hub.messages[0];
    EXPECT_NE(rig.hub.messages[0].find(r.uid), std::string::npos);
  }
}

TEST(XapTransport, SendXapItemsAndTarget) {
  Rig rig;
  ASSERT_GT(rig.xap->Init(), 0);
  std::string data = XapItems({{"Role", "Application"}, {"Form", "Setup\x01" "Form"}});
  data += std::string("\0NoSeparator", 12);
  rig.xap->SendXap("acme.watch.pc1", "Homeseer.Role", "Role", data);
  rig.xap->SendXap("", "Empty.Class", "Nothing", "");
  rig.xap->SendXap("", "C", "S", XapItems({{"Name", "EVIL\nclass=forged\r"}}));
  ASSERT_TRUE(rig.hub.WaitCount(3));
  EXPECT_EQ(rig.hub.messages[0],
            "xap-header\n{\nv=12\nhop=1\nuid=FF008000\nclass=Homeseer.Role\nsource=vyn.CID.DESK1\n"
            "target=acme.watch.pc1\n}\nRole\n{\nRole=Application\nForm=Setup Form\n}\n");
  EXPECT_EQ(rig.hub.messages[1],
            "xap-header\n{\nv=12\nhop=1\nuid=FF008000\nclass=Empty.Class\nsource=vyn.CID.DESK1\n"
            "}\nNothing\n{\n}\n");
  EXPECT_NE(rig.hub.messages[2].find("\nName=EVIL class=forged \n"), std::string::npos)
      << "a line break in a value cannot forge a line";
}

TEST(XapTransport, AHubThatWasAwayDoesNotCostTheNextMessage) {
  // Nobody listens at the hub port at first: the kernel answers the first message with a
  // refusal, which a connected socket reports on the following send.
  quint16 hubPort;
  {
    UdpCollector probe;
    hubPort = probe.Port();
  }
  XapTransport::Timing t;
  t.remotePort = hubPort;
  std::vector<std::unique_ptr<QUdpSocket>> taken;
  t.firstPort = TakeUdpPorts(1, taken);
  taken.clear();
  XapTransport xap(t);
  xap.BroadcastAddress = xap.InterfaceAddress = "127.0.0.1";
  ASSERT_GT(xap.Init(), 0);
  EXPECT_EQ(xap.SendXap("", "C", "S", XapItems({{"N", "1"}})), "");
  Spin(50);
  UdpCollector hub(hubPort);
  ASSERT_TRUE(hub.Bound());
  EXPECT_EQ(xap.SendXap("", "C", "S", XapItems({{"N", "2"}})), "");
  ASSERT_TRUE(hub.WaitCount(1));
  EXPECT_NE(hub.messages[0].find("N=2"), std::string::npos);
}

TEST(XapTransport, ReceivedMessagesAreQueuedAndHandedOverInOrder) {
  Rig rig;
  ASSERT_GT(rig.xap->Init(), 0);
  std::vector<std::string> got;
  int calls = 0;
  rig.xap->RegisterNewMessageCallback([&] {
    ++calls;
    for (std::string m = rig.xap->GetMessage(); !m.empty(); m = rig.xap->GetMessage()) got.push_back(m);
  });
  const quint16 port = rig.First();
  SendUdp(port, "xap-header\n{\nclass=a\n}\n");
  SendUdp(port, "xap-hbeat\n{\nclass=xap-hbeat.alive\n}\n");  // filtered out
  SendUdp(port, "XAP-HEADER\n{\nclass=b\n}\n");
  SendUdp(port, "garbage");
  SendUdp(port, "xap-header\n{\nclass=c\n}\n");
  ASSERT_TRUE(WaitFor([&] { return got.size() >= 3; }));
  Spin(60);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].substr(0, 20), "xap-header\n{\nclass=a");
  EXPECT_EQ(got[1].substr(0, 20), "XAP-HEADER\n{\nclass=b");
  EXPECT_EQ(got[2].substr(0, 20), "xap-header\n{\nclass=c");
  EXPECT_EQ(calls, 1) << "a burst within the hand-over delay is handled in one pass";
}

TEST(XapTransport, FilterOffQueuesEverything) {
  Rig rig;
  ASSERT_GT(rig.xap->Init(), 0);
  rig.xap->FilterHeartbeats = false;
  SendUdp(rig.First(), "xap-hbeat\n");
  ASSERT_TRUE(WaitFor([&] { return rig.xap->QueuedMessages() == 1; }));
}

TEST(XapTransport, AddressFitsMask) {
  struct Row { const char* mask; const char* address; bool fits; };
  const Row rows[] = {
      {"192.168.1.255", "192.168.1.77", true},   {"192.168.1.20", "192.168.1.4", true},
      {"192.168.1.20", "192.168.1.5", false},    {"Default", "192.168.1.5", false},
      {"127.0.0.1", "127.0.0.1", true},          {"127.0.0.1", "192.0.2.2", false},
      {"1.2.3", "1.2.3.4", false},               {"255.255.255.255", "10.0.0.1", true},
  };
  for (const Row& r : rows)
    EXPECT_EQ(XapTransport::AddressFitsMask(r.mask, r.address), r.fits) << r.mask << " " << r.address;
}

TEST(XapTransport, GetIpPrefersMatchingInterfaceAndLoopbackLast) {
  XapTransport xap;
  xap.InterfaceAddress = "127.0.0.1";
  EXPECT_EQ(xap.GetIP(), "127.0.0.1");
  xap.InterfaceAddress = "Default";
  std::string first = xap.GetIP();
  EXPECT_FALSE(first.empty());
}

TEST(XapTransport, DefaultBroadcastAddressIsAllOnes) {
  // Init is not called with the default here: it would send nowhere but we must
  // not broadcast on a shared machine. The rule is checked through a transport
  // whose interface is not loopback-only, without sending anything.
  XapTransport::Timing t;
  std::vector<std::unique_ptr<QUdpSocket>> taken;
  t.firstPort = TakeUdpPorts(1, taken);
  taken.clear();
  XapTransport xap(t);
  xap.InterfaceAddress = "Default";
  xap.BroadcastAddress = "DEFAULT";
  xap.Init();
  if (xap.LocalAddress() != "127.0.0.1") {
    EXPECT_EQ(xap.SendHost(), "255.255.255.255");
  }
  xap.Unload();
}

}  // namespace
