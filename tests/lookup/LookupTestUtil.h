#pragma once
// Helpers for the caller-identification tests: a unique temporary folder per test,
// whole-file write and read, folder listings and a recorder for the log hooks.
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/HostHooks.h"

class LookupTempDir {
 public:
  LookupTempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "lookup_test_XXXXXX").string();
    if (mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
  }
  ~LookupTempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  LookupTempDir(const LookupTempDir&) = delete;
  LookupTempDir& operator=(const LookupTempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in a folder, sorted.
inline std::vector<std::string> FileNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(folder, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Collects every log line as "text" or "text|location|description".
struct LogRecorder {
  std::vector<std::string> lines;
  HostHooks Hooks() {
    HostHooks h;
    h.setError = [this](int location, const std::string& d) {
      pending = "|" + std::to_string(location) + "|" + d;
    };
    h.logEvent = [this](const std::string& type, const std::string& text) {
      lines.push_back(type + ": " + text + pending);
      pending.clear();
    };
    return h;
  }
  std::string pending;
};
