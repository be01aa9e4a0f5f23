// RandomAccessFile over POSIX descriptors: flock for the writers' lock, pread
// and pwrite at the object's own position.
#include "platform/RandomAccessFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <limits>
#include <thread>

#include "platform/FileError.h"

namespace {
// Takes the exclusive lock, waiting up to the lock wait for another writer to let
// go; false when it is still held then.
bool LockExclusive(int fd, bool wait, int waitMs,
                   const std::function<void(const std::string&)>& notice, const std::string& path) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK || !wait || waitMs <= 0) return false;
    if (notice) notice(path);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK) return false;
    }
    errno = EWOULDBLOCK;
    return false;
}
}  // namespace

void RandomAccessFile::ThrowLastError() const {
    throw FileError::FromErrno(m_strPath, errno);
}

bool RandomAccessFile::Release(NativeHandle handle) {
    return ::close(static_cast<int>(handle)) == 0;
}

std::optional<FileStamp> FileStamp::OfHandle(std::intptr_t handle) {
    struct stat st {};
    if (::fstat(static_cast<int>(handle), &st) != 0) return std::nullopt;
    FileStamp s;
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.changedNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return s;
}

std::optional<FileStamp> FileStamp::Of(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    auto s = OfHandle(fd);
    ::close(fd);
    return s;
}

void RandomAccessFile::OpenInFolder(NativeHandle folder, const std::string& name,
                                    const std::string& path, Mode mode, const Options& options) {
    StartOpen(path);
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;  // non-blocking: a FIFO must not hang the open
    if (!options.followLinks) flags |= O_NOFOLLOW;
    switch (mode) {
        case Mode::Read:
            flags |= O_RDONLY;
            break;
        case Mode::ReadWrite:
            flags |= O_RDWR;
            break;
        case Mode::Create:
            flags |= O_RDWR | O_CREAT;  // emptied once locked
            break;
        case Mode::CreateNew:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
    }
    // Files this program creates (journals, new sample files) are the user's
    // alone to write; the umask narrows them further.
    if (mode == Mode::CreateNew) InjectFault(FaultInjector::Op::Create, path);
    if (mode == Mode::ReadWrite || mode == Mode::Create)
        InjectFault(FaultInjector::Op::OpenForWriting, path);
    const mode_t permissions = mode == Mode::CreateNew ? 0600 : 0666;
    const int dirFd = folder != kNoHandle ? static_cast<int>(folder) : AT_FDCWD;
    int fd = ::openat(dirFd, name.c_str(), flags, permissions);
    if (fd < 0) ThrowLastError();
    auto fail = [&](int e) {
        ::close(fd);
        throw FileError::FromErrno(path, e);
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) fail(errno);
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw FileError(path, S_ISDIR(st.st_mode) ? "It is a folder, not a file."
                                                  : "It is not a regular file.");
    }
    if (mode != Mode::Read) {
        if (!LockExclusive(fd, options.waitForLock, s_nLockWaitMs, s_lockWaitNotice, path)) {
            int e = errno;
            ::close(fd);
            if (e == EWOULDBLOCK) throw FileError(path, kBusyCause, e);
            throw FileError::FromErrno(path, e);
        }
        if (mode == Mode::Create && ::ftruncate(fd, 0) != 0) fail(errno);
        // The length as the last writer left it: another writer may have rewritten
        // the file while this one waited for the lock.
        if (::fstat(fd, &st) != 0) fail(errno);
    }
    if (folder != kNoHandle) {
        struct stat fst {};
        if (::fstat(dirFd, &fst) != 0) fail(errno);
        m_inFolder = InFolder{name, static_cast<std::uint64_t>(fst.st_dev),
                              static_cast<std::uint64_t>(fst.st_ino)};
    }
    // O_NONBLOCK stays set: it changes nothing for a regular file.
    m_nLength = static_cast<std::uint64_t>(st.st_size);
    m_handle = fd;
}

std::size_t RandomAccessFile::ReadAt(std::uint64_t position, void* buffer, std::size_t n) {
    if (position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return 0;
    for (;;) {
        ssize_t r = ::pread(static_cast<int>(m_handle), buffer, n, static_cast<off_t>(position));
        if (r >= 0) return static_cast<std::size_t>(r);
        if (errno != EINTR) ThrowLastError();
    }
}

std::size_t RandomAccessFile::WriteAt(std::uint64_t position, const void* buffer, std::size_t n) {
    for (;;) {
        ssize_t r = ::pwrite(static_cast<int>(m_handle), buffer, n, static_cast<off_t>(position));
        if (r > 0) return static_cast<std::size_t>(r);
        if (r == 0) throw FileError::FromErrno(m_strPath, ENOSPC);
        if (errno != EINTR) ThrowLastError();
    }
}

void RandomAccessFile::ResizeTo(std::uint64_t length) {
    if (::ftruncate(static_cast<int>(m_handle), static_cast<off_t>(length)) != 0) ThrowLastError();
}

void RandomAccessFile::SyncToDisk() {
    if (::fsync(static_cast<int>(m_handle)) != 0) ThrowLastError();
}

bool RandomAccessFile::SyncBeforeClose() {
    return true;  // what is written reaches the disk with a flush (or syncfs) of its own
}
