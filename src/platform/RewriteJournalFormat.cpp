// The journal's bytes: the layout below, its checked decoder, and the hashes
// and chunks of a new tail.
#include "platform/RewriteJournal.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "platform/FileStamp.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/RewriteJournalParts.h"

using namespace journal;

// Layout (numbers little-endian, u64 unless said):
//   "TKVJRNL3"  folder device, inode, path length, path bytes
//   per file:   1, name length, name, device, inode, old length, tail start,
//               new length, new tail hash (16 bytes), stretch count, stretch
//               hashes, the old tail (old length - tail start bytes), its hash (16)
//   trailer:    0, file count, hash (16) of every byte before it

namespace journal {

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

}  // namespace journal

namespace {

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

}  // namespace

namespace journal {

bool DecodeFrom(Source& source, RewriteJournal::Head& head,
                std::vector<RewriteJournal::Entry>& entries, std::string* why) {
    auto fail = [&](const char* check) {
        if (why) *why = check;
        return false;
    };
    entries.clear();
    const std::uint64_t size = source.Size();
    std::uint8_t magic[8];
    if (size < 8 + 24 + kTrailer || !source.ReadAt(0, magic, 8) ||
        !std::equal(magic, magic + 8, kMagic))
        return fail("it does not start as a journal or is too short");
    const std::uint64_t body = size - 16;
    StreamHash whole;
    if (!HashRange(source, 0, body, whole)) return fail("it cannot be read whole");
    std::uint8_t stored[16];
    if (!source.ReadAt(body, stored, 16) ||
        !(Hash128{GetWord(stored), GetWord(stored + 8)} == whole.Final()))
        return fail("its checksum does not match its bytes");

    Cursor c(source, body);
    if (!c.Skip(8)) return fail("its head is cut short");
    auto device = c.Word();
    auto inode = c.Word();
    if (!device || !inode || !c.Text(head.folder, kMaxFolderPath))
        return fail("its head is cut short or names too long a folder");
    head.device = *device;
    head.inode = *inode;
    std::set<std::string> names;
    for (;;) {
        auto tag = c.Word();
        if (!tag) return fail("it ends before its trailer");
        if (*tag == 0) break;
        if (*tag != 1) return fail("an entry has an unknown tag");
        RewriteJournal::Entry e;
        if (!c.Text(e.name, kMaxName) || !IsPlainName(e.name) || !names.insert(e.name).second)
            return fail("an entry's file name is not a plain name of the folder, or comes twice");
        std::uint64_t* fields[] = {&e.device, &e.inode, &e.oldLength, &e.tailStart, &e.newLength};
        for (auto* f : fields) {
            auto v = c.Word();
            if (!v) return fail("an entry is cut short");
            *f = *v;
        }
        if (e.tailStart > e.oldLength || e.oldLength - e.tailStart > kMaxTail ||
            e.newLength > kMaxTail || e.tailStart > ~0ull - kMaxTail || !c.Hash(e.newTailHash))
            return fail("an entry's lengths are impossible");
        auto count = c.Word();
        if (!count || *count > c.Remaining() / 8 || *count != Stretches(e))
            return fail("an entry's count of stretch hashes does not fit its lengths");
        e.newStretchHashes.resize(static_cast<std::size_t>(*count));
        for (auto& h : e.newStretchHashes) {
            auto v = c.Word();
            if (!v) return fail("an entry's stretch hashes are cut short");
            h = *v;
        }
        const std::uint64_t oldTail = e.oldLength - e.tailStart;
        e.oldTailOffset = c.Position();
        StreamHash oldHash;
        if (oldTail > c.Remaining() || !HashRange(source, e.oldTailOffset, oldTail, oldHash) ||
            !c.Skip(oldTail) || !c.Hash(e.oldTailHash) || !(e.oldTailHash == oldHash.Final()))
            return fail("an entry's old bytes do not match their hash");
        entries.push_back(std::move(e));
    }
    auto count = c.Word();
    if (!count || *count != entries.size() || c.Remaining() != 0)
        return fail("its trailer does not count its entries");
    return true;
}

}  // namespace journal

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
                            std::vector<Entry>& entries, std::string* why) {
    SpanSource source(bytes);
    return DecodeFrom(source, head, entries, why);
}
