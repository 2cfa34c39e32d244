// Request handling plugged into the running program object, on loopback: requests go to the
// program's xAP port, replies and announcements are caught on a private hub port.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <ctime>
#include <fstream>
#include <optional>

#include "Loopback.h"
#include "announce/Announce.h"
#include "app/Application.h"
#include "app/Paths.h"
#include "xap/XapMessage.h"
#include "xap/XapRequestHandler.h"

namespace {

std::string Message(const std::string& cls, const std::string& source, const std::string& target,
                    const std::string& body) {
  std::string m =
      "xap-header\n{\nv=12\nhop=1\nuid=FF123400\nclass=" + cls + "\nsource=" + source + "\n";
  if (!target.empty()) m += "target=" + target + "\n";
  return m + "}\n" + body;
}

std::string Echo(const std::string& query) {
  return Message("WDT.Echo", "acme.watch.pc1", "", "Echo.Query\n{\nQuery=" + query + "\n}\n");
}

// The program object with the request handler wired in the way start-up wires it: replies
// through the program's SendXap, calls through the announcement with the handler's flag.
struct Rig {
  QTemporaryDir home;
  UdpCollector hub;
  std::vector<std::unique_ptr<QUdpSocket>> ports;
  std::unique_ptr<Application> app;
  std::optional<XapRequestHandler> handler;
  std::vector<std::pair<std::string, std::string>> calls;
  std::function<void()> duringCall;
  std::function<void(const std::string&)> beforeRead;

  // custom: plug a handler of the test's own into the program (to watch calls);
  // otherwise the program's own wiring handles every message.
  explicit Rig(bool custom = true) {
    QDir().mkpath(home.path() + "/Config");
    std::ofstream(home.path().toStdString() + "/Config/vynXap.ini", std::ios::binary)
        << "[Interface]\r\nBroadcastAddress=127.0.0.1\r\nInterfaceAddress=127.0.0.1\r\n";
    Application::Options o;
    o.home = home.path().toStdString();
    o.headless = false;
    o.xapTiming.remotePort = hub.Port();
    o.xapTiming.receiveDelayMs = 50;
    o.xapTiming.firstPort = TakeUdpPorts(4, ports);
    ports.clear();
    // The client service keeps its table and ports in the test's own store.
    const quint16 clientPort = TakeUdpPorts(1, ports, 52000);
    ports.clear();
    o.clientStoreFile = home.path().toStdString() + "/clients.ini";
    std::ofstream(o.clientStoreFile) << "[Options]\nLocalPort=" << clientPort
                                      << "\nRemotePort=" << clientPort << "\n";
    app = std::make_unique<Application>(o);
    if (app->Start() != 0) return;
    if (!custom) return;

    XapRequestHandler::Hooks h;
    h.SendXap = [this](const std::string& t, const std::string& c, const std::string& s,
                       const std::string& d) { app->SendXap(t, c, s, d); };
    h.TakeCall = [this](const std::string& name, const std::string& phone) {
      calls.emplace_back(name, phone);
      if (duringCall) duringCall();
      Announce(name, phone, handler->FromXapFlag());
    };
    h.CurrentCall = [] { return XapRequestHandler::CallState{"", "(555)123-4567", "Smith"}; };
    h.LogEvent = [this](const std::string& t, const std::string& x) { app->LogEvent(t, x); };
    h.SetError = [this](int l, const std::string& d) { app->Log().SetError(l, d); };
    handler.emplace(XapRequestHandler::Context{app->Xap()->XapSource(), app->ProgramFile()},
                    std::move(h));
    app->SetMessageHandler([this](const std::string& m) {
      if (beforeRead) beforeRead(m);
      handler->Readmessage(m);
    });
  }

  void Announce(const std::string& name, const std::string& phone, bool fromXap) {
    const std::time_t t = std::time(nullptr);
    std::tm now{};
    localtime_r(&t, &now);
    AnnounceCall(name, name, phone, AnnounceOptions{}, fromXap, now,
                 [this](const std::string& tg, const std::string& c, const std::string& s,
                        XapItemList items) { app->SendXap(tg, c, s, XapItems(items)); });
  }

