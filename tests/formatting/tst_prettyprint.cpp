// JSON re-indenting and NDJSON normalising.

#include "testsupport.h"

#include "formatting/jsonformatter.h"

#include <QDir>
#include <QTest>

using namespace TestSupport;
using Formatting::JSONFormatter;

namespace {

QString reindented(const QString &text, std::size_t maximum = JSONFormatter::maximumPrettyLength)
{
    auto result = JSONFormatter::reindent(u16(text), maximum);
    return result ? qs(*result) : QStringLiteral("<too long>");
}

} // namespace

class PrettyPrintTest : public QObject {
    Q_OBJECT

private slots:
    void reindentFixtures_data();
    void reindentFixtures();
    void reindentRules_data();
    void reindentRules();
    void prettyPrint_data();
    void prettyPrint();
    void reindent_outputBeyondMaximum_givesNothing();
    void prettyPrint_millionNestedArrays_returnsTextUnchanged();
    void reindent_deepButBounded_isComplete();

    void prettyPrintNDJSON_data();
    void prettyPrintNDJSON();
    void prettyPrintNDJSONFixture();
    void prettyPrintNDJSON_deepLine_doesNotCrash();
};

// Each folder under fixtures/reindent holds origin.json and expected.json.
void PrettyPrintTest::reindentFixtures_data()
{
    QTest::addColumn<QString>("folder");
    const auto folders = QDir(fixturePath("reindent")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QVERIFY(folders.size() >= 6);
    for (const QString &folder : folders)
        QTest::newRow(qPrintable(folder)) << "reindent/" + folder;
}

void PrettyPrintTest::reindentFixtures()
{
    QFETCH(QString, folder);
    const QString origin = readFixture(folder + "/origin.json");
    const QString expected = readFixture(folder + "/expected.json");
    QCOMPARE(reindented(origin), expected);
    // The fixtures are valid JSON, so prettyPrint gives the same.
    QCOMPARE(qs(JSONFormatter::prettyPrint(u16(origin))), expected);
    // Idempotence: a pretty-printed document counts as already formatted.
    QCOMPARE(reindented(expected), expected);
}

void PrettyPrintTest::reindentRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("emptyInput_isEmpty") << "" << "";
    QTest::newRow("emptyObjectWithBreaks_isBraces") << "{ \r\n\t }" << "{}";
    QTest::newRow("emptyArray_isBrackets") << "[\n]" << "[]";
    QTest::newRow("arrayHoldingEmptyObject_indentsIt") << "[{}]" << "[\n  {}\n]";
    QTest::newRow("closerOfOtherKind_doesNotCloseEmpty") << "[ }" << "[\n  \n}";
    QTest::newRow("unbalancedClosers_keepDepthAtZero") << "]]1" << "\n]\n]1";
    QTest::newRow("openerAtEnd_indents") << "[" << "[\n  ";
    QTest::newRow("colonGetsOneSpace") << "{\"a\"  :1}" << "{\n  \"a\": 1\n}";
    QTest::newRow("otherUnicodeSpace_isKept") << "[\u00A01]" << "[\n  \u00A01\n]";
    QTest::newRow("stringEndingInEscapedBackslash_closesAtNextQuote")
        << "[\"a\\\\\",\"b\"]" << "[\n  \"a\\\\\",\n  \"b\"\n]";
    QTest::newRow("escapedQuote_staysInString") << "[\"a\\\",b\"]" << "[\n  \"a\\\",b\"\n]";
    QTest::newRow("unterminatedString_copiedToEnd") << "[\"a, b" << "[\n  \"a, b";
    QTest::newRow("surrogatePairInString_copied") << "[\"\U0001F600 x\"]" << "[\n  \"\U0001F600 x\"\n]";
}

void PrettyPrintTest::reindentRules()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(reindented(text), expected);
}

void PrettyPrintTest::prettyPrint_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("invalidJson_unchanged") << "{\"a\": 1,}" << "{\"a\": 1,}";
    QTest::newRow("loneNumber_unchanged") << "42" << "42";
    QTest::newRow("scalarWithSpaces_trimmed") << " \"s\"\n" << "\"s\"";
    QTest::newRow("blankText_unchanged") << "  \n" << "  \n";
    QTest::newRow("unpairedSurrogate_unchanged")
        << qs(std::u16string_view(u"[\"\xD800\"]")) << qs(std::u16string_view(u"[\"\xD800\"]"));
    QTest::newRow("loneLowSurrogateEscape_unchanged") << "[ \"\\udc00\" ]" << "[ \"\\udc00\" ]";
    QTest::newRow("validDocument_indented") << "{\"a\":{\"b\":[true]}}" << "{\n  \"a\": {\n    \"b\": [\n      true\n    ]\n  }\n}";
}

void PrettyPrintTest::prettyPrint()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(qs(JSONFormatter::prettyPrint(u16(text))), expected);
}

void PrettyPrintTest::reindent_outputBeyondMaximum_givesNothing()
{
    QCOMPARE(reindented("[1,2,3]", 100), QStringLiteral("[\n  1,\n  2,\n  3\n]"));
    QCOMPARE(reindented("[1,2,3]", 10), QStringLiteral("<too long>"));
}

