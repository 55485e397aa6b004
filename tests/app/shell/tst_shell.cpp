// The application shell through real windows, offscreen: menu commands and their keys, the
// key-window rule with two windows, new scratch windows and file windows (placement, focus of a
// window already showing a file), start-up with queued files, hand-overs of many files (at most
// 20 windows without asking), About and the termination signal.
#include "app/shell/appdelegate.h"
#include "app/shell/terminationsignal.h"

#include "app/services/fileassociations.h"
#include "app/services/preferences.h"
#include "app/services/updatechecker.h"
#include "app/window/contentview.h"
#include "app/window/documentjournal.h"
#include "app/window/recoverybar.h"
#include "viewers/csvtableview.h"
#include "viewers/jsontreeview.h"
#include "viewers/markdownview.h"
#include "app/window/documenttoolbar.h"
#include "app/window/contentarea.h"
#include "app/window/documentstatusbar.h"
#include "app/window/documentwindow.h"
#include "app/window/scratchcloseguard.h"
#include "app/window/windowsession.h"

#include "base/notificationcenter.h"
#include "base/timer.h"
#include "textview/stextview.h"
#include "documents/document.h"
#include "documents/journalwriter.h"
#include "documents/scratchfile.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <csignal>
#include <cstring>

using namespace App;

class TestShell : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void menuKeysReachTheirCommands_data();
    void menuKeysReachTheirCommands();
    void menuTitlesUseDesktopWording();
    void editMenuStartsWithTheStandardGroup();
    void themeFollowsTheDesktopUntilTheUserChooses();
    void fontDialogSetsTheTextFontOfEveryView();
    void editCommandsActOnTheFocusedView();
    void viewKeysAndFullScreen();
    void encodingsAndLineEndingsFromTheFileMenu();
    void indentationFromTheViewMenu();
    void controlTabLeavesTheTextAndTabOrderFollowsTheToolbar();
    void onlyTheKeyWindowActs();
    void forceFlushScratchAddressesOneWindowOrAll();
    void externalFileRelayLoadsOnce();
    void newWindowsAreScratchDocumentsCascaded();
    void newWithoutAnyWindowOpensAWindow();
    void fileWindowWithoutReferenceIsCentred();
    void hiddenWindowIsNoReferenceForFileWindows();
    void openOrFocusFindsTheWindowThroughALink();
    void startUpOpensQueuedFiles();
    void laterLaunchRequests();
    void filesNamedWithAPositionOpenThere_data();
    void filesNamedWithAPositionOpenThere();
    void startUpLeavesADialogInUseAlone();
    void handOverOfTwentyFilesOpensThemAll();
    void handOverOfManyFilesAsksFirst_data();
    void handOverOfManyFilesAsksFirst();
    void handOverOfTenThousandPathsOpensNothingBeforeTheAnswer();
    void laterHandOverJoinsTheOpenQuestion();
    void startUpWithManyFilesAsksFirst();
    void aboutNamesVersionAndCredits();
    void terminationSignalArrivesOnTheMainThread_data();
    void terminationSignalArrivesOnTheMainThread();
    void quitAsksOnceAndCanBeCancelled();
    void recoveredEditsAreReportedAtTheNextStart();
    void startUpOffersTheJournalsOfAnUnexpectedEnd();
    // Last: it ends every event loop of the test process.
    void terminationKeepsUnsavedEditsInARecoveryCopy();

private:
    QString path(const QString &name) const { return m_folder->filePath(name); }
    QString writeFile(const QString &name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(name));
        return file.fileName();
    }
    static bool waitForLoad(DocumentWindow *window)
    {
        return QTest::qWaitFor([window] { return window->contentView()->doc() && !window->contentView()->isLoading(); });
    }
    static void makeKey(DocumentWindow *window)
    {
        window->show();
        window->raise();
        window->activateWindow();
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
    }
    QStringList writeFiles(int count) const
    {
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths << writeFile(QStringLiteral("many-%1.txt").arg(i, 3, 10, QLatin1Char('0')), "x");
        return paths;
    }
    static QAbstractButton *answer(QMessageBox *question, const char *name)
    {
        return question ? question->findChild<QAbstractButton *>(name) : nullptr;
    }
    static QAction *command(DocumentWindow *window, const QString &id)
    {
        return window->menuBar()->findChild<QAction *>(id);
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<AppDelegate> m_delegate;
    QTemporaryDir m_home;
    // The shell's and the windows' delays run on it: a test moves it on.
    Base::ManualClock m_clock;
    void advance(int milliseconds)
    {
        m_clock.advance(milliseconds);
        QCoreApplication::processEvents();
    }
};

void TestShell::initTestCase()
{
    qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.filePath("settings"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.filePath("settings"));
    QCoreApplication::setOrganizationName("CorvaneTests");
    QCoreApplication::setApplicationName("Shell");
    QApplication::setQuitOnLastWindowClosed(false);
    // A bus that is not there: the desktop's own portal must not decide the theme of these tests.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + m_home.filePath("no-bus").toUtf8());
    // No first-run sheet over the windows, no update check against the real host.
    Preferences::shared().settings().setValue(FileAssociations::hasPromptedKey, true);
    Preferences::shared().settings().setValue(UpdateChecker::lastCheckKey, 4e9);
}

void TestShell::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_delegate = std::make_unique<AppDelegate>();
    m_delegate->timings.startupDelayMs = 60;
    WindowSession::shared().pendingExternalURLs.clear();
    WindowSession::shared().hasFinishedLaunching = true;
    WindowSession::shared().pendingCaretPositions.clear();
    Preferences::shared().setLastOpenPath(QString());
    QDir(scratchFolder()).removeRecursively();
}

void TestShell::cleanup()
{
    for (DocumentWindow *window : m_delegate->windows()) {
        detachScratchDelegate(window);
        delete window;
    }
    m_delegate.reset();
}

namespace {
constexpr int noCode = -1000;
}

