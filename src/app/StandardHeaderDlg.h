#pragma once
// The Standard Header viewer: a modeless window that shows the open document's
// 632-byte record read-only, one named field per row, filled once when it opens.
// Rows can be selected and copied to the clipboard as text. Close and the close
// box destroy it (and clear the main frame's pointer); Esc only hides it.

#include <QDialog>
#include <QRect>

#include "format/StandardHeader.h"

class QPushButton;
class QTreeWidget;

class CStandardHeaderDlg : public QDialog {
    Q_OBJECT
  public:
    CStandardHeaderDlg(const StandardHeader* pHeader, CStandardHeaderDlg** ppOwnerSlot,
                       QWidget* pParent = nullptr);
    ~CStandardHeaderDlg() override;

    // Creates the controls and fills the rows.
    bool OnInitDialog();
    void CopySelectedRows();
    static void SetClipboardText(const QString& text);

    QTreeWidget* List() const { return m_pList; }
    QPushButton* CloseButton() const { return m_pClose; }
    int Margin() const { return m_nMargin; }
    const QRect& ButtonRect() const { return m_rcButton; }
    // The smallest size of the whole window, frame included.
    QSize MinimumTrackSize() const;

    void accept() override;  // Close and Enter: destroy
    void reject() override;  // Esc: hide only

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void DestroyWindow();
    // Qt bounds the client area: the frame's share comes off the window's bound.
    void ApplyMinimumSize();
    void ShowContextMenu(const QPoint& pos);

    QTreeWidget* m_pList = nullptr;
    QPushButton* m_pClose = nullptr;
    const StandardHeader* m_pHeader;
    CStandardHeaderDlg** m_ppOwnerSlot;
    int m_nMargin = 0;
    QRect m_rcButton;
};
