#include "commands.h"

#include "app/model/fontsize.h"
#include "app/services/preferences.h"
#include "app/window/chrome.h"
#include "app/window/documentwindow.h"
#include "app/window/statusmenus.h"

#include "editcommands.h"

#include "base/localization.h"
#include "base/notificationcenter.h"

#include "editor/editortextview.h"

#include "textview/findaction.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFontDialog>
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

// View → Font…: Qt's own dialog, since it lists fixed-pitch families only; the desktop's
// dialog would offer every family. The choice is stored, and every window follows it.
void chooseTextFont(QWidget *parent)
{
    Preferences &preferences = Preferences::shared();
    auto *dialog = new QFontDialog(Editor::editorFont(preferences.fontFamily(), preferences.fontSize()), parent);
    dialog->setObjectName(QStringLiteral("fontDialog"));
    dialog->setWindowTitle(loc("Font"));
    dialog->setOptions(QFontDialog::MonospacedFonts | QFontDialog::DontUseNativeDialog);
    // The dialog fills its family list when it is built and reads the options again only when
    // the writing system changes: choosing the current one again applies the filter.
    if (auto *writingSystem = dialog->findChild<QComboBox *>())
        emit writingSystem->activated(writingSystem->currentIndex());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QFontDialog::fontSelected, dialog, [](const QFont &font) {
        Preferences &chosen = Preferences::shared();
        chosen.setFontFamily(font.family());
        if (font.pointSizeF() > 0)
            chosen.setFontSize(font.pointSizeF());
    });
    dialog->open();
}

// A standard editing command, for whatever has the keyboard focus.
std::function<void(QMainWindow *)> edit(EditAction action)
{
    return [action](QMainWindow *) { performEditAction(action, QApplication::focusWidget()); };
}

// The window's view at `index` among those its document offers.
std::function<void(QMainWindow *)> view(int index)
{
    return [index](QMainWindow *window) {
        if (auto *document = qobject_cast<DocumentWindow *>(window))
            document->contentView()->showOfferedMode(index);
    };
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

        {M::Edit, "undo", "Undo", {K(Qt::CTRL | Qt::Key_Z)}, edit(EditAction::Undo)},
        {M::Edit, "redo", "Redo", {K(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), K(Qt::CTRL | Qt::Key_Y)}, edit(EditAction::Redo)},
        {M::Edit, "cut", "Cut", {K(Qt::CTRL | Qt::Key_X)}, edit(EditAction::Cut), true},
        {M::Edit, "copy", "Copy", {K(Qt::CTRL | Qt::Key_C)}, edit(EditAction::Copy)},
        {M::Edit, "paste", "Paste", {K(Qt::CTRL | Qt::Key_V)}, edit(EditAction::Paste)},
        {M::Edit, "delete", "Delete", {K(Qt::Key_Delete)}, edit(EditAction::Delete)},
        {M::Edit, "selectAll", "Select All", {K(Qt::CTRL | Qt::Key_A)}, edit(EditAction::SelectAll)},

        {M::Edit, "find", "Find…", {K(Qt::CTRL | Qt::Key_F)},
         post(Notifications::findAction, findCode(FindAction::ShowFindInterface)), true},
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

        // The window's views: the text, its structured view (table, preview or tree), the split.
        {M::View, "viewText", "Text", {K(Qt::CTRL | Qt::Key_1)}, view(0)},
        {M::View, "viewStructure", "Table, Preview or Tree", {K(Qt::CTRL | Qt::Key_2)}, view(1)},
        {M::View, "viewSplit", "Split", {K(Qt::CTRL | Qt::Key_3)}, view(2)},
        {M::View, "fullScreen", "Full Screen", {K(Qt::Key_F11)},
         [](QMainWindow *window) {
             if (window)
                 window->setWindowState(window->windowState() ^ Qt::WindowFullScreen);
         }},

        // Shared by every window, like the toolbar's controls.
        {M::View, "larger", "Larger Text", {K(Qt::CTRL | Qt::Key_Plus), K(Qt::CTRL | Qt::Key_Equal)},
         run([&preferences] { preferences.setFontSize(largerFontSize(preferences.fontSize())); })},
        {M::View, "smaller", "Smaller Text", {K(Qt::CTRL | Qt::Key_Minus)},
         run([&preferences] { preferences.setFontSize(smallerFontSize(preferences.fontSize())); })},
        {M::View, "font", "Font…", {}, [](QMainWindow *window) { chooseTextFont(window); }},
        {M::View, "lineNumbers", "Show Line Numbers", {},
         run([&preferences] { preferences.setShowLineNumbers(!preferences.showLineNumbers()); }), true},
        {M::View, "wordWrap", "Wrap Lines", {}, run([&preferences] { preferences.setWordWrap(!preferences.wordWrap()); })},
        {M::View, "counts", "Show Counts", {}, run([&preferences] { preferences.setShowCounts(!preferences.showCounts()); })},

        {M::Help, "about", "About Corvane", {}, run(actions.about)},
    };
}

