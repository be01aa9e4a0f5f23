// The main frame: command enabling by the panes' rules, the Standard Header
// viewer, the status bar, the settings kept across runs, in-place activation.
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <map>

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>

#include "GuiFixture.h"
#include "app/AboutDlg.h"
#include "app/DocFileDialog.h"
#include "app/InPlaceFrame.h"
#include "app/StandardHeaderDlg.h"
#include "app/TKVEditorSrvrItem.h"
#include "format/ItemCodec.h"
#include "format/StandardHeaderRows.h"
#include "res/Resource.h"

namespace {

namespace fs = std::filesystem;

class FrameTest : public GuiTest {
  protected:
    HeaderNode* At(const std::string& path) { return FindAt(*Doc().m_pRoot, path); }
    std::string OpenSample() {
        const std::string path = PutFile("A01.tkv", *SampleTree());
        EXPECT_TRUE(Start({path}));
        return path;
    }
};

constexpr int kEditingCommands[] = {ID_EDIT_CUT,        ID_EDIT_PASTE,    ID_INSERT_STRING,
                                    ID_INSERT_BOOLEAN,  ID_INSERT_NUMBER, ID_INSERT_LIST,
                                    ID_EDIT_ALL_SAMPLES};

TEST_F(FrameTest, TreeRulesEnableTheCommands) {
    OpenSample();
    Tree().setFocus();
    Frame().SetActiveView(&Tree());
    ClickTree("B");
    EXPECT_TRUE(Enabled(ID_INSERT_STRING));
    EXPECT_TRUE(Enabled(ID_EDIT_CUT));
    EXPECT_TRUE(Enabled(ID_EDIT_COPY));
    EXPECT_FALSE(Enabled(ID_EDIT_ENTRY)) << "a list has no value to edit";
    EXPECT_FALSE(Enabled(ID_EDIT_PASTE)) << "nothing copied yet";
    Doc().SetCopiedEntry(*At("A"));
    EXPECT_TRUE(Enabled(ID_EDIT_PASTE));
    ClickTree("A");
    EXPECT_FALSE(Enabled(ID_INSERT_NUMBER));
    EXPECT_TRUE(Enabled(ID_EDIT_ENTRY));
    EXPECT_FALSE(Enabled(ID_CANCEL_FIELD));
    At("A")->pending = true;
    EXPECT_TRUE(Enabled(ID_CANCEL_FIELD));
    ClickTree("Extended Header");
    EXPECT_FALSE(Enabled(ID_EDIT_CUT)) << "the root cannot be deleted";
    EXPECT_FALSE(Enabled(ID_EDIT_COPY));
    EXPECT_TRUE(Enabled(ID_INSERT_LIST));
    ClickTree("Standard Header");
    EXPECT_FALSE(Enabled(ID_INSERT_LIST));
    EXPECT_FALSE(Enabled(ID_EDIT_PASTE));
    EXPECT_TRUE(Enabled(ID_VIEW_STANDARD_HEADER));
    EXPECT_TRUE(Enabled(ID_EDIT_ALL_SAMPLES));
    EXPECT_FALSE(Checked(ID_EDIT_ALL_SAMPLES));
    Doc().SetFolderEditMode(true);
    EXPECT_TRUE(Checked(ID_EDIT_ALL_SAMPLES));
}

TEST_F(FrameTest, ToolBarFollowsTheSelectionAndTheHintsAtOnce) {
    OpenSample();
    auto button = [&](int id) {
        return Frame().ToolBar()->widgetForAction(Frame().Commands().Action(id));
    };
    ClickTree("B");
    EXPECT_TRUE(button(ID_INSERT_STRING)->isEnabled());
    EXPECT_TRUE(button(ID_EDIT_CUT)->isEnabled());
    ClickTree("A");  // a leaf, in the same pane: no change of focus
    EXPECT_FALSE(button(ID_INSERT_STRING)->isEnabled());
    EXPECT_TRUE(button(ID_EDIT_CUT)->isEnabled());
    ClickTree("Extended Header");
    EXPECT_TRUE(button(ID_INSERT_STRING)->isEnabled());
    EXPECT_FALSE(button(ID_EDIT_CUT)->isEnabled()) << "the root cannot be deleted";
    // A hint alone: the folder-edit mode's button shows its new state as soon as
    // the event loop turns, well before the clock's tick.
    EXPECT_FALSE(Frame().Commands().Action(ID_EDIT_ALL_SAMPLES)->isChecked());
    Doc().SetFolderEditMode(true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Frame().Commands().Action(ID_EDIT_ALL_SAMPLES)->isChecked());
}

TEST_F(FrameTest, ListRulesApplyWhenTheListIsTheActivePane) {
    OpenSample();
    ClickList("A");
    ASSERT_EQ(Frame().ActiveView(), &List());
    EXPECT_TRUE(Enabled(ID_EDIT_ENTRY));
    EXPECT_FALSE(Enabled(ID_INSERT_STRING));
    ClickList("B");
    EXPECT_TRUE(Enabled(ID_INSERT_STRING));
    EXPECT_FALSE(Enabled(ID_EDIT_ENTRY));
    List().clearSelection();
    EXPECT_TRUE(Enabled(ID_EDIT_CUT)) << "Delete needs no selected row in the list";
    EXPECT_TRUE(Enabled(ID_EDIT_COPY));
    EXPECT_FALSE(Enabled(ID_EDIT_ENTRY));
}

TEST_F(FrameTest, AReadOnlyFileDisablesEveryChangeButLeavesCopyAndEdit) {
    const std::string path = PutFile("ro.tkv", *SampleTree());
    ::chmod(path.c_str(), 0444);
    ASSERT_TRUE(Start({path}));
    EXPECT_NE(Doc().GetTitle().find("[read-only]"), std::string::npos);
    Doc().SetCopiedEntry(*At("A"));
    for (QWidget* pane : {static_cast<QWidget*>(&Tree()), static_cast<QWidget*>(&List())}) {
        Frame().SetActiveView(pane);
        pane == &Tree() ? ClickTree("B") : ClickList("B");
        for (int id : kEditingCommands) EXPECT_FALSE(Enabled(id)) << id;
        EXPECT_TRUE(Enabled(ID_EDIT_COPY));
        EXPECT_TRUE(Enabled(ID_VIEW_STANDARD_HEADER));
    }
    ClickTree("A");
    EXPECT_TRUE(Enabled(ID_EDIT_ENTRY)) << "the dialogs open read-only";
    // A disabled command does nothing even from its accelerator.
    EXPECT_FALSE(Frame().Commands().Execute(ID_EDIT_CUT));
}

TEST_F(FrameTest, EditingForbiddenByTheInstrumentDisablesChanges) {
    const auto sys = dir.Path() / "system";
    std::filesystem::create_directories(sys);
    std::ofstream((sys / "Tessarin.ini").string()) << "ALLOW EDIT NO";
    SystemSettings().setValue("DataSystemPath", QString::fromStdString(sys.string()));
    OpenSample();
    ClickTree("B");
    for (int id : kEditingCommands) EXPECT_FALSE(Enabled(id)) << id;
}

TEST_F(FrameTest, ADocumentWithoutAPathHasNoViewerAndNoFolderEdit) {
    ASSERT_TRUE(Start({}));
    EXPECT_EQ(Doc().GetPathName(), "");
    EXPECT_EQ(Frame().windowTitle().toStdString(), "Untitled - Header Editor");
    ClickTree("Extended Header");
    EXPECT_FALSE(Enabled(ID_VIEW_STANDARD_HEADER));
    EXPECT_FALSE(Enabled(ID_EDIT_ALL_SAMPLES));
    EXPECT_TRUE(Enabled(ID_INSERT_STRING));
    // A double click on "Standard Header" opens nothing.
    const QModelIndex sh = TreeIndexOf("Standard Header");
    QTest::mouseClick(Tree().viewport(), Qt::LeftButton, {}, Tree().ItemRect(sh).center());
    QTest::mouseDClick(Tree().viewport(), Qt::LeftButton, {}, Tree().ItemRect(sh).center());
    EXPECT_EQ(Frame().StandardHeaderDlg(), nullptr);
}

TEST_F(FrameTest, StatusBarShowsTheModeWithItsFolderAndAClock) {
    const std::string path = OpenSample();
    EXPECT_EQ(Frame().ModePane()->text(), "Normal");
    EXPECT_EQ(Frame().PromptText(), "Ready");
    const int narrow = Frame().ModePane()->maximumWidth();
    Doc().SetFolderEditMode(true);
    const std::string folder = std::filesystem::path(path).parent_path().string();
    EXPECT_EQ(Frame().ModePane()->text().toStdString(), "Edit All Samples in Folder: " + folder);
    EXPECT_EQ(Frame().ModePane()->toolTip().toStdString(), folder);
    EXPECT_GT(Frame().ModePane()->maximumWidth(), narrow) << "the pane grows with the folder";
    Doc().SetFolderEditMode(false);
    EXPECT_EQ(Frame().ModePane()->text(), "Normal");
    EXPECT_TRUE(Frame().ModePane()->toolTip().isEmpty());
    const QString now = QTime::currentTime().toString("HH:mm");
    Frame().OnUpdateClock();
    const QString shown = Frame().ClockPane()->text();
    EXPECT_TRUE(shown == now || shown == QTime::currentTime().toString("HH:mm"))
        << shown.toStdString();
}

TEST_F(FrameTest, ViewerShowsTheRowsAndCopiesTheSelection) {
    OpenSample();
    Frame().Commands().Execute(ID_VIEW_STANDARD_HEADER);
    CStandardHeaderDlg* viewer = Frame().StandardHeaderDlg();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->windowTitle(), "Standard Header");
    const auto rows = BuildStandardHeaderRows(Doc().m_standardHeader);
    QTreeWidget* list = viewer->List();
    ASSERT_EQ(list->topLevelItemCount(), static_cast<int>(rows.size()));
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        EXPECT_EQ(list->topLevelItem(i)->text(0).toStdU16String(),
                  rows[static_cast<std::size_t>(i)].label);
        EXPECT_EQ(list->topLevelItem(i)->text(1).toStdU16String(),
                  rows[static_cast<std::size_t>(i)].value);
    }
    EXPECT_EQ(list->headerItem()->text(0), "Variable");
    // Nothing selected leaves the clipboard alone.
    QGuiApplication::clipboard()->setText("before");
    viewer->CopySelectedRows();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
    // Two rows, in display order whatever the order of selecting.
    list->topLevelItem(2)->setSelected(true);
    list->topLevelItem(0)->setSelected(true);
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    const QString expected =
        list->topLevelItem(0)->text(0) + ", " + list->topLevelItem(0)->text(1) + "\r\n" +
        list->topLevelItem(2)->text(0) + ", " + list->topLevelItem(2)->text(1) + "\r\n";
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
    // The focus starts on Close, which is the default button.
    EXPECT_TRUE(viewer->CloseButton()->isDefault());
}

