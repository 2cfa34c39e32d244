#include "lookup/PhonebookReaders.h"

#include <algorithm>
#include <array>

#include "common/ControlBytes.h"
#include "lookup/NumberFormat.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool IStartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && IEquals(s.substr(0, prefix.size()), prefix);
}

bool IContains(std::string_view s, std::string_view needle) {
  if (needle.size() > s.size()) return false;
  for (std::size_t i = 0; i + needle.size() <= s.size(); ++i) {
    if (IEquals(s.substr(i, needle.size()), needle)) return true;
  }
  return false;
}

// True when the number has a character that NumberKey keeps.
bool HasKeyCharacter(std::string_view number) {
  return std::any_of(number.begin(), number.end(),
                     [](char c) { return c != '-' && c != '(' && c != ')' && c != ' '; });
}

// Walks the lines of a text; the line excludes its LF and a CR before it.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) : text_(text) {}
  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    const std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) {
      line = text_.substr(pos_);
      pos_ = text_.size();
    } else {
      line = text_.substr(pos_, end - pos_);
      pos_ = end + 1;
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++number_;
    return true;
  }
  int Number() const { return number_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int number_ = 0;
};

std::string_view WithoutBom(std::string_view bytes) {
  if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) bytes.remove_prefix(kUtf8Bom.size());
  return bytes;
}

// ---- CSV ----

struct CsvRow {
  std::vector<std::string> fields;
  bool ok = true;
  std::string error;
  bool unterminated = false;  // a quote was ended at the end of its line
  int line = 0;
};

class CsvCursor {
 public:
  explicit CsvCursor(std::string_view text) : s_(text) {}

  // The header's field count; a row that spans lines must fit it.
  void SetWidth(std::size_t width) { width_ = width; }

  // Reads the next record that is not an empty line; false at the end of the text.
  bool Next(CsvRow& row) {
    while (pos_ < s_.size() && (s_[pos_] == '\n' || s_.substr(pos_, 2) == "\r\n")) {
      pos_ += s_[pos_] == '\n' ? 1 : 2;
      ++line_;
    }
    if (pos_ >= s_.size()) return false;
    const std::size_t rowStart = pos_;
    const int rowLine = line_;
    Read(row, true);
    // A quote that runs over line ends and leaves a row that does not fit the
    // header is taken as a quote never closed: it ends at the end of its line.
    if (line_ > rowLine + 1 && (!row.ok || (width_ > 0 && row.fields.size() != width_))) {
      pos_ = rowStart;
      line_ = rowLine;
      Read(row, false);
    }
    return true;
  }

