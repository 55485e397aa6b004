// The log follower against a real file that the test, a thread and a child process append to,
// truncate, replace and delete while the event loop runs.
#include "app/window/logfollower.h"

#include "base/timer.h"

#include "documents/document.h"

#include <QProcess>
#include <QSignalSpy>
#include <QThreadPool>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

using namespace App;

Q_DECLARE_METATYPE(std::shared_ptr<const std::u16string>)

namespace {

bool writeBytes(const QString &path, const std::string &bytes, int flags)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    return ::close(fd) == 0 && ok;
}
bool append(const QString &path, const std::string &bytes) { return writeBytes(path, bytes, O_APPEND); }
bool rewrite(const QString &path, const std::string &bytes) { return writeBytes(path, bytes, O_TRUNC); }
// Over the old bytes in one write, without passing through an empty file.
bool overwrite(const QString &path, const std::string &bytes) { return writeBytes(path, bytes, 0); }

Documents::FollowState loadState(const QString &path, std::u16string *text = nullptr)
{
    auto decoded = Documents::decodeForLoad(path.toStdString());
    auto &loaded = std::get<Documents::LoadedText>(decoded);
    if (text)
        *text = std::u16string(loaded.text.view());
    return loaded.follow;
}

// Everything the follower delivered so far, in order.
class Collector : public QObject {
public:
    explicit Collector(LogFollower &follower)
    {
        connect(&follower, &LogFollower::appended, this,
                [this](std::shared_ptr<const std::u16string> piece) { text += *piece; ++pieces; });
        connect(&follower, &LogFollower::reloadNeeded, this, [this] { ++reloads; });
    }
    std::u16string text;
    int pieces = 0;
    int reloads = 0;
};

QString fromUtf16(const std::u16string &text) { return QString::fromStdU16String(text); }

} // namespace

class TestLogFollower : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_clock = std::make_unique<Base::ManualClock>();
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
        m_file = m_folder->filePath("app.log");
        QVERIFY(rewrite(m_file, "2024-05-01 10:00:00 start\n"));
    }

    void deliversAppendedText();
    void signalCarriesTheText();
    void threadWriterWithSplitCharacters();
    void childProcessWriter();
    void reloadCases_data();
    void reloadCases();
    void waitsForADeletedFileToComeBack();
    void suspendedReadsNothingAndLosesNothing();
    void stopEndsDelivery();
    void cleanup() { m_clock.reset(); }

private:
    // Polls on the test's clock until `done` holds; each poll's read off the main thread is
    // awaited (a file-system notification may deliver sooner).
    template<typename Done>
    bool pollUntil(LogFollower &follower, Done done)
    {
        for (int poll = 0; poll < 400; ++poll) {
            if (done())
                return true;
            m_clock->advance(follower.pollInterval());
            QTest::qWaitFor(done, 25);
        }
        return done();
    }
    // Lets `polls` polls happen, each read to its end, for checks that nothing arrives.
    void pollIdly(LogFollower &follower, int polls)
    {
        for (int poll = 0; poll < polls; ++poll) {
            m_clock->advance(follower.pollInterval());
            QThreadPool::globalInstance()->waitForDone();
            QCoreApplication::processEvents();
        }
    }

    std::unique_ptr<Base::ManualClock> m_clock;
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_file;
};

void TestLogFollower::deliversAppendedText()
{
    LogFollower follower;
    Collector got(follower);
    follower.start(m_file, loadState(m_file));
    QVERIFY(follower.isFollowing());
    QVERIFY(append(m_file, "2024-05-01 10:00:01 one\n"));
    QVERIFY(pollUntil(follower, [&] { return fromUtf16(got.text) == QString("2024-05-01 10:00:01 one\n"); }));
    QVERIFY(append(m_file, "two\r\nthree\r"));
    QVERIFY(pollUntil(follower, [&] { return fromUtf16(got.text) == QString("2024-05-01 10:00:01 one\ntwo\nthree\n"); }));
    QVERIFY(append(m_file, "\nfour\n"));
    QVERIFY(pollUntil(follower, [&] { return fromUtf16(got.text) == QString("2024-05-01 10:00:01 one\ntwo\nthree\nfour\n"); }));
    QCOMPARE(got.reloads, 0);
    QVERIFY(follower.isFollowing());
    QCOMPARE(follower.state().offset, QFileInfo(m_file).size());
    QCOMPARE(follower.state().mtime, Documents::modificationTime(m_file.toStdString()));
}

