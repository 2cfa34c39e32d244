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
#include <string>
#include <string_view>
#include <unordered_map>

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
// names its caller. Entries stored with Add are indexed; the first entry stored
// for a national number keeps it. FindNumber tries the exact key, then the key's
// national number.
class PhonebookEntries : public std::unordered_map<std::string, Phonebook> {
 public:
  // Stores the entry under key unless the key is taken; false then.
  bool Add(std::string key, Phonebook entry);
  const Phonebook* FindNumber(const std::string& key) const;
  // Indexes an entry stored without Add.
  void IndexNational(const std::string& key);

 private:
  std::unordered_map<std::string, std::string> national_;  // national number -> key
};

// The address record that AddHSP reads: last name, first name and sound file.
struct adr {
  std::string Last;
  std::string First;
  std::string announce_local_wav;
};

bool AddHSP(PhonebookEntries& entries, const adr& record, std::string_view number,
            std::string_view kind);
