// The single-instance channel: election, forwarding within one process (the later launch on
// its own thread) and from a real second process, stale and foreign sockets, a primary that
// survives clients sending half a message, too much or nonsense, and the private folder the
// socket lives in (never a predictable name in a folder other users can write to).
#include "app/services/singleinstance.h"
#include "base/nativepath.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <QtTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using App::SingleInstance;
using Request = App::SingleInstance::Request;
using Role = App::SingleInstance::Role;

Q_DECLARE_METATYPE(App::SingleInstance::Request)

namespace {

// Runs a later launch on a thread of its own, as a second process would, while the test's
// event loop serves the primary.
Role startElsewhere(const QString &name, const Request &request)
{
    Role role = Role::Failed;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        SingleInstance later(name);
        role = later.start(request);
    }));
    thread->start();
    while (!thread->wait(QDeadlineTimer(10)))
        QCoreApplication::processEvents();
    return role;
}

QByteArray frame(const QByteArray &payload)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(payload.size()), bytes.data());
    return bytes + payload;
}

// A socket file that nobody listens on, as a killed primary leaves behind.
bool makeStaleSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    qstrncpy(address.sun_path, native.constData(), sizeof(address.sun_path));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bound;
}

// Sets environment variables for the life of the guard, then puts back what was there.
class Environment {
public:
    ~Environment()
    {
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it) {
            if (it.value().isNull())
                qunsetenv(it.key().constData());
            else
                qputenv(it.key().constData(), it.value());
        }
    }
    void set(const QByteArray &name, const QString &value)
    {
        save(name);
        qputenv(name.constData(), QFile::encodeName(value));
    }
    void unset(const QByteArray &name)
    {
        save(name);
        qunsetenv(name.constData());
    }

private:
    void save(const QByteArray &name)
    {
        if (!m_saved.contains(name))
            m_saved.insert(name, qEnvironmentVariableIsSet(name.constData()) ? qgetenv(name.constData()) : QByteArray());
    }
    QHash<QByteArray, QByteArray> m_saved;
};

struct stat statusOf(const QString &path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        status.st_mode = 0;
    return status;
}

bool isPrivateFolder(const QString &path)
{
    const struct stat status = statusOf(path);
    return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & 0777) == 0700;
}

bool makeFolder(const QString &path, mode_t mode)
{
    return ::mkdir(QFile::encodeName(path).constData(), 0700) == 0
        && ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

private slots:
    void init();

    void requestFromArguments_data();
    void requestFromArguments();
    void positionsFromArguments_data();
    void positionsFromArguments();
    void realSecondProcessForwardsPositions();
    void positionsInMessages_data();
    void positionsInMessages();
    void defaultNameIsPerUser();
    void withoutRuntimeFolderTheSocketLivesInAPrivateCacheFolder();
    void runtimeFolderThatIsNotPrivateIsNotUsed_data();
    void runtimeFolderThatIsNotPrivateIsNotUsed();
    void preparationsInTheSharedTemporaryFolderAreIgnored();
    void privateFolderWithTheWrongModeIsRefused_data();
    void privateFolderWithTheWrongModeIsRefused();

    void laterLaunchForwardsToThePrimary_data();
    void laterLaunchForwardsToThePrimary();
    void realSecondProcessForwardsAndExits();
    void staleSocketIsReplaced();
    void closedPrimaryLeavesNoSocket();
    void foreignFileAtTheSocketPathIsLeftAlone_data();
    void foreignFileAtTheSocketPathIsLeftAlone();

    void messageInPiecesIsAssembled();
    void clientGoingAwayMidMessageIsForgotten();
    void badMessagesAreDropped_data();
    void badMessagesAreDropped();

private:
    QString m_name;
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestSingleInstance::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_name = m_folder->filePath("corvane.socket");
}

