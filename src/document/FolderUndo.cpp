#include "document/FolderUndo.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <tuple>

#include "platform/FileError.h"
#include "platform/FileStamp.h"
#include "platform/FileSystem.h"
#include "platform/PathText.h"
#include "platform/RandomAccessFile.h"
#include "platform/RewriteJournal.h"

// A record is a folder of Place() (made as ".new-ID" and renamed to ID once its
// info is in place):
//   info            "TKVUNDO2", then one line each, in this order (backslash and
//                   line feed escaped in text):
//                     time SECONDS NANOSECONDS
//                     device N / inode N     the files' folder
//                     folder PATH / what TEXT
//                     batch K FILES          for K = 1, 2, ...: each batch declared
//                     name K NAME            the files of batch K while its copy
//                                            is not in place
//   batch-NNNNNN    a copy of batch K's complete rewrite journal
// A record is removed by renaming it to ".gone-ID" first, so that a removal cut
// short never leaves a record that looks smaller than it was.

namespace {

constexpr const char* kMagic = "TKVUNDO2";
constexpr const char* kInfo = "info";
constexpr const char* kPart = ".part";
constexpr const char* kNew = ".new-";
constexpr const char* kGone = ".gone-";
constexpr std::size_t kMaxInfo = 4u << 20;  // a batch's names, with room to spare
constexpr std::size_t kMaxName = 255;

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

// Nothing when `text` holds a lone backslash or one before anything but "\\" or "n".
std::optional<std::string> Unescape(const std::string& text) {
    std::string out;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] != '\\') {
            out += text[k];
            continue;
        }
        if (k + 1 >= text.size() || (text[k + 1] != '\\' && text[k + 1] != 'n'))
            return std::nullopt;
        out += text[++k] == 'n' ? '\n' : '\\';
    }
    return out;
}

std::optional<std::uint64_t> Number(const std::string& text) {
    if (text.empty() || text.size() > 19 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::strtoull(text.c_str(), nullptr, 10);
}

bool IsPlainName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxName && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

std::string BatchName(std::size_t k) {
    char name[32];
    std::snprintf(name, sizeof name, "batch-%06zu", k);
    return name;
}

std::string InfoText(const FolderUndo::Record& r, bool withNames) {
    std::string text = std::string(kMagic) + "\n";
    text += "time " + std::to_string(r.time) + " " + std::to_string(r.nanos) + "\n";
    text += "device " + std::to_string(r.device) + "\n";
    text += "inode " + std::to_string(r.inode) + "\n";
    text += "folder " + Escape(r.folder) + "\n";
    text += "what " + Escape(r.what) + "\n";
    for (std::size_t k = 0; k < r.batches.size(); ++k)
        text += "batch " + std::to_string(k + 1) + " " + std::to_string(r.batches[k].files) + "\n";
    if (withNames)
        for (std::size_t k = 0; k < r.batches.size(); ++k)
            for (const std::string& name : r.batches[k].names)
                text += "name " + std::to_string(k + 1) + " " + Escape(name) + "\n";
    return text;
}

// The info's fields; nothing unless it is complete and well formed, every line
// in its place and every field within its bounds.
std::optional<FolderUndo::Record> ParseInfo(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) return std::nullopt;  // cut short
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    if (lines.size() < 7 || lines[0] != kMagic) return std::nullopt;
    auto field = [&](std::size_t k, const char* key) -> std::optional<std::string> {
        const std::string prefix = std::string(key) + " ";
        if (lines[k].rfind(prefix, 0) != 0) return std::nullopt;
        return lines[k].substr(prefix.size());
    };
    FolderUndo::Record r;
    const auto time = field(1, "time");
    const auto device = field(2, "device");
    const auto inode = field(3, "inode");
    const auto folder = field(4, "folder");
    const auto what = field(5, "what");
    if (!time || !device || !inode || !folder || !what) return std::nullopt;
    const std::size_t space = time->find(' ');
    if (space == std::string::npos) return std::nullopt;
    const auto seconds = Number(time->substr(0, space));
    const auto nanos = Number(time->substr(space + 1));
    const auto dev = Number(*device);
    const auto ino = Number(*inode);
    auto path = Unescape(*folder);
    auto text_ = Unescape(*what);
    if (!seconds || !nanos || *nanos >= 1000000000 || !dev || !ino || !path || path->empty() ||
        !PathOf(*path).is_absolute() || !text_)
        return std::nullopt;
    r.time = static_cast<std::int64_t>(*seconds);
    r.nanos = static_cast<std::uint32_t>(*nanos);
    r.device = *dev;
    r.inode = *ino;
    r.folder = std::move(*path);
    r.what = std::move(*text_);
    std::size_t k = 6;
    for (; k < lines.size() && lines[k].rfind("batch ", 0) == 0; ++k) {
        const std::string rest = lines[k].substr(6);
        const std::size_t sp = rest.find(' ');
        if (sp == std::string::npos) return std::nullopt;
        const auto index = Number(rest.substr(0, sp));
        const auto files = Number(rest.substr(sp + 1));
        if (!index || *index != r.batches.size() + 1 || !files || *files == 0 || *files > kMaxInfo)
            return std::nullopt;
        FolderUndo::Batch b;
        b.files = static_cast<std::size_t>(*files);
        r.files += b.files;
        r.batches.push_back(std::move(b));
    }
    if (r.batches.empty()) return std::nullopt;
    for (; k < lines.size(); ++k) {
        if (lines[k].rfind("name ", 0) != 0) return std::nullopt;
        const std::string rest = lines[k].substr(5);
        const std::size_t sp = rest.find(' ');
        if (sp == std::string::npos) return std::nullopt;
        const auto index = Number(rest.substr(0, sp));
        auto name = Unescape(rest.substr(sp + 1));
        if (!index || *index == 0 || *index > r.batches.size() || !name || !IsPlainName(*name))
            return std::nullopt;
        auto& b = r.batches[static_cast<std::size_t>(*index - 1)];
        if (b.names.size() >= b.files) return std::nullopt;
        b.names.push_back(std::move(*name));
    }
    return r;
}

