#pragma once
// The rollback journal that makes in-place rewrites crash-safe.
//
// Before the first byte of a file changes, the journal keeps what the rewrite may
// change (the file's length and its bytes from the start of the rewritten part to
// its end) and a hash of what the rewrite will leave there, and is flushed to disk with its
// folder. Then the files are rewritten and flushed, and the journal is removed.
// Whoever opens or rewrites a file next rolls back a journal that was left behind:
// a file that already holds its new bytes keeps them, any other gets its old bytes
// back, so every file ends up exactly old or exactly new. A journal that was itself
// cut short fails its checksum and is discarded: no file had been touched yet.
//
// One journal may cover many files (the folder-wide edit keeps one per batch).
// Journals lie beside the files as hidden ".tkvjournal-..." files, or, where the
// folder cannot hold one, in the user's state folder.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class RandomAccessFile;

class RewriteJournal {
  public:
    struct Entry {
        std::string path;  // absolute
        std::uint64_t oldLength = 0;
        std::uint64_t tailStart = 0;
        std::vector<std::uint8_t> oldTail;  // the bytes from tailStart to oldLength
        // What the rewrite leaves from tailStart to the end, kept as its length and
        // hash: enough to tell a finished rewrite, at half the journal's size.
        std::uint64_t newLength = 0;
        std::uint64_t newTailHash = 0;
    };

    static constexpr const char* kPrefix = ".tkvjournal-";

    // A journal for files of `folder`.
    explicit RewriteJournal(std::string folder);
    ~RewriteJournal();
    RewriteJournal(const RewriteJournal&) = delete;
    RewriteJournal& operator=(const RewriteJournal&) = delete;

    void Add(Entry entry) { m_entries.push_back(std::move(entry)); }
    const std::vector<Entry>& Entries() const { return m_entries; }
    // Writes the journal and flushes it and its folder; throws FileError (then no
    // journal is left).
    void Begin();
    // The rewrites are done: optionally flushes the file system holding the files,
    // then removes the journal. When the flush fails the journal stays (and the
    // next open rolls the files back or keeps them) and FileError is thrown.
    void Finish(bool flushFileSystem);
    // Puts one file back as it was, in this process, after a failed rewrite.
    static void RollBack(const Entry& entry, RandomAccessFile& file);

    // Rolls back every journal left in `folder` and in the state folder; journals
    // still held by a running writer are left alone. Never throws.
    static void Recover(const std::string& folder);
    // Where journals go when a file's folder cannot hold them:
    // $XDG_STATE_HOME/tkv-editor/journals (default ~/.local/state/...).
    static std::string StateFolder();

    // The 64-bit hash that journals keep of new tails and of themselves.
    static std::uint64_t Hash(const std::uint8_t* data, std::size_t size);

    // Serialisation, for recovery and tests.
    static std::vector<std::uint8_t> Encode(const std::vector<Entry>& entries);
    // False when the bytes are not a complete journal.
    static bool Decode(const std::vector<std::uint8_t>& bytes, std::vector<Entry>& entries);

  private:
    std::string m_strFolder;
    std::vector<Entry> m_entries;
    std::string m_strJournalPath;
    RandomAccessFile* m_pFile = nullptr;  // held open (and locked) while the rewrite runs
};
