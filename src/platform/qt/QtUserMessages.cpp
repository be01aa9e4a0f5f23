#include "platform/qt/QtUserMessages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

void QtUserMessages::Show(const std::string& text) {
    QMessageBox::warning(m_pParent, m_strTitle, QString::fromStdString(text));
}

MessageAnswer QtUserMessages::Ask(const std::string& text, MessageButtons buttons) {
    if (buttons == MessageButtons::ReloadSaveAnywayCancel) {
        QMessageBox box(QMessageBox::Warning, m_strTitle, QString::fromStdString(text),
                        QMessageBox::NoButton, m_pParent);
        QPushButton* reload = box.addButton(QStringLiteral("&Reload"), QMessageBox::AcceptRole);
        QPushButton* save = box.addButton(QStringLiteral("&Save Anyway"), QMessageBox::DestructiveRole);
        box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(reload);
        box.exec();
        if (box.clickedButton() == reload) return MessageAnswer::Reload;
        if (box.clickedButton() == save) return MessageAnswer::SaveAnyway;
        return MessageAnswer::Cancel;
    }
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
