#pragma once
// The main window: menus, accelerators and tool bar on the shared commands, a
// status bar with the prompt, the folder-mode pane and a clock, a splitter with
// the tree view left and the list view right, the window's placement and the
// splitter width kept in the user's settings, and the Standard Header viewer.

#include <QMainWindow>
#include <QPointer>
#include <memory>

#include "app/RecentFileMenu.h"
#include "app/StatusPanes.h"
#include "document/FolderEdit.h"
#include "platform/qt/CommandSet.h"
#include "platform/qt/CommandTarget.h"
#include "views/MainFrameInterface.h"

class CTKVEditorApp;
class CTKVEditorDoc;
class CTKVEditorView;
class CRightView;
class CStandardHeaderDlg;
class CPlateSheetWindow;
class CInPlaceFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QSettings;
class QSplitter;
class QToolBar;
class QTimer;
class QProgressDialog;

class CMainFrame : public QMainWindow, public MainFrameInterface, public CommandTarget {
    Q_OBJECT
  public:
    static constexpr int kRecentFiles = CRecentFileMenu::kRecentFiles;
    static constexpr int kDefaultSplitWidth = 200;
    // A folder-wide edit over more files than this shows its progress.
    static constexpr std::size_t kProgressAbove = 8;

    CMainFrame(CTKVEditorApp& app, CTKVEditorDoc& doc);
    ~CMainFrame() override;

    // The creation steps: placement from the settings, bars, the client area.
    bool PreCreateWindow();
    int OnCreate();
    bool OnCreateClient();

    void ShowStandardHeader(bool show) override;
    void SetFolderEditIndicator(bool folderEditMode) override;
    void OnHelpTopics();
    // The help file the editor opens: beside the program, else where it is installed.
    static QString HelpFilePath();
    void OnUpdateClock();

    bool OnCommand(int id) override;
    bool OnUpdateCommand(CCmdUI& ui) override;
    // Runs the enable rules over every command and refreshes title and clock.
    void UpdateCommandUI();

    // File work as the framework does it: asks about unsaved changes, opens (with
    // the views' initial update), saves, and keeps the recent-file list.
    bool SaveModified();
    // `cancelled` (when given) tells a refusal to give up the open document from
    // a file that failed to open.
    bool OpenDocumentFile(const QString& path, bool* cancelled = nullptr);
    bool NewDocument();
    bool DoFileSave();
    bool DoFileSaveAs();
    QStringList RecentFiles() const { return m_pRecent->Files(); }
    static QString AbbreviateName(const QString& path,
                                  int maxLength = CRecentFileMenu::kRecentNameLength) {
        return CRecentFileMenu::AbbreviateName(path, maxLength);
    }

    // In-place activation as a frame swap: the splitter with both views moves
    // into an in-place frame and back.
    CInPlaceFrame* CreateInPlaceFrame();
    void DestroyInPlaceFrame();

    CommandSet& Commands() { return m_commands; }
    CTKVEditorDoc& Document() { return m_doc; }
    CTKVEditorView* TreeView() const { return m_pTreeView; }
    CRightView* ListView() const { return m_pListView; }
    QWidget* ActiveView() const { return m_pActiveView; }
    void SetActiveView(QWidget* view);
    QSplitter* Splitter() const { return m_wndSplitter; }
    QToolBar* ToolBar() const { return m_wndToolBar; }
    QLabel* ModePane() const { return m_pPanes ? m_pPanes->ModePane() : nullptr; }
    QLabel* ClockPane() const { return m_pPanes ? m_pPanes->ClockPane() : nullptr; }
    // The filter box above the list pane, and its count in the status bar.
    QLineEdit* FilterEdit() const { return m_pFilterEdit; }
    QLabel* FilterPane() const { return m_pPanes ? m_pPanes->FilterPane() : nullptr; }
    CStandardHeaderDlg* StandardHeaderDlg() const { return m_pStandardHeaderDlg; }
    // View, Plate Sheet: opens (or raises) the window.
    void ShowPlateSheet();
    CPlateSheetWindow* PlateSheet() const;
    QMenu* MenuNamed(const QString& title) const;
    QString PromptText() const;
    QProgressDialog* Progress() const { return m_pProgress.get(); }

    // Per-user settings ("Settings/Window" and the recent-file list).
    static std::unique_ptr<QSettings> UserSettings();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // Puts the window, frame included, on the placement read from the settings.
    void ApplyPlacement();
    void CreateCommands();
    void CreateMenus();
    // Passes `frame` to both views (none while the in-place frame is active).
    void SetViewsFrame(MainFrameInterface* frame);
    void UpdateTitle();
    void UpdateFilterPane();
    void InitialUpdate();
    std::vector<CommandTarget*> Route();
    void ShowFolderProgress(std::size_t done, std::size_t total);

    CTKVEditorApp& m_app;
    CTKVEditorDoc& m_doc;
    CommandSet m_commands;
    QToolBar* m_wndToolBar = nullptr;
    bool m_bCommandUpdateQueued = false;  // an update of the commands' states is on its way
    QSplitter* m_wndSplitter = nullptr;
    CStatusPanes* m_pPanes = nullptr;
    QLineEdit* m_pFilterEdit = nullptr;
    std::unique_ptr<CRecentFileMenu> m_pRecent;
    CTKVEditorView* m_pTreeView = nullptr;
    CRightView* m_pListView = nullptr;
    QPointer<QWidget> m_pActiveView;
    CInPlaceFrame* m_pInPlaceFrame = nullptr;
    int m_nClockTimer = 0;
    QRect m_rectPlacement;  // the saved window rectangle, frame included, until shown
    std::unique_ptr<QProgressDialog> m_pProgress;

  public:
    CStandardHeaderDlg* m_pStandardHeaderDlg = nullptr;
    QPointer<CPlateSheetWindow> m_pPlateSheet;
};
