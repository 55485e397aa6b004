// corvane-cli csv, tree and md, run as a separate process on real files.
#include "support/clirun.h"

#include <QtTest>

#include <sys/resource.h>


class TestCliViewers : public QObject {
    Q_OBJECT

private slots:
    void json_data();
    void json();
    void badArguments_data();
    void badArguments();
    void mdJson_hostileInput_memoryBoundedByInput_data();
    void mdJson_hostileInput_memoryBoundedByInput();

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

void TestCliViewers::json_data()
{
    QTest::addColumn<QStringList>("arguments"); // The file name is appended.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expected");

    QTest::newRow("csv_quotedAndRagged")
        << QStringList{"csv", "--json"} << "a.csv" << QByteArray("\xEF\xBB\xBFname,note\r\nx,\"a,\"\"b\"\"\"\r\ny\r\n")
        << 0
        << R"({"headers":["name","note"],"rows":[["x","a,\"b\""],["y"]],"columnCount":2,"columnWidths":[80,80],)"
           R"("delimiter":",","raggedRows":[1]})";
    QTest::newRow("csv_empty_noHeaders")
        << QStringList{"csv", "--json"} << "b.csv" << QByteArray("\n\n") << 0
        << R"({"headers":[],"rows":[],"columnCount":0,"columnWidths":[],"delimiter":",","raggedRows":[]})";
    QTest::newRow("csv_wideColumn")
        << QStringList{"csv", "--json"} << "c.csv" << QByteArray("h\n12345678901234567890\n") << 0
        << R"({"headers":["h"],"rows":[["12345678901234567890"]],"columnCount":1,"columnWidths":[186],)"
           R"("delimiter":",","raggedRows":[]})";
    QTest::newRow("csv_detectedSemicolon")
        << QStringList{"csv", "--json"} << "s.csv" << QByteArray("a;b\n1,5;2\n3;4;5\n") << 0
        << R"({"headers":["a","b"],"rows":[["1,5","2"],["3","4","5"]],"columnCount":3,"columnWidths":[80,80,80],)"
           R"("delimiter":";","raggedRows":[1]})";
    QTest::newRow("csv_tsvReadsTabs")
        << QStringList{"csv", "--json"} << "t.tsv" << QByteArray("a,x\tb\n1\t2\n") << 0
        << R"({"headers":["a,x","b"],"rows":[["1","2"]],"columnCount":2,"columnWidths":[80,80],)"
           R"("delimiter":"\t","raggedRows":[]})";
    QTest::newRow("csv_delimiterOverridesDetection")
        << QStringList{"csv", "--json", "--delimiter", "comma"} << "o.csv" << QByteArray("a;b\n1;2\n") << 0
        << R"({"headers":["a;b"],"rows":[["1;2"]],"columnCount":1,"columnWidths":[80],)"
           R"("delimiter":",","raggedRows":[]})";
    QTest::newRow("csv_delimiterPipe")
        << QStringList{"csv", "--json", "--delimiter", "pipe"} << "p.tsv" << QByteArray("a|b\tc\n") << 0
        << R"({"headers":["a","b\tc"],"rows":[],"columnCount":2,"columnWidths":[80,80],)"
           R"("delimiter":"|","raggedRows":[]})";
    QTest::newRow("csv_plainText_delimiterAuto")
        << QStringList{"csv", "--delimiter", "auto"} << "q.csv" << QByteArray("a;b\n1;2\n1\n") << 0
        << "2 headers, 2 rows, 2 columns\na\tb";
    QTest::newRow("tree_defaultExpansion")
        << QStringList{"tree", "--json"} << "d.json" << QByteArray(R"({"zeta":1,"Alpha":[],"beta":{"k":{"x":1}}})") << 0
        << R"({"result":"ok","rows":[{"id":"$","key":null,"kind":"object","summary":"{3}","depth":0},)"
           R"({"id":"$.Alpha","key":"Alpha","kind":"array","summary":"[0]","depth":1},)"
           R"({"id":"$.beta","key":"beta","kind":"object","summary":"{1}","depth":1},)"
           R"({"id":"$.beta.k","key":"k","kind":"object","summary":"{1}","depth":2},)"
           R"({"id":"$.zeta","key":"zeta","kind":"number","summary":"1","depth":1}]})";
    QTest::newRow("tree_expandAll")
        << QStringList{"tree", "--json", "--expand-all"} << "e.json" << QByteArray(R"([{"a":[null]}])") << 0
        << R"({"result":"ok","rows":[{"id":"$","key":null,"kind":"array","summary":"[1]","depth":0},)"
           R"({"id":"$[0]","key":"[0]","kind":"object","summary":"{1}","depth":1},)"
           R"({"id":"$[0].a","key":"a","kind":"array","summary":"[1]","depth":2},)"
           R"({"id":"$[0].a[0]","key":"[0]","kind":"null","summary":"null","depth":3}]})";
    QTest::newRow("tree_invalid_status1")
        << QStringList{"tree", "--json"} << "f.json" << QByteArray("[1,]") << 1
        << R"({"result":"invalid","message":"Invalid value around line 1, column 4."})";
    QTest::newRow("tree_blank_empty")
        << QStringList{"tree", "--json"} << "g.json" << QByteArray(" \n") << 1
        << R"({"result":"invalid","message":"empty"})";
    QTest::newRow("md_blocksAndRuns")
        << QStringList{"md", "--json"} << "h.md" << QByteArray("## Hi *you*\n```\n# x\n```\n---") << 0
        << R"({"blocks":[{"id":0,"kind":"heading","level":2,"content":"Hi *you*","runs":[)"
           R"({"text":"Hi ","strong":false,"emphasis":false,"code":false,"strikethrough":false},)"
           R"({"text":"you","strong":false,"emphasis":true,"code":false,"strikethrough":false}]},)"
           R"({"id":1,"kind":"code","content":"# x"},{"id":2,"kind":"rule","content":""}]})";
    QTest::newRow("md_link")
        << QStringList{"md", "--json"} << "i.md" << QByteArray("- [a](http://b)") << 0
        << R"j({"blocks":[{"id":0,"kind":"listItem","content":"[a](http://b)","runs":[)j"
           R"({"text":"a","strong":false,"emphasis":false,"code":false,"strikethrough":false,"link":"http://b"}]}]})";
}

