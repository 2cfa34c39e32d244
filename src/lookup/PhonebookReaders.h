#pragma once
// Readers of the three phonebook sources. Each takes the whole file as bytes and
// returns what it found plus one SkippedRecord per malformed record, so a bad line
// or card never hides the good ones around it. None of them throws on any input;
// texts stay 8-bit, but every control byte (0x00-0x1F, 0x7F) left in a field after
// it is cut out is replaced by a blank. A UTF-8 byte-order mark at the start is
// skipped. Lines may end in CR LF or LF.
//
// ReadFriends (Friends.txt): one entry per line, fields separated by single TABs.
//   Field 1 is the number, kept as written; the name is the first later field that
//   is not blank after trimming spaces, the sound file the first non-blank field
//   after the name, both trimmed. A sound file that begins with "/" or holds "\\"
//   or ":" is kept as written, any other gets friendsLocation in front. Lines that
//   begin with ";", have no TAB, or have no name are passed over silently; a line
//   with a name but no number (an empty key) is malformed.
//
// ReadAddressBook (CSV, RFC 4180 quoting): a header row naming the columns First,
//   Last, home_phone, cell_phone, business_phone, announce_local_wav in any order
//   (names matched without regard to case or surrounding spaces; other columns are
//   ignored; missing ones read empty). The header is valid when it names First, Last
//   and at least one phone column. Empty lines are passed over; a short row reads
//   its missing trailing fields as empty. A quoted field may span lines, but a
//   quote that would swallow later rows (the row would then not fit the header)
//   ends at the end of its line: the row is read and one SkippedRecord notes it.
//   A row with more fields than the header, or with text after a closing quote,
//   is malformed (reading goes on with the next line).
//
// ReadVCards (.vcf text, vCard 2.1, 3.0 and 4.0): every BEGIN:VCARD ... END:VCARD.
//   Folded lines are joined, quoted-printable values decoded, and the escapes \\ \,
//   \; \n undone. First and last name come from N (family;given), or from FN as the
//   first name when there is no N. Every TEL (typed or not, grouped as item1.TEL)
//   goes into numbers in card order, with its kind: "work", "home" or "cell"
//   (TYPE=work, home, cell or mobile, also as bare 2.1 params), else empty; a
//   "tel:" URI prefix is dropped. The first TEL of each kind also fills the card's
//   work, home and cell number. CATEGORIES holding "New Caller" (or an ADR whose
//   street is "New Caller") marks a contact this program created. A card without
//   END:VCARD, with a nested BEGIN:VCARD or with a content line that has no ":" is
//   malformed.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "lookup/Phonebook.h"

struct SkippedRecord {
  int line = 0;        // 1-based line where the record starts
  std::string reason;  // why it was passed over, for the log
};

struct FriendsEntry {
  std::string PhoneNumber;
  std::string Name;
  std::string Wav;
  int line = 0;
};

struct FriendsReadResult {
  std::vector<FriendsEntry> entries;
  std::vector<SkippedRecord> skipped;
};

FriendsReadResult ReadFriends(std::string_view bytes, std::string_view friendsLocation);

// The same reading, handing each entry and each skipped line over as it is met, so a
// large file needs no second copy of its entries.
void ReadFriends(std::string_view bytes, std::string_view friendsLocation,
                 const std::function<void(FriendsEntry&&)>& onEntry,
                 const std::function<void(SkippedRecord&&)>& onSkipped);

// The sound-file rule of Friends.txt on its own.
std::string FriendsSoundFile(std::string_view value, std::string_view friendsLocation);

struct AddressRecord {
  adr person;
  std::string home_phone;
  std::string cell_phone;
  std::string business_phone;
  int line = 0;
};

struct AddressBookReadResult {
  bool headerValid = false;
  std::string headerError;  // why the header was refused
  std::vector<AddressRecord> records;
  std::vector<SkippedRecord> skipped;
};

AddressBookReadResult ReadAddressBook(std::string_view bytes);

// The same reading, handing each record and each skipped row over as it is met, so a
// large file needs no second copy of its records. False, with headerError set, when
// the header is refused (nothing is handed over then).
bool ReadAddressBook(std::string_view bytes, const std::function<void(AddressRecord&&)>& onRecord,
                     const std::function<void(SkippedRecord&&)>& onSkipped,
                     std::string& headerError);

// Where the last complete CSV row of text ends (the offset just past its line end), as
// the reader above would cut the rows; 0 when text holds no complete row. A large file
// can then be read in pieces that never split a row.
std::size_t CsvCompleteRows(std::string_view text);

struct VCardNumber {
  std::string number;
  std::string kind;  // "work", "home", "cell" or empty
};

struct VCardContact {
  std::vector<VCardNumber> numbers;
  bool createdByProgram = false;
  std::string FirstName;
  std::string LastName;
  std::string BusinessTelephoneNumber;
  std::string HomeTelephoneNumber;
  std::string MobileTelephoneNumber;
  int line = 0;  // line of its BEGIN:VCARD
};

struct VCardReadResult {
  std::vector<VCardContact> contacts;
  std::vector<SkippedRecord> skipped;
};

VCardReadResult ReadVCards(std::string_view bytes);
