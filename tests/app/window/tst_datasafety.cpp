// Nothing the user typed is lost and nothing they did not type is written: closing or opening
// over edits that are not on disk asks first, a reload or another file replaces every trace of
// the previous text, and files that cannot be opened say why. Real windows offscreen, real files.
#include "app/window/contentarea.h"
#include "app/window/contentview.h"
#include "app/window/documentstatusbar.h"
#include "app/window/documentwindow.h"
#include "app/window/windowsession.h"

#include "windowtestsupport.h"

#include "app/services/recentsstore.h"

#include "textview/stextview.h"

#include "base/nativepath.h"
#include "base/notificationcenter.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace App;

class TestDataSafety : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void closingAsksAboutEditsNotOnDisk_data();
    void closingAsksAboutEditsNotOnDisk();
    void openingOverEditsNotOnDiskWaits_data();
    void openingOverEditsNotOnDiskWaits();
    void changesOnDiskAreNoticedWhateverTheirTime_data();
    void changesOnDiskAreNoticedWhateverTheirTime();
    void failedSaveIsTriedAgainUntilTheDiskHasRoom();
    void unopenableFilesSayWhy_data();
    void unopenableFilesSayWhy();
    void nameThatIsNotUtf8OpensByItsBytes_data();
    void nameThatIsNotUtf8OpensByItsBytes();
    void anotherFileStartsAtItsTop();
    void reloadClearsTheErrorMarking();
    void reloadKeepsTheViewMode();
    void prettyPrintKeepsSelectionAndScroll();

private:
    QString path(const QString &name) const { return m_folder->filePath(name); }
    // A window showing `name` ("one\n"), edited, whose edits cannot reach the disk: either the
    // file changed there ("changed on disk", the question about it answered Keep editing) or it
    // is read-only ("read-only", the error alert dismissed).
    std::unique_ptr<DocumentWindow> editedWindowThatCannotSave(const QString &setup, const QString &name);

    std::unique_ptr<QTemporaryDir> m_folder;
    QTemporaryDir m_settings;
    QStringList m_openedElsewhere;
};

void TestDataSafety::initTestCase()
{
    setUpWindowTests(m_settings.path(), "DataSafety");
    WindowSession::shared().hooks.openWindowForURL = [this](const QString &opened) { m_openedElsewhere << opened; };
}

void TestDataSafety::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_openedElsewhere.clear();
    Preferences::shared().setSessionEnded(false);
    Preferences::shared().setLastOpenPath(QString());
}

void TestDataSafety::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog *>(widget))
            widget->close();
}

std::unique_ptr<DocumentWindow> TestDataSafety::editedWindowThatCannotSave(const QString &setup, const QString &name)
{
    auto window = std::make_unique<DocumentWindow>(ContentView::Options{true, {}, {}});
    window->show();
    ContentView *view = window->contentView();
    const QString file = writeFile(path(name), "one\n");
    if (setup == "read-only")
        QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup);
    view->loadPath(file);
    if (!waitForLoad(*view, file))
        return nullptr;
    type(*view, "mine ");
    if (setup == "changed on disk") {
        const auto loaded = *view->doc()->mtime;
        writeFile(file, "theirs\n");
        touchAfter(file, loaded, 2);
        view->applicationDidResignActive();
        if (!view->externalChangeDialog())
            return nullptr;
        view->externalChangeDialog()->findChild<QAbstractButton *>("keep")->click();
    } else {
        // The failure's alert is the auto-save's business: here the save fails quietly.
        if (view->saveIfDirty(SaveReason::BeforeLeaving) || !view->lastSaveFailed())
            return nullptr;
    }
    return view->isDirty() ? std::move(window) : nullptr;
}

// ---- Closing ------------------------------------------------------------------------------------

void TestDataSafety::closingAsksAboutEditsNotOnDisk_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QByteArray>("diskAfter");
    QTest::newRow("changed on disk, Cancel keeps the window") << "changed on disk" << "cancel" << false << QByteArray("theirs\n");
    QTest::newRow("changed on disk, Return is Cancel") << "changed on disk" << "Return" << false << QByteArray("theirs\n");
    QTest::newRow("changed on disk, Close Without Saving") << "changed on disk" << "discard" << true << QByteArray("theirs\n");
    QTest::newRow("changed on disk, Overwrite disk") << "changed on disk" << "overwrite" << true << QByteArray("mine one\n");
    QTest::newRow("read-only, Cancel keeps the window") << "read-only" << "cancel" << false << QByteArray("one\n");
    QTest::newRow("read-only, Close Without Saving") << "read-only" << "discard" << true << QByteArray("one\n");
}