void TestShell::menuKeysReachTheirCommands_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("notification");
    QTest::addColumn<int>("code"); // The notification's object, unless noCode.
    const int ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
    QTest::newRow("Ctrl+F finds") << int(Qt::Key_F) << ctrl << Notifications::findAction << 1;
    QTest::newRow("Ctrl+G next") << int(Qt::Key_G) << ctrl << Notifications::findAction << 2;
    QTest::newRow("F3 next") << int(Qt::Key_F3) << 0 << Notifications::findAction << 2;
    QTest::newRow("Ctrl+Shift+G previous") << int(Qt::Key_G) << (ctrl | shift) << Notifications::findAction << 3;
    QTest::newRow("Shift+F3 previous") << int(Qt::Key_F3) << shift << Notifications::findAction << 3;
    QTest::newRow("bare Escape hides find") << int(Qt::Key_Escape) << 0 << Notifications::findAction << 11;
    QTest::newRow("Ctrl+Alt+F replace") << int(Qt::Key_F) << (ctrl | alt) << Notifications::findAction << 12;
    QTest::newRow("Ctrl+H replace") << int(Qt::Key_H) << ctrl << Notifications::findAction << 12;
    QTest::newRow("Ctrl+L go to line") << int(Qt::Key_L) << ctrl << Notifications::goToLine << noCode;
    QTest::newRow("Ctrl+Shift+R reveal") << int(Qt::Key_R) << (ctrl | shift) << Notifications::revealInFinder << noCode;
    QTest::newRow("Ctrl+Alt+Shift+C copy path")
        << int(Qt::Key_C) << (ctrl | alt | shift) << Notifications::copyPath << noCode;
    QTest::newRow("Ctrl+Alt+C copy JSON path")
        << int(Qt::Key_C) << (ctrl | alt) << Notifications::copyJSONPath << noCode;
    QTest::newRow("F8 next error") << int(Qt::Key_F8) << 0 << Notifications::findError << 1;
    QTest::newRow("Shift+F8 previous error") << int(Qt::Key_F8) << shift << Notifications::findError << -1;
    QTest::newRow("Ctrl+D duplicate") << int(Qt::Key_D) << ctrl << Notifications::duplicateLine << noCode;
    QTest::newRow("Alt+Up") << int(Qt::Key_Up) << alt << Notifications::moveLineUp << noCode;
    QTest::newRow("Alt+Down") << int(Qt::Key_Down) << alt << Notifications::moveLineDown << noCode;
    QTest::newRow("Ctrl+O open") << int(Qt::Key_O) << ctrl << Notifications::openFile << noCode;
    QTest::newRow("Ctrl+S save") << int(Qt::Key_S) << ctrl << Notifications::saveFile << noCode;
}

void TestShell::menuKeysReachTheirCommands()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, notification);
    QFETCH(int, code);
    DocumentWindow *window = m_delegate->openWindowForURL(writeFile("k.txt", "text"));
    makeKey(window);
    QVERIFY(waitForLoad(window));
    QList<QVariant> received;
    // Observers run in the order they were added: this one after the window's own.
    const auto token = NotificationCenter::defaultCenter().addObserver(
        notification, nullptr, [&received](const QVariant &object) { received << object; });
    // The panels and sheets some commands open are closed again below; they must not block.
    QTest::keyClick(window, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    NotificationCenter::defaultCenter().removeObserver(token);
    QCOMPARE(received.size(), 1);
    if (code != noCode)
        QCOMPARE(received.first().toInt(), code);
    if (QWidget *modal = QApplication::activeModalWidget())
        modal->close();
    if (QFileDialog *panel = window->contentView()->panel())
        panel->reject();
}

void TestShell::menuTitlesUseDesktopWording()
{
    DocumentWindow *window = m_delegate->openWindowForURL(writeFile("t.txt", "text"));
    QCOMPARE(command(window, "reveal")->text(), QString("Show in File Manager"));
    QCOMPARE(command(window, "open")->text(), QString("Open…"));
    // Shown as "Find & Replace": a single "&" would mark a mnemonic and vanish.
    QCOMPARE(command(window, "replace")->text(), QString("Find && Replace"));
    QCOMPARE(command(window, "about")->text(), QString("About Corvane"));
    QCOMPARE(command(window, "new")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    QCOMPARE(command(window, "quit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    QCOMPARE(command(window, "close")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));
    QStringList menus;
    for (QAction *menu : window->menuBar()->actions())
        menus << menu->text().remove('&');
    QCOMPARE(menus, (QStringList{"File", "Edit", "View", "Help"}));

    // The View toggles follow the shared preference, whichever window changed it.
    DocumentWindow *other = m_delegate->openWindowForURL(writeFile("u.txt", "text"));
    const bool before = Preferences::shared().showLineNumbers();
    command(window, "lineNumbers")->trigger();
    QCOMPARE(Preferences::shared().showLineNumbers(), !before);
    QCOMPARE(command(other, "lineNumbers")->isChecked(), !before);
    command(other, "lineNumbers")->trigger();
    QCOMPARE(command(window, "lineNumbers")->isChecked(), before);
}

void TestShell::editMenuStartsWithTheStandardGroup()
{
    DocumentWindow *window = m_delegate->openWindowForURL(writeFile("e.txt", "text"));
    QStringList ids;
    QMenu *menu = qobject_cast<QMenu *>(command(window, "undo")->parent());
    QVERIFY(menu);
    for (QAction *action : menu->actions())
        if (!action->isSeparator())
            ids << action->objectName();
    QCOMPARE(ids.mid(0, 7), (QStringList{"undo", "redo", "cut", "copy", "paste", "delete", "selectAll"}));
    QCOMPARE(command(window, "redo")->shortcuts(),
             (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)}));
    QCOMPARE(command(window, "delete")->shortcut(), QKeySequence(Qt::Key_Delete));
    QCOMPARE(command(window, "selectAll")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_A));
}

