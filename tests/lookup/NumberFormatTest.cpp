#include <gtest/gtest.h>

#include <string>

#include "lookup/NumberFormat.h"

namespace {

struct FormatCase {
  const char* name;
  std::string input;
  bool stripPrefix;
  std::string expected;
};

// Display forms, including the texts that must come back unchanged.
const FormatCase kFormatCases[] = {
    {"TenDigits", "2015551234", false, "(201) 555-1234"},
    {"TenDigitsStripOn", "2015551234", true, "(201) 555-1234"},
    {"SevenDigits", "5551234", false, "555-1234"},
    {"ElevenDigitsPrefixStripped", "12015551234", true, "(201) 555-1234"},
    {"ElevenDigitsPrefixKept", "12015551234", false, "1201 555 1234"},
    {"ElevenTollFree", "18005551234", false, "1800 555 1234"},
    {"TwelveStripOnceThenGroup", "120155512345", true, "2015 551 2345"},
    {"TwelveStripOff", "120155512345", false, "120155512345"},
    {"TwelveStripsOnlyOneOne", "112015551234", true, "1201 555 1234"},
    {"TwelveNotStartingWithOne", "220155512345", true, "220155512345"},
    {"StarTenUnchanged", "*672015551", false, "*672015551"},
    {"StarElevenGrouped", "*6720155512", false, "*672 015 5512"},
    {"LettersSevenNoDigitTest", "PRIVATE", false, "PRI-VATE"},
    {"Empty", "", false, ""},
    {"EmptyStripOn", "", true, ""},
    {"OutOfArea", "O", false, "O"},
    {"PrivateCode", "P", true, "P"},
    {"EightUnchanged", "20155512", false, "20155512"},
    {"NineUnchanged", "201555123", false, "201555123"},
    {"SevenStartingWithOneStripOn", "1555123", true, "155-5123"},
    {"TenStartingWithOneStripOn", "1201555123", true, "(120) 155-5123"},
    {"AlreadyFormattedTen", "(201) 555-1234", false, "(201) 555-1234"},
    {"AlreadyFormattedTenStripOn", "(201) 555-1234", true, "(201) 555-1234"},
    {"AlreadyFormattedSeven", "555-1234", true, "555-1234"},
    {"AlreadyFormattedEleven", "1800 555 1234", false, "1800 555 1234"},
};

class FormatPhoneNumberTest : public testing::TestWithParam<FormatCase> {};

TEST_P(FormatPhoneNumberTest, GivesDisplayForm) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(FormatPhoneNumber(c.input, c.stripPrefix), c.expected);
}

// Formatting a display form again leaves it unchanged; the lookup formats the key of an
// already formatted number and relies on this. The one exception is a grouped text that still
// begins with "1" under stripPrefix: the next pass drops that "1" as well.
TEST_P(FormatPhoneNumberTest, FormattingTwiceGivesSameForm) {
  const FormatCase& c = GetParam();
  const std::string once = FormatPhoneNumber(c.input, c.stripPrefix);
  EXPECT_EQ(FormatPhoneNumber(once, false), once);
  if (c.stripPrefix && once.size() > 10 && once.front() == '1') {
    EXPECT_EQ(FormatPhoneNumber(once, true), once.substr(1));
  } else {
    EXPECT_EQ(FormatPhoneNumber(once, c.stripPrefix), once);
  }
}

// The lookup path: the parser formats, the lookup formats NumberKey of that again.
TEST_P(FormatPhoneNumberTest, KeyOfFormattedFormatsToSameForm) {
  const FormatCase& c = GetParam();
  const std::string once = FormatPhoneNumber(c.input, false);
  EXPECT_EQ(FormatPhoneNumber(NumberKey(once), false), once);
}

INSTANTIATE_TEST_SUITE_P(Table, FormatPhoneNumberTest, testing::ValuesIn(kFormatCases),
                         [](const testing::TestParamInfo<FormatCase>& info) {
                           return std::string(info.param.name);
                         });

struct KeyCase {
  const char* name;
  std::string input;
  std::string expected;
};

const KeyCase kKeyCases[] = {
    {"BracketsAndDash", "(201) 555-1234", "2015551234"},
    {"Dashes", "201-555-1234", "2015551234"},
    {"Spaces", "201 555 1234", "2015551234"},
    {"LeadingOneStays", "1 201 555 1234", "12015551234"},
    {"DotsAndPlusStay", "+1.201.555.1234", "+1.201.555.1234"},
    {"LettersStay", "PRI-VATE", "PRIVATE"},
    {"OnlyPunctuation", "( ) - ", ""},
    {"Empty", "", ""},
    {"GroupedEleven", "1800 555 1234", "18005551234"},
    {"SevenForm", "555-1234", "5551234"},
    {"OtherCharactersStay", "201/555\t1234", "201/555\t1234"},
};

class NumberKeyTest : public testing::TestWithParam<KeyCase> {};

TEST_P(NumberKeyTest, RemovesPunctuationOnly) {
  EXPECT_EQ(NumberKey(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, NumberKeyTest, testing::ValuesIn(kKeyCases),
                         [](const testing::TestParamInfo<KeyCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(NumberFormat, EightBitTextPassesUnchanged) {
  const std::string latin1 = "\xC9t\xE9-\xFF";
  EXPECT_EQ(NumberKey(latin1), "\xC9t\xE9\xFF");
  EXPECT_EQ(FormatPhoneNumber("\xC9\xE9\xFF\x01\x80\x7F\xA0", false),
            "\xC9\xE9\xFF-\x01\x80\x7F\xA0");
}

}  // namespace
