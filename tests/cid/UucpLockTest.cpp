// The UUCP lock file of a serial device, with real other processes as holders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>

#include "cid/UucpLock.h"

namespace {

const char* kDevice = "/dev/ttyVYNTEST0";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// A process of the test that lives until Stop(); it holds nothing itself.
class Sleeper {
 public:
  Sleeper() {
    pid_ = fork();
    if (pid_ == 0) {
      for (;;) pause();
    }
  }
  ~Sleeper() { Stop(); }
  pid_t Pid() const { return pid_; }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

 private:
  pid_t pid_ = 0;
};

// The pid of a process that has ended and been reaped.
pid_t DeadPid() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

class UucpLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vyn-uucp-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    lockPath_ = folder_ + "/LCK..ttyVYNTEST0";
  }
  void TearDown() override {
    chmod(folder_.c_str(), 0700);
    std::system(("rm -rf '" + folder_ + "'").c_str());
  }

  std::string folder_;
  std::string lockPath_;
};

TEST_F(UucpLockTest, WritesThePidRightAlignedAndRemovesItOnRelease) {
  UucpLock lock(folder_);
  const UucpLockResult r = lock.Acquire(kDevice);
  ASSERT_TRUE(r.Locked()) << r.Describe();
  EXPECT_EQ(r.lockPath, lockPath_);
  EXPECT_EQ(lock.HeldPath(), lockPath_);

  const std::string text = ReadFile(lockPath_);
  ASSERT_EQ(text.size(), 11u);
  char expected[16];
  std::snprintf(expected, sizeof expected, "%10d\n", static_cast<int>(getpid()));
  EXPECT_EQ(text, expected);
  struct stat st {};
  ASSERT_EQ(stat(lockPath_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  // Nothing but the lock is left in the folder (the temporary file is gone).
  EXPECT_EQ(std::system(("test $(ls -A '" + folder_ + "' | wc -l) -eq 1").c_str()), 0);

  lock.Release();
  EXPECT_FALSE(lock.Held());
  EXPECT_FALSE(Exists(lockPath_));
}

TEST_F(UucpLockTest, DestructorReleases) {
  {
    UucpLock lock(folder_);
    ASSERT_TRUE(lock.Acquire(kDevice).Locked());
    EXPECT_TRUE(Exists(lockPath_));
  }
  EXPECT_FALSE(Exists(lockPath_));
}

struct StaleCase {
  const char* name;
  std::string text;  // "DEAD" stands for the pid of a process that has ended
};
void PrintTo(const StaleCase& c, std::ostream* os) { *os << c.name; }

class UucpLockStale : public UucpLockTest, public ::testing::WithParamInterface<StaleCase> {};

TEST_P(UucpLockStale, IsReplaced) {
  std::string text = GetParam().text;
  if (text == "DEAD") text = UucpLock::LockText(DeadPid());
  WriteFile(lockPath_, text);
  UucpLock lock(folder_);
  const UucpLockResult r = lock.Acquire(kDevice);
  ASSERT_TRUE(r.Locked()) << r.Describe();
  EXPECT_EQ(ReadFile(lockPath_), UucpLock::LockText(getpid()));
}

INSTANTIATE_TEST_SUITE_P(Table, UucpLockStale,
                         ::testing::Values(StaleCase{"EndedProcess", "DEAD"},
                                           StaleCase{"Empty", ""},
                                           StaleCase{"NoNumber", "minicom\n"},
                                           StaleCase{"Zero", "         0\n"},
                                           StaleCase{"NumberRunOn", "123abc\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UucpLockTest, LiveOtherProcessKeepsItsLock) {
  Sleeper other;
  const std::string theirs = UucpLock::LockText(other.Pid());
  WriteFile(lockPath_, theirs);
  UucpLock lock(folder_);
  const UucpLockResult r = lock.Acquire(kDevice);
  EXPECT_EQ(r.outcome, UucpLockOutcome::HeldByOther);
  EXPECT_EQ(r.holder, other.Pid());
  EXPECT_FALSE(lock.Held());
  EXPECT_EQ(ReadFile(lockPath_), theirs);
  EXPECT_EQ(r.Describe(), std::string("Serial port ") + kDevice + " is in use by process " +
                              std::to_string(other.Pid()) + " (lock file " + lockPath_ + ")");
  lock.Release();
  EXPECT_EQ(ReadFile(lockPath_), theirs) << "a refused lock must never remove the holder's file";
}

TEST_F(UucpLockTest, AnotherProgramsLockWithTextAfterThePidCounts) {
  Sleeper other;
  WriteFile(lockPath_, "  " + std::to_string(other.Pid()) + " minicom root\n");
  UucpLock lock(folder_);
  const UucpLockResult r = lock.Acquire(kDevice);
  EXPECT_EQ(r.outcome, UucpLockOutcome::HeldByOther);
  EXPECT_EQ(r.holder, other.Pid());
}

TEST_F(UucpLockTest, ProcessThatHeldTheLockAndDiedLeavesItFree) {
  // A real child takes the lock and reports the outcome through a pipe.
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t child = fork();
  if (child == 0) {
    UucpLock lock(folder_);
    const char ok = lock.Acquire(kDevice).Locked() ? 'y' : 'n';
    [[maybe_unused]] auto n = write(pipeFds[1], &ok, 1);
    for (;;) pause();
  }
  close(pipeFds[1]);
  char ok = 0;
  ASSERT_EQ(read(pipeFds[0], &ok, 1), 1);
  close(pipeFds[0]);
  ASSERT_EQ(ok, 'y');

  UucpLock lock(folder_);
  UucpLockResult r = lock.Acquire(kDevice);
  EXPECT_EQ(r.outcome, UucpLockOutcome::HeldByOther);
  EXPECT_EQ(r.holder, child);

  // Killed without a chance to clean up: its lock is now stale.
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ASSERT_TRUE(Exists(lockPath_));
  r = lock.Acquire(kDevice);
  ASSERT_TRUE(r.Locked()) << r.Describe();
  EXPECT_EQ(ReadFile(lockPath_), UucpLock::LockText(getpid()));
}

TEST_F(UucpLockTest, OwnPidCountsAsOurs) {
  WriteFile(lockPath_, UucpLock::LockText(getpid()));
  UucpLock lock(folder_);
  ASSERT_TRUE(lock.Acquire(kDevice).Locked());
  lock.Release();
  EXPECT_FALSE(Exists(lockPath_));
}

TEST_F(UucpLockTest, ReleaseLeavesALockThatNowNamesAnotherProcess) {
  Sleeper other;
  UucpLock lock(folder_);
  ASSERT_TRUE(lock.Acquire(kDevice).Locked());
  // Someone judged our lock stale and took it over.
  WriteFile(lockPath_, UucpLock::LockText(other.Pid()));
  lock.Release();
  EXPECT_EQ(ReadFile(lockPath_), UucpLock::LockText(other.Pid()));
}

TEST_F(UucpLockTest, AcquiringAnotherDeviceReleasesTheFirst) {
  UucpLock lock(folder_);
  ASSERT_TRUE(lock.Acquire(kDevice).Locked());
  ASSERT_TRUE(lock.Acquire("/dev/ttyVYNTEST1").Locked());
  EXPECT_FALSE(Exists(lockPath_));
  EXPECT_TRUE(Exists(folder_ + "/LCK..ttyVYNTEST1"));
}

TEST_F(UucpLockTest, SymbolicLinkSharesTheLockOfItsDevice) {
  const std::string device = folder_ + "/ttyVYNREAL0";
  const std::string byId = folder_ + "/usb-Modem_1234-if00";
  WriteFile(device, "");
  ASSERT_EQ(symlink(device.c_str(), byId.c_str()), 0);
  EXPECT_EQ(UucpLock::LockFileName(byId), "LCK..ttyVYNREAL0");

  Sleeper other;
  WriteFile(folder_ + "/LCK..ttyVYNREAL0", UucpLock::LockText(other.Pid()));
  UucpLock lock(folder_);
  const UucpLockResult r = lock.Acquire(byId);
  EXPECT_EQ(r.outcome, UucpLockOutcome::HeldByOther);
  EXPECT_EQ(r.holder, other.Pid());
}

struct FolderCase {
  const char* name;
  std::string folder;  // below the test's folder
  bool needsNonRoot;   // root writes into any folder whatever its mode
};
void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }

class UucpLockFolder : public UucpLockTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(UucpLockFolder, NotWritableIsOneLineNamingDeviceAndFolder) {
  const FolderCase& c = GetParam();
  if (c.needsNonRoot && geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  WriteFile(folder_ + "/plain-file", "");
  mkdir((folder_ + "/read-only").c_str(), 0555);
  const std::string folder = folder_ + "/" + c.folder;
  UucpLock lock(folder);
  const UucpLockResult r = lock.Acquire(kDevice);
  EXPECT_EQ(r.outcome, UucpLockOutcome::FolderNotWritable);
  EXPECT_FALSE(r.reason.empty());
  const std::string line = r.Describe();
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(line.rfind(std::string("Serial port ") + kDevice + ": cannot write a lock file in " +
                           folder + " (",
                       0),
            0u)
      << line;
}

INSTANTIATE_TEST_SUITE_P(Table, UucpLockFolder,
                         ::testing::Values(FolderCase{"Missing", "no-such-folder", false},
                                           FolderCase{"IsAFile", "plain-file", false},
                                           FolderCase{"ReadOnly", "read-only", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UucpLockTest, PathThatNamesNoDeviceFails) {
  UucpLock lock(folder_);
  for (const char* device : {"", "/dev/"}) {
    const UucpLockResult r = lock.Acquire(device);
    EXPECT_EQ(r.outcome, UucpLockOutcome::Failed) << device;
    EXPECT_FALSE(r.reason.empty());
  }
}

struct PidCase {
  const char* name;
  std::string text;
  pid_t pid;
};
void PrintTo(const PidCase& c, std::ostream* os) { *os << c.name; }

class UucpLockPid : public ::testing::TestWithParam<PidCase> {};

TEST_P(UucpLockPid, Parses) { EXPECT_EQ(UucpLock::ParsePid(GetParam().text), GetParam().pid); }

INSTANTIATE_TEST_SUITE_P(
    Table, UucpLockPid,
    ::testing::Values(PidCase{"RightAligned", "      4242\n", 4242},
                      PidCase{"NoLineEnd", "4242", 4242}, PidCase{"CrLf", "4242\r\n", 4242},
                      PidCase{"TextAfterBlank", "  17 minicom root\n", 17},
                      PidCase{"Tab", "\t99\n", 99}, PidCase{"Empty", "", 0},
                      PidCase{"OnlyBlanks", "     \n", 0}, PidCase{"Word", "abc\n", 0},
                      PidCase{"RunOn", "12x\n", 0}, PidCase{"Negative", "-5\n", 0},
                      PidCase{"TooBig", "99999999999\n", 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
