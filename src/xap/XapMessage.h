#pragma once
// XapMessage: one xAP message, either built or read, never both; use a fresh instance for each.
//
// As a builder: set msgClass, msgSource, msgTarget and msgUID, call AddHeader, then for each
// body section AddSection followed by its AddItem calls, and take the text with ToXap. Every
// line ends with a single line feed; the target line is written only when msgTarget is not
// empty. Names and values are written exactly as given (no trimming, no escaping).
//
// As a reader: FromXap on the received text, then msgClass/msgSource/msgTarget/msgUID, the
// Compare* operations and GetItem. Header values and item names are trimmed of spaces; names
// of sections and items are matched without regard to ASCII case. A header value that the
// text does not carry stays "Unknown" (a message without a target line keeps the target
// "Unknown"). FromXap accepts any bytes: it never throws and never reads out of bounds. It
// stops parsing, keeping what it has read so far, at a section name that repeats, at an item
// name that repeats within its section, and at a final "}" with no line after it; each such
// stop is reported to the log sink with the source "From XAP" and an empty text.
//
// Lines end at a line feed or at CR LF (a lone carriage return stays part of its line), and
// one blank line before "xap-header" is skipped.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/FastString.h"

class XapMessage {
 public:
  // Receives (source, text) of each failure that is worth a line in the file log.
  using LogSink = std::function<void(const std::string& source, const std::string& text)>;
  // The items of one section as (lower-cased item name, whole line "name=value"), in order.
  using ItemCollection = std::vector<std::pair<std::string, std::string>>;

  XapMessage() = default;
  explicit XapMessage(LogSink logSink) : logSink_(std::move(logSink)) {}

  // Properties: plain reads and writes of the four header values.
  const std::string& msgClass() const { return msgClass_; }
  const std::string& msgSource() const { return msgSource_; }
  const std::string& msgTarget() const { return msgTarget_; }
  const std::string& msgUID() const { return msgUID_; }
  void msgClass(std::string value) { msgClass_ = std::move(value); }
  void msgSource(std::string value) { msgSource_ = std::move(value); }
  void msgTarget(std::string value) { msgTarget_ = std::move(value); }
  void msgUID(std::string value) { msgUID_ = std::move(value); }

  // Builder. Each returns 0.
  int AddHeader();
  // Closes the open section, if any, and opens sSection.
  int AddSection(std::string_view sSection);
  // Writes sItem=sValue into the section opened last; sSection is not looked at.
  int AddItem(std::string_view sSection, std::string_view sItem, std::string_view sValue);
  // The text so far plus the "}" that closes the last section. The buffer is not changed.
  std::string ToXap() const;
  // Empties the text buffer; sMessage is not looked at.
  int Init(std::string_view sMessage);
  // Has no effect.
  void Reset() {}

  // Reader. FromXap returns 0 in every case; call it once, on a fresh instance.
  int FromXap(std::string_view sRawMessage);
  // The value (everything after the first "=", untrimmed) of item sItem in section sSection,
  // or "Unknown" when there is no such section or item.
  std::string GetItem(std::string_view sSection, std::string_view sItem) const;
  // sClass equals msgClass without regard to case; no wildcards.
  bool CompareClass(std::string_view sClass) const;
  // xAP address match: parts split at "."; "*" matches one part, ">" the rest of both
  // addresses; symmetric; false when either address is empty.
  bool CompareAddress(std::string_view sItem1, std::string_view sItem2) const;
  bool CompareTarget(std::string_view sTarget) const { return CompareAddress(sTarget, msgTarget_); }
  bool CompareSource(std::string_view sSource) const { return CompareAddress(sSource, msgSource_); }
  // Whether section sSection is there and its block is closed by a "}" line (a message cut
  // short leaves its last section open).
  bool SectionClosed(std::string_view sSection) const;
  // Lower-cased section names in order of appearance; one empty name when there is none.
  std::vector<std::string> msgSection() const;
  // The items of section number index (from 0), or nothing when there is no such section.
  std::optional<ItemCollection> msgCollection(int index) const;

 private:
  // A piece of raw_ by offset, so the message can be moved or copied safely.
  struct Span {
    std::size_t pos = 0;
    std::size_t len = 0;
  };
  struct Item {
    Span name;  // trimmed of spaces, original case
    Span line;  // the whole line
  };
  struct Section {
    Span name;  // the whole name line, original case
    std::size_t firstItem = 0;
    std::size_t itemCount = 0;
    bool closed = false;  // its block ends with a "}" line
  };

  std::string_view View(Span s) const { return std::string_view(raw_).substr(s.pos, s.len); }
  const Section* FindSection(std::string_view name) const;
  void ParseLines();
  void Log(const char* source) const;

  LogSink logSink_;
  std::string msgClass_ = "Unknown";
  std::string msgTarget_ = "Unknown";
  std::string msgSource_ = "Unknown";
  std::string msgUID_ = "Unknown";

  // Builder state.
  FastString text_;
  bool sectionOpen_ = false;

  // Reader state: a copy of the received text; sections and their items refer into it. The
  // items of all sections sit in one list, each section owning a contiguous run of it.
  std::string raw_;
  std::vector<Section> sections_;
  std::vector<Item> items_;
};
