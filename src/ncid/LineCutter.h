#pragma once
// LineCutter: cuts a byte stream into lines, with a bound on the line length, for both ends
// of an NCID connection. Bytes arrive in pieces of any size; Feed hands each complete line to
// the callback, without its LF and without one CR before it (a lone LF and CR LF end a line
// alike; a CR elsewhere stays in the line). Empty lines are handed out too: the caller
// decides what a keep-alive means.
//
// A line longer than the limit (kMaxLine unless given; line end not counted) is dropped
// whole: its bytes are thrown away as they come, up to and including its LF, so the cutter
// never holds more than the limit + 1 bytes whatever the peer sends. FeedResult::overlong counts
// the lines whose dropping began during that Feed (each counted once, however many pieces it
// spans), so the caller can log one line for it. The callback must not feed the same cutter.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace ncid {

class LineCutter {
 public:
  static constexpr std::size_t kMaxLine = 4096;
  using OnLine = std::function<void(std::string_view line)>;

  struct FeedResult {
    int lines = 0;     // lines handed out
    int overlong = 0;  // lines dropped for their length
  };

  explicit LineCutter(std::size_t maxLine = kMaxLine) : maxLine_(maxLine) {}

  FeedResult Feed(std::string_view bytes, const OnLine& onLine);

  // Bytes of the unfinished line held (0 while an overlong line is being thrown away).
  std::size_t Held() const { return partial_.size(); }
  void Clear() {
    partial_.clear();
    discarding_ = false;
  }

 private:
  std::size_t maxLine_;
  std::string partial_;
  bool discarding_ = false;
};

}  // namespace ncid
