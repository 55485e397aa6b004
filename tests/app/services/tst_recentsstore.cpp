// The recent-files list: its stored format, ordering and limits, the merge with what was stored,
// the debounced and the immediate writes, and the bookmarks that find renamed files.
#include "app/services/filebookmark.h"
#include "app/services/filebookmark_p.h"
#include "app/services/recentsstore.h"
#include "base/timer.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using App::RecentEntry;
using App::RecentsStore;
namespace Bookmark = App::FileBookmark;

namespace {

constexpr double now = 1'700'000'000.25; // seconds since 1970
constexpr std::chrono::milliseconds shortDelay{100};
constexpr std::chrono::hours neverInATest{1};

QString writeFile(const QString &path, const QByteArray &bytes = "{}")
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

RecentEntry entry(const QString &path, double lastOpened = 100.5, const QByteArray &bookmark = {})
{
    return RecentEntry{QUuid::createUuid(), path, bookmark, lastOpened};
}

// Lets the store finish what it has started: the deferred start of its read, then its reads
// and writes in the background, then what they hand back to the main thread.
void settle(RecentsStore &recents)
{
    QCoreApplication::sendPostedEvents();
    recents.waitForBackgroundWork();
    QCoreApplication::sendPostedEvents();
}

QStringList paths(const QList<RecentEntry> &items)
{
    QStringList result;
    for (const RecentEntry &item : items)
        result.append(item.path);
    return result;
}

} // namespace

class TestRecentsStore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void encodeWritesTheStoredFormat();
    void decodeReadsWhatOtherWritersStore_data();
    void decodeReadsWhatOtherWritersStore();
    void decodeRefusesTheWholeListForOneFault_data();
    void decodeRefusesTheWholeListForOneFault();

    void elevenFilesKeepTheTenNewest();
    void addingAFileAgainMovesItToTheFront();
    void aSymlinkedPathIsASecondEntry();
    void removeAndClearAreAnnouncedAndSaved();
    void filesAddedWhileLoadingStayFirst();
    void undecodableStoredValueIsIgnoredUntilTheNextSave();
    void absurdEntriesAreDroppedWhenRead_data();
    void absurdEntriesAreDroppedWhenRead();
    void storeWithATenMegabytePathLoadsWithoutIt();
    void threeChangesWithinTheDelayCauseOneWrite();
    void deactivationWritesAtOnce();
    void quittingWritesAtOnce();
    void flushBeforeTheLoadKeepsTheStoredList();

    void bookmarkResolution_data();
    void bookmarkResolution();
    void bookmarkOfAFileThatCannotBeExamined_isEmpty();
    void undecodableBookmarkIsRefused_data();
    void undecodableBookmarkIsRefused();
    void identityComparesBirthTimeWhenBothKnowIt_data();
    void identityComparesBirthTimeWhenBothKnowIt();

    void urlFallsBackToThePath_data();
    void urlFallsBackToThePath();
    void renamedFileIsOpenedAndItsPathUpdated();
    void refreshOfARemovedEntryDoesNothing();

private:
    std::unique_ptr<RecentsStore> makeStore(std::chrono::milliseconds delay = shortDelay);
    void store(const QByteArray &value);
    QVariant stored();
    QStringList storedPaths();

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<QSettings> m_settings;
};

void TestRecentsStore::initTestCase()
{
    // Nothing in this test may reach the user's own settings.
    const QString scratch = QDir::tempPath() + "/tst_recentsstore-settings";
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, scratch);
}

void TestRecentsStore::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_settings = std::make_unique<QSettings>(m_folder->filePath("settings.ini"), QSettings::IniFormat);
}

void TestRecentsStore::cleanup()
{
    m_settings.reset();
    m_folder.reset();
}

std::unique_ptr<RecentsStore> TestRecentsStore::makeStore(std::chrono::milliseconds delay)
{
    return std::make_unique<RecentsStore>(*m_settings, [] { return now; }, delay);
}

void TestRecentsStore::store(const QByteArray &value)
{
    m_settings->setValue(RecentsStore::key, value);
    m_settings->sync();
}

QVariant TestRecentsStore::stored()
{
    // A separate reader, as the next process would be.
    QSettings reader(m_settings->fileName(), QSettings::IniFormat);
    return reader.value(RecentsStore::key);
}

