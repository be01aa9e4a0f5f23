#include "app/StatusPanes.h"

#include <QLabel>
#include <QStatusBar>
#include <QTime>

#include "res/Resource.h"
#include "views/EntryListModel.h"

CStatusPanes::CStatusPanes(QStatusBar* bar, QWidget* owner)
    : QObject(owner),
      m_pBar(bar),
      m_pFilterPane(MakePane("ID_INDICATOR_FILTER", owner)),
      m_pModePane(MakePane("ID_INDICATOR_MODE", owner)),
      m_pClockPane(MakePane("ID_INDICATOR_CLOCK", owner)) {
    m_pFilterPane->hide();
    m_pClockPane->setAlignment(Qt::AlignCenter);
    bar->addPermanentWidget(m_pFilterPane);
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
}

QLabel* CStatusPanes::MakePane(const char* name, QWidget* owner) {
    auto* pane = new QLabel(owner);
    pane->setObjectName(name);
    pane->setFrameShape(QFrame::Panel);
    pane->setFrameShadow(QFrame::Sunken);
    return pane;
}

void CStatusPanes::SetFolderEditIndicator(bool folderEditMode, const QString& path) {
    QString text = QString::fromLatin1(folderEditMode ? IDS_MODE_FOLDER : IDS_MODE_NORMAL);
    QString tip;
    if (folderEditMode) {
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

void CStatusPanes::UpdateClock() {
    const QString text = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    if (text == m_pClockPane->text()) return;
    m_pClockPane->setFixedWidth(m_pClockPane->fontMetrics().horizontalAdvance(text) +
                                2 * m_pClockPane->frameWidth() + 8);
    m_pClockPane->setText(text);
    m_pClockPane->setEnabled(true);
}

void CStatusPanes::UpdateFilterPane(const EntryListModel& rows) {
    m_pFilterPane->setVisible(rows.Filtered());
    if (!rows.Filtered()) return;
    m_pFilterPane->setText(
        QStringLiteral("%1 of %2 entries").arg(rows.rowCount()).arg(rows.TotalRows()));
}

void CStatusPanes::ShowFolderSaved(const FolderEdit::Report& report) {
    m_pBar->showMessage(ShortFolderSummary(report));
    m_pBar->setToolTip(FolderSummary(report));
}

void CStatusPanes::ShowFolderUndone(const FolderUndo::Report& report) {
    using O = FolderUndo::Outcome;
    m_pBar->showMessage(
        QStringLiteral("Undo of the folder save: %1 restored, %2 unchanged, %3 left alone, "
                       "%4 missing, %5 failed")
            .arg(report.Count(O::Restored))
            .arg(report.Count(O::AsBefore))
            .arg(report.Count(O::ChangedSince))
            .arg(report.Count(O::Missing))
            .arg(report.Count(O::Failed)));
}

QString CStatusPanes::FolderSummary(const FolderEdit::Report& report) {
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

QString CStatusPanes::ShortFolderSummary(const FolderEdit::Report& report) {
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
