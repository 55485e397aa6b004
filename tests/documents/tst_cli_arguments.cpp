// corvane-cli's own options run as a separate process: each command's --help, --version, and
// "-" for standard input, which must answer exactly as the same bytes in a file do.
#include "support/clirun.h"

#include "documents/fileio.h"

#include <QtTest>

class TestCliArguments : public QObject {
    Q_OBJECT

private slots:
    void version();
    void commandHelp_data();
    void commandHelp();
    void unknownOptionStillFails_data();
    void unknownOptionStillFails();
    void standardInputAnswersAsAFile_data();
    void standardInputAnswersAsAFile();
    void standardInputNeedsAKind_data();
    void standardInputNeedsAKind();
    void standardInputIsBoundedLikeAFile_data();
    void standardInputIsBoundedLikeAFile();

private:
    QTemporaryDir m_folder;
};

namespace {

const QStringList allCommands{"check", "csv", "format", "highlight", "info", "md", "path", "resave", "tree"};
// The commands that read a document and so accept "-", with arguments that complete them.
const QList<QStringList> stdinCommands{{"check"}, {"csv"}, {"format"}, {"highlight"}, {"info"},
                                      {"md", "--json"}, {"tree", "--json"}};

} // namespace

void TestCliArguments::version()
{
    const CliRun run = runCli({"--version"});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QStringLiteral("corvane-cli " CORVANE_VERSION "\n"));
    QCOMPARE(run.err, QString());
}

void TestCliArguments::commandHelp_data()
{
    QTest::addColumn<QStringList>("arguments");
    for (const QString &command : allCommands) {
        QTest::addRow("%s", qPrintable(command)) << QStringList{command, "--help"};
        QTest::addRow("%s_short", qPrintable(command)) << QStringList{command, "-h"};
        // Asking for help wins over whatever else is on the line, even a bad option.
        QTest::addRow("%s_amongOthers", qPrintable(command)) << QStringList{command, "--bogus", "x.json", "--help"};
    }
}

void TestCliArguments::commandHelp()
{
    QFETCH(QStringList, arguments);
    const QString command = arguments.first();
    const CliRun run = runCli(arguments, m_folder.path());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, QString());
    QVERIFY2(run.out.startsWith("usage: corvane-cli " + command + " "), qPrintable(run.out));
    // The same synopsis as the overview lists for the command, and its description.
    const QString synopsis = run.out.section('\n', 0, 0).mid(QStringLiteral("usage: corvane-cli ").size());
    QVERIFY2(runCli({"--help"}).out.contains("  " + synopsis + "\n      "), qPrintable(synopsis));
    QVERIFY(run.out.count('\n') >= 3);
    // Nothing was read or written: "x.json" would have been a missing file.
    QVERIFY(!QFile::exists(m_folder.filePath("x.json")));
}

void TestCliArguments::unknownOptionStillFails_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    for (const QString &command : allCommands)
        QTest::addRow("%s", qPrintable(command))
            << QStringList{command, "--bogus", "x.json"} << "usage: corvane-cli " + command + " ";
    // After "--", --help is a file name like any other: a missing one.
    QTest::newRow("helpAfterDoubleDash") << QStringList{"check", "--", "--help"} << "--help: Cannot read file attributes";
}

void TestCliArguments::unknownOptionStillFails()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const CliRun run = runCli(arguments, m_folder.path());
    QCOMPARE(run.status, 2);
    QCOMPARE(run.out, QString());
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
}

