#include "platform/RewriteJournal.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "platform/ByteReader.h"
#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"

namespace {

constexpr char kMagic[8] = {'T', 'K', 'V', 'J', 'R', 'N', 'L', '2'};

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ull;

std::uint64_t Rotl(std::uint64_t v, int k) {
    return (v << k) | (v >> (64 - k));
}

std::uint64_t Word(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int k = 7; k >= 0; --k) v = (v << 8) | p[k];
    return v;
}

std::uint64_t Round(std::uint64_t acc, std::uint64_t word) {
    return Rotl(acc + word * kPrime2, 31) * kPrime1;
}

void Put(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

std::optional<std::uint64_t> Get64(ByteReader& r) {
    auto lo = r.ReadLE(4);
    auto hi = r.ReadLE(4);
    if (!lo || !hi) return std::nullopt;
    return *lo | (static_cast<std::uint64_t>(*hi) << 32);
}

bool GetBytes(ByteReader& r, std::vector<std::uint8_t>& out) {
    auto n = Get64(r);
    if (!n || *n > r.Remaining()) return false;  // never more than is really there
    auto s = r.Read(static_cast<std::size_t>(*n));
    out.assign(s->begin(), s->end());
    return true;
}

constexpr const char* kTemporaryPrefix = ".tkvjtmp-";

std::string UniqueName() {
    static std::atomic<unsigned> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(now & 0xFFFFFF);
}

bool IsNoPermission(int e) {
    return e == EACCES || e == EPERM || e == EROFS;
}

// Brings one file to its old or its new state; false when it cannot be done now
// (the file is held by a writer, or an error occurred).
bool RecoverEntry(const RewriteJournal::Entry& entry) {
    if (!FileSystem::Exists(entry.path)) return true;
    try {
        RandomAccessFile file(entry.path, RandomAccessFile::Mode::ReadWrite);
        if (file.Length() == entry.tailStart + entry.newLength) {
            std::vector<std::uint8_t> tail(static_cast<std::size_t>(entry.newLength));
            file.Seek(entry.tailStart);
            if (file.Read(tail.data(), tail.size()) == tail.size() &&
                RewriteJournal::Hash(tail.data(), tail.size()) == entry.newTailHash) {
                file.Close();
                return true;  // the rewrite had completed
            }
        }
        RewriteJournal::RollBack(entry, file);
        file.Close();
        return true;
    } catch (const FileError&) {
        return false;
    }
}

void RecoverJournal(const std::string& path) {
    try {
        RandomAccessFile journal(
            path, RandomAccessFile::Mode::ReadWrite);  // fails while a writer holds it
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(journal.Length()));
        if (journal.Read(bytes.data(), bytes.size()) != bytes.size()) return;
        std::vector<RewriteJournal::Entry> entries;
        bool all = true;
        if (RewriteJournal::Decode(bytes, entries))
            for (const auto& e : entries) all = RecoverEntry(e) && all;
        // A journal cut short was written before any file was touched.
        if (all) FileSystem::RemoveFile(path);
        journal.Close();
    } catch (const std::exception&) {
        // Left for the next open.
    }
}

}  // namespace

RewriteJournal::RewriteJournal(std::string folder) : m_strFolder(std::move(folder)) {}

// Four independent lanes of multiply-rotate rounds over 8-byte words (a checksum
// against torn writes and stale tails, not against an adversary), then the tail
// bytes one at a time and a final avalanche.
std::uint64_t RewriteJournal::Hash(const std::uint8_t* data, std::size_t size) {
    std::uint64_t lane[4] = {kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1};
    std::size_t i = 0;
    for (; size - i >= 32; i += 32)
        for (int k = 0; k < 4; ++k) lane[k] = Round(lane[k], Word(data + i + 8 * k));
    std::uint64_t h = Rotl(lane[0], 1) + Rotl(lane[1], 7) + Rotl(lane[2], 12) + Rotl(lane[3], 18);
    h += size;
    for (; size - i >= 8; i += 8) h = Rotl(h ^ Round(0, Word(data + i)), 27) * kPrime1 + kPrime3;
    for (; i < size; ++i) h = Rotl(h ^ (data[i] * kPrime3), 11) * kPrime1;
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    return h ^ (h >> 32);
}

RewriteJournal::~RewriteJournal() {
    // Not finished: the journal stays on disk for the next open to roll back.
    delete m_pFile;
}

