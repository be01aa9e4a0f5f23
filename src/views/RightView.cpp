#include "views/RightView.h"

#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <utility>

#include "document/TKVEditorDoc.h"
#include "platform/qt/CommandSet.h"
#include "res/Resource.h"
#include "views/EntryActions.h"
#include "views/TKVEditorView.h"

CRightView::CRightView(CommandSet& commands, QWidget* parent)
    : CEntryTableView(parent), m_commands(commands), m_imageList(":/res/list_images.png", 16) {
    setObjectName("CRightView");
    m_model.SetImages(m_imageList);
    setModel(&m_model);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSortIndicatorShown(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

CTKVEditorDoc* CRightView::GetDocument() const {
    return static_cast<CTKVEditorDoc*>(CView::GetDocument());
}

std::string CRightView::PrefixOf(const HeaderNode* entry) {
    std::string prefix;
    for (const HeaderNode* p = entry->parent; p; p = p->parent)
        prefix = prefix.empty() ? p->label : p->label + "." + prefix;
    return prefix;
}

void CRightView::OnUpdate(CView* pSender, int hint, void* pObject) {
    if (pSender == this) return;
    auto* entry = static_cast<HeaderNode*>(pObject);
    switch (hint) {
        case HINT_REFRESH_ALL: {
            const HeaderNode* root = GetDocument() ? GetDocument()->m_pRoot.get() : nullptr;
            m_model.Fill(root);
            if (root) ScrollToLastAdded(*root);
            break;
        }
        case HINT_ENTRY_INSERTED:
            if (entry) {
                m_model.AddRows(PrefixOf(entry), entry);
                ScrollToLastAdded(*entry);
            }
            break;
        case HINT_SHOW_ENTRY:
            if (const int row = m_model.FindRow(entry); row >= 0)
                SelectRow(row);
            else if (m_model.Filtered())
                clearSelection();  // the entry is filtered out: no other row stays selected
            break;
        case HINT_ENTRY_CHANGED:
            // Refreshed shown or not: under a filter the new value may show it.
            m_model.RefreshRow(entry);
            if (const int row = m_model.FindRow(entry); row >= 0) scrollTo(m_model.index(row, 0));
            break;
        case HINT_ENTRY_REMOVING:
            if (entry) m_model.RemoveRows(entry);
            break;
        default:
            break;
    }
}

void CRightView::ScrollToLastAdded(const HeaderNode& entry) {
    // Each row is scrolled into view as it is added, so the last one added ends
    // in view; only that last scroll is seen, so only it is made.
    if (const int row = m_model.FindRow(&HeaderTree::LastInWalk(entry)); row >= 0)
        scrollTo(m_model.index(row, 0));
}

HeaderNode* CRightView::GetSelectedEntry() const {
    const QModelIndexList rows =
        selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    return rows.isEmpty() ? nullptr : m_model.EntryAt(rows.front().row());
}

void CRightView::SelectRow(int row) {
    if (row < 0) return;
    const QModelIndex i = m_model.index(row, 0);
    setCurrentIndex(i);
    scrollTo(i);
}

QModelIndex CRightView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    // As a list control, Left and Right scroll sideways.
    if (action == MoveLeft || action == MoveRight) {
        horizontalScrollBar()->triggerAction(action == MoveLeft
                                                 ? QAbstractSlider::SliderSingleStepSub
                                                 : QAbstractSlider::SliderSingleStepAdd);
        return currentIndex();
    }
    return CEntryTableView::moveCursor(action, modifiers);
}

void CRightView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    // When the selected row goes, no row is selected in its place, as in a list
    // control: a table in single selection would select the next row, and the
    // next Delete or Cancel Field would then act on that neighbour.
    const int current = currentIndex().row();
    if (current >= start && current <= end && selectionModel()) selectionModel()->clear();
    CEntryTableView::rowsAboutToBeRemoved(parent, start, end);
}