void TestLogFollower::signalCarriesTheText()
{
    LogFollower follower;
    QSignalSpy spy(&follower, &LogFollower::appended);
    follower.start(m_file, loadState(m_file));
    QVERIFY(append(m_file, "caf\xC3\xA9\n"));
    QVERIFY(pollUntil(follower, [&] { return spy.count() == 1; }));
    const auto text = spy.at(0).at(0).value<std::shared_ptr<const std::u16string>>();
    QVERIFY(text);
    QCOMPARE(*text, std::u16string(u"caf\u00E9\n"));
}

void TestLogFollower::threadWriterWithSplitCharacters()
{
    std::u16string loaded;
    LogFollower follower;
    Collector got(follower);
    follower.setPollInterval(20);
    follower.start(m_file, loadState(m_file, &loaded));
    // Each line is written in two pieces cut inside "é" and between CR and LF.
    std::atomic<bool> ok = true;
    std::atomic<bool> done = false;
    std::thread writer([&] {
        for (int i = 0; i < 200; ++i) {
            const std::string line = "line " + std::to_string(i) + " r\xC3\xA9sum\xC3\xA9\r\n";
            const std::size_t cut = i % 2 == 0 ? line.find('\xA9') : line.size() - 1;
            ok = ok && append(m_file, line.substr(0, cut));
            ok = ok && append(m_file, line.substr(cut));
            if (i % 20 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
    writer.join();
    QVERIFY(ok);
    QCOMPARE(got.reloads, 0);
    std::u16string reloaded;
    loadState(m_file, &reloaded);
    QVERIFY(pollUntil(follower, [&] { return loaded + got.text == reloaded; }));
    QVERIFY(got.pieces >= 1);
}

void TestLogFollower::childProcessWriter()
{
    LogFollower follower;
    Collector got(follower);
    follower.start(m_file, loadState(m_file));
    QProcess writer;
    writer.start("/bin/sh", {"-c", "i=0; while [ $i -lt 300 ]; do echo \"entry $i\" >> \"$0\"; i=$((i+1)); done", m_file});
    QVERIFY(writer.waitForStarted());
    QVERIFY(writer.waitForFinished(20'000));
    QVERIFY(pollUntil(follower, [&] { return fromUtf16(got.text).endsWith("entry 299\n") || got.reloads > 0; }));
    QTRY_COMPARE(writer.state(), QProcess::NotRunning);
    QCOMPARE(writer.exitCode(), 0);
    QCOMPARE(got.reloads, 0);
    const QStringList lines = fromUtf16(got.text).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 300);
    for (int i = 0; i < 300; ++i)
        QCOMPARE(lines.at(i), QString("entry %1").arg(i));
}

void TestLogFollower::reloadCases_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("followsAfterReload");
    QTest::newRow("truncated") << "truncate" << int(Documents::FollowReloadReason::Truncated) << true;
    QTest::newRow("replaced by rename") << "rename" << int(Documents::FollowReloadReason::Replaced) << true;
    QTest::newRow("rewritten in place") << "rewrite" << int(Documents::FollowReloadReason::Rewritten) << true;
    // The reload reads the short file as CP1251, whose choice the next bytes could still change.
    QTest::newRow("no longer UTF-8") << "invalid" << int(Documents::FollowReloadReason::UndecodableBytes) << false;
}

void TestLogFollower::reloadCases()
{
    QFETCH(QString, change);
    QFETCH(int, reason);
    QFETCH(bool, followsAfterReload);
    LogFollower follower;
    Collector got(follower);
    QSignalSpy reloads(&follower, &LogFollower::reloadNeeded);
    follower.start(m_file, loadState(m_file));
    QVERIFY(append(m_file, "before\n"));
    QVERIFY(pollUntil(follower, [&] { return fromUtf16(got.text) == QString("before\n"); }));

    if (change == "truncate") {
        QVERIFY(rewrite(m_file, "x\n"));
    } else if (change == "rename") {
        const QString next = m_folder->filePath("next.log");
        QVERIFY(rewrite(next, "2024-05-01 10:00:00 start\nbefore\nafter\n"));
        QVERIFY(std::rename(next.toLocal8Bit().constData(), m_file.toLocal8Bit().constData()) == 0);
    } else if (change == "rewrite") {
        QVERIFY(overwrite(m_file, "2030-01-01 00:00:00 another program's file, longer\n"));
    } else if (change == "invalid") {
        QVERIFY(append(m_file, "caf\xE9\n"));
    }
    QVERIFY(pollUntil(follower, [&] { return reloads.count() == 1; }));
    QVERIFY(!follower.isFollowing());
    QCOMPARE(int(*follower.lastReloadReason()), reason);
    QCOMPARE(fromUtf16(got.text), QString("before\n"));

    // Reloading and starting again follows the new file.
    follower.start(m_file, loadState(m_file));
    QVERIFY(follower.isFollowing());
    QVERIFY(append(m_file, "again\n"));
    if (followsAfterReload) {
        QVERIFY(pollUntil(follower, [&] { return fromUtf16(got.text).endsWith("again\n"); }));
        QCOMPARE(reloads.count(), 1);
    } else {
        QVERIFY(pollUntil(follower, [&] { return reloads.count() == 2; }));
        QCOMPARE(follower.lastReloadReason(), Documents::FollowReloadReason::EncodingUnsettled);
    }
}

void TestLogFollower::waitsForADeletedFileToComeBack()
{
    LogFollower follower;
    Collector got(follower);
    follower.setPollInterval(20);
    follower.start(m_file, loadState(m_file));
    QVERIFY(QFile::rename(m_file, m_file + ".1")); // rotated away
    pollIdly(follower, 10); // several polls find nothing there
    QCOMPARE(got.reloads, 0);
    QVERIFY(follower.isFollowing());
    QVERIFY(rewrite(m_file, "fresh log\n"));
    QVERIFY(pollUntil(follower, [&] { return got.reloads == 1; }));
    QCOMPARE(follower.lastReloadReason(), Documents::FollowReloadReason::Replaced);
}

void TestLogFollower::suspendedReadsNothingAndLosesNothing()
{
    LogFollower follower;
    Collector got(follower);
    follower.setPollInterval(20);
    follower.start(m_file, loadState(m_file));
    follower.setSuspended(true);
    QVERIFY(append(m_file, "while editing\n"));
    pollIdly(follower, 10);
    QCOMPARE(got.pieces, 0);
    QVERIFY(append(m_file, "and more\n"));
    follower.setSuspended(false);
    QVERIFY(pollUntil(follower, [&] { return fromUtf16(got.text) == QString("while editing\nand more\n"); }));
}

void TestLogFollower::stopEndsDelivery()
{
    LogFollower follower;
    Collector got(follower);
    follower.setPollInterval(20);
    follower.start(m_file, loadState(m_file));
    QVERIFY(append(m_file, "seen\n"));
    QVERIFY(pollUntil(follower, [&] { return fromUtf16(got.text) == QString("seen\n"); }));
    follower.stop();
    QVERIFY(!follower.isFollowing());
    QVERIFY(append(m_file, "unseen\n"));
    pollIdly(follower, 10);
    QCOMPARE(fromUtf16(got.text), QString("seen\n"));
}

QTEST_GUILESS_MAIN(TestLogFollower)
#include "tst_logfollower.moc"
