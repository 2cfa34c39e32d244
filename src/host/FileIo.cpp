#include "host/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

HostStatus Errno(int location) {
  const int code = errno;
  return HostStatus::Fail(location, std::strerror(code), code);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

HostStatus ReadWholeFile(const std::string& path, std::string& out) {
  out.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Errno(1);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) out.reserve(static_cast<std::size_t>(st.st_size));
  char buf[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      HostStatus status = Errno(2);
      ::close(fd);
      return status;
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return {};
}

HostStatus WriteFileAtomic(const std::string& givenPath, std::string_view bytes) {
  // A symbolic link stays a link: the file it points to is the one replaced.
  std::string path = givenPath;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      path = real;
      ::free(real);
    }
  }
  const std::string temp = path + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return Errno(kWriteCreateTemp);

  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);

  HostStatus status;
  if (!WriteAll(fd, bytes)) {
    status = Errno(kWriteBytes);
  } else if (::fsync(fd) != 0) {
    status = Errno(kWriteSync);
  }
  if (::close(fd) != 0 && status.ok) status = Errno(kWriteBytes);
  // Without a directory sync a power cut may undo the rename, which brings back
  // the complete old file: never a half one.
  if (status.ok && ::rename(temp.c_str(), path.c_str()) != 0) status = Errno(kWriteRename);
  if (!status.ok) ::unlink(temp.c_str());
  return status;
}

HostStatus AppendToExistingFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return Errno(1);
  HostStatus status;
  if (!WriteAll(fd, bytes)) status = Errno(2);
  if (::close(fd) != 0 && status.ok) status = Errno(2);
  return status;
}

HostStatus FileModifiedTime(const std::string& path, std::chrono::system_clock::time_point& out) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Errno(1);
  out = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
  return {};
}