void TestShell::editCommandsActOnTheFocusedView()
{
    DocumentWindow *window = m_delegate->openWindowForURL(writeFile("e.txt", "one two"));
    QVERIFY(waitForLoad(window));
    makeKey(window);
    STTextView *text = window->contentView()->textView();
    text->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(text));
    const auto trigger = [window](const char *id) {
        QAction *action = command(window, id);
        QMenu *menu = qobject_cast<QMenu *>(action->parent());
        emit menu->aboutToShow(); // as when the menu opens: the states are brought up to date
        if (!action->isEnabled())
            return false;
        action->trigger();
        return true;
    };
    QVERIFY(!trigger("undo")); // nothing to undo yet
    QVERIFY(!trigger("cut"));  // nothing selected
    text->setTextSelection({0, 3});
    QVERIFY(trigger("cut"));
    QCOMPARE(window->contentView()->text(), std::u16string(u" two"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("one"));
    text->setTextSelection({4, 0});
    QVERIFY(trigger("paste"));
    QCOMPARE(window->contentView()->text(), std::u16string(u" twoone"));
    QVERIFY(trigger("undo"));
    QCOMPARE(window->contentView()->text(), std::u16string(u" two"));
    QVERIFY(trigger("redo"));
    QCOMPARE(window->contentView()->text(), std::u16string(u" twoone"));
    QVERIFY(trigger("selectAll"));
    QVERIFY(trigger("delete"));
    QCOMPARE(window->contentView()->text(), std::u16string());

    // The table copies its selected cells; it has nothing to paste into.
    DocumentWindow *table = m_delegate->openWindowForURL(writeFile("t.csv", "a,b\n1,2\n"));
    QVERIFY(waitForLoad(table));
    makeKey(table);
    advance(250); // the table's parse waits for its delay, then runs on a worker
    QTRY_VERIFY(table->contentView()->parsedTable().has_value());
    auto *view = table->contentView()->contentArea()->tableView();
    view->setFocus();
    view->setSelectedCell(Viewers::CSVTableView::Cell{0, 1});
    QGuiApplication::clipboard()->clear();
    QAction *paste = command(table, "paste");
    emit qobject_cast<QMenu *>(paste->parent())->aboutToShow();
    QVERIFY(!paste->isEnabled());
    QAction *copy = command(table, "copy");
    QVERIFY(copy->isEnabled());
    copy->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("2"));
}

void TestShell::viewKeysAndFullScreen()
{
    DocumentWindow *window = m_delegate->openWindowForURL(writeFile("v.md", "# Title\n"));
    QVERIFY(waitForLoad(window));
    makeKey(window);
    ContentView *view = window->contentView();
    QCOMPARE(view->mode(), ViewMode::Preview);
    QTest::keyClick(window, Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(view->mode(), ViewMode::Text);
    QTest::keyClick(window, Qt::Key_3, Qt::ControlModifier);
    QCOMPARE(view->mode(), ViewMode::Split);
    QTest::keyClick(window, Qt::Key_2, Qt::ControlModifier);
    QCOMPARE(view->mode(), ViewMode::Preview);
    // A kind without a second view stays in the text.
    DocumentWindow *plain = m_delegate->openWindowForURL(writeFile("v.yaml", "a: 1\n"));
    QVERIFY(waitForLoad(plain));
    makeKey(plain);
    QTest::keyClick(plain, Qt::Key_2, Qt::ControlModifier);
    QCOMPARE(plain->contentView()->mode(), ViewMode::Text);
    QVERIFY(!plain->isFullScreen());
    command(plain, "fullScreen")->trigger();
    QVERIFY(plain->windowState() & Qt::WindowFullScreen);
    command(plain, "fullScreen")->trigger();
    QVERIFY(!(plain->windowState() & Qt::WindowFullScreen));
}

void TestShell::indentationFromTheViewMenu()
{
    DocumentWindow *window = m_delegate->openWindowForURL(writeFile("i.json", "{\n  \"a\": 1\n}\n"));
    QVERIFY(waitForLoad(window));
    QMenu *viewMenu = qobject_cast<QMenu *>(command(window, "fullScreen")->parent());
    emit viewMenu->aboutToShow();
    auto *indentation = viewMenu->findChild<QMenu *>("indentation");
    QVERIFY(indentation && indentation->isEnabled());
    QVERIFY(indentation->findChild<QAction *>("indentSpaces2")->isChecked());
    indentation->findChild<QAction *>("indentTabs")->trigger();
    emit viewMenu->aboutToShow();
    QVERIFY(indentation->findChild<QAction *>("indentTabs")->isChecked());
    indentation->findChild<QAction *>("convertIndentation")->trigger();
    QCOMPARE(window->contentView()->text(), std::u16string(u"{\n\t\"a\": 1\n}\n"));
    QCOMPARE(window->contentView()->statusBar()->indentationItem()->text(), QStringLiteral("Tab"));
}

void TestShell::encodingsAndLineEndingsFromTheFileMenu()
{
    DocumentWindow *window = m_delegate->openWindowForURL(writeFile("f.txt", "caf\xC3\xA9\n"));
    QVERIFY(waitForLoad(window));
    QMenu *file = qobject_cast<QMenu *>(command(window, "save")->parent());
    emit file->aboutToShow();
    auto *save = file->findChild<QMenu *>("saveWithEncoding");
    auto *endings = file->findChild<QMenu *>("lineEndings");
    auto *reopen = file->findChild<QMenu *>("reopenWithEncoding");
    QVERIFY(save && endings && reopen);
    QVERIFY(reopen->findChild<QAction *>("utf-8")->isChecked());
    QVERIFY(endings->findChild<QAction *>("LF")->isChecked());
    save->findChild<QAction *>("windows-1252")->trigger();
    endings->findChild<QAction *>("CRLF")->trigger();
    QCOMPARE(window->contentView()->doc()->encoding, Documents::Encoding::Windows1252);
    QCOMPARE(window->contentView()->doc()->lineEnding, Documents::LineEnding::Crlf);
    window->contentView()->saveIfDirty(SaveReason::AutoSave);
    QFile written(path("f.txt"));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("caf\xE9\r\n"));
}

void TestShell::controlTabLeavesTheTextAndTabOrderFollowsTheToolbar()
{
    DocumentWindow *window = m_delegate->openWindowForURL(writeFile("tab.txt", "text"));
    QVERIFY(waitForLoad(window));
    makeKey(window);
    STTextView *text = window->contentView()->textView();
    text->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(text));
    QTest::keyClick(text, Qt::Key_Tab, Qt::ControlModifier);
    QVERIFY(QApplication::focusWidget() != text);
    QCOMPARE(window->contentView()->text(), std::u16string(u"text")); // no tab typed
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(text, Qt::Key_Tab);
    QCOMPARE(window->contentView()->text(), std::u16string(u"    text")); // Tab types the document's indentation

    // The toolbar's buttons come in the focus chain from left to right.
    QList<QWidget *> buttons;
    DocumentToolbar *toolbar = window->contentView()->toolbar();
    for (QWidget *widget = toolbar->nextInFocusChain(); widget != toolbar; widget = widget->nextInFocusChain())
        if (toolbar->isAncestorOf(widget) && widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus))
            buttons << widget;
    QVERIFY(buttons.size() >= 5);
    for (int i = 1; i < buttons.size(); ++i)
        QVERIFY2(buttons[i - 1]->mapTo(toolbar, QPoint()).x() < buttons[i]->mapTo(toolbar, QPoint()).x(),
                 qPrintable(buttons[i]->objectName()));
}

