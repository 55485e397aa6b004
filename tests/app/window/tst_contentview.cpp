// The document window driven through its real widgets, offscreen, on real files in temporary
// folders, with preferences in a temporary settings folder and the window's delays shortened.
#include "app/services/fileassociations.h"
#include "app/services/updatechecker.h"
#include "app/window/contentarea.h"
#include "app/window/contentview.h"
#include "app/window/documentstatusbar.h"
#include "app/window/documenttoolbar.h"
#include "app/window/documentwindow.h"
#include "app/window/segmentedpicker.h"
#include "app/window/toast.h"
#include "app/window/toolbarbutton.h"
#include "app/window/windowsession.h"

#include "windowtestsupport.h"

#include "app/services/preferences.h"
#include "app/services/recentsstore.h"

#include "viewers/csvtableview.h"
#include "viewers/jsontreeview.h"
#include "viewers/markdownview.h"

#include "textview/stextview.h"

#include "base/notificationcenter.h"

#include <QLabel>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace App;
using Documents::DocKind;

Q_DECLARE_METATYPE(App::ViewMode)


class TestContentView : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void loadsEachKind_data();
    void loadsEachKind();
    void countsExamples_data();
    void countsExamples();
    void modeSwitchesResetAndRebuild();
    void treePickerShowsTheJsonTree();
    void markdownSplitKeepsBothPanesWide();
    void typingPushesTheAutoSaveBack();
    void typedTextIsColouredOnceTypingPauses();
    void externalChangeTolerance_data();
    void externalChangeTolerance();
    void externalChangeDialogButtons_data();
    void externalChangeDialogButtons();
    void quitSavesOverAPendingExternalChange();
    void failedSaveKeepsTextAndRetries_data();
    void failedSaveKeepsTextAndRetries();
    void supersededLoadNeverApplies();
    void droppingThreeFiles();
    void formatTwiceWithinTheToastTime();
    void formatUsesTheNdjsonPrinter();
    void fontSizeStaysWithinBounds();
    void invalidStatusGoesToTheFaultyLine();
    void errorAlertShowsTheNewestMessage();
    void restoresTheLastFile_data();
    void restoresTheLastFile();
    void preferencesReachEveryWindow();
    void keyWindowRuleForNotifications();
    void titleAndEditedMark();
    void toolbarHelpNamesDesktopShortcuts();

private:
    QString path(const QString &name) const { return m_folder->filePath(name); }
    std::unique_ptr<ContentView> makeView(ContentView::Options options = {})
    {
        auto view = std::make_unique<ContentView>(std::move(options));
        view->resize(1000, 700);
        return view;
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    QTemporaryDir m_settings;
    QStringList m_openedElsewhere;
};

void TestContentView::initTestCase()
{
    setUpWindowTests(m_settings.path(), "ContentView");
    WindowSession::shared().hooks.openWindowForURL = [this](const QString &opened) { m_openedElsewhere << opened; };
}

void TestContentView::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_openedElsewhere.clear();
    auto &preferences = Preferences::shared();
    preferences.setThemeId(QString());
    preferences.setFontSize(13);
    preferences.setShowLineNumbers(false);
    preferences.setWordWrap(true);
    preferences.setShowCounts(true);
    preferences.setSessionEnded(false);
    preferences.setLastOpenPath(QString());
}

void TestContentView::cleanup()
{
    // Alerts and dialogs left open by a failed check would block the next test.
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog *>(widget))
            widget->close();
}

