// The API's JSON: calls, pages, status, and the "before" values it accepts.
#include <gtest/gtest.h>

#include "web/WebJson.h"

namespace {

using namespace std::chrono;

TEST(WebJson, CallEscapesEveryText) {
  CompletedCall c;
  c.time = system_clock::time_point(milliseconds(1783290600123));
  c.number = "5551234567";
  c.displayNumber = "(555)123-4567";
  c.name = "<img src=x onerror=alert(1)>\"\\\n";
  c.callerIdName = "M\xFCller";  // Latin-1 byte
  c.namedBy = NamedBy::Phonebook;
  const std::string json = web::CallJson(c, 7);
  EXPECT_EQ(json,
            "{\"id\":7,\"time\":\"2026-07-05T22:30:00.123Z\",\"ms\":1783290600123,"
            "\"number\":\"5551234567\",\"displayNumber\":\"(555)123-4567\","
            "\"name\":\"<img src=x onerror=alert(1)>\\\"\\\\\\u000a\",\"callerIdName\":\"M\xC3\xBCller\","
            "\"firstName\":\"\",\"namedBy\":\"phonebook\",\"source\":\"serial\"}");
}

TEST(WebJson, PageSaysWhereTheNextBegins) {
  std::vector<StoredCall> calls(2);
  calls[0].time = system_clock::time_point(milliseconds(2000));
  calls[1].time = system_clock::time_point(milliseconds(1000));
  const std::string more = web::CallsJson(calls, true);
  EXPECT_NE(more.find("\"next\":1000}"), std::string::npos) << more;
  EXPECT_NE(web::CallsJson(calls, false).find("\"next\":null}"), std::string::npos);
  EXPECT_EQ(web::CallsJson({}, true), "{\"calls\":[],\"next\":null}");
}

TEST(WebJson, StatusLeavesOutWhatIsOff) {
  web::WebStatus s;
  s.linkState = "down";
  s.linkReason = "Port /dev/x Not Connected";
  s.xapPort = 3639;
  s.version = "1.0";
  const std::string json = web::StatusJson(s);
  EXPECT_EQ(json,
            "{\"link\":{\"open\":false,\"state\":\"down\",\"reason\":\"Port /dev/x Not "
            "Connected\"},\"xap\":{\"transport\":\"UDP\",\"port\":3639},\"displayClients\":0,"
            "\"version\":\"1.0\",\"uptimeSeconds\":0}");
  s.mqtt = "connected";
  EXPECT_NE(web::StatusJson(s).find("\"mqtt\":\"connected\""), std::string::npos);
}

TEST(WebJson, TimeParamTable) {
  struct Case {
    const char* name;
    const char* text;
    long long ms;  // -1: refused
  };
  const Case cases[] = {
      {"epoch_ms", "1783290600123", 1783290600123},
      {"zero", "0", 0},
      {"iso", "2026-07-05T22:30:00Z", 1783290600000},
      {"iso_ms", "2026-07-05T22:30:00.123Z", 1783290600123},
      {"iso_space", "2026-07-05 22:30:00Z", 1783290600000},
      {"leap_day", "2024-02-29T00:00:00Z", 1709164800000},
      {"no_zone", "2026-07-05T22:30:00", -1},
      {"offset", "2026-07-05T22:30:00+01:00", -1},
      {"negative", "-5", -1},
      {"huge", "99999999999999999999", -1},
      {"month_13", "2026-13-05T22:30:00Z", -1},
      {"words", "yesterday", -1},
      {"empty", "", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto t = web::ParseTimeParam(c.text);
    if (c.ms < 0) {
      EXPECT_FALSE(t);
    } else {
      ASSERT_TRUE(t);
      EXPECT_EQ(web::EpochMs(*t), c.ms);
    }
  }
  EXPECT_EQ(web::TimeText(*web::ParseTimeParam("1709164800000")), "2024-02-29T00:00:00.000Z");
}

}  // namespace
