// The editing commands run from the tree, the menus and the list view, with
// scripted dialog answers: the tree, both panes, the modified flag and the title.
#include <sys/stat.h>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QStatusBar>

#include <fstream>

#include "GuiFixture.h"
#include "ScriptedRunner.h"
#include "dialogs/BooleanDlg.h"
#include "dialogs/ListDlg.h"
#include "dialogs/NumberDlg.h"
#include "dialogs/StringDlg.h"
#include "format/ExtendedHeaderCodec.h"
#include "format/HeaderFile.h"
#include "platform/RandomAccessFile.h"
#include "res/Resource.h"

namespace {

using Texts = std::vector<std::string>;

class CommandsTest : public GuiTest {
  protected:
    void Open(const HeaderNode& root, const std::string& name = "A01.tkv") {
        ASSERT_TRUE(Start({PutFile(name, root)}));
        Tree().SetDialogRunner(&runner);
    }
    void SetUp() override { GuiTest::SetUp(); }
    HeaderNode* At(const std::string& path) { return FindAt(*Doc().m_pRoot, path); }
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
    int ItemImage(const std::string& path) {
        return Tree().Model().ItemAt(TreeIndexOf(path))->image;
    }

    ScriptedRunner runner;
};

TEST_F(CommandsTest, InsertStringFromTheTreeGoesIntoTheSelectedList) {
    Open(*SampleTree());
    runner.Then<CStringDlg>([](CStringDlg& d) {
        Label(d, "note");
        d.m_editValue->setText("hi there");
    });
    ASSERT_TRUE(RunInTree(ID_INSERT_STRING, "B"));
    HeaderNode* note = At("B.NOTE");
    ASSERT_NE(note, nullptr) << "stored in upper case";
    EXPECT_EQ(note->value.GetType(), ToCode(ElementType::Ascii));
    EXPECT_EQ(note->value.Ascii(), "hi there");
    EXPECT_EQ(note->parent, At("B"));
    EXPECT_FALSE(note->pending);
    EXPECT_EQ(TreeTexts()[6], "      NOTE (ASCII)");
    EXPECT_EQ(ListValue("B.NOTE"), "hi there");
    EXPECT_EQ(TreeSelection(), At("B")) << "the selection stays on the list";
    EXPECT_TRUE(Doc().IsModified());
    Frame().UpdateCommandUI();
    EXPECT_EQ(Frame().windowTitle().toStdString(), "*A01.tkv - Header Editor");
}

TEST_F(CommandsTest, InsertIntoTheRootAndAUnicodeString) {
    Open(*SampleTree());
    runner.Then<CStringDlg>([](CStringDlg& d) {
        Label(d, "title");
        d.m_editValue->setText(QString::fromUtf8("Ångström ✓"));
        d.m_pUnicode->click();
    });
    ASSERT_TRUE(RunInTree(ID_INSERT_STRING, "Extended Header"));
    HeaderNode* title = At("TITLE");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->parent, nullptr) << "entries of the root list have no parent";
    EXPECT_EQ(title->value.GetType(), ToCode(ElementType::Unicode));
    EXPECT_EQ(ListValue("TITLE"), "Ångström ✓");
}

TEST_F(CommandsTest, InsertFromTheListViewAndEveryKind) {
    Open(*SampleTree());
    runner.Then<CNumberDlg>([](CNumberDlg& d) {
        Label(d, "weights");
        d.m_comboType->setCurrentIndex(1);  // Short
        d.m_editValues->setText("1, 2, 3");
    });
    ASSERT_TRUE(RunInList(ID_INSERT_NUMBER, "B"));
    ASSERT_NE(At("B.WEIGHTS"), nullptr);
    EXPECT_EQ(ListValue("B.WEIGHTS"), "1,2,3");
    EXPECT_EQ(ItemImage("B.WEIGHTS"), 2);
    runner.Then<CBooleanDlg>([](CBooleanDlg& d) {
        Label(d, "ok");
        d.m_pFalse->click();
    });
    ASSERT_TRUE(RunInList(ID_INSERT_BOOLEAN, "B"));
    EXPECT_EQ(ListValue("B.OK"), "False");
    runner.Then<CListDlg>([](CListDlg& d) { Label(d, "sub"); });
    ASSERT_TRUE(RunInList(ID_INSERT_LIST, "B"));
    ASSERT_NE(At("B.SUB"), nullptr);
    EXPECT_TRUE(At("B.SUB")->isList);
    EXPECT_EQ(ItemImage("B.SUB"), 4);
    EXPECT_EQ(runner.titles, (Texts{"Enter Numeric Value", "Edit Boolean Value", "Edit New List"}));
    // Cancel changes nothing.
    runner.Cancel();
    const std::size_t rows = ListLabels().size();
    ASSERT_TRUE(RunInList(ID_INSERT_LIST, "B"));
    EXPECT_EQ(ListLabels().size(), rows);
}

