// The window's structure features through its real widgets, offscreen, on real files: reopening
// and saving in another encoding, line endings, the JSON path at the caret, the error list and
// its walk, CSV delimiters and ragged rows, and the tree's selection carried back to the text.
#include "app/services/fileassociations.h"
#include "app/services/preferences.h"
#include "app/services/updatechecker.h"
#include "app/window/contentarea.h"
#include "app/window/contentview.h"
#include "app/window/documentstatusbar.h"
#include "app/window/documenttoolbar.h"
#include "app/window/segmentedpicker.h"
#include "app/window/toolbarbutton.h"
#include "app/window/windowsession.h"

#include "windowtestsupport.h"

#include "viewers/csvdelimiterpicker.h"
#include "viewers/csvtableview.h"
#include "viewers/jsontreeview.h"

#include "textview/stextview.h"

#include "base/notificationcenter.h"

#include <QClipboard>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QLayout>
#include <QtTest>

using namespace App;
using Documents::Encoding;
using Documents::LineEnding;

Q_DECLARE_METATYPE(Documents::Encoding)

namespace {

QAction *actionNamed(QMenu *menu, const QString &name)
{
    for (QAction *action : menu->actions())
        if (action->objectName() == name)
            return action;
    return nullptr;
}

QString shownText(const ContentView &view)
{
    return QString::fromStdU16String(view.text());
}

// Lines (1-based) the editor marks as faulty.
QList<long long> markedLines(ContentView &view)
{
    QList<long long> lines;
    const auto &storage = view.textView()->textContentManager();
    for (const auto &decoration : storage.decorations())
        lines << (long long)storage.lineAt(decoration.start) + 1;
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

class TestWindowFeatures : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void encodingMenuOffersEveryEncoding();
    void reopenWithEncoding_data();
    void reopenWithEncoding();
    void reopenAsksBeforeDiscardingEdits();
    void saveWithEncoding_data();
    void saveWithEncoding();
    void lineEndingMenuChangesTheNextSave();
    void jsonPathFollowsTheCaret_data();
    void jsonPathFollowsTheCaret();
    void copyJSONPathCopiesTheCaretsPath();
    void everyNdjsonErrorIsListedMarkedAndWalked();
    void errorListJumpsToTheClickedError();
    void csvDelimiterIsDetectedAndOverridden_data();
    void csvDelimiterIsDetectedAndOverridden();
    void raggedRowsGetAStatusNote();
    void treeSelectionBecomesTheCaret();
    void followModeAppendsWhatTheFileGains();
    void toolbarButtonsStayWhereTheyAre();

private:
    QString path(const QString &name) const { return m_folder->filePath(name); }
    std::unique_ptr<ContentView> openView(const QString &name, const QByteArray &bytes)
    {
        auto view = std::make_unique<ContentView>(ContentView::Options{});
        view->resize(1000, 700);
        view->show();
        const QString file = writeFile(path(name), bytes);
        view->loadPath(file);
        if (!waitForLoad(*view, file))
            return nullptr;
        // Commands from the menus reach the key window only.
        view->activateWindow();
        if (!QTest::qWaitForWindowActive(view.get()))
            return nullptr;
        return view;
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    QTemporaryDir m_settings;
};

void TestWindowFeatures::initTestCase()
{
    setUpWindowTests(m_settings.path(), "WindowFeatures");
    Preferences::shared().setSessionEnded(true);
}

void TestWindowFeatures::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
}

void TestWindowFeatures::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog *>(widget) || qobject_cast<QMenu *>(widget) || widget->objectName() == "errorList")
            widget->close();
}