void TestDataSafety::closingAsksAboutEditsNotOnDisk()
{
    QFETCH(QString, setup);
    QFETCH(QString, answer);
    QFETCH(bool, closes);
    QFETCH(QByteArray, diskAfter);
    auto window = editedWindowThatCannotSave(setup, "close.txt");
    QVERIFY(window);
    ContentView *view = window->contentView();

    QVERIFY(!window->close());
    QMessageBox *question = view->unsavedEditsQuestion();
    QVERIFY(question && question->isVisible());
    QCOMPARE(question->windowTitle(), QString("Unsaved Changes"));
    QCOMPARE(question->defaultButton()->objectName(), QString("cancel"));
    QCOMPARE(question->findChild<QAbstractButton *>("overwrite") != nullptr, setup == "changed on disk");
    QVERIFY(question->findChild<QAbstractButton *>("saveAs"));
    // One question at a time: no "File changed on disk" and no error alert beside it.
    QVERIFY(!view->externalChangeDialog() || !view->externalChangeDialog()->isVisible());
    QVERIFY(!view->errorAlert());

    if (answer == "Return")
        QTest::keyClick(question, Qt::Key_Return);
    else
        question->findChild<QAbstractButton *>(answer)->click();
    QTRY_VERIFY(!view->unsavedEditsQuestion());
    QTRY_COMPARE(window->isVisible(), !closes);
    QCOMPARE(readFile(path("close.txt")), diskAfter);
    if (!closes) {
        QVERIFY(view->isDirty());
        QCOMPARE(QString::fromStdU16String(view->text()), QString("mine one\n"));
    }
}

// ---- Opening another file -----------------------------------------------------------------------

void TestDataSafety::openingOverEditsNotOnDiskWaits_data()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<QString>("answer");
    for (const char *route : {"loadFile notification", "open panel", "recent file", "drop"}) {
        QTest::addRow("%s, Cancel", route) << route << "cancel";
        QTest::addRow("%s, Discard Changes", route) << route << "discard";
    }
    QTest::newRow("open panel, Overwrite disk") << "open panel" << "overwrite";
}

void TestDataSafety::openingOverEditsNotOnDiskWaits()
{
    QFETCH(QString, route);
    QFETCH(QString, answer);
    auto window = editedWindowThatCannotSave("changed on disk", "first.txt");
    QVERIFY(window);
    ContentView *view = window->contentView();
    const QString first = path("first.txt");
    const QString second = writeFile(path("second.txt"), "second\n");

    if (route == "loadFile notification") {
        NotificationCenter::defaultCenter().post(Notifications::loadFile, second);
    } else if (route == "open panel") {
        view->handleImport({second});
    } else if (route == "recent file") {
        RecentsStore::shared().add(second);
        view->openRecent(RecentsStore::shared().items().first());
    } else {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(second)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &drop);
    }
    // Nothing is loaded over the edits before the user answers.
    QMessageBox *question = view->unsavedEditsQuestion();
    QVERIFY(question);
    QVERIFY(!view->isLoading());
    QCOMPARE(QString::fromStdString(view->doc()->path), first);
    QVERIFY(!view->externalChangeDialog() || !view->externalChangeDialog()->isVisible());
    QVERIFY(!question->findChild<QAbstractButton *>("saveAs"));
    question->findChild<QAbstractButton *>(answer)->click();

    if (answer == "cancel") {
        QTRY_VERIFY(!view->unsavedEditsQuestion());
        QCoreApplication::processEvents();
        QVERIFY(!view->isLoading());
        QCOMPARE(QString::fromStdString(view->doc()->path), first);
        QCOMPARE(QString::fromStdU16String(view->text()), QString("mine one\n"));
        QCOMPARE(readFile(first), QByteArray("theirs\n"));
        return;
    }
    QVERIFY(waitForLoad(*view, second));
    QCOMPARE(QString::fromStdU16String(view->text()), QString("second\n"));
    QCOMPARE(readFile(first), answer == "overwrite" ? QByteArray("mine one\n") : QByteArray("theirs\n"));
    // The old document's questions went with it; the new one is not edited.
    QVERIFY(!view->externalChangePending());
    QVERIFY(!view->externalChangeDialog() || !view->externalChangeDialog()->isVisible());
    QVERIFY(!view->isDirty());
    view->applicationDidResignActive();
    QCOMPARE(readFile(second), QByteArray("second\n"));
    QCOMPARE(readFile(first), answer == "overwrite" ? QByteArray("mine one\n") : QByteArray("theirs\n"));
}

