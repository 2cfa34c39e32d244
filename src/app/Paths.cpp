#include "app/Paths.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string DefaultProgramFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && *xdg) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : ".") + "/.config";
  }
  return WithoutTrailingSlash(base) + "/xapvynCID";
}

std::string ProgramFilePath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<std::size_t>(n));
}

std::string LocalComputerName() {
  static const std::string name = [] {
    char buf[129] = {};
    if (gethostname(buf, 128) != 0) return std::string();
    buf[128] = '\0';
    return std::string(buf);
  }();
  return name;
}
