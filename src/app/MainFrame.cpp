#include "app/MainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/DocFileDialog.h"
#include "app/HelpWindow.h"
#include "app/InPlaceFrame.h"
#include "app/StandardHeaderDlg.h"
#include "app/TKVEditorApp.h"
#include "document/TKVEditorDoc.h"
#include "model/HeaderNode.h"
#include "platform/TextCodec.h"
#include "platform/UserMessages.h"
#include "res/Resource.h"
#include "views/FolderProgress.h"
#include "views/PlateSheetWindow.h"
#include "views/RightView.h"
#include "views/TKVEditorView.h"

namespace {
QString Utf8(const std::string& s) {
    return QString::fromStdString(s);
}

struct CommandText {
    int id;
    const char* text;
    const char* prompt;
    QList<QKeySequence> keys;
};
}  // namespace

CMainFrame::CMainFrame(CTKVEditorApp& app, CTKVEditorDoc& doc)
    : QMainWindow(nullptr), m_app(app), m_doc(doc), m_commands(this) {
    setObjectName("CMainFrame");
    m_commands.SetRoute([this] { return Route(); });
    CreateCommands();
    // A command may change the document: the title ("*", " [read-only]") follows.
    connect(&m_commands, &CommandSet::Executed, this, [this] { UpdateTitle(); });
    m_doc.m_folderProgress = [this](std::size_t done, std::size_t total) {
        ShowFolderProgress(done, total);
    };
    m_doc.m_onFolderApplied = [this](const FolderEdit::Report& report) {
        m_pProgress.reset();
        ShowSummary(ShortFolderSummary(report), FolderSummary(report));
    };
    m_doc.m_onFolderUndone = [this](const FolderUndo::Report& report) {
        using O = FolderUndo::Outcome;
        m_pProgress.reset();
        statusBar()->showMessage(
            QStringLiteral("Undo of the folder save: %1 restored, %2 unchanged, %3 left alone, "
                           "%4 missing, %5 failed")
                .arg(report.Count(O::Restored))
                .arg(report.Count(O::AsBefore))
                .arg(report.Count(O::ChangedSince))
                .arg(report.Count(O::Missing))
                .arg(report.Count(O::Failed)));
    };
}

void CMainFrame::UpdateFilterPane() {
    if (!m_pFilterPane || !m_pListView) return;
    const EntryListModel& rows = m_pListView->Model();
    m_pFilterPane->setVisible(rows.Filtered());
    if (!rows.Filtered()) return;
    m_pFilterPane->setText(
        QStringLiteral("%1 of %2 entries").arg(rows.rowCount()).arg(rows.TotalRows()));
}

CPlateSheetWindow* CMainFrame::PlateSheet() const {
    return m_pPlateSheet;
}

void CMainFrame::ShowPlateSheet() {
    if (!m_pPlateSheet) {
        m_pPlateSheet = new CPlateSheetWindow(
            m_doc,
            [this]() -> std::string {
                if (!m_pTreeView) return {};
                const HeaderNode* entry =
                    m_pTreeView->GetEntryOfItem(m_pTreeView->GetSelectedItem());
                return entry ? TextCodec::AnsiToUtf8(HeaderTree::PathOf(*entry)) : std::string();
            },
            this);
        m_pPlateSheet->setAttribute(Qt::WA_DeleteOnClose);
        // Beside the main window, where the screen has room.
        m_pPlateSheet->move(frameGeometry().topRight() + QPoint(8, 0));
    } else {
        m_pPlateSheet->Refresh();
    }
    m_pPlateSheet->show();
    m_pPlateSheet->raise();
}

QString CMainFrame::FolderSummary(const FolderEdit::Report& report) {
    using O = FolderEdit::Outcome;
    QString text =
        QStringLiteral(
            "All samples in folder: %1 updated, %2 unchanged, %3 skipped as read-only, %4 failed")
            .arg(report.Count(O::Updated))
            .arg(report.Count(O::Unchanged))
            .arg(report.Count(O::SkippedReadOnly))
            .arg(report.Count(O::Failed));
    if (!report.listingError.empty())
        text += QStringLiteral("; the folder could not be read in full");
    return text;
}