void TestCliArguments::standardInputAnswersAsAFile_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("before"); // the command and options before the file
    QTest::addColumn<QStringList>("after");  // operands after it

    const QByteArray json = "{\"items\": [1, {\"name\": \"x\"}], \"ok\": true}\n";
    const QByteArray invalid = "{\"a\": [1, 2,]}\n";
    const QByteArray ndjson = "{\"b\":1,\"a\":2}\n{\"c\":\nnot json\n";
    const QByteArray csv = "name;value\nx;1\ny;2;3\n";
    const QByteArray tsv = "a\tb\n1\t2\n";
    const QByteArray markdown = "# Title\n\nSome *text* and `code`.\n\n- one\n- two\n";
    const QByteArray yaml = "key: value\nlist:\n  - 1\n";
    const QByteArray xml = "<?xml version=\"1.0\"?>\n<a><b></a>\n";
    // UTF-16 with its mark and CRLF line endings: decoded and counted as a file's bytes are.
    const QByteArray utf16 = QByteArray("\xff\xfe", 2) + QByteArray("{\0\r\0\n\0}\0\r\0\n\0", 12);

    QTest::newRow("info") << "s.json" << json << "json" << QStringList{"info"} << QStringList{};
    QTest::newRow("infoJson") << "s.json" << json << "json" << QStringList{"info", "--json"} << QStringList{};
    QTest::newRow("infoUtf16Crlf") << "s.json" << utf16 << "json" << QStringList{"info", "--json"} << QStringList{};
    QTest::newRow("infoEmpty") << "s.txt" << QByteArray() << "txt" << QStringList{"info"} << QStringList{};
    QTest::newRow("checkValid") << "s.json" << json << "json" << QStringList{"check"} << QStringList{};
    QTest::newRow("checkInvalid") << "s.json" << invalid << "json" << QStringList{"check"} << QStringList{};
    QTest::newRow("checkInvalidJson") << "s.json" << invalid << "JSON" << QStringList{"check", "--json"} << QStringList{};
    QTest::newRow("checkAllNdjson") << "s.ndjson" << ndjson << "ndjson" << QStringList{"check", "--all"} << QStringList{};
    QTest::newRow("checkJsonlName") << "s.jsonl" << ndjson << "jsonl" << QStringList{"check", "--json"} << QStringList{};
    QTest::newRow("checkXml") << "s.xml" << xml << "xml" << QStringList{"check"} << QStringList{};
    QTest::newRow("checkPlistName") << "s.plist" << xml << "plist" << QStringList{"check", "--json"} << QStringList{};
    QTest::newRow("checkEmpty") << "s.json" << QByteArray("\n") << "json" << QStringList{"check"} << QStringList{};
    QTest::newRow("checkUnchecked") << "s.md" << markdown << "markdown" << QStringList{"check"} << QStringList{};
    QTest::newRow("format") << "s.json" << json << "json" << QStringList{"format"} << QStringList{};
    QTest::newRow("formatInvalid") << "s.json" << invalid << "json" << QStringList{"format"} << QStringList{};
    QTest::newRow("formatNdjson") << "s.ndjson" << QByteArray("{\"b\":1,\"a\":2}\n") << "ndjson" << QStringList{"format"}
                                  << QStringList{};
    QTest::newRow("formatNotJson") << "s.yaml" << yaml << "yaml" << QStringList{"format"} << QStringList{};
    QTest::newRow("highlightYaml") << "s.yaml" << yaml << "yaml" << QStringList{"highlight"} << QStringList{};
    QTest::newRow("highlightMarkdownJson") << "s.md" << markdown << "md" << QStringList{"highlight", "--json"}
                                           << QStringList{};
    QTest::newRow("highlightToml") << "s.toml" << QByteArray("a = 1\n[t]\nb = \"x\"\n") << "toml"
                                   << QStringList{"highlight", "--json"} << QStringList{};
    QTest::newRow("highlightLog") << "s.log" << QByteArray("2024-01-01 ERROR boom\n") << "log"
                                  << QStringList{"highlight", "--json"} << QStringList{};
    QTest::newRow("csv") << "s.csv" << csv << "csv" << QStringList{"csv"} << QStringList{};
    QTest::newRow("csvJson") << "s.csv" << csv << "csv" << QStringList{"csv", "--json"} << QStringList{};
    QTest::newRow("tsvByKind") << "s.tsv" << tsv << "tsv" << QStringList{"csv", "--json"} << QStringList{};
    QTest::newRow("tree") << "s.json" << json << "json" << QStringList{"tree"} << QStringList{};
    QTest::newRow("treeJsonExpanded") << "s.json" << json << "json" << QStringList{"tree", "--json", "--expand-all"}
                                      << QStringList{};
    QTest::newRow("treeInvalid") << "s.json" << invalid << "json" << QStringList{"tree", "--json"} << QStringList{};
    QTest::newRow("md") << "s.md" << markdown << "markdown" << QStringList{"md", "--json"} << QStringList{};
    QTest::newRow("path") << "s.json" << json << "json" << QStringList{"path"} << QStringList{"1:25"};
    QTest::newRow("pathJson") << "s.json" << json << "json" << QStringList{"path", "--json"} << QStringList{"1:25"};
    QTest::newRow("pathNoValue") << "s.json" << json << "json" << QStringList{"path", "--json"} << QStringList{"1:1"};
    QTest::newRow("pathNoSuchLine") << "s.json" << json << "json" << QStringList{"path"} << QStringList{"9:1"};
    QTest::newRow("pathNdjson") << "s.ndjson" << ndjson << "ndjson" << QStringList{"path"} << QStringList{"1:9"};
}

