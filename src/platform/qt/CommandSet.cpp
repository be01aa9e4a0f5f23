#include "platform/qt/CommandSet.h"

#include <QMenu>
#include <QToolBar>

CommandSet::CommandSet(QObject* parent) : QObject(parent) {}

QAction* CommandSet::Add(int id, const QString& text, const QString& prompt,
                         const QList<QKeySequence>& keys) {
    auto* action = new QAction(text, this);
    action->setData(id);
    const auto parts = prompt.split('\n');
    if (!prompt.isEmpty()) action->setStatusTip(parts.front());
    if (parts.size() > 1) action->setToolTip(parts.at(1));
    action->setShortcuts(keys);
    connect(action, &QAction::triggered, this, [this, id] { Execute(id); });
    m_actions[id] = action;
    return action;
}

QAction* CommandSet::Action(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

QAction* CommandSet::AddItem(QMenu* menu, int id, const QString& text) {
    auto* item = new QAction(text, menu);
    item->setData(id);
    if (const QAction* shared = Action(id)) item->setStatusTip(shared->statusTip());
    connect(item, &QAction::triggered, this, [this, id] { Execute(id); });
    Apply(item, Query(id));
    menu->addAction(item);
    return item;
}

void CommandSet::Apply(QAction* action, const CCmdUI& ui) {
    action->setEnabled(ui.IsEnabled());
    action->setCheckable(ui.IsChecked() || action->isCheckable());
    action->setChecked(ui.IsChecked());
}

CCmdUI CommandSet::Query(int id) const {
    CCmdUI ui(id);
    if (m_route)
        for (CommandTarget* t : m_route())
            if (t && t->OnUpdateCommand(ui)) break;
    return ui;
}

void CommandSet::Update(int id) {
    QAction* action = Action(id);
    if (!action) return;
    Apply(action, Query(id));
}

void CommandSet::UpdateAll() {
    for (const auto& [id, action] : m_actions) Update(id);
}

bool CommandSet::Execute(int id) {
    // The rule is tested before the command is routed: an accelerator of a
    // disabled command does nothing.
    if (!Query(id).IsEnabled()) {
        Update(id);
        return false;
    }
    bool ran = false;
    if (m_route)
        for (CommandTarget* t : m_route())
            if (t && t->OnCommand(id)) {
                ran = true;
                break;
            }
    UpdateAll();
    if (ran) emit Executed(id);
    return ran;
}

void CommandSet::Watch(QMenu* menu) {
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        for (QAction* a : menu->actions())
            if (a->data().isValid()) Apply(a, Query(a->data().toInt()));
    });
}

void CommandSet::Fill(QMenu* menu, std::span<const int> ids) {
    for (int id : ids) {
        if (id == 0)
            menu->addSeparator();
        else if (QAction* a = Action(id))
            menu->addAction(a);
    }
    Watch(menu);
}

void CommandSet::Fill(QToolBar* bar, std::span<const int> ids) {
    for (int id : ids) {
        if (id == 0)
            bar->addSeparator();
        else if (QAction* a = Action(id))
            bar->addAction(a);
    }
}
