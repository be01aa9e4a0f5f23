#pragma once
// A one-line edit that shows in a second, read-only box where its caret stands
// (the caret's character index). The box is refreshed before the edit handles a
// key release, a left button release, an auto-repeated key press and a drag with
// the left button, so during a repeat or a drag it shows the position before
// that step and the following release shows the final one.

#include <QLineEdit>

class CCaretColumnEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit CCaretColumnEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}
    virtual void UpdatePosition();
    // The start of the selection, or the caret when nothing is selected.
    int SelectionStart() const;

    QLineEdit* m_pTarget = nullptr;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};
