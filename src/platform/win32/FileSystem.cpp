// FileSystem's Win32 side: attributes, the volume serial number and file index
// as a file's identity, owners and access lists in place of mode bits, reparse
// points as links, FindFirstFileExW for listing.
#include "platform/FileSystem.h"

#include <aclapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/FileError.h"
#include "platform/NativeList.h"
#include "platform/PathText.h"
#include "platform/RandomAccessFile.h"
#include "platform/win32/Win32.h"

namespace fs = std::filesystem;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Rights that change a file or what a folder holds.
constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                               FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                               WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
// What others may do in a folder above a private one: add entries, which they
// then own, but neither rename nor remove those of others (as with /tmp).
constexpr DWORD kAddRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;

class Handle {
  public:
    explicit Handle(HANDLE h) : m_h(h) {}
    ~Handle() {
        if (m_h != INVALID_HANDLE_VALUE) ::CloseHandle(m_h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_h; }
    bool ok() const { return m_h != INVALID_HANDLE_VALUE; }

  private:
    HANDLE m_h;
};

bool IsMe(PSID sid) {
    const auto& me = win32::CurrentUser();
    return !me.empty() && ::EqualSid(sid, const_cast<BYTE*>(me.data()));
}

// The user, the system or the Administrators: who may change anything anyway.
bool IsTrustedOwner(PSID sid) {
    return IsMe(sid) || ::IsWellKnownSid(sid, WinLocalSystemSid) ||
           ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

struct Security {
    bool read = false;  // the owner and access list could be read
    bool mine = false;  // the user owns it
    bool ownerTrusted = false;
    DWORD othersMay = 0;  // the rights the access list grants anyone else
};

Security SecurityOf(HANDLE h) {
    Security out;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                          &owner, nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return out;
    out.read = true;
    out.mine = owner && IsMe(owner);
    out.ownerTrusted = owner && IsTrustedOwner(owner);
    if (!dacl) {
        out.othersMay = ~DWORD{0};  // no access list: everybody may do everything
    } else {
        for (DWORD k = 0; k < dacl->AceCount; ++k) {
            void* ace = nullptr;
            if (!::GetAce(dacl, k, &ace)) continue;
            const auto* header = static_cast<ACE_HEADER*>(ace);
            if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
                continue;
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            const PSID who = reinterpret_cast<PSID>(&allowed->SidStart);
            if (IsTrustedOwner(who) || ::IsWellKnownSid(who, WinCreatorOwnerSid)) continue;
            out.othersMay |= allowed->Mask;
        }
    }
    ::LocalFree(sd);
    return out;
}

HANDLE OpenToLook(const std::string& path, bool followLinks) {
    return ::CreateFileW(
        win32::Wide(path).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
        OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

}  // namespace

std::optional<FileSystem::Attributes> FileSystem::GetAttributes(const std::string& path) {
    const DWORD a = ::GetFileAttributesW(win32::Wide(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    Attributes out;
    out.readOnly = (a & FILE_ATTRIBUTE_READONLY) != 0;
    out.directory = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return out;
}

void FileSystem::ClearReadOnly(const std::string& path) {
    const std::wstring wide = win32::Wide(path);
    const DWORD a = ::GetFileAttributesW(wide.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) throw win32::ErrorOf(path, ::GetLastError());
    DWORD cleared = a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (cleared == 0) cleared = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileAttributesW(wide.c_str(), cleared)) throw win32::ErrorOf(path, ::GetLastError());
}

bool FileSystem::CopyFileNoOverwrite(const std::string& from, const std::string& to) {
    const auto source = GetAttributes(from);
    if (!source || source->directory) return false;
    const std::wstring target = win32::Wide(to);
    if (!::CopyFileW(win32::Wide(from).c_str(), target.c_str(), TRUE)) return false;
    RandomAccessFile::InjectFault(RandomAccessFile::FaultInjector::Op::Flush, to);
    Handle h(::CreateFileW(target.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    // A copy of a read-only file cannot be opened to flush it: CopyFileW wrote it
    // through the cache like any other, and the check below is all there is.
    if (h.ok() ? ::FlushFileBuffers(h.get()) != 0 : ::GetLastError() == ERROR_ACCESS_DENIED)
        return true;
    ::DeleteFileW(target.c_str());
    return false;
}

std::vector<std::string> native::FolderNames(const std::string& folder) {
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = win32::Wide(folder) + L"\\*";
    HANDLE h = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                  nullptr, FIND_FIRST_EX_LARGE_FETCH);
    std::vector<std::string> names;
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_FILE_NOT_FOUND) return names;  // an empty root folder
        throw win32::ErrorOf(folder, e);
    }
    do {
        std::string name = win32::Narrow(found.cFileName, wcslen(found.cFileName));
        if (name != "." && name != "..") names.push_back(std::move(name));
    } while (::FindNextFileW(h, &found));
    const DWORD e = ::GetLastError();
    ::FindClose(h);
    if (e != ERROR_NO_MORE_FILES) throw win32::ErrorOf(folder, e);
    return names;
}

FileSystem::Folder::Folder(const std::string& path) {
    // Not shared for deletion: nobody renames or removes the folder while it is
    // held, so its name keeps leading to it.
    HANDLE h =
        ::CreateFileW(win32::Wide(path).c_str(),
                      FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw win32::ErrorOf(path, ::GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::CloseHandle(h);
        throw win32::ErrorOf(path, ERROR_DIRECTORY);
    }
    m_handle = reinterpret_cast<std::intptr_t>(h);
}

FileSystem::Folder::~Folder() {
    ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

void FileSystem::FlushFolder(const std::string& folder) {
    // NTFS keeps its folders' entries in its own log: there is nothing to flush.
    RandomAccessFile::InjectFault(RandomAccessFile::FaultInjector::Op::Flush, folder);
}

void FileSystem::FlushFileSystem(const std::string& path) {
    // Flushing a volume takes an administrator; each written file is flushed as
    // it is closed instead (RandomAccessFile).
    RandomAccessFile::InjectFault(RandomAccessFile::FaultInjector::Op::Flush, path);
}

void FileSystem::RemoveFile(const std::string& path) {
    RandomAccessFile::InjectFault(RandomAccessFile::FaultInjector::Op::Remove, path);
    if (!::DeleteFileW(win32::Wide(path).c_str())) {
        const DWORD e = ::GetLastError();
        if (e != ERROR_FILE_NOT_FOUND) throw win32::ErrorOf(path, e);
    }
}

void FileSystem::RemoveQuietly(const std::string& path) noexcept {
    ::DeleteFileW(win32::Wide(path).c_str());
}

void FileSystem::Rename(const std::string& from, const std::string& to) {
    if (!::MoveFileExW(win32::Wide(from).c_str(), win32::Wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw win32::ErrorOf(to, ::GetLastError());
}

void FileSystem::MakeFolder(const std::string& folder) {
    if (!::CreateDirectoryW(win32::Wide(folder).c_str(), nullptr))
        throw win32::ErrorOf(folder, ::GetLastError());
}

void FileSystem::CreateFolders(const std::string& folder) {
    if (folder.empty()) throw FileError::FromErrno(folder, ENOENT);
    const fs::path whole = PathOf(folder).lexically_normal();
    fs::path at = whole.root_path();
    for (const fs::path& part : whole.relative_path()) {
        at /= part;
        if (part.empty()) continue;  // after a trailing separator
        if (!::CreateDirectoryW(at.c_str(), nullptr)) {
            const DWORD e = ::GetLastError();
            if (e != ERROR_ALREADY_EXISTS) throw win32::ErrorOf(TextOf(at), e);
        }
    }
    const auto a = GetAttributes(folder);
    if (!a) throw win32::ErrorOf(folder, ::GetLastError());
    if (!a->directory) throw win32::ErrorOf(folder, ERROR_DIRECTORY);
}

bool FileSystem::MakeOwnFolder(const std::string& folder) {
    if (!::CreateDirectoryW(win32::Wide(folder).c_str(), nullptr) &&
        ::GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    const Look look = LookAt(folder);
    return look.kind == Look::Kind::Folder && look.mine && look.trusted;
}

std::optional<std::string> FileSystem::StateFolder() {
    // The user's local application data; XDG_* names nothing on Windows.
    const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA");
    if (!local || !*local) return std::nullopt;
    const fs::path place(local);
    if (!place.is_absolute()) return std::nullopt;  // it would follow the current folder
    return TextOf(place / "tkv-editor");
}

FileSystem::Look FileSystem::LookAt(const std::string& path, bool followLinks) {
    Look look;
    Handle h(OpenToLook(path, followLinks));
    if (!h.ok()) {
        look.error = win32::ErrnoOf(::GetLastError());
        return look;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h.get(), &info)) {
        look.error = win32::ErrnoOf(::GetLastError());
        return look;
    }
    using Kind = Look::Kind;
    const DWORD type = ::GetFileType(h.get());
    if (!followLinks && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        look.kind = Kind::Link;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        look.kind = Kind::Folder;
    else if (type == FILE_TYPE_DISK)
        look.kind = Kind::File;
    else if (type == FILE_TYPE_PIPE)
        look.kind = Kind::Fifo;
    else if (type == FILE_TYPE_CHAR)
        look.kind = Kind::Device;
    else
        look.kind = Kind::Other;
    look.device = info.dwVolumeSerialNumber;
    look.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    look.readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    const Security security = SecurityOf(h.get());
    look.mine = security.mine;
    look.trusted =
        security.read && security.ownerTrusted && (security.othersMay & kWriteRights) == 0 &&
        (look.kind == Kind::Folder || (look.kind == Kind::File && info.nNumberOfLinks == 1));
    return look;
}

bool native::PathIsPrivate(const fs::path& path) {
    fs::path at = path;
    for (bool first = true;; first = false) {
        Handle h(OpenToLook(TextOf(at), false));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!h.ok() || !::GetFileInformationByHandle(h.get(), &info)) return false;
        const Security security = SecurityOf(h.get());
        if (!security.read || !security.ownerTrusted) return false;
        if (!(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
            const DWORD allowed = first ? 0 : kAddRights;
            if ((security.othersMay & kWriteRights & ~allowed) != 0) return false;
        }
        if (!at.has_relative_path()) return true;  // the root
        at = at.parent_path();
    }
}

long FileSystem::ProcessId() {
    return static_cast<long>(::GetCurrentProcessId());
}

bool FileSystem::ProcessGone(long id) {
    if (id <= 0) return false;
    HANDLE h = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                             static_cast<DWORD>(id));
    if (!h) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    const bool ended = ::WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    ::CloseHandle(h);
    return ended;
}

std::size_t FileSystem::OpenFileLimit() {
    return 8192;  // handles, not C descriptors: far more than a batch takes
}
