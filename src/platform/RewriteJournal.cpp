// A rewrite journal's life: opened under a temporary name, filled, committed
// under its real name, finished (removed) or adopted from a kept copy.
#include "platform/RewriteJournal.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/FileStamp.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/RewriteJournalParts.h"

using namespace journal;

namespace {

std::string UniqueName() {
    static std::atomic<unsigned> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::to_string(FileSystem::ProcessId()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(now & 0xFFFFFF);
}

bool IsNoPermission(int e) {
    return e == EACCES || e == EPERM || e == EROFS;
}

}  // namespace

namespace journal {

// The tag that names a folder's journals in the state folder.
std::string StateTag(std::uint64_t device, std::uint64_t inode) {
    return "d" + std::to_string(device) + "-i" + std::to_string(inode) + "-";
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> FolderIdentity(const std::string& folder) {
    const FileSystem::Look look = FileSystem::LookAt(folder, true);
    if (look.kind != FileSystem::Look::Kind::Folder) {
        errno = look.error;
        return std::nullopt;
    }
    return std::make_pair(look.device, look.inode);
}

}  // namespace journal

RewriteJournal::RewriteJournal(std::string folder)
    : m_strFolder(std::move(folder)), m_strRealFolder(FileSystem::RealPath(m_strFolder)) {}

RewriteJournal::~RewriteJournal() {
    // Not committed: the temporary journal goes (no file was touched yet).
    // Committed but not finished: it stays on disk for the next open.
    if (m_pFile && m_strJournalPath.empty()) FileSystem::RemoveQuietly(m_strTemporaryPath);
}

std::string RewriteJournal::StateFolder() {
    const auto state = FileSystem::StateFolder();
    return state ? *state + "/journals" : std::string();  // none: no journal goes there
}

void RewriteJournal::Open() {
    const auto identity = FolderIdentity(m_strFolder);
    if (!identity) throw FileError::FromErrno(m_strFolder, errno ? errno : ENOTDIR);
    auto create = [&](const std::string& place, const std::string& tag) {
        const std::string name = tag + UniqueName();
        auto file = std::make_unique<RandomAccessFile>();
        file->Open(place + "/" + kTemporaryPrefix + name, RandomAccessFile::Mode::CreateNew);
        m_strTemporaryPath = file->Path();
        m_strJournalPath.clear();
        m_pFile = std::move(file);
        m_strPlannedPath = place + "/" + kPrefix + name;
    };
    try {
        create(m_strFolder, "");
    } catch (const FileError& e) {
        if (!IsNoPermission(e.ErrorNumber())) throw;
        // The files' folder cannot hold a journal: the user's state folder can,
        // tagged with the folder's identity so that only its recovery finds it.
        if (StateFolder().empty())
            throw NoJournalPlace(m_strFolder,
                                 "No rewrite journal can be kept: the folder refuses one (" +
                                     e.Cause() +
                                     ") and there is no state folder (neither HOME nor "
                                     "XDG_STATE_HOME is set).",
                                 e.ErrorNumber());
        auto noPlace = [&](const std::string& why, int error) {
            return NoJournalPlace(m_strFolder,
                                  "No rewrite journal can be kept: the folder refuses one (" +
                                      e.Cause() + ") and " + why + ".",
                                  error);
        };
        try {
            FileSystem::CreateFolders(StateFolder());
        } catch (const FileError& state) {
            throw noPlace("so does " + StateFolder() + " (" + state.Cause() + ")",
                          state.ErrorNumber());
        }
        // A folder another user may write (it, or one above it) could take the
        // journal away or swap a link in: no journal goes there.
        if (!FileSystem::IsPrivateFolder(StateFolder()))
            throw noPlace(
                StateFolder() + " is not private (another user may write it or a folder above it)",
                EACCES);
        try {
            create(StateFolder(), StateTag(identity->first, identity->second));
        } catch (const FileError& state) {
            throw noPlace("so does " + StateFolder() + " (" + state.Cause() + ")",
                          state.ErrorNumber());
        }
    }
    m_pSink = std::make_unique<Sink>(m_pFile.get());
    try {
        m_pSink->HeadOf({identity->first, identity->second, FileSystem::Absolute(m_strFolder)});
    } catch (...) {
        m_pFile->Abort();
        FileSystem::RemoveQuietly(m_strTemporaryPath);
        m_pFile.reset();
        throw;
    }
}

void RewriteJournal::Add(RandomAccessFile& file, std::uint64_t tailStart, const NewTail& newTail) {
    Entry e;
    if (const auto& in = file.OpenedInFolder()) {
        // Opened by its name in a folder held open (and checked then): that name,
        // whatever lies under it by now, when the folder is this journal's.
        const auto identity = FolderIdentity(m_strFolder);
        if (!identity || identity->first != in->device || identity->second != in->inode ||
            !IsPlainName(in->name))
            throw FileError(file.Path(),
                            "The file does not lie in the folder of its rewrite journal.");
        e.name = in->name;
    } else {
        // The file is named as it lies in the folder: a link (hard or symbolic) to
        // a file elsewhere has no name in it that recovery could use.
        const std::string real = FileSystem::RealPath(file.Path());
        if (FileSystem::FolderOf(real) != m_strRealFolder)
            throw FileError(file.Path(),
                            "The file does not lie in the folder of its rewrite journal.");
        e.name = FileSystem::DisplayName(real);
    }
    const FileStamp stamp = file.Stamp();
    e.device = stamp.device;
    e.inode = stamp.inode;
    e.oldLength = file.Length();
    e.tailStart = tailStart;
    if (tailStart > e.oldLength) throw FileError(file.Path(), "The rewrite starts past the end.");
    HashNewTail(e, newTail);
    e.oldTailOffset = m_pSink->EntryOf(e);
    StreamHash oldHash;
    std::vector<std::uint8_t> buf(kWindow);
    file.Seek(tailStart);
    for (std::uint64_t left = e.oldLength - tailStart; left > 0;) {
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(left, buf.size()));
        file.ReadExact(buf.data(), take);
        oldHash.Update(buf.data(), take);
        m_pSink->Bytes(buf.data(), take);
        left -= take;
    }
    e.oldTailHash = oldHash.Final();
    m_pSink->Hash(e.oldTailHash);
    m_entries.push_back(std::move(e));
}

void RewriteJournal::Commit() {
    try {
        m_pSink->TrailerOf(m_entries.size());
        Publish();
    } catch (...) {
        Discard();
        throw;
    }
}

void RewriteJournal::Discard() noexcept {
    if (m_pFile) m_pFile->Abort();
    FileSystem::RemoveQuietly(m_strTemporaryPath);
    if (!m_strJournalPath.empty()) FileSystem::RemoveQuietly(m_strJournalPath);
    m_strJournalPath.clear();
    m_pFile.reset();
}

void RewriteJournal::Publish() {
    m_pFile->Flush();
    // Written and flushed under the temporary name, then renamed: a journal under
    // its real name is always complete (and locked while its writer runs).
    FileSystem::Rename(m_strTemporaryPath, m_strPlannedPath);
    m_strJournalPath = m_strPlannedPath;
    FileSystem::FlushFolder(FileSystem::FolderOf(m_strJournalPath));
}

void RewriteJournal::CopyTo(const std::string& path) {
    if (!m_pFile || m_strJournalPath.empty())
        throw FileError(path, "The rewrite journal is not complete yet.");
    RandomAccessFile copy;
    copy.Open(path, RandomAccessFile::Mode::CreateNew);
    try {
        CopyBytes(*m_pFile, copy, m_pFile->Length());
        copy.Flush();
        copy.Close();
    } catch (...) {
        copy.Abort();
        FileSystem::RemoveQuietly(path);
        throw;
    }
}

void RewriteJournal::Adopt(const std::string& path) {
    RandomAccessFile from;
    from.Open(path, RandomAccessFile::Mode::Read);
    Head head;
    std::vector<Entry> entries;
    {
        FileSource source(from);
        if (std::string why; !DecodeFrom(source, head, entries, &why))
            throw FileError(path, "It is not a complete rewrite journal (" + why + ").");
    }
    const auto identity = FolderIdentity(m_strFolder);
    if (!identity || identity->first != head.device || identity->second != head.inode)
        throw FileError(path, "It was written for another folder (" + head.folder + ").");
    Open();
    try {
        // The copy's bytes as they are (its head included): Open's head is dropped.
        m_pSink->Buffer().clear();
        CopyBytes(from, *m_pFile, from.Length());
        m_pFile->SetLength(from.Length());
        m_entries = std::move(entries);
        Publish();
    } catch (...) {
        Discard();
        throw;
    }
}

void RewriteJournal::Finish(bool flushFileSystem) {
    if (!m_pFile || m_strJournalPath.empty()) return;
    if (flushFileSystem) FileSystem::FlushFileSystem(m_strFolder);
    FileSystem::RemoveFile(m_strJournalPath);
    m_pFile->Abort();
    m_pFile.reset();
}
