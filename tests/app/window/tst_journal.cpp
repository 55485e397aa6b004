// The recovery journal in real windows offscreen: typing reaches the journal within the flush
// interval, saving and closing remove it, and a journal a killed session left comes back with
// the Recover/Discard bar, asking first when the file changed on disk.
#include "windowtestsupport.h"

#include "app/window/documentjournal.h"
#include "app/window/documentwindow.h"
#include "app/window/recoverybar.h"
#include "app/window/recoveryoffer.h"

#include "documents/editjournal.h"
#include "documents/journalwriter.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace App;
namespace EJ = Documents::EditJournal;

namespace {

QStringList journalFiles(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.cvj")}, QDir::Files);
}

// The text the journal in `folder` holds, or a description of why there is none.
QString journalText(const QString &folder)
{
    const QStringList files = journalFiles(folder);
    if (files.size() != 1)
        return QStringLiteral("<%1 journals>").arg(files.size());
    const QByteArray bytes = readFile(QDir(folder).filePath(files.first()));
    const auto decoded = EJ::decode(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    if (!std::holds_alternative<EJ::Decoded>(decoded))
        return QStringLiteral("<damaged>");
    const auto text = EJ::finalText(std::get<EJ::Decoded>(decoded));
    return std::holds_alternative<std::u16string>(text) ? QString::fromStdU16String(std::get<std::u16string>(text))
                                                        : QStringLiteral("<bad records>");
}

// A journal as a session killed while typing leaves it: started from the file, with the edits
// made since, and no process holding it.
void leaveJournal(const QString &folder, const QString &file, std::vector<EJ::Record> records)
{
    const std::string path = QFileInfo(file).absoluteFilePath().toStdString();
    const auto version = Documents::diskVersion(path);
    QVERIFY(version);
    EJ::Header header;
    header.path = path;
    header.base = version;
    const auto loaded = Documents::loadDocument(path);
    QVERIFY(std::holds_alternative<Documents::LoadResult>(loaded));
    const std::size_t length = std::get<Documents::LoadResult>(loaded).text.size();
    EJ::Writer writer(folder.toStdString());
    writer.rewrite(header, EJ::Writer::FromFile{path, Documents::Encoding::Utf8, *version, length},
                   std::move(records));
    writer.release();
    writer.waitUntilIdle();
}

JournalRecovery takeOnlyJournal(const QString &folder)
{
    RecoverableJournals found = takeRecoverableJournals(folder);
    if (found.journals.size() != 1)
        qFatal("expected one journal, found %d", int(found.journals.size()));
    return std::move(found.journals.front());
}

QString text(ContentView &view)
{
    return QString::fromStdU16String(view.text());
}

} // namespace

class TestJournal : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void editsReachTheJournalWithinTheFlushInterval();
    void savingRemovesTheJournal();
    void closingRemovesTheJournal_data();
    void closingRemovesTheJournal();
    void undoingBackToTheFileRemovesTheJournal();
    void largeReplacementIsJournaledFromTheText();
    void recoveryOfferDecidesWithoutAWindow_data();
    void recoveryOfferDecidesWithoutAWindow();
    void recoveryOffersRecoverAndDiscard_data();
    void recoveryOffersRecoverAndDiscard();
    void fileChangedOnDiskAsksFirst_data();
    void fileChangedOnDiskAsksFirst();
    void goneFileIsRecoveredAsNewFile();
    void journalOfALiveSessionIsNotTaken();
    void damagedJournalIsReportedAndSetAside();

private:
    QTemporaryDir m_dir;
    QString m_journals;
};

void TestJournal::initTestCase()
{
    setUpWindowTests(m_dir.filePath("settings"), "JournalTests");
    WindowTimings::shared().autoSaveMs = 5000;
}

void TestJournal::init()
{
    static int round = 0;
    m_journals = m_dir.filePath(QStringLiteral("journal-%1").arg(++round));
    DocumentJournal::setFolder(m_journals);
}

