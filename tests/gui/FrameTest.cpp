// The main frame: command enabling by the panes' rules, the Standard Header
// viewer, reload instead of save, and opens that fail by any route.
#include <sys/stat.h>

#include <fstream>

#include <QClipboard>
#include <QFileDialog>
#include <QMimeData>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>

#include "GuiFixture.h"
#include "ScriptedRunner.h"
#include "app/StandardHeaderDlg.h"
#include "dialogs/NumberDlg.h"
#include "format/StandardHeaderRows.h"
#include "res/Resource.h"

namespace {

namespace fs = std::filesystem;

class FrameTest : public GuiTest {
  protected:
    std::string OpenSample() {
        const std::string path = PutFile("A01.tkv", *SampleTree());
        EXPECT_TRUE(Start({path}));
        return path;
    }
};

TEST_F(FrameTest, EachPanesSelectionEnablesTheCommandsByItsRules) {
    OpenSample();
    // Undoing a folder save reads this file again: not while it holds changes.
    EXPECT_TRUE(Enabled(ID_EDIT_UNDO_FOLDER_SAVE));
    Doc().SetModified(true);
    EXPECT_FALSE(Enabled(ID_EDIT_UNDO_FOLDER_SAVE));
    Doc().SetModified(false);
    ClickTree("A");
    EXPECT_FALSE(Enabled(ID_EDIT_PASTE)) << "nothing copied yet";
    Doc().SetCopiedEntry(*At("A"));
    // A command's state by its rule; a tool bar button shows the same as soon as the
    // selection changes, in the same pane too.
    auto enabled = [&](int id) {
        if (QWidget* b = Frame().ToolBar()->widgetForAction(Frame().Commands().Action(id))) {
            EXPECT_EQ(b->isEnabled(), Enabled(id)) << "the tool bar button of " << id;
        }
        return Enabled(id);
    };
    // In the tree, then in the list: the item clicked, the commands it enables and disables.
    const struct {
        bool inTree;
        const char* item;
        std::vector<int> on, off;
    } cases[] = {
        {true, "B", {ID_INSERT_STRING, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE}, {ID_EDIT_ENTRY}},
        {true, "A", {ID_EDIT_ENTRY}, {ID_INSERT_NUMBER, ID_CANCEL_FIELD}},
        {true, "Extended Header", {ID_INSERT_LIST}, {ID_EDIT_CUT, ID_EDIT_COPY}},
        {true,
         "Standard Header",
         {ID_VIEW_STANDARD_HEADER, ID_EDIT_ALL_SAMPLES},
         {ID_INSERT_LIST, ID_EDIT_PASTE}},
        {false, "A", {ID_EDIT_ENTRY}, {ID_INSERT_STRING}},
        {false, "B", {ID_INSERT_STRING}, {ID_EDIT_ENTRY}},
    };
    for (const auto& c : cases) {
        c.inTree ? ClickTree(c.item) : ClickList(c.item);
        for (int id : c.on) EXPECT_TRUE(enabled(id)) << c.item << ": " << id;
        for (int id : c.off) EXPECT_FALSE(enabled(id)) << c.item << ": " << id;
    }
    ASSERT_EQ(Frame().ActiveView(), &List());
    List().clearSelection();
    EXPECT_TRUE(Enabled(ID_EDIT_CUT)) << "Delete needs no selected row in the list";
    EXPECT_FALSE(Enabled(ID_EDIT_ENTRY));
    ClickTree("A");
    At("A")->pending = true;
    EXPECT_TRUE(Enabled(ID_CANCEL_FIELD));
    // A hint alone: the folder-edit mode's button shows its new state as soon as the
    // event loop turns, well before the clock's tick.
    QAction* folderMode = Frame().Commands().Action(ID_EDIT_ALL_SAMPLES);
    EXPECT_FALSE(Checked(ID_EDIT_ALL_SAMPLES) || folderMode->isChecked());
    Doc().SetFolderEditMode(true);
    EXPECT_TRUE(Checked(ID_EDIT_ALL_SAMPLES));
    QCoreApplication::processEvents();
    EXPECT_TRUE(folderMode->isChecked());
}

// A read-only file, or an instrument whose configuration forbids editing.
TEST_F(FrameTest, WithoutEditingEveryChangeIsDisabledButCopyAndTheViewOnlyDialogs) {
    const std::string path = PutFile("ro.tkv", *SampleTree());
    ::chmod(path.c_str(), 0444);
    for (bool instrument : {false, true}) {
        SCOPED_TRACE(instrument ? "the instrument forbids editing" : "a read-only file");
        if (instrument) {
            ::chmod(path.c_str(), 0644);
            const auto sys = dir.Path() / "system";
            fs::create_directories(sys);
            std::ofstream(sys / "Tessarin.ini") << "ALLOW EDIT NO";
            SystemSettings().setValue("DataSystemPath", QString::fromStdString(sys.string()));
        }
        ASSERT_TRUE(Start({path}));
        Doc().SetCopiedEntry(*At("A"));
        for (QWidget* pane : {static_cast<QWidget*>(&Tree()), static_cast<QWidget*>(&List())}) {
            Frame().SetActiveView(pane);
            pane == &Tree() ? ClickTree("B") : ClickList("B");
            for (int id : {ID_EDIT_CUT, ID_EDIT_PASTE, ID_INSERT_STRING, ID_INSERT_BOOLEAN,
                           ID_INSERT_NUMBER, ID_INSERT_LIST, ID_EDIT_ALL_SAMPLES})
                EXPECT_FALSE(Enabled(id)) << id;
            EXPECT_TRUE(Enabled(ID_EDIT_COPY));
            EXPECT_TRUE(Enabled(ID_VIEW_STANDARD_HEADER));
        }
        // Edit opens the dialog view only: OK disabled, and pressed it changes nothing.
        ScriptedRunner runner;
        Tree().SetDialogRunner(&runner);
        runner.Then<CNumberDlg>([](CNumberDlg& d) { d.m_editValues->setText("8"); });
        ClickTree("A");
        Frame().SetActiveView(&Tree());
        ASSERT_TRUE(Frame().Commands().Execute(ID_EDIT_ENTRY));
        EXPECT_EQ(runner.okEnabled, std::vector<bool>{false});
        EXPECT_FALSE(Doc().IsModified());
        // A disabled command does nothing even from its accelerator.
        EXPECT_FALSE(Frame().Commands().Execute(ID_EDIT_CUT));
        app.reset();
    }
}

TEST_F(FrameTest, ViewerShowsTheRowsAndCopiesTheSelection) {
    OpenSample();
    Frame().Commands().Execute(ID_VIEW_STANDARD_HEADER);
    ASSERT_NE(Frame().StandardHeaderDlg(), nullptr);
    QTreeWidget* list = Frame().StandardHeaderDlg()->List();
    const auto rows = BuildStandardHeaderRows(Doc().m_standardHeader);
    ASSERT_EQ(list->topLevelItemCount(), static_cast<int>(rows.size()));
    auto text = [&](int row, int column) { return list->topLevelItem(row)->text(column); };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(text(int(i), 0).toStdU16String(), rows[i].label);
        EXPECT_EQ(text(int(i), 1).toStdU16String(), rows[i].value);
    }
    // Nothing selected leaves the clipboard alone.
    QGuiApplication::clipboard()->setText("before");
    Frame().StandardHeaderDlg()->CopySelectedRows();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
    // Two rows, in display order whatever the order of selecting.
    list->topLevelItem(2)->setSelected(true);
    list->topLevelItem(0)->setSelected(true);
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              text(0, 0) + ", " + text(0, 1) + "\r\n" + text(2, 0) + ", " + text(2, 1) + "\r\n");
}

