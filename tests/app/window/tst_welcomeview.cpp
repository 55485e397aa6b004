// The welcome screen and the file-associations sheet through their real widgets, offscreen:
// recent files from the shared store, the update badge from a checker over a real local HTTP
// server, the first-run rule over settings in a temporary folder, and the sheet writing a real
// mimeapps.list under a temporary XDG_CONFIG_HOME.
#include "app/window/fileassociationssheet.h"
#include "app/window/recentrow.h"
#include "app/window/welcomeview.h"

#include "base/timer.h"

#include "app/services/fileassociations.h"
#include "app/services/mimeappslist.h"
#include "app/services/preferences.h"
#include "app/services/recentsstore.h"
#include "app/services/updatechecker.h"

#include "app/services/localhttpserver.h"
#include "support/fifowatchdog.h"

#include <QAbstractButton>
#include <QLabel>
#include <QNetworkProxy>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

using namespace App;

Q_DECLARE_METATYPE(App::SheetKind)

namespace {

const QByteArray ours = "app.corvane.editor.desktop";

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

void hover(QWidget *widget)
{
    const QPointF centre = QRectF(widget->rect()).center();
    QEnterEvent enter(centre, centre, widget->mapToGlobal(centre));
    QApplication::sendEvent(widget, &enter);
}

QStringList rowNames(const WelcomeView &view)
{
    QStringList names;
    for (RecentRow *row : view.recentRows())
        names << row->text();
    return names;
}

QStringList pathsOf(const QList<RecentEntry> &entries)
{
    QStringList paths;
    for (const RecentEntry &entry : entries)
        paths << entry.path;
    return paths;
}

QSet<QString> allIds()
{
    QSet<QString> ids;
    for (const auto &type : FileAssociations::all())
        ids.insert(type.id);
    return ids;
}

} // namespace

class TestWelcomeView : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // The screen.
    void showsItsSectionsInOrder();
    void noRecentsNoSection();
    void recentsNewestFirst();
    void displayFolder_data();
    void displayFolder();
    void symbolForEachKind_data();
    void symbolForEachKind();
    void longPathLaysOutABoundedString_data();
    void longPathLaysOutABoundedString();
    void clickingARowOpensItsEntry();
    void removeControlAppearsOnHoverAndRemoves();
    void clearEmptiesTheList();
    void everyScreenFollowsTheStore();
    void buttonsAndGearAsk();
    void badgeOnlyWithANewerVersion_data();
    void badgeOnlyWithANewerVersion();
    void badgeFollowsALiveCheckAndOpensTheDownloadPage();
    void dropOutlineIsDrawnOnlyWhileHighlighted();
    void firstRunSheetOnceOnAFreshProfile();
    void firstRunSheetNotOnceTheScreenIsGone();
    void firstRunSheetOnlyOnceAcrossWindows();
    void firstRunSheetOverAHostileMimeappsList_data();
    void firstRunSheetOverAHostileMimeappsList();

    // The sheet.
    void extensionsUnderEachLabel_data();
    void extensionsUnderEachLabel();
    void startingSelection_data();
    void startingSelection();
    void applyKeepsForeignEntries();
    void applyNeedsASelection();
    void statusCountsTheTypesThatTook();
    void closesAfterTheStatusWasShown();
    void leavingEndsTheFirstRun_data();
    void leavingEndsTheFirstRun();
    void countsOptionWritesThePreference();
    void oneSheetPerWindow();


private:
    QString path(const QString &name) const { return m_files->filePath(name); }
    QString mimeappsPath() const { return m_config->filePath("mimeapps.list"); }
    // A checker over its own settings file whose last check was just now (so it stays quiet)
    // unless `lastCheck` says otherwise.
    std::unique_ptr<UpdateChecker> makeChecker(const std::optional<QString> &rememberedVersion,
                                               const QUrl &endpoint = QUrl("http://127.0.0.1:9/version.json"),
                                               double lastCheck = 1'700'000'000.0);
    std::unique_ptr<WelcomeView> makeView(UpdateChecker &checker)
    {
        auto view = std::make_unique<WelcomeView>(WelcomeView::Sources{nullptr, &checker});
        view->resize(900, 640);
        return view;
    }
    void waitForStore();

    QTemporaryDir m_settingsFolder;
    std::unique_ptr<QTemporaryDir> m_files;
    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<QSettings> m_checkerSettings;
    QList<QUrl> m_openedPages;
    std::unique_ptr<Base::ManualClock> m_clock;
    // Moves the clock on and lets the event loop deliver what fell due.
    void advance(int milliseconds)
    {
        m_clock->advance(milliseconds);
        QCoreApplication::processEvents();
    }
    static int sheetDelay() { return int(WelcomeView::firstRunSheetDelay.count()); }
};