  quint16 Port() const { return static_cast<quint16>(app->Xap()->Port()); }

  // Every message the program sent to the hub whose class is cls, parsed.
  std::vector<XapMessage> Sent(const std::string& cls) const {
    std::vector<XapMessage> out;
    for (const std::string& text : hub.messages) {
      XapMessage m;
      m.FromXap(text);
      if (m.CompareClass(cls)) out.push_back(std::move(m));
    }
    return out;
  }
  std::vector<std::string> SentTexts(const std::string& cls) const {
    std::vector<std::string> out;
    for (const std::string& text : hub.messages) {
      XapMessage m;
      m.FromXap(text);
      if (m.CompareClass(cls)) out.push_back(text);
    }
    return out;
  }
  // Sends an echo query and waits for its reply: every message sent before it has been handled.
  bool Sync(const std::string& tag) {
    SendUdp(Port(), Echo(tag));
    return WaitFor([&] {
      for (const XapMessage& m : Sent("WDT.Echo"))
        if (m.GetItem("Echo.Response", "Response") == tag) return true;
      return false;
    });
  }
};

TEST(XapRequestLoopback, RoleQueryGetsTheProgramPathAndSetupForm) {
  Rig rig;
  ASSERT_TRUE(rig.handler);
  SendUdp(rig.Port(), Message("Homeseer.Role", "acme.hs.pc1", "", "Role.Query\n{\nRole=aNy\n}\n"));
  SendUdp(rig.Port(),
          Message("Homeseer.Role", "acme.hs.pc1", "", "Role.Query\n{\nRole=Device\n}\n"));
  SendUdp(rig.Port(),
          Message("Homeseer.Role", "acme.hs.pc1", "acme.hs.pc2", "Role.Query\n{\nRole=Any\n}\n"));
  SendUdp(rig.Port(),
          Message("Homeseer.Role", "acme.hs.pc1", "vyn.CID.>", "Role.Query\n{\nRole=Any\n}\n"));
  ASSERT_TRUE(rig.Sync("done"));
  const std::vector<XapMessage> replies = rig.Sent("Homeseer.Role");
  ASSERT_EQ(replies.size(), 2u);
  for (const XapMessage& r : replies) {
    EXPECT_EQ(r.msgTarget(), "Unknown");
    EXPECT_EQ(r.msgSource(), rig.app->Xap()->XapSource());
    EXPECT_EQ(r.GetItem("Role.Notification", "Role"), "Application");
    EXPECT_EQ(r.GetItem("Role.Notification", "Path"), ProgramFilePath());
    EXPECT_EQ(r.GetItem("Role.Notification", "Form"), "SetupForm");
  }
}

TEST(XapRequestLoopback, EchoReplyIsAddressedToTheAsker) {
  Rig rig;
  ASSERT_TRUE(rig.handler);
  SendUdp(rig.Port(), Message("WDT.Echo", "acme.watch.pc1", "", "Other\n{\nQuery=No\n}\n"));
  SendUdp(rig.Port(), Echo("Ping"));
  ASSERT_TRUE(rig.Sync("done"));
  const std::vector<XapMessage> replies = rig.Sent("WDT.Echo");
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0].msgTarget(), "acme.watch.pc1");
  EXPECT_EQ(replies[0].GetItem("Echo.Response", "Response"), "ping");
}

TEST(XapRequestLoopback, BscQueryIsAnsweredFromTheBscEndpoint) {
  Rig rig;
  ASSERT_TRUE(rig.handler);
  const std::string source = rig.app->Xap()->XapSource();
  SendUdp(rig.Port(), Message("xAPBSC.query", "acme.bsc.pc1", "", "request\n{\n}\n"));
  SendUdp(rig.Port(), Message("xAPBSC.query", "acme.bsc.pc1", source, "request\n{\n}\n"));
  SendUdp(rig.Port(), Message("xAPBSC.query", "acme.bsc.pc1", "vyn.*.>", "request\n{\n}\n"));
  ASSERT_TRUE(rig.Sync("done"));
  const std::vector<XapMessage> replies = rig.Sent("xAPBSC.info");
  ASSERT_EQ(replies.size(), 2u);
  for (const XapMessage& r : replies) {
    EXPECT_EQ(r.msgSource(), source + ":CID.NetCallerIDLine1.Text");
    ASSERT_FALSE(r.msgUID().empty());
    EXPECT_EQ(r.msgUID().back(), '1');
    EXPECT_EQ(r.msgTarget(), "Unknown");
    EXPECT_EQ(r.GetItem("input.state", "State"), "OFF");
    EXPECT_EQ(r.GetItem("input.state", "Text"), "");
    EXPECT_EQ(r.GetItem("input.state", "DisplayText"), "(555)123-4567 : Smith");
  }
}

