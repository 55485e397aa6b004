// corvane-cli info and resave, run as a separate process on real files, and how names are shown.
#include "support/clirun.h"

#include "documents/document.h"

#include <QtTest>

#include <fcntl.h>
#include <unistd.h>


class TestCliDocuments : public QObject {
    Q_OBJECT

private slots:
    void infoJson_data();
    void infoJson();
    void infoHuman();
    void resaveIsByteExact_data();
    void resaveIsByteExact();
    void resaveReportsFailures();
    void resaveConverts_data();
    void resaveConverts();
    void resaveToUtf16ReadsBack_data();
    void resaveToUtf16ReadsBack();
    void badArguments_data();
    void badArguments();
    void namesAreEscapedInPlainOutput_data();
    void namesAreEscapedInPlainOutput();

private:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_folder.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(bytes);
        return path;
    }
    QTemporaryDir m_folder;
};

void TestCliDocuments::infoJson_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected"); // Without the path member.
    QTest::newRow("UTF-8 JSON, CRLF")
        << "a.json" << QByteArray("{\"a\":1}\r\n[]") << R"("kind":"JSON","encoding":"UTF-8","bom":false,"lineEnding":"CRLF","lines":2,"bytes":11})";
    QTest::newRow("UTF-16 BE with mark, markdown")
        << "b.md" << QByteArray("\xFE\xFF\x00#\x00\n", 6) << R"("kind":"MD","encoding":"UTF-16 BE","bom":true,"lineEnding":"LF","lines":2,"bytes":6})";
    QTest::newRow("empty text file has no lines")
        << "c.txt" << QByteArray() << R"("kind":"TXT","encoding":"UTF-8","bom":false,"lineEnding":"LF","lines":0,"bytes":0})";
    QTest::newRow("Windows-1251 log, CR")
        << "d.log" << QByteArray("\xCF\xF0\xE8\r\r") << R"("kind":"LOG","encoding":"CP1251","bom":false,"lineEnding":"CR","lines":3,"bytes":5})";
}

void TestCliDocuments::infoJson()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    const QString path = write(name, bytes);
    const CliRun run = runCli({"info", "--json", path});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, "{\"path\":\"" + path + "\"," + expected + "\n");
}

void TestCliDocuments::infoHuman()
{
    const QString path = write("x.yaml", "a: 1\n");
    const QString missing = m_folder.filePath("missing.json");
    const CliRun run = runCli({"info", path, missing});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out, path + ": YAML, UTF-8, LF, 2 lines, 5 bytes\n");
    QCOMPARE(run.err, missing + ": Cannot read file attributes: No such file or directory\n");
    const CliRun json = runCli({"info", "--json", missing});
    QCOMPARE(json.status, 1);
    QCOMPARE(json.out, "{\"path\":\"" + missing + "\",\"error\":\"Cannot read file attributes: No such file or directory\"}\n");
}

void TestCliDocuments::resaveIsByteExact_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("UTF-8 mark, CRLF")
        << QByteArray("\xEF\xBB\xBF{\"k\":\"v\"}\r\n");
    QTest::newRow("UTF-16 LE mark, CR") << QByteArray("\xFF\xFE" "a\x00\r\x00", 6);
    QTest::newRow("UTF-32 BE mark") << QByteArray("\x00\x00\xFE\xFF\x00\x00\x00" "a", 8);
    QTest::newRow("Windows-1252 with 0x98") << QByteArray("caf\xE9 \x98\n");
    QTest::newRow("Latin-1 control bytes") << QByteArray("\x81\x98\x9D");
    QTest::newRow("UTF-16 BE without mark") << QByteArray("\x00{\x00\xE9\x00}", 6);
    QTest::newRow("empty") << QByteArray();
}

void TestCliDocuments::resaveIsByteExact()
{
    QFETCH(QByteArray, bytes);
    const QString path = write("resave.txt", bytes);
    const CliRun run = runCli({"resave", path});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.status, 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
}

