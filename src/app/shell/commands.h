#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

#include <functional>

class QMainWindow;
class QMenuBar;

namespace App {

// One menu command: its title (a string-table key, the English title itself), its shortcuts
// (the first is shown in the menu) and what it does. Apart from About, New, Close Window and
// Quit, a command only posts a notification; the windows decide who acts.
struct Command {
    enum class Menu { File, Edit, View, Help };
    Menu menu;
    QString id;
    const char *title;
    QList<QKeySequence> shortcuts;
    std::function<void(QMainWindow *window)> action;
    bool separatorBefore = false;
};

// The hooks the commands that are not notifications call.
struct CommandActions {
    std::function<void()> about;
    std::function<void()> newWindow;
    std::function<void()> quit;
};

// Every command in menu order.
QList<Command> allCommands(const CommandActions &actions);

// Gives `window` the menu bar of the application: File, Edit, View and Help.
QMenuBar *installMenus(QMainWindow *window, const CommandActions &actions);

} // namespace App