QString CMainFrame::ShortFolderSummary(const FolderEdit::Report& report) {
    using O = FolderEdit::Outcome;
    QString text = QStringLiteral("Folder saved: %1 updated").arg(report.Count(O::Updated));
    const std::pair<O, const char*> others[] = {
        {O::Unchanged, "unchanged"}, {O::SkippedReadOnly, "read-only"}, {O::Failed, "failed"}};
    for (const auto& [outcome, word] : others)
        if (const std::size_t n = report.Count(outcome))
            text += QStringLiteral(", %1 %2").arg(n).arg(QString::fromLatin1(word));
    if (!report.listingError.empty()) text += QStringLiteral(", folder not read in full");
    return text;
}

void CMainFrame::ShowSummary(const QString& text, const QString& whole) {
    statusBar()->showMessage(text);
    statusBar()->setToolTip(whole);
}

void CMainFrame::ShowFolderProgress(std::size_t done, std::size_t total) {
    if (total > kProgressAbove) ::ShowFolderProgress(m_pProgress, this, done, total);
}

CMainFrame::~CMainFrame() {
    m_doc.m_folderProgress = nullptr;
    m_doc.m_onFolderApplied = nullptr;
    m_doc.m_onFolderUndone = nullptr;
    m_doc.SetAfterUpdate(nullptr);
    delete m_pPlateSheet;
    delete m_pStandardHeaderDlg;
    delete m_pInPlaceFrame;
    if (MainFrameInterface::Current() == this) MainFrameInterface::SetCurrent(nullptr);
    // The views go with the splitter; they leave the document first.
    if (m_pTreeView) m_doc.RemoveView(m_pTreeView);
    if (m_pListView) m_doc.RemoveView(m_pListView);
}

std::unique_ptr<QSettings> CMainFrame::UserSettings() {
    return std::make_unique<QSettings>(QSettings::UserScope, QStringLiteral("Corvandel"),
                                       QString::fromLatin1(IDS_APP_TITLE));
}

void CMainFrame::CreateCommands() {
    const QString cancelFieldPrompt = QStringLiteral(
        "Cancel \"Edit All Samples in Folder\" for selected field\nCancel Field for All Samples");
    const CommandText table[] = {
        {ID_FILE_NEW, "&New", "Create a new document\nNew", {QKeySequence(Qt::CTRL | Qt::Key_N)}},
        {ID_FILE_OPEN,
         "&Open...",
         "Open an existing document\nOpen",
         {QKeySequence(Qt::CTRL | Qt::Key_O)}},
        {ID_FILE_SAVE,
         "&Save",
         "Save the active document\nSave",
         {QKeySequence(Qt::CTRL | Qt::Key_S)}},
        {ID_FILE_SAVE_AS, "Save &As...", "Save the active document with a new name\nSave As", {}},
        {ID_APP_EXIT, "E&xit", "Quit the application; prompts to save documents\nExit", {}},
        {ID_EDIT_CUT,
         "Dele&te",
         "Delete entry\nDelete",
         {QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete)}},
        {ID_EDIT_COPY,
         "&Copy",
         "Copy entry\nCopy",
         {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)}},
        {ID_EDIT_PASTE,
         "&Paste",
         "Paste entry\nPaste",
         {QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)}},
        {ID_EDIT_ALL_SAMPLES,
         "&All Samples in Folder",
         "Edit All Samples in Folder\nEdit All Samples in Folder",
         {}},
        {ID_CANCEL_FIELD, "&Cancel Field", nullptr, {}},
        {ID_INSERT_STRING, "&String", "Insert ASCII or Unicode string\nInsert String", {}},
        {ID_INSERT_BOOLEAN, "&Boolean", "Insert Boolean\nInsert Boolean", {}},
        {ID_INSERT_NUMBER,
         "&Number",
         "Insert byte, short, long, float, or double\nInsert Number",
         {}},
        {ID_INSERT_LIST, "&List", "Insert List\nInsert List", {}},
        {ID_EDIT_ENTRY, "&Edit", "Edit this entry\nEdit", {}},
        {ID_VIEW_TOOLBAR, "&Toolbar", "Show or hide the toolbar\nToggle ToolBar", {}},
        {ID_VIEW_STANDARD_HEADER, "&Standard Header", "View Header\nView Standard Header", {}},
        {ID_VIEW_PLATE_SHEET,
         "&Plate Sheet",
         "Show and change one value per file across this folder\nPlate Sheet",
         {}},
        {ID_EDIT_UNDO_FOLDER_SAVE,
         "&Undo Last Folder Save",
         "Put the files of this folder back as they were before the last folder-wide save\n"
         "Undo Last Folder Save",
         {}},
        {ID_HELP_TOPICS,
         "&Help Topics ...",
         "Help Topics\nShow Help Topics",
         {QKeySequence(Qt::Key_F1)}},
        {ID_APP_ABOUT,
         "&About ...",
         "Display Header Editor  version number and copyright\nAbout",
         {}},
        {ID_NEXT_PANE,
         "Next Pane",
         "Switch to the next window pane\nNext Pane",
         {QKeySequence(Qt::Key_F6)}},
        {ID_PREV_PANE,
         "Previous Pane",
         "Switch back to the previous window pane\nPrevious Pane",
         {QKeySequence(Qt::SHIFT | Qt::Key_F6)}},
        {ID_POPUP_CANCEL, "&Cancel", nullptr, {}},
    };
    for (const auto& c : table) {
        QAction* a =
            m_commands.Add(c.id, QString::fromLatin1(c.text),
                           c.id == ID_CANCEL_FIELD ? cancelFieldPrompt
                                                   : QString::fromLatin1(c.prompt ? c.prompt : ""),
                           c.keys);
        const QString icon = QStringLiteral(":/res/toolbar_%1.png").arg(c.id);
        if (QFile::exists(icon)) a->setIcon(QIcon(icon));
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);  // accelerators work whether or not a menu shows the command
    }
    for (int i = 0; i < kRecentFiles; ++i) {
        QAction* a =
            m_commands.Add(ID_FILE_MRU_FILE1 + i, QString(), QStringLiteral("Open this document"));
        a->setVisible(false);
        m_recentActions.push_back(a);
    }
}