void CRightView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        const QModelIndex i = indexAt(pos);
        if (!i.isValid()) return;  // below the last row: no menu
        setFocus(Qt::MouseFocusReason);
        SelectRow(i.row());
        HeaderNode* entry = m_model.EntryAt(i.row());
        if (entry && GetDocument()) GetDocument()->NotifyShowEntry(this, entry);
        auto menu = EntryActions::CreateEntryPopup(m_commands, entry && entry->isList);
        menu->exec(event->globalPosition().toPoint());
        return;
    }
    // A click below the last row takes the selection away, as a list control
    // does; with no row selected the click sends nothing.
    if (event->button() == Qt::LeftButton && !indexAt(pos).isValid()) clearSelection();
    CEntryTableView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        if (HeaderNode* entry = GetSelectedEntry(); entry && GetDocument())
            GetDocument()->NotifyShowEntry(this, entry);
}

void CRightView::mouseMoveEvent(QMouseEvent* event) {
    // A drag does not carry the selection along: both panes stay on the entry
    // the press chose.
    if (event->buttons() & Qt::LeftButton) return;
    CEntryTableView::mouseMoveEvent(event);
}

void CRightView::mouseDoubleClickEvent(QMouseEvent* event) {
    CEntryTableView::mouseDoubleClickEvent(event);
    if (HeaderNode* entry = GetSelectedEntry(); entry && GetDocument())
        GetDocument()->NotifyEditEntry(this, entry);
}

void CRightView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();  // the right button is handled on its press
}

void CRightView::resizeEvent(QResizeEvent* event) {
    CEntryTableView::resizeEvent(event);
    // Both columns stay half the pane wide, also after a divider was dragged.
    const int half = viewport()->width() / 2;
    if (half < 1) return;
    for (int c = 0; c < 2; ++c)
        if (columnWidth(c) != half) setColumnWidth(c, half & 0xFFFF);
}

void CRightView::focusInEvent(QFocusEvent* event) {
    CEntryTableView::focusInEvent(event);
    emit Activated(this);
}

bool CRightView::OnCommand(int id) {
    CTKVEditorDoc* doc = GetDocument();
    if (!doc) return false;
    HeaderNode* entry = GetSelectedEntry();
    // The commands the tree view carries out for this pane, asked for by hints.
    using Request = void (CTKVEditorDoc::*)(CView*, HeaderNode*);
    static constexpr std::pair<int, Request> kRequests[] = {
        {ID_EDIT_CUT, &CTKVEditorDoc::NotifyDeleteEntry},
        {ID_EDIT_COPY, &CTKVEditorDoc::NotifyCopyEntry},
        {ID_EDIT_PASTE, &CTKVEditorDoc::NotifyPasteEntry},
        {ID_INSERT_STRING, &CTKVEditorDoc::NotifyInsertString},
        {ID_INSERT_BOOLEAN, &CTKVEditorDoc::NotifyInsertBoolean},
        {ID_INSERT_NUMBER, &CTKVEditorDoc::NotifyInsertNumber},
        {ID_INSERT_LIST, &CTKVEditorDoc::NotifyInsertList},
        {ID_EDIT_ENTRY, &CTKVEditorDoc::NotifyEditEntry},
    };
    for (const auto& [command, request] : kRequests)
        if (command == id) {
            if (entry) (doc->*request)(this, entry);
            return true;
        }
    return EntryActions::RunDocumentCommand(*doc, Frame(), id, entry);
}

bool CRightView::OnUpdateCommand(CCmdUI& ui) {
    CTKVEditorDoc* doc = GetDocument();
    if (!doc) return false;
    const HeaderNode* entry = GetSelectedEntry();
    switch (ui.ID()) {
        case ID_EDIT_CUT:
            ui.Enable(!doc->IsReadOnly());
            return true;
        case ID_EDIT_COPY:
            ui.Enable(true);
            return true;
        case ID_EDIT_PASTE:
            ui.Enable(!doc->IsReadOnly() && entry && entry->isList && doc->GetCopiedEntry());
            return true;
        case ID_INSERT_STRING:
        case ID_INSERT_BOOLEAN:
        case ID_INSERT_NUMBER:
        case ID_INSERT_LIST:
            ui.Enable(!doc->IsReadOnly() && entry && entry->isList);
            return true;
        case ID_EDIT_ENTRY:
            ui.Enable(entry && !entry->isList);
            return true;
        case ID_CANCEL_FIELD:
            ui.Enable(entry && entry->pending);
            return true;
        default:
            return EntryActions::UpdateDocumentCommand(*doc, ui);
    }
}
