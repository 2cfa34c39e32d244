#pragma once
// UucpLock: the UUCP lock file that tells other programs (minicom, cu, ModemManager,
// another copy of this program) that a serial device is in use.
//
// Acquire(device) creates "<folder>/LCK..<name>", where <name> is the last path
// component of the device (after following symbolic links, so /dev/serial/by-id/...
// and the /dev/ttyUSB0 it points to share one lock). The file holds this process's
// pid as a 10-character right-aligned ASCII number and a LF ("      4242\n"). It is
// written in full under a temporary name and linked into place, so another program
// never reads half a lock.
//  - A lock that names a process that no longer exists, or that holds no pid at all,
//    is stale: it is removed and the lock taken.
//  - A lock of a live other process is refused: outcome HeldByOther with its pid.
//  - A lock that already names this process counts as ours.
//  - A lock folder that cannot be written (missing, read-only, no permission) gives
//    outcome FolderNotWritable; any other failure gives Failed. Both carry the system's
//    reason. Describe() turns every result into one line naming the device and the
//    folder, for the event log.
// Release() (and the destructor) removes the file, but only while it still holds our
// pid. The folder defaults to /var/lock (on Debian a link to /run/lock); tests give
// their own. Plain POSIX; not thread-safe.
#include <sys/types.h>

#include <string>
#include <string_view>

enum class UucpLockOutcome { Locked, HeldByOther, FolderNotWritable, Failed };

struct UucpLockResult {
  UucpLockOutcome outcome = UucpLockOutcome::Failed;
  std::string device;    // as given to Acquire
  std::string folder;    // the lock folder
  std::string lockPath;  // the lock file
  pid_t holder = 0;      // HeldByOther: the live process named in the lock
  std::string reason;    // FolderNotWritable, Failed: the system's reason

  bool Locked() const { return outcome == UucpLockOutcome::Locked; }
  // One line for the event log, e.g. "Serial port /dev/ttyUSB0 is in use by process
  // 812 (lock file /run/lock/LCK..ttyUSB0)".
  std::string Describe() const;
};

class UucpLock {
 public:
  static constexpr const char* kDefaultFolder = "/var/lock";

  explicit UucpLock(std::string folder = kDefaultFolder);
  ~UucpLock();
  UucpLock(const UucpLock&) = delete;
  UucpLock& operator=(const UucpLock&) = delete;

  // Takes the lock for `device`, releasing any lock this object held before.
  UucpLockResult Acquire(std::string_view device);
  // Removes the lock file if this object holds it and it still names this process.
  void Release();

  bool Held() const { return !held_.empty(); }
  // The lock file this object holds; empty when it holds none.
  const std::string& HeldPath() const { return held_; }

  // "LCK..<name>" for a device path, following symbolic links; empty when the path
  // names no device (empty, or ending in "/").
  static std::string LockFileName(std::string_view device);
  // The pid in a lock file's text: ASCII digits with blanks around them, or 0 when
  // the text holds no positive number.
  static pid_t ParsePid(std::string_view text);
  // The text a lock file of `pid` holds.
  static std::string LockText(pid_t pid);

 private:
  std::string folder_;
  std::string held_;
};