void TestWindowFeatures::encodingMenuOffersEveryEncoding()
{
    auto view = openView("menu.txt", "plain");
    QVERIFY(view);
    QMenu *menu = view->showEncodingMenu();
    QVERIFY(menu);
    QTRY_VERIFY(menu->isVisible());
    auto *reopen = menu->findChild<QMenu *>("reopenMenu");
    auto *save = menu->findChild<QMenu *>("saveMenu");
    QVERIFY(reopen && save);
    QCOMPARE(reopen->actions().size(), qsizetype(Documents::allEncodings.size()));
    QCOMPARE(save->actions().size(), qsizetype(11));
    QVERIFY(actionNamed(reopen, "utf-8")->isChecked());
    QVERIFY(actionNamed(save, "utf-8")->isChecked());
    QVERIFY(!actionNamed(save, "utf-8-bom")->isChecked());
    QCOMPARE(actionNamed(save, "utf-8-bom")->text(), QString("UTF-8 with BOM"));

    // Clicking the status item opens the same menu.
    menu->close();
    QSignalSpy clicked(view->statusBar(), &DocumentStatusBar::encodingClicked);
    QTest::mouseClick(view->statusBar()->encodingItem(), Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    const auto shown = [&] {
        const auto menus = view->findChildren<QMenu *>("encodingMenu");
        return std::any_of(menus.begin(), menus.end(), [](QMenu *open) { return open->isVisible(); });
    };
    QTRY_VERIFY(shown());
}

void TestWindowFeatures::reopenWithEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Encoding>("chosen");
    QTest::addColumn<QString>("text");    // After the reopen.
    QTest::addColumn<QString>("message"); // Empty when the reopen succeeds.
    // Without a hint, these bytes read as Windows-1251 ("cafй").
    QTest::newRow("Latin-1 chosen") << QByteArray("caf\xE9") << Encoding::Latin1 << QString("café") << QString();
    QTest::newRow("not valid UTF-8") << QByteArray("caf\xE9") << Encoding::Utf8 << QString::fromUtf8("cafй")
                                     << QString("The file is not valid UTF-8");
    QTest::newRow("UTF-8 read as Windows-1252 on purpose")
        << QByteArray("\xC3\xA9") << Encoding::Windows1252 << QString::fromUtf8("Ã©") << QString();
    QTest::newRow("line endings are read again too")
        << QByteArray("a\r\nb") << Encoding::Ascii << QString("a\nb") << QString();
}

void TestWindowFeatures::reopenWithEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Encoding, chosen);
    QFETCH(QString, text);
    QFETCH(QString, message);
    auto view = openView("reopen.txt", bytes);
    QVERIFY(view);
    const Encoding before = view->doc()->encoding;
    QSignalSpy loaded(view.get(), &ContentView::documentLoaded);
    QSignalSpy errors(view.get(), &ContentView::errorShown);
    view->reopenWithEncoding(chosen);
    QVERIFY(!view->reopenConfirmation()); // Nothing unsaved: no question.
    QTRY_VERIFY(loaded.count() + errors.count() > 0);
    QTRY_VERIFY(!view->isLoading());
    QCOMPARE(shownText(*view), text);
    if (message.isEmpty()) {
        QCOMPARE(view->doc()->encoding, chosen);
        QVERIFY(view->statusBar()->texts().contains(QString::fromUtf8(Documents::displayName(chosen).data())));
        QVERIFY(!view->isDirty());
        // "Reload from disk" keeps the encoding the user chose.
        view->reloadFromDisk();
        QTRY_VERIFY(!view->isLoading());
        QCOMPARE(view->doc()->encoding, chosen);
        QCOMPARE(shownText(*view), text);
    } else {
        QCOMPARE(view->errorMessage(), message);
        QCOMPARE(view->doc()->encoding, before);
    }
    QCOMPARE(readFile(path("reopen.txt")), bytes); // Reading never writes.
}

void TestWindowFeatures::reopenAsksBeforeDiscardingEdits()
{
    auto view = openView("edited.txt", "caf\xE9");
    QVERIFY(view);
    type(*view, "X");
    QVERIFY(view->isDirty());

    view->reopenWithEncoding(Encoding::Latin1);
    QTRY_VERIFY(view->reopenConfirmation() && view->reopenConfirmation()->isVisible());
    view->reopenConfirmation()->findChild<QPushButton *>("cancel")->click();
    QVERIFY(!view->isLoading());
    QVERIFY(shownText(*view).startsWith("X"));
    QVERIFY(view->isDirty());

    view->reopenWithEncoding(Encoding::Latin1);
    QTRY_VERIFY(view->reopenConfirmation() && view->reopenConfirmation()->isVisible());
    view->reopenConfirmation()->findChild<QPushButton *>("reopen")->click();
    // Leaving the application meanwhile must not save the edits that were given up.
    view->applicationDidResignActive();
    QTRY_COMPARE(shownText(*view), QString("café"));
    QVERIFY(!view->isDirty());
    QCOMPARE(readFile(path("edited.txt")), QByteArray("caf\xE9"));
}

