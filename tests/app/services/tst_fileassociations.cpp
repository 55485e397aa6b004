// File associations: the table of types, the success counting over the three roles, and the
// user's mimeapps.list edited in place, with everything else in it kept byte for byte.
#include "app/services/fileassociations.h"
#include "app/services/mimeappslist.h"

#include "support/fifowatchdog.h"

#include <QTemporaryDir>
#include <QtTest>

#include <thread>

#include <sys/stat.h>
#include <unistd.h>

using App::FileAssociations;
using App::HandlerRole;
using App::MimeAppsList;

namespace {

const QByteArray ours = "app.corvane.editor.desktop";

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QSet<QString> allIds()
{
    QSet<QString> ids;
    for (const auto &type : FileAssociations::all())
        ids.insert(type.id);
    return ids;
}

// A registry whose answers the test decides, recording every call in order.
class ScriptedRegistry final : public App::DefaultHandlerRegistry {
public:
    // "contentType/role" pairs that fail, role as 'e', 'v' or 'a'.
    explicit ScriptedRegistry(QSet<QString> failing)
        : m_failing(std::move(failing))
    {
    }

    bool setDefaultHandler(const QString &contentType, HandlerRole role, const QString &desktopId) override
    {
        const char letter = role == HandlerRole::Editor ? 'e' : role == HandlerRole::Viewer ? 'v' : 'a';
        const QString call = contentType + '/' + letter;
        calls.append(call + '=' + desktopId);
        return !m_failing.contains(call);
    }
    std::optional<QString> defaultHandler(const QString &) const override { return std::nullopt; }
    void beginBatch() override { calls.append("begin"); }
    bool endBatch() override
    {
        calls.append("end");
        return writable;
    }

    QStringList calls;
    bool writable = true;

private:
    QSet<QString> m_failing;
};

struct stat statusOf(const QString &path)
{
    struct stat status {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status;
}

// Runs `work` on a thread of its own and waits at most `limit` for it: false when it is still
// running then (it is left to finish, or block, on its own).
bool finishesWithin(std::chrono::milliseconds limit, std::function<void()> work)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([work = std::move(work), done] {
        work();
        *done = true;
    });
    QDeadlineTimer deadline(limit);
    while (!*done && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!*done) {
        thread.detach();
        return false;
    }
    thread.join();
    return true;
}

} // namespace

class TestFileAssociations : public QObject {
    Q_OBJECT

private slots:
    void init();

    void tableHasTheTenTypesInOrder_data();
    void tableHasTheTenTypesInOrder();

    void applyCountsARowWhenAnyRoleSucceeds_data();
    void applyCountsARowWhenAnyRoleSucceeds();
    void applyMakesEveryRoleCallInOrder();
    void applyWithNothingSelectedCallsNothing();

    void editKeepsTheRestOfTheFile_data();
    void editKeepsTheRestOfTheFile();
    void readsTheFirstListedApplication_data();
    void readsTheFirstListedApplication();

    void applyAllToAMissingFileInAMissingFolder();
    void applyAgainLeavesTheFileAsItIs();
    void yamlIsRegisteredAndCheckedUnderBothNames();
    void snapshotComparesWithoutRegardToCase();
    void symlinkedFileStaysALink();
    void unwritableFileCountsNothing_data();
    void unwritableFileCountsNothing();
    void defaultPathFollowsXdgConfigHome();

    void hostileFileIsNeitherReadNorReplaced_data();
    void hostileFileIsNeitherReadNorReplaced();
    void fileJustUnderTheLimitIsEdited();
    void readOnlyFileKeepsItsModeAndContents();
    void anotherUsersFileKeepsItsOwnerAndMode();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TestFileAssociations::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
}

