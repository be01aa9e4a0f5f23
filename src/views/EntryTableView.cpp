#include "views/EntryTableView.h"

#include <QHeaderView>
#include <algorithm>

CEntryTableView::CEntryTableView(QWidget* parent) : QTableView(parent) {
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(std::max(fontMetrics().height(), 16) + 4);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setHorizontalScrollMode(ScrollPerPixel);
    setSelectionBehavior(SelectRows);  // a click anywhere in a row selects it
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers);
    setDragDropMode(NoDragDrop);
    setFrameShape(QFrame::Box);
}

void CEntryTableView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    executeDelayedItemsLayout();
    QTableView::scrollTo(index, hint);
}

QModelIndex CEntryTableView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const int rows = model() ? model()->rowCount(rootIndex()) : 0;
    if (action == MoveHome && rows > 0) return model()->index(0, 0, rootIndex());
    if (action == MoveEnd && rows > 0) return model()->index(rows - 1, 0, rootIndex());
    return QTableView::moveCursor(action, modifiers);
}
