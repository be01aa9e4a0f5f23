#pragma once
// A plate's files side by side: the sample files of one folder with one
// extension (name order) against chosen entry paths, each cell the value that
// file stores there. A set of per-file changes is written through the folder-wide
// edit's journalled batches, each file getting only its own values, so a run's
// sample names or wells can be corrected file by file in one crash-safe pass.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "document/FolderEdit.h"
#include "model/HeaderElement.h"
#include "platform/FileSystem.h"

class HeaderNode;
class UserMessages;
struct MessageTable;

class FolderSheet {
  public:
    struct Row {
        std::string path;                  // full path
        std::string name;                  // the file's name in the folder
        std::vector<std::string> aliases;  // its other names there (hard and symbolic links)
        FileSystem::FolderEntry entry;     // as the folder lists it (what a write opens)
        bool readOnly = false;
        std::string error;  // why the file could not be read; empty when it was
        // Per column: the value stored at its path; none where the file has no
        // leaf there (no entry, or a list).
        std::vector<std::optional<HeaderElement>> cells;
        // Per column: no leaf can be set there (a value on the way, or a list).
        std::vector<bool> blocked;
    };
    // One cell to set: the file (its row) and the column get `value`; with
    // `remove` the leaf stored there is removed instead.
    struct Change {
        std::size_t row = 0;
        std::size_t column = 0;
        HeaderElement value;
        bool remove = false;
    };
    // A change is one of a value that differs from the stored one: it is written,
    // or it fails (the merge would keep the stored entry, or the file fails).
    enum class CellOutcome { Written, Failed };
    struct CellResult {
        std::size_t change = 0;  // index into the changes applied
        CellOutcome outcome = CellOutcome::Failed;
        std::string reason;  // why it failed
    };
    struct Result {
        FolderEdit::Report report;      // one result per file that had changes
        std::vector<CellResult> cells;  // one per change, in the order given
    };
    // One field a save changes, as the user reads it (UTF-8).
    struct FieldChange {
        std::string file;    // its name in the folder
        std::string path;    // dotted
        std::string before;  // the value as the list shows it; empty: none
        std::string after;   // "-": removed
    };

    // The files of the folder of `fileInFolder` with its extension, compared
    // without regard to case (a name without an extension: that file alone), read
    // as the editor opens them, against `columns`: dotted paths of 8-bit labels.
    // A file of several names (links) is one row, as the folder-wide edit takes it.
    static FolderSheet Read(const std::string& fileInFolder, std::vector<std::string> columns);

    const std::string& Folder() const { return m_strFolder; }
    const std::vector<std::string>& Columns() const { return m_columns; }
    const std::vector<Row>& Rows() const { return m_rows; }
    const std::vector<FileSystem::LeftOut>& LeftOut() const { return m_leftOut; }
    // The row of the file named `name` as output shows it (TextCodec::Escaped),
    // or else exactly as in the folder, or by any of its other names; or none.
    std::optional<std::size_t> FindRow(const std::string& name) const;

    // Sets each change's value in its file, leaving every other entry and byte
    // as it was; a cell whose path runs through a value, or whose file stores a
    // list or an entry of another type there, fails alone and the file's other cells are
    // still written. With `dryRun` nothing is written and the result says what
    // would happen.
    Result Apply(const std::vector<Change>& changes, UserMessages& messages, bool dryRun = false,
                 const FolderEdit::Progress& progress = {},
                 const RewriteOptions& options = {}) const;

    // The fields `changes` change, in their order.
    std::vector<FieldChange> Preview(const std::vector<Change>& changes) const;
    // The fields the folder-wide edit's Save of `root`'s pending leaves changes in
    // the folder of `path`: every file whose stored value differs (or is missing),
    // leaving out what the merge keeps: another type stored there, a value on
    // the way, a list at the end.
    static std::vector<FieldChange> PreviewPending(const HeaderNode& root, const std::string& path);
    // A value as the list shows it (UTF-8); empty for none.
    static std::string CellText(const std::optional<HeaderElement>& value);
    // A value as a sheet holds it: as CellText, but reals exactly, so that the
    // text reads back (EntryArguments::ParseValues) to the same bits.
    static std::string SheetText(const std::optional<HeaderElement>& value);
    // The preview as a table: File, Path, Old value, New value.
    static MessageTable PreviewTable(const std::vector<FieldChange>& fields);

  private:
    std::string m_strFolder;
    std::vector<std::string> m_columns;
    std::vector<Row> m_rows;
    std::vector<FileSystem::LeftOut> m_leftOut;
};
