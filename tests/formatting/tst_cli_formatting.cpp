// corvane-cli check, format and path, run as a user would run them.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run runCli(const QStringList &arguments, const QString &folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral(CORVANE_CLI), arguments);
    Run run;
    if (!process.waitForFinished(60000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray utf16le(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

} // namespace

class FormattingCliTest : public QObject {
    Q_OBJECT

private slots:
    void init();

    void check_data();
    void check();
    void checkJson_reportsEveryFileOnItsOwnLine();
    void checkAll_data();
    void checkAll();
    void checkAll_stoppedEarly_saysSoOnStandardError();
    void checkAllJson_errorsArrayPerFile();

    void path_data();
    void path();

    void format_data();
    void format();
    void formatInPlace_keepsEncodingBomAndLineEndings();
    void formatInPlace_invalidFile_untouched();
    void formatInPlace_alreadyFormatted_reportsIt();

private:
    QTemporaryDir m_dir;
};

void FormattingCliTest::init()
{
    QVERIFY(m_dir.isValid());
    writeFile(m_dir.filePath("good.json"), "{\"a\": [1, 2]}\n");
    writeFile(m_dir.filePath("bad.json"), "{\n  \"a\": 1\n  \"b\": 2\n}\n");
    writeFile(m_dir.filePath("blank.json"), " \n\n");
    writeFile(m_dir.filePath("bom.json"), "\xEF\xBB\xBF");
    writeFile(m_dir.filePath("lowSurrogate.json"), "[\"a\\udc00\"]\n");
    writeFile(m_dir.filePath("lowSurrogate.ndjson"), "{}\n{\"\\udfff\": 1}\n");
    writeFile(m_dir.filePath("bom.xml"), "\xEF\xBB\xBF\n");
    writeFile(m_dir.filePath("bad.ndjson"), "{\"a\":1}\n\n   {\"b\" 2}\n");
    writeFile(m_dir.filePath("good.xml"), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a>caf\xc3\xa9</a>\n");
    writeFile(m_dir.filePath("bad.xml"), "<a>\n  <b>\n</a>\n");
    // Not UTF-8, so read from a code page, yet declared UTF-8: encoded surrogates (CESU-8).
    writeFile(m_dir.filePath("cesu8.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<doc>\xED\xA0\x80\xED\xB0\x80</doc>\n");
    writeFile(m_dir.filePath("ffFe.xml"), "<doc>\r\n  <a>\xFF\xFE</a>\r\n</doc>\r\n");
    writeFile(m_dir.filePath("latin1.xml"), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<doc>caf\xE9</doc>\n");
    writeFile(m_dir.filePath("label16.xml"), "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<doc/>\n");
    writeFile(m_dir.filePath("wide16.xml"),
              QByteArray("\xFF\xFE", 2) + utf16le("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<doc>\u4E2D</doc>\n"));
    writeFile(m_dir.filePath("order.xml"), "<?xml encoding=\"UTF-8\" version=\"1.0\"?>\n<doc/>\n");
    writeFile(m_dir.filePath("slash.xml"), "<?xml version=\"1.0\" encoding=\"UTF/8\"?>\n<doc/>\n");
    writeFile(m_dir.filePath("nodecoder.xml"), "<?xml version=\"1.0\" encoding=\"x-no-such-encoding\"?>\n<doc/>\n");
    writeFile(m_dir.filePath("notation.xml"), "<!DOCTYPE doc [\n  <!NOTATION n >\n]>\n<doc/>\n");
    writeFile(m_dir.filePath("notes.txt"), "{ not checked");
    writeFile(m_dir.filePath("many.ndjson"), "{}\n{\n\n[1,]\n{\"a\":1}\n  x\n");
    writeFile(m_dir.filePath("crlf.ndjson"), "{}\r\n{\r\n\r\n[\r\n");
    writeFile(m_dir.filePath("nested.json"), "{\n  \"items\": [\n    {\"name\": \"a b\", \"it's\": [1, 2]}\n  ]\n}\n");
    writeFile(m_dir.filePath("combining.json"), "{\"e\xcc\x81\": [1, 2]}\n");
}

void FormattingCliTest::check_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("validJson_exit0") << QStringList{"check", "good.json"} << 0 << QByteArray("good.json: valid\n");
    QTest::newRow("invalidJson_positionAndExit1")
        << QStringList{"check", "bad.json"} << 1
        << QByteArray("bad.json:3:3: Expected ',' or '}' after the object member\n");
    QTest::newRow("blankJson_emptyExit3") << QStringList{"check", "blank.json"} << 3 << QByteArray("blank.json: empty\n");
    QTest::newRow("byteOrderMarkOnlyJson_emptyExit3")
        << QStringList{"check", "bom.json"} << 3 << QByteArray("bom.json: empty\n");
    QTest::newRow("byteOrderMarkOnlyXml_emptyExit3") << QStringList{"check", "bom.xml"} << 3 << QByteArray("bom.xml: empty\n");
    QTest::newRow("loneLowSurrogateEscapeJson_exit1")
        << QStringList{"check", "lowSurrogate.json"} << 1
        << QByteArray("lowSurrogate.json:1:4: Invalid surrogate pair in a string\n");
    QTest::newRow("loneLowSurrogateEscapeNdjson_exit1")
        << QStringList{"check", "lowSurrogate.ndjson"} << 1
        << QByteArray("lowSurrogate.ndjson:2:3: Invalid surrogate pair in a string\n");
    QTest::newRow("validAndEmpty_exit3")
        << QStringList{"check", "good.json", "bom.json"} << 3 << QByteArray("good.json: valid\nbom.json: empty\n");
    QTest::newRow("emptyAndInvalid_invalidWinsExit1")
        << QStringList{"check", "bom.json", "bad.xml"} << 1
        << QByteArray("bom.json: empty\nbad.xml:3:5: Opening and ending tag mismatch: b line 2 and a\n");
    QTest::newRow("emptyAndMissing_unreadableWinsExit2")
        << QStringList{"check", "bom.json", "missing.json"} << 2 << QByteArray("bom.json: empty\n");
    QTest::newRow("allowEmpty_emptyExit0")
        << QStringList{"check", "--allow-empty", "good.json", "bom.json"} << 0
        << QByteArray("good.json: valid\nbom.json: empty\n");
    QTest::newRow("allowEmpty_invalidStillExit1")
        << QStringList{"check", "--allow-empty", "bom.json", "bad.json"} << 1
        << QByteArray("bom.json: empty\nbad.json:3:3: Expected ',' or '}' after the object member\n");
    QTest::newRow("allowEmptyJson_emptyExit0")
        << QStringList{"check", "--json", "--allow-empty", "bom.json"} << 0
        << QByteArray(R"({"path":"bom.json","kind":"JSON","result":"empty"})" "\n");
    QTest::newRow("ndjsonFault_lineOfDocumentColumnFromFirstNonBlank")
        << QStringList{"check", "bad.ndjson"} << 1 << QByteArray("bad.ndjson:3:6: Expected ':' after the object key\n");
    QTest::newRow("xmlWithLatin1Declaration_valid") << QStringList{"check", "good.xml"} << 0 << QByteArray("good.xml: valid\n");
    QTest::newRow("xmlUnclosed_exit1")
        << QStringList{"check", "bad.xml"} << 1 << QByteArray("bad.xml:3:5: Opening and ending tag mismatch: b line 2 and a\n");
    QTest::newRow("xmlCodePageBytesDeclaredUtf8_invalidAtBytes")
        << QStringList{"check", "cesu8.xml"} << 1
        << QByteArray("cesu8.xml:2:6: Input is not proper UTF-8, indicate encoding ! Bytes: 0xED 0xA0 0x80 0xED\n");
    QTest::newRow("xmlCodePageBytesUndeclared_invalidAtBytes")
        << QStringList{"check", "ffFe.xml"} << 1
        << QByteArray("ffFe.xml:2:6: Input is not proper UTF-8, indicate encoding ! Bytes: 0xFF 0xFE 0x3C 0x2F\n");
    QTest::newRow("xmlLatin1BytesDeclaredLatin1_valid")
        << QStringList{"check", "latin1.xml"} << 0 << QByteArray("latin1.xml: valid\n");
    QTest::newRow("xmlUtf16LabelOnAscii_invalid")
        << QStringList{"check", "label16.xml"} << 1
        << QByteArray("label16.xml:1:31: Document labelled UTF-16 but has UTF-8 content\n");
    QTest::newRow("xmlUtf16WithMarkLabelledUtf16_valid")
        << QStringList{"check", "wide16.xml"} << 0 << QByteArray("wide16.xml: valid\n");
    QTest::newRow("xmlDeclarationOutOfOrder_invalid")
        << QStringList{"check", "order.xml"} << 1 << QByteArray("order.xml:1:7: Malformed declaration expecting version\n");
    QTest::newRow("xmlEncodingNameWithSlash_invalid")
        << QStringList{"check", "slash.xml"} << 1 << QByteArray("slash.xml:1:34: Invalid XML encoding name\n");
    QTest::newRow("xmlEncodingWithoutDecoder_invalid")
        << QStringList{"check", "nodecoder.xml"} << 1
        << QByteArray("nodecoder.xml:1:31: Unsupported encoding x-no-such-encoding\n");
    QTest::newRow("xmlNotationWithoutIdentifier_invalid")
        << QStringList{"check", "notation.xml"} << 1
        << QByteArray("notation.xml:2:3: NOTATION declaration needs a SYSTEM or PUBLIC identifier\n");
    QTest::newRow("textFile_unchecked") << QStringList{"check", "notes.txt"} << 0 << QByteArray("notes.txt: unchecked\n");
    QTest::newRow("missingFile_exit2") << QStringList{"check", "good.json", "missing.json"} << 2
                                       << QByteArray("good.json: valid\n");
    QTest::newRow("unknownOption_exit2") << QStringList{"check", "--strict", "good.json"} << 2 << QByteArray();
    QTest::newRow("noFile_exit2") << QStringList{"check"} << 2 << QByteArray();
}

void FormattingCliTest::check()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    const Run run = runCli(arguments, m_dir.path());
    QCOMPARE(run.out, out);
    QCOMPARE(run.status, status);
}

void FormattingCliTest::checkJson_reportsEveryFileOnItsOwnLine()
{
    const Run run = runCli({"check", "--json", "good.json", "bad.json", "blank.json", "notes.txt", "missing.json"},
                           m_dir.path());
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], QByteArray(R"({"path":"good.json","kind":"JSON","result":"valid"})"));
    QCOMPARE(lines[1], QByteArray(R"({"path":"bad.json","kind":"JSON","result":"invalid","message":"Expected ',' or '}' after the object member","line":3,"column":3})"));
    QCOMPARE(lines[2], QByteArray(R"({"path":"blank.json","kind":"JSON","result":"empty"})"));
    QCOMPARE(lines[3], QByteArray(R"({"path":"notes.txt","kind":"TXT","result":"unchecked"})"));
    QCOMPARE(lines[4].startsWith(R"({"path":"missing.json","error":)"), true);
    QCOMPARE(run.status, 2);
}

void FormattingCliTest::checkAll_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("ndjson_everyFaultInGccStyle")
        << QStringList{"check", "--all", "many.ndjson"} << 1
        << QByteArray("many.ndjson:2:2: Unexpected end of text where an object key was expected\nmany.ndjson:4:4: Invalid value\nmany.ndjson:6:1: Invalid value\n");
    QTest::newRow("ndjsonCrlf_linesOfTheFile")
        << QStringList{"check", "--all", "crlf.ndjson"} << 1 << QByteArray("crlf.ndjson:2:2: Unexpected end of text where an object key was expected\ncrlf.ndjson:4:2: Unexpected end of text where a value was expected\n");
    QTest::newRow("maxErrors_firstN") << QStringList{"check", "--all", "--max-errors", "2", "many.ndjson"} << 1
                                      << QByteArray("many.ndjson:2:2: Unexpected end of text where an object key was expected\nmany.ndjson:4:4: Invalid value\n");
    QTest::newRow("json_firstFaultOnly")
        << QStringList{"check", "--all", "bad.json"} << 1
        << QByteArray("bad.json:3:3: Expected ',' or '}' after the object member\n");
    QTest::newRow("xml_firstFaultOnly")
        << QStringList{"check", "--all", "bad.xml"} << 1
        << QByteArray("bad.xml:3:5: Opening and ending tag mismatch: b line 2 and a\n");
    QTest::newRow("validAndInvalid_statusLinesKept")
        << QStringList{"check", "--all", "good.json", "many.ndjson", "notes.txt"} << 1
        << QByteArray("good.json: valid\nmany.ndjson:2:2: Unexpected end of text where an object key was expected\nmany.ndjson:4:4: Invalid value\nmany.ndjson:6:1: Invalid value\n"
                      "notes.txt: unchecked\n");
    QTest::newRow("empty_exit3") << QStringList{"check", "--all", "blank.json"} << 3 << QByteArray("blank.json: empty\n");
    QTest::newRow("invalidThenValid_exit1") << QStringList{"check", "--all", "lowSurrogate.ndjson", "good.json"} << 1
                                       << QByteArray("lowSurrogate.ndjson:2:3: Invalid surrogate pair in a string\n"
                                                     "good.json: valid\n");
    QTest::newRow("maxErrorsWithoutAll_usage") << QStringList{"check", "--max-errors", "2", "many.ndjson"} << 2
                                               << QByteArray();
    QTest::newRow("maxErrorsZero_usage") << QStringList{"check", "--all", "--max-errors", "0", "many.ndjson"} << 2
                                         << QByteArray();
    QTest::newRow("maxErrorsNotANumber_usage") << QStringList{"check", "--all", "--max-errors", "x", "many.ndjson"} << 2
                                               << QByteArray();
}

