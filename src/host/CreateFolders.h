#pragma once
// CreateFolders: creates every missing folder on a path up to, but not including,
// its last component (a file name or a placeholder); a path that ends in "/"
// creates all its folders. The root is "/": a relative path creates nothing.
// Empty pieces ("//") name no folder and are passed over.
// On failure it stops at the folder that could not be made (folders further down
// are not tried) and returns that folder's path, built so far, with the reason,
// so that the caller can log " CreateFolders " + folder.
#include <string>
#include <string_view>

struct CreateFoldersResult {
  bool ok = true;
  std::string folder;       // on failure: the folder path built so far
  std::string description;  // on failure: the system's reason

  explicit operator bool() const { return ok; }
};

CreateFoldersResult CreateFolders(std::string_view path);
