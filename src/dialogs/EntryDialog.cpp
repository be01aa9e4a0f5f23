#include "dialogs/EntryDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/DialogRunner.h"

int DialogRunner::Run(CEntryDialog& dialog) {
    dialog.OnInitDialog();
    return dialog.exec();
}

CEntryDialog::CEntryDialog(UserMessages& messages, QWidget* parent)
    : QDialog(parent),
      m_messages(messages),
      m_pLabel(new QLineEdit(this)),
      m_pOk(new QPushButton(QStringLiteral("OK"), this)),
      m_pCancel(new QPushButton(QStringLiteral("Cancel"), this)) {
    m_pLabel->setObjectName("IDC_LABEL");
    m_pOk->setObjectName("IDOK");
    m_pCancel->setObjectName("IDCANCEL");
    m_pOk->setDefault(true);
    m_pOk->setAutoDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CEntryDialog::ShowLabelForEdit(const QString& label, QWidget* next) {
    m_pLabel->setText(label);
    m_pLabel->setReadOnly(true);
    if (next) next->setFocus(Qt::TabFocusReason);
}

void CEntryDialog::MakeViewOnly() {
    m_pOk->setEnabled(false);
    m_pOk->setDefault(false);
    m_pCancel->setDefault(true);
    m_pCancel->setFocus(Qt::OtherFocusReason);
}

bool CEntryDialog::CheckLabel(const QString& label) {
    return m_labelCheck.Validate(m_pLabel, label, m_messages);
}

QLabel* CEntryDialog::LabelCaption() {
    auto* text = new QLabel(QStringLiteral("&Label :"), this);
    text->setBuddy(m_pLabel);
    return text;
}

QHBoxLayout* CEntryDialog::ButtonRow() {
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(m_pOk);
    row->addWidget(m_pCancel);
    return row;
}
