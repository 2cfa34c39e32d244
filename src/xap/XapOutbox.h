#pragma once
// XapOutbox: the one way the program sends an xAP message (SendXap, or SendXapItems for
// one given as its items). Until the transport is ready, messages are queued; the first
// send after that flushes the queue in order, then sends the new message. Pure: the
// transport is a function.
#include <deque>
#include <functional>
#include <string>

#include "common/XapItems.h"

class XapOutbox {
 public:
  // Sends one message now; returns "" when sent, else a failure text.
  using Sender = std::function<std::string(const std::string& target, const std::string& msgClass,
                                           const std::string& section, const std::string& data)>;

  // Sends one message given as its items, without encoding them first.
  using ItemSender = std::function<std::string(const std::string& target, const std::string& msgClass,
                                               const std::string& section, XapItemList items)>;

  void SetSender(Sender sender) { sender_ = std::move(sender); }
  void SetItemSender(ItemSender sender) { itemSender_ = std::move(sender); }
  void SetReady(bool ready) { xapReady_ = ready; }
  bool Ready() const { return xapReady_; }
  std::size_t Queued() const { return queue_.size(); }

  void SendXap(const std::string& target, const std::string& msgClass, const std::string& section,
               const std::string& data) {
    if (!xapReady_ || !sender_) {
      queue_.push_back({target, msgClass, section, data});
      return;
    }
    Flush();
    sender_(target, msgClass, section, data);
  }

  // The same for a message given as its items: encoded only when it has to wait.
  void SendXapItems(const std::string& target, const std::string& msgClass,
                    const std::string& section, XapItemList items) {
    if (!xapReady_ || !sender_ || !itemSender_) {
      queue_.push_back({target, msgClass, section, XapItems(items)});
      return;
    }
    Flush();
    itemSender_(target, msgClass, section, items);
  }

 private:
  void Flush() {
    while (!queue_.empty()) {
      QueuedMessage q = std::move(queue_.front());
      queue_.pop_front();
      sender_(q.target, q.msgClass, q.section, q.data);
    }
  }

  struct QueuedMessage {
    std::string target, msgClass, section, data;
  };
  Sender sender_;
  ItemSender itemSender_;
  bool xapReady_ = false;
  std::deque<QueuedMessage> queue_;
};
