#include "cid/CommBuffer.h"

#include "cid/CidText.h"

namespace {
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kFrameEnd = "+++\r";
constexpr std::string_view kFrameStart = "###DATE";
}  // namespace

CommBuffer::FeedResult CommBuffer::Feed(std::string_view text, const Rules& rules,
                                        const Sink& sink) {
  FeedResult result;
  if (buffer_.size() >= kCapacity) {
    // Only text without line end, frame end or prefix can fill the buffer; it
    // would never shrink again, so it is given up.
    result.dropped = buffer_.size();
    buffer_.clear();
    return result;
  }
  buffer_.append(text);

  for (;;) {
    const std::size_t p = buffer_.find(kLineEnd);
    if (p == std::string::npos) break;
    // The LF of the pair stays in the buffer; the next line loses it.
    std::string line = cid::RemoveCrLf(std::string_view(buffer_).substr(0, p + 1));
    buffer_.erase(0, p + 1);
    if (sink.line) sink.line(line);
  }

  const std::size_t firstEnd = buffer_.find(kFrameEnd);
  if (firstEnd != std::string::npos && firstEnd > 0 &&
      buffer_.find(kFrameStart) != std::string::npos) {
    for (;;) {
      const std::size_t q = buffer_.find(kFrameEnd);
      if (q == std::string::npos) break;
      std::string frame = cid::RemoveCrLf(std::string_view(buffer_).substr(0, q));
      // Keep the CR after "+++": the next frame loses it.
      buffer_.erase(0, q + 3);
      if (sink.frame) sink.frame(frame);
    }
  }

  if (!RestIsLine(rules)) return result;
  if (rules.deferRest) {
    result.restWaiting = true;
    return result;
  }
  TakeRest(rules, sink);
  return result;
}

bool CommBuffer::TakeRest(const Rules& rules, const Sink& sink) {
  if (!RestIsLine(rules)) return false;
  std::string line = cid::RemoveCrLf(buffer_);
  buffer_.clear();
  if (sink.line) sink.line(line);
  return true;
}

bool CommBuffer::RestIsLine(const Rules& rules) const {
  if (!rules.insertModemCrLf) return false;
  return cid::FindNoCase(buffer_, rules.numberPrefix) != std::string::npos ||
         cid::FindNoCase(buffer_, rules.namePrefix) != std::string::npos;
}