// ---- Changes on disk ----------------------------------------------------------------------------

void TestDataSafety::changesOnDiskAreNoticedWhateverTheirTime_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("replaced by an older backup (mv)") << "older backup";
    QTest::newRow("rewritten in place, old time put back (cp -p)") << "time put back";
    QTest::newRow("symlink pointed at an older file") << "symlink";
    QTest::newRow("written right after our save") << "right after save";
}

void TestDataSafety::changesOnDiskAreNoticedWhateverTheirTime()
{
    QFETCH(QString, change);
    const QString real = writeFile(path("real.txt"), "mine\n");
    QString opened = real;
    if (change == "symlink") {
        opened = path("link.txt");
        QVERIFY(QFile::link(real, opened));
    }
    auto view = std::make_unique<ContentView>(ContentView::Options{true, {}, {}});
    view->show();
    view->loadPath(opened);
    QVERIFY(waitForLoad(*view, opened));
    const auto loaded = *view->doc()->mtime;
    QByteArray expectedOnDisk = "othr\n";
    if (change == "older backup") {
        const QString backup = writeFile(path("real.txt.bak"), "othr\n");
        touchAfter(backup, loaded, -3600);
        QVERIFY(::rename(backup.toLocal8Bit().constData(), real.toLocal8Bit().constData()) == 0);
    } else if (change == "time put back") {
        writeFile(real, "othr\n"); // same size, same inode
        touchAfter(real, loaded, 0);
    } else if (change == "symlink") {
        const QString older = writeFile(path("older.txt"), "othr\n");
        touchAfter(older, loaded, -3600);
        const QString fresh = path("link.new");
        QVERIFY(QFile::link(older, fresh));
        QVERIFY(::rename(fresh.toLocal8Bit().constData(), opened.toLocal8Bit().constData()) == 0);
    } else {
        type(*view, "A");
        QVERIFY(view->saveIfDirty(SaveReason::AutoSave));
        writeFile(real, "othr\n"); // within the same moment, by another program
        expectedOnDisk = "othr\n";
    }
    type(*view, "x");
    view->applicationDidResignActive();
    QVERIFY(view->externalChangePending());
    QVERIFY(view->externalChangeDialog());
    QCOMPARE(readFile(opened), expectedOnDisk);
}

// ---- A disk that fills up and frees again ---------------------------------------------------------

namespace {

// Files of this process may not grow past `bytes` while it lives: a write beyond fails with
// "File too large", as one fails on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { lift(); }
    void lift() { ::setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved {};
};

} // namespace

void TestDataSafety::failedSaveIsTriedAgainUntilTheDiskHasRoom()
{
    auto view = std::make_unique<ContentView>(ContentView::Options{true, {}, {}});
    view->show();
    const QString file = writeFile(path("full.txt"), "short\n");
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    FileSizeLimit full(64);
    type(*view, QString("x").repeated(100));
    advance(WindowTimings::shared().autoSaveMs);
    QCOMPARE(view->errorMessage(), QString("Auto-save failed: File too large"));
    QVERIFY(view->errorAlert());
    view->errorAlert()->buttons().first()->click();
    QTRY_VERIFY(!view->errorAlert());

    // Tried again after 5 s and 30 s, quietly: the user was told once.
    QSignalSpy saved(view.get(), &ContentView::documentSaved);
    advance(saveRetryDelaysMs[0]);
    QVERIFY(view->lastSaveFailed());
    QVERIFY(!view->errorAlert());
    advance(saveRetryDelaysMs[1] - 1);
    QCOMPARE(saved.count(), 0);
    full.lift(); // Room again.
    advance(1);
    QCOMPARE(saved.count(), 1);
    QVERIFY(!view->isDirty());
    QCOMPARE(readFile(file), QString("x").repeated(100).toUtf8() + "short\n");

    // A failure whose alert is still up is cleared by the save that succeeds.
    FileSizeLimit fullAgain(64);
    type(*view, "y");
    advance(WindowTimings::shared().autoSaveMs);
    QVERIFY(view->errorAlert() && view->errorAlert()->isVisible());
    fullAgain.lift();
    advance(saveRetryDelaysMs[0]);
    QVERIFY(!view->isDirty());
    QTRY_VERIFY(!view->errorAlert());
}

