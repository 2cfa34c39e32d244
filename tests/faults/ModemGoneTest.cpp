// The modem's pseudo-terminal closed under the running program: one log line on
// the hub, no crash, no error storm, calls announced before and nothing spurious
// after. The program opens the modem through a symbolic link, as a udev name would
// be, so the device can come back under the same name.
#include <gtest/gtest.h>

#include "FaultRig.h"

namespace faults {
namespace {

TEST(ModemGone, ClosedPseudoTerminalIsLoggedOnceAndCostsNoCpu) {
  Hub hub;
  ASSERT_TRUE(hub.Bound()) << "127.0.0.1:3639 is in use";
  auto modem = std::make_unique<Modem>();
  ASSERT_FALSE(modem->device.empty());
  Program p;
  const std::string link = p.dir.path().toStdString() + "/modem";
  ASSERT_EQ(::symlink(modem->device.c_str(), link.c_str()), 0);
  p.SetRinglet("OCID=0\r\nCIDCommPort=" + link + "\r\n");
  ASSERT_TRUE(p.Start());
  ASSERT_TRUE(modem->WaitText("AT#CID=1\r\n", 5000));
  ASSERT_TRUE(Wait([&] { return hub.CountEvents(" Opened") == 1; }, 5000));

  modem->Write(RingText("5551230001", "BEFORE CLOSE"));
  ASSERT_TRUE(Wait([&] { return hub.Phones().size() == 1; }, 5000));

  const std::size_t before = hub.messages.size();
  modem->Close();
  ASSERT_TRUE(Wait([&] { return hub.CountEvents("CommERROR", before) == 1; }, 5000))
      << "no CommERROR line after the close; stderr:\n"
      << p.stderrText;
  Pause(300);
  const long ticks0 = CpuTicks(p.Pid());
  Pause(1000);
  const long ticks1 = CpuTicks(p.Pid());
  ASSERT_GE(ticks0, 0);
  // An error storm burns the whole second (about 100 ticks); an idle program a tick or two.
  EXPECT_LE(ticks1 - ticks0, 10) << "CPU ticks in one second after the close";
  EXPECT_EQ(hub.Events(before).size(), 1u) << "exactly one event line for the close";
  EXPECT_TRUE(p.Running());

  // The device comes back under the same name. Nothing in a headless run reopens
  // the port by itself (only a command to the modem or the setup dialog's close
  // does, see ModemReopen); the program stays quiet and keeps running meanwhile.
  auto back = std::make_unique<Modem>();
  ASSERT_FALSE(back->device.empty());
  ASSERT_EQ(::unlink(link.c_str()), 0);
  ASSERT_EQ(::symlink(back->device.c_str(), link.c_str()), 0);
  Pause(500);
  EXPECT_EQ(hub.Events(before).size(), 1u);
  EXPECT_TRUE(hub.Phones(before).empty());
  EXPECT_EQ(p.Terminate(2000), 0);
}

}  // namespace
}  // namespace faults