// Save on a file another program wrote since it was opened: Reload shows the file
// as it is now in both panes, like opening it; a failed reload keeps the edits.
TEST_F(FrameTest, ReloadInsteadOfSaveShowsTheFileAsItIsNow) {
    const std::string path = OpenSample();
    auto theirs = ExtendedHeader::MakeRoot();
    AddAt(*theirs, "RUN.OPERATOR", HeaderElement(std::string_view("script")));
    AddAt(*theirs, "Z", LongValue(1));
    WriteAll(path, SampleFile(*theirs, SampleRecord(), 256, 4));
    EditValue(Doc(), At("A"), LongValue(8));

    messages.answers = {MessageAnswer::Reload};
    EXPECT_FALSE(Frame().DoFileSave());
    EXPECT_EQ(TreeTexts(), (Texts{"Standard Header", "  Extended Header", "    RUN (List)",
                                  "      OPERATOR (ASCII)", "    Z (Long)"}));
    EXPECT_EQ(ListLabels(), (Texts{"RUN", "RUN.OPERATOR", "Z"}));
    EXPECT_FALSE(Doc().IsModified());

    // A file that no longer opens: the message, and the document as the user left it.
    EditValue(Doc(), At("Z"), LongValue(2));
    WriteAll(path, Bytes(10, 0));
    messages.answers = {MessageAnswer::Reload};
    messages.shown.clear();
    EXPECT_FALSE(Frame().DoFileSave());
    EXPECT_EQ(messages.shown, Texts{"File is too short to be an TKV file !"});
    ASSERT_NE(At("Z"), nullptr);
    EXPECT_EQ(At("Z")->value.GetLong(0), 2);
    EXPECT_TRUE(Doc().IsModified());
    EXPECT_EQ(ListValue("Z"), "2");
}

