// Telling a file another program changed from one nobody touched, on real files: replaced by an
// older copy, set back in time, re-pointed, rewritten within the same second.
#include "documents/document.h"
#include "documents/fileio.h"

#include <QtTest>

#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Documents;

Q_DECLARE_METATYPE(Documents::DiskVersion)

namespace {

enum class Change {
    None,
    ReadAgain,
    RewrittenSameSize,
    ReplacedByOlderCopy,
    TimeSetBack,
    SymlinkRepointedAtOlderFile,
    PermissionsOnly,
};

QByteArray local(const QString &path)
{
    return path.toLocal8Bit();
}

bool putFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool setModificationTime(const QString &path, std::int64_t seconds)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(seconds), 0}};
    return ::utimensat(AT_FDCWD, local(path).constData(), times, 0) == 0;
}

FileTime statusChangeTime(const QString &path)
{
    struct stat info {};
    ::stat(local(path).constData(), &info);
    return {std::int64_t(info.st_ctim.tv_sec), std::int64_t(info.st_ctim.tv_nsec)};
}

// File times come from a clock that advances in ticks of a few milliseconds: two changes within
// one tick carry the same time. Waits until a change made now gets a later time than any made
// before, so that "within the same second" is as close as the file system can tell apart.
void waitForNextFileTimeTick(const QString &folder)
{
    const QString probe = folder + "/.tick";
    QVERIFY(putFile(probe, "0"));
    const FileTime start = statusChangeTime(probe);
    QElapsedTimer waited;
    waited.start();
    while (statusChangeTime(probe) == start) {
        QVERIFY2(waited.elapsed() < 5000, "the file system's clock never advanced");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        QVERIFY(::chmod(local(probe).constData(), 0600) == 0);
    }
    QVERIFY(QFile::remove(probe));
}

DiskVersion version(std::int64_t mtimeSeconds, std::int64_t mtimeNanoseconds, std::int64_t ctimeSeconds,
                    std::int64_t ctimeNanoseconds)
{
    DiskVersion v;
    v.identity = {2049, 131'073};
    v.size = 4096;
    v.mtime = {mtimeSeconds, mtimeNanoseconds};
    v.ctime = {ctimeSeconds, ctimeNanoseconds};
    v.target = "/home/u/notes.json";
    return v;
}

} // namespace

Q_DECLARE_METATYPE(Change)

class TestDiskVersion : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
    }

    void externalChangesAreSeen_data();
    void externalChangesAreSeen();
    void comparison_data();
    void comparison();
    void loadRecordsTheVersionItRead_data();
    void loadRecordsTheVersionItRead();
    void noVersionWithoutAFile();

private:
    QString path(const QString &name) const { return m_folder->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestDiskVersion::externalChangesAreSeen_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<bool>("changed");
    QTest::newRow("untouched: unchanged") << Change::None << false;
    QTest::newRow("only read again: unchanged") << Change::ReadAgain << false;
    QTest::newRow("rewritten in place, same size, same second: changed") << Change::RewrittenSameSize << true;
    QTest::newRow("replaced by rename with an older copy of the same size: changed")
        << Change::ReplacedByOlderCopy << true;
    QTest::newRow("modification time set back a day: changed") << Change::TimeSetBack << true;
    QTest::newRow("symlink re-pointed at an older file of the same size: changed")
        << Change::SymlinkRepointedAtOlderFile << true;
    QTest::newRow("permissions changed only: changed") << Change::PermissionsOnly << true;
}

void TestDiskVersion::externalChangesAreSeen()
{
    QFETCH(Change, change);
    QFETCH(bool, changed);
    const QString file = path("notes.json");
    const QString older = path("older.json");
    const QString link = path("link.json");
    QVERIFY(putFile(file, "{\"v\":1}\n"));
    QVERIFY(putFile(older, "{\"v\":0}\n"));
    const std::int64_t dayAgo = QDateTime::currentSecsSinceEpoch() - 86'400;
    QVERIFY(setModificationTime(older, dayAgo));
    QVERIFY(QFile::link(file, link));
    // The symlink's case watches the link's name; every other case the file's.
    const QString watched = change == Change::SymlinkRepointedAtOlderFile ? link : file;
    const auto known = diskVersion(watched.toStdString());
    QVERIFY(known);
    waitForNextFileTimeTick(m_folder->path());

    switch (change) {
    case Change::None:
        break;
    case Change::ReadAgain: {
        QFile again(file);
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), QByteArray("{\"v\":1}\n"));
        break;
    }
    case Change::RewrittenSameSize:
        QVERIFY(putFile(file, "{\"v\":2}\n"));
        break;
    case Change::ReplacedByOlderCopy:
        QVERIFY(::rename(local(older).constData(), local(file).constData()) == 0);
        break;
    case Change::TimeSetBack:
        QVERIFY(setModificationTime(file, dayAgo));
        break;
    case Change::SymlinkRepointedAtOlderFile: {
        const QString fresh = path("link.json.new");
        QVERIFY(QFile::link(older, fresh));
        QVERIFY(::rename(local(fresh).constData(), local(link).constData()) == 0);
        break;
    }
    case Change::PermissionsOnly:
        QVERIFY(::chmod(local(file).constData(), 0640) == 0);
        break;
    }

    const auto now = diskVersion(watched.toStdString());
    QVERIFY(now);
    QCOMPARE(changedOnDisk(*known, *now), changed);
}

