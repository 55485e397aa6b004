// The scratch close guard on real document windows (offscreen) over real scratch files in
// temporary folders. The questions are answered by a script, except in one test that clicks the
// real alert and save panel.
#include "app/window/contentview.h"
#include "app/window/documentpanels.h"
#include "app/window/documentwindow.h"
#include "app/window/scratchcloseguard.h"
#include "app/window/windowsession.h"

#include "app/services/fileassociations.h"
#include "app/services/preferences.h"
#include "app/services/updatechecker.h"
#include "app/services/recentsstore.h"

#include "documents/scratchfile.h"

#include "base/localization.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <cerrno>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace App;

Q_DECLARE_METATYPE(App::ScratchCloseAnswer)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void type(ContentView &view, const QString &keys)
{
    view.textView()->setFocus();
    for (QChar character : keys) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(character));
        QApplication::sendEvent(view.textView(), &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(character));
        QApplication::sendEvent(view.textView(), &release);
    }
}

dev_t deviceOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_dev : dev_t(-1);
}

// Hidden files a failed or finished copy might have left in `folder`.
QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).filter(QRegularExpression("^\\."));
}

// What the user will answer, and what the guard showed on the way.
struct Script {
    ScratchCloseAnswer answer = ScratchCloseAnswer::Cancel;
    std::optional<QString> destination;
    QString scratch;
    int asked = 0;
    int panels = 0;
    QByteArray fileWhenAsked;
    QString proposedName;

    ScratchCloseGuard::Questions questions()
    {
        ScratchCloseGuard::Questions questions;
        questions.askToKeep = [this](DocumentWindow *) {
            ++asked;
            fileWhenAsked = readFile(scratch);
            return answer;
        };
        questions.chooseDestination = [this](DocumentWindow *, const QString &proposed) {
            ++panels;
            proposedName = proposed;
            return destination;
        };
        return questions;
    }
};

} // namespace

class TestScratchGuard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void answers_data();
    void answers();
    void emptyScratchClosesWithoutAQuestion();
    void unreadableScratchClosesWithoutAQuestion_data();
    void unreadableScratchClosesWithoutAQuestion();
    void closingSavesThatWindowFirst();
    void copiesAcrossFileSystems_data();
    void copiesAcrossFileSystems();
    void failedReplacementKeepsBothFiles_data();
    void failedReplacementKeepsBothFiles();
    void failedScratchSaveIsLeftToTheWindow();
    void externalChangeKeepsTheWindowOpen();
    void realAlertAndSavePanel();
    void savingElsewhereDetachesTheGuard();
    void liveWindowGoesAfterClosing();
    void quittingClosesWithoutAQuestion();

private:
    QString path(const QString &name) const { return m_folder->filePath(name); }
    QString newScratch(const QString &root)
    {
        const auto created = Documents::ScratchFile::create((root + "/Corvane/scratch").toStdString());
        return created ? QString::fromStdString(*created) : QString();
    }
    // A shown scratch window with its document loaded and its guard answering from `script`.
    DocumentWindow *openScratchWindow(const QString &scratch, Script &script)
    {
        auto *window = new DocumentWindow({true, scratch, {}});
        m_windows.emplace_back(window);
        window->show();
        const bool loaded = QTest::qWaitFor(
            [&] { return window->contentView()->doc() && !window->contentView()->isLoading(); }, 10'000);
        if (!loaded)
            return nullptr;
        attachScratchDelegate(window, scratch);
        script.scratch = scratch;
        window->scratchGuard()->setQuestions(script.questions());
        return window;
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_scratch;
    QTemporaryDir m_settings;
    std::vector<QPointer<DocumentWindow>> m_windows;
    QString m_mounted;
};

void TestScratchGuard::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
    QCoreApplication::setOrganizationName("CorvaneTests");
    QCoreApplication::setApplicationName("ScratchGuard");
    // Only the guard's forced save may write the file before the question.
    WindowTimings::shared().autoSaveMs = 600'000;
    WindowTimings::shared().jobDelayScale = 0.2;
    WindowTimings::shared().restoreRetryMs = 20;
    WindowSession::shared().hasFinishedLaunching = true;
    Preferences::shared().setSessionEnded(false);
    // No first-run sheet over the windows, no update check against the real host.
    Preferences::shared().settings().setValue(FileAssociations::hasPromptedKey, true);
    Preferences::shared().settings().setValue(UpdateChecker::lastCheckKey, 4e9);
}

