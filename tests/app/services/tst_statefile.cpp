// Reading state files: only regular files of at most the limit are read; pipes, devices,
// folders and larger files are refused without blocking, links are followed.
#include "app/services/statefile.h"

#include "support/fifowatchdog.h"

#include <QTemporaryDir>
#include <QtTest>

using App::StateFile::Status;

Q_DECLARE_METATYPE(App::StateFile::Status)

class TestStateFile : public QObject {
    Q_OBJECT

private slots:
    void readsOnlyRegularFilesWithinTheLimit_data();
    void readsOnlyRegularFilesWithinTheLimit();
};

void TestStateFile::readsOnlyRegularFilesWithinTheLimit_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<Status>("status");
    QTest::newRow("regular_read") << "regular" << Status::Regular;
    QTest::newRow("exactlyTheLimit_read") << "limit" << Status::Regular;
    QTest::newRow("linkToARegularFile_read") << "link" << Status::Regular;
    QTest::newRow("missing_absent") << "missing" << Status::Absent;
    QTest::newRow("underAFile_absent") << "underFile" << Status::Absent;
    QTest::newRow("oneByteOver_tooLarge") << "over" << Status::TooLarge;
    QTest::newRow("namedPipe_notRegular") << "fifo" << Status::NotRegular;
    QTest::newRow("linkToADevice_notRegular") << "device" << Status::NotRegular;
    QTest::newRow("folder_notRegular") << "folder" << Status::NotRegular;
    QTest::newRow("noPermission_unreadable") << "unreadable" << Status::Unreadable;
}

void TestStateFile::readsOnlyRegularFilesWithinTheLimit()
{
    QFETCH(QString, kind);
    QFETCH(Status, status);
    QTemporaryDir folder;
    QString path = folder.filePath("state");
    const auto write = [](const QString &name, const QByteArray &bytes) {
        QFile file(name);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    constexpr qint64 limit = 1000;
    QByteArray expected;
    if (kind == "regular" || kind == "link") {
        expected = "[General]\nx=1\n";
        QVERIFY(write(folder.filePath("target"), expected));
        QVERIFY(kind == "link" ? QFile::link(folder.filePath("target"), path) : write(path, expected));
    } else if (kind == "limit") {
        expected = QByteArray(limit, 'a');
        QVERIFY(write(path, expected));
    } else if (kind == "over") {
        QVERIFY(write(path, QByteArray(limit + 1, 'a')));
    } else if (kind == "underFile") {
        QVERIFY(write(path, "x"));
        path += "/state";
    } else if (kind == "fifo") {
        QVERIFY(makeFifo(path));
    } else if (kind == "device") {
        QVERIFY(QFile::link("/dev/zero", path));
    } else if (kind == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == "unreadable") {
        if (::geteuid() == 0)
            QSKIP("Permissions do not bind root.");
        QVERIFY(write(path, "x"));
        QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
    }
    FifoWatchdog watchdog(path, std::chrono::seconds(5));
    // A look at the status alone cannot tell that opening will be refused.
    QCOMPARE(App::StateFile::inspect(path, limit), kind == "unreadable" ? Status::Regular : status);
    const App::StateFile::Contents contents = App::StateFile::read(path, limit);
    QCOMPARE(contents.status, status);
    QCOMPARE(contents.bytes, expected);
    QVERIFY2(!watchdog.fired(), "blocked on the pipe");
    QCOMPARE(App::StateFile::isUsable(status), status == Status::Regular || status == Status::Absent);
}

QTEST_GUILESS_MAIN(TestStateFile)
#include "tst_statefile.moc"
