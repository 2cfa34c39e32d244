// Caller-ID lines and frames into completed calls.
#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cid/CallerIdParser.h"

namespace {

struct Call {
  std::string name, number;
  bool operator==(const Call&) const = default;
};

class ParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CallerIdParser::LinkHooks link;
    link.StartTimer5 = [this] {
      timer5 = true;
      ++timer5Starts;
    };
    link.StopTimer5 = [this] { timer5 = false; };
    link.AppendCommData = [this](const std::string& t) { commData += t; };
    link.LogFailure = [this](const std::string& t, int loc, const std::string& d) {
      failures.push_back(t + "|" + std::to_string(loc) + "|" + d);
    };
    link.CallReady = [this](const CallerIdCall& c) {
      if (callThrows) throw std::runtime_error("naming broke");
      calls.push_back({c.name, c.number});
      withheld.push_back(c.withheld);
      received.push_back(c.receivedNumber);
    };
    parser.SetLinkHooks(link);
  }

  // Timer5 fires only if it is running, as the real timer would.
  void ExpireTimer5() {
    if (timer5) parser.Timer5Expired();
  }

  Settings settings;
  CallerRecord record;
  CallerIdParser parser{settings, record};
  bool timer5 = false;
  int timer5Starts = 0;
  bool callThrows = false;
  std::string commData;
  std::vector<std::string> failures;
  std::vector<Call> calls;
  std::vector<bool> withheld;
  std::vector<std::string> received;
};

TEST_F(ParserTest, ModemSequenceGivesOneCall) {
  for (const char* line :
       {"RING", "DATE = 0101", "TIME = 1200", "NMBR = 5551234567", "NAME = JOHN DOE", "RING"})
    parser.DoModem(line);
  ExpireTimer5();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (Call{"JOHN DOE", "(555) 123-4567"}));
  EXPECT_FALSE(timer5);
  EXPECT_EQ(record.Name, "");
  EXPECT_EQ(record.Number, "");
  EXPECT_FALSE(record.NameDetected);
  EXPECT_FALSE(record.NumberDetected);
  EXPECT_EQ(commData,
            " ... Number=(555) 123-4567 ...  ... Name=JOHN DOE ...  ... CID Detected ... ");
  EXPECT_TRUE(failures.empty());
}

TEST_F(ParserTest, NameFirstCompletesOnTheNumber) {
  parser.DoModem("NAME = JOHN DOE");
  EXPECT_TRUE(timer5);
  EXPECT_TRUE(calls.empty());
  parser.DoModem("NMBR = 5551234567");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].number, "(555) 123-4567");
  EXPECT_FALSE(timer5);
}

// Beside the formatted number, each call carries the number as the text held it; a ring
// forgets it with the rest of an unfinished call.
TEST_F(ParserTest, CallsCarryTheNumberAsReceived) {
  parser.DoModem("NMBR = 1-555-123-4567 ");
  parser.DoModem("NAME = JOHN DOE");
  parser.DoModemNetCallerID("###DATE01011200...NMBR5559876543...NAMEBOX+++");
  parser.DoModem("NMBR = 5550000001");
  parser.DoModem("RING");
  parser.DoModem("NAME = NO NUMBER");
  ExpireTimer5();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(received, (std::vector<std::string>{"1-555-123-4567", "5559876543", ""}));
  EXPECT_EQ(calls[1].number, "(555) 987-6543");
}

TEST_F(ParserTest, NumberAloneCompletesWhenTimer5Expires) {
  parser.DoModem("NMBR = 5551234567");
  EXPECT_TRUE(timer5);
  EXPECT_TRUE(calls.empty());
  ExpireTimer5();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (Call{"", "(555) 123-4567"}));
}

TEST_F(ParserTest, EachFurtherPartialLineRestartsTimer5) {
  parser.DoModem("NMBR = 5551234567");
  parser.DoModem("NMBR = 5551234568");
  EXPECT_EQ(timer5Starts, 2);
  ExpireTimer5();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].number, "(555) 123-4568");
}

// An unanswered call (one line, then RING) leaves nothing for the next call.
struct RingCase {
  const char* name;
  std::vector<std::string> lines;
  Call expected;
};
void PrintTo(const RingCase& c, std::ostream* os) { *os << c.name; }