void FormattingCliTest::checkAll()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    const Run run = runCli(arguments, m_dir.path());
    QCOMPARE(run.out, out);
    QCOMPARE(run.status, status);
}

void FormattingCliTest::checkAll_stoppedEarly_saysSoOnStandardError()
{
    const Run capped = runCli({"check", "--all", "--max-errors", "2", "many.ndjson"}, m_dir.path());
    QCOMPARE(capped.err, QByteArray("many.ndjson: stopped after 2 errors\n"));
    const Run whole = runCli({"check", "--all", "--max-errors", "3", "many.ndjson"}, m_dir.path());
    QCOMPARE(whole.err, QByteArray());
    QCOMPARE(whole.out.count('\n'), 3);
}

void FormattingCliTest::checkAllJson_errorsArrayPerFile()
{
    const Run run = runCli({"check", "--all", "--json", "many.ndjson", "good.json", "bad.json"}, m_dir.path());
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QByteArray(R"({"path":"many.ndjson","kind":"NDJSON","result":"invalid","errors":[)"
                                  R"({"line":2,"column":2,"message":"Unexpected end of text where an object key was expected"},{"line":4,"column":4,"message":"Invalid value"},)"
                                  R"({"line":6,"column":1,"message":"Invalid value"}],"stoppedEarly":false})"));
    QCOMPARE(lines[1], QByteArray(R"({"path":"good.json","kind":"JSON","result":"valid","errors":[],"stoppedEarly":false})"));
    QCOMPARE(lines[2], QByteArray(R"({"path":"bad.json","kind":"JSON","result":"invalid","errors":[{"line":3,"column":3,)"
                                  R"("message":"Expected ',' or '}' after the object member"}],"stoppedEarly":false})"));
    QCOMPARE(run.status, 1);
}

