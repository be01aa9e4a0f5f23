#include "dialogs/CaretColumnEdit.h"

#include <QKeyEvent>
#include <QMouseEvent>

int CCaretColumnEdit::SelectionStart() const {
    return hasSelectedText() ? selectionStart() : cursorPosition();
}

void CCaretColumnEdit::UpdatePosition() {
    if (m_pTarget) m_pTarget->setText(QString::number(SelectionStart()));
}

void CCaretColumnEdit::keyPressEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) UpdatePosition();
    QLineEdit::keyPressEvent(event);
}

void CCaretColumnEdit::keyReleaseEvent(QKeyEvent* event) {
    UpdatePosition();
    QLineEdit::keyReleaseEvent(event);
}

void CCaretColumnEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) UpdatePosition();
    QLineEdit::mouseReleaseEvent(event);
}

void CCaretColumnEdit::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) UpdatePosition();
    QLineEdit::mouseMoveEvent(event);
}
