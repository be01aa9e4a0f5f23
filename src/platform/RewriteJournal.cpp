#include "platform/RewriteJournal.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "platform/FileStamp.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"

// Layout (numbers little-endian, u64 unless said):
//   "TKVJRNL3"  folder device, inode, path length, path bytes
//   per file:   1, name length, name, device, inode, old length, tail start,
//               new length, new tail hash (16 bytes), stretch count, stretch
//               hashes, the old tail (old length - tail start bytes), its hash (16)
//   trailer:    0, file count, hash (16) of every byte before it

namespace {

constexpr char kMagic[8] = {'T', 'K', 'V', 'J', 'R', 'N', 'L', '3'};
constexpr std::size_t kTrailer = 8 + 8 + 16;
constexpr std::size_t kMaxName = 255;
constexpr std::size_t kMaxFolderPath = 4096;
// A tail is at most a 32-bit Extended Header Offset back from the end.
constexpr std::uint64_t kMaxTail = 0x100000000ull;
constexpr std::size_t kWindow = 1 << 16;  // a multiple of kStretch

// The new tail is cut into pieces at every multiple of kStretch and at the old
// end: storage tears between sectors, and this program's own writes (rewrite and
// rollback) go in aligned chunks and end at the old or the new end, so after any
// interruption each piece holds wholly old or wholly new bytes.
std::uint64_t NextCut(std::uint64_t at, std::uint64_t oldEnd, std::uint64_t newEnd) {
    std::uint64_t next = (at / RewriteJournal::kStretch + 1) * RewriteJournal::kStretch;
    for (std::uint64_t b : {oldEnd, newEnd})
        if (b > at && b < next) next = b;
    return next;
}

std::uint64_t Stretches(const RewriteJournal::Entry& e) {
    std::uint64_t n = 0;
    for (std::uint64_t at = e.tailStart; at < e.NewEnd(); at = NextCut(at, e.oldLength, e.NewEnd()))
        ++n;
    return n;
}

#ifdef _WIN32
// A name Windows would read as a device ("CON", "com1.tkv") or change (a
// trailing period or blank is dropped): it names no file of the folder.
bool IsWindowsSpecialName(const std::string& name) {
    if (name.back() == '.' || name.back() == ' ') return true;
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (stem == device) return true;
    return stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
           stem[3] >= '0' && stem[3] <= '9';
}
#endif

bool IsPlainName(const std::string& name) {
    if (name.empty() || name.size() > kMaxName || name == "." || name == ".." ||
        name.find('/') != std::string::npos || name.find('\0') != std::string::npos ||
        name.rfind(RewriteJournal::kPrefix, 0) == 0 ||
        name.rfind(RewriteJournal::kTemporaryPrefix, 0) == 0)
        return false;
#ifdef _WIN32
    // A path separator or a stream name there.
    if (name.find_first_of("\\:") != std::string::npos || IsWindowsSpecialName(name)) return false;
#endif
    return true;
}

void PutWord(std::uint8_t* out, std::uint64_t v) {
    for (int k = 0; k < 8; ++k) out[k] = static_cast<std::uint8_t>(v >> (8 * k));
}

std::uint64_t GetWord(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int k = 7; k >= 0; --k) v = (v << 8) | p[k];
    return v;
}

// ------------------------------------------------------------ reading

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

// A bounds-checked cursor over the body of a journal (everything before its
// trailer's hash), read ahead a window at a time.
class Cursor {
  public:
    Cursor(Source& source, std::uint64_t end) : m_source(source), m_end(end) {}
    std::uint64_t Position() const { return m_pos; }
    std::uint64_t Remaining() const { return m_end - m_pos; }

    bool Bytes(std::uint8_t* out, std::size_t n) {
        if (n > Remaining()) return false;
        while (n > 0) {
            if (m_pos < m_winStart || m_pos >= m_winStart + m_window.size()) {
                const std::size_t size =
                    static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, Remaining()));
                m_window.resize(size);
                if (!m_source.ReadAt(m_pos, m_window.data(), size)) return false;
                m_winStart = m_pos;
            }
            const std::size_t at = static_cast<std::size_t>(m_pos - m_winStart);
            const std::size_t take = std::min(n, m_window.size() - at);
            std::memcpy(out, m_window.data() + at, take);
            out += take;
            n -= take;
            m_pos += take;
        }
        return true;
    }
    std::optional<std::uint64_t> Word() {
        std::uint8_t b[8];
        if (!Bytes(b, 8)) return std::nullopt;
        return GetWord(b);
    }
    bool Hash(Hash128& h) {
        auto lo = Word();
        auto hi = Word();
        if (!lo || !hi) return false;
        h = {*lo, *hi};
        return true;
    }
    bool Text(std::string& out, std::size_t max) {
        auto n = Word();
        if (!n || *n > max || *n > Remaining()) return false;
        out.resize(static_cast<std::size_t>(*n));
        return Bytes(reinterpret_cast<std::uint8_t*>(out.data()), out.size());
    }
    bool Skip(std::uint64_t n) {
        if (n > Remaining()) return false;
        m_pos += n;
        return true;
    }

  private:
    Source& m_source;
    std::uint64_t m_end;
    std::uint64_t m_pos = 0;
    std::uint64_t m_winStart = 0;
    std::vector<std::uint8_t> m_window;
};