void TestShell::onlyTheKeyWindowActs()
{
    DocumentWindow *first = m_delegate->openWindowForURL(writeFile("a.txt", "a"));
    DocumentWindow *second = m_delegate->openWindowForURL(writeFile("b.txt", "b"));
    QVERIFY(waitForLoad(first) && waitForLoad(second));
    makeKey(second);
    // The command is triggered from the other window's menu: the key window still decides.
    command(first, "open")->trigger();
    QVERIFY(second->contentView()->panel());
    QVERIFY(!first->contentView()->panel());
    second->contentView()->panel()->reject();
    QTRY_VERIFY(!second->contentView()->panel());
}

void TestShell::forceFlushScratchAddressesOneWindowOrAll()
{
    DocumentWindow *first = m_delegate->openWindowForURL(writeFile("a.txt", "a"));
    DocumentWindow *second = m_delegate->openWindowForURL(writeFile("b.txt", "b"));
    QVERIFY(waitForLoad(first) && waitForLoad(second));
    const auto edit = [](DocumentWindow *window) {
        STTextView *view = window->contentView()->textView();
        view->setTextSelection({0, 0});
        QTest::keyClicks(view, "x");
    };
    const auto onDisk = [this](const char *name) {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    edit(first);
    edit(second);
    NotificationCenter::defaultCenter().post(Notifications::forceFlushScratch,
                                             QVariant::fromValue(static_cast<QObject *>(first)));
    QCOMPARE(onDisk("a.txt"), QByteArray("xa"));
    QCOMPARE(onDisk("b.txt"), QByteArray("b"));
    NotificationCenter::defaultCenter().post(Notifications::forceFlushScratch);
    QCOMPARE(onDisk("b.txt"), QByteArray("xb"));
}

void TestShell::externalFileRelayLoadsOnce()
{
    DocumentWindow *first = m_delegate->openWindowForURL(writeFile("a.txt", "a"));
    DocumentWindow *second = m_delegate->openWindowForURL(writeFile("b.txt", "b"));
    QVERIFY(waitForLoad(first) && waitForLoad(second));
    makeKey(first);
    int loads = 0;
    connect(first->contentView(), &ContentView::documentLoaded, this, [&loads] { ++loads; });
    const QString handed = writeFile("c.txt", "c");
    NotificationCenter::defaultCenter().post(Notifications::openExternalFile, handed);
    QTRY_COMPARE(first->contentView()->doc()->path, QFileInfo(handed).absoluteFilePath().toStdString());
    // Every load started has ended and been applied: one only.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    QCOMPARE(loads, 1);
    QCOMPARE(second->contentView()->doc()->path, QFileInfo(path("b.txt")).absoluteFilePath().toStdString());
}

void TestShell::newWindowsAreScratchDocumentsCascaded()
{
    DocumentWindow *reference = m_delegate->openWindowForURL(writeFile("r.txt", "r"));
    reference->setGeometry(100, 120, 1100, 640);
    const QString day = QString::fromStdString(Documents::ScratchFile::dateStamp(std::time(nullptr)));

    DocumentWindow *first = m_delegate->openNewWindow();
    QCOMPARE(first->geometry(), QRect(124, 144, 1100, 640));
    QVERIFY(first->scratchGuard());
    const QString firstFile = QDir(scratchFolder()).filePath("new-" + day + ".txt");
    QCOMPARE(first->scratchGuard()->scratchURL(), firstFile);
    QVERIFY(QFileInfo(firstFile).isFile());
    QCOMPARE(first->windowTitle().remove("[*]"), QFileInfo(firstFile).fileName());
    QVERIFY(liveScratchWindows().contains(first));

    // A second one the same day takes the next number, still cascaded from the first window.
    DocumentWindow *second = m_delegate->openNewWindow();
    QCOMPARE(second->scratchGuard()->scratchURL(), QDir(scratchFolder()).filePath("new-" + day + "-2.txt"));
    QCOMPARE(second->geometry().topLeft(), QPoint(124, 144));
    QTRY_VERIFY(second->contentView()->doc());
    QVERIFY(second->contentView()->doc()->isScratch);
}

void TestShell::newWithoutAnyWindowOpensAWindow()
{
    QVERIFY(m_delegate->windows().isEmpty());
    QSignalSpy opened(m_delegate.get(), &AppDelegate::windowOpened);
    DocumentWindow *window = m_delegate->openNewWindow();
    QVERIFY(window);
    QCOMPARE(opened.count(), 1);
    QCOMPARE(m_delegate->windows(), QList<DocumentWindow *>{window});
    QVERIFY(window->isVisible());
    // The scratch file made for that request is not left behind by the plain first window.
    QCOMPARE(QDir(scratchFolder()).entryList(QDir::Files), QStringList());

    // New from the menu of a window that is not the key window still opens a window.
    window->hide();
    command(window, "new")->trigger();
    QCOMPARE(m_delegate->windows().size(), 2);
}

void TestShell::fileWindowWithoutReferenceIsCentred()
{
    DocumentWindow *window = m_delegate->openWindowForURL(writeFile("c.json", "[]"));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(window->geometry().size(), QSize(1000, 700));
    QCOMPARE(window->geometry().center(), screen.center());
    QCOMPARE(window->windowFilePath(), path("c.json"));
    QVERIFY(waitForLoad(window));
}

void TestShell::hiddenWindowIsNoReferenceForFileWindows()
{
    DocumentWindow *hidden = m_delegate->openWindowForURL(writeFile("h.txt", "h"));
    hidden->setGeometry(300, 300, 1100, 600);
    hidden->hide();
    DocumentWindow *file = m_delegate->openWindowForURL(writeFile("f.txt", "f"));
    QCOMPARE(file->geometry().size(), QSize(1000, 700)); // Centred, not cascaded from the hidden one.
    file->hide();
    DocumentWindow *scratch = m_delegate->openNewWindow();
    QCOMPARE(scratch->geometry().topLeft(), QPoint(324, 324)); // Cascaded from the oldest, hidden or not.
}

void TestShell::openOrFocusFindsTheWindowThroughALink()
{
    const QString file = writeFile("shown.json", "{}");
    DocumentWindow *window = m_delegate->openWindowForURL(file);
    QVERIFY(waitForLoad(window));
    DocumentWindow *other = m_delegate->openWindowForURL(writeFile("other.json", "{}"));
    makeKey(other);
    QVERIFY(QFile::link(file, path("link.json")));
    QDir(path(".")).mkdir("sub");
    m_delegate->openOrFocus(path("link.json"));
    m_delegate->openOrFocus(path("sub/../shown.json"));
    QCOMPARE(m_delegate->windows().size(), 2);
    QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget *>(window));

    m_delegate->openOrFocus(writeFile("new.json", "{}"));
    QCOMPARE(m_delegate->windows().size(), 3);
}