void TestWelcomeView::initTestCase()
{
    QVERIFY(m_settingsFolder.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsFolder.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsFolder.path());
    QCoreApplication::setOrganizationName("CorvaneTests");
    QCoreApplication::setApplicationName("WelcomeView");
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    // The shared checker must never reach the real product site from a test.
    Preferences::shared().settings().setValue(UpdateChecker::lastCheckKey, 4e9);
    Preferences::shared().settings().remove(FileAssociations::hasPromptedKey);
    // The first-run sheet's delay and the sheet's closing run on a clock the tests move.
    m_clock = std::make_unique<Base::ManualClock>();
    WelcomeView::openReleasePage = [this](const QUrl &url) { m_openedPages << url; };
    waitForStore();
}

void TestWelcomeView::init()
{
    m_files = std::make_unique<QTemporaryDir>();
    m_config = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());
    RecentsStore::shared().clear();
    // Most tests are not about the first-run sheet and must not see it.
    Preferences::shared().settings().setValue(FileAssociations::hasPromptedKey, true);
    Preferences::shared().setShowCounts(true);
    Preferences::shared().setThemeId(QString());
    FileAssociationsSheet::closeDelay = std::chrono::milliseconds(600);
    m_openedPages.clear();
}

void TestWelcomeView::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog *>(widget))
            delete widget;
    m_checkerSettings.reset();
}

void TestWelcomeView::waitForStore()
{
    QVERIFY(QTest::qWaitFor([] { return RecentsStore::shared().didLoad(); }, 5000));
}

std::unique_ptr<UpdateChecker> TestWelcomeView::makeChecker(const std::optional<QString> &rememberedVersion,
                                                            const QUrl &endpoint, double lastCheck)
{
    const QString file = m_files->filePath("checker.ini");
    QFile::remove(file);
    m_checkerSettings = std::make_unique<QSettings>(file, QSettings::IniFormat);
    m_checkerSettings->setValue(UpdateChecker::lastCheckKey, lastCheck);
    if (rememberedVersion) {
        m_checkerSettings->setValue(UpdateChecker::availableVersionKey, *rememberedVersion);
        m_checkerSettings->setValue(UpdateChecker::releaseURLKey,
                                    "https://corvane.test/download/" + *rememberedVersion);
    }
    const UpdateChecker::Site site{endpoint, QUrl("https://corvane.test/"), "corvane.test"};
    return std::make_unique<UpdateChecker>(*m_checkerSettings, site, "1.2", [] { return 1'700'000'060.0; });
}

// ---- The screen -------------------------------------------------------------------------------

void TestWelcomeView::showsItsSectionsInOrder()
{
    auto checker = makeChecker(std::nullopt);
    RecentsStore::shared().add(writeFile(path("a.json"), "{}"));
    auto view = makeView(*checker);
    view->show();
    QCOMPARE(view->titleLabel()->text(), QString("Corvane"));
    QCOMPARE(view->kindsLabel()->text(), QString("JSON · CSV · Markdown · YAML · TOML · XML · LOG · TXT"));
    QCOMPARE(view->hintLabel()->text(), QString("or drop a file anywhere"));
    QCOMPARE(view->newButton()->text(), QString("New"));
    QCOMPARE(view->openButton()->text(), QString("Open File…"));
    QCOMPARE(view->gearButton()->toolTip(), QString("File associations"));
    QCOMPARE(view->clearButton()->text(), QString("Clear"));
    const auto top = [&](QWidget *widget) { return widget->mapTo(view.get(), QPoint(0, 0)).y(); };
    QVERIFY(top(view->titleLabel()) < top(view->kindsLabel()));
    QVERIFY(top(view->kindsLabel()) < top(view->newButton()));
    QCOMPARE(top(view->newButton()), top(view->openButton()));
    QVERIFY(view->newButton()->x() < view->openButton()->x());
    QVERIFY(top(view->openButton()) < top(view->hintLabel()));
    QVERIFY(top(view->hintLabel()) < top(view->recentSection()));
    QVERIFY(view->recentSection()->width() <= 460);
    // The gear sits in the top right corner, 12 from the edges, outside the scrolling column.
    QCOMPARE(view->gearButton()->geometry(), QRect(900 - 12 - 28, 12, 28, 28));
    QVERIFY(!view->updateBadge()->isVisible());
}

void TestWelcomeView::noRecentsNoSection()
{
    auto checker = makeChecker(std::nullopt);
    auto view = makeView(*checker);
    view->show();
    QVERIFY(view->recentRows().isEmpty());
    QVERIFY(!view->recentSection()->isVisible());
    QVERIFY(!view->clearButton()->isVisible());
    QCoreApplication::processEvents();
    // Everything fits: no scroll bar.
    QVERIFY(!view->findChild<QScrollArea *>()->verticalScrollBar()->isVisible());
}

void TestWelcomeView::recentsNewestFirst()
{
    auto checker = makeChecker(std::nullopt);
    QStringList added;
    for (int i = 0; i < 12; ++i)
        RecentsStore::shared().add(added.emplace_back(writeFile(path(QString("file%1.txt").arg(i)), "x")));
    auto view = makeView(*checker);
    view->show();
    QStringList expected;
    for (int i = 11; i >= 2; --i)
        expected << QString("file%1.txt").arg(i);
    QCOMPARE(rowNames(*view), expected); // Ten, newest first.
    QVERIFY(view->recentSection()->isVisible());
    QCOMPARE(view->recentRows().first()->entry().path, added.last());
}

void TestWelcomeView::displayFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("folder");
    QTest::newRow("sub-folder of home shows ~/…") << "/home/ann/notes/a.md"
                                                  << "/home/ann"
                                                  << "~/notes";
    QTest::newRow("home itself shows ~") << "/home/ann/a.md"
                                         << "/home/ann"
                                         << "~";
    QTest::newRow("home with a final slash") << "/home/ann/x/a.md"
                                             << "/home/ann/"
                                             << "~/x";
    QTest::newRow("a longer name is not home") << "/home/anna/a.md"
                                               << "/home/ann"
                                               << "/home/anna";
    QTest::newRow("outside home unchanged") << "/etc/app/c.toml"
                                            << "/home/ann"
                                            << "/etc/app";
    QTest::newRow("file at the root") << "/a.json"
                                      << "/home/ann"
                                      << "/";
    QTest::newRow("home is the root: nothing abbreviated") << "/srv/a.json"
                                                           << "/"
                                                           << "/srv";
}

void TestWelcomeView::displayFolder()
{
    QFETCH(QString, path);
    QFETCH(QString, home);
    QFETCH(QString, folder);
    QCOMPARE(RecentRow::displayFolder(path, home), folder);
}

void TestWelcomeView::longPathLaysOutABoundedString_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QString deep = "/data";
    while (deep.size() < 3800)
        deep += "/folder-" + QString::number(deep.size());
    QTest::newRow("deepFolder") << deep << "report.json";
    QTest::newRow("longName") << QString("/data") << QString(250, 'n') + ".json";
    // Handed to a row directly, not through the store, which drops such entries.
    QTest::newRow("tenMegabytes") << "/" + QString(10 << 20, 'f') << QString(1 << 20, 'n') + ".json";
}