void TestFileAssociations::tableHasTheTenTypesInOrder_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QStringList>("contentTypes");
    QTest::addColumn<QStringList>("extensions");
    QTest::addColumn<bool>("preselected");
    int row = 0;
    auto add = [&row](const char *id, const char *label, QStringList types, QStringList extensions,
                      bool preselected = true) {
        QTest::newRow(id) << row++ << id << label << types << extensions << preselected;
    };
    add("json", "JSON", {"application/json"}, {"json"});
    add("ndjson", "NDJSON", {"application/x-ndjson"}, {"ndjson", "jsonl"});
    add("csv", "CSV", {"text/csv", "text/tab-separated-values"}, {"csv", "tsv"});
    // Every text type is a text/plain and many are an application/xml: taking either over by
    // default would send scripts, HTML or SVG files here.
    add("txt", "TXT", {"text/plain"}, {"txt"}, false);
    add("markdown", "Markdown", {"text/markdown"}, {"md", "markdown"});
    add("yaml", "YAML", {"application/x-yaml", "application/yaml"}, {"yaml", "yml"});
    add("toml", "TOML", {"application/toml"}, {"toml"});
    add("xml", "XML", {"application/xml"}, {"xml"}, false);
    add("plist", "plist", {"application/x-plist"}, {"plist"});
    add("log", "LOG", {"text/x-log"}, {"log"});
}

void TestFileAssociations::tableHasTheTenTypesInOrder()
{
    QFETCH(int, row);
    QFETCH(QString, id);
    QFETCH(QString, label);
    QFETCH(QStringList, contentTypes);
    QFETCH(QStringList, extensions);
    QFETCH(bool, preselected);
    QCOMPARE(FileAssociations::all().size(), 10);
    const auto &type = FileAssociations::all().at(row);
    QCOMPARE(type.id, id);
    QCOMPARE(type.label, label);
    QCOMPARE(type.contentTypes, contentTypes);
    QCOMPARE(type.extensions, extensions);
    QCOMPARE(type.preselected, preselected);
    QCOMPARE(FileAssociations::preselected().contains(id), preselected);
    // An unchecked row says why.
    QCOMPARE(type.caveat.isEmpty(), preselected);
}

void TestFileAssociations::applyCountsARowWhenAnyRoleSucceeds_data()
{
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QStringList>("failing");
    QTest::addColumn<int>("count");
    QTest::newRow("everyRoleSucceeds_counted") << QStringList{"csv"} << QStringList{} << 1;
    QTest::newRow("everyRoleFails_notCounted")
        << QStringList{"csv"} << QStringList{"text/csv/e", "text/csv/v", "text/csv/a"} << 0;
    QTest::newRow("onlyViewerSucceeds_counted") << QStringList{"csv"} << QStringList{"text/csv/e", "text/csv/a"} << 1;
    QTest::newRow("onlyAllRolesSucceeds_counted") << QStringList{"csv"} << QStringList{"text/csv/e", "text/csv/v"} << 1;
    QTest::newRow("yamlEachRoleMissesOneName_notCounted")
        << QStringList{"yaml"} << QStringList{"application/yaml/e", "application/x-yaml/v", "application/yaml/a"} << 0;
    QTest::newRow("yamlOneRoleTakesBothNames_counted")
        << QStringList{"yaml"} << QStringList{"application/yaml/e", "application/x-yaml/v"} << 1;
    QTest::newRow("nineOfTenWhenOneTypeFails")
        << allIds().values() << QStringList{"text/x-log/e", "text/x-log/v", "text/x-log/a"} << 9;
    QTest::newRow("unknownIdsIgnored") << QStringList{"json", "rtf"} << QStringList{} << 1;
}

void TestFileAssociations::applyCountsARowWhenAnyRoleSucceeds()
{
    QFETCH(QStringList, ids);
    QFETCH(QStringList, failing);
    QFETCH(int, count);
    ScriptedRegistry registry({failing.begin(), failing.end()});
    QCOMPARE(FileAssociations::apply({ids.begin(), ids.end()}, registry), count);
}

