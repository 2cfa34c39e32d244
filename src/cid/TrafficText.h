#pragma once
// TrafficText: the two texts of the modem communications view.
//  - CommData: received text with a time stamp at the start of every new line,
//    the commands sent to the device and the parser's annotations.
//  - CommStatus: one event code of the link per line.
// Each text shows only its last kLimit characters (older text is dropped from the
// front, even in the middle of a line). Texts are 8-bit and are never re-encoded.
#include <cstddef>
#include <string>
#include <string_view>

// Appends text to target, which keeps at least its last limit characters; older ones
// are dropped from the front in chunks (see LastChars for what is shown).
void AppendKeepingTail(std::string& target, std::string_view text, std::size_t limit);
// The last limit characters of text (all of it when shorter).
std::string_view LastChars(const std::string& text, std::size_t limit);

class TrafficText {
 public:
  static constexpr std::size_t kLimit = 5000;

  void AppendCommData(std::string_view text);
  void AppendCommStatus(std::string_view text);
  // Received text, every CR LF followed by the time stamp (see StampLines). A
  // CR LF split between two receipts is stamped too, so every new line of the
  // echo starts with its time.
  void AppendReceived(std::string_view text, std::string_view hhmmss);
  // The "[Sent to Modem:" line of a command (see SentToModemText).
  void AppendSent(std::string_view text);
  // A line break and the event code in decimal.
  void AppendEventCode(int code);
  void Clear();

  std::string_view CommData() const { return LastChars(commData_, kLimit); }
  std::string_view CommStatus() const { return LastChars(commStatus_, kLimit); }

 private:
  std::string commData_;
  std::string commStatus_;
  bool receivedEndsInCr_ = false;
};

// text with every CR LF replaced by CR LF + hhmmss + " |  ".
std::string StampLines(std::string_view text, std::string_view hhmmss);
// CR LF "[Sent to Modem:     " text (CR LF shown as "<crlf>") " ]" CR LF.
std::string SentToModemText(std::string_view text);
// The port status label: "Port " + port + " Open / " + tries + " tries" when
// open, else "Port " + port + " Not Connected".
std::string PortStatusText(std::string_view port, bool open, int tries);