void TestScratchGuard::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_scratch = newScratch(m_folder->path());
    QVERIFY(!m_scratch.isEmpty());
    RecentsStore::shared().clear();
}

void TestScratchGuard::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog *>(widget))
            widget->close();
    for (auto &window : m_windows)
        delete window.data();
    m_windows.clear();
    if (!m_mounted.isEmpty())
        ::umount2(QFile::encodeName(m_mounted).constData(), MNT_DETACH);
    m_mounted.clear();
    QFile(m_scratch).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    m_folder.reset();
}

// ---- The three answers ------------------------------------------------------------------------

void TestScratchGuard::answers_data()
{
    QTest::addColumn<ScratchCloseAnswer>("answer");
    QTest::addColumn<std::optional<QString>>("destination");
    QTest::addColumn<QByteArray>("existing");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("scratchStays");
    QTest::addColumn<int>("panels");
    using A = ScratchCloseAnswer;
    const std::optional<QString> none;
    QTest::newRow("save moves the file to the chosen name and closes")
        << A::Save << std::optional<QString>("kept.txt") << QByteArray() << true << false << 1;
    QTest::newRow("save over an existing file replaces it")
        << A::Save << std::optional<QString>("kept.txt") << QByteArray("old text\n") << true << false << 1;
    QTest::newRow("save, then cancelling the panel keeps window and file")
        << A::Save << none << QByteArray() << false << true << 1;
    QTest::newRow("save, then a panel without a name keeps window and file")
        << A::Save << std::optional<QString>("") << QByteArray() << false << true << 1;
    QTest::newRow("don't save deletes the file and closes") << A::DontSave << none << QByteArray() << true << false << 0;
    QTest::newRow("cancel keeps window and file") << A::Cancel << none << QByteArray() << false << true << 0;
}

void TestScratchGuard::answers()
{
    QFETCH(ScratchCloseAnswer, answer);
    QFETCH(std::optional<QString>, destination);
    QFETCH(QByteArray, existing);
    QFETCH(bool, closes);
    QFETCH(bool, scratchStays);
    QFETCH(int, panels);
    Script script;
    script.answer = answer;
    if (destination && !destination->isEmpty())
        destination = path(*destination);
    script.destination = destination;
    if (!existing.isEmpty())
        writeFile(*destination, existing);
    DocumentWindow *window = openScratchWindow(m_scratch, script);
    QVERIFY(window);
    type(*window->contentView(), "hello");

    QCOMPARE(window->close(), closes);
    QCOMPARE(window->isVisible(), !closes);
    QCOMPARE(script.asked, 1);
    QCOMPARE(script.panels, panels);
    QCOMPARE(QFile::exists(m_scratch), scratchStays);
    if (scratchStays)
        QCOMPARE(readFile(m_scratch), QByteArray("hello"));
    if (panels == 1)
        QCOMPARE(script.proposedName, QFileInfo(m_scratch).fileName());
    const bool kept = answer == ScratchCloseAnswer::Save && closes;
    if (kept) {
        QCOMPARE(readFile(*destination), QByteArray("hello"));
        QVERIFY(!RecentsStore::shared().items().isEmpty());
        QCOMPARE(RecentsStore::shared().items().first().path, *destination);
        QVERIFY(leftovers(m_folder->path()).isEmpty());
    } else {
        QVERIFY(RecentsStore::shared().items().isEmpty());
    }
    QCOMPARE(window->scratchGuard() != nullptr, !closes);
}