void TestWelcomeView::longPathLaysOutABoundedString()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    const QString full = folder + "/" + name;
    RecentRow row(RecentEntry{QUuid::createUuid(), full, {}, 0}, Highlighting::Theme::defaultTheme());
    row.resize(600, row.sizeHint().height());
    // Both lines start as they should and are short whatever the path's length.
    constexpr int bound = 200;
    QVERIFY2(row.text().size() <= bound, qPrintable(QString::number(row.text().size())));
    QVERIFY2(row.folderText().size() <= bound, qPrintable(QString::number(row.folderText().size())));
    QVERIFY2(row.toolTip().size() <= 4096, qPrintable(QString::number(row.toolTip().size())));
    QVERIFY(row.text().startsWith(name.left(20)));
    QVERIFY(row.folderText().startsWith(folder.left(20)));
    if (name.size() <= bound)
        QCOMPARE(row.text(), name);
    else
        QVERIFY(row.text().endsWith(".json"));
    QVERIFY(row.sizeHint().width() < 4000);
    QVERIFY(!row.grab().isNull());
}

void TestWelcomeView::symbolForEachKind_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("symbol");
    QTest::newRow("json") << "a.json"
                          << "curlybraces";
    QTest::newRow("jsonl") << "a.jsonl"
                           << "curlybraces";
    QTest::newRow("csv") << "a.csv"
                         << "tablecells";
    QTest::newRow("txt") << "a.txt"
                         << "doc.text";
    QTest::newRow("no extension") << "README"
                                  << "doc.text";
    QTest::newRow("markdown") << "a.markdown"
                              << "text.alignleft";
    QTest::newRow("yml") << "a.yml"
                         << "list.bullet.indent";
    QTest::newRow("toml") << "a.toml"
                          << "list.bullet.indent";
    QTest::newRow("xml") << "a.XML"
                         << "chevron.left.forwardslash.chevron.right";
    QTest::newRow("log") << "a.log"
                         << "doc.text.magnifyingglass";
}

void TestWelcomeView::symbolForEachKind()
{
    QFETCH(QString, name);
    QFETCH(QString, symbol);
    const RecentEntry entry{QUuid::createUuid(), "/tmp/" + name, {}, 0};
    RecentRow row(entry, Highlighting::Theme::defaultTheme());
    QCOMPARE(row.cachedIcon(), symbol);
    QCOMPARE(row.text(), name);
}

void TestWelcomeView::clickingARowOpensItsEntry()
{
    auto checker = makeChecker(std::nullopt);
    RecentsStore::shared().add(writeFile(path("one.csv"), "a"));
    RecentsStore::shared().add(writeFile(path("two.md"), "b"));
    auto view = makeView(*checker);
    view->show();
    QSignalSpy opened(view.get(), &WelcomeView::recentRequested);
    QTest::mouseClick(view->recentRows().at(1), Qt::LeftButton, {}, QPoint(30, 10));
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.first().first().value<RecentEntry>(), RecentsStore::shared().items().at(1));
    QCOMPARE(RecentsStore::shared().items().size(), 2); // Opening does not remove.
}

