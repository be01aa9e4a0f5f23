#include "views/EntryTreeModel.h"

#include <algorithm>

#include "model/LabelCompare.h"
#include "platform/qt/QtText.h"

namespace {
bool TextLess(const std::unique_ptr<TreeItem>& a, const std::unique_ptr<TreeItem>& b) {
    return CompareLabels(a->text, b->text) < 0;
}
}  // namespace

EntryTreeModel::EntryTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

EntryTreeModel::~EntryTreeModel() = default;

void EntryTreeModel::Clear() {
    beginResetModel();
    m_root.children.clear();
    endResetModel();
}

std::size_t EntryTreeModel::SortedPosition(const TreeItem& parent, const std::string& text) {
    // After any equal texts, as a sorted insertion of the tree control puts them.
    auto it = std::upper_bound(parent.children.begin(), parent.children.end(), text,
                               [](const std::string& t, const std::unique_ptr<TreeItem>& c) {
                                   return CompareLabels(t, c->text) < 0;
                               });
    return static_cast<std::size_t>(it - parent.children.begin());
}

TreeItem* EntryTreeModel::Insert(TreeItem* parent, std::string text, int image, void* data) {
    TreeItem& p = parent ? *parent : m_root;
    auto item = std::make_unique<TreeItem>();
    item->parent = parent;
    item->data = data;
    item->image = image;
    const std::size_t row = SortedPosition(p, text);
    item->text = std::move(text);
    TreeItem* raw = item.get();
    beginInsertRows(parent ? IndexOf(parent) : QModelIndex(), static_cast<int>(row),
                    static_cast<int>(row));
    p.children.insert(p.children.begin() + static_cast<std::ptrdiff_t>(row), std::move(item));
    Renumber(p, row);
    endInsertRows();
    return raw;
}

void EntryTreeModel::BeginFill() {
    beginResetModel();
    m_root.children.clear();
    m_bFilling = true;
}

TreeItem* EntryTreeModel::FillInsert(TreeItem* parent, std::string text, int image, void* data) {
    if (!m_bFilling) return Insert(parent, std::move(text), image, data);
    TreeItem& p = parent ? *parent : m_root;
    auto item = std::make_unique<TreeItem>();
    item->parent = parent;
    item->data = data;
    item->image = image;
    item->text = std::move(text);
    item->row = static_cast<int>(p.children.size());
    p.children.push_back(std::move(item));
    return p.children.back().get();
}

void EntryTreeModel::SortAll(TreeItem& item) {
    // Iterative: lists may nest deeply. Children arrive in label order, which the
    // text order nearly always keeps, so the stable sort finds them sorted.
    std::vector<TreeItem*> stack{&item};
    while (!stack.empty()) {
        TreeItem* t = stack.back();
        stack.pop_back();
        if (!std::is_sorted(t->children.begin(), t->children.end(), TextLess)) {
            std::stable_sort(t->children.begin(), t->children.end(), TextLess);
            Renumber(*t, 0);
        }
        for (auto& c : t->children)
            if (!c->children.empty()) stack.push_back(c.get());
    }
}

void EntryTreeModel::EndFill() {
    SortAll(m_root);
    m_bFilling = false;
    endResetModel();
}

void EntryTreeModel::Renumber(TreeItem& parent, std::size_t from) {
    for (std::size_t i = from; i < parent.children.size(); ++i)
        parent.children[i]->row = static_cast<int>(i);
}

int EntryTreeModel::RowOf(const TreeItem* item) const {
    const TreeItem& p = item->parent ? *item->parent : m_root;
    if (item->row >= 0 && static_cast<std::size_t>(item->row) < p.children.size() &&
        p.children[static_cast<std::size_t>(item->row)].get() == item)
        return item->row;
    auto it = std::lower_bound(p.children.begin(), p.children.end(), item->text,
                               [](const std::unique_ptr<TreeItem>& c, const std::string& t) {
                                   return CompareLabels(c->text, t) < 0;
                               });
    for (; it != p.children.end() && CompareLabels((*it)->text, item->text) == 0; ++it)
        if (it->get() == item) return static_cast<int>(it - p.children.begin());
    // Not where its text says (never expected): look through the whole list.
    for (std::size_t i = 0; i < p.children.size(); ++i)
        if (p.children[i].get() == item) return static_cast<int>(i);
    return -1;
}

void EntryTreeModel::Remove(TreeItem* item) {
    const int row = RowOf(item);
    if (row < 0) return;
    TreeItem& p = item->parent ? *item->parent : m_root;
    beginRemoveRows(item->parent ? IndexOf(item->parent) : QModelIndex(), row, row);
    p.children.erase(p.children.begin() + row);
    Renumber(p, static_cast<std::size_t>(row));
    endRemoveRows();
}

void EntryTreeModel::SetItem(TreeItem* item, std::string text, int image) {
    // The item keeps its place, as a tree control's item does when its text is
    // set: only insertion sorts. (A retitle changes only the type name after the
    // label, so siblings stay sorted by label; insertion's binary search among
    // them still finds a place by label.)
    if (RowOf(item) < 0) return;
    item->text = std::move(text);
    item->image = image;
    const QModelIndex i = IndexOf(item);
    emit dataChanged(i, i);
}

QModelIndex EntryTreeModel::IndexOf(const TreeItem* item) const {
    if (!item || m_bFilling) return {};
    const int row = RowOf(item);
    if (row < 0) return {};
    return createIndex(row, 0, const_cast<TreeItem*>(item));
}

TreeItem* EntryTreeModel::ItemAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return nullptr;
    return static_cast<TreeItem*>(index.internalPointer());
}

QModelIndex EntryTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    const TreeItem* p = parent.isValid() ? ItemAt(parent) : &m_root;
    if (!p || row >= static_cast<int>(p->children.size())) return {};
    return createIndex(row, 0, p->children[static_cast<std::size_t>(row)].get());
}

QModelIndex EntryTreeModel::parent(const QModelIndex& child) const {
    const TreeItem* item = ItemAt(child);
    if (!item || !item->parent) return {};
    return IndexOf(item->parent);
}

int EntryTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    const TreeItem* p = parent.isValid() ? ItemAt(parent) : &m_root;
    return p ? static_cast<int>(p->children.size()) : 0;
}

int EntryTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant EntryTreeModel::data(const QModelIndex& index, int role) const {
    const TreeItem* item = ItemAt(index);
    if (!item) return {};
    switch (role) {
        case Qt::DisplayRole:
            return FromAnsi(item->text);
        case Qt::DecorationRole:
            return m_images.Icon(item->image);
        case kDataRole:
            return QVariant::fromValue(reinterpret_cast<quintptr>(item->data));
        default:
            return {};
    }
}