// Hashes `n` bytes of the source from `offset`, a window at a time.
bool HashRange(Source& source, std::uint64_t offset, std::uint64_t n, StreamHash& hash) {
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::uint64_t>(n, kWindow)));
    while (n > 0) {
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, buf.size()));
        if (!source.ReadAt(offset, buf.data(), take)) return false;
        hash.Update(buf.data(), take);
        offset += take;
        n -= take;
    }
    return true;
}

// Checks and parses a whole journal: magic, checksum, every field's bounds, the
// stretch counts, unique plain names and each old tail's own hash. Nothing is
// allocated beyond what the journal really holds.
bool DecodeFrom(Source& source, RewriteJournal::Head& head,
                std::vector<RewriteJournal::Entry>& entries) {
    entries.clear();
    const std::uint64_t size = source.Size();
    std::uint8_t magic[8];
    if (size < 8 + 24 + kTrailer || !source.ReadAt(0, magic, 8) ||
        !std::equal(magic, magic + 8, kMagic))
        return false;
    const std::uint64_t body = size - 16;
    StreamHash whole;
    if (!HashRange(source, 0, body, whole)) return false;
    std::uint8_t stored[16];
    if (!source.ReadAt(body, stored, 16) ||
        !(Hash128{GetWord(stored), GetWord(stored + 8)} == whole.Final()))
        return false;

    Cursor c(source, body);
    if (!c.Skip(8)) return false;
    auto device = c.Word();
    auto inode = c.Word();
    if (!device || !inode || !c.Text(head.folder, kMaxFolderPath)) return false;
    head.device = *device;
    head.inode = *inode;
    std::set<std::string> names;
    for (;;) {
        auto tag = c.Word();
        if (!tag) return false;
        if (*tag == 0) break;
        if (*tag != 1) return false;
        RewriteJournal::Entry e;
        if (!c.Text(e.name, kMaxName) || !IsPlainName(e.name) || !names.insert(e.name).second)
            return false;
        std::uint64_t* fields[] = {&e.device, &e.inode, &e.oldLength, &e.tailStart, &e.newLength};
        for (auto* f : fields) {
            auto v = c.Word();
            if (!v) return false;
            *f = *v;
        }
        if (e.tailStart > e.oldLength || e.oldLength - e.tailStart > kMaxTail ||
            e.newLength > kMaxTail || e.tailStart > ~0ull - kMaxTail || !c.Hash(e.newTailHash))
            return false;
        auto count = c.Word();
        if (!count || *count > c.Remaining() / 8 || *count != Stretches(e)) return false;
        e.newStretchHashes.resize(static_cast<std::size_t>(*count));
        for (auto& h : e.newStretchHashes) {
            auto v = c.Word();
            if (!v) return false;
            h = *v;
        }
        const std::uint64_t oldTail = e.oldLength - e.tailStart;
        e.oldTailOffset = c.Position();
        StreamHash oldHash;
        if (oldTail > c.Remaining() || !HashRange(source, e.oldTailOffset, oldTail, oldHash) ||
            !c.Skip(oldTail) || !c.Hash(e.oldTailHash) || !(e.oldTailHash == oldHash.Final()))
            return false;
        entries.push_back(std::move(e));
    }
    auto count = c.Word();
    return count && *count == entries.size() && c.Remaining() == 0;
}

// ------------------------------------------------------------ inspecting

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

// ------------------------------------------------------------ places and names