// The record's 8-bit text is shown and copied as the instrument's Windows-1252.
TEST_F(FrameTest, ViewerShowsAndCopiesEightBitTextInTheInstrumentsCodePage) {
    OpenSample();
    StandardHeader::SetText(Doc().m_standardHeader.operatorName, "J\x92Marsh \x96 \x80");
    Frame().Commands().Execute(ID_VIEW_STANDARD_HEADER);
    QTreeWidget* list = Frame().StandardHeaderDlg()->List();
    const auto found = list->findItems("Operator", Qt::MatchExactly, 0);
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0]->text(1), QString::fromUtf8("J\u2019Marsh \u2013 \u20ac"));
    found[0]->setSelected(true);
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QString::fromUtf8("Operator, J\u2019Marsh \u2013 \u20ac\r\n"));
}

TEST_F(FrameTest, ViewerClosingHidingAndLifetime) {
    OpenSample();
    Frame().ShowStandardHeader(true);
    CStandardHeaderDlg* first = Frame().StandardHeaderDlg();
    Frame().ShowStandardHeader(true);
    EXPECT_EQ(Frame().StandardHeaderDlg(), first) << "one viewer";
    // Esc only hides; showing again brings the same window back.
    QTest::keyClick(first, Qt::Key_Escape);
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(Frame().StandardHeaderDlg(), first);
    Frame().ShowStandardHeader(true);
    EXPECT_TRUE(first->isVisible());
    // Close destroys it and clears the frame's pointer.
    QPointer<CStandardHeaderDlg> watched(first);
    first->CloseButton()->click();
    EXPECT_EQ(Frame().StandardHeaderDlg(), nullptr);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watched.isNull());
    // Opening another document closes a viewer.
    Frame().ShowStandardHeader(true);
    ASSERT_NE(Frame().StandardHeaderDlg(), nullptr);
    ASSERT_TRUE(
        Frame().OpenDocumentFile(QString::fromStdString(PutFile("B02.tkv", *SampleTree()))));
    EXPECT_EQ(Frame().StandardHeaderDlg(), nullptr);
    Frame().ShowStandardHeader(true);
    ASSERT_TRUE(Frame().NewDocument());
    EXPECT_EQ(Frame().StandardHeaderDlg(), nullptr);
}