class RingTest : public ParserTest, public ::testing::WithParamInterface<RingCase> {};

TEST_P(RingTest, RingForgetsTheUnfinishedCall) {
  for (const std::string& line : GetParam().lines) parser.DoModem(line);
  ExpireTimer5();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], GetParam().expected);
  EXPECT_EQ(record.Name, "");
  EXPECT_EQ(record.Number, "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, RingTest,
    ::testing::Values(
        RingCase{"NumberThenRingThenNameOnly",
                 {"NMBR = 5551234567", "RING", "NAME = JANE"},
                 {"JANE", ""}},
        RingCase{"NameThenRingThenNumberOnly",
                 {"NAME = JANE", "RING", "NMBR = 5551234567"},
                 {"", "(555) 123-4567"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ParserTest, CompletedCallLeavesNothingForTheNextOne) {
  parser.DoModem("NMBR = 5551234567");
  parser.DoModem("NAME = JANE");
  parser.DoModem("NAME = BOB");
  ExpireTimer5();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1], (Call{"BOB", ""}));
}

struct LineCase {
  const char* name;
  std::string line;
  std::string expectName;
  std::string expectNumber;
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class ModemLineTest : public ParserTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(ModemLineTest, FillsTheRecord) {
  const LineCase& c = GetParam();
  parser.DoModem(c.line);
  EXPECT_EQ(record.Name, c.expectName);
  EXPECT_EQ(record.Number, c.expectNumber);
  EXPECT_EQ(record.NameDetected, !c.expectName.empty());
  EXPECT_EQ(record.NumberDetected, !c.expectNumber.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ModemLineTest,
    ::testing::Values(LineCase{"DefaultPrefixes", "NAME = JOHN DOE", "JOHN DOE", ""},
                      LineCase{"NameCaseIgnored", "name = Jane", "Jane", ""},
                      LineCase{"NameWithoutSpaceIsNoNameLine", "NAME=Jane", "", ""},
                      LineCase{"NameTrimmed", "NAME =   Jane Doe  ", "Jane Doe", ""},
                      LineCase{"PrefixAnywhere", "xx NMBR = 2015551234", "", "(201) 555-1234"},
                      LineCase{"SevenDigits", "NMBR = 5551234", "", "555-1234"},
                      LineCase{"WithheldNumberCodeUnchanged", "NMBR = O", "", "O"},
                      LineCase{"BothPrefixesCountAsName", "NAME = NMBR = 1", "NMBR = 1", ""},
                      LineCase{"DateLineIgnored", "DATE = 0101", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ParserTest, StripPrefixIsPassedToTheFormatting) {
  settings.StripPrefix = true;
  parser.DoModem("NMBR = 12015551234");
  EXPECT_EQ(record.Number, "(201) 555-1234");
  settings.StripPrefix = false;
  parser.DoModem("NMBR = 12015551234");
  EXPECT_EQ(record.Number, "1201 555 1234");
}

TEST_F(ParserTest, EmptyPrefixMatchesNoLine) {
  settings.CIDNamePrefix = "";
  parser.DoModem("RING");
  parser.DoModem("anything");
  EXPECT_FALSE(record.NameDetected);
  EXPECT_FALSE(timer5);
}

struct WithheldCase {
  const char* name;
  std::string received;
  std::string passed;
};
void PrintTo(const WithheldCase& c, std::ostream* os) { *os << c.name; }

class WithheldTest : public ParserTest, public ::testing::WithParamInterface<WithheldCase> {};

TEST_P(WithheldTest, NameReachesTheLookupAs) {
  parser.DoModem("NMBR = 5551234567");
  parser.DoModem("NAME = " + GetParam().received);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].name, GetParam().passed);
  EXPECT_EQ(withheld[0], GetParam().passed == "Unknown");
}

INSTANTIATE_TEST_SUITE_P(Table, WithheldTest,
                         ::testing::Values(WithheldCase{"Withheld", "withheld", "Unknown"},
                                           WithheldCase{"O", "o", "Unknown"},
                                           WithheldCase{"P", "P", "Unknown"},
                                           WithheldCase{"OutOfArea", "Out of Area", "Unknown"},
                                           WithheldCase{"Otto", "Otto", "Otto"},
                                           WithheldCase{"Private", "PRIVATE", "PRIVATE"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ParserTest, FailingCallHandlerIsLoggedAndLeavesTheRecord) {
  callThrows = true;
  parser.DoModem("NMBR = 5551234567");
  parser.DoModem("NAME = JOE");
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(failures, (std::vector<std::string>{"ProcessModemInput |4|naming broke"}));
  EXPECT_TRUE(record.NameDetected);
  EXPECT_EQ(record.Name, "JOE");
  // A later RING and call go on normally.
  callThrows = false;
  parser.DoModem("RING");
  parser.DoModem("NMBR = 5551234567");
  parser.DoModem("NAME = JOE");
  EXPECT_EQ(calls.size(), 1u);
}

TEST_F(ParserTest, FailingTimerHookIsLoggedByDoModem) {
  CallerIdParser::LinkHooks link;
  link.StartTimer5 = [] { throw std::runtime_error("no timer"); };
  link.LogFailure = [this](const std::string& t, int loc, const std::string& d) {
    failures.push_back(t + "|" + std::to_string(loc) + "|" + d);
  };
  parser.SetLinkHooks(link);
  parser.DoModem("NAME = JOE");
  parser.DoModemNetCallerID("###DATE...NAMEJOE");
  EXPECT_EQ(failures,
            (std::vector<std::string>{"DoModem |1|no timer", "DoModemNetCallerID |1|no timer"}));
}

TEST_F(ParserTest, TakenCallLeavesTheCallBeingAssembledAlone) {
  parser.DoModem("NMBR = 5551234567");
  const CallerIdCall taken = parser.TakeCall("5550000", "o");
  EXPECT_EQ(taken.number, "5550000");
  EXPECT_EQ(taken.name, "Unknown");
  EXPECT_TRUE(taken.withheld);
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(timer5);
  parser.DoModem("NAME = JOE");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (Call{"JOE", "(555) 123-4567"}));
}

TEST_F(ParserTest, FrameWithNumberAndNameCompletesAtOnce) {
  parser.DoModemNetCallerID("###DATE01011200...NMBR5551234567...NAMEJOE");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (Call{"JOE", "(555) 123-4567"}));
  EXPECT_FALSE(timer5);
  // Frames write no annotations of their own.
  EXPECT_EQ(commData, " ... CID Detected ... ");
}

TEST_F(ParserTest, FrameSearchIgnoresCase) {
  parser.DoModemNetCallerID("###date0101...nmbr 5551234567 ...name  Joe ");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (Call{"Joe", "(555) 123-4567"}));
}

TEST_F(ParserTest, FrameNumberWithoutDotIsNotANumber) {
  parser.DoModemNetCallerID("###DATE01011200...NMBR5551234567");
  EXPECT_EQ(record.Number, "(000)000-0000");
  EXPECT_FALSE(record.NumberDetected);
  EXPECT_FALSE(timer5);
  EXPECT_TRUE(calls.empty());
}

TEST_F(ParserTest, FrameNameWithNumberWithoutDotIsAnnouncedByTimer5) {
  parser.DoModemNetCallerID("###DATE01011200...NAMEJOE...NMBR5551234567");
  EXPECT_TRUE(calls.empty());
  EXPECT_TRUE(timer5);
  ExpireTimer5();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].number, "(000)000-0000");
  // The name runs to the end of the frame.
  EXPECT_EQ(calls[0].name, "JOE...NMBR5551234567");
}

TEST_F(ParserTest, FrameNameAloneWaitsForTimer5) {
  parser.DoModemNetCallerID("###DATE01011200...NAMEJOE");
  EXPECT_TRUE(timer5);
  ExpireTimer5();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (Call{"JOE", ""}));
}

TEST_F(ParserTest, RepeatedLinesAnnounceAgain) {
  for (int i = 0; i < 2; ++i) {
    parser.DoModem("NMBR = 5551234567");
    parser.DoModem("NAME = JOE");
  }
  EXPECT_EQ(calls.size(), 2u);
}

}  // namespace
