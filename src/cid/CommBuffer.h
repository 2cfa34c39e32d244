#pragma once
// CommBuffer: the receive buffer of the caller-ID link. Text arrives in pieces of
// any size; Feed keeps it and hands out, in order of arrival:
//  1. every network frame: text that holds "###DATE" before a "+++" (not at the
//     start) and no line end before it; the frame is the text before "+++", and
//     one line end after "+++" (CR, LF or CR LF), if any, goes with it;
//  2. every line ended by CR LF, a lone CR or a lone LF (line end removed); a CR
//     that ends one piece and an LF that starts the next are one line end;
//  3. with insertModemCrLf on, an unterminated rest that holds the number or
//     the name prefix (ignoring case) as one more line, then the buffer is empty.
//     With deferRest the rest is not handed out by Feed: FeedResult::restWaiting
//     says one waits, and TakeRest hands it out later (the caller waits until the
//     device has gone quiet, so that a line that arrives in pieces is not cut
//     after its prefix).
// Control bytes left in a line or frame are replaced by blanks before it is
// handed out. The buffer holds about kCapacity characters: when a piece arrives
// and the buffer is full, the stuck contents are thrown away (FeedResult::dropped
// tells how many) and the new piece is kept, so line noise never costs the call
// that follows it.
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
    std::size_t dropped = 0;   // stuck characters thrown away because the buffer was full
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
  void Cut(const Sink& sink);

  std::string buffer_;
  bool skipLf_ = false;       // the last line ended in CR: an LF next belongs to it
  bool skipLineEnd_ = false;  // a frame just ended: one line end after it belongs to it
};
