#include "platform/qt/MessageTableModel.h"

void MessageTableModel::SetTable(MessageTable table) {
    beginResetModel();
    m_table = std::move(table);
    endResetModel();
}

int MessageTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_table.rows.size());
}

int MessageTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_table.headings.size());
}

QVariant MessageTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    const auto& row = m_table.rows.at(static_cast<std::size_t>(index.row()));
    const auto column = static_cast<std::size_t>(index.column());
    return column < row.size() ? QString::fromStdString(row[column]) : QString();
}

QVariant MessageTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    const auto column = static_cast<std::size_t>(section);
    return column < m_table.headings.size() ? QString::fromStdString(m_table.headings[column])
                                            : QVariant();
}