std::string NotTrusted(const std::string& path) {
    return path +
           " is not an undo record of yours (another user owns it, others may write it or "
           "its folder, or it is not a plain file); it was not undone and was left in place.";
}

// The record `id` of `place`, when it is trusted; otherwise nothing, and `why`
// says so. The place itself was found private, so nobody else can change the
// names checked here between the look and the use.
std::optional<FolderUndo::Record> ReadRecord(const std::string& place, const std::string& id,
                                             std::string& why) {
    const std::string path = place + "/" + id;
    using Kind = FileSystem::Look::Kind;
    FileSystem::Look st = FileSystem::LookAt(path);
    if (st.kind == Kind::None) return std::nullopt;  // gone meanwhile
    if (st.kind != Kind::Folder || !st.trusted) {
        why = NotTrusted(path);
        return std::nullopt;
    }
    const std::string info = path + "/" + kInfo;
    st = FileSystem::LookAt(info);
    if (st.kind != Kind::None && (st.kind != Kind::File || !st.trusted)) {
        why = NotTrusted(path);
        return std::nullopt;
    }
    const auto text = FileSystem::ReadSmallFile(info, kMaxInfo);
    auto record = text ? ParseInfo(*text) : std::nullopt;
    if (!record) {
        why = path + " is not a complete undo record; it was not undone and was left in place.";
        return std::nullopt;
    }
    record->id = id;
    for (std::size_t k = 0; k < record->batches.size(); ++k) {
        const std::string batch = path + "/" + BatchName(k + 1);
        st = FileSystem::LookAt(batch);
        if (st.kind == Kind::None) {
            if (st.error == ENOENT) continue;  // its copy failed: the record lacks its files
            why = path + " cannot be read (" + FileError::FromErrno(batch, st.error).Cause() +
                  "); it was not undone and was left in place.";
            return std::nullopt;
        }
        if (st.kind != Kind::File || !st.trusted) {
            why = NotTrusted(path);
            return std::nullopt;
        }
        record->batches[k].kept = true;
    }
    return record;
}