// ---- Empty and unreadable files ---------------------------------------------------------------

void TestScratchGuard::emptyScratchClosesWithoutAQuestion()
{
    Script script;
    script.answer = ScratchCloseAnswer::Cancel;
    DocumentWindow *window = openScratchWindow(m_scratch, script);
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QFileInfo(m_scratch).fileName() + "[*]");
    QVERIFY(window->close());
    QCOMPARE(script.asked, 0);
    QVERIFY(!QFile::exists(m_scratch));
    QVERIFY(!scratchDelegates().contains(window));
}

void TestScratchGuard::unreadableScratchClosesWithoutAQuestion_data()
{
    QTest::addColumn<bool>("folderInItsPlace");
    QTest::newRow("scratch file gone") << false;
    QTest::newRow("a folder where the file was, which stays") << true;
}

void TestScratchGuard::unreadableScratchClosesWithoutAQuestion()
{
    QFETCH(bool, folderInItsPlace);
    Script script;
    script.answer = ScratchCloseAnswer::Cancel;
    DocumentWindow *window = openScratchWindow(m_scratch, script);
    QVERIFY(window);
    QVERIFY(QFile::remove(m_scratch));
    if (folderInItsPlace) {
        QVERIFY(QDir().mkdir(m_scratch));
        writeFile(m_scratch + "/inside.txt", "x");
    }
    QVERIFY(window->close());
    QCOMPARE(script.asked, 0);
    QCOMPARE(QFileInfo(m_scratch).isDir(), folderInItsPlace);
}

// ---- The forced save --------------------------------------------------------------------------

void TestScratchGuard::closingSavesThatWindowFirst()
{
    Script script, otherScript;
    script.answer = ScratchCloseAnswer::Cancel;
    DocumentWindow *window = openScratchWindow(m_scratch, script);
    const QString otherScratch = newScratch(m_folder->path());
    DocumentWindow *other = openScratchWindow(otherScratch, otherScript);
    QVERIFY(window && other);
    type(*window->contentView(), "draft one");
    type(*other->contentView(), "draft two");
    QCOMPARE(readFile(m_scratch), QByteArray());

    QVERIFY(!window->close());
    QCOMPARE(script.fileWhenAsked, QByteArray("draft one"));
    // Only the closing window was asked to save.
    QCOMPARE(readFile(otherScratch), QByteArray());
    QVERIFY(other->contentView()->isDirty());
    QVERIFY(!window->contentView()->isDirty());
}

// ---- Moving and copying -----------------------------------------------------------------------

void TestScratchGuard::copiesAcrossFileSystems_data()
{
    QTest::addColumn<QByteArray>("existing");
    QTest::newRow("new destination") << QByteArray();
    QTest::newRow("existing destination replaced") << QByteArray("old\n");
}

