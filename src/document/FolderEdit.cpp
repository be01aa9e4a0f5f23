#include "document/FolderEdit.h"

#include <vector>

#include "format/BlockPath.h"
#include "format/HeaderError.h"
#include "format/HeaderFile.h"
#include "format/XorWords.h"
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

BlockResult FolderEdit::MergePendingEntries(const HeaderNode& root, RandomAccessFile& file,
                                            const StandardHeader& oldRecord) {
    const std::uint64_t start = file.Position();
    BlockPath::BlockBuffer buffer;
    if (oldRecord.extendedHeaderLength != 0) {
        // WriteHeaders has read the whole stored block for its checksum already,
        // so its length is known to be within the file.
        std::vector<std::uint8_t> block(oldRecord.extendedHeaderLength);
        file.ReadExact(block.data(), block.size());
        auto stored = BlockPath::BlockBuffer::FromBlock(block);
        if (!stored) throw HeaderError("The stored Extended Header does not decode.");
        buffer = std::move(*stored);
    }
    file.Seek(start);
    if (!EncodeEntries(root, buffer, true)) throw HeaderError("A pending entry cannot be set.");
    const std::vector<std::uint8_t> out = buffer.ToBlock();
    BlockResult r;
    r.length = static_cast<std::uint32_t>(out.size());
    r.xorWords = XorWords(out);
    file.Write(out.data(), out.size());
    return r;
}

FolderEdit::FileResult FolderEdit::ApplyToFile(const HeaderNode& root, const std::string& path,
                                               UserMessages& messages) {
    FileResult result;
    result.path = path;
    RandomAccessFile file;
    try {
        file.Open(path, RandomAccessFile::Mode::ReadWrite);
        CWaitCursor wait(messages);
        result.record = WriteHeaders(
            file, false, true,
            [&](RandomAccessFile& f, const StandardHeader& old) {
                return MergePendingEntries(root, f, old);
            },
            messages);
        file.Close();
        result.outcome = Outcome::Updated;
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
                                             UserMessages& messages) {
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
        report.files.push_back(ApplyToFile(root, entry.path, messages));
    }
    return report;
}
