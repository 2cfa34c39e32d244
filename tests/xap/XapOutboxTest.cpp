#include "xap/XapOutbox.h"

#include <gtest/gtest.h>

TEST(XapOutbox, QueuesUntilReadyThenFlushesInOrderBeforeTheNewMessage) {
  std::vector<std::string> sent;
  XapOutbox box;
  box.SetSender([&](const std::string&, const std::string& c, const std::string&, const std::string&) {
    sent.push_back(c);
    return std::string();
  });
  box.SendXap("", "one", "s", "");
  box.SendXap("", "two", "s", "");
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(box.Queued(), 2u);
  box.SetReady(true);
  box.SendXap("", "three", "s", "");
  EXPECT_EQ(sent, (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(box.Queued(), 0u);
}