void TestContentView::loadsEachKind_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ViewMode>("mode");
    QTest::addColumn<QStringList>("status");
    QTest::addColumn<QString>("picker");
    QTest::newRow("JSON, valid") << "data.json" << QByteArray("{\"a\": [1, 2]}\n") << ViewMode::Text
                                 << QStringList{"JSON", "Valid", "UTF-8", "LF", "Spaces: 4", "$", "Ln 1, Col 1", "2L · 3W · 14C"}
                                 << "Text/Tree";
    QTest::newRow("NDJSON, CRLF") << "log.ndjson" << QByteArray("{\"a\":1}\r\n{\"b\":2}\r\n") << ViewMode::Text
                                  << QStringList{"NDJSON", "Valid", "UTF-8", "CRLF", "Spaces: 4", "$[0]", "Ln 1, Col 1", "3L · 4W · 16C"}
                                  << "";
    QTest::newRow("XML, invalid") << "doc.xml" << QByteArray("<a>\n<b>\n</a>\n") << ViewMode::Text
                                  << QStringList{"XML", "Invalid · Line 3, Col 5", "UTF-8", "LF", "Spaces: 4", "Ln 1, Col 1",
                                                 "4L · 3W · 13C"}
                                  << "";
    QTest::newRow("CSV opens in the table") << "t.csv" << QByteArray("a,b\n1,2\n") << ViewMode::Table
                                            << QStringList{"CSV", "UTF-8", "LF", "Spaces: 4", "Ln 1, Col 1", "3L · 4W · 8C"}
                                            << "Text/Table";
    QTest::newRow("Markdown opens in the preview") << "r.md" << QByteArray("# Title\n\ntext\n") << ViewMode::Preview
                                                   << QStringList{"MD", "UTF-8", "LF", "Spaces: 4", "Ln 1, Col 1", "4L · 2W · 14C"}
                                                   << "Source/Preview/Split";
    QTest::newRow("TXT shows no validation") << "n.txt" << QByteArray("caf\xE9\n") << ViewMode::Text
                                             << QStringList{"TXT", "CP1251", "LF", "Spaces: 4", "Ln 1, Col 1", "2L · 1W · 5C"}
                                             << "";
    QTest::newRow("YAML") << "c.yml" << QByteArray("a: 1\n") << ViewMode::Text
                          << QStringList{"YAML", "UTF-8", "LF", "Spaces: 4", "Ln 1, Col 1", "2L · 2W · 5C"} << "";
    QTest::newRow("YAML indented by two spaces") << "k.yaml" << QByteArray("a:\n  b:\n    c: 1\n") << ViewMode::Text
                          << QStringList{"YAML", "UTF-8", "LF", "Spaces: 2", "Ln 1, Col 1", "4L · 4W · 17C"} << "";
    QTest::newRow("JSON indented by tabs") << "t.json" << QByteArray("{\n\t\"a\": {\n\t\t\"b\": 1\n\t}\n}\n")
                                           << ViewMode::Text
                                           << QStringList{"JSON", "Valid", "UTF-8", "LF", "Tab", "$", "Ln 1, Col 1",
                                                          "6L · 3W · 24C"}
                                           << "Text/Tree";
    QTest::newRow("TOML") << "c.toml" << QByteArray("a = 1\n") << ViewMode::Text
                          << QStringList{"TOML", "UTF-8", "LF", "Spaces: 4", "Ln 1, Col 1", "2L · 2W · 6C"} << "";
    QTest::newRow("LOG") << "x.log" << QByteArray("INFO up\n") << ViewMode::Text
                         << QStringList{"LOG", "UTF-8", "LF", "Spaces: 4", "Ln 1, Col 1", "2L · 2W · 8C"} << "";
}

