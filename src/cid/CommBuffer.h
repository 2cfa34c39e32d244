#pragma once
// CommBuffer: the receive buffer of the caller-ID link. Text arrives in pieces of
// any size; Feed keeps it and hands out, in order:
//  1. every line ending in CR LF (CR and LF removed) to sink.line;
//  2. when the buffer holds "+++" CR after its first character and "###DATE"
//     somewhere, every network frame before "+++" CR (CR and LF removed) to
//     sink.frame;
//  3. with insertModemCrLf on, an unterminated rest that holds the number or
//     the name prefix (ignoring case) as one more line, then the buffer is empty.
//     With deferRest the rest is not handed out by Feed: FeedResult::restWaiting
//     says one waits, and TakeRest hands it out later (the caller waits until the
//     device has gone quiet, so that a line that arrives in pieces is not cut
//     after its prefix).
// The buffer holds at most kCapacity characters: a piece that arrives when it is
// full is not added; instead the stuck contents are thrown away (FeedResult::
// dropped tells how many) so that reception goes on with the next piece.
// Each line or frame is taken out of the buffer before its callback runs, so a
// callback may feed the same buffer again (nested event processing) without a
// line being handed out twice or out of order.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

class CommBuffer {
 public:
  static constexpr std::size_t kCapacity = 2000;

  struct Rules {
    bool insertModemCrLf = true;
    std::string_view numberPrefix = "NMBR =";
    std::string_view namePrefix = "NAME =";
    bool deferRest = false;
  };
  struct Sink {
    std::function<void(const std::string&)> line;
    std::function<void(const std::string&)> frame;
  };
  struct FeedResult {
    std::size_t dropped = 0;   // characters thrown away because the buffer was full
    bool restWaiting = false;  // a prefixed rest waits for TakeRest
  };

  FeedResult Feed(std::string_view text, const Rules& rules, const Sink& sink);
  // Hands out the prefixed rest as a line when the rules still call for it;
  // returns whether it did.
  bool TakeRest(const Rules& rules, const Sink& sink);

  const std::string& Text() const { return buffer_; }
  void Clear() { buffer_.clear(); }

 private:
  bool RestIsLine(const Rules& rules) const;

  std::string buffer_;
};
