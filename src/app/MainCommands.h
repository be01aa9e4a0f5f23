#pragma once
// The main window's commands as data: each one's id, menu text, prompt (the
// status bar's text, a line feed, the tool tip) and accelerators. The menus,
// the tool bar and the context menu show them by id.

#include <QKeySequence>
#include <QList>
#include <vector>

struct MainCommand {
    int id;
    const char* text;
    const char* prompt;
    QList<QKeySequence> keys;
};

const std::vector<MainCommand>& MainCommands();