void FormattingCliTest::path_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("topLevel") << QStringList{"path", "nested.json", "1:1"} << 0 << QByteArray("$\n");
    QTest::newRow("afterColon_value") << QStringList{"path", "nested.json", "3:14"} << 0 << QByteArray("$.items[0].name\n");
    QTest::newRow("insideQuotedKey") << QStringList{"path", "nested.json", "3:23"} << 0
                                     << QByteArray("$.items[0]['it\\'s']\n");
    QTest::newRow("arrayElement") << QStringList{"path", "nested.json", "3:33"} << 0
                                  << QByteArray("$.items[0]['it\\'s'][1]\n");
    QTest::newRow("columnPastLineEnd_lineEnd") << QStringList{"path", "nested.json", "2:99"} << 0
                                               << QByteArray("$.items\n");
    QTest::newRow("columnsCountCharacters") << QStringList{"path", "combining.json", "1:9"} << 0
                                            << QByteArray("$.e\xcc\x81[0]\n");
    QTest::newRow("json_pathAndFile") << QStringList{"path", "--json", "nested.json", "3:14"} << 0
                                      << QByteArray(R"({"path":"nested.json","jsonPath":"$.items[0].name"})" "\n");
    QTest::newRow("ndjsonRecord_lineIndex") << QStringList{"path", "bad.ndjson", "3:6"} << 0 << QByteArray("$[2].b\n");
    QTest::newRow("ndjsonBlankLine_exit1") << QStringList{"path", "bad.ndjson", "2:1"} << 1 << QByteArray();
    QTest::newRow("ndjsonBlankLineJson_null") << QStringList{"path", "--json", "bad.ndjson", "2:1"} << 1
                                              << QByteArray(R"({"path":"bad.ndjson","jsonPath":null})" "\n");
    QTest::newRow("blankJson_exit1") << QStringList{"path", "blank.json", "1:1"} << 1 << QByteArray();
    QTest::newRow("lineBeyondEnd_exit1") << QStringList{"path", "nested.json", "40:1"} << 1 << QByteArray();
    QTest::newRow("textFile_exit1") << QStringList{"path", "notes.txt", "1:1"} << 1 << QByteArray();
    QTest::newRow("positionWithoutColumn_usage") << QStringList{"path", "nested.json", "3"} << 2 << QByteArray();
    QTest::newRow("lineZero_usage") << QStringList{"path", "nested.json", "0:1"} << 2 << QByteArray();
    QTest::newRow("trailingJunk_usage") << QStringList{"path", "nested.json", "1:1x"} << 2 << QByteArray();
    QTest::newRow("noPosition_usage") << QStringList{"path", "nested.json"} << 2 << QByteArray();
    QTest::newRow("missingFile_usage") << QStringList{"path", "missing.json", "1:1"} << 2 << QByteArray();
}

