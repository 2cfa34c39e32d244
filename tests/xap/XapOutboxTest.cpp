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

// A message given as its items waits encoded like any other, and goes out in its turn: the
// queue first, then the items themselves to the item sender.
TEST(XapOutbox, ItemsWaitEncodedAndGoOutInTheirTurn) {
  std::vector<std::string> sent;
  XapOutbox box;
  box.SetSender([&](const std::string&, const std::string& c, const std::string&, const std::string& d) {
    sent.push_back(c + ":" + d);
    return std::string();
  });
  box.SetItemSender([&](const std::string&, const std::string& c, const std::string&, XapItemList items) {
    sent.push_back(c + " items:" + XapItems(items));
    return std::string();
  });
  using Item = std::pair<std::string_view, std::string_view>;
  const Item first[] = {{"Name", "A\nB"}, {"Phone", "1"}};
  box.SendXapItems("", "one", "s", first);
  box.SendXap("", "two", "s", std::string("X\x01" "2", 3));
  EXPECT_EQ(box.Queued(), 2u);
  box.SetReady(true);
  const Item third[] = {{"Say", "hi"}};
  box.SendXapItems("", "three", "s", third);
  EXPECT_EQ(sent, (std::vector<std::string>{std::string("one:Name\x01" "A B\0Phone\x01" "1", 20),
                                            "two:X\x01" "2", "three items:Say\x01hi"}));
}
