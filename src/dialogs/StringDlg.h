#pragma once
// The String dialog: label, value text, ASCII or Unicode, and the caret column.

#include "dialogs/CaretColumnEdit.h"
#include "dialogs/EntryDialog.h"

class QRadioButton;

class CStringDlg : public CEntryDialog {
    Q_OBJECT
  public:
    explicit CStringDlg(UserMessages& messages, QWidget* parent = nullptr);
    void OnInitDialog() override;
    void OnOK() override;

    QLineEdit* m_editColumn;        // the position box
    CCaretColumnEdit* m_editValue;  // the value text
    QRadioButton* m_pAscii;
    QRadioButton* m_pUnicode;
    int m_nEncoding = 0;  // 0 ASCII, 1 Unicode
    QString m_strLabel;
    QString m_strValue;
    bool m_bReadOnly = false;

  private:
    void SnapBack();
};