QStringList TestRecentsStore::storedPaths()
{
    const auto items = RecentsStore::decode(stored().toByteArray());
    return items ? paths(*items) : QStringList{"<nothing decodable stored>"};
}

// ---- Stored format

void TestRecentsStore::encodeWritesTheStoredFormat()
{
    const QUuid id = QUuid::fromString(QStringLiteral("6f1c2b0e-9a4d-4c3e-8f00-1234abcd5678"));
    const QList<RecentEntry> items{
        RecentEntry{id, "/home/ana/data/ü.json", QByteArray("\x00\xff\x10", 3), 722'000'000.125},
        RecentEntry{QUuid::createUuid(), "/tmp/b.csv", {}, 1},
    };
    const QByteArray bytes = RecentsStore::encode(items);
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    QVERIFY(document.isArray());
    QCOMPARE(document.array().size(), 2);
    const QJsonObject first = document.array().at(0).toObject();
    QCOMPARE(first.keys(), (QStringList{"bookmark", "id", "lastOpened", "path"}));
    QCOMPARE(first.value("id").toString(), QString("6F1C2B0E-9A4D-4C3E-8F00-1234ABCD5678"));
    QCOMPARE(first.value("path").toString(), QString("/home/ana/data/ü.json"));
    QCOMPARE(first.value("bookmark").toString(), QString("AP8Q"));
    QCOMPARE(first.value("lastOpened").toDouble(), 722'000'000.125);
    QCOMPARE(document.array().at(1).toObject().value("bookmark").toString(), QString(""));
    QVERIFY(bytes.contains("\"/home/ana/data/\xc3\xbc.json\"")); // UTF-8, not escaped

    const auto decoded = RecentsStore::decode(bytes);
    QVERIFY(decoded);
    QCOMPARE(*decoded, items);
}

void TestRecentsStore::decodeReadsWhatOtherWritersStore_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<double>("firstLastOpened");
    QTest::newRow("escapedSlashesAndOtherKeyOrder")
        << QByteArray(R"([{"lastOpened":722000000.5,"bookmark":"","path":"\/Users\/ana\/a.json","id":"6F1C2B0E-9A4D-4C3E-8F00-1234ABCD5678"}])")
        << QStringList{"/Users/ana/a.json"} << 722000000.5;
    QTest::newRow("lowerCaseIdAndWholeSeconds")
        << QByteArray(R"([{"id":"6f1c2b0e-9a4d-4c3e-8f00-1234abcd5678","path":"/a","bookmark":"AAEC","lastOpened":5}])")
        << QStringList{"/a"} << 5.0;
    QTest::newRow("extraKeysIgnored")
        << QByteArray(R"([{"id":"6F1C2B0E-9A4D-4C3E-8F00-1234ABCD5678","path":"/a","bookmark":"","lastOpened":1,"pinned":true}])")
        << QStringList{"/a"} << 1.0;
    QTest::newRow("emptyList") << QByteArray("[]") << QStringList{} << 0.0;
}

void TestRecentsStore::decodeReadsWhatOtherWritersStore()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, paths);
    QFETCH(double, firstLastOpened);
    const auto decoded = RecentsStore::decode(bytes);
    QVERIFY(decoded);
    QCOMPARE(::paths(*decoded), paths);
    if (!decoded->isEmpty()) {
        QCOMPARE(decoded->first().lastOpened, firstLastOpened);
        QCOMPARE(decoded->first().id, QUuid::fromString(QStringLiteral("6f1c2b0e-9a4d-4c3e-8f00-1234abcd5678")));
    }
}

