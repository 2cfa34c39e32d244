#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "lookup/NameLookup.h"
#include "lookup/NumberFormat.h"
#include "lookup/Phonebook.h"

namespace {

TEST(PhonebookEntry, NewEntryHasTenZerosAndEmptyFields) {
  const Phonebook e;
  EXPECT_EQ(e.PhoneNumber(), "0000000000");
  EXPECT_EQ(e.Key(), "0000000000");
  EXPECT_EQ(e.Name(), "");
  EXPECT_EQ(e.FirstName(), "");
  EXPECT_EQ(e.LastName(), "");
  EXPECT_EQ(e.Location(), "");
  EXPECT_EQ(e.Wav(), "");
  EXPECT_EQ(e.Icon(), "");
}

TEST(PhonebookEntry, KeyIsNumberKeyOfThePhoneNumber) {
  Phonebook e;
  e.SetPhoneNumber("(201) 555-1234");
  EXPECT_EQ(e.Key(), "2015551234");
  EXPECT_EQ(e.PhoneNumber(), "(201) 555-1234");
}

struct NameCase {
  const char* name;
  const char* stored;
  const char* read;
};

class PhonebookNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(PhonebookNameTest, AmpersandReadsAsAnd) {
  Phonebook e;
  e.SetName(GetParam().stored);
  EXPECT_EQ(e.Name(), GetParam().read);
}

INSTANTIATE_TEST_SUITE_P(Names, PhonebookNameTest,
                         testing::Values(NameCase{"NoSpacesAdded", "Tom&Jerry", "TomandJerry"},
                                         NameCase{"Spaced", "Tom & Jerry", "Tom and Jerry"},
                                         NameCase{"SmithAndSons", "Smith & Sons", "Smith and Sons"},
                                         NameCase{"Several", "&&", "andand"},
                                         NameCase{"NoAmpersand", "Mum", "Mum"}),
                         [](const testing::TestParamInfo<NameCase>& info) {
                           return std::string(info.param.name);
                         });

struct AddCall {
  adr record;
  const char* number;
  const char* kind;
};

struct AddHspCase {
  const char* name;
  std::vector<AddCall> calls;
  const char* key;
  const char* first;
  const char* last;
  const char* fullName;
  const char* location;
  const char* phoneNumber;
  const char* wav;
};

class AddHspTest : public testing::TestWithParam<AddHspCase> {};

TEST_P(AddHspTest, StoresOrMergesUnderTheKey) {
  const AddHspCase& c = GetParam();
  PhonebookEntries entries;
  for (const AddCall& call : c.calls) AddHSP(entries, call.record, call.number, call.kind);
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_EQ(entries.count(c.key), 1u);
  const Phonebook e = entries.Find(c.key).value_or(Phonebook());
  EXPECT_EQ(e.FirstName(), c.first);
  EXPECT_EQ(e.LastName(), c.last);
  EXPECT_EQ(e.Name(), c.fullName);
  EXPECT_EQ(e.Location(), c.location);
  EXPECT_EQ(e.PhoneNumber(), c.phoneNumber);
  EXPECT_EQ(e.Wav(), c.wav);
  EXPECT_EQ(e.Icon(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Merges, AddHspTest,
    testing::Values(AddHspCase{"NewRecord",
                               {{{"Smith", "John", "john.wav"}, "(201) 555-1234", "home"}},
                               "2015551234",
                               "John",
                               "Smith",
                               "John Smith",
                               "home",
                               "(201) 555-1234",
                               "john.wav"},
                    AddHspCase{"SameLastNameJoinsFirstNames",
                               {{{"Smith", "John", "john.wav"}, "(201) 555-1234", "home"},
                                {{"Smith", "Jane", "jane.wav"}, "201-555-1234", "work"}},
                               "2015551234",
                               "John or Jane",
                               "Smith",
                               "John or Jane Smith",
                               "home",
                               "(201) 555-1234",
                               "john.wav"},
                    AddHspCase{"OtherLastNameAppendsWholeName",
                               {{{"Smith", "John", ""}, "2015551234", "cell"},
                                {{"Doe", "Jane", ""}, "2015551234", "home"}},
                               "2015551234",
                               "John",
                               "Smith",
                               "John Smith or Jane Doe",
                               "cell",
                               "2015551234",
                               ""},
                    AddHspCase{"AmpersandReadBeforeAppending",
                               {{{"Smith", "Tom & Jerry", ""}, "2015551234", "home"},
                                {{"Doe", "Jane", ""}, "2015551234", "home"}},
                               "2015551234",
                               "Tom & Jerry",
                               "Smith",
                               "Tom and Jerry Smith or Jane Doe",
                               "home",
                               "2015551234",
                               ""},
                    AddHspCase{"HomeAndWorkSameNumberNamesFirstNameTwice",
                               {{{"Smith", "John", ""}, "2015551234", "work"},
                                {{"Smith", "John", ""}, "2015551234", "home"}},
                               "2015551234",
                               "John or John",
                               "Smith",
                               "John or John Smith",
                               "work",
                               "2015551234",
                               ""},
                    AddHspCase{"CellOnly",
                               {{{"Smith", "John", ""}, "201 555 1234", "cell"}},
                               "2015551234",
                               "John",
                               "Smith",
                               "John Smith",
                               "cell",
                               "201 555 1234",
                               ""},
                    AddHspCase{"PlusAndCountryCodeStayInKey",
                               {{{"Smith", "John", ""}, "+1 (201) 555-1234", "home"}},
                               "+12015551234",
                               "John",
                               "Smith",
                               "John Smith",
                               "home",
                               "+1 (201) 555-1234",
                               ""},
                    AddHspCase{"NoLastNameAddsNoBlank",
                               {{{"", "PRINCE", ""}, "2015551234", "home"}},
                               "2015551234",
                               "PRINCE",
                               "",
                               "PRINCE",
                               "home",
                               "2015551234",
                               ""}),
    [](const testing::TestParamInfo<AddHspCase>& info) { return std::string(info.param.name); });

TEST(AddHsp, BlankNumberIsNotStored) {
  PhonebookEntries entries;
  EXPECT_FALSE(AddHSP(entries, {"Smith", "John", ""}, " (-) ", "home"));
  EXPECT_FALSE(AddHSP(entries, {"Smith", "John", ""}, "", "home"));
  EXPECT_TRUE(entries.empty());
}

// ---- the name lookup ----

PhonebookEntries SamplePhonebook() {
  PhonebookEntries entries;
  AddHSP(entries, {"Smith", "John", ""}, "(201) 555-1234", "work");
  AddHSP(entries, {"Sons", "Smith &", ""}, "303-555-0000", "home");
  Phonebook mum;  // as Friends.txt makes it: no location
  mum.SetName("Mum");
  mum.SetPhoneNumber("(202) 555-0000");
  entries.Add(mum);
  return entries;
}

struct LookupCase {
  const char* name;
  const char* number;
  const char* callerIdName;
  bool formatSuffix;
  bool stripPrefix;
  const char* answer;
  bool known;
  const char* contactName;
  bool reverseLookup;
};

class LookupNameTest : public testing::TestWithParam<LookupCase> {};

TEST_P(LookupNameTest, AnswersAndSideWork) {
  const LookupCase& c = GetParam();
  static const PhonebookEntries entries = SamplePhonebook();
  static const AreaCodeTable areaCodes = [] {
    AreaCodeTable t;
    t.LoadAreaCodes();
    return t;
  }();
  Settings settings;
  settings.FormatSuffix = c.formatSuffix;
  settings.StripPrefix = c.stripPrefix;
  const LookupResult r = LookupName(entries, areaCodes, settings, c.number, c.callerIdName);
  EXPECT_EQ(r.Answer(), c.answer);
  EXPECT_EQ(r.known, c.known);
  EXPECT_EQ(r.contactName, c.contactName);
  EXPECT_EQ(r.reverseLookup, c.reverseLookup);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, LookupNameTest,
    testing::Values(LookupCase{"KnownWorkNumberSuffixOn", "(201) 555-1234", "X", true, false,
                               "(201) 555-1234 : John Smith from work", true, "", false},
                    LookupCase{"KnownWorkNumberSuffixOff", "(201) 555-1234", "X", false, false,
                               "(201) 555-1234 : John Smith", true, "", false},
                    LookupCase{"KnownFromBareDigits", "2015551234", "", true, false,
                               "(201) 555-1234 : John Smith from work", true, "", false},
                    LookupCase{"FriendsEntryNeverGetsSuffix", "(202) 555-0000", "", true, false,
                               "(202) 555-0000 : Mum", true, "", false},
                    LookupCase{"AmpersandReadsAnd", "(303) 555-0000", "", true, false,
                               "(303) 555-0000 : Smith and Sons from home", true, "", false},
                    LookupCase{"UnknownSevenDigitsEmptyName", "555-1234", "", true, false,
                               "555-1234 : Unknown", false, "", false},
                    LookupCase{"NameOIsUnknown", "555-1234", "O", true, false, "555-1234 : Unknown",
                               false, "", false},
                    LookupCase{"LowerCaseOIsAName", "555-1234", "o", true, false, "555-1234 : o",
                               false, "o", false},
                    LookupCase{"UnknownTenDigitsNamedByAreaCode", "(212) 555-0101", "JOHN DOE",
                               true, false, "(212) 555-0101 : New York: New York City", false,
                               "JOHN DOE", true},
                    LookupCase{"UnknownTenDigitsUnknownName", "2125550101", "Unknown", true, false,
                               "(212) 555-0101 : New York: New York City", false, "", true},
                    LookupCase{"AreaCodeWithoutText", "(220) 555-1234", "JOHN DOE", true, false,
                               "(220) 555-1234 : JOHN DOE", false, "JOHN DOE", true},
                    LookupCase{"AreaCodeWithoutTextNoName", "2205551234", "", true, false,
                               "(220) 555-1234 : Unknown", false, "", true},
                    LookupCase{"ElevenDigitsMatchByNationalNumber", "1201 555 1234", "JOHN DOE",
                               true, false, "1201 555 1234 : John Smith from work", true, "",
                               false},
                    LookupCase{"ElevenDigitsStrippedStillKeepName", "12125550101", "JOHN DOE", true,
                               true, "(212) 555-0101 : JOHN DOE", false, "JOHN DOE", false}),
    [](const testing::TestParamInfo<LookupCase>& info) { return std::string(info.param.name); });

// With AreaCodeNames off, the caller-ID name stays and the location only names a
// caller who sent none.
TEST(LookupName, AreaCodeNamesOffKeepsTheCallerIdName) {
  AreaCodeTable areaCodes;
  areaCodes.LoadAreaCodes();
  Settings settings;
  settings.AreaCodeNames = false;
  const PhonebookEntries none;
  const LookupResult named = LookupName(none, areaCodes, settings, "(212) 555-0101", "PIZZA PLACE");
  EXPECT_EQ(named.Answer(), "(212) 555-0101 : PIZZA PLACE");
  EXPECT_EQ(named.namedBy, NamedBy::CallerId);
  const LookupResult nameless = LookupName(none, areaCodes, settings, "2125550101", "");
  EXPECT_EQ(nameless.Answer(), "(212) 555-0101 : New York: New York City");
  EXPECT_EQ(nameless.namedBy, NamedBy::AreaCode);
  settings.AreaCodeNames = true;
  EXPECT_EQ(LookupName(none, areaCodes, settings, "(212) 555-0101", "PIZZA PLACE").Answer(),
            "(212) 555-0101 : New York: New York City");
}

}  // namespace

// Whichever spelling of a national number is stored first names a call in any other
// spelling, and an exact spelling always finds its own entry.
TEST(PhonebookEntries, FirstStoredSpellingKeepsTheNationalNumber) {
  struct Case {
    const char* first;
    const char* second;
  };
  for (const Case c : {Case{"+1 555 987 6543", "5559876543"}, Case{"5559876543", "+1 555 987 6543"},
                       Case{"1-555-987-6543", "(555) 987-6543"}}) {
    PhonebookEntries entries;
    Phonebook e;
    e.SetPhoneNumber(c.first);
    e.SetName("First");
    ASSERT_TRUE(entries.Add(e));
    e.SetPhoneNumber(c.second);
    e.SetName("Second");
    ASSERT_TRUE(entries.Add(e));
    for (const char* call : {"1 555 987 6543", "555.987.6543", "+1.555.987.6543"}) {
      const std::optional<Phonebook> found = entries.FindNumber(NumberKey(call));
      ASSERT_TRUE(found.has_value()) << c.first << " / " << call;
      EXPECT_EQ(found->Name(), "First") << c.first << " / " << call;
    }
    EXPECT_EQ(entries.FindNumber(NumberKey(c.second))->Name(), "Second") << c.first;
    EXPECT_FALSE(entries.FindNumber("5559876544").has_value());
  }
}
