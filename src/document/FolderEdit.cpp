#include "document/FolderEdit.h"

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
                                                          RandomAccessFile& file,
                                                          const StandardHeader& oldRecord) {
    BlockPath::BlockBuffer buffer;
    if (oldRecord.extendedHeaderLength != 0) {
        // The rewrite has read the whole stored block for its checksum already,
        // so its length is known to be within the file.
        std::vector<std::uint8_t> block(oldRecord.extendedHeaderLength);
        file.ReadExact(block.data(), block.size());
        auto stored = BlockPath::BlockBuffer::FromBlock(block);
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
            [&](RandomAccessFile& f, const StandardHeader& old) {
                return MergePendingEntries(root, f, old);
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

FolderEdit::Report FolderEdit::ApplyToFolder(const HeaderNode& root, const std::string& path,
                                             UserMessages& messages, bool dryRun) {
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
    // every file is planned (read and merged) and closed; the batch's journal is
    // written; then each file is opened again, under its lock, and rewritten only
    // when it still holds exactly the bytes it was planned from.
    constexpr std::size_t kBatch = 4096;
    struct Planned {
        std::size_t result;
        RewritePlan plan;
    };
    auto fail = [&](std::size_t index, const std::string& reason) {
        report.files[index].outcome = Outcome::Failed;
        report.files[index].reason = reason;
        report.files[index].record.reset();
    };
    for (std::size_t first = 0; first < entries.size(); first += kBatch) {
        std::vector<Planned> planned;
        for (std::size_t i = first; i < std::min(entries.size(), first + kBatch); ++i) {
            const auto& entry = entries[i];
            FileResult result;
            result.path = entry.path;
            if (entry.readOnly) {
                result.outcome = Outcome::SkippedReadOnly;
                report.files.push_back(result);
                continue;
            }
            try {
                RandomAccessFile file(entry.path, RandomAccessFile::Mode::Read);
                RewritePlan plan = PrepareRewrite(
                    file, false, true,
                    [&](RandomAccessFile& f, const StandardHeader& old) {
                        return MergePendingEntries(root, f, old);
                    },
                    messages);
                file.Close();
                result.record = plan.record;
                result.outcome = plan.unchanged ? Outcome::Unchanged : Outcome::Updated;
                if (!plan.unchanged && !dryRun)
                    planned.push_back({report.files.size(), std::move(plan)});
            } catch (...) {
                result.reason = ReasonOf(std::current_exception());
            }
            report.files.push_back(result);
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
            continue;
        }
        bool keepJournal = false;  // a file could not be put back: the next open must do it
        for (std::size_t k = 0; k < planned.size(); ++k) {
            const RewritePlan& plan = planned[k].plan;
            RandomAccessFile file;
            try {
                file.Open(report.files[planned[k].result].path, RandomAccessFile::Mode::ReadWrite);
                std::vector<std::uint8_t> now(plan.oldTail.size());
                file.Seek(plan.position);
                if (file.Length() != plan.oldLength ||
                    file.Read(now.data(), now.size()) != now.size() || now != plan.oldTail) {
                    fail(planned[k].result, "the file changed while the folder was being edited");
                    continue;
                }
                CommitRewrite(file, plan);
                file.Close();
            } catch (const std::exception& e) {
                fail(planned[k].result, e.what());
                try {
                    if (file.IsOpen()) RewriteJournal::RollBack(journal.Entries()[k], file);
                } catch (...) {
                    keepJournal = true;
                }
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
