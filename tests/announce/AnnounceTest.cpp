#include "announce/Announce.h"
#include "announce/XapAnnouncer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Sent {
  std::string cls, section, data;
};

std::tm Saturday() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 5;
  t.tm_wday = 6;
  t.tm_hour = 18;
  t.tm_min = 45;
  t.tm_sec = 12;
  return t;
}

std::vector<Sent> Announce(const std::string& name, const std::string& caller, const std::string& number,
                      AnnounceOptions o = {}, bool fromXap = false, std::tm now = Saturday()) {
  std::vector<Sent> sent;
  AnnounceCall(name, caller, number, o, fromXap, now,
               [&](const std::string& target, const std::string& c, const std::string& s, XapItemList items) {
                 EXPECT_EQ(target, "");
                 sent.push_back({c, s, XapItems(items)});
               });
  return sent;
}

std::string Items(std::initializer_list<std::pair<const char*, const char*>> items) {
  std::string out;
  for (auto& [n, v] : items) {
    if (!out.empty() || n != items.begin()->first) out += '\0';
    out += n;
    out += '\x01';
    out += v;
  }
  return out;
}

}  // namespace

TEST(Announce, ThreeMessagesInOrderWithExactItems) {
  auto sent = Announce("JOHN DOE", "JOHN DOE", "(555) 123-4567");
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].cls, "CID.Incoming");
  EXPECT_EQ(sent[0].section, "CID.Incoming");
  EXPECT_EQ(sent[0].data, Items({{"Type", "Voice"}, {"DateTime", "20261205184512"}, {"Phone", "5551234567"},
                                 {"RNNumber", "Available"}, {"Formatted_Date", "Saturday, December 05, 2026"},
                                 {"Formatted_Time", "6:45:12 PM"}, {"Name", "JOHN DOE"}, {"RNName", "Available"}}));
  EXPECT_EQ(sent[1].cls, "Message.Display");
  EXPECT_EQ(sent[1].section, "Display.Text");
  EXPECT_EQ(sent[1].data, Items({{"Duration", "5"}, {"Line1", "5551234567  6:45:12 PM"}, {"Line2", "JOHN DOE"}}));
  EXPECT_EQ(sent[2].cls, "xAP.Voice");
  EXPECT_EQ(sent[2].section, "Voice.Speak");
  EXPECT_EQ(sent[2].data, Items({{"Say", "Call from JOHN DOE"}}));
}

TEST(Announce, SwitchesAndFromXap) {
  struct Row { const char* label; AnnounceOptions o; bool fromXap; std::vector<std::string> classes; };
  const Row rows[] = {
      {"all off", {false, false, false, "Call from"}, false, {}},
      {"from xap", {}, true, {"Message.Display", "xAP.Voice"}},
      {"voice only", {false, false, true, "Call from"}, false, {"xAP.Voice"}},
      {"cid only", {true, false, false, "Call from"}, false, {"CID.Incoming"}},
  };
  for (const Row& r : rows) {
    std::vector<std::string> classes;
    for (auto& s : Announce("A", "A", "1", r.o, r.fromXap)) classes.push_back(s.cls);
    EXPECT_EQ(classes, r.classes) << r.label;
  }
}

TEST(Announce, WithheldEmptyPrefixAndEarlyMorning) {
  AnnounceOptions o;
  o.FormatPrefix = "";
  std::tm t = Saturday();
  t.tm_mon = 0;
  t.tm_mday = 3;
  t.tm_wday = 6;
  t.tm_hour = 0;
  t.tm_min = 5;
  t.tm_sec = 9;
  auto sent = Announce("Unknown", "Unknown", "555-1234", o, false, t);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_NE(sent[0].data.find("RNNumber\x01Withheld"), std::string::npos);
  EXPECT_NE(sent[0].data.find("RNName\x01Withheld"), std::string::npos);
  EXPECT_NE(sent[0].data.find("DateTime\x01" "20260103000509"), std::string::npos);
  EXPECT_NE(sent[0].data.find("Formatted_Time\x01" "12:05:09 AM"), std::string::npos);
  EXPECT_EQ(sent[2].data, std::string("Say\x01 Unknown"));
  EXPECT_EQ(sent[1].data.substr(0, 28), std::string("Duration\x01" "5\0Line1\x01" "5551234  12", 28));
}

