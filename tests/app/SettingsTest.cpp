#include "common/Settings.h"

#include <gtest/gtest.h>

TEST(Settings, BooleanIsOnExactlyWhenLeadingNumberIsOne) {
  struct Row { const char* text; bool on; };
  const Row rows[] = {{"1", true},  {"1.0", true}, {"  1", true}, {"\"1\"", true}, {"1abc", true},
                      {"0", false}, {"2", false},  {"yes", false}, {"", false},     {"-1", false},
                      {"0x1", false}, {"inf", false}, {"11", false}};
  for (const Row& r : rows) EXPECT_EQ(SettingIsOn(r.text), r.on) << "'" << r.text << "'";
}

TEST(Settings, DefaultsAndKeyOrder) {
  Settings s;
  EXPECT_TRUE(s.Outlook);
  EXPECT_TRUE(s.OCID);
  EXPECT_FALSE(s.StripPrefix);
  EXPECT_EQ(s.CIDPortString, "9600,n,8,1");
  auto keys = SettingsKeys();
  ASSERT_EQ(keys.size(), 17u);
  EXPECT_EQ(keys.front(), "XAPNode");
  EXPECT_EQ(keys.back(), "FormatSuffix");
  // Every key's stored default gives the record's default.
  Settings fromDefaults;
  fromDefaults.XAPPID = fromDefaults.CIDPortString = "changed";
  fromDefaults.OCID = false;
  for (const auto& k : keys) EXPECT_TRUE(ApplySetting(fromDefaults, k, SettingDefault(k))) << k;
  EXPECT_EQ(fromDefaults.XAPPID, "FF008000");
  EXPECT_EQ(fromDefaults.CIDPortString, "9600,n,8,1");
  EXPECT_TRUE(fromDefaults.OCID);
}

TEST(Settings, ValuesLoseQuotesAndKeysIgnoreCase) {
  Settings s;
  EXPECT_TRUE(ApplySetting(s, "cidnameprefix", "\"NAME =\""));
  EXPECT_EQ(s.CIDNamePrefix, "NAME =");
  EXPECT_TRUE(ApplySetting(s, "FormatPrefix", "Call \"from\" here"));
  EXPECT_EQ(s.FormatPrefix, "Call from here");
  EXPECT_TRUE(ApplySetting(s, "XAPVoice", "0"));
  EXPECT_FALSE(s.XapVoice);
  EXPECT_FALSE(ApplySetting(s, "NoSuchKey", "1"));
}

TEST(Settings, FriendsLocationEndsInSlash) {
  struct Row { const char* in; const char* out; };
  const Row rows[] = {{"/home/me/Phone", "/home/me/Phone/"}, {"/home/me/Phone/", "/home/me/Phone/"}, {"", ""}};
  for (const Row& r : rows) {
    Settings s;
    ApplySetting(s, "FriendsLocation", r.in);
    EXPECT_EQ(s.FriendsLocation, r.out);
  }
}

TEST(Settings, IsNumeric) {
  EXPECT_TRUE(IsNumeric("1"));
  EXPECT_TRUE(IsNumeric(" 0 "));
  EXPECT_TRUE(IsNumeric("1.5"));
  EXPECT_FALSE(IsNumeric("yes"));
  EXPECT_FALSE(IsNumeric(""));
  EXPECT_FALSE(IsNumeric("1x"));
}