void TestScratchGuard::copiesAcrossFileSystems()
{
    QFETCH(QByteArray, existing);
    QTemporaryDir memory("/dev/shm/corvane-scratch-XXXXXX");
    if (!memory.isValid())
        QSKIP("no /dev/shm here");
    const QString scratch = newScratch(memory.path());
    QVERIFY(!scratch.isEmpty());
    if (deviceOf(memory.path()) == deviceOf(m_folder->path()))
        QSKIP("/dev/shm and the temporary folder share a file system here");
    const QString destination = path("copied.txt");
    if (!existing.isEmpty()) {
        writeFile(destination, existing);
        QFile::setPermissions(destination, QFile::ReadOwner | QFile::WriteOwner);
    }
    QFile::setPermissions(scratch, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);

    Script script;
    script.answer = ScratchCloseAnswer::Save;
    script.destination = destination;
    DocumentWindow *window = openScratchWindow(scratch, script);
    QVERIFY(window);
    type(*window->contentView(), "across");
    QVERIFY(window->close());
    QCOMPARE(readFile(destination), QByteArray("across"));
    QVERIFY(!QFile::exists(scratch));
    const QFile::Permissions modeBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                        | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther
                                        | QFile::ExeOther;
    // A new file keeps the note's mode, as a move would; a file replaced keeps its own.
    QCOMPARE(QFileInfo(destination).permissions() & modeBits,
             existing.isEmpty() ? QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                : QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(leftovers(m_folder->path()).isEmpty());
    QCOMPARE(RecentsStore::shared().items().first().path, destination);
}

void TestScratchGuard::failedReplacementKeepsBothFiles_data()
{
    QTest::addColumn<QString>("setup");
    QTest::newRow("destination is a folder") << "folder";
    QTest::newRow("destination's parent is a file") << "parent is a file";
    QTest::newRow("destination on a full file system") << "full";
}

void TestScratchGuard::failedReplacementKeepsBothFiles()
{
    QFETCH(QString, setup);
    QString destination, folder;
    QByteArray existing;
    if (setup == "folder") {
        folder = m_folder->path();
        destination = path("taken");
        QVERIFY(QDir().mkdir(destination));
        writeFile(destination + "/inside.txt", "inside");
    } else if (setup == "parent is a file") {
        folder = m_folder->path();
        writeFile(path("plain.txt"), "plain");
        destination = path("plain.txt/kept.txt");
    } else {
        folder = path("full");
        QVERIFY(QDir().mkdir(folder));
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("cannot mount a small tmpfs here");
        m_mounted = folder;
        destination = folder + "/kept.txt";
        existing = "old text\n";
        writeFile(destination, existing);
        const int fd = ::open(QFile::encodeName(folder + "/filler").constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        const QByteArray page(4096, 'f');
        while (::write(fd, page.constData(), page.size()) > 0) {
        }
        QCOMPARE(errno, ENOSPC);
        ::close(fd);
    }

    Script script;
    script.answer = ScratchCloseAnswer::Save;
    script.destination = destination;
    DocumentWindow *window = openScratchWindow(m_scratch, script);
    QVERIFY(window);
    type(*window->contentView(), "precious");
    QVERIFY(!window->close());
    QVERIFY(window->isVisible());
    QCOMPARE(readFile(m_scratch), QByteArray("precious"));
    QVERIFY(window->contentView()->errorMessage().startsWith("Could not save " + destination + ": "));
    QTRY_VERIFY(window->contentView()->errorAlert() && window->contentView()->errorAlert()->isVisible());
    QVERIFY(leftovers(folder).isEmpty());
    QVERIFY(RecentsStore::shared().items().isEmpty());
    if (setup == "folder")
        QCOMPARE(readFile(destination + "/inside.txt"), QByteArray("inside"));
    if (!existing.isEmpty())
        QCOMPARE(readFile(destination), existing);
    // The guard is still there: the next close asks again.
    QVERIFY(window->scratchGuard());
}

void TestScratchGuard::failedScratchSaveIsLeftToTheWindow()
{
    Script script;
    script.answer = ScratchCloseAnswer::DontSave;
    DocumentWindow *window = openScratchWindow(m_scratch, script);
    QVERIFY(window);
    // The owner may not write: refused for root too.
    QVERIFY(QFile::setPermissions(m_scratch, QFile::ReadOwner));
    type(*window->contentView(), "unsaved");

    // The window asks first, without blocking; the note's own question never comes.
    QVERIFY(!window->close());
    QMessageBox *question = window->contentView()->unsavedEditsQuestion();
    QVERIFY(question && question->isVisible());
    question->findChild<QAbstractButton *>("cancel")->click();
    QTRY_VERIFY(!window->contentView()->unsavedEditsQuestion());
    QVERIFY(window->isVisible());
    QCOMPARE(script.asked, 0);
    QVERIFY(QFile::exists(m_scratch));

    QVERIFY(!window->close());
    question = window->contentView()->unsavedEditsQuestion();
    QVERIFY(question);
    question->findChild<QAbstractButton *>("discard")->click();
    QTRY_VERIFY(!window->isVisible());
    QCOMPARE(script.asked, 0);
    // Never deleted behind a failed save: it keeps what it last held.
    QVERIFY(QFile::exists(m_scratch));
}

void TestScratchGuard::externalChangeKeepsTheWindowOpen()
{
    Script script;
    script.answer = ScratchCloseAnswer::DontSave;
    DocumentWindow *window = openScratchWindow(m_scratch, script);
    QVERIFY(window);
    type(*window->contentView(), "mine");
    // Another program writes the scratch file: the window's save stops to ask which text wins.
    writeFile(m_scratch, "theirs");
    const auto mtime = *window->contentView()->doc()->mtime;
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = mtime.seconds + 10;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(m_scratch).constData(), times, 0), 0);

    QVERIFY(!window->close());
    QCOMPARE(script.asked, 0);
    QVERIFY(window->contentView()->externalChangePending());
    QCOMPARE(readFile(m_scratch), QByteArray("theirs"));
}