void TestWindowFeatures::saveWithEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Encoding>("chosen");
    QTest::addColumn<bool>("withBOM");
    QTest::addColumn<QByteArray>("saved"); // Empty: the choice is refused.
    // Whether opening the file again finds the chosen encoding by itself.
    QTest::addColumn<bool>("recognised");
    QTest::newRow("UTF-16 LE with its mark")
        << QByteArray("hé") << Encoding::Utf16LE << true << QByteArray("\xFF\xFEh\x00\xE9\x00", 6) << true;
    QTest::newRow("UTF-8 gains a mark")
        << QByteArray("hé") << Encoding::Utf8 << true << QByteArray("\xEF\xBB\xBFhé") << true;
    QTest::newRow("Windows-1252")
        << QByteArray("hé") << Encoding::Windows1252 << false << QByteArray("h\xE9") << false;
    QTest::newRow("ASCII cannot hold é") << QByteArray("hé") << Encoding::Ascii << false << QByteArray() << false;
    QTest::newRow("a character beyond the BMP is no Latin-1")
        << QByteArray("\xF0\x9F\x98\x80") << Encoding::Latin1 << false << QByteArray() << false;
}

void TestWindowFeatures::saveWithEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Encoding, chosen);
    QFETCH(bool, withBOM);
    QFETCH(QByteArray, saved);
    QFETCH(bool, recognised);
    auto view = openView("save.txt", bytes);
    QVERIFY(view);
    QSignalSpy savedSignal(view.get(), &ContentView::documentSaved);
    const bool accepted = view->saveWithEncoding(chosen, withBOM);
    QCOMPARE(accepted, !saved.isEmpty());
    if (saved.isEmpty()) {
        QCOMPARE(view->errorMessage(),
                 QString("Text cannot be encoded as ") + QString::fromUtf8(Documents::displayName(chosen).data()));
        QCOMPARE(view->doc()->encoding, Encoding::Utf8);
        QVERIFY(!view->isDirty());
        return;
    }
    // The text did not change, yet the file must be written again: the window is edited.
    QVERIFY(view->isDirty());
    QVERIFY(view->window()->isWindowModified());
    advance(WindowTimings::shared().autoSaveMs);
    QCOMPARE(savedSignal.count(), 1);
    QCOMPARE(readFile(path("save.txt")), saved);
    QVERIFY(!view->isDirty());

    if (!recognised)
        return;
    // Opened again, the file reads back as the same text.
    view->loadPath(path("save.txt"));
    QTRY_VERIFY(!view->isLoading());
    QCOMPARE(shownText(*view), QString::fromUtf8(bytes));
    QCOMPARE(view->doc()->encoding, chosen);
}

void TestWindowFeatures::lineEndingMenuChangesTheNextSave()
{
    auto view = openView("endings.txt", "a\nb\n");
    QVERIFY(view);
    QSignalSpy saved(view.get(), &ContentView::documentSaved);
    QTest::mouseClick(view->statusBar()->lineEndingItem(), Qt::LeftButton);
    QMenu *menu = nullptr;
    QTRY_VERIFY((menu = view->findChild<QMenu *>("lineEndingMenu")) && menu->isVisible());
    QCOMPARE(menu->actions().size(), qsizetype(3));
    QVERIFY(actionNamed(menu, "LF")->isChecked());
    actionNamed(menu, "CRLF")->trigger();
    QCOMPARE(view->doc()->lineEnding, LineEnding::Crlf);
    QVERIFY(view->statusBar()->texts().contains("CRLF"));
    QVERIFY(view->isDirty());
    advance(WindowTimings::shared().autoSaveMs);
    QCOMPARE(saved.count(), 1);
    QCOMPARE(readFile(path("endings.txt")), QByteArray("a\r\nb\r\n"));

    view->setLineEnding(LineEnding::Cr);
    advance(WindowTimings::shared().autoSaveMs);
    QCOMPARE(saved.count(), 2);
    QCOMPARE(readFile(path("endings.txt")), QByteArray("a\rb\r"));
}

void TestWindowFeatures::jsonPathFollowsTheCaret_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("caretBefore"); // The caret goes just before this text.
    QTest::addColumn<QString>("expected");
    QTest::newRow("a nested member")
        << "p.json" << QByteArray("{\"items\": [{\"name\": \"a\"}, {\"name\": \"b\"}]}") << QByteArray("\"b\"")
        << "$.items[1].name";
    QTest::newRow("a quoted key") << "q.json" << QByteArray("{\"a b\": [true]}") << QByteArray("rue") << "$['a b'][0]";
    QTest::newRow("an NDJSON record")
        << "r.ndjson" << QByteArray("{\"a\": 1}\n{\"a\": 2, \"b\": [5]}\n") << QByteArray("]") << "$[1].b[0]";
    QTest::newRow("not JSON: no path") << "t.txt" << QByteArray("{\"a\": 1}") << QByteArray("1") << "";
}