 private:
  void Read(CsvRow& row, bool mayspan) {
    row.fields.clear();
    row.ok = true;
    row.error.clear();
    row.unterminated = false;
    row.line = line_;
    std::string field;
    for (;;) {
      field.clear();
      if (pos_ < s_.size() && s_[pos_] == '"') {
        ++pos_;
        for (;;) {
          const std::size_t q = s_.find('"', pos_);
          const std::size_t nl = s_.find('\n', pos_);
          if (q == std::string_view::npos || (!mayspan && nl < q)) {
            // Never closed: the field ends with its line.
            std::string_view rest =
                s_.substr(pos_, nl == std::string_view::npos ? s_.npos : nl - pos_);
            if (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
            field.append(rest);
            row.fields.push_back(field);
            row.unterminated = true;
            pos_ = nl == std::string_view::npos ? s_.size() : nl + 1;
            ++line_;
            return;
          }
          field.append(s_.substr(pos_, q - pos_));
          line_ += static_cast<int>(std::count(s_.begin() + static_cast<std::ptrdiff_t>(pos_),
                                               s_.begin() + static_cast<std::ptrdiff_t>(q), '\n'));
          if (q + 1 < s_.size() && s_[q + 1] == '"') {
            field += '"';
            pos_ = q + 2;
            continue;
          }
          pos_ = q + 1;
          break;
        }
        row.fields.push_back(field);
        if (pos_ >= s_.size()) return;
        if (s_[pos_] == ',') {
          ++pos_;
          continue;
        }
        if (s_[pos_] == '\n' || s_.substr(pos_, 2) == "\r\n") {
          pos_ += s_[pos_] == '\n' ? 1 : 2;
          ++line_;
          return;
        }
        FailToLineEnd(row, "text after a closing quote");
        return;
      }
      const std::size_t end = s_.find_first_of(",\n", pos_);
      std::string_view raw = s_.substr(pos_, end == std::string_view::npos ? s_.npos : end - pos_);
      if (end != std::string_view::npos && s_[end] == '\n' && !raw.empty() && raw.back() == '\r') {
        raw.remove_suffix(1);
      }
      row.fields.emplace_back(raw);
      if (end == std::string_view::npos) {
        pos_ = s_.size();
        return;
      }
      pos_ = end + 1;
      if (s_[end] == '\n') {
        ++line_;
        return;
      }
    }
  }

  void FailToLineEnd(CsvRow& row, const char* why) {
    row.ok = false;
    row.error = why;
    const std::size_t nl = s_.find('\n', pos_);
    pos_ = nl == std::string_view::npos ? s_.size() : nl + 1;
    ++line_;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  int line_ = 1;
  std::size_t width_ = 0;
};

enum AddressColumn { kFirst, kLast, kHome, kCell, kBusiness, kWav, kColumns };
constexpr std::array<std::string_view, kColumns> kColumnNames = {
    "First", "Last", "home_phone", "cell_phone", "business_phone", "announce_local_wav"};

// ---- vCard ----

struct LogicalLine {
  std::string text;
  int line = 0;
};

// Position of the first ":" outside double quotes (parameter values may be quoted).
std::size_t ValueColon(std::string_view s) {
  bool quoted = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"') quoted = !quoted;
    if (s[i] == ':' && !quoted) return i;
  }
  return std::string_view::npos;
}

bool IsQuotedPrintable(std::string_view line) {
  const std::size_t colon = ValueColon(line);
  return colon != std::string_view::npos && IContains(line.substr(0, colon), "QUOTED-PRINTABLE");
}

// Joins folded lines (a line starting with a space or TAB continues the one before)
// and quoted-printable soft line breaks (a value ending in "=").
std::vector<LogicalLine> UnfoldVCardLines(std::string_view bytes) {
  std::vector<LogicalLine> lines;
  LineCursor cursor(bytes);
  std::string_view line;
  bool softBreak = false;
  while (cursor.Next(line)) {
    if (softBreak && !lines.empty()) {
      lines.back().text.append(line);
    } else if (!line.empty() && (line.front() == ' ' || line.front() == '\t') && !lines.empty()) {
      lines.back().text.append(line.substr(1));
    } else if (line.empty()) {
      softBreak = false;
      continue;
    } else {
      lines.push_back({std::string(line), cursor.Number()});
    }
    std::string& text = lines.back().text;
    softBreak = !text.empty() && text.back() == '=' && IsQuotedPrintable(text);
    if (softBreak) text.pop_back();
  }
  return lines;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = LowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string DecodeQuotedPrintable(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '=' && i + 2 < s.size()) {
      const int hi = HexValue(s[i + 1]);
      const int lo = HexValue(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

// Splits a value at unescaped ";" and undoes the escapes in each component.
std::vector<std::string> SplitComponents(std::string_view s) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\\' && i + 1 < s.size()) {
      const char n = s[i + 1];
      if (n == 'n' || n == 'N') {
        parts.back() += '\n';
      } else if (n == '\\' || n == ',' || n == ';' || n == ':') {
        parts.back() += n;
      } else {
        parts.back() += c;
        parts.back() += n;
      }
      ++i;
    } else if (c == ';') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

std::string Unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char n = s[i + 1];
      if (n == 'n' || n == 'N') {
        out += '\n';
      } else if (n == '\\' || n == ',' || n == ';' || n == ':') {
        out += n;
      } else {
        out += s[i];
        out += n;
      }
      ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Splits the part before the value colon at ";" outside double quotes.
std::vector<std::string_view> SplitParams(std::string_view s) {
  std::vector<std::string_view> out;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"') quoted = !quoted;
    if (s[i] == ';' && !quoted) {
      out.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  out.push_back(s.substr(start));
  return out;
}

struct TelKinds {
  bool work = false;
  bool home = false;
  bool cell = false;
};

void NoteTelType(std::string_view type, TelKinds& kinds) {
  type = TrimBlanks(type);
  if (!type.empty() && type.front() == '"') type.remove_prefix(1);
  if (!type.empty() && type.back() == '"') type.remove_suffix(1);
  if (IEquals(type, "work")) kinds.work = true;
  if (IEquals(type, "home")) kinds.home = true;
  if (IEquals(type, "cell") || IEquals(type, "mobile")) kinds.cell = true;
}

struct CardState {
  VCardContact contact;
  bool haveN = false;
  std::string fn;
  std::string malformed;  // first reason the card is refused, empty when sound
};

void ApplyProperty(CardState& card, std::string_view head, std::string_view value) {
  const std::vector<std::string_view> params = SplitParams(head);
  std::string_view name = params.front();
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name.remove_prefix(dot + 1);

  bool qp = false;
  for (std::size_t i = 1; i < params.size(); ++i) {
    if (IContains(params[i], "QUOTED-PRINTABLE")) qp = true;
  }
  std::string decoded = qp ? DecodeQuotedPrintable(value) : std::string(value);

  if (IEquals(name, "N")) {
    if (card.haveN) return;
    std::vector<std::string> parts = SplitComponents(decoded);
    card.contact.LastName = WithControlBytesBlanked(parts[0]);
    card.contact.FirstName = parts.size() > 1 ? WithControlBytesBlanked(parts[1]) : std::string();
    card.haveN = true;
  } else if (IEquals(name, "FN")) {
    if (card.fn.empty()) card.fn = WithControlBytesBlanked(Unescape(decoded));
  } else if (IEquals(name, "CATEGORIES")) {
    if (IContains(decoded, "New Caller")) card.contact.createdByProgram = true;
  } else if (IEquals(name, "ADR")) {
    std::vector<std::string> parts = SplitComponents(decoded);
    if (parts.size() > 2 && parts[2] == "New Caller") card.contact.createdByProgram = true;
  } else if (IEquals(name, "TEL")) {
    TelKinds kinds;
    for (std::size_t i = 1; i < params.size(); ++i) {
      std::string_view p = params[i];
      const std::size_t eq = p.find('=');
      if (eq == std::string_view::npos) {
        NoteTelType(p, kinds);
      } else if (IEquals(TrimBlanks(p.substr(0, eq)), "TYPE")) {
        std::string_view types = p.substr(eq + 1);
        std::size_t start = 0;
        for (std::size_t i2 = 0; i2 <= types.size(); ++i2) {
          if (i2 == types.size() || types[i2] == ',') {
            NoteTelType(types.substr(start, i2 - start), kinds);
            start = i2 + 1;
          }
        }
      }
    }
    std::string number = WithControlBytesBlanked(Unescape(decoded));
    if (IStartsWith(number, "tel:")) number.erase(0, 4);
    number = std::string(TrimBlanks(number));
    if (number.empty()) return;
    const char* kind = kinds.work ? "work" : kinds.home ? "home" : kinds.cell ? "cell" : "";
    card.contact.numbers.push_back({number, kind});
    if (kinds.work && card.contact.BusinessTelephoneNumber.empty())
      card.contact.BusinessTelephoneNumber = number;
    if (kinds.home && card.contact.HomeTelephoneNumber.empty())
      card.contact.HomeTelephoneNumber = number;
    if (kinds.cell && card.contact.MobileTelephoneNumber.empty())
      card.contact.MobileTelephoneNumber = number;
  }
}

}  // namespace

std::string FriendsSoundFile(std::string_view value, std::string_view friendsLocation) {
  if ((!value.empty() && value.front() == '/') || value.find("\\\\") != std::string_view::npos ||
      value.find(':') != std::string_view::npos) {
    return std::string(value);
  }
  std::string out(friendsLocation);
  out.append(value);
  return out;
}

FriendsReadResult ReadFriends(std::string_view bytes, std::string_view friendsLocation) {
  FriendsReadResult result;
  ReadFriends(
      bytes, friendsLocation, [&](FriendsEntry&& e) { result.entries.push_back(std::move(e)); },
      [&](SkippedRecord&& s) { result.skipped.push_back(std::move(s)); });
  return result;
}

void ReadFriends(std::string_view bytes, std::string_view friendsLocation,
                 const std::function<void(FriendsEntry&&)>& onEntry,
                 const std::function<void(SkippedRecord&&)>& onSkipped) {
  LineCursor cursor(WithoutBom(bytes));
  std::string_view line;
  while (cursor.Next(line)) {
    if (line.empty() || line.front() == ';') continue;
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;

    std::string_view name;
    std::string_view sound;
    std::size_t start = tab + 1;
    for (;;) {
      const std::size_t next = line.find('\t', start);
      const std::string_view field =
          TrimSpaces(line.substr(start, next == std::string_view::npos ? line.npos : next - start));
      if (!field.empty()) {
        if (name.empty()) {
          name = field;
        } else {
          sound = field;
          break;
        }
      }
      if (next == std::string_view::npos) break;
      start = next + 1;
    }
    if (name.empty()) continue;

    FriendsEntry entry;
    entry.PhoneNumber.assign(line.substr(0, tab));
    BlankControlBytes(entry.PhoneNumber);
    if (!HasKeyCharacter(entry.PhoneNumber) || NumberKey(entry.PhoneNumber).empty()) {
      onSkipped({cursor.Number(), "no number before the first TAB"});
      continue;
    }
    entry.Name.assign(name);
    if (!sound.empty()) entry.Wav = FriendsSoundFile(sound, friendsLocation);
    BlankControlBytes(entry.Name);
    BlankControlBytes(entry.Wav);
    // A name of control bytes only is no name; blanks they left at the ends go.
    entry.Name = std::string(TrimSpaces(entry.Name));
    if (entry.Name.empty()) continue;
    entry.line = cursor.Number();
    onEntry(std::move(entry));
  }
}

std::size_t CsvCompleteRows(std::string_view text) {
  std::size_t end = 0;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    // At the start of a field.
    if (text[i] == '"') {
      std::size_t q = i + 1;
      for (;;) {
        q = text.find('"', q);
        if (q == std::string_view::npos) return end;
        if (q + 1 < n && text[q + 1] == '"') {
          q += 2;
          continue;
        }
        break;
      }
      i = q + 1;
      if (i >= n) return end;
      if (text[i] == ',') {
        ++i;
        continue;
      }
      // A line end, or text after the closing quote: the row ends with its line.
      const std::size_t nl = text.find('\n', i);
      if (nl == std::string_view::npos) return end;
      end = i = nl + 1;
      continue;
    }
    const std::size_t stop = text.find_first_of(",\n", i);
    if (stop == std::string_view::npos) return end;
    i = stop + 1;
    if (text[stop] == '\n') end = i;
  }
  return end;
}

AddressBookReadResult ReadAddressBook(std::string_view bytes) {
  AddressBookReadResult result;
  result.headerValid = ReadAddressBook(
      bytes, [&](AddressRecord&& r) { result.records.push_back(std::move(r)); },
      [&](SkippedRecord&& s) { result.skipped.push_back(std::move(s)); }, result.headerError);
  return result;
}

bool ReadAddressBook(std::string_view bytes, const std::function<void(AddressRecord&&)>& onRecord,
                     const std::function<void(SkippedRecord&&)>& onSkipped,
                     std::string& headerError) {
  headerError.clear();
  CsvCursor cursor(WithoutBom(bytes));
  CsvRow row;
  if (!cursor.Next(row)) {
    headerError = "the file is empty";
    return false;
  }
  if (!row.ok) {
    headerError = "header row: " + row.error;
    return false;
  }
  std::array<int, kColumns> column;
  column.fill(-1);
  for (std::size_t i = 0; i < row.fields.size(); ++i) {
    const std::string_view name = TrimBlanks(row.fields[i]);
    for (int c = 0; c < kColumns; ++c) {
      if (column[c] < 0 && IEquals(name, kColumnNames[c])) column[c] = static_cast<int>(i);
    }
  }
  if (column[kFirst] < 0 || column[kLast] < 0 ||
      (column[kHome] < 0 && column[kCell] < 0 && column[kBusiness] < 0)) {
    headerError = "the header row does not name First, Last and a phone column";
    return false;
  }
  const std::size_t width = row.fields.size();
  cursor.SetWidth(width);

  while (cursor.Next(row)) {
    if (!row.ok) {
      onSkipped({row.line, row.error});
      continue;
    }
    if (row.unterminated) {
      onSkipped({row.line, "a quoted field is never closed; it ends at the end of its line"});
    }
    if (row.fields.size() < width) row.fields.resize(width);
    for (std::string& f : row.fields) BlankControlBytes(f);
    if (row.fields.size() != width) {
      onSkipped({row.line, std::to_string(row.fields.size()) + " fields where the header has " +
                               std::to_string(width)});
      continue;
    }
    auto take = [&](AddressColumn c) {
      return column[c] < 0 ? std::string() : std::move(row.fields[column[c]]);
    };
    AddressRecord record;
    record.person.First = take(kFirst);
    record.person.Last = take(kLast);
    record.person.announce_local_wav = take(kWav);
    record.home_phone = take(kHome);
    record.cell_phone = take(kCell);
    record.business_phone = take(kBusiness);
    record.line = row.line;
    onRecord(std::move(record));
  }
  return true;
}

VCardReadResult ReadVCards(std::string_view bytes) {
  VCardReadResult result;
  std::vector<LogicalLine> lines = UnfoldVCardLines(WithoutBom(bytes));
  bool inCard = false;
  CardState card;

  auto finish = [&] {
    if (!card.malformed.empty()) {
      result.skipped.push_back({card.contact.line, card.malformed});
    } else {
      if (!card.haveN) card.contact.FirstName = card.fn;
      result.contacts.push_back(std::move(card.contact));
    }
    card = CardState();
    inCard = false;
  };

  for (const LogicalLine& l : lines) {
    const std::string_view text = l.text;
    const std::size_t colon = ValueColon(text);
    if (colon != std::string_view::npos) {
      const std::string_view head = TrimBlanks(text.substr(0, colon));
      const std::string_view value = TrimBlanks(text.substr(colon + 1));
      if (IEquals(head, "BEGIN") && IEquals(value, "VCARD")) {
        if (inCard) {
          card.malformed = "BEGIN:VCARD inside a card";
          finish();
        }
        inCard = true;
        card.contact.line = l.line;
        continue;
      }
      if (IEquals(head, "END") && IEquals(value, "VCARD")) {
        if (inCard) finish();
        continue;
      }
    }
    if (!inCard) continue;
    if (!card.malformed.empty()) continue;
    if (colon == std::string_view::npos) {
      card.malformed = "line " + std::to_string(l.line) + " has no ':'";
      continue;
    }
    ApplyProperty(card, text.substr(0, colon), text.substr(colon + 1));
  }
  if (inCard) {
    if (card.malformed.empty()) card.malformed = "no END:VCARD";
    finish();
  }
  return result;
}
