#include "views/TKVEditorView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <algorithm>
#include <functional>

#include "document/TKVEditorDoc.h"
#include "model/ElementType.h"
#include "platform/qt/CommandSet.h"
#include "platform/qt/QtText.h"
#include "res/Resource.h"
#include "views/EntryActions.h"
#include "views/MainFrameInterface.h"

CTKVEditorView::CTKVEditorView(CommandSet& commands, QWidget* parent)
    : CEntryTableView(parent), m_commands(commands), m_imageList(":/res/tree_images.png", 16) {
    setObjectName("CTKVEditorView");
    m_model.SetImages(m_imageList);
    setModel(&m_model);
    setItemDelegate(&m_delegate);
    setStyle(TreeItemDelegate::ViewStyle());
    horizontalHeader()->hide();
    // Long item texts scroll sideways rather than being cut short: the column is
    // as wide as the widest item (measured as items come, never shrinking between
    // fills), and at least as wide as the pane.
    horizontalHeader()->setStretchLastSection(false);
    setTextElideMode(Qt::ElideNone);
    setContextMenuPolicy(Qt::DefaultContextMenu);
}

CTKVEditorView::~CTKVEditorView() = default;

CTKVEditorDoc* CTKVEditorView::GetDocument() const {
    return static_cast<CTKVEditorDoc*>(CView::GetDocument());
}

int CTKVEditorView::GetImageOfEntry(const HeaderNode* entry) const {
    if (entry->isList) return GetDocument() && entry == GetDocument()->m_pRoot.get() ? 0 : 4;
    switch (entry->value.GetType()) {
        case ToCode(ElementType::Ascii):
        case ToCode(ElementType::Unicode):
            return 1;
        case ToCode(ElementType::Byte):
        case ToCode(ElementType::Double):
        case ToCode(ElementType::Float):
        case ToCode(ElementType::Short):
        case ToCode(ElementType::Long):
            return 2;
        case ToCode(ElementType::Boolean):
            return 3;
        default:
            return 0;
    }
}

std::string CTKVEditorView::ItemTextOf(const HeaderNode* entry) const {
    if (GetDocument() && entry == GetDocument()->m_pRoot.get()) return entry->label;
    std::string text = entry->label;
    text += " (";
    text +=
        ElementTypeNameAscii(entry->isList ? ToCode(ElementType::List) : entry->value.GetType());
    text += ')';
    return text;
}

CTKVEditorView::HTREEITEM CTKVEditorView::InsertEntryItem(HTREEITEM hParentItem,
                                                          HeaderNode* entry) {
    // Iterative, with each list's entries in the list's order; sorted insertion
    // puts the items in the order of their text.
    struct Pending {
        HTREEITEM parent;
        HeaderNode* entry;
    };
    HTREEITEM first = nullptr;
    HTREEITEM last = nullptr;
    std::vector<Pending> stack{{hParentItem, entry}};
    while (!stack.empty()) {
        const Pending p = stack.back();
        stack.pop_back();
        HTREEITEM item =
            m_model.FillInsert(p.parent, ItemTextOf(p.entry), GetImageOfEntry(p.entry), p.entry);
        m_itemOfEntry[p.entry] = item;
        if (!first) first = item;
        last = item;
        for (auto it = p.entry->children.rbegin(); it != p.entry->children.rend(); ++it)
            if (it->second) stack.push_back({item, it->second.get()});
    }
    // Each inserted item is scrolled into view, which expands its ancestors: the
    // new entry's lists stand open and the last item inserted is visible.
    if (first && !m_model.Filling()) {
        MeasureItems(first);
        m_model.Reveal(first);
        m_model.ExpandBelow(first);
        scrollTo(m_model.IndexOf(last));
    }
    return first;
}