void TestCliDocuments::resaveConverts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("written"); // What the file holds afterwards.
    QTest::addColumn<QString>("message");    // Standard error after the file's path and ": ".
    QTest::newRow("UTF-8 to UTF-16 LE gains its mark")
        << QByteArray("h\xC3\xA9\n") << QStringList{"--encoding", "utf-16le"} << 0
        << QByteArray("\xFF\xFEh\x00\xE9\x00\n\x00", 8) << "";
    QTest::newRow("UTF-8 gains a mark, line endings to CRLF")
        << QByteArray("a\nb") << QStringList{"--bom", "--line-ending", "crlf"} << 0 << QByteArray("\xEF\xBB\xBF" "a\r\nb")
        << "";
    QTest::newRow("a guessed code page read as Latin-1, written as UTF-8")
        << QByteArray("caf\xE9") << QStringList{"--from-encoding", "iso-8859-1", "--encoding", "utf-8"} << 0
        << QByteArray("caf\xC3\xA9") << "";
    QTest::newRow("UTF-16 without its mark on request")
        << QByteArray("\xFF\xFEh\x00", 4) << QStringList{"--no-bom"} << 0 << QByteArray("h\x00", 2) << "";
    QTest::newRow("utf-16 is little-endian with its mark")
        << QByteArray("hi\n") << QStringList{"--encoding", "utf-16"} << 0 << QByteArray("\xFF\xFEh\x00i\x00\n\x00", 8)
        << "";
    QTest::newRow("utf-16 with --bom: the same")
        << QByteArray("hi") << QStringList{"--encoding", "utf-16", "--bom"} << 0 << QByteArray("\xFF\xFEh\x00i\x00", 6)
        << "";
    QTest::newRow("utf-16 with --no-bom: little-endian without it")
        << QByteArray("hi") << QStringList{"--encoding", "utf-16", "--no-bom"} << 0 << QByteArray("h\x00i\x00", 4) << "";
    QTest::newRow("utf-16 keeps a big-endian file big-endian")
        << QByteArray("\xFE\xFF\x00h\x00i", 6) << QStringList{"--encoding", "utf-16"} << 0
        << QByteArray("\xFE\xFF\x00h\x00i", 6) << "";
    QTest::newRow("read as utf-16 of either order, a big-endian file stays big-endian")
        << QByteArray("\xFE\xFF\x00h\x00i", 6) << QStringList{"--from-encoding", "utf-16"} << 0
        << QByteArray("\xFE\xFF\x00h\x00i", 6) << "";
    QTest::newRow("UTF-16 LE without a mark, named as the target: gains its mark")
        << QByteArray("h\x00\xE9\x00", 4) << QStringList{"--encoding", "utf-16le"} << 0
        << QByteArray("\xFF\xFEh\x00\xE9\x00", 6) << "";
    QTest::newRow("UTF-8 to UTF-32 BE gains its mark")
        << QByteArray("a") << QStringList{"--encoding", "utf-32be"} << 0 << QByteArray("\x00\x00\xFE\xFF\x00\x00\x00" "a", 8)
        << "";
    QTest::newRow("bytes not valid in the named encoding are left alone")
        << QByteArray("caf\xE9") << QStringList{"--from-encoding", "utf-8"} << 1 << QByteArray("caf\xE9")
        << "The file is not valid UTF-8";
    QTest::newRow("text the encoding cannot hold is refused")
        << QByteArray("\xE2\x82\xAC") << QStringList{"--encoding", "iso-8859-1"} << 1 << QByteArray("\xE2\x82\xAC")
        << "Save failed: Text cannot be encoded as Latin-1";
}

void TestCliDocuments::resaveConverts()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QByteArray, written);
    QFETCH(QString, message);
    const QString path = write("convert.txt", bytes);
    const CliRun run = runCli(QStringList{"resave"} + options + QStringList{path});
    QCOMPARE(run.status, status);
    QCOMPARE(run.err, message.isEmpty() ? QString() : path + ": " + message + "\n");
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), written);
}

void TestCliDocuments::resaveToUtf16ReadsBack_data()
{
    QTest::addColumn<QByteArray>("utf8");
    QTest::newRow("ASCII, which without a mark would read back as UTF-8 with NULs") << QByteArray("a: 1\nb: two\n");
    QTest::newRow("accents and an emoji") << QByteArray("name: Zo\xC3\xAB \xF0\x9F\x99\x82\n");
}

// A conversion is only done when the next load reads the same text back.
void TestCliDocuments::resaveToUtf16ReadsBack()
{
    QFETCH(QByteArray, utf8);
    const QString path = write("round.yaml", utf8);
    const CliRun resave = runCli({"resave", "--encoding", "utf-16", path});
    QCOMPARE(resave.err, QString());
    QCOMPARE(resave.status, 0);
    const CliRun info = runCli({"info", "--json", path});
    QCOMPARE(info.status, 0);
    const QString text = QString::fromUtf8(utf8);
    QCOMPARE(info.out, "{\"path\":\"" + path + "\",\"kind\":\"YAML\",\"encoding\":\"UTF-16 LE\",\"bom\":true,"
                           "\"lineEnding\":\"LF\",\"lines\":" + QString::number(utf8.count('\n') + 1)
                           + ",\"bytes\":" + QString::number(2 + 2 * text.size()) + "}\n");
    auto loaded = Documents::loadDocument(path.toStdString());
    QVERIFY(std::holds_alternative<Documents::LoadResult>(loaded));
    const auto &result = std::get<Documents::LoadResult>(loaded);
    QCOMPARE(QString::fromUtf16(result.text.data(), qsizetype(result.text.size())), text);
}