void CMainFrame::CreateMenus() {
    QMenuBar* bar = menuBar();
    m_pFileMenu = bar->addMenu(QStringLiteral("&File"));
    m_commands.Fill(m_pFileMenu, kFileMenu);
    m_pRecentAnchor = m_pFileMenu->addSeparator();
    for (QAction* a : m_recentActions) m_pFileMenu->insertAction(m_pRecentAnchor, a);
    m_pFileMenu->addAction(m_commands.Action(ID_APP_EXIT));
    m_commands.Fill(bar->addMenu(QStringLiteral("&Edit")), kEditMenu);
    m_commands.Fill(bar->addMenu(QStringLiteral("&Insert")), kInsertMenu);
    m_commands.Fill(bar->addMenu(QStringLiteral("&View")), kViewMenu);
    m_commands.Fill(bar->addMenu(QStringLiteral("&Help")), kHelpMenu);
    m_commands.Action(ID_VIEW_TOOLBAR)->setCheckable(true);
    RebuildRecentFileMenu();
}

QMenu* CMainFrame::MenuNamed(const QString& title) const {
    for (QAction* a : menuBar()->actions())
        if (a->menu() && a->text() == title) return a->menu();
    return nullptr;
}

bool CMainFrame::PreCreateWindow() {
    auto settings = UserSettings();
    settings->beginGroup(QStringLiteral("Settings/Window"));
    const int top = settings->value("Top", -1).toInt();
    const int left = settings->value("Left", -1).toInt();
    const int bottom = settings->value("Bottom", -1).toInt();
    const int right = settings->value("Right", -1).toInt();
    // The edges are the window's rectangle with its frame, in screen
    // coordinates. The frame's size is known once the window is shown: until
    // then the rectangle is taken for the inside, and the first show puts the
    // frame on it.
    if (top > 0 && left > 0 && bottom > 0 && right > 0) {
        m_rectPlacement = QRect(left, top, right - left, bottom - top);
        ApplyPlacement();
    } else {
        resize(900, 600);
    }
    return true;
}