void TestFileAssociations::applyMakesEveryRoleCallInOrder()
{
    ScriptedRegistry registry({"text/markdown/e", "application/x-yaml/e", "application/toml/e", "application/toml/v"});
    FileAssociations::apply({"toml", "yaml", "markdown"}, registry);
    const QString id = QString::fromLatin1(ours);
    // One batch; table order, not selection order; a failed call skips neither the next role
    // nor the type's other name.
    QCOMPARE(registry.calls, (QStringList{
                                 "begin", "text/markdown/e=" + id, "text/markdown/v=" + id, "text/markdown/a=" + id,
                                 "application/x-yaml/e=" + id, "application/yaml/e=" + id,
                                 "application/x-yaml/v=" + id, "application/yaml/v=" + id,
                                 "application/x-yaml/a=" + id, "application/yaml/a=" + id,
                                 "application/toml/e=" + id, "application/toml/v=" + id, "application/toml/a=" + id,
                                 "end",
                             }));

    // What is held until the end of the batch and cannot be written there took nowhere.
    ScriptedRegistry unwritable({});
    unwritable.writable = false;
    QCOMPARE(FileAssociations::apply({"toml", "yaml"}, unwritable), 0);
    QCOMPARE(unwritable.calls.size(), 2 + 3 + 6);
}

void TestFileAssociations::applyWithNothingSelectedCallsNothing()
{
    ScriptedRegistry registry({});
    QCOMPARE(FileAssociations::apply({}, registry), 0);
    QVERIFY(registry.calls.isEmpty());

    const QString path = m_folder->filePath("config/mimeapps.list");
    MimeAppsList file(path);
    QCOMPARE(FileAssociations::apply({}, file), 0);
    QVERIFY(!QFileInfo::exists(path));
}

