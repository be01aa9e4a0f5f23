#include "views/PlateSheetModel.h"

#include <QBrush>
#include <QColor>
#include <map>

#include "document/EntryArguments.h"
#include "model/ElementType.h"

namespace {
QString Utf8(const std::string& s) {
    return QString::fromStdString(s);
}
}  // namespace

void PlateSheetModel::Load(const std::string& fileInFolder, std::vector<Column> columns) {
    FolderSheet sheet = FolderSheet::Read(fileInFolder, SheetImport::NarrowPaths(columns));
    // The pending values by file name and path, to find their cells again.
    std::map<std::pair<std::string, std::string>, Pending> kept;
    for (std::size_t r = 0; r < m_pending.size(); ++r)
        for (std::size_t c = 0; c < m_pending[r].size(); ++c)
            if (m_pending[r][c])
                kept.emplace(std::make_pair(m_sheet.Rows()[r].name, m_columns[c].narrow),
                             *m_pending[r][c]);
    beginResetModel();
    m_strFile = fileInFolder;
    m_sheet = std::move(sheet);
    m_columns = std::move(columns);
    m_pending.assign(m_sheet.Rows().size(), std::vector<std::optional<Pending>>(m_columns.size()));
    m_nPending = 0;
    for (std::size_t r = 0; r < m_pending.size(); ++r) {
        if (!Editable(r)) continue;
        for (std::size_t c = 0; c < m_columns.size(); ++c) {
            auto it = kept.find({m_sheet.Rows()[r].name, m_columns[c].narrow});
            if (it == kept.end()) continue;
            const auto& stored = m_sheet.Rows()[r].cells[c];
            // A value the file holds by now is no change any more.
            if (it->second.remove ? !stored : (stored && *stored == it->second.value)) continue;
            m_pending[r][c] = it->second;
            ++m_nPending;
        }
    }
    endResetModel();
    emit ChangesChanged();
}

void PlateSheetModel::Reload() {
    if (!m_strFile.empty()) Load(m_strFile, m_columns);
}

bool PlateSheetModel::Editable(std::size_t row) const {
    const auto& r = m_sheet.Rows().at(row);
    return r.error.empty() && !r.readOnly;
}

std::optional<PlateSheetModel::Pending> PlateSheetModel::Parse(std::size_t row, std::size_t column,
                                                               const std::string& text,
                                                               std::string* error) const {
    const auto& stored = m_sheet.Rows().at(row).cells.at(column);
    if (text.empty()) return std::nullopt;
    if (text == "-") {
        if (!stored) return std::nullopt;
        return Pending{{}, true, {}};
    }
    try {
        HeaderElement value = EntryArguments::ParseValues(text, m_columns.at(column).type);
        if (stored && *stored == value) return std::nullopt;
        return Pending{std::move(value), false, {}};
    } catch (const EntryArguments::Failure& f) {
        if (error) *error = f.what();
        throw;
    }
}

void PlateSheetModel::Put(std::size_t row, std::size_t column, std::optional<Pending> pending) {
    auto& cell = m_pending[row][column];
    m_nPending +=
        static_cast<std::size_t>(pending.has_value()) - static_cast<std::size_t>(cell.has_value());
    cell = std::move(pending);
    const QModelIndex at = index(static_cast<int>(row), static_cast<int>(column + 1));
    emit dataChanged(at, at);
}

bool PlateSheetModel::SetCellText(std::size_t row, std::size_t column, const std::string& text,
                                  std::string* error) {
    if (row >= m_pending.size() || column >= m_columns.size() || !Editable(row)) {
        if (error) *error = "This cell cannot be changed.";
        return false;
    }
    try {
        Put(row, column, Parse(row, column, text, error));
    } catch (const EntryArguments::Failure&) {
        return false;
    }
    emit ChangesChanged();
    return true;
}

std::vector<std::string> PlateSheetModel::Paste(
    const std::string& text, std::size_t row, std::size_t column,
    const std::vector<std::pair<std::size_t, std::size_t>>& selection) {
    SheetTable::Records block;
    try {
        block = SheetTable::Parse(text, '\t');
    } catch (const SheetTable::ParseError& e) {
        return {"row " + std::to_string(e.Row()) + ", column " + std::to_string(e.Column()) + ": " +
                e.what()};
    }
    // A spreadsheet's copy ends with a line break: no empty last row.
    while (!block.empty() && block.back().size() == 1 && block.back()[0].empty()) block.pop_back();
    if (block.empty()) return {"The clipboard holds no values."};
    std::vector<std::pair<std::pair<std::size_t, std::size_t>, std::string>> cells;
    if (block.size() == 1 && block.front().size() == 1) {
        for (const auto& at : selection) cells.push_back({at, block[0][0]});
    } else {
        std::size_t width = 0;
        for (const auto& r : block) width = std::max(width, r.size());
        if (row + block.size() > m_pending.size() || column + width > m_columns.size())
            return {"The block has " + std::to_string(block.size()) + " rows and " +
                    std::to_string(width) + " columns; from the cell chosen the sheet has " +
                    std::to_string(m_pending.size() - std::min(row, m_pending.size())) +
                    " rows and " +
                    std::to_string(m_columns.size() - std::min(column, m_columns.size())) +
                    " value columns."};
        for (std::size_t r = 0; r < block.size(); ++r)
            for (std::size_t c = 0; c < block[r].size(); ++c)
                cells.push_back({{row + r, column + c}, block[r][c]});
    }
    std::vector<std::string> faults;
    std::vector<std::pair<std::pair<std::size_t, std::size_t>, std::optional<Pending>>> made;
    for (const auto& [at, value] : cells) {
        const std::string where = "row " + std::to_string(at.first - row + 1) + ", column " +
                                  std::to_string(at.second - column + 1) + " (" +
                                  m_sheet.Rows().at(at.first).name + ", " +
                                  m_columns.at(at.second).path + "): ";
        if (!Editable(at.first)) {
            faults.push_back(where + (m_sheet.Rows()[at.first].readOnly
                                          ? "the file is read-only"
                                          : m_sheet.Rows()[at.first].error));
            continue;
        }
        std::string error;
        try {
            made.push_back({at, Parse(at.first, at.second, value, &error)});
        } catch (const EntryArguments::Failure&) {
            faults.push_back(where + error);
        }
    }
    if (!faults.empty()) return faults;
    for (auto& [at, pending] : made) Put(at.first, at.second, std::move(pending));
    emit ChangesChanged();
    return {};
}