// Every trusted record, newest first by the time it holds; the others named in
// `notices`. Throws FileError when the place cannot be listed.
std::vector<FolderUndo::Record> AllRecords(std::vector<std::string>* notices) {
    std::vector<FolderUndo::Record> records;
    const std::string place = FolderUndo::Place();
    auto tell = [&](const std::string& text) {
        if (notices) notices->push_back(text);
    };
    if (place.empty()) {
        tell(
            "No undo records are kept: neither XDG_STATE_HOME nor HOME is set, so there is "
            "no private state folder.");
        return records;
    }
    if (const auto st = FileSystem::LookAt(place);
        st.kind == FileSystem::Look::Kind::None && st.error == ENOENT)
        return records;  // none made yet
    if (!FileSystem::IsPrivateFolder(place)) {
        tell(place +
             " is not a private folder (another user owns it or may write to it, or a folder "
             "above it); no undo record in it was used, and it was left in place.");
        return records;
    }
    std::vector<std::string> names;
    try {
        names = FileSystem::ListNames(place);
    } catch (const FileError& e) {
        throw FileError(place, "The undo records cannot be read (" + e.Cause() + ").",
                        e.ErrorNumber());
    }
    for (const std::string& name : names) {
        if (name[0] == '.') continue;  // being made or removed
        std::string why;
        if (auto r = ReadRecord(place, name, why))
            records.push_back(std::move(*r));
        else if (!why.empty())
            tell(why);
    }
    std::sort(records.begin(), records.end(), [](const auto& x, const auto& y) {
        return std::tie(x.time, x.nanos, x.id) > std::tie(y.time, y.nanos, y.id);
    });
    return records;
}

// Removes a record: renamed out of sight first, so that a removal cut short
// leaves no record that looks smaller than it was. False when it stays.
bool RemoveRecord(const std::string& place, const std::string& id) {
    const std::string gone = place + "/" + kGone + id;
    try {
        FileSystem::Rename(place + "/" + id, gone);
    } catch (const FileError&) {
        return false;
    }
    std::error_code ignored;  // what is left out of sight goes with the next save
    std::filesystem::remove_all(PathOf(gone), ignored);
    try {
        FileSystem::FlushFolder(place);
    } catch (const FileError&) {
    }
    return true;
}

// The process that makes a record named `id` (see NewId) is gone.
bool MakerGone(const std::string& id) {
    const std::size_t dash = id.find('-');
    const std::size_t end = id.find('-', dash + 1);
    if (dash == std::string::npos || end == std::string::npos) return false;
    const auto pid = Number(id.substr(dash + 1, end - dash - 1));
    return pid && *pid > 0 && *pid < (1u << 31) && FileSystem::ProcessGone(static_cast<long>(*pid));
}

// What a removal, a given-up record or a save killed while it made its record
// left out of sight: removed when it is the user's own (and its maker is gone).
void RemoveLeftovers(const std::string& place) {
    std::vector<std::string> names;
    try {
        names = FileSystem::ListNames(place);
    } catch (const FileError&) {
        return;
    }
    for (const std::string& name : names) {
        if (name.rfind(kGone, 0) != 0 &&
            (name.rfind(kNew, 0) != 0 || !MakerGone(name.substr(std::string(kNew).size()))))
            continue;
        const std::string path = place + "/" + name;
        std::error_code ignored;
        if (const auto st = FileSystem::LookAt(path);
            st.kind == FileSystem::Look::Kind::Folder && st.trusted)
            std::filesystem::remove_all(PathOf(path), ignored);
    }
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
    try {
        FileSystem::Rename(from, to);
    } catch (const FileError&) {
        FileSystem::RemoveQuietly(from);
        throw;
    }
}

std::string NewId(std::int64_t seconds, std::uint32_t nanos) {
    static std::atomic<unsigned> counter{0};
    char id[96];
    std::snprintf(id, sizeof id, "%016lld%09u-%d-%u", static_cast<long long>(seconds), nanos,
                  static_cast<int>(FileSystem::ProcessId()), counter++);
    return id;
}

}  // namespace

namespace {

// The files of batch `number` (from 1), which the record lacks: by name, or
// counted where the names were not recorded.
std::vector<std::string> LackingOf(const FolderUndo::Batch& b, std::size_t number) {
    if (b.names.size() == b.files) return b.names;
    return {std::to_string(b.files) + (b.files == 1 ? " file" : " files") + " of batch " +
            std::to_string(number) + " (not named in the record)"};
}

}  // namespace

std::vector<std::string> FolderUndo::Record::Lacking() const {
    std::vector<std::string> out;
    for (std::size_t k = 0; k < batches.size(); ++k)
        if (!batches[k].kept)
            for (std::string& name : LackingOf(batches[k], k + 1)) out.push_back(std::move(name));
    return out;
}

