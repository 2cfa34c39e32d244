#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>

#include <string>
#include <vector>

#include "LookupTestUtil.h"
#include "lookup/PhonebookBuild.h"
#include "lookup/PhonebookReaders.h"

namespace {

std::string VCard(const std::string& last, const std::string& first, const std::string& tels) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + last + ";" + first + ";;;\r\nFN:" + first + " " +
         last + "\r\n" + tels + "END:VCARD\r\n";
}

class PhonebookBuildTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    settings.FriendsLocation = dir.path();  // without the trailing "/" on purpose
    settings.AddressBookFile = dir / "addressbook.csv";
    settings.ContactBookFolder = dir / "contacts";
    std::filesystem::create_directories(settings.ContactBookFolder);
  }

  void Build() { BuildPhonebook(entries, settings, log.Hooks()); }

  Phonebook At(const std::string& key) {
    std::optional<Phonebook> found = entries.Find(key);
    EXPECT_TRUE(found.has_value()) << "no entry " << key;
    return found.value_or(Phonebook());
  }

  LookupTempDir dir;
  Settings settings;
  PhonebookEntries entries;
  LogRecorder log;
};

const std::string kCsvHeader =
    "First,Last,home_phone,cell_phone,business_phone,announce_local_wav\r\n";

TEST_F(PhonebookBuildTest, FriendsFileFirstLineForANumberWins) {
  WriteFileBytes(dir / "Friends.txt",
                 "; my callers\r\n(201) 555-1234\tMum\tmum.wav\r\n201-555-1234\tNot Mum\r\n");
  Build();
  ASSERT_EQ(entries.size(), 1u);
  const Phonebook& mum = At("2015551234");
  EXPECT_EQ(mum.Name(), "Mum");
  EXPECT_EQ(mum.PhoneNumber(), "(201) 555-1234");
  EXPECT_EQ(mum.Wav(), dir.path() + "/mum.wav");
  EXPECT_EQ(mum.Location(), "");
  EXPECT_EQ(mum.FirstName(), "");
  EXPECT_EQ(mum.LastName(), "");
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(PhonebookBuildTest, FriendsLineWithEmptyFieldsTakesTheName) {
  WriteFileBytes(dir / "Friends.txt", "2015551234\t\tMum\t\r\n");
  Build();
  EXPECT_EQ(At("2015551234").Name(), "Mum");
  EXPECT_EQ(At("2015551234").Wav(), "");
}

TEST_F(PhonebookBuildTest, MissingSourcesAreSkippedSilently) {
  settings.ContactBookFolder = dir / "no-such-folder";
  Build();
  EXPECT_TRUE(entries.empty());
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(PhonebookBuildTest, EmptyFriendsLocationReadsNoFriendsFile) {
  WriteFileBytes(dir / "Friends.txt", "2015551234\tMum\r\n");
  settings.FriendsLocation.clear();
  Build();
  EXPECT_TRUE(entries.empty());
}

TEST_F(PhonebookBuildTest, AddressBookAddsHomeCellAndWork) {
  WriteFileBytes(settings.AddressBookFile,
                 kCsvHeader +
                     "John,Smith,(201) 555-0001,(201) 555-0002,(201) 555-0003,j.wav\r\n"
                     "Ann,Lee,,201 555 0009,,\r\n");
  Build();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(At("2015550001").Location(), "home");
  EXPECT_EQ(At("2015550002").Location(), "cell");
  EXPECT_EQ(At("2015550003").Location(), "work");
  EXPECT_EQ(At("2015550003").Wav(), "j.wav");
  EXPECT_EQ(At("2015550009").Name(), "Ann Lee");
  EXPECT_EQ(At("2015550009").Location(), "cell");
}

TEST_F(PhonebookBuildTest, AddressBookAndContactBookMergeOnOneNumber) {
  WriteFileBytes(settings.AddressBookFile, kCsvHeader + "John,Smith,(201) 555-1234,,,\r\n");
  WriteFileBytes(settings.ContactBookFolder + "/a.vcf",
                 VCard("Smith", "Jane", "TEL;TYPE=WORK:201-555-1234\r\n"));
  WriteFileBytes(settings.ContactBookFolder + "/b.vcf",
                 VCard("Doe", "Bob", "TEL;TYPE=CELL:2015551234\r\n"));
  Build();
  ASSERT_EQ(entries.size(), 1u);
  const Phonebook& e = At("2015551234");
  EXPECT_EQ(e.FirstName(), "John or Jane");
  EXPECT_EQ(e.Name(), "John or Jane Smith or Bob Doe");
  EXPECT_EQ(e.Location(), "home");
  EXPECT_EQ(e.PhoneNumber(), "(201) 555-1234");
}

TEST_F(PhonebookBuildTest, FriendsNameMeetsContactWithoutLastName) {
  WriteFileBytes(dir / "Friends.txt", "2015551234\tMum\r\n3035550000\tDad\r\n");
  WriteFileBytes(settings.ContactBookFolder + "/a.vcf",
                 VCard("", "Jane", "TEL;TYPE=HOME:2015551234\r\n") +
                     VCard("Doe", "John", "TEL;TYPE=HOME:3035550000\r\n"));
  Build();
  // A Friends.txt name has no last name to share: the contact's name is added whole.
  EXPECT_EQ(At("2015551234").FirstName(), "");
  EXPECT_EQ(At("2015551234").Name(), "Mum or Jane");
  EXPECT_EQ(At("3035550000").Name(), "Dad or John Doe");
  EXPECT_EQ(At("3035550000").Location(), "");
}

TEST_F(PhonebookBuildTest, ContactWithSameHomeAndWorkNumber) {
  WriteFileBytes(
      settings.ContactBookFolder + "/a.vcf",
      VCard("Smith", "John", "TEL;TYPE=HOME:2015551234\r\nTEL;TYPE=WORK:2015551234\r\n"));
  Build();
  EXPECT_EQ(At("2015551234").Name(), "John or John Smith");
  EXPECT_EQ(At("2015551234").Location(), "home");  // the card's first TEL
}

TEST_F(PhonebookBuildTest, ContactFilesAreReadInFileNameOrder) {
  WriteFileBytes(settings.ContactBookFolder + "/b.vcf",
                 VCard("Brown", "Bob", "TEL;TYPE=HOME:2015551234\r\n"));
  WriteFileBytes(settings.ContactBookFolder + "/a.VCF",
                 VCard("Adams", "Al", "TEL;TYPE=HOME:2015551234\r\n"));
  WriteFileBytes(settings.ContactBookFolder + "/c.txt",
                 VCard("Carr", "Cy", "TEL;TYPE=HOME:2015551234\r\n"));
  Build();
  EXPECT_EQ(At("2015551234").Name(), "Al Adams or Bob Brown");
}

TEST_F(PhonebookBuildTest, OutlookSettingOffSkipsTheContactFolder) {
  WriteFileBytes(settings.ContactBookFolder + "/a.vcf",
                 VCard("Smith", "John", "TEL;TYPE=HOME:2015551234\r\n"));
  settings.Outlook = false;
  Build();
  EXPECT_TRUE(entries.empty());
}

TEST_F(PhonebookBuildTest, MalformedRecordsCostOneLogLineEachAndTheBuildGoesOn) {
  WriteFileBytes(dir / "Friends.txt", "\tNo number\r\n2015550001\tMum\r\n");
  WriteFileBytes(settings.AddressBookFile,
                 kCsvHeader + "John,Smith,1\r\nAnn,Lee,2015550002,,,\r\n\"Bo,Bell,3,,,\r\n");
  WriteFileBytes(settings.ContactBookFolder + "/a.vcf", "BEGIN:VCARD\r\nN:Broken;Card\r\n");
  WriteFileBytes(settings.ContactBookFolder + "/b.vcf", "not a vcard at all\r\n");
  WriteFileBytes(settings.ContactBookFolder + "/c.vcf",
                 VCard("Good", "Card", "TEL;TYPE=HOME:2015550003\r\n"));
  std::filesystem::create_directory(settings.ContactBookFolder + "/d.vcf");  // a folder: not read
  Build();

  EXPECT_EQ(At("2015550001").Name(), "Mum");
  EXPECT_EQ(At("2015550002").Name(), "Ann Lee");
  EXPECT_EQ(At("2015550003").Name(), "Card Good");
  EXPECT_EQ(At("1").Name(), "John Smith");  // a short row is read
  EXPECT_EQ(entries.size(), 4u);
  const std::string friends = dir / "Friends.txt";
  const std::string& csv = settings.AddressBookFile;
  const std::string& vcf = settings.ContactBookFolder;
  EXPECT_EQ(
      log.lines,
      (std::vector<std::string>{
          "xapvynCID: BuildFriendsPhonebook " + friends +
              " line 1 skipped: no number before the first TAB",
          "xapvynCID: BuildHSPPhonebook " + csv +
              " line 4 skipped: a quoted field is never closed; it ends at the end of its line",
          "xapvynCID: BuildOutlookPhonebook " + vcf + "/a.vcf line 1 skipped: no END:VCARD",
          "xapvynCID: BuildOutlookPhonebook " + vcf + "/b.vcf skipped: no vCard in the file",
      }));
}

// Numbers as people and phones write them name the caller of a plain call.
struct SpellingCase {
  const char* name;
  std::string card;  // the TEL lines of one contact
  std::string kind;
};
void PrintTo(const SpellingCase& c, std::ostream* os) { *os << c.name; }

class NumberSpellingTest : public PhonebookBuildTest,
                           public ::testing::WithParamInterface<SpellingCase> {};

TEST_P(NumberSpellingTest, VCardNumberNamesTheCall) {
  WriteFileBytes(settings.ContactBookFolder + "/a.vcf", VCard("Smith", "John", GetParam().card));
  Build();
  for (const char* call : {"5559876543", "15559876543", "+15559876543"}) {
    const std::optional<Phonebook> e = entries.FindNumber(call);
    ASSERT_TRUE(e.has_value()) << call;
    EXPECT_EQ(e->Name(), "John Smith");
    EXPECT_EQ(e->Location(), GetParam().kind);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, NumberSpellingTest,
    ::testing::Values(SpellingCase{"PlusOneSpaces", "TEL;TYPE=HOME:+1 555 987 6543\r\n", "home"},
                      SpellingCase{"Dots", "TEL;TYPE=CELL:555.987.6543\r\n", "cell"},
                      SpellingCase{"OneDashes", "TEL;TYPE=WORK:1-555-987-6543\r\n", "work"},
                      SpellingCase{"Untyped", "TEL:5559876543\r\n", ""},
                      SpellingCase{"Voice", "TEL;TYPE=VOICE:5559876543\r\n", ""},
                      SpellingCase{"Pref", "TEL;TYPE=pref:5559876543\r\n", ""},
                      SpellingCase{"AppleGroup", "item1.TEL:+1 (555) 987-6543\r\n", ""},
                      SpellingCase{"TelUri", "TEL;VALUE=uri;TYPE=home:tel:+1-555-987-6543\r\n",
                                   "home"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PhonebookBuildTest, CsvNumberSpellingsNameTheCall) {
  WriteFileBytes(settings.AddressBookFile,
                 kCsvHeader + "Ann,Lee,+1 555 987 6543,,,\r\nBo,Bell,555.987.6500,,,\r\n"
                              "Cy,Cole,1-555-987-6511,,,\r\n");
  Build();
  for (const char* call : {"5559876543", "5559876500", "15559876511"}) {
    EXPECT_TRUE(entries.FindNumber(call).has_value()) << call;
  }
}

TEST_F(PhonebookBuildTest, UserContactsWinOverTheProgramsInEveryOrder) {
  const std::string made =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:CALLER;PIZZA;;;\r\nTEL;TYPE=HOME:(555) 987-6543\r\n"
      "CATEGORIES:New Caller\r\nEND:VCARD\r\n";
  // The program's contact sorts first by file name; the user's still wins.
  WriteFileBytes(settings.ContactBookFolder + "/0000.vcf", made);
  WriteFileBytes(settings.ContactBookFolder + "/ffff.vcf",
                 VCard("Smith", "John", "TEL;TYPE=HOME:+1 555 987 6543\r\n"));
  Build();
  const std::optional<Phonebook> e = entries.FindNumber("5559876543");
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->Name(), "John Smith or PIZZA CALLER");
}

TEST_F(PhonebookBuildTest, OversizedAndSparseFilesAreSkippedAndTheRestRead) {
  const std::string huge = settings.ContactBookFolder + "/a.vcf";
  { std::ofstream(huge).put('x'); }
  std::filesystem::resize_file(huge, 1ull << 40);  // sparse: costs no disk
  WriteFileBytes(settings.ContactBookFolder + "/b.vcf",
                 VCard("Good", "Card", "TEL;TYPE=HOME:2015550003\r\n"));
  Build();
  EXPECT_EQ(At("2015550003").Name(), "Card Good");
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].find("a.vcf skipped: larger than"), std::string::npos);
}

TEST_F(PhonebookBuildTest, AddressBookWithoutValidHeaderIsLoggedAndSkipped) {
  WriteFileBytes(settings.AddressBookFile, "Name,Phone\r\nJohn Smith,2015551234\r\n");
  WriteFileBytes(settings.ContactBookFolder + "/a.vcf",
                 VCard("Smith", "John", "TEL;TYPE=HOME:2015550003\r\n"));
  Build();
  EXPECT_EQ(entries.size(), 1u);
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{
                "xapvynCID: BuildHSPPhonebook " + settings.AddressBookFile +
                " skipped: the header row does not name First, Last and a phone column"}));
}

