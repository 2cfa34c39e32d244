#include "service/InstanceLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

std::string InstanceLock::FallbackLockFile(const std::string& folder) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string dir = runtime && *runtime == '/' ? runtime : "/tmp";
  char name[64];
  std::snprintf(name, sizeof name, "/xapvynCID-%016zx.lock", std::hash<std::string>{}(folder));
  return dir + name;
}

InstanceLock::Result InstanceLock::Take(const std::string& folder) {
  Result r;
  if (fd_ >= 0) {
    r.taken = true;
    return r;
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::string path = LockFile(folder);
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    // A folder the program may read but not write still gets one instance: the
    // lock then lives in the runtime folder, named after the program folder.
    path = FallbackLockFile(folder);
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  }
  if (fd < 0) {
    r.error = "cannot open " + path + ": " + std::strerror(errno);
    return r;
  }
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (::fcntl(fd, F_SETLK, &lock) != 0) {
    const int err = errno;
    struct flock held {};
    held.l_type = F_WRLCK;
    held.l_whence = SEEK_SET;
    if ((err == EACCES || err == EAGAIN) && ::fcntl(fd, F_GETLK, &held) == 0 &&
        held.l_type != F_UNLCK) {
      r.holder = held.l_pid;
      r.error = "held by process " + std::to_string(held.l_pid);
    } else {
      r.error = "cannot lock " + path + ": " + std::strerror(err);
    }
    ::close(fd);
    return r;
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  // The id in the file is for people; the lock itself names the holder.
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) r.error.clear();
  fd_ = fd;
  r.taken = true;
  return r;
}
