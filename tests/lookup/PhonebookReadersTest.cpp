#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lookup/PhonebookReaders.h"

namespace {

template <typename T>
std::string CaseName(const testing::TestParamInfo<T>& info) {
  return std::string(info.param.name);
}

// ---- Friends.txt ----

struct FriendsRow {
  std::string number;
  std::string name;
  std::string wav;
};

struct FriendsCase {
  const char* name;
  std::string bytes;
  std::vector<FriendsRow> entries;
  std::vector<int> skippedLines;
};

class ReadFriendsTest : public testing::TestWithParam<FriendsCase> {};

TEST_P(ReadFriendsTest, EntriesAndSkippedLines) {
  const FriendsCase& c = GetParam();
  const FriendsReadResult r = ReadFriends(c.bytes, "/home/me/phone/");
  ASSERT_EQ(r.entries.size(), c.entries.size());
  for (std::size_t i = 0; i < c.entries.size(); ++i) {
    EXPECT_EQ(r.entries[i].PhoneNumber, c.entries[i].number) << i;
    EXPECT_EQ(r.entries[i].Name, c.entries[i].name) << i;
    EXPECT_EQ(r.entries[i].Wav, c.entries[i].wav) << i;
  }
  std::vector<int> skipped;
  for (const SkippedRecord& s : r.skipped) skipped.push_back(s.line);
  EXPECT_EQ(skipped, c.skippedLines);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadFriendsTest,
    testing::Values(
        FriendsCase{"NumberNameSound",
                    "2015551234\tMum\tmum.wav\r\n",
                    {{"2015551234", "Mum", "/home/me/phone/mum.wav"}},
                    {}},
        FriendsCase{"EmptyFieldsBeforeAndAfterName",
                    "2015551234\t\tMum\t\r\n",
                    {{"2015551234", "Mum", ""}},
                    {}},
        FriendsCase{"BlankFieldsAreSkippedAndValuesTrimmed",
                    "2015551234\t   \t  Mum  \t \t a.wav \n",
                    {{"2015551234", "Mum", "/home/me/phone/a.wav"}},
                    {}},
        FriendsCase{"FurtherFieldsIgnored",
                    "1\tA\tb.wav\tc.wav\tx\n",
                    {{"1", "A", "/home/me/phone/b.wav"}},
                    {}},
        FriendsCase{
            "NumberKeptAsWritten", " (201) 555-1234 \tA\n", {{" (201) 555-1234 ", "A", ""}}, {}},
        FriendsCase{"CommentLine", ";2015551234\tMum\n", {}, {}},
        FriendsCase{"SpaceThenSemicolonIsNoComment", " ;201\tX\n", {{" ;201", "X", ""}}, {}},
        FriendsCase{"NumberAloneIsSkipped", "2015551234\n", {}, {}},
        FriendsCase{"AllFieldsBlankIsSkipped", "2015551234\t \t  \t\n", {}, {}},
        FriendsCase{"LinuxAndWindowsLineEnds",
                    "1\tA\r\n2\tB\n3\tC",
                    {{"1", "A", ""}, {"2", "B", ""}, {"3", "C", ""}},
                    {}},
        FriendsCase{
            "WindowsPathKept", "1\tA\tC:\\Sounds\\a.wav\n", {{"1", "A", "C:\\Sounds\\a.wav"}}, {}},
        FriendsCase{"ShareKept",
                    "1\tA\t\\\\server\\share\\a.wav\n",
                    {{"1", "A", "\\\\server\\share\\a.wav"}},
                    {}},
        FriendsCase{"SingleBackslashIsRelative",
                    "1\tA\tsounds\\a.wav\n",
                    {{"1", "A", "/home/me/phone/sounds\\a.wav"}},
                    {}},
        FriendsCase{"AbsoluteLinuxPathKept",
                    "1\tA\t/usr/share/sounds/a.wav\n",
                    {{"1", "A", "/usr/share/sounds/a.wav"}},
                    {}},
        FriendsCase{"RelativeSubfolder",
                    "1\tA\tsounds/a.wav\n",
                    {{"1", "A", "/home/me/phone/sounds/a.wav"}},
                    {}},
        FriendsCase{"NoNumberIsMalformedAndReadingGoesOn",
                    "\tNobody\n2015551234\tMum\n (-) \tPunctuation only\n3\tC\n",
                    {{"2015551234", "Mum", ""}, {"3", "C", ""}},
                    {1, 3}},
        FriendsCase{"Utf8BomIgnored",
                    "\xEF\xBB\xBF"
                    "1\tA\n",
                    {{"1", "A", ""}},
                    {}},
        FriendsCase{"BytesKept", "1\tJos\xE9\t\n", {{"1", "Jos\xE9", ""}}, {}},
        FriendsCase{"Empty", "", {}, {}}, FriendsCase{"OnlyLineEnds", "\r\n\n\r\n", {}, {}}),
    CaseName<FriendsCase>);

TEST(ReadFriends, SkipReasonNamesTheProblem) {
  const FriendsReadResult r = ReadFriends("\tMum\n", "/x/");
  ASSERT_EQ(r.skipped.size(), 1u);
  EXPECT_EQ(r.skipped[0].reason, "no number before the first TAB");
}

// ---- CSV address book ----

struct CsvRecordRow {
  std::string first;
  std::string last;
  std::string home;
  std::string cell;
  std::string business;
  std::string wav;
  int line;
};

struct CsvCase {
  const char* name;
  std::string bytes;
  std::vector<CsvRecordRow> records;
  std::vector<SkippedRecord> skipped;
};

class ReadAddressBookTest : public testing::TestWithParam<CsvCase> {};

TEST_P(ReadAddressBookTest, RecordsAndSkippedRows) {
  const CsvCase& c = GetParam();
  const AddressBookReadResult r = ReadAddressBook(c.bytes);
  ASSERT_TRUE(r.headerValid) << r.headerError;
  ASSERT_EQ(r.records.size(), c.records.size());
  for (std::size_t i = 0; i < c.records.size(); ++i) {
    const AddressRecord& got = r.records[i];
    const CsvRecordRow& want = c.records[i];
    EXPECT_EQ(got.person.First, want.first) << i;
    EXPECT_EQ(got.person.Last, want.last) << i;
    EXPECT_EQ(got.home_phone, want.home) << i;
    EXPECT_EQ(got.cell_phone, want.cell) << i;
    EXPECT_EQ(got.business_phone, want.business) << i;
    EXPECT_EQ(got.person.announce_local_wav, want.wav) << i;
    EXPECT_EQ(got.line, want.line) << i;
  }
  ASSERT_EQ(r.skipped.size(), c.skipped.size());
  for (std::size_t i = 0; i < c.skipped.size(); ++i) {
    EXPECT_EQ(r.skipped[i].line, c.skipped[i].line) << i;
    EXPECT_EQ(r.skipped[i].reason, c.skipped[i].reason) << i;
  }
}

const std::string kHeader =
    "First,Last,home_phone,cell_phone,business_phone,announce_local_wav\r\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, ReadAddressBookTest,
    testing::Values(
        CsvCase{"PlainRow",
                kHeader + "John,Smith,201-555-1234,,,john.wav\r\n",
                {{"John", "Smith", "201-555-1234", "", "", "john.wav", 2}},
                {}},
        CsvCase{"ColumnsInAnyOrder",
                "announce_local_wav,business_phone,Last,cell_phone,First,home_phone\n"
                "w.wav,3,Smith,2,John,1\n",
                {{"John", "Smith", "1", "2", "3", "w.wav", 2}},
                {}},
        CsvCase{"HeaderNamesIgnoreCaseAndSpaces",
                " first , LAST ,Home_Phone\nJohn,Smith,1\n",
                {{"John", "Smith", "1", "", "", "", 2}},
                {}},
        CsvCase{"ExtraColumnsIgnored",
                "Id,First,Last,home_phone,Notes\n7,John,Smith,1,x\n",
                {{"John", "Smith", "1", "", "", "", 2}},
                {}},
        CsvCase{"QuotedCommaQuoteAndLineBreak",
                kHeader + "\"Smith, Jr\",\"O\"\"Neil\",\"(201) 555-1234\",,,\"a\r\nb\"\r\n"
                          "Jane,Doe,2,,,\r\n",
                {{"Smith, Jr", "O\"Neil", "(201) 555-1234", "", "", "a  b", 2},
                 {"Jane", "Doe", "2", "", "", "", 4}},
                {}},
        CsvCase{"EmptyQuotedFields",
                kHeader + "\"\",\"\",\"1\",\"\",\"\",\"\"\n",
                {{"", "", "1", "", "", "", 2}},
                {}},
        CsvCase{"EmptyLinesPassedOver",
                kHeader + "\r\nJohn,Smith,1,,,\r\n\r\n\nJane,Doe,2,,,",
                {{"John", "Smith", "1", "", "", "", 3}, {"Jane", "Doe", "2", "", "", "", 6}},
                {}},
        CsvCase{"QuoteInsideUnquotedFieldIsText",
                kHeader + "Jo\"hn,Smith,1,,,\n",
                {{"Jo\"hn", "Smith", "1", "", "", "", 2}},
                {}},
        CsvCase{"ShortRowReadLongRowSkipped",
                kHeader + "John,Smith,1\nJane,Doe,2,,,,extra\nAl,Adams,3,,,\n",
                {{"John", "Smith", "1", "", "", "", 2}, {"Al", "Adams", "3", "", "", "", 4}},
                {{3, "7 fields where the header has 6"}}},
        CsvCase{"ControlBytesBlanked",
                kHeader + std::string("A\0B,C\x01" "D,1\x7f,,,\n", 14),
                {{"A B", "C D", "1 ", "", "", "", 2}},
                {}},
        CsvCase{"TextAfterClosingQuoteIsSkipped",
                kHeader + "\"John\"x,Smith,1,,,\nAl,Adams,3,,,\n",
                {{"Al", "Adams", "3", "", "", "", 3}},
                {{2, "text after a closing quote"}}},
        CsvCase{"UnclosedQuoteEndsAtItsLineEnd",
                kHeader + "\"John,Smith,1,,,\nAl,Adams,3,,,\nBo,Bell,4,,,\n",
                {{"John,Smith,1,,,", "", "", "", "", "", 2},
                 {"Al", "Adams", "3", "", "", "", 3},
                 {"Bo", "Bell", "4", "", "", "", 4}},
                {{2, "a quoted field is never closed; it ends at the end of its line"}}},
        CsvCase{"UnclosedQuoteDoesNotSwallowUpToALaterQuote",
                kHeader + "\"John,Smith,1,,,\nAl,Adams,3,,,\nBo,\"Bell\",4,,,\n",
                {{"John,Smith,1,,,", "", "", "", "", "", 2},
                 {"Al", "Adams", "3", "", "", "", 3},
                 {"Bo", "Bell", "4", "", "", "", 4}},
                {{2, "a quoted field is never closed; it ends at the end of its line"}}},
        CsvCase{"Utf8BomBeforeHeader",
                "\xEF\xBB\xBF"
                "First,Last,cell_phone\nJohn,Smith,5\n",
                {{"John", "Smith", "", "5", "", "", 2}},
                {}}),
    CaseName<CsvCase>);

