#include "dialogs/ListDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CListDlg::CListDlg(UserMessages& messages, QWidget* parent) : CEntryDialog(messages, parent) {
    setObjectName("CListDlg");
    setWindowTitle(QStringLiteral("Edit New List"));
    QLabel* labelText = LabelCaption();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(labelText);
    layout->addWidget(m_pLabel);
    layout->addLayout(ButtonRow());
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
