#pragma once
// The rows of the list view: one per entry below the root, labelled by its dotted
// path, kept in ascending order of that path compared as labels are (A-Z folded),
// like a list control that sorts its rows. A row is found by a binary search on
// its entry's path, so a hint for one entry costs O(log n + depth); a list's
// entries are one contiguous run of rows (their paths share "list."), so removing
// a list removes two runs, and a fill is one walk and one sort.

#include <QAbstractItemModel>
#include <string>
#include <vector>

#include "views/ImageStrip.h"

class HeaderNode;

class EntryListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kEntryRole = Qt::UserRole + 1;  // the row's entry as a quintptr

    struct Row {
        HeaderNode* entry = nullptr;
        std::string path;  // 8-bit, as the labels
        QString value;
        int image = 0;
    };

    explicit EntryListModel(QObject* parent = nullptr);
    void SetImages(ImageStrip images) { m_images = std::move(images); }

    // Every row anew: the entries of `root`'s list and below (none for null).
    void Fill(const HeaderNode* root);
    // Rows for `entry` and every entry below it, `prefix` being the path of the
    // list that holds it ("" for the root list). Returns the row of `entry`.
    void AddRows(const std::string& prefix, HeaderNode* entry);
    // Removes the rows of `entry` and of every entry below it.
    void RemoveRows(const HeaderNode* entry);
    // Refreshes the row's image and, for an entry that is not a list, its value.
    void RefreshRow(const HeaderNode* entry);

    int FindRow(const HeaderNode* entry) const;
    HeaderNode* EntryAt(int row) const;
    const std::vector<Row>& Rows() const { return m_rows; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    static Row MakeRow(HeaderNode* entry, std::string path);
    std::size_t LowerBound(const std::string& path) const;

    std::vector<Row> m_rows;
    ImageStrip m_images;
};
