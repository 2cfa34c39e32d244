#pragma once
// Small file helpers of the host services (POSIX). Every failure comes back as a
// HostStatus whose description is the system's reason.
//  - ReadWholeFile: the whole file as bytes.
//  - WriteFileAtomic: replaces a file so that a failure at any point leaves the old
//    file untouched: the bytes go to path + ".tmp" in the same folder, are flushed
//    to disk, and the temporary file is then renamed over the path. An existing
//    file keeps its permission bits; a path that is a symbolic link replaces the
//    file the link points to and the link stays. On failure the temporary file is removed and
//    the location is one of the kWrite* steps.
//  - AppendToExistingFile: appends to a file that must already exist.
//  - FileModifiedTime: last-modified time of a file.
#include <chrono>
#include <string>
#include <string_view>

#include "host/HostHooks.h"

inline constexpr int kWriteCreateTemp = 2;
inline constexpr int kWriteBytes = 3;
inline constexpr int kWriteSync = 4;
inline constexpr int kWriteRename = 5;

HostStatus ReadWholeFile(const std::string& path, std::string& out);
HostStatus WriteFileAtomic(const std::string& path, std::string_view bytes);
HostStatus AppendToExistingFile(const std::string& path, std::string_view bytes);
HostStatus FileModifiedTime(const std::string& path, std::chrono::system_clock::time_point& out);
