#pragma once
// The system's side of listing a folder, for FileSystem.cpp alone.

#include <string>
#include <vector>

namespace native {
// Every name in `folder` but "." and "..", in the system's order. Throws
// FileError when the folder cannot be read, also when a read fails partway.
std::vector<std::string> FolderNames(const std::string& folder);
}  // namespace native
