#include "app/StandardHeaderDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

#include "format/StandardHeaderRows.h"
#include "platform/qt/DialogUnits.h"
#include "platform/qt/QtText.h"
#include "res/Resource.h"

CStandardHeaderDlg::CStandardHeaderDlg(const StandardHeader* pHeader,
                                       CStandardHeaderDlg** ppOwnerSlot, QWidget* pParent)
    // Caption, system menu (with its close box) and sizing border; no minimise
    // or maximise box.
    : QDialog(pParent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_pHeader(pHeader),
      m_ppOwnerSlot(ppOwnerSlot) {
    setObjectName("CStandardHeaderDlg");
    setWindowTitle(QStringLiteral("Standard Header"));
    setModal(false);
    setSizeGripEnabled(false);
}

CStandardHeaderDlg::~CStandardHeaderDlg() {
    if (m_ppOwnerSlot && *m_ppOwnerSlot == this) *m_ppOwnerSlot = nullptr;
}

bool CStandardHeaderDlg::OnInitDialog() {
    // Template: 334 x 181 units; list at (5, 5, 325, 150); Close at (142, 160, 50, 14).
    const DialogUnits du(*this);
    resize(du.X(334), du.Y(181));
    m_pList = new QTreeWidget(this);
    m_pList->setObjectName("IDC_HEADER_LIST");
    m_pList->setGeometry(du.Rect(5, 5, 325, 150));
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setAllColumnsShowFocus(true);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->header()->setSectionsClickable(false);
    m_pList->header()->setStretchLastSection(false);
    m_pList->setContextMenuPolicy(Qt::CustomContextMenu);
    m_pList->installEventFilter(this);
    connect(m_pList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ShowContextMenu(pos); });

    m_pClose = new QPushButton(QStringLiteral("Close"), this);
    m_pClose->setObjectName("IDOK");
    m_pClose->setGeometry(du.Rect(142, 160, 50, 14));
    m_pClose->setDefault(true);
    connect(m_pClose, &QPushButton::clicked, this, &CStandardHeaderDlg::accept);
    setTabOrder(m_pClose, m_pList);

    const int half = m_pList->width() / 2;
    m_pList->setHeaderLabels({QStringLiteral("Variable"), QStringLiteral("Value")});
    m_pList->setColumnWidth(0, half);
    m_pList->setColumnWidth(1, half);
    m_rcButton = QRect(0, 0, m_pClose->width(), m_pClose->height());
    m_nMargin = (width() - m_pList->width()) / 2;

    QList<QTreeWidgetItem*> rows;
    for (const StandardHeaderRow& row : BuildStandardHeaderRows(*m_pHeader))
        rows.push_back(new QTreeWidgetItem(
            {QString::fromStdU16String(row.label), QString::fromStdU16String(row.value)}));
    m_pList->addTopLevelItems(rows);

    ApplyMinimumSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    m_pClose->setFocus();
    return true;
}

QSize CStandardHeaderDlg::MinimumTrackSize() const {
    return {2 * m_nMargin + 100, m_rcButton.height() + 3 * m_nMargin + 100};
}

void CStandardHeaderDlg::ApplyMinimumSize() {
    // The frame is known once the window is shown; before, it counts as none.
    const QSize frame = isVisible() ? frameGeometry().size() - size() : QSize(0, 0);
    setMinimumSize((MinimumTrackSize() - frame).expandedTo(QSize(1, 1)));
}

void CStandardHeaderDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ApplyMinimumSize();
}

void CStandardHeaderDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (m_nMargin < 1 || m_rcButton.width() < 1) return;
    const int m = m_nMargin, cx = width(), cy = height();
    const int bw = m_rcButton.width(), bh = m_rcButton.height();
    const int listHeight = cy - 3 * m - bh;
    m_pList->setGeometry(m, m, cx - 2 * m, listHeight);
    m_pClose->setGeometry((cx - bw) / 2, listHeight + 2 * m, bw, bh);
}

void CStandardHeaderDlg::CopySelectedRows() {
    QString text;
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = m_pList->topLevelItem(i);
        if (!row->isSelected()) continue;
        text += row->text(0) + QStringLiteral(", ") + row->text(1) + QStringLiteral("\r\n");
    }
    if (!text.isEmpty()) SetClipboardText(text);
}

void CStandardHeaderDlg::SetClipboardText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return;
    // 8-bit text only: what the code page cannot hold becomes '?'; the rest is
    // offered as the characters the bytes stand for in that code page.
    auto* data = new QMimeData;
    data->setText(FromAnsi(ToAnsi(text)));
    clipboard->setMimeData(data);
}

void CStandardHeaderDlg::ShowContextMenu(const QPoint& pos) {
    QMenu menu;
    QAction* copy = menu.addAction(QStringLiteral("&Copy"));
    copy->setData(ID_EDIT_COPY);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Ca&ncel"))->setData(0);
    if (menu.exec(m_pList->viewport()->mapToGlobal(pos)) == copy) CopySelectedRows();
}

bool CStandardHeaderDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pList && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_C && (key->modifiers() & Qt::ControlModifier)) {
            CopySelectedRows();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CStandardHeaderDlg::DestroyWindow() {
    if (m_ppOwnerSlot && *m_ppOwnerSlot == this) *m_ppOwnerSlot = nullptr;
    m_ppOwnerSlot = nullptr;
    hide();
    deleteLater();
}

void CStandardHeaderDlg::accept() {
    DestroyWindow();
}

void CStandardHeaderDlg::reject() {
    hide();
}

void CStandardHeaderDlg::closeEvent(QCloseEvent* event) {
    event->accept();
    DestroyWindow();
}
