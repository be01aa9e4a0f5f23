#pragma once
// The left pane: the open file as a tree under its "Standard Header" item, with
// the root list "Extended Header" below it. It follows the document through
// update hints, keeps the list view's selection in step with clicks, offers the
// entries' context menu, and is where the editing commands run. It is a table of
// one column over the flat rows of EntryTreeModel: the delegate indents the
// items and draws their expanders, and this view expands and collapses them on
// clicks and keys as a tree control does.

#include <map>

#include "model/HeaderElement.h"
#include "platform/View.h"
#include "platform/qt/CommandTarget.h"
#include "views/EntryTableView.h"
#include "views/EntryTreeModel.h"
#include "views/TreeItemDelegate.h"

class CTKVEditorDoc;
class CommandSet;
class DialogRunner;
class CEntryDialog;
class HeaderNode;
class QMenu;

class CTKVEditorView : public CEntryTableView, public CView, public CommandTarget {
    Q_OBJECT
  public:
    using HTREEITEM = TreeItem*;

    CTKVEditorView(CommandSet& commands, QWidget* parent = nullptr);
    ~CTKVEditorView() override;

    CTKVEditorDoc* GetDocument() const;
    void OnUpdate(CView* pSender, int hint, void* pObject) override;

    void FillTree();
    HTREEITEM InsertEntryItem(HTREEITEM hParentItem, HeaderNode* entry);
    HeaderNode* GetEntryOfItem(HTREEITEM hItem) const;
    HTREEITEM FindItemOfEntry(const HeaderNode* entry) const;
    HeaderNode* GetTargetList() const;
    int GetImageOfEntry(const HeaderNode* entry) const;
    std::string ItemTextOf(const HeaderNode* entry) const;

    HTREEITEM GetSelectedItem() const;
    // Selects the item, expanding its ancestors and scrolling it into view.
    void SelectItem(HTREEITEM hItem);
    bool IsExpanded(HTREEITEM hItem) const { return hItem && hItem->expanded; }
    void Expand(HTREEITEM hItem);
    // Collapsing an item that holds the current item makes it current instead.
    // Top-level items, which show no expander, stay open.
    void Collapse(HTREEITEM hItem);
    static constexpr int kIndentation = 30;
    HTREEITEM StandardHeaderItem() const { return m_hStandardHeaderItem; }
    HTREEITEM RootItem() const { return m_hRootItem; }
    EntryTreeModel& Model() { return m_model; }

    bool OnCommand(int id) override;
    bool OnUpdateCommand(CCmdUI& ui) override;

    // The editing commands. The entry or list comes from the tree's selection,
    // or from the list view through a hint.
    void OnDelete(HeaderNode* entry);
    void OnCopy(HeaderNode* entry);
    void OnPaste(HeaderNode* list);
    void OnInsertString(HeaderNode* list);
    void OnInsertBoolean(HeaderNode* list);
    void OnInsertNumber(HeaderNode* list);
    void OnInsertList(HeaderNode* list);
    void RunEdit(HTREEITEM hItem);
    // The runner that opens the dialogs (tests put in their own).
    void SetDialogRunner(DialogRunner* runner) { m_pRunner = runner; }
    DialogRunner& Runner();

    static constexpr const char* kReallyDelete = "Really delete entry '%hs' ?";
    static constexpr const char* kRename = "%hs is already in parent list.  Rename ?";
    static constexpr const char* kNewLabelCaption = "Enter new label for '%s'";
    static constexpr const char* kUnknownType = "Unknown element type %d";

    // Where a shown row's item itself (its image and label) lies in the
    // viewport: a click counts only there.
    QRect ItemRect(const QModelIndex& index) const;

  signals:
    void Activated(CTKVEditorView* view);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Widens the column to the widest of the item and the items below it.
    void MeasureItems(HTREEITEM hItem);
    void FitColumn();
    // The item whose text (not its indentation) is at the point, which a right
    // click opens the menu of, and the item whose expander is.
    HTREEITEM ItemAtPoint(const QPoint& pos) const;
    HTREEITEM ExpanderAtPoint(const QPoint& pos) const;
    QRect RowRect(const QModelIndex& index) const;
    void Toggle(HTREEITEM hItem);
    // The entry of an item that stands for an entry of the root list or below:
    // neither the "Standard Header" item nor the root item.
    HeaderNode* EntryBelowRoot(HTREEITEM hItem) const;
    void ForgetItems(const HeaderNode* entry);
    // The insert commands: the dialog checks the label against `list`; the
    // entry takes the label as stored and the value.
    bool RunNewEntryDialog(CEntryDialog& dlg, HeaderNode* list);
    void AddNewEntry(HeaderNode* list, const QString& label, bool isList, HeaderElement value);
    void EditString(HTREEITEM hItem, HeaderNode* entry);
    void EditBoolean(HeaderNode* entry);
    void EditNumber(HTREEITEM hItem, HeaderNode* entry);
    // An edit's OK: the document changes the value; the item (when given)
    // shows its new text.
    void ChangeValue(HTREEITEM hItem, HeaderNode* entry, HeaderElement value);

    CommandSet& m_commands;
    EntryTreeModel m_model;
    TreeItemDelegate m_delegate{kIndentation};
    ImageStrip m_imageList;
    HTREEITEM m_hStandardHeaderItem = nullptr;
    HTREEITEM m_hRootItem = nullptr;
    std::map<const HeaderNode*, HTREEITEM> m_itemOfEntry;
    int m_nWidestItem = 0;
    DialogRunner* m_pRunner = nullptr;
};
