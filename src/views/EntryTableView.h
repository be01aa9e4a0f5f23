#pragma once
// What both panes share: a table of rows as high as one another (set once, no
// row is ever measured), one row selected at a time, no grid, no row headers and
// no editing in place. A table rather than a tree view: a row inserted or
// removed costs it no layout of the other rows.

#include <QTableView>

class MainFrameInterface;

class CEntryTableView : public QTableView {
    Q_OBJECT
  public:
    explicit CEntryTableView(QWidget* parent = nullptr);

    // Lays out pending rows first: right after a fill or an insertion the
    // scroll bars do not know the new rows yet.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

    // The frame the pane asks to show the viewer and the mode, passed in by the
    // frame that holds it; none (during in-place activation, or a pane on its
    // own) skips these requests.
    MainFrameInterface* Frame() const { return m_pFrame; }
    void SetFrame(MainFrameInterface* frame) { m_pFrame = frame; }

  protected:
    // Home and End go to the first and last row, not along the row.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

  private:
    MainFrameInterface* m_pFrame = nullptr;
};
