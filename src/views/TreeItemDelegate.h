#pragma once
// Draws a row of the tree pane's flat model as a tree control draws an item:
// indented by its depth, with dotted lines from each item to its parent and on
// to its later siblings, a boxed expander on the line of an item that has
// children, and the selection highlighting the item's label only. Top-level
// items get no indentation, line or expander.

#include <QStyledItemDelegate>

class TreeItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    explicit TreeItemDelegate(int indentation, QObject* parent = nullptr)
        : QStyledItemDelegate(parent), m_nIndentation(indentation) {}

    int Indentation() const { return m_nIndentation; }
    // Where, within a row's rectangle (`option.rect`), the item itself (its
    // image and label) and its expander are drawn.
    QRect ItemRect(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    QRect ExpanderRect(const QRect& row, int depth) const;

    // The style the tree pane draws with: the application's, except that a
    // selected row is not highlighted across its whole width (the delegate
    // highlights the label). One for the application, which owns it.
    static QStyle* ViewStyle();

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    void PaintLines(QPainter* painter, const QStyleOptionViewItem& option,
                    const QModelIndex& index) const;
    int m_nIndentation;
};