TEST_F(FrameTest, PlacementAndSplitterWidthAreKeptAcrossRuns) {
    const std::string path = OpenSample();
    Frame().setGeometry(120, 80, 700, 500);
    Frame().Splitter()->setSizes({260, 440});
    Frame().show();
    QApplication::processEvents();
    // The edges kept are those of the window with its frame.
    const QRect placed = Frame().frameGeometry();
    ASSERT_NE(placed, Frame().geometry()) << "the window has a frame here";
    const int split = Frame().Splitter()->sizes().front();
    ASSERT_TRUE(Frame().close());
    QSettings s = UserSettings();
    EXPECT_EQ(s.value("Settings/Window/Left").toInt(), placed.left());
    EXPECT_EQ(s.value("Settings/Window/Top").toInt(), placed.top());
    EXPECT_EQ(s.value("Settings/Window/Right").toInt(), placed.left() + placed.width());
    EXPECT_EQ(s.value("Settings/Window/Bottom").toInt(), placed.top() + placed.height());
    EXPECT_EQ(s.value("Settings/Window/SplitWidth").toInt(), split);
    app.reset();
    ASSERT_TRUE(Start({path}));
    QApplication::processEvents();
    EXPECT_EQ(Frame().frameGeometry(), placed);
    EXPECT_EQ(Frame().Splitter()->sizes().front(), split);
}

