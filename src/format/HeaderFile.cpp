#include "format/HeaderFile.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "format/Enforce.h"
#include "format/HeaderError.h"
#include "format/XorWords.h"
#include "model/NumberText.h"
#include "platform/AlreadyReported.h"
#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/UserMessages.h"

namespace {

std::uint32_t RecordXor(const StandardHeader& record) {
    auto bytes = record.ToBytes();
    return XorWords(std::span(bytes).first(StandardHeader::kChecksumOffset));
}

// The checks of ReadStandardHeader; the failure's message, or nullopt.
std::optional<std::string> CheckStandardHeader(RandomAccessFile& file, StandardHeader& record,
                                               bool repair) {
    if (file.Length() < StandardHeader::kSize) return HeaderMessages::kTooShort;
    file.SeekFromEnd(StandardHeader::kSize);
    StandardHeader::Bytes bytes{};
    file.ReadExact(bytes.data(), bytes.size());
    record = StandardHeader::FromBytes(bytes);
    // A Version that is not a number is not below the minimum.
    if (record.version < StandardHeader::kMinimumVersion) {
        if (!repair) return HeaderMessages::VersionTooLow(record.version);
        record.version = StandardHeader::kMinimumVersion;
    }
    if (repair) {
        if (!record.HasMagic()) record.magicNumber = StandardHeader::kMagic;
    } else if (record.extendedHeaderLength != 0 &&
               static_cast<std::uint64_t>(record.extendedHeaderOffset) <
                   static_cast<std::uint64_t>(record.extendedHeaderLength) +
                       StandardHeader::kSize) {
        return HeaderMessages::kCorrupt;
    }
    return std::nullopt;
}

std::optional<std::string> CheckExtendedHeaderXor(RandomAccessFile& file, std::uint32_t offset,
                                                  std::uint32_t length, std::uint32_t& xorWords) {
    xorWords = 0;
    if (length == 0) return std::nullopt;
    file.SeekFromEnd(offset);
    // What lies between that position and the end of the file is all there is to
    // read: a longer stored length cannot be read in full, whatever it claims.
    if (length > offset) return HeaderMessages::kCannotReadBlock;
    std::vector<std::uint8_t> chunk(std::min<std::uint32_t>(length, 1u << 16));
    std::uint32_t left = length;
    while (left > 0) {
        const std::size_t n = std::min<std::size_t>(left, chunk.size());
        if (file.Read(chunk.data(), n) != n) return HeaderMessages::kCannotReadBlock;
        // Chunks are multiples of 4 except the last, so the words line up.
        xorWords ^= XorWords(std::span(chunk).first(n));
        left -= static_cast<std::uint32_t>(n);
    }
    return std::nullopt;
}

// The file error of a stored offset that points before the file's start.
std::string ExtendedHeaderOutside(const StandardHeader& record, std::uint64_t fileLength) {
    return "The Extended Header lies outside the file: it would begin " +
           std::to_string(record.extendedHeaderOffset) + " bytes before the end of a file of " +
           std::to_string(fileLength) + " bytes.";
}

[[noreturn]] void Fail(UserMessages& messages, bool quiet, const std::string& text) {
    ShowUnlessQuiet(messages, quiet, text);
    throw AlreadyReported(text);
}

}  // namespace

std::string HeaderMessages::VersionTooLow(float version) {
    return std::string("This TKV file is version ") + NumberText::FormatG(version) +
           " (minimum is " + NumberText::FormatG(StandardHeader::kMinimumVersion) + ")";
}

bool ReadStandardHeader(RandomAccessFile& file, StandardHeader& record, bool repair, bool quiet,
                        UserMessages& messages) {
    if (auto error = CheckStandardHeader(file, record, repair)) {
        ShowUnlessQuiet(messages, quiet, *error);
        return false;
    }
    return true;
}

bool ReadExtendedHeaderXor(RandomAccessFile& file, std::uint32_t offset, std::uint32_t length,
                           bool quiet, UserMessages& messages, std::uint32_t& xorWords) {
    if (auto error = CheckExtendedHeaderXor(file, offset, length, xorWords)) {
        ShowUnlessQuiet(messages, quiet, *error);
        return false;
    }
    return true;
}

void ReadHeaders(RandomAccessFile& file, HeaderNode& root, StandardHeader& record,
                 UserMessages& messages, bool repair) {
    StandardHeader read;
    if (auto error = CheckStandardHeader(file, read, repair)) Fail(messages, false, *error);
    if (read.extendedHeaderLength != 0) {
        // The bounds check above keeps the block inside the file (a seek past its
        // start throws), so the buffer is never larger than the file.
        Enforce<FileError>(read.extendedHeaderOffset <= file.Length(), file.Path(),
                           ExtendedHeaderOutside(read, file.Length()), EINVAL);
        file.SeekFromEnd(read.extendedHeaderOffset);
        // Large values keep a share of this buffer rather than a copy of their part.
        auto block = std::make_shared<std::vector<std::uint8_t>>(read.extendedHeaderLength);
        file.ReadExact(block->data(), block->size());
        std::string why;
        if (!DecodeExtendedHeaderSharing(block, root, &why))
            Fail(messages, false,
                 why.empty() ? std::string(HeaderMessages::kCannotParse)
                             : HeaderMessages::kCannotParse + std::string("\n") + why);
    }
    record = read;
}

