#pragma once
// Helpers for the host tests: a unique temporary folder per test (removed again,
// read-only folders included), whole-file read and write, and a recorder for the
// injected log sinks.
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/HostHooks.h"

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "host_test_XXXXXX").string();
    if (mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (path_.empty()) return;
    // Give every folder its write permission back so that removal succeeds.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      if (it->is_directory(ec)) ::chmod(it->path().c_str(), 0755);
    ::chmod(path_.c_str(), 0755);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

inline std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Records what the host code reports through its hooks.
struct Reports {
  std::vector<std::pair<std::string, std::string>> events;  // type, text
  std::vector<std::pair<int, std::string>> errors;          // location, description

  HostHooks Hooks() {
    HostHooks h;
    h.logEvent = [this](const std::string& type, const std::string& text) {
      events.emplace_back(type, text);
    };
    h.setError = [this](int location, const std::string& description) {
      errors.emplace_back(location, description);
    };
    return h;
  }
};
