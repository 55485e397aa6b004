// Scratch notes left in the scratch folder, on the welcome screen: which files count as notes and
// what their rows say, reached with the keyboard, and opened from a window's welcome screen.
#include "windowtestsupport.h"

#include "app/window/scratchcloseguard.h"
#include "app/window/scratchnoterow.h"
#include "app/window/welcomeview.h"

#include "documents/scratchfile.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace App;

namespace {

void setModified(const QString &path, std::int64_t seconds)
{
    const timespec times[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

QStringList titles(const WelcomeView &view)
{
    QStringList result;
    for (ScratchNoteRow *row : view.scratchNoteRows())
        result << row->title();
    return result;
}

} // namespace

class TestScratchNotes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void titleIsTheFirstLineWithText_data();
    void titleIsTheFirstLineWithText();
    void emptyHiddenAndNonFilesAreNoNotes();
    void welcomeScreenListsNotesNewestFirst();
    void rowsAreReachedWithTabAndOpenWithReturn();
    void clickingARowOpensTheNoteInTheWindow();

private:
    QTemporaryDir m_dir;
    QString m_folder;
};

void TestScratchNotes::initTestCase()
{
    // Before any QStandardPaths lookup: the scratch folder is under this test's data folder.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath("data")));
    setUpWindowTests(m_dir.filePath("settings"), "ScratchNotesTests");
}

void TestScratchNotes::init()
{
    m_folder = scratchFolder();
    QDir(m_folder).removeRecursively();
    QVERIFY(QDir().mkpath(m_folder));
}

void TestScratchNotes::titleIsTheFirstLineWithText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("title");

    QTest::newRow("one line") << QByteArray("shopping list") << "shopping list";
    QTest::newRow("blank lines first, trimmed") << QByteArray("\n  \n\t todo: call  \nmore") << "todo: call";
    QTest::newRow("CRLF") << QByteArray("\r\nfirst\r\nsecond\r\n") << "first";
    QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBF\xC3\xA9t\xC3\xA9\n") << "\u00E9t\u00E9";
    QTest::newRow("UTF-16 LE with mark") << QByteArray("\xFF\xFEh\0i\0\n\0", 8) << "hi";
    // As the note opens: the fallback tries Windows-1251 first.
    QTest::newRow("code page") << QByteArray("caf\xE9 au lait\n") << "caf\u0439 au lait";
    QTest::newRow("long line cut") << QByteArray(200, 'x') << QString(80, 'x');
    QTest::newRow("only blanks") << QByteArray(" \n\t\n") << "";
    // A long note is read only as far as its title needs; a cut inside a character is not one.
    QTest::newRow("long note, multibyte at the cut")
        << (QByteArray("title\n") + QByteArray(4089, 'a') + QByteArray("\xC3\xA9 and more")) << "title";
}

void TestScratchNotes::titleIsTheFirstLineWithText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, title);
    writeFile(QDir(m_folder).filePath("new-01.01.26.txt"), bytes);
    const auto notes = Documents::ScratchFile::list(QFile::encodeName(m_folder).toStdString());
    QCOMPARE(notes.size(), std::size_t(1));
    QCOMPARE(QString::fromStdU16String(notes[0].title), title);
}

void TestScratchNotes::emptyHiddenAndNonFilesAreNoNotes()
{
    writeFile(QDir(m_folder).filePath("new-01.01.26.txt"), "");
    writeFile(QDir(m_folder).filePath(".new-01.01.26.txt.corvane-1-2-3"), "a save's temporary");
    QVERIFY(QDir(m_folder).mkdir("folder.txt"));
    QVERIFY(QFile::link(QDir(m_folder).filePath("elsewhere"), QDir(m_folder).filePath("link.txt")));
    writeFile(QDir(m_folder).filePath("new-02.01.26.txt"), "kept");
    const auto notes = Documents::ScratchFile::list(QFile::encodeName(m_folder).toStdString());
    QCOMPARE(notes.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(notes[0].path), QDir(m_folder).filePath("new-02.01.26.txt"));
    QVERIFY(Documents::ScratchFile::list(m_dir.filePath("missing").toStdString()).empty());
}

void TestScratchNotes::welcomeScreenListsNotesNewestFirst()
{
    {
        WelcomeView empty(WelcomeView::Sources{nullptr, nullptr, m_folder});
        QVERIFY(empty.scratchNotesSection()->isHidden());
    }
    const QString older = writeFile(QDir(m_folder).filePath("new-01.01.26.txt"), "older note\n");
    const QString newer = writeFile(QDir(m_folder).filePath("new-02.01.26.txt"), "newer note\n");
    setModified(older, 1'700'000'000);
    setModified(newer, 1'700'086'400);
    for (int i = 0; i < WelcomeView::maximumScratchNotes + 2; ++i)
        setModified(writeFile(QDir(m_folder).filePath(QStringLiteral("new-old-%1.txt").arg(i)), "ancient"),
                    1'600'000'000 + i);
    WelcomeView view(WelcomeView::Sources{nullptr, nullptr, m_folder});
    view.resize(900, 900);
    view.show();
    QVERIFY(!view.scratchNotesSection()->isHidden());
    QCOMPARE(view.scratchNoteRows().size(), WelcomeView::maximumScratchNotes);
    QCOMPARE(titles(view).mid(0, 2), QStringList({"newer note", "older note"}));
    const ScratchNoteRow *first = view.scratchNoteRows().first();
    QCOMPARE(first->path(), newer);
    QCOMPARE(first->timeText(),
             QLocale().toString(QDateTime::fromSecsSinceEpoch(1'700'086'400), QLocale::ShortFormat));
    // A note written meanwhile shows the next time the screen appears.
    writeFile(newer, "rewritten\n");
    view.hide();
    view.show();
    QCOMPARE(titles(view).first(), QStringLiteral("rewritten"));
}

void TestScratchNotes::rowsAreReachedWithTabAndOpenWithReturn()
{
    const QString note = writeFile(QDir(m_folder).filePath("new-03.01.26.txt"), "by keyboard\n");
    QWidget window;
    auto *view = new WelcomeView(WelcomeView::Sources{nullptr, nullptr, m_folder}, &window);
    window.resize(900, 900);
    view->resize(900, 900);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy opened(view, &WelcomeView::scratchNoteRequested);
    view->newButton()->setFocus(Qt::TabFocusReason);
    ScratchNoteRow *row = view->scratchNoteRows().first();
    for (int i = 0; i < 30 && QApplication::focusWidget() != row; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), row);
    QTest::keyClick(row, Qt::Key_Return);
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.first().first().toString(), note);
    QTest::keyClick(row, Qt::Key_Space);
    QCOMPARE(opened.size(), 2);
}

void TestScratchNotes::clickingARowOpensTheNoteInTheWindow()
{
    const QString note = writeFile(QDir(m_folder).filePath("new-04.01.26.txt"), "left by a crash\n");
    ContentView view;
    view.resize(1000, 700);
    view.show();
    auto *welcome = qobject_cast<WelcomeView *>(view.placeholder());
    QVERIFY(welcome);
    QCOMPARE(titles(*welcome), QStringList({"left by a crash"}));
    welcome->scratchNoteRows().first()->click();
    QVERIFY(waitForLoad(view, note));
    QCOMPARE(QString::fromStdU16String(view.text()), QStringLiteral("left by a crash\n"));
    QVERIFY(view.doc()->isScratch);
}

QTEST_MAIN(TestScratchNotes)
#include "tst_scratchnotes.moc"
