// The save path under attack: killed saves, read-only files, other owners, extended attributes,
// access lists, file-size limits and the leftovers of crashed saves. Saves that must be killed or
// run under another user or limit run in a child process (savechild).
#include "savepattern.h"

#include "documents/document.h"
#include "documents/fileio.h"
#include "documents/savejournal.h"

#include <QtTest>

#include <csignal>
#include <random>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Documents;
using namespace std::string_literals;
using SaveTests::pattern;

namespace {

std::string contentsOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

bool putFile(const QString &path, const std::string &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray local(const QString &path)
{
    return path.toLocal8Bit();
}

struct stat statOf(const QString &path)
{
    struct stat info {};
    ::stat(local(path).constData(), &info);
    return info;
}

// A child process that saves `size` bytes of `seed`'s pattern to `path`.
struct SaveChild {
    QProcess process;
    SaveChild(const QString &path, std::size_t size, unsigned seed, const QStringList &extra = {})
    {
        process.setProgram(QStringLiteral(CORVANE_SAVECHILD));
        process.setArguments(QStringList{path, QString::number(size), QString::number(seed)} + extra);
        process.start();
    }
    bool finish() { return process.waitForFinished(30'000); }
    QString error() { return QString::fromLocal8Bit(process.readAllStandardError()).trimmed(); }
};

// A pid that no process has now: a child that has exited and been reaped.
qint64 deadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

// The raw bytes of a POSIX access list granting `uid` read and write, besides the usual entries.
std::string accessListGranting(uid_t uid)
{
    struct Entry {
        std::uint16_t tag, perm;
        std::uint32_t id;
    };
    const Entry entries[] = {{0x01, 6, ~0u}, {0x02, 6, uid}, {0x04, 4, ~0u}, {0x10, 6, ~0u}, {0x20, 0, ~0u}};
    std::string bytes(4, '\0');
    const std::uint32_t version = 2;
    std::memcpy(bytes.data(), &version, 4);
    bytes.append(reinterpret_cast<const char *>(entries), sizeof entries);
    return bytes;
}

std::string attribute(const QString &path, const char *name)
{
    char value[4096];
    const ssize_t size = ::getxattr(local(path).constData(), name, value, sizeof value);
    return size < 0 ? "<none>" : std::string(value, std::size_t(size));
}

// Waits until `pid` has really stopped after a SIGSTOP: kill() returns while the signal is
// still pending, and the process finishes the system call it is in (a whole rewrite, say)
// before it stops. False when it ended instead, or after ten seconds.
bool waitUntilStopped(pid_t pid)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10'000) {
        QFile stat(QString("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        // The state follows the command name, which may hold spaces and parentheses.
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        if (close < 0 || close + 2 >= line.size())
            return false;
        const char state = line[close + 2];
        if (state == 'T')
            return true;
        if (state == 'Z' || state == 'X')
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// Watches a folder for a file of a given name to appear.
class FolderWatch {
public:
    explicit FolderWatch(const QString &folder) : m_fd(inotify_init1(IN_CLOEXEC | IN_NONBLOCK))
    {
        if (m_fd >= 0)
            inotify_add_watch(m_fd, folder.toLocal8Bit().constData(), IN_CREATE | IN_MOVED_TO);
    }
    ~FolderWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool valid() const { return m_fd >= 0; }
    // True once `name` was created, false after `timeoutMs` or when `stillRunning` says so.
    template<typename StillRunning>
    bool waitFor(std::string_view name, int timeoutMs, StillRunning &&stillRunning)
    {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < timeoutMs) {
            pollfd ready{m_fd, POLLIN, 0};
            if (::poll(&ready, 1, 5) <= 0) {
                if (!stillRunning())
                    return false;
                continue;
            }
            alignas(inotify_event) char events[4096];
            const ssize_t got = ::read(m_fd, events, sizeof events);
            for (ssize_t at = 0; at < got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(events + at);
                if (event->len && std::string_view(event->name) == name)
                    return true;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return false;
    }

private:
    int m_fd;
};

} // namespace

class TestDocumentSave : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
    }

    void readOnlyFileIsNotReplaced_data();
    void readOnlyFileIsNotReplaced();
    void otherUserMayNotReplaceFileInWritableFolder();
    void ownerAndGroupAreKept_data();
    void ownerAndGroupAreKept();
    void extendedAttributesAndAccessListAreKept();
    void staleTemporariesAreSwept();
    void fileSizeLimitFailsTheSaveInsteadOfKilling_data();
    void fileSizeLimitFailsTheSaveInsteadOfKilling();
    void interruptedRewriteIsSettledOnLoad_data();
    void interruptedRewriteIsSettledOnLoad();
    void killedSavesNeverLeaveAMix_data();
    void killedSavesNeverLeaveAMix();

private:
    QString path(const QString &name) const { return m_folder->filePath(name); }
    QString folder() const { return m_folder->path(); }
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestDocumentSave::readOnlyFileIsNotReplaced_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("0444: nobody may write") << 0444;
    QTest::newRow("0400: owner may only read") << 0400;
    QTest::newRow("0466: the owner may not write though others may") << 0466;
}

void TestDocumentSave::readOnlyFileIsNotReplaced()
{
    QFETCH(int, mode);
    const QString file = path("locked.json");
    QVERIFY(putFile(file, "{\"keep\":1}"));
    QVERIFY(::chmod(local(file).constData(), mode_t(mode)) == 0);
    const auto error = saveText(file.toStdString(), u"{}", Encoding::Utf8, LineEnding::Lf, false);
    QVERIFY(error);
    QCOMPARE(error->englishText(), "Auto-save failed: The file is read-only"s);
    QCOMPARE(contentsOf(file), "{\"keep\":1}"s);
    QCOMPARE(int(statOf(file).st_mode & 07777), mode);
    QCOMPARE(entriesOf(folder()), QStringList{"locked.json"});
}

void TestDocumentSave::otherUserMayNotReplaceFileInWritableFolder()
{
    if (::geteuid() != 0)
        QSKIP("needs root to act as another user");
    QVERIFY(::chmod(local(folder()).constData(), 0777) == 0);
    const QString file = path("roots.txt");
    QVERIFY(putFile(file, "root's words"));
    QVERIFY(::chmod(local(file).constData(), 0644) == 0);
    SaveChild child(file, 100, 1, {"--uid", "65534"});
    QVERIFY(child.finish());
    QCOMPARE(child.process.exitCode(), 1);
    QCOMPARE(child.error(), QString("The file is read-only"));
    QCOMPARE(contentsOf(file), "root's words"s);
    QCOMPARE(statOf(file).st_uid, uid_t(0));
    QCOMPARE(entriesOf(folder()), QStringList{"roots.txt"});
}

void TestDocumentSave::ownerAndGroupAreKept_data()
{
    QTest::addColumn<uint>("uid");
    QTest::addColumn<uint>("gid");
    QTest::addColumn<int>("mode");
    QTest::newRow("root's file in group 100, 0640") << 0u << 100u << 0640;
    QTest::newRow("another user's file, 0664") << 65534u << 65534u << 0664;
    QTest::newRow("set-group-id survives the change of group") << 0u << 100u << 02750;
}

void TestDocumentSave::ownerAndGroupAreKept()
{
    QFETCH(uint, uid);
    QFETCH(uint, gid);
    QFETCH(int, mode);
    if (::geteuid() != 0)
        QSKIP("needs root to give files to other owners");
    const QString file = path("owned.txt");
    QVERIFY(putFile(file, "old"));
    QVERIFY(::chown(local(file).constData(), uid, gid) == 0);
    QVERIFY(::chmod(local(file).constData(), mode_t(mode)) == 0);
    const ino_t before = statOf(file).st_ino;
    QVERIFY(!writeFileAtomically(file.toStdString(), "new"));
    const struct stat after = statOf(file);
    QCOMPARE(contentsOf(file), "new"s);
    QCOMPARE(uint(after.st_uid), uid);
    QCOMPARE(uint(after.st_gid), gid);
    QCOMPARE(int(after.st_mode & 07777), mode);
    QVERIFY2(after.st_ino != before, "root keeps the owner through an atomic rename, not in place");
    QCOMPARE(entriesOf(folder()), QStringList{"owned.txt"});
}

void TestDocumentSave::extendedAttributesAndAccessListAreKept()
{
    const QString file = path("tagged.md");
    QVERIFY(putFile(file, "# old"));
    if (::setxattr(local(file).constData(), "user.corvane.origin", "camera", 6, 0) != 0)
        QSKIP("this file system refuses extended attributes");
    QVERIFY(::setxattr(local(file).constData(), "user.empty", "", 0, 0) == 0);
    const std::string acl = accessListGranting(65534);
    const bool hasAccessList =
        ::setxattr(local(file).constData(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;
    const std::string aclBefore = attribute(file, "system.posix_acl_access");
    const mode_t modeBefore = statOf(file).st_mode;
    const ino_t inodeBefore = statOf(file).st_ino;

    QVERIFY(!writeFileAtomically(file.toStdString(), "# new"));
    QCOMPARE(contentsOf(file), "# new"s);
    QVERIFY(statOf(file).st_ino != inodeBefore);
    QCOMPARE(attribute(file, "user.corvane.origin"), "camera"s);
    QCOMPARE(attribute(file, "user.empty"), ""s);
    QCOMPARE(statOf(file).st_mode, modeBefore);
    if (!hasAccessList)
        QSKIP("this file system refuses access lists; the other attributes were kept");
    QCOMPARE(attribute(file, "system.posix_acl_access"), aclBefore);
}

void TestDocumentSave::staleTemporariesAreSwept()
{
    const QString file = path("data.json");
    QVERIFY(putFile(file, "[]"));
    const QString dead = QString::number(deadPid());
    const QString alive = QString::number(::getppid());
    const QStringList swept = {".data.json.corvane-" + dead + "-0-0", ".data.json.corvane-" + dead + "-123456-17"};
    // Another file's, a live process's, foreign names, a folder, and a journal: none is ours to remove.
    const QStringList kept = {".other.json.corvane-" + dead + "-0-0", ".data.json.corvane-" + alive + "-0-3",
                              ".data.json.corvane-x-0-0", ".data.json.corvane-" + dead + "-0", "data.json.corvane-" + dead + "-0-0",
                              ".data.json.corvane-journal", ".data.json.corvane-" + dead + "-0-0-1"};
    for (const QString &name : swept + kept)
        QVERIFY(putFile(path(name), "leftover"));
    QVERIFY(QDir(folder()).mkdir(".data.json.corvane-" + dead + "-9-9"));

    QVERIFY(!writeFileAtomically(file.toStdString(), "[1]"));
    QStringList expected = kept + QStringList{"data.json", ".data.json.corvane-" + dead + "-9-9"};
    expected.sort();
    QCOMPARE(entriesOf(folder()), expected);
}

void TestDocumentSave::fileSizeLimitFailsTheSaveInsteadOfKilling_data()
{
    QTest::addColumn<bool>("hardLinked");
    QTest::newRow("replaced by rename") << false;
    QTest::newRow("rewritten in place") << true;
}

void TestDocumentSave::fileSizeLimitFailsTheSaveInsteadOfKilling()
{
    QFETCH(bool, hardLinked);
    const QString file = path("grown.log");
    const std::string old = pattern(300, 7);
    QVERIFY(putFile(file, old));
    if (hardLinked)
        QVERIFY(::link(local(file).constData(), local(path("twin.log")).constData()) == 0);
    SaveChild child(file, 1 << 20, 8, {"--fsize-limit", "4096"});
    QVERIFY(child.finish());
    QCOMPARE(child.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.process.exitCode(), 1);
    QCOMPARE(child.error(), QString::fromLocal8Bit(std::strerror(EFBIG)));
    QCOMPARE(contentsOf(file), old);
    QCOMPARE(entriesOf(folder()), (hardLinked ? QStringList{"grown.log", "twin.log"} : QStringList{"grown.log"}));
}

void TestDocumentSave::interruptedRewriteIsSettledOnLoad_data()
{
    QTest::addColumn<bool>("completeAtCrash");
    QTest::addColumn<bool>("loadThroughCli");
    QTest::addColumn<QString>("note");
    const QString restored = "An interrupted save of shared.json left the file half written; its previous "
                             "contents were restored.";
    const QString finished = "An interrupted save of shared.json had written the new text in full; the file holds it.";
    QTest::newRow("half written: old contents restored") << false << false << restored;
    QTest::newRow("fully written: kept") << true << false << finished;
    QTest::newRow("half written, loaded by corvane-cli") << false << true << restored;
}

void TestDocumentSave::interruptedRewriteIsSettledOnLoad()
{
    QFETCH(bool, completeAtCrash);
    QFETCH(bool, loadThroughCli);
    QFETCH(QString, note);
    const QString file = path("shared.json");
    const QString twin = path("twin.json");
    const std::string old = pattern(4 << 20, 1);
    const std::string next = pattern(5 << 20, 2);
    QVERIFY(putFile(file, old));
    QVERIFY(::link(local(file).constData(), local(twin).constData()) == 0);

    // Stop the saving process as soon as its journal exists, then leave the file as a crash at
    // that instant could: half written or fully written, and kill the process. The stopped
    // process may have written any part of the new text already, so the file is set to the
    // crash's state in full rather than only patched.
    bool caught = false;
    for (int attempt = 0; attempt < 20 && !caught; ++attempt) {
        FolderWatch watch(folder());
        QVERIFY(watch.valid());
        SaveChild child(file, next.size(), 2);
        QVERIFY(child.process.waitForStarted());
        const pid_t pid = pid_t(child.process.processId());
        const bool journalSeen = watch.waitFor(".shared.json.corvane-journal", 10'000, [] { return true; });
        const bool stopped = journalSeen && ::kill(pid, SIGSTOP) == 0 && waitUntilStopped(pid);
        caught = stopped && QFileInfo::exists(path(".shared.json.corvane-journal"));
        if (caught) {
            const int fd = ::open(local(file).constData(), O_WRONLY);
            QVERIFY(fd >= 0);
            const std::size_t torn = 1 << 20;
            const std::string crashed = completeAtCrash ? next : next.substr(0, torn) + old.substr(torn);
            QVERIFY(::pwrite(fd, crashed.data(), crashed.size(), 0) == ssize_t(crashed.size()));
            QVERIFY(::ftruncate(fd, off_t(crashed.size())) == 0);
            ::close(fd);
        }
        ::kill(pid, SIGKILL);
        QVERIFY(child.finish());
        if (!caught)
            QVERIFY(putFile(file, old)); // Too quick to catch: start over.
    }
    QVERIFY2(caught, "the saving process was never caught with its journal in place");

    QString reported;
    if (loadThroughCli) {
        QProcess cli;
        cli.start(QStringLiteral(CORVANE_CLI), {"info", file});
        QVERIFY(cli.waitForFinished(30'000));
        QCOMPARE(cli.exitCode(), 0);
        reported = QString::fromUtf8(cli.readAllStandardError()).trimmed().section(": ", 1);
    } else {
        auto loaded = loadDocument(file.toStdString());
        auto *result = std::get_if<LoadResult>(&loaded);
        QVERIFY(result);
        QVERIFY(result->recoveryNote);
        reported = QString::fromStdString(result->recoveryNote->englishText());
        QCOMPARE(result->doc.mtime, modificationTime(file.toStdString()));
        // The version recorded is the settled file's, not the one the crash left.
        const auto settled = diskVersion(file.toStdString());
        QVERIFY(result->doc.version && settled);
        QVERIFY(!changedOnDisk(*result->doc.version, *settled));
    }
    QCOMPARE(reported, note);
    QCOMPARE(contentsOf(file), completeAtCrash ? next : old);
    QCOMPARE(contentsOf(twin), contentsOf(file));
    // Settled once: a second load has nothing to say.
    QVERIFY(!recoverInterruptedSave(file.toStdString()));
    QVERIFY(!writeFileAtomically(file.toStdString(), "[]"));
    QCOMPARE(entriesOf(folder()), (QStringList{"shared.json", "twin.json"}));
}

void TestDocumentSave::killedSavesNeverLeaveAMix_data()
{
    QTest::addColumn<bool>("hardLinked");
    QTest::newRow("replaced by rename") << false;
    QTest::newRow("rewritten in place under a journal") << true;
}

// Kills a saving process at random instants across the whole save. After each kill the next
// load must find the old or the new contents and never a mix, and the next save must leave
// nothing of ours behind.
void TestDocumentSave::killedSavesNeverLeaveAMix()
{
    QFETCH(bool, hardLinked);
    constexpr int kills = 150;
    const QString file = path("big.json");
    const QString twin = path("twin.json");
    const std::string old = pattern(6 << 20, 11);
    const std::string next = pattern((6 << 20) + 4099, 12);
    QVERIFY(putFile(file, old));
    if (hardLinked)
        QVERIFY(::link(local(file).constData(), local(twin).constData()) == 0);
    const QStringList clean = hardLinked ? QStringList{"big.json", "twin.json"} : QStringList{"big.json"};

    // How long a save takes here from the moment its process runs, and how long its rewrite
    // under the journal lasts: the longest of a few, so that the kills cover all of it.
    const std::string_view journal = ".big.json.corvane-journal";
    qint64 wholeSave = 1000, rewrite = 1000;
    for (int i = 0; i < 3; ++i) {
        FolderWatch watch(folder());
        SaveChild child(file, next.size(), 12);
        QVERIFY(child.process.waitForStarted());
        QElapsedTimer timer;
        timer.start();
        qint64 journalSeen = -1;
        if (hardLinked && watch.waitFor(journal, 10'000, [] { return true; }))
            journalSeen = timer.nsecsElapsed() / 1000;
        QVERIFY(child.finish());
        QCOMPARE(child.process.exitCode(), 0);
        wholeSave = std::max(wholeSave, timer.nsecsElapsed() / 1000);
        if (journalSeen >= 0)
            rewrite = std::max(rewrite, timer.nsecsElapsed() / 1000 - journalSeen);
    }
    QCOMPARE(contentsOf(file), next);
    QVERIFY(!writeFileAtomically(file.toStdString(), old));

    // Half the kills fall anywhere in the save; for the in-place path the other half fall
    // within the rewrite itself, the one stretch where the file holds a mix.
    std::mt19937 random(20261207);
    std::uniform_int_distribution<qint64> anywhere(0, wholeSave);
    std::uniform_int_distribution<qint64> inRewrite(0, rewrite);
    int mixedBeforeLoad = 0, oldAfter = 0, newAfter = 0;
    for (int i = 0; i < kills; ++i) {
        FolderWatch watch(folder());
        SaveChild child(file, next.size(), 12);
        QVERIFY(child.process.waitForStarted());
        const bool aimAtRewrite = hardLinked && i % 2 == 1;
        if (aimAtRewrite && watch.waitFor(journal, 10'000, [&] { return child.process.state() == QProcess::Running; }))
            std::this_thread::sleep_for(std::chrono::microseconds(inRewrite(random)));
        else if (!aimAtRewrite)
            std::this_thread::sleep_for(std::chrono::microseconds(anywhere(random)));
        child.process.kill();
        QVERIFY(child.finish());

        const std::string found = contentsOf(file);
        const bool mixed = found != old && found != next;
        if (mixed) {
            QVERIFY2(hardLinked, "a rename never shows a half-written file");
            ++mixedBeforeLoad;
        }
        auto loaded = loadDocument(file.toStdString());
        QVERIFY(std::holds_alternative<LoadResult>(loaded));
        const std::string settled = contentsOf(file);
        QVERIFY2(settled == old || settled == next, qPrintable(QString("mixed contents after kill %1").arg(i)));
        if (mixed)
            QVERIFY(std::get<LoadResult>(loaded).recoveryNote);
        ++(settled == old ? oldAfter : newAfter);
        if (hardLinked)
            QVERIFY(contentsOf(twin) == settled);

        QVERIFY(!writeFileAtomically(file.toStdString(), old));
        QCOMPARE(entriesOf(folder()), clean);
    }
    qInfo("%d kills over %lld us (rewrite %lld us): %d left the old contents, %d the new, %d were half "
          "written before the load", kills, wholeSave, rewrite, oldAfter, newAfter, mixedBeforeLoad);
    // The kills must have reached every stretch of the save, or the test proved nothing.
    QVERIFY(oldAfter > 0);
    QVERIFY(newAfter > 0);
    if (hardLinked)
        QVERIFY(mixedBeforeLoad > 0);
}

QTEST_GUILESS_MAIN(TestDocumentSave)
#include "tst_documents_save.moc"
