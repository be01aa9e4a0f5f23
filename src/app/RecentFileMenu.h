#pragma once
// The File menu's recent-file list: the last files opened or saved, kept in the
// user's settings ("Recent File List"), shown as numbered commands between a
// separator and Exit, with a greyed placeholder while the list is empty.

#include <QString>
#include <QStringList>
#include <vector>

class CommandSet;
class QAction;

class CRecentFileMenu {
  public:
    static constexpr int kRecentFiles = 4;
    static constexpr int kRecentNameLength = 30;

    // Adds the recent-file commands (ID_FILE_MRU_FILE1 on) to `commands`.
    explicit CRecentFileMenu(CommandSet& commands);

    const std::vector<QAction*>& Actions() const { return m_actions; }
    // `id` is one of the recent-file commands.
    bool IsRecentCommand(int id) const;
    QStringList Files() const;
    void Add(const QString& path);
    void Remove(const QString& path);
    // Shows the list as it is in the settings.
    void Rebuild();

    // The menu's text of `path`: the name alone for a file of the current
    // folder; otherwise the whole path when it has at most `maxLength`
    // characters, else the root, "...", and as many of the last folders as fit
    // with the name ("/.../plate_0042/A01.tkv"); the name alone when even that
    // does not fit.
    static QString AbbreviateName(const QString& path, int maxLength = kRecentNameLength);

  private:
    void Write(const QStringList& files);

    std::vector<QAction*> m_actions;
};
