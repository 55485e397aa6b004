#pragma once

#include "editor/caret.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace App {

class ContentView;

// What the windows of one process share beyond preferences: the files handed over at start-up,
// whether launching has finished, the list of document windows, and the hooks through which a
// window asks the application shell for what lies beyond it (new windows, settings, updates).
class WindowSession {
public:
    static WindowSession &shared();

    // Files the system handed over that no window has taken yet, oldest first.
    QStringList pendingExternalURLs;
    // Where the caret goes in a file handed over with a position ("FILE:LINE:COL"), by the path
    // as handed over; the window that loads the file takes it.
    QHash<QString, Editor::CaretPosition> pendingCaretPositions;
    bool hasFinishedLaunching = false;

    struct Hooks {
        std::function<void()> openNewWindow;
        std::function<void(const QString &path)> openWindowForURL;
        std::function<void(ContentView *view)> showSettings;
        std::function<void()> checkForUpdatesIfDue;
        // A scratch document was saved elsewhere through the save panel (the scratch file goes).
        std::function<void(ContentView *view, const QString &scratchPath)> scratchExported;
    };
    Hooks hooks;

    // Every document window's root, oldest first.
    const QList<ContentView *> &views() const { return m_views; }
    void add(ContentView *view) { m_views.append(view); }
    void remove(ContentView *view) { m_views.removeAll(view); }
    // A titled window is about to close: every other window saves.
    void windowWillClose(ContentView *closing);
    // A titled window closed: when no other one is left shown, the session ended.
    void windowDidClose(ContentView *closed);

private:
    QList<ContentView *> m_views;
};

} // namespace App
