// What the program does with each received xAP message: the four answered kinds, the address
// rules, the call hand-over with its flag, and bad input that must never stop the next message.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/XapItems.h"
#include "xap/XapRequestHandler.h"

namespace {

constexpr const char* kSource = "vyn.CID.host1";
constexpr const char* kProgramFile = "/opt/xapvynCID/xapvynCID";

struct Sent {
  std::string target, msgClass, section, data;
  bool operator==(const Sent&) const = default;
};

struct Call {
  std::string name, phone;
  bool flagDuringCall;
};

// One message as another device would send it; no target line when target is empty.
std::string Message(const std::string& cls, const std::string& source, const std::string& target,
                    const std::string& body) {
  std::string m =
      "xap-header\n{\nv=12\nhop=1\nuid=FF123400\nclass=" + cls + "\nsource=" + source + "\n";
  if (!target.empty()) m += "target=" + target + "\n";
  return m + "}\n" + body;
}

struct Rig {
  std::vector<Sent> sent;
  std::vector<Call> calls;
  std::vector<std::pair<std::string, std::string>> events;
  std::vector<std::pair<int, std::string>> errors;
  std::function<void()> duringCall;
  XapRequestHandler::CallState state{"(555)123-4567", "(555)987-6543", "Smith"};
  std::optional<XapRequestHandler> handler;

  Rig() { handler.emplace(XapRequestHandler::Context{kSource, kProgramFile}, Hooks(nullptr)); }

