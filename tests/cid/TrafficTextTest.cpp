// Traffic texts, their 5000-character tail and the link's text helpers.
#include <gtest/gtest.h>

#include <string>

#include "cid/TrafficText.h"

namespace {

TEST(TrafficTextTest, KeepsTheLast5000Characters) {
  TrafficText t;
  std::string start;
  for (int i = 0; i < 4990; ++i) start += static_cast<char>('a' + i % 26);
  t.AppendCommData(start);
  t.AppendCommData("01234567890123456789");
  ASSERT_EQ(t.CommData().size(), 5000u);
  EXPECT_EQ(t.CommData(), start.substr(10) + "01234567890123456789");
}

// However many pieces arrive, the text shown is the last 5000 characters of all of them.
TEST(TrafficTextTest, ManyAppendsShowTheTailOfEverything) {
  TrafficText t;
  std::string all;
  for (int i = 0; i < 3000; ++i) {
    const std::string piece = std::to_string(i) + std::string(static_cast<std::size_t>(i % 37), '.');
    t.AppendCommData(piece);
    all += piece;
    if (i % 101 == 0 || i == 2999) {
      ASSERT_EQ(t.CommData(), all.size() > 5000 ? all.substr(all.size() - 5000) : all) << i;
    }
  }
}

TEST(TrafficTextTest, LongAppendKeepsItsOwnTail) {
  TrafficText t;
  t.AppendCommStatus("old");
  const std::string big = std::string(5000, 'x') + "END";
  t.AppendCommStatus(big);
  EXPECT_EQ(t.CommStatus(), big.substr(3));
}

TEST(TrafficTextTest, ReceivedTextIsTimeStampedAtEveryNewLine) {
  TrafficText t;
  t.AppendReceived("RING\r\nNMBR = 1\r\n", "12:34:56");
  t.AppendReceived("no line end", "12:34:57");
  EXPECT_EQ(t.CommData(), "RING\r\n12:34:56 |  NMBR = 1\r\n12:34:56 |  no line end");
}

TEST(TrafficTextTest, LineEndSplitBetweenReceiptsIsStamped) {
  TrafficText t;
  t.AppendReceived("RING\r", "12:34:56");
  t.AppendReceived("", "12:34:57");
  t.AppendReceived("\nNMBR\r", "12:34:58");
  t.AppendReceived("X", "12:34:59");
  EXPECT_EQ(t.CommData(), "RING\r\n12:34:58 |  NMBR\rX");
}

TEST(TrafficTextTest, SentCommandLine) {
  TrafficText t;
  t.AppendSent("AT#CID=1\r\n");
  EXPECT_EQ(t.CommData(), "\r\n[Sent to Modem:     AT#CID=1<crlf> ]\r\n");
}

TEST(TrafficTextTest, EventCodesOnePerLine) {
  TrafficText t;
  t.AppendEventCode(2);
  t.AppendEventCode(1008);
  EXPECT_EQ(t.CommStatus(), "\r\n2\r\n1008");
  t.Clear();
  EXPECT_EQ(t.CommStatus(), "");
}

TEST(TrafficTextTest, PortStatusTexts) {
  EXPECT_EQ(PortStatusText("127.0.0.1:3001", true, 0), "Port 127.0.0.1:3001 Open / 0 tries");
  EXPECT_EQ(PortStatusText("3", true, 2), "Port 3 Open / 2 tries");
  EXPECT_EQ(PortStatusText("3", false, 6), "Port 3 Not Connected");
}

}  // namespace
