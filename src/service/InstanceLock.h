#pragma once
// InstanceLock: one running program per program folder. Take() makes the folder
// if needed and takes a write lock (fcntl, whole file) on <folder>/xapvynCID.lock,
// writing the process id into it. The lock lives as long as the object; the
// kernel drops it when the process ends, however it ends. The descriptor is
// closed on exec, so child processes never hold it.
//
// A folder the program cannot write in (read-only) is locked through a file in
// $XDG_RUNTIME_DIR (else /tmp) named after the folder instead.
//
// When another process holds the lock, Take() fails with that process's id
// (from the kernel's lock table), so the caller can name it; any other failure
// leaves holder at 0 and says why in error.
#include <sys/types.h>

#include <string>

class InstanceLock {
 public:
  struct Result {
    bool taken = false;
    pid_t holder = 0;      // the other process, when it holds the lock
    std::string error;     // why the lock could not be taken (holder or system error)
  };

  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  Result Take(const std::string& folder);
  static std::string LockFile(const std::string& folder) { return folder + "/xapvynCID.lock"; }
  static std::string FallbackLockFile(const std::string& folder);

 private:
  int fd_ = -1;
};
