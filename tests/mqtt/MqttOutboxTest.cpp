// The outbox of calls waiting for the broker: order, acknowledgements, resending after a
// lost connection, and the bound.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mqtt/MqttOutbox.h"

namespace {

std::vector<MqttOutbox::Message> CallMessages(const std::string& id) {
  return {{"t/call", id, false}, {"t/last_call", id, true}};
}

// A connection double: hands out message ids in order and records what was sent;
// refuses everything after `room` messages.
struct FakeConnection {
  int nextMid = 1;
  std::size_t room = SIZE_MAX;
  std::vector<std::string> sent;  // "topic=payload"
  std::vector<int> mids;
  MqttOutbox::Send Send() {
    return [this](const MqttOutbox::Message& m) {
      if (sent.size() >= room) return 0;
      sent.push_back(m.topic + "=" + m.payload);
      mids.push_back(nextMid);
      return nextMid++;
    };
  }
};

TEST(MqttOutbox, SendsEveryCallInOrderAndForgetsAcknowledgedOnes) {
  MqttOutbox box;
  FakeConnection c;
  box.Add(CallMessages("1"));
  box.Add(CallMessages("2"));
  EXPECT_EQ(box.SendDue(c.Send()), 4u);
  EXPECT_EQ(c.sent,
            (std::vector<std::string>{"t/call=1", "t/last_call=1", "t/call=2", "t/last_call=2"}));
  EXPECT_EQ(box.SendDue(c.Send()), 0u) << "nothing is sent twice on one connection";
  for (int mid : c.mids) EXPECT_TRUE(box.Acknowledge(mid));
  EXPECT_TRUE(box.Empty());
}

TEST(MqttOutbox, ACallStaysUntilAllItsMessagesAreAcknowledged) {
  MqttOutbox box;
  FakeConnection c;
  box.Add(CallMessages("1"));
  box.SendDue(c.Send());
  box.Acknowledge(c.mids[0]);
  EXPECT_EQ(box.Calls(), 1u);
  box.Acknowledge(c.mids[1]);
  EXPECT_EQ(box.Calls(), 0u);
}

TEST(MqttOutbox, AcknowledgementsOutOfOrderKeepTheOlderCall) {
  MqttOutbox box;
  FakeConnection c;
  box.Add(CallMessages("1"));
  box.Add(CallMessages("2"));
  box.SendDue(c.Send());
  box.Acknowledge(c.mids[2]);
  box.Acknowledge(c.mids[3]);
  EXPECT_EQ(box.Calls(), 2u) << "call 2 waits behind call 1";
  box.Acknowledge(c.mids[0]);
  box.Acknowledge(c.mids[1]);
  EXPECT_TRUE(box.Empty());
}

TEST(MqttOutbox, AfterALostConnectionOnlyUnacknowledgedMessagesGoAgainInOrder) {
  MqttOutbox box;
  FakeConnection first;
  box.Add(CallMessages("1"));
  box.Add(CallMessages("2"));
  box.SendDue(first.Send());
  box.Acknowledge(first.mids[0]);  // call 1 reached the broker, its last_call did not
  box.Add(CallMessages("3"));      // completed while the broker was away
  box.Requeue();
  EXPECT_FALSE(box.Acknowledge(first.mids[1])) << "ids of the old connection are forgotten";

  FakeConnection second;
  box.SendDue(second.Send());
  EXPECT_EQ(second.sent, (std::vector<std::string>{"t/last_call=1", "t/call=2", "t/last_call=2",
                                                   "t/call=3", "t/last_call=3"}));
}

TEST(MqttOutbox, AConnectionThatStopsTakingMessagesResumesWhereItStopped) {
  MqttOutbox box;
  FakeConnection c;
  c.room = 3;
  box.Add(CallMessages("1"));
  box.Add(CallMessages("2"));
  EXPECT_EQ(box.SendDue(c.Send()), 3u);
  c.room = SIZE_MAX;
  EXPECT_EQ(box.SendDue(c.Send()), 1u);
  EXPECT_EQ(c.sent.back(), "t/last_call=2");
}

TEST(MqttOutbox, KeepsOnlyTheNewestCallsUpToItsCapacity) {
  MqttOutbox box(3);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(box.Add(CallMessages(std::to_string(i))), 0u);
  EXPECT_EQ(box.Add(CallMessages("4")), 1u);
  EXPECT_EQ(box.Add(CallMessages("5")), 1u);
  EXPECT_EQ(box.Calls(), 3u);
  FakeConnection c;
  box.SendDue(c.Send());
  ASSERT_EQ(c.sent.size(), 6u);
  EXPECT_EQ(c.sent.front(), "t/call=3");
  EXPECT_EQ(c.sent.back(), "t/last_call=5");
}

TEST(MqttOutbox, DroppingACallInFlightIgnoresItsLateAcknowledgement) {
  MqttOutbox box(1);
  FakeConnection c;
  box.Add(CallMessages("1"));
  box.SendDue(c.Send());
  box.Add(CallMessages("2"));  // pushes call 1 out while it is in flight
  EXPECT_FALSE(box.Acknowledge(c.mids[0]));
  EXPECT_EQ(box.Calls(), 1u);
  box.SendDue(c.Send());
  EXPECT_EQ(c.sent.back(), "t/last_call=2");
}

TEST(MqttOutbox, UnknownIdsAreRefused) {
  MqttOutbox box;
  EXPECT_FALSE(box.Acknowledge(7));
  box.Add(CallMessages("1"));
  EXPECT_FALSE(box.Acknowledge(1)) << "not sent yet";
}

}  // namespace
