#pragma once
// The rollback journal that makes in-place rewrites crash-safe.
//
// Before the first byte of a file changes, the journal keeps what the rewrite may
// change: the file's identity and old length, its bytes from the start of the
// rewritten part to its end, and hashes of what the rewrite will leave there
// (the whole new tail, and each 512-byte stretch of file offsets, the unit in
// which storage tears a write). It is flushed to disk with its folder; then the
// files are rewritten and flushed, and the journal is removed.
//
// Whoever opens or rewrites a file next recovers a journal that was left behind,
// and touches a file only when it provably holds what this program left there:
// - its new bytes: kept;
// - its old bytes: kept;
// - stretch by stretch either the old or the new bytes (a torn rewrite): its old
//   bytes are put back;
// - anything else (another program changed, replaced, cut or extended it after
//   the crash): left alone, and a notice names it.
// Files are named relative to the journal's folder and are looked for only there,
// so a journal moved or copied with its folder is recovered where it now lies
// and never reaches out of it. A journal is trusted only when it belongs to the
// user running the program (or root), no one else may write it, and it is
// complete and well formed; any other is left in place with a notice.
//
// One journal may cover many files (the folder-wide edit keeps one per batch).
// It is written as it is built (streamed), so its size never has to fit in
// memory. Journals lie beside the files as hidden ".tkvjournal-..." files or,
// where the folder cannot hold one, in the user's state folder, tagged with the
// folder's identity.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/FileError.h"
#include "platform/StreamHash.h"

class RandomAccessFile;

// Neither the files' folder nor the user's state folder can hold a journal.
class NoJournalPlace : public FileError {
  public:
    using FileError::FileError;
};

class RewriteJournal {
  public:
    static constexpr const char* kPrefix = ".tkvjournal-";
    static constexpr const char* kTemporaryPrefix = ".tkvjtmp-";
    // The stretch of file offsets whose new bytes are hashed one by one.
    static constexpr std::uint64_t kStretch = 512;

    struct Head {
        std::uint64_t device = 0;  // the files' folder when the journal was written
        std::uint64_t inode = 0;
        std::string folder;  // its path then (for messages only)
    };
    struct Entry {
        std::string name;  // the file's name in the journal's folder
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::uint64_t oldLength = 0;
        std::uint64_t tailStart = 0;  // where the rewritten part starts
        Hash128 oldTailHash;          // of the bytes from tailStart to oldLength
        std::uint64_t newLength = 0;  // of what the rewrite leaves from tailStart
        Hash128 newTailHash;
        std::vector<std::uint64_t> newStretchHashes;  // see kStretch
        std::uint64_t oldTailOffset = 0;              // where the old bytes lie in the journal

        std::uint64_t NewEnd() const { return tailStart + newLength; }
    };
    // What a file holds, measured against its entry.
    enum class State { Old, New, Torn, Foreign };
    // What a rewrite leaves from its start to the end of the file, in pieces (a
    // block's own bytes, values it borrows from the document, the record behind).
    struct NewTail {
        std::vector<std::span<const std::uint8_t>> pieces;
        std::uint64_t Size() const {
            std::uint64_t n = 0;
            for (auto piece : pieces) n += piece.size();
            return n;
        }
    };

    // A journal for files of `folder`.
    explicit RewriteJournal(std::string folder);
    // Unfinished: closes the journal and leaves it on disk for the next open.
    ~RewriteJournal();
    RewriteJournal(const RewriteJournal&) = delete;
    RewriteJournal& operator=(const RewriteJournal&) = delete;

    // Creates the journal under a temporary name and writes its head. Throws
    // NoJournalPlace when no folder can hold it, FileError on other failures.
    void Open();
    // Adds one file of the folder: its identity, and its old tail streamed from
    // `file` (open and locked) into the journal; `newTail` is what the rewrite will
    // leave from `tailStart` to the end. Throws FileError (also for a file whose
    // real place is not the journal's folder).
    void Add(RandomAccessFile& file, std::uint64_t tailStart, const NewTail& newTail);
    const std::vector<Entry>& Entries() const { return m_entries; }
    // Completes the journal, flushes it, gives it its real name and flushes its
    // folder: from then on the files may change. Throws FileError (then no
    // journal is left).
    void Commit();
    // Copies the committed journal to the new file `path`, flushed: a lasting
    // record of the batch (its old tails and the hashes of what it wrote).
    // Throws FileError.
    void CopyTo(const std::string& path);
    // Instead of Open, Add and Commit: takes a journal kept by CopyTo as this
    // folder's committed journal, so that its files can be put back as they were
    // (Inspect, RollBack) and an interruption is recovered like any rewrite's:
    // a torn file goes back to its old bytes. Throws FileError when `copy` is no
    // complete journal of this folder, NoJournalPlace as Open does.
    void Adopt(const std::string& copy);
    // The rewrites are done: optionally flushes the file system holding the files,
    // then removes the journal. When the flush fails the journal stays (the next
    // open keeps or restores every file) and FileError is thrown.
    void Finish(bool flushFileSystem);
    // Puts entry `index`'s file back as it was, from the journal.
    void RollBack(std::size_t index, RandomAccessFile& file);
    // What entry `index`'s file holds now.
    State Inspect(std::size_t index, RandomAccessFile& file);

