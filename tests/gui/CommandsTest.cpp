// The editing commands run from the tree, the menus and the list view, with
// scripted dialog answers: the tree, both panes, the modified flag and the title.
#include <QComboBox>
#include <QRadioButton>

#include "GuiFixture.h"
#include "ScriptedRunner.h"
#include "dialogs/BooleanDlg.h"
#include "dialogs/ListDlg.h"
#include "dialogs/NumberDlg.h"
#include "dialogs/StringDlg.h"
#include "res/Resource.h"

namespace {

class CommandsTest : public GuiTest {
  protected:
    void Open(const HeaderNode& root, const std::string& name = "A01.tkv") {
        ASSERT_TRUE(Start({PutFile(name, root)}));
        Tree().SetDialogRunner(&runner);
    }
    bool Run(int id) { return Frame().Commands().Execute(id); }
    // Runs a command with the tree as the active pane, after clicking `path`.
    bool RunInTree(int id, const std::string& path) {
        ClickTree(path);
        Frame().SetActiveView(&Tree());
        return Run(id);
    }
    bool RunInList(int id, const std::string& label) {
        ClickList(label);
        Frame().SetActiveView(&List());
        return Run(id);
    }
    static void Label(CEntryDialog& d, const char* text) { d.LabelEdit()->setText(text); }