RewritePlan PrepareRewrite(RandomAccessFile& file, bool newFile, bool quiet,
                           const BlockMaker& makeBlock, UserMessages& messages,
                           const RewriteOptions& options) {
    RewritePlan plan;
    StandardHeader& record = plan.record;
    if (newFile) {
        record.InitNew();
        file.Seek(0);
    } else {
        if (auto error = CheckStandardHeader(file, record, true)) Fail(messages, quiet, *error);
        Enforce<FileError>(record.extendedHeaderOffset <= file.Length(), file.Path(),
                           ExtendedHeaderOutside(record, file.Length()), EINVAL);
        file.SeekFromEnd(record.extendedHeaderOffset);
    }
    plan.position = file.Position();
    plan.oldLength = file.Length();
    // The data word: what the stored checksum holds beyond the headers' words.
    std::uint32_t blockXor = 0;
    std::vector<std::uint8_t> oldBlock;
    if (!newFile && record.extendedHeaderLength != 0) {
        if (record.extendedHeaderLength > plan.oldLength - plan.position)
            Fail(messages, quiet, HeaderMessages::kCannotReadBlock);
        if (options.makerReadsOldBlock) {
            oldBlock.resize(record.extendedHeaderLength);
            file.ReadExact(oldBlock.data(), oldBlock.size());
            blockXor = XorWords(oldBlock);
        } else if (auto error = CheckExtendedHeaderXor(file, record.extendedHeaderOffset,
                                                       record.extendedHeaderLength, blockXor)) {
            Fail(messages, quiet, *error);
        }
    }
    const std::uint32_t dataWord = record.checksum ^ RecordXor(record) ^ blockXor;

    plan.block = makeBlock(oldBlock, record);
    oldBlock = {};  // not needed any more: freed before the rewrite holds the new bytes
    Enforce<HeaderError>(
        plan.block.size() % 4 == 0 && plan.block.size() <= 0xFFFFFFFFu - StandardHeader::kSize,
        "The Extended Header block has an impossible length.");

    const auto length = static_cast<std::uint32_t>(plan.block.size());
    record.extendedHeaderLength = length;
    record.extendedHeaderOffset = length + static_cast<std::uint32_t>(StandardHeader::kSize);
    record.checksum = RecordXor(record) ^ XorWordsOf(plan.block) ^ dataWord;
    plan.recordBytes = record.ToBytes();

    // Unchanged when the file already ends, from the block's place, with exactly
    // the new bytes (compared a window at a time).
    if (!newFile && plan.NewLength() == plan.oldLength) {
        const auto tail = plan.NewTail();
        std::vector<std::uint8_t> window(std::min<std::uint64_t>(tail.Size(), 1u << 16));
        bool same = true;
        file.Seek(plan.position);
        for (auto piece : tail.pieces) {
            for (std::size_t at = 0; same && at < piece.size(); at += window.size()) {
                const std::size_t n = std::min(window.size(), piece.size() - at);
                same = file.Read(window.data(), n) == n &&
                       std::equal(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(n),
                                  piece.begin() + static_cast<std::ptrdiff_t>(at));
            }
        }
        plan.unchanged = same;
    }
    return plan;
}

void CommitRewrite(RandomAccessFile& file, const RewritePlan& plan) {
    RewriteJournal::WriteTail(file, plan.position, plan.NewTail());
    // A file whose length stays needs no truncation (and no change of its size).
    if (file.Position() != plan.oldLength) file.SetLength(file.Position());
}

void CommitRewriteSafely(RandomAccessFile& file, const RewritePlan& plan,
                         const RewriteOptions& options) {
    // The journal lies in the file's real folder, where recovery looks for it
    // whichever link the file is opened by.
    RewriteJournal journal(FileSystem::FolderOf(FileSystem::RealPath(file.Path())));
    bool journalled = true;
    try {
        journal.Open();
        journal.Add(file, plan.position, plan.NewTail());
        journal.Commit();
    } catch (const NoJournalPlace& e) {
        if (!options.writeWithoutJournal || !options.writeWithoutJournal(e)) throw;
        journalled = false;  // the user chose to write without crash protection
    }
    try {
        CommitRewrite(file, plan);
        file.Flush();
    } catch (...) {
        if (journalled) {
            try {
                journal.RollBack(0, file);
                journal.Finish(false);
            } catch (...) {
                // The journal stays; the next open puts the file back.
            }
        }
        throw;
    }
    if (!journalled) return;
    try {
        journal.Finish(false);
    } catch (const FileError&) {
        // The file holds its new bytes, flushed; the journal left behind is seen to
        // be done by the next open, which removes it.
    }
}

StandardHeader WriteHeaders(RandomAccessFile& file, bool newFile, bool quiet,
                            const BlockMaker& makeBlock, UserMessages& messages,
                            const RewriteOptions& options) {
    RewritePlan plan = PrepareRewrite(file, newFile, quiet, makeBlock, messages, options);
    if (!plan.unchanged) CommitRewriteSafely(file, plan, options);
    return plan.record;
}