void TestWindowFeatures::jsonPathFollowsTheCaret()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, caretBefore);
    QFETCH(QString, expected);
    auto view = openView(name, bytes);
    QVERIFY(view);
    const qsizetype offset = QString::fromUtf8(bytes).indexOf(QString::fromUtf8(caretBefore));
    view->textView()->setTextSelection({std::size_t(offset), 0});
    QVERIFY(waitForJobs(*view));
    if (expected.isEmpty()) {
        QCOMPARE(view->jsonPath(), QString());
        QVERIFY(!view->statusBar()->pathLabel()->isVisible());
        return;
    }
    QCOMPARE(view->jsonPath(), expected);
    QVERIFY(view->statusBar()->texts().contains(expected));
    // Moving the caret to the start gives the root.
    view->textView()->setTextSelection({0, 0});
    QVERIFY(waitForJobs(*view));
    QCOMPARE(view->jsonPath(), QString(name.endsWith(".ndjson") ? "$[0]" : "$"));
}

void TestWindowFeatures::copyJSONPathCopiesTheCaretsPath()
{
    auto view = openView("copy.json", "{\"a\": {\"b\": 7}}");
    QVERIFY(view);
    QGuiApplication::clipboard()->clear();
    view->textView()->setTextSelection({12, 0});
    // The command does not wait for the status bar: it reads the caret as it is now.
    NotificationCenter::defaultCenter().post(Notifications::copyJSONPath);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("$.a.b"));
}

void TestWindowFeatures::everyNdjsonErrorIsListedMarkedAndWalked()
{
    auto view = openView("bad.ndjson", "{\"ok\": 1}\n{bad\n{\"ok\": 2}\n[1,\n{\"x\" 1}\n");
    QVERIFY(view);
    QVERIFY(waitForJobs(*view));
    QCOMPARE(view->errors().errors.size(), std::size_t(3));
    QVERIFY(view->statusBar()->errorsItem()->isVisible());
    QCOMPARE(view->statusBar()->errorsItem()->text(), QString("3 errors"));
    QCOMPARE(markedLines(*view), (QList<long long>{2, 4, 5}));

    const auto walk = [&](int direction, long long expected) {
        NotificationCenter::defaultCenter().post(Notifications::findError, direction);
        return QTest::qWaitFor([&] { return view->caretLine() == expected; }, 3000);
    };
    QCOMPARE(view->caretLine(), 1LL);
    QVERIFY(walk(1, 2));
    QVERIFY(walk(1, 4));
    QVERIFY(walk(1, 5));
    QVERIFY(walk(1, 2)); // Wraps around.
    QVERIFY(walk(-1, 5));
    QVERIFY(walk(-1, 4));

    // Fixing a record drops its mark and its entry.
    view->textView()->setTextSelection({10, 4});
    type(*view, "{}");
    QVERIFY(waitForJobs(*view));
    QCOMPARE(view->statusBar()->errorsItem()->text(), QString("2 errors"));
    QCOMPARE(markedLines(*view), (QList<long long>{4, 5}));
}

void TestWindowFeatures::errorListJumpsToTheClickedError()
{
    auto view = openView("list.ndjson", "1\n{\n2\n[\n");
    QVERIFY(view);
    QVERIFY(waitForJobs(*view));
    QTest::mouseClick(view->statusBar()->errorsItem(), Qt::LeftButton);
    QWidget *popup = nullptr;
    QTRY_VERIFY((popup = view->findChild<QWidget *>("errorList")) && popup->isVisible());
    auto *list = popup->findChild<QListWidget *>("errorListItems");
    QCOMPARE(list->count(), 2);
    QVERIFY(list->item(1)->text().startsWith("Line 4"));
    const QRect second = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    QTRY_COMPARE(view->caretLine(), 4LL);
    QTRY_VERIFY(!view->findChild<QWidget *>("errorList"));

    // JSON keeps a single fault: no count beside the validation item.
    auto json = openView("one.json", "{\n\"a\" 1}");
    QVERIFY(json);
    QVERIFY(waitForJobs(*json));
    QCOMPARE(json->errors().errors.size(), std::size_t(1));
    QVERIFY(!json->statusBar()->errorsItem()->isVisible());
}