// ---- Files that cannot be opened ----------------------------------------------------------------

void TestDataSafety::unopenableFilesSayWhy_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("route");
    QTest::addColumn<QString>("message");
    const QList<QPair<QString, QString>> kinds = {
        {"missing", "Cannot read file attributes: No such file or directory"},
        {"folder", "Cannot decode file: Is a directory"},
        {"fifo", "Cannot decode file: Not a regular file"},
        {"device", "Cannot decode file: Not a regular file"},
        {"symlink loop", "Cannot read file attributes: Too many levels of symbolic links"},
    };
    for (const auto &[kind, message] : kinds)
        for (const char *route : {"command line", "second launch", "last session"})
            QTest::addRow("%s, %s", qPrintable(kind), route) << kind << route << message;
}

void TestDataSafety::unopenableFilesSayWhy()
{
    QFETCH(QString, kind);
    QFETCH(QString, route);
    QFETCH(QString, message);
    QString target = path("target");
    if (kind == "folder")
        QVERIFY(QDir().mkdir(target));
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(target.toLocal8Bit().constData(), 0600), 0);
    else if (kind == "device")
        target = "/dev/zero";
    else if (kind == "symlink loop")
        QCOMPARE(::symlink(target.toLocal8Bit().constData(), target.toLocal8Bit().constData()), 0);

    ContentView::Options options;
    if (route == "command line")
        options.initialURL = target;
    else if (route == "second launch")
        WindowSession::shared().pendingExternalURLs = {target};
    else
        Preferences::shared().setLastOpenPath(target);
    auto view = std::make_unique<ContentView>(options);
    view->show();
    QTRY_COMPARE(view->errorMessage(), message);
    QVERIFY(view->errorAlert());
    QVERIFY(!view->doc());
    QVERIFY(WindowSession::shared().pendingExternalURLs.isEmpty());
    if (route == "last session") // Said once, not at every start.
        QVERIFY(Preferences::shared().lastOpenPath().isEmpty());
}

void TestDataSafety::nameThatIsNotUtf8OpensByItsBytes_data()
{
    QTest::addColumn<QString>("route");
    QTest::newRow("command line") << "command line";
    QTest::newRow("drop") << "drop";
}

