#pragma once

// Helpers for the window tests: files on disk, waiting for loads and jobs, typing.
#include "app/services/fileassociations.h"
#include "app/services/preferences.h"
#include "app/services/updatechecker.h"
#include "app/window/contentview.h"
#include "app/window/windowsession.h"

#include "documents/document.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QScreen>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace App::TestSupport {

// Settings in `settingsFolder` under `applicationName`, the window's delays shortened (the
// auto-save to `autoSaveMs`), launching finished, and neither the first-run sheet over the
// windows nor an update check against the real host.
inline void setUpWindowTests(const QString &settingsFolder, const QString &applicationName, int autoSaveMs)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder);
    QCoreApplication::setOrganizationName("CorvaneTests");
    QCoreApplication::setApplicationName(applicationName);
    auto &timings = WindowTimings::shared();
    timings.autoSaveMs = autoSaveMs;
    timings.toastMs = 400;
    timings.jobDelayScale = 0.2;
    timings.restoreRetryMs = 20;
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

inline void screenshot(QWidget &widget, const QString &name)
{
    const QString folder = qEnvironmentVariable("CORVANE_SCREENSHOT_DIR");
    if (folder.isEmpty())
        return;
    // On a real display the whole screen, so that menus and popups are in the picture.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        QTest::qWait(150);
        QGuiApplication::primaryScreen()->grabWindow(0).save(folder + "/" + name + ".png");
        return;
    }
    widget.grab().save(folder + "/" + name + ".png");
}

inline bool waitForLoad(ContentView &view, const QString &path)
{
    return QTest::qWaitFor(
        [&] { return !view.isLoading() && view.doc() && view.doc()->path == QFileInfo(path).absoluteFilePath().toStdString(); },
        10'000);
}

inline bool waitForJobs(ContentView &view)
{
    return QTest::qWaitFor([&] { return !view.jobs().isAnyPending(); }, 10'000);
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
