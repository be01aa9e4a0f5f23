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
    Recompute();
    endResetModel();
}

bool EntryListModel::Matches(const Row& row) const {
    return FromAnsi(row.path).contains(m_strFilter, Qt::CaseInsensitive) ||
           row.value.contains(m_strFilter, Qt::CaseInsensitive);
}

void EntryListModel::Recompute() {
    m_shown.clear();
    if (!Filtered()) return;
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (Matches(m_rows[i])) m_shown.push_back(i);
}

void EntryListModel::SetFilter(const QString& text) {
    if (text == m_strFilter) return;
    beginResetModel();
    m_strFilter = text;
    Recompute();
    endResetModel();
}

std::size_t EntryListModel::ShownLowerBound(std::size_t all) const {
    if (!Filtered()) return all;
    return static_cast<std::size_t>(std::lower_bound(m_shown.begin(), m_shown.end(), all) -
                                    m_shown.begin());
}

int EntryListModel::ShownIndexOf(std::size_t all) const {
    const std::size_t q = ShownLowerBound(all);
    if (Filtered() && (q >= m_shown.size() || m_shown[q] != all)) return -1;
    return static_cast<int>(q);
}

void EntryListModel::InsertAt(std::size_t at, Row row) {
    if (!Filtered()) {
        beginInsertRows({}, static_cast<int>(at), static_cast<int>(at));
        m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
        endInsertRows();
        return;
    }
    // The rows shown after the place move up one among all rows (what they show stays).
    const std::size_t q = ShownLowerBound(at);
    for (std::size_t k = q; k < m_shown.size(); ++k) ++m_shown[k];
    const bool shown = Matches(row);
    m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
    if (!shown) return;
    beginInsertRows({}, static_cast<int>(q), static_cast<int>(q));
    m_shown.insert(m_shown.begin() + static_cast<std::ptrdiff_t>(q), at);
    endInsertRows();
}

void EntryListModel::EraseRange(std::size_t first, std::size_t last) {
    if (last <= first) return;
    const std::size_t qf = ShownLowerBound(first), ql = ShownLowerBound(last);
    const bool announce = ql > qf;
    if (announce) beginRemoveRows({}, static_cast<int>(qf), static_cast<int>(ql - 1));
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(first),
                 m_rows.begin() + static_cast<std::ptrdiff_t>(last));
    if (Filtered()) {
        m_shown.erase(m_shown.begin() + static_cast<std::ptrdiff_t>(qf),
                      m_shown.begin() + static_cast<std::ptrdiff_t>(ql));
        for (std::size_t k = qf; k < m_shown.size(); ++k) m_shown[k] -= last - first;
    }
    if (announce) endRemoveRows();
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
            InsertAt(static_cast<std::size_t>(it - m_rows.begin()), std::move(r));
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
    Recompute();
    QModelIndexList after;
    for (std::size_t k = 0; k < entriesBefore.size(); ++k) {
        const int row = FindRow(entriesBefore[k]);
        after.push_back(row < 0 ? QModelIndex() : index(row, before[static_cast<int>(k)].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

long EntryListModel::FindAllRow(const HeaderNode* entry) const {
    if (!entry) return -1;
    const std::string path = HeaderTree::PathOf(*entry);
    for (std::size_t i = LowerBound(path); i < m_rows.size() && LabelsEqual(m_rows[i].path, path);
         ++i)
        if (m_rows[i].entry == entry) return static_cast<long>(i);
    return -1;
}

int EntryListModel::FindRow(const HeaderNode* entry) const {
    const long i = FindAllRow(entry);
    return i < 0 ? -1 : ShownIndexOf(static_cast<std::size_t>(i));
}

void EntryListModel::RemoveRows(const HeaderNode* entry) {
    if (const long row = FindAllRow(entry); row >= 0)
        EraseRange(static_cast<std::size_t>(row), static_cast<std::size_t>(row) + 1);
    if (!entry || !entry->isList) return;
    // The entries below a list are the rows whose path begins with "list.".
    const std::string prefix = HeaderTree::PathOf(*entry) + ".";
    const std::size_t first = LowerBound(prefix);
    std::size_t last = first;
    while (last < m_rows.size() && m_rows[last].path.size() >= prefix.size() &&
           LabelsEqual(std::string_view(m_rows[last].path).substr(0, prefix.size()), prefix))
        ++last;
    EraseRange(first, last);
}

void EntryListModel::RefreshRow(const HeaderNode* entry) {
    const long all = FindAllRow(entry);
    if (all < 0) return;
    const auto i = static_cast<std::size_t>(all);
    Row& r = m_rows[i];
    r.image = entry->pending ? 1 : 0;
    if (!entry->isList) r.value = ValueText(*entry);
    const int row = ShownIndexOf(i);
    if (Filtered() && (row >= 0) != Matches(r)) {
        // The new value decides whether the row is shown.
        if (row >= 0) {
            beginRemoveRows({}, row, row);
            m_shown.erase(m_shown.begin() + row);
            endRemoveRows();
        } else {
            const auto q = static_cast<int>(ShownLowerBound(i));
            beginInsertRows({}, q, q);
            m_shown.insert(m_shown.begin() + q, i);
            endInsertRows();
        }
        return;
    }
    if (row >= 0) emit dataChanged(index(row, 0), index(row, 1));
}

HeaderNode* EntryListModel::EntryAt(int row) const {
    if (row < 0 || row >= rowCount()) return nullptr;
    return m_rows[AllIndex(row)].entry;
}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(Filtered() ? m_shown.size() : m_rows.size());
}

int EntryListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Row& r = m_rows[AllIndex(index.row())];
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