TEST(XapRequestLoopback, CallFromAnotherDeviceIsAnnouncedWithoutEchoingIt) {
  Rig rig;
  ASSERT_TRUE(rig.handler);
  SendUdp(rig.Port(), Message("CID.Incoming", "acme.phone.pc1", "",
                              "CID.Incoming\n{\nType=Voice\nPhone=5551234\nName=Smith\n}\n"));
  ASSERT_TRUE(rig.Sync("done"));
  ASSERT_EQ(rig.calls.size(), 1u);
  EXPECT_EQ(rig.calls[0], (std::pair<std::string, std::string>{"Smith", "5551234"}));
  EXPECT_EQ(rig.Sent("Message.Display").size(), 1u);
  EXPECT_EQ(rig.Sent("xAP.Voice").size(), 1u);
  EXPECT_TRUE(rig.Sent("CID.Incoming").empty());
  EXPECT_FALSE(rig.handler->FromXapFlag());
}

TEST(XapRequestLoopback, OwnCallAnnouncementSentBackIsNoCall) {
  Rig rig;
  ASSERT_TRUE(rig.handler);
  // A call of the program's own (from its modem) is announced with CID.Incoming...
  rig.Announce("Jones", "(555)222-3333", false);
  ASSERT_TRUE(WaitFor([&] { return rig.SentTexts("CID.Incoming").size() == 1; }));
  // ...which the hub hands back to the program, as it does with every message.
  SendUdp(rig.Port(), rig.SentTexts("CID.Incoming")[0]);
  ASSERT_TRUE(rig.Sync("done"));
  EXPECT_TRUE(rig.calls.empty());
  EXPECT_EQ(rig.Sent("Message.Display").size(), 1u);
  EXPECT_EQ(rig.Sent("xAP.Voice").size(), 1u);
}

TEST(XapRequestLoopback, EverythingTheProgramSendsComingBackStartsNothing) {
  Rig rig;
  ASSERT_TRUE(rig.handler);
  const std::string source = rig.app->Xap()->XapSource();
  SendUdp(rig.Port(), Message("Homeseer.Role", "acme.hs.pc1", "", "Role.Query\n{\nRole=Any\n}\n"));
  SendUdp(rig.Port(), Message("xAPBSC.query", "acme.bsc.pc1", source, "request\n{\n}\n"));
  rig.Announce("Jones", "(555)222-3333", false);
  ASSERT_TRUE(rig.Sync("first"));
  const std::vector<std::string> first = rig.hub.messages;
  for (const std::string& text : first) SendUdp(rig.Port(), text);
  ASSERT_TRUE(rig.Sync("second"));
  // Only the second sync's own reply is new.
  EXPECT_EQ(rig.hub.messages.size(), first.size() + 1);
  EXPECT_TRUE(rig.calls.empty());
}

TEST(XapRequestLoopback, FiveMessagesAreHandledInArrivalOrderInOnePass) {
  Rig rig;
  ASSERT_TRUE(rig.handler);
  std::optional<std::size_t> queuedAtFirst;
  rig.beforeRead = [&](const std::string&) {
    if (!queuedAtFirst) queuedAtFirst = rig.app->Xap()->QueuedMessages();
  };
  for (int i = 0; i < 5; ++i) SendUdp(rig.Port(), Echo("Q" + std::to_string(i)));
  ASSERT_TRUE(WaitFor([&] { return rig.Sent("WDT.Echo").size() == 5; }));
  const std::vector<XapMessage> replies = rig.Sent("WDT.Echo");
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(replies[i].GetItem("Echo.Response", "Response"), "q" + std::to_string(i));
  ASSERT_TRUE(queuedAtFirst);
  EXPECT_EQ(*queuedAtFirst, 4u);
}