void FormattingCliTest::path()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    const Run run = runCli(arguments, m_dir.path());
    QCOMPARE(run.out, out);
    QCOMPARE(run.status, status);
    // A failure says why on standard error; a success says nothing there.
    QCOMPARE(run.err.isEmpty(), status == 0 || arguments.contains("--json"));
}

void FormattingCliTest::format_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("json_prettyPrintedToStdout")
        << QStringList{"format", "good.json"} << 0 << QByteArray("{\n  \"a\": [\n    1,\n    2\n  ]\n}\n");
    QTest::newRow("invalidJson_nothingPrintedExit1") << QStringList{"format", "bad.json"} << 1 << QByteArray();
    QTest::newRow("invalidNdjson_nothingPrintedExit1") << QStringList{"format", "bad.ndjson"} << 1 << QByteArray();
    QTest::newRow("textFile_refusedExit1") << QStringList{"format", "notes.txt"} << 1 << QByteArray();
    QTest::newRow("twoFiles_usageExit2") << QStringList{"format", "good.json", "bad.json"} << 2 << QByteArray();
    QTest::newRow("missingFile_exit2") << QStringList{"format", "missing.json"} << 2 << QByteArray();
}

void FormattingCliTest::format()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    const Run run = runCli(arguments, m_dir.path());
    QCOMPARE(run.out, out);
    QCOMPARE(run.status, status);
    if (status == 1 && arguments.contains("bad.json"))
        QCOMPARE(run.err, QByteArray("bad.json:3:3: Expected ',' or '}' after the object member\n"));
}

