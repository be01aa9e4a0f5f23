#pragma once
// The plate sheet's table: one row per sample file of a folder, the column
// "File" and one column per chosen entry path, each cell the value that file
// stores there. Cells take new values (typed, pasted as a block, or read from a
// sample sheet); the values not yet written are kept beside the sheet as pending
// changes, drawn highlighted, and become FolderSheet changes for the preview and
// for Apply.

#include <QAbstractTableModel>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "document/FolderSheet.h"
#include "document/SheetImport.h"

class PlateSheetModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using Column = SheetImport::Column;
    explicit PlateSheetModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Reads the files of the folder of `fileInFolder` against `columns`; pending
    // values of columns that stay are kept. Throws FileError when the folder
    // cannot be read (then nothing changes).
    void Load(const std::string& fileInFolder, std::vector<Column> columns);
    // Reads the files again (after they were written), keeping the pending values.
    void Reload();
    const FolderSheet& Sheet() const { return m_sheet; }
    const std::vector<Column>& Columns() const { return m_columns; }

    // Sets the pending value of a cell (row, sheet column) from text as the
    // Number dialog reads it: "" takes the pending value back, "-" removes the
    // stored value, text equal to what the file stores is no change. False with
    // the reason in `error` when the text does not parse.
    bool SetCellText(std::size_t row, std::size_t column, const std::string& text,
                     std::string* error);
    // Pastes a block of tab-separated rows (a spreadsheet's copy) with its top
    // left at (row, sheet column); a single value goes into every cell of
    // `selection` instead. Either every cell takes its value or none does: the
    // faults come back, each with the block's row and column.
    std::vector<std::string> Paste(
        const std::string& text, std::size_t row, std::size_t column,
        const std::vector<std::pair<std::size_t, std::size_t>>& selection);
    // Reads a sample sheet: its columns replace the sheet's, its values become
    // pending values; the faults come back (SheetImport's). Throws
    // SheetImport::BadHeader and FileError (then nothing changes).
    std::vector<SheetImport::Fault> LoadTable(const std::string& fileInFolder,
                                              const SheetTable::Table& records);

    std::vector<FolderSheet::Change> Changes() const;
    bool HasChanges() const { return m_nPending > 0; }
    void ClearChanges();
    // After Apply: the files are read again; the cells written lose their pending
    // value, the cells that failed keep it with the reason in their tip.
    void AfterApply(const std::vector<FolderSheet::Change>& changes,
                    const FolderSheet::Result& result);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Why setData last refused a text (for the view to show once), cleared.
    std::string TakeLastError() { return std::exchange(m_strLastError, {}); }

  signals:
    // The pending changes changed (the preview follows).
    void ChangesChanged();

  private:
    struct Pending {
        HeaderElement value;
        bool remove = false;
        std::string failure;  // why the last Apply could not write it
    };
    // The pending value a text makes of a cell; none when it is no change.
    std::optional<Pending> Parse(std::size_t row, std::size_t column, const std::string& text,
                                 std::string* error) const;
    void Put(std::size_t row, std::size_t column, std::optional<Pending> pending);
    bool Editable(std::size_t row) const;

    std::string m_strFile;  // the file whose folder the sheet shows
    FolderSheet m_sheet;
    std::vector<Column> m_columns;
    std::vector<std::vector<std::optional<Pending>>> m_pending;  // [row][column]
    std::size_t m_nPending = 0;
    std::string m_strLastError;
};
