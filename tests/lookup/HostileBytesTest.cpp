// Control bytes inside a field of every file and page the lookup reads come out as
// blanks: they never end, split or add a field or a record. A line feed is the record
// separator of Friends.txt and of vCard lines, so there it is tried as the form those
// formats give it inside a field (the vCard escape "\n"; CSV takes it raw in quotes).
// New contact files are UTF-8 and carry the program's mark.
#include <gtest/gtest.h>

#include <string>

#include "LookupTestUtil.h"
#include "lookup/ContactBook.h"
#include "lookup/InternetLookup.h"
#include "lookup/PhonebookReaders.h"

namespace {

struct HostileCase {
  const char* name;
  std::string raw;      // as it stands inside a field of CSV and of a web page
  std::string friends;  // inside a Friends.txt field; empty: it ends the line there
  std::string vcard;    // inside a vCard value
};

const HostileCase kCases[] = {
    {"Nul", std::string(1, '\0'), std::string(1, '\0'), std::string(1, '\0')},
    {"StartOfHeading", "\x01", "\x01", "\x01"},
    {"UnitSeparator", "\x1F", "\x1F", "\x1F"},
    {"Delete", "\x7F", "\x7F", "\x7F"},
    {"CarriageReturn", "\r", "\r", "\r"},
    {"LineFeed", "\n", "", "\\n"},
};

class HostileBytesTest : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileBytesTest, FriendsFieldKeepsItsPlace) {
  const HostileCase& c = GetParam();
  if (c.friends.empty()) GTEST_SKIP() << "a line feed ends a Friends.txt line";
  const std::string bytes =
      "2015551234\tAnn" + c.friends + "Lee\tring" + c.friends + ".wav\n2015559999\tBob\n";
  const FriendsReadResult r = ReadFriends(bytes, "/s/");
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_TRUE(r.skipped.empty());
  EXPECT_EQ(r.entries[0].PhoneNumber, "2015551234");
  EXPECT_EQ(r.entries[0].Name, "Ann Lee");
  EXPECT_EQ(r.entries[0].Wav, "/s/ring .wav");
  EXPECT_EQ(r.entries[1].Name, "Bob");
}

TEST_P(HostileBytesTest, CsvFieldKeepsItsPlace) {
  const HostileCase& c = GetParam();
  const std::string bytes =
      "First,Last,home_phone,cell_phone,business_phone,announce_local_wav\r\n"
      "\"Ann" +
      c.raw + "Marie\",\"Lee" + c.raw +
      "\",2015551234,,,\r\n"
      "Bob,Bell,2015559999,,,\r\n";
  const AddressBookReadResult r = ReadAddressBook(bytes);
  ASSERT_TRUE(r.headerValid);
  ASSERT_EQ(r.records.size(), 2u);
  EXPECT_TRUE(r.skipped.empty());
  EXPECT_EQ(r.records[0].person.First, "Ann Marie");
  EXPECT_EQ(r.records[0].person.Last, "Lee ");
  EXPECT_EQ(r.records[0].home_phone, "2015551234");
  EXPECT_EQ(r.records[1].person.First, "Bob");
  EXPECT_EQ(r.records[1].home_phone, "2015559999");
}

TEST_P(HostileBytesTest, VCardFieldKeepsItsPlace) {
  const HostileCase& c = GetParam();
  const std::string bytes = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee" + c.vcard + "Smith;Ann" +
                            c.vcard + "Marie;;;\r\nTEL;TYPE=HOME:201555" + c.vcard +
                            "1234\r\nEND:VCARD\r\n"
                            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Bell;Bob;;;\r\n"
                            "TEL:2015559999\r\nEND:VCARD\r\n";
  const VCardReadResult r = ReadVCards(bytes);
  ASSERT_EQ(r.contacts.size(), 2u);
  EXPECT_TRUE(r.skipped.empty());
  EXPECT_EQ(r.contacts[0].LastName, "Lee Smith");
  EXPECT_EQ(r.contacts[0].FirstName, "Ann Marie");
  ASSERT_EQ(r.contacts[0].numbers.size(), 1u);
  EXPECT_EQ(r.contacts[0].numbers[0].number, "201555 1234");
  EXPECT_EQ(r.contacts[1].LastName, "Bell");
}

TEST_P(HostileBytesTest, ReverseLookupListingKeepsItsPlace) {
  const HostileCase& c = GetParam();
  const std::string page = "<HTML><B>Reverse Telephone Listings</B><BR><B>LEE" + c.raw +
                           "SMITH, ANN" + c.raw + "MARIE</B></HTML>";
  EXPECT_EQ(InternetLookup(page), "ANN MARIE LEE SMITH");
}

INSTANTIATE_TEST_SUITE_P(Bytes, HostileBytesTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<HostileCase>& info) {
                           return std::string(info.param.name);
                         });

bool IsValidUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const std::size_t n = b < 0x80           ? 1
                          : (b >> 5) == 0x6  ? 2
                          : (b >> 4) == 0xE  ? 3
                          : (b >> 3) == 0x1E ? 4
                                             : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

struct Utf8Case {
  const char* name;
  const char* first;   // as the caller-ID name gave it
  const char* stored;  // as the contact file must hold it
};

class NewContactFileTest : public testing::TestWithParam<Utf8Case> {};

TEST_P(NewContactFileTest, IsUtf8AndMarkedAsTheProgramsOwn) {
  LookupTempDir dir;
  NewContact contact;
  contact.FirstName = GetParam().first;
  contact.LastName = "M\xC3\xBCller";  // already UTF-8
  contact.HomeTelephoneNumber = "(201) 555-1234";
  const CreatedContact made = CreateContact(dir.path(), contact);
  ASSERT_TRUE(made.status) << made.status.description;
  const std::string text = ReadFileBytes(made.path);
  EXPECT_TRUE(IsValidUtf8(text));
  EXPECT_NE(text.find("\r\nCATEGORIES:New Caller\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find(std::string("\r\nN:M\xC3\xBCller;") + GetParam().stored + ";"),
            std::string::npos)
      << text;

  const VCardReadResult back = ReadVCards(text);
  ASSERT_EQ(back.contacts.size(), 1u);
  EXPECT_TRUE(back.contacts[0].createdByProgram);
  EXPECT_EQ(back.contacts[0].FirstName, GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Names, NewContactFileTest,
                         testing::Values(Utf8Case{"Latin1Converted", "Jos\xE9", "Jos\xC3\xA9"},
                                         Utf8Case{"Utf8Kept",
                                                  "Ren\xC3\xA9"
                                                  "e",
                                                  "Ren\xC3\xA9"
                                                  "e"},
                                         Utf8Case{"AsciiKept", "ANN", "ANN"}),
                         [](const testing::TestParamInfo<Utf8Case>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
