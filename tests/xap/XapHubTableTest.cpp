// The relay table of the built-in hub: registration by heartbeat, renewal and expiry.
#include "xap/XapHubTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Heartbeat(const std::string& port, const std::string& interval) {
  return "xap-hbeat\n{\nv=12\nhop=1\nuid=FF123400\nclass=xap-hbeat.alive\nsource=acme.app.pc1\n"
         "interval=" + interval + "\nport=" + port + "\n}\n";
}

using Ports = std::vector<std::uint16_t>;

TEST(XapHubTable, HeartbeatsRegisterTheirPort) {
  struct Row {
    const char* name;
    std::string message;
    bool registers;
  };
  std::string crlf;
  for (char c : Heartbeat("40001", "60")) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const Row rows[] = {
      {"heartbeat", Heartbeat("40001", "60"), true},
      {"crlf heartbeat", crlf, true},
      {"blank line first", "\n" + Heartbeat("40001", "60"), true},
      {"no interval", "xap-hbeat\n{\nport=40001\n}\n", true},
      {"ordinary message", "xap-header\n{\nclass=a.b\nport=40001\n}\n", false},
      {"no port", "xap-hbeat\n{\ninterval=60\n}\n", false},
      {"port zero", Heartbeat("0", "60"), false},
      {"port too big", Heartbeat("70000", "60"), false},
      {"port not a number", Heartbeat("4x", "60"), false},
      {"port in the body only", "xap-hbeat\n{\ninterval=60\n}\nbody\n{\nport=40001\n}\n", false},
      {"empty", "", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    XapHubTable table;
    EXPECT_EQ(table.Heard(row.message, 0), row.registers);
    EXPECT_EQ(table.Ports(0), row.registers ? Ports{40001} : Ports{});
  }
}

TEST(XapHubTable, RegistrationLivesTwiceItsIntervalAndIsRenewed) {
  XapHubTable table;
  table.Heard(Heartbeat("40001", "10"), 0);
  table.Heard(Heartbeat("40002", "60"), 0);
  EXPECT_EQ(table.Ports(19999), (Ports{40001, 40002}));
  EXPECT_EQ(table.Ports(20000), Ports{40002});
  table.Heard(Heartbeat("40001", "10"), 25000);  // back again
  table.Heard(Heartbeat("40002", "60"), 100000);  // renewed before 120 s
  EXPECT_EQ(table.Ports(44999), (Ports{40002, 40001}));
  EXPECT_EQ(table.Ports(219999), Ports{40002});
  EXPECT_EQ(table.Ports(220000), Ports{});
}

TEST(XapHubTable, TableStaysBounded) {
  XapHubTable table;
  for (int i = 0; i < 1000; ++i) table.Heard(Heartbeat(std::to_string(30000 + i), "60"), i);
  EXPECT_EQ(table.Size(), XapHubTable::kMaxPorts);
  const Ports ports = table.Ports(1000);
  EXPECT_EQ(ports.back(), 30999);
}

}  // namespace