void TestRecentsStore::decodeRefusesTheWholeListForOneFault_data()
{
    QTest::addColumn<QByteArray>("faulty");
    const QByteArray good = R"({"id":"6F1C2B0E-9A4D-4C3E-8F00-1234ABCD5678","path":"/a","bookmark":"","lastOpened":1})";
    QTest::newRow("withoutId") << QByteArray(R"({"path":"/b","bookmark":"","lastOpened":1})");
    QTest::newRow("withoutPath") << QByteArray(R"({"id":"6F1C2B0E-9A4D-4C3E-8F00-1234ABCD5679","bookmark":"","lastOpened":1})");
    QTest::newRow("withoutBookmark") << QByteArray(R"({"id":"6F1C2B0E-9A4D-4C3E-8F00-1234ABCD5679","path":"/b","lastOpened":1})");
    QTest::newRow("withoutLastOpened") << QByteArray(R"({"id":"6F1C2B0E-9A4D-4C3E-8F00-1234ABCD5679","path":"/b","bookmark":""})");
    QTest::newRow("lastOpenedAsText") << QByteArray(R"({"id":"6F1C2B0E-9A4D-4C3E-8F00-1234ABCD5679","path":"/b","bookmark":"","lastOpened":"1"})");
    QTest::newRow("pathNotText") << QByteArray(R"({"id":"6F1C2B0E-9A4D-4C3E-8F00-1234ABCD5679","path":7,"bookmark":"","lastOpened":1})");
    QTest::newRow("idInBraces") << QByteArray(R"({"id":"{6F1C2B0E-9A4D-4C3E-8F00-1234ABCD5679}","path":"/b","bookmark":"","lastOpened":1})");
    QTest::newRow("idNotHex") << QByteArray(R"({"id":"6F1C2B0E-9A4D-4C3E-8F00-1234ABCD567G","path":"/b","bookmark":"","lastOpened":1})");
    QTest::newRow("bookmarkNotBase64") << QByteArray(R"({"id":"6F1C2B0E-9A4D-4C3E-8F00-1234ABCD5679","path":"/b","bookmark":"A*==","lastOpened":1})");
    QTest::newRow("bookmarkWithoutPadding") << QByteArray(R"({"id":"6F1C2B0E-9A4D-4C3E-8F00-1234ABCD5679","path":"/b","bookmark":"AAE","lastOpened":1})");
    QTest::newRow("elementNotAnObject") << QByteArray(R"("/b")");
    QTest::newRow("notAnArray") << QByteArray("OBJECT");
    QTest::newRow("notJson") << QByteArray("NOTJSON");
    QTest::newRow("empty") << QByteArray("EMPTY");
}

void TestRecentsStore::decodeRefusesTheWholeListForOneFault()
{
    QFETCH(QByteArray, faulty);
    const QByteArray good = R"({"id":"6F1C2B0E-9A4D-4C3E-8F00-1234ABCD5678","path":"/a","bookmark":"","lastOpened":1})";
    QByteArray bytes = "[" + good + "," + faulty + "]";
    if (faulty == "OBJECT")
        bytes = good;
    else if (faulty == "NOTJSON")
        bytes = "[" + good + ",";
    else if (faulty == "EMPTY")
        bytes.clear();
    QVERIFY(RecentsStore::decode("[" + good + "]"));
    QCOMPARE(RecentsStore::decode(bytes), std::nullopt);
}

// ---- The list

void TestRecentsStore::elevenFilesKeepTheTenNewest()
{
    auto recents = makeStore();
    QTRY_VERIFY(recents->didLoad());
    QStringList added;
    for (int i = 0; i < 11; ++i)
        added.prepend(writeFile(m_folder->filePath(QStringLiteral("file%1.json").arg(i))));
    for (auto it = added.crbegin(); it != added.crend(); ++it)
        recents->add(*it);
    QCOMPARE(recents->items().size(), RecentsStore::maxCount);
    QCOMPARE(paths(recents->items()), added.mid(0, 10));
    QVERIFY(!paths(recents->items()).contains(m_folder->filePath("file0.json")));
    QCOMPARE(recents->items().first().lastOpened, now - RecentsStore::referenceDateOffset);
}

void TestRecentsStore::addingAFileAgainMovesItToTheFront()
{
    auto recents = makeStore();
    QTRY_VERIFY(recents->didLoad());
    const QString a = writeFile(m_folder->filePath("a.json"));
    const QString b = writeFile(m_folder->filePath("b.json"));
    recents->add(a);
    const QUuid firstId = recents->items().first().id;
    recents->add(b);
    recents->add(a);
    QCOMPARE(paths(recents->items()), (QStringList{a, b}));
    QVERIFY(recents->items().first().id != firstId);
    QVERIFY(!recents->items().first().bookmark.isEmpty());
}