// Runs `action` while any file dialog it opens is answered with Cancel; gives
// the name the dialog proposed ("" when none opened).
template <typename Action>
QString ProposedName(Action action) {
    QString proposed;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            proposed = d->selectedFiles().value(0);
            d->reject();
        }
    });
    closer.start(10);
    action();
    return proposed;
}

TEST_F(FrameTest, AFailedOpenByAnyRouteLeavesNothingThatCanBeSavedOverTheEarlierFile) {
    ASSERT_TRUE(Start({}));
    const std::string keep = PutFile("keep.pkv", *SampleTree());
    const Bytes kept = ReadAll(keep);
    // Save As proposes the document's own name, its extension too.
    ASSERT_TRUE(Frame().OpenDocumentFile(QString::fromStdString(keep)));
    EXPECT_EQ(ProposedName([&] { Frame().Commands().Execute(ID_FILE_SAVE_AS); }).toStdString(),
              keep);
    Bytes cut;  // a block that ends inside its last value
    ItemCodec::EncodeAsciiItem(cut, "GAIN");
    ItemCodec::EncodeItem(cut, LongValue(1));
    cut.resize(cut.size() - 3);
    while (cut.size() % 4) cut.push_back(0);
    const std::map<std::string, Bytes> damaged = {
        {"short.tkv", Bytes(10, 0)},
        {"cut.tkv", MakeFileBytes(PatternBytes(10, 1), cut, SampleRecord())}};
    const std::map<std::string, std::function<void(const std::string&)>> routes = {
        {"File Open",
         [&](const std::string& p) { Frame().OpenDocumentFile(QString::fromStdString(p)); }},
        {"recent file",
         [&](const std::string& p) {
             UserSettings().setValue("Recent File List/File1", QString::fromStdString(p));
             Frame().Commands().Execute(ID_FILE_MRU_FILE1);
         }},
        {"drop", [&](const std::string& p) {
             QMimeData data;
             data.setUrls({QUrl::fromLocalFile(QString::fromStdString(p))});
             QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                                   Qt::NoModifier);
             QApplication::sendEvent(&Frame(), &enter);
             QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                             Qt::NoModifier);
             QApplication::sendEvent(&Frame(), &drop);
         }}};
    for (const auto& [route, open] : routes) {
        for (const auto& [name, bytes] : damaged) {
            SCOPED_TRACE(route + ", " + name);
            ASSERT_TRUE(Frame().OpenDocumentFile(QString::fromStdString(keep)));
            EditValue(Doc(), At("A"), LongValue(8));
            WriteAll(dir.File(name), bytes);
            messages.answers = {MessageAnswer::No};  // to "Save changes to keep.pkv?"
            messages.shown.clear();
            open(dir.File(name));
            EXPECT_EQ(messages.shown.size(), 1u) << "the reader's message";
            EXPECT_EQ(Doc().GetPathName(), "");
            EXPECT_EQ(Frame().windowTitle(), "Untitled - Header Editor");
            // Without a path: no viewer, by command or double click, and no folder edit.
            ClickTree("Standard Header");
            EXPECT_FALSE(Enabled(ID_VIEW_STANDARD_HEADER));
            EXPECT_FALSE(Enabled(ID_EDIT_ALL_SAMPLES));
            QTest::mouseDClick(Tree().viewport(), Qt::LeftButton, {},
                               Tree().ItemRect(TreeIndexOf("Standard Header")).center());
            EXPECT_EQ(Frame().StandardHeaderDlg(), nullptr);
            // Save asks for a name (cancelled here), and closing asks nothing.
            messages.asked.clear();
            const QString proposed = ProposedName([&] { EXPECT_FALSE(Frame().DoFileSave()); });
            EXPECT_TRUE(proposed.endsWith("/Untitled.tkv")) << proposed.toStdString();
            EXPECT_TRUE(Frame().SaveModified());
            EXPECT_TRUE(messages.asked.empty());
            EXPECT_EQ(ReadAll(keep), kept);
        }
    }
}

}  // namespace