void TestFileAssociations::editKeepsTheRestOfTheFile_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("contentType");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("emptyFile_groupCreated")
        << QByteArray() << "text/csv" << QByteArray("[Default Applications]\ntext/csv=" + ours + ";\n");
    QTest::newRow("otherGroupsAndCommentsKept_groupAppended")
        << QByteArray("# mine\n[Added Associations]\ntext/csv=calc.desktop;\n\n[Removed Associations]\ntext/plain=gedit.desktop;\n")
        << "text/csv"
        << QByteArray("# mine\n[Added Associations]\ntext/csv=calc.desktop;\n\n[Removed Associations]\ntext/plain=gedit.desktop;\n"
                      "\n[Default Applications]\ntext/csv=" + ours + ";\n");
    QTest::newRow("noFinalNewline_groupAppended")
        << QByteArray("[Added Associations]\ntext/csv=calc.desktop;") << "text/csv"
        << QByteArray("[Added Associations]\ntext/csv=calc.desktop;\n\n[Default Applications]\ntext/csv=" + ours + ";\n");
    QTest::newRow("existingList_weArePrepended")
        << QByteArray("[Default Applications]\ntext/csv=calc.desktop;gedit.desktop;\n") << "text/csv"
        << QByteArray("[Default Applications]\ntext/csv=" + ours + ";calc.desktop;gedit.desktop;\n");
    QTest::newRow("alreadyFirst_unchanged")
        << QByteArray("[Default Applications]\ntext/csv=" + ours + ";calc.desktop;\n") << "text/csv"
        << QByteArray("[Default Applications]\ntext/csv=" + ours + ";calc.desktop;\n");
    QTest::newRow("listedLater_movedToTheFrontOnce")
        << QByteArray("[Default Applications]\ntext/csv=calc.desktop;" + ours + ";gedit.desktop;\n") << "text/csv"
        << QByteArray("[Default Applications]\ntext/csv=" + ours + ";calc.desktop;gedit.desktop;\n");
    QTest::newRow("listWithoutFinalSemicolon")
        << QByteArray("[Default Applications]\ntext/csv=calc.desktop\n") << "text/csv"
        << QByteArray("[Default Applications]\ntext/csv=" + ours + ";calc.desktop;\n");
    QTest::newRow("spacedKeyKeptAsWritten")
        << QByteArray("[Default Applications]\ntext/csv = calc.desktop ;\n") << "text/csv"
        << QByteArray("[Default Applications]\ntext/csv = " + ours + ";calc.desktop;\n");
    QTest::newRow("newEntryBeforeTheBlankLinesOfTheGroup")
        << QByteArray("[Default Applications]\ntext/plain=gedit.desktop;\n# keep\n\n\n[Added Associations]\ntext/csv=calc.desktop;\n")
        << "text/csv"
        << QByteArray("[Default Applications]\ntext/plain=gedit.desktop;\n# keep\ntext/csv=" + ours
                      + ";\n\n\n[Added Associations]\ntext/csv=calc.desktop;\n");
    QTest::newRow("otherTypesAndSimilarKeysUntouched")
        << QByteArray("[Default Applications]\ntext/csv-schema=x.desktop;\ntext/csv2=y.desktop;\n#text/csv=z.desktop;\n")
        << "text/csv"
        << QByteArray("[Default Applications]\ntext/csv-schema=x.desktop;\ntext/csv2=y.desktop;\n#text/csv=z.desktop;\ntext/csv="
                      + ours + ";\n");
    QTest::newRow("crlfFile_newLinesInCrlf")
        << QByteArray("[Default Applications]\r\ntext/plain=gedit.desktop;\r\n") << "text/csv"
        << QByteArray("[Default Applications]\r\ntext/plain=gedit.desktop;\r\ntext/csv=" + ours + ";\r\n");
    QTest::newRow("crlfEntryRewritten_endingKept")
        << QByteArray("[Default Applications]\r\ntext/csv=calc.desktop;\r\n") << "text/csv"
        << QByteArray("[Default Applications]\r\ntext/csv=" + ours + ";calc.desktop;\r\n");
    QTest::newRow("groupIsLastLineWithoutNewline")
        << QByteArray("[Default Applications]") << "text/csv"
        << QByteArray("[Default Applications]\ntext/csv=" + ours + ";\n");
    QTest::newRow("entryInTheSecondOfTwoGroups_rewrittenThere")
        << QByteArray("[Default Applications]\ntext/plain=a.desktop;\n[Added Associations]\n[Default Applications]\ntext/csv=calc.desktop;\n")
        << "text/csv"
        << QByteArray("[Default Applications]\ntext/plain=a.desktop;\n[Added Associations]\n[Default Applications]\ntext/csv="
                      + ours + ";calc.desktop;\n");
}

void TestFileAssociations::editKeepsTheRestOfTheFile()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, contentType);
    QFETCH(QByteArray, after);
    const QString path = m_folder->filePath("mimeapps.list");
    writeFile(path, before);
    MimeAppsList file(path);
    QVERIFY(file.setDefaultHandler(contentType, HandlerRole::Editor, QString::fromLatin1(ours)));
    QCOMPARE(readFile(path), after);
    QCOMPARE(file.defaultHandler(contentType), std::optional<QString>(QString::fromLatin1(ours)));
    // Once there, the other roles change nothing.
    QVERIFY(file.setDefaultHandler(contentType, HandlerRole::All, QString::fromLatin1(ours)));
    QCOMPARE(readFile(path), after);
}