void TestRecentsStore::aSymlinkedPathIsASecondEntry()
{
    auto recents = makeStore();
    QTRY_VERIFY(recents->didLoad());
    const QString real = writeFile(m_folder->filePath("real.json"));
    const QString link = m_folder->filePath("link.json");
    QVERIFY(QFile::link(real, link));
    recents->add(real);
    recents->add(link);
    QCOMPARE(paths(recents->items()), (QStringList{link, real}));
    QCOMPARE(recents->items().first().url(*recents), std::optional<QString>(link));
}

void TestRecentsStore::removeAndClearAreAnnouncedAndSaved()
{
    auto recents = makeStore();
    QTRY_VERIFY(recents->didLoad());
    QSignalSpy changed(recents.get(), &RecentsStore::itemsChanged);
    QSignalSpy saved(recents.get(), &RecentsStore::saved);
    recents->add("/nowhere/a.json");
    recents->add("/nowhere/b.json");
    QCOMPARE(changed.size(), 2);
    QVERIFY(recents->items().first().bookmark.isEmpty()); // no file, no bookmark, found by path alone

    RecentEntry copyOfA = recents->items().at(1);
    copyOfA.path = "/elsewhere"; // identity is the id
    recents->remove(copyOfA);
    QCOMPARE(paths(recents->items()), QStringList{"/nowhere/b.json"});
    QCOMPARE(changed.size(), 3);
    QVERIFY(saved.wait(10'000));
    QCOMPARE(RecentsStore::decode(stored().toByteArray()), std::optional(recents->items()));

    recents->clear();
    QCOMPARE(changed.size(), 4);
    QVERIFY(saved.wait(10'000));
    QCOMPARE(stored().toByteArray(), QByteArray("[]"));
}

void TestRecentsStore::filesAddedWhileLoadingStayFirst()
{
    store(RecentsStore::encode({entry("/stored/a"), entry("/stored/b"), entry("/stored/c")}));
    auto recents = makeStore();
    QSignalSpy saved(recents.get(), &RecentsStore::saved);
    recents->add("/new/x");
    recents->add("/stored/b");
    QVERIFY(!recents->didLoad());
    QVERIFY(saved.isEmpty());

    QTRY_VERIFY(recents->didLoad());
    QCOMPARE(paths(recents->items()), (QStringList{"/stored/b", "/new/x", "/stored/a", "/stored/c"}));
    QVERIFY(saved.wait(10'000));
    QCOMPARE(RecentsStore::decode(stored().toByteArray()), std::optional(recents->items()));
}

void TestRecentsStore::undecodableStoredValueIsIgnoredUntilTheNextSave()
{
    const QByteArray old = R"([{"path":"/a","bookmark":"","lastOpened":1}])"; // an older format without ids
    store(old);
    Base::ManualClock clock;
    auto recents = makeStore();
    QSignalSpy saved(recents.get(), &RecentsStore::saved);
    QTRY_VERIFY(recents->didLoad());
    QVERIFY(recents->items().isEmpty());
    clock.advance(3 * shortDelay.count());
    settle(*recents);
    QVERIFY(saved.isEmpty()); // nothing was added: nothing to write
    QCOMPARE(stored().toByteArray(), old);

    recents->add("/b");
    clock.advance(shortDelay.count());
    QVERIFY(saved.wait(10'000));
    QCOMPARE(storedPaths(), QStringList{"/b"});
}

void TestRecentsStore::absurdEntriesAreDroppedWhenRead_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("kept");
    // PATH_MAX counts the terminating NUL: 4095 bytes is the longest name a system call takes.
    const QString folder = "/" + QString(200, 'f') + "/";
    QTest::newRow("longestUsablePath_kept") << folder + QString(4095 - folder.size(), 'n') << true;
    QTest::newRow("pathOfPathMaxBytes_dropped") << folder + QString(4096 - folder.size(), 'n') << false;
    // Bytes, not characters: 2,000 two-byte characters are 4,000 bytes.
    QTest::newRow("longInCharactersShortInBytes_kept") << "/" + QString(2000, QChar(0x00E9)) << true;
    QTest::newRow("longInBytes_dropped") << "/" + QString(2100, QChar(0x00E9)) << false;
    QTest::newRow("withNul_dropped") << QString("/a") + QChar(0) + QString("b.json") << false;
    QTest::newRow("empty_dropped") << QString() << false;
}

void TestRecentsStore::absurdEntriesAreDroppedWhenRead()
{
    QFETCH(QString, path);
    QFETCH(bool, kept);
    const QList<RecentEntry> items{entry("/before.json"), entry(path), entry("/after.json")};
    const auto decoded = RecentsStore::decode(RecentsStore::encode(items));
    QVERIFY(decoded);
    // The other entries stay.
    QCOMPARE(paths(*decoded), kept ? (QStringList{"/before.json", path, "/after.json"})
                                   : (QStringList{"/before.json", "/after.json"}));
}

void TestRecentsStore::storeWithATenMegabytePathLoadsWithoutIt()
{
    store(RecentsStore::encode({entry("/a.json"), entry("/" + QString(10 << 20, 'x')), entry("/b.json")}));
    auto recents = makeStore();
    QTRY_VERIFY(recents->didLoad());
    QCOMPARE(paths(recents->items()), (QStringList{"/a.json", "/b.json"}));
}

void TestRecentsStore::threeChangesWithinTheDelayCauseOneWrite()
{
    Base::ManualClock clock;
    auto recents = makeStore(std::chrono::milliseconds(300));
    QTRY_VERIFY(recents->didLoad());
    QSignalSpy saved(recents.get(), &RecentsStore::saved);
    recents->add("/a");
    clock.advance(200);
    recents->add("/b");
    clock.advance(200);
    recents->remove(recents->items().at(1));
    clock.advance(300);
    QVERIFY(saved.wait(10'000));
    clock.advance(1'000); // More than three times the delay: no second write.
    settle(*recents);
    QCOMPARE(saved.size(), 1);
    QCOMPARE(storedPaths(), QStringList{"/b"});
}

void TestRecentsStore::deactivationWritesAtOnce()
{
    auto recents = makeStore(neverInATest);
    QTRY_VERIFY(recents->didLoad());
    QSignalSpy saved(recents.get(), &RecentsStore::saved);
    recents->add("/a");
    QVERIFY(saved.isEmpty());
    // What QGuiApplication emits when the last of its windows loses the focus.
    QVERIFY(QMetaObject::invokeMethod(qApp, "applicationStateChanged", Qt::DirectConnection,
                                      Q_ARG(Qt::ApplicationState, Qt::ApplicationInactive)));
    QCOMPARE(saved.size(), 1);
    QCOMPARE(storedPaths(), QStringList{"/a"});

    // Coming back is not a reason to write.
    QVERIFY(QMetaObject::invokeMethod(qApp, "applicationStateChanged", Qt::DirectConnection,
                                      Q_ARG(Qt::ApplicationState, Qt::ApplicationActive)));
    QCOMPARE(saved.size(), 1);
}

void TestRecentsStore::quittingWritesAtOnce()
{
    auto recents = makeStore(neverInATest);
    QTRY_VERIFY(recents->didLoad());
    QSignalSpy saved(recents.get(), &RecentsStore::saved);
    recents->add("/a");
    QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
    QCOMPARE(saved.size(), 1);
    QCOMPARE(storedPaths(), QStringList{"/a"});
}

void TestRecentsStore::flushBeforeTheLoadKeepsTheStoredList()
{
    store(RecentsStore::encode({entry("/stored/a"), entry("/stored/b")}));
    auto recents = makeStore(neverInATest);
    recents->add("/new/x");
    recents->flushNow();
    QVERIFY(recents->didLoad());
    const QStringList expected{"/new/x", "/stored/a", "/stored/b"};
    QCOMPARE(paths(recents->items()), expected);
    QCOMPARE(storedPaths(), expected);
    // The background read started at construction must not apply a second time, not even when
    // the stored list has changed since.
    store(RecentsStore::encode({entry("/late")}));
    settle(*recents);
    QCOMPARE(paths(recents->items()), expected);
}

// ---- Bookmarks

void TestRecentsStore::bookmarkResolution_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("resolvedName"); // "" for no resolution
    QTest::addColumn<bool>("stale");
    QTest::newRow("unchanged_samePathNotStale") << "none" << "a.json" << false;
    QTest::newRow("editedInPlace_samePathNotStale") << "append" << "a.json" << false;
    QTest::newRow("renamedInFolder_newPathStale") << "rename" << "b.json" << true;
    QTest::newRow("renamedToHiddenName_newPathStale") << "renameHidden" << ".a.json" << true;
    QTest::newRow("replacedByANewFile_samePathStale") << "replace" << "a.json" << true;
    QTest::newRow("renamedAndReplaced_followsTheFile") << "renameAndReplace" << "b.json" << true;
    QTest::newRow("movedToAnotherFolder_nothing") << "move" << "" << false;
    QTest::newRow("deleted_nothing") << "delete" << "" << false;
    QTest::newRow("replacedByAFolder_nothing") << "folder" << "" << false;
}

void TestRecentsStore::bookmarkResolution()
{
    QFETCH(QString, change);
    QFETCH(QString, resolvedName);
    QFETCH(bool, stale);
    const QString a = writeFile(m_folder->filePath("a.json"), "[1]");
    QVERIFY(QDir().mkpath(m_folder->filePath("sub")));
    const QByteArray bookmark = Bookmark::make(a);
    QVERIFY(!bookmark.isEmpty());

    if (change == "append") {
        QFile file(a);
        QVERIFY(file.open(QIODevice::Append));
        file.write(",2");
    } else if (change == "rename") {
        QVERIFY(QFile::rename(a, m_folder->filePath("b.json")));
    } else if (change == "renameHidden") {
        QVERIFY(QFile::rename(a, m_folder->filePath(".a.json")));
    } else if (change == "replace") {
        // What an atomic save does: a new file renamed over the old one.
        writeFile(m_folder->filePath("new.tmp"), "[2]");
        QVERIFY(::rename(QFile::encodeName(m_folder->filePath("new.tmp")), QFile::encodeName(a)) == 0);
    } else if (change == "renameAndReplace") {
        QVERIFY(QFile::rename(a, m_folder->filePath("b.json")));
        writeFile(a, "[3]");
    } else if (change == "move") {
        QVERIFY(QFile::rename(a, m_folder->filePath("sub/a.json")));
    } else if (change == "delete") {
        QVERIFY(QFile::remove(a));
    } else if (change == "folder") {
        QVERIFY(QFile::remove(a));
        QVERIFY(QDir().mkdir(a));
    }

    const auto resolution = Bookmark::resolve(bookmark);
    QCOMPARE(resolution.has_value(), !resolvedName.isEmpty());
    if (resolution) {
        QCOMPARE(resolution->path, m_folder->filePath(resolvedName));
        QCOMPARE(resolution->isStale, stale);
    }
}

void TestRecentsStore::bookmarkOfAFileThatCannotBeExamined_isEmpty()
{
    QVERIFY(Bookmark::make(m_folder->filePath("missing.json")).isEmpty());
    QVERIFY(Bookmark::make(m_folder->path()).isEmpty()); // a folder is not a file
    QVERIFY(Bookmark::make(QString()).isEmpty());
}

void TestRecentsStore::undecodableBookmarkIsRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    Bookmark::Internal::FileIdentity identity{1, 2, false, 0, 0, QDir::tempPath(), "a.json"};
    const QByteArray good = Bookmark::Internal::encode(identity);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("truncated") << good.left(good.size() - 1);
    QTest::newRow("trailingBytes") << good + "x";
    QByteArray newerVersion = good;
    newerVersion[4] = 2;
    QTest::newRow("newerFormatVersion") << newerVersion;
    QByteArray otherMagic = good;
    otherMagic[0] = 'X';
    QTest::newRow("notABookmark") << otherMagic;
    identity.folder = "relative";
    QTest::newRow("relativeFolder") << Bookmark::Internal::encode(identity);
    identity.folder = QDir::tempPath();
    identity.name = "a/b";
    QTest::newRow("nameWithSlash") << Bookmark::Internal::encode(identity);
}

void TestRecentsStore::undecodableBookmarkIsRefused()
{
    QFETCH(QByteArray, bytes);
    QCOMPARE(Bookmark::Internal::decode(bytes).has_value(), false);
    QCOMPARE(Bookmark::resolve(bytes).has_value(), false);
}

void TestRecentsStore::identityComparesBirthTimeWhenBothKnowIt_data()
{
    QTest::addColumn<bool>("sameBirth");
    QTest::addColumn<bool>("bothKnowBirth");
    QTest::addColumn<int>("inodeDelta");
    QTest::addColumn<bool>("same");
    QTest::newRow("sameInodeSameBirth_same") << true << true << 0 << true;
    QTest::newRow("reusedInodeOtherBirth_different") << false << true << 0 << false;
    QTest::newRow("birthUnknownOnOneSide_inodeDecides") << false << false << 0 << true;
    QTest::newRow("otherInode_different") << true << true << 1 << false;
}

void TestRecentsStore::identityComparesBirthTimeWhenBothKnowIt()
{
    QFETCH(bool, sameBirth);
    QFETCH(bool, bothKnowBirth);
    QFETCH(int, inodeDelta);
    QFETCH(bool, same);
    const Bookmark::Internal::FileIdentity a{7, 42, true, 1000, 5, "/f", "a"};
    Bookmark::Internal::FileIdentity b = a;
    b.inode += inodeDelta;
    if (!sameBirth)
        b.birthSeconds += 1;
    b.hasBirthTime = bothKnowBirth;
    QCOMPARE(a.isSameFile(b), same);
}

void TestRecentsStore::urlFallsBackToThePath_data()
{
    QTest::addColumn<QString>("bookmarkKind");
    QTest::addColumn<bool>("fileAtPath");
    QTest::addColumn<bool>("found");
    QTest::newRow("noBookmark_fileThere_path") << "none" << true << true;
    QTest::newRow("noBookmark_noFile_nothing") << "none" << false << false;
    QTest::newRow("undecodableBookmark_fileThere_path") << "garbage" << true << true;
    QTest::newRow("bookmarkOfAFileMovedAway_noFile_nothing") << "moved" << false << false;
}

void TestRecentsStore::urlFallsBackToThePath()
{
    QFETCH(QString, bookmarkKind);
    QFETCH(bool, fileAtPath);
    QFETCH(bool, found);
    const QString path = m_folder->filePath("a.json");
    QByteArray bookmark;
    if (bookmarkKind == "garbage") {
        bookmark = "not a bookmark";
    } else if (bookmarkKind == "moved") {
        writeFile(path);
        bookmark = Bookmark::make(path);
        QVERIFY(QDir().mkpath(m_folder->filePath("sub")));
        QVERIFY(QFile::rename(path, m_folder->filePath("sub/a.json")));
    }
    if (fileAtPath)
        writeFile(path);
    auto recents = makeStore();
    const RecentEntry item = entry(path, 1, bookmark);
    QCOMPARE(item.url(*recents), found ? std::optional<QString>(path) : std::nullopt);
}

void TestRecentsStore::renamedFileIsOpenedAndItsPathUpdated()
{
    auto recents = makeStore();
    QTRY_VERIFY(recents->didLoad());
    QSignalSpy saved(recents.get(), &RecentsStore::saved);
    const QString before = writeFile(m_folder->filePath("report.csv"));
    recents->add(before);
    const RecentEntry added = recents->items().first();
    const QString after = m_folder->filePath("report-final.csv");
    QVERIFY(QFile::rename(before, after));

    QCOMPARE(added.url(*recents), std::optional<QString>(after));
    QCOMPARE(recents->items().first().path, before); // the refresh is queued to the main thread
    QTRY_COMPARE(recents->items().first().path, after);
    const RecentEntry refreshed = recents->items().first();
    QCOMPARE(refreshed.id, added.id);
    QVERIFY(refreshed.bookmark != added.bookmark);
    QCOMPARE(Bookmark::resolve(refreshed.bookmark)->isStale, false);
    QTRY_COMPARE(storedPaths(), QStringList{after});
}

void TestRecentsStore::refreshOfARemovedEntryDoesNothing()
{
    auto recents = makeStore();
    QTRY_VERIFY(recents->didLoad());
    const QString a = writeFile(m_folder->filePath("a.json"));
    recents->add(a);
    const RecentEntry gone = entry(a);
    QSignalSpy changed(recents.get(), &RecentsStore::itemsChanged);
    recents->refreshBookmark(gone, a);
    recents->refreshBookmark(recents->items().first(), m_folder->filePath("missing.json"));
    QCOMPARE(changed.size(), 0);
    QCOMPARE(recents->items().first().path, a);
}

QTEST_MAIN(TestRecentsStore)
#include "tst_recentsstore.moc"