namespace {

// File → Reopen with Encoding, Save with Encoding and Line Endings: the status bar's menus, for the
// keyboard. Filled when they open, from the window's document.
void addDocumentFormatMenus(QMenu *file, QMainWindow *window)
{
    auto *document = qobject_cast<DocumentWindow *>(window);
    if (!document)
        return;
    ContentView *view = document->contentView();
    QMenu *reopen = file->addMenu(loc("Reopen with Encoding"));
    reopen->setObjectName("reopenWithEncoding");
    QMenu *save = file->addMenu(loc("Save with Encoding"));
    save->setObjectName("saveWithEncoding");
    QMenu *endings = file->addMenu(loc("Line Endings"));
    endings->setObjectName("lineEndings");
    QObject::connect(file, &QMenu::aboutToShow, file, [view, reopen, save, endings] {
        for (QMenu *menu : {reopen, save, endings})
            menu->setEnabled(view->doc().has_value());
        if (!view->doc())
            return;
        StatusMenus::fillReopenMenu(reopen, *view->doc(),
                                    [view](Documents::Encoding encoding) { view->reopenWithEncoding(encoding); });
        StatusMenus::fillSaveMenu(save, *view->doc(), [view](Documents::Encoding encoding, bool withBOM) {
            view->saveWithEncoding(encoding, withBOM);
        });
        StatusMenus::fillLineEndingMenu(endings, view->doc()->lineEnding,
                                        [view](Documents::LineEnding ending) { view->setLineEnding(ending); });
    });
}

// View → Indentation: the status bar's indentation menu, for the keyboard.
void addIndentationMenu(QMenu *viewMenu, QMainWindow *window)
{
    auto *document = qobject_cast<DocumentWindow *>(window);
    if (!document)
        return;
    ContentView *view = document->contentView();
    viewMenu->addSeparator();
    QMenu *indentation = viewMenu->addMenu(loc("Indentation"));
    indentation->setObjectName("indentation");
    QObject::connect(viewMenu, &QMenu::aboutToShow, indentation, [view, indentation] {
        indentation->setEnabled(view->doc().has_value());
        if (!view->doc())
            return;
        StatusMenus::fillIndentationMenu(
            indentation, view->session().indentation(), view->doc()->kind != Documents::DocKind::Yaml,
            [view](TextView::IndentStyle style) { view->setIndentation(style); },
            [view] { view->convertIndentation(); });
    });
}

// The editing commands are enabled as the focused widget allows.
void trackEditing(QMenu *edit, QMainWindow *window)
{
    const auto update = [edit, window] {
        QWidget *focus = QApplication::focusWidget();
        if (focus && focus->window() != window)
            return;
        for (const auto &[id, action] : {std::pair{"undo", EditAction::Undo}, std::pair{"redo", EditAction::Redo},
                                         std::pair{"cut", EditAction::Cut}, std::pair{"copy", EditAction::Copy},
                                         std::pair{"paste", EditAction::Paste}, std::pair{"delete", EditAction::Delete},
                                         std::pair{"selectAll", EditAction::SelectAll}})
            if (QAction *item = edit->findChild<QAction *>(QString::fromLatin1(id)))
                item->setEnabled(editActionAvailable(action, focus));
    };
    QObject::connect(edit, &QMenu::aboutToShow, edit, update);
    QObject::connect(qApp, &QApplication::focusChanged, edit, update);
}

// View → Text, Table/Preview/Tree and Split are enabled as the window's document offers them.
void trackViews(QMenu *viewMenu, QMainWindow *window)
{
    auto *document = qobject_cast<DocumentWindow *>(window);
    if (!document)
        return;
    QObject::connect(viewMenu, &QMenu::aboutToShow, viewMenu, [viewMenu, document] {
        const std::size_t offered = document->contentView()->offeredModeCount();
        for (const auto &[id, index] : {std::pair{"viewText", 0u}, std::pair{"viewStructure", 1u}, std::pair{"viewSplit", 2u}})
            if (QAction *item = viewMenu->findChild<QAction *>(QString::fromLatin1(id)))
                item->setEnabled(index < offered);
        if (QAction *full = viewMenu->findChild<QAction *>(QStringLiteral("fullScreen")))
            full->setChecked(document->isFullScreen());
    });
}

} // namespace

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
        if (command.id == "save")
            addDocumentFormatMenus(menu, window);

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
        if (command.id == "fullScreen")
            item->setCheckable(true);
    }
    trackEditing(menus[int(Command::Menu::Edit)], window);
    trackViews(menus[int(Command::Menu::View)], window);
    addIndentationMenu(menus[int(Command::Menu::View)], window);
    window->setMenuBar(bar);
    return bar;
}

} // namespace App