void TestContentView::loadsEachKind()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(ViewMode, mode);
    QFETCH(QStringList, status);
    QFETCH(QString, picker);
    auto view = makeView();
    view->show();
    const QString file = writeFile(path(name), bytes);
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    QCOMPARE(view->mode(), mode);
    QVERIFY(waitForJobs(*view));
    QCOMPARE(view->statusBar()->texts(), status);
    QCOMPARE(view->toolbar()->picker() ? view->toolbar()->picker()->labels().join('/') : QString(), picker);
    QCOMPARE(view->toolbar()->titleLabel()->text(), name);
    QVERIFY(!view->isDirty());
    if (mode == ViewMode::Table) {
        QVERIFY(view->parsedTable());
        QCOMPARE(view->contentArea()->visibleView(), view->contentArea()->tableView());
        QCOMPARE(int(view->parsedTable()->rowCount()), 1);
    }
    if (mode == ViewMode::Preview) {
        QCOMPARE(view->parsedBlockCount(), std::size_t(4)); // heading, blank, paragraph, blank
        QCOMPARE(view->contentArea()->visibleView(), view->contentArea()->markdownView());
    }
    // The editor lives on under an alternate view and is then kept out of the way.
    QVERIFY(view->textView() != nullptr);
    QCOMPARE(view->textView()->isVisible(), !isAlternateFullView(view->doc()->kind, mode));
    QCOMPARE(view->window()->windowTitle(), name + "[*]");
}

void TestContentView::countsExamples_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("counts");
    QTest::newRow("empty text") << QByteArray() << "0L · 0W · 0C";
    QTest::newRow("one letter and a line feed") << QByteArray("a\n") << "2L · 1W · 2C";
    QTest::newRow("600,000 bytes: lines and bytes") << QByteArray("abcde\n").repeated(100'000) << "100001L · 600000B";
}

void TestContentView::countsExamples()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, counts);
    auto view = makeView();
    const QString file = writeFile(path("c.txt"), bytes);
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    QVERIFY(waitForJobs(*view));
    QCOMPARE(view->countsText(), counts);
    QCOMPARE(view->statusBar()->countsLabel()->text(), counts);

    // Turned off, the label keeps its last value and is not computed again.
    Preferences::shared().setShowCounts(false);
    type(*view, "more words");
    QVERIFY(waitForJobs(*view));
    QCOMPARE(view->countsText(), counts);
    QVERIFY(view->statusBar()->countsLabel()->isHidden());
}

void TestContentView::modeSwitchesResetAndRebuild()
{
    auto view = makeView();
    view->show();
    const QString file = writeFile(path("t.csv"), "h1,h2\nx,y\n");
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    QVERIFY(waitForJobs(*view));
    QVERIFY(view->parsedTable().has_value());

    SegmentedPicker *picker = view->toolbar()->picker();
    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(0).center());
    QCOMPARE(view->mode(), ViewMode::Text);
    QVERIFY(!view->parsedTable()); // Leaving the table drops it.
    QVERIFY(view->textView()->isVisible());

    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(1).center());
    QCOMPARE(view->mode(), ViewMode::Table);
    QCOMPARE(view->contentArea()->visibleView(), view->contentArea()->busyIndicator());
    // The parse waits for its delay before the table replaces the indicator.
    advance(199);
    QVERIFY(view->jobs().isPending(Job::CSVParse));
    QCOMPARE(view->jobs().untilNextStart(), 1);
    QVERIFY(waitForJobs(*view));
    QVERIFY(view->parsedTable().has_value());
    QCOMPARE(view->contentArea()->visibleView(), view->contentArea()->tableView());
    QCOMPARE(view->contentArea()->tableView()->table().header(1), std::u16string(u"h2"));
}

void TestContentView::treePickerShowsTheJsonTree()
{
    auto view = makeView();
    view->show();
    const QString file = writeFile(path("tree.json"), "{\"a\": {\"b\": [1, 2, 3]}, \"c\": \"text\"}");
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    SegmentedPicker *picker = view->toolbar()->picker();
    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(1).center());
    QCOMPARE(view->mode(), ViewMode::Tree);
    QVERIFY(waitForJobs(*view));
    QVERIFY(view->jsonTreeResult().has_value());
    QVERIFY(view->jsonTreeResult()->isOk());
    QCOMPARE(view->contentArea()->visibleView(), view->contentArea()->treeView());
    QVERIFY(view->contentArea()->treeView()->rows().size() >= 3);
    // Back to text: the tree is released and the editor takes the keys again.
    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(0).center());
    QVERIFY(!view->jsonTreeResult());
    QVERIFY(view->textView()->isVisible());
}