std::vector<std::uint8_t> RewriteJournal::Encode(const std::vector<Entry>& entries) {
    std::size_t size = 8 + 8 + 8;
    for (const auto& e : entries) size += 6 * 8 + e.path.size() + e.oldTail.size();
    std::vector<std::uint8_t> out(kMagic, kMagic + 8);
    out.reserve(size);
    Put(out, entries.size(), 8);
    for (const auto& e : entries) {
        Put(out, e.path.size(), 8);
        out.insert(out.end(), e.path.begin(), e.path.end());
        Put(out, e.oldLength, 8);
        Put(out, e.tailStart, 8);
        Put(out, e.oldTail.size(), 8);
        out.insert(out.end(), e.oldTail.begin(), e.oldTail.end());
        Put(out, e.newLength, 8);
        Put(out, e.newTailHash, 8);
    }
    Put(out, Hash(out.data(), out.size()), 8);
    return out;
}

bool RewriteJournal::Decode(const std::vector<std::uint8_t>& bytes, std::vector<Entry>& entries) {
    entries.clear();
    if (bytes.size() < 8 + 8 + 8 || !std::equal(kMagic, kMagic + 8, bytes.begin())) return false;
    const std::size_t body = bytes.size() - 8;
    ByteReader sum(std::span<const std::uint8_t>(bytes).subspan(body));
    if (Get64(sum) != Hash(bytes.data(), body)) return false;
    ByteReader r(std::span<const std::uint8_t>(bytes).first(body), 8);
    auto count = Get64(r);
    if (!count) return false;
    for (std::uint64_t i = 0; i < *count; ++i) {
        Entry e;
        std::vector<std::uint8_t> path;
        auto ok = GetBytes(r, path);
        auto oldLength = Get64(r);
        auto tailStart = Get64(r);
        if (!ok || !oldLength || !tailStart || !GetBytes(r, e.oldTail)) return false;
        auto newLength = Get64(r);
        auto newTailHash = Get64(r);
        if (!newLength || !newTailHash) return false;
        e.newLength = *newLength;
        e.newTailHash = *newTailHash;
        e.path.assign(path.begin(), path.end());
        e.oldLength = *oldLength;
        e.tailStart = *tailStart;
        entries.push_back(std::move(e));
    }
    return r.Remaining() == 0;
}

std::string RewriteJournal::StateFolder() {
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg)
        return std::string(xdg) + "/tkv-editor/journals";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/state/tkv-editor/journals";
}

void RewriteJournal::Begin() {
    const std::vector<std::uint8_t> bytes = Encode(m_entries);
    // Written and flushed under a temporary name, then renamed: a journal under
    // its real name is always complete (and locked while its writer runs).
    auto write = [&](const std::string& folder) {
        const std::string name = UniqueName();
        const std::string temporary = folder + "/" + kTemporaryPrefix + name;
        const std::string path = folder + "/" + kPrefix + name;
        auto file = std::make_unique<RandomAccessFile>();
        file->Open(temporary, RandomAccessFile::Mode::CreateNew);
        try {
            file->Write(bytes.data(), bytes.size());
            file->Flush();
            if (::rename(temporary.c_str(), path.c_str()) != 0)
                throw FileError::FromErrno(path, errno);
            FileSystem::FlushFolder(folder);
        } catch (...) {
            file->Abort();
            ::unlink(temporary.c_str());
            ::unlink(path.c_str());
            throw;
        }
        m_strJournalPath = path;
        m_pFile = file.release();
    };
    try {
        write(m_strFolder);
    } catch (const FileError& e) {
        if (!IsNoPermission(e.ErrorNumber())) throw;
        // The files' folder cannot hold a journal: the user's state folder can.
        FileSystem::CreateFolders(StateFolder());
        write(StateFolder());
    }
}

void RewriteJournal::Finish(bool flushFileSystem) {
    if (!m_pFile) return;
    if (flushFileSystem && !m_entries.empty()) FileSystem::FlushFileSystem(m_entries.front().path);
    FileSystem::RemoveFile(m_strJournalPath);
    m_pFile->Abort();
    delete m_pFile;
    m_pFile = nullptr;
}

void RewriteJournal::RollBack(const Entry& entry, RandomAccessFile& file) {
    file.Seek(entry.tailStart);
    file.Write(entry.oldTail.data(), entry.oldTail.size());
    file.SetLength(entry.oldLength);
    file.Flush();
}

void RewriteJournal::Recover(const std::string& folder) {
    for (const std::string& dir : {folder, StateFolder()}) {
        for (const auto& name : FileSystem::NamesStartingWith(dir, kPrefix))
            RecoverJournal(dir + "/" + name);
        // A journal that never got its real name was left before any file changed.
        for (const auto& name : FileSystem::NamesStartingWith(dir, kTemporaryPrefix)) {
            try {
                RandomAccessFile stale(dir + "/" + name, RandomAccessFile::Mode::ReadWrite);
                FileSystem::RemoveFile(dir + "/" + name);
            } catch (const std::exception&) {
            }
        }
    }
}
