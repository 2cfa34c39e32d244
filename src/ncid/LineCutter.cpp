#include "ncid/LineCutter.h"

namespace ncid {

LineCutter::FeedResult LineCutter::Feed(std::string_view bytes, const OnLine& onLine) {
  FeedResult r;
  while (!bytes.empty()) {
    const std::size_t lf = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, lf);
    const bool complete = lf != std::string_view::npos;
    bytes.remove_prefix(complete ? lf + 1 : bytes.size());

    if (discarding_) {
      if (complete) discarding_ = false;
      continue;
    }
    // One byte more than the limit may be a CR that belongs to the line end.
    if (partial_.size() + piece.size() > maxLine_ + 1) {
      ++r.overlong;
      partial_.clear();
      discarding_ = !complete;
      continue;
    }
    partial_.append(piece);
    if (!complete) break;
    if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
    if (partial_.size() > maxLine_) {
      ++r.overlong;
    } else {
      ++r.lines;
      if (onLine) onLine(partial_);
    }
    partial_.clear();
  }
  return r;
}

}  // namespace ncid