std::vector<SheetImport::Fault> PlateSheetModel::LoadTable(const std::string& fileInFolder,
                                                           const SheetTable::Records& records) {
    std::vector<Column> columns =
        SheetImport::ReadHeader(records.empty() ? SheetTable::Record{} : records.front());
    const FolderSheet sheet = FolderSheet::Read(fileInFolder, SheetImport::NarrowPaths(columns));
    std::vector<SheetImport::Fault> faults;
    const auto changes = SheetImport::Changes(records, columns, sheet, faults);
    m_pending.clear();  // the sheet's values replace every pending one
    Load(fileInFolder, std::move(columns));
    for (const auto& change : changes) {
        if (!Editable(change.row)) continue;
        Put(change.row, change.column, Pending{change.value, change.remove, {}});
    }
    emit ChangesChanged();
    return faults;
}

std::vector<FolderSheet::Change> PlateSheetModel::Changes() const {
    std::vector<FolderSheet::Change> changes;
    for (std::size_t r = 0; r < m_pending.size(); ++r)
        for (std::size_t c = 0; c < m_pending[r].size(); ++c)
            if (const auto& p = m_pending[r][c]) changes.push_back({r, c, p->value, p->remove});
    return changes;
}

void PlateSheetModel::ClearChanges() {
    beginResetModel();
    for (auto& row : m_pending)
        for (auto& cell : row) cell.reset();
    m_nPending = 0;
    endResetModel();
    emit ChangesChanged();
}

void PlateSheetModel::AfterApply(const std::vector<FolderSheet::Change>& changes,
                                 const FolderSheet::Result& result) {
    for (const auto& cell : result.cells) {
        const auto& change = changes.at(cell.change);
        auto& pending = m_pending.at(change.row).at(change.column);
        if (!pending) continue;
        if (cell.outcome == FolderSheet::CellOutcome::Written) {
            pending.reset();
            --m_nPending;
        } else {
            pending->failure = cell.reason;
        }
    }
    Reload();
}

int PlateSheetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_sheet.Rows().size());
}

int PlateSheetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size() + 1);
}

QVariant PlateSheetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const auto r = static_cast<std::size_t>(index.row());
    const auto& row = m_sheet.Rows().at(r);
    if (index.column() == 0) {
        if (role == Qt::DisplayRole) return Utf8(row.name);
        if (role == Qt::ToolTipRole)
            return Utf8(row.error.empty() ? (row.readOnly ? row.path + " (read-only)" : row.path)
                                          : row.name + ": " + row.error);
        if (role == Qt::ForegroundRole && !Editable(r)) return QBrush(QColor(128, 128, 128));
        return {};
    }
    const auto c = static_cast<std::size_t>(index.column() - 1);
    const auto& stored = row.cells.at(c);
    const auto& pending = m_pending.at(r).at(c);
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            if (pending) return Utf8(pending->remove ? "-" : FolderSheet::CellText(pending->value));
            return Utf8(FolderSheet::CellText(stored));
        case Qt::BackgroundRole:
            if (pending)
                return QBrush(pending->failure.empty() ? QColor(255, 236, 150)
                                                       : QColor(255, 190, 180));
            return {};
        case Qt::ToolTipRole:
            if (pending) {
                QString tip = QStringLiteral("Was: %1").arg(
                    stored ? Utf8(FolderSheet::CellText(stored)) : QStringLiteral("(none)"));
                if (!pending->failure.empty())
                    tip += QStringLiteral("\nNot written: ") + Utf8(pending->failure);
                return tip;
            }
            return {};
        case Qt::ForegroundRole:
            if (!Editable(r)) return QBrush(QColor(128, 128, 128));
            return {};
        default:
            return {};
    }
}

bool PlateSheetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() == 0 || role != Qt::EditRole) return false;
    m_strLastError.clear();
    return SetCellText(static_cast<std::size_t>(index.row()),
                       static_cast<std::size_t>(index.column() - 1), value.toString().toStdString(),
                       &m_strLastError);
}

Qt::ItemFlags PlateSheetModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() > 0 && Editable(static_cast<std::size_t>(index.row())))
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant PlateSheetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (section == 0) return QStringLiteral("File");
    const auto c = static_cast<std::size_t>(section - 1);
    if (c >= m_columns.size()) return {};
    return Utf8(m_columns[c].path) + QStringLiteral(" (") +
           QString::fromLatin1(
               ElementTypeNameAscii(m_columns[c].type).data(),
               static_cast<qsizetype>(ElementTypeNameAscii(m_columns[c].type).size())) +
           QStringLiteral(")");
}
