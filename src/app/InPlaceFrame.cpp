#include "app/InPlaceFrame.h"

#include <QDragEnterEvent>
#include <QMenuBar>
#include <QSizeGrip>
#include <QToolBar>
#include <QVBoxLayout>

#include "platform/qt/CommandSet.h"
#include "res/Resource.h"

CInPlaceFrame::CInPlaceFrame(CommandSet& commands, QWidget* parent)
    : QWidget(parent, Qt::Window), m_commands(commands) {
    setObjectName("CInPlaceFrame");
}

int CInPlaceFrame::OnCreate() {
    m_pLayout = new QVBoxLayout(this);
    m_pLayout->setContentsMargins(0, 0, 0, 0);
    m_pLayout->setSpacing(0);
    // Menu 4: Edit, Insert and View as in the main menu, the container's two
    // groups, then Help.
    m_pMenuBar = new QMenuBar(this);
    m_commands.Fill(m_pMenuBar->addMenu(QStringLiteral("&Edit")), kEditMenu);
    m_commands.Fill(m_pMenuBar->addMenu(QStringLiteral("&Insert")), kInsertMenu);
    m_commands.Fill(m_pMenuBar->addMenu(QStringLiteral("&View")), kViewMenu);
    m_pMenuBar->addSeparator();
    m_pMenuBar->addSeparator();
    QMenu* help = m_pMenuBar->addMenu(QStringLiteral("&Help"));
    QAction* topics = help->addAction(QStringLiteral("&Help Topics..."));
    connect(topics, &QAction::triggered, &m_commands,
            [this] { m_commands.Execute(ID_HELP_TOPICS); });
    help->addSeparator();
    help->addAction(m_commands.Action(ID_APP_ABOUT));
    m_pLayout->setMenuBar(m_pMenuBar);
    if (!OnCreateControlBars(this)) return -1;
    // The in-place accelerators: Esc ends in-place editing, Alt+Backspace undoes.
    auto shortcut = [&](int id, const QKeySequence& key) {
        auto* a = new QAction(this);
        a->setShortcut(key);
        connect(a, &QAction::triggered, &m_commands, [this, id] { m_commands.Execute(id); });
        addAction(a);
    };
    shortcut(ID_CANCEL_EDIT_SRVR, QKeySequence(Qt::Key_Escape));
    shortcut(ID_EDIT_UNDO, QKeySequence(Qt::ALT | Qt::Key_Backspace));
    m_wndResizeBar = new QSizeGrip(this);
    m_wndResizeBar->setObjectName("AFX_IDW_RESIZE_BAR");
    m_pLayout->addWidget(m_wndResizeBar, 0, Qt::AlignBottom | Qt::AlignRight);
    setAcceptDrops(true);
    return 0;
}

bool CInPlaceFrame::OnCreateControlBars(QWidget* pWndFrame) {
    // Tool bar 4: Save As in the place of Save.
    m_wndToolBar = new QToolBar(QStringLiteral("In Place"), pWndFrame);
    m_wndToolBar->setObjectName("IDR_SRVR_INPLACE");
    m_wndToolBar->setIconSize(QSize(16, 16));
    m_commands.Fill(m_wndToolBar, kInPlaceToolBar);
    m_pLayout->insertWidget(0, m_wndToolBar);
    return true;
}

void CInPlaceFrame::SetClient(QWidget* client) {
    m_pClient = client;
    if (client) m_pLayout->insertWidget(1, client, 1);
}

QWidget* CInPlaceFrame::TakeClient() {
    QWidget* client = m_pClient;
    if (client) {
        m_pLayout->removeWidget(client);
        client->setParent(nullptr);
    }
    m_pClient = nullptr;
    return client;
}

void CInPlaceFrame::dragEnterEvent(QDragEnterEvent* event) {
    event->ignore();  // accepts nothing
}
