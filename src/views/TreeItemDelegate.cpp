#include "views/TreeItemDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>

#include "views/EntryTreeModel.h"

QRect TreeItemDelegate::ItemRect(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const int depth = index.data(EntryTreeModel::kDepthRole).toInt();
    const int left = option.rect.left() + depth * m_nIndentation;
    const int width = QStyledItemDelegate::sizeHint(option, index).width();
    return QRect(left, option.rect.top(), std::min(width, option.rect.right() + 1 - left),
                 option.rect.height());
}

QRect TreeItemDelegate::ExpanderRect(const QRect& row, int depth) const {
    if (depth < 1) return {};
    return QRect(row.left() + (depth - 1) * m_nIndentation, row.top(), m_nIndentation,
                 row.height());
}

void TreeItemDelegate::PaintLines(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const int depth = index.data(EntryTreeModel::kDepthRole).toInt();
    if (depth < 1) return;
    // One flag a level: whether the item at that depth on the way down to this
    // one (the item itself last) has a later sibling, whose line runs on.
    const QByteArray later = index.data(EntryTreeModel::kLaterSiblingsRole).toByteArray();
    const QRect& r = option.rect;
    const int middle = r.top() + r.height() / 2;
    const QBrush dots(option.palette.color(QPalette::Mid), Qt::Dense4Pattern);
    auto lineX = [&](int level) {
        return r.left() + (level - 1) * m_nIndentation + m_nIndentation / 2;
    };
    for (int level = 1; level < depth && level <= later.size(); ++level)
        if (later.at(level - 1)) painter->fillRect(lineX(level), r.top(), 1, r.height(), dots);
    const int x = lineX(depth);
    const bool runsOn = depth <= later.size() && later.at(depth - 1);
    painter->fillRect(x, r.top(), 1, (runsOn ? r.bottom() + 1 : middle) - r.top(), dots);
    painter->fillRect(x, middle, r.left() + depth * m_nIndentation - x, 1, dots);

    const int branch = index.data(EntryTreeModel::kBranchRole).toInt();
    if (branch == EntryTreeModel::kLeaf) return;
    // The expander: a small box with a plus (closed) or minus (open) over the line.
    const QRect box(x - 4, middle - 4, 9, 9);
    painter->fillRect(box, option.palette.color(QPalette::Base));
    painter->setPen(option.palette.color(QPalette::Mid));
    painter->drawRect(box.adjusted(0, 0, -1, -1));
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawLine(box.left() + 2, middle, box.right() - 2, middle);
    if (branch == EntryTreeModel::kCollapsed)
        painter->drawLine(x, box.top() + 2, x, box.bottom() - 2);
}

namespace {

// Draws no row panel: a table view fills it with the highlight across the
// whole selected row, where a tree control highlights the label alone, which
// the delegate draws. (The panel's other use, alternating row colours, is not
// wanted here.)
class LabelSelectionStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element == PE_PanelItemViewRow) return;
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};

}  // namespace

QStyle* TreeItemDelegate::ViewStyle() {
    static QPointer<QStyle> style;
    if (!style) {
        style = new LabelSelectionStyle(QApplication::style()->name());
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

void TreeItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    painter->save();
    PaintLines(painter, option, index);
    painter->restore();
    // The item alone, its label highlighted when selected: not the whole row.
    QStyleOptionViewItem item = option;
    item.rect = ItemRect(option, index);
    item.showDecorationSelected = false;
    QStyledItemDelegate::paint(painter, item, index);
}

QSize TreeItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const QSize size = QStyledItemDelegate::sizeHint(option, index);
    return {size.width() + index.data(EntryTreeModel::kDepthRole).toInt() * m_nIndentation,
            size.height()};
}
