#include "platform/RandomAccessFile.h"

#include <algorithm>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <limits>
#include <thread>

#include "platform/FileError.h"

RandomAccessFile::~RandomAccessFile() {
    Abort();
}

void RandomAccessFile::ThrowErrno(int errorNumber) const {
    throw FileError::FromErrno(m_strPath, errorNumber);
}

void RandomAccessFile::CheckOpen() const {
    if (m_fd < 0) throw FileError(m_strPath, "The file is not open.");
}

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

std::optional<FileStamp> FileStamp::OfDescriptor(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
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
    auto s = OfDescriptor(fd);
    ::close(fd);
    return s;
}

FileStamp RandomAccessFile::Stamp() const {
    CheckOpen();
    auto s = FileStamp::OfDescriptor(m_fd);
    if (!s) ThrowErrno(errno);
    return *s;
}

void RandomAccessFile::OpenInFolder(int folder, const std::string& name, const std::string& path,
                                    Mode mode, const Options& options) {
    Abort();
    m_strPath = path;
    m_inFolder.reset();
    m_nPosition = 0;
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
    int fd = ::openat(folder >= 0 ? folder : AT_FDCWD, name.c_str(), flags, permissions);
    if (fd < 0) ThrowErrno(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int e = errno;
        ::close(fd);
        ThrowErrno(e);
    }
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
            ThrowErrno(e);
        }
        if (mode == Mode::Create && ::ftruncate(fd, 0) != 0) {
            int e = errno;
            ::close(fd);
            ThrowErrno(e);
        }
        // The length as the last writer left it: another writer may have rewritten
        // the file while this one waited for the lock.
        if (::fstat(fd, &st) != 0) {
            int e = errno;
            ::close(fd);
            ThrowErrno(e);
        }
    }
    if (folder >= 0) {
        struct stat fst {};
        if (::fstat(folder, &fst) != 0) {
            int e = errno;
            ::close(fd);
            ThrowErrno(e);
        }
        m_inFolder = InFolder{name, static_cast<std::uint64_t>(fst.st_dev),
                              static_cast<std::uint64_t>(fst.st_ino)};
    }
    // O_NONBLOCK stays set: it changes nothing for a regular file.
    m_nLength = static_cast<std::uint64_t>(st.st_size);
    m_fd = fd;
}

void RandomAccessFile::Close() {
    if (m_fd < 0) return;
    int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) ThrowErrno(errno);
    // An injected failure comes after the descriptor is gone, as a real one does.
    InjectFault(FaultInjector::Op::Close, m_strPath);
}

void RandomAccessFile::Abort() noexcept {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

std::uint64_t RandomAccessFile::Length() {
    CheckOpen();
    return m_nLength;
}

void RandomAccessFile::SeekFromEnd(std::uint64_t distance) {
    std::uint64_t length = Length();
    if (distance > length)
        throw FileError(m_strPath,
                        "An attempt was made to move the file pointer before the beginning of the "
                        "file.",
                        EINVAL);
    m_nPosition = length - distance;
}

std::size_t RandomAccessFile::Read(void* buffer, std::size_t n) {
    CheckOpen();
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        if (m_nPosition > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) break;
        ssize_t r = ::pread(m_fd, p + done, n - done, static_cast<off_t>(m_nPosition));
        if (r < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(errno);
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
        m_nPosition += static_cast<std::uint64_t>(r);
    }
    return done;
}

void RandomAccessFile::ReadExact(void* buffer, std::size_t n) {
    if (Read(buffer, n) != n)
        throw FileError(m_strPath, "An attempt was made to read past the end of the file.");
}

void RandomAccessFile::Write(const void* buffer, std::size_t n) {
    CheckOpen();
    InjectFault(FaultInjector::Op::Write, m_strPath);
    const auto* p = static_cast<const unsigned char*>(buffer);
    const std::size_t whole = n;
    if (s_pFaults) n = std::min(n, s_pFaults->TornWriteLength(m_nPosition, n));
    std::size_t done = 0;
    while (done < whole) {
        if (done == n) {
            // A torn write: the call for the rest fails, as a full disk's does.
            s_pFaults->AfterTornWrite(m_strPath);
            break;
        }
        ssize_t r = ::pwrite(m_fd, p + done, n - done, static_cast<off_t>(m_nPosition));
        if (r < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(errno);
        }
        if (r == 0) ThrowErrno(ENOSPC);
        done += static_cast<std::size_t>(r);
        m_nPosition += static_cast<std::uint64_t>(r);
        // Counted as they land: a later call of this write may fail (a full disk)
        // and the rollback must know how far the file grew.
        if (m_nPosition > m_nLength) m_nLength = m_nPosition;
    }
}

void RandomAccessFile::SetLength(std::uint64_t length) {
    CheckOpen();
    InjectFault(FaultInjector::Op::SetLength, m_strPath);
    if (::ftruncate(m_fd, static_cast<off_t>(length)) != 0) ThrowErrno(errno);
    m_nLength = length;
}

void RandomAccessFile::Flush() {
    CheckOpen();
    InjectFault(FaultInjector::Op::Flush, m_strPath);
    if (::fsync(m_fd) != 0) ThrowErrno(errno);
}
