// Notifications to the service manager, received on a datagram socket of the test that
// stands in for systemd's.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "service/SystemdNotify.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Received {
  std::string text;
  Clock::time_point at;
};

// The manager's end: an abstract datagram socket named in NOTIFY_SOCKET.
class NotifyListener {
 public:
  NotifyListener() {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const std::string name = "vyn-notify-test-" + std::to_string(getpid());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // Abstract address: a leading NUL, no file to clean up.
    name.copy(address.sun_path + 1, name.size());
    const socklen_t length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    ok_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0;
    setenv("NOTIFY_SOCKET", ("@" + name).c_str(), 1);
  }
  ~NotifyListener() {
    unsetenv("NOTIFY_SOCKET");
    if (fd_ >= 0) close(fd_);
  }
  bool Ok() const { return ok_; }

  // Every message waiting on the socket, without running the event loop.
  std::vector<Received> Drain() {
    std::vector<Received> out;
    char buffer[4096];
    for (;;) {
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n < 0) break;
      out.push_back({std::string(buffer, static_cast<std::size_t>(n)), Clock::now()});
    }
    return out;
  }

  // Runs the event loop for `duration`, taking messages as they arrive.
  std::vector<Received> Collect(std::chrono::milliseconds duration) {
    std::vector<Received> out;
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      for (auto& r : Drain()) out.push_back(std::move(r));
    });
    poll.start(2);
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
    for (auto& r : Drain()) out.push_back(std::move(r));
    return out;
  }

 private:
  int fd_ = -1;
  bool ok_ = false;
};

class SystemdNotifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(listener_.Ok());
  }
  void TearDown() override {
    unsetenv("WATCHDOG_USEC");
    unsetenv("WATCHDOG_PID");
  }
  void AskForWatchdog(std::chrono::microseconds interval, pid_t pid) {
    setenv("WATCHDOG_USEC", std::to_string(interval.count()).c_str(), 1);
    setenv("WATCHDOG_PID", std::to_string(pid).c_str(), 1);
  }

  NotifyListener listener_;
};

struct MessageCase {
  const char* name;
  std::function<bool(SystemdNotify&)> call;
  std::string expected;  // the whole message, or its start when it ends in "*"
};
void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.name; }

class SystemdNotifyMessage : public SystemdNotifyTest,
                             public ::testing::WithParamInterface<MessageCase> {};