void PrettyPrintTest::prettyPrint_millionNestedArrays_returnsTextUnchanged()
{
    // Valid, but its indented form would need about 10^12 code units.
    const int depth = 1'000'000;
    const QString text = QString(depth, '[') + QString(depth, ']');
    const Base::U16Buffer result = JSONFormatter::prettyPrint(u16(text));
    QCOMPARE(result.size(), std::size_t(text.size()));
    QCOMPARE(qs(result) == text, true);
}

void PrettyPrintTest::reindent_deepButBounded_isComplete()
{
    // 3000 levels: the output (about 9 M units) is far larger than usual, so its length is
    // counted on the way, but it stays under the maximum and must come out whole.
    const int depth = 3000;
    const QString text = QString(depth, '[') + "1" + QString(depth, ']');
    QString expected;
    for (int level = 0; level < depth; ++level)
        expected += QString(2 * level, ' ') + "[\n";
    expected += QString(2 * depth, ' ') + "1";
    for (int level = depth - 1; level >= 0; --level)
        expected += "\n" + QString(2 * level, ' ') + "]";
    const QString result = reindented(text);
    QCOMPARE(result.size(), expected.size());
    QCOMPARE(result == expected, true);
    QCOMPARE(reindented(result) == expected, true);
}

void PrettyPrintTest::prettyPrintNDJSON_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty_isEmpty") << "" << "";
    QTest::newRow("descendingKeys_sortedCompact") << "{ \"b\": 1, \"a\": 2 }" << "{\"a\":2,\"b\":1}";
    QTest::newRow("blankLineOfSpaces_becomesEmpty") << "{}\n   \n[]" << "{}\n\n[]";
    QTest::newRow("invalidLine_keptByteForByte_othersNormalised")
        << "{\"b\":1,\"a\":2}\n  {\"a\": ,}  \n[ 1 ]" << "{\"a\":2,\"b\":1}\n  {\"a\": ,}  \n[1]";
    QTest::newRow("finalLineFeed_kept") << "[ 1 ]\n" << "[1]\n";
    QTest::newRow("crlfLines_crDropped") << "[ 1 ]\r\n[ 2 ]\r\n" << "[1]\n[2]\n";
    QTest::newRow("scalarLine_keptUntrimmed") << "  42  \n \"s\"" << "  42  \n \"s\"";
    QTest::newRow("slash_unescaped") << "[\"a\\/b\"]" << "[\"a/b\"]";
    QTest::newRow("controlCharacters_escaped") << "[\"\\u0007\\b\\u001f\"]" << "[\"\\u0007\\b\\u001f\"]";
    QTest::newRow("integerAbove2To53_keptExact") << "[9007199254740993]" << "[9007199254740993]";
    QTest::newRow("fraction_shortestRoundTrip") << "[0.10000000000000000555, 1.0, 3.14159]" << "[0.1,1.0,3.14159]";
    QTest::newRow("unicodeEscape_writtenAsCharacter") << "[\"\\u00e9\\ud83d\\ude00\"]" << "[\"\u00E9\U0001F600\"]";
    QTest::newRow("loneSurrogateEscape_lineKept") << "[\"\\udc00\"] " << "[\"\\udc00\"] ";
    QTest::newRow("loneLowSurrogateEscapeInKey_lineKept") << "{\"\\udfff\": 1}" << "{\"\\udfff\": 1}";
    QTest::newRow("unpairedSurrogateInText_lineKept")
        << qs(std::u16string_view(u"[\"\xD800\"]\n[ 1 ]")) << qs(std::u16string_view(u"[\"\xD800\"]\n[1]"));
    QTest::newRow("keysSortedByCodePoint") << "{\"\u00E9\":1,\"z\":2,\"Z\":3}" << "{\"Z\":3,\"z\":2,\"\u00E9\":1}";
}

void PrettyPrintTest::prettyPrintNDJSON()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(qs(JSONFormatter::prettyPrintNDJSON(u16(text))), expected);
}

void PrettyPrintTest::prettyPrintNDJSONFixture()
{
    const QString origin = readFixture("ndjson/mixed.origin.ndjson");
    const QString expected = readFixture("ndjson/mixed.expected.ndjson");
    const QString result = qs(JSONFormatter::prettyPrintNDJSON(u16(origin)));
    QCOMPARE(result.split('\n'), expected.split('\n'));
    QCOMPARE(result.count('\n'), origin.count('\n'));
    // Normalising again changes nothing.
    QCOMPARE(qs(JSONFormatter::prettyPrintNDJSON(u16(result))), result);
}

void PrettyPrintTest::prettyPrintNDJSON_deepLine_doesNotCrash()
{
    const int depth = 1'000'000;
    const QString line = QString(depth, '[') + QString(depth, ']');
    QCOMPARE(qs(JSONFormatter::prettyPrintNDJSON(u16(line + "\n[ ]"))), line + "\n[]");
}

QTEST_GUILESS_MAIN(PrettyPrintTest)
#include "tst_prettyprint.moc"