void CTKVEditorView::FillTree() {
    m_itemOfEntry.clear();
    m_hRootItem = nullptr;
    m_model.BeginFill();
    CTKVEditorDoc* doc = GetDocument();
    m_hStandardHeaderItem =
        m_model.FillInsert(nullptr, "Standard Header", 5, doc ? &doc->m_standardHeader : nullptr);
    HTREEITEM last = m_hStandardHeaderItem;
    if (doc && doc->m_pRoot)
        m_hRootItem = InsertEntryItem(m_hStandardHeaderItem, doc->m_pRoot.get());
    m_model.EndFill(/*expandAll=*/true);
    m_nWidestItem = 0;
    for (const auto& top : m_model.TopLevel()) MeasureItems(top.get());
    if (m_hRootItem) {
        // Every inserted item is scrolled into view in turn, so the last one
        // inserted (the last entry of each last list, in list order) ends in view.
        if (HTREEITEM i = FindItemOfEntry(&HeaderTree::LastInWalk(*doc->m_pRoot))) last = i;
    }
    scrollTo(m_model.IndexOf(last));
}

void CTKVEditorView::MeasureItems(HTREEITEM hItem) {
    // Measuring every text costs microseconds an item, too much for 100,000
    // items: the widest items are found by an estimate from their length and
    // depth, and only the 64 widest by that estimate are measured.
    constexpr std::size_t kMeasured = 64;
    int depth = 0;
    for (HTREEITEM p = hItem->parent; p; p = p->parent) ++depth;
    const QFontMetrics fm(font());
    const int average = std::max(1, fm.averageCharWidth());
    const int fixed = 16 + 12;                                    // image and margins
    using Candidate = std::pair<int, std::pair<HTREEITEM, int>>;  // estimate, (item, level)
    std::vector<Candidate> widest;  // a min-heap of the largest estimates
    std::vector<std::pair<HTREEITEM, int>> stack{{hItem, depth}};
    while (!stack.empty()) {
        auto [item, level] = stack.back();
        stack.pop_back();
        const int estimate = kIndentation * level + static_cast<int>(item->text.size()) * average;
        if (widest.size() < kMeasured || estimate > widest.front().first) {
            widest.push_back({estimate, {item, level}});
            std::push_heap(widest.begin(), widest.end(), std::greater<>());
            if (widest.size() > kMeasured) {
                std::pop_heap(widest.begin(), widest.end(), std::greater<>());
                widest.pop_back();
            }
        }
        for (const auto& c : item->children) stack.push_back({c.get(), level + 1});
    }
    for (const auto& [estimate, at] : widest) {
        const auto& [item, level] = at;
        m_nWidestItem =
            std::max(m_nWidestItem, kIndentation * level + fixed +
                                        fm.horizontalAdvance(FromAnsi(item->text)) + average);
    }
    FitColumn();
}

void CTKVEditorView::FitColumn() {
    const int width = std::max(m_nWidestItem, viewport()->width());
    if (columnWidth(0) != width) setColumnWidth(0, width);
}

void CTKVEditorView::resizeEvent(QResizeEvent* event) {
    CEntryTableView::resizeEvent(event);
    FitColumn();
}

HeaderNode* CTKVEditorView::GetEntryOfItem(HTREEITEM hItem) const {
    if (!hItem || hItem == m_hStandardHeaderItem) return nullptr;
    return static_cast<HeaderNode*>(hItem->data);
}

CTKVEditorView::HTREEITEM CTKVEditorView::FindItemOfEntry(const HeaderNode* entry) const {
    auto it = m_itemOfEntry.find(entry);
    return it == m_itemOfEntry.end() ? nullptr : it->second;
}

HeaderNode* CTKVEditorView::GetTargetList() const {
    HTREEITEM selected = GetSelectedItem();
    if (HeaderNode* e = GetEntryOfItem(selected); e && e->isList) return e;
    if (selected && selected->parent) return GetEntryOfItem(selected->parent);
    return GetDocument() ? GetDocument()->m_pRoot.get() : nullptr;
}

