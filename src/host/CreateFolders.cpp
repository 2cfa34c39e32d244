#include "host/CreateFolders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

CreateFoldersResult CreateFolders(std::string_view path) {
  CreateFoldersResult result;
  if (path.empty() || path.front() != '/') return result;

  // The last piece is the file name (or empty for a trailing "/"): never created.
  const std::size_t last = path.rfind('/');
  std::string built;
  std::size_t start = 1;
  while (start <= last) {
    std::size_t end = path.find('/', start);
    std::string_view piece = path.substr(start, end - start);
    start = end + 1;
    if (piece.empty()) continue;
    built += '/';
    built += piece;
    struct stat st {};
    if (::stat(built.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
    if (::mkdir(built.c_str(), 0777) != 0 && errno != EEXIST) {
      result.ok = false;
      result.folder = built;
      result.description = std::strerror(errno);
      return result;
    }
    // EEXIST after a failed stat means a non-folder holds the name.
    if (::stat(built.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      result.ok = false;
      result.folder = built;
      result.description = std::strerror(ENOTDIR);
      return result;
    }
  }
  return result;
}