    ScriptedRunner runner;
};

TEST_F(CommandsTest, InsertFromTheListViewAndEveryKind) {
    Open(*SampleTree());
    runner.Then<CNumberDlg>([](CNumberDlg& d) {
        Label(d, "weights");
        d.m_comboType->setCurrentIndex(1);  // Short
        d.m_editValues->setText("1, 2, 3");
    });
    ASSERT_TRUE(RunInList(ID_INSERT_NUMBER, "B"));
    EXPECT_EQ(ListValue("B.WEIGHTS"), "1,2,3");
    EXPECT_EQ(At("B.WEIGHTS")->value.GetType(), ToCode(ElementType::Short));
    runner.Then<CBooleanDlg>([](CBooleanDlg& d) {
        Label(d, "ok");
        d.m_pFalse->click();
    });
    ASSERT_TRUE(RunInList(ID_INSERT_BOOLEAN, "B"));
    EXPECT_EQ(ListValue("B.OK"), "False");
    runner.Then<CListDlg>([](CListDlg& d) { Label(d, "sub"); });
    ASSERT_TRUE(RunInList(ID_INSERT_LIST, "B"));
    EXPECT_TRUE(At("B.SUB") && At("B.SUB")->isList);
    // Cancel changes nothing.
    runner.Cancel();
    ASSERT_TRUE(RunInList(ID_INSERT_LIST, "B"));
    EXPECT_EQ(ListLabels(), (Texts{"A", "B", "B.C", "B.FLAGS", "B.OK", "B.SUB", "B.WEIGHTS", "D"}));
}

TEST_F(CommandsTest, EditChangesValuesAndRetitlesTheItem) {
    auto root = SampleTree();
    AddAt(*root, "ODD", HeaderElement(50u, 1));
    Open(*root);
    // An unknown type opens no dialog and says so.
    RunInTree(ID_EDIT_ENTRY, "ODD");
    EXPECT_EQ(messages.shown.back(), "Unknown element type 50");
    EXPECT_TRUE(runner.okEnabled.empty());
    // ASCII to Unicode, from the tree.
    runner.Then<CStringDlg>([](CStringDlg& d) {
        EXPECT_EQ(d.m_strValue, "text");
        d.m_editValue->setText(QString::fromUtf8("tëxt ✓"));
        d.m_pUnicode->click();
    });
    ASSERT_TRUE(RunInTree(ID_EDIT_ENTRY, "B.C"));
    EXPECT_EQ(At("B.C")->value.GetType(), ToCode(ElementType::Unicode));
    EXPECT_EQ(TreeTexts()[4], "      C (Unicode)");
    EXPECT_EQ(ListValue("B.C"), "tëxt ✓");
    // A Boolean of several values: only the first changes.
    runner.Then<CBooleanDlg>([](CBooleanDlg& d) { d.m_pFalse->click(); });
    ASSERT_TRUE(RunInTree(ID_EDIT_ENTRY, "B.FLAGS"));
    EXPECT_EQ(ListValue("B.FLAGS"), "False,False,True");
    // A number, by a double click on its row: Long becomes Double.
    runner.Then<CNumberDlg>([](CNumberDlg& d) {
        EXPECT_EQ(d.m_editValues->text(), "7");
        d.m_comboType->setCurrentIndex(4);
        d.m_editValues->setText("7.5");
    });
    const QModelIndex row = ListIndexOf("A");
    QTest::mouseDClick(List().viewport(), Qt::LeftButton, {}, List().visualRect(row).center());
    EXPECT_EQ(At("A")->value.GetType(), ToCode(ElementType::Double));
    EXPECT_EQ(TreeTexts()[2], "    A (Double)");
    EXPECT_EQ(ListValue("A"), "7.5");
    EXPECT_TRUE(Doc().IsModified());
}

TEST_F(CommandsTest, DeleteAsksFirst) {
    Open(*SampleTree());
    messages.answers = {MessageAnswer::No};
    ASSERT_TRUE(RunInTree(ID_EDIT_CUT, "B"));
    EXPECT_EQ(messages.asked.back(), "Really delete entry 'B' ?");
    EXPECT_NE(At("B"), nullptr);
    EXPECT_FALSE(Doc().IsModified());
    messages.answers = {MessageAnswer::Yes};
    ASSERT_TRUE(RunInList(ID_EDIT_CUT, "B"));
    EXPECT_EQ(At("B"), nullptr);
    EXPECT_EQ(ListLabels(), (Texts{"A", "D"}));
    EXPECT_TRUE(Doc().IsModified());
    // No row takes the deleted one's place: a second Delete acts on nothing.
    EXPECT_EQ(ListSelection(), nullptr);
    messages.answers = {MessageAnswer::Yes};
    ASSERT_TRUE(Run(ID_EDIT_CUT));
    EXPECT_EQ(ListLabels(), (Texts{"A", "D"}));
}

TEST_F(CommandsTest, CopyAndPasteWithTheRenameLoop) {
    Open(*SampleTree());
    ASSERT_TRUE(RunInList(ID_EDIT_COPY, "B.C"));
    EXPECT_EQ(Doc().GetCopiedEntry()->label, "C");
    ASSERT_TRUE(RunInTree(ID_EDIT_COPY, "B"));
    EXPECT_FALSE(Doc().IsModified()) << "a copy changes nothing";
    // Into the root list: B is there already. Yes, Cancel: asked again; Yes and a new name.
    messages.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    runner.Cancel();
    runner.Then<CListDlg>([](CListDlg& d) {
        EXPECT_EQ(d.windowTitle(), "Enter new label for 'B'");
        EXPECT_EQ(d.LabelEdit()->text(), "B");
        Label(d, "b_copy");
    });
    ASSERT_TRUE(RunInTree(ID_EDIT_PASTE, "A"));  // a leaf: its list, the root list
    EXPECT_EQ(messages.asked, (Texts{"B is already in parent list.  Rename ?",
                                     "B is already in parent list.  Rename ?"}));
    ASSERT_NE(At("B_COPY.C"), nullptr);
    EXPECT_EQ(At("B_COPY.C")->parent, At("B_COPY"));
    EXPECT_EQ(ListValue("B_COPY.FLAGS"), "True,False,True");
    // Into the list itself (from a leaf of it): a copy of the list as it was copied.
    ASSERT_TRUE(RunInTree(ID_EDIT_PASTE, "B.C"));
    ASSERT_NE(At("B.B.C"), nullptr);
    EXPECT_EQ(At("B.B.B"), nullptr);
    // No drops the paste and keeps the buffer.
    messages.answers = {MessageAnswer::No};
    const std::size_t rows = ListLabels().size();
    ASSERT_TRUE(RunInList(ID_EDIT_PASTE, "B"));
    EXPECT_EQ(ListLabels().size(), rows);
    EXPECT_NE(Doc().GetCopiedEntry(), nullptr);
}

TEST_F(CommandsTest, FolderModeMarksCancelsAndLeaves) {
    WriteAll(dir.File("P2.tkv"), SampleFile(*SampleTree(), SampleRecord(), 64, 9));
    Open(*SampleTree(), "P1.tkv");
    ASSERT_TRUE(RunInTree(ID_EDIT_ALL_SAMPLES, "A"));
    EXPECT_TRUE(Checked(ID_EDIT_ALL_SAMPLES));
    // An inserted entry is pending, shown by its row's image.
    runner.Then<CNumberDlg>([](CNumberDlg& d) {
        Label(d, "lot");
        d.m_comboType->setCurrentIndex(2);
        d.m_editValues->setText("42");
    });
    ASSERT_TRUE(RunInTree(ID_INSERT_NUMBER, "B"));
    EXPECT_EQ(ListImage("B.LOT"), 1);
    // An edit is marked too; Cancel Field on it restores the value.
    runner.Then<CNumberDlg>([](CNumberDlg& d) { d.m_editValues->setText("8"); });
    ASSERT_TRUE(RunInTree(ID_EDIT_ENTRY, "A"));
    EXPECT_EQ(ListImage("A"), 1);
    ASSERT_TRUE(RunInList(ID_CANCEL_FIELD, "A"));
    EXPECT_EQ(ListValue("A"), "7");
    EXPECT_EQ(ListImage("A"), 0);
    // On the insertion it asks; No keeps it, Yes removes it from both panes.
    messages.answers = {MessageAnswer::No};
    ASSERT_TRUE(RunInTree(ID_CANCEL_FIELD, "B.LOT"));
    EXPECT_EQ(messages.asked.back(), "This field will be deleted.  Is this OK ?");
    EXPECT_NE(At("B.LOT"), nullptr);
    messages.answers = {MessageAnswer::Yes};
    ASSERT_TRUE(RunInList(ID_CANCEL_FIELD, "B.LOT"));
    EXPECT_EQ(At("B.LOT"), nullptr);
    EXPECT_FALSE(ListIndexOf("B.LOT").isValid());
    EXPECT_EQ(ListSelection(), nullptr) << "no neighbour selected in its place";
    // Leaving the mode with a pending change: Cancel stays, No undoes it.
    runner.Then<CListDlg>([](CListDlg& d) { Label(d, "extra"); });
    ASSERT_TRUE(RunInTree(ID_INSERT_LIST, "Extended Header"));
    messages.answers = {MessageAnswer::Cancel};
    ASSERT_TRUE(Run(ID_EDIT_ALL_SAMPLES));
    EXPECT_TRUE(Contains(messages.asked.back(), "have not been applied"));
    EXPECT_TRUE(Doc().m_bFolderEditMode);
    messages.answers = {MessageAnswer::No};
    ASSERT_TRUE(Run(ID_EDIT_ALL_SAMPLES));
    EXPECT_FALSE(Doc().m_bFolderEditMode);
    EXPECT_EQ(At("EXTRA"), nullptr);
    // Yes applies the pending entries to every file of the folder.
    ASSERT_TRUE(Run(ID_EDIT_ALL_SAMPLES));
    runner.Then<CStringDlg>([](CStringDlg& d) {
        Label(d, "batch");
        d.m_editValue->setText("B-17");
    });
    ASSERT_TRUE(RunInList(ID_INSERT_STRING, "B"));
    messages.answers = {MessageAnswer::Yes};
    ASSERT_TRUE(Run(ID_EDIT_ALL_SAMPLES));
    EXPECT_FALSE(Doc().m_bFolderEditMode);
    EXPECT_FALSE(Doc().IsModified());
    EXPECT_EQ(ListImage("B.BATCH"), 0);
    for (const char* name : {"P1.tkv", "P2.tkv"})
        EXPECT_EQ(Stored(name, "B.BATCH"), "B-17") << name;
}

}  // namespace
