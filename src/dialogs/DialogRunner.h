#pragma once
// How the editing commands run their dialogs: never by calling exec()
// themselves, but through a runner. The program's runner opens the dialog
// modally; tests put in their own, which fills the fields and presses OK or
// Cancel without a human.

class CEntryDialog;

class DialogRunner {
  public:
    virtual ~DialogRunner() = default;
    // Prepares the dialog's controls from its fields, runs it, and returns
    // QDialog::Accepted or QDialog::Rejected.
    virtual int Run(CEntryDialog& dialog);
};