struct HeaderCase {
  const char* name;
  std::string bytes;
  const char* error;
};

class AddressBookHeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(AddressBookHeaderTest, RefusedWithReason) {
  const AddressBookReadResult r = ReadAddressBook(GetParam().bytes);
  EXPECT_FALSE(r.headerValid);
  EXPECT_EQ(r.headerError, GetParam().error);
  EXPECT_TRUE(r.records.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Headers, AddressBookHeaderTest,
    testing::Values(HeaderCase{"EmptyFile", "", "the file is empty"},
                    HeaderCase{"OnlyBlankLines", "\r\n\n", "the file is empty"},
                    HeaderCase{"NoPhoneColumn", "First,Last,announce_local_wav\nJohn,Smith,x\n",
                               "the header row does not name First, Last and a phone column"},
                    HeaderCase{"NoFirstColumn", "Last,home_phone\nSmith,1\n",
                               "the header row does not name First, Last and a phone column"},
                    HeaderCase{"DataWithoutHeader", "John,Smith,201-555-1234\n",
                               "the header row does not name First, Last and a phone column"},
                    HeaderCase{"BrokenHeader", "\"First,Last,home_phone\n",
                               "the header row does not name First, Last and a phone column"}),
    CaseName<HeaderCase>);

// ---- vCards ----

struct CardRow {
  std::string first;
  std::string last;
  std::string work;
  std::string home;
  std::string cell;
};

struct VCardCase {
  const char* name;
  std::string bytes;
  std::vector<CardRow> contacts;
  std::vector<SkippedRecord> skipped;
};

class ReadVCardsTest : public testing::TestWithParam<VCardCase> {};

TEST_P(ReadVCardsTest, ContactsAndSkippedCards) {
  const VCardCase& c = GetParam();
  const VCardReadResult r = ReadVCards(c.bytes);
  ASSERT_EQ(r.contacts.size(), c.contacts.size());
  for (std::size_t i = 0; i < c.contacts.size(); ++i) {
    EXPECT_EQ(r.contacts[i].FirstName, c.contacts[i].first) << i;
    EXPECT_EQ(r.contacts[i].LastName, c.contacts[i].last) << i;
    EXPECT_EQ(r.contacts[i].BusinessTelephoneNumber, c.contacts[i].work) << i;
    EXPECT_EQ(r.contacts[i].HomeTelephoneNumber, c.contacts[i].home) << i;
    EXPECT_EQ(r.contacts[i].MobileTelephoneNumber, c.contacts[i].cell) << i;
  }
  ASSERT_EQ(r.skipped.size(), c.skipped.size());
  for (std::size_t i = 0; i < c.skipped.size(); ++i) {
    EXPECT_EQ(r.skipped[i].line, c.skipped[i].line) << i;
    EXPECT_EQ(r.skipped[i].reason, c.skipped[i].reason) << i;
  }
}

std::string Card(const std::string& body) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + body + "END:VCARD\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Cards, ReadVCardsTest,
    testing::Values(
        VCardCase{"ThreeKinds",
                  Card("N:Smith;John;;;\r\nFN:John Smith\r\nTEL;TYPE=WORK,VOICE:(201) 555-0001\r\n"
                       "TEL;TYPE=HOME:(201) 555-0002\r\nTEL;TYPE=CELL:(201) 555-0003\r\n"),
                  {{"John", "Smith", "(201) 555-0001", "(201) 555-0002", "(201) 555-0003"}},
                  {}},
        VCardCase{
            "RepeatedTypeParameters",
            Card("N:Smith;John\r\nTEL;TYPE=voice;TYPE=home:1\r\nTEL;type=work;type=pref:2\r\n"),
            {{"John", "Smith", "2", "1", ""}},
            {}},
        VCardCase{"BareTypesOfVersion21",
                  "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Smith;John\r\nTEL;WORK;VOICE:1\r\nTEL;CELL:2\r\n"
                  "END:VCARD\r\n",
                  {{"John", "Smith", "1", "", "2"}},
                  {}},
        VCardCase{"MobileCountsAsCell",
                  Card("N:Smith;John\r\nTEL;TYPE=mobile:7\r\n"),
                  {{"John", "Smith", "", "", "7"}},
                  {}},
        VCardCase{"Version4UriAndQuotedTypes",
                  "BEGIN:VCARD\nVERSION:4.0\nN:Smith;John;;;\n"
                  "TEL;VALUE=uri;TYPE=\"voice,home\":tel:+1-201-555-1234\nEND:VCARD\n",
                  {{"John", "Smith", "", "+1-201-555-1234", ""}},
                  {}},
        VCardCase{"GroupPrefix",
                  Card("item1.N:Smith;John\r\nitem2.TEL;TYPE=HOME:1\r\n"),
                  {{"John", "Smith", "", "1", ""}},
                  {}},
        VCardCase{"OneTypeFillsEachKindItNames",
                  Card("N:S;J\r\nTEL;TYPE=home,work:5\r\n"),
                  {{"J", "S", "5", "5", ""}},
                  {}},
        VCardCase{
            "FirstNumberOfAKindWins",
            Card("N:S;J\r\nTEL;TYPE=HOME:1\r\nTEL;TYPE=HOME:2\r\nTEL:3\r\nTEL;TYPE=FAX:4\r\n"),
            {{"J", "S", "", "1", ""}},
            {}},
        VCardCase{"FoldedLines",
                  Card("N:Smi\r\n th;Jo\r\n\thn;;;\r\nTEL;TYPE=HO\r\n ME:1\r\n"),
                  {{"John", "Smith", "", "1", ""}},
                  {}},
        VCardCase{"Escapes",
                  Card("N:O\\;Brien\\, Jr;Pat\\\\x\\nY;;;\r\nTEL;TYPE=HOME:1\r\n"),
                  {{"Pat\\x Y", "O;Brien, Jr", "", "1", ""}},
                  {}},
        VCardCase{
            "QuotedPrintableWithSoftBreak",
            "BEGIN:VCARD\r\nVERSION:2.1\r\nN;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=\r\nohn\r\n"
            "TEL;HOME:1\r\nEND:VCARD\r\n",
            {{"John", "M\xC3\xBCller", "", "1", ""}},
            {}},
        VCardCase{"NoNameTakesFormattedName",
                  Card("FN:Acme Plumbing\r\nTEL;TYPE=WORK:1\r\n"),
                  {{"Acme Plumbing", "", "1", "", ""}},
                  {}},
        VCardCase{"LowerCaseNamesAndLinuxLineEnds",
                  "begin:vcard\nversion:3.0\nn:Smith;John\ntel;type=home:1\nend:vcard\n",
                  {{"John", "Smith", "", "1", ""}},
                  {}},
        VCardCase{"SeveralCardsInOneFile",
                  Card("N:A;B\r\nTEL;TYPE=HOME:1\r\n") + Card("N:C;D\r\nTEL;TYPE=CELL:2\r\n"),
                  {{"B", "A", "", "1", ""}, {"D", "C", "", "", "2"}},
                  {}},
        VCardCase{"TextOutsideCardsIgnored",
                  "junk\r\n" + Card("N:A;B\r\n") + "more junk\r\n",
                  {{"B", "A", "", "", ""}},
                  {}},
        VCardCase{"MissingEnd",
                  Card("N:A;B\r\n") + "BEGIN:VCARD\r\nN:C;D\r\nTEL;TYPE=HOME:1\r\n",
                  {{"B", "A", "", "", ""}},
                  {{5, "no END:VCARD"}}},
        VCardCase{"LineWithoutColon",
                  Card("N:A;B\r\ngarbage\r\n") + Card("N:C;D\r\n"),
                  {{"D", "C", "", "", ""}},
                  {{1, "line 4 has no ':'"}}},
        VCardCase{"NestedBegin",
                  "BEGIN:VCARD\r\nN:A;B\r\nBEGIN:VCARD\r\nN:C;D\r\nEND:VCARD\r\n",
                  {{"D", "C", "", "", ""}},
                  {{1, "BEGIN:VCARD inside a card"}}},
        VCardCase{"Empty", "", {}, {}}),
    CaseName<VCardCase>);

}  // namespace
