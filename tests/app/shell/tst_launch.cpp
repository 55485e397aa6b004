// The real corvane binary started over hostile state files: a named pipe, a device or an
// oversized file where its settings or mimeapps.list belong. Whatever is there, a window is
// shown within a bound and the editor still answers SIGTERM, and nothing it refused to read is
// written over. Each run has its own HOME, XDG folders and no display (offscreen); the launch
// report (CORVANE_LAUNCH_REPORT) says when a window and the first-run sheet first paint.
#include "support/fifowatchdog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <sys/stat.h>

namespace {

// Generous: a loaded machine starts the editor slowly, a blocked one never shows it.
constexpr int shownWithinMs = 30'000;

struct stat statusOf(const QString &path)
{
    struct stat status {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status;
}

} // namespace

class TestLaunch : public QObject {
    Q_OBJECT

private slots:
    void informationalOptionsNeedNoDisplay_data();
    void informationalOptionsNeedNoDisplay();
    void windowIsShownWhateverTheStateFilesAre_data();
    void windowIsShownWhateverTheStateFilesAre();
};

void TestLaunch::windowIsShownWhateverTheStateFilesAre_data()
{
    QTest::addColumn<QString>("file");     // under XDG_CONFIG_HOME
    QTest::addColumn<QString>("obstacle"); // fifo, device, oversized
    QTest::addColumn<bool>("firstRun");    // whether the first-run sheet is due, and must paint
    QTest::newRow("settingsAreANamedPipe") << "Corvane/Corvane.conf" << "fifo" << true;
    QTest::newRow("settingsAreALinkToADevice") << "Corvane/Corvane.conf" << "device" << true;
    QTest::newRow("settingsAreTwoMegabytes") << "Corvane/Corvane.conf" << "oversized" << true;
    QTest::newRow("mimeappsListIsANamedPipe") << "mimeapps.list" << "fifo" << true;
    QTest::newRow("mimeappsListIsTenMegabytes") << "mimeapps.list" << "oversized" << true;
}

void TestLaunch::windowIsShownWhateverTheStateFilesAre()
{
    QFETCH(QString, file);
    QFETCH(QString, obstacle);
    QFETCH(bool, firstRun);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    for (const char *folder : {"home", "config/Corvane", "data", "cache", "runtime"})
        QVERIFY(QDir().mkpath(root.filePath(folder)));
    QVERIFY(::chmod(QFile::encodeName(root.filePath("runtime")).constData(), 0700) == 0);
    const QString path = root.filePath("config/" + file);
    QByteArray oversized;
    if (obstacle == "fifo") {
        QVERIFY(makeFifo(path));
    } else if (obstacle == "device") {
        QVERIFY(QFile::link("/dev/zero", path));
    } else {
        oversized = file.endsWith(".conf") ? "[General]\nthemeId=" + QByteArray(2 << 20, 'x') + "\n"
                                           : "[Default Applications]\n" + QByteArray(10 << 20, '\n');
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(oversized), qint64(oversized.size()));
    }
    const struct stat before = statusOf(path);
    // Releases a reader blocked on the pipe after the bound, so that a failure ends.
    FifoWatchdog watchdog(path, std::chrono::milliseconds(shownWithinMs + 5'000));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", root.filePath("home"));
    environment.insert("XDG_CONFIG_HOME", root.filePath("config"));
    environment.insert("XDG_DATA_HOME", root.filePath("data"));
    environment.insert("XDG_CACHE_HOME", root.filePath("cache"));
    environment.insert("XDG_RUNTIME_DIR", root.filePath("runtime"));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("CORVANE_LAUNCH_REPORT", "1");
    // Settings that cannot be read hold no time of a last update check: whatever check the
    // editor starts goes nowhere.
    for (const char *proxy : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        environment.insert(proxy, "http://127.0.0.1:9");
    environment.remove("no_proxy");
    environment.remove("NO_PROXY");
    QProcess editor;
    editor.setProcessEnvironment(environment);
    editor.setProcessChannelMode(QProcess::SeparateChannels);
    editor.start(CORVANE_BINARY, QStringList{});
    QVERIFY(editor.waitForStarted());

    QByteArray report;
    const auto saw = [&](const QByteArray &word) {
        for (const QByteArray &line : report.split('\n'))
            if (line.startsWith(word + ' '))
                return true;
        return false;
    };
    QElapsedTimer waited;
    waited.start();
    while (!(saw("shown") && (!firstRun || saw("sheet"))) && waited.elapsed() < shownWithinMs
           && editor.state() == QProcess::Running) {
        editor.waitForReadyRead(200);
        report += editor.readAllStandardOutput();
    }
    const bool shown = saw("shown");
    const bool sheet = saw("sheet");
    if (!shown || (firstRun && !sheet)) {
        editor.kill();
        editor.waitForFinished(10'000);
        QFAIL(qPrintable("nothing shown within the bound; the editor said: " + report + "\n"
                         + editor.readAllStandardError().left(2000)));
    }
    // The event loop runs: SIGTERM is a normal quit.
    ::kill(pid_t(editor.processId()), SIGTERM);
    const bool ended = editor.waitForFinished(20'000);
    if (!ended) {
        editor.kill();
        editor.waitForFinished(10'000);
    }
    QVERIFY2(ended, "SIGTERM was not heard");
    QCOMPARE(editor.exitStatus(), QProcess::NormalExit);
    QCOMPARE(editor.exitCode(), 0);
    QVERIFY(!watchdog.fired());
    // What was refused is still there as it was, not written over.
    const struct stat after = statusOf(path);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_size, before.st_size);
}

void TestLaunch::informationalOptionsNeedNoDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("firstLine");
    const QByteArray usage = "usage: corvane [--new-window] [FILE[:LINE[:COL]]…]";
    const QByteArray version = "corvane " CORVANE_VERSION;
    QTest::newRow("help") << QStringList{"--help"} << usage;
    QTest::newRow("shortHelp") << QStringList{"-h"} << usage;
    QTest::newRow("version") << QStringList{"--version"} << version;
    QTest::newRow("amongFiles") << QStringList{"a.json:3:2", "--version"} << version;
    QTest::newRow("firstOneWins") << QStringList{"--version", "--help"} << version;
}

void TestLaunch::informationalOptionsNeedNoDisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, firstLine);
    QTemporaryDir root;
    QVERIFY(QDir().mkdir(root.filePath("runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    // No display of any kind and no platform chosen: a GUI application could not start at all.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    environment.insert("HOME", root.filePath("home"));
    environment.insert("XDG_RUNTIME_DIR", root.filePath("runtime"));
    QProcess editor;
    editor.setProcessEnvironment(environment);
    editor.start(CORVANE_BINARY, arguments);
    QVERIFY(editor.waitForFinished(shownWithinMs));
    QCOMPARE(editor.exitStatus(), QProcess::NormalExit);
    QCOMPARE(editor.exitCode(), 0);
    QCOMPARE(editor.readAllStandardOutput().split('\n').first(), firstLine);
    QCOMPARE(editor.readAllStandardError(), QByteArray());
    // No single-instance socket or lock was made: no running editor was woken.
    QCOMPARE(QDir(root.filePath("runtime")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

QTEST_GUILESS_MAIN(TestLaunch)
#include "tst_launch.moc"