void TestWelcomeView::removeControlAppearsOnHoverAndRemoves()
{
    auto checker = makeChecker(std::nullopt);
    const QString kept = writeFile(path("kept.json"), "{}");
    const QString gone = writeFile(path("gone.json"), "{}");
    RecentsStore::shared().add(kept);
    RecentsStore::shared().add(gone);
    auto view = makeView(*checker);
    view->show();
    RecentRow *row = view->recentRows().first();
    QCOMPARE(row->entry().path, gone);
    QVERIFY(!row->removeButton()->isVisible());
    hover(row);
    QVERIFY(row->isHovering());
    QVERIFY(row->removeButton()->isVisible());
    QCOMPARE(row->removeButton()->toolTip(), QString("Remove from recents"));
    QSignalSpy opened(view.get(), &WelcomeView::recentRequested);
    QTest::mouseClick(row->removeButton(), Qt::LeftButton);
    QCOMPARE(pathsOf(RecentsStore::shared().items()), QStringList{kept});
    QCOMPARE(rowNames(*view), QStringList{"kept.json"});
    QCOMPARE(opened.size(), 0); // The remove control is not a click on the row.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view->recentRows().first(), &leave);
    QVERIFY(!view->recentRows().first()->removeButton()->isVisible());
}

void TestWelcomeView::clearEmptiesTheList()
{
    auto checker = makeChecker(std::nullopt);
    RecentsStore::shared().add(writeFile(path("a.txt"), "a"));
    auto view = makeView(*checker);
    view->show();
    QVERIFY(view->recentSection()->isVisible());
    QTest::mouseClick(view->clearButton(), Qt::LeftButton);
    QVERIFY(RecentsStore::shared().items().isEmpty());
    QVERIFY(!view->recentSection()->isVisible());
}

void TestWelcomeView::everyScreenFollowsTheStore()
{
    auto checker = makeChecker(std::nullopt);
    auto first = makeView(*checker);
    auto second = makeView(*checker);
    first->show();
    second->show();
    QVERIFY(!second->recentSection()->isVisible());
    RecentsStore::shared().add(writeFile(path("shared.yaml"), "a: 1"));
    QCOMPARE(rowNames(*first), QStringList{"shared.yaml"});
    QCOMPARE(rowNames(*second), QStringList{"shared.yaml"});
    QVERIFY(second->recentSection()->isVisible());
    // Removing in one window removes in the other.
    hover(first->recentRows().first());
    QTest::mouseClick(first->recentRows().first()->removeButton(), Qt::LeftButton);
    QVERIFY(rowNames(*second).isEmpty());
    QVERIFY(!second->recentSection()->isVisible());
}

void TestWelcomeView::buttonsAndGearAsk()
{
    auto checker = makeChecker(std::nullopt);
    auto view = makeView(*checker);
    view->show();
    QSignalSpy newRequested(view.get(), &WelcomeView::newRequested);
    QSignalSpy openRequested(view.get(), &WelcomeView::openRequested);
    QSignalSpy settingsRequested(view.get(), &WelcomeView::settingsRequested);
    QTest::mouseClick(view->newButton(), Qt::LeftButton);
    QTest::mouseClick(view->openButton(), Qt::LeftButton);
    QTest::mouseClick(view->gearButton(), Qt::LeftButton);
    QCOMPARE(newRequested.size(), 1);
    QCOMPARE(openRequested.size(), 1);
    QCOMPARE(settingsRequested.size(), 1);
}

