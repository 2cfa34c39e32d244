#include "cid/CommBuffer.h"

#include "cid/CidText.h"
#include "common/ControlBytes.h"

namespace {
constexpr std::string_view kFrameEnd = "+++";
constexpr std::string_view kFrameStart = "###DATE";
}  // namespace

CommBuffer::FeedResult CommBuffer::Feed(std::string_view text, const Rules& rules,
                                        const Sink& sink) {
  FeedResult result;
  if (buffer_.size() >= kCapacity) {
    // Only text without line end, frame end or prefix can fill the buffer; it
    // would never shrink again, so it is given up, but the new piece may hold a call.
    result.dropped = buffer_.size();
    buffer_.clear();
  }
  buffer_.append(text);
  Cut(sink);

  if (!RestIsLine(rules)) return result;
  if (rules.deferRest) {
    result.restWaiting = true;
    return result;
  }
  TakeRest(rules, sink);
  return result;
}

void CommBuffer::Cut(const Sink& sink) {
  for (;;) {
    if (buffer_.empty()) return;
    const char first = buffer_.front();
    if (skipLineEnd_) {
      skipLineEnd_ = false;
      if (first == '\r' || first == '\n') {
        skipLf_ = first == '\r';
        buffer_.erase(0, 1);
        continue;
      }
    }
    if (skipLf_) {
      skipLf_ = false;
      if (first == '\n') {
        buffer_.erase(0, 1);
        continue;
      }
    }
    const std::size_t lineEnd = buffer_.find_first_of("\r\n");
    const std::size_t frameEnd = buffer_.find(kFrameEnd);
    if (frameEnd != std::string::npos && frameEnd > 0 &&
        (lineEnd == std::string::npos || frameEnd < lineEnd) &&
        std::string_view(buffer_).substr(0, frameEnd).find(kFrameStart) != std::string::npos) {
      std::string frame = buffer_.substr(0, frameEnd);
      buffer_.erase(0, frameEnd + kFrameEnd.size());
      skipLineEnd_ = true;
      BlankControlBytes(frame);
      if (sink.frame) sink.frame(frame);
      continue;
    }
    if (lineEnd == std::string::npos) return;
    std::string line = buffer_.substr(0, lineEnd);
    skipLf_ = buffer_[lineEnd] == '\r';
    buffer_.erase(0, lineEnd + 1);
    BlankControlBytes(line);
    if (sink.line) sink.line(line);
  }
}

bool CommBuffer::TakeRest(const Rules& rules, const Sink& sink) {
  if (!RestIsLine(rules)) return false;
  std::string line = cid::RemoveCrLf(buffer_);
  buffer_.clear();
  BlankControlBytes(line);
  if (sink.line) sink.line(line);
  return true;
}

bool CommBuffer::RestIsLine(const Rules& rules) const {
  if (!rules.insertModemCrLf) return false;
  return cid::FindNoCase(buffer_, rules.numberPrefix) != std::string::npos ||
         cid::FindNoCase(buffer_, rules.namePrefix) != std::string::npos;
}
