#include "dialogs/LabelValidator.h"

#include <QWidget>

#include "platform/TextCodec.h"
#include "platform/UserMessages.h"

bool LabelValidator::Validate(QWidget* labelEdit, const QString& label,
                              UserMessages& messages) const {
    if (m_bEditMode) return true;
    bool failed = false;
    if (label.isEmpty()) {
        messages.Show(kEmpty);
        failed = true;
    }
    const std::string narrow = TextCodec::NarrowAnsi(label.toStdU16String());
    if (m_pSiblings && m_pSiblings->find(narrow) != m_pSiblings->end()) {
        std::string text = kExists;
        text.replace(text.find("%s"), 2, label.toStdString());
        messages.Show(text);
        failed = true;
    }
    if (label.contains('.')) {
        messages.Show(kPeriod);
        failed = true;
    }
    if (failed && labelEdit) labelEdit->setFocus(Qt::OtherFocusReason);
    return !failed;
}