TEST_F(FrameTest, PlacementThatTouchesTheScreenEdgeIsIgnoredAndSplitZeroIs200) {
    QSettings s = UserSettings();
    s.setValue("Settings/Window/Left", 0);
    s.setValue("Settings/Window/Top", 50);
    s.setValue("Settings/Window/Right", 500);
    s.setValue("Settings/Window/Bottom", 400);
    s.setValue("Settings/Window/SplitWidth", 0);
    s.sync();
    ASSERT_TRUE(Start({}));
    EXPECT_EQ(Frame().Splitter()->sizes().front(), CMainFrame::kDefaultSplitWidth);
    EXPECT_NE(Frame().geometry().size(), QSize(500, 350));
}

TEST_F(FrameTest, CancellingTheCloseOfAModifiedDocumentKeepsTheWindowButNotTheOldPlacement) {
    OpenSample();
    Frame().setGeometry(140, 90, 640, 480);
    Doc().SetModified(true);
    messages.answers = {MessageAnswer::Cancel};
    EXPECT_FALSE(Frame().close());
    EXPECT_EQ(messages.asked.back(), "Save changes to A01.tkv?");
    EXPECT_EQ(UserSettings().value("Settings/Window/Left").toInt(), Frame().frameGeometry().left());
    messages.answers = {MessageAnswer::No};
    EXPECT_TRUE(Frame().close());
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
    EXPECT_EQ(TreeTexts(),
              (std::vector<std::string>{"Standard Header", "  Extended Header", "    RUN (List)",
                                        "      OPERATOR (ASCII)", "    Z (Long)"}));
    EXPECT_EQ(ListLabels(), (std::vector<std::string>{"RUN", "RUN.OPERATOR", "Z"}));
    EXPECT_FALSE(Doc().IsModified());

    // A file that no longer opens: the message, and the document as the user left it.
    EditValue(Doc(), At("Z"), LongValue(2));
    WriteAll(path, Bytes(10, 0));
    messages.answers = {MessageAnswer::Reload};
    messages.shown.clear();
    EXPECT_FALSE(Frame().DoFileSave());
    EXPECT_EQ(messages.shown, std::vector<std::string>{"File is too short to be an TKV file !"});
    ASSERT_NE(At("Z"), nullptr);
    EXPECT_EQ(At("Z")->value.GetLong(0), 2);
    EXPECT_TRUE(Doc().IsModified());
    EXPECT_EQ(ListValue("Z"), "2");
}

