#include <gtest/gtest.h>

#include "HostTestUtil.h"
#include "host/GeneralDate.h"
#include "host/Homeseer.h"

namespace {

using Strings = std::vector<std::string>;

struct Sent {
  std::string target, cls, section, data;
  bool operator==(const Sent&) const = default;
};

class HomeseerFixture : public ::testing::Test {
 protected:
  HostHooks Hooks() {
    HostHooks hooks = reports_.Hooks();
    hooks.sendXap = [this](const std::string& target, const std::string& cls,
                           const std::string& section, const std::string& data) {
      sent_.push_back({target, cls, section, data});
    };
    hooks.now = [this] { return now_; };
    return hooks;
  }
  std::string Ini(const std::string& name = "vynRinglet.ini") const {
    return dir_ / ("Config/" + name);
  }

  TempDir dir_;
  Reports reports_;
  std::vector<Sent> sent_;
  std::chrono::system_clock::time_point now_ = std::chrono::system_clock::from_time_t(1710000000);
  Homeseer hs_{dir_.path(), Hooks()};
};

TEST(HomeseerPaths, AllFoldersAreTheProgramFolderWithoutTrailingSlash) {
  Homeseer hs("/opt/xapvynCID/");
  EXPECT_EQ(hs.GetAppPath(), "/opt/xapvynCID");
  EXPECT_EQ(hs.GetHSPath(), "/opt/xapvynCID");
  EXPECT_EQ(hs.GetDBPath(), "/opt/xapvynCID");
  EXPECT_EQ(hs.IniPath("vynXap.ini"), "/opt/xapvynCID/Config/vynXap.ini");
  EXPECT_EQ(hs.LogFilePath(), "/opt/xapvynCID/Data/xapvynCID.txt");
}

// ---- INI access --------------------------------------------------------------

TEST_F(HomeseerFixture, GetIniSettingReadsValueOrDefault) {
  const std::string text = "; options\r\n[General]\r\nXAPPID=\"FF00\"\r\nOutlook=\r\n";
  WriteBytes(Ini(), text);
  EXPECT_EQ(hs_.GetIniSetting("General", "XAPPID", "x", "vynRinglet.ini"), "\"FF00\"");
  EXPECT_EQ(hs_.GetIniSetting("general", "xappid", "x", "vynRinglet.ini"), "\"FF00\"");
  EXPECT_EQ(hs_.GetIniSetting("General", "Outlook", "1", "vynRinglet.ini"), "1");
  EXPECT_EQ(hs_.GetIniSetting("General", "Missing", "dflt", "vynRinglet.ini"), "dflt");
  EXPECT_EQ(ReadBytes(Ini()), text);
  EXPECT_FALSE(Exists(Ini() + "_bck"));
}

TEST_F(HomeseerFixture, GetIniSettingOnMissingFileCreatesItEmpty) {
  HostStatus status;
  EXPECT_EQ(hs_.GetIniSetting("Interface", "BroadcastAddress", "127.0.0.1", "vynXap.ini", &status),
            "127.0.0.1");
  EXPECT_TRUE(status.ok);
  EXPECT_TRUE(Exists(Ini("vynXap.ini")));
  EXPECT_EQ(ReadBytes(Ini("vynXap.ini")), "");
}

TEST_F(HomeseerFixture, GetIniSettingOnUnreadableFileGivesDefaultAndError) {
  std::filesystem::create_directories(Ini());
  HostStatus status;
  EXPECT_EQ(hs_.GetIniSetting("General", "A", "dflt", "vynRinglet.ini", &status), "dflt");
  EXPECT_FALSE(status.ok);
  EXPECT_FALSE(status.description.empty());
}

TEST_F(HomeseerFixture, SaveIniSettingRewritesSortedUpperCaseWithBackup) {
  const std::string old =
      "; vynRinglet settings\r\n[General]\r\nXAPPID=FF008000\r\nCIDCommPort=1\r\n"
      "[Extra]\r\nzeta=1\r\n";
  WriteBytes(Ini(), old);
  ASSERT_TRUE(hs_.SaveIniSetting("General", "Outlook", "0", "vynRinglet.ini"));
  EXPECT_EQ(ReadBytes(Ini()),
            "[EXTRA]\r\nZETA=1\r\n[GENERAL]\r\nCIDCOMMPORT=1\r\nOUTLOOK=0\r\nXAPPID=FF008000\r\n");
  EXPECT_EQ(ReadBytes(Ini() + "_bck"), old);
  EXPECT_EQ(hs_.GetIniSetting("General", "Outlook", "1", "vynRinglet.ini"), "0");
  EXPECT_EQ(FolderNames(dir_ / "Config"), (Strings{"vynRinglet.ini", "vynRinglet.ini_bck"}));
  EXPECT_TRUE(reports_.events.empty());
}

TEST_F(HomeseerFixture, SaveIniSettingOnMissingFileCreatesIt) {
  ASSERT_TRUE(hs_.SaveIniSetting("General", "XAPPID", "FF00", "vynRinglet.ini"));
  EXPECT_EQ(ReadBytes(Ini()), "[GENERAL]\r\nXAPPID=FF00\r\n");
}

TEST_F(HomeseerFixture, SaveIniSettingFailureIsReportedAndReturned) {
  const std::string old = "[General]\r\nA=1\r\n";
  WriteBytes(Ini(), old);
  std::filesystem::create_directories(Ini() + "_bck/blocker");
  HostStatus status = hs_.SaveIniSetting("General", "A", "2", "vynRinglet.ini");
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(ReadBytes(Ini()), old);
  ASSERT_EQ(reports_.events.size(), 1u);
  EXPECT_EQ(reports_.events[0],
            (std::pair<std::string, std::string>{"xapvynCID", "IniTool Save " + Ini()}));
  EXPECT_EQ(reports_.errors.size(), 1u);
}

TEST_F(HomeseerFixture, BadLineIsReportedThroughTheHooks) {
  WriteBytes(Ini(), "[General]\r\nnonsense\r\n");
  hs_.GetIniSetting("General", "A", "", "vynRinglet.ini");
  ASSERT_EQ(reports_.events.size(), 1u);
  EXPECT_EQ(reports_.events[0], (std::pair<std::string, std::string>{
                                    "IniTool", " Equal sign not found on line nonsense"}));
}

struct SectionCase {
  const char* name;
  std::string text;
  std::string group;
  std::string expected;
};

class GetINISectionTable : public ::testing::TestWithParam<SectionCase> {};

TEST_P(GetINISectionTable, JoinsPairsWithNul) {
  const SectionCase& c = GetParam();
  TempDir dir;
  WriteBytes(dir / "Config/t.ini", c.text);
  Homeseer hs(dir.path());
  EXPECT_EQ(hs.GetINISection(c.group, "t.ini"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sections, GetINISectionTable,
    ::testing::Values(SectionCase{"TwoKeys", "[S]\r\nA=1\r\nB=2\r\n", "S",
                                  std::string("A=1\0B=2", 7)},
                      SectionCase{"UpperCaseNamesInFileOrder", "[s]\r\nzz=1\r\naa=\r\n", "S",
                                  std::string("ZZ=1\0AA=", 8)},
                      SectionCase{"NoKeys", "[S]\r\n[T]\r\nA=1\r\n", "S", "="},
                      SectionCase{"MissingSection", "[T]\r\nA=1\r\n", "S", "="}),
    [](const ::testing::TestParamInfo<SectionCase>& info) { return std::string(info.param.name); });

// ---- Writelog ----------------------------------------------------------------

TEST_F(HomeseerFixture, WritelogAppendsDateAndColumns) {
  WriteBytes(hs_.LogFilePath(), "xapvynCID earlier line 0 \r\n");
  ASSERT_TRUE(hs_.Writelog("Col one", "col two"));
  EXPECT_EQ(ReadBytes(hs_.LogFilePath()),
            "xapvynCID earlier line 0 \r\n" + GeneralDateText(now_) + "\tCol one\tcol two\r\n");
}

TEST_F(HomeseerFixture, WritelogDoesNotCreateMissingFile) {
  HostStatus status = hs_.Writelog("a", "b");
  EXPECT_FALSE(status.ok);
  EXPECT_FALSE(Exists(hs_.LogFilePath()));
}

// ---- Device table ------------------------------------------------------------

TEST_F(HomeseerFixture, DeviceExistsAnswersOneOrMinusOne) {
  EXPECT_EQ(hs_.DeviceExists("Phone"), -1);
  EXPECT_EQ(hs_.NewDevice("Phone"), 0);
  EXPECT_EQ(hs_.DeviceExists("Phone"), 1);
  EXPECT_EQ(hs_.DeviceExists("phone"), -1);
}

TEST_F(HomeseerFixture, NewDeviceOnExistingNameIsAnErrorAndKeepsRecord) {
  ASSERT_EQ(hs_.NewDevice("Phone"), 0);
  hs_.SetDeviceValue("Phone", 42);
  EXPECT_EQ(hs_.NewDevice("Phone"), -1);
  EXPECT_EQ(hs_.DeviceValue("Phone"), 42);
}

TEST_F(HomeseerFixture, DevicePropertiesRoundTrip) {
  ASSERT_EQ(hs_.NewDevice("Phone"), 0);
  const Device* d = hs_.FindDevice("Phone");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->DeviceValue, 0);
  EXPECT_EQ(d->DeviceString, "");
  EXPECT_EQ(d->DeviceLastChange, std::chrono::system_clock::time_point{});

  const auto when = std::chrono::system_clock::from_time_t(1700000000);
  hs_.SetDeviceValue("Phone", -7);
  hs_.SetDeviceString("Phone", "ringing");
  hs_.SetDeviceStatus("Phone", 2);
  hs_.SetDeviceLastChange("Phone", when);
  EXPECT_EQ(hs_.DeviceValue("Phone"), -7);
  EXPECT_EQ(hs_.DeviceString("Phone"), "ringing");
  EXPECT_EQ(hs_.DeviceStatus("Phone"), 2);
  EXPECT_EQ(hs_.DeviceLastChange("Phone"), when);
}

TEST_F(HomeseerFixture, NameWithoutRecordReadsEmptyAndIsNotAdded) {
  hs_.SetDeviceValue("Ghost", 5);
  hs_.SetDeviceStatus("Ghost", 2);
  hs_.SetDeviceLastChange("Ghost", std::chrono::system_clock::now());
  EXPECT_EQ(hs_.DeviceValue("Ghost"), 0);
  EXPECT_EQ(hs_.DeviceString("Ghost"), "");
  EXPECT_EQ(hs_.DeviceStatus("Ghost"), 0);
  EXPECT_EQ(hs_.DeviceLastChange("Ghost"), std::chrono::system_clock::time_point{});
  EXPECT_FALSE(hs_.isOn("Ghost"));
  EXPECT_FALSE(hs_.isOff("Ghost"));
  EXPECT_EQ(hs_.DeviceExists("Ghost"), -1);
}

TEST_F(HomeseerFixture, IsOnAndIsOffFollowStatus) {
  struct Row {
    std::int16_t status;
    bool on, off;
  };
  ASSERT_EQ(hs_.NewDevice("Lamp"), 0);
  for (Row r :
       {Row{2, true, false}, Row{3, false, true}, Row{0, false, false}, Row{1, false, false}}) {
    hs_.SetDeviceStatus("Lamp", r.status);
    EXPECT_EQ(hs_.isOn("Lamp"), r.on) << r.status;
    EXPECT_EQ(hs_.isOff("Lamp"), r.off) << r.status;
  }
}

TEST_F(HomeseerFixture, SetDeviceStringSendsDeviceState) {
  ASSERT_EQ(hs_.NewDevice("Phone"), 0);
  hs_.SetDeviceString("Phone", "Call from Bob");
  hs_.SetDeviceString("NoRecord", "");
  using namespace std::string_literals;
  EXPECT_EQ(sent_, (std::vector<Sent>{
                       {"", "Homeseer.Device", "Device.State",
                        "Property\x01String\0Device\x01Phone\0Value\x01"s + "Call from Bob"},
                       {"", "Homeseer.Device", "Device.State",
                        "Property\x01String\0Device\x01NoRecord\0Value\x01"s}}));
  EXPECT_EQ(hs_.DeviceString("Phone"), "Call from Bob");
  EXPECT_EQ(hs_.DeviceExists("NoRecord"), -1);
}

TEST_F(HomeseerFixture, SetDeviceStringWithEmptyNameSendsNothing) {
  hs_.SetDeviceString("", "text");
  EXPECT_TRUE(sent_.empty());
}

// ---- StringItem --------------------------------------------------------------

struct ItemCase {
  const char* name;
  std::string text;
  std::int32_t position;
  std::string delimiter;
  std::string expected;
};

class StringItemTable : public ::testing::TestWithParam<ItemCase> {};

TEST_P(StringItemTable, PicksItem) {
  const ItemCase& c = GetParam();
  EXPECT_EQ(Homeseer::StringItem(c.text, c.position, c.delimiter), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Items, StringItemTable,
    ::testing::Values(
        ItemCase{"First", "a,b,c", 1, ",", "a"}, ItemCase{"Last", "a,b,c", 3, ",", "c"},
        ItemCase{"PastTheEnd", "a,b,c", 4, ",", ""}, ItemCase{"EmptyItem", "a,,c", 2, ",", ""},
        ItemCase{"TrailingEmptyItem", "a,", 2, ",", ""},
        ItemCase{"LongDelimiter", "a::b::c", 2, "::", "b"},
        ItemCase{"NoDelimiterInText", "abc", 1, ",", "abc"},
        ItemCase{"EmptyDelimiterDoesNotSplit", "a,b", 1, "", "a,b"},
        ItemCase{"EmptyText", "", 1, ",", ""}, ItemCase{"PositionZero", "a,b", 0, ",", ""},
        ItemCase{"NegativePosition", "a,b", -1, ",", ""}),
    [](const ::testing::TestParamInfo<ItemCase>& info) { return std::string(info.param.name); });

}  // namespace
