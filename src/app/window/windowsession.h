#pragma once

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

private:
    QList<ContentView *> m_views;
};

} // namespace App
