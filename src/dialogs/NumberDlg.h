#pragma once
// The Number dialog: label, number type, one or more values separated by commas
// shown in decimal or hexadecimal, and the index of the value at the caret. The
// text is parsed into `m_element` before OK closes the dialog.

#include "dialogs/ElementIndexEdit.h"
#include "dialogs/EntryDialog.h"
#include "model/HeaderElement.h"

class QComboBox;
class QRadioButton;

class CNumberDlg : public CEntryDialog {
    Q_OBJECT
  public:
    static constexpr const char* kConvertFailed =
        "Can't convert element at index %d to specified type of number";
    // The types offered, in the order of the type list.
    static constexpr ElementType kTypes[] = {ElementType::Byte, ElementType::Short,
                                             ElementType::Long, ElementType::Float,
                                             ElementType::Double};

    explicit CNumberDlg(UserMessages& messages, QWidget* parent = nullptr);
    void OnInitDialog() override;
    void OnOK() override;
    // Parses the values text as the chosen type into m_element; on failure shows
    // the failed index and puts the focus on the values.
    bool ParseValues();
    // The display switch: rewrites the text in base 10 or 16.
    void SwitchBase(int base);

    QLineEdit* m_editIndex;
    CElementIndexEdit* m_editValues;
    QComboBox* m_comboType;
    QRadioButton* m_pDecimal;
    QRadioButton* m_pHex;
    QString m_strLabel;
    int m_nType = 0;
    QString m_strValues;
    int m_nDisplay = 0;  // 0 decimal, 1 hexadecimal
    bool m_bReadOnly = false;
    HeaderElement m_element{ElementType::End, 1};
    int m_nBase = 10;

  private:
    void UpdateData();
};
