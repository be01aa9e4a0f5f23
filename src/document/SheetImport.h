#pragma once
// A plate sheet read from a table (tkvhdr sheet import, the editor's Open Sample
// Sheet): the header row 'file', then PATH:TYPE columns, or (where allowed) PATH
// columns that take each file's stored type; each further row names a file of
// the folder and gives its values. The rows become per-file changes of a
// FolderSheet; every fault of the table, and every cell the files would refuse,
// is collected with its row and column.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document/FolderSheet.h"
#include "format/SheetTable.h"

class SheetImport {
  public:
    struct Column {
        std::string path;    // as the header gives it (UTF-8)
        std::string narrow;  // its dotted 8-bit labels, as FolderSheet takes them
        std::uint32_t type = 0;
        bool typed = true;  // false: each file's stored type
    };
    // A fault of the table; `column` 0 names the whole row, `row` 0 no row.
    struct Fault {
        std::size_t row = 0;
        std::size_t column = 0;
        std::string what;
        std::size_t unlisted = 0;  // the faults this one counts beyond itself
        std::string Text(const std::string& sheetName) const;
    };
    // The header row does not give the columns: nothing of the table can be used.
    class BadHeader : public CodedError {
      public:
        explicit BadHeader(Fault f) : CodedError(Code::BadSheet, f.what), fault(std::move(f)) {}
        Fault fault;
    };

    // One column as a header cell names it: PATH:TYPE, or PATH alone (untyped).
    // A suffix after the last colon that is no type name is refused. Throws
    // EntryArguments::Failure.
    static Column ParseColumn(const std::string& cell);
    // The header cell of a column: PATH:TYPE (the type's name in lower case), or
    // PATH for an untyped column.
    static std::string HeaderCell(const Column& column);
    // Why two of `columns` cannot be one sheet's: two of the same path (without
    // regard to case), or a path inside another column's (one entry cannot be a
    // value and a list). Nullopt when none; else the later column's index and
    // why, naming the earlier one by its number in a sheet (the first is 2).
    struct Clash {
        std::size_t index = 0;
        std::string what;
    };
    static std::optional<Clash> PathClash(const std::vector<Column>& columns);
    // The columns of the header row (the table's first record). Columns that
    // clash (PathClash) are refused, and so are untyped columns unless
    // `untypedAllowed`. Throws BadHeader.
    static std::vector<Column> ReadHeader(const SheetTable::Table& table,
                                          bool untypedAllowed = false);
    static std::vector<Column> ReadHeader(const SheetTable::Record& header) {
        return ReadHeader(SheetTable::Table(SheetTable::Records{header}));
    }
    static std::vector<std::string> NarrowPaths(const std::vector<Column>& columns);
    // A dotted path as 8-bit labels. Throws EntryArguments::Failure.
    static std::string NarrowPath(const std::string& path);

    // The changes the rows make to `sheet` (read with NarrowPaths(columns)): a
    // non-empty cell sets its value, a cell "-" removes the value stored there
    // (where the file stores the text "-", ASCII or Unicode, it is that value), a
    // cell equal to what the file holds is no change. Unknown files, files without
    // a row, second rows of a file, cells that do not parse, rows of the wrong
    // length, and cells the file would refuse (a value it could not hold, another
    // type stored there, a value on the way or a list there, an untyped column where the file has
    // no entry, a file that cannot be read or is read-only) go to `faults`; those rows and cells
    // make no change. Rows are the lines their records begin on. At most kMaxFaults are listed; a
    // last fault (row 0) then counts the rest.
    static constexpr std::size_t kMaxFaults = 1000;
    // The most text a sheet (or a JSON document to import) may hold, from a file
    // or from standard input alike: reading takes a small multiple of it.
    static constexpr std::uint64_t kMaxTextBytes = 64u << 20;
    // Columns of values a sheet may have (far more than any plate sheet needs;
    // a header of millions would cost gigabytes to check).
    static constexpr std::size_t kMaxColumns = 10000;
    // What one non-empty cell of `column` (index `columnIndex` in the columns
    // `sheet` was read with) asks of the file `sheet.Rows()[file]`: no change (the
    // file holds that already), a change, or a fault, by the rules of Changes.
    struct CellResult {
        std::optional<FolderSheet::Change> change;
        std::string fault;  // empty: none
    };
    static CellResult Cell(const FolderSheet& sheet, std::size_t file, std::size_t columnIndex,
                           const Column& column, std::string_view text);
    static std::vector<FolderSheet::Change> Changes(const SheetTable::Table& table,
                                                    const std::vector<Column>& columns,
                                                    const FolderSheet& sheet,
                                                    std::vector<Fault>& faults);
};
