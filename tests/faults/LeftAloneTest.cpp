// A headless run left alone: a network box that boots after the program, stop
// signals at any moment of start-up, a second start on the same folder, a reload
// by SIGHUP and a display that cannot be opened.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <random>

#include "FaultRig.h"

namespace faults {
namespace {

// A TCP port on 127.0.0.1 with nothing listening on it (connections are refused).
quint16 RefusingPort() {
  QTcpServer s;
  s.listen(QHostAddress(QHostAddress::LocalHost), 0);
  return s.serverPort();
}

// The box boots 15 s after the program started: the six attempts of the start-up
// wait fail ("Unable to connect ..."), then the program keeps trying by itself
// and a call from the box is announced.
TEST(LeftAlone, ABoxThatBootsLateIsConnectedByItself) {
  Hub hub;
  ASSERT_TRUE(hub.Bound()) << "127.0.0.1:3639 is in use";
  const quint16 port = RefusingPort();
  const std::string target = "127.0.0.1:" + std::to_string(port);
  Program p("OCID=0\r\nCIDCommPort=" + target + "\r\n");
  ASSERT_TRUE(p.Start());
  QElapsedTimer run;
  run.start();
  ASSERT_TRUE(Wait([&] { return hub.CountEvents("Unable to connect to CM11A via TCP " + target) == 1; },
                   20000))
      << p.stderrText;
  Pause(static_cast<int>(std::max<qint64>(0, 15000 - run.elapsed())));

  QTcpServer box;
  ASSERT_TRUE(box.listen(QHostAddress(QHostAddress::LocalHost), port));
  QElapsedTimer up;
  up.start();
  ASSERT_TRUE(Wait([&] { return box.hasPendingConnections(); }, 65000)) << p.stderrText;
  const qint64 connectMs = up.elapsed();
  QTcpSocket* s = box.nextPendingConnection();
  ASSERT_TRUE(Wait([&] { return hub.CountEvents(" back") == 1; }, 3000)) << p.stderrText;
  s->write(QByteArray::fromStdString(NetFrame("5557770001", "LATE BOX")));
  ASSERT_TRUE(Wait([&] { return hub.Phones().size() == 1; }, 5000)) << p.stderrText;
  RecordProperty("box_up_to_connect_ms", static_cast<int>(connectMs));
  EXPECT_EQ(hub.CountEvents("Unable to connect"), 1u) << "no further lines while it was down";
  EXPECT_EQ(p.Terminate(2000), 0);
}

// Whether the process catches `signo` (its SigCgt mask in /proc).
bool Catches(qint64 pid, int signo) {
  const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
  const auto at = status.find("SigCgt:\t");
  if (at == std::string::npos) return false;
  const unsigned long long mask = std::stoull(status.substr(at + 8, 16), nullptr, 16);
  return (mask >> (signo - 1)) & 1u;
}

// SIGTERM or SIGINT at a random moment of start-up, with a box that refuses (so
// start-up waits for it): the program ends with status 0 within a second. The
// moments are counted from when the program catches the signals (the first
// thing main does); before that the dynamic loader is still at work.
TEST(LeftAlone, StopAtRandomMomentsOfStartUpEndsWithStatusZero) {
  std::mt19937 random(std::random_device{}());
  const quint16 port = RefusingPort();
  for (int run = 0; run < 30; ++run) {
    const int delayMs = std::uniform_int_distribution<int>(0, run % 3 == 2 ? 3000 : 300)(random);
    const int signo = run % 2 ? SIGINT : SIGTERM;
    SCOPED_TRACE("run " + std::to_string(run) + ": signal " + std::to_string(signo) + " after " +
                 std::to_string(delayMs) + " ms");
    Program p("OCID=1\r\nCIDCommPort=127.0.0.1:" + std::to_string(port) + "\r\n");
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(Wait([&] { return Catches(p.Pid(), signo); }, 3000));
    Pause(delayMs);
    ::kill(static_cast<pid_t>(p.Pid()), signo);
    EXPECT_EQ(p.ExitCode(1000), 0) << p.stderrText;
  }
}

// A second start on the same folder ends at once with status 1 and names the
// folder and the running process; the first runs on. Another folder runs beside.
TEST(LeftAlone, OneInstancePerProgramFolder) {
  Hub hub;
  ASSERT_TRUE(hub.Bound()) << "127.0.0.1:3639 is in use";
  Program first("OCID=1\r\n");
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(Wait([&] { return hub.CountEvents("Using xAP port") == 1; }, 5000)) << first.stderrText;
  const std::string store = ReadFile(first.configHome + "/xapvynCID/xapvynCID.conf");

  QProcess second;
  second.start(XAPVYNCID_EXE, {"--headless", "--home", QString::fromStdString(first.home)});
  ASSERT_TRUE(second.waitForFinished(3000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 1);
  const std::string err = second.readAllStandardError().toStdString();
  EXPECT_NE(err.find(first.home), std::string::npos) << err;
  EXPECT_NE(err.find(std::to_string(first.Pid())), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_EQ(hub.CountEvents("Using xAP port"), 1u) << "the second start sent nothing";
  EXPECT_EQ(ReadFile(first.configHome + "/xapvynCID/xapvynCID.conf"), store);

  Program other("OCID=1\r\n");
  ASSERT_TRUE(other.Start());
  ASSERT_TRUE(Wait([&] { return hub.CountEvents("Using xAP port") == 2; }, 5000)) << other.stderrText;
  EXPECT_TRUE(first.Running());
  EXPECT_TRUE(other.Running());
  EXPECT_EQ(other.Terminate(2000), 0);
  EXPECT_EQ(first.Terminate(2000), 0);
}

// SIGHUP reads the settings again: a changed CIDCommPort re-opens the link on the
// new device, with one log line; calls on the new device are announced.
TEST(LeftAlone, SighupReloadsTheSettingsAndReopensTheLink) {
  Hub hub;
  ASSERT_TRUE(hub.Bound()) << "127.0.0.1:3639 is in use";
  Modem a, b;
  ASSERT_FALSE(a.device.empty());
  ASSERT_FALSE(b.device.empty());
  Program p("OCID=0\r\nCIDCommPort=" + a.device + "\r\n");
  ASSERT_TRUE(p.Start());
  ASSERT_TRUE(a.WaitText("AT#CID=1\r\n", 5000)) << p.stderrText;
  const std::size_t before = hub.messages.size();
  p.SetRinglet("OCID=0\r\nCIDCommPort=" + b.device + "\r\n");
  ::kill(static_cast<pid_t>(p.Pid()), SIGHUP);
  ASSERT_TRUE(b.WaitText("AT#CID=1\r\n", 5000)) << p.stderrText;
  ASSERT_TRUE(Wait([&] { return hub.CountEvents("Settings reloaded", before) == 1; }, 3000));
  b.Write(RingText("5558880001", "AFTER RELOAD"));
  ASSERT_TRUE(Wait([&] { return hub.Phones(before).size() == 1; }, 5000)) << p.stderrText;
  EXPECT_TRUE(p.Running());
  EXPECT_EQ(p.Terminate(2000), 0);
}

// DISPLAY names a display that does not exist: one line on standard error and a
// headless run instead of an abort.
TEST(LeftAlone, ADisplayThatCannotBeOpenedGivesAHeadlessRun) {
  Hub hub;
  ASSERT_TRUE(hub.Bound()) << "127.0.0.1:3639 is in use";
  Program p;
  p.headless = false;
  p.env = {{"DISPLAY", ":987"}};
  ASSERT_TRUE(p.Start());
  ASSERT_TRUE(Wait([&] { return hub.CountEvents("Using xAP port") == 1; }, 5000)) << p.stderrText;
  EXPECT_NE(p.stderrText.find("cannot open display :987"), std::string::npos) << p.stderrText;
  EXPECT_TRUE(p.Running());
  EXPECT_EQ(p.Terminate(2000), 0);
}


// A datagram socket standing in for the service manager's notify socket.
struct NotifySocket {
  QTemporaryDir dir;
  std::string path;
  int fd = -1;
  NotifySocket() {
    path = dir.path().toStdString() + "/notify";
    fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) fd = -1;
  }
  ~NotifySocket() {
    if (fd >= 0) ::close(fd);
  }
  // Every message received so far, appended to got.
  void Read() {
    char buf[512];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) got.emplace_back(buf, static_cast<std::size_t>(n));
  }
  int Count(const std::string& text) {
    Read();
    return static_cast<int>(std::count_if(got.begin(), got.end(), [&](const std::string& m) {
      return m.find(text) != std::string::npos;
    }));
  }
  std::vector<std::string> got;
};

// Under a service manager: READY=1 once the transport is up (after "Using xAP port"),
// watchdog pings at least every half interval, STOPPING=1 on SIGTERM.
TEST(LeftAlone, ServiceManagerHearsReadinessWatchdogAndStop) {
  Hub hub;
  ASSERT_TRUE(hub.Bound()) << "127.0.0.1:3639 is in use";
  NotifySocket notify;
  ASSERT_GE(notify.fd, 0);
  Program p;
  p.env = {{"NOTIFY_SOCKET", QString::fromStdString(notify.path)},
           {"WATCHDOG_USEC", "400000"}};
  ASSERT_TRUE(p.Start());
  ASSERT_TRUE(Wait([&] { return notify.Count("READY=1") == 1; }, 5000)) << p.stderrText;
  EXPECT_EQ(hub.CountEvents("Using xAP port"), 1u);
  const int pings = notify.Count("WATCHDOG=1");
  Spin(1000);
  EXPECT_GE(notify.Count("WATCHDOG=1") - pings, 4) << "pings at least every 200 ms";
  EXPECT_EQ(p.Terminate(2000), 0);
  EXPECT_EQ(notify.Count("STOPPING=1"), 1);
}

}  // namespace
}  // namespace faults
