// The modem's pseudo-terminal closed under the running program: one log line on
// the hub, no crash, no error storm, calls announced before; when the device is
// back the program reopens it by itself and announces calls again. The program opens the modem through a symbolic link, as a udev name would
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

  // The device comes back under the same name: the program reopens it by itself,
  // sends the initialisation again, says so in one line, and calls are announced.
  // Nothing is logged while it waits.
  Pause(2500);
  EXPECT_EQ(hub.Events(before).size(), 1u) << "the retries while the device is gone are silent";
  auto back = std::make_unique<Modem>();
  ASSERT_FALSE(back->device.empty());
  ASSERT_EQ(::unlink(link.c_str()), 0);
  ASSERT_EQ(::symlink(back->device.c_str(), link.c_str()), 0);
  ASSERT_TRUE(back->WaitText("AT#CID=1\r\n", 10000)) << p.stderrText;
  ASSERT_TRUE(Wait([&] { return hub.CountEvents(" back", before) == 1; }, 3000));
  EXPECT_EQ(hub.Events(before).size(), 2u) << "one line lost, one line back";
  back->Write(RingText("5551230002", "AFTER RETURN"));
  ASSERT_TRUE(Wait([&] { return hub.Phones(before).size() == 1; }, 5000)) << p.stderrText;
  // Headless: each call is also one line on standard error.
  EXPECT_TRUE(Wait([&] { return p.stderrText.find("AFTER RETURN") != std::string::npos; }, 2000))
      << p.stderrText;
  EXPECT_EQ(p.Terminate(2000), 0);
}

}  // namespace
}  // namespace faults
