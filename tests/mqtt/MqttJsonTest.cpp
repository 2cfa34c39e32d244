// JSON texts: escaping of hostile 8-bit texts, times with offsets, the call object and the
// Home Assistant discovery documents. Documents are checked by parsing them with Qt's
// JSON reader, which refuses anything that is not valid JSON in valid UTF-8.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>
#include <ctime>
#include <random>
#include <set>
#include <string>

#include "mqtt/MqttDiscovery.h"
#include "mqtt/MqttJson.h"

namespace {

QJsonDocument Parse(const std::string& json, QJsonParseError* error = nullptr) {
  return QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())),
                                 error);
}

// The value of a JSON string literal, as Qt reads it.
QString ReadBack(const std::string& literal) {
  QJsonParseError error{};
  const QJsonDocument doc = Parse("[" + literal + "]", &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << literal;
  return doc.array().at(0).toString();
}

struct EscapeCase {
  const char* name;
  std::string text;
  std::string json;
};

class JsonStringTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(JsonStringTest, EscapesAndConverts) {
  const EscapeCase& c = GetParam();
  const std::string out = JsonString(c.text);
  EXPECT_EQ(out, c.json);
  QJsonParseError error{};
  Parse("[" + out + "]", &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, JsonStringTest,
    ::testing::Values(EscapeCase{"Plain", "Mary Smith", "\"Mary Smith\""},
                      EscapeCase{"Empty", "", "\"\""},
                      EscapeCase{"QuoteAndBackslash", "say \"hi\" \\o/", R"("say \"hi\" \\o/")"},
                      EscapeCase{"BreaksOutOfTheObject", "\",\"name\":\"x", R"("\",\"name\":\"x")"},
                      EscapeCase{"LineEndsAndTab", "a\nb\r\tc", R"("a\u000ab\u000d\u0009c")"},
                      EscapeCase{"NulByte", std::string("a\0b", 3), R"("a\u0000b")"},
                      EscapeCase{"EscapeByte", "\x1B[31m", R"("\u001b[31m")"},
                      EscapeCase{"Delete", "\x7F", R"("\u007f")"},
                      EscapeCase{"Latin1Umlaut", "M\xFCller", "\"M\xC3\xBCller\""},
                      EscapeCase{"Utf8Kept", "Jos\xC3\xA9", "\"Jos\xC3\xA9\""},
                      EscapeCase{"Utf8ThenLatin1", "\xC3\xA9\xE9", "\"\xC3\xA9\xC3\xA9\""},
                      EscapeCase{"FourByteKept", "\xF0\x9F\x93\x9E", "\"\xF0\x9F\x93\x9E\""},
                      EscapeCase{"OverlongSlash", "\xC0\xAF", "\"\xC3\x80\xC2\xAF\""},
                      EscapeCase{"Surrogate", "\xED\xA0\x80", "\"\xC3\xAD\xC2\xA0\\u0080\""},
                      EscapeCase{"TruncatedAtEnd", "\xE2\x82", "\"\xC3\xA2\\u0082\""},
                      EscapeCase{"BeyondUnicode", "\xF4\x90\x80\x80",
                                 "\"\xC3\xB4\\u0090\\u0080\\u0080\""},
                      EscapeCase{"LoneContinuation", "\x80", "\"\\u0080\""},
                      EscapeCase{"Latin1C1Control", "\x85", "\"\\u0085\""},
                      EscapeCase{"LineSeparator",
                                 "a\xE2\x80\xA8"
                                 "b\xE2\x80\xA9",
                                 R"("a\u2028b\u2029")"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JsonString, EverySingleByteReadsBackAsItsLatin1Character) {
  for (int b = 0; b < 256; ++b) {
    const std::string text(1, static_cast<char>(b));
    EXPECT_EQ(ReadBack(JsonString(text)), QString(QChar(b))) << "byte " << b;
  }
}

TEST(JsonString, RandomBytesAlwaysGiveValidJson) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> byte(0, 255), length(0, 40);
  for (int i = 0; i < 2000; ++i) {
    std::string text;
    const int n = length(random);
    for (int k = 0; k < n; ++k) text += static_cast<char>(byte(random));
    QJsonParseError error{};
    Parse("[" + JsonString(text) + "]", &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << "case " << i;
  }
}

// ---- Times -------------------------------------------------------------------------

struct TimeCase {
  const char* name;
  std::time_t seconds;
  int offset;
  std::string text;
};
class IsoTimeTest : public ::testing::TestWithParam<TimeCase> {};
TEST_P(IsoTimeTest, WritesTheLocalTimeAndItsOffset) {
  const TimeCase& c = GetParam();
  EXPECT_EQ(IsoTime(std::chrono::system_clock::from_time_t(c.seconds), c.offset), c.text);
}
INSTANTIATE_TEST_SUITE_P(
    Table, IsoTimeTest,
    ::testing::Values(TimeCase{"Epoch", 0, 0, "1970-01-01T00:00:00+00:00"},
                      TimeCase{"SummerEurope", 1714565587, 7200, "2024-05-01T14:13:07+02:00"},
                      TimeCase{"NewYork", 1714565587, -18000, "2024-05-01T07:13:07-05:00"},
                      TimeCase{"HalfHourAhead", 1714565587, 19800, "2024-05-01T17:43:07+05:30"},
                      TimeCase{"HalfHourBehind", 1714565587, -12600, "2024-05-01T08:43:07-03:30"},
                      TimeCase{"NextDay", 1714565587, 45900, "2024-05-02T00:58:07+12:45"},
                      TimeCase{"YearEnd", 1704067199, 0, "2023-12-31T23:59:59+00:00"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IsoTime, LocalTimeUsesTheZoneOfTheProcess) {
  setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
  tzset();
  const auto t = std::chrono::system_clock::from_time_t(1714565587);
  EXPECT_EQ(LocalIsoTime(t), "2024-05-01T08:13:07-04:00");
  EXPECT_EQ(LocalIsoTime(std::chrono::system_clock::from_time_t(1704067199)),
            "2023-12-31T18:59:59-05:00");
  unsetenv("TZ");
  tzset();
}

// ---- The call object ---------------------------------------------------------------

CompletedCall SampleCall() {
  CompletedCall c;
  c.time = std::chrono::system_clock::from_time_t(1714565587);
  c.number = "(555) 987-6543";  // the parser's form; the JSON carries the number as received
  c.receivedNumber = "5559876543";
  c.displayNumber = "(555)987-6543";
  c.callerIdName = "SMITH MARY";
  c.name = "Mary \"M\" Smith";
  c.namedBy = NamedBy::Phonebook;
  c.source = CallSource::NetworkBox;
  c.sourceDetail = "127.0.0.1:3333";
  return c;
}

TEST(MqttCallJson, HoldsEveryFieldAndTheEventType) {
  const std::string json = MqttCallJson(SampleCall(), "2024-05-01T14:13:07+02:00", false);
  EXPECT_EQ(json.rfind("{\"event_type\":\"call\",\"time\":", 0), 0u) << json;
  const QJsonObject o = Parse(json).object();
  EXPECT_EQ(o.size(), 9);
  EXPECT_EQ(o["event_type"].toString(), "call");
  EXPECT_EQ(o["time"].toString(), "2024-05-01T14:13:07+02:00");
  EXPECT_EQ(o["number"].toString(), "5559876543");
  EXPECT_EQ(o["display_number"].toString(), "(555)987-6543");
  EXPECT_EQ(o["name"].toString(), "Mary \"M\" Smith");
  EXPECT_EQ(o["caller_id_name"].toString(), "SMITH MARY");
  EXPECT_EQ(o["named_by"].toString(), "phonebook");
  EXPECT_EQ(o["source"].toString(), "network_box");
  EXPECT_EQ(o["source_detail"].toString(), "127.0.0.1:3333");
}

TEST(MqttCallJson, AnUpdateAddsTheFirstName) {
  CompletedCall c = SampleCall();
  c.firstName = "SMITH MARY";
  c.name = "Mary Smith, Springfield";
  c.namedBy = NamedBy::ReverseLookup;
  const QJsonObject update = Parse(MqttCallJson(c, "t", true)).object();
  EXPECT_EQ(update["name"].toString(), "Mary Smith, Springfield");
  EXPECT_EQ(update["first_name"].toString(), "SMITH MARY");
  EXPECT_EQ(update["named_by"].toString(), "reverse_lookup");
  EXPECT_FALSE(Parse(MqttCallJson(c, "t", false)).object().contains("first_name"));
}

TEST(MqttCallJson, WithheldCallFromXapWithLatin1Name) {
  CompletedCall c;
  c.callerIdName = "Unknown";
  c.name =
      "Stra\xDF"
      "e";
  c.namedBy = NamedBy::Withheld;
  c.source = CallSource::Xap;
  const QJsonObject o = Parse(MqttCallJson(c, "t", false)).object();
  EXPECT_EQ(o["number"].toString(), "");
  EXPECT_EQ(o["name"].toString(), QString::fromUtf8("Stra\xC3\x9F"
                                                    "e"));
  EXPECT_EQ(o["named_by"].toString(), "withheld");
  EXPECT_EQ(o["source"].toString(), "xap");
}

// ---- Discovery ---------------------------------------------------------------------

TEST(MqttDiscovery, OneDeviceWithTwoSensorsAndAnEvent) {
  const MqttTopics topics = MakeMqttTopics("xapvyncid", "kitchen");
  const auto messages = MqttDiscoveryMessages("homeassistant", topics, "kitchen", "1.2.3");
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].topic, "homeassistant/sensor/xapvyncid_kitchen/last_caller/config");
  EXPECT_EQ(messages[1].topic, "homeassistant/sensor/xapvyncid_kitchen/last_caller_number/config");
  EXPECT_EQ(messages[2].topic, "homeassistant/event/xapvyncid_kitchen/incoming_call/config");

  std::set<QString> uniqueIds;
  for (const MqttMessage& m : messages) {
    QJsonParseError error{};
    const QJsonObject o = Parse(m.payload, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << m.payload;
    uniqueIds.insert(o["unique_id"].toString());
    EXPECT_EQ(o["availability_topic"].toString(), "xapvyncid/kitchen/status");
    const QJsonObject device = o["device"].toObject();
    EXPECT_EQ(device["name"].toString(), "xapvynCID kitchen");
    EXPECT_EQ(device["identifiers"].toArray().at(0).toString(), "xapvyncid_kitchen");
    EXPECT_EQ(device["model"].toString(), "xapvynCID");
    EXPECT_EQ(device["sw_version"].toString(), "1.2.3");
  }
  EXPECT_EQ(uniqueIds.size(), 3u);

  const QJsonObject lastCaller = Parse(messages[0].payload).object();
  EXPECT_EQ(lastCaller["name"].toString(), "Last caller");
  EXPECT_EQ(lastCaller["state_topic"].toString(), "xapvyncid/kitchen/last_call");
  EXPECT_EQ(lastCaller["json_attributes_topic"].toString(), "xapvyncid/kitchen/last_call");
  EXPECT_EQ(lastCaller["value_template"].toString(), "{{ value_json.name }}");

  const QJsonObject number = Parse(messages[1].payload).object();
  EXPECT_EQ(number["name"].toString(), "Last caller number");
  EXPECT_EQ(number["state_topic"].toString(), "xapvyncid/kitchen/last_call");

  const QJsonObject event = Parse(messages[2].payload).object();
  EXPECT_EQ(event["name"].toString(), "Incoming call");
  EXPECT_EQ(event["state_topic"].toString(), "xapvyncid/kitchen/call");
  EXPECT_EQ(event["event_types"].toArray(), QJsonArray({"call"}));
}

}  // namespace
