// The web page's settings: reading, and when the page may serve which address.
#include <gtest/gtest.h>

#include <map>

#include "web/WebConfig.h"

namespace {

web::KeyLookup Lookup(std::map<std::string, std::string> values) {
  return [values](const std::string& section, const std::string& key) {
    auto it = values.find(section + "/" + key);
    return it == values.end() ? std::string() : it->second;
  };
}

bool Reader(const std::string& path, std::string& contents) {
  if (path == "/pw") return contents = "s3cret \r\nsecond line\n", true;
  if (path == "/empty") return contents = "\n", true;
  return false;
}

TEST(WebConfig, ReadsTheWebSectionWithoutQuotes) {
  const web::WebConfig c = web::ReadWebConfig(Lookup(
      {{"Web/Listen", " \"127.0.0.1:8080\" "}, {"Web/User", "ann"}, {"Web/PasswordFile", "/pw"},
       {"NCID/Listen", "0.0.0.0:1"}}));
  EXPECT_EQ(c.listen, "127.0.0.1:8080");
  EXPECT_EQ(c.user, "ann");
  EXPECT_EQ(c.passwordFile, "/pw");
  EXPECT_TRUE(web::ReadWebConfig(Lookup({})).listen.empty());
}

struct PlanCase {
  const char* name;
  web::WebConfig config;
  bool usable;
  const char* host;
  int port;
  const char* password;
  const char* reasonPart;
};

TEST(WebConfig, PlansTable) {
  const PlanCase cases[] = {
      {"loopback_no_auth", {"127.0.0.1:8080", "", ""}, true, "127.0.0.1", 8080, "", ""},
      {"other_loopback", {"127.1.2.3:0", "", ""}, true, "127.1.2.3", 0, "", ""},
      {"v6_loopback", {"[::1]:9000", "", ""}, true, "::1", 9000, "", ""},
      {"lan_refused_without_auth", {"0.0.0.0:8080", "", ""}, false, "", 0, "", "needs [Web] User"},
      {"every_address_refused", {"*:8080", "", ""}, false, "", 0, "", "needs [Web] User"},
      {"lan_with_auth", {"0.0.0.0:8080", "ann", "/pw"}, true, "0.0.0.0", 8080, "s3cret", ""},
      {"loopback_with_auth", {"127.0.0.1:1", "ann", "/pw"}, true, "127.0.0.1", 1, "s3cret", ""},
      {"unreadable_password", {"0.0.0.0:8080", "ann", "/nope"}, false, "", 0, "", "cannot be read"},
      {"empty_password", {"127.0.0.1:8080", "ann", "/empty"}, false, "", 0, "", "holds no password"},
      {"user_without_file", {"127.0.0.1:8080", "ann", ""}, false, "", 0, "", "PasswordFile is empty"},
      {"file_without_user", {"127.0.0.1:8080", "", "/pw"}, false, "", 0, "", "User is empty"},
      {"no_port", {"127.0.0.1", "", ""}, false, "", 0, "", "address:port"},
      {"bad_port", {"127.0.0.1:99999", "", ""}, false, "", 0, "", "0 to 65535"},
      {"v6_unbracketed", {"::1:80", "", ""}, false, "", 0, "", "address:port"},
      {"fake_loopback_name", {"127.0.0.1.evil:80", "", ""}, false, "", 0, "", "needs [Web] User"},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.name);
    const web::ListenPlan plan = web::CheckWebConfig(c.config, &Reader);
    EXPECT_EQ(plan.Usable(), c.usable) << plan.reason;
    if (c.usable) {
      EXPECT_EQ(plan.host, c.host);
      EXPECT_EQ(plan.port, c.port);
      EXPECT_EQ(plan.password, c.password);
    } else {
      EXPECT_NE(plan.reason.find(c.reasonPart), std::string::npos) << plan.reason;
      EXPECT_TRUE(plan.password.empty());
    }
  }
}

}  // namespace
