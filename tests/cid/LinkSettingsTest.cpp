// Reading CIDCommPort and CIDPortString.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "cid/LinkSettings.h"

namespace {

struct PortCase {
  const char* name;
  std::string text;
  LinkKind kind;
  std::string device;
  std::string host;
  int port;
  bool usable;
};
void PrintTo(const PortCase& c, std::ostream* os) { *os << c.name; }

class CommPortTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(CommPortTest, Reads) {
  const PortCase& c = GetParam();
  const LinkTarget t = ParseCommPort(c.text);
  EXPECT_EQ(t.kind, c.kind);
  EXPECT_EQ(t.device, c.device);
  EXPECT_EQ(t.host, c.host);
  EXPECT_EQ(t.port, c.port);
  EXPECT_EQ(t.Usable(), c.usable) << t.reason;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommPortTest,
    ::testing::Values(
        PortCase{"NumberThree", "3", LinkKind::Serial, "/dev/ttyS2", "", 0, true},
        PortCase{"NumberOne", "1", LinkKind::Serial, "/dev/ttyS0", "", 0, true},
        PortCase{"NumberWithBlanks", " 12 ", LinkKind::Serial, "/dev/ttyS11", "", 0, true},
        PortCase{"LeadingNumberOnly", "3abc", LinkKind::Serial, "/dev/ttyS2", "", 0, true},
        PortCase{"Zero", "0", LinkKind::None, "", "", 0, false},
        PortCase{"Empty", "", LinkKind::None, "", "", 0, false},
        PortCase{"NoNumber", "COM3", LinkKind::None, "", "", 0, false},
        PortCase{"DevicePath", "/dev/ttyACM0", LinkKind::Serial, "/dev/ttyACM0", "", 0, true},
        PortCase{"DevicePathWithColon", "/dev/serial/by-id/usb-Modem:1", LinkKind::Serial,
                 "/dev/serial/by-id/usb-Modem:1", "", 0, true},
        PortCase{"HostAndPort", "127.0.0.1:3001", LinkKind::Tcp, "", "127.0.0.1", 3001, true},
        PortCase{"HostNameAndBlankPort", "box.local: 3001 ", LinkKind::Tcp, "", "box.local", 3001,
                 true},
        PortCase{"PortNotANumber", "127.0.0.1:abc", LinkKind::Tcp, "", "127.0.0.1", 0, false},
        PortCase{"PortZero", "127.0.0.1:0", LinkKind::Tcp, "", "127.0.0.1", 0, false},
        PortCase{"PortTooBig", "127.0.0.1:70000", LinkKind::Tcp, "", "127.0.0.1", 0, false},
        PortCase{"SecondColon", "host:1:2", LinkKind::Tcp, "", "host", 0, false},
        PortCase{"NoHost", ":3001", LinkKind::Tcp, "", "", 3001, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct SettingsCase {
  const char* name;
  std::string text;
  bool ok;
  SerialLineSettings expected;
  std::string reasonHolds;
};
void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

class PortSettingsTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(PortSettingsTest, Reads) {
  const SettingsCase& c = GetParam();
  const PortSettingsResult r = ParsePortSettings(c.text);
  ASSERT_EQ(r.settings.has_value(), c.ok) << r.reason;
  if (c.ok) {
    EXPECT_EQ(r.settings->speed, c.expected.speed);
    EXPECT_EQ(r.settings->parity, c.expected.parity);
    EXPECT_EQ(r.settings->dataBits, c.expected.dataBits);
    EXPECT_EQ(r.settings->stopBits, c.expected.stopBits);
    EXPECT_EQ(r.reason, "");
  } else {
    EXPECT_NE(r.reason.find("CIDPortString \"" + c.text + "\""), std::string::npos) << r.reason;
    EXPECT_NE(r.reason.find(c.reasonHolds), std::string::npos) << r.reason;
  }
}

using P = Parity;
using S = StopBits;
INSTANTIATE_TEST_SUITE_P(
    Table, PortSettingsTest,
    ::testing::Values(
        SettingsCase{"Default", "9600,n,8,1", true, {9600, P::None, 8, S::One}, ""},
        SettingsCase{"EvenSevenTwo", "115200,E,7,2", true, {115200, P::Even, 7, S::Two}, ""},
        SettingsCase{
            "OddFiveOneAndHalf", "1200,o,5,1.5", true, {1200, P::Odd, 5, S::OneAndHalf}, ""},
        SettingsCase{"Mark", "9600,m,8,1", true, {9600, P::Mark, 8, S::One}, ""},
        SettingsCase{"Space", "9600,S,6,1", true, {9600, P::Space, 6, S::One}, ""},
        SettingsCase{"Blanks", " 9600 , n , 8 , 1 ", true, {9600, P::None, 8, S::One}, ""},
        SettingsCase{"Empty", "", false, {}, "expected speed,parity"},
        SettingsCase{"ThreeFields", "9600,n,8", false, {}, "expected speed,parity"},
        SettingsCase{"FiveFields", "9600,n,8,1,1", false, {}, "expected speed,parity"},
        SettingsCase{"SpeedText", "fast,n,8,1", false, {}, "speed"},
        SettingsCase{"SpeedZero", "0,n,8,1", false, {}, "speed"},
        SettingsCase{"SpeedNegative", "-9600,n,8,1", false, {}, "speed"},
        SettingsCase{"ParityX", "9600,x,8,1", false, {}, "parity"},
        SettingsCase{"ParityEmpty", "9600,,8,1", false, {}, "parity"},
        SettingsCase{"ParityWord", "9600,none,8,1", false, {}, "parity"},
        SettingsCase{"NineBits", "9600,n,9,1", false, {}, "data bits"},
        SettingsCase{"FourBits", "9600,n,4,1", false, {}, "data bits"},
        SettingsCase{"StopThree", "9600,n,8,3", false, {}, "stop bits"},
        SettingsCase{"StopOnePointZero", "9600,n,8,1.0", false, {}, "stop bits"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
