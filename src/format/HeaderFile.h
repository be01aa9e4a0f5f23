#pragma once
// Reading the headers of a sample data file and rewriting them in place.
//
//   sample data | Extended Header block | (gap) | Standard Header (last 632 bytes)
//
// The Extended Header Offset is counted back from the end of the file. A rewrite
// keeps every byte in front of the old block, writes the new block and the record
// directly behind it and cuts the file there.
//
// Failures: a check that fails shows its message (unless quiet) and throws
// AlreadyReported; file operations throw FileError; a block writer that cannot
// encode throws HeaderError.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "format/ExtendedHeaderCodec.h"
#include "format/StandardHeader.h"
#include "platform/RewriteJournal.h"

class HeaderNode;
class RandomAccessFile;
class UserMessages;

namespace HeaderMessages {
inline constexpr const char* kTooShort = "File is too short to be an TKV file !";
inline constexpr const char* kVersionFormat = "This TKV file is version %g (minimum is %g)";
inline constexpr const char* kCorrupt = "TKV file is corrupt !";
inline constexpr const char* kCannotReadBlock = "Couldn't read in TKV Extended Header !";
inline constexpr const char* kCannotParse = "Failed to parse Extended Header info !";
// The version message filled in.
std::string VersionTooLow(float version);
}  // namespace HeaderMessages

// Reads and checks the record at the end of the file. With `repair` an
// out-of-range Version and a wrong Magic Number are corrected instead of refused
// and the bounds are not checked. With `quiet` no message is shown.
bool ReadStandardHeader(RandomAccessFile& file, StandardHeader& record, bool repair, bool quiet,
                        UserMessages& messages);

// Reads the stored block only for its XorWords.
bool ReadExtendedHeaderXor(RandomAccessFile& file, std::uint32_t offset, std::uint32_t length,
                           bool quiet, UserMessages& messages, std::uint32_t& xorWords);

// Reads the record and decodes the Extended Header into the empty tree under
// `root`; `record` receives the file's record only on success. With `repair` the
// record is read as a rewrite reads it (see ReadStandardHeader).
void ReadHeaders(RandomAccessFile& file, HeaderNode& root, StandardHeader& record,
                 UserMessages& messages, bool repair = false);

// A rewrite worked out in full before anything is written. It holds the new
// bytes only: the old ones stay in the file (and go to the journal straight from
// it), so a rewrite holds each file's tail once.
struct RewritePlan {
    StandardHeader record;                // the record to write
    EncodedBlock block;                   // the block to write in front of it
    StandardHeader::Bytes recordBytes{};  // the record, encoded
    std::uint64_t position = 0;           // where the block goes
    bool unchanged = false;               // the file already ends with exactly these bytes
    std::uint64_t oldLength = 0;          // the file's length before

    RewriteJournal::NewTail NewTail() const {
        RewriteJournal::NewTail tail{block.Pieces()};
        tail.pieces.emplace_back(recordBytes);
        return tail;
    }
    std::uint64_t NewLength() const { return position + block.size() + recordBytes.size(); }
};

// How a rewrite goes about its work.
struct RewriteOptions {
    // The block maker looks at the stored block (false: it is handed an empty one,
    // and the stored block is only streamed through for its checksum words).
    bool makerReadsOldBlock = true;
    // Asked when no rewrite journal can be kept anywhere: true writes without one
    // (still flushed in order), false (or no question) refuses the rewrite.
    std::function<bool(const NoJournalPlace&)> writeWithoutJournal;
    // A folder-wide batch keeps an undo record of what it writes, described so
    // for the user (empty: none is kept; single-file saves keep none).
    std::string undoWhat;
};

// Reads and repairs the record, carries the checksum's data word over and makes
// the new block: everything a rewrite does, except writing.
RewritePlan PrepareRewrite(RandomAccessFile& file, bool newFile, bool quiet,
                           const BlockMaker& makeBlock, UserMessages& messages,
                           const RewriteOptions& options = {});
// Writes the block and the record at the planned place and cuts the file there
// (no journal, no flush: callers that journal a whole batch use it).
void CommitRewrite(RandomAccessFile& file, const RewritePlan& plan);
// The crash-safe rewrite of one file: journal, rewrite, flush, journal removed.
// A failure puts the old bytes back (from the journal) before it passes on.
void CommitRewriteSafely(RandomAccessFile& file, const RewritePlan& plan,
                         const RewriteOptions& options = {});

// Rewrites the Extended Header block and the record of an open file and returns
// the record as written (a file that would not change is not written at all).
// `newFile`: the file was just created empty.
StandardHeader WriteHeaders(RandomAccessFile& file, bool newFile, bool quiet,
                            const BlockMaker& makeBlock, UserMessages& messages,
                            const RewriteOptions& options = {});