TEST_F(FrameTest, TheRecentFileListKeepsFour) {
    ASSERT_TRUE(Start({}));
    EXPECT_EQ(Frame().Commands().Action(ID_FILE_MRU_FILE1)->text(), "Recent File");
    EXPECT_FALSE(Enabled(ID_FILE_MRU_FILE1)) << "an empty list shows a greyed placeholder";
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(Frame().OpenDocumentFile(
            QString::fromStdString(PutFile("S" + std::to_string(i) + ".tkv", *SampleTree()))));
    const QStringList files = Frame().RecentFiles();
    ASSERT_EQ(files.size(), 4);
    EXPECT_TRUE(files.front().endsWith("S5.tkv"));
    EXPECT_TRUE(files.back().endsWith("S2.tkv"));
    // The File menu offers them.
    EXPECT_TRUE(Frame().Commands().Action(ID_FILE_MRU_FILE1)->text().endsWith("S5.tkv"));
    Frame().Commands().Execute(ID_FILE_MRU_FILE1 + 3);
    EXPECT_EQ(Doc().GetTitle(), "S2.tkv");
    // A file that no longer opens leaves the list.
    fs::remove(files.at(1).toStdString());
    Frame().Commands().Execute(ID_FILE_MRU_FILE1 + 2);
    EXPECT_EQ(Frame().RecentFiles().size(), 3);
    EXPECT_FALSE(Frame().RecentFiles().contains(files.at(1)));
}

TEST_F(FrameTest, RecentFilesShowAbbreviatedPaths) {
    const QString here = QDir::currentPath();
    EXPECT_EQ(CMainFrame::AbbreviateName(here + "/A01.tkv"), "A01.tkv") << "the current folder";
    const QString other = here == "/srv" ? "/tmp" : "/srv";
    EXPECT_EQ(CMainFrame::AbbreviateName(other + "/p1/A01.tkv"), other + "/p1/A01.tkv");
    EXPECT_EQ(CMainFrame::AbbreviateName("/home/lab/runs/2026/plate_0042/A01.tkv"),
              "/.../2026/plate_0042/A01.tkv");
    EXPECT_EQ(CMainFrame::AbbreviateName("C:\\Data\\Instrument\\Runs\\Plate7\\A01.tkv"),
              "C:\\...\\Runs\\Plate7\\A01.tkv");
    EXPECT_EQ(CMainFrame::AbbreviateName("\\\\lab\\share\\runs\\2026\\p\\A01.tkv", 25),
              "\\\\lab\\share\\...\\p\\A01.tkv");
    const QString longName = "/d/" + QString(40, 'x') + ".tkv";
    EXPECT_EQ(CMainFrame::AbbreviateName(longName), QString(40, 'x') + ".tkv");
    // Four A01.tkv of four plates are told apart in the menu.
    ASSERT_TRUE(Start({}));
    for (const char* plate : {"PlateA", "PlateB", "PlateC", "PlateD"}) {
        fs::create_directories(dir.Path() / plate);
        ASSERT_TRUE(Frame().OpenDocumentFile(
            QString::fromStdString(PutFile(std::string(plate) + "/A01.tkv", *SampleTree()))));
    }
    QStringList texts;
    for (int i = 0; i < 4; ++i) texts << Frame().Commands().Action(ID_FILE_MRU_FILE1 + i)->text();
    texts.removeDuplicates();
    EXPECT_EQ(texts.size(), 4) << texts.join(" | ").toStdString();
    EXPECT_TRUE(texts.front().endsWith("PlateD/A01.tkv")) << texts.front().toStdString();
}

