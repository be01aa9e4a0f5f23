#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
    return fs::path(path).extension().string();
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
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw FileError(folder, ec.message(), ec.value());
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

std::vector<std::string> FileSystem::NamesStartingWith(const std::string& folder,
                                                       const std::string& prefix) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
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
