// RandomAccessFile over Win32 handles. Files are opened in binary, shared for
// reading, writing and deletion (so that a journal can be renamed and removed
// while it is open, as on POSIX); reads and writes name their offset. The
// writers' lock is a byte range far past the end of the file, so it keeps out
// other writers and never a reader.
#include "platform/RandomAccessFile.h"

#include <winternl.h>

#include <cerrno>
#include <chrono>
#include <limits>
#include <thread>

#include "platform/FileError.h"
#include "platform/win32/Win32.h"

namespace {

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Where the writers' lock lies: the last byte a file could ever have.
constexpr DWORD kLockHigh = 0x7FFFFFFF;
constexpr DWORD kLockLow = 0xFFFFFFFE;

bool TryLock(HANDLE h) {
    OVERLAPPED at{};
    at.Offset = kLockLow;
    at.OffsetHigh = kLockHigh;
    return ::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

// Takes the exclusive lock, waiting up to the lock wait for another writer to let
// go; false (and the last error set) when it is still held then.
bool LockExclusive(HANDLE h, bool wait, int waitMs,
                   const std::function<void(const std::string&)>& notice, const std::string& path) {
    if (TryLock(h)) return true;
    if (::GetLastError() != ERROR_LOCK_VIOLATION || !wait || waitMs <= 0) return false;
    if (notice) notice(path);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (TryLock(h)) return true;
        if (::GetLastError() != ERROR_LOCK_VIOLATION) return false;
    }
    ::SetLastError(ERROR_LOCK_VIOLATION);
    return false;
}

std::int64_t Nanoseconds(LARGE_INTEGER t) {
    return t.QuadPart * 100;  // 100 ns steps since 1601
}

// Opens `name` in the open folder `folder` (NtCreateFile with a root folder, as
// openat does), or `name` as a path when there is none.
HANDLE OpenFile(std::intptr_t folder, const std::string& name, DWORD access, DWORD disposition,
                bool followLinks) {
    if (folder == RandomAccessFile::kNoHandle)
        return ::CreateFileW(
            win32::Wide(name).c_str(), access,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
            FILE_ATTRIBUTE_NORMAL | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    std::wstring wide = win32::Wide(name);
    UNICODE_STRING text;
    text.Buffer = wide.data();
    text.Length = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof attributes;
    attributes.RootDirectory = AsHandle(folder);
    attributes.ObjectName = &text;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    IO_STATUS_BLOCK status{};
    ULONG ntDisposition = 1;                            // FILE_OPEN
    if (disposition == CREATE_NEW) ntDisposition = 2;   // FILE_CREATE
    if (disposition == OPEN_ALWAYS) ntDisposition = 3;  // FILE_OPEN_IF
    ULONG options = 0x40 | 0x20;                        // non-directory, synchronous I/O
    if (!followLinks) options |= 0x00200000;            // FILE_OPEN_REPARSE_POINT
    HANDLE h = INVALID_HANDLE_VALUE;
    const NTSTATUS r = ::NtCreateFile(&h, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes,
                                      &status, nullptr, FILE_ATTRIBUTE_NORMAL,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      ntDisposition, options, nullptr, 0);
    if (r < 0) {
        ::SetLastError(::RtlNtStatusToDosError(r));
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

}  // namespace

void RandomAccessFile::ThrowLastError() const {
    throw win32::ErrorOf(m_strPath, ::GetLastError());
}

bool RandomAccessFile::Release(NativeHandle handle) {
    return ::CloseHandle(AsHandle(handle)) != 0;
}

std::optional<FileStamp> FileStamp::OfHandle(std::intptr_t handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandle(AsHandle(handle), &info) ||
        !::GetFileInformationByHandleEx(AsHandle(handle), FileBasicInfo, &basic, sizeof basic))
        return std::nullopt;
    FileStamp s;
    s.device = info.dwVolumeSerialNumber;
    s.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    s.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    s.modifiedNs = Nanoseconds(basic.LastWriteTime);
    s.changedNs = Nanoseconds(basic.ChangeTime);
    return s;
}

std::optional<FileStamp> FileStamp::Of(const std::string& path) {
    HANDLE h = ::CreateFileW(win32::Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    auto s = OfHandle(reinterpret_cast<std::intptr_t>(h));
    ::CloseHandle(h);
    return s;
}

void RandomAccessFile::OpenInFolder(NativeHandle folder, const std::string& name,
                                    const std::string& path, Mode mode, const Options& options) {
    StartOpen(path);
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    switch (mode) {
        case Mode::Read:
            access = GENERIC_READ;
            break;
        case Mode::ReadWrite:
            break;
        case Mode::Create:
            disposition = OPEN_ALWAYS;  // emptied once locked
            break;
        case Mode::CreateNew:
            disposition = CREATE_NEW;
            break;
    }
    if (mode == Mode::CreateNew) InjectFault(FaultInjector::Op::Create, path);
    if (mode == Mode::ReadWrite || mode == Mode::Create)
        InjectFault(FaultInjector::Op::OpenForWriting, path);
    HANDLE h = OpenFile(folder, name, access, disposition, options.followLinks);
    if (h == INVALID_HANDLE_VALUE) ThrowLastError();
    auto fail = [&](DWORD code) {
        ::CloseHandle(h);
        throw win32::ErrorOf(path, code);
    };
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info)) fail(::GetLastError());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        ::CloseHandle(h);
        throw FileError(path, "It is a folder, not a file.");
    }
    if (!options.followLinks && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        ::CloseHandle(h);
        throw FileError(path, "It is a link, which is not followed here.", ELOOP);
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        throw FileError(path, "It is not a regular file.");
    }
    if (mode != Mode::Read) {
        if (!LockExclusive(h, options.waitForLock, s_nLockWaitMs, s_lockWaitNotice, path)) {
            const DWORD e = ::GetLastError();
            ::CloseHandle(h);
            if (e == ERROR_LOCK_VIOLATION) throw FileError(path, kBusyCause, EWOULDBLOCK);
            throw win32::ErrorOf(path, e);
        }
        if (mode == Mode::Create) {
            FILE_END_OF_FILE_INFO end{};
            if (!::SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end))
                fail(::GetLastError());
        }
        // The length as the last writer left it: another writer may have rewritten
        // the file while this one waited for the lock.
        if (!::GetFileInformationByHandle(h, &info)) fail(::GetLastError());
    }
    if (folder != kNoHandle) {
        BY_HANDLE_FILE_INFORMATION place{};
        if (!::GetFileInformationByHandle(AsHandle(folder), &place)) fail(::GetLastError());
        m_inFolder = InFolder{
            name, place.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(place.nFileIndexHigh) << 32) | place.nFileIndexLow};
    }
    m_nLength = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    m_handle = reinterpret_cast<NativeHandle>(h);
}