void CMainFrame::ApplyPlacement() {
    // A window's position is that of its frame; its size, that of its inside.
    const QSize frame = frameGeometry().size() - size();
    move(m_rectPlacement.topLeft());
    resize(m_rectPlacement.size() - frame);
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The frame's size is known once the window is on the screen.
    if (m_rectPlacement.isValid())
        QTimer::singleShot(0, this, [this] {
            ApplyPlacement();
            m_rectPlacement = QRect();
        });
}

int CMainFrame::OnCreate() {
    CreateMenus();
    m_wndToolBar = new QToolBar(QStringLiteral("Standard"), this);
    m_wndToolBar->setObjectName("IDR_MAINFRAME");
    m_wndToolBar->setIconSize(QSize(16, 16));
    m_wndToolBar->setMovable(true);
    m_wndToolBar->setFloatable(true);
    m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_commands.Fill(m_wndToolBar, kMainToolBar);
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
    setDockOptions(dockOptions() | QMainWindow::AnimatedDocks);

    QStatusBar* bar = statusBar();
    m_pModePane = new QLabel(this);
    m_pModePane->setObjectName("ID_INDICATOR_MODE");
    m_pModePane->setFrameShape(QFrame::Panel);
    m_pModePane->setFrameShadow(QFrame::Sunken);
    m_pClockPane = new QLabel(this);
    m_pClockPane->setObjectName("ID_INDICATOR_CLOCK");
    m_pClockPane->setFrameShape(QFrame::Panel);
    m_pClockPane->setFrameShadow(QFrame::Sunken);
    m_pClockPane->setAlignment(Qt::AlignCenter);
    bar->addPermanentWidget(m_pModePane);
    bar->addPermanentWidget(m_pClockPane);
    // The prompt pane says "Ready" whenever no prompt is shown.
    connect(bar, &QStatusBar::messageChanged, this, [bar](const QString& text) {
        bar->setToolTip(QString());  // a summary's tip goes with the summary
        if (text.isEmpty()) bar->showMessage(QString::fromLatin1(IDS_IDLE_MESSAGE));
    });
    bar->showMessage(QString::fromLatin1(IDS_IDLE_MESSAGE));
    m_pModePane->setText(QString::fromLatin1(IDS_MODE_FOLDER));
    m_pModePane->setMinimumWidth(m_pModePane->fontMetrics().horizontalAdvance(m_pModePane->text()) +
                                 8);
    SetFolderEditIndicator(false);
    OnUpdateClock();
    m_nClockTimer = startTimer(1000);  // ID_CLOCK_TIMER: keeps the clock fresh
    setAcceptDrops(true);
    MainFrameInterface::SetCurrent(this);
    return 0;
}