std::size_t FolderUndo::Record::Kept() const {
    std::size_t n = 0;
    for (const Batch& b : batches)
        if (b.kept) n += b.files;
    return n;
}

std::string FolderUndo::Place() {
    const auto state = FileSystem::StateFolder();
    return state ? *state + "/undo" : std::string();
}

FolderUndo::Recorder::Recorder(std::string folder, std::string what)
    : m_strFolder(std::move(folder)) {
    m_record.what = std::move(what);
}

void FolderUndo::Recorder::WriteInfo() {
    std::string text = InfoText(m_record, true);
    // Names beyond the bound are left out: the undo then counts those files.
    if (text.size() > kMaxInfo) text = InfoText(m_record, false);
    const std::string info = m_strPath + "/" + kInfo;
    WriteWhole(info + kPart, text);
    Rename(info + kPart, info);
    FileSystem::FlushFolder(m_strPath);
}

void FolderUndo::Recorder::Start() {
    const std::string place = Place();
    if (place.empty())
        throw FileError("$HOME",
                        "neither XDG_STATE_HOME nor HOME is set, so there is no private state "
                        "folder: no undo record is kept");
    FileSystem::CreateFolders(place);
    if (!FileSystem::IsPrivateFolder(place))
        throw FileError(place,
                        "the folder is not private (another user owns it or may write to it, or "
                        "a folder above it): no undo record is kept there");
    const auto stamp = FileStamp::Of(m_strFolder);
    if (!stamp) throw FileError::FromErrno(m_strFolder, errno ? errno : ENOENT);
    // The oldest records go, so that this one makes kKept.
    RemoveLeftovers(place);
    const std::vector<Record> records = AllRecords(nullptr);
    for (std::size_t k = kKept - 1; k < records.size(); ++k) RemoveRecord(place, records[k].id);
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now);
    m_record.time = seconds.count();
    m_record.nanos = static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(now - seconds).count());
    m_record.id = NewId(m_record.time, m_record.nanos);
    m_record.folder = FileSystem::RealPath(m_strFolder);
    m_record.device = stamp->device;
    m_record.inode = stamp->inode;
    // Made out of sight and shown whole: a record without its info is never seen.
    const std::string made = place + "/" + kNew + m_record.id;
    FileSystem::MakeFolder(made);
    m_strPath = made;
    WriteInfo();
    const std::string path = place + "/" + m_record.id;
    FileSystem::Rename(made, path);
    m_strPath = path;
    FileSystem::FlushFolder(place);
}

void FolderUndo::Recorder::GiveUp() noexcept {
    if (m_strPath.empty()) return;
    const std::string place = FileSystem::FolderOf(m_strPath);
    const std::string id = FileSystem::DisplayName(m_strPath);
    if (id.rfind(kNew, 0) == 0) {
        std::error_code ignored;
        std::filesystem::remove_all(PathOf(m_strPath), ignored);
    } else if (!RemoveRecord(place, id)) {
        // Without its info the record is never undone: it is named as incomplete.
        FileSystem::RemoveQuietly(m_strPath + "/" + kInfo);
    }
    m_strPath.clear();
}

void FolderUndo::Recorder::Keep(RewriteJournal& journal) {
    if (m_failure) throw *m_failure;
    Batch batch;
    batch.files = journal.Entries().size();
    for (const auto& e : journal.Entries()) batch.names.push_back(e.name);
    m_record.batches.push_back(std::move(batch));
    m_record.files += m_record.batches.back().files;
    // The record names the batch's files before anything else: should the copy
    // fail, an undo still knows which files it cannot put back.
    try {
        if (m_strPath.empty())
            Start();
        else
            WriteInfo();
    } catch (const FileError& e) {
        GiveUp();
        m_failure = e;
        throw;
    }
    const std::string path = m_strPath + "/" + BatchName(m_record.batches.size());
    try {
        journal.CopyTo(path + kPart);
        Rename(path + kPart, path);
    } catch (const FileError& e) {
        throw FileError(e.Path(),
                        e.Cause() +
                            "; the record names this batch's files, and an undo puts "
                            "back the others only when asked",
                        e.ErrorNumber());
    }
    // The copy holds the names now. When the info cannot say so, the names it
    // holds are only never needed; the folder is flushed all the same.
    m_record.batches.back().names.clear();
    try {
        WriteInfo();
    } catch (const FileError&) {
        try {
            FileSystem::FlushFolder(m_strPath);
        } catch (const FileError&) {
            // After a crash the copy may be gone: the record names its files.
        }
    }
}

