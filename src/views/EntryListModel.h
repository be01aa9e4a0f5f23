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

    // The filter: only rows whose path or value holds `text` (without regard to
    // case) are shown; "" shows every row. Rows, finds and hints all speak of
    // the rows shown.
    void SetFilter(const QString& text);
    const QString& Filter() const { return m_strFilter; }
    bool Filtered() const { return !m_strFilter.isEmpty(); }
    // Every entry's row, shown or not.
    std::size_t TotalRows() const { return m_rows.size(); }

    // The row shown for `entry`, or -1 (no such entry, or filtered out).
    int FindRow(const HeaderNode* entry) const;
    HeaderNode* EntryAt(int row) const;
    const Row& RowAt(int row) const { return m_rows.at(AllIndex(row)); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    static Row MakeRow(HeaderNode* entry, std::string path);
    std::size_t LowerBound(const std::string& path) const;
    // The place of `entry` among all rows, or -1.
    long FindAllRow(const HeaderNode* entry) const;
    bool Matches(const Row& row) const;
    // A shown row's place among all rows, and back (-1: not shown).
    std::size_t AllIndex(int row) const {
        return Filtered() ? m_shown.at(static_cast<std::size_t>(row))
                          : static_cast<std::size_t>(row);
    }
    int ShownIndexOf(std::size_t all) const;
    // The first shown row at or after the place `all` among all rows.
    std::size_t ShownLowerBound(std::size_t all) const;
    void Recompute();
    // Inserts one row at `at` among all rows, and removes [first, last), telling
    // the views of the rows shown.
    void InsertAt(std::size_t at, Row row);
    void EraseRange(std::size_t first, std::size_t last);

    std::vector<Row> m_rows;           // every row, sorted by path
    QString m_strFilter;               // case-folded
    std::vector<std::size_t> m_shown;  // with a filter: the rows shown, as places in m_rows
    ImageStrip m_images;
};
