// The text forms of `xapvynCID --calls`: 8-bit texts to UTF-8, JSON strings, local times
// and the listing layouts.
#include <gtest/gtest.h>

#include "SampleCalls.h"
#include "history/CallListing.h"

namespace history_test {
namespace {

struct TextCase {
  const char* name;
  std::string in;
  std::string utf8;  // TextAsUtf8
  std::string json;  // JsonString
};

class TextForms : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextForms, Utf8AndJson) {
  EXPECT_EQ(TextAsUtf8(GetParam().in), GetParam().utf8);
  EXPECT_EQ(JsonString(GetParam().in), GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    History, TextForms,
    ::testing::Values(
        TextCase{"Empty", "", "", "\"\""},
        TextCase{"Ascii", "John Smith", "John Smith", "\"John Smith\""},
        TextCase{"QuoteAndBackslash", "a\"b\\c", "a\"b\\c", "\"a\\\"b\\\\c\""},
        TextCase{"ControlBytes", std::string("x\x01\n\x1f\x7f", 5) + std::string(1, '\0'),
                 std::string("x\x01\n\x1f\x7f", 5) + std::string(1, '\0'),
                 "\"x\\u0001\\u000a\\u001f\\u007f\\u0000\""},
        TextCase{"ValidUtf8StaysAsItIs", "Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80",
                 "Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80",
                 "\"Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80\""},
        TextCase{"Latin1", "Zo\xEB M\xFCller", "Zo\xC3\xAB M\xC3\xBCller",
                 "\"Zo\xC3\xAB M\xC3\xBCller\""},
        TextCase{"Latin1ControlC1IsEscaped", "a\x85z", "a\xC2\x85z", "\"a\\u0085z\""},
        TextCase{"Utf8ControlC1IsEscaped", "a\xC2\x9Bz", "a\xC2\x9Bz", "\"a\\u009bz\""},
        TextCase{"LoneLeadByteMakesItLatin1", "\xC3", "\xC3\x83", "\"\xC3\x83\""},
        TextCase{"OverlongIsNotUtf8", "\xC0\xAF", "\xC3\x80\xC2\xAF", "\"\xC3\x80\xC2\xAF\""},
        TextCase{"SurrogateIsNotUtf8", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80",
                 "\"\xC3\xAD\xC2\xA0\\u0080\""},
        TextCase{"PastU10FFFFIsNotUtf8", "\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80",
                 "\"\xC3\xB4\\u0090\\u0080\\u0080\""},
        TextCase{"CutSequenceIsNotUtf8", "ab\xE2\x82", "ab\xC3\xA2\xC2\x82",
                 "\"ab\xC3\xA2\\u0082\""}),
    [](const auto& info) { return std::string(info.param.name); });

struct TimeCase {
  const char* name;
  const char* tz;
  Clock::time_point time;
  const char* plain;
  const char* iso;
};

class LocalTimes : public ::testing::TestWithParam<TimeCase> {};

TEST_P(LocalTimes, PlainAndIso) {
  TimeZone tz(GetParam().tz);
  EXPECT_EQ(LocalTimeText(GetParam().time, false), GetParam().plain);
  EXPECT_EQ(LocalTimeText(GetParam().time, true), GetParam().iso);
}

INSTANTIATE_TEST_SUITE_P(
    History, LocalTimes,
    ::testing::Values(
        TimeCase{"Utc", "UTC0", BaseTime(), "2026-12-10 13:03:22", "2026-12-10T13:03:22+00:00"},
        TimeCase{"CentralEuropeWinter", "CET-1CEST,M3.5.0,M10.5.0/3", BaseTime(),
                 "2026-12-10 14:03:22", "2026-12-10T14:03:22+01:00"},
        TimeCase{"CentralEuropeSummer", "CET-1CEST,M3.5.0,M10.5.0/3", BaseTime() - 162 * 24h,
                 "2026-07-01 15:03:22", "2026-07-01T15:03:22+02:00"},
        TimeCase{"WestOfGreenwich", "EST5EDT,M3.2.0,M11.1.0", BaseTime(), "2026-12-10 08:03:22",
                 "2026-12-10T08:03:22-05:00"},
        TimeCase{"HalfHourOffset", "IST-5:30", BaseTime(), "2026-12-10 18:33:22",
                 "2026-12-10T18:33:22+05:30"},
        TimeCase{"BeforeTheEpoch", "UTC0", Clock::time_point(-1500ms), "1969-12-31 23:59:58",
                 "1969-12-31T23:59:58+00:00"}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<StoredCall> Sample() {
  std::vector<StoredCall> calls(3);
  static_cast<CompletedCall&>(calls[0]) = Call(2);
  calls[0].id = 12;
  calls[0].name = "Ren\xE9\x1B[31m \"R\"";  // Latin-1, an escape sequence and quotes
  calls[0].namedBy = NamedBy::ReverseLookup;
  calls[0].source = CallSource::NetworkBox;
  calls[0].sourceDetail = "192.168.1.9:3333";
  calls[0].firstName = "CALLER 2";
  static_cast<CompletedCall&>(calls[1]) = Call(1);
  calls[1].id = 11;
  calls[1].displayNumber = "";  // shown by its raw number
  calls[1].namedBy = NamedBy::AreaCode;
  static_cast<CompletedCall&>(calls[2]) = Call(0);
  calls[2].id = 10;
  calls[2].number = "";
  calls[2].displayNumber = "";
  calls[2].callerIdName = "Unknown";
  calls[2].name = "Withheld";
  calls[2].namedBy = NamedBy::Withheld;
  calls[2].source = CallSource::Ncid;
  return calls;
}

TEST(Listing, TextLinesUpColumnsAndDefusesControlCharacters) {
  TimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(ListingText(Sample()),
            "2026-12-10 14:05:22  (555)102-1002  Ren\xC3\xA9?[31m \"R\"  reverse_lookup\n"
            "2026-12-10 14:04:22  5551000001     Caller 1       area_code\n"
            "2026-12-10 14:03:22                 Withheld       withheld\n");
  EXPECT_EQ(ListingText({}), "");
}

TEST(Listing, JsonHasEveryFieldAndEscapesTexts) {
  TimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(
      ListingJson(Sample()),
      "[\n"
      "{\"id\":12,\"time\":\"2026-12-10T14:05:22+01:00\",\"number\":\"5551000002\","
      "\"display_number\":\"(555)102-1002\",\"name\":\"Ren\xC3\xA9\\u001b[31m \\\"R\\\"\","
      "\"caller_id_name\":\"CALLER 2\",\"named_by\":\"reverse_lookup\",\"source\":\"network_box\","
      "\"source_detail\":\"192.168.1.9:3333\",\"first_name\":\"CALLER 2\"},\n"
      "{\"id\":11,\"time\":\"2026-12-10T14:04:22+01:00\",\"number\":\"5551000001\","
      "\"display_number\":\"\",\"name\":\"Caller 1\",\"caller_id_name\":\"CALLER 1\","
      "\"named_by\":\"area_code\",\"source\":\"serial\",\"source_detail\":\"/dev/ttyACM0\"},\n"
      "{\"id\":10,\"time\":\"2026-12-10T14:03:22+01:00\",\"number\":\"\",\"display_number\":\"\","
      "\"name\":\"Withheld\",\"caller_id_name\":\"Unknown\",\"named_by\":\"withheld\","
      "\"source\":\"ncid\",\"source_detail\":\"/dev/ttyACM0\"}\n"
      "]\n");
  EXPECT_EQ(ListingJson({}), "[]\n");
}

}  // namespace
}  // namespace history_test