CTKVEditorView::HTREEITEM CTKVEditorView::GetSelectedItem() const {
    // The current item counts only when it is selected: taking the focus makes
    // an item current without selecting it.
    const QModelIndex i = currentIndex();
    if (!i.isValid() || !selectionModel() || !selectionModel()->isSelected(i)) return nullptr;
    return m_model.ItemAt(i);
}

void CTKVEditorView::SelectItem(HTREEITEM hItem) {
    if (!hItem) return;
    m_model.Reveal(hItem);
    const QModelIndex i = m_model.IndexOf(hItem);
    if (!i.isValid()) return;
    setCurrentIndex(i);
    scrollTo(i);
}

void CTKVEditorView::Expand(HTREEITEM hItem) {
    if (hItem) m_model.SetExpanded(hItem, true);
}

void CTKVEditorView::Collapse(HTREEITEM hItem) {
    // A top-level item has no expander to open it again by mouse: it stays open.
    if (!hItem || hItem->depth == 0) return;
    HTREEITEM current = m_model.ItemAt(currentIndex());
    const bool selected = GetSelectedItem() != nullptr;
    bool inside = false;
    for (HTREEITEM p = current ? current->parent : nullptr; p && !inside; p = p->parent)
        inside = p == hItem;
    m_model.SetExpanded(hItem, false);
    if (!inside) return;
    // As a tree control does, the collapsed item takes over the selection of an
    // item it now hides.
    const QModelIndex i = m_model.IndexOf(hItem);
    if (selected)
        setCurrentIndex(i);
    else
        selectionModel()->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
}

void CTKVEditorView::Toggle(HTREEITEM hItem) {
    if (!hItem || hItem->children.empty()) return;
    hItem->expanded ? Collapse(hItem) : Expand(hItem);
}

HeaderNode* CTKVEditorView::EntryBelowRoot(HTREEITEM hItem) const {
    if (!hItem || hItem == m_hStandardHeaderItem || hItem == m_hRootItem) return nullptr;
    return GetEntryOfItem(hItem);
}

void CTKVEditorView::ForgetItems(const HeaderNode* entry) {
    HeaderTree::Walk(*entry,
                     [&](const HeaderNode& e, std::string_view) { m_itemOfEntry.erase(&e); });
    m_itemOfEntry.erase(entry);
}

void CTKVEditorView::OnUpdate(CView* pSender, int hint, void* pObject) {
    if (pSender == this || hint < 0 || hint > HINT_FOLDER_MODE_CHANGED) return;
    MainFrameInterface* frame = Frame();
    auto* entry = static_cast<HeaderNode*>(pObject);
    switch (hint) {
        case HINT_REFRESH_ALL:
            FillTree();
            if (frame) {
                frame->ShowStandardHeader(false);
                if (GetDocument()) frame->SetFolderEditIndicator(GetDocument()->m_bFolderEditMode);
            }
            break;
        case HINT_SHOW_ENTRY:
            if (HTREEITEM item = FindItemOfEntry(entry)) SelectItem(item);
            break;
        case HINT_EDIT_ENTRY:
            if (HTREEITEM item = FindItemOfEntry(entry)) {
                SelectItem(item);
                RunEdit(item);
            }
            break;
        case HINT_ENTRY_REMOVING:
            if (HTREEITEM item = FindItemOfEntry(entry)) {
                ForgetItems(entry);
                m_model.Remove(item);
            }
            break;
        case HINT_COPY_ENTRY:
            OnCopy(entry);
            break;
        case HINT_DELETE_ENTRY:
            OnDelete(entry);
            break;
        case HINT_PASTE_ENTRY:
            OnPaste(entry);
            break;
        case HINT_INSERT_BOOLEAN:
            OnInsertBoolean(entry);
            break;
        case HINT_INSERT_NUMBER:
            OnInsertNumber(entry);
            break;
        case HINT_INSERT_STRING:
            OnInsertString(entry);
            break;
        case HINT_INSERT_LIST:
            OnInsertList(entry);
            break;
        case HINT_NEW_DOCUMENT:
            if (frame) frame->ShowStandardHeader(false);
            break;
        case HINT_FOLDER_MODE_CHANGED:
            if (frame && GetDocument())
                frame->SetFolderEditIndicator(GetDocument()->m_bFolderEditMode);
            break;
        default:
            break;  // 1 and 4 concern the list view only
    }
}

