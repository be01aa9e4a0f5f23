// Trust and recovery: the journals left for a folder, beside its files and in
// the state folder, checked before they are opened, and their files settled.
#include "platform/RewriteJournal.h"

#include <algorithm>
#include <cstring>

#include <map>
#include "platform/FileStamp.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/RewriteJournalParts.h"

using namespace journal;

namespace {

struct Recovery {
    std::vector<std::string> notices;
    // Files named as journals that are not journals this program may use (planted,
    // cut short, unreadable): told in one line per folder, not one each.
    struct Refused {
        std::string path;
        std::string why;
    };
    std::vector<Refused> refused;
};

void RecoverJournal(const std::string& path, const std::string& folder, bool inFolder,
                    Recovery& out) {
    // Trusted first, opened after: a journal someone else planted is never even
    // opened for writing.
    const FileSystem::Look st = FileSystem::LookAt(path);
    if (st.kind == FileSystem::Look::Kind::None) return;  // gone meanwhile
    if (st.kind != FileSystem::Look::Kind::File || !st.trusted) {
        out.refused.push_back({path,
                               "is not a rewrite journal of yours (another user owns it, others "
                               "may write it, or it is not a plain file)"});
        return;
    }
    RandomAccessFile journal;
    try {
        // A running writer holds its journal locked: then it is left alone.
        journal.Open(path, RandomAccessFile::Mode::ReadWrite, {false, false});
    } catch (const FileError& e) {
        if (e.Cause() == RandomAccessFile::kBusyCause) return;
        if (e.ErrorNumber() == ENOENT) return;  // its writer finished meanwhile
        out.refused.push_back(
            {path, "looks like a rewrite journal but cannot be read (" + e.Cause() + ")"});
        return;
    }
    if (const FileStamp now = journal.Stamp(); now.device != st.device || now.inode != st.inode)
        return;  // replaced between the look and the open: the next open looks again
    RewriteJournal::Head head;
    std::vector<RewriteJournal::Entry> entries;
    FileSource source(journal);
    try {
        if (std::string why; !DecodeFrom(source, head, entries, &why)) {
            out.refused.push_back({path, "is not a complete rewrite journal (" + why + ")"});
            return;
        }
    } catch (const FileError& e) {
        out.refused.push_back({path, "cannot be read (" + e.Cause() + ")"});
        return;
    }
    const auto identity = FolderIdentity(folder);
    if (inFolder && identity && (identity->first != head.device || identity->second != head.inode))
        out.notices.push_back(path + " was written in " + head.folder +
                              " and has been copied here; the files beside it are copies, other "
                              "files than it recorded, and none of them was touched.");
    bool done = true;
    const auto held = HoldFolder(folder);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        using Settled = RewriteJournal::Settled;
        const RewriteJournal::FileSettled s =
            SettleByName(k, entries[k], folder, held ? &*held : nullptr, source,
                         {RewriteJournal::State::Torn}, false);
        const std::string& file = s.path;
        switch (s.settled) {
            case Settled::Missing:  // gone: nothing to do
                break;
            case Settled::Busy:  // a writer has it now; the next open tries again
                done = false;
                break;
            case Settled::Unopenable:
                out.notices.push_back(file +
                                      " could not be checked after an interrupted rewrite (" +
                                      s.cause + "); it was not touched.");
                break;
            case Settled::Replaced:
                out.notices.push_back(file +
                                      " was replaced by another file after an interrupted "
                                      "rewrite; it was not touched.");
                break;
            case Settled::Kept:
                if (s.state == RewriteJournal::State::Foreign)
                    out.notices.push_back(file +
                                          " was changed by another program after an interrupted "
                                          "rewrite; it was not touched.");
                break;
            case Settled::RolledBack:
                out.notices.push_back(file +
                                      " was put back as it was before an interrupted rewrite.");
                break;
            case Settled::Failed:
                done = false;
                out.notices.push_back(file +
                                      " could not be put back after an interrupted rewrite (" +
                                      s.cause + "); the journal was kept to try again.");
                break;
        }
    }
    if (!done) return;
    try {
        FileSystem::RemoveFile(path);
        journal.Abort();
        FileSystem::FlushFolder(FileSystem::FolderOf(path));
    } catch (const FileError&) {
        // Left for the next open; every file is old or new already.
    }
}

// A journal that never got its real name was left before any file changed: it
// is removed once its writer is gone (never while that process runs, which may
// be about to complete it), if it is the user's own.
void RemoveStaleTemporary(const std::string& path, const std::string& name) {
    const std::string rest = name.substr(std::strlen(RewriteJournal::kTemporaryPrefix));
    const auto dash = rest.find('-');
    const std::string digits = rest.substr(0, dash);
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
        return;
    const long pid = std::stol(digits);
    if (pid == FileSystem::ProcessId() || !FileSystem::ProcessGone(pid)) return;
    const FileSystem::Look st = FileSystem::LookAt(path);
    if (st.kind != FileSystem::Look::Kind::File || !st.mine) return;
    try {
        RandomAccessFile stale;
        stale.Open(path, RandomAccessFile::Mode::ReadWrite, {false, false});
        FileSystem::RemoveFile(path);
    } catch (const std::exception&) {
    }
}

// The refused journals of one recovery: in one line per folder when there are
// several (a folder may hold thousands of planted files).
void TellRefused(Recovery& out) {
    std::map<std::string, std::vector<const Recovery::Refused*>> byFolder;
    for (const auto& r : out.refused) byFolder[FileSystem::FolderOf(r.path)].push_back(&r);
    for (const auto& [place, refused] : byFolder) {
        const Recovery::Refused& first = *refused.front();
        if (refused.size() == 1) {
            out.notices.push_back(first.path + " " + first.why +
                                  "; it was ignored and left in place.");
            continue;
        }
        out.notices.push_back(place + ": " + std::to_string(refused.size()) + " files named " +
                              RewriteJournal::kPrefix +
                              "... are no rewrite journals this program may use (the first, " +
                              FileSystem::DisplayName(first.path) + ", " + first.why +
                              "); they were ignored and left in place.");
    }
}
}  // namespace

std::vector<std::string> RewriteJournal::Recover(const std::string& folder) {
    Recovery out;
    for (const auto& name : FileSystem::NamesStartingWith(folder, kPrefix))
        RecoverJournal(folder + "/" + name, folder, true, out);
    for (const auto& name : FileSystem::NamesStartingWith(folder, kTemporaryPrefix))
        RemoveStaleTemporary(folder + "/" + name, name);
    // Journals in a state folder another user may write are not trusted there:
    // none is written to such a folder, and none is read from one.
    if (const auto identity = FolderIdentity(folder);
        identity && !StateFolder().empty() && FileSystem::IsPrivateFolder(StateFolder())) {
        const std::string state = StateFolder();
        const std::string tag = StateTag(identity->first, identity->second);
        for (const auto& name : FileSystem::NamesStartingWith(state, kPrefix + tag))
            RecoverJournal(state + "/" + name, folder, false, out);
        for (const auto& name : FileSystem::NamesStartingWith(state, kTemporaryPrefix + tag))
            RemoveStaleTemporary(state + "/" + name,
                                 name.substr(0, std::strlen(kTemporaryPrefix)) +
                                     name.substr(std::strlen(kTemporaryPrefix) + tag.size()));
    }
    TellRefused(out);
    return out.notices;
}