TEST(XapRequestLoopback, MessagesArrivingDuringACallKeepTheirOrder) {
  // Call processing may run the event loop; what arrives meanwhile waits for the running pass.
  Rig rig;
  ASSERT_TRUE(rig.handler);
  bool sentDuring = false;
  rig.duringCall = [&] {
    if (sentDuring) return;
    sentDuring = true;
    SendUdp(rig.Port(), Echo("During"));
    Spin(200);
    EXPECT_TRUE(rig.Sent("WDT.Echo").empty());
    EXPECT_TRUE(rig.handler->FromXapFlag());
  };
  SendUdp(rig.Port(),
          Message("CID.Incoming", "acme.phone.pc1", "", "CID.Incoming\n{\nPhone=1\nName=A\n}\n"));
  SendUdp(rig.Port(), Echo("After"));
  ASSERT_TRUE(WaitFor([&] { return rig.Sent("WDT.Echo").size() == 2; }));
  const std::vector<XapMessage> replies = rig.Sent("WDT.Echo");
  EXPECT_EQ(replies[0].GetItem("Echo.Response", "Response"), "after");
  EXPECT_EQ(replies[1].GetItem("Echo.Response", "Response"), "during");
  EXPECT_FALSE(rig.handler->FromXapFlag());
}

TEST(XapRequestLoopback, ProgramWiringTakesOtherCallsAndIgnoresItsOwn) {
  Rig rig(false);
  ASSERT_TRUE(rig.app->XapReady());
  SendUdp(rig.Port(), Message("CID.Incoming", "acme.phone.pc1", "",
                              "CID.Incoming\n{\nType=Voice\nPhone=5551234\nName=Smith\n}\n"));
  ASSERT_TRUE(rig.Sync("first"));
  ASSERT_EQ(rig.Sent("Message.Display").size(), 1u);
  EXPECT_EQ(rig.Sent("Message.Display")[0].GetItem("Display.Text", "Line2"), "Smith");
  EXPECT_EQ(rig.Sent("xAP.Voice").size(), 1u);
  EXPECT_TRUE(rig.Sent("CID.Incoming").empty());
  EXPECT_FALSE(rig.app->FromXapFlag());
  EXPECT_EQ(rig.app->Record().DisplayNumber, "555-1234");

  // A call of the program's own, handed back by the hub, is no call.
  CallerIdCall own;
  own.number = "(555)222-3333";
  own.name = "Jones";
  rig.app->OnCallerIdCall(own);
  ASSERT_TRUE(WaitFor([&] { return rig.SentTexts("CID.Incoming").size() == 1; }));
  SendUdp(rig.Port(), rig.SentTexts("CID.Incoming")[0]);
  ASSERT_TRUE(rig.Sync("second"));
  EXPECT_EQ(rig.Sent("Message.Display").size(), 2u) << "only the program's own announcement";
}

TEST(XapRequestLoopback, BadInputDoesNotStopTheNextMessage) {
  Rig rig;
  ASSERT_TRUE(rig.handler);
  SendUdp(rig.Port(), "");
  SendUdp(rig.Port(), std::string("\x00\xff\x01junk", 7));
  SendUdp(rig.Port(), "xap-header\n{\n" + std::string(60 * 1024, '\xA7'));
  SendUdp(rig.Port(), Message("WDT.Echo", "a.b.c", "",
                              "Echo.Query\n{\nQuery=a\n}\nEcho.Query\n{\nQuery=b\n}\n"));
  SendUdp(rig.Port(),
          "xap-header\r\n{\r\nclass=WDT.Echo\r\nsource=a.b.c\r\n}\r\nEcho.Query\r\n{\r\nQuery="
          "c\r\n}\r\n");
  ASSERT_TRUE(rig.Sync("done"));
}

}  // namespace