bool CMainFrame::OnCreateClient() {
    auto settings = UserSettings();
    int splitWidth = settings->value("Settings/Window/SplitWidth", -1).toInt();
    if (splitWidth <= 0) splitWidth = kDefaultSplitWidth;
    m_wndSplitter = new QSplitter(Qt::Horizontal, this);
    m_wndSplitter->setObjectName("m_wndSplitter");
    m_wndSplitter->setChildrenCollapsible(false);
    m_pTreeView = new CTKVEditorView(m_commands, m_wndSplitter);
    // The list pane with its filter box above it.
    auto* listPane = new QWidget(m_wndSplitter);
    auto* listLayout = new QVBoxLayout(listPane);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(2);
    m_pFilterEdit = new QLineEdit(listPane);
    m_pFilterEdit->setObjectName("FilterEdit");
    m_pFilterEdit->setPlaceholderText(QStringLiteral("Filter by path or value (Ctrl+F)"));
    m_pFilterEdit->setClearButtonEnabled(true);
    listLayout->addWidget(m_pFilterEdit);
    m_pListView = new CRightView(m_commands, listPane);
    listLayout->addWidget(m_pListView, 1);
    m_wndSplitter->addWidget(m_pTreeView);
    m_wndSplitter->addWidget(listPane);
    m_pFilterPane = new QLabel(this);
    m_pFilterPane->setObjectName("ID_INDICATOR_FILTER");
    m_pFilterPane->setFrameShape(QFrame::Panel);
    m_pFilterPane->setFrameShadow(QFrame::Sunken);
    m_pFilterPane->hide();
    statusBar()->insertPermanentWidget(0, m_pFilterPane);
    connect(m_pFilterEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_pListView->Model().SetFilter(text);
        UpdateFilterPane();
    });
    // Esc in the box clears it; Ctrl+F anywhere in the window goes to it.
    auto* clear = new QShortcut(QKeySequence(Qt::Key_Escape), m_pFilterEdit, nullptr, nullptr,
                                Qt::WidgetShortcut);
    connect(clear, &QShortcut::activated, m_pFilterEdit, &QLineEdit::clear);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        m_pFilterEdit->setFocus(Qt::ShortcutFocusReason);
        m_pFilterEdit->selectAll();
    });
    // Hints change the rows shown: the count follows.
    EntryListModel& rows = m_pListView->Model();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&rows, signal, this, [this] { UpdateFilterPane(); });
    connect(&rows, &QAbstractItemModel::modelReset, this, [this] { UpdateFilterPane(); });
    m_wndSplitter->setStretchFactor(0, 0);
    m_wndSplitter->setStretchFactor(1, 1);
    const int total = std::max(width(), splitWidth + 100);
    m_wndSplitter->setSizes({splitWidth, total - splitWidth});
    setCentralWidget(m_wndSplitter);
    // The tree view first: it hears every hint before the list view.
    m_doc.AddView(m_pTreeView);
    m_doc.AddView(m_pListView);
    connect(m_pTreeView, &CTKVEditorView::Activated, this,
            [this](QWidget* v) { SetActiveView(v); });
    connect(m_pListView, &CRightView::Activated, this, [this](QWidget* v) { SetActiveView(v); });
    // The commands follow the selection at once, on every change of either
    // pane's selection.
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_pTreeView),
                                    static_cast<QAbstractItemView*>(m_pListView)}) {
        connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this] { m_commands.UpdateAll(); });
        connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this] { m_commands.UpdateAll(); });
    }
    // After the views' updates the states follow as soon as the event loop turns
    // (the framework's idle time): a loop of many hints (the pending marks of a
    // large folder edit cleared one by one) asks the rules once, not per hint.
    m_doc.SetAfterUpdate([this] {
        if (m_bCommandUpdateQueued) return;
        m_bCommandUpdateQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_bCommandUpdateQueued = false;
            m_commands.UpdateAll();
        });
    });
    m_pActiveView = m_pTreeView;
    return true;
}

void CMainFrame::SetActiveView(QWidget* view) {
    m_pActiveView = view;
    UpdateCommandUI();
}

std::vector<CommandTarget*> CMainFrame::Route() {
    std::vector<CommandTarget*> chain;
    if (m_pActiveView == m_pTreeView && m_pTreeView) chain.push_back(m_pTreeView);
    if (m_pActiveView == m_pListView && m_pListView) chain.push_back(m_pListView);
    chain.push_back(this);
    chain.push_back(&m_app);
    return chain;
}

void CMainFrame::ShowStandardHeader(bool show) {
    if (!show) {
        delete m_pStandardHeaderDlg;  // its destructor clears the pointer
        m_pStandardHeaderDlg = nullptr;
        return;
    }
    if (!m_pStandardHeaderDlg) {
        m_pStandardHeaderDlg =
            new CStandardHeaderDlg(&m_doc.m_standardHeader, &m_pStandardHeaderDlg, this);
        m_pStandardHeaderDlg->OnInitDialog();
    }
    m_pStandardHeaderDlg->show();
    m_pStandardHeaderDlg->raise();
}

void CMainFrame::SetFolderEditIndicator(bool folderEditMode) {
    if (!m_pModePane) return;
    QString text = QString::fromLatin1(folderEditMode ? IDS_MODE_FOLDER : IDS_MODE_NORMAL);
    QString tip;
    if (folderEditMode) {
        const QString path = Utf8(m_doc.GetPathName());
        int at = path.lastIndexOf('\\');
        if (at < 0) at = path.lastIndexOf('/');
        const QString folder = at > 0 ? path.left(at) : path;
        text += QStringLiteral(": ") + folder;
        tip = folder;
    }
    m_pModePane->setToolTip(tip);
    const int width =
        m_pModePane->fontMetrics().horizontalAdvance(text) + 2 * m_pModePane->frameWidth() + 8;
    m_pModePane->setMinimumWidth(width);
    m_pModePane->setMaximumWidth(width);
    m_pModePane->setText(text);
    m_pModePane->repaint();
}