TEST_F(CommandsTest, EditChangesValuesAndRetitlesTheItem) {
    auto root = SampleTree();
    HeaderElement flags(ToCode(ElementType::Boolean), 3);
    flags.SetByte(0, 0);
    flags.SetByte(1, 1);
    flags.SetByte(2, 0);
    AddAt(*root, "FLAGS3", flags);
    Open(*root);
    // ASCII to Unicode, from the tree.
    runner.Then<CStringDlg>([](CStringDlg& d) {
        EXPECT_EQ(d.m_strValue, "text");
        d.m_editValue->setText(QString::fromUtf8("tëxt ✓"));
        d.m_pUnicode->click();
    });
    ASSERT_TRUE(RunInTree(ID_EDIT_ENTRY, "B.C"));
    EXPECT_EQ(At("B.C")->value.GetType(), ToCode(ElementType::Unicode));
    EXPECT_NE(std::find(TreeTexts().begin(), TreeTexts().end(), "      C (Unicode)"),
              TreeTexts().end());
    EXPECT_EQ(ListValue("B.C"), "tëxt ✓");
    // A Boolean of several values: only the first changes.
    runner.Then<CBooleanDlg>([](CBooleanDlg& d) { d.m_pTrue->click(); });
    ASSERT_TRUE(RunInTree(ID_EDIT_ENTRY, "FLAGS3"));
    EXPECT_EQ(ListValue("FLAGS3"), "True,True,False");
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

TEST_F(CommandsTest, EditOfAnUnknownTypeSaysSoAndAReadOnlyFileOpensDialogsViewOnly) {
    auto root = SampleTree();
    AddAt(*root, "ODD", HeaderElement(50u, 1));
    const std::string path = PutFile("ro.tkv", *root);
    ::chmod(path.c_str(), 0444);
    ASSERT_TRUE(Start({path}));
    Tree().SetDialogRunner(&runner);
    RunInTree(ID_EDIT_ENTRY, "ODD");
    EXPECT_EQ(messages.shown.back(), "Unknown element type 50");
    EXPECT_TRUE(runner.titles.empty());
    runner.Then<CNumberDlg>([](CNumberDlg&) {});
    ASSERT_TRUE(RunInTree(ID_EDIT_ENTRY, "A"));
    ASSERT_EQ(runner.okEnabled.size(), 1u);
    EXPECT_FALSE(runner.okEnabled[0]) << "view only";
    EXPECT_EQ(ListValue("A"), "7");
    EXPECT_FALSE(Doc().IsModified());
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
    EXPECT_EQ(ListValue("B_COPY.FLAGS"), "True,False");
    // Into the list itself: a copy of the list as it was copied.
    ASSERT_TRUE(RunInList(ID_EDIT_PASTE, "B"));
    ASSERT_NE(At("B.B.C"), nullptr);
    EXPECT_EQ(At("B.B.B"), nullptr);
    // No drops the paste and keeps the buffer.
    messages.answers = {MessageAnswer::No};
    const std::size_t rows = ListLabels().size();
    ASSERT_TRUE(RunInTree(ID_EDIT_PASTE, "B"));
    EXPECT_EQ(ListLabels().size(), rows);
    EXPECT_NE(Doc().GetCopiedEntry(), nullptr);
}

TEST_F(CommandsTest, FolderModeMarksCancelsAndLeaves) {
    Open(*SampleTree());
    ASSERT_TRUE(RunInTree(ID_EDIT_ALL_SAMPLES, "A"));
    EXPECT_TRUE(Doc().m_bFolderEditMode);
    EXPECT_TRUE(Checked(ID_EDIT_ALL_SAMPLES));
    // An inserted entry is pending, shown by its row's image.
    runner.Then<CNumberDlg>([](CNumberDlg& d) {
        Label(d, "lot");
        d.m_comboType->setCurrentIndex(2);
        d.m_editValues->setText("42");
    });
    ASSERT_TRUE(RunInTree(ID_INSERT_NUMBER, "B"));
    EXPECT_TRUE(At("B.LOT")->pending);
    EXPECT_EQ(ListImage("B.LOT"), 1);
    // An edit keeps the old value.
    runner.Then<CNumberDlg>([](CNumberDlg& d) { d.m_editValues->setText("8"); });
    ASSERT_TRUE(RunInTree(ID_EDIT_ENTRY, "A"));
    EXPECT_EQ(ListImage("A"), 1);
    EXPECT_EQ(At("A")->savedValue.GetLong(0), 7);
    // Cancel Field on the changed value restores it.
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
    EXPECT_TRUE(ListIndexOf("B.LOT").row() < 0);
    EXPECT_EQ(ListSelection(), nullptr) << "no neighbour selected in its place";
    EXPECT_FALSE(Doc().IsModified()) << "nothing pending any more";
    // Leaving the mode with a pending change: Cancel stays, No undoes it.
    runner.Then<CListDlg>([](CListDlg& d) { Label(d, "extra"); });
    ASSERT_TRUE(RunInTree(ID_INSERT_LIST, "Extended Header"));
    messages.answers = {MessageAnswer::Cancel};
    ASSERT_TRUE(Run(ID_EDIT_ALL_SAMPLES));
    EXPECT_EQ(messages.asked.back(),
              "Changes to all samples in folder have not been applied.\nDo you  want to save "
              "changes to all samples in folder ?");
    EXPECT_TRUE(Doc().m_bFolderEditMode);
    messages.answers = {MessageAnswer::No};
    ASSERT_TRUE(Run(ID_EDIT_ALL_SAMPLES));
    EXPECT_FALSE(Doc().m_bFolderEditMode);
    EXPECT_EQ(At("EXTRA"), nullptr);
    EXPECT_EQ(Frame().ModePane()->text(), "Normal");
}

TEST_F(CommandsTest, LeavingTheFolderModeWithYesAppliesThePendingEntries) {
    WriteAll(dir.File("P2.tkv"), SampleFile(*SampleTree(), SampleRecord(), 64, 9));
    Open(*SampleTree(), "P1.tkv");
    ASSERT_TRUE(RunInList(ID_EDIT_ALL_SAMPLES, "A"));
    runner.Then<CStringDlg>([](CStringDlg& d) {
        Label(d, "batch");
        d.m_editValue->setText("B-17");
    });
    ASSERT_TRUE(RunInList(ID_INSERT_STRING, "B"));
    messages.answers = {MessageAnswer::Yes};
    ASSERT_TRUE(RunInList(ID_EDIT_ALL_SAMPLES, "A"));
    EXPECT_FALSE(Doc().m_bFolderEditMode);
    EXPECT_FALSE(Doc().IsModified());
    EXPECT_EQ(ListImage("B.BATCH"), 0);
    for (const char* name : {"P1.tkv", "P2.tkv"}) {
        auto tree = ExtendedHeader::MakeRoot();
        StandardHeader record;
        RandomAccessFile file(dir.File(name), RandomAccessFile::Mode::Read);
        ReadHeaders(file, *tree, record, messages);
        ASSERT_NE(FindAt(*tree, "B.BATCH"), nullptr) << name;
        EXPECT_EQ(FindAt(*tree, "B.BATCH")->value.Ascii(), "B-17");
    }
}

// A plate of sample files, each with its own values; the open one is S00.
class FolderEndToEndTest : public CommandsTest {
  protected:
    static std::unique_ptr<HeaderNode> Plate(int i) {
        auto root = ExtendedHeader::MakeRoot();
        AddAt(*root, "RUN.GAIN", LongValue(i));
        AddAt(*root, "RUN.OPERATOR", HeaderElement(std::string_view("op" + std::to_string(i))));
        AddAt(*root, "SAMPLE.WELL", HeaderElement(std::string_view("W" + std::to_string(i))));
        return root;
    }
    std::map<std::string, Bytes> before;
};

TEST_F(FolderEndToEndTest, SaveWritesThePendingEntriesIntoEveryFileOfTheFolder) {
    constexpr int kFiles = 10;
    for (int i = 0; i < kFiles; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "S%02d.tkv", i);
        WriteAll(dir.File(name), SampleFile(*Plate(i), SampleRecord(), 300 + 17 * i, 40 + i));
    }
    WriteAll(dir.File("other.pkv"), SampleFile(*Plate(99), SampleRecord(), 100, 1));
    before = FolderContents(dir.Path());
    ASSERT_TRUE(Start({dir.File("S00.tkv")}));
    Tree().SetDialogRunner(&runner);
    std::vector<std::size_t> progress;
    bool dialogShown = false;
    auto frameProgress = Doc().m_folderProgress;
    Doc().m_folderProgress = [&](std::size_t done, std::size_t total) {
        frameProgress(done, total);
        progress.push_back(done);
        dialogShown = dialogShown || Frame().Progress() != nullptr;
    };

    ASSERT_TRUE(RunInTree(ID_EDIT_ALL_SAMPLES, "RUN"));
    const std::string folder = dir.Path().string();
    EXPECT_EQ(Frame().ModePane()->text().toStdString(), "Edit All Samples in Folder: " + folder);
    // A new list with a number array typed in hexadecimal display.
    runner.Then<CListDlg>([](CListDlg& d) { Label(d, "qc"); });
    ASSERT_TRUE(RunInTree(ID_INSERT_LIST, "Extended Header"));
    runner.Then<CNumberDlg>([](CNumberDlg& d) {
        Label(d, "lanes");
        d.m_comboType->setCurrentIndex(1);
        d.m_editValues->setText("1,2,3");
        d.m_pHex->click();
    });
    ASSERT_TRUE(RunInTree(ID_INSERT_NUMBER, "QC"));
    // An existing value edited, another inserted and then cancelled.
    runner.Then<CStringDlg>([](CStringDlg& d) { d.m_editValue->setText("jmarsh"); });
    ASSERT_TRUE(RunInTree(ID_EDIT_ENTRY, "RUN.OPERATOR"));
    runner.Then<CBooleanDlg>([](CBooleanDlg& d) { Label(d, "retry"); });
    ASSERT_TRUE(RunInTree(ID_INSERT_BOOLEAN, "RUN"));
    messages.answers = {MessageAnswer::Yes};
    ASSERT_TRUE(RunInTree(ID_CANCEL_FIELD, "RUN.RETRY"));
    EXPECT_EQ(ListImage("QC.LANES"), 1);
    EXPECT_EQ(ListImage("RUN.OPERATOR"), 1);

    Frame().resize(800, 600);
    messages.answers = {MessageAnswer::Yes};
    ASSERT_TRUE(Run(ID_FILE_SAVE));
    EXPECT_EQ(messages.asked.back(), "All files in this folder will be modified.  Is this OK ?");
    EXPECT_FALSE(Doc().IsModified());
    EXPECT_EQ(ListImage("QC.LANES"), 0) << "applied: no longer pending";
    // The summary fits left of the mode pane in an 800-pixel window; its tip
    // says it in full.
    QApplication::processEvents();
    const QStatusBar* bar = Frame().statusBar();
    EXPECT_LE(bar->fontMetrics().horizontalAdvance(Frame().PromptText()) + 8,
              Frame().ModePane()->x())
        << Frame().PromptText().toStdString();
    EXPECT_EQ(Frame().PromptText().toStdString(), "Folder saved: 10 updated");
    EXPECT_EQ(bar->toolTip().toStdString(),
              "All samples in folder: 10 updated, 0 unchanged, 0 skipped as read-only, 0 failed");
    EXPECT_TRUE(dialogShown) << "ten files show their progress";
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), static_cast<std::size_t>(kFiles));

    const auto after = FolderContents(dir.Path());
    EXPECT_EQ(after.at("other.pkv"), before.at("other.pkv")) << "another extension is left alone";
    for (int i = 0; i < kFiles; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "S%02d.tkv", i);
        // What the merge must give: the file's own tree with the two changes.
        auto expected = Plate(i);
        FindAt(*expected, "RUN.OPERATOR")->value = HeaderElement(std::string_view("jmarsh"));
        HeaderElement lanes(ElementType::Short, 3);
        for (int k = 0; k < 3; ++k)
            lanes.SetShort(static_cast<std::uint32_t>(k), static_cast<std::int16_t>(k + 1));
        AddAt(*expected, "QC.LANES", lanes);
        const Bytes block = EncodeExtendedHeaderBlock(*expected);
        const Bytes& old = before.at(name);
        const Bytes& now = after.at(name);
        const std::size_t data = 300 + 17 * i;
        ASSERT_EQ(now.size(), data + block.size() + StandardHeader::kSize) << name;
        EXPECT_TRUE(
            std::equal(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(data), now.begin()))
            << name << ": the sample data is untouched";
        EXPECT_TRUE(
            std::equal(block.begin(), block.end(), now.begin() + static_cast<std::ptrdiff_t>(data)))
            << name << ": the block is the merge";
        const StandardHeader was = RecordOf(old), is = RecordOf(now);
        EXPECT_EQ(is.extendedHeaderLength, block.size());
        EXPECT_EQ(is.sampleName, was.sampleName);
        // Everything in the record but the block's length and place and the checksum.
        auto bytes = [](StandardHeader r) {
            r.extendedHeaderLength = r.extendedHeaderOffset = 0;
            auto b = r.ToBytes();
            std::fill(b.begin() + StandardHeader::kChecksumOffset, b.end(), 0);
            return b;
        };
        EXPECT_EQ(bytes(is), bytes(was)) << name;
    }
}

}  // namespace