namespace {
// The program started with the given [Interface] Hub value and a hub port of the test's own.
struct HubRig {
  QTemporaryDir home;
  std::vector<std::unique_ptr<QUdpSocket>> ports;
  quint16 hubPort = 0;
  std::unique_ptr<Application> app;

  HubRig(const std::string& hub, bool holdHubPort) {
    QDir().mkpath(home.path() + "/Config");
    std::ofstream(home.path().toStdString() + "/Config/vynXap.ini", std::ios::binary)
        << "[Interface]\r\nBroadcastAddress=127.0.0.1\r\nInterfaceAddress=127.0.0.1\r\n"
        << (hub.empty() ? "" : "Hub=" + hub + "\r\n");
    Application::Options o;
    o.home = home.path().toStdString();
    o.headless = false;
    hubPort = TakeUdpPorts(1, ports, 53000);
    if (!holdHubPort) ports.clear();
    o.xapTiming.remotePort = hubPort;
    o.xapTiming.receiveDelayMs = 5;
    std::vector<std::unique_ptr<QUdpSocket>> taken;
    o.xapTiming.firstPort = TakeUdpPorts(4, taken);
    taken.clear();
    const quint16 clientPort = TakeUdpPorts(1, taken, 54000);
    taken.clear();
    o.clientStoreFile = home.path().toStdString() + "/clients.ini";
    std::ofstream(o.clientStoreFile) << "[Options]\nLocalPort=" << clientPort
                                      << "\nRemotePort=" << clientPort << "\n";
    app = std::make_unique<Application>(o);
    app->Start();
  }
};

std::string Heartbeat(quint16 port) {
  return "xap-hbeat\r\n{\r\nv=12\r\nhop=1\r\nuid=FF777700\r\nclass=xap-hbeat.alive\r\n"
         "source=acme.listener.pc1\r\ninterval=60\r\nport=" +
         std::to_string(port) + "\r\n}\r\n";
}

bool Heard(const UdpCollector& c, const std::string& cls, const std::string& section,
           const std::string& item, const std::string& value) {
  for (const std::string& text : c.messages) {
    XapMessage m;
    m.FromXap(text);
    if (m.CompareClass(cls) && m.GetItem(section, item) == value) return true;
  }
  return false;
}
}  // namespace

TEST(XapHubLoopback, HubStartsOnlyWhenAllowedAndThePortIsFree) {
  struct Row {
    const char* name;
    std::string hub;
    bool held;
    bool runs;
  };
  const Row rows[] = {{"default is auto", "", false, true},
                      {"auto", "auto", false, true},
                      {"on", "On", false, true},
                      {"off", "off", false, false},
                      {"auto steps back for a running hub", "auto", true, false},
                      {"on steps back for a running hub", "on", true, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HubRig rig(row.hub, row.held);
    ASSERT_TRUE(rig.app->XapReady());
    EXPECT_EQ(rig.app->Hub() != nullptr, row.runs);
  }
}

TEST(XapHubLoopback, ApplicationThatOnlyHeartbeatsHearsTheProgramAndIsAnswered) {
  HubRig rig("auto", false);
  ASSERT_TRUE(rig.app->XapReady());
  ASSERT_NE(rig.app->Hub(), nullptr);
  UdpCollector listener;
  SendUdp(rig.hubPort, Heartbeat(listener.Port()));
  // Registered: the program by its own heartbeat, the listener by its.
  ASSERT_TRUE(WaitFor([&] { return rig.app->Hub()->Table().Size() == 2; }));

  // Another device's call reaches the program through the hub; its announcement reaches
  // the listener the same way.
  SendUdp(rig.hubPort, Message("CID.Incoming", "acme.phone.pc1", "",
                               "CID.Incoming\n{\nType=Voice\nPhone=5551234\nName=Smith\n}\n"));
  EXPECT_TRUE(WaitFor([&] { return Heard(listener, "Message.Display", "Display.Text", "Line2", "Smith"); }));
  // A request of the listener is answered to it.
  SendUdp(rig.hubPort, Echo("through-the-hub"));
  EXPECT_TRUE(WaitFor([&] {
    return Heard(listener, "WDT.Echo", "Echo.Response", "Response", "through-the-hub");
  }));
}
