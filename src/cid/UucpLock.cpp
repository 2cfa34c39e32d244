#include "cid/UucpLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string ErrnoText(int error) { return std::strerror(error); }

// Errors that mean the folder itself does not take new files.
bool FolderRefuses(int error) {
  return error == EACCES || error == EPERM || error == EROFS || error == ENOENT || error == ENOTDIR;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The start of a lock file's text; `exists` is false when there is no such file.
std::string ReadSmallFile(const std::string& path, bool& exists) {
  exists = false;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    exists = errno != ENOENT;
    return {};
  }
  exists = true;
  char buffer[128];
  std::string text;
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() >= 512) break;  // a lock holds a few bytes; ignore the rest
  }
  close(fd);
  return text;
}

bool ProcessLives(pid_t pid) {
  // EPERM: the process exists but belongs to another user.
  return kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

std::string UucpLockResult::Describe() const {
  const std::string port = "Serial port " + device;
  switch (outcome) {
    case UucpLockOutcome::Locked:
      return port + " locked (lock file " + lockPath + ")";
    case UucpLockOutcome::HeldByOther:
      return port + " is in use by process " + std::to_string(holder) + " (lock file " + lockPath +
             ")";
    case UucpLockOutcome::FolderNotWritable:
      return port + ": cannot write a lock file in " + folder + " (" + reason + ")";
    case UucpLockOutcome::Failed:
      break;
  }
  return port + ": cannot take the lock file " + (lockPath.empty() ? folder : lockPath) + " (" +
         reason + ")";
}

UucpLock::UucpLock(std::string folder) : folder_(std::move(folder)) {
  while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
}

UucpLock::~UucpLock() { Release(); }

std::string UucpLock::LockFileName(std::string_view device) {
  std::string path(device);
  if (path.empty() || path.back() == '/') return {};
  if (char* real = realpath(path.c_str(), nullptr)) {
    path = real;
    std::free(real);
  }
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return {};
  return "LCK.." + name;
}

pid_t UucpLock::ParsePid(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  long long value = 0;
  std::size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) return 0;
  }
  if (digits == 0) return 0;
  // The number must end the line or be followed by a blank (some writers add a name).
  if (i < text.size() && text[i] != '\n' && text[i] != '\r' && text[i] != ' ' && text[i] != '\t' &&
      text[i] != '\0')
    return 0;
  return static_cast<pid_t>(value);
}

std::string UucpLock::LockText(pid_t pid) {
  char text[32];
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
  return text;
}

UucpLockResult UucpLock::Acquire(std::string_view device) {
  Release();
  UucpLockResult r;
  r.device = std::string(device);
  r.folder = folder_;
  const std::string name = LockFileName(device);
  if (name.empty()) {
    r.reason = "the port names no device";
    return r;
  }
  r.lockPath = folder_ + "/" + name;
  const pid_t self = getpid();

  // Written in full under a name of our own, then linked into place in one step.
  const std::string temp = folder_ + "/LTMP." + std::to_string(self);
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    const int error = errno;
    r.outcome = FolderRefuses(error) ? UucpLockOutcome::FolderNotWritable : UucpLockOutcome::Failed;
    r.reason = ErrnoText(error);
    return r;
  }
  fchmod(fd, 0644);  // readable by every program that checks the lock, whatever the umask
  const bool written = WriteAll(fd, LockText(self));
  const int writeError = errno;
  close(fd);
  if (!written) {
    unlink(temp.c_str());
    r.reason = ErrnoText(writeError);
    return r;
  }

  // A stale lock is removed and the link tried again; a few rounds cover another
  // program doing the same at the same moment.
  for (int round = 0; round < 3; ++round) {
    if (link(temp.c_str(), r.lockPath.c_str()) == 0) {
      unlink(temp.c_str());
      held_ = r.lockPath;
      r.outcome = UucpLockOutcome::Locked;
      return r;
    }
    if (errno != EEXIST) {
      const int error = errno;
      unlink(temp.c_str());
      r.outcome = FolderRefuses(error) && error != ENOENT ? UucpLockOutcome::FolderNotWritable
                                                          : UucpLockOutcome::Failed;
      r.reason = ErrnoText(error);
      return r;
    }
    bool exists = false;
    const std::string text = ReadSmallFile(r.lockPath, exists);
    if (!exists) continue;  // removed in the meantime
    const pid_t pid = ParsePid(text);
    if (pid == self) {
      unlink(temp.c_str());
      held_ = r.lockPath;
      r.outcome = UucpLockOutcome::Locked;
      return r;
    }
    if (pid > 0 && ProcessLives(pid)) {
      unlink(temp.c_str());
      r.outcome = UucpLockOutcome::HeldByOther;
      r.holder = pid;
      return r;
    }
    if (unlink(r.lockPath.c_str()) != 0 && errno != ENOENT) {
      const int error = errno;
      unlink(temp.c_str());
      r.reason = "a stale lock" + (pid > 0 ? " of process " + std::to_string(pid) : std::string()) +
                 " cannot be removed: " + ErrnoText(error);
      return r;
    }
  }
  unlink(temp.c_str());
  r.reason = "the lock file keeps coming back";
  return r;
}

void UucpLock::Release() {
  if (held_.empty()) return;
  bool exists = false;
  const std::string text = ReadSmallFile(held_, exists);
  if (exists && ParsePid(text) == getpid()) unlink(held_.c_str());
  held_.clear();
}
