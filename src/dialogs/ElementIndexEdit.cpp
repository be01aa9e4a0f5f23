#include "dialogs/ElementIndexEdit.h"

void CElementIndexEdit::UpdatePosition() {
    const int s = SelectionStart();
    const int commas = s > 0 ? static_cast<int>(text().left(s).count(',')) : 0;
    if (m_pTarget) m_pTarget->setText(QString::number(commas));
}