void TestFileAssociations::readsTheFirstListedApplication_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("handler"); // "" for none
    QTest::newRow("firstOfTheList") << QByteArray("[Default Applications]\ntext/csv=calc.desktop;gedit.desktop;\n") << "calc.desktop";
    QTest::newRow("spacesTrimmed") << QByteArray("[Default Applications]\ntext/csv = calc.desktop ; x;\n") << "calc.desktop";
    QTest::newRow("onlyAddedAssociations_none") << QByteArray("[Added Associations]\ntext/csv=calc.desktop;\n") << "";
    QTest::newRow("emptyList_none") << QByteArray("[Default Applications]\ntext/csv=\n") << "";
    QTest::newRow("otherType_none") << QByteArray("[Default Applications]\ntext/plain=gedit.desktop;\n") << "";
    QTest::newRow("commentedOut_none") << QByteArray("[Default Applications]\n# text/csv=calc.desktop;\n") << "";
    QTest::newRow("laterDuplicateWins")
        << QByteArray("[Default Applications]\ntext/csv=calc.desktop;\ntext/csv=gedit.desktop;\n") << "gedit.desktop";
    QTest::newRow("emptyFile_none") << QByteArray() << "";
}

void TestFileAssociations::readsTheFirstListedApplication()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, handler);
    const QString path = m_folder->filePath("mimeapps.list");
    writeFile(path, file);
    const MimeAppsList list(path);
    QCOMPARE(list.defaultHandler("text/csv"), handler.isEmpty() ? std::nullopt : std::optional<QString>(handler));
}

void TestFileAssociations::applyAllToAMissingFileInAMissingFolder()
{
    const QString path = m_folder->filePath("config/nested/mimeapps.list");
    MimeAppsList file(path);
    QHash<QString, bool> none;
    for (const QString &id : allIds())
        none.insert(id, false);
    QCOMPARE(FileAssociations::snapshot(file), none);

    QCOMPARE(FileAssociations::apply(allIds(), file), 10);
    const QByteArray written = readFile(path);
    QCOMPARE(written.count(ours + ';'), 12); // YAML and CSV under two names each
    QVERIFY(written.startsWith("[Default Applications]\napplication/json=" + ours + ";\n"));
    QHash<QString, bool> every;
    for (const QString &id : allIds())
        every.insert(id, true);
    QCOMPARE(FileAssociations::snapshot(file), every);
}

void TestFileAssociations::applyAgainLeavesTheFileAsItIs()
{
    const QString path = m_folder->filePath("mimeapps.list");
    writeFile(path, "[Default Applications]\ntext/csv=calc.desktop;\n");
    MimeAppsList file(path);
    QCOMPARE(FileAssociations::apply({"csv", "txt"}, file), 2);
    const QByteArray once = readFile(path);
    QCOMPARE(once, "[Default Applications]\ntext/csv=" + ours + ";calc.desktop;\ntext/tab-separated-values=" + ours
                       + ";\ntext/plain=" + ours + ";\n");
    QCOMPARE(FileAssociations::apply({"csv", "txt"}, file), 2);
    QCOMPARE(readFile(path), once);
}

void TestFileAssociations::yamlIsRegisteredAndCheckedUnderBothNames()
{
    const QString path = m_folder->filePath("mimeapps.list");
    writeFile(path, "[Default Applications]\napplication/yaml=" + ours + ";\n");
    MimeAppsList file(path);
    QCOMPARE(FileAssociations::snapshot(file).value("yaml"), false); // only one of its names is ours

    QCOMPARE(FileAssociations::apply({"yaml"}, file), 1);
    QCOMPARE(readFile(path), "[Default Applications]\napplication/yaml=" + ours + ";\napplication/x-yaml=" + ours + ";\n");
    const auto snapshot = FileAssociations::snapshot(file);
    QCOMPARE(snapshot.value("yaml"), true);
    QCOMPARE(snapshot.value("json"), false);
    QCOMPARE(snapshot.size(), 10);
}

void TestFileAssociations::snapshotComparesWithoutRegardToCase()
{
    const QString path = m_folder->filePath("mimeapps.list");
    writeFile(path, "[Default Applications]\ntext/csv=App.Corvane.Editor.DESKTOP;\ntext/tab-separated-values=" + ours
                        + ";\ntext/plain=calc.desktop;" + ours + ";\n");
    const MimeAppsList file(path);
    const auto snapshot = FileAssociations::snapshot(file);
    QCOMPARE(snapshot.value("csv"), true);
    QCOMPARE(snapshot.value("txt"), false); // ours, but not first
}

