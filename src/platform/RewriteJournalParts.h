#pragma once
// What the rewrite journal's four files share (RewriteJournal.cpp: its life;
// RewriteJournalFormat.cpp: its bytes; RewriteJournalFiles.cpp: inspecting and
// rolling back a file; RewriteJournalRecovery.cpp: trust and recovery). For
// those files alone.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/RewriteJournal.h"

namespace journal {

inline constexpr char kMagic[8] = {'T', 'K', 'V', 'J', 'R', 'N', 'L', '3'};
inline constexpr std::size_t kTrailer = 8 + 8 + 16;
inline constexpr std::size_t kMaxName = 255;
inline constexpr std::size_t kMaxFolderPath = 4096;
// A tail is at most a 32-bit Extended Header Offset back from the end.
inline constexpr std::uint64_t kMaxTail = 0x100000000ull;
inline constexpr std::size_t kWindow = 1 << 16;  // a multiple of kStretch

// The new tail is cut into pieces at every multiple of kStretch and at the old
// end: storage tears between sectors, and this program's own writes (rewrite and
// rollback) go in aligned chunks and end at the old or the new end, so after any
// interruption each piece holds wholly old or wholly new bytes.
std::uint64_t NextCut(std::uint64_t at, std::uint64_t oldEnd, std::uint64_t newEnd);
std::uint64_t Stretches(const RewriteJournal::Entry& e);
// A name of a file in the journal's folder (no separator, no journal's name).
bool IsPlainName(const std::string& name);
void PutWord(std::uint8_t* out, std::uint64_t v);
std::uint64_t GetWord(const std::uint8_t* p);

// Where a journal's bytes come from: memory (tests, the fuzzer) or its file.
class Source {
  public:
    virtual ~Source() = default;
    virtual std::uint64_t Size() = 0;
    // Exactly n bytes at `offset` (inside Size()), or false.
    virtual bool ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) = 0;
};

class SpanSource : public Source {
  public:
    explicit SpanSource(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    std::uint64_t Size() override { return m_bytes.size(); }
    bool ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) override {
        if (offset > m_bytes.size() || n > m_bytes.size() - offset) return false;
        std::memcpy(out, m_bytes.data() + offset, n);
        return true;
    }

  private:
    std::span<const std::uint8_t> m_bytes;
};

class FileSource : public Source {
  public:
    explicit FileSource(RandomAccessFile& file) : m_file(file) {}
    std::uint64_t Size() override { return m_file.Length(); }
    bool ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) override {
        m_file.Seek(offset);
        return m_file.Read(out, n) == n;
    }

  private:
    RandomAccessFile& m_file;
};

// Checks and parses a whole journal: magic, checksum, every field's bounds, the
// stretch counts, unique plain names and each old tail's own hash. Nothing is
// allocated beyond what the journal really holds. False, with the check that
// failed in `why`, when the bytes are no complete, well-formed journal.
bool DecodeFrom(Source& source, RewriteJournal::Head& head,
                std::vector<RewriteJournal::Entry>& entries, std::string* why = nullptr);

// Compares a file with its entry, reading both a window at a time.
RewriteJournal::State InspectFile(const RewriteJournal::Entry& e, RandomAccessFile& file,
                                  Source& journal);
// Writes entry `e`'s old bytes and length back, and flushes the file.
void RollBackFile(const RewriteJournal::Entry& e, RandomAccessFile& file, Source& journal);
// Settles entry `index`'s file, open and locked: never another file than the
// entry recorded; rolled back when it holds a state of `rollBack`.
RewriteJournal::FileSettled SettleOpenFile(std::size_t index, const RewriteJournal::Entry& e,
                                           RandomAccessFile& f, Source& journal,
                                           const std::vector<RewriteJournal::State>& rollBack);
// Opens entry `e`'s file by its name in `folder` (held open), never through a
// link, and settles it.
RewriteJournal::FileSettled SettleByName(std::size_t index, const RewriteJournal::Entry& e,
                                         const std::string& folderPath,
                                         const FileSystem::Folder* folder, Source& journal,
                                         const std::vector<RewriteJournal::State>& rollBack,
                                         bool wait);
std::optional<FileSystem::Folder> HoldFolder(const std::string& path);
// Copies the first `n` bytes of `from` to `to` from its start, a window at a time.
void CopyBytes(RandomAccessFile& from, RandomAccessFile& to, std::uint64_t n);

// The tag that names a folder's journals in the state folder.
std::string StateTag(std::uint64_t device, std::uint64_t inode);
// A folder's device and inode (nothing, errno set, when it is no folder).
std::optional<std::pair<std::uint64_t, std::uint64_t>> FolderIdentity(const std::string& folder);

}  // namespace journal

// Writes the journal a buffer at a time, hashing every byte on its way.
class RewriteJournal::Sink {
    using Hash128 = ::Hash128;

  public:
    explicit Sink(RandomAccessFile* file) : m_pFile(file) { m_buffer.reserve(kBuffer); }
    void Bytes(const std::uint8_t* p, std::size_t n) {
        m_hash.Update(p, n);
        m_nWritten += n;
        if (!m_pFile) {
            m_buffer.insert(m_buffer.end(), p, p + n);
            return;
        }
        while (n > 0) {
            const std::size_t take = std::min(n, kBuffer - m_buffer.size());
            m_buffer.insert(m_buffer.end(), p, p + take);
            p += take;
            n -= take;
            if (m_buffer.size() == kBuffer) Drain();
        }
    }
    void Word(std::uint64_t v) {
        std::uint8_t b[8];
        journal::PutWord(b, v);
        Bytes(b, 8);
    }
    void Hash(const Hash128& h) {
        Word(h.lo);
        Word(h.hi);
    }
    void Text(const std::string& s) {
        Word(s.size());
        Bytes(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    }
    // The trailer's hash, written without hashing itself.
    void Seal() {
        const Hash128 h = m_hash.Final();
        std::uint8_t b[16];
        journal::PutWord(b, h.lo);
        journal::PutWord(b + 8, h.hi);
        m_buffer.insert(m_buffer.end(), b, b + 16);
        m_nWritten += 16;
        if (m_pFile) Drain();
    }
    void Drain() {
        if (m_pFile && !m_buffer.empty()) m_pFile->Write(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
    }
    std::uint64_t Written() const { return m_nWritten; }
    std::vector<std::uint8_t>& Buffer() { return m_buffer; }

    void HeadOf(const Head& head) {
        Bytes(reinterpret_cast<const std::uint8_t*>(journal::kMagic), 8);
        Word(head.device);
        Word(head.inode);
        Text(head.folder);
    }
    // An entry's fields up to its old tail; returns the old tail's offset.
    std::uint64_t EntryOf(const Entry& e) {
        Word(1);
        Text(e.name);
        for (std::uint64_t v : {e.device, e.inode, e.oldLength, e.tailStart, e.newLength}) Word(v);
        Hash(e.newTailHash);
        Word(e.newStretchHashes.size());
        for (std::uint64_t h : e.newStretchHashes) Word(h);
        return m_nWritten;
    }
    void TrailerOf(std::size_t count) {
        Word(0);
        Word(count);
        Seal();
    }

  private:
    static constexpr std::size_t kBuffer = 1 << 18;
    RandomAccessFile* m_pFile;
    std::vector<std::uint8_t> m_buffer;
    StreamHash m_hash;
    std::uint64_t m_nWritten = 0;
};
