// The entry dialogs: fields in and out, the label check and its messages, the
// view-only mode, the Number dialog's display switch, and the caret and element
// index boxes after key and mouse events.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "dialogs/BooleanDlg.h"
#include "dialogs/ListDlg.h"
#include "dialogs/NumberDlg.h"
#include "dialogs/StringDlg.h"
#include "support/DocumentFixture.h"

namespace {

class DialogsTest : public ::testing::Test {
  protected:
    DialogsTest() {
        for (const char* label : {"GAIN", "RUN"})
            siblings.emplace(label, std::make_unique<HeaderNode>(label, false));
    }
    template <class Dialog>
    void Insert(Dialog& d) {
        d.m_labelCheck.m_pSiblings = &siblings;
    }
    RecordingMessages messages;
    HeaderNode::ChildMap siblings;
};

using Texts = std::vector<std::string>;

TEST_F(DialogsTest, LabelCheckShowsEachFailureInOrderAndKeepsTheDialogOpen) {
    CListDlg dlg(messages);
    Insert(dlg);
    dlg.OnInitDialog();
    dlg.LabelEdit()->setText("");
    dlg.OnOK();
    EXPECT_EQ(messages.shown, (Texts{"Label must not be empty !"}));
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.focusWidget(), dlg.LabelEdit());
    messages.shown.clear();
    dlg.LabelEdit()->setText("gain");
    dlg.OnOK();
    EXPECT_EQ(messages.shown, (Texts{"Label gain already exists in parent list !"}));
    messages.shown.clear();
    dlg.LabelEdit()->setText("x.y");
    dlg.OnOK();
    EXPECT_EQ(messages.shown, (Texts{"Label must not contain a period"}));
    // One press can show two boxes, in order.
    siblings.emplace("A.B", std::make_unique<HeaderNode>("A.B", false));
    messages.shown.clear();
    dlg.LabelEdit()->setText("a.b");
    dlg.OnOK();
    EXPECT_EQ(messages.shown, (Texts{"Label a.b already exists in parent list !",
                                     "Label must not contain a period"}));
    messages.shown.clear();
    dlg.LabelEdit()->setText("new_list");
    dlg.OnOK();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_strLabel, "new_list") << "the dialog returns the label as typed";
}

TEST_F(DialogsTest, EditModeShowsTheLabelReadOnlyAndNeverChecksIt) {
    CStringDlg dlg(messages);
    dlg.m_labelCheck.m_bEditMode = true;
    dlg.m_strLabel = "GAIN";  // present among the siblings, and that does not matter
    dlg.m_labelCheck.m_pSiblings = &siblings;
    dlg.m_strValue = "abc";
    dlg.OnInitDialog();
    EXPECT_TRUE(dlg.LabelEdit()->isReadOnly());
    EXPECT_EQ(dlg.LabelEdit()->text(), "GAIN");
    EXPECT_EQ(dlg.focusWidget(), dlg.m_editValue);
    dlg.OnOK();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST_F(DialogsTest, ViewOnlyStringDialogCannotEndWithOkOrChangeItsEncoding) {
    CStringDlg dlg(messages);
    dlg.m_labelCheck.m_bEditMode = true;
    dlg.m_bReadOnly = true;
    dlg.m_strLabel = "COMMENT";
    dlg.m_strValue = "text";
    dlg.OnInitDialog();
    EXPECT_FALSE(dlg.OkButton()->isEnabled());
    EXPECT_TRUE(dlg.CancelButton()->isDefault());
    EXPECT_TRUE(dlg.m_editValue->isReadOnly());
    dlg.m_pUnicode->click();
    EXPECT_TRUE(dlg.m_pAscii->isChecked()) << "the choice snaps back";
    dlg.OnOK();
    EXPECT_NE(dlg.result(), QDialog::Accepted);
}

class NumberDialogTest : public DialogsTest {
  protected:
    CNumberDlg& New(int type, const QString& values) {
        dlg = std::make_unique<CNumberDlg>(messages);
        Insert(*dlg);
        dlg->OnInitDialog();
        dlg->LabelEdit()->setText("x");
        dlg->m_comboType->setCurrentIndex(type);
        dlg->m_editValues->setText(values);
        return *dlg;
    }
    CNumberDlg& Edit(const HeaderElement& value, bool readOnly = false) {
        dlg = std::make_unique<CNumberDlg>(messages);
        dlg->m_labelCheck.m_bEditMode = true;
        dlg->m_bReadOnly = readOnly;
        dlg->m_strLabel = "VALUE";
        dlg->m_element = value;
        dlg->OnInitDialog();
        return *dlg;
    }
    std::string Failed(int index) {
        return "Can't convert element at index " + std::to_string(index) +
               " to specified type of number";
    }
    std::unique_ptr<CNumberDlg> dlg;
};

TEST_F(NumberDialogTest, InsertParsesTheValuesAsTheChosenType) {
    CNumberDlg& d = New(1, "1, 2, 3");
    EXPECT_EQ(d.windowTitle(), "Enter Numeric Value");
    EXPECT_EQ(d.m_comboType->count(), 5);
    EXPECT_EQ(d.m_comboType->itemText(4), "Double");
    d.OnOK();
    ASSERT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.m_element.GetType(), ToCode(ElementType::Short));
    ASSERT_EQ(d.m_element.GetCount(), 3u);
    EXPECT_EQ(d.m_element.GetShort(2), 3);
    CNumberDlg& empty = New(2, "");
    empty.OnOK();
    EXPECT_EQ(messages.shown.back(), Failed(0));
    EXPECT_NE(empty.result(), QDialog::Accepted);
    EXPECT_EQ(empty.focusWidget(), empty.m_editValues);
}

TEST_F(NumberDialogTest, EditingOpensInDecimalAndParsesOnOk) {
    HeaderElement minusOne(ElementType::Short, 1);
    minusOne.SetShort(0, -1);
    CNumberDlg& s = Edit(minusOne);
    EXPECT_EQ(s.m_editValues->text(), "-1");
    EXPECT_EQ(s.m_comboType->currentIndex(), 1);
    EXPECT_EQ(s.focusWidget(), s.m_comboType);
    s.m_pHex->click();
    EXPECT_EQ(s.m_editValues->text(), "0xffff");
    s.OnOK();
    EXPECT_EQ(messages.shown.back(), Failed(0)) << "65535 does not fit a Short";

    HeaderElement two(ElementType::Float, 2);
    two.SetFloat(0, 0.5f);
    two.SetFloat(1, 0.0f);
    CNumberDlg& zero = Edit(two);
    zero.OnOK();
    EXPECT_EQ(messages.shown.back(), Failed(1)) << "zero is not accepted as a Float";

    HeaderElement pi(ElementType::Double, 1);
    pi.SetDouble(0, 3.14159265358979);
    CNumberDlg& d = Edit(pi);
    EXPECT_EQ(d.m_editValues->text(), "3.14159");
    d.OnOK();
    ASSERT_EQ(d.result(), QDialog::Accepted);
    EXPECT_DOUBLE_EQ(d.m_element.GetDouble(0), 3.14159);

    CNumberDlg& l = New(2, "0x10");
    l.m_comboType->setCurrentIndex(3);
    l.OnOK();
    EXPECT_EQ(messages.shown.back(), Failed(0)) << "hexadecimal text is no floating value";
}

}  // namespace
