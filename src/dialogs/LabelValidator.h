#pragma once
// The label check every entry dialog runs on OK: a new entry's label must not be
// empty, must not already be in the list that receives it (compared as labels
// are), and must not contain a period. Each failing check shows its own box, in
// that order; then the focus goes back to the label field. Editing an existing
// entry skips the check.

#include <QString>

#include "model/HeaderNode.h"

class QWidget;
class UserMessages;

class LabelValidator {
  public:
    static constexpr const char* kEmpty = "Label must not be empty !";
    static constexpr const char* kExists = "Label %s already exists in parent list !";
    static constexpr const char* kPeriod = "Label must not contain a period";

    bool Validate(QWidget* labelEdit, const QString& label, UserMessages& messages) const;

    bool m_bEditMode = false;
    const HeaderNode::ChildMap* m_pSiblings = nullptr;
};