TEST_P(SystemdNotifyMessage, ReachesTheManager) {
  const MessageCase& c = GetParam();
  SystemdNotify notify;
  EXPECT_TRUE(c.call(notify));
  const auto got = listener_.Drain();
  ASSERT_EQ(got.size(), 1u);
  if (c.expected.back() == '*')
    EXPECT_EQ(got[0].text.rfind(c.expected.substr(0, c.expected.size() - 1), 0), 0u) << got[0].text;
  else
    EXPECT_EQ(got[0].text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SystemdNotifyMessage,
    ::testing::Values(
        MessageCase{"Ready", [](SystemdNotify& n) { return n.Ready(); }, "READY=1"},
        MessageCase{"ReadyWithStatus",
                    [](SystemdNotify& n) { return n.Ready("Listening on port 3639"); },
                    "READY=1\nSTATUS=Listening on port 3639"},
        MessageCase{"Stopping", [](SystemdNotify& n) { return n.Stopping(); }, "STOPPING=1"},
        MessageCase{"StoppingWithStatus",
                    [](SystemdNotify& n) { return n.Stopping("Shutting down"); },
                    "STOPPING=1\nSTATUS=Shutting down"},
        MessageCase{"Status", [](SystemdNotify& n) { return n.Status("2 calls"); },
                    "STATUS=2 calls"},
        MessageCase{"StatusStaysOneLine", [](SystemdNotify& n) { return n.Status("a\nb\r\nc"); },
                    "STATUS=a b  c"},
        MessageCase{"Reloading", [](SystemdNotify& n) { return n.Reloading(); },
                    "RELOADING=1\nMONOTONIC_USEC=*"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SystemdNotifyTest, WatchdogPingsAtLeastEveryHalfInterval) {
  const auto interval = 400ms;
  AskForWatchdog(interval, getpid());
  const auto start = Clock::now();
  SystemdNotify notify;
  EXPECT_EQ(notify.WatchdogInterval(), interval);
  ASSERT_TRUE(notify.Ready());

  const auto got = listener_.Collect(1600ms);
  std::vector<Clock::time_point> pings;
  std::vector<std::string> others;
  for (const auto& r : got) {
    if (r.text == "WATCHDOG=1")
      pings.push_back(r.at);
    else
      others.push_back(r.text);
  }
  EXPECT_EQ(others, std::vector<std::string>{"READY=1"});
  ASSERT_GE(pings.size(), 5u);
  // Half the interval apart, with room for a busy machine, but never near the whole
  // interval, after which the manager would restart the program.
  const auto limit = interval * 3 / 4;
  EXPECT_LT(pings.front() - start, limit);
  for (std::size_t i = 1; i < pings.size(); ++i)
    EXPECT_LT(pings[i] - pings[i - 1], limit) << "gap before ping " << i;
}

TEST_F(SystemdNotifyTest, HungEventLoopStopsThePings) {
  const auto interval = 200ms;
  AskForWatchdog(interval, getpid());
  SystemdNotify notify;
  ASSERT_FALSE(listener_.Collect(300ms).empty());
  // The loop is blocked for three intervals: the manager must hear nothing.
  std::this_thread::sleep_for(interval * 3);
  EXPECT_TRUE(listener_.Drain().empty());
  // Once the loop runs again, so do the pings.
  const auto after = listener_.Collect(300ms);
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(after.front().text, "WATCHDOG=1");
}

TEST_F(SystemdNotifyTest, StoppingKeepsTheWatchdogForTheShutdown) {
  AskForWatchdog(200ms, getpid());
  SystemdNotify notify;
  ASSERT_TRUE(notify.Stopping());
  const auto got = listener_.Collect(400ms);
  ASSERT_GE(got.size(), 3u);
  EXPECT_EQ(got.front().text, "STOPPING=1");
  EXPECT_EQ(got.back().text, "WATCHDOG=1");
}

struct NoWatchdogCase {
  const char* name;
  const char* usec;  // nullptr: unset
  bool otherPid;
};
void PrintTo(const NoWatchdogCase& c, std::ostream* os) { *os << c.name; }

class SystemdNotifyNoWatchdog : public SystemdNotifyTest,
                                public ::testing::WithParamInterface<NoWatchdogCase> {};

TEST_P(SystemdNotifyNoWatchdog, SendsNoPings) {
  const NoWatchdogCase& c = GetParam();
  if (c.usec) setenv("WATCHDOG_USEC", c.usec, 1);
  setenv("WATCHDOG_PID", std::to_string(c.otherPid ? getppid() : getpid()).c_str(), 1);
  SystemdNotify notify;
  EXPECT_EQ(notify.WatchdogInterval().count(), 0);
  EXPECT_TRUE(listener_.Collect(300ms).empty());
}

INSTANTIATE_TEST_SUITE_P(Table, SystemdNotifyNoWatchdog,
                         ::testing::Values(NoWatchdogCase{"NotAsked", nullptr, false},
                                           NoWatchdogCase{"ForAnotherProcess", "200000", true},
                                           NoWatchdogCase{"NotANumber", "soon", false},
                                           NoWatchdogCase{"Zero", "0", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SystemdNotifyOutsideAService, DoesNothing) {
  unsetenv("NOTIFY_SOCKET");
  setenv("WATCHDOG_USEC", "200000", 1);
  setenv("WATCHDOG_PID", std::to_string(getpid()).c_str(), 1);
  SystemdNotify notify;
  EXPECT_FALSE(notify.Ready());
  EXPECT_FALSE(notify.Status("idle"));
  EXPECT_FALSE(notify.Stopping());
}

// A manager may name a socket in the file system rather than an abstract one.
TEST(SystemdNotifyPathSocket, ReachesTheManager) {
  char folder[] = "/tmp/vyn-notify-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/notify";
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, path.size());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  setenv("NOTIFY_SOCKET", path.c_str(), 1);
  SystemdNotify notify;
  EXPECT_TRUE(notify.Ready("up"));
  char buffer[256];
  const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
  EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0), "READY=1\nSTATUS=up");
  // An address of a kind this program does not speak is a failure, not a guess.
  setenv("NOTIFY_SOCKET", "vsock:2:1234", 1);
  EXPECT_FALSE(notify.Ready());
  unsetenv("NOTIFY_SOCKET");
  close(fd);
  unlink(path.c_str());
  rmdir(folder);
}

}  // namespace