void FormattingCliTest::formatInPlace_keepsEncodingBomAndLineEndings()
{
    // UTF-16 LE with a byte-order mark and CR LF line breaks.
    const QString path = m_dir.filePath("wide.json");
    writeFile(path, QByteArray("\xFF\xFE", 2) + utf16le("{\"caf\u00E9\":\r\n[1,{}]}\r\n"));
    const Run run = runCli({"format", "--in-place", "wide.json"}, m_dir.path());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray("wide.json: formatted\n"));
    QCOMPARE(readFile(path), QByteArray("\xFF\xFE", 2) + utf16le("{\r\n  \"caf\u00E9\": [\r\n    1,\r\n    {}\r\n  ]\r\n}"));

    // An NDJSON file is normalised in place with its CR LF kept.
    const QString lines = m_dir.filePath("lines.ndjson");
    writeFile(lines, "{\"b\":1, \"a\":2}\r\n[ 1 ]\r\n");
    QCOMPARE(runCli({"format", "--in-place", "lines.ndjson"}, m_dir.path()).status, 0);
    QCOMPARE(readFile(lines), QByteArray("{\"a\":2,\"b\":1}\r\n[1]\r\n"));
}

void FormattingCliTest::formatInPlace_invalidFile_untouched()
{
    const QString path = m_dir.filePath("bad.json");
    const QByteArray before = readFile(path);
    const Run run = runCli({"format", "--in-place", "bad.json"}, m_dir.path());
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, QByteArray("bad.json:3:3: Expected ',' or '}' after the object member\n"));
    QCOMPARE(readFile(path), before);
}

void FormattingCliTest::formatInPlace_alreadyFormatted_reportsIt()
{
    const QString path = m_dir.filePath("pretty.json");
    writeFile(path, "[\n  1\n]");
    const Run run = runCli({"format", "--in-place", "pretty.json"}, m_dir.path());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray("pretty.json: already formatted\n"));
    QCOMPARE(readFile(path), QByteArray("[\n  1\n]"));
}

QTEST_GUILESS_MAIN(FormattingCliTest)
#include "tst_cli_formatting.moc"