void TestContentView::markdownSplitKeepsBothPanesWide()
{
    auto view = makeView();
    view->resize(900, 600);
    view->show();
    const QString file = writeFile(path("notes.md"), "# Notes\n\n- one\n- two\n\n> quoted\n\n```\ncode\n```\n");
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    SegmentedPicker *picker = view->toolbar()->picker();
    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(2).center());
    QCOMPARE(view->mode(), ViewMode::Split);
    QVERIFY(waitForJobs(*view));
    QVERIFY(view->parsedBlockCount() > 0);
    QVERIFY(view->textView()->isVisible());
    QVERIFY(view->contentArea()->markdownView()->isVisible());
    QVERIFY(view->textView()->width() >= ContentArea::minimumPaneWidth);
    QVERIFY(view->contentArea()->markdownView()->width() >= ContentArea::minimumPaneWidth);
    // Source: no preview work, the blocks are released.
    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(0).center());
    QCOMPARE(view->parsedBlockCount(), std::size_t(0));
    QVERIFY(!view->contentArea()->markdownView()->isVisible());
}

void TestContentView::typingPushesTheAutoSaveBack()
{
    auto view = makeView();
    view->show();
    const QString file = writeFile(path("a.txt"), "start");
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    type(*view, "1");
    advance(4900);
    type(*view, "2");
    QVERIFY(view->isDirty());
    advance(4999);
    QCOMPARE(readFile(file), QByteArray("start")); // The second edit pushed the save back.
    advance(1);
    QCOMPARE(readFile(file), QByteArray("12start"));
    QVERIFY(!view->isDirty());
}

void TestContentView::typedTextIsColouredOnceTypingPauses()
{
    auto view = makeView();
    view->show();
    const QString file = writeFile(path("colours.json"), "{\"a\": 1}");
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    QVERIFY(waitForJobs(*view));
    view->textView()->setTextSelection({7, 0});
    type(*view, "23");
    const auto classAt = [&](std::size_t position) {
        std::uint8_t syntaxClass = 0;
        view->textView()->textContentManager().copyClasses(position, 1, &syntaxClass);
        return syntaxClass;
    };
    const std::uint8_t number = classAt(6);
    QVERIFY(number != 0);
    QCOMPARE(classAt(8), std::uint8_t(0)); // typed: not coloured yet
    advance(149);
    QCOMPARE(classAt(8), std::uint8_t(0));
    QVERIFY(waitForJobs(*view));
    QCOMPARE(classAt(8), number);
}

void TestContentView::externalChangeTolerance_data()
{
    QTest::addColumn<double>("newer");
    QTest::addColumn<bool>("writes");
    // Any other time is another file: a backup moved back is older, a quick write barely newer.
    QTest::newRow("0.4 s newer: asks, writes nothing") << 0.4 << false;
    QTest::newRow("0.6 s newer: asks, writes nothing") << 0.6 << false;
    QTest::newRow("an hour older: asks, writes nothing") << -3600.0 << false;
    QTest::newRow("untouched: written") << 0.0 << true;
}

void TestContentView::externalChangeTolerance()
{
    QFETCH(double, newer);
    QFETCH(bool, writes);
    auto view = makeView();
    view->show();
    const QString file = writeFile(path("e.txt"), "disk");
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    type(*view, "x");
    if (newer != 0)
        touchAfter(file, *view->doc()->mtime, newer);
    view->applicationDidResignActive();
    QCOMPARE(readFile(file), writes ? QByteArray("xdisk") : QByteArray("disk"));
    QCOMPARE(view->externalChangePending(), !writes);
    QCOMPARE(view->externalChangeDialog() != nullptr, !writes);
    if (!writes) {
        QCOMPARE(view->externalChangeDialog()->windowTitle(), QString("File changed on disk"));
        QCOMPARE(view->externalChangeDialog()->text(), QString("The file was modified outside the app."));
    }
}

