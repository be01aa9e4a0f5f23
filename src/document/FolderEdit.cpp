#include "document/FolderEdit.h"

#include <sys/resource.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "format/BlockPath.h"
#include "format/HeaderError.h"
#include "format/HeaderFile.h"
#include "platform/AlreadyReported.h"
#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/RewriteJournal.h"
#include "platform/UserMessages.h"

namespace {
// Why a file failed, in words for the report.
std::string ReasonOf(std::exception_ptr error) {
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
}  // namespace

// How many files a batch holds open at once: a share of the open-file limit,
// which is first raised to its maximum where the system allows.
static std::size_t BatchSize() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 64;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = std::min<rlim_t>(limit.rlim_max, 65536);
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    const rlim_t usable = limit.rlim_cur > 128 ? (limit.rlim_cur - 64) / 2 : 16;
    return static_cast<std::size_t>(std::clamp<rlim_t>(usable, 16, 4096));
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

FolderEdit::FileResult FolderEdit::ApplyToFile(const HeaderNode& root, const std::string& path,
                                               UserMessages& messages, bool dryRun) {
    FileResult result;
    result.path = path;
    RewriteJournal::Recover(FileSystem::FolderOf(path));
    RandomAccessFile file;
    try {
        file.Open(path, dryRun ? RandomAccessFile::Mode::Read : RandomAccessFile::Mode::ReadWrite);
        CWaitCursor wait(messages);
        const RewritePlan plan = PrepareRewrite(
            file, false, true,
            [&](std::span<const std::uint8_t> old, const StandardHeader&) {
                return MergePendingEntries(root, old);
            },
            messages);
        if (!plan.unchanged && !dryRun) CommitRewriteSafely(file, plan);
        file.Close();
        result.record = plan.record;
        result.outcome = plan.unchanged ? Outcome::Unchanged : Outcome::Updated;
    } catch (...) {
        result.reason = ReasonOf(std::current_exception());
    }
    if (result.outcome == Outcome::Failed) {
        file.Abort();
        result.record.reset();
    }
    return result;
}

std::size_t FolderEdit::Report::Count(Outcome outcome) const {
    std::size_t n = 0;
    for (const auto& f : files) n += f.outcome == outcome;
    return n;
}

FolderEdit::Report FolderEdit::ApplyToFolder(const HeaderNode& root, const std::string& path,
                                             UserMessages& messages, bool dryRun,
                                             const Progress& progress) {
    Report report;
    const std::string folder = FileSystem::FolderOf(path);
    RewriteJournal::Recover(folder);
    const std::string extension = FileSystem::ExtensionOf(path);
    std::vector<FileSystem::FolderEntry> entries;
    if (extension.empty()) {
        if (auto a = FileSystem::GetAttributes(path); a && !a->directory)
            entries.push_back({path, FileSystem::DisplayName(path), a->readOnly});
    } else {
        try {
            entries = FileSystem::ListFiles(folder, extension);
        } catch (const FileError& e) {
            report.listingError = e.what();
        }
    }
    CWaitCursor wait(messages);
    // Files go in batches, each with one journal and one flush of the file system:
    // every file of a batch is opened (and locked) and planned, the batch's journal
    // is written, then every file is rewritten and closed.
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
    for (std::size_t first = 0; first < entries.size(); first += batch) {
        std::vector<Planned> planned;
        for (std::size_t i = first; i < std::min(entries.size(), first + batch); ++i) {
            const auto& entry = entries[i];
            FileResult result;
            result.path = entry.path;
            if (entry.readOnly) {
                result.outcome = Outcome::SkippedReadOnly;
                report.files.push_back(result);
                tell(1);
                continue;
            }
            auto file = std::make_unique<RandomAccessFile>();
            bool toWrite = false;  // done only once its batch is written
            try {
                file->Open(entry.path, dryRun ? RandomAccessFile::Mode::Read
                                              : RandomAccessFile::Mode::ReadWrite);
                RewritePlan plan = PrepareRewrite(
                    *file, false, true,
                    [&](std::span<const std::uint8_t> old, const StandardHeader&) {
                        return MergePendingEntries(root, old);
                    },
                    messages);
                result.record = plan.record;
                result.outcome = plan.unchanged ? Outcome::Unchanged : Outcome::Updated;
                toWrite = !plan.unchanged && !dryRun;
                if (toWrite)
                    planned.push_back({report.files.size(), std::move(file), std::move(plan)});
            } catch (...) {
                result.reason = ReasonOf(std::current_exception());
            }
            report.files.push_back(result);
            if (!toWrite) tell(1);
        }
        if (planned.empty()) continue;
        RewriteJournal journal(folder);
        for (const auto& p : planned)
            journal.Add(JournalEntry(report.files[p.result].path, p.plan));
        try {
            journal.Begin();
        } catch (const FileError& e) {
            for (const auto& p : planned)
                fail(p.result, "the rewrite journal cannot be written: " + e.Cause());
            tell(planned.size());
            continue;
        }
        bool keepJournal = false;  // a file could not be put back: the next open must do it
        for (std::size_t k = 0; k < planned.size(); ++k) {
            RandomAccessFile& file = *planned[k].file;
            try {
                CommitRewrite(file, planned[k].plan);
                file.Close();
                tell(1);
            } catch (const std::exception& e) {
                fail(planned[k].result, e.what());
                try {
                    if (file.IsOpen()) RewriteJournal::RollBack(journal.Entries()[k], file);
                } catch (...) {
                    keepJournal = true;
                }
                file.Abort();
                tell(1);
            }
        }
        if (keepJournal) continue;  // the journal stays on disk (see RewriteJournal's destructor)
        try {
            journal.Finish(true);
        } catch (const FileError& e) {
            for (const auto& p : planned)
                fail(p.result, "the files cannot be flushed to disk: " + e.Cause());
        }
    }
    return report;
}