void TestWindowFeatures::csvDelimiterIsDetectedAndOverridden_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("detected"); // Delimiter the table is first parsed with.
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("commaColumns"); // Once the user picks Comma.
    QTest::newRow("semicolons") << "s.csv" << QByteArray("a;b;c\n1;2;3\n") << ";" << "Auto (;)" << 3 << 1;
    QTest::newRow("a quoted comma does not count")
        << "q.csv" << QByteArray("\"x,y\"|b\n\"1,2\"|3\n") << "|" << "Auto (|)" << 2 << 1;
    QTest::newRow("a .tsv file is read with tabs")
        << "t.tsv" << QByteArray("a,b\tc,d\n1,2\t3,4\n") << "\t" << "Auto (Tab)" << 2 << 3;
}

void TestWindowFeatures::csvDelimiterIsDetectedAndOverridden()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, detected);
    QFETCH(QString, label);
    QFETCH(int, columns);
    QFETCH(int, commaColumns);
    auto view = openView(name, bytes);
    QVERIFY(view);
    QCOMPARE(view->doc()->kind, Documents::DocKind::Csv);
    QCOMPARE(view->mode(), ViewMode::Table);
    auto *picker = view->toolbar()->delimiterPicker();
    QVERIFY(picker->isVisible());
    QVERIFY(waitForJobs(*view));
    QVERIFY(view->parsedTable().has_value());
    QCOMPARE(QString(QChar(view->tableDelimiter())), detected);
    QCOMPARE(picker->currentLabel(), label);
    QCOMPARE(view->parsedTable()->headerCount(), std::size_t(columns));

    // Picking Comma from the menu parses the same text again with commas.
    QAction *comma = nullptr;
    for (QAction *action : picker->menu()->actions())
        if (action->text() == "Comma")
            comma = action;
    QVERIFY(comma);
    comma->trigger();
    QCOMPARE(view->delimiterChoice(), Viewers::CSVDelimiterChoice::Comma);
    QVERIFY(waitForJobs(*view));
    QCOMPARE(view->tableDelimiter(), u',');
    QVERIFY(view->parsedTable().has_value());
    QCOMPARE(view->parsedTable()->headerCount(), std::size_t(commaColumns));
    QCOMPARE(picker->currentLabel(), QString("Comma"));
    QCOMPARE(readFile(path(name)), bytes); // The choice never touches the text.

    // The choice stays with the file across a reload.
    view->loadPath(path(name));
    QTRY_VERIFY(!view->isLoading());
    QCOMPARE(view->delimiterChoice(), Viewers::CSVDelimiterChoice::Comma);
}

void TestWindowFeatures::raggedRowsGetAStatusNote()
{
    auto view = openView("ragged.csv", "a,b,c\n1,2\n3,4,5\n6,7,8,9\n");
    QVERIFY(view);
    QVERIFY(waitForJobs(*view));
    QVERIFY(view->parsedTable().has_value());
    QTRY_COMPARE(view->statusBar()->noteLabel()->text(), QString("2 ragged rows"));
    QVERIFY(view->statusBar()->noteLabel()->isVisible());
    // Back in Text the table and its note go away.
    view->setMode(ViewMode::Text);
    QTRY_VERIFY(!view->statusBar()->noteLabel()->isVisible());
}

void TestWindowFeatures::treeSelectionBecomesTheCaret()
{
    const QByteArray json = "{\n  \"z\": 0,\n  \"a\": {\"b\": [1, 2, 33]},\n  \"c\": \"text\"\n}\n";
    auto view = openView("tree.json", json);
    QVERIFY(view);
    view->setMode(ViewMode::Tree);
    QVERIFY(waitForJobs(*view));
    QVERIFY(view->jsonTreeResult().has_value() && view->jsonTreeResult()->isOk());
    Viewers::JSONTreeView *tree = view->contentArea()->treeView();
    // Open $.a.b and select its third element.
    tree->toggle(u"$.a.b");
    std::optional<std::size_t> row;
    for (std::size_t i = 0; i < tree->rows().size(); ++i)
        if (tree->rows()[i].id() == u"$.a.b[2]")
            row = i;
    QVERIFY(row);
    tree->setSelectedRow(*row);
    view->setMode(ViewMode::Text);
    QCOMPARE(view->textView()->caretPosition(), std::size_t(json.indexOf("33")));
    QVERIFY(waitForJobs(*view));
    QCOMPARE(view->jsonPath(), QString("$.a.b[2]"));
}

