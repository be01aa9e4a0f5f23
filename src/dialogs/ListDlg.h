#pragma once
// The List dialog: the label of a new list, or a new label for a pasted entry
// (then with its own caption).

#include "dialogs/EntryDialog.h"

class CListDlg : public CEntryDialog {
    Q_OBJECT
  public:
    explicit CListDlg(UserMessages& messages, QWidget* parent = nullptr);
    void OnInitDialog() override;
    void OnOK() override;

    QString m_strLabel;
    QString m_strCaption;
};