QRect CTKVEditorView::RowRect(const QModelIndex& index) const {
    return QRect(columnViewportPosition(0), rowViewportPosition(index.row()), columnWidth(0),
                 rowHeight(index.row()));
}

QRect CTKVEditorView::ItemRect(const QModelIndex& index) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = RowRect(index);
    return m_delegate.ItemRect(option, index);
}

CTKVEditorView::HTREEITEM CTKVEditorView::ItemAtPoint(const QPoint& pos) const {
    const QModelIndex i = indexAt(pos);
    HTREEITEM item = m_model.ItemAt(i);
    if (!item || !ItemRect(i).contains(pos)) return nullptr;
    return item;
}

CTKVEditorView::HTREEITEM CTKVEditorView::ExpanderAtPoint(const QPoint& pos) const {
    const QModelIndex i = indexAt(pos);
    HTREEITEM item = m_model.ItemAt(i);
    if (!item || item->children.empty() ||
        !m_delegate.ExpanderRect(RowRect(i), item->depth).contains(pos))
        return nullptr;
    return item;
}

void CTKVEditorView::keyPressEvent(QKeyEvent* event) {
    // The keys of a tree control: Left closes an open item or goes to its
    // parent, Right opens a closed one or goes to its first child, + and -
    // open and close, * opens everything below.
    HTREEITEM current = m_model.ItemAt(currentIndex());
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (current && plain) {
        switch (event->key()) {
            case Qt::Key_Left:
                if (current->expanded && !current->children.empty() && current->depth > 0)
                    Collapse(current);
                else if (current->parent)
                    SelectItem(current->parent);
                return;
            case Qt::Key_Right:
                if (!current->children.empty()) {
                    if (!current->expanded)
                        Expand(current);
                    else
                        SelectItem(current->children.front().get());
                }
                return;
            case Qt::Key_Plus:
                Expand(current);
                return;
            case Qt::Key_Minus:
                Collapse(current);
                return;
            case Qt::Key_Asterisk:
                m_model.ExpandBelow(current);
                return;
            default:
                break;
        }
    }
    CEntryTableView::keyPressEvent(event);
}

void CTKVEditorView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        // The expander opens or closes its item; the selection stays.
        if (HTREEITEM item = ExpanderAtPoint(pos)) {
            Toggle(item);
            return;
        }
        // Only a press on an item itself (its image or label) selects it: the
        // rest of the row, the indentation and the space right of the label,
        // belongs to no item.
        HTREEITEM item = ItemAtPoint(pos);
        if (!item) {
            setFocus(Qt::MouseFocusReason);
            return;
        }
        if (HeaderNode* e = EntryBelowRoot(item); e && GetDocument())
            GetDocument()->NotifyShowEntry(this, e);
    }
    if (event->button() == Qt::RightButton) {
        HTREEITEM item = ItemAtPoint(pos);
        if (!item) return;  // empty space: no menu, nothing changes
        setFocus(Qt::MouseFocusReason);
        SelectItem(item);
        if (HeaderNode* e = EntryBelowRoot(item); e && GetDocument())
            GetDocument()->NotifyShowEntry(this, e);
        const HeaderNode* e = GetEntryOfItem(item);
        auto menu = EntryActions::CreateEntryPopup(m_commands, e && e->isList);
        menu->exec(event->globalPosition().toPoint());
        return;
    }
    CEntryTableView::mousePressEvent(event);
}

void CTKVEditorView::mouseMoveEvent(QMouseEvent* event) {
    // A drag does not carry the selection along: both panes stay on the entry
    // the press chose.
    if (event->buttons() & Qt::LeftButton) return;
    CEntryTableView::mouseMoveEvent(event);
}

