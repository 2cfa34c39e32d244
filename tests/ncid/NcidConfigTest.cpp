// The NCID settings: [NCID] of vynRinglet.ini, the listen address and "ncid:host:port".
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "ncid/NcidConfig.h"

namespace {

using Store = std::map<std::string, std::string>;  // key of [NCID] -> value

ncid::KeyLookup LookupIn(const Store& store) {
  return [&store](const std::string& section, const std::string& key) {
    if (section != "NCID") return std::string();
    const auto it = store.find(key);
    return it == store.end() ? std::string() : it->second;
  };
}

TEST(NcidConfig, ReadFromSettings) {
  struct Row {
    const char* label;
    Store store;
    std::string listen;
    int logLines;
    std::string line;
    std::string problem;  // part of the one problem text; empty: none
  };
  const Row rows[] = {
      {"Defaults", {}, "", 200, "-", ""},
      {"AllSet",
       {{"Listen", "127.0.0.1:3333"}, {"LogLines", "50"}, {"Line", "HOME"}},
       "127.0.0.1:3333",
       50,
       "HOME",
       ""},
      {"QuotesAndBlanks",
       {{"Listen", " \"0.0.0.0:3333\" "}, {"LogLines", " 0 "}},
       "0.0.0.0:3333",
       0,
       "-",
       ""},
      {"LogLinesNotANumber", {{"LogLines", "many"}}, "", 200, "-", "[NCID] LogLines \"many\""},
      {"LogLinesTooMany", {{"LogLines", "10001"}}, "", 200, "-", "not a number from 0 to 10000"},
      {"LogLinesNegative", {{"LogLines", "-1"}}, "", 200, "-", "[NCID] LogLines"},
      {"LineCleaned", {{"Line", "a*b\tc"}}, "", 200, "a b c", ""},
      {"LineBlank", {{"Line", "  "}}, "", 200, "-", ""},
      {"LineCut", {{"Line", std::string(50, 'L')}}, "", 200, std::string(32, 'L'), ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const ncid::NcidServerConfigResult r = ncid::ReadNcidServerConfig(LookupIn(row.store));
    EXPECT_EQ(r.config.listen, row.listen);
    EXPECT_EQ(r.config.logLines, row.logLines);
    EXPECT_EQ(r.config.line, row.line);
    if (row.problem.empty()) {
      EXPECT_TRUE(r.problems.empty());
    } else {
      ASSERT_EQ(r.problems.size(), 1u);
      EXPECT_NE(r.problems[0].find(row.problem), std::string::npos) << r.problems[0];
    }
  }
  EXPECT_EQ(ncid::ReadNcidServerConfig({}).config.logLines, 200);
}

struct AddressRow {
  const char* label;
  std::string text;
  bool usable;
  std::string host;
  int port;
};

void CheckAddresses(const std::vector<AddressRow>& rows,
                    ncid::HostPort (*parse)(std::string_view)) {
  for (const AddressRow& row : rows) {
    SCOPED_TRACE(row.label);
    const ncid::HostPort r = parse(row.text);
    EXPECT_EQ(r.Usable(), row.usable) << r.reason;
    if (!row.usable) {
      EXPECT_FALSE(r.reason.empty());
      continue;
    }
    EXPECT_EQ(r.host, row.host);
    EXPECT_EQ(r.port, row.port);
  }
}

TEST(NcidConfig, ListenAddress) {
  CheckAddresses(
      {
          {"Ipv4", "127.0.0.1:3333", true, "127.0.0.1", 3333},
          {"Blanks", " 127.0.0.1 : 3333 ", true, "127.0.0.1", 3333},
          {"Ipv6", "[::1]:3333", true, "::1", 3333},
          {"AnyStar", "*:3333", true, "", 3333},
          {"AnyEmpty", ":3333", true, "", 3333},
          {"FreePort", "127.0.0.1:0", true, "127.0.0.1", 0},
          {"NoPort", "127.0.0.1", false, "", 0},
          {"EmptyPort", "127.0.0.1:", false, "", 0},
          {"PortTooBig", "127.0.0.1:65536", false, "", 0},
          {"PortNotNumber", "127.0.0.1:ncid", false, "", 0},
          {"Ipv6WithoutBrackets", "::1:3333", false, "", 0},
          {"Ipv6Unclosed", "[::1:3333", false, "", 0},
          {"Ipv6TextAfter", "[::1]x3333", false, "", 0},
      },
      ncid::ParseListenAddress);
}

TEST(NcidConfig, CommPortValue) {
  CheckAddresses(
      {
          {"HostAndPort", "ncid:127.0.0.1:3333", true, "127.0.0.1", 3333},
          {"AnyCase", "NCID:localhost:4000", true, "localhost", 4000},
          {"DefaultPort", "ncid:127.0.0.1", true, "127.0.0.1", 3333},
          {"Ipv6", "ncid:[::1]:3334", true, "::1", 3334},
          {"Ipv6DefaultPort", "ncid:[::1]", true, "::1", 3333},
          {"Blanks", " ncid: 127.0.0.1 : 3333 ", true, "127.0.0.1", 3333},
          {"NoHost", "ncid::3333", false, "", 0},
          {"NothingAfter", "ncid:", false, "", 0},
          {"PortZero", "ncid:127.0.0.1:0", false, "", 0},
          {"PortBad", "ncid:127.0.0.1:x", false, "", 0},
          {"NotNcid", "127.0.0.1:3333", false, "", 0},
          {"DevicePath", "/dev/ttyACM0", false, "", 0},
      },
      ncid::ParseNcidPort);

  EXPECT_TRUE(ncid::IsNcidPort("ncid:h:1"));
  EXPECT_TRUE(ncid::IsNcidPort(" Ncid:h"));
  EXPECT_FALSE(ncid::IsNcidPort("ncidhost:1"));
  EXPECT_FALSE(ncid::IsNcidPort("/dev/ncid:1"));
  EXPECT_FALSE(ncid::IsNcidPort("3"));
}

}  // namespace