// ---- The real alert and panel -----------------------------------------------------------------

void TestScratchGuard::realAlertAndSavePanel()
{
    Script unused;
    DocumentWindow *window = openScratchWindow(m_scratch, unused);
    QVERIFY(window);
    window->scratchGuard()->setQuestions(ScratchCloseGuard::Questions::dialogs());
    type(*window->contentView(), "real");
    const QString destination = path("chosen/real.txt");
    QVERIFY(QDir().mkdir(path("chosen")));

    const QString desktop = DocumentPanels::defaultSaveDirectory();
    const QString startFolder = QDir(desktop.isEmpty() ? QDir::homePath() : desktop).absolutePath();
    QStringList seen;
    QTimer driver;
    driver.setInterval(20);
    connect(&driver, &QTimer::timeout, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *alert = qobject_cast<QMessageBox *>(modal); alert && alert->objectName() == "scratchCloseAlert") {
            QStringList buttons;
            for (QAbstractButton *button : alert->buttons())
                buttons << button->text();
            std::sort(buttons.begin(), buttons.end());
            seen << alert->text() << alert->informativeText() << buttons.join('|')
                 << alert->defaultButton()->text() << alert->escapeButton()->text();
            alert->defaultButton()->click();
        } else if (auto *panel = qobject_cast<QFileDialog *>(modal); panel && panel->objectName() == "scratchSavePanel") {
            if (panel->property("seen").isNull()) {
                panel->setProperty("seen", true);
                seen << panel->windowTitle() << QFileInfo(panel->selectedFiles().value(0)).fileName()
                     << QString::number(panel->acceptMode() == QFileDialog::AcceptSave)
                     << panel->directory().absolutePath();
            }
            // What a user types; selectFile leaves a focused name field alone.
            if (panel->selectedFiles().value(0) != destination) {
                if (auto *name = panel->findChild<QLineEdit *>("fileNameEdit"))
                    name->setText(destination);
            }
            else
                QMetaObject::invokeMethod(panel, "accept");
        }
    });
    driver.start();
    QVERIFY(window->close());
    driver.stop();
    QCOMPARE(seen, (QStringList{loc("scratch.close.prompt"), loc("scratch.close.info"),
                                "Cancel|Don't Save|Save\u2026", "Save\u2026", "Cancel",
                                "Save Note", QFileInfo(m_scratch).fileName(), "1", startFolder}));
    QCOMPARE(loc("scratch.close.prompt"), QString("Do you want to keep this note?"));
    QCOMPARE(RecentsStore::shared().items().value(0).path, destination);
    QCOMPARE(readFile(destination), QByteArray("real"));
    QVERIFY(!QFile::exists(m_scratch));

    // Escape in the alert cancels.
    const QString second = newScratch(m_folder->path());
    DocumentWindow *other = openScratchWindow(second, unused);
    QVERIFY(other);
    other->scratchGuard()->setQuestions(ScratchCloseGuard::Questions::dialogs());
    type(*other->contentView(), "kept");
    QTimer::singleShot(50, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            QTest::keyClick(modal, Qt::Key_Escape);
    });
    QVERIFY(!other->close());
    QCOMPARE(readFile(second), QByteArray("kept"));
}