TEST_F(PhonebookBuildTest, RebuildStartsFromAnEmptyPhonebook) {
  WriteFileBytes(dir / "Friends.txt", "2015550001\tMum\r\n");
  Build();
  AddHSP(entries, {"DOE", "JANE", ""}, "(212) 555-0101", "home");
  ASSERT_EQ(entries.size(), 2u);
  Build();
  EXPECT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries.count("2125550101"), 0u);
}

}  // namespace

// A large address book is read in pieces; whatever falls on a piece's edge (a quoted
// field over several lines, a quote never closed, a short row), the phonebook and the
// skipped lines are those of reading the file whole.
TEST_F(PhonebookBuildTest, LargeAddressBookReadsAsIfWhole) {
  std::string csv = kCsvHeader;
  const std::vector<std::string> odd = {
      "\"Multi\r\nLine\",\"Row\",\"301555%04d\",,,\r\n",
      "\"Never closed,Row,302555%04d,,,\r\n",
      "Short,Row,303555%04d\r\n",
      "\"Text\"after,Row,304555%04d,,,\r\n",
      "\r\n",
  };
  char row[128];
  bool straddled = false;
  for (int i = 0; csv.size() < 5'500'000; ++i) {
    if (!straddled && csv.size() > (1 << 20) - 200) {
      // A quoted field over many lines across the end of the first 1 MiB read.
      std::string lines = "\"Straddling";
      for (int n = 0; n < 60; ++n) lines += "\r\nline " + std::to_string(n);
      csv += lines + "\",Row,3055550000,,,\r\n";
      straddled = true;
    }
    const std::string& pattern = i % 997 == 0 ? odd[(i / 997) % odd.size()]
                                              : std::string("\"First%04d\",\"Last, x\",%s,,,\r\n");
    if (pattern.find("%s") != std::string::npos) {
      std::snprintf(row, sizeof row, pattern.c_str(), i % 10000,
                    ("2" + std::to_string(100000000 + i)).c_str());
    } else {
      std::snprintf(row, sizeof row, pattern.c_str(), i % 10000);
    }
    csv += row;
  }
  WriteFileBytes(settings.AddressBookFile, csv);
  Build();

  PhonebookEntries whole;
  std::vector<std::string> skipped;
  const AddressBookReadResult read = ReadAddressBook(csv);
  for (const AddressRecord& r : read.records) {
    if (!r.home_phone.empty()) AddHSP(whole, r.person, r.home_phone, "home");
  }
  for (const SkippedRecord& s : read.skipped) {
    skipped.push_back("xapvynCID: BuildHSPPhonebook " + settings.AddressBookFile + " line " +
                      std::to_string(s.line) + " skipped: " + s.reason);
  }
  ASSERT_GT(read.skipped.size(), 5u);
  EXPECT_EQ(log.lines, skipped);
  ASSERT_EQ(entries.size(), whole.size());
  std::vector<std::string> built;
  std::vector<std::string> expected;
  entries.ForEach([&](const Phonebook& e) { built.push_back(e.PhoneNumber() + "=" + e.Name()); });
  whole.ForEach([&](const Phonebook& e) { expected.push_back(e.PhoneNumber() + "=" + e.Name()); });
  EXPECT_EQ(built, expected);
}
