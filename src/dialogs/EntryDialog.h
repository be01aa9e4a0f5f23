#pragma once
// The base of the entry dialogs: fields set by the caller before the dialog
// runs, controls filled from them when it opens (OnInitDialog), read back and
// checked on OK (OnOK), which closes the dialog only when all is well.

#include <QDialog>

#include "dialogs/LabelValidator.h"

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class UserMessages;

class CEntryDialog : public QDialog {
    Q_OBJECT
  public:
    CEntryDialog(UserMessages& messages, QWidget* parent);

    virtual void OnInitDialog() = 0;
    virtual void OnOK() = 0;

    QLineEdit* LabelEdit() const { return m_pLabel; }
    QPushButton* OkButton() const { return m_pOk; }
    QPushButton* CancelButton() const { return m_pCancel; }

    LabelValidator m_labelCheck;

  protected:
    // The label field in edit mode: shown, not editable, and the focus on the
    // control after it.
    void ShowLabelForEdit(const QString& label, QWidget* next);
    // View-only: OK disabled and Cancel the default button.
    void MakeViewOnly();
    // Runs the label check on the label field's text.
    bool CheckLabel(const QString& label);
    // The "&Label :" text above the label field, and the row of OK and Cancel.
    QLabel* LabelCaption();
    QHBoxLayout* ButtonRow();

    UserMessages& m_messages;
    QLineEdit* m_pLabel;
    QPushButton* m_pOk;
    QPushButton* m_pCancel;
};