    // What one file of a journal held, and what was done with it.
    enum class Settled {
        Missing,     // no file has its name
        Busy,        // another writer holds it (when the lock is not waited for)
        Unopenable,  // it cannot be opened (`cause`)
        Replaced,    // another file lies under its name (another device or inode): untouched
        Kept,        // it holds a state that is not rolled back (`state`)
        RolledBack,  // it held a state that is rolled back (`state`), and is old again
        Failed,      // looking at it or rolling it back failed (`cause`)
    };
    struct FileSettled {
        std::size_t index = 0;
        std::string path;
        Settled settled = Settled::Failed;
        std::optional<State> state;  // what it held, when it was looked at
        std::string cause;
    };
    using SettledNotice = std::function<void(const FileSettled&)>;
    // The one loop over a journal's files, for recovery, undo and a failed batch:
    // each file is opened by its name in the journal's folder and never through a
    // link (`wait`: another writer's lock is waited for), a file with another
    // device or inode than recorded is never touched, and one that holds a state
    // of `rollBack` gets its old bytes and length back (recovery rolls back Torn,
    // undo New). `each` hears of every file in turn.
    void Settle(const std::vector<State>& rollBack, bool wait, const SettledNotice& each);
    // The same for entry `index` alone; `open`: its file, already open and locked
    // (a batch's file after a failed write), else it is opened as Settle does.
    FileSettled SettleOne(std::size_t index, const std::vector<State>& rollBack, bool wait,
                          RandomAccessFile* open = nullptr);

    // Recovers every journal left for `folder` (beside its files and in the state
    // folder); journals still held by a running writer are left alone. Returns the
    // notices for the user: files put back, files changed by others and left
    // alone, journals not trusted. Never throws.
    static std::vector<std::string> Recover(const std::string& folder);
    // Where journals go when a file's folder cannot hold them:
    // $XDG_STATE_HOME/tkv-editor/journals (default ~/.local/state/...); empty
    // when there is no state folder (FileSystem::StateFolder).
    static std::string StateFolder();

    // Serialisation, for tests and the fuzzer: a complete journal with the given
    // old tails, and its decoder (false when the bytes are not a complete,
    // well-formed journal; `why` then names the check that failed).
    static std::vector<std::uint8_t> Encode(const Head& head, const std::vector<Entry>& entries,
                                            const std::vector<std::vector<std::uint8_t>>& oldTails);
    static bool Decode(std::span<const std::uint8_t> bytes, Head& head,
                       std::vector<Entry>& entries, std::string* why = nullptr);
    // The hashes an entry keeps of a new tail (its tailStart and oldLength set).
    static void HashNewTail(Entry& entry, const NewTail& newTail);
    // Writes a new tail at `position` in chunks that end on aligned file offsets,
    // as recovery expects of a rewrite cut short.
    static void WriteTail(RandomAccessFile& file, std::uint64_t position, const NewTail& tail);

    class Sink;  // the streamed writer

  private:
    // Flushes the complete journal, gives it its real name and flushes its folder.
    void Publish();
    // Removes the journal, whatever its name, after a failure before any file changed.
    void Discard() noexcept;

    std::string m_strFolder;
    std::vector<Entry> m_entries;
    std::string m_strRealFolder;  // the folder with every link resolved
    std::string m_strTemporaryPath;
    std::string m_strPlannedPath;  // the name it gets when committed
    std::string m_strJournalPath;
    std::unique_ptr<RandomAccessFile> m_pFile;  // held open (and locked) while the rewrite runs
    std::unique_ptr<Sink> m_pSink;
};