void TestJournal::editsReachTheJournalWithinTheFlushInterval()
{
    const QString file = writeFile(m_dir.filePath("typed.txt"), "one\r\ntwo\r\n");
    ContentView view;
    view.loadPath(file);
    QVERIFY(waitForLoad(view, file));
    view.textView()->setTextSelection({8, 0});
    type(view, QStringLiteral("ab\u00E9"));
    // Not on disk before the interval: the main thread only queued the records.
    advance(DocumentJournal::flushIntervalMs - 1);
    view.session().journal().waitForWriter();
    QCOMPARE(journalFiles(m_journals).size(), 0);
    advance(1);
    QVERIFY(QTest::qWaitFor([&] { return journalText(m_journals) == text(view); }, 10'000));
    QCOMPARE(journalText(m_journals), QStringLiteral("one\ntwo\nab\u00E9"));
    // More typing, still within the auto-save's delay: appended, not rewritten.
    const QString first = journalFiles(m_journals).first();
    type(view, QStringLiteral("cd"));
    advance(DocumentJournal::flushIntervalMs);
    QVERIFY(QTest::qWaitFor([&] { return journalText(m_journals) == text(view); }, 10'000));
    QCOMPARE(journalFiles(m_journals).first(), first);
    QCOMPARE(readFile(file), QByteArray("one\r\ntwo\r\n"));
    struct stat folder {};
    QVERIFY(::stat(QFile::encodeName(m_journals).constData(), &folder) == 0);
    QCOMPARE(int(folder.st_mode & 0777), 0700);
}

void TestJournal::savingRemovesTheJournal()
{
    const QString file = writeFile(m_dir.filePath("saved.json"), "{}\n");
    ContentView view;
    view.loadPath(file);
    QVERIFY(waitForLoad(view, file));
    type(view, QStringLiteral(" "));
    advance(DocumentJournal::flushIntervalMs);
    QVERIFY(QTest::qWaitFor([&] { return journalFiles(m_journals).size() == 1; }, 10'000));
    // The auto-save, 5 s after the last edit.
    advance(WindowTimings::shared().autoSaveMs);
    QVERIFY(!view.isDirty());
    view.session().journal().waitForWriter();
    QCOMPARE(journalFiles(m_journals), QStringList());
    QCOMPARE(readFile(file), QByteArray(" {}\n"));
}

void TestJournal::closingRemovesTheJournal_data()
{
    QTest::addColumn<bool>("discard");
    QTest::newRow("closed, saving") << false;
    QTest::newRow("closed, edits given up") << true;
}

void TestJournal::closingRemovesTheJournal()
{
    QFETCH(bool, discard);
    const QString file = writeFile(m_dir.filePath("closed.txt"), "text\n");
    {
        DocumentWindow window;
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        ContentView &view = *window.contentView();
        view.loadPath(file);
        QVERIFY(waitForLoad(view, file));
        type(view, QStringLiteral("x"));
        advance(DocumentJournal::flushIntervalMs);
        QVERIFY(QTest::qWaitFor([&] { return journalFiles(m_journals).size() == 1; }, 10'000));
        if (discard)
            view.session().discardEdits();
        QVERIFY(window.close());
    }
    QCOMPARE(journalFiles(m_journals), QStringList());
    QCOMPARE(readFile(file), discard ? QByteArray("text\n") : QByteArray("xtext\n"));
}

void TestJournal::undoingBackToTheFileRemovesTheJournal()
{
    const QString file = writeFile(m_dir.filePath("undone.txt"), "abc");
    ContentView view;
    view.loadPath(file);
    QVERIFY(waitForLoad(view, file));
    type(view, QStringLiteral("zz"));
    advance(DocumentJournal::flushIntervalMs);
    QVERIFY(QTest::qWaitFor([&] { return journalFiles(m_journals).size() == 1; }, 10'000));
    view.session().document().undo();
    QVERIFY(!view.isDirty());
    view.session().journal().waitForWriter();
    QCOMPARE(journalFiles(m_journals), QStringList());
}

void TestJournal::largeReplacementIsJournaledFromTheText()
{
    const QString file = writeFile(m_dir.filePath("large.txt"), "small\n");
    ContentView view;
    view.loadPath(file);
    QVERIFY(waitForLoad(view, file));
    // Larger than the journal copies on the main thread: written from a snapshot instead.
    const std::u16string pasted(DocumentJournal::copyLimitUnits + 10, u'p');
    view.session().document().replace({0, 0}, pasted);
    QVERIFY(!view.session().journal().hasPendingRecords());
    type(view, QStringLiteral("t"));
    advance(DocumentJournal::flushIntervalMs);
    QVERIFY(QTest::qWaitFor([&] { return journalText(m_journals) == text(view); }, 10'000));
    QCOMPARE(journalText(m_journals).size(), qsizetype(pasted.size() + 7));
    // Later typing goes on as records on top of that text.
    type(view, QStringLiteral("u"));
    advance(DocumentJournal::flushIntervalMs);
    QVERIFY(QTest::qWaitFor([&] { return journalText(m_journals) == text(view); }, 10'000));
}

// The offer's decisions on a session alone, no widget: where the text goes, when, and what the
// answer does with the document.
void TestJournal::recoveryOfferDecidesWithoutAWindow_data()
{
    QTest::addColumn<bool>("changedSince");
    QTest::newRow("file as the journal left it") << false;
    QTest::newRow("file changed on disk since") << true;
}

void TestJournal::recoveryOfferDecidesWithoutAWindow()
{
    QFETCH(bool, changedSince);
    const QString file = writeFile(m_dir.filePath(changedSince ? "changed.txt" : "same.txt"), "line\n");
    leaveJournal(m_journals, file, {{1'700'000'000'000, 4, 0, u"s"}});
    if (changedSince)
        writeFile(file, "another line\n");

    DocumentSession session;
    TextView::TextDocument &document = session.document();
    // What the window's editor does with a load: the text goes into the document.
    connect(&session, &DocumentSession::textArrived, this,
            [&document](std::shared_ptr<Base::U16Buffer> text, bool) { document.setText(std::move(*text)); });
    QSignalSpy loaded(&session, &DocumentSession::documentLoaded);
    session.load(file);
    QVERIFY(loaded.wait(10'000));
    const auto documentText = [&document] { return QString::fromStdU16String(document.text({0, document.length()})); };
    const QString onDisk = changedSince ? "another line\n" : "line\n";
    QCOMPARE(documentText(), onDisk);

    RecoveryOffer offer(session);
    QVERIFY(!offer.isAsking());
    QVERIFY(offer.offer(takeOnlyJournal(m_journals)));
    QCOMPARE(*offer.path(), QFileInfo(file).absoluteFilePath().toStdString());
    const std::u16string current = document.text({0, document.length()});
    const std::optional<QString> message = offer.apply(current);
    QVERIFY(message);
    QVERIFY(offer.isAsking());
    QCOMPARE(message->contains("The file changed on disk since then"), changedSince);
    // Over a changed file the recovered text waits for the answer.
    QCOMPARE(documentText(), changedSince ? onDisk : QString("lines\n"));
    QVERIFY(!offer.offer(JournalRecovery{})); // One question at a time.

    QVERIFY(offer.recover());
    QVERIFY(!offer.isAsking());
    QVERIFY(!offer.recover()); // Answered once.
    QCOMPARE(documentText(), QString("lines\n"));
    QVERIFY(session.isDirty());
    QCOMPARE(readFile(file), onDisk.toUtf8());
    session.journal().waitForWriter();
}

void TestJournal::recoveryOffersRecoverAndDiscard_data()
{
    QTest::addColumn<bool>("recover");
    QTest::newRow("Recover") << true;
    QTest::newRow("Discard") << false;
}

void TestJournal::recoveryOffersRecoverAndDiscard()
{
    QFETCH(bool, recover);
    const QString file = writeFile(m_dir.filePath(recover ? "recover.txt" : "discard.txt"), "line\r\n");
    leaveJournal(m_journals, file, {{1'700'000'000'000, 4, 0, u"s"}, {1'700'000'000'500, 6, 0, u"\U0001F600!"}});

    ContentView view;
    view.resize(1000, 700);
    view.show();
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    view.offerRecovery(takeOnlyJournal(m_journals));
    QVERIFY(waitForLoad(view, file));
    // Shown as unsaved edits over the file, with the question.
    QCOMPARE(text(view), QStringLiteral("lines\n\U0001F600!"));
    QVERIFY(view.isDirty());
    RecoveryBar *bar = view.recoveryBar();
    QVERIFY(bar);
    QVERIFY2(bar->message().startsWith("Unsaved edits from a session that ended unexpectedly (5 characters changed, "
                                       "last edit at "),
             qPrintable(bar->message()));
    QVERIFY(!view.textView()->isEditable());
    // Nothing is saved while the question is open.
    advance(WindowTimings::shared().autoSaveMs);
    QCOMPARE(readFile(file), QByteArray("line\r\n"));
    QCOMPARE(journalFiles(m_journals).size(), 1);

    // From the keyboard, anywhere in the window, at once (not a mnemonic's delayed click).
    QTest::keyClick(bar->window(), recover ? Qt::Key_R : Qt::Key_D, Qt::AltModifier);
    QVERIFY(!view.recoveryBar());
    QVERIFY(view.textView()->isEditable());
    if (recover) {
        QVERIFY(view.isDirty());
        advance(WindowTimings::shared().autoSaveMs);
        QCOMPARE(readFile(file), QByteArray("lines\r\n\U0001F600!").replace("\U0001F600", "\xF0\x9F\x98\x80"));
    } else {
        QVERIFY(QTest::qWaitFor([&] { return !view.isLoading() && text(view) == "line\n"; }, 10'000));
        QVERIFY(!view.isDirty());
        QCOMPARE(readFile(file), QByteArray("line\r\n"));
    }
    view.session().journal().waitForWriter();
    QCOMPARE(journalFiles(m_journals), QStringList());
}

void TestJournal::fileChangedOnDiskAsksFirst_data()
{
    QTest::addColumn<bool>("recover");
    QTest::newRow("Recover") << true;
    QTest::newRow("Discard") << false;
}

void TestJournal::fileChangedOnDiskAsksFirst()
{
    QFETCH(bool, recover);
    const QString file = writeFile(m_dir.filePath(recover ? "changed-recover.txt" : "changed-discard.txt"), "base");
    leaveJournal(m_journals, file, {{1'700'000'000'000, 4, 0, u" typed"}});
    writeFile(file, "another program wrote this");

    ContentView view;
    view.offerRecovery(takeOnlyJournal(m_journals));
    QVERIFY(waitForLoad(view, file));
    RecoveryBar *bar = view.recoveryBar();
    QVERIFY(bar);
    QVERIFY(bar->message().contains("The file changed on disk"));
    // The file's new text stays until the user says otherwise.
    QCOMPARE(text(view), QStringLiteral("another program wrote this"));
    QVERIFY(!view.isDirty());

    (recover ? bar->recoverButton() : bar->discardButton())->click();
    if (recover) {
        QCOMPARE(text(view), QStringLiteral("base typed"));
        QVERIFY(view.isDirty());
        // Undo brings the file's text back: the recovered text is one edit on top of it.
        advance(DocumentJournal::flushIntervalMs);
        QVERIFY(QTest::qWaitFor([&] { return journalText(m_journals) == "base typed"; }, 10'000));
        advance(WindowTimings::shared().autoSaveMs);
        QCOMPARE(readFile(file), QByteArray("base typed"));
    } else {
        QCOMPARE(text(view), QStringLiteral("another program wrote this"));
        QCOMPARE(readFile(file), QByteArray("another program wrote this"));
    }
    view.session().journal().waitForWriter();
    QCOMPARE(journalFiles(m_journals), QStringList());
}

void TestJournal::goneFileIsRecoveredAsNewFile()
{
    const QString file = writeFile(m_dir.filePath("gone.md"), "# Title\n");
    leaveJournal(m_journals, file, {{1'700'000'000'000, 8, 0, u"body\n"}});
    QVERIFY(QFile::remove(file));

    ContentView view;
    view.offerRecovery(takeOnlyJournal(m_journals));
    QVERIFY(waitForLoad(view, file));
    QCOMPARE(text(view), QStringLiteral("# Title\nbody\n"));
    QVERIFY(view.recoveryBar());
    QVERIFY(view.recoveryBar()->message().contains("no longer exists"));
    view.recoveryBar()->recoverButton()->click();
    advance(WindowTimings::shared().autoSaveMs);
    QCOMPARE(readFile(file), QByteArray("# Title\nbody\n"));
    view.session().journal().waitForWriter();
    QCOMPARE(journalFiles(m_journals), QStringList());
}

void TestJournal::journalOfALiveSessionIsNotTaken()
{
    const QString file = writeFile(m_dir.filePath("live.txt"), "live");
    ContentView view;
    view.loadPath(file);
    QVERIFY(waitForLoad(view, file));
    type(view, QStringLiteral("!"));
    advance(DocumentJournal::flushIntervalMs);
    QVERIFY(QTest::qWaitFor([&] { return journalFiles(m_journals).size() == 1; }, 10'000));
    // Another instance starting now finds it locked.
    const RecoverableJournals found = takeRecoverableJournals(m_journals);
    QCOMPARE(found.journals.size(), std::size_t(0));
    QCOMPARE(found.damaged, QStringList());
    QCOMPARE(journalFiles(m_journals).size(), 1);
}

void TestJournal::damagedJournalIsReportedAndSetAside()
{
    QDir().mkpath(m_journals);
    writeFile(QDir(m_journals).filePath("1-1-1-1.cvj"), "CORVJRNL\x01\x00\x00\x00 not a header");
    RecoverableJournals found = takeRecoverableJournals(m_journals);
    QCOMPARE(found.journals.size(), std::size_t(0));
    QCOMPARE(found.damaged.size(), 1);
    QVERIFY(found.damaged.first().contains("damaged header"));
    QCOMPARE(journalFiles(m_journals), QStringList());
    QVERIFY(QFile::exists(QDir(m_journals).filePath("1-1-1-1.cvj.damaged")));
    QCOMPARE(takeRecoverableJournals(m_journals).damaged, QStringList());
}

QTEST_MAIN(TestJournal)
#include "tst_journal.moc"
