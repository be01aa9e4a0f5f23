#pragma once
// The Boolean dialog: label and True or False.

#include <cstdint>

#include "dialogs/EntryDialog.h"

class QRadioButton;

class CBooleanDlg : public CEntryDialog {
    Q_OBJECT
  public:
    explicit CBooleanDlg(UserMessages& messages, QWidget* parent = nullptr);
    void OnInitDialog() override;
    void OnOK() override;

    QRadioButton* m_pTrue;
    QRadioButton* m_pFalse;
    int m_nChoice = 0;  // 0 True, 1 False
    QString m_strLabel;
    std::uint8_t m_bValue = 0;
    bool m_bReadOnly = false;

  private:
    void SnapBack();
};
