#pragma once

// Helpers for the window tests: files on disk, waiting for loads and jobs, typing.
#include "app/services/fileassociations.h"
#include "app/services/preferences.h"
#include "app/services/updatechecker.h"
#include "app/window/contentview.h"
#include "app/window/documentjournal.h"
#include "app/window/windowsession.h"

#include "documents/document.h"

#include "base/timer.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QScreen>
#include <QTest>
#include <QThreadPool>

#include <fcntl.h>
#include <sys/stat.h>

namespace App::TestSupport {

// The clock every window timer runs on in these tests (auto-save, job delays, polls, toasts):
// it moves only when a test advances it, so no test waits for time to pass.
inline Base::ManualClock &windowClock()
{
    static Base::ManualClock clock;
    return clock;
}

// Moves the window clock on by `milliseconds`, then lets the event loop deliver what the timers
// that fell due started.
inline void advance(int milliseconds)
{
    windowClock().advance(milliseconds);
    QCoreApplication::processEvents();
}

// Settings in `settingsFolder` under `applicationName`, the window's timers on windowClock(),
// launching finished, and neither the first-run sheet over the windows nor an update check
// against the real host.
inline void setUpWindowTests(const QString &settingsFolder, const QString &applicationName)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder);
    QCoreApplication::setOrganizationName("CorvaneTests");
    QCoreApplication::setApplicationName(applicationName);
    windowClock();
    // Journals of the tests' documents stay beside their settings.
    DocumentJournal::setFolder(settingsFolder + QStringLiteral("/journal"));
    WindowSession::shared().hasFinishedLaunching = true;
    Preferences::shared().settings().setValue(FileAssociations::hasPromptedKey, true);
    Preferences::shared().settings().setValue(UpdateChecker::lastCheckKey, 4e9);
}

inline QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Moves the file's modification time `seconds` past `from`.
inline void touchAfter(const QString &path, const Documents::FileTime &from, double seconds)
{
    const std::int64_t total = from.seconds * 1'000'000'000 + from.nanoseconds + std::int64_t(seconds * 1e9);
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = total / 1'000'000'000;
    times[0].tv_nsec = times[1].tv_nsec = total % 1'000'000'000;
    utimensat(AT_FDCWD, path.toLocal8Bit().constData(), times, 0);
}

inline bool waitForLoad(ContentView &view, const QString &path)
{
    return QTest::qWaitFor(
        [&] { return !view.isLoading() && view.doc() && view.doc()->path == QFileInfo(path).absoluteFilePath().toStdString(); },
        10'000);
}

// Runs the window's background jobs to the end: the clock moves on to each job's start (never
// further, so no auto-save falls due on the way) and the results arrive from the thread pool.
inline bool waitForJobs(ContentView &view)
{
    QDeadlineTimer deadline(10'000);
    while (!deadline.hasExpired()) {
        if (const int next = view.jobs().untilNextStart(); next >= 0) {
            advance(next);
            continue;
        }
        if (!view.jobs().isAnyPending())
            return true;
        QTest::qWaitFor([&view] { return view.jobs().untilNextStart() >= 0 || !view.jobs().isAnyPending(); },
                        int(std::max<qint64>(1, deadline.remainingTime())));
    }
    return false;
}

// Types `keys` into the editor as key events, non-ASCII characters included.
inline void type(ContentView &view, const QString &keys)
{
    view.textView()->setFocus();
    for (QChar character : keys) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(character));
        QApplication::sendEvent(view.textView(), &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(character));
        QApplication::sendEvent(view.textView(), &release);
    }
}

} // namespace App::TestSupport

using namespace App::TestSupport;
