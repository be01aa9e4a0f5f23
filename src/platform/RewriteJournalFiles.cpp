// Inspecting a journal's files and putting them back: what a file holds
// measured against its entry, and the one loop that settles each file.
#include "platform/RewriteJournal.h"

#include <algorithm>
#include <cstring>

#include "platform/FileStamp.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/RewriteJournalParts.h"

using namespace journal;

namespace journal {

// Compares a file with its entry, reading both a window at a time.
RewriteJournal::State InspectFile(const RewriteJournal::Entry& e, RandomAccessFile& file,
                                  Source& journal) {
    using State = RewriteJournal::State;
    const std::uint64_t length = file.Length();
    const std::uint64_t oldEnd = e.oldLength, newEnd = e.NewEnd();
    std::vector<std::uint8_t> got(kWindow), old(kWindow);
    auto readFile = [&](std::uint64_t at, std::size_t n) {
        file.Seek(at);
        return file.Read(got.data(), n) == n;
    };
    auto readOld = [&](std::uint64_t at, std::size_t n) {
        return journal.ReadAt(e.oldTailOffset + (at - e.tailStart), old.data(), n);
    };
    if (length == newEnd) {
        StreamHash h;
        bool ok = true;
        for (std::uint64_t at = e.tailStart; ok && at < newEnd; at += kWindow) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, newEnd - at));
            ok = readFile(at, n);
            h.Update(got.data(), n);
        }
        if (ok && h.Final() == e.newTailHash) return State::New;
    }
    if (length == oldEnd) {
        bool same = true;
        for (std::uint64_t at = e.tailStart; same && at < oldEnd; at += kWindow) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, oldEnd - at));
            same = readFile(at, n) && readOld(at, n) && std::memcmp(got.data(), old.data(), n) == 0;
        }
        if (same) return State::Old;
    }
    if (length < std::min(oldEnd, newEnd) || length > std::max(oldEnd, newEnd) ||
        length < e.tailStart)
        return State::Foreign;
    // A torn rewrite or rollback: every piece (see NextCut) holds exactly its old
    // or its new bytes; a piece may end early where the file does.
    const std::uint64_t s = RewriteJournal::kStretch;
    std::size_t index = 0;  // of the piece in the new tail's grid
    std::uint64_t at = e.tailStart;
    for (std::uint64_t w = e.tailStart / s * s; w < length; w += kWindow) {
        const std::uint64_t from = std::max(w, e.tailStart);
        const std::uint64_t to = std::min(w + kWindow, length);
        const auto n = static_cast<std::size_t>(to - from);
        if (!readFile(from, n)) return State::Foreign;
        const std::uint64_t oldTo = std::min(to, oldEnd);
        const bool haveOld = oldTo > from && readOld(from, static_cast<std::size_t>(oldTo - from));
        for (; at < to; ++index) {
            const std::uint64_t next = NextCut(at, oldEnd, newEnd);
            const std::uint64_t end = std::min(next, to);
            const std::uint8_t* bytes = got.data() + (at - from);
            const auto size = static_cast<std::size_t>(end - at);
            const bool isOld =
                haveOld && end <= oldEnd && std::memcmp(bytes, old.data() + (at - from), size) == 0;
            const bool isNew = !isOld && end == next && next <= newEnd &&
                               index < e.newStretchHashes.size() &&
                               StreamHash::Of({bytes, size}).lo == e.newStretchHashes[index];
            if (!isOld && !isNew) return State::Foreign;
            at = next;
        }
    }
    return State::Torn;
}

void RollBackFile(const RewriteJournal::Entry& e, RandomAccessFile& file, Source& journal) {
    std::vector<std::uint8_t> buf(kWindow);
    const std::uint64_t n = e.oldLength - e.tailStart;
    // Chunks end on aligned file offsets, so an interrupted rollback is torn only
    // between pieces.
    for (std::uint64_t done = 0; done < n;) {
        const std::uint64_t at = e.tailStart + done;
        const auto take = static_cast<std::size_t>(
            std::min<std::uint64_t>((at / kWindow + 1) * kWindow - at, n - done));
        if (!journal.ReadAt(e.oldTailOffset + done, buf.data(), take))
            throw FileError(file.Path(), "The rewrite journal cannot be read back.");
        file.Seek(e.tailStart + done);
        file.Write(buf.data(), take);
        done += take;
    }
    if (file.Length() != e.oldLength) file.SetLength(e.oldLength);
    file.Flush();
}

