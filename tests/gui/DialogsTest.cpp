// The entry dialogs: the label check and its messages, the edit and view-only
// modes, and the Number dialog's display base and parsing.

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include "dialogs/ListDlg.h"
#include "dialogs/NumberDlg.h"
#include "dialogs/StringDlg.h"
#include "support/DocumentFixture.h"

namespace {

class DialogsTest : public ::testing::Test {
  protected:
    DialogsTest() {
        for (const char* label : {"GAIN", "RUN", "A.B"})
            siblings.emplace(label, std::make_unique<HeaderNode>(label, false));
    }
    RecordingMessages messages;
    HeaderNode::ChildMap siblings;
};

using Texts = std::vector<std::string>;

TEST_F(DialogsTest, LabelCheckShowsEachFailureInOrderAndKeepsTheDialogOpen) {
    CListDlg dlg(messages);
    dlg.m_labelCheck.m_pSiblings = &siblings;
    dlg.OnInitDialog();
    const std::pair<const char*, Texts> cases[] = {
        {"", {"Label must not be empty !"}},
        {"gain", {"Label gain already exists in parent list !"}},
        {"x.y", {"Label must not contain a period"}},
        // One press can show two boxes, in order.
        {"a.b", {"Label a.b already exists in parent list !", "Label must not contain a period"}},
        {"new_list", {}},  // accepted
    };
    for (const auto& [label, shown] : cases) {
        messages.shown.clear();
        dlg.LabelEdit()->setText(label);
        dlg.OnOK();
        EXPECT_EQ(messages.shown, shown) << label;
        EXPECT_EQ(dlg.result() == QDialog::Accepted, shown.empty()) << label;
        EXPECT_EQ(dlg.focusWidget(), dlg.LabelEdit()) << label;
    }
    EXPECT_EQ(dlg.m_strLabel, "new_list") << "the dialog returns the label as typed";
}

TEST_F(DialogsTest, EditModeShowsTheLabelReadOnlyAndViewOnlyCannotEndWithOk) {
    for (bool viewOnly : {false, true}) {
        SCOPED_TRACE(viewOnly ? "view only" : "edit");
        CStringDlg dlg(messages);
        dlg.m_labelCheck.m_bEditMode = true;
        dlg.m_bReadOnly = viewOnly;
        dlg.m_strLabel = "GAIN";  // present among the siblings, and that does not matter
        dlg.m_labelCheck.m_pSiblings = &siblings;
        dlg.m_strValue = "abc";
        dlg.OnInitDialog();
        EXPECT_TRUE(dlg.LabelEdit()->isReadOnly());
        EXPECT_EQ(dlg.OkButton()->isEnabled(), !viewOnly);
        EXPECT_EQ(dlg.CancelButton()->isDefault(), viewOnly);
        EXPECT_EQ(dlg.focusWidget(),
                  viewOnly ? static_cast<QWidget*>(dlg.CancelButton()) : dlg.m_editValue);
        EXPECT_EQ(dlg.m_editValue->isReadOnly(), viewOnly);
        dlg.m_pUnicode->click();
        EXPECT_EQ(dlg.m_pAscii->isChecked(), viewOnly) << "in view only the choice snaps back";
        dlg.OnOK();
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_EQ(dlg.result() == QDialog::Accepted, !viewOnly);
    }
}

// The parse and format rules themselves are HeaderElement's (HeaderElementTest):
// here the dialog's use of them. Inserting with a chosen type is CommandsTest's.
TEST_F(DialogsTest, NumberDialogShowsTheChosenBaseAndParsesAsTheChosenTypeOnOk) {
    // Editing opens in decimal on the value's type; Hex shows it again, and a value
    // that does not parse is named by its index and keeps the dialog open.
    CNumberDlg edit(messages);
    edit.m_labelCheck.m_bEditMode = true;
    edit.m_strLabel = "VALUE";
    edit.m_element = HeaderElement(ElementType::Short, 2);
    edit.m_element.SetShort(0, 4);
    edit.m_element.SetShort(1, -1);
    edit.OnInitDialog();
    EXPECT_EQ(edit.m_editValues->text(), "4,-1");
    EXPECT_EQ(edit.m_comboType->currentIndex(), 1);
    EXPECT_EQ(edit.focusWidget(), edit.m_comboType);
    edit.m_pHex->click();
    EXPECT_EQ(edit.m_editValues->text(), "0x4,0xffff");
    edit.OnOK();
    EXPECT_EQ(messages.shown.back(), "Can't convert element at index 1 to specified type of number")
        << "65535 does not fit a Short";
    EXPECT_NE(edit.result(), QDialog::Accepted);
    EXPECT_EQ(edit.focusWidget(), edit.m_editValues);
}

}  // namespace
