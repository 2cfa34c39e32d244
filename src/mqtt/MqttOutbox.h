#pragma once
// MqttOutbox: the calls waiting for the broker, in the order they completed (pure).
//
// Each call is a short list of messages (its call object, then the retained
// last_call), all sent at QoS 1. A message leaves the outbox only when the broker has
// acknowledged it. While the broker is away calls wait here; when the connection is
// lost, Requeue makes every unacknowledged message due again, so after the reconnect
// they go out once more in their first order (a message whose acknowledgement was lost
// may reach a subscriber twice; none is lost or overtaken). At most `capacity` calls
// are kept: adding beyond that drops the oldest call.
//
// Message ids are those of one connection: Requeue forgets them all.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

class MqttOutbox {
 public:
  struct Message {
    std::string topic;
    std::string payload;
    bool retain = false;
  };
  // Hands one message to the connection; returns its message id, or 0 when it could not
  // be sent (the rest then waits too).
  using Send = std::function<int(const Message&)>;

  explicit MqttOutbox(std::size_t capacity = 1000) : capacity_(capacity ? capacity : 1) {}

  // Adds one call; returns how many of the oldest calls were dropped to make room.
  std::size_t Add(std::vector<Message> messages);
  // Sends every due message in order, until one cannot be sent; returns how many went.
  std::size_t SendDue(const Send& send);
  // The broker acknowledged message id mid; false for an id this outbox does not know.
  bool Acknowledge(int mid);
  // The connection is gone: every unacknowledged message is due again.
  void Requeue();

  std::size_t Calls() const { return calls_.size(); }  // calls not fully acknowledged
  bool Empty() const { return calls_.empty(); }
  std::size_t Capacity() const { return capacity_; }

 private:
  struct Entry {
    Message message;
    int mid = 0;  // 0: due (not handed to this connection)
    bool acked = false;
  };
  struct Call {
    std::uint64_t seq = 0;
    std::vector<Entry> entries;
    std::size_t unacked = 0;
  };
  void PopFinished();

  std::size_t capacity_;
  std::deque<Call> calls_;
  std::uint64_t nextSeq_ = 1;
  std::size_t sentCalls_ = 0;  // calls at the front whose messages are all handed over
  std::unordered_map<int, std::uint64_t> inFlight_;  // mid -> seq of its call
};
