#pragma once
// The items of the tree view. The items form a tree (siblings in ascending order
// of their text, compared as labels are, like a tree control's sorted
// insertion), but the model Qt sees is flat: one row per item shown, in the
// order the tree shows them (an item, then the shown items below it), with the
// item's depth and expander state as data roles a delegate draws. A flat model
// lets a view insert or remove rows without laying out every row again, which a
// tree view does for every change under an expanded item.
//
// An item's row is found by a binary search over the rows shown, comparing
// places in the tree (O(depth) a step), so a hint for one item costs
// O(depth log n) plus the rows it adds or removes; a fill is one pass plus a
// sort per list.

#include <QAbstractTableModel>
#include <memory>
#include <string>
#include <vector>

#include "views/ImageStrip.h"

struct TreeItem {
    TreeItem* parent = nullptr;
    void* data = nullptr;  // the entry, or the Standard Header record
    std::string text;      // 8-bit, as the labels
    int image = 0;
    int row = 0;            // its place among its siblings, kept up to date
    int depth = 0;          // 0 for a top-level item
    bool expanded = false;  // its children are shown whenever it is shown
    std::vector<std::unique_ptr<TreeItem>> children;  // in order of their text
};

class EntryTreeModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kDataRole = Qt::UserRole + 1;    // the item's data as a quintptr
    static constexpr int kDepthRole = Qt::UserRole + 2;   // int
    static constexpr int kBranchRole = Qt::UserRole + 3;  // a Branch
    // A QByteArray of one flag a level, from depth 1 down to the item itself:
    // whether the item at that depth on its path has a later sibling.
    static constexpr int kLaterSiblingsRole = Qt::UserRole + 4;
    enum Branch { kLeaf = 0, kCollapsed = 1, kExpanded = 2 };

    explicit EntryTreeModel(QObject* parent = nullptr);
    ~EntryTreeModel() override;

    void SetImages(ImageStrip images) { m_images = std::move(images); }

    // Removes every item.
    void Clear();
    // Inserts an item at its sorted place under `parent` (null: top level). The
    // new item is collapsed; it is shown when its parent is shown and expanded.
    TreeItem* Insert(TreeItem* parent, std::string text, int image, void* data);
    // Builds items without telling the views item by item: between BeginFill and
    // EndFill, FillInsert appends and EndFill sorts and resets the views once,
    // with every item that has children expanded when `expandAll`.
    void BeginFill();
    TreeItem* FillInsert(TreeItem* parent, std::string text, int image, void* data);
    void EndFill(bool expandAll);
    bool Filling() const { return m_bFilling; }
    // Deletes the item and every item below it.
    void Remove(TreeItem* item);
    // New text and image; the item keeps its place.
    void SetItem(TreeItem* item, std::string text, int image);

    // Expanding shows the item's children (and theirs, where expanded) below it;
    // collapsing hides them. An item not shown only records the state.
    void SetExpanded(TreeItem* item, bool expanded);
    // The item and every item below it that has children, expanded.
    void ExpandBelow(TreeItem* item);
    // Every ancestor of the item expanded, so that it is shown.
    void Reveal(TreeItem* item);
    static bool IsShown(const TreeItem* item);

    // The row of a shown item; invalid for an item not shown.
    QModelIndex IndexOf(const TreeItem* item) const;
    TreeItem* ItemAt(const QModelIndex& index) const;
    const std::vector<std::unique_ptr<TreeItem>>& TopLevel() const { return m_root.children; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    static std::size_t SortedPosition(const TreeItem& parent, const std::string& text);
    // Whether `a` comes before `b` in the order the tree shows its items.
    static bool Before(const TreeItem* a, const TreeItem* b);
    // The item's place among its siblings (-1: not there).
    int SiblingRow(const TreeItem* item) const;
    // The row of a shown item, or -1.
    int ShownRow(const TreeItem* item) const;
    // The row after the rows shown below the item shown at `row`.
    std::size_t ShownEnd(std::size_t row) const;
    // The items that expanding `item` shows below it, in order.
    static void CollectShown(const TreeItem& item, std::vector<TreeItem*>& out);
    void RebuildShown();
    void BranchChanged(const TreeItem* item);
    static void SortAll(TreeItem& item);
    static void Renumber(TreeItem& parent, std::size_t from);

    TreeItem m_root;  // invisible and always expanded; its children are the top-level items
    std::vector<TreeItem*> m_shown;  // the rows
    ImageStrip m_images;
    bool m_bFilling = false;
};