std::string UniqueName() {
    static std::atomic<unsigned> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::to_string(FileSystem::ProcessId()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(now & 0xFFFFFF);
}

// The tag that names a folder's journals in the state folder.
std::string StateTag(std::uint64_t device, std::uint64_t inode) {
    return "d" + std::to_string(device) + "-i" + std::to_string(inode) + "-";
}

bool IsNoPermission(int e) {
    return e == EACCES || e == EPERM || e == EROFS;
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> FolderIdentity(const std::string& folder) {
    const FileSystem::Look look = FileSystem::LookAt(folder, true);
    if (look.kind != FileSystem::Look::Kind::Folder) {
        errno = look.error;
        return std::nullopt;
    }
    return std::make_pair(look.device, look.inode);
}

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
        if (!DecodeFrom(source, head, entries)) {
            out.refused.push_back({path, "is not a complete rewrite journal"});
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

}  // namespace

// ------------------------------------------------------------ writing

// Writes the journal a buffer at a time, hashing every byte on its way.
class RewriteJournal::Sink {
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
        PutWord(b, v);
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
        PutWord(b, h.lo);
        PutWord(b + 8, h.hi);
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
        Bytes(reinterpret_cast<const std::uint8_t*>(kMagic), 8);
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

RewriteJournal::RewriteJournal(std::string folder)
    : m_strFolder(std::move(folder)), m_strRealFolder(FileSystem::RealPath(m_strFolder)) {}

RewriteJournal::~RewriteJournal() {
    // Not committed: the temporary journal goes (no file was touched yet).
    // Committed but not finished: it stays on disk for the next open.
    if (m_pFile && m_strJournalPath.empty()) FileSystem::RemoveQuietly(m_strTemporaryPath);
}

void RewriteJournal::HashNewTail(Entry& e, const NewTail& tail) {
    e.newLength = tail.Size();
    StreamHash whole;
    for (auto piece : tail.pieces) whole.Update(piece);
    e.newTailHash = whole.Final();
    e.newStretchHashes.clear();
    // Each piece of file offsets (see NextCut), hashed from whichever parts hold it.
    for (std::uint64_t at = e.tailStart; at < e.NewEnd();) {
        const std::uint64_t next = NextCut(at, e.oldLength, e.NewEnd());
        StreamHash h;
        std::uint64_t from = at - e.tailStart, to = next - e.tailStart;
        for (auto piece : tail.pieces) {
            if (from < piece.size()) {
                const std::uint64_t end = std::min<std::uint64_t>(to, piece.size());
                h.Update(piece.data() + from, static_cast<std::size_t>(end - from));
            }
            from = from > piece.size() ? from - piece.size() : 0;
            to = to > piece.size() ? to - piece.size() : 0;
        }
        e.newStretchHashes.push_back(h.Final().lo);
        at = next;
    }
}

void RewriteJournal::WriteTail(RandomAccessFile& file, std::uint64_t position,
                               const NewTail& tail) {
    // Copied through one buffer whose writes end on aligned file offsets.
    std::vector<std::uint8_t> buf(
        static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, tail.Size())));
    file.Seek(position);
    std::size_t fill = 0;
    std::uint64_t at = position;
    auto limit = [&] {
        return static_cast<std::size_t>(
            std::min<std::uint64_t>((at / kWindow + 1) * kWindow - at, buf.size()));
    };
    for (auto piece : tail.pieces) {
        for (std::size_t k = 0; k < piece.size();) {
            const std::size_t take = std::min(piece.size() - k, limit() - fill);
            std::memcpy(buf.data() + fill, piece.data() + k, take);
            fill += take;
            k += take;
            if (fill == limit()) {
                file.Write(buf.data(), fill);
                at += fill;
                fill = 0;
            }
        }
    }
    if (fill > 0) file.Write(buf.data(), fill);
}

std::vector<std::uint8_t> RewriteJournal::Encode(
    const Head& head, const std::vector<Entry>& entries,
    const std::vector<std::vector<std::uint8_t>>& old) {
    Sink sink(nullptr);
    sink.HeadOf(head);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        sink.EntryOf(entries[k]);
        const auto& tail = k < old.size() ? old[k] : std::vector<std::uint8_t>{};
        sink.Bytes(tail.data(), tail.size());
        sink.Hash(StreamHash::Of(tail));
    }
    sink.TrailerOf(entries.size());
    return std::move(sink.Buffer());
}

bool RewriteJournal::Decode(std::span<const std::uint8_t> bytes, Head& head,
                            std::vector<Entry>& entries) {
    SpanSource source(bytes);
    return DecodeFrom(source, head, entries);
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
        if (!DecodeFrom(source, head, entries))
            throw FileError(path, "It is not a complete rewrite journal.");
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

namespace {
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
