#include "app/RecentFileMenu.h"

#include <QAction>
#include <QDir>
#include <QRegularExpression>
#include <QSettings>

#include "app/MainFrame.h"
#include "platform/qt/CommandSet.h"
#include "res/Resource.h"

CRecentFileMenu::CRecentFileMenu(CommandSet& commands) {
    for (int i = 0; i < kRecentFiles; ++i) {
        QAction* a =
            commands.Add(ID_FILE_MRU_FILE1 + i, QString(), QStringLiteral("Open this document"));
        a->setVisible(false);
        m_actions.push_back(a);
    }
}

bool CRecentFileMenu::IsRecentCommand(int id) const {
    return id >= ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + kRecentFiles;
}

QStringList CRecentFileMenu::Files() const {
    auto settings = CMainFrame::UserSettings();
    QStringList files;
    for (int i = 1; i <= kRecentFiles; ++i) {
        const QString f =
            settings->value(QStringLiteral("Recent File List/File%1").arg(i)).toString();
        if (!f.isEmpty()) files.push_back(f);
    }
    return files;
}

void CRecentFileMenu::Add(const QString& path) {
    QStringList files = Files();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFiles) files.removeLast();
    Write(files);
}

void CRecentFileMenu::Remove(const QString& path) {
    QStringList files = Files();
    files.removeAll(path);
    Write(files);
}

void CRecentFileMenu::Write(const QStringList& files) {
    auto settings = CMainFrame::UserSettings();
    settings->remove(QStringLiteral("Recent File List"));
    for (int i = 0; i < files.size(); ++i)
        settings->setValue(QStringLiteral("Recent File List/File%1").arg(i + 1), files.at(i));
    Rebuild();
}

QString CRecentFileMenu::AbbreviateName(const QString& path, int maxLength) {
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

void CRecentFileMenu::Rebuild() {
    const QStringList files = Files();
    for (int i = 0; i < kRecentFiles; ++i) {
        QAction* a = m_actions[static_cast<std::size_t>(i)];
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
        m_actions.front()->setText(QStringLiteral("Recent File"));
        m_actions.front()->setVisible(true);
    }
}
