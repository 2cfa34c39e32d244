// Cutting received text into lines and network frames.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cid/CommBuffer.h"

namespace {

struct Collector {
  std::vector<std::string> out;
  CommBuffer::Sink Sink() {
    CommBuffer::Sink s;
    s.line = [this](const std::string& l) { out.push_back("L:" + l); };
    s.frame = [this](const std::string& f) { out.push_back("F:" + f); };
    return s;
  }
};

struct CutCase {
  const char* name;
  bool insertModemCrLf;
  bool deferRest;
  std::vector<std::string> pieces;
  std::vector<std::string> expected;
  std::string rest;  // what stays in the buffer
};
void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

class CutTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutTest, HandsOutLinesAndFramesInOrder) {
  const CutCase& c = GetParam();
  CommBuffer buffer;
  Collector got;
  CommBuffer::Rules rules;
  rules.insertModemCrLf = c.insertModemCrLf;
  rules.deferRest = c.deferRest;
  for (const auto& piece : c.pieces) buffer.Feed(piece, rules, got.Sink());
  EXPECT_EQ(got.out, c.expected);
  EXPECT_EQ(buffer.Text(), c.rest);
}

const std::string kFrame = "###DATE01011200...NMBR5551234567...NAMEJOE";

INSTANTIATE_TEST_SUITE_P(
    Table, CutTest,
    ::testing::Values(
        CutCase{"ThreePiecesOneLineWhenCrLfRuleOff",
                false,
                false,
                {"NMB", "R = 555", "1234567\r\n"},
                {"L:NMBR = 5551234567"},
                ""},
        CutCase{"ThreePiecesOneLineWhenRestDeferred",
                true,
                true,
                {"NMB", "R = 555", "1234567\r\n"},
                {"L:NMBR = 5551234567"},
                ""},
        CutCase{"ThreePiecesCutAtOnceWhenRestNotDeferred",
                true,
                false,
                {"NMB", "R = 555", "1234567\r\n"},
                {"L:NMBR = 555", "L:1234567"},
                ""},
        CutCase{"TwoLinesInOnePiece",
                false,
                false,
                {"NMBR = 5551234567\r\nNAME = JOHN DOE\r\n"},
                {"L:NMBR = 5551234567", "L:NAME = JOHN DOE"},
                ""},
        CutCase{"LineEndSplitBetweenPieces",
                false,
                false,
                {"RING\r", "\nNAME = A\r", "\n"},
                {"L:RING", "L:NAME = A"},
                ""},
        CutCase{
            "FinalNameWithoutCrLfTakenAtOnce", true, false, {"NAME = JOE"}, {"L:NAME = JOE"}, ""},
        CutCase{
            "FinalNameWithoutCrLfWaitsWhenRuleOff", false, false, {"NAME = JOE"}, {}, "NAME = JOE"},
        CutCase{"FinalNameWaitsWhenDeferred", true, true, {"NAME = JOE"}, {}, "NAME = JOE"},
        CutCase{"RestPrefixMatchIgnoresCase",
                true,
                false,
                {"RING\r\nname = joe"},
                {"L:RING", "L:name = joe"},
                ""},
        CutCase{"RestWithoutPrefixWaits", true, false, {"RIN"}, {}, "RIN"},
        CutCase{"LoneLfEndsALine", false, false, {"RING\n"}, {"L:RING"}, ""},
        CutCase{"LoneCrEndsALine", false, false, {"AB\rC\r\n"}, {"L:AB", "L:C"}, ""},
        CutCase{"NumberAndNameByLoneLfStayApart",
                true,
                true,
                {"NMBR = 5559876543\nNAME = JOE\n"},
                {"L:NMBR = 5559876543", "L:NAME = JOE"},
                ""},
        CutCase{"NumberAndNameByLoneCrStayApart",
                true,
                false,
                {"NMBR = 5559876543\r", "NAME = JOE\r"},
                {"L:NMBR = 5559876543", "L:NAME = JOE"},
                ""},
        CutCase{"EmptyLines", false, false, {"\r\n\r\n"}, {"L:", "L:"}, ""},
        CutCase{"ControlBytesBlanked",
                false,
                false,
                {std::string("NAME = A\0B\x01" "C\x7f\x1b\r\n", 16)},
                {"L:NAME = A B C  "},
                ""},
        CutCase{"Frame", true, false, {kFrame + "+++\r"}, {"F:" + kFrame}, ""},
        CutCase{"FrameEndedByCrLf", true, false, {kFrame + "+++\r\n"}, {"F:" + kFrame}, ""},
        CutCase{"FrameEndedByLf", false, false, {kFrame + "+++\n"}, {"F:" + kFrame}, ""},
        CutCase{"FrameWithoutLineEnd", false, false, {kFrame + "+++"}, {"F:" + kFrame}, ""},
        CutCase{"FrameControlBytesBlanked",
                false,
                false,
                {std::string("###DATE...NAMEA\0Phone=1+++\r", 27)},
                {"F:###DATE...NAMEA Phone=1"},
                ""},
        CutCase{"FrameInPieces",
                true,
                false,
                {"###DATE0101", "1200...NMBR5551234567...NAMEJOE+++", "\r"},
                {"F:" + kFrame},
                ""},
        CutCase{"TwoFramesInOnePiece",
                false,
                false,
                {kFrame + "+++\r" + kFrame + "+++\r"},
                {"F:" + kFrame, "F:" + kFrame},
                ""},
        CutCase{"FrameAfterLine",
                false,
                false,
                {"RING\r\n" + kFrame + "+++\r"},
                {"L:RING", "F:" + kFrame},
                ""},
        CutCase{"FrameWithoutDateIsALine",
                false,
                false,
                {"...NMBR555.+++\r"},
                {"L:...NMBR555.+++"},
                ""},
        CutCase{"FrameEndAtStartOnlyIsALine",
                false,
                false,
                {"+++\r###DATE"},
                {"L:+++"},
                "###DATE"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommBufferTest, DeferredRestIsHandedOutByTakeRest) {
  CommBuffer buffer;
  Collector got;
  CommBuffer::Rules rules;
  rules.deferRest = true;
  const auto fed = buffer.Feed("RING\r\nNAME = JOE", rules, got.Sink());
  EXPECT_TRUE(fed.restWaiting);
  EXPECT_EQ(got.out, (std::vector<std::string>{"L:RING"}));
  EXPECT_TRUE(buffer.TakeRest(rules, got.Sink()));
  EXPECT_EQ(got.out, (std::vector<std::string>{"L:RING", "L:NAME = JOE"}));
  EXPECT_EQ(buffer.Text(), "");
  EXPECT_FALSE(buffer.TakeRest(rules, got.Sink()));
}

TEST(CommBufferTest, TakeRestFollowsTheRulesInForceThen) {
  CommBuffer buffer;
  Collector got;
  CommBuffer::Rules rules;
  rules.deferRest = true;
  buffer.Feed("NAME = JOE", rules, got.Sink());
  rules.insertModemCrLf = false;
  EXPECT_FALSE(buffer.TakeRest(rules, got.Sink()));
  EXPECT_TRUE(got.out.empty());
  EXPECT_EQ(buffer.Text(), "NAME = JOE");
}

TEST(CommBufferTest, FullBufferIsEmptiedAndThePieceAfterItKept) {
  CommBuffer buffer;
  Collector got;
  CommBuffer::Rules rules;
  const std::string junk(CommBuffer::kCapacity, 'x');
  EXPECT_EQ(buffer.Feed(junk, rules, got.Sink()).dropped, 0u);
  EXPECT_EQ(buffer.Text().size(), CommBuffer::kCapacity);

  // The stuck text goes; the piece that meets the full buffer holds the call.
  const auto fed = buffer.Feed("NMBR = 5551234567\r\n", rules, got.Sink());
  EXPECT_EQ(fed.dropped, CommBuffer::kCapacity);
  EXPECT_EQ(buffer.Text(), "");
  EXPECT_EQ(got.out, (std::vector<std::string>{"L:NMBR = 5551234567"}));

  buffer.Feed("NAME = JOE\r\n", rules, got.Sink());
  EXPECT_EQ(got.out, (std::vector<std::string>{"L:NMBR = 5551234567", "L:NAME = JOE"}));
}

TEST(CommBufferTest, CapIsCheckedBeforeEachPiece) {
  CommBuffer buffer;
  Collector got;
  CommBuffer::Rules rules;
  buffer.Feed(std::string(CommBuffer::kCapacity - 1, 'x'), rules, got.Sink());
  EXPECT_EQ(buffer.Feed("0123456789", rules, got.Sink()).dropped, 0u);
  EXPECT_EQ(buffer.Text().size(), CommBuffer::kCapacity + 9);
  EXPECT_EQ(buffer.Feed("y", rules, got.Sink()).dropped, CommBuffer::kCapacity + 9);
}

TEST(CommBufferTest, CallbackFeedingTheBufferKeepsOrderAndHandsOutOnce) {
  CommBuffer buffer;
  std::vector<std::string> out;
  CommBuffer::Rules rules;
  rules.insertModemCrLf = false;
  CommBuffer::Sink sink;
  sink.line = [&](const std::string& l) {
    out.push_back(l);
    if (l == "A") buffer.Feed("C\r\n", rules, sink);
  };
  buffer.Feed("A\r\nB\r\n", rules, sink);
  EXPECT_EQ(out, (std::vector<std::string>{"A", "B", "C"}));
}

}  // namespace
