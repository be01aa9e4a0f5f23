#include "dialogs/LabelValidator.h"

#include <QWidget>

#include "platform/UserMessages.h"
#include "platform/qt/QtText.h"

bool LabelValidator::Validate(QWidget* labelEdit, const QString& label,
                              UserMessages& messages) const {
    if (m_bEditMode) return true;
    bool failed = false;
    if (label.isEmpty()) {
        messages.Show(kEmpty);
        failed = true;
    }
    const std::string narrow = ToAnsi(label);
    if (m_pSiblings && m_pSiblings->find(narrow) != m_pSiblings->end()) {
        messages.Show(FormatMessage(kExists, label.toStdString()));
        failed = true;
    }
    if (label.contains('.')) {
        messages.Show(kPeriod);
        failed = true;
    }
    if (failed && labelEdit) labelEdit->setFocus(Qt::OtherFocusReason);
    return !failed;
}
