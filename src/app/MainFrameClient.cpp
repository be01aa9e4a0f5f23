// The main window's client area: the splitter with the tree view left and the
// list view (under its filter box) right, which pane is active and where the
// commands go, and the in-place swap that lends both views to another frame.

#include <QLineEdit>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include "app/InPlaceFrame.h"
#include "app/MainFrame.h"
#include "app/TKVEditorApp.h"
#include "document/TKVEditorDoc.h"
#include "views/RightView.h"
#include "views/TKVEditorView.h"

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
    // The views ask this frame for the viewer and the mode pane.
    SetViewsFrame(this);
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
    // The active frame is now the in-place one: the views skip the frame's requests.
    SetViewsFrame(nullptr);
    return m_pInPlaceFrame;
}

void CMainFrame::DestroyInPlaceFrame() {
    if (!m_pInPlaceFrame) return;
    QWidget* client = m_pInPlaceFrame->TakeClient();
    if (client) setCentralWidget(client);
    delete m_pInPlaceFrame;
    m_pInPlaceFrame = nullptr;
    SetViewsFrame(this);
}

void CMainFrame::SetViewsFrame(MainFrameInterface* frame) {
    if (m_pTreeView) m_pTreeView->SetFrame(frame);
    if (m_pListView) m_pListView->SetFrame(frame);
}
