#include "dialogs/StringDlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

CStringDlg::CStringDlg(UserMessages& messages, QWidget* parent)
    : CEntryDialog(messages, parent),
      m_editColumn(new QLineEdit(this)),
      m_editValue(new CCaretColumnEdit(this)),
      m_pAscii(new QRadioButton(QStringLiteral("&ASCII"), this)),
      m_pUnicode(new QRadioButton(QStringLiteral("&Unicode"), this)) {
    setObjectName("CStringDlg");
    setWindowTitle(QStringLiteral("Edit String Value"));
    m_editValue->setObjectName("IDC_VALUE");
    m_editColumn->setObjectName("IDC_POSITION");
    m_editColumn->setReadOnly(true);
    m_editColumn->setAlignment(Qt::AlignRight);
    m_editColumn->setMaximumWidth(60);
    m_editColumn->setFocusPolicy(Qt::NoFocus);
    QLabel* labelText = LabelCaption();
    auto* valueText = new QLabel(QStringLiteral("&Value :"), this);
    valueText->setBuddy(m_editValue);
    auto* columnText = new QLabel(QStringLiteral("&Column :"), this);
    columnText->setBuddy(m_editColumn);
    auto* encoding = new QGroupBox(this);
    auto* radios = new QHBoxLayout(encoding);
    radios->addWidget(m_pAscii);
    radios->addWidget(m_pUnicode);

    auto* grid = new QGridLayout(this);
    grid->addWidget(labelText, 0, 0, 1, 3);
    grid->addWidget(m_pLabel, 1, 0, 1, 3);
    grid->addWidget(valueText, 2, 0, 1, 3);
    grid->addWidget(m_editValue, 3, 0, 1, 3);
    grid->addWidget(encoding, 4, 0);
    grid->addWidget(columnText, 4, 1, Qt::AlignRight);
    grid->addWidget(m_editColumn, 4, 2);
    grid->addLayout(ButtonRow(), 5, 0, 1, 3);
    setTabOrder(m_pLabel, m_editValue);
    setTabOrder(m_editValue, m_pAscii);
    setTabOrder(m_pAscii, m_pUnicode);
    setTabOrder(m_pUnicode, m_pOk);
    setTabOrder(m_pOk, m_pCancel);
    resize(420, sizeHint().height());

    m_editValue->m_pTarget = m_editColumn;
    connect(m_editValue, &QLineEdit::textChanged, this, [this] { m_editValue->UpdatePosition(); });
    connect(m_pAscii, &QRadioButton::clicked, this, [this] { SnapBack(); });
    connect(m_pUnicode, &QRadioButton::clicked, this, [this] { SnapBack(); });
}

void CStringDlg::OnInitDialog() {
    m_pLabel->setText(m_strLabel);
    m_editValue->setText(m_strValue);
    (m_nEncoding == 1 ? m_pUnicode : m_pAscii)->setChecked(true);
    if (m_labelCheck.m_bEditMode)
        ShowLabelForEdit(m_strLabel, m_editValue);
    else
        m_pLabel->setFocus(Qt::OtherFocusReason);
    if (m_bReadOnly) {
        m_editValue->setReadOnly(true);
        MakeViewOnly();
    }
    m_editColumn->setText(QStringLiteral("0"));
}

void CStringDlg::SnapBack() {
    // A view-only dialog keeps the encoding it was opened with.
    if (m_bReadOnly) (m_nEncoding == 0 ? m_pAscii : m_pUnicode)->setChecked(true);
}

void CStringDlg::OnOK() {
    if (!m_pOk->isEnabled()) return;
    m_strLabel = m_pLabel->text();
    m_strValue = m_editValue->text();
    m_nEncoding = m_pUnicode->isChecked() ? 1 : 0;
    if (!CheckLabel(m_strLabel)) return;
    accept();
}
