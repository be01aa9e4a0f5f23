#pragma once
// The file side of the folder-wide edit: merging the pending entries of a tree
// into the Extended Header block of each sample file of a folder, leaving every
// other entry and byte of those files as it was.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "format/ExtendedHeaderCodec.h"
#include "format/HeaderFile.h"
#include "format/StandardHeader.h"
#include "platform/FileSystem.h"

class HeaderNode;
class RandomAccessFile;
class UserMessages;

class FolderEdit {
  public:
    enum class Outcome { Updated, Unchanged, SkippedReadOnly, Failed };
    struct FileResult {
        std::string path;
        Outcome outcome = Outcome::Failed;
        std::string reason;                    // why it failed
        std::string note;                      // what else the user should know of it
        std::vector<std::string> aliases;      // other names of the same file in the folder
        std::optional<StandardHeader> record;  // the record as written
    };
    // Told how many of the folder's files are done, of how many.
    using Progress = std::function<void(std::size_t done, std::size_t total)>;
    struct Report {
        std::vector<FileResult> files;
        std::string listingError;  // the folder could not be read (fully)
        std::vector<std::string> notices;  // from the recovery of an interrupted rewrite
        std::vector<FileSystem::LeftOut> leftOut;  // names with the extension that are no files
        bool AllSucceeded() const;
        bool AnySkipped() const;
        std::size_t Count(Outcome outcome) const;
    };

    // The block maker of the merge: sets every pending leaf of `root` into the
    // stored block at its path. Throws HeaderError when the stored block does not
    // decode or a value cannot be set.
    static std::vector<std::uint8_t> MergePendingEntries(const HeaderNode& root,
                                                         std::span<const std::uint8_t> oldBlock);
    // Rewrites one file with the pending entries, quietly. A file the merge would
    // not change is left alone (Unchanged). With `dryRun` nothing is written: the
    // outcome says what would happen.
    static FileResult ApplyToFile(const HeaderNode& root, const std::string& path,
                                  UserMessages& messages, bool dryRun = false,
                                  const RewriteOptions& options = {});
    // Every file of the folder of `path` with the same extension (without regard to
    // case), in name order; read-only files are skipped. A path without an
    // extension names only itself: "*" alone would take in every file of the folder.
    // Names of one file (hard or symbolic links) make one rewrite and one result,
    // under the name that is not a symbolic link.
    static Report ApplyToFolder(const HeaderNode& root, const std::string& path,
                                UserMessages& messages, bool dryRun = false,
                                const Progress& progress = {}, const RewriteOptions& options = {});

    // The files a folder-wide edit of `path` takes: every regular file of its
    // folder with its extension, without regard to case, in name order (`leftOut`
    // gets the names with the extension that are no such file); a path without
    // an extension names only itself, since "*" alone would take in every file of
    // the folder. Throws FileError when the folder cannot be read.
    static std::vector<FileSystem::FolderEntry> FilesLike(
        const std::string& path, std::vector<FileSystem::LeftOut>* leftOut = nullptr);
    // The entries with one per file: names of one file (hard or symbolic links)
    // go as one, under the first name that is not a symbolic link, in name order;
    // `aliases` (when given) gets each one's other paths.
    static std::vector<FileSystem::FolderEntry> OneEntryPerFile(
        std::vector<FileSystem::FolderEntry> entries,
        std::vector<std::vector<std::string>>* aliases = nullptr);
    // Why a file failed, in words for a report.
    static std::string ReasonOf(std::exception_ptr error);

    // The block maker for one file of a batch (by its path): each file may get
    // its own changes. The maker runs once when the file is planned, also in a
    // dry run.
    using MakerFor = std::function<BlockMaker(const std::string& path)>;
    // Rewrites the given files of `folder` (after recovering any interrupted
    // rewrite there) in journalled batches, as ApplyToFolder does, each with the
    // block its maker makes.
    static Report ApplyToFiles(const MakerFor& makerFor, const std::string& folder,
                               std::vector<FileSystem::FolderEntry> entries,
                               UserMessages& messages, bool dryRun = false,
                               const Progress& progress = {}, const RewriteOptions& options = {});

    // How many bytes of new tails a batch holds in memory at most (a larger file
    // goes alone).
    static constexpr std::uint64_t kBatchBytes = 64ull << 20;
};