  // The hooks of the rig; file-log lines go to fileLog when given.
  XapRequestHandler::Hooks Hooks(std::vector<std::pair<std::string, std::string>>* fileLog) {
    XapRequestHandler::Hooks h;
    if (fileLog)
      h.FileLog = [fileLog](const std::string& s, const std::string& t) { fileLog->emplace_back(s, t); };
    h.SendXap = [this](const std::string& t, const std::string& c, const std::string& s,
                       const std::string& d) {
      sent.push_back({t, c, s, d});
    };
    h.TakeCall = [this](const std::string& name, const std::string& phone) {
      calls.push_back({name, phone, handler->FromXapFlag()});
      if (duringCall) duringCall();
    };
    h.CurrentCall = [this] { return state; };
    h.LogEvent = [this](const std::string& t, const std::string& x) { events.emplace_back(t, x); };
    h.SetError = [this](int l, const std::string& d) { errors.emplace_back(l, d); };
    return h;
  }
  void Read(const std::string& text) { handler->Readmessage(text); }
};

const Sent kRoleReply{
    "", "Homeseer.Role", "Role.Notification",
    XapItems({{"Role", "Application"}, {"Path", kProgramFile}, {"Form", "SetupForm"}})};

TEST(XapRequestHandler, RoleQueryIsAnsweredWhenAddressedAndAskingForApplications) {
  struct Row {
    const char* name;
    const char* target;
    const char* body;
    bool reply;
  };
  const Row rows[] = {
      {"AnyWithoutTarget", "", "Role.Query\n{\nRole=Any\n}\n", true},
      {"AnyLowerCase", "", "Role.Query\n{\nrole=any\n}\n", true},
      {"AnyUpperCase", "", "ROLE.QUERY\n{\nRole=ANY\n}\n", true},
      {"Application", "", "Role.Query\n{\nRole=Application\n}\n", true},
      {"Device", "", "Role.Query\n{\nRole=Device\n}\n", false},
      {"NoRoleItem", "", "Role.Query\n{\nKind=Any\n}\n", false},
      {"NoQuerySection", "", "Role.Other\n{\nRole=Any\n}\n", false},
      {"WildcardMatchingProgram", "vyn.CID.>", "Role.Query\n{\nRole=Any\n}\n", true},
      {"StarTarget", "*", "Role.Query\n{\nRole=Any\n}\n", true},
      {"ProgramExactly", "VYN.cid.HOST1", "Role.Query\n{\nRole=Any\n}\n", true},
      {"OtherDevice", "acme.watch.pc1", "Role.Query\n{\nRole=Any\n}\n", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig rig;
    rig.Read(Message("Homeseer.Role", "acme.hs.pc1", row.target, row.body));
    if (row.reply) {
      ASSERT_EQ(rig.sent.size(), 1u);
      EXPECT_EQ(rig.sent[0], kRoleReply);
    } else {
      EXPECT_TRUE(rig.sent.empty());
    }
  }
}

TEST(XapRequestHandler, EchoQueryGoesBackToItsSenderLowerCased) {
  Rig rig;
  rig.Read(Message("WDT.Echo", "acme.watch.pc1", "", "Echo.Query\n{\nQuery=Ping\n}\n"));
  ASSERT_EQ(rig.sent.size(), 1u);
  EXPECT_EQ(rig.sent[0], (Sent{"acme.watch.pc1", "WDT.Echo", "Echo.Response",
                               XapItems({{"Response", "ping"}})}));
  EXPECT_EQ(rig.handler->LastEchoQuery(), "ping");
}

TEST(XapRequestHandler, EchoWithoutQueryOrForAnotherDeviceIsIgnored) {
  struct Row {
    const char* name;
    const char* target;
    const char* body;
  };
  const Row rows[] = {
      {"NoEchoQuerySection", "", "Echo.Other\n{\nQuery=Ping\n}\n"},
      {"NoQueryItem", "", "Echo.Query\n{\nAsk=Ping\n}\n"},
      {"NoBodyAtAll", "", ""},
      {"OtherDevice", "acme.other.pc2", "Echo.Query\n{\nQuery=Ping\n}\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig rig;
    rig.Read(Message("WDT.Echo", "acme.watch.pc1", row.target, row.body));
    EXPECT_TRUE(rig.sent.empty());
    EXPECT_EQ(rig.handler->LastEchoQuery(), "");
  }
}

TEST(XapRequestHandler, BscQueryIsAnsweredOnlyWhenAddressedToTheProgram) {
  struct Row {
    const char* name;
    const char* target;
    bool reply;
  };
  const Row rows[] = {
      {"NoTarget", "", false},
      {"ProgramExactly", kSource, true},
      {"WildcardPart", "vyn.*.host1", true},
      {"WildcardRest", "vyn.>", true},
      {"EndpointSubAddress", "vyn.CID.host1:CID.NetCallerIDLine1.Text", false},
      {"OtherDevice", "acme.bsc.pc1", false},
  };
  const Sent reply{
      "", "xAPBSC.info", "input.state",
      XapItems(
          {{"State", "OFF"}, {"Text", "(555)123-4567"}, {"DisplayText", "(555)987-6543 : Smith"}})};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig rig;
    rig.Read(Message("xAPBSC.query", "acme.bsc.pc1", row.target, "request\n{\n}\n"));
    if (row.reply) {
      ASSERT_EQ(rig.sent.size(), 1u);
      EXPECT_EQ(rig.sent[0], reply);
    } else {
      EXPECT_TRUE(rig.sent.empty());
    }
  }
}

TEST(XapRequestHandler, BscReplyBetweenCallsHasEmptyText) {
  Rig rig;
  rig.state = {"", "", ""};
  rig.Read(Message("xapbsc.QUERY", "acme.bsc.pc1", kSource, "request\n{\n}\n"));
  ASSERT_EQ(rig.sent.size(), 1u);
  EXPECT_EQ(rig.sent[0].data, XapItems({{"State", "OFF"}, {"Text", ""}, {"DisplayText", " : "}}));
}

TEST(XapRequestHandler, CidIncomingFromAnotherDeviceIsTakenAsACallWithTheFlagSet) {
  for (const char* target : {"", "acme.other.pc2", kSource}) {
    SCOPED_TRACE(target);
    Rig rig;
    rig.Read(Message("CID.Incoming", "acme.phone.pc1", target,
                     "CID.Incoming\n{\nType=Voice\nPhone=5551234\nName=Smith\n}\n"));
    ASSERT_EQ(rig.calls.size(), 1u);
    EXPECT_EQ(rig.calls[0].name, "Smith");
    EXPECT_EQ(rig.calls[0].phone, "5551234");
    EXPECT_TRUE(rig.calls[0].flagDuringCall);
    EXPECT_FALSE(rig.handler->FromXapFlag());
    EXPECT_TRUE(rig.sent.empty());
  }
}

TEST(XapRequestHandler, OnlyAWholeCidIncomingWithPhoneOrNameIsACall) {
  const std::string whole = Message("CID.Incoming", "acme.phone.pc1", "",
                                    "CID.Incoming\n{\nType=Voice\nPhone=5551234\nName=Smith\n}\n");
  struct Row {
    const char* name;
    std::string text;
    bool call;
  };
  const Row rows[] = {
      {"whole", whole, true},
      {"phone only", Message("CID.Incoming", "a.b.c", "", "CID.Incoming\n{\nPhone=5\n}\n"), true},
      {"name only", Message("CID.Incoming", "a.b.c", "", "CID.Incoming\n{\nName=N\n}\n"), true},
      {"header only", "xap-header\n{\nclass=CID.Incoming\nsource=a.b.c\n}\n", false},
      {"header without brace", "xap-header\n{\nclass=CID.Incoming\nsource=a.b.c\n", false},
      {"other section", Message("CID.Incoming", "a.b.c", "", "Other\n{\nPhone=5\n}\n"), false},
      {"no phone or name",
       Message("CID.Incoming", "a.b.c", "", "CID.Incoming\n{\nType=Voice\n}\n"), false},
      {"cut short", whole.substr(0, whole.size() - 3), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig rig;
    std::vector<std::pair<std::string, std::string>> log;
    rig.handler.emplace(XapRequestHandler::Context{kSource, kProgramFile}, rig.Hooks(&log));
    rig.Read(row.text);
    EXPECT_EQ(rig.calls.size(), row.call ? 1u : 0u);
  }
}

TEST(XapRequestHandler, IgnoredMessagesAreLoggedAtMostOnceAMinuteWithACount) {
  Rig rig;
  std::vector<std::pair<std::string, std::string>> log;
  std::int64_t now = 1000;
  auto hooks = rig.Hooks(&log);
  hooks.NowMs = [&] { return now; };
  rig.handler.emplace(XapRequestHandler::Context{kSource, kProgramFile}, std::move(hooks));
  const std::string headerOnly = "xap-header\n{\nclass=CID.Incoming\nsource=a.b.c\n}\n";
  const std::string repeated = Message("WDT.Echo", "a.b.c", "", "Echo.Query\n{\nQuery=a\nQuery=b\n}\n");
  for (int i = 0; i < 150; ++i) {
    rig.Read(headerOnly);
    rig.Read(repeated);
    now += 100;
  }
  // One line of each kind so far, each with a time stamp (yyyy-mm-dd hh:mm:ss).
  ASSERT_EQ(log.size(), 2u);
  for (const auto& [source, text] : log) {
    EXPECT_EQ(source, "From XAP");
    ASSERT_GE(text.size(), 19u);
    EXPECT_EQ(text[4], '-');
    EXPECT_EQ(text[13], ':');
  }
  now += 60000;
  rig.Read(headerOnly);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_NE(log[2].second.find("(150 times)"), std::string::npos) << log[2].second;
}

TEST(XapRequestHandler, ControlBytesInReceivedTextsBecomeBlanks) {
  for (int b : {0x00, 0x01, 0x02, 0x09, 0x0D, 0x1B, 0x1F, 0x7F}) {
    SCOPED_TRACE(b);
    const char c = static_cast<char>(b);
    Rig rig;
    rig.Read(Message("CID.Incoming", "a.b.c", "",
                     std::string("CID.Incoming\n{\nPhone=555") + c + "1234\nName=Bad" + c +
                         "Phone" + '\x01' + "666\n}\n"));
    ASSERT_EQ(rig.calls.size(), 1u);
    EXPECT_EQ(rig.calls[0].phone, "555 1234");
    EXPECT_EQ(rig.calls[0].name, "Bad Phone 666");
    rig.Read(Message("WDT.Echo", "a.b.c", "", std::string("Echo.Query\n{\nQuery=x") + c + "y\n}\n"));
    ASSERT_EQ(rig.sent.size(), 1u);
    EXPECT_EQ(rig.sent[0].data, XapItems({{"Response", "x y"}}));
  }
}

TEST(XapRequestHandler, OwnCidIncomingComingBackIsNoCall) {
  for (const char* source : {kSource, "VYN.CID.HOST1"}) {
    SCOPED_TRACE(source);
    Rig rig;
    rig.Read(
        Message("CID.Incoming", source, "", "CID.Incoming\n{\nPhone=5551234\nName=Smith\n}\n"));
    EXPECT_TRUE(rig.calls.empty());
    EXPECT_TRUE(rig.sent.empty());
  }
  // A device whose address merely starts like the program's is another device.
  Rig rig;
  rig.Read(Message("CID.Incoming", "vyn.CID.host1x", "", "CID.Incoming\n{\nPhone=1\nName=A\n}\n"));
  EXPECT_EQ(rig.calls.size(), 1u);
}

TEST(XapRequestHandler, FailingCallClearsTheFlagAndTheNextMessageIsHandled) {
  Rig rig;
  rig.duringCall = [] { throw std::runtime_error("modem gone"); };
  rig.Read(Message("CID.Incoming", "acme.phone.pc1", "", "CID.Incoming\n{\nPhone=1\nName=A\n}\n"));
  EXPECT_FALSE(rig.handler->FromXapFlag());
  ASSERT_EQ(rig.calls.size(), 1u);
  EXPECT_TRUE(rig.calls[0].flagDuringCall);
  ASSERT_EQ(rig.events.size(), 1u);
  EXPECT_EQ(rig.events[0], (std::pair<std::string, std::string>{"xapvynCID", "Readmessage"}));
  ASSERT_EQ(rig.errors.size(), 1u);
  EXPECT_EQ(rig.errors[0].second, "modem gone");

  rig.duringCall = nullptr;
  rig.Read(Message("WDT.Echo", "acme.watch.pc1", "", "Echo.Query\n{\nQuery=Next\n}\n"));
  EXPECT_EQ(rig.sent.size(), 1u);
}

TEST(XapRequestHandler, OtherClassesAreIgnoredSilently) {
  Rig rig;
  for (const char* cls : {"Homeseer.Event", "xAP.Voice", "Message.Display", "Homeseer.Roles",
                          "xAPBSC.info", "Unknown"}) {
    rig.Read(Message(cls, "acme.any.pc1", "",
                     "Role.Query\n{\nRole=Any\n}\nEcho.Query\n{\nQuery=x\n}\n"));
  }
  EXPECT_TRUE(rig.sent.empty());
  EXPECT_TRUE(rig.calls.empty());
  EXPECT_TRUE(rig.events.empty());
}

TEST(XapRequestHandler, OwnRepliesComingBackAnswerNothing) {
  // The hub hands the program its own replies; none of them may start a conversation.
  Rig rig;
  rig.Read(Message("Homeseer.Role", kSource, "", "Role.Notification\n{\nRole=Application\n}\n"));
  rig.Read(Message("WDT.Echo", kSource, "acme.watch.pc1", "Echo.Response\n{\nResponse=ping\n}\n"));
  rig.Read(Message("xAPBSC.info", std::string(kSource) + ":CID.NetCallerIDLine1.Text", "",
                   "input.state\n{\nState=OFF\n}\n"));
  EXPECT_TRUE(rig.sent.empty());
}

TEST(XapRequestHandler, BadInputNeverStopsTheNextMessage) {
  std::string binary;
  for (int i = 0; i < 512; ++i) binary += static_cast<char>((i * 37) & 0xFF);
  std::string huge = Message("WDT.Echo", "acme.watch.pc1", "", "Echo.Query\n{\nQuery=");
  huge += std::string(64 * 1024, 'Q') + "\n}\n";
  struct Row {
    const char* name;
    std::string text;
  };
  const Row rows[] = {
      {"Empty", ""},
      {"Binary", binary},
      {"BinaryAfterHeader", "xap-header\n{\n" + binary},
      {"HeaderOnly", "xap-header\n{\nclass=WDT.Echo\n"},
      {"Huge", huge},
      {"RepeatedSections", Message("Homeseer.Role", "acme.hs.pc1", "",
                                   "Role.Query\n{\nRole=Any\n}\nRole.Query\n{\nRole=Any\n}\n")},
      {"RepeatedItems", Message("WDT.Echo", "a.b.c", "", "Echo.Query\n{\nQuery=a\nQuery=b\n}\n")},
      {"CrLf",
       "xap-header\r\n{\r\nclass=CID.Incoming\r\nsource=a.b.c\r\n}\r\nCID.Incoming\r\n{\r\n"
       "Phone=5\r\nName=N\r\n}\r\n"},
      {"ZeroBytes",
       Message("WDT.Echo", "a.b.c", "", std::string("Echo.Query\n{\nQuery=a\0b\n}\n", 25))},
      {"NoLineEnd", "xap-header{class=WDT.Echo}"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig rig;
    rig.Read(row.text);
    const std::size_t before = rig.sent.size();
    rig.Read(Message("WDT.Echo", "acme.watch.pc1", "", "Echo.Query\n{\nQuery=After\n}\n"));
    ASSERT_EQ(rig.sent.size(), before + 1);
    EXPECT_EQ(rig.sent.back().data, XapItems({{"Response", "after"}}));
    EXPECT_FALSE(rig.handler->FromXapFlag());
  }
}

TEST(XapRequestHandler, HugeEchoQueryIsAnsweredWhole) {
  Rig rig;
  const std::string query(64 * 1024, 'Q');
  rig.Read(Message("WDT.Echo", "acme.watch.pc1", "", "Echo.Query\n{\nQuery=" + query + "\n}\n"));
  ASSERT_EQ(rig.sent.size(), 1u);
  EXPECT_EQ(rig.sent[0].data, "Response\x01" + std::string(64 * 1024, 'q'));
}

TEST(XapRequestHandler, ContextCanBeSetAfterConstruction) {
  Rig rig;
  rig.handler->SetXapSource("vyn.CID.den.host1");
  rig.handler->SetProgramFile("/usr/bin/xapvynCID");
  rig.Read(
      Message("Homeseer.Role", "acme.hs.pc1", "vyn.CID.den.host1", "Role.Query\n{\nRole=any\n}\n"));
  ASSERT_EQ(rig.sent.size(), 1u);
  EXPECT_EQ(
      rig.sent[0].data,
      XapItems({{"Role", "Application"}, {"Path", "/usr/bin/xapvynCID"}, {"Form", "SetupForm"}}));
  rig.Read(
      Message("CID.Incoming", "vyn.CID.den.host1", "", "CID.Incoming\n{\nPhone=1\nName=A\n}\n"));
  EXPECT_TRUE(rig.calls.empty());
}

}  // namespace