void TestContentView::externalChangeDialogButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("diskAfter");
    QTest::addColumn<QString>("textAfter");
    QTest::newRow("reload from disk") << "reload" << QByteArray("changed elsewhere") << "changed elsewhere";
    QTest::newRow("overwrite disk") << "overwrite" << QByteArray("mine: original") << "mine: original";
    QTest::newRow("keep editing") << "keep" << QByteArray("changed elsewhere") << "mine: original";
}

void TestContentView::externalChangeDialogButtons()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, diskAfter);
    QFETCH(QString, textAfter);
    auto view = makeView();
    view->show();
    const QString file = writeFile(path("d.txt"), "original");
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    type(*view, "mine: ");
    const auto loadedMtime = *view->doc()->mtime;
    writeFile(file, "changed elsewhere");
    touchAfter(file, loadedMtime, 2);
    view->applicationDidBecomeActive();
    QVERIFY(view->externalChangePending());
    QMessageBox *dialog = view->externalChangeDialog();
    QVERIFY(dialog);
    dialog->findChild<QAbstractButton *>(button)->click();
    QVERIFY(!view->externalChangePending());
    if (button == "reload") {
        // Leaving the application while the disk's version is still being read saves nothing.
        view->applicationDidResignActive();
        QCOMPARE(readFile(file), diskAfter);
        QTRY_COMPARE(QString::fromStdU16String(view->text()), textAfter);
    }
    QCOMPARE(QString::fromStdU16String(view->text()), textAfter);
    QCOMPARE(readFile(file), diskAfter);
    QVERIFY(!view->externalChangeDialog() || !view->externalChangeDialog()->isVisible());

    view->applicationDidResignActive();
    if (button == "keep") {
        // The remembered time did not move: the next save asks again.
        QVERIFY(view->externalChangePending());
        QCOMPARE(readFile(file), diskAfter);
    } else {
        QVERIFY(!view->externalChangePending());
    }
}

void TestContentView::quitSavesOverAPendingExternalChange()
{
    auto view = makeView();
    view->show();
    const QString file = writeFile(path("q.txt"), "v1");
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    type(*view, "edit ");
    touchAfter(file, *view->doc()->mtime, 3);
    view->applicationDidResignActive();
    QVERIFY(view->externalChangePending());
    QCOMPARE(readFile(file), QByteArray("v1"));
    view->applicationWillTerminate();
    QCOMPARE(readFile(file), QByteArray("edit v1"));
}

void TestContentView::failedSaveKeepsTextAndRetries_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("read-only file") << QByteArray("locked") << true << "x"
                                    << "Auto-save failed: The file is read-only";
    // 0x98 has no character in Windows-1251 and 0x81 none in Windows-1252: read as Latin-1.
    QTest::newRow("euro sign in a Latin-1 document") << QByteArray("caf\xE9 \x98\x81") << false << QString("€")
                                                     << "Auto-save failed: Text cannot be encoded as Latin-1";
}

void TestContentView::failedSaveKeepsTextAndRetries()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, readOnly);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    auto view = makeView();
    view->show();
    const QString file = writeFile(path("f.txt"), bytes);
    if (readOnly)
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    type(*view, typed);
    advance(5000);
    QCOMPARE(view->errorMessage(), message); // The auto-save tried and failed.
    QVERIFY(view->lastSaveFailed());
    QVERIFY(view->isDirty());
    QCOMPARE(readFile(file), bytes);
    QVERIFY(view->errorAlert());
    QCOMPARE(view->errorAlert()->windowTitle(), QString("Error"));
    QCOMPARE(view->errorAlert()->text(), message);
    view->errorAlert()->buttons().first()->click();
    QTRY_VERIFY(view->errorMessage().isEmpty());

    // The next trigger tries again and says so again.
    view->applicationDidResignActive();
    QCOMPARE(view->errorMessage(), message);
    QCOMPARE(QString::fromStdU16String(view->text()).left(typed.size()), typed);
}