namespace {
// The item names of one encoded section, in order.
std::vector<std::string> ItemNames(const std::string& data) {
  std::vector<std::string> names;
  std::size_t from = 0;
  for (;;) {
    const std::size_t end = data.find('\0', from);
    const std::string item = data.substr(from, end == std::string::npos ? std::string::npos : end - from);
    names.push_back(item.substr(0, item.find('\x01')));
    if (end == std::string::npos) break;
    from = end + 1;
  }
  return names;
}
}  // namespace

TEST(Announce, HostileBytesNeverAddCutOrReorderItems) {
  const std::vector<std::vector<std::string>> expected = {
      {"Type", "DateTime", "Phone", "RNNumber", "Formatted_Date", "Formatted_Time", "Name", "RNName"},
      {"Duration", "Line1", "Line2"},
      {"Say"}};
  for (int b : {0x00, 0x01, 0x02, 0x0A, 0x0D, 0x1F, 0x7F}) {
    SCOPED_TRACE(b);
    const std::string bad(1, static_cast<char>(b));
    const std::string name = "A" + bad + "Phone" + std::string(1, '\x01') + "6660000" +
                             std::string(1, '\0') + "Injected" + '\x01' + "yes";
    AnnounceOptions o;
    o.FormatPrefix = "Call" + bad + "from";
    const auto sent = Announce(name, name, "555" + bad + "1234", o);
    ASSERT_EQ(sent.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(ItemNames(sent[i].data), expected[i]);
      for (char c : sent[i].data) {
        if (c != '\0' && c != '\x01') {
          EXPECT_GE(static_cast<unsigned char>(c), 0x20u);
        }
      }
    }
    EXPECT_NE(sent[0].data.find(std::string("Phone\x01") + "555 1234"), std::string::npos);
  }
}

TEST(Announce, LongTextsAreCutWithAnEllipsis) {
  // A UTF-8 name of 40 000 two-byte characters.
  std::string name;
  for (int i = 0; i < 40000; ++i) name += "\xC3\xA9";
  AnnounceOptions o;
  o.FormatPrefix = std::string(5000, 'P');
  const auto sent = Announce(name, name, std::string(3000, '5'), o);
  ASSERT_EQ(sent.size(), 3u);
  for (const Sent& s : sent) {
    EXPECT_LT(s.data.size(), 1000u);
  }
  const std::string line2 = sent[1].data.substr(sent[1].data.find("Line2\x01") + 6);
  ASSERT_GE(line2.size(), 5u);
  EXPECT_EQ(line2.substr(line2.size() - 3), "...");
  // The cut falls between characters: an even number of bytes before the dots.
  EXPECT_EQ((line2.size() - 3) % 2, 0u);
}

// The processor is given up once per call, right after its first message, so a receiver on
// the same core reads the announcement before the rest of the call's work; a call that came
// from the xAP network (no CID.Incoming) yields after its first message all the same.
TEST(XapAnnouncer, GivesUpTheProcessorOnceRightAfterTheFirstMessage) {
  Settings settings;
  std::vector<std::string> events;
  XapAnnouncer announcer(
      settings,
      [&](const std::string&, const std::string& cls, const std::string&, XapItemList) {
        events.push_back(cls);
      },
      nullptr);
  announcer.SetYield([&] { events.push_back("yield"); });
  CompletedCall call;
  call.name = call.callerIdName = "JOHN DOE";
  call.number = "555-1234";
  call.time = std::chrono::system_clock::now();
  announcer.OnCallCompleted(call);
  EXPECT_EQ(events, (std::vector<std::string>{"CID.Incoming", "yield", "Message.Display", "xAP.Voice"}));
  events.clear();
  call.source = CallSource::Xap;
  announcer.OnCallCompleted(call);
  EXPECT_EQ(events, (std::vector<std::string>{"Message.Display", "yield", "xAP.Voice"}));
}
