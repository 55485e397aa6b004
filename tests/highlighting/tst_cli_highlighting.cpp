// corvane-cli highlight, run as a user runs it.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runCli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(CORVANE_CLI), QStringList{QStringLiteral("highlight")} + arguments);
    if (!process.waitForFinished(30000))
        qFatal("corvane-cli did not finish");
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

} // namespace

class CliTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        file.write(content);
        return path;
    }

private slots:
    void humanOutput_matchesReference_data()
    {
        QTest::addColumn<QString>("fixture");
        for (const char *fixture : {"json/document.json", "yaml/document.yaml", "xml/document.xml",
                                    "markdown/document.md", "log/app.log", "toml/config.toml"})
            QTest::newRow(fixture) << QString::fromLatin1(fixture);
    }

    void humanOutput_matchesReference()
    {
        QFETCH(QString, fixture);
        const QString path = QStringLiteral(CORVANE_FIXTURES "/golden/") + fixture;
        const Run run = runCli({path});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, readFile(path + ".ref"));
    }

    void output_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("json_spansInUtf16Units")
            << "a.json" << QByteArray("{\"\xC3\xA9\xF0\x9F\x98\x80\": 1}") << QStringList{"--json"}
            << QByteArray("{\"kind\":\"JSON\",\"spans\":[[0,1,\"punctuation\"],[1,5,\"property\"],[6,1,\"punctuation\"],"
                          "[8,1,\"number\"],[9,1,\"punctuation\"]]}\n");
        QTest::newRow("kindOverride_usesLabel")
            << "a.txt" << QByteArray("k: true") << QStringList{"--kind", "YAML", "--json"}
            << QByteArray("{\"kind\":\"YAML\",\"spans\":[[0,1,\"property\"],[1,1,\"punctuation\"],[3,4,\"constant\"]]}\n");
        QTest::newRow("csv_noSpans") << "a.csv" << QByteArray("\"a\",1\n") << QStringList{"--json"}
                                     << QByteArray("{\"kind\":\"CSV\",\"spans\":[]}\n");
        QTest::newRow("crlfFile_linesNormalised") << "a.log" << QByteArray("ERROR x\r\nINFO y\r\n") << QStringList{}
                                                  << QByteArray("\xC2\xAB" "constant:ERROR\xC2\xBB x\n\xC2\xAB" "property:INFO\xC2\xBB y\n");
        QTest::newRow("emptyFile_emptyOutput") << "e.json" << QByteArray() << QStringList{} << QByteArray();
    }

    void output()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);
        const Run run = runCli(options + QStringList{write(fileName, content)});
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, expected);
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("errorContains");
        QTest::newRow("noFile_usage") << QStringList{} << 2 << QByteArray("missing FILE");
        QTest::newRow("twoFiles_usage") << QStringList{"a", "b"} << 2 << QByteArray("expected one FILE");
        QTest::newRow("unknownKind_usage") << QStringList{"--kind", "JS", "x.json"} << 2 << QByteArray("unknown kind JS");
        QTest::newRow("kindWithoutValue_usage") << QStringList{"x.json", "--kind"} << 2 << QByteArray("needs a value");
        QTest::newRow("unknownOption_usage") << QStringList{"--html", "x.json"} << 2 << QByteArray("unknown option --html");
        QTest::newRow("missingFile_failure") << QStringList{"/nonexistent/x.json"} << 1 << QByteArray("/nonexistent/x.json: ");
    }

    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, errorContains);
        const Run run = runCli(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.err.contains(errorContains), run.err.constData());
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli_highlighting.moc"
