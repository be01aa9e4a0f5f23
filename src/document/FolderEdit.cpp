#include "document/FolderEdit.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "document/FolderUndo.h"
#include "format/BlockPath.h"
#include "format/HeaderError.h"
#include "format/HeaderFile.h"
#include "platform/AlreadyReported.h"
#include "platform/FileError.h"
#include "platform/FileStamp.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/RewriteJournal.h"
#include "platform/UserMessages.h"

std::string FolderEdit::ReasonOf(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const AlreadyReported& e) {
        return e.Message();
    } catch (const FileError& e) {
        return e.Cause();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

// How many files a batch holds open at once: a share of the open-file limit,
// which is first raised to its maximum where the system allows.
static std::size_t BatchSize() {
    const std::size_t limit = FileSystem::OpenFileLimit();
    if (limit == 0) return 64;
    const std::size_t usable = limit > 128 ? (limit - 64) / 2 : 16;
    return std::clamp<std::size_t>(usable, 16, 4096);
}

bool FolderEdit::Report::AllSucceeded() const {
    if (!listingError.empty()) return false;
    for (const auto& f : files)
        if (f.outcome == Outcome::Failed) return false;
    return true;
}

bool FolderEdit::Report::AnySkipped() const {
    for (const auto& f : files)
        if (f.outcome == Outcome::SkippedReadOnly) return true;
    return false;
}

std::vector<std::uint8_t> FolderEdit::MergePendingEntries(const HeaderNode& root,
                                                          std::span<const std::uint8_t> oldBlock) {
    BlockPath::BlockBuffer buffer;
    if (!oldBlock.empty()) {
        auto stored = BlockPath::BlockBuffer::FromBlock(oldBlock);
        if (!stored) throw HeaderError("The stored Extended Header does not decode.");
        buffer = std::move(*stored);
    }
    if (!EncodeEntries(root, buffer, true)) throw HeaderError("A pending entry cannot be set.");
    return buffer.ToBlock();
}

namespace {

using Outcome = FolderEdit::Outcome;
using Report = FolderEdit::Report;
using FileResult = FolderEdit::FileResult;
using Progress = FolderEdit::Progress;

// One planned file of a batch.
struct BatchItem {
    std::size_t result;  // its place in the report
    RandomAccessFile& file;
    const RewritePlan& plan;
};

// Opens (and, to write, locks) a file the listing found, as it found it:
// relative to the folder's own descriptor, never through a link put there since
// (a link the listing resolved is opened by the name of its file in the folder),
// and only when the open descriptor is that very file. Returns why the file is
// left out, or nothing when it is open; throws FileError on other failures.
std::optional<std::string> OpenListed(RandomAccessFile& file, const FileSystem::FolderEntry& entry,
                                      const FileSystem::Folder* folder, RandomAccessFile::Mode mode,
                                      UserMessages& messages) {
    if (entry.device == 0 && entry.inode == 0) {  // named by the caller, not listed
        file.Open(entry.path, mode);
        return std::nullopt;
    }
    if (!folder) throw FileError(entry.path, "Its folder cannot be opened.");
    try {
        file.OpenInFolder(folder->Handle(), entry.openName.empty() ? entry.name : entry.openName,
                          entry.path, mode, {false, true});
    } catch (const FileError& e) {
        if (e.ErrorNumber() == ELOOP) return "a link now, put there after the folder was read";
        if (e.ErrorNumber() == ENOENT) return "gone since the folder was read";
        throw;
    }
    const FileStamp now = file.Stamp();
    if (now.device != entry.device || now.inode != entry.inode) {
        file.Abort();
        return "another file now, put there after the folder was read";
    }
    // Reached through a link, only a sample file is written: a rewrite would give
    // any other file (an archive, a table) a header at its end.
    if (entry.link) {
        StandardHeader record;
        if (!ReadStandardHeader(file, record, false, true, messages) || !record.HasMagic()) {
            file.Abort();
            return "a link to a file that is no sample file";
        }
    }
    return std::nullopt;
}

void WriteBatch(const std::string& folder, std::size_t count,
                const std::function<BatchItem(std::size_t)>& item, const RewriteOptions& options,
                FolderUndo::Recorder* undo, Report& report,
                const std::function<void(std::size_t, const std::string&)>& fail) {
    RewriteJournal journal(FileSystem::RealPath(folder));
    bool journalled = true;
    try {
        journal.Open();
        for (std::size_t k = 0; k < count; ++k) {
            const BatchItem it = item(k);
            journal.Add(it.file, it.plan.position, it.plan.NewTail());
        }
        journal.Commit();
    } catch (const NoJournalPlace& e) {
        if (!options.writeWithoutJournal || !options.writeWithoutJournal(e)) {
            for (std::size_t k = 0; k < count; ++k)
                fail(item(k).result, e.Cause() + " The file was left as it was.");
            return;
        }
        journalled = false;
    } catch (const std::exception& e) {
        const FileError* fe = dynamic_cast<const FileError*>(&e);
        const std::string cause = fe ? fe->Cause() + " (" + fe->Path() + ")" : e.what();
        for (std::size_t k = 0; k < count; ++k)
            fail(item(k).result,
                 "the rewrite journal cannot be written: " + cause + "; left as it was");
        return;
    }
    // The undo record takes the journal before any file changes. Where it cannot
    // be kept the files are written all the same (the journal still guards them)
    // and the user is told once that this save cannot be undone.
    auto noUndo = [&](const std::string& why) {
        const std::string notice = "This save cannot be undone: " + why;
        if (std::find(report.notices.begin(), report.notices.end(), notice) == report.notices.end())
            report.notices.push_back(notice);
    };
    if (undo && !journalled) noUndo("files written without a rewrite journal keep no undo record.");
    if (undo && journalled) {
        try {
            undo->Keep(journal);
        } catch (const FileError& e) {
            noUndo("its undo record cannot be kept (" + e.Cause() + ", " + e.Path() + ").");
        }
    }
    bool keepJournal = false;  // a file may be torn: the journal must stay for the next open
    std::vector<std::size_t> written;
    for (std::size_t k = 0; k < count; ++k) {
        BatchItem it = item(k);
        RandomAccessFile& file = it.file;
        try {
            CommitRewrite(file, it.plan);
            if (!journalled) file.Flush();  // no journal: each file reaches the disk in turn
            file.Close();
            written.push_back(it.result);
            continue;
        } catch (const std::exception& e) {
            const FileError* fe = dynamic_cast<const FileError*>(&e);
            const std::string cause = fe ? fe->Cause() : e.what();
            // What does the file hold now? A torn file is put back from the
            // journal (still under this batch's lock), as recovery would.
            if (journalled) {
                using Settled = RewriteJournal::Settled;
                const RewriteJournal::FileSettled s =
                    journal.SettleOne(k, {RewriteJournal::State::Torn}, true, &file);
                file.Abort();
                if (s.settled == Settled::RolledBack ||
                    (s.settled == Settled::Kept && s.state == RewriteJournal::State::Old)) {
                    fail(it.result, cause + "; left as it was");
                } else if (s.settled == Settled::Kept && s.state == RewriteJournal::State::New) {
                    written.push_back(it.result);
                    report.files[it.result].note = "written, but not confirmed on disk: " + cause;
                } else {
                    keepJournal = true;
                    fail(it.result, cause + "; the next open puts it back as it was");
                }
            } else {
                file.Abort();
                fail(it.result, cause + "; written without a journal, it may be damaged");
            }
        }
    }
    if (!journalled) {
        for (std::size_t r : written)
            if (report.files[r].note.empty()) report.files[r].note = "written without a journal";
        return;
    }
    if (keepJournal) return;  // the journal stays on disk (see RewriteJournal's destructor)
    try {
        journal.Finish(true);
    } catch (const FileError& e) {
        // The files hold their new bytes; the journal stays, and the next open
        // keeps them (or puts back any the disk lost).
        for (std::size_t r : written)
            if (report.files[r].note.empty())
                report.files[r].note = "written, but not confirmed on disk: " + e.Cause();
    }
}

void ApplyToEntries(const FolderEdit::MakerFor& makerFor, const std::string& folder,
                    std::vector<FileSystem::FolderEntry> entries, UserMessages& messages,
                    bool dryRun, const Progress& progress, const RewriteOptions& options,
                    Report& report) {
    // One file under several names is rewritten once; its other names go with its result.
    std::vector<std::vector<std::string>> aliases;
    entries = FolderEdit::OneEntryPerFile(std::move(entries), &aliases);
    CWaitCursor wait(messages);
    // Files go in batches, each with one journal and one flush of the file system:
    // every file of a batch is opened (and locked) and planned, the batch's journal
    // is written, then every file is rewritten and closed. A batch is cut by the
    // open-file limit and by the bytes its plans hold.
    const std::size_t batch = BatchSize();
    struct Planned {
        std::size_t result;
        std::unique_ptr<RandomAccessFile> file;
        RewritePlan plan;
    };
    auto fail = [&](std::size_t index, const std::string& reason) {
        report.files[index].outcome = Outcome::Failed;
        report.files[index].reason = reason;
        report.files[index].record.reset();
    };
    // A file is done when its outcome is final: skipped or left unchanged when it
    // is planned, rewritten (or failed) when its batch is written.
    std::size_t done = 0;
    auto tell = [&](std::size_t n) {
        done += n;
        if (progress) progress(done, entries.size());
    };
    std::optional<FolderUndo::Recorder> undo;  // one record for every batch of the save
    std::optional<FileSystem::Folder> dir;     // the listed files are opened relative to it
    try {
        dir.emplace(folder);
    } catch (const FileError&) {
        // Each listed file then fails, saying so.
    }
    for (std::size_t next = 0; next < entries.size();) {
        std::vector<Planned> planned;
        std::uint64_t bytes = 0;
        while (next < entries.size() && planned.size() < batch && bytes < FolderEdit::kBatchBytes) {
            const auto& entry = entries[next];
            FileResult result;
            result.path = entry.path;
            result.aliases = aliases[next];
            ++next;
            if (entry.readOnly) {
                result.outcome = Outcome::SkippedReadOnly;
                report.files.push_back(result);
                tell(1);
                continue;
            }
            auto file = std::make_unique<RandomAccessFile>();
            bool toWrite = false;  // done only once its batch is written
            try {
                // Opened and locked first: what is planned below is what the file
                // holds under the lock (another writer's changes included).
                if (const auto why = OpenListed(
                        *file, entry, dir ? &*dir : nullptr,
                        dryRun ? RandomAccessFile::Mode::Read : RandomAccessFile::Mode::ReadWrite,
                        messages)) {
                    report.leftOut.push_back({entry.name, *why});
                    tell(1);
                    continue;
                }
                const BlockMaker maker = makerFor(entry.path);
                RewritePlan plan = PrepareRewrite(*file, false, true, maker, messages, options);
                result.record = plan.record;
                result.outcome = plan.unchanged ? Outcome::Unchanged : Outcome::Updated;
                toWrite = !plan.unchanged && !dryRun;
                if (toWrite) {
                    bytes += plan.block.size();
                    planned.push_back({report.files.size(), std::move(file), std::move(plan)});
                }
            } catch (...) {
                result.reason = FolderEdit::ReasonOf(std::current_exception());
            }
            report.files.push_back(result);
            if (!toWrite) tell(1);
        }
        if (planned.empty()) continue;
        if (!dryRun && !options.undoWhat.empty() && !undo) undo.emplace(folder, options.undoWhat);
        WriteBatch(
            folder, planned.size(),
            [&](std::size_t k) -> BatchItem {
                return {planned[k].result, *planned[k].file, planned[k].plan};
            },
            options, undo ? &*undo : nullptr, report, fail);
        for (std::size_t k = 0; k < planned.size(); ++k) tell(1);
    }
}

}  // namespace

namespace {
// Every file gets the pending entries of one tree.
FolderEdit::MakerFor PendingMaker(const HeaderNode& root) {
    return [&root](const std::string&) -> BlockMaker {
        return [&root](std::span<const std::uint8_t> old, const StandardHeader&) {
            return EncodedBlock(FolderEdit::MergePendingEntries(root, old));
        };
    };
}
}  // namespace

FolderEdit::Report FolderEdit::ApplyToFiles(const MakerFor& makerFor, const std::string& folder,
                                            std::vector<FileSystem::FolderEntry> entries,
                                            UserMessages& messages, bool dryRun,
                                            const Progress& progress,
                                            const RewriteOptions& options) {
    Report report;
    report.notices = RewriteJournal::Recover(FileSystem::RealPath(folder));
    ApplyToEntries(makerFor, folder, std::move(entries), messages, dryRun, progress, options,
                   report);
    return report;
}

FolderEdit::FileResult FolderEdit::ApplyToFile(const HeaderNode& root, const std::string& path,
                                               UserMessages& messages, bool dryRun,
                                               const RewriteOptions& options) {
    std::vector<FileSystem::FolderEntry> one{{path, FileSystem::DisplayName(path), false}};
    Report report;
    report.notices = RewriteJournal::Recover(FileSystem::FolderOf(FileSystem::RealPath(path)));
    ApplyToEntries(PendingMaker(root), FileSystem::FolderOf(path), one, messages, dryRun, {},
                   options, report);
    for (const auto& notice : report.notices) report.files.front().note += notice + " ";
    return report.files.front();
}

std::size_t FolderEdit::Report::Count(Outcome outcome) const {
    std::size_t n = 0;
    for (const auto& f : files) n += f.outcome == outcome;
    return n;
}

std::vector<FileSystem::FolderEntry> FolderEdit::FilesLike(
    const std::string& path, std::vector<FileSystem::LeftOut>* leftOut) {
    const std::string extension = FileSystem::ExtensionOf(path);
    if (!extension.empty())
        return FileSystem::ListFiles(FileSystem::FolderOf(path), extension, leftOut);
    std::vector<FileSystem::FolderEntry> alone;
    if (auto a = FileSystem::GetAttributes(path); a && !a->directory)
        alone.push_back({path, FileSystem::DisplayName(path), a->readOnly});
    return alone;
}

FolderEdit::Report FolderEdit::ApplyToFolder(const HeaderNode& root, const std::string& path,
                                             UserMessages& messages, bool dryRun,
                                             const Progress& progress,
                                             const RewriteOptions& options) {
    Report report;
    const std::string folder = FileSystem::FolderOf(path);
    report.notices = RewriteJournal::Recover(FileSystem::RealPath(folder));
    std::vector<FileSystem::FolderEntry> entries;
    try {
        entries = FilesLike(path, &report.leftOut);
    } catch (const FileError& e) {
        report.listingError = e.what();
    }
    ApplyToEntries(PendingMaker(root), folder, entries, messages, dryRun, progress, options,
                   report);
    return report;
}

std::vector<FileSystem::FolderEntry> FolderEdit::OneEntryPerFile(
    std::vector<FileSystem::FolderEntry> entries, std::vector<std::vector<std::string>>* aliases) {
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> primary;
    std::vector<FileSystem::FolderEntry> unique;
    std::vector<std::vector<std::string>> uniqueAliases;
    for (int pass = 0; pass < 2; ++pass)  // names first, then links
        for (const auto& e : entries) {
            if (e.link != (pass == 1)) continue;
            if (e.device == 0 && e.inode == 0) {
                unique.push_back(e);
                uniqueAliases.emplace_back();
                continue;
            }
            auto [it, fresh] = primary.emplace(std::make_pair(e.device, e.inode), unique.size());
            if (fresh) {
                unique.push_back(e);
                uniqueAliases.emplace_back();
            } else {
                uniqueAliases[it->second].push_back(e.path);
            }
        }
    // Back into name order.
    std::vector<std::size_t> order(unique.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return unique[x].name < unique[y].name; });
    std::vector<FileSystem::FolderEntry> out;
    if (aliases) aliases->clear();
    for (std::size_t k : order) {
        out.push_back(std::move(unique[k]));
        if (aliases) aliases->push_back(std::move(uniqueAliases[k]));
    }
    return out;
}
