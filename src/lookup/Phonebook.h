#pragma once
// Phonebook, PhonebookEntries, adr and AddHSP: the in-memory table of known callers.
//
// Phonebook is one entry: the number as its source wrote it, the person's first and
// last name (contact-book entries only), the name the caller is announced under,
// which of the person's numbers it is ("home", "work", "cell"; empty for Friends.txt
// entries), a sound file and an icon. A new entry has the number "0000000000".
// Callers may rely on:
// - every getter returning its field unchanged, except Name(), which reads every
//   "&" as "and" (no spaces added: "Tom&Jerry" reads "TomandJerry"), and Key(),
//   which is NumberKey() of the number;
// - PhonebookEntries holding each key at most once, the key always being the
//   NumberKey() of the entry's number, compared byte for byte.
//
// AddHSP stores one contact-book record under a number, merging into an entry that
// already holds the number (its key, or else its national number): same non-empty
// last name gives "John or Jane Smith", otherwise "John Smith or Jane Doe" (an
// empty part adds no blank, so "Joe Smith" and a contact "Jim" give "Joe Smith or
// Jim"); the first entry's number, kind and sound file stay.
// A number whose key is empty (blank) is not stored; AddHSP returns false then.
// Pure C++, no Qt.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Phonebook {
 public:
  Phonebook() = default;

  void SetPhoneNumber(std::string v) { PhoneNumber_ = std::move(v); }
  void SetName(std::string v) { Name_ = std::move(v); }
  void SetFirstName(std::string v) { FirstName_ = std::move(v); }
  void SetLastName(std::string v) { LastName_ = std::move(v); }
  void SetLocation(std::string v) { Location_ = std::move(v); }
  void SetWav(std::string v) { Wav_ = std::move(v); }
  void SetIcon(std::string v) { Icon_ = std::move(v); }

  std::string Key() const;

  const std::string& PhoneNumber() const { return PhoneNumber_; }
  std::string Name() const;
  const std::string& RawName() const { return Name_; }  // as stored, "&" unread
  const std::string& LastName() const { return LastName_; }
  const std::string& FirstName() const { return FirstName_; }
  const std::string& Location() const { return Location_; }
  const std::string& Wav() const { return Wav_; }
  const std::string& Icon() const { return Icon_; }

 private:
  std::string PhoneNumber_ = "0000000000";
  std::string FirstName_;
  std::string LastName_;
  std::string Name_;
  std::string Location_;
  std::string Wav_;
  std::string Icon_;
};

// The dictionary of entries by NumberKey, with a second index by NationalNumber
// so that a number written another way ("+1 555 987 6543" for "5559876543") still
// names its caller; the first entry stored for a national number keeps it.
//
// It is built to hold millions of entries in little more memory than their text:
// each entry is packed into one record (field lengths, then the bytes) inside large
// shared blocks, and both indexes are open-addressed tables of record numbers. Keys
// are not stored; they are worked out from the number when needed. Entries come
// back by value (a Phonebook), so nothing a caller holds points into the table.
// Callers may rely on:
// - Add storing an entry under its Key() unless the key is blank or taken (false then);
// - Find answering the exact key (byte for byte), FindNumber the exact key and then
//   the key's national number;
// - IndexOf and At/Replace letting an entry be changed in place (Replace must keep
//   the entry's number; the indexes are not touched);
// - ForEach visiting every entry once, in the order they were added.
// Memory left by replaced records is given back once it outgrows the live records.
class PhonebookEntries {
 public:
  PhonebookEntries() = default;
  PhonebookEntries(PhonebookEntries&&) noexcept = default;
  PhonebookEntries& operator=(PhonebookEntries&&) noexcept = default;
  PhonebookEntries(const PhonebookEntries& other);
  PhonebookEntries& operator=(const PhonebookEntries& other);

  bool Add(const Phonebook& entry);
  std::optional<Phonebook> Find(std::string_view key) const;
  std::optional<Phonebook> FindNumber(std::string_view key) const;

  // The entry FindNumber would answer, as a record number for At and Replace.
  std::optional<std::size_t> IndexOf(std::string_view key) const;
  Phonebook At(std::size_t index) const;
  void Replace(std::size_t index, const Phonebook& entry);

  void ForEach(const std::function<void(const Phonebook&)>& visit) const;

  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  std::size_t count(std::string_view key) const { return FindExact(key) ? 1 : 0; }

  // Gives back spare room once the building is done.
  void ShrinkToFit();

 private:
  struct Block {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    std::size_t used = 0;
  };

  std::optional<std::uint32_t> FindExact(std::string_view key) const;
  std::optional<std::uint32_t> FindNational(std::string_view national) const;
  // A record is named by its block (high bits) and its offset in the block (low bits),
  // in four bytes.
  static const char* RecordIn(const std::vector<Block>& blocks, std::uint32_t id);
  const char* RecordAt(std::uint32_t id) const { return RecordIn(blocks_, id); }
  std::uint32_t Store(const Phonebook& entry);
  void Grow(std::vector<std::uint32_t>& slots, bool national);
  void Insert(std::vector<std::uint32_t>& slots, std::uint32_t index, std::uint64_t hash);
  void Compact();

  std::vector<Block> blocks_;
  static constexpr std::size_t kNoBlock = static_cast<std::size_t>(-1);
  std::size_t filling_ = kNoBlock;       // the block small records go into
  std::vector<std::uint32_t> records_;   // one packed record per entry
  std::vector<std::uint32_t> keySlots_;  // record number + 1 by key hash; 0 is free
  std::vector<std::uint32_t> nationalSlots_;
  std::size_t nationalCount_ = 0;
  std::size_t liveBytes_ = 0;
  std::size_t deadBytes_ = 0;  // bytes of replaced records
};

// The address record that AddHSP reads: last name, first name and sound file.
struct adr {
  std::string Last;
  std::string First;
  std::string announce_local_wav;
};

bool AddHSP(PhonebookEntries& entries, const adr& record, std::string_view number,
            std::string_view kind);