void CMainFrame::OnUpdateClock() {
    if (!m_pClockPane) return;
    const QString text = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    if (text == m_pClockPane->text()) return;
    m_pClockPane->setFixedWidth(m_pClockPane->fontMetrics().horizontalAdvance(text) +
                                2 * m_pClockPane->frameWidth() + 8);
    m_pClockPane->setText(text);
    m_pClockPane->setEnabled(true);
}

QString CMainFrame::HelpFilePath() {
    // Beside the program first (a build, or a copy of the program with its help);
    // then where an installation puts it, found from the program's own place.
    QString folder = QCoreApplication::applicationFilePath();
    int at = folder.lastIndexOf('\\');
    if (at < 0) at = folder.lastIndexOf('/');
    if (at > 1) folder = folder.left(at + 1);
    const QString beside = folder + QStringLiteral("HeaderEditor.chm");
    if (QFileInfo::exists(beside)) return beside;
#ifdef TKV_HELP_FROM_BIN
    const QString installed = QDir::cleanPath(folder + QStringLiteral(TKV_HELP_FROM_BIN) +
                                              QStringLiteral("/HeaderEditor.chm"));
    if (QFileInfo::exists(installed)) return installed;
#endif
    return beside;  // missing: the help window says so, naming it
}

void CMainFrame::OnHelpTopics() {
    const QString path = HelpFilePath();
    if (QWidget* help = HtmlHelp(this, path, HH_DISPLAY_TOC, 0)) {
        help->show();
        help->raise();
    }
}

void CMainFrame::UpdateTitle() {
    setWindowTitle(Utf8(m_doc.GetTitle()) + QStringLiteral(" - ") +
                   QStringLiteral("Header Editor"));
}

void CMainFrame::UpdateCommandUI() {
    m_commands.UpdateAll();
    UpdateTitle();
    OnUpdateClock();
}

QString CMainFrame::PromptText() const {
    return statusBar()->currentMessage();
}

void CMainFrame::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_nClockTimer) {
        UpdateCommandUI();
        return;
    }
    QMainWindow::timerEvent(event);
}

bool CMainFrame::OnCommand(int id) {
    switch (id) {
        case ID_FILE_SAVE:
            DoFileSave();
            return true;
        case ID_FILE_SAVE_AS:
            DoFileSaveAs();
            return true;
        case ID_APP_EXIT:
            close();
            return true;
        case ID_VIEW_TOOLBAR:
            m_wndToolBar->setVisible(!m_wndToolBar->isVisible());
            return true;
        case ID_HELP_TOPICS:
            OnHelpTopics();
            return true;
        case ID_VIEW_PLATE_SHEET:
            ShowPlateSheet();
            return true;
        case ID_EDIT_UNDO_FOLDER_SAVE:
            m_doc.UndoLastFolderSave();
            if (m_pPlateSheet) m_pPlateSheet->Refresh();
            return true;
        case ID_NEXT_PANE:
        case ID_PREV_PANE: {
            QWidget* other =
                m_pActiveView == m_pTreeView ? static_cast<QWidget*>(m_pListView) : m_pTreeView;
            if (other) other->setFocus(Qt::TabFocusReason);
            return true;
        }
        default:
            if (id >= ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + kRecentFiles) {
                const QStringList files = RecentFiles();
                const int i = id - ID_FILE_MRU_FILE1;
                bool cancelled = false;
                // A file that no longer opens leaves the list.
                if (i < files.size() && !OpenDocumentFile(files.at(i), &cancelled) && !cancelled)
                    RemoveRecentFile(files.at(i));
                return true;
            }
            return false;
    }
}