void TestContentView::supersededLoadNeverApplies()
{
    auto view = makeView();
    QSignalSpy loaded(view.get(), &ContentView::documentLoaded);
    // A large first file is still decoding when the second load replaces it.
    const QString first = writeFile(path("first.json"), QByteArray("[") + QByteArray("1,").repeated(2'000'000) + "1]");
    const QString second = writeFile(path("second.txt"), "second");
    view->loadPath(first);
    view->loadPath(second);
    QVERIFY(waitForLoad(*view, second));
    // The first decode runs to its end: its result arrives and is dropped.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(QString::fromStdString(view->doc()->path), QFileInfo(second).absoluteFilePath());
    QCOMPARE(QString::fromStdU16String(view->text()), QString("second"));
}

void TestContentView::droppingThreeFiles()
{
    auto view = makeView();
    view->show();
    const QString current = writeFile(path("current.txt"), "now");
    view->loadPath(current);
    QVERIFY(waitForLoad(*view, current));
    type(*view, "edited ");
    QStringList files;
    for (const char *name : {"one.json", "two.csv", "three.md"})
        files << writeFile(path(name), "[]");
    QMimeData data;
    QList<QUrl> urls;
    for (const QString &file : files)
        urls << QUrl::fromLocalFile(file);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.get(), &drop);
    QVERIFY(waitForLoad(*view, files[0]));
    QCOMPARE(readFile(current), QByteArray("edited now")); // Saved before the first replaced it.
    QCOMPARE(m_openedElsewhere, (QStringList{files[1], files[2]}));
}

void TestContentView::formatTwiceWithinTheToastTime()
{
    auto view = makeView();
    view->show();
    const QString file = writeFile(path("f.json"), "{\"a\":[1,2],\"b\":{}}");
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    QVERIFY(waitForJobs(*view));
    ToolbarButton *format = view->toolbar()->button("format");
    QVERIFY(!format->isHidden()); // Valid and not yet formatted.
    QTest::mouseClick(format, Qt::LeftButton);
    QCOMPARE(view->toast()->message(), QString("Formatted"));
    QCOMPARE(QString::fromStdU16String(view->text()), QString("{\n  \"a\": [\n    1,\n    2\n  ],\n  \"b\": {}\n}"));
    QVERIFY(view->isDirty());
    const int shown = WindowTimings::shared().toastMs;
    advance(shown - 100);
    QVERIFY(view->toast()->isShowing());
    view->formatDocument();
    QCOMPARE(view->toast()->message(), QString("Already formatted"));
    advance(shown - 1); // Restarted by the second press.
    QVERIFY(view->toast()->isShowing());
    advance(1);
    QVERIFY(!view->toast()->isShowing());
    QVERIFY(waitForJobs(*view));
    QVERIFY(format->isHidden()); // Formatted now.
    QVERIFY(view->isJSONFormatted());
}

void TestContentView::formatUsesTheNdjsonPrinter()
{
    auto view = makeView();
    const QString file = writeFile(path("r.ndjson"), "{\"b\": 1, \"a\": 2}\n");
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    QVERIFY(waitForJobs(*view));
    view->formatDocument();
    QCOMPARE(QString::fromStdU16String(view->text()), QString("{\"a\":2,\"b\":1}\n"));
}

void TestContentView::fontSizeStaysWithinBounds()
{
    auto view = makeView();
    const QString file = writeFile(path("s.txt"), "x");
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    DocumentToolbar *toolbar = view->toolbar();
    Preferences::shared().setFontSize(35.5);
    QTest::mouseClick(toolbar->button("larger"), Qt::LeftButton);
    QTest::mouseClick(toolbar->button("larger"), Qt::LeftButton);
    QCOMPARE(Preferences::shared().fontSize(), 36.0);
    QCOMPARE(toolbar->fontSizeLabel()->text(), QString("36"));
    Preferences::shared().setFontSize(8.5);
    QTest::mouseClick(toolbar->button("smaller"), Qt::LeftButton);
    QTest::mouseClick(toolbar->button("smaller"), Qt::LeftButton);
    QCOMPARE(Preferences::shared().fontSize(), 8.0);
    QTest::mouseClick(toolbar->button("larger"), Qt::LeftButton);
    QCOMPARE(toolbar->fontSizeLabel()->text(), QString("8.5"));
    QCOMPARE(view->textView()->font().pointSizeF(), 8.5);
}

