#include "dialogs/NumberDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "platform/UserMessages.h"

CNumberDlg::CNumberDlg(UserMessages& messages, QWidget* parent)
    : CEntryDialog(messages, parent),
      m_editIndex(new QLineEdit(this)),
      m_editValues(new CElementIndexEdit(this)),
      m_comboType(new QComboBox(this)),
      m_pDecimal(new QRadioButton(QStringLiteral("&Decimal Display"), this)),
      m_pHex(new QRadioButton(QStringLiteral("&Hex Display"), this)) {
    setObjectName("CNumberDlg");
    setWindowTitle(QStringLiteral("Enter Numeric Value"));
    m_editValues->setObjectName("IDC_VALUE");
    m_comboType->setObjectName("IDC_TYPE");
    m_editIndex->setObjectName("IDC_POSITION");
    m_editIndex->setReadOnly(true);
    m_editIndex->setAlignment(Qt::AlignRight);
    m_editIndex->setMaximumWidth(60);
    m_editIndex->setFocusPolicy(Qt::NoFocus);
    m_comboType->setEditable(false);
    QLabel* labelText = LabelCaption();
    auto* typeText = new QLabel(QStringLiteral("&Type :"), this);
    typeText->setBuddy(m_comboType);
    auto* valuesText = new QLabel(QStringLiteral("&Value(s) :"), this);
    valuesText->setBuddy(m_editValues);
    auto* note = new QLabel(QStringLiteral("(Use commas for multiple values)"), this);
    note->setAlignment(Qt::AlignCenter);
    auto* indexText = new QLabel(QStringLiteral("&Element Index :"), this);
    indexText->setBuddy(m_editIndex);
    auto* display = new QGroupBox(this);
    auto* radios = new QHBoxLayout(display);
    radios->addWidget(m_pDecimal);
    radios->addWidget(m_pHex);

    auto* grid = new QGridLayout(this);
    grid->addWidget(labelText, 0, 0);
    grid->addWidget(typeText, 0, 1);
    grid->addWidget(m_pLabel, 1, 0);
    grid->addWidget(m_comboType, 1, 1);
    grid->addWidget(valuesText, 2, 0, 1, 2);
    grid->addWidget(m_editValues, 3, 0, 1, 2);
    grid->addWidget(note, 4, 0, 1, 2);
    grid->addWidget(display, 5, 0);
    auto* index = new QHBoxLayout;
    index->addWidget(indexText);
    index->addWidget(m_editIndex);
    grid->addLayout(index, 5, 1);
    grid->addLayout(ButtonRow(), 6, 0, 1, 2);
    setTabOrder(m_pLabel, m_comboType);
    setTabOrder(m_comboType, m_editValues);
    setTabOrder(m_editValues, m_pDecimal);
    setTabOrder(m_pDecimal, m_pHex);
    setTabOrder(m_pHex, m_pOk);
    setTabOrder(m_pOk, m_pCancel);
    resize(460, sizeHint().height());

    m_editValues->m_pTarget = m_editIndex;
    connect(m_pDecimal, &QRadioButton::clicked, this, [this] { SwitchBase(10); });
    connect(m_pHex, &QRadioButton::clicked, this, [this] { SwitchBase(16); });
}

void CNumberDlg::OnInitDialog() {
    if (m_labelCheck.m_bEditMode) {
        ShowLabelForEdit(m_strLabel, m_comboType);
    } else {
        m_pLabel->setText(m_strLabel);
        m_pLabel->setFocus(Qt::OtherFocusReason);
    }
    m_editIndex->setText(QStringLiteral("0"));
    m_comboType->clear();
    for (ElementType t : kTypes)
        m_comboType->addItem(QString::fromLatin1(ElementTypeNameAscii(ToCode(t)).data()));
    if (m_labelCheck.m_bEditMode) {
        m_strValues = QString::fromStdU16String(m_element.Format(10));
        for (int i = 0; i < static_cast<int>(std::size(kTypes)); ++i)
            if (ToCode(kTypes[i]) == m_element.GetType()) m_nType = i;
    }
    if (m_bReadOnly) {
        m_comboType->setEnabled(false);
        m_editValues->setReadOnly(true);
        MakeViewOnly();
    }
    // The display always opens in decimal.
    m_nDisplay = 0;
    m_nBase = 10;
    m_comboType->setCurrentIndex(m_nType);
    m_editValues->setText(m_strValues);
    m_pDecimal->setChecked(true);
}

void CNumberDlg::UpdateData() {
    m_strLabel = m_pLabel->text();
    m_nType = m_comboType->currentIndex() < 0 ? 0 : m_comboType->currentIndex();
    m_strValues = m_editValues->text();
    m_nDisplay = m_pHex->isChecked() ? 1 : 0;
}

bool CNumberDlg::ParseValues() {
    UpdateData();
    std::uint32_t failed = 0;
    if (m_element.Parse(m_strValues.toStdU16String(), ToCode(kTypes[m_nType]), failed)) return true;
    m_messages.Show(FormatMessage(kConvertFailed, std::to_string(failed)));
    m_editValues->setFocus(Qt::OtherFocusReason);
    return false;
}

void CNumberDlg::SwitchBase(int base) {
    if (m_nBase == base) return;
    if (!ParseValues()) {
        (m_nBase == 16 ? m_pHex : m_pDecimal)->setChecked(true);
        return;
    }
    m_strValues = QString::fromStdU16String(m_element.Format(base));
    m_editValues->setText(m_strValues);
    m_nBase = base;
}

void CNumberDlg::OnOK() {
    if (!m_pOk->isEnabled()) return;
    UpdateData();
    if (!CheckLabel(m_strLabel)) return;
    if (!ParseValues()) return;
    accept();
}
