// FileSystem's POSIX side: mode bits and owners, descriptors, dirent.
#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/FileError.h"
#include "platform/NativeList.h"
#include "platform/RandomAccessFile.h"

namespace fs = std::filesystem;

std::optional<FileSystem::Attributes> FileSystem::GetAttributes(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    Attributes a;
    a.readOnly = (st.st_mode & S_IWUSR) == 0;
    a.directory = S_ISDIR(st.st_mode);
    return a;
}

void FileSystem::ClearReadOnly(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw FileError::FromErrno(path, errno);
    if (::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0)
        throw FileError::FromErrno(path, errno);
}

bool FileSystem::CopyFileNoOverwrite(const std::string& from, const std::string& to) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buf + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    if (ok) RandomAccessFile::InjectFault(RandomAccessFile::FaultInjector::Op::Flush, to);
    if (ok && ::fsync(out) != 0) ok = false;
    ::close(in);
    if (::close(out) != 0) ok = false;
    if (!ok) ::unlink(to.c_str());
    return ok;
}

std::vector<std::string> native::FolderNames(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) throw FileError::FromErrno(folder, errno);
    std::vector<std::string> names;
    for (;;) {
        errno = 0;  // readdir's end and its failure look alike but for errno
        const dirent* e = ::readdir(dir);
        if (!e) break;
        std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    const int e = errno;
    ::closedir(dir);
    if (e != 0) throw FileError::FromErrno(folder, e);
    return names;
}

FileSystem::Folder::Folder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw FileError::FromErrno(path, errno);
    m_handle = fd;
}

FileSystem::Folder::~Folder() {
    ::close(static_cast<int>(m_handle));
}

void FileSystem::FlushFolder(const std::string& folder) {
    RandomAccessFile::InjectFault(RandomAccessFile::FaultInjector::Op::Flush, folder);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw FileError::FromErrno(folder, errno);
    int r = ::fsync(fd);
    int e = errno;
    ::close(fd);
    if (r != 0) throw FileError::FromErrno(folder, e);
}

void FileSystem::FlushFileSystem(const std::string& path) {
    RandomAccessFile::InjectFault(RandomAccessFile::FaultInjector::Op::Flush, path);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw FileError::FromErrno(path, errno);
#ifdef __linux__
    int r = ::syncfs(fd);
#else
    int r = ::fsync(fd);
#endif
    int e = errno;
    ::close(fd);
    if (r != 0) throw FileError::FromErrno(path, e);
}

void FileSystem::RemoveFile(const std::string& path) {
    RandomAccessFile::InjectFault(RandomAccessFile::FaultInjector::Op::Remove, path);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw FileError::FromErrno(path, errno);
}

void FileSystem::RemoveQuietly(const std::string& path) noexcept {
    ::unlink(path.c_str());
}

void FileSystem::Rename(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) throw FileError::FromErrno(to, errno);
}

void FileSystem::MakeFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0) throw FileError::FromErrno(folder, errno);
}

void FileSystem::CreateFolders(const std::string& folder) {
    if (folder.empty()) throw FileError::FromErrno(folder, ENOENT);
    fs::path at;
    for (const fs::path& part : fs::path(folder).lexically_normal()) {
        at /= part;
        if (part.empty()) continue;  // after a trailing separator
        if (::mkdir(at.c_str(), 0700) != 0 && errno != EEXIST)
            throw FileError::FromErrno(at.string(), errno);
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) throw FileError::FromErrno(folder, errno);
    if (!S_ISDIR(st.st_mode)) throw FileError::FromErrno(folder, ENOTDIR);
}

bool FileSystem::MakeOwnFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

std::optional<std::string> FileSystem::StateFolder() {
    // A relative XDG_STATE_HOME is no place at all (it would follow the current folder).
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/tkv-editor";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/state/tkv-editor";
    return std::nullopt;
}

FileSystem::Look FileSystem::LookAt(const std::string& path, bool followLinks) {
    struct stat st {};
    Look look;
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) {
        look.error = errno;
        return look;
    }
    using Kind = Look::Kind;
    look.kind = S_ISREG(st.st_mode)                          ? Kind::File
                : S_ISDIR(st.st_mode)                        ? Kind::Folder
                : S_ISLNK(st.st_mode)                        ? Kind::Link
                : S_ISFIFO(st.st_mode)                       ? Kind::Fifo
                : S_ISSOCK(st.st_mode)                       ? Kind::Socket
                : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? Kind::Device
                                                             : Kind::Other;
    look.device = static_cast<std::uint64_t>(st.st_dev);
    look.inode = static_cast<std::uint64_t>(st.st_ino);
    look.readOnly = (st.st_mode & S_IWUSR) == 0;
    const uid_t me = ::geteuid();
    look.mine = st.st_uid == me;
    look.trusted = (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && st.st_nlink == 1)) &&
                   (st.st_uid == me || st.st_uid == 0) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    return look;
}

bool native::PathIsPrivate(const fs::path& path) {
    const uid_t me = ::geteuid();
    fs::path at = path;
    for (bool first = true;; first = false) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || (st.st_uid != me && st.st_uid != 0)) return false;
        if (!S_ISLNK(st.st_mode)) {
            if (!S_ISDIR(st.st_mode)) return false;
            // The entry below a shared sticky folder is the user's or root's (checked
            // in the step before), so nobody else can rename or remove it.
            if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (first || !(st.st_mode & S_ISVTX)))
                return false;
        }
        if (!at.has_relative_path()) return true;  // the root
        at = at.parent_path();
    }
}

long FileSystem::ProcessId() {
    return static_cast<long>(::getpid());
}

bool FileSystem::ProcessGone(long id) {
    return id > 0 && ::kill(static_cast<pid_t>(id), 0) != 0 && errno == ESRCH;
}

std::size_t FileSystem::OpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = std::min<rlim_t>(limit.rlim_max, 65536);
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return static_cast<std::size_t>(std::min<rlim_t>(limit.rlim_cur, 1u << 20));
}
