#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/FileError.h"
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

bool FileSystem::IsReadOnly(const std::string& path) {
    auto a = GetAttributes(path);
    return !a || a->readOnly;
}

bool FileSystem::Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
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

std::string FileSystem::DisplayName(const std::string& path) {
    return fs::path(path).filename().string();
}

std::string FileSystem::FolderOf(const std::string& path) {
    fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

std::string FileSystem::ExtensionOf(const std::string& path) {
    // From the last period of the name on, as the system splits a path: a name
    // that is only an extension (".tkv") has that extension, not none.
    const std::string name = fs::path(path).filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || name == "." || name == "..") return {};
    return name.substr(dot);
}

bool FileSystem::SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
    return fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal();
}

namespace {
bool EndsWithIgnoringCase(const std::string& name, const std::string& ending) {
    if (ending.size() > name.size()) return false;
    return std::equal(ending.begin(), ending.end(),
                      name.end() - static_cast<std::ptrdiff_t>(ending.size()), [](char x, char y) {
                          auto fold = [](char c) {
                              return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
                          };
                          return fold(x) == fold(y);
                      });
}
}  // namespace

namespace {
const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a regular file";
}
}  // namespace

std::vector<FileSystem::FolderEntry> FileSystem::ListFiles(const std::string& folder,
                                                           const std::string& extension,
                                                           std::vector<LeftOut>* leftOut) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) throw FileError::FromErrno(folder, errno);
    std::error_code ec;
    const fs::path realFolder = fs::canonical(folder, ec);
    std::vector<FolderEntry> out;
    for (;;) {
        errno = 0;
        dirent* e = ::readdir(dir);
        if (!e) {
            int err = errno;
            ::closedir(dir);
            if (err != 0) throw FileError::FromErrno(folder, err);
            break;
        }
        std::string name = e->d_name;
        if (name == "." || name == ".." || !EndsWithIgnoringCase(name, extension)) continue;
        // Rewrite journals and their temporaries are never sample files.
        if (name.rfind(".tkvjournal-", 0) == 0 || name.rfind(".tkvjtmp-", 0) == 0) continue;
        const std::string full = (fs::path(folder) / name).string();
        struct stat lst {};
        if (::lstat(full.c_str(), &lst) != 0) continue;
        struct stat st = lst;
        auto leave = [&](std::string reason) {
            if (leftOut) leftOut->push_back({name, std::move(reason)});
        };
        if (S_ISLNK(lst.st_mode)) {
            // A link is followed only when it stays in the folder.
            fs::path target = fs::canonical(full, ec);
            if (ec || ::stat(full.c_str(), &st) != 0) {
                leave("a link to nothing");
                continue;
            }
            if (target.parent_path() != realFolder) {
                leave("a link that leads out of the folder");
                continue;
            }
        }
        if (!S_ISREG(st.st_mode)) {  // folders, FIFOs and the like
            leave(KindOf(st.st_mode));
            continue;
        }
        // A link is opened by the name of the file it leads to (in this folder).
        const std::string openName =
            S_ISLNK(lst.st_mode) ? fs::canonical(full, ec).filename().string() : name;
        if (ec) {
            leave("a link to nothing");
            continue;
        }
        if (openName.rfind(".tkvjournal-", 0) == 0 || openName.rfind(".tkvjtmp-", 0) == 0) {
            leave("a link to a rewrite journal");
            continue;
        }
        // Through a link, only a file the folder-wide edit would take by its own
        // name is written: never one with another extension (a .pkv behind a .tkv).
        if (!EndsWithIgnoringCase(openName, extension)) {
            leave("a link to a file with another extension");
            continue;
        }
        out.push_back({full, name, (st.st_mode & S_IWUSR) == 0,
                       static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                       S_ISLNK(lst.st_mode), openName});
    }
    std::sort(out.begin(), out.end(),
              [](const FolderEntry& x, const FolderEntry& y) { return x.name < y.name; });
    if (leftOut)
        std::sort(leftOut->begin(), leftOut->end(),
                  [](const LeftOut& x, const LeftOut& y) { return x.name < y.name; });
    return out;
}

FileSystem::Folder::Folder(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) throw FileError::FromErrno(path, errno);
}

FileSystem::Folder::~Folder() {
    ::close(m_fd);
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

bool FileSystem::IsTrusted(const struct stat& st) {
    const uid_t me = ::geteuid();
    return (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && st.st_nlink == 1)) &&
           (st.st_uid == me || st.st_uid == 0) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

namespace {

// `path` and every folder above it, as IsPrivateFolder describes, without
// following links (each link's target is checked by the walk of the real path).
bool PathIsPrivate(const fs::path& path) {
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

}  // namespace

bool FileSystem::IsPrivateFolder(const std::string& folder) {
    std::error_code ec;
    const fs::path real = fs::canonical(folder, ec);
    if (ec) return false;
    fs::path absolute = fs::absolute(folder, ec).lexically_normal();
    if (ec) return false;
    if (!absolute.has_filename() && absolute.has_relative_path()) absolute = absolute.parent_path();
    return PathIsPrivate(absolute) && PathIsPrivate(real);
}

std::string FileSystem::Absolute(const std::string& path) {
    std::error_code ec;
    return fs::absolute(path, ec).lexically_normal().string();
}

std::string FileSystem::RealPath(const std::string& path) {
    std::error_code ec;
    auto real = fs::canonical(path, ec);
    return ec ? Absolute(path) : real.string();
}

std::vector<std::string> FileSystem::ListNames(const std::string& folder) {
    RandomAccessFile::InjectFault(RandomAccessFile::FaultInjector::Op::List, folder);
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
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> FileSystem::NamesStartingWith(const std::string& folder,
                                                       const std::string& prefix) {
    std::vector<std::string> names;
    try {
        for (std::string& name : ListNames(folder))
            if (name.rfind(prefix, 0) == 0) names.push_back(std::move(name));
    } catch (const FileError&) {
        names.clear();
    }
    return names;
}

std::optional<std::string> FileSystem::ReadSmallFile(const std::string& path,
                                                     std::size_t maxBytes) {
    try {
        RandomAccessFile file(path, RandomAccessFile::Mode::Read);
        const auto length = file.Length();
        if (length > maxBytes) return std::nullopt;
        std::string text(static_cast<std::size_t>(length), '\0');
        if (file.Read(text.data(), text.size()) != text.size()) return std::nullopt;
        return text;
    } catch (const FileError&) {
        return std::nullopt;
    }
}
