// The words the desktop shows: how a caller was named, the search match, the link
// state and the tray tooltip, the notice of a call.
#include <gtest/gtest.h>

#include "ui/DesktopText.h"

namespace {

using namespace std::chrono;

CompletedCall Call(const std::string& name, const std::string& display, NamedBy by) {
  CompletedCall c;
  c.name = name;
  c.displayNumber = display;
  c.number = "5559876543";
  c.callerIdName = "SMITH JOHN";
  c.namedBy = by;
  // Local noon, so the time of day does not depend on the zone.
  std::tm noon{};
  noon.tm_year = 126;
  noon.tm_mon = 2;
  noon.tm_mday = 4;
  noon.tm_hour = 12;
  noon.tm_min = 5;
  noon.tm_isdst = -1;
  c.time = system_clock::from_time_t(std::mktime(&noon));
  return c;
}

TEST(DesktopTextTest, NamedByReadsAsWords) {
  const std::pair<NamedBy, const char*> rows[] = {
      {NamedBy::Phonebook, "Phonebook"},          {NamedBy::AreaCode, "Area code"},
      {NamedBy::ReverseLookup, "Reverse lookup"}, {NamedBy::CallerId, "Caller ID"},
      {NamedBy::Withheld, "Withheld"},
  };
  for (const auto& [by, words] : rows) EXPECT_EQ(NamedByWords(by), words);
}

TEST(DesktopTextTest, SearchMatchesNameOrNumberWithoutCase) {
  const CompletedCall c = Call("Ann Baker", "(555)987-6543", NamedBy::Phonebook);
  struct Row {
    const char* name;
    const char* search;
    bool matches;
  };
  const Row rows[] = {
      {"empty", "", true},         {"name part", "bak", true},   {"name case", "ANN", true},
      {"caller-id name", "smith", true}, {"display number", "987-65", true},
      {"raw number", "59876", true},     {"other name", "carol", false},
      {"other number", "1234", false},
  };
  for (const Row& row : rows) EXPECT_EQ(CallMatches(c, row.search), row.matches) << row.name;
}

TEST(DesktopTextTest, TooltipKeepsRingletFirstAndAddsLinkStateAndLastCall) {
  const CompletedCall c = Call("Ann Baker", "(555)987-6543", NamedBy::Phonebook);
  struct Row {
    const char* name;
    LinkState state;
    const CompletedCall* last;
    const char* text;
  };
  const Row rows[] = {
      {"nothing known", {}, nullptr, "Ringlet"},
      {"open", {LinkPhase::Open, {}}, nullptr, "Ringlet\nLink: open"},
      {"closed with reason",
       {LinkPhase::Closed, "Port /dev/ttyACM0 Not Connected"},
       nullptr,
       "Ringlet\nLink: closed: Port /dev/ttyACM0 Not Connected"},
      {"closed without reason", {LinkPhase::Closed, {}}, nullptr, "Ringlet\nLink: closed"},
      {"reconnecting", {LinkPhase::Reconnecting, {}}, nullptr, "Ringlet\nLink: reconnecting"},
      {"open with a call",
       {LinkPhase::Open, {}},
       &c,
       "Ringlet\nLink: open\nLast call: Ann Baker (555)987-6543 12:05"},
  };
  for (const Row& row : rows) EXPECT_EQ(TrayStatusText(row.state, row.last), row.text) << row.name;
}

TEST(DesktopTextTest, LinkStateFromThePortStatusText) {
  struct Row {
    const char* name;
    const char* status;
    bool network;
    LinkState state;
  };
  const Row rows[] = {
      {"none yet", "", false, {}},
      {"serial open", "Port /dev/ttyACM0 Open / 0 tries", false, {LinkPhase::Open, {}}},
      {"network open", "Port 127.0.0.1:3333 Open / 2 tries", true, {LinkPhase::Open, {}}},
      {"serial closed",
       "Port /dev/ttyACM0 Not Connected",
       false,
       {LinkPhase::Closed, "Port /dev/ttyACM0 Not Connected"}},
      {"network retries", "Port 127.0.0.1:3333 Not Connected", true, {LinkPhase::Reconnecting, {}}},
  };
  for (const Row& row : rows) {
    const LinkState got = LinkStateFromPortStatus(row.status, row.network);
    EXPECT_EQ(got, row.state) << row.name;
    EXPECT_EQ(got.Down(), row.state.phase == LinkPhase::Closed ||
                              row.state.phase == LinkPhase::Reconnecting)
        << row.name;
  }
}

TEST(DesktopTextTest, NoticeTitleIsTheNameAndBodyTheNumberAndHowNamed) {
  const CompletedCall named = Call("Ann Baker", "(555)987-6543", NamedBy::ReverseLookup);
  EXPECT_EQ(NotificationTitle(named), "Ann Baker");
  EXPECT_EQ(NotificationBody(named), "(555)987-6543\nNamed by: Reverse lookup");
  const CompletedCall nameless = Call("", "(555)987-6543", NamedBy::Withheld);
  EXPECT_EQ(NotificationTitle(nameless), "(555)987-6543");
  EXPECT_EQ(NotificationBody(nameless), "(555)987-6543\nNamed by: Withheld");
}

}  // namespace
