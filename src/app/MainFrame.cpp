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
#include "app/MainCommands.h"
#include "app/StandardHeaderDlg.h"
#include "app/TKVEditorApp.h"
#include "document/TKVEditorDoc.h"
#include "model/HeaderNode.h"
#include "platform/TextCodec.h"
#include "platform/UserMessages.h"
#include "platform/UserPlaces.h"
#include "res/Resource.h"
#include "views/FolderProgress.h"
#include "views/PlateSheetWindow.h"
#include "views/RightView.h"
#include "views/TKVEditorView.h"

namespace {
QString Utf8(const std::string& s) {
    return QString::fromStdString(s);
}
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
        if (m_pPanes) m_pPanes->ShowFolderSaved(report);
    };
    m_doc.m_onFolderUndone = [this](const FolderUndo::Report& report) {
        m_pProgress.reset();
        if (m_pPanes) m_pPanes->ShowFolderUndone(report);
    };
}

void CMainFrame::UpdateFilterPane() {
    if (m_pPanes && m_pListView) m_pPanes->UpdateFilterPane(m_pListView->Model());
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
    // The views go with the splitter; they leave the document first.
    if (m_pTreeView) m_doc.RemoveView(m_pTreeView);
    if (m_pListView) m_doc.RemoveView(m_pListView);
}

std::unique_ptr<QSettings> CMainFrame::UserSettings() {
    return std::make_unique<QSettings>(QSettings::UserScope, QStringLiteral("Corvandel"),
                                       QString::fromLatin1(IDS_APP_TITLE));
}

void CMainFrame::CreateCommands() {
    for (const auto& c : MainCommands()) {
        QAction* a = m_commands.Add(c.id, QString::fromLatin1(c.text),
                                    QString::fromLatin1(c.prompt), c.keys);
        const QString icon = QStringLiteral(":/res/toolbar_%1.png").arg(c.id);
        if (QFile::exists(icon)) a->setIcon(QIcon(icon));
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);  // accelerators work whether or not a menu shows the command
    }
    m_pRecent = std::make_unique<CRecentFileMenu>(m_commands);
}

void CMainFrame::CreateMenus() {
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    m_commands.Fill(file, kFileMenu);
    QAction* anchor = file->addSeparator();
    for (QAction* a : m_pRecent->Actions()) file->insertAction(anchor, a);
    file->addAction(m_commands.Action(ID_APP_EXIT));
    m_commands.Fill(bar->addMenu(QStringLiteral("&Edit")), kEditMenu);
    m_commands.Fill(bar->addMenu(QStringLiteral("&Insert")), kInsertMenu);
    m_commands.Fill(bar->addMenu(QStringLiteral("&View")), kViewMenu);
    m_commands.Fill(bar->addMenu(QStringLiteral("&Help")), kHelpMenu);
    m_commands.Action(ID_VIEW_TOOLBAR)->setCheckable(true);
    m_pRecent->Rebuild();
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

    m_pPanes = new CStatusPanes(statusBar(), this);
    SetFolderEditIndicator(false);
    OnUpdateClock();
    m_nClockTimer = startTimer(1000);  // ID_CLOCK_TIMER: keeps the clock fresh
    setAcceptDrops(true);
    return 0;
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
    if (m_pPanes) m_pPanes->SetFolderEditIndicator(folderEditMode, Utf8(m_doc.GetPathName()));
}

void CMainFrame::OnUpdateClock() {
    if (m_pPanes) m_pPanes->UpdateClock();
}

QString CMainFrame::HelpFilePath() {
#ifdef TKV_HELP_FROM_BIN
    const std::string installed = TKV_HELP_FROM_BIN;
#else
    const std::string installed;
#endif
    const std::vector<std::string> candidates = UserPlaces::HelpFileCandidates(
        QCoreApplication::applicationFilePath().toStdString(), "HeaderEditor.chm", installed);
    for (const std::string& path : candidates)
        if (QFileInfo::exists(QString::fromStdString(path))) return QString::fromStdString(path);
    return QString::fromStdString(
        candidates.front());  // missing: the help window says so, naming it
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
            if (m_pRecent->IsRecentCommand(id)) {
                const QStringList files = RecentFiles();
                const int i = id - ID_FILE_MRU_FILE1;
                bool cancelled = false;
                // A file that no longer opens leaves the list.
                if (i < files.size() && !OpenDocumentFile(files.at(i), &cancelled) && !cancelled)
                    m_pRecent->Remove(files.at(i));
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
            if (m_pRecent->IsRecentCommand(ui.ID())) {
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
    m_pRecent->Add(QString::fromStdString(file));
    InitialUpdate();
    return true;
}

bool CMainFrame::DoFileSave() {
    if (m_doc.GetPathName().empty()) return DoFileSaveAs();
    const bool ok = m_doc.DoSave(m_doc.GetPathName());
    if (ok) m_pRecent->Add(Utf8(m_doc.GetPathName()));
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
    if (ok) m_pRecent->Add(path);
    UpdateCommandUI();
    return ok;
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
