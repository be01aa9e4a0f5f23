#include "views/EntryTreeModel.h"

#include <algorithm>

#include "model/LabelCompare.h"
#include "platform/qt/QtText.h"

namespace {
bool TextLess(const std::unique_ptr<TreeItem>& a, const std::unique_ptr<TreeItem>& b) {
    return CompareLabels(a->text, b->text) < 0;
}

std::unique_ptr<TreeItem> MakeItem(TreeItem* parent, std::string text, int image, void* data) {
    auto item = std::make_unique<TreeItem>();
    item->parent = parent;
    item->data = data;
    item->image = image;
    item->text = std::move(text);
    item->depth = parent ? parent->depth + 1 : 0;
    return item;
}
}  // namespace

EntryTreeModel::EntryTreeModel(QObject* parent) : QAbstractTableModel(parent) {
    m_root.expanded = true;
}

EntryTreeModel::~EntryTreeModel() = default;

void EntryTreeModel::Clear() {
    beginResetModel();
    m_root.children.clear();
    m_shown.clear();
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

bool EntryTreeModel::Before(const TreeItem* a, const TreeItem* b) {
    if (a == b) return false;
    const TreeItem* x = a;
    const TreeItem* y = b;
    while (x->depth > y->depth) x = x->parent;
    while (y->depth > x->depth) y = y->parent;
    // One is the other's ancestor: the ancestor comes first.
    if (x == y) return a->depth < b->depth;
    while (x->parent != y->parent) {
        x = x->parent;
        y = y->parent;
    }
    return x->row < y->row;
}

bool EntryTreeModel::IsShown(const TreeItem* item) {
    for (const TreeItem* p = item->parent; p; p = p->parent)
        if (!p->expanded) return false;
    return true;
}

int EntryTreeModel::SiblingRow(const TreeItem* item) const {
    const TreeItem& p = item->parent ? *item->parent : m_root;
    const auto row = static_cast<std::size_t>(item->row);
    return item->row >= 0 && row < p.children.size() && p.children[row].get() == item ? item->row
                                                                                      : -1;
}

int EntryTreeModel::ShownRow(const TreeItem* item) const {
    if (m_bFilling || SiblingRow(item) < 0 || !IsShown(item)) return -1;
    auto it = std::lower_bound(m_shown.begin(), m_shown.end(), item, Before);
    return it != m_shown.end() && *it == item ? static_cast<int>(it - m_shown.begin()) : -1;
}

std::size_t EntryTreeModel::ShownEnd(std::size_t row) const {
    const int depth = m_shown[row]->depth;
    std::size_t end = row + 1;
    while (end < m_shown.size() && m_shown[end]->depth > depth) ++end;
    return end;
}

void EntryTreeModel::CollectShown(const TreeItem& item, std::vector<TreeItem*>& out) {
    // Iterative: lists may nest deeply.
    if (!item.expanded) return;
    std::vector<const TreeItem*> stack{&item};
    while (!stack.empty()) {
        const TreeItem* t = stack.back();
        stack.pop_back();
        if (t != &item) out.push_back(const_cast<TreeItem*>(t));
        if (t->expanded)
            for (auto it = t->children.rbegin(); it != t->children.rend(); ++it)
                stack.push_back(it->get());
    }
}

void EntryTreeModel::RebuildShown() {
    m_shown.clear();
    CollectShown(m_root, m_shown);
}

void EntryTreeModel::BranchChanged(const TreeItem* item) {
    if (const int row = ShownRow(item); row >= 0) {
        const QModelIndex i = index(row, 0);
        emit dataChanged(i, i, {kBranchRole});
    }
}

TreeItem* EntryTreeModel::Insert(TreeItem* parent, std::string text, int image, void* data) {
    TreeItem& p = parent ? *parent : m_root;
    const std::size_t row = SortedPosition(p, text);
    p.children.insert(p.children.begin() + static_cast<std::ptrdiff_t>(row),
                      MakeItem(parent, std::move(text), image, data));
    Renumber(p, row);
    TreeItem* raw = p.children[row].get();
    if (p.expanded && IsShown(&p)) {
        const auto at = static_cast<int>(
            std::lower_bound(m_shown.begin(), m_shown.end(), raw, Before) - m_shown.begin());
        beginInsertRows({}, at, at);
        m_shown.insert(m_shown.begin() + at, raw);
        endInsertRows();
    } else if (parent && p.children.size() == 1) {
        BranchChanged(parent);  // its expander appears
    }
    return raw;
}

void EntryTreeModel::BeginFill() {
    beginResetModel();
    m_root.children.clear();
    m_shown.clear();
    m_bFilling = true;
}

TreeItem* EntryTreeModel::FillInsert(TreeItem* parent, std::string text, int image, void* data) {
    if (!m_bFilling) return Insert(parent, std::move(text), image, data);
    TreeItem& p = parent ? *parent : m_root;
    p.children.push_back(MakeItem(parent, std::move(text), image, data));
    p.children.back()->row = static_cast<int>(p.children.size() - 1);
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

void EntryTreeModel::EndFill(bool expandAll) {
    SortAll(m_root);
    if (expandAll) {
        std::vector<TreeItem*> stack;
        for (auto& c : m_root.children) stack.push_back(c.get());
        while (!stack.empty()) {
            TreeItem* t = stack.back();
            stack.pop_back();
            t->expanded = !t->children.empty();
            for (auto& c : t->children) stack.push_back(c.get());
        }
    }
    m_bFilling = false;
    RebuildShown();
    endResetModel();
}

void EntryTreeModel::Renumber(TreeItem& parent, std::size_t from) {
    for (std::size_t i = from; i < parent.children.size(); ++i)
        parent.children[i]->row = static_cast<int>(i);
}

void EntryTreeModel::Remove(TreeItem* item) {
    const int sibling = SiblingRow(item);
    if (sibling < 0) return;
    TreeItem* parent = item->parent;
    TreeItem& p = parent ? *parent : m_root;
    auto erase = [&] {
        p.children.erase(p.children.begin() + sibling);
        Renumber(p, static_cast<std::size_t>(sibling));
    };
    if (const int row = ShownRow(item); row >= 0) {
        const std::size_t end = ShownEnd(static_cast<std::size_t>(row));
        beginRemoveRows({}, row, static_cast<int>(end) - 1);
        m_shown.erase(m_shown.begin() + row, m_shown.begin() + static_cast<std::ptrdiff_t>(end));
        erase();
        endRemoveRows();
    } else {
        erase();
    }
    if (parent && p.children.empty()) BranchChanged(parent);  // its expander goes
}

void EntryTreeModel::SetItem(TreeItem* item, std::string text, int image) {
    // The item keeps its place, as a tree control's item does when its text is
    // set: only insertion sorts. (A retitle changes only the type name after the
    // label, so siblings stay sorted by label; insertion's binary search among
    // them still finds a place by label.)
    if (SiblingRow(item) < 0) return;
    item->text = std::move(text);
    item->image = image;
    if (const int row = ShownRow(item); row >= 0) emit dataChanged(index(row, 0), index(row, 0));
}

void EntryTreeModel::SetExpanded(TreeItem* item, bool expanded) {
    if (item->expanded == expanded || SiblingRow(item) < 0) return;
    const int row = ShownRow(item);
    if (row < 0) {
        item->expanded = expanded;
        return;
    }
    const auto first = static_cast<std::size_t>(row) + 1;
    item->expanded = expanded;
    if (expanded) {
        std::vector<TreeItem*> below;
        CollectShown(*item, below);
        if (!below.empty()) {
            beginInsertRows({}, row + 1, row + static_cast<int>(below.size()));
            m_shown.insert(m_shown.begin() + static_cast<std::ptrdiff_t>(first), below.begin(),
                           below.end());
            endInsertRows();
        }
    } else {
        const std::size_t end = ShownEnd(static_cast<std::size_t>(row));
        if (end > first) {
            beginRemoveRows({}, row + 1, static_cast<int>(end) - 1);
            m_shown.erase(m_shown.begin() + static_cast<std::ptrdiff_t>(first),
                          m_shown.begin() + static_cast<std::ptrdiff_t>(end));
            endRemoveRows();
        }
    }
    BranchChanged(item);
}

void EntryTreeModel::ExpandBelow(TreeItem* item) {
    // Collapsed first, so that one insertion shows the whole subtree.
    SetExpanded(item, false);
    std::vector<TreeItem*> stack;
    for (auto& c : item->children) stack.push_back(c.get());
    while (!stack.empty()) {
        TreeItem* t = stack.back();
        stack.pop_back();
        if (t->children.empty()) continue;
        t->expanded = true;
        for (auto& c : t->children) stack.push_back(c.get());
    }
    SetExpanded(item, true);
}

void EntryTreeModel::Reveal(TreeItem* item) {
    std::vector<TreeItem*> ancestors;
    for (TreeItem* p = item->parent; p; p = p->parent) ancestors.push_back(p);
    // From the top: each expansion then shows what the next one changes.
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) SetExpanded(*it, true);
}

QModelIndex EntryTreeModel::IndexOf(const TreeItem* item) const {
    if (!item) return {};
    const int row = ShownRow(item);
    return row < 0 ? QModelIndex() : index(row, 0);
}

TreeItem* EntryTreeModel::ItemAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || m_bFilling) return nullptr;
    const auto row = static_cast<std::size_t>(index.row());
    return row < m_shown.size() ? m_shown[row] : nullptr;
}

int EntryTreeModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || m_bFilling ? 0 : static_cast<int>(m_shown.size());
}

int EntryTreeModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
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
        case kDepthRole:
            return item->depth;
        case kBranchRole:
            return item->children.empty() ? kLeaf : item->expanded ? kExpanded : kCollapsed;
        case kLaterSiblingsRole: {
            QByteArray later(std::max(item->depth, 0), '\0');
            for (const TreeItem* i = item; i->depth >= 1 && i->parent; i = i->parent)
                later[i->depth - 1] =
                    static_cast<std::size_t>(i->row) + 1 < i->parent->children.size() ? 1 : 0;
            return later;
        }
        default:
            return {};
    }
}
