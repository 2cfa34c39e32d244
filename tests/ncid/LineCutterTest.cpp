// The bounded line cutter shared by both ends of an NCID connection.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ncid/LineCutter.h"

namespace {

using ncid::LineCutter;

struct Cut {
  std::vector<std::string> lines;
  int overlong = 0;
  std::size_t maxHeld = 0;
};

Cut CutAll(const std::vector<std::string>& pieces) {
  LineCutter cutter;
  Cut cut;
  for (const std::string& piece : pieces) {
    const auto r = cutter.Feed(piece, [&](std::string_view l) { cut.lines.emplace_back(l); });
    cut.overlong += r.overlong;
    cut.maxHeld = std::max(cut.maxHeld, cutter.Held());
  }
  return cut;
}

TEST(LineCutter, Table) {
  const std::size_t max = LineCutter::kMaxLine;
  const std::string full(max, 'a');
  const std::string over(max + 1, 'b');
  struct Row {
    const char* label;
    std::vector<std::string> pieces;
    std::vector<std::string> lines;
    int overlong;
  };
  const Row rows[] = {
      {"CrLfAndLf", {"one\r\ntwo\nthree"}, {"one", "two"}, 0},
      {"KeepAlivesAreEmptyLines", {"\n\r\n"}, {"", ""}, 0},
      {"SplitAnywhere", {"CI", "D: x\r", "\nnext\r", "\n"}, {"CID: x", "next"}, 0},
      {"LoneCrStaysInLine", {"a\rb\r\n"}, {"a\rb"}, 0},
      {"TwoCrsLoseOne", {"a\r\r\n"}, {"a\r"}, 0},
      {"ExactlyTheLimit", {full + "\r\n"}, {full}, 0},
      {"ExactlyTheLimitCrLate", {full, "\r", "\n"}, {full}, 0},
      {"OneOverTheLimit", {over + "\r\nok\r\n"}, {"ok"}, 1},
      {"OverInPieces", {over.substr(0, 3000), over.substr(3000), "\r\nok\n"}, {"ok"}, 1},
      {"EndlessLineCountedOnce",
       {std::string(10000, 'x'), std::string(10000, 'y'), std::string(10000, 'z'), "\nok\n"},
       {"ok"},
       1},
      {"TwoLongLines", {over + "\n" + over + "\nok\n"}, {"ok"}, 2},
      {"LimitPlusCrWithoutLf", {full + "\r" + "x\n", "ok\n"}, {"ok"}, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const Cut cut = CutAll(row.pieces);
    EXPECT_EQ(cut.lines, row.lines);
    EXPECT_EQ(cut.overlong, row.overlong);
    EXPECT_LE(cut.maxHeld, max + 1);
  }
}

TEST(LineCutter, ByteByByteGivesTheSameLines) {
  const std::string text =
      "200 Server\r\n\nCID: *NMBR*1*\r\n" + std::string(5000, 'q') + "\r\nend\n";
  std::vector<std::string> pieces;
  for (char c : text) pieces.emplace_back(1, c);
  const Cut bytes = CutAll(pieces);
  const Cut whole = CutAll({text});
  EXPECT_EQ(bytes.lines, whole.lines);
  EXPECT_EQ(bytes.lines, (std::vector<std::string>{"200 Server", "", "CID: *NMBR*1*", "end"}));
  EXPECT_EQ(bytes.overlong, 1);
  EXPECT_EQ(whole.overlong, 1);
}

}  // namespace