void TestFileAssociations::symlinkedFileStaysALink()
{
    // Dotfile managers keep the file elsewhere and link it into place.
    const QString target = m_folder->filePath("dotfiles/mimeapps.list");
    QVERIFY(QDir().mkpath(m_folder->filePath("dotfiles")));
    QVERIFY(QDir().mkpath(m_folder->filePath("config")));
    writeFile(target, "[Added Associations]\n");
    const QString link = m_folder->filePath("config/mimeapps.list");
    QVERIFY(QFile::link(target, link));
    MimeAppsList file(link);
    QCOMPARE(FileAssociations::apply({"json"}, file), 1);
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readFile(target), "[Added Associations]\n\n[Default Applications]\napplication/json=" + ours + ";\n");
}

void TestFileAssociations::unwritableFileCountsNothing_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("fileIsAFolder") << "folder";
    QTest::newRow("configFolderIsAFile") << "parentFile";
    QTest::newRow("readOnlyFolderAndFile") << "readOnly";
    QTest::newRow("unreadableFile_notOverwritten") << "unreadable";
}

void TestFileAssociations::unwritableFileCountsNothing()
{
    QFETCH(QString, obstacle);
    QString path = m_folder->filePath("config/mimeapps.list");
    QVERIFY(QDir().mkpath(m_folder->filePath("config")));
    const QByteArray original = "[Added Associations]\ntext/csv=calc.desktop;\n";
    if (obstacle == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (obstacle == "parentFile") {
        writeFile(m_folder->filePath("plain"), "x");
        path = m_folder->filePath("plain/mimeapps.list");
    } else {
        if (::geteuid() == 0)
            QSKIP("Permissions do not bind root.");
        writeFile(path, original);
        if (obstacle == "readOnly") {
            QFile::setPermissions(path, QFile::ReadOwner);
            QFile::setPermissions(m_folder->filePath("config"), QFile::ReadOwner | QFile::ExeOwner);
        } else {
            QFile::setPermissions(path, QFile::WriteOwner);
        }
    }
    MimeAppsList file(path);
    const QSet<QString> ids{"json", "csv", "yaml"};
    const int count = FileAssociations::apply(ids, file);
    QFile::setPermissions(m_folder->filePath("config"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(QStringLiteral("%1/%2").arg(count).arg(ids.size()), QStringLiteral("0/3"));
    if (obstacle == "readOnly" || obstacle == "unreadable")
        QCOMPARE(readFile(path), original);
}

void TestFileAssociations::defaultPathFollowsXdgConfigHome()
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_folder->path()));
    const QString path = MimeAppsList::defaultPath();
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
    QCOMPARE(path, m_folder->filePath("mimeapps.list"));
}

void TestFileAssociations::hostileFileIsNeitherReadNorReplaced_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("namedPipe") << "fifo";
    QTest::newRow("linkToADevice") << "device";
    QTest::newRow("tenMegabytesOfBlankLines") << "oversized";
    QTest::newRow("oneByteOverTheLimit") << "overLimit";
}

void TestFileAssociations::hostileFileIsNeitherReadNorReplaced()
{
    QFETCH(QString, obstacle);
    const QString path = m_folder->filePath("mimeapps.list");
    if (obstacle == "fifo") {
        QVERIFY(makeFifo(path));
    } else if (obstacle == "device") {
        // Endless zeros: a reader that does not look first fills the memory.
        QVERIFY(QFile::link("/dev/zero", path));
    } else if (obstacle == "oversized") {
        writeFile(path, "[Default Applications]\n" + QByteArray(10 << 20, '\n'));
    } else {
        const QByteArray head = "[Default Applications]\ntext/csv=calc.desktop;\n";
        writeFile(path, head + QByteArray((1 << 20) + 1 - head.size(), '\n'));
    }
    const struct stat before = statusOf(path);
    FifoWatchdog watchdog(path, std::chrono::seconds(5));
    QHash<QString, bool> snapshot;
    int count = -1;
    const bool finished = finishesWithin(std::chrono::seconds(20), [&] {
        MimeAppsList file(path);
        snapshot = FileAssociations::snapshot(file);
        count = FileAssociations::apply(allIds(), file);
    });
    QVERIFY2(finished, "reading or writing the file did not end");
    QVERIFY2(!watchdog.fired(), "blocked on the pipe");
    // Treated as absent for reading, and never written over.
    for (const QString &id : allIds())
        QCOMPARE(snapshot.value(id, true), false);
    QCOMPARE(count, 0);
    const struct stat after = statusOf(path);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_size, before.st_size);
}