void TestContentView::invalidStatusGoesToTheFaultyLine()
{
    auto view = makeView();
    view->show();
    const QString file = writeFile(path("bad.json"), "{\n  \"a\": 1,\n  \"b\" 2\n}\n");
    view->loadPath(file);
    QVERIFY(waitForLoad(*view, file));
    QVERIFY(waitForJobs(*view));
    ValidationItem *item = view->statusBar()->validationItem();
    QCOMPARE(item->text(), QString("Invalid · Line 3, Col 7"));
    QCOMPARE(item->toolTip(), QString("Line 3, Col 7: Expected ':' after the object key"));
    QCOMPARE(view->errorLine(), std::optional<long long>(3));
    QVERIFY(view->toolbar()->button("format")->isHidden());
    QTest::mouseClick(item, Qt::LeftButton);
    QTRY_COMPARE(view->caretLine(), 3LL);
}

void TestContentView::errorAlertShowsTheNewestMessage()
{
    auto view = makeView();
    view->show();
    view->loadPath(path("missing.json"));
    QCOMPARE(view->errorMessage(), QString("Cannot read file attributes: No such file or directory"));
    QVERIFY(view->errorAlert());
    view->showError("<b>second</b> & newer");
    QCOMPARE(view->errorAlert()->text(), QString("<b>second</b> & newer"));
    QCOMPARE(view->errorAlert()->textFormat(), Qt::PlainText);
    QCOMPARE(view->findChildren<QMessageBox *>().size(), qsizetype(1));
    QCOMPARE(view->errorAlert()->buttons().first()->text(), QString("OK"));
    view->errorAlert()->buttons().first()->click();
    QTRY_VERIFY(view->errorMessage().isEmpty());
}

void TestContentView::restoresTheLastFile_data()
{
    QTest::addColumn<bool>("sessionEnded");
    QTest::addColumn<bool>("withDeletedInitialFile");
    QTest::addColumn<bool>("restores");
    QTest::newRow("last file reopened") << false << false << true;
    QTest::newRow("not after the last window closed") << true << false << false;
    QTest::newRow("a window for a deleted file stays empty and says why") << false << true << false;
}

void TestContentView::restoresTheLastFile()
{
    QFETCH(bool, sessionEnded);
    QFETCH(bool, withDeletedInitialFile);
    QFETCH(bool, restores);
    const QString last = writeFile(path("last.txt"), "last");
    Preferences::shared().setLastOpenPath(last);
    Preferences::shared().setSessionEnded(sessionEnded);
    ContentView::Options options;
    if (withDeletedInitialFile)
        options.initialURL = path("deleted.txt");
    auto view = makeView(options);
    view->show();
    QTRY_VERIFY(!view->isRestorePending()); // On the next turn of the event loop.
    QTRY_VERIFY(!view->isLoading());
    QCOMPARE(view->doc().has_value(), restores);
    QCOMPARE(view->placeholder()->isVisible(), !restores);
    QCOMPARE(view->errorMessage(), withDeletedInitialFile
                                       ? QString("Cannot read file attributes: No such file or directory")
                                       : QString());
}