void TestWelcomeView::badgeOnlyWithANewerVersion_data()
{
    QTest::addColumn<std::optional<QString>>("remembered");
    QTest::addColumn<QString>("badge");
    QTest::newRow("nothing remembered: no badge") << std::optional<QString>() << "";
    QTest::newRow("a newer version: badge") << std::optional<QString>("1.10") << "Update available: 1.10";
    QTest::newRow("the running version: no badge") << std::optional<QString>("1.2.0") << "";
    QTest::newRow("an older version: no badge") << std::optional<QString>("1.1.9") << "";
    // What an update server could have left in the settings before versions were checked.
    QTest::newRow("900 KB of dotted numbers: no badge")
        << std::optional<QString>("9" + QString(".9").repeated(450'000)) << "";
    QTest::newRow("a version with a suffix: no badge") << std::optional<QString>("2.0-beta") << "";
    QTest::newRow("the widest version: badge")
        << std::optional<QString>("999999.999999.999999.999999") << "Update available: 999999.999999.999999.999999";
}

void TestWelcomeView::badgeOnlyWithANewerVersion()
{
    QFETCH(std::optional<QString>, remembered);
    QFETCH(QString, badge);
    auto checker = makeChecker(remembered);
    auto view = makeView(*checker);
    view->show();
    QCOMPARE(view->updateBadge()->isVisible(), !badge.isEmpty());
    if (badge.isEmpty())
        return;
    QCOMPARE(view->updateBadge()->text(), badge);
    QCOMPARE(view->updateBadge()->toolTip(), QString("Click to download the new version"));
    QCOMPARE(view->updateBadge()->pos(), QPoint(12, 12 + (28 - view->updateBadge()->height()) / 2));
    QVERIFY(view->updateBadge()->width() <= 400);
}

void TestWelcomeView::badgeFollowsALiveCheckAndOpensTheDownloadPage()
{
    LocalHttpServer server;
    QVERIFY(server.isListening());
    server.setResponse({200, R"({"version":"2.0","url":"https://get.corvane.test/2.0"})"});
    auto checker = makeChecker(std::nullopt, server.url("/version.json"), 0);
    auto view = makeView(*checker);
    QVERIFY(!view->updateBadge()->isVisible());
    view->show(); // Appearing lets the checker look: its last check is long past.
    QTRY_VERIFY(view->updateBadge()->isVisible());
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(view->updateBadge()->text(), QString("Update available: 2.0"));
    QTest::mouseClick(view->updateBadge(), Qt::LeftButton);
    QCOMPARE(m_openedPages, QList<QUrl>{QUrl("https://get.corvane.test/2.0")});
    // A later answer without a newer version takes the badge away.
    server.setResponse({200, R"({"version":"1.2","url":"https://corvane.test/"})"});
    QSignalSpy checked(checker.get(), &UpdateChecker::checked);
    checker->check();
    QVERIFY(checked.wait(5000));
    QVERIFY(!view->updateBadge()->isVisible());
}

void TestWelcomeView::dropOutlineIsDrawnOnlyWhileHighlighted()
{
    auto checker = makeChecker(std::nullopt);
    auto view = makeView(*checker);
    view->show();
    // Pixels of the outline's left edge, 24 in from the side, that differ from the background.
    const auto outlinePixels = [&] {
        const QImage image = view->grab().toImage();
        int count = 0;
        for (int y = 60; y < 580; ++y)
            count += image.pixelColor(24, y) != image.pixelColor(5, y); // The background shades downwards.
        return count;
    };
    QCOMPARE(outlinePixels(), 0);
    view->setDropHighlighted(true);
    QVERIFY(view->isDropHighlighted());
    const int drawn = outlinePixels();
    QVERIFY2(drawn > 200, QByteArray::number(drawn));
    QVERIFY2(drawn < 500, QByteArray::number(drawn)); // Dashed, not solid.
    view->setDropHighlighted(false);
    QCOMPARE(outlinePixels(), 0);
}

void TestWelcomeView::firstRunSheetOnceOnAFreshProfile()
{
    Preferences::shared().settings().remove(FileAssociations::hasPromptedKey);
    auto checker = makeChecker(std::nullopt);
    auto view = makeView(*checker);
    view->show();
    QVERIFY(!view->activeSheet()); // Not at once: a moment after the screen appears.
    advance(sheetDelay() - 1);
    QVERIFY(!view->activeSheet());
    advance(1);
    QCOMPARE(view->activeSheet(), std::optional<SheetKind>(SheetKind::FirstRun));
    FileAssociationsSheet *sheet = fileAssociationsSheetOf(view.get());
    QVERIFY(sheet);
    QCOMPARE(sheet->titleLabel()->text(), QString("Welcome to Corvane"));
    QCOMPARE(sheet->cancelButton()->text(), QString("Skip"));
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    QTRY_VERIFY(!view->activeSheet());
    QCOMPARE(Preferences::shared().settings().value(FileAssociations::hasPromptedKey).toBool(), true);
    // The screen appearing again, or in a new window, asks no more.
    view->hide();
    view->show();
    auto another = makeView(*checker);
    another->show();
    advance(sheetDelay() * 3);
    QVERIFY(!view->activeSheet());
    QVERIFY(!another->activeSheet());
}

void TestWelcomeView::firstRunSheetOverAHostileMimeappsList_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("namedPipe") << "fifo";
    QTest::newRow("tenMegabytesOfBlankLines") << "oversized";
}

void TestWelcomeView::firstRunSheetOverAHostileMimeappsList()
{
    QFETCH(QString, obstacle);
    const QByteArray big = "[Default Applications]\n" + QByteArray(10 << 20, '\n');
    if (obstacle == "fifo")
        QVERIFY(makeFifo(mimeappsPath()));
    else
        writeFile(mimeappsPath(), big);
    FifoWatchdog watchdog(mimeappsPath(), std::chrono::seconds(5));
    Preferences::shared().settings().remove(FileAssociations::hasPromptedKey);
    auto checker = makeChecker(std::nullopt);
    auto view = makeView(*checker);
    view->show();
    advance(sheetDelay());
    FileAssociationsSheet *sheet = fileAssociationsSheetOf(view.get());
    QVERIFY(sheet);
    QVERIFY(sheet->isVisible());
    QTest::mouseClick(sheet->applyButton(), Qt::LeftButton);
    QVERIFY(sheet->status());
    QVERIFY2(sheet->status()->startsWith("0/"), qPrintable(*sheet->status()));
    QVERIFY2(!watchdog.fired(), "the sheet blocked on the pipe");
    // What we refused to read is not written over.
    if (obstacle == "fifo")
        QVERIFY(isFifo(mimeappsPath()));
    else
        QCOMPARE(QFileInfo(mimeappsPath()).size(), qint64(big.size()));
}

void TestWelcomeView::firstRunSheetNotOnceTheScreenIsGone()
{
    Preferences::shared().settings().remove(FileAssociations::hasPromptedKey);
    auto checker = makeChecker(std::nullopt);
    auto view = makeView(*checker);
    view->show();
    view->hide(); // A document took the window's place before the delay ran out.
    advance(sheetDelay() * 3);
    QVERIFY(!view->activeSheet());
    // Closing the sheet by other means than its buttons leaves the first run pending.
    view->show();
    advance(sheetDelay());
    QVERIFY(view->activeSheet());
    fileAssociationsSheetOf(view.get())->close();
    QVERIFY(!Preferences::shared().settings().value(FileAssociations::hasPromptedKey, false).toBool());
}

void TestWelcomeView::firstRunSheetOnlyOnceAcrossWindows()
{
    Preferences::shared().settings().remove(FileAssociations::hasPromptedKey);
    auto checker = makeChecker(std::nullopt);
    auto first = makeView(*checker);
    auto second = makeView(*checker);
    first->show();
    second->show();
    advance(sheetDelay() * 3);
    QCOMPARE(int(bool(first->activeSheet())) + int(bool(second->activeSheet())), 1);
}

// ---- The sheet --------------------------------------------------------------------------------

void TestWelcomeView::extensionsUnderEachLabel_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("extensions");
    QTest::newRow("json") << "json"
                          << "JSON"
                          << ".json";
    QTest::newRow("ndjson lists two") << "ndjson"
                                      << "NDJSON"
                                      << ".ndjson, .jsonl";
    QTest::newRow("markdown lists two") << "markdown"
                                        << "Markdown"
                                        << ".md, .markdown";
    QTest::newRow("yaml lists two") << "yaml"
                                    << "YAML"
                                    << ".yaml, .yml";
    QTest::newRow("plist is lower-case") << "plist"
                                         << "plist"
                                         << ".plist";
    QTest::newRow("log") << "log"
                         << "LOG"
                         << ".log";
    QTest::newRow("txt says why it starts unchecked") << "txt"
                                                      << "TXT"
                                                      << ".txt · Off by default: it would also open scripts and HTML";
    QTest::newRow("xml says why it starts unchecked") << "xml"
                                                      << "XML"
                                                      << ".xml · Off by default: it would also open SVG and XHTML";
}

void TestWelcomeView::extensionsUnderEachLabel()
{
    QFETCH(QString, id);
    QFETCH(QString, label);
    QFETCH(QString, extensions);
    MimeAppsList registry(mimeappsPath());
    FileAssociationsSheet sheet(SheetKind::Settings, registry);
    QAbstractButton *row = sheet.row(id);
    QVERIFY(row);
    QCOMPARE(row->text(), label);
    QCOMPARE(row->accessibleDescription(), extensions);
}

void TestWelcomeView::startingSelection_data()
{
    QTest::addColumn<SheetKind>("mode");
    QTest::addColumn<QStringList>("selected");
    QTest::newRow("first run: all but text/plain and application/xml, even those already ours")
        << SheetKind::FirstRun << QStringList{"csv", "json", "log", "markdown", "ndjson", "plist", "toml", "yaml"};
    QTest::newRow("settings: the current ones") << SheetKind::Settings << QStringList{"csv", "json"};
}

void TestWelcomeView::startingSelection()
{
    QFETCH(SheetKind, mode);
    QFETCH(QStringList, selected);
    // JSON and CSV are ours; YAML only under one of its two names, so not current.
    writeFile(mimeappsPath(), "[Default Applications]\n"
                              "application/json=" +
                                  ours +
                                  ";\n"
                                  "text/csv=APP.Corvane.Editor.desktop\n"
                                  "text/tab-separated-values=app.corvane.editor.desktop;\n"
                                  "application/x-yaml=" +
                                  ours +
                                  "\n"
                                  "text/plain=org.gnome.TextEditor.desktop;\n");
    MimeAppsList registry(mimeappsPath());
    FileAssociationsSheet sheet(mode, registry);
    QCOMPARE(sheet.selected(), FileAssociations::preselected()); // Before it appears.
    QVERIFY(sheet.defaultsSnapshot().isEmpty());
    sheet.show();
    QStringList actual = sheet.selected().values();
    actual.sort();
    QCOMPARE(actual, selected);
    QCOMPARE(sheet.defaultsSnapshot().size(), 10);
    QCOMPARE(sheet.defaultsSnapshot().value("json"), true);
    QCOMPARE(sheet.defaultsSnapshot().value("csv"), true);
    QCOMPARE(sheet.defaultsSnapshot().value("yaml"), false);
    QCOMPARE(sheet.defaultsSnapshot().value("txt"), false);
    QVERIFY(sheet.row("json")->accessibleDescription().endsWith(", current"));
    QVERIFY(!sheet.row("txt")->accessibleDescription().contains("current"));
    for (const auto &type : FileAssociations::all())
        QCOMPARE(sheet.row(type.id)->isChecked(), selected.contains(type.id));
    QCOMPARE(sheet.titleLabel()->text(), QString(mode == SheetKind::FirstRun ? "Welcome to Corvane" : "Settings"));
    QCOMPARE(sheet.cancelButton()->text(), QString(mode == SheetKind::FirstRun ? "Skip" : "Cancel"));
}

void TestWelcomeView::applyKeepsForeignEntries()
{
    const QByteArray before = "# my defaults\n"
                              "[Added Associations]\n"
                              "text/csv=libreoffice-calc.desktop;\n"
                              "\n"
                              "[Default Applications]\n"
                              "text/csv=libreoffice-calc.desktop;\n"
                              "image/png=org.gnome.eog.desktop;\n"
                              "text/plain=org.gnome.TextEditor.desktop;\n";
    writeFile(mimeappsPath(), before);
    // Through the user's own file: $XDG_CONFIG_HOME/mimeapps.list.
    QCOMPARE(MimeAppsList::defaultPath(), mimeappsPath());
    auto checker = makeChecker(std::nullopt);
    auto view = makeView(*checker);
    view->show();
    FileAssociationsSheet *sheet = showFileAssociationsSheet(view.get(), SheetKind::Settings);
    QVERIFY(sheet->isVisible());
    QVERIFY(sheet->selected().isEmpty()); // Nothing is ours yet.
    QTest::mouseClick(sheet->row("json"), Qt::LeftButton);
    QTest::mouseClick(sheet->row("csv"), Qt::LeftButton);
    QCOMPARE(sheet->selected(), (QSet<QString>{"json", "csv"}));
    QTest::mouseClick(sheet->applyButton(), Qt::LeftButton);
    QCOMPARE(sheet->status(), std::optional<QString>("2/2 ✓"));
    const QByteArray after = readFile(mimeappsPath());
    QVERIFY2(after.startsWith("# my defaults\n[Added Associations]\ntext/csv=libreoffice-calc.desktop;\n\n"
                              "[Default Applications]\n"),
             after.constData());
    QVERIFY(after.contains("text/csv=" + ours + ";libreoffice-calc.desktop;\n"));
    QVERIFY(after.contains("image/png=org.gnome.eog.desktop;\n"));
    QVERIFY(after.contains("text/plain=org.gnome.TextEditor.desktop;\n"));
    QVERIFY(after.contains("application/json=" + ours));
    QVERIFY(!after.contains("application/toml"));
    QCOMPARE(Preferences::shared().settings().value(FileAssociations::hasPromptedKey).toBool(), true);
    // Read back as the next sheet sees it.
    const auto snapshot = FileAssociations::snapshot(MimeAppsList(mimeappsPath()));
    QCOMPARE(snapshot.value("json"), true);
    QCOMPARE(snapshot.value("csv"), true);
    QCOMPARE(snapshot.value("txt"), false);
}

void TestWelcomeView::applyNeedsASelection()
{
    MimeAppsList registry(mimeappsPath());
    FileAssociationsSheet sheet(SheetKind::FirstRun, registry);
    sheet.show();
    QVERIFY(sheet.applyButton()->isEnabled());
    QTest::mouseClick(sheet.noneButton(), Qt::LeftButton);
    QVERIFY(sheet.selected().isEmpty());
    QVERIFY(!sheet.applyButton()->isEnabled());
    QTest::keyClick(&sheet, Qt::Key_Return);
    QVERIFY(!sheet.status());
    QVERIFY(!QFile::exists(mimeappsPath()));
    QTest::mouseClick(sheet.selectAllButton(), Qt::LeftButton);
    QCOMPARE(sheet.selected(), allIds());
    QVERIFY(sheet.applyButton()->isEnabled());
    // Return is the default action.
    QTest::keyClick(&sheet, Qt::Key_Return);
    QCOMPARE(sheet.status(), std::optional<QString>("10/10 ✓"));
    QVERIFY(readFile(mimeappsPath()).contains("application/yaml=" + ours));
}

void TestWelcomeView::statusCountsTheTypesThatTook()
{
    // A folder where the file should be: nothing can be read or written, nothing takes.
    QVERIFY(QDir().mkpath(mimeappsPath()));
    MimeAppsList registry(mimeappsPath());
    FileAssociationsSheet sheet(SheetKind::FirstRun, registry);
    sheet.show();
    QVERIFY(!sheet.statusLabel()->isVisible());
    QTest::mouseClick(sheet.row("log"), Qt::LeftButton); // Seven of the eight preselected left.
    QTest::mouseClick(sheet.applyButton(), Qt::LeftButton);
    QCOMPARE(sheet.status(), std::optional<QString>("0/7 ✓"));
    QCOMPARE(sheet.statusLabel()->text(), QString("0/7 ✓"));
    QVERIFY(sheet.statusLabel()->isVisible());
    QCOMPARE(FileAssociationsSheet::statusText(9, 10), QString("9/10 ✓"));
}

void TestWelcomeView::closesAfterTheStatusWasShown()
{
    MimeAppsList registry(mimeappsPath());
    auto *sheet = new FileAssociationsSheet(SheetKind::Settings, registry);
    QPointer<FileAssociationsSheet> alive(sheet);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->show();
    QTest::mouseClick(sheet->selectAllButton(), Qt::LeftButton);
    QTest::mouseClick(sheet->applyButton(), Qt::LeftButton);
    QVERIFY(sheet->isVisible());
    QVERIFY(sheet->statusLabel()->isVisible());
    QVERIFY(!sheet->applyButton()->isEnabled()); // No second write while it closes.
    advance(int(FileAssociationsSheet::closeDelay.count()) - 1);
    QVERIFY(sheet->isVisible()); // The status stays long enough to be read.
    advance(1);
    QTRY_VERIFY(!alive);
}

void TestWelcomeView::leavingEndsTheFirstRun_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("prompted");
    QTest::newRow("Skip button") << "skip" << true;
    QTest::newRow("Escape key") << "escape" << true;
    QTest::newRow("Apply") << "apply" << true;
    QTest::newRow("closing the window: still pending") << "close" << false;
}

void TestWelcomeView::leavingEndsTheFirstRun()
{
    QFETCH(QString, how);
    QFETCH(bool, prompted);
    Preferences::shared().settings().remove(FileAssociations::hasPromptedKey);
    MimeAppsList registry(mimeappsPath());
    FileAssociationsSheet sheet(SheetKind::FirstRun, registry);
    sheet.show();
    if (how == "skip")
        QTest::mouseClick(sheet.cancelButton(), Qt::LeftButton);
    else if (how == "escape")
        QTest::keyClick(&sheet, Qt::Key_Escape);
    else if (how == "apply")
        QTest::mouseClick(sheet.applyButton(), Qt::LeftButton);
    else
        sheet.close();
    advance(int(FileAssociationsSheet::closeDelay.count()));
    QTRY_VERIFY(!sheet.isVisible());
    QCOMPARE(Preferences::shared().settings().value(FileAssociations::hasPromptedKey, false).toBool(), prompted);
    QCOMPARE(QFile::exists(mimeappsPath()), how == "apply"); // Only Apply writes.
}

void TestWelcomeView::countsOptionWritesThePreference()
{
    MimeAppsList registry(mimeappsPath());
    FileAssociationsSheet sheet(SheetKind::Settings, registry);
    sheet.show();
    QCOMPARE(sheet.countsRow()->text(), QString("Show line/word/char counts"));
    QVERIFY(sheet.countsRow()->isChecked());
    QSignalSpy changed(&Preferences::shared(), &Preferences::changed);
    QTest::mouseClick(sheet.countsRow(), Qt::LeftButton);
    QCOMPARE(Preferences::shared().showCounts(), false);
    QCOMPARE(Preferences::shared().settings().value(Preferences::showCountsKey).toBool(), false);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().first().toString(), Preferences::showCountsKey);
    // Not tied to Apply, and following a change made elsewhere.
    QVERIFY(!sheet.status());
    Preferences::shared().setShowCounts(true);
    QVERIFY(sheet.countsRow()->isChecked());
    QVERIFY(!QFile::exists(mimeappsPath()));
}

void TestWelcomeView::oneSheetPerWindow()
{
    auto checker = makeChecker(std::nullopt);
    auto view = makeView(*checker);
    view->show();
    view->showSheet(SheetKind::FirstRun);
    QPointer<FileAssociationsSheet> firstRun = fileAssociationsSheetOf(view.get());
    QVERIFY(firstRun);
    QCOMPARE(view->activeSheet(), std::optional<SheetKind>(SheetKind::FirstRun));
    // The same kind again is the same sheet; the other kind replaces it.
    QCOMPARE(showFileAssociationsSheet(view.get(), SheetKind::FirstRun), firstRun.data());
    FileAssociationsSheet *settings = showFileAssociationsSheet(view.get(), SheetKind::Settings);
    QVERIFY(settings != firstRun.data());
    QTRY_VERIFY(!firstRun);
    QCOMPARE(view->activeSheet(), std::optional<SheetKind>(SheetKind::Settings));
    QVERIFY(settings->isModal() || settings->windowModality() == Qt::WindowModal);
    settings->close();
    QTRY_VERIFY(!view->activeSheet());
}

QTEST_MAIN(TestWelcomeView)
#include "tst_welcomeview.moc"
