#include "platform/qt/QtUserMessages.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include "platform/qt/MessageTableModel.h"

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

MessageAnswer QtUserMessages::AskWithTable(const std::string& text, MessageButtons buttons,
                                           const MessageTable& table) {
    if (table.rows.empty() || (buttons != MessageButtons::YesNo &&
                               buttons != MessageButtons::YesNoCancel))
        return Ask(text, buttons);
    QDialog dialog(m_pParent);
    dialog.setObjectName(kTableQuestion);
    dialog.setWindowTitle(m_strTitle);
    auto* layout = new QVBoxLayout(&dialog);
    auto* count = new QLabel(QStringLiteral("%1 %2:").arg(table.rows.size()).arg(
                                 table.rows.size() == 1 ? QStringLiteral("change")
                                                        : QStringLiteral("changes")),
                             &dialog);
    layout->addWidget(count);
    auto* model = new MessageTableModel(&dialog);
    model->SetTable(table);
    auto* view = new QTableView(&dialog);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setStretchLastSection(true);
    view->resizeColumnsToContents();
    layout->addWidget(view, 1);
    auto* question = new QLabel(QString::fromStdString(text), &dialog);
    auto* icon = new QLabel(&dialog);
    icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(question, 1);
    layout->addLayout(row);
    QDialogButtonBox::StandardButtons set = QDialogButtonBox::Yes | QDialogButtonBox::No;
    if (buttons == MessageButtons::YesNoCancel) set |= QDialogButtonBox::Cancel;
    auto* box = new QDialogButtonBox(set, &dialog);
    layout->addWidget(box);
    MessageAnswer answer = MessageAnswer::Cancel;
    QObject::connect(box, &QDialogButtonBox::clicked, &dialog, [&](QAbstractButton* b) {
        switch (box->standardButton(b)) {
            case QDialogButtonBox::Yes: answer = MessageAnswer::Yes; break;
            case QDialogButtonBox::No: answer = MessageAnswer::No; break;
            default: answer = MessageAnswer::Cancel; break;
        }
        dialog.done(0);
    });
    box->button(QDialogButtonBox::Yes)->setDefault(true);
    dialog.resize(720, 420);
    dialog.exec();  // closed by its title bar or Esc: Cancel (No where there is no Cancel)
    if (answer == MessageAnswer::Cancel && buttons == MessageButtons::YesNo) return MessageAnswer::No;
    return answer;
}

void QtUserMessages::BeginWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUserMessages::EndWaitCursor() {
    QApplication::restoreOverrideCursor();
}
