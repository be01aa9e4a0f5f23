#pragma once
// Draws a row of the tree pane's flat model as a tree control draws an item:
// indented by its depth, with an expander left of an item that has children.
// Top-level items get neither indentation nor expander.

#include <QStyledItemDelegate>

class TreeItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    explicit TreeItemDelegate(int indentation, QObject* parent = nullptr)
        : QStyledItemDelegate(parent), m_indentation(indentation) {}

    int Indentation() const { return m_indentation; }
    // Where, within a row's rectangle, the item and its expander are drawn.
    QRect ItemRect(const QRect& row, int depth) const;
    QRect ExpanderRect(const QRect& row, int depth) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    int m_indentation;
};
