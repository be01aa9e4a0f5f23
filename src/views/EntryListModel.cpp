#include "views/EntryListModel.h"

#include <algorithm>

#include "model/HeaderNode.h"
#include "model/LabelCompare.h"
#include "platform/qt/QtText.h"

namespace {
bool RowLess(const EntryListModel::Row& a, const EntryListModel::Row& b) {
    return CompareLabels(a.path, b.path) < 0;
}

// The text of an entry's value column: the value in base 10, empty for a list.
QString ValueText(const HeaderNode& entry) {
    return entry.isList ? QString() : QString::fromStdU16String(entry.value.Format(10));
}
}  // namespace

EntryListModel::EntryListModel(QObject* parent) : QAbstractTableModel(parent) {}

EntryListModel::Row EntryListModel::MakeRow(HeaderNode* entry, std::string path) {
    Row row;
    row.entry = entry;
    row.path = std::move(path);
    row.value = ValueText(*entry);
    row.image = entry->pending ? 1 : 0;
    return row;
}

void EntryListModel::Fill(const HeaderNode* root) {
    beginResetModel();
    m_rows.clear();
    if (root)
        HeaderTree::Walk(*root, [&](const HeaderNode& e, std::string_view path) {
            m_rows.push_back(MakeRow(const_cast<HeaderNode*>(&e), std::string(path)));
        });
    std::stable_sort(m_rows.begin(), m_rows.end(), RowLess);
    endResetModel();
}

std::size_t EntryListModel::LowerBound(const std::string& path) const {
    auto it = std::lower_bound(
        m_rows.begin(), m_rows.end(), path,
        [](const Row& r, const std::string& p) { return CompareLabels(r.path, p) < 0; });
    return static_cast<std::size_t>(it - m_rows.begin());
}

void EntryListModel::AddRows(const std::string& prefix, HeaderNode* entry) {
    std::vector<Row> added;
    std::string path = prefix.empty() ? entry->label : prefix + "." + entry->label;
    added.push_back(MakeRow(entry, path));
    HeaderTree::Walk(*entry, [&](const HeaderNode& e, std::string_view below) {
        added.push_back(MakeRow(const_cast<HeaderNode*>(&e), path + "." + std::string(below)));
    });
    if (added.size() <= 64) {
        // A row at a time, each at its sorted place (after equal paths).
        for (Row& r : added) {
            auto it = std::upper_bound(m_rows.begin(), m_rows.end(), r, RowLess);
            const int at = static_cast<int>(it - m_rows.begin());
            beginInsertRows({}, at, at);
            m_rows.insert(it, std::move(r));
            endInsertRows();
        }
        return;
    }
    // Many rows (a pasted list): one merge, announced as a layout change so that
    // views keep their selection.
    std::stable_sort(added.begin(), added.end(), RowLess);
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<HeaderNode*> entriesBefore;
    for (const QModelIndex& i : before) entriesBefore.push_back(EntryAt(i.row()));
    std::vector<Row> merged;
    merged.reserve(m_rows.size() + added.size());
    std::merge(std::make_move_iterator(m_rows.begin()), std::make_move_iterator(m_rows.end()),
               std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()),
               std::back_inserter(merged), RowLess);
    m_rows = std::move(merged);
    QModelIndexList after;
    for (std::size_t k = 0; k < entriesBefore.size(); ++k) {
        const int row = FindRow(entriesBefore[k]);
        after.push_back(row < 0 ? QModelIndex() : index(row, before[static_cast<int>(k)].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

int EntryListModel::FindRow(const HeaderNode* entry) const {
    if (!entry) return -1;
    const std::string path = HeaderTree::PathOf(*entry);
    for (std::size_t i = LowerBound(path); i < m_rows.size() && LabelsEqual(m_rows[i].path, path);
         ++i)
        if (m_rows[i].entry == entry) return static_cast<int>(i);
    return -1;
}

void EntryListModel::RemoveRows(const HeaderNode* entry) {
    const int row = FindRow(entry);
    if (row >= 0) {
        beginRemoveRows({}, row, row);
        m_rows.erase(m_rows.begin() + row);
        endRemoveRows();
    }
    if (!entry || !entry->isList) return;
    // The entries below a list are the rows whose path begins with "list.".
    const std::string prefix = HeaderTree::PathOf(*entry) + ".";
    const std::size_t first = LowerBound(prefix);
    std::size_t last = first;
    while (last < m_rows.size() && m_rows[last].path.size() >= prefix.size() &&
           LabelsEqual(std::string_view(m_rows[last].path).substr(0, prefix.size()), prefix))
        ++last;
    if (last == first) return;
    beginRemoveRows({}, static_cast<int>(first), static_cast<int>(last - 1));
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(first),
                 m_rows.begin() + static_cast<std::ptrdiff_t>(last));
    endRemoveRows();
}

void EntryListModel::RefreshRow(const HeaderNode* entry) {
    const int row = FindRow(entry);
    if (row < 0) return;
    Row& r = m_rows[static_cast<std::size_t>(row)];
    r.image = entry->pending ? 1 : 0;
    if (!entry->isList) r.value = ValueText(*entry);
    emit dataChanged(index(row, 0), index(row, 1));
}

HeaderNode* EntryListModel::EntryAt(int row) const {
    if (row < 0 || row >= static_cast<int>(m_rows.size())) return nullptr;
    return m_rows[static_cast<std::size_t>(row)].entry;
}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int EntryListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size())) return {};
    const Row& r = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return index.column() == 0 ? FromAnsi(r.path) : r.value;
        case Qt::DecorationRole:
            if (index.column() == 0) return m_images.Icon(r.image);
            return {};
        case kEntryRole:
            return QVariant::fromValue(reinterpret_cast<quintptr>(r.entry));
        default:
            return {};
    }
}

QVariant EntryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == 0 ? QStringLiteral("Label") : QStringLiteral("Value");
}