void TestFileAssociations::fileJustUnderTheLimitIsEdited()
{
    // One pass over the file per Apply, not one per content type and role.
    const QString path = m_folder->filePath("mimeapps.list");
    const QByteArray head = "[Default Applications]\ntext/csv=calc.desktop;\n";
    const QByteArray tail = "[Added Associations]\ntext/plain=calc.desktop;\n";
    // Room for the twelve entries within the limit.
    const QByteArray blank((1 << 20) - 2048 - head.size() - tail.size(), '\n');
    writeFile(path, head + blank + tail);
    int count = -1;
    QVERIFY(finishesWithin(std::chrono::seconds(20), [&] {
        MimeAppsList file(path);
        count = FileAssociations::apply(allIds(), file);
    }));
    QCOMPARE(count, 10);
    const QByteArray written = readFile(path);
    QVERIFY(written.startsWith("[Default Applications]\ntext/csv=" + ours + ";calc.desktop;\napplication/json=" + ours
                               + ";\n"));
    QVERIFY(written.endsWith(blank + tail));
    QCOMPARE(written.count(ours + ';'), 12);
    QCOMPARE(FileAssociations::snapshot(MimeAppsList(path)).value("yaml"), true);

    // An edit that would take the file over the limit is not written: it could not be read back.
    const QByteArray full = head + QByteArray((1 << 20) - head.size(), '\n');
    writeFile(path, full);
    MimeAppsList file(path);
    QCOMPARE(FileAssociations::apply({"json"}, file), 0);
    QCOMPARE(readFile(path), full);
}

void TestFileAssociations::readOnlyFileKeepsItsModeAndContents()
{
    // A file marked read-only is left as it is, by root as by anyone: the mark is the owner's word.
    const QString path = m_folder->filePath("mimeapps.list");
    const QByteArray original = "[Default Applications]\ntext/csv=calc.desktop;\n";
    writeFile(path, original);
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
    const struct stat before = statusOf(path);
    MimeAppsList file(path);
    QCOMPARE(FileAssociations::apply({"json", "csv"}, file), 0);
    const struct stat after = statusOf(path);
    QCOMPARE(after.st_mode & 07777, mode_t(0444));
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(readFile(path), original);
}

void TestFileAssociations::anotherUsersFileKeepsItsOwnerAndMode()
{
    if (::geteuid() != 0)
        QSKIP("Only root may write another user's file.");
    // Root running the editor for a user (sudo with the user's HOME) must leave the file theirs.
    const QString path = m_folder->filePath("mimeapps.list");
    writeFile(path, "[Default Applications]\n");
    QVERIFY(::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
    MimeAppsList file(path);
    QCOMPARE(FileAssociations::apply({"json"}, file), 1);
    const struct stat after = statusOf(path);
    QCOMPARE(after.st_uid, uid_t(65534));
    QCOMPARE(after.st_gid, gid_t(65534));
    QCOMPARE(after.st_mode & 07777, mode_t(0640));
    QCOMPARE(readFile(path), "[Default Applications]\napplication/json=" + ours + ";\n");
}

QTEST_GUILESS_MAIN(TestFileAssociations)
#include "tst_fileassociations.moc"
