// Node and topic names, and reading [MQTT] of vynRinglet.ini, including the password file.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <map>
#include <string>

#include "mqtt/MqttConfig.h"
#include "mqtt/MqttNames.h"

namespace {

struct NodeCase {
  const char* name;
  std::string xapNode;
  std::string hostName;
  std::string expected;
};

class NodeNameTest : public ::testing::TestWithParam<NodeCase> {};

TEST_P(NodeNameTest, MakesTheNodeName) {
  const NodeCase& c = GetParam();
  EXPECT_EQ(MqttNodeName(c.xapNode, c.hostName), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NodeNameTest,
    ::testing::Values(NodeCase{"XapNodeWins", "Kitchen", "myhost", "kitchen"},
                      NodeCase{"HostWhenNodeEmpty", "", "MyHost.local", "myhost_local"},
                      NodeCase{"BlanksAndSlashes", "Front Door/1", "h", "front_door_1"},
                      NodeCase{"Wildcards", "a+b#c", "h", "a_b_c"},
                      NodeCase{"KeepsDashUnderscoreDigits", "Node-1_A", "h", "node-1_a"},
                      NodeCase{"Latin1Byte",
                               "K\xFC"
                               "che",
                               "h", "k_che"},
                      NodeCase{"Utf8EachByte",
                               "K\xC3\xBC"
                               "che",
                               "h", "k__che"},
                      NodeCase{"ControlBytes", std::string("a\0b\tc\n", 6), "h", "a_b_c_"},
                      NodeCase{"OnlyAWildcard", "#", "h", "_"},
                      NodeCase{"BothEmpty", "", "", "xapvyncid"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MqttNames, TopicsLieBelowPrefixAndNode) {
  const MqttTopics t = MakeMqttTopics("home/cid", "kitchen");
  EXPECT_EQ(t.base, "home/cid/kitchen");
  EXPECT_EQ(t.status, "home/cid/kitchen/status");
  EXPECT_EQ(t.call, "home/cid/kitchen/call");
  EXPECT_EQ(t.callUpdate, "home/cid/kitchen/call/update");
  EXPECT_EQ(t.lastCall, "home/cid/kitchen/last_call");
}

TEST(MqttNames, DefaultClientIdNamesHostAndNode) {
  EXPECT_EQ(MqttDefaultClientId("Box.lan", "kitchen"), "xapvyncid-box_lan-kitchen");
}

// ---- Config ------------------------------------------------------------------------

MqttConfig FromMap(const std::map<std::string, std::string>& values) {
  return ReadMqttConfig([&](const std::string& key, const std::string& fallback) {
    const auto it = values.find(key);
    return it == values.end() ? fallback : it->second;
  });
}

TEST(MqttConfigRead, NoKeysGiveTheDefaultsAndOff) {
  const MqttConfig c = FromMap({});
  EXPECT_FALSE(c.Enabled());
  EXPECT_EQ(c.port, 1883);
  EXPECT_EQ(c.topicPrefix, "xapvyncid");
  EXPECT_TRUE(c.discovery);
  EXPECT_EQ(c.discoveryPrefix, "homeassistant");
  EXPECT_EQ(c.user, "");
  EXPECT_EQ(c.clientId, "");
}

TEST(MqttConfigRead, ReadsEveryKey) {
  const MqttConfig c = FromMap({{"Host", " broker.lan "},
                                {"Port", "8883"},
                                {"User", "cid"},
                                {"Password", "\"se cret\""},
                                {"PasswordFile", "/run/credentials/x/mqtt"},
                                {"CAFile", "/etc/ssl/ca.pem"},
                                {"ClientId", "desk"},
                                {"TopicPrefix", "home/cid/"},
                                {"Discovery", "0"},
                                {"DiscoveryPrefix", "ha"}});
  EXPECT_TRUE(c.Enabled());
  EXPECT_EQ(c.host, "broker.lan");
  EXPECT_EQ(c.port, 8883);
  EXPECT_EQ(c.user, "cid");
  EXPECT_EQ(c.password, "se cret");
  EXPECT_EQ(c.passwordFile, "/run/credentials/x/mqtt");
  EXPECT_EQ(c.caFile, "/etc/ssl/ca.pem");
  EXPECT_EQ(c.clientId, "desk");
  EXPECT_EQ(c.topicPrefix, "home/cid");
  EXPECT_FALSE(c.discovery);
  EXPECT_EQ(c.discoveryPrefix, "ha");
}

TEST(MqttConfigRead, InnerQuotesOfAPasswordStay) {
  EXPECT_EQ(FromMap({{"Password", "pa\"ss"}}).password, "pa\"ss");
}

TEST(MqttConfigRead, EmptyPrefixesFallBack) {
  const MqttConfig c = FromMap({{"TopicPrefix", "/"}, {"DiscoveryPrefix", ""}});
  EXPECT_EQ(c.topicPrefix, "xapvyncid");
  EXPECT_EQ(c.discoveryPrefix, "homeassistant");
}

struct PortCase {
  const char* name;
  std::string text;
  int expected;
};
class PortTest : public ::testing::TestWithParam<PortCase> {};
TEST_P(PortTest, ReadsPort) {
  EXPECT_EQ(FromMap({{"Port", GetParam().text}}).port, GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(
    Table, PortTest,
    ::testing::Values(PortCase{"Plain", "1884", 1884}, PortCase{"Blanks", " 8883 ", 8883},
                      PortCase{"Empty", "", 1883}, PortCase{"Word", "mqtt", 1883},
                      PortCase{"Zero", "0", 1883}, PortCase{"TooLarge", "65536", 1883},
                      PortCase{"Negative", "-1", 1883}, PortCase{"Fraction", "1883.5", 1883},
                      PortCase{"Highest", "65535", 65535}),
    [](const auto& info) { return std::string(info.param.name); });

struct OnCase {
  const char* name;
  std::string text;
  bool on;
};
class SettingOnTest : public ::testing::TestWithParam<OnCase> {};
TEST_P(SettingOnTest, OnExactlyWhenLeadingNumberIsOne) {
  EXPECT_EQ(MqttSettingOn(GetParam().text), GetParam().on);
  EXPECT_EQ(FromMap({{"Discovery", GetParam().text}}).discovery,
            GetParam().text.empty() ? true : GetParam().on);
}
INSTANTIATE_TEST_SUITE_P(
    Table, SettingOnTest,
    ::testing::Values(OnCase{"One", "1", true}, OnCase{"LeadingBlank", " 1", true},
                      OnCase{"OnePointZero", "1.0", true}, OnCase{"OneThenWord", "1 yes", true},
                      OnCase{"Quoted", "\"1\"", true}, OnCase{"Zero", "0", false},
                      OnCase{"Ten", "10", false}, OnCase{"Yes", "yes", false},
                      OnCase{"True", "true", false}, OnCase{"MinusOne", "-1", false},
                      OnCase{"Empty", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Password file -----------------------------------------------------------------

struct PasswordCase {
  const char* name;
  std::string bytes;
  std::string password;
};
class PasswordTextTest : public ::testing::TestWithParam<PasswordCase> {};
TEST_P(PasswordTextTest, TakesTheFirstLine) {
  EXPECT_EQ(PasswordFromFileText(GetParam().bytes), GetParam().password);
}
INSTANTIATE_TEST_SUITE_P(
    Table, PasswordTextTest,
    ::testing::Values(PasswordCase{"NoLineEnd", "secret", "secret"},
                      PasswordCase{"Lf", "secret\n", "secret"},
                      PasswordCase{"CrLf", "secret\r\n", "secret"},
                      PasswordCase{"SecondLineIgnored", "secret\nother\n", "secret"},
                      PasswordCase{"BlanksKept", " pass word \n", " pass word "},
                      PasswordCase{"EmptyFile", "", ""},
                      PasswordCase{"EmptyFirstLine", "\nsecret", ""},
                      PasswordCase{"EightBit", "p\xE4ss\n", "p\xE4ss"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MqttPasswordFile, ReadsARealFile) {
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/mqtt-password";
  std::ofstream(path, std::ios::binary) << "s3cret\r\n";
  const PasswordFileResult r = ReadPasswordFile(path);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.password, "s3cret");
}

TEST(MqttPasswordFile, MissingFileAndFolderAreErrorsWithTheReason) {
  QTemporaryDir dir;
  const PasswordFileResult missing = ReadPasswordFile(dir.path().toStdString() + "/none");
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.error, "No such file or directory");
  const PasswordFileResult folder = ReadPasswordFile(dir.path().toStdString());
  EXPECT_FALSE(folder.ok);
  EXPECT_EQ(folder.error, "Is a directory");
}

}  // namespace