void TestShell::startUpOpensQueuedFiles()
{
    WindowSession::shared().hasFinishedLaunching = false;
    const QString a = writeFile("a.csv", "x,y\n"), b = writeFile("b.md", "# b"), c = writeFile("c.log", "c");
    m_delegate->open({a, b});
    QCOMPARE(WindowSession::shared().pendingExternalURLs, (QStringList{a, b}));
    DocumentWindow *scene = m_delegate->createSceneWindow();
    QVERIFY(waitForLoad(scene));
    QCOMPARE(QString::fromStdString(scene->contentView()->doc()->path), a); // The first window takes the first.
    m_delegate->open({c}); // Still before launching finished: queued.
    m_delegate->applicationDidFinishLaunching();
    QVERIFY(!Preferences::shared().sessionEnded());
    advance(m_delegate->timings.startupDelayMs - 1);
    QCOMPARE(m_delegate->windows().size(), 1); // Not before the start-up delay.
    advance(1);
    QCOMPARE(m_delegate->windows().size(), 3);
    QVERIFY(WindowSession::shared().pendingExternalURLs.isEmpty());
    QCOMPARE(m_delegate->windows()[1]->windowFilePath(), b);
    QCOMPARE(m_delegate->windows()[2]->windowFilePath(), c);
    for (int attempt = 0; attempt < m_delegate->timings.pollAttempts && !m_delegate->activationDone(); ++attempt)
        advance(m_delegate->timings.pollIntervalMs);
    QVERIFY(m_delegate->activationDone());
}

void TestShell::startUpLeavesADialogInUseAlone()
{
    DocumentWindow *window = m_delegate->createSceneWindow();
    makeKey(window);
    // The user opened a dialog before the start-up's bringing-to-front came round.
    QMessageBox dialog(QMessageBox::Information, "Asked early", "…", QMessageBox::Ok, window);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    m_delegate->applicationDidFinishLaunching();
    for (int step = 0; step <= m_delegate->timings.pollAttempts; ++step)
        advance(std::max(m_delegate->timings.startupDelayMs, m_delegate->timings.pollIntervalMs));
    QVERIFY(m_delegate->activationDone());
    QCOMPARE(QApplication::activeWindow(), static_cast<QWidget *>(&dialog));
}

void TestShell::laterLaunchRequests()
{
    const QString a = writeFile("a.txt", "a");
    DocumentWindow *window = m_delegate->openWindowForURL(a);
    QVERIFY(waitForLoad(window));
    m_delegate->handle({{a}, false}); // Already shown: focused, not opened twice.
    QCOMPARE(m_delegate->windows().size(), 1);
    m_delegate->handle({{writeFile("b.txt", "b")}, false});
    QCOMPARE(m_delegate->windows().size(), 2);
    m_delegate->handle({{}, true});
    QCOMPARE(m_delegate->windows().size(), 3);
    QVERIFY(m_delegate->windows().last()->scratchGuard());
}

void TestShell::filesNamedWithAPositionOpenThere_data()
{
    QTest::addColumn<QString>("route"); // startUp, laterLaunch, alreadyShown
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<long long>("line");
    QTest::addColumn<long long>("column");
    QTest::addColumn<qsizetype>("unitInLine"); // UTF-16 offset of the caret in its line
    QTest::newRow("startUp") << "startUp" << ":3:2" << 3LL << 2LL << qsizetype(1);
    QTest::newRow("laterLaunch") << "laterLaunch" << ":3:2" << 3LL << 2LL << qsizetype(1);
    QTest::newRow("alreadyShown") << "alreadyShown" << ":3:2" << 3LL << 2LL << qsizetype(1);
    // Columns count characters as the status bar does: "é" written as e + U+0301 is one.
    QTest::newRow("columnCountsCharacters") << "laterLaunch" << ":4:3" << 4LL << 3LL << qsizetype(3);
    QTest::newRow("lineOnlyIsTheLineStart") << "laterLaunch" << ":400" << 400LL << 1LL << qsizetype(0);
    QTest::newRow("columnPastTheEndIsTheEnd") << "laterLaunch" << ":1:99" << 1LL << 9LL << qsizetype(8);
    QTest::newRow("lineOutOfRangeIsTheLastLine") << "laterLaunch" << ":9999:1" << 501LL << 1LL << qsizetype(0);
}