void TestCliDocuments::resaveReportsFailures()
{
    const QString good = write("good.txt", "ok\n");
    const QString missing = m_folder.filePath("gone.txt");
    const CliRun run = runCli({"resave", good, missing});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, missing + ": Cannot read file attributes: No such file or directory\n");

    // A command the user ran is not an auto-save, and says so when it fails.
    const QString locked = write("locked.json", "{\"a\":[1,2]}");
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const CliRun resave = runCli({"resave", locked});
    QCOMPARE(resave.status, 1);
    QCOMPARE(resave.err, locked + ": Save failed: The file is read-only\n");
    const CliRun format = runCli({"format", "--in-place", locked});
    QCOMPARE(format.status, 1);
    QCOMPARE(format.err, locked + ": Save failed: The file is read-only\n");
}

void TestCliDocuments::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no command") << QStringList();
    QTest::newRow("unknown command") << QStringList{"explode"};
    QTest::newRow("unknown option") << QStringList{"info", "--yaml", "x"};
    QTest::newRow("missing file") << QStringList{"resave"};
    QTest::newRow("unknown encoding") << QStringList{"resave", "--encoding", "klingon", "x"};
    QTest::newRow("unknown line ending") << QStringList{"resave", "--line-ending", "lfcr", "x"};
    QTest::newRow("both marks") << QStringList{"resave", "--bom", "--no-bom", "x"};
}

void TestCliDocuments::badArguments()
{
    QFETCH(QStringList, arguments);
    const CliRun run = runCli(arguments);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains("usage"), qPrintable(run.err));
}

namespace {

struct ByteRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs corvane-cli with `arguments` before one file operand made of `folder` and the bytes
// `name`: a shell puts the bytes together, since QProcess would pass the name as UTF-8.
ByteRun runOnName(const QStringList &arguments, const QString &folder, const QByteArray &name)
{
    QString octal;
    for (const char byte : name)
        octal += QStringLiteral("\\%1").arg(uint(static_cast<unsigned char>(byte)), 3, 8, QLatin1Char('0'));
    QProcess process;
    process.start("/bin/sh", QStringList{"-c", R"sh(cli=$1; folder=$2; octal=$3; shift 3; exec "$cli" "$@" "$folder$(printf "$octal")")sh",
                                         "sh", CORVANE_CLI, folder + "/", octal}
                                 + arguments);
    ByteRun run;
    if (!process.waitForFinished(60'000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace

void TestCliDocuments::namesAreEscapedInPlainOutput_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("shown");
    // A line break in a name would forge a line of output; escape sequences would drive the
    // terminal. They are written as the JSON output writes them.
    QTest::newRow("lineBreak") << QByteArray("a\nb.json") << QByteArray("a\\nb.json");
    QTest::newRow("forgedResult") << QByteArray("x.json: valid\nevil.json") << QByteArray("x.json: valid\\nevil.json");
    QTest::newRow("carriageReturnAndTab") << QByteArray("c\r\td.json") << QByteArray("c\\r\\td.json");
    QTest::newRow("escapeSequence") << QByteArray("e\x1b[31mred.json") << QByteArray("e\\u001b[31mred.json");
    QTest::newRow("otherControl") << QByteArray("bell\x07.json") << QByteArray("bell\\u0007.json");
    QTest::newRow("delete") << QByteArray("del\x7f.json") << QByteArray("del\\u007f.json");
    QTest::newRow("c1Control") << QByteArray("csi\xc2\x9b.json") << QByteArray("csi\\u009b.json");
    // The escape character itself, so that every escape reads back one way only.
    QTest::newRow("backslash") << QByteArray("back\\slash.json") << QByteArray("back\\\\slash.json");
    QTest::newRow("notUtf8") << QByteArray("caf\xe9.json") << QByteArray("caf\\xe9.json");
    QTest::newRow("utf8Unchanged") << QByteArray("caf\xc3\xa9.json") << QByteArray("caf\xc3\xa9.json");
}

void TestCliDocuments::namesAreEscapedInPlainOutput()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, shown);
    QTemporaryDir folder;
    const QByteArray native = QFile::encodeName(folder.path()) + '/' + name;
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "{}", 2), ssize_t(2));
    ::close(fd);
    const QByteArray prefix = QFile::encodeName(folder.path()) + '/';

    const ByteRun check = runOnName({"check"}, folder.path(), name);
    QCOMPARE(check.status, 0);
    QCOMPARE(check.out, prefix + shown + ": valid\n");
    const ByteRun info = runOnName({"info"}, folder.path(), name);
    QCOMPARE(info.status, 0);
    QCOMPARE(info.out, prefix + shown + ": JSON, UTF-8, LF, 1 line, 2 bytes\n");
    // Errors on standard error too.
    QVERIFY(::unlink(native.constData()) == 0);
    const ByteRun missing = runOnName({"info"}, folder.path(), name);
    QCOMPARE(missing.status, 1);
    QCOMPARE(missing.err, prefix + shown + ": Cannot read file attributes: No such file or directory\n");
}

QTEST_GUILESS_MAIN(TestCliDocuments)
#include "tst_cli_documents.moc"