TEST_F(FrameTest, InPlaceActivationMovesBothViewsIntoItsFrameAndBack) {
    OpenSample();
    QSplitter* splitter = Frame().Splitter();
    CInPlaceFrame* inPlace = Frame().CreateInPlaceFrame();
    ASSERT_NE(inPlace, nullptr);
    EXPECT_EQ(splitter->parentWidget(), inPlace);
    EXPECT_EQ(MainFrameInterface::Current(), nullptr) << "viewer and status requests are skipped";
    std::vector<int> buttons;
    for (QAction* a : inPlace->ToolBar()->actions())
        buttons.push_back(a->isSeparator() ? 0 : a->data().toInt());
    EXPECT_EQ(buttons.at(2), ID_FILE_SAVE_AS);
    EXPECT_NE(inPlace->ResizeBar(), nullptr);
    std::vector<std::string> titles;
    for (QAction* a : inPlace->MenuBar()->actions())
        titles.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    EXPECT_EQ(titles, (std::vector<std::string>{"&Edit", "&Insert", "&View", "-", "-", "&Help"}));
    // The views still follow the document, and skip the frame's requests.
    Doc().SetFolderEditMode(true);
    EXPECT_EQ(Frame().ModePane()->text(), "Normal");
    Doc().NotifyShowEntry(nullptr, At("D"));
    EXPECT_EQ(ListSelection(), At("D"));
    Frame().DestroyInPlaceFrame();
    EXPECT_EQ(splitter->parentWidget(), &Frame());
    EXPECT_EQ(Frame().centralWidget(), splitter);
    EXPECT_EQ(MainFrameInterface::Current(), &Frame());
}

TEST_F(FrameTest, AFileDroppedOnTheWindowIsOpened) {
    ASSERT_TRUE(Start({}));
    const std::string path = PutFile("dropped.tkv", *SampleTree());
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Frame(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Frame(), &drop);
    EXPECT_EQ(Doc().GetPathName(), path);
    EXPECT_EQ(ListLabels().size(), 5u);
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
    const std::string keep = PutFile("keep.tkv", *SampleTree());
    const Bytes kept = ReadAll(keep);
    StandardHeader version1 = SampleRecord();
    version1.version = 1.0f;
    Bytes cut;  // a block that ends inside its last value
    ItemCodec::EncodeAsciiItem(cut, "GAIN");
    ItemCodec::EncodeItem(cut, LongValue(1));
    cut.resize(cut.size() - 3);
    while (cut.size() % 4) cut.push_back(0);
    const std::map<std::string, Bytes> damaged = {
        {"short.tkv", Bytes(10, 0)},
        {"version1.tkv", MakeFileBytes(PatternBytes(10, 1), {}, version1)},
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
            messages.answers = {MessageAnswer::No};  // to "Save changes to keep.tkv?"
            messages.shown.clear();
            open(dir.File(name));
            EXPECT_EQ(messages.shown.size(), 1u) << "the reader's message";
            EXPECT_EQ(Doc().GetPathName(), "");
            EXPECT_EQ(Frame().windowTitle(), "Untitled - Header Editor");
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

TEST_F(FrameTest, SaveAsProposesTheDocumentsOwnName) {
    ASSERT_TRUE(Start({}));
    for (const char* name : {"a.tkv", "b.pkv"}) {
        const std::string path = PutFile(name, *SampleTree());
        ASSERT_TRUE(Frame().OpenDocumentFile(QString::fromStdString(path)));
        EXPECT_EQ(ProposedName([&] { Frame().Commands().Execute(ID_FILE_SAVE_AS); }).toStdString(),
                  path);
    }
}

}  // namespace
