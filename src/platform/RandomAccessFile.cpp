#include "platform/RandomAccessFile.h"

#include <algorithm>
#include <cerrno>

#include "platform/FileError.h"

RandomAccessFile::~RandomAccessFile() {
    Abort();
}

void RandomAccessFile::StartOpen(const std::string& path) {
    Abort();
    m_strPath = path;
    m_inFolder.reset();
    m_nPosition = 0;
    m_bWritten = false;
}

void RandomAccessFile::CheckOpen() const {
    if (m_handle == kNoHandle) throw FileError(m_strPath, "The file is not open.");
}

void RandomAccessFile::Close() {
    if (m_handle == kNoHandle) return;
    const bool synced = SyncBeforeClose();
    const NativeHandle handle = m_handle;
    m_handle = kNoHandle;
    if (!Release(handle) || !synced) ThrowLastError();
    // An injected failure comes after the handle is gone, as a real one does.
    InjectFault(FaultInjector::Op::Close, m_strPath);
}

void RandomAccessFile::Abort() noexcept {
    if (m_handle != kNoHandle) Release(m_handle);
    m_handle = kNoHandle;
}

FileStamp RandomAccessFile::Stamp() const {
    CheckOpen();
    auto s = FileStamp::OfHandle(m_handle);
    if (!s) ThrowLastError();
    return *s;
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
        const std::size_t r = ReadAt(m_nPosition, p + done, n - done);
        if (r == 0) break;
        done += r;
        m_nPosition += r;
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
        const std::size_t w = WriteAt(m_nPosition, p + done, n - done);
        done += w;
        m_nPosition += w;
        // Counted as they land: a later call of this write may fail (a full disk)
        // and the rollback must know how far the file grew.
        if (m_nPosition > m_nLength) m_nLength = m_nPosition;
    }
}

void RandomAccessFile::SetLength(std::uint64_t length) {
    CheckOpen();
    InjectFault(FaultInjector::Op::SetLength, m_strPath);
    ResizeTo(length);
    m_nLength = length;
}

void RandomAccessFile::Flush() {
    CheckOpen();
    InjectFault(FaultInjector::Op::Flush, m_strPath);
    SyncToDisk();
}