void TestDiskVersion::comparison_data()
{
    QTest::addColumn<DiskVersion>("known");
    QTest::addColumn<DiskVersion>("now");
    QTest::addColumn<bool>("changed");
    const DiskVersion fine = version(1'700'000'000, 250'000'000, 1'700'000'000, 250'000'000);
    const DiskVersion coarse = version(1'700'000'000, 0, 1'700'000'000, 0);
    auto with = [](DiskVersion v, auto change) {
        change(v);
        return v;
    };
    QTest::newRow("the same: unchanged") << fine << fine << false;
    QTest::newRow("another inode: changed") << fine << with(fine, [](DiskVersion &v) { v.identity.inode++; }) << true;
    QTest::newRow("another device: changed") << fine << with(fine, [](DiskVersion &v) { v.identity.device++; }) << true;
    QTest::newRow("another size: changed") << fine << with(fine, [](DiskVersion &v) { v.size--; }) << true;
    QTest::newRow("another target, same inode (a link re-pointed at another hard link): changed")
        << fine << with(fine, [](DiskVersion &v) { v.target = "/home/u/notes-2.json"; }) << true;
    QTest::newRow("modification time 1 ns later: changed")
        << fine << with(fine, [](DiskVersion &v) { v.mtime.nanoseconds++; }) << true;
    QTest::newRow("modification time 0.4 s earlier: changed")
        << fine << with(fine, [](DiskVersion &v) { v.mtime = {1'699'999'999, 850'000'000}; }) << true;
    QTest::newRow("status-change time 1 ns later: changed")
        << fine << with(fine, [](DiskVersion &v) { v.ctime.nanoseconds++; }) << true;
    QTest::newRow("coarse times, the same: unchanged") << coarse << coarse << false;
    QTest::newRow("coarse times, 0.4 s later: unchanged")
        << coarse << version(1'700'000'000, 400'000'000, 1'700'000'000, 400'000'000) << false;
    QTest::newRow("coarse times, 0.6 s later: changed")
        << coarse << version(1'700'000'000, 600'000'000, 1'700'000'000, 600'000'000) << true;
    QTest::newRow("coarse times, only the status change 0.6 s later: changed")
        << coarse << version(1'700'000'000, 0, 1'700'000'000, 600'000'000) << true;
    QTest::newRow("fine times cached, coarse ones read later: unchanged")
        << version(1'700'000'000, 400'000'000, 1'700'000'000, 400'000'000) << coarse << false;
    QTest::newRow("coarse times, a second later: changed")
        << coarse << version(1'700'000'001, 0, 1'700'000'001, 0) << true;
    QTest::newRow("coarse times, a second earlier: unchanged")
        << coarse << version(1'699'999'999, 0, 1'699'999'999, 0) << false;
    QTest::newRow("coarse times, another inode: changed")
        << coarse << with(coarse, [](DiskVersion &v) { v.identity.inode++; }) << true;
    QTest::newRow("coarse times, another size: changed")
        << coarse << with(coarse, [](DiskVersion &v) { v.size++; }) << true;
    QTest::newRow("coarse times, another target: changed")
        << coarse << with(coarse, [](DiskVersion &v) { v.target = "/home/u/old.json"; }) << true;
}

void TestDiskVersion::comparison()
{
    QFETCH(DiskVersion, known);
    QFETCH(DiskVersion, now);
    QFETCH(bool, changed);
    QCOMPARE(changedOnDisk(known, now), changed);
}

void TestDiskVersion::loadRecordsTheVersionItRead_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("detected encoding") << "detected";
    QTest::newRow("chosen encoding") << "chosen";
    QTest::newRow("loadDocument") << "document";
    QTest::newRow("through a symlink") << "symlink";
}

// The version a load records is the one of the bytes it read: the same file unchanged compares
// equal, and a write that comes after the version was taken reads as a change.
void TestDiskVersion::loadRecordsTheVersionItRead()
{
    QFETCH(QString, how);
    const QString file = path("data.csv");
    const QByteArray bytes = "a,b\n1,2\n";
    QVERIFY(putFile(file, bytes));
    QString name = file;
    if (how == "symlink") {
        name = path("shortcut.csv");
        QVERIFY(QFile::link(file, name));
    }
    std::optional<DiskVersion> loaded;
    if (how == "document") {
        auto result = loadDocument(name.toStdString());
        QVERIFY(std::holds_alternative<LoadResult>(result));
        loaded = std::get<LoadResult>(result).doc.version;
    } else {
        auto result = how == "chosen" ? decodeForLoad(name.toStdString(), Encoding::Latin1)
                                      : decodeForLoad(name.toStdString());
        QVERIFY(std::holds_alternative<LoadedText>(result));
        loaded = std::get<LoadedText>(result).version;
    }
    QVERIFY(loaded);
    QCOMPARE(loaded->size, std::int64_t(bytes.size()));
    QCOMPARE(QString::fromStdString(loaded->target), QFileInfo(file).canonicalFilePath());
    const auto untouched = diskVersion(name.toStdString());
    QVERIFY(untouched);
    QVERIFY(!changedOnDisk(*loaded, *untouched));

    waitForNextFileTimeTick(m_folder->path());
    QVERIFY(putFile(file, "a,b\n3,4\n"));
    const auto written = diskVersion(name.toStdString());
    QVERIFY(written);
    QVERIFY(changedOnDisk(*loaded, *written));
}

void TestDiskVersion::noVersionWithoutAFile()
{
    QVERIFY(!diskVersion(path("missing.json").toStdString()));
    QVERIFY(QFile::link(path("missing.json"), path("dangling.json")));
    QVERIFY(!diskVersion(path("dangling.json").toStdString()));
}

QTEST_GUILESS_MAIN(TestDiskVersion)
#include "tst_diskversion.moc"
