#include "mqtt/MqttOutbox.h"

std::size_t MqttOutbox::Add(std::vector<Message> messages) {
  Call call;
  call.seq = nextSeq_++;
  for (auto& m : messages) call.entries.push_back(Entry{std::move(m), 0, false});
  call.unacked = call.entries.size();
  calls_.push_back(std::move(call));
  std::size_t dropped = 0;
  while (calls_.size() > capacity_) {
    for (const Entry& e : calls_.front().entries)
      if (e.mid) inFlight_.erase(e.mid);
    calls_.pop_front();
    if (sentCalls_) --sentCalls_;
    ++dropped;
  }
  PopFinished();
  return dropped;
}

std::size_t MqttOutbox::SendDue(const Send& send) {
  std::size_t sent = 0;
  for (; sentCalls_ < calls_.size(); ++sentCalls_) {
    Call& call = calls_[sentCalls_];
    for (Entry& e : call.entries) {
      if (e.acked || e.mid) continue;
      const int mid = send(e.message);
      if (mid == 0) return sent;
      e.mid = mid;
      inFlight_[mid] = call.seq;
      ++sent;
    }
  }
  return sent;
}

bool MqttOutbox::Acknowledge(int mid) {
  const auto it = inFlight_.find(mid);
  if (it == inFlight_.end()) return false;
  const std::uint64_t seq = it->second;
  inFlight_.erase(it);
  if (calls_.empty() || seq < calls_.front().seq) return false;
  const std::size_t index = static_cast<std::size_t>(seq - calls_.front().seq);
  if (index >= calls_.size()) return false;
  Call& call = calls_[index];
  for (Entry& e : call.entries) {
    if (e.mid == mid && !e.acked) {
      e.acked = true;
      --call.unacked;
      break;
    }
  }
  PopFinished();
  return true;
}

void MqttOutbox::Requeue() {
  inFlight_.clear();
  for (Call& call : calls_)
    for (Entry& e : call.entries) e.mid = 0;
  sentCalls_ = 0;
}

void MqttOutbox::PopFinished() {
  while (!calls_.empty() && calls_.front().unacked == 0) {
    calls_.pop_front();
    if (sentCalls_) --sentCalls_;
  }
}