void CTKVEditorView::mouseDoubleClickEvent(QMouseEvent* event) {
    HTREEITEM selected = GetSelectedItem();
    if (selected && selected == m_hStandardHeaderItem) {
        // Handled here: the item is neither expanded nor collapsed.
        if (GetDocument() && !GetDocument()->GetPathName().empty())
            if (MainFrameInterface* frame = Frame()) frame->ShowStandardHeader(true);
        return;
    }
    const QPoint pos = event->position().toPoint();
    if (HTREEITEM item = ExpanderAtPoint(pos)) {
        Toggle(item);  // a second press on the expander
        return;
    }
    if (selected) RunEdit(selected);
    // A list opens or closes (found again: the edit may have changed the items).
    Toggle(ItemAtPoint(pos));
    CEntryTableView::mouseDoubleClickEvent(event);
}

void CTKVEditorView::contextMenuEvent(QContextMenuEvent* event) {
    // The right button is handled on its press; the menu key gets the control's
    // default handling, which shows nothing.
    event->accept();
}

void CTKVEditorView::focusInEvent(QFocusEvent* event) {
    CEntryTableView::focusInEvent(event);
    emit Activated(this);
}

bool CTKVEditorView::OnCommand(int id) {
    CTKVEditorDoc* doc = GetDocument();
    if (!doc) return false;
    switch (id) {
        case ID_CANCEL_EDIT_SRVR:
            return true;  // ends in-place editing; there is no in-place session to end here
        case ID_EDIT_ENTRY:
            RunEdit(GetSelectedItem());
            return true;
        case ID_EDIT_CUT:
            OnDelete(EntryBelowRoot(GetSelectedItem()));
            return true;
        case ID_EDIT_COPY:
            OnCopy(EntryBelowRoot(GetSelectedItem()));
            return true;
        case ID_EDIT_PASTE:
            OnPaste(GetTargetList());
            return true;
        case ID_INSERT_STRING:
            OnInsertString(GetTargetList());
            return true;
        case ID_INSERT_BOOLEAN:
            OnInsertBoolean(GetTargetList());
            return true;
        case ID_INSERT_NUMBER:
            OnInsertNumber(GetTargetList());
            return true;
        case ID_INSERT_LIST:
            OnInsertList(GetTargetList());
            return true;
        default:
            return EntryActions::RunDocumentCommand(*doc, Frame(), id,
                                                    GetEntryOfItem(GetSelectedItem()));
    }
}

bool CTKVEditorView::OnUpdateCommand(CCmdUI& ui) {
    CTKVEditorDoc* doc = GetDocument();
    if (!doc) return false;
    HTREEITEM selected = GetSelectedItem();
    const HeaderNode* entry = GetEntryOfItem(selected);
    const bool notStandardHeader = selected && selected != m_hStandardHeaderItem;
    switch (ui.ID()) {
        case ID_CANCEL_EDIT_SRVR:
            ui.Enable(true);
            return true;
        case ID_EDIT_CUT:
            ui.Enable(!doc->IsReadOnly() && EntryBelowRoot(selected));
            return true;
        case ID_EDIT_COPY:
            ui.Enable(EntryBelowRoot(selected) != nullptr);
            return true;
        case ID_EDIT_PASTE:
            ui.Enable(!doc->IsReadOnly() && notStandardHeader && doc->GetCopiedEntry());
            return true;
        case ID_INSERT_STRING:
        case ID_INSERT_BOOLEAN:
        case ID_INSERT_NUMBER:
        case ID_INSERT_LIST:
            ui.Enable(!doc->IsReadOnly() && notStandardHeader && entry && entry->isList);
            return true;
        case ID_EDIT_ENTRY:
            ui.Enable(notStandardHeader && entry && !entry->isList);
            return true;
        case ID_CANCEL_FIELD:
            ui.Enable(notStandardHeader && entry && entry->pending);
            return true;
        default:
            return EntryActions::UpdateDocumentCommand(*doc, ui);
    }
}