void TestCliArguments::standardInputAnswersAsAFile()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, kind);
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    QFile file(m_folder.filePath(fileName));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    file.close();

    const CliRun fromFile = runCli(before + QStringList{fileName} + after, m_folder.path());
    const CliRun fromInput = runCli(before + QStringList{"--kind", kind, "-"} + after, m_folder.path(), bytes);
    QVERIFY2(fromFile.status >= 0, qPrintable(fromFile.err));
    QCOMPARE(fromInput.status, fromFile.status);
    // Where the file's name is printed, standard input is "-".
    QString expectedOut = fromFile.out;
    QString expectedErr = fromFile.err;
    expectedOut.replace(fileName, "-");
    expectedErr.replace(fileName, "-");
    QCOMPARE(fromInput.out, expectedOut);
    QCOMPARE(fromInput.err, expectedErr);
    QVERIFY(!fromFile.out.isEmpty() || !fromFile.err.isEmpty());
}

void TestCliArguments::standardInputNeedsAKind_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const QString noKind = "give --kind KIND";
    for (const QStringList &command : stdinCommands)
        QTest::addRow("%s", qPrintable(command.first())) << command + QStringList{"-"} << noKind;
    QTest::newRow("path") << QStringList{"path", "-", "1:1"} << noKind;
    QTest::newRow("amongFiles") << QStringList{"check", "a.json", "-"} << noKind;
    QTest::newRow("unknownKind") << QStringList{"check", "--kind", "js", "-"} << "unknown kind js";
    QTest::newRow("kindWithoutValue") << QStringList{"check", "-", "--kind"} << "needs a value";
    QTest::newRow("resave") << QStringList{"resave", "-"} << "no file to write back";
    QTest::newRow("resaveWithKind") << QStringList{"resave", "--kind", "json", "-"} << "unknown option --kind";
    QTest::newRow("formatInPlace") << QStringList{"format", "--in-place", "--kind", "json", "-"} << "--in-place";
}

void TestCliArguments::standardInputNeedsAKind()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QFile file(m_folder.filePath("a.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{}\n");
    file.close();
    const CliRun run = runCli(arguments, m_folder.path(), "{}\n");
    QCOMPARE(run.status, 2);
    QCOMPARE(run.out, QString());
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY2(run.err.contains("usage: corvane-cli " + arguments.first()), qPrintable(run.err));
}

void TestCliArguments::standardInputIsBoundedLikeAFile_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("status");
    QTest::newRow("atTheLimit") << qint64(Documents::maximumFileSize) << 0;
    QTest::newRow("oneByteMore") << qint64(Documents::maximumFileSize + 1) << 1;
}

void TestCliArguments::standardInputIsBoundedLikeAFile()
{
    QFETCH(qint64, size);
    QFETCH(int, status);
    const CliRun run = runCli({"info", "--kind", "txt", "-"}, m_folder.path(), QByteArray(size, 'x'));
    QCOMPARE(run.status, status);
    if (status == 0) {
        QCOMPARE(run.out, QStringLiteral("-: TXT, UTF-8, LF, 1 line, %1 bytes\n").arg(size));
    } else {
        QCOMPARE(run.out, QString());
        QCOMPARE(run.err, QStringLiteral("-: File too large (50 MB). Limit is 50 MB.\n"));
    }
}

QTEST_GUILESS_MAIN(TestCliArguments)
#include "tst_cli_arguments.moc"
