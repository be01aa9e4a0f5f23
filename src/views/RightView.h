#pragma once
// The right pane: every entry below the root as one flat table sorted by its
// dotted path, with the value as text and a mark on entries that carry a change
// of the folder-wide edit. It follows the document through update hints and asks
// the tree view, through hints, to run the editing commands on its selection.

#include "platform/View.h"
#include "platform/qt/CommandTarget.h"
#include "views/EntryListModel.h"
#include "views/EntryTableView.h"

class CTKVEditorDoc;
class CommandSet;
class HeaderNode;

class CRightView : public CEntryTableView, public CView, public CommandTarget {
    Q_OBJECT
  public:
    explicit CRightView(CommandSet& commands, QWidget* parent = nullptr);

    CTKVEditorDoc* GetDocument() const;
    void OnUpdate(CView* pSender, int hint, void* pObject) override;

    HeaderNode* GetSelectedEntry() const;
    void SelectRow(int row);
    EntryListModel& Model() { return m_model; }

    bool OnCommand(int id) override;
    bool OnUpdateCommand(CCmdUI& ui) override;

  signals:
    void Activated(CRightView* view);

  protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    static std::string PrefixOf(const HeaderNode* entry);
    void ScrollToLastAdded(const HeaderNode& entry);

    CommandSet& m_commands;
    EntryListModel m_model;
    ImageStrip m_imageList;
};