void TestDataSafety::nameThatIsNotUtf8OpensByItsBytes()
{
    QFETCH(QString, route);
    // "café.txt" written in Latin-1, as an old archive leaves it.
    const std::string bytes = QFile::encodeName(m_folder->path()).toStdString() + "/caf\xE9.txt";
    const int fd = ::open(bytes.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "latin\n", 6), ssize_t(6));
    ::close(fd);
    const QString path = Base::pathFromNative(bytes);

    std::unique_ptr<ContentView> view;
    if (route == "command line") {
        view = std::make_unique<ContentView>(ContentView::Options{true, {}, path});
        view->show();
    } else {
        view = std::make_unique<ContentView>(ContentView::Options{true, {}, {}});
        view->show();
        QMimeData data;
        data.setUrls({QUrl(QStringLiteral("file://") + QString::fromLatin1(QByteArray::fromStdString(bytes).toPercentEncoding("/")))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &drop);
    }
    QTRY_VERIFY(view->doc() && !view->isLoading());
    QCOMPARE(view->errorMessage(), QString());
    QCOMPARE(QByteArray::fromStdString(view->doc()->path), QByteArray::fromStdString(bytes));
    type(*view, "still ");
    QVERIFY(view->saveIfDirty(SaveReason::AutoSave));
    QFile saved;
    const int readFd = ::open(bytes.c_str(), O_RDONLY);
    QVERIFY(readFd >= 0);
    QVERIFY(saved.open(readFd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    QCOMPARE(saved.readAll(), QByteArray("still latin\n"));
}

// ---- What a new text replaces -------------------------------------------------------------------

void TestDataSafety::anotherFileStartsAtItsTop()
{
    auto view = std::make_unique<ContentView>(ContentView::Options{true, {}, {}});
    view->resize(1000, 700);
    view->show();
    QByteArray lines;
    for (int i = 1; i <= 400; ++i)
        lines += "line " + QByteArray::number(i) + "\n";
    const QString first = writeFile(path("first.yaml"), lines);
    const QString second = writeFile(path("second.yaml"), lines);
    view->loadPath(first);
    QVERIFY(waitForLoad(*view, first));
    STTextView *text = view->textView();
    text->setTextSelection({std::size_t(lines.indexOf("line 300")), 0});
    text->verticalScrollBar()->setValue(text->verticalScrollBar()->maximum());
    QTRY_COMPARE(view->caretLine(), 300LL);

    view->loadPath(second);
    QVERIFY(waitForLoad(*view, second));
    QCOMPARE(text->textSelection(), (TextView::TextRange{0, 0}));
    QCOMPARE(text->verticalScrollBar()->value(), 0);
    QTRY_COMPARE(view->caretLine(), 1LL);
    QCOMPARE(view->caretColumn(), 1LL);
}

void TestDataSafety::reloadClearsTheErrorMarking()
{
    auto view = std::make_unique<ContentView>(ContentView::Options{true, {}, {}});
    view->show();
    const QString file = writeFile(path("bad.json"), "{\n  \"a\": 1,\n  \"b\": ,\n  \"c\": 3\n}\n");
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    QVERIFY(waitForJobs(*view));
    QCOMPARE(view->errorLine(), std::optional<long long>(3));
    QCOMPARE(view->textView()->textContentManager().decorations().size(), std::size_t(1));

    const auto loaded = *view->doc()->mtime;
    writeFile(file, "{\n  \"a\": 1,\n  \"b\": 2,\n  \"c\": 3\n}\n");
    touchAfter(file, loaded, 2);
    view->applicationDidBecomeActive();
    QVERIFY(view->externalChangeDialog());
    view->externalChangeDialog()->findChild<QAbstractButton *>("reload")->click();
    QTRY_COMPARE(QString::fromStdU16String(view->text()), QString("{\n  \"a\": 1,\n  \"b\": 2,\n  \"c\": 3\n}\n"));
    QVERIFY(waitForJobs(*view));
    QVERIFY(view->jsonValidation().isValid());
    QCOMPARE(view->errorLine(), std::nullopt);
    QVERIFY(view->textView()->textContentManager().decorations().empty());
}

void TestDataSafety::reloadKeepsTheViewMode()
{
    auto view = std::make_unique<ContentView>(ContentView::Options{true, {}, {}});
    view->show();
    const QString notes = writeFile(path("notes.md"), "# Notes\n");
    const QString other = writeFile(path("other.md"), "# Other\n");
    view->loadPath(notes);
    QVERIFY(waitForLoad(*view, notes));
    QCOMPARE(view->mode(), ViewMode::Preview);
    view->setMode(ViewMode::Text);
    const auto loaded = *view->doc()->mtime;
    writeFile(notes, "# Notes, again\n");
    touchAfter(notes, loaded, 2);
    view->reloadFromDisk();
    QTRY_COMPARE(QString::fromStdU16String(view->text()), QString("# Notes, again\n"));
    QCOMPARE(view->mode(), ViewMode::Text);
    // Another file starts in its own kind's view.
    view->loadPath(other);
    QVERIFY(waitForLoad(*view, other));
    QCOMPARE(view->mode(), ViewMode::Preview);
}

void TestDataSafety::prettyPrintKeepsSelectionAndScroll()
{
    auto view = std::make_unique<ContentView>(ContentView::Options{true, {}, {}});
    view->resize(1000, 700);
    view->show();
    QByteArray json = "[\n";
    for (int i = 0; i < 300; ++i)
        json += "  {\"n\":" + QByteArray::number(i) + "}" + (i < 299 ? ",\n" : "\n");
    json += "]\n";
    const QString file = writeFile(path("list.json"), json);
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    QVERIFY(waitForJobs(*view));
    STTextView *text = view->textView();
    QScrollBar *bar = text->verticalScrollBar();
    bar->setValue(bar->maximum() / 3);
    const int scrolled = bar->value();
    QVERIFY(scrolled > 0);
    const TextView::TextRange selection{std::size_t(json.indexOf("{\"n\":100}")), 9};
    text->setTextSelection(selection);
    view->formatDocument();
    QVERIFY(QString::fromStdU16String(view->text()).contains("\"n\": 100"));
    QCOMPARE(text->textSelection(), selection);
    QCOMPARE(bar->value(), scrolled);
    // One undo step brings the old text back.
    text->undo();
    QCOMPARE(QString::fromStdU16String(view->text()).toUtf8(), json);
}

QTEST_MAIN(TestDataSafety)
#include "tst_datasafety.moc"