void TestCliViewers::json()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QString, expected);
    const CliRun run = runCli(arguments << write(name, bytes));
    QCOMPARE(run.out.trimmed(), expected);
    QCOMPARE(run.status, status);
}

void TestCliViewers::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::newRow("csv_noFile_usage") << QStringList{"csv", "--json"} << 2;
    QTest::newRow("csv_unknownDelimiter_usage") << QStringList{"csv", "--delimiter", "colon", "x.csv"} << 2;
    QTest::newRow("csv_delimiterWithoutValue_usage") << QStringList{"csv", "--delimiter"} << 2;
    QTest::newRow("tree_unknownFlag_usage") << QStringList{"tree", "--bogus", "x.json"} << 2;
    QTest::newRow("md_twoFiles_usage") << QStringList{"md", "a.md", "b.md"} << 2;
    QTest::newRow("csv_missingFile_failure") << QStringList{"csv", "--json", "/nonexistent/x.csv"} << 1;
}

void TestCliViewers::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    const CliRun run = runCli(arguments);
    QCOMPARE(run.status, status);
    QVERIFY(!run.err.isEmpty());
}

// The whole path, parse and JSON printing, keeps a few bytes per input byte: about ten, with a
// fixed allowance for the process itself. The peak is the largest of all children so far, and
// every row has the same bound.
void TestCliViewers::mdJson_hostileInput_memoryBoundedByInput_data()
{
    QTest::addColumn<QByteArray>("unit");
    QTest::newRow("starUnderscoreBacktickBracket") << QByteArray("*_`[");
    QTest::newRow("backtickAlternation") << QByteArray("`a");
    QTest::newRow("blankLines") << QByteArray("\n");
    QTest::newRow("listItems") << QByteArray("- a\n");
    QTest::newRow("nestedBrackets") << QByteArray("[[[[]]]]");
}

void TestCliViewers::mdJson_hostileInput_memoryBoundedByInput()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("The sanitizer's own memory hides the program's.");
#endif
    QFETCH(QByteArray, unit);
    constexpr qsizetype inputBytes = 4 * 1024 * 1024;
    const QString path = write("hostile.md", unit.repeated(inputBytes / unit.size()));
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QStringLiteral(CORVANE_CLI), {"md", "--json", path});
    QVERIFY(process.waitForFinished(120'000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    rusage usage{};
    QCOMPARE(getrusage(RUSAGE_CHILDREN, &usage), 0);
    const long peakKiB = usage.ru_maxrss;
    const long allowanceKiB = 16 * 1024 + 12 * inputBytes / 1024;
    QVERIFY2(peakKiB < allowanceKiB, qPrintable(QString("peak %1 KiB").arg(peakKiB)));
}

QTEST_GUILESS_MAIN(TestCliViewers)
#include "tst_cli_viewers.moc"
