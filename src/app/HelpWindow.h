#pragma once
// The help window: the compiled help file's table of contents on the left and
// the chosen page on the right, read straight from the .chm.

#include <QTextBrowser>
#include <QWidget>
#include <memory>

#include "app/ChmFile.h"

class QTreeWidget;
class QTreeWidgetItem;

// Shows pages of a help file; links and images resolve inside the file.
class CChmBrowser : public QTextBrowser {
    Q_OBJECT
  public:
    CChmBrowser(const ChmFile& file, QWidget* parent) : QTextBrowser(parent), m_file(file) {}
    QVariant loadResource(int type, const QUrl& name) override;

  private:
    const ChmFile& m_file;
};

class CHelpWindow : public QWidget {
    Q_OBJECT
  public:
    CHelpWindow(std::unique_ptr<ChmFile> file, const QString& path, QWidget* owner);
    const QString& Path() const { return m_strPath; }
    QTreeWidget* Contents() const { return m_pContents; }
    CChmBrowser* Page() const { return m_pPage; }
    // Shows the page at `local` (a path inside the file).
    void ShowPage(const QString& local);

  private:
    void AddEntries(QTreeWidgetItem* parent, const std::vector<ChmFile::TocEntry>& entries);

    std::unique_ptr<ChmFile> m_file;
    QString m_strPath;
    QTreeWidget* m_pContents;
    CChmBrowser* m_pPage;
};

// The help entry point: initialise and uninitialise (no work here), and show the
// table of contents of a help file. Returns the help window, or null when the
// file cannot be read (nothing of the program's own is shown then).
constexpr unsigned HH_DISPLAY_TOC = 0x0001;
constexpr unsigned HH_INITIALIZE = 0x001C;
constexpr unsigned HH_UNINITIALIZE = 0x001D;
QWidget* HtmlHelp(QWidget* window, const QString& file, unsigned command, quintptr data);
