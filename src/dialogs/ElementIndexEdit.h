#pragma once
// The values edit of the Number dialog: its position box shows the index of the
// value the caret stands in (the commas before the caret).

#include "dialogs/CaretColumnEdit.h"

class CElementIndexEdit : public CCaretColumnEdit {
    Q_OBJECT
  public:
    explicit CElementIndexEdit(QWidget* parent = nullptr) : CCaretColumnEdit(parent) {}
    void UpdatePosition() override;
};