// Settles entry `index`'s file, open and locked: never another file than the
// entry recorded; rolled back when it holds a state of `rollBack`.
RewriteJournal::FileSettled SettleOpenFile(std::size_t index, const RewriteJournal::Entry& e,
                                           RandomAccessFile& f, Source& journal,
                                           const std::vector<RewriteJournal::State>& rollBack) {
    using Settled = RewriteJournal::Settled;
    RewriteJournal::FileSettled out{index, f.Path(), Settled::Failed, std::nullopt, {}};
    try {
        // Only the file the journal recorded is ever touched: another in its place
        // (a copy moved over it, a folder copied with its journal) may hold the
        // very same bytes and still be someone else's.
        if (const FileStamp stamp = f.Stamp(); stamp.device != e.device || stamp.inode != e.inode) {
            out.settled = Settled::Replaced;
            return out;
        }
        out.state = InspectFile(e, f, journal);
        if (std::find(rollBack.begin(), rollBack.end(), *out.state) == rollBack.end()) {
            out.settled = Settled::Kept;
        } else {
            RollBackFile(e, f, journal);
            out.settled = Settled::RolledBack;
        }
    } catch (const FileError& err) {
        out.settled = Settled::Failed;
        out.cause = err.Cause();
    }
    return out;
}

// Opens entry `e`'s file by its name in `folder` (held open), never through a
// link, and settles it.
RewriteJournal::FileSettled SettleByName(std::size_t index, const RewriteJournal::Entry& e,
                                         const std::string& folderPath,
                                         const FileSystem::Folder* folder, Source& journal,
                                         const std::vector<RewriteJournal::State>& rollBack,
                                         bool wait) {
    using Settled = RewriteJournal::Settled;
    const std::string path = folderPath + "/" + e.name;
    RewriteJournal::FileSettled out{index, path, Settled::Unopenable, std::nullopt, {}};
    if (!folder) {
        out.cause = "Its folder cannot be opened.";
        return out;
    }
    RandomAccessFile f;
    try {
        f.OpenInFolder(folder->Handle(), e.name, path, RandomAccessFile::Mode::ReadWrite,
                       {false, wait});
    } catch (const FileError& err) {
        out.settled = err.ErrorNumber() == ENOENT                            ? Settled::Missing
                      : !wait && err.Cause() == RandomAccessFile::kBusyCause ? Settled::Busy
                                                                             : Settled::Unopenable;
        out.cause = err.Cause();
        return out;
    }
    out = SettleOpenFile(index, e, f, journal, rollBack);
    try {
        if (out.settled == Settled::Failed)
            f.Abort();
        else
            f.Close();
    } catch (const FileError&) {
        // Closed: what the file holds was flushed before (RollBackFile) or unchanged.
    }
    return out;
}

std::optional<FileSystem::Folder> HoldFolder(const std::string& path) {
    try {
        return std::optional<FileSystem::Folder>(std::in_place, path);
    } catch (const FileError&) {
        return std::nullopt;  // each file then says so
    }
}

// Copies the first `n` bytes of `from` to `to` from its start, a window at a time.
void CopyBytes(RandomAccessFile& from, RandomAccessFile& to, std::uint64_t n) {
    std::vector<std::uint8_t> buf(kWindow);
    to.Seek(0);
    for (std::uint64_t at = 0; at < n;) {
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, n - at));
        from.Seek(at);
        from.ReadExact(buf.data(), take);
        to.Write(buf.data(), take);
        at += take;
    }
}

}  // namespace journal

void RewriteJournal::RollBack(std::size_t index, RandomAccessFile& file) {
    m_pSink->Drain();
    FileSource source(*m_pFile);
    RollBackFile(m_entries.at(index), file, source);
}

RewriteJournal::State RewriteJournal::Inspect(std::size_t index, RandomAccessFile& file) {
    m_pSink->Drain();
    FileSource source(*m_pFile);
    return InspectFile(m_entries.at(index), file, source);
}

RewriteJournal::FileSettled RewriteJournal::SettleOne(std::size_t index,
                                                      const std::vector<State>& rollBack, bool wait,
                                                      RandomAccessFile* open) {
    m_pSink->Drain();
    FileSource source(*m_pFile);
    if (open && open->IsOpen())
        return SettleOpenFile(index, m_entries.at(index), *open, source, rollBack);
    const auto held = HoldFolder(m_strFolder);
    return SettleByName(index, m_entries.at(index), m_strFolder, held ? &*held : nullptr, source,
                        rollBack, wait);
}

void RewriteJournal::Settle(const std::vector<State>& rollBack, bool wait,
                            const SettledNotice& each) {
    m_pSink->Drain();
    FileSource source(*m_pFile);
    const auto held = HoldFolder(m_strFolder);
    for (std::size_t k = 0; k < m_entries.size(); ++k)
        each(SettleByName(k, m_entries[k], m_strFolder, held ? &*held : nullptr, source, rollBack,
                          wait));
}
