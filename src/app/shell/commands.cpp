#include "commands.h"

#include "app/model/fontsize.h"
#include "app/services/preferences.h"
#include "app/window/chrome.h"

#include "base/localization.h"
#include "base/notificationcenter.h"

#include "textview/findaction.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace App {

namespace {

using TextView::FindAction;

// A find action travels through the notification centre as its integer code.
QVariant findCode(FindAction action)
{
    return TextView::findActionCode(action);
}

std::function<void(QMainWindow *)> post(const QString &name, QVariant object = {})
{
    return [name, object](QMainWindow *) { NotificationCenter::defaultCenter().post(name, object); };
}

std::function<void(QMainWindow *)> run(std::function<void()> action)
{
    return [action = std::move(action)](QMainWindow *) {
        if (action)
            action();
    };
}

QString menuTitle(Command::Menu menu)
{
    switch (menu) {
    case Command::Menu::File: return loc("&File");
    case Command::Menu::Edit: return loc("&Edit");
    case Command::Menu::View: return loc("&View");
    case Command::Menu::Help: return loc("&Help");
    }
    return {};
}

} // namespace

QList<Command> allCommands(const CommandActions &actions)
{
    using M = Command::Menu;
    using K = QKeySequence;
    auto &preferences = Preferences::shared();
    return {
        {M::File, "new", "New", {K(Qt::CTRL | Qt::Key_N)}, run(actions.newWindow)},
        {M::File, "open", "Open…", {K(Qt::CTRL | Qt::Key_O)}, post(Notifications::openFile)},
        {M::File, "save", "Save…", {K(Qt::CTRL | Qt::Key_S)}, post(Notifications::saveFile)},
        {M::File, "close", "Close Window", {K(Qt::CTRL | Qt::Key_W)},
         [](QMainWindow *window) {
             if (window)
                 window->close();
         },
         true},
        {M::File, "quit", "Quit", {K(Qt::CTRL | Qt::Key_Q)}, run(actions.quit), true},

        {M::Edit, "find", "Find…", {K(Qt::CTRL | Qt::Key_F)},
         post(Notifications::findAction, findCode(FindAction::ShowFindInterface))},
        {M::Edit, "findNext", "Find Next", {K(Qt::CTRL | Qt::Key_G), K(Qt::Key_F3)},
         post(Notifications::findAction, findCode(FindAction::NextMatch))},
        {M::Edit, "findPrevious", "Find Previous", {K(Qt::CTRL | Qt::SHIFT | Qt::Key_G), K(Qt::SHIFT | Qt::Key_F3)},
         post(Notifications::findAction, findCode(FindAction::PreviousMatch))},
        {M::Edit, "hideFind", "Hide Find", {K(Qt::Key_Escape)},
         post(Notifications::findAction, findCode(FindAction::HideFindInterface))},
        {M::Edit, "replace", "Find & Replace", {K(Qt::CTRL | Qt::ALT | Qt::Key_F), K(Qt::CTRL | Qt::Key_H)},
         post(Notifications::findAction, findCode(FindAction::ShowReplaceInterface))},
        {M::Edit, "goToLine", "Go to Line…", {K(Qt::CTRL | Qt::Key_L)}, post(Notifications::goToLine)},
        {M::Edit, "reveal", "Reveal in Finder", {K(Qt::CTRL | Qt::SHIFT | Qt::Key_R)},
         post(Notifications::revealInFinder)},
        {M::Edit, "copyPath", "Copy Path", {K(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_C)},
         post(Notifications::copyPath)},
        {M::Edit, "copyJSONPath", "Copy JSON Path", {K(Qt::CTRL | Qt::ALT | Qt::Key_C)},
         post(Notifications::copyJSONPath)},
        {M::Edit, "nextError", "Find Next Error", {K(Qt::Key_F8)}, post(Notifications::findError, 1), true},
        {M::Edit, "previousError", "Find Previous Error", {K(Qt::SHIFT | Qt::Key_F8)},
         post(Notifications::findError, -1)},
        {M::Edit, "duplicateLine", "Duplicate Line", {K(Qt::CTRL | Qt::Key_D)}, post(Notifications::duplicateLine)},
        {M::Edit, "moveLineUp", "Move Line Up", {K(Qt::ALT | Qt::Key_Up)}, post(Notifications::moveLineUp)},
        {M::Edit, "moveLineDown", "Move Line Down", {K(Qt::ALT | Qt::Key_Down)}, post(Notifications::moveLineDown)},

        // Shared by every window, like the toolbar's controls.
        {M::View, "larger", "Larger Text", {K(Qt::CTRL | Qt::Key_Plus), K(Qt::CTRL | Qt::Key_Equal)},
         run([&preferences] { preferences.setFontSize(largerFontSize(preferences.fontSize())); })},
        {M::View, "smaller", "Smaller Text", {K(Qt::CTRL | Qt::Key_Minus)},
         run([&preferences] { preferences.setFontSize(smallerFontSize(preferences.fontSize())); })},
        {M::View, "lineNumbers", "Show Line Numbers", {},
         run([&preferences] { preferences.setShowLineNumbers(!preferences.showLineNumbers()); }), true},
        {M::View, "wordWrap", "Wrap Lines", {}, run([&preferences] { preferences.setWordWrap(!preferences.wordWrap()); })},
        {M::View, "counts", "Show Counts", {}, run([&preferences] { preferences.setShowCounts(!preferences.showCounts()); })},

        {M::Help, "about", "About Corvane", {}, run(actions.about)},
    };
}

QMenuBar *installMenus(QMainWindow *window, const CommandActions &actions)
{
    auto *bar = new QMenuBar(window);
    QMenu *menus[4] = {};
    auto &preferences = Preferences::shared();
    for (const Command &command : allCommands(actions)) {
        QMenu *&menu = menus[int(command.menu)];
        if (!menu) {
            menu = bar->addMenu(menuTitle(command.menu));
            menu->setAttribute(Qt::WA_WindowPropagation); // The drop-downs take the bar's theme colours.
        }
        if (command.separatorBefore)
            menu->addSeparator();
        QAction *item = menu->addAction(Chrome::literalTitle(loc(command.title)));
        item->setObjectName(command.id);
        item->setShortcuts(command.shortcuts);
        item->setShortcutContext(Qt::WindowShortcut);
        QObject::connect(item, &QAction::triggered, window, [window, action = command.action] { action(window); });

        // The View toggles show the shared preference's state.
        std::function<bool()> state;
        if (command.id == "lineNumbers")
            state = [&preferences] { return preferences.showLineNumbers(); };
        else if (command.id == "wordWrap")
            state = [&preferences] { return preferences.wordWrap(); };
        else if (command.id == "counts")
            state = [&preferences] { return preferences.showCounts(); };
        if (state) {
            item->setCheckable(true);
            item->setChecked(state());
            QObject::connect(&preferences, &Preferences::changed, item, [item, state] { item->setChecked(state()); });
        }
    }
    window->setMenuBar(bar);
    return bar;
}

} // namespace App
