#include "platform/FileSystem.h"

#include <sys/stat.h>

bool FileSystem::IsReadOnly(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return true;
    return (st.st_mode & S_IWUSR) == 0;
}

bool FileSystem::Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}