void TestShell::filesNamedWithAPositionOpenThere()
{
    QFETCH(QString, route);
    QFETCH(QString, suffix);
    QFETCH(long long, line);
    QFETCH(long long, column);
    QFETCH(qsizetype, unitInLine);
    QByteArray text = "line one\nline two\nabcdef\nxe\xcc\x81yz\n";
    for (int i = 5; i <= 500; ++i)
        text += "line " + QByteArray::number(i) + "\n";
    const QString file = writeFile("positions.txt", text);
    const auto request = SingleInstance::requestFromArguments({QFileInfo(file).fileName() + suffix}, m_folder->path());
    QCOMPARE(request.paths, QStringList{file});

    DocumentWindow *window = nullptr;
    if (route == "startUp") {
        WindowSession::shared().hasFinishedLaunching = false;
        m_delegate->open(request);
        window = m_delegate->createSceneWindow();
    } else if (route == "alreadyShown") {
        window = m_delegate->openWindowForURL(file);
        QVERIFY(waitForLoad(window));
        m_delegate->handle(request);
        QCOMPARE(m_delegate->windows().size(), 1);
    } else {
        m_delegate->handle(request);
        QCOMPARE(m_delegate->windows().size(), 1);
        window = m_delegate->windows().first();
    }
    QVERIFY(waitForLoad(window));
    ContentView *view = window->contentView();
    QTRY_COMPARE(view->caretLine(), line);
    QTRY_COMPARE(view->caretColumn(), column);
    const auto lineStart = QString::fromUtf8(text).split(u'\n').mid(0, int(line - 1)).join(u'\n').size()
                           + (line > 1 ? 1 : 0);
    QCOMPARE(qsizetype(view->textView()->textSelection().location), lineStart + unitInLine);
    QCOMPARE(view->textView()->textSelection().length, std::size_t(0));
    // Scrolled to it: the first lines are out of view when the caret is far below them.
    if (line > 100)
        QVERIFY(view->textView()->verticalScrollBar()->value() > 0);
    QVERIFY(WindowSession::shared().pendingCaretPositions.isEmpty());
}

void TestShell::handOverOfTwentyFilesOpensThemAll()
{
    const QStringList paths = writeFiles(20);
    m_delegate->handle({paths, false});
    QVERIFY(!m_delegate->openManyFilesQuestion());
    QCOMPARE(m_delegate->windows().size(), 20);
}

void TestShell::handOverOfManyFilesAsksFirst_data()
{
    QTest::addColumn<QString>("button"); // "" answers with Return, the default.
    QTest::addColumn<int>("windows");
    QTest::newRow("openAll_everyFile") << "openAll" << 45;
    QTest::newRow("openFirst_twenty") << "openFirst" << 20;
    QTest::newRow("cancel_none") << "cancel" << 0;
    QTest::newRow("return_theFirstTwenty") << "" << 20;
}

void TestShell::handOverOfManyFilesAsksFirst()
{
    QFETCH(QString, button);
    QFETCH(int, windows);
    QStringList paths = writeFiles(45);
    paths << paths.first(); // The same file twice counts once.
    m_delegate->handle({paths, false});
    // Nothing opens before the answer, and the question does not hold the event loop.
    QMessageBox *question = m_delegate->openManyFilesQuestion();
    QVERIFY(question);
    QVERIFY(question->isVisible());
    QCOMPARE(question->text(), QString("Open 45 files?"));
    QCOMPARE(m_delegate->windows().size(), 0);
    QCOMPARE(question->defaultButton(), answer(question, "openFirst"));
    QCOMPARE(question->escapeButton(), answer(question, "cancel"));
    QCOMPARE(answer(question, "openAll")->text(), QString("Open All"));
    QCOMPARE(answer(question, "openFirst")->text(), QString("Open First 20"));
    QCOMPARE(answer(question, "cancel")->text(), QString("Cancel"));

    if (button.isEmpty())
        QTest::keyClick(question, Qt::Key_Return);
    else
        answer(question, button.toLatin1().constData())->click();
    QTRY_COMPARE(m_delegate->windows().size(), windows);
    QTRY_VERIFY(!m_delegate->openManyFilesQuestion());
    // The first ones, in the order they were handed over.
    for (int i = 0; i < windows; ++i)
        QCOMPARE(m_delegate->windows()[i]->windowFilePath(), paths[i]);
}

void TestShell::handOverOfTenThousandPathsOpensNothingBeforeTheAnswer()
{
    QStringList paths;
    for (int i = 0; i < 10'000; ++i)
        paths << path(QStringLiteral("missing-%1.json").arg(i));
    m_delegate->handle({paths, false});
    QMessageBox *question = m_delegate->openManyFilesQuestion();
    QVERIFY(question);
    QCOMPARE(question->text(), QString("Open 10000 files?"));
    QCOMPARE(m_delegate->windows().size(), 0);
    answer(question, "cancel")->click();
    QTRY_VERIFY(!m_delegate->openManyFilesQuestion());
    QCOMPARE(m_delegate->windows().size(), 0);
}

void TestShell::laterHandOverJoinsTheOpenQuestion()
{
    const QStringList paths = writeFiles(30);
    m_delegate->handle({paths.mid(0, 21), false});
    QMessageBox *question = m_delegate->openManyFilesQuestion();
    QVERIFY(question);
    QCOMPARE(question->text(), QString("Open 21 files?"));
    // One question, whatever arrives while it is up.
    m_delegate->handle({paths.mid(15), false});
    QCOMPARE(m_delegate->openManyFilesQuestion(), question);
    QCOMPARE(question->text(), QString("Open 30 files?"));
    QCOMPARE(m_delegate->windows().size(), 0);
    answer(question, "openAll")->click();
    QTRY_COMPARE(m_delegate->windows().size(), 30);
}

void TestShell::startUpWithManyFilesAsksFirst()
{
    WindowSession::shared().hasFinishedLaunching = false;
    const QStringList paths = writeFiles(30);
    m_delegate->open(paths);
    m_delegate->applicationDidFinishLaunching();
    DocumentWindow *scene = m_delegate->createSceneWindow();
    QVERIFY(waitForLoad(scene));
    QCOMPARE(QString::fromStdString(scene->contentView()->doc()->path), paths.first());
    advance(m_delegate->timings.startupDelayMs);
    QVERIFY(m_delegate->openManyFilesQuestion());
    QMessageBox *question = m_delegate->openManyFilesQuestion();
    QCOMPARE(question->text(), QString("Open 30 files?"));
    QCOMPARE(m_delegate->windows().size(), 1);
    // The first window counts among the first twenty.
    answer(question, "openFirst")->click();
    QTRY_COMPARE(m_delegate->windows().size(), 20);
    QCOMPARE(m_delegate->windows().last()->windowFilePath(), paths[19]);
    QVERIFY(WindowSession::shared().pendingExternalURLs.isEmpty());
}

void TestShell::aboutNamesVersionAndCredits()
{
    QMessageBox *about = m_delegate->showAbout();
    QVERIFY(about->isVisible());
    QCOMPARE(about->windowTitle(), QString("About Corvane"));
    QCOMPARE(about->text(), QString("Corvane"));
    QVERIFY(about->informativeText().contains(QStringLiteral("Version " CORVANE_VERSION)));
    QVERIFY(about->informativeText().contains("Linux"));
    QVERIFY(!about->informativeText().contains("macOS"));
    // Who brings new versions follows the build option CORVANE_UPDATE_CHECK.
    const QString updates = UpdateChecker::isEnabled()
        ? "Updates: checked at " + UpdateChecker::productSite().domain
        : QStringLiteral("Updates: through your package manager");
    QVERIFY2(about->informativeText().contains(updates), qPrintable(about->informativeText()));
    about->close();
}

void TestShell::terminationSignalArrivesOnTheMainThread_data()
{
    QTest::addColumn<int>("number");
    for (int number : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2})
        QTest::addRow("%s", strsignal(number)) << number;
}