// ---- Detaching and lifetime -------------------------------------------------------------------

void TestScratchGuard::savingElsewhereDetachesTheGuard()
{
    const auto previousHook = WindowSession::shared().hooks.scratchExported;
    WindowSession::shared().hooks.scratchExported = scratchDocumentExported;
    Script script;
    auto *window = new DocumentWindow({true, m_scratch, {}});
    QPointer<DocumentWindow> alive(window);
    window->show();
    QVERIFY(QTest::qWaitFor([&] { return window->contentView()->doc().has_value(); }, 10'000));
    liveScratchWindows().insert(window, window);
    attachScratchDelegate(window, m_scratch);
    script.scratch = m_scratch;
    window->scratchGuard()->setQuestions(script.questions());

    const QString elsewhere = writeFile(path("elsewhere.txt"), "saved elsewhere");
    window->contentView()->handleExported(elsewhere);
    WindowSession::shared().hooks.scratchExported = previousHook;
    QVERIFY(!window->scratchGuard());
    QVERIFY(!liveScratchWindows().contains(window));
    QVERIFY(!QFile::exists(m_scratch));
    QVERIFY(window->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(QTest::qWaitFor([&] { return !window->contentView()->isLoading(); }, 10'000));

    QVERIFY(window->close());
    QCOMPARE(script.asked, 0);
    QCOMPARE(readFile(elsewhere), QByteArray("saved elsewhere"));
    QTRY_VERIFY(alive.isNull());
}

void TestScratchGuard::liveWindowGoesAfterClosing()
{
    Script script;
    auto *window = new DocumentWindow({true, m_scratch, {}});
    QPointer<DocumentWindow> alive(window);
    window->show();
    QVERIFY(QTest::qWaitFor([&] { return window->contentView()->doc().has_value(); }, 10'000));
    liveScratchWindows().insert(window, window);
    attachScratchDelegate(window, m_scratch);
    script.scratch = m_scratch;
    window->scratchGuard()->setQuestions(script.questions());
    // A second attach replaces the guard rather than adding one.
    attachScratchDelegate(window, m_scratch);
    window->scratchGuard()->setQuestions(script.questions());
    QCOMPARE(scratchDelegates().count(window), 1);

    QVERIFY(window->close());
    QVERIFY(!scratchDelegates().contains(window));
    QVERIFY(!liveScratchWindows().contains(window));
    QTRY_VERIFY(alive.isNull());
    QVERIFY(!QFile::exists(m_scratch));
}

// ---- Quitting ---------------------------------------------------------------------------------

void TestScratchGuard::quittingClosesWithoutAQuestion()
{
    Script script;
    script.answer = ScratchCloseAnswer::DontSave;
    DocumentWindow *window = openScratchWindow(m_scratch, script);
    QVERIFY(window);
    type(*window->contentView(), "left for later");

    // Qt closes every window while it handles the quit event. The application really quits
    // (nested event loops cannot start afterwards), so this test runs last.
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    QVERIFY(!window->isVisible());
    QCOMPARE(script.asked, 0);
    QCOMPARE(readFile(m_scratch), QByteArray("left for later"));

    // Once the quit is over, closing asks again.
    const QString second = newScratch(m_folder->path());
    Script after;
    after.answer = ScratchCloseAnswer::Cancel;
    DocumentWindow *other = openScratchWindow(second, after);
    QVERIFY(other);
    type(*other->contentView(), "x");
    QVERIFY(!other->close());
    QCOMPARE(after.asked, 1);
}

QTEST_MAIN(TestScratchGuard)
#include "tst_scratchguard.moc"
