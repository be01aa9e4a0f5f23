#include "document/FolderEdit.h"

#include <vector>

#include "format/BlockPath.h"
#include "format/HeaderError.h"
#include "format/HeaderFile.h"
#include "platform/AlreadyReported.h"
#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/UserMessages.h"

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
        if (!plan.unchanged && !dryRun) CommitRewrite(file, plan);
        file.Close();
        result.record = plan.record;
        result.outcome = plan.unchanged ? Outcome::Unchanged : Outcome::Updated;
    } catch (const AlreadyReported& e) {
        result.reason = e.Message();
    } catch (const FileError& e) {
        result.reason = e.Cause();
    } catch (const std::exception& e) {
        result.reason = e.what();
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
    const std::string extension = FileSystem::ExtensionOf(path);
    std::vector<FileSystem::FolderEntry> entries;
    if (extension.empty()) {
        if (auto a = FileSystem::GetAttributes(path); a && !a->directory)
            entries.push_back({path, FileSystem::DisplayName(path), a->readOnly});
    } else {
        try {
            entries = FileSystem::ListFiles(FileSystem::FolderOf(path), extension);
        } catch (const FileError& e) {
            report.listingError = e.what();
        }
    }
    for (const auto& entry : entries) {
        if (entry.readOnly) {
            report.files.push_back({entry.path, Outcome::SkippedReadOnly, {}, std::nullopt});
            continue;
        }
        report.files.push_back(ApplyToFile(root, entry.path, messages, dryRun));
    }
    return report;
}