void TestSingleInstance::requestFromArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("newWindow");
    QTest::newRow("nothing") << QStringList{} << QStringList{} << false;
    QTest::newRow("relativeMadeAbsolute") << QStringList{"a.json", "sub/../b.csv"} << QStringList{"/work/a.json", "/work/b.csv"} << false;
    QTest::newRow("absoluteKept") << QStringList{"/data/x.md"} << QStringList{"/data/x.md"} << false;
    QTest::newRow("newWindowAction") << QStringList{"--new-window"} << QStringList{} << true;
    QTest::newRow("otherOptionsIgnored") << QStringList{"--verbose", "a.json"} << QStringList{"/work/a.json"} << false;
    QTest::newRow("afterDoubleDashEverythingIsAFile")
        << QStringList{"--", "--new-window", "-x"} << QStringList{"/work/--new-window", "/work/-x"} << false;
    QTest::newRow("emptyArgumentIgnored") << QStringList{""} << QStringList{} << false;
}

void TestSingleInstance::requestFromArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, paths);
    QFETCH(bool, newWindow);
    const Request request = SingleInstance::requestFromArguments(arguments, "/work");
    QCOMPARE(request.paths, paths);
    QCOMPARE(request.newWindow, newWindow);
}

void TestSingleInstance::positionsFromArguments_data()
{
    // Files that exist in the working folder: a name with a colon and digits is a file first.
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("path"); // relative to the working folder
    QTest::addColumn<qint64>("line");  // 0: no position
    QTest::addColumn<qint64>("column");
    QTest::newRow("plainName") << QStringList{"a.json"} << "a.json" << "a.json" << 0LL << 1LL;
    QTest::newRow("lineOnly") << QStringList{"a.json"} << "a.json:3" << "a.json" << 3LL << 1LL;
    QTest::newRow("lineAndColumn") << QStringList{"a.json"} << "a.json:3:7" << "a.json" << 3LL << 7LL;
    QTest::newRow("missingFileStillSplit") << QStringList{} << "new.json:12:4" << "new.json" << 12LL << 4LL;
    QTest::newRow("fileNamedWithColonOpensAsIs") << QStringList{"a:3"} << "a:3" << "a:3" << 0LL << 1LL;
    QTest::newRow("fileNamedWithColonThenLine") << QStringList{"a:3"} << "a:3:5" << "a:3" << 5LL << 1LL;
    QTest::newRow("lineAndColumnPreferredWhenBothNamesExist")
        << QStringList{"a", "a:3"} << "a:3:5" << "a" << 3LL << 5LL;
    QTest::newRow("zeroLineIsAName") << QStringList{} << "a.json:0" << "a.json:0" << 0LL << 1LL;
    QTest::newRow("zeroColumnIsAName") << QStringList{"a.json:3"} << "a.json:3:0" << "a.json:3:0" << 0LL << 1LL;
    QTest::newRow("signIsNoNumber") << QStringList{"a.json"} << "a.json:+3" << "a.json:+3" << 0LL << 1LL;
    QTest::newRow("lettersAreNoNumber") << QStringList{"a.json"} << "a.json:x" << "a.json:x" << 0LL << 1LL;
    QTest::newRow("trailingColon") << QStringList{"a.json"} << "a.json:3:" << "a.json:3:" << 0LL << 1LL;
    QTest::newRow("tooLongNumber") << QStringList{"a.json"} << "a.json:1234567890123456789" << "a.json:1234567890123456789"
                                   << 0LL << 1LL;
    QTest::newRow("nothingBeforeTheColon") << QStringList{} << ":3" << ":3" << 0LL << 1LL;
    QTest::newRow("driveLetterIsAnOrdinaryName") << QStringList{} << "C:\\notes.txt" << "C:\\notes.txt" << 0LL << 1LL;
    QTest::newRow("driveLetterWithLineIsAFileC") << QStringList{} << "C:3" << "C" << 3LL << 1LL;
    QTest::newRow("folderPart") << QStringList{"sub/b.md"} << "sub/b.md:2:1" << "sub/b.md" << 2LL << 1LL;
}