bool CMainFrame::OnUpdateCommand(CCmdUI& ui) {
    switch (ui.ID()) {
        case ID_FILE_SAVE:
        case ID_FILE_SAVE_AS:
        case ID_APP_EXIT:
        case ID_HELP_TOPICS:
        case ID_NEXT_PANE:
        case ID_PREV_PANE:
            ui.Enable(true);
            return true;
        case ID_VIEW_TOOLBAR:
            ui.Enable(true);
            ui.SetCheck(m_wndToolBar && !m_wndToolBar->isHidden());
            return true;
        case ID_VIEW_PLATE_SHEET:
            ui.Enable(!m_doc.GetPathName().empty());
            return true;
        case ID_EDIT_UNDO_FOLDER_SAVE:
            // Changes of this document's own would be lost when it is read again.
            ui.Enable(!m_doc.GetPathName().empty() && !m_doc.IsModified() && !m_doc.IsReadOnly());
            return true;
        default:
            if (ui.ID() >= ID_FILE_MRU_FILE1 && ui.ID() < ID_FILE_MRU_FILE1 + kRecentFiles) {
                // The "Recent File" placeholder of an empty list stays greyed.
                ui.Enable(ui.ID() - ID_FILE_MRU_FILE1 < RecentFiles().size());
                return true;
            }
            return false;
    }
}

bool CMainFrame::SaveModified() {
    if (!m_doc.IsModified()) return true;
    std::string name = m_doc.GetTitle();
    if (!name.empty() && name.front() == '*') name.erase(0, 1);
    switch (m_doc.Messages().Ask("Save changes to " + name + "?", MessageButtons::YesNoCancel)) {
        case MessageAnswer::Yes:
            return DoFileSave();
        case MessageAnswer::No:
            return true;
        default:
            return false;
    }
}

void CMainFrame::InitialUpdate() {
    // The framework's initial update of each view.
    m_doc.UpdateAllViews(nullptr, HINT_REFRESH_ALL, nullptr);
    UpdateCommandUI();
}

bool CMainFrame::NewDocument() {
    if (!SaveModified()) return false;
    if (!m_doc.OnNewDocument()) return false;
    InitialUpdate();
    return true;
}

bool CMainFrame::OpenDocumentFile(const QString& path, bool* cancelled) {
    if (cancelled) *cancelled = false;
    if (!SaveModified()) {
        if (cancelled) *cancelled = true;
        return false;
    }
    const std::string file = QDir::cleanPath(QFileInfo(path).absoluteFilePath()).toStdString();
    if (!m_doc.OpenDocumentFile(file)) {
        UpdateCommandUI();
        return false;
    }
    AddRecentFile(QString::fromStdString(file));
    InitialUpdate();
    return true;
}

bool CMainFrame::DoFileSave() {
    if (m_doc.GetPathName().empty()) return DoFileSaveAs();
    const bool ok = m_doc.DoSave(m_doc.GetPathName());
    if (ok) AddRecentFile(Utf8(m_doc.GetPathName()));
    UpdateCommandUI();
    return ok;
}

bool CMainFrame::DoFileSaveAs() {
    // The name proposed is the document's own; an untitled one gets ".tkv".
    const QString start = m_doc.GetPathName().empty()
                              ? QDir::current().filePath(QString::fromLatin1(CDocument::kUntitled) +
                                                         QStringLiteral(".tkv"))
                              : Utf8(m_doc.GetPathName());
    const QString path = CDocFileDialog::Prompt(this, CDocFileDialog::Mode::SaveAs, start);
    if (path.isEmpty()) return false;
    const bool ok = m_doc.DoSave(path.toStdString());
    if (ok) AddRecentFile(path);
    UpdateCommandUI();
    return ok;
}

QStringList CMainFrame::RecentFiles() const {
    auto settings = UserSettings();
    QStringList files;
    for (int i = 1; i <= kRecentFiles; ++i) {
        const QString f =
            settings->value(QStringLiteral("Recent File List/File%1").arg(i)).toString();
        if (!f.isEmpty()) files.push_back(f);
    }
    return files;
}

void CMainFrame::AddRecentFile(const QString& path) {
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFiles) files.removeLast();
    WriteRecentFiles(files);
}

void CMainFrame::RemoveRecentFile(const QString& path) {
    QStringList files = RecentFiles();
    files.removeAll(path);
    WriteRecentFiles(files);
}