void TestShell::terminationSignalArrivesOnTheMainThread()
{
    QFETCH(int, number);
    TerminationSignal termination;
    QSignalSpy received(&termination, &TerminationSignal::received);
    ::raise(number);
    QVERIFY(received.wait(2000));
    QCOMPARE(received.first().first().toInt(), number);
    // A broken pipe is ignored: the process is still here to say so.
    ::raise(SIGPIPE);
    QCoreApplication::processEvents();
    QCOMPARE(received.size(), 1);
}

namespace {

// A window whose edits cannot be saved: its file became read-only after it was opened.
DocumentWindow *windowThatCannotSave(AppDelegate &delegate, const QString &file)
{
    DocumentWindow *window = delegate.openWindowForURL(file);
    if (!QTest::qWaitFor([window] { return window->contentView()->doc() && !window->contentView()->isLoading(); }))
        return nullptr;
    QFile::setPermissions(file, QFile::ReadOwner);
    STTextView *text = window->contentView()->textView();
    text->setFocus();
    QTest::keyClicks(text, "typed ");
    return window->contentView()->isDirty() ? window : nullptr;
}

QList<QMessageBox *> visibleBoxes()
{
    QList<QMessageBox *> boxes;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            boxes << box;
    return boxes;
}

} // namespace

void TestShell::quitAsksOnceAndCanBeCancelled()
{
    DocumentWindow *window = windowThatCannotSave(*m_delegate, writeFile("locked.txt", "text"));
    QVERIFY(window);
    for (int attempt = 0; attempt < 2; ++attempt) {
        m_delegate->quit();
        QVERIFY(m_delegate->isQuitting());
        // One dialog, not an error alert beside a question; Return keeps the edits.
        const QList<QMessageBox *> boxes = visibleBoxes();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first(), window->contentView()->unsavedEditsQuestion());
        QCOMPARE(boxes.first()->defaultButton()->objectName(), QString("cancel"));
        QVERIFY(boxes.first()->findChild<QAbstractButton *>("discard"));
        QTest::keyClick(boxes.first(), Qt::Key_Return);
        // Cancelled: the next Ctrl+Q (or signal) is heard again.
        QTRY_VERIFY(!m_delegate->isQuitting());
        QVERIFY(window->isVisible());
        QVERIFY(window->contentView()->isDirty());
    }
    m_delegate->quit();
    window->contentView()->unsavedEditsQuestion()->findChild<QAbstractButton *>("discard")->click();
    QTRY_VERIFY(window->contentView()->editsDiscarded());
    QVERIFY(m_delegate->isQuitting());
    QCOMPARE(QFile(path("locked.txt")).size(), qint64(4));
}

void TestShell::recoveredEditsAreReportedAtTheNextStart()
{
    Preferences::shared().settings().setValue("recoveredEdits", QStringList{"/work/a.txt", "/data/recovered-a.txt"});
    DocumentWindow *window = m_delegate->createSceneWindow();
    m_delegate->applicationDidFinishLaunching();
    advance(m_delegate->timings.startupDelayMs);
    QCOMPARE(window->contentView()->errorMessage(),
                 QString("Changes to /work/a.txt could not be saved when Corvane was ended. They were kept in "
                         "/data/recovered-a.txt."));
    // Said once.
    QVERIFY(AppDelegate::takeRecoveredEdits().isEmpty());
}

void TestShell::startUpOffersTheJournalsOfAnUnexpectedEnd()
{
    namespace EJ = Documents::EditJournal;
    // What a killed session leaves: journals of three documents, none held by a process.
    const auto leave = [](const QString &file, std::u16string typed) {
        EJ::Header header;
        header.path = file.toStdString();
        header.base = Documents::diskVersion(header.path);
        EJ::Writer writer(DocumentJournal::folder().toStdString());
        writer.rewrite(header, EJ::Writer::FromText{std::make_shared<std::u16string>(u"base\n")},
                       {EJ::Record{1'700'000'000'000, 5, 0, std::move(typed)}});
        writer.release();
        writer.waitUntilIdle();
    };
    const QString shown = writeFile("shown.txt", "base\n");
    const QString other = writeFile("other.txt", "base\n");
    const QString gone = path("gone.txt");
    leave(shown, u"one");
    leave(other, u"two");
    leave(gone, u"three");
    // The first window is showing one of them already (the file of the last session).
    WindowSession::shared().hasFinishedLaunching = false;
    m_delegate->open({shown});
    DocumentWindow *scene = m_delegate->createSceneWindow();
    QVERIFY(waitForLoad(scene));
    m_delegate->applicationDidFinishLaunching();
    advance(m_delegate->timings.startupDelayMs);

    const QList<DocumentWindow *> windows = m_delegate->windows();
    QCOMPARE(windows.size(), 3);
    QHash<QString, ContentView *> byPath;
    for (DocumentWindow *window : windows) {
        QVERIFY(QTest::qWaitFor([window] {
            return window->contentView()->doc() && !window->contentView()->isLoading();
        }));
        byPath.insert(QString::fromStdString(window->contentView()->doc()->path), window->contentView());
    }
    QCOMPARE(byPath.value(shown), scene->contentView());
    const QList<std::pair<QString, QString>> expected = {{shown, "base\none"}, {other, "base\ntwo"}, {gone, "base\nthree"}};
    for (const auto &[file, text] : expected) {
        ContentView *view = byPath.value(file);
        QVERIFY2(view, qPrintable(file));
        QCOMPARE(QString::fromStdU16String(view->text()), text);
        QVERIFY(view->recoveryBar());
        QVERIFY(view->isDirty());
    }
    // Each journal is held by its window now: a second start takes none of them.
    QCOMPARE(takeRecoverableJournals(DocumentJournal::folder()).journals.size(), std::size_t(0));
    byPath.value(gone)->recoverJournal();
    advance(WindowTimings::shared().autoSaveMs);
    QFile recreated(gone);
    QVERIFY(recreated.open(QIODevice::ReadOnly));
    QCOMPARE(recreated.readAll(), QByteArray("base\nthree"));
    // Discard gives the file's text back; no journal is left for the tests after this one.
    byPath.value(shown)->discardJournal();
    byPath.value(other)->discardJournal();
    QVERIFY(QTest::qWaitFor([&] { return !byPath.value(shown)->isDirty() && !byPath.value(other)->isDirty(); }));
    QCOMPARE(QString::fromStdU16String(byPath.value(other)->text()), QStringLiteral("base\n"));
}