void TestWindowFeatures::followModeAppendsWhatTheFileGains()
{
    auto text = openView("notes.txt", "not a log\n");
    QVERIFY(text);
    QVERIFY(!text->toolbar()->button("follow")->isVisible());

    auto view = openView("app.log", "one\n");
    QVERIFY(view);
    ToolbarButton *follow = view->toolbar()->button("follow");
    QVERIFY(follow->isVisible());
    QSignalSpy saved(view.get(), &ContentView::documentSaved);
    QTest::mouseClick(follow, Qt::LeftButton);
    QVERIFY(view->isFollowing());
    QVERIFY(follow->isChecked());

    const auto append = [&](const QByteArray &bytes) {
        QFile file(path("app.log"));
        QVERIFY(file.open(QIODevice::Append));
        file.write(bytes);
    };
    // Polls on the window clock until the text shows `expected`; each poll's read is awaited.
    const auto followUntil = [&](const QString &expected) {
        for (int poll = 0; poll < 100; ++poll) {
            if (shownText(*view) == expected)
                return true;
            advance(LogFollower::defaultPollIntervalMs);
            QTest::qWaitFor([&] { return shownText(*view) == expected; }, 20);
        }
        return shownText(*view) == expected;
    };
    append("two\nthr");
    QVERIFY(followUntil("one\ntwo\nthr"));
    append("ee \xC3");
    append("\xA9\n");
    QVERIFY(followUntil(QString::fromUtf8("one\ntwo\nthree \u00e9\n")));
    // The text came from the file: nothing to save, the caret stays at the end.
    QVERIFY(!view->isDirty());
    QCOMPARE(view->textView()->caretPosition(), view->text().size());
    view->applicationDidResignActive();
    view->applicationDidBecomeActive();
    QCOMPARE(saved.count(), 0);
    QVERIFY(!view->externalChangeDialog());

    // A truncated file is read again.
    writeFile(path("app.log"), "fresh\n");
    QVERIFY(followUntil("fresh\n"));
    QVERIFY(view->isFollowing());
    append("more\n");
    QVERIFY(followUntil("fresh\nmore\n"));

    // Unsaved edits hold the file's new text back.
    type(*view, "X");
    QVERIFY(view->isDirty());
    append("held\n");
    for (int poll = 0; poll < 4; ++poll) {
        advance(LogFollower::defaultPollIntervalMs);
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
    }
    QVERIFY(!shownText(*view).contains("held"));

    // Off: nothing more arrives.
    view->setFollowing(false);
    QVERIFY(!follow->isChecked());
    QVERIFY(!view->follower().isFollowing());
}

void TestWindowFeatures::toolbarButtonsStayWhereTheyAre()
{
    auto view = openView("a-rather-long-name-for-a-json-document-that-will-not-fit-in-the-toolbar.json", "[1,2]");
    QVERIFY(view);
    DocumentToolbar *toolbar = view->toolbar();
    const auto positions = [toolbar] {
        QList<int> xs;
        for (const char *role : {"undo", "redo", "find", "smaller", "settings"})
            xs << toolbar->button(role)->mapTo(toolbar, QPoint()).x();
        return xs;
    };
    const auto settle = [toolbar] {
        toolbar->layout()->activate();
        QCoreApplication::processEvents();
    };
    toolbar->setFormatOffered(true);
    settle();
    const QList<int> withFormat = positions();
    toolbar->setFormatOffered(false);
    settle();
    QCOMPARE(positions(), withFormat); // Format's place is kept: nothing moves under the pointer.

    // A narrow window shortens the title with an ellipsis instead of cutting it.
    view->resize(ContentView::minimumContentSize.width(), 600);
    settle();
    ElidedLabel *title = toolbar->titleLabel();
    QVERIFY(title->shownText() != title->text());
    QVERIFY(title->shownText().contains(QChar(0x2026)));
    QVERIFY(title->shownText().endsWith(".json"));
    QVERIFY(title->fontMetrics().horizontalAdvance(title->shownText()) <= title->contentsRect().width());
}

QTEST_MAIN(TestWindowFeatures)
#include "tst_windowfeatures.moc"