std::vector<FolderUndo::Record> FolderUndo::List(const std::string& folder,
                                                 std::vector<std::string>* notices) {
    std::vector<Record> records;
    const auto stamp = FileStamp::Of(folder);
    if (!stamp) return records;
    const std::string real = FileSystem::RealPath(folder);
    for (Record& r : AllRecords(notices))
        if (r.device == stamp->device && r.inode == stamp->inode && r.folder == real)
            records.push_back(std::move(r));
    return records;
}

std::size_t FolderUndo::Report::Count(Outcome outcome) const {
    return static_cast<std::size_t>(
        std::count_if(files.begin(), files.end(),
                      [outcome](const FileResult& f) { return f.outcome == outcome; }));
}

bool FolderUndo::Report::Complete() const {
    return record && !declined && !files.empty() &&
           Count(Outcome::Restored) + Count(Outcome::AsBefore) == files.size();
}

FolderUndo::Report FolderUndo::UndoLast(const std::string& folder, const Progress& progress,
                                        const ConfirmPartial& confirmPartial) {
    Report report;
    const std::string real = FileSystem::RealPath(folder);
    report.notices = RewriteJournal::Recover(real);
    const std::vector<Record> records = List(real, &report.notices);
    if (records.empty()) return report;
    report.record = records.front();
    const Record& record = *report.record;
    if (!record.Lacking().empty() && !(confirmPartial && confirmPartial(record))) {
        report.declined = true;
        return report;
    }
    const std::string place = Place();
    const std::string path = place + "/" + record.id;
    std::size_t done = 0;
    auto tell = [&] {
        ++done;
        if (progress) progress(done, std::max(done, record.files));
    };
    for (std::size_t b = 0; b < record.batches.size(); ++b) {
        if (!record.batches[b].kept) {
            for (std::string& name : LackingOf(record.batches[b], b + 1)) {
                report.files.push_back({std::move(name), Outcome::NotRecorded,
                                        "the undo record lacks what it held before the save"});
                tell();
            }
            continue;
        }
        const std::string batch = BatchName(b + 1);
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
    if (!report.recordKept && !RemoveRecord(place, record.id)) report.recordKept = true;
    return report;
}

std::string FolderUndo::Describe(const Record& record) {
    const std::time_t t = static_cast<std::time_t>(record.time);
    std::tm local{};
    char when[32] = "?";
#ifdef _WIN32
    const bool known = ::localtime_s(&local, &t) == 0;
#else
    const bool known = ::localtime_r(&t, &local) != nullptr;
#endif
    if (known) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    const std::size_t kept = record.Kept();
    return std::string(when) + " (" + record.what + ", " +
           (kept == record.files ? "" : std::to_string(kept) + " of ") +
           std::to_string(record.files) + (record.files == 1 ? " file)" : " files)");
}

std::string FolderUndo::DescribeLacking(const Record& record, std::size_t named) {
    const std::vector<std::string> lacking = record.Lacking();
    const std::size_t lacked = record.files - record.Kept();
    std::string text = "The undo record of the folder save of " + Describe(record) +
                       " lacks what " + std::to_string(lacked) +
                       (lacked == 1 ? " file" : " files") +
                       " held before the save (the copy of its old bytes failed), so " +
                       (lacked == 1 ? "it cannot be put back:" : "they cannot be put back:");
    for (std::size_t k = 0; k < lacking.size() && k < named; ++k) text += "\n" + lacking[k];
    if (lacking.size() > named)
        text += "\n... and " + std::to_string(lacking.size() - named) + " more.";
    return text;
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
        else if (f.outcome == Outcome::NotRecorded)
            line = f.name + ": " + f.reason + "; left as it is.";
        else if (f.outcome == Outcome::Failed)
            line = f.name + ": could not be put back (" + f.reason + ").";
        if (line.empty()) continue;
        if (named++ < kNamed)
            text += "\n" + line;
        else
            ++unnamed;
    }
    if (unnamed) text += "\n... and " + std::to_string(unnamed) + " more files not put back.";
    if (report.recordKept) text += "\nThe undo can be run again for the files that failed.";
    return text;
}
