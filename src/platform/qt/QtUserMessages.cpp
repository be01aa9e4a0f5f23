#include "platform/qt/QtUserMessages.h"

#include <QApplication>
#include <QMessageBox>

void QtUserMessages::Show(const std::string& text) {
    QMessageBox::warning(m_pParent, m_strTitle, QString::fromStdString(text));
}

MessageAnswer QtUserMessages::Ask(const std::string& text, MessageButtons buttons) {
    QMessageBox::StandardButtons set = QMessageBox::Yes | QMessageBox::No;
    if (buttons == MessageButtons::Ok) set = QMessageBox::Ok;
    if (buttons == MessageButtons::YesNoCancel) set |= QMessageBox::Cancel;
    switch (QMessageBox::question(m_pParent, m_strTitle, QString::fromStdString(text), set)) {
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        case QMessageBox::Ok:
            return MessageAnswer::Ok;
        default:
            return MessageAnswer::Cancel;
    }
}

void QtUserMessages::BeginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUserMessages::EndWaitCursor() {
    QApplication::restoreOverrideCursor();
}
