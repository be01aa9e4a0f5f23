#include "dialogs/BooleanDlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CBooleanDlg::CBooleanDlg(UserMessages& messages, QWidget* parent)
    : CEntryDialog(messages, parent),
      m_pTrue(new QRadioButton(QStringLiteral("&True"), this)),
      m_pFalse(new QRadioButton(QStringLiteral("&False"), this)) {
    setObjectName("CBooleanDlg");
    setWindowTitle(QStringLiteral("Edit Boolean Value"));
    m_pTrue->setObjectName("IDC_TRUE");
    m_pFalse->setObjectName("IDC_FALSE");
    QLabel* labelText = LabelCaption();
    auto* group = new QGroupBox(this);
    auto* radios = new QHBoxLayout(group);
    radios->addWidget(m_pTrue);
    radios->addWidget(m_pFalse);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(labelText);
    layout->addWidget(m_pLabel);
    layout->addWidget(group);
    layout->addLayout(ButtonRow());
    setTabOrder(m_pLabel, m_pTrue);
    setTabOrder(m_pTrue, m_pFalse);
    setTabOrder(m_pFalse, m_pOk);
    setTabOrder(m_pOk, m_pCancel);
    resize(320, sizeHint().height());
    connect(m_pTrue, &QRadioButton::clicked, this, [this] { SnapBack(); });
    connect(m_pFalse, &QRadioButton::clicked, this, [this] { SnapBack(); });
}

void CBooleanDlg::OnInitDialog() {
    if (m_labelCheck.m_bEditMode) {
        m_nChoice = m_bValue != 0 ? 0 : 1;
        ShowLabelForEdit(m_strLabel, m_nChoice == 0 ? m_pTrue : m_pFalse);
    } else {
        m_pLabel->setText(m_strLabel);
        m_pLabel->setFocus(Qt::OtherFocusReason);
    }
    if (m_bReadOnly) MakeViewOnly();
    (m_nChoice == 0 ? m_pTrue : m_pFalse)->setChecked(true);
}

void CBooleanDlg::SnapBack() {
    if (m_bReadOnly) (m_bValue != 0 ? m_pTrue : m_pFalse)->setChecked(true);
}

void CBooleanDlg::OnOK() {
    if (!m_pOk->isEnabled()) return;
    m_strLabel = m_pLabel->text();
    m_nChoice = m_pTrue->isChecked() ? 0 : 1;
    if (!CheckLabel(m_strLabel)) return;
    m_bValue = m_nChoice == 0 ? 1 : 0;
    accept();
}