void TestContentView::preferencesReachEveryWindow()
{
    auto first = makeView();
    auto second = makeView();
    const QString file = writeFile(path("p.txt"), "x");
    first->loadPath(file);
    second->loadPath(file);
    QVERIFY(waitForLoad(*first, file));
    QVERIFY(waitForLoad(*second, file));
    QTest::mouseClick(first->toolbar()->button("lineNumbers"), Qt::LeftButton);
    QVERIFY(Preferences::shared().showLineNumbers());
    QVERIFY(second->textView()->showsLineNumbers());
    QVERIFY(second->toolbar()->button("lineNumbers")->isChecked());
    Preferences::shared().setThemeId("vscode-light");
    const QColor background = second->textView()->backgroundColor();
    QVERIFY(background.lightness() > 200);
    second->show();
}

void TestContentView::keyWindowRuleForNotifications()
{
    // Windows not yet shown count as key: both take the file.
    auto first = makeView();
    auto second = makeView();
    const QString file = writeFile(path("k.txt"), "k");
    WindowSession::shared().pendingExternalURLs = {file};
    NotificationCenter::defaultCenter().post(Notifications::loadFile, file);
    QVERIFY(WindowSession::shared().pendingExternalURLs.isEmpty());
    QVERIFY(waitForLoad(*first, file));
    QVERIFY(waitForLoad(*second, file));

    // Shown, only the active one acts.
    DocumentWindow a({true, {}, {}}), b({true, {}, {}});
    a.show();
    b.show();
    b.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&b));
    const QString other = writeFile(path("other.txt"), "o");
    NotificationCenter::defaultCenter().post(Notifications::loadFile, other);
    QVERIFY(waitForLoad(*b.contentView(), other));
    QVERIFY(!a.contentView()->isLoading());
    QVERIFY(!a.contentView()->doc());
}

void TestContentView::titleAndEditedMark()
{
    DocumentWindow window;
    window.show();
    QCOMPARE(window.windowTitle(), QString("Corvane[*]"));
    const QString file = writeFile(path("title.md"), "x");
    window.contentView()->loadPath(file);
    QVERIFY(waitForLoad(*window.contentView(), file));
    QCOMPARE(window.windowTitle(), QString("title.md[*]"));
    QCOMPARE(window.windowFilePath(), QFileInfo(file).absoluteFilePath());
    QVERIFY(!window.isWindowModified());
    SegmentedPicker *picker = window.contentView()->toolbar()->picker();
    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(0).center());
    type(*window.contentView(), "y");
    QVERIFY(window.isWindowModified());
    window.contentView()->saveIfDirty(SaveReason::AutoSave);
    QVERIFY(!window.isWindowModified());
    QTRY_VERIFY(window.contentView()->toolbarMinWidth() > 400);
    QCOMPARE(window.contentView()->minimumWidth(),
             std::max(980, int(std::ceil(window.contentView()->toolbarMinWidth()))));
    QCOMPARE(window.contentView()->minimumHeight(), 500);
    // The window cannot be made smaller than its content's minimum.
    window.resize(300, 200);
    QTRY_VERIFY(window.contentView()->width() >= 980 && window.contentView()->height() >= 500);
    QCOMPARE(RecentsStore::shared().items().first().path, QFileInfo(file).absoluteFilePath());
    QCOMPARE(Preferences::shared().lastOpenPath(), QFileInfo(file).absoluteFilePath());
}

void TestContentView::toolbarHelpNamesDesktopShortcuts()
{
    auto view = makeView();
    const QList<QPair<const char *, QString>> expected = {
        {"new", "New Window  Ctrl+N"}, {"save", "Save  Ctrl+S"},       {"open", "Open  Ctrl+O"},
        {"undo", "Undo  Ctrl+Z"},      {"redo", "Redo  Ctrl+Shift+Z"}, {"find", "Find  Ctrl+F"},
    };
    for (const auto &[role, help] : expected) {
        QCOMPARE(view->toolbar()->button(role)->toolTip(), help);
        QVERIFY(!view->toolbar()->button(role)->toolTip().contains(QChar(0x2318))); // No ⌘ left.
    }
}

QTEST_MAIN(TestContentView)
#include "tst_contentview.moc"
