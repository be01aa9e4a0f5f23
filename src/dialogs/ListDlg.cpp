#include "dialogs/ListDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CListDlg::CListDlg(UserMessages& messages, QWidget* parent) : CEntryDialog(messages, parent) {
    setObjectName("CListDlg");
    setWindowTitle(QStringLiteral("Edit New List"));
    auto* labelText = new QLabel(QStringLiteral("&Label :"), this);
    labelText->setBuddy(m_pLabel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(labelText);
    layout->addWidget(m_pLabel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pOk);
    buttons->addWidget(m_pCancel);
    layout->addLayout(buttons);
    resize(320, sizeHint().height());
}

void CListDlg::OnInitDialog() {
    if (m_labelCheck.m_bEditMode) {
        ShowLabelForEdit(m_strLabel, m_pOk);
    } else {
        m_pLabel->setText(m_strLabel);
        m_pLabel->setFocus(Qt::OtherFocusReason);
    }
    if (!m_strCaption.isEmpty()) setWindowTitle(m_strCaption);
}

void CListDlg::OnOK() {
    m_strLabel = m_pLabel->text();
    if (!CheckLabel(m_strLabel)) return;
    accept();
}
