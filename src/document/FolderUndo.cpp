#include "document/FolderUndo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/FileError.h"
#include "platform/FileStamp.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/RewriteJournal.h"

// A record is a folder of Place() named by the time of its save (so that names
// sort by time):
//   info            "TKVUNDO1" then lines "KEY VALUE" (time, device, inode, files,
//                   folder, what; backslash and line feed escaped)
//   batch-NNNNNN    a copy of each batch's complete rewrite journal

namespace {

constexpr const char* kMagic = "TKVUNDO1";
constexpr const char* kInfo = "info";
constexpr const char* kBatch = "batch-";
constexpr const char* kPart = ".part";

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '\\' && k + 1 < text.size()) {
            out += text[k + 1] == 'n' ? '\n' : text[k + 1];
            ++k;
        } else {
            out += text[k];
        }
    }
    return out;
}

std::optional<std::uint64_t> Number(const std::string& text) {
    if (text.empty() || text.size() > 20 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
    if (errno == ERANGE) return std::nullopt;
    return v;
}

std::optional<FolderUndo::Record> ReadInfo(const std::string& place, const std::string& id) {
    const auto text = FileSystem::ReadSmallFile(place + "/" + id + "/" + kInfo, 1 << 16);
    if (!text || text->rfind(std::string(kMagic) + "\n", 0) != 0) return std::nullopt;
    FolderUndo::Record r;
    r.id = id;
    bool haveTime = false, haveDevice = false, haveInode = false;
    std::size_t at = std::string(kMagic).size() + 1;
    while (at < text->size()) {
        std::size_t end = text->find('\n', at);
        if (end == std::string::npos) end = text->size();
        const std::string line = text->substr(at, end - at);
        at = end + 1;
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        const std::string key = line.substr(0, space), value = line.substr(space + 1);
        if (key == "folder") {
            r.folder = Unescape(value);
        } else if (key == "what") {
            r.what = Unescape(value);
        } else if (const auto n = Number(value)) {
            if (key == "time") r.time = static_cast<std::int64_t>(*n), haveTime = true;
            if (key == "device") r.device = *n, haveDevice = true;
            if (key == "inode") r.inode = *n, haveInode = true;
            if (key == "files") r.files = static_cast<std::size_t>(*n);
        }
    }
    if (!haveTime || !haveDevice || !haveInode) return std::nullopt;
    return r;
}

// Every record's name in Place(), oldest first.
std::vector<std::string> RecordIds(const std::string& place) {
    std::vector<std::string> ids;
    for (const std::string& name : FileSystem::NamesStartingWith(place, "")) {
        struct stat st {};
        if (name.empty() || name[0] == '.' ||
            ::lstat((place + "/" + name).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        ids.push_back(name);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

void RemoveRecord(const std::string& path) {
    std::error_code ignored;  // a record that stays is only found again
    std::filesystem::remove_all(path, ignored);
}

void WriteWhole(const std::string& path, const std::string& text) {
    RandomAccessFile file;
    file.Open(path, RandomAccessFile::Mode::Create);
    try {
        file.Write(text.data(), text.size());
        file.Flush();
        file.Close();
    } catch (...) {
        file.Abort();
        throw;
    }
}

void Rename(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        const int e = errno;
        ::unlink(from.c_str());
        throw FileError::FromErrno(to, e);
    }
}

std::string NewId() {
    static std::atomic<unsigned> counter{0};
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    char id[64];
    std::snprintf(id, sizeof id, "%016lld-%d-%u", static_cast<long long>(ms),
                  static_cast<int>(::getpid()), counter++);
    return id;
}

}  // namespace

std::string FolderUndo::Place() {
    // Beside the journals' place: .../tkv-editor/journals -> .../tkv-editor/undo
    return FileSystem::FolderOf(RewriteJournal::StateFolder()) + "/undo";
}

FolderUndo::Recorder::Recorder(std::string folder, std::string what)
    : m_strFolder(std::move(folder)) {
    m_record.what = std::move(what);
}

void FolderUndo::Recorder::WriteInfo() {
    std::string text = std::string(kMagic) + "\n";
    text += "time " + std::to_string(m_record.time) + "\n";
    text += "device " + std::to_string(m_record.device) + "\n";
    text += "inode " + std::to_string(m_record.inode) + "\n";
    text += "files " + std::to_string(m_record.files) + "\n";
    text += "folder " + Escape(m_record.folder) + "\n";
    text += "what " + Escape(m_record.what) + "\n";
    const std::string info = m_strPath + "/" + kInfo;
    WriteWhole(info + kPart, text);
    Rename(info + kPart, info);
    FileSystem::FlushFolder(m_strPath);
}

void FolderUndo::Recorder::Keep(RewriteJournal& journal) {
    if (m_strPath.empty()) {
        const std::string place = Place();
        FileSystem::CreateFolders(place);
        const auto stamp = FileStamp::Of(m_strFolder);
        if (!stamp) throw FileError::FromErrno(m_strFolder, errno ? errno : ENOENT);
        // The oldest records go, so that this one makes kKept.
        std::vector<std::string> ids = RecordIds(place);
        for (std::size_t k = 0; k + kKept <= ids.size(); ++k) RemoveRecord(place + "/" + ids[k]);
        m_record.id = NewId();
        m_record.folder = FileSystem::RealPath(m_strFolder);
        m_record.device = stamp->device;
        m_record.inode = stamp->inode;
        m_record.time = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
        const std::string path = place + "/" + m_record.id;
        if (::mkdir(path.c_str(), 0700) != 0) throw FileError::FromErrno(path, errno);
        m_strPath = path;
        try {
            WriteInfo();
        } catch (...) {
            RemoveRecord(m_strPath);
            m_strPath.clear();
            throw;
        }
        FileSystem::FlushFolder(place);
    }
    char name[32];
    std::snprintf(name, sizeof name, "%s%06zu", kBatch, ++m_nBatches);
    const std::string batch = m_strPath + "/" + name;
    journal.CopyTo(batch + kPart);
    Rename(batch + kPart, batch);
    m_record.files += journal.Entries().size();
    WriteInfo();  // flushes the folder with the batch's new name
}

std::vector<FolderUndo::Record> FolderUndo::List(const std::string& folder) {
    std::vector<Record> records;
    const auto stamp = FileStamp::Of(folder);
    if (!stamp) return records;
    const std::string place = Place();
    const std::string real = FileSystem::RealPath(folder);
    std::vector<std::string> ids = RecordIds(place);
    for (auto it = ids.rbegin(); it != ids.rend(); ++it)
        if (auto r = ReadInfo(place, *it); r && r->device == stamp->device &&
                                           r->inode == stamp->inode && r->folder == real)
            records.push_back(std::move(*r));
    return records;
}

std::size_t FolderUndo::Report::Count(Outcome outcome) const {
    return static_cast<std::size_t>(std::count_if(
        files.begin(), files.end(), [outcome](const FileResult& f) { return f.outcome == outcome; }));
}

FolderUndo::Report FolderUndo::UndoLast(const std::string& folder, const Progress& progress) {
    Report report;
    const std::string real = FileSystem::RealPath(folder);
    report.notices = RewriteJournal::Recover(real);
    const std::vector<Record> records = List(real);
    if (records.empty()) return report;
    report.record = records.front();
    const std::string path = Place() + "/" + records.front().id;
    std::size_t done = 0;
    auto tell = [&] {
        ++done;
        if (progress) progress(done, std::max(done, report.record->files));
    };
    for (const std::string& batch : FileSystem::NamesStartingWith(path, kBatch)) {
        if (batch.size() >= 5 && batch.substr(batch.size() - 5) == kPart) continue;
        RewriteJournal journal(real);
        try {
            journal.Adopt(path + "/" + batch);
        } catch (const FileError& e) {
            report.files.push_back({batch, Outcome::Failed,
                                    "its part of the undo record cannot be used: " + e.Cause()});
            report.recordKept = true;
            continue;
        }
        // A file that may be torn keeps the journal on disk for the next open.
        bool keepJournal = false;
        using Settled = RewriteJournal::Settled;
        journal.Settle(
            {RewriteJournal::State::New}, true, [&](const RewriteJournal::FileSettled& s) {
                FileResult result{journal.Entries()[s.index].name, Outcome::Failed, s.cause};
                switch (s.settled) {
                    case Settled::Missing:
                        result.outcome = Outcome::Missing;
                        result.reason.clear();
                        break;
                    case Settled::Replaced:
                        result.outcome = Outcome::ChangedSince;
                        result.reason = "replaced by another file since the save";
                        break;
                    case Settled::RolledBack:
                        result.outcome = Outcome::Restored;
                        break;
                    case Settled::Kept:
                        result.outcome = s.state == RewriteJournal::State::Old
                                             ? Outcome::AsBefore
                                             : Outcome::ChangedSince;
                        if (result.outcome == Outcome::ChangedSince)
                            result.reason = "changed since the save";
                        break;
                    case Settled::Failed:
                        keepJournal = true;
                        report.recordKept = true;
                        break;
                    case Settled::Busy:
                    case Settled::Unopenable:
                        report.recordKept = true;
                        break;
                }
                report.files.push_back(result);
                tell();
            });
        if (keepJournal) continue;  // the journal stays (see RewriteJournal's destructor)
        try {
            journal.Finish(true);
        } catch (const FileError&) {
            // Every file is old or new; the journal left behind is recovered by
            // the next open, which keeps them.
        }
    }
    if (!report.recordKept) RemoveRecord(path);
    return report;
}

std::string FolderUndo::Describe(const Record& record) {
    const std::time_t t = static_cast<std::time_t>(record.time);
    std::tm local{};
    char when[32] = "?";
    if (::localtime_r(&t, &local)) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(when) + " (" + record.what + ", " + std::to_string(record.files) +
           (record.files == 1 ? " file)" : " files)");
}

std::string FolderUndo::Summary(const Report& report) {
    const std::size_t restored = report.Count(Outcome::Restored);
    std::string text = std::to_string(restored) + (restored == 1 ? " file was" : " files were") +
                       " put back as it was before the save.";
    if (const std::size_t before = report.Count(Outcome::AsBefore))
        text += " " + std::to_string(before) + (before == 1 ? " file" : " files") +
                " held what it had before the save already.";
    // Each file not put back by name, up to a screenful; tkvhdr undo lists them all.
    constexpr std::size_t kNamed = 20;
    std::size_t named = 0, unnamed = 0;
    for (const auto& f : report.files) {
        std::string line;
        if (f.outcome == Outcome::ChangedSince)
            line = f.name + ": " + f.reason + "; left alone.";
        else if (f.outcome == Outcome::Missing)
            line = f.name + ": no longer in the folder.";
        else if (f.outcome == Outcome::Failed)
            line = f.name + ": could not be put back (" + f.reason + ").";
        if (line.empty()) continue;
        if (named++ < kNamed)
            text += "\n" + line;
        else
            ++unnamed;
    }
    if (unnamed)
        text += "\n... and " + std::to_string(unnamed) + " more files not put back.";
    if (report.recordKept) text += "\nThe undo can be run again for the files that failed.";
    return text;
}
