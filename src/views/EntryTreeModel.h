#pragma once
// The items of the tree view: a model over tree items that carry the document's
// entries (or the Standard Header record). Siblings stay in ascending order of
// their text, compared as labels are (A-Z folded), like a tree control's sorted
// insertion. Each item knows its row (renumbered among its siblings when one is
// added or removed), so parent() is O(1); a fill is one pass plus a sort per list.

#include <QAbstractItemModel>
#include <memory>
#include <string>
#include <vector>

#include "views/ImageStrip.h"

class HeaderNode;

struct TreeItem {
    TreeItem* parent = nullptr;
    void* data = nullptr;  // the entry, or the Standard Header record
    std::string text;      // 8-bit, as the labels
    int image = 0;
    int row = 0;  // its place among its siblings, kept up to date for parent()
    std::vector<std::unique_ptr<TreeItem>> children;  // in order of their text
};

class EntryTreeModel : public QAbstractItemModel {
    Q_OBJECT
  public:
    static constexpr int kDataRole = Qt::UserRole + 1;  // the item's data as a quintptr

    explicit EntryTreeModel(QObject* parent = nullptr);
    ~EntryTreeModel() override;

    void SetImages(ImageStrip images) { m_images = std::move(images); }

    // Removes every item.
    void Clear();
    // Inserts an item at its sorted place under `parent` (null: top level).
    TreeItem* Insert(TreeItem* parent, std::string text, int image, void* data);
    // Builds items without telling the views item by item: between BeginFill and
    // EndFill, FillInsert appends and EndFill sorts and resets the views once.
    void BeginFill();
    TreeItem* FillInsert(TreeItem* parent, std::string text, int image, void* data);
    void EndFill();
    // Deletes the item and every item below it.
    void Remove(TreeItem* item);
    // New text and image; the item moves to its new sorted place.
    void SetItem(TreeItem* item, std::string text, int image);

    QModelIndex IndexOf(const TreeItem* item) const;
    TreeItem* ItemAt(const QModelIndex& index) const;
    const std::vector<std::unique_ptr<TreeItem>>& TopLevel() const { return m_root.children; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    static std::size_t SortedPosition(const TreeItem& parent, const std::string& text);
    int RowOf(const TreeItem* item) const;
    static void SortAll(TreeItem& item);
    static void Renumber(TreeItem& parent, std::size_t from);

    TreeItem m_root;  // invisible; its children are the top-level items
    ImageStrip m_images;
    bool m_bFilling = false;
};
