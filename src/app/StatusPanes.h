#pragma once
// The main window's status bar: the prompt ("Ready" whenever nothing else
// shows), the filter's count, the folder-mode pane and the clock, and the
// summaries of a folder-wide save and of its undo.

#include <QObject>
#include <QString>

#include "document/FolderEdit.h"
#include "document/FolderUndo.h"

class EntryListModel;
class QLabel;
class QStatusBar;

class CStatusPanes : public QObject {
    Q_OBJECT
  public:
    // Puts the panes on `bar`, owned by `owner`.
    CStatusPanes(QStatusBar* bar, QWidget* owner);

    QLabel* ModePane() const { return m_pModePane; }
    QLabel* ClockPane() const { return m_pClockPane; }
    QLabel* FilterPane() const { return m_pFilterPane; }

    // The mode pane: "Normal", or the folder mode with the folder of `path`.
    void SetFolderEditIndicator(bool folderEditMode, const QString& path);
    void UpdateClock();
    // "N of M entries" while the list is filtered; hidden otherwise.
    void UpdateFilterPane(const EntryListModel& rows);
    void ShowFolderSaved(const FolderEdit::Report& report);
    void ShowFolderUndone(const FolderUndo::Report& report);

    // The prompt after a folder-wide edit: how many files were updated, left as
    // they were, skipped as read-only and failed.
    static QString FolderSummary(const FolderEdit::Report& report);
    // The same in words that fit beside the mode pane: the counts that are not
    // zero (the updated files always).
    static QString ShortFolderSummary(const FolderEdit::Report& report);

  private:
    static QLabel* MakePane(const char* name, QWidget* owner);

    QStatusBar* m_pBar;
    QLabel* m_pFilterPane;
    QLabel* m_pModePane;
    QLabel* m_pClockPane;
};