void TestShell::terminationKeepsUnsavedEditsInARecoveryCopy()
{
    DocumentWindow *locked = windowThatCannotSave(*m_delegate, writeFile("locked.txt", "text"));
    QVERIFY(locked);
    DocumentWindow *fine = m_delegate->openWindowForURL(writeFile("fine.txt", "ok"));
    QVERIFY(waitForLoad(fine));
    fine->contentView()->textView()->setFocus();
    QTest::keyClicks(fine->contentView()->textView(), "also ");
    // A question is up when the signal comes: it must not hold the quit.
    m_delegate->quit();
    QVERIFY(locked->contentView()->unsavedEditsQuestion());

    m_delegate->quitWithoutQuestions();
    QCOMPARE(QFile(path("fine.txt")).size(), qint64(7));
    const QString copy = QDir(scratchFolder()).filePath("recovered-locked.txt");
    QFile recovered(copy);
    QVERIFY(recovered.open(QIODevice::ReadOnly));
    QCOMPARE(recovered.readAll(), QByteArray("typed text"));
    const auto reported = AppDelegate::takeRecoveredEdits();
    QCOMPARE(reported.size(), 1);
    QCOMPARE(reported.first().first, path("locked.txt"));
    QCOMPARE(reported.first().second, copy);
}

void TestShell::themeFollowsTheDesktopUntilTheUserChooses()
{
    Preferences &preferences = Preferences::shared();
    preferences.settings().remove(Preferences::themeIdKey);
    const QPalette original = QApplication::palette();
    // Without a portal the palette's window colour says whether the desktop is dark.
    const auto themeAtStartWithWindowColour = [&](QColor window) {
        m_delegate.reset();
        QPalette palette = original;
        palette.setColor(QPalette::Window, window);
        QApplication::setPalette(palette);
        m_delegate = std::make_unique<AppDelegate>();
        return preferences.themeId();
    };
    QCOMPARE(themeAtStartWithWindowColour(QColor(32, 32, 32)), QString("vs-claude"));
    QCOMPARE(themeAtStartWithWindowColour(QColor(239, 239, 239)), QString("vscode-light"));
    QVERIFY2(!preferences.hasStoredThemeId(), "a default is not a choice: the next start looks again");

    preferences.setThemeId("vs-claude");
    QCOMPARE(themeAtStartWithWindowColour(QColor(239, 239, 239)), QString("vs-claude"));
    QCOMPARE(preferences.settings().value(Preferences::themeIdKey).toString(), QString("vs-claude"));

    preferences.settings().remove(Preferences::themeIdKey);
    QApplication::setPalette(original);
}

void TestShell::fontDialogSetsTheTextFontOfEveryView()
{
    QString family;
    for (const QString &candidate : QFontDatabase::families())
        if (QFontDatabase::isFixedPitch(candidate) && candidate != QFontDatabase::systemFont(QFontDatabase::FixedFont).family())
            family = candidate;
    if (family.isEmpty())
        QSKIP("needs a second fixed-pitch family installed");
    Preferences::shared().setFontFamily(QString());
    Preferences::shared().setFontSize(13);
    DocumentWindow *window = m_delegate->openWindowForURL(writeFile("font.json", "{\"a\": [1, 2]}\n"));
    QVERIFY(waitForLoad(window));
    makeKey(window);

    command(window, "font")->trigger();
    auto *dialog = window->findChild<QFontDialog *>("fontDialog");
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->testOption(QFontDialog::MonospacedFonts));
    // The family list (the dialog's first list) offers fixed-pitch families only.
    auto *families = dialog->findChild<QListView *>();
    QVERIFY(families && families->model()->rowCount() > 0);
    QStringList offered;
    for (int row = 0; row < families->model()->rowCount(); ++row)
        offered << families->model()->index(row, 0).data().toString();
    QVERIFY(offered.contains(family));
    for (const QString &name : offered)
        QVERIFY2(QFontDatabase::isFixedPitch(name), qPrintable(name + " is not fixed-pitch"));
    QFont chosen(family);
    chosen.setPointSizeF(16);
    dialog->setCurrentFont(chosen);
    dialog->accept();

    QCOMPARE(Preferences::shared().fontFamily(), family);
    QCOMPARE(Preferences::shared().fontSize(), 16.0);
    ContentView *view = window->contentView();
    const QFont text = view->textView()->textViewStyle().font;
    QCOMPARE(text.family(), family);
    QCOMPARE(text.pointSizeF(), 16.0);
    // The table, the tree and the preview follow the text's size; table and tree its family too.
    for (const QFont &font : {view->contentArea()->tableView()->cellFont(), view->contentArea()->treeView()->monospacedFont()}) {
        QCOMPARE(font.family(), family);
        QCOMPARE(font.pointSizeF(), 16.0);
    }
    QCOMPARE(view->contentArea()->markdownView()->fontSize(), 16.0);

    // Larger Text scales them all again.
    command(window, "larger")->trigger();
    QCOMPARE(view->contentArea()->tableView()->cellFont().pointSizeF(), 16.5);
    QCOMPARE(view->contentArea()->treeView()->monospacedFont().pointSizeF(), 16.5);
    QCOMPARE(view->contentArea()->markdownView()->fontSize(), 16.5);

    Preferences::shared().setFontFamily(QString());
    Preferences::shared().setFontSize(13);
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