void TestSingleInstance::positionsFromArguments()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, argument);
    QFETCH(QString, path);
    QFETCH(qint64, line);
    QFETCH(qint64, column);
    const QString work = m_folder->filePath("work");
    QVERIFY(QDir().mkpath(work + "/sub"));
    for (const QString &name : existing) {
        QFile file(work + "/" + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const Request request = SingleInstance::requestFromArguments({argument}, work);
    QCOMPARE(request.paths, QStringList{work + "/" + path});
    QCOMPARE(request.positionAt(0).line, line);
    if (line > 0)
        QCOMPARE(request.positionAt(0).column, column);
}

void TestSingleInstance::realSecondProcessForwardsPositions()
{
    SingleInstance primary(m_name);
    QSignalSpy received(&primary, &SingleInstance::requestReceived);
    QCOMPARE(primary.start(Request{}), Role::Primary);
    const QString elsewhere = m_folder->filePath("elsewhere");
    QVERIFY(QDir().mkpath(elsewhere));
    QFile named(elsewhere + "/x:9");
    QVERIFY(named.open(QIODevice::WriteOnly));

    QProcess later;
    later.setWorkingDirectory(elsewhere);
    later.start(SINGLEINSTANCE_SENDER, {m_name, "notes.md:3:2", "x:9", "/abs/data.json:40"});
    QVERIFY(later.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(later.state() == QProcess::NotRunning, 20'000);
    QCOMPARE(later.exitCode(), 0);
    QTRY_COMPARE(received.size(), 1);
    const Request request = received.first().first().value<Request>();
    QCOMPARE(request.paths, (QStringList{elsewhere + "/notes.md", elsewhere + "/x:9", "/abs/data.json"}));
    QCOMPARE(request.positionAt(0), (SingleInstance::Position{3, 2}));
    QVERIFY(!request.positionAt(1).isSet());
    QCOMPARE(request.positionAt(2), (SingleInstance::Position{40, 1}));
}

void TestSingleInstance::defaultNameIsPerUser()
{
    Environment environment;
    const QString runtime = m_folder->filePath("runtime");
    QVERIFY(makeFolder(runtime, 0700));
    environment.set("XDG_RUNTIME_DIR", runtime);
    environment.set("XDG_CACHE_HOME", m_folder->filePath("cache"));
    QCOMPARE(SingleInstance::defaultName(), runtime + "/app.corvane.editor.socket");
    // Without a usable runtime folder: the private cache folder, whatever the variable says.
    const QString cached = m_folder->filePath("cache/Corvane/app.corvane.editor.socket");
    environment.set("XDG_RUNTIME_DIR", "");
    QCOMPARE(SingleInstance::defaultName(), cached);
    environment.set("XDG_RUNTIME_DIR", m_folder->filePath("missing"));
    QCOMPARE(SingleInstance::defaultName(), cached);
    environment.set("XDG_RUNTIME_DIR", "relative/runtime");
    QCOMPARE(SingleInstance::defaultName(), cached);
}

void TestSingleInstance::withoutRuntimeFolderTheSocketLivesInAPrivateCacheFolder()
{
    Environment environment;
    environment.unset("XDG_RUNTIME_DIR");
    environment.unset("XDG_CACHE_HOME");
    environment.set("HOME", m_folder->filePath("home"));
    environment.set("TMPDIR", m_folder->filePath("shared"));
    QVERIFY(QDir().mkpath(m_folder->filePath("home")));
    QVERIFY(makeFolder(m_folder->filePath("shared"), 01777));

    const QString name = SingleInstance::defaultName();
    QCOMPARE(name, m_folder->filePath("home/.cache/Corvane/app.corvane.editor.socket"));
    const QString folder = QFileInfo(name).path();
    QVERIFY(isPrivateFolder(folder));
    SingleInstance primary(name);
    QSignalSpy received(&primary, &SingleInstance::requestReceived);
    QCOMPARE(primary.start(Request{}), Role::Primary);
    QVERIFY(S_ISSOCK(statusOf(name).st_mode));
    QCOMPARE(startElsewhere(SingleInstance::defaultName(), Request{{"/a.json"}, false}), Role::Forwarded);
    QTRY_COMPARE(received.size(), 1);
    // Nothing in the shared folder.
    QCOMPARE(QDir(m_folder->filePath("shared")).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList());
}

void TestSingleInstance::runtimeFolderThatIsNotPrivateIsNotUsed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("groupCanRead") << "0750";
    QTest::newRow("everyoneCanWrite") << "0777";
    QTest::newRow("anotherUsersFolder") << "foreign";
    QTest::newRow("aLinkToAPrivateFolder") << "link";
}

void TestSingleInstance::runtimeFolderThatIsNotPrivateIsNotUsed()
{
    QFETCH(QString, kind);
    Environment environment;
    QString runtime = m_folder->filePath("runtime");
    if (kind == "foreign") {
        if (::geteuid() != 0)
            QSKIP("Only root can give a folder to another user.");
        QVERIFY(makeFolder(runtime, 0700));
        QVERIFY(::chown(QFile::encodeName(runtime).constData(), 65534, 65534) == 0);
    } else if (kind == "link") {
        QVERIFY(makeFolder(m_folder->filePath("real"), 0700));
        QVERIFY(QFile::link(m_folder->filePath("real"), runtime));
    } else {
        QVERIFY(makeFolder(runtime, mode_t(kind.toUInt(nullptr, 8))));
    }
    environment.set("XDG_RUNTIME_DIR", runtime);
    environment.set("XDG_CACHE_HOME", m_folder->filePath("cache"));
    const QString name = SingleInstance::defaultName();
    QCOMPARE(name, m_folder->filePath("cache/Corvane/app.corvane.editor.socket"));
    QVERIFY(isPrivateFolder(QFileInfo(name).path()));
}

void TestSingleInstance::preparationsInTheSharedTemporaryFolderAreIgnored()
{
    // Another user of the machine prepared the names an earlier version used in /tmp: a lock
    // that can never be taken and a file where the socket would go.
    Environment environment;
    const QString shared = m_folder->filePath("shared");
    QVERIFY(makeFolder(shared, 01777));
    environment.set("TMPDIR", shared);
    environment.unset("XDG_RUNTIME_DIR");
    environment.set("XDG_CACHE_HOME", m_folder->filePath("cache"));
    const QString oldSocket = shared + QStringLiteral("/app.corvane.editor-%1.socket").arg(::getuid());
    QVERIFY(makeFolder(oldSocket + ".lock", 0777));
    {
        QFile file(oldSocket);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a socket");
    }
    if (::geteuid() == 0) {
        QVERIFY(::chown(QFile::encodeName(oldSocket).constData(), 65534, 65534) == 0);
        QVERIFY(::chown(QFile::encodeName(oldSocket + ".lock").constData(), 65534, 65534) == 0);
    }
    const struct stat socketBefore = statusOf(oldSocket);
    const struct stat lockBefore = statusOf(oldSocket + ".lock");

    const QString name = SingleInstance::defaultName();
    QVERIFY2(!name.startsWith(shared), qPrintable(name));
    SingleInstance primary(name);
    QSignalSpy received(&primary, &SingleInstance::requestReceived);
    QCOMPARE(primary.start(Request{}), Role::Primary);
    QCOMPARE(startElsewhere(SingleInstance::defaultName(), Request{{"/b.json"}, false}), Role::Forwarded);
    QTRY_COMPARE(received.size(), 1);
    QCOMPARE(statusOf(oldSocket).st_ino, socketBefore.st_ino);
    QCOMPARE(statusOf(oldSocket + ".lock").st_ino, lockBefore.st_ino);
    QCOMPARE(QDir(oldSocket + ".lock").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

void TestSingleInstance::privateFolderWithTheWrongModeIsRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("groupCanRead") << "0750";
    QTest::newRow("everyoneCanWrite") << "0777";
    QTest::newRow("aLinkToAPrivateFolder") << "link";
    QTest::newRow("aFile") << "file";
}

void TestSingleInstance::privateFolderWithTheWrongModeIsRefused()
{
    QFETCH(QString, kind);
    Environment environment;
    environment.unset("XDG_RUNTIME_DIR");
    environment.set("XDG_CACHE_HOME", m_folder->filePath("cache"));
    environment.set("TMPDIR", m_folder->filePath("shared"));
    QVERIFY(makeFolder(m_folder->filePath("shared"), 01777));
    QVERIFY(QDir().mkpath(m_folder->filePath("cache")));
    const QString folder = m_folder->filePath("cache/Corvane");
    if (kind == "link") {
        QVERIFY(makeFolder(m_folder->filePath("real"), 0700));
        QVERIFY(QFile::link(m_folder->filePath("real"), folder));
    } else if (kind == "file") {
        QFile file(folder);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else {
        QVERIFY(makeFolder(folder, mode_t(kind.toUInt(nullptr, 8))));
    }
    const struct stat before = statusOf(folder);
    // No channel rather than one others could reach: the editor runs on without it.
    const QString name = SingleInstance::defaultName();
    QVERIFY2(name.isEmpty(), qPrintable(name));
    SingleInstance instance(name);
    QCOMPARE(instance.start(Request{{"/secret.json"}, false}), Role::Failed);
    const struct stat after = statusOf(folder);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_ino, before.st_ino);
    if (kind != "file")
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot), QStringList());
    QCOMPARE(QDir(m_folder->filePath("shared")).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList());
}

void TestSingleInstance::laterLaunchForwardsToThePrimary_data()
{
    QTest::addColumn<Request>("request");
    QTest::newRow("files") << Request{{"/data/a.json", "/data/b b.csv"}, false};
    QTest::newRow("newWindow") << Request{{}, true};
    QTest::newRow("plainRelaunch") << Request{{}, false};
    QTest::newRow("nonAsciiPath") << Request{{QString::fromUtf8("/data/\u00fcber/\u6587\u4ef6.md")}, false};
    // Bytes that are not UTF-8 (a Latin-1 name) travel as they are.
    QTest::newRow("pathNotUtf8") << Request{{Base::pathFromNative("/data/caf\xE9.md")}, false};
}

void TestSingleInstance::laterLaunchForwardsToThePrimary()
{
    QFETCH(Request, request);
    SingleInstance primary(m_name);
    QSignalSpy received(&primary, &SingleInstance::requestReceived);
    QCOMPARE(primary.start(Request{{"/mine.json"}, false}), Role::Primary);
    QCOMPARE(primary.start(Request{}), Role::Primary); // starting again changes nothing

    QCOMPARE(startElsewhere(m_name, request), Role::Forwarded);
    QTRY_COMPARE(received.size(), 1);
    QCOMPARE(received.first().first().value<Request>(), request);
}

void TestSingleInstance::realSecondProcessForwardsAndExits()
{
    SingleInstance primary(m_name);
    QSignalSpy received(&primary, &SingleInstance::requestReceived);
    QCOMPARE(primary.start(Request{}), Role::Primary);
    QVERIFY(QDir().mkpath(m_folder->filePath("elsewhere")));

    QProcess later;
    later.setWorkingDirectory(m_folder->filePath("elsewhere"));
    later.start(SINGLEINSTANCE_SENDER, {m_name, "notes.md", "/abs/data.json", "--new-window"});
    QVERIFY(later.waitForStarted());
    // The sender blocks until the primary answers from this test's event loop.
    QTRY_VERIFY_WITH_TIMEOUT(later.state() == QProcess::NotRunning, 20'000);
    QCOMPARE(later.exitStatus(), QProcess::NormalExit);
    QCOMPARE(later.exitCode(), 0);
    QTRY_COMPARE(received.size(), 1);
    const Request request = received.first().first().value<Request>();
    QCOMPARE(request.paths, (QStringList{m_folder->filePath("elsewhere/notes.md"), "/abs/data.json"}));
    QCOMPARE(request.newWindow, true);
}

void TestSingleInstance::staleSocketIsReplaced()
{
    QVERIFY(makeStaleSocket(m_name));
    QVERIFY(QFileInfo(m_name).exists());
    SingleInstance primary(m_name);
    QSignalSpy received(&primary, &SingleInstance::requestReceived);
    QCOMPARE(primary.start(Request{}), Role::Primary);
    QCOMPARE(startElsewhere(m_name, Request{{"/a"}, false}), Role::Forwarded);
    QTRY_COMPARE(received.size(), 1);
}

void TestSingleInstance::closedPrimaryLeavesNoSocket()
{
    {
        SingleInstance primary(m_name);
        QCOMPARE(primary.start(Request{}), Role::Primary);
        QVERIFY(QFileInfo::exists(m_name));
    }
    QVERIFY(!QFileInfo::exists(m_name));
    QVERIFY(!QFileInfo::exists(m_name + ".lock"));
    SingleInstance next(m_name);
    QCOMPARE(next.start(Request{}), Role::Primary);
}

void TestSingleInstance::foreignFileAtTheSocketPathIsLeftAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("regularFile") << "file";
    QTest::newRow("anotherUsersSocket") << "foreignSocket";
}

void TestSingleInstance::foreignFileAtTheSocketPathIsLeftAlone()
{
    QFETCH(QString, kind);
    if (kind == "file") {
        QFile file(m_name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a socket");
    } else {
        if (::geteuid() != 0)
            QSKIP("Only root can give a socket to another user.");
        QVERIFY(makeStaleSocket(m_name));
        QVERIFY(::chown(QFile::encodeName(m_name).constData(), 65534, 65534) == 0);
    }
    struct stat before {};
    QVERIFY(::lstat(QFile::encodeName(m_name).constData(), &before) == 0);

    SingleInstance instance(m_name);
    QCOMPARE(instance.start(Request{{"/secret.json"}, false}), Role::Failed);
    struct stat after {};
    QVERIFY(::lstat(QFile::encodeName(m_name).constData(), &after) == 0);
    QCOMPARE(after.st_ino, before.st_ino);
}

void TestSingleInstance::messageInPiecesIsAssembled()
{
    SingleInstance primary(m_name);
    QSignalSpy received(&primary, &SingleInstance::requestReceived);
    QCOMPARE(primary.start(Request{}), Role::Primary);

    QLocalSocket client;
    client.connectToServer(m_name);
    QVERIFY(client.waitForConnected(5'000));
    const QByteArray message = frame(R"({"paths":["/a.json"],"newWindow":false})");
    for (qsizetype sent = 1; sent <= message.size(); ++sent) {
        client.write(message.constData() + sent - 1, 1);
        QVERIFY(client.waitForBytesWritten(5'000));
        // The primary reads each byte alone before the next one is sent.
        if (sent < message.size())
            QTRY_COMPARE(primary.unfinishedBytes(), sent);
    }
    QTRY_VERIFY(client.bytesAvailable() > 0);
    QCOMPARE(client.read(1), QByteArray("\x06"));
    QTRY_COMPARE(received.size(), 1);
    QCOMPARE(received.first().first().value<Request>(), (Request{{"/a.json"}, false}));
}

void TestSingleInstance::clientGoingAwayMidMessageIsForgotten()
{
    SingleInstance primary(m_name);
    QSignalSpy received(&primary, &SingleInstance::requestReceived);
    QCOMPARE(primary.start(Request{}), Role::Primary);
    {
        QLocalSocket client;
        client.connectToServer(m_name);
        QVERIFY(client.waitForConnected(5'000));
        const QByteArray message = frame(R"({"paths":["/half.json"],"newWindow":false})");
        client.write(message.left(message.size() / 2));
        QVERIFY(client.waitForBytesWritten(5'000));
        QTRY_COMPARE(primary.unfinishedBytes(), message.size() / 2);
        client.disconnectFromServer();
    }
    QTRY_COMPARE(primary.clientCount(), 0);
    QCOMPARE(received.size(), 0);
    // The primary still serves the next launch.
    QCOMPARE(startElsewhere(m_name, Request{{"/whole.json"}, false}), Role::Forwarded);
    QTRY_COMPARE(received.size(), 1);
    QCOMPARE(received.first().first().value<Request>().paths, QStringList{"/whole.json"});
}

void TestSingleInstance::positionsInMessages_data()
{
    // What the primary makes of a message's positions: a message of an older launch has none,
    // and a malformed entry loses only its position, never the file.
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QList<qint64>>("lines"); // per path, 0: none
    QTest::addColumn<QList<qint64>>("columns");
    using L = QList<qint64>;
    QTest::newRow("olderLaunchWithoutKey") << QByteArray(R"({"paths":["/a","/b"],"newWindow":false})") << L{0, 0} << L{1, 1};
    QTest::newRow("lineAndColumn") << QByteArray(R"({"paths":["/a","/b"],"newWindow":false,"positions":[[3,2],null]})")
                                   << L{3, 0} << L{2, 1};
    QTest::newRow("countDiffers") << QByteArray(R"({"paths":["/a","/b"],"newWindow":false,"positions":[[3,2]]})")
                                  << L{0, 0} << L{1, 1};
    QTest::newRow("zeroAndNegative") << QByteArray(R"({"paths":["/a","/b"],"newWindow":false,"positions":[[0,1],[4,-1]]})")
                                     << L{0, 0} << L{1, 1};
    QTest::newRow("notPairs") << QByteArray(R"({"paths":["/a","/b"],"newWindow":false,"positions":[[3],["3","2"]]})")
                              << L{0, 0} << L{1, 1};
    QTest::newRow("notAnArray") << QByteArray(R"({"paths":["/a","/b"],"newWindow":false,"positions":"3:2"})")
                                << L{0, 0} << L{1, 1};
}

void TestSingleInstance::positionsInMessages()
{
    QFETCH(QByteArray, payload);
    QFETCH(QList<qint64>, lines);
    QFETCH(QList<qint64>, columns);
    SingleInstance primary(m_name);
    QSignalSpy received(&primary, &SingleInstance::requestReceived);
    QCOMPARE(primary.start(Request{}), Role::Primary);
    QLocalSocket client;
    client.connectToServer(m_name);
    QVERIFY(client.waitForConnected(5'000));
    client.write(frame(payload));
    QVERIFY(client.waitForBytesWritten(5'000));
    QTRY_COMPARE(received.size(), 1);
    const Request request = received.first().first().value<Request>();
    QCOMPARE(request.paths, (QStringList{"/a", "/b"}));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QCOMPARE(request.positionAt(i).line, lines[i]);
        if (lines[i] > 0)
            QCOMPARE(request.positionAt(i).column, columns[i]);
    }
}

void TestSingleInstance::badMessagesAreDropped_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray tooLong(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(SingleInstance::maximumMessageSize + 1), tooLong.data());
    QTest::newRow("lengthOverTheLimit") << tooLong;
    QTest::newRow("notJson") << frame("paths=/a.json");
    QTest::newRow("notAnObject") << frame(R"(["/a.json"])");
    QTest::newRow("relativePath") << frame(R"({"paths":["a.json"],"newWindow":false})");
    QTest::newRow("pathNotText") << frame(R"({"paths":[1],"newWindow":false})");
    QTest::newRow("withoutNewWindow") << frame(R"({"paths":["/a.json"]})");
}

void TestSingleInstance::badMessagesAreDropped()
{
    QFETCH(QByteArray, bytes);
    SingleInstance primary(m_name);
    QSignalSpy received(&primary, &SingleInstance::requestReceived);
    QCOMPARE(primary.start(Request{}), Role::Primary);

    QLocalSocket client;
    client.connectToServer(m_name);
    QVERIFY(client.waitForConnected(5'000));
    client.write(bytes);
    QVERIFY(client.waitForBytesWritten(5'000));
    // The primary hangs up without an answer.
    QTRY_COMPARE(client.state(), QLocalSocket::UnconnectedState);
    QCOMPARE(client.bytesAvailable(), 0);
    QCOMPARE(received.size(), 0);
    QCOMPARE(startElsewhere(m_name, Request{{"/ok.json"}, false}), Role::Forwarded);
    QTRY_COMPARE(received.size(), 1);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
