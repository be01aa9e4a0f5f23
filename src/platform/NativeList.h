#pragma once
// The system's side of listing a folder and of judging one private, for
// FileSystem.cpp alone.

#include <filesystem>
#include <string>
#include <vector>

namespace native {
// Every name in `folder` but "." and "..", in the system's order. Throws
// FileError when the folder cannot be read, also when a read fails partway.
std::vector<std::string> FolderNames(const std::string& folder);
// `path` and every folder above it, as IsPrivateFolder describes, without
// following links (each link's target is checked by the walk of the real path).
bool PathIsPrivate(const std::filesystem::path& path);
}  // namespace native
