#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "LookupTestUtil.h"
#include "lookup/ContactBook.h"
#include "lookup/PhonebookReaders.h"

namespace {

TEST(ContactVCard, WritesVersion3WithTheNewCallerAddress) {
  NewContact c;
  c.FirstName = "JANE";
  c.LastName = "DOE";
  c.HomeTelephoneNumber = "(201) 555-1234";
  EXPECT_EQ(ContactVCard(c, "0f8fad5b-d9cb-469f-a165-70867728950e"),
            "BEGIN:VCARD\r\n"
            "VERSION:3.0\r\n"
            "UID:0f8fad5b-d9cb-469f-a165-70867728950e\r\n"
            "N:DOE;JANE;;;\r\n"
            "FN:JANE DOE\r\n"
            "TEL;TYPE=HOME:(201) 555-1234\r\n"
            "ADR;TYPE=HOME:;;New Caller;;;;\r\n"
            "CATEGORIES:New Caller\r\n"
            "END:VCARD\r\n");
}

TEST(ContactVCard, NameWithoutLastNameHasPlainFormattedName) {
  NewContact c;
  c.FirstName = "PRINCE";
  c.HomeTelephoneNumber = "555-1234";
  const std::string text = ContactVCard(c, "u");
  EXPECT_NE(text.find("\r\nN:;PRINCE;;;\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nFN:PRINCE\r\n"), std::string::npos);
}

TEST(ContactVCard, SpecialCharactersAndLongLinesComeBackThroughTheReader) {
  NewContact c;
  c.FirstName = "A,B;C\\D";
  c.LastName = std::string(120, 'x') + "\xC3\xA9" + std::string(40, 'y');
  c.HomeTelephoneNumber = "(201) 555-1234";
  const std::string text = ContactVCard(c, "u");
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LE(end - start, 75u);
    start = end + 2;
  }
  const VCardReadResult r = ReadVCards(text);
  ASSERT_EQ(r.contacts.size(), 1u);
  EXPECT_EQ(r.contacts[0].FirstName, c.FirstName);
  EXPECT_EQ(r.contacts[0].LastName, c.LastName);
  EXPECT_EQ(r.contacts[0].HomeTelephoneNumber, c.HomeTelephoneNumber);
}

TEST(NewUuid, IsAFreshVersion4Uuid) {
  const std::regex form("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    const std::string id = NewUuid();
    EXPECT_TRUE(std::regex_match(id, form)) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(CreateContact, WritesOneUuidNamedFileThatReadsBack) {
  LookupTempDir dir;
  NewContact c;
  c.FirstName = "DOE";
  c.LastName = "JOHN";
  c.HomeTelephoneNumber = "(212) 555-0101";
  const CreatedContact made = CreateContact(dir.path(), c);
  ASSERT_TRUE(made.status) << made.status.description;

  const std::vector<std::string> names = FileNames(dir.path());
  ASSERT_EQ(names.size(), 1u);  // no temporary file left behind
  EXPECT_TRUE(std::regex_match(names[0], std::regex("[0-9a-f-]{36}\\.vcf")));
  EXPECT_EQ(made.path, dir / names[0]);

  const std::string text = ReadFileBytes(made.path);
  const std::string uid = names[0].substr(0, 36);
  EXPECT_NE(text.find("\r\nUID:" + uid + "\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nADR;TYPE=HOME:;;New Caller;;;;\r\n"), std::string::npos);
  const VCardReadResult r = ReadVCards(text);
  ASSERT_EQ(r.contacts.size(), 1u);
  EXPECT_EQ(r.contacts[0].FirstName, "DOE");
  EXPECT_EQ(r.contacts[0].LastName, "JOHN");
  EXPECT_EQ(r.contacts[0].HomeTelephoneNumber, "(212) 555-0101");
}

TEST(CreateContact, TwoContactsForOneNumberAreTwoFiles) {
  LookupTempDir dir;
  NewContact c;
  c.FirstName = "CHARLIE";
  c.HomeTelephoneNumber = "555-1234";
  ASSERT_TRUE(CreateContact(dir.path() + "/", c).status);
  ASSERT_TRUE(CreateContact(dir.path(), c).status);
  EXPECT_EQ(FileNames(dir.path()).size(), 2u);
}

TEST(CreateContact, UnwritableFolderIsAFailureWithAReason) {
  LookupTempDir dir;
  NewContact c;
  c.FirstName = "X";
  const CreatedContact made = CreateContact(dir / "missing", c);
  EXPECT_FALSE(made.status);
  EXPECT_FALSE(made.status.description.empty());
  EXPECT_TRUE(made.path.empty());
  EXPECT_TRUE(FileNames(dir.path()).empty());
}

struct SplitCase {
  const char* name;
  const char* text;
  const char* first;
  const char* last;
};

class SplitAtFirstSpaceTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitAtFirstSpaceTest, Splits) {
  const auto [first, last] = SplitAtFirstSpace(GetParam().text);
  EXPECT_EQ(first, GetParam().first);
  EXPECT_EQ(last, GetParam().last);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SplitAtFirstSpaceTest,
    testing::Values(SplitCase{"TwoWordsInOrderReceived", "DOE JOHN", "DOE", "JOHN"},
                    SplitCase{"OneWord", "CHARLIE", "CHARLIE", ""},
                    SplitCase{"RestIsLastName", "MARY ANN SMITH", "MARY", "ANN SMITH"},
                    SplitCase{"LeadingSpace", " X", "", "X"}),
    [](const testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(ConnectOutlook, NeedsTheSettingAndAnExistingFolder) {
  LookupTempDir dir;
  WriteFileBytes(dir / "file.vcf", "x");
  Settings s;
  s.Outlook = true;
  s.ContactBookFolder = dir.path();
  EXPECT_TRUE(ConnectOutlook(s));
  s.Outlook = false;
  EXPECT_FALSE(ConnectOutlook(s));
  s.Outlook = true;
  s.ContactBookFolder = "";
  EXPECT_FALSE(ConnectOutlook(s));
  s.ContactBookFolder = dir / "missing";
  EXPECT_FALSE(ConnectOutlook(s));
  s.ContactBookFolder = dir / "file.vcf";
  EXPECT_FALSE(ConnectOutlook(s));
}

}  // namespace