std::size_t RandomAccessFile::ReadAt(std::uint64_t position, void* buffer, std::size_t n) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD got = 0;
    const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
    if (!::ReadFile(AsHandle(m_handle), buffer, ask, &got, &at)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
        ThrowLastError();
    }
    return got;
}

std::size_t RandomAccessFile::WriteAt(std::uint64_t position, const void* buffer, std::size_t n) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD put = 0;
    const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
    m_bWritten = true;
    if (!::WriteFile(AsHandle(m_handle), buffer, ask, &put, &at)) ThrowLastError();
    if (put == 0) throw win32::ErrorOf(m_strPath, ERROR_DISK_FULL);
    return put;
}

void RandomAccessFile::ResizeTo(std::uint64_t length) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    m_bWritten = true;
    if (!::SetFileInformationByHandle(AsHandle(m_handle), FileEndOfFileInfo, &end, sizeof end))
        ThrowLastError();
}

void RandomAccessFile::SyncToDisk() {
    if (!::FlushFileBuffers(AsHandle(m_handle))) ThrowLastError();
    m_bWritten = false;
}

bool RandomAccessFile::SyncBeforeClose() {
    // No user may flush a whole volume on Windows (FileSystem::FlushFileSystem):
    // each written file goes to the disk as it is closed instead.
    return !m_bWritten || ::FlushFileBuffers(AsHandle(m_handle)) != 0;
}
