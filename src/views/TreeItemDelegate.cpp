#include "views/TreeItemDelegate.h"

#include <QApplication>
#include <QPainter>

#include "views/EntryTreeModel.h"

QRect TreeItemDelegate::ItemRect(const QRect& row, int depth) const {
    QRect r = row;
    r.setLeft(row.left() + depth * m_indentation);
    return r;
}

QRect TreeItemDelegate::ExpanderRect(const QRect& row, int depth) const {
    if (depth < 1) return {};
    return QRect(row.left() + (depth - 1) * m_indentation, row.top(), m_indentation, row.height());
}

void TreeItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const int depth = index.data(EntryTreeModel::kDepthRole).toInt();
    const int branch = index.data(EntryTreeModel::kBranchRole).toInt();
    if (depth > 0 && branch != EntryTreeModel::kLeaf) {
        QStyleOption expander;  // what initFrom would take from the widget, from the option
        expander.palette = option.palette;
        expander.direction = option.direction;
        expander.fontMetrics = option.fontMetrics;
        expander.rect = ExpanderRect(option.rect, depth);
        expander.state = QStyle::State_Children | QStyle::State_Item;
        if (branch == EntryTreeModel::kExpanded) expander.state |= QStyle::State_Open;
        if (option.state & QStyle::State_Enabled) expander.state |= QStyle::State_Enabled;
        QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_IndicatorBranch, &expander, painter, option.widget);
    }
    QStyleOptionViewItem item = option;
    item.rect = ItemRect(option.rect, depth);
    QStyledItemDelegate::paint(painter, item, index);
}

QSize TreeItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const QSize size = QStyledItemDelegate::sizeHint(option, index);
    return {size.width() + index.data(EntryTreeModel::kDepthRole).toInt() * m_indentation,
            size.height()};
}
