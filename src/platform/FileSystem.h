#pragma once
// Small file-system queries over POSIX.

#include <string>

class FileSystem {
  public:
    // True when the file may not be written: its owner's write permission is
    // clear, or it cannot be queried (a missing file counts as read-only). The
    // mode bits decide, not access(): root may write any file.
    static bool IsReadOnly(const std::string& path);
    static bool Exists(const std::string& path);
};
