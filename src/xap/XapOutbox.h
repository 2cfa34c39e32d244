#pragma once
// XapOutbox: the one way the program sends an xAP message (SendXap). Until the
// transport is ready, messages are queued; the first send after that flushes the
// queue in order, then sends the new message. Pure: the transport is a function.
#include <deque>
#include <functional>
#include <string>

class XapOutbox {
 public:
  // Sends one message now; returns "" when sent, else a failure text.
  using Sender = std::function<std::string(const std::string& target, const std::string& msgClass,
                                           const std::string& section, const std::string& data)>;

  void SetSender(Sender sender) { sender_ = std::move(sender); }
  void SetReady(bool ready) { xapReady_ = ready; }
  bool Ready() const { return xapReady_; }
  std::size_t Queued() const { return queue_.size(); }

  void SendXap(const std::string& target, const std::string& msgClass, const std::string& section,
               const std::string& data) {
    if (!xapReady_ || !sender_) {
      queue_.push_back({target, msgClass, section, data});
      return;
    }
    while (!queue_.empty()) {
      QueuedMessage q = std::move(queue_.front());
      queue_.pop_front();
      sender_(q.target, q.msgClass, q.section, q.data);
    }
    sender_(target, msgClass, section, data);
  }

 private:
  struct QueuedMessage {
    std::string target, msgClass, section, data;
  };
  Sender sender_;
  bool xapReady_ = false;
  std::deque<QueuedMessage> queue_;
};