void CMainFrame::WriteRecentFiles(const QStringList& files) {
    auto settings = UserSettings();
    settings->remove(QStringLiteral("Recent File List"));
    for (int i = 0; i < files.size(); ++i)
        settings->setValue(QStringLiteral("Recent File List/File%1").arg(i + 1), files.at(i));
    RebuildRecentFileMenu();
}

QString CMainFrame::AbbreviateName(const QString& path, int maxLength) {
    const int slash = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
    const QString name = path.mid(slash + 1);
    if (slash >= 0 &&
        QDir::cleanPath(path.left(slash == 0 ? 1 : slash)) == QDir::cleanPath(QDir::currentPath()))
        return name;
    if (path.size() <= maxLength) return path;
    // The root: "/", "C:\", or "\\server\share\".
    int rootLength = 0;
    if (path.startsWith(QLatin1String("\\\\"))) {
        const int server = path.indexOf('\\', 2);
        const int share = server < 0 ? -1 : path.indexOf('\\', server + 1);
        rootLength = share < 0 ? 0 : share + 1;
    } else if (path.size() > 2 && path.at(1) == ':' && (path.at(2) == '\\' || path.at(2) == '/')) {
        rootLength = 3;
    } else if (path.startsWith('/')) {
        rootLength = 1;
    }
    const QString root = path.left(rootLength);
    // Drop folders from the left until root + "..." + the rest fits.
    static const QRegularExpression separator(QStringLiteral("[/\\\\]"));
    for (int at = rootLength; at <= slash;) {
        const int next = path.indexOf(separator, at);
        if (next < 0 || next > slash) break;
        const QString rest = path.mid(next);  // begins with its separator
        if (root.size() + 3 + rest.size() <= maxLength) return root + QStringLiteral("...") + rest;
        at = next + 1;
    }
    return name;
}

void CMainFrame::RebuildRecentFileMenu() {
    const QStringList files = RecentFiles();
    for (int i = 0; i < kRecentFiles; ++i) {
        QAction* a = m_recentActions[static_cast<std::size_t>(i)];
        if (i < files.size()) {
            QString shown = AbbreviateName(files.at(i));
            shown.replace('&', QStringLiteral("&&"));  // an ampersand of the path is no mnemonic
            a->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
            a->setVisible(true);
        } else {
            a->setVisible(false);
        }
    }
    // With no recent file the menu shows the greyed placeholder.
    if (files.isEmpty()) {
        m_recentActions.front()->setText(QStringLiteral("Recent File"));
        m_recentActions.front()->setVisible(true);
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!isMinimized()) {
        auto settings = UserSettings();
        settings->beginGroup(QStringLiteral("Settings/Window"));
        const QRect r = frameGeometry();
        settings->setValue("Top", r.top());
        settings->setValue("Left", r.left());
        settings->setValue("Bottom", r.top() + r.height());
        settings->setValue("Right", r.left() + r.width());
        if (m_wndSplitter && !m_wndSplitter->sizes().isEmpty())
            settings->setValue("SplitWidth", m_wndSplitter->sizes().front());
    }
    if (!SaveModified()) {
        event->ignore();
        return;
    }
    ShowStandardHeader(false);
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            activateWindow();
            OpenDocumentFile(url.toLocalFile());
            return;
        }
}

CInPlaceFrame* CMainFrame::CreateInPlaceFrame() {
    if (m_pInPlaceFrame) return m_pInPlaceFrame;
    m_pInPlaceFrame = new CInPlaceFrame(m_commands);
    if (m_pInPlaceFrame->OnCreate() != 0) {
        delete m_pInPlaceFrame;
        m_pInPlaceFrame = nullptr;
        return nullptr;
    }
    QWidget* client = takeCentralWidget();
    m_pInPlaceFrame->SetClient(client);
    MainFrameInterface::SetCurrent(nullptr);  // the active frame is now the in-place one
    return m_pInPlaceFrame;
}

void CMainFrame::DestroyInPlaceFrame() {
    if (!m_pInPlaceFrame) return;
    QWidget* client = m_pInPlaceFrame->TakeClient();
    if (client) setCentralWidget(client);
    delete m_pInPlaceFrame;
    m_pInPlaceFrame = nullptr;
    MainFrameInterface::SetCurrent(this);
}
