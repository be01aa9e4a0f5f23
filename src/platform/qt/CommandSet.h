#pragma once
// The program's commands: one action per command id, shared by the menus, tool
// bars, accelerators and context menus. Triggering routes the command along the
// current chain of targets (the active pane first); the first that handles it
// runs it. The targets' update handlers enable and check each action before a
// menu opens, before a command is routed, after it ran, and whenever the owner
// asks (focus changes, the status bar's tick). An action that no target claims
// is disabled.

#include <QAction>
#include <QObject>
#include <functional>
#include <map>
#include <span>
#include <vector>

#include "platform/qt/CommandTarget.h"

class QMenu;
class QToolBar;

class CommandSet : public QObject {
    Q_OBJECT
  public:
    using Route = std::function<std::vector<CommandTarget*>()>;

    explicit CommandSet(QObject* parent = nullptr);

    // `prompt` is the status-bar prompt, then after "\n" the tool tip.
    QAction* Add(int id, const QString& text, const QString& prompt = {},
                 const QList<QKeySequence>& keys = {});
    QAction* Action(int id) const;
    // An item of a context menu for the command, with the menu's own text and no
    // shortcut (a context menu shows no accelerator texts); owned by `menu`,
    // whose items are updated each time it opens.
    QAction* AddItem(QMenu* menu, int id, const QString& text);
    const std::map<int, QAction*>& Actions() const { return m_actions; }

    void SetRoute(Route route) { m_route = std::move(route); }
    // Runs the command when its rule enables it; true when a target ran it.
    bool Execute(int id);
    // Asks the targets for the state of one command, or of all.
    CCmdUI Query(int id) const;
    void Update(int id);
    void UpdateAll();
    // Updates the menu's actions each time it opens.
    void Watch(QMenu* menu);
    // Adds the commands (0: a separator) to a menu, which is then watched, or to
    // a tool bar.
    void Fill(QMenu* menu, std::span<const int> ids);
    void Fill(QToolBar* bar, std::span<const int> ids);

  signals:
    void Executed(int id);

  private:
    static void Apply(QAction* action, const CCmdUI& ui);

    Route m_route;
    std::map<int, QAction*> m_actions;
};
