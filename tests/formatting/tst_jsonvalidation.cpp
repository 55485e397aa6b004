// JSON and NDJSON validation: verdicts, messages, positions and hostile input.

#include "testsupport.h"

#include "formatting/jsonerrorlocation.h"
#include "formatting/jsonformatter.h"
#include "formatting/validation.h"

#include <QDir>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace TestSupport;
using Formatting::JSONFormatter;
using Formatting::Validation;
using Formatting::ValidationError;

class JsonValidationTest : public QObject {
    Q_OBJECT

private slots:
    void errorLabel_data();
    void errorLabel();
    void validationLabel_data();
    void validationLabel();
    void validationEquality();

    void validate_data();
    void validate();
    void validateSnapshot_data();
    void validateSnapshot();
    void validateFixtures_data();
    void validateFixtures();
    void validateNDJSON_data();
    void validateNDJSON();

    void parseError_data();
    void parseError();
    void positionFromCharIndex_data();
    void positionFromCharIndex();

    void hostileInput_data();
    void hostileInput();
    void faultBeyondGraphemeLimit_countsCodeUnits();
    void concurrentChecks_agree();
};

void JsonValidationTest::errorLabel_data()
{
    QTest::addColumn<qint64>("line"); // 0: absent
    QTest::addColumn<qint64>("column");
    QTest::addColumn<QString>("expected");
    QTest::newRow("noLine_isError") << qint64(0) << qint64(0) << "Error";
    QTest::newRow("noLineButColumn_isError") << qint64(0) << qint64(7) << "Error";
    QTest::newRow("lineOnly_isLine3") << qint64(3) << qint64(0) << "Line 3";
    QTest::newRow("lineAndColumn_isLine3Col4") << qint64(3) << qint64(4) << "Line 3, Col 4";
    QTest::newRow("bigNumbers_areDecimal") << qint64(1234567) << qint64(89) << "Line 1234567, Col 89";
}

void JsonValidationTest::errorLabel()
{
    QFETCH(qint64, line);
    QFETCH(qint64, column);
    QFETCH(QString, expected);
    ValidationError error{"x", std::nullopt, std::nullopt};
    if (line)
        error.line = line;
    if (column)
        error.column = column;
    QCOMPARE(QString::fromStdString(error.label()), expected);
}

void JsonValidationTest::validationLabel_data()
{
    QTest::addColumn<int>("which"); // 0 empty, 1 valid, 2 invalid without line, 3 invalid with line
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty_showsNothing") << 0 << "";
    QTest::newRow("valid_isValid") << 1 << "Valid";
    QTest::newRow("invalidWithoutLine_isInvalid") << 2 << "Invalid";
    QTest::newRow("invalidWithLine_showsPosition") << 3 << "Invalid \u00B7 Line 2, Col 5";
}

void JsonValidationTest::validationLabel()
{
    QFETCH(int, which);
    QFETCH(QString, expected);
    const Validation validations[] = {Validation::empty(), Validation::valid(),
                                      Validation::invalid({"m", std::nullopt, std::nullopt}),
                                      Validation::invalid({"m", 2, 5})};
    QCOMPARE(QString::fromStdString(validations[which].label()), expected);
}

void JsonValidationTest::validationEquality()
{
    QCOMPARE(Validation(), Validation::empty());
    QVERIFY(Validation::valid() != Validation::empty());
    QVERIFY(Validation::invalid({"a", 1, 2}) != Validation::invalid({"a", 1, 3}));
    QVERIFY(Validation::invalid({"a", 1, 2}) == Validation::invalid({"a", 1, 2}));
    QCOMPARE(Validation::invalid({"a", 4, 2}).errorLine(), std::optional<std::int64_t>(4));
    QCOMPARE(Validation::valid().errorLine(), std::optional<std::int64_t>());
    QVERIFY(Validation::valid().error() == nullptr);
}

void JsonValidationTest::validate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("emptyText_isEmpty") << "" << "empty";
    QTest::newRow("spacesTabsBreaks_isEmpty") << " \t\n\r\n  " << "empty";
    QTest::newRow("unicodeSpaces_isEmpty") << "\u00A0\u2028\u3000\n" << "empty";
    QTest::newRow("number_isValid") << "42" << "valid";
    QTest::newRow("negativeExponent_isValid") << " -0.5e-3 " << "valid";
    QTest::newRow("string_isValid") << "\"text\"" << "valid";
    QTest::newRow("true_isValid") << "true" << "valid";
    QTest::newRow("null_isValid") << "null\n" << "valid";
    QTest::newRow("nested_isValid") << "{\"a\": [1, {\"b\": null}], \"c\": \"\\u00e9\"}" << "valid";
    QTest::newRow("hugeInteger_isValid") << "[123456789012345678901234567890]" << "valid";
    QTest::newRow("loneHighSurrogateEscape_isInvalid")
        << "[\"\\ud800\"]" << "invalid: Invalid surrogate pair in a string @ Line 1, Col 3";
    QTest::newRow("loneLowSurrogateEscape_isInvalidLikeAHighOne")
        << "[\"\\udc00\"]" << "invalid: Invalid surrogate pair in a string @ Line 1, Col 3";
    QTest::newRow("loneLowSurrogateEscapeUpperCase_isInvalidAtItsEscape")
        << "{\"k\": \"ab\\n\\u00e9\\uDFFF\"}" << "invalid: Invalid surrogate pair in a string @ Line 1, Col 18";
    QTest::newRow("loneLowSurrogateEscapeAfterPair_isInvalidAtItsEscape")
        << "[\"\U0001F600\\ud83d\\ude00\\\\u\\udc01\"]" << "invalid: Invalid surrogate pair in a string @ Line 1, Col 19";
    QTest::newRow("loneLowSurrogateEscapeInKey_isInvalid")
        << "{\n  \"\\udc00\": 1}" << "invalid: Invalid surrogate pair in a string @ Line 2, Col 4";
    QTest::newRow("escapedBackslashBeforeU_isValid") << "[\"\\\\udc00\"]" << "valid";
    QTest::newRow("hangulSyllable_isValid") << "[\"\uD55C\\uD55C\"]" << "valid";
    QTest::newRow("surrogatePairEscape_isValid") << "[\"\\ud83d\\ude00\"]" << "valid";

    QTest::newRow("trailingCommaInArray_isInvalid") << "[1,2,]" << "invalid: Invalid value @ Line 1, Col 6";
    QTest::newRow("trailingCommaInObject_isInvalid")
        << "{\"a\":1,}" << "invalid: Expected a quoted key in the object @ Line 1, Col 8";
    QTest::newRow("comment_isInvalid") << "// note\n{}" << "invalid: Invalid value @ Line 1, Col 1";
    QTest::newRow("nan_isInvalid") << "[NaN]" << "invalid: Invalid value @ Line 1, Col 2";
    QTest::newRow("infinity_isInvalid") << "[1, Infinity]" << "invalid: Invalid value @ Line 1, Col 5";
    QTest::newRow("leadingZero_isInvalid") << "01" << "invalid: Unexpected text after the JSON value @ Line 1, Col 2";
    QTest::newRow("hugeExponent_isInvalid") << "[1e400]" << "invalid: Number too big @ Line 1, Col 2";
    QTest::newRow("tabInString_isInvalid")
        << "[\"a\tb\"]" << "invalid: Unescaped control character in a string @ Line 1, Col 4";
    QTest::newRow("badEscape_isInvalid") << "[\"a\\x\"]" << "invalid: Invalid escape sequence in a string @ Line 1, Col 4";
    QTest::newRow("missingColon_isInvalid") << "{\"a\" 1}" << "invalid: Expected ':' after the object key @ Line 1, Col 6";
    QTest::newRow("missingCommaOnLine3_isInvalid")
        << "{\n  \"a\": 1\n  \"b\": 2\n}" << "invalid: Expected ',' or '}' after the object member @ Line 3, Col 3";
    QTest::newRow("missingCommaInArray_isInvalid")
        << "[1\n 2]" << "invalid: Expected ',' or ']' after the array element @ Line 2, Col 2";
    QTest::newRow("unfinishedObject_pointsAfterLastCharacter")
        << "{\"a\": 1" << "invalid: Unexpected end of text in an unclosed object @ Line 1, Col 8";
    QTest::newRow("unfinishedArrayWithTrailingBreak_pointsAtEmptyLastLine")
        << "[1,\n" << "invalid: Unexpected end of text where a value was expected @ Line 2, Col 1";
    QTest::newRow("unterminatedString_isInvalid")
        << "\"abc" << "invalid: Missing closing quotation mark of a string @ Line 1, Col 5";
    QTest::newRow("crlfText_countsCrAsColumn")
        << "{\r\n\"a\":1\r\n\"b\":2}" << "invalid: Expected ',' or '}' after the object member @ Line 3, Col 1";
    // Columns count like the caret: an emoji (two code units) or a letter with a combining
    // mark is one column.
    QTest::newRow("emojiBeforeFault_countsOneColumn")
        << "[\"\U0001F600\" x]" << "invalid: Expected ',' or ']' after the array element @ Line 1, Col 6";
    QTest::newRow("combiningMarkBeforeFault_countsOneColumn")
        << "[\"e\u0301\" x]" << "invalid: Expected ',' or ']' after the array element @ Line 1, Col 6";
    QTest::newRow("twoByteLettersBeforeFault_countOneColumnEach")
        << "[\"\u00E9\u00E9\u00E9\" x]" << "invalid: Expected ',' or ']' after the array element @ Line 1, Col 8";
    QTest::newRow("byteOrderMark_isInvalid") << qs(std::u16string_view(u"\uFEFF{}")) << "invalid: Invalid value @ Line 1, Col 1";
    QTest::newRow("loneSurrogate_isEncodingErrorAtItsPosition")
        << qs(std::u16string_view(u"[\"a\n  \xD800\"]")) << "invalid: Encoding error @ Line 2, Col 3";
    QTest::newRow("nulAfterValue_isInvalidNotEndOfText")
        << qs(std::u16string_view(u"{}\0 []", 6)) << "invalid: Unexpected text after the JSON value @ Line 1, Col 3";
    QTest::newRow("nulInString_isControlCharacter")
        << qs(std::u16string_view(u"[\"a\0\"]", 6)) << "invalid: Unescaped control character in a string @ Line 1, Col 4";
}

void JsonValidationTest::validate()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(dump(JSONFormatter::validate(u16(text))), expected);
    // Read piece by piece from a snapshot, the verdict is the same.
    const std::u16string units = u16(text);
    const auto fromSnapshot = JSONFormatter::validate(Base::FixedTextSnapshot(units));
    QVERIFY(fromSnapshot);
    QCOMPARE(dump(*fromSnapshot), expected);
}

namespace {

// A snapshot revoked after its first piece, like one whose text was edited during the check.
class RevokedAfterFirstCopy final : public Base::TextSnapshot {
public:
    explicit RevokedAfterFirstCopy(std::u16string_view text) : m_text(text) {}
    std::size_t length() const override { return m_text.size(); }
    bool copy(std::size_t position, std::size_t count, char16_t *out) const override
    {
        if (m_copies++ > 0)
            return false;
        m_text.copy(out, count, position);
        return true;
    }
    bool isRevoked() const override { return m_copies > 1; }

private:
    std::u16string_view m_text;
    mutable int m_copies = 0;
};

} // namespace

void JsonValidationTest::validateSnapshot_data()
{
    QTest::addColumn<QString>("text");
    // Long texts cross the reader's pieces; characters sit on either side of a piece's end.
    const QString pad = QString(32 * 1024 - 2, u' ');
    QTest::newRow("pair split at a piece end") << "[" + pad + "\"\U0001F600\"]";
    QTest::newRow("lone surrogate at a piece end") << "[" + pad + "\"" + QChar(0xD800) + "\"]";
    QTest::newRow("fault in the third piece") << "[" + pad + pad + pad + "1,,2]";
    QTest::newRow("lone low escape after two pieces") << "[" + pad + pad + "\"\\udc00\"]";
    QTest::newRow("blank over two pieces") << pad + pad + "\n";
    QTest::newRow("valid over many pieces") << "[" + QString("1,").repeated(200'000) + "1]";
}

void JsonValidationTest::validateSnapshot()
{
    QFETCH(QString, text);
    const std::u16string units = u16(text);
    const auto fromSnapshot = JSONFormatter::validate(Base::FixedTextSnapshot(units));
    QVERIFY(fromSnapshot);
    QCOMPARE(dump(*fromSnapshot), dump(JSONFormatter::validate(units)));
    QVERIFY(!JSONFormatter::validate(RevokedAfterFirstCopy(units)).has_value() || units.size() <= 32 * 1024);
}

// pass_*.json must be valid; fail_*.json must give the verdict in the first line of the
// matching .expected file.
void JsonValidationTest::validateFixtures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    const QDir dir(fixturePath("json"));
    const auto files = dir.entryList({"*.json"}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 4);
    for (const QString &file : files) {
        QString expected = "valid";
        if (file.startsWith("fail_"))
            expected = readFixture("json/" + QString(file).replace(".json", ".expected")).trimmed();
        QTest::newRow(qPrintable(file)) << "json/" + file << expected;
    }
}

void JsonValidationTest::validateFixtures()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(dump(JSONFormatter::validate(u16(readFixture(name)))), expected);
}

void JsonValidationTest::validateNDJSON_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("emptyText_isEmpty") << "" << "empty";
    QTest::newRow("twoLineBreaks_isEmpty") << "\n\n" << "empty";
    QTest::newRow("blankLines_isEmpty") << "  \n\t\r\n \n" << "empty";
    QTest::newRow("objectsAndScalars_areValid") << "{\"a\":1}\n[2]\n3\n\"x\"\nnull" << "valid";
    QTest::newRow("crlfWithFinalCrlf_isValid") << "{\"a\":1}\r\n{\"b\":2}\r\n" << "valid";
    QTest::newRow("blankLineSkippedButCounted_faultOnLine3")
        << "{\"a\":1}\n\n{\"b\":" << "invalid: Unexpected end of text where a value was expected @ Line 3, Col 6";
    QTest::newRow("indentedFault_columnFromFirstNonBlank")
        << "{}\n    {\"a\" 1}" << "invalid: Expected ':' after the object key @ Line 2, Col 6";
    QTest::newRow("firstFaultWins") << "[1,]\n{" << "invalid: Invalid value @ Line 1, Col 4";
    QTest::newRow("twoValuesOnOneLine_isInvalid")
        << "{} {}" << "invalid: Unexpected text after the JSON value @ Line 1, Col 4";
    QTest::newRow("loneLowSurrogateEscape_isInvalidOnItsLine")
        << "{}\n  [1, \"\\udc00\"]" << "invalid: Invalid surrogate pair in a string @ Line 2, Col 6";
    QTest::newRow("loneHighSurrogateEscape_isInvalidOnItsLine")
        << "{}\n  [1, \"\\ud800\"]" << "invalid: Invalid surrogate pair in a string @ Line 2, Col 6";
    QTest::newRow("loneSurrogate_isEncodingErrorOnItsLine")
        << qs(std::u16string_view(u"{}\n  [\"\xDC00\"]")) << "invalid: Encoding error @ Line 2, Col 3";
    QTest::newRow("prettyPrintedObject_isInvalidAsNdjson")
        << "{\n  \"a\": 1\n}" << "invalid: Unexpected end of text where an object key was expected @ Line 1, Col 2";
}

void JsonValidationTest::validateNDJSON()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(dump(JSONFormatter::validateNDJSON(u16(text))), expected);
}

void JsonValidationTest::parseError_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");
    QTest::newRow("lineColumnPhrase_removedAndParsed")
        << "Bad thing around line 3, column 14." << "" << "invalid: Bad thing @ Line 3, Col 14";
    QTest::newRow("lineColumnPhraseWithoutStop_removedAndParsed")
        << "Bad thing around line 3, column 14" << "" << "invalid: Bad thing @ Line 3, Col 14";
    QTest::newRow("characterPhrase_positionFromSourceBytes")
        << "Bad thing around character 4." << "ab\ncd" << "invalid: Bad thing @ Line 2, Col 2";
    QTest::newRow("bothPhrases_lineColumnWins")
        << "Bad around line 2, column 5. Also around character 0." << "abc"
        << "invalid: Bad Also @ Line 2, Col 5";
    QTest::newRow("noPhrase_noPosition") << "Something odd" << "abc" << "invalid: Something odd @ Error";
    QTest::newRow("lineTooBigForInt64_lineAbsentColumnKept")
        << "X around line 99999999999999999999, column 2." << "" << "invalid: X @ Error";
    QTest::newRow("characterPhraseInMiddle_messageKeepsRest")
        << "Bad around character 1 in value" << "xy" << "invalid: Bad in value @ Line 1, Col 2";
    QTest::newRow("surroundingSpace_trimmed") << "  Spaced out \n" << "" << "invalid: Spaced out @ Error";
}

void JsonValidationTest::parseError()
{
    QFETCH(QString, description);
    QFETCH(QString, source);
    QFETCH(QString, expected);
    const ValidationError error = Formatting::parseError(description.toStdString(), u16(source));
    QCOMPARE(dump(Validation::invalid(error)), expected);
    if (description.contains("99999999999999999999")) {
        // The column is still taken: each number stands on its own.
        QCOMPARE(error.column, std::optional<std::int64_t>(2));
        QCOMPARE(error.line, std::optional<std::int64_t>());
    }
}

void JsonValidationTest::positionFromCharIndex_data()
{
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QString>("source");
    QTest::addColumn<qint64>("line");
    QTest::addColumn<qint64>("column");
    QTest::newRow("emptySource_is1_1") << qint64(5) << "" << qint64(1) << qint64(1);
    QTest::newRow("offset0_is1_1") << qint64(0) << "abc" << qint64(1) << qint64(1);
    QTest::newRow("negativeOffset_is1_1") << qint64(-3) << "abc" << qint64(1) << qint64(1);
    QTest::newRow("afterLineFeed_isLine2Col2") << qint64(4) << "ab\ncd" << qint64(2) << qint64(2);
    QTest::newRow("pastEnd_isJustAfterLastByte") << qint64(100) << "ab\ncd" << qint64(2) << qint64(3);
    QTest::newRow("twoByteFirstCharacter_countsBytes") << qint64(2) << "\u00E9x" << qint64(1) << qint64(3);
    QTest::newRow("insideMultiByteCharacter_countsTakenBytes") << qint64(1) << "\u00E9x" << qint64(1) << qint64(2);
    QTest::newRow("fourByteCharacter_countsFourColumns") << qint64(5) << "\U0001F600x" << qint64(1) << qint64(6);
    QTest::newRow("carriageReturn_countsAsColumn") << qint64(3) << "a\r\nb" << qint64(2) << qint64(1);
}

void JsonValidationTest::positionFromCharIndex()
{
    QFETCH(qint64, offset);
    QFETCH(QString, source);
    QFETCH(qint64, line);
    QFETCH(qint64, column);
    const auto position = Formatting::positionFromCharIndex(offset, u16(source));
    QCOMPARE(position.line, std::optional<std::int64_t>(line));
    QCOMPARE(position.column, std::optional<std::int64_t>(column));
}

void JsonValidationTest::hostileInput_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const int depth = 1'000'000;
    QTest::newRow("millionNestedArrays_isValid") << QString(depth, '[') + QString(depth, ']') << "valid";
    QTest::newRow("millionUnclosedArrays_isInvalidAtEnd")
        << QString(depth, '[')
        << QStringLiteral("invalid: Unexpected end of text where a value was expected @ Line 1, Col %1").arg(depth + 1);
    QTest::newRow("millionNestedObjects_isValid")
        << QString("{\"a\":").repeated(depth) + "1" + QString(depth, '}') << "valid";
    // A 50 MB document on one line.
    QString big;
    big.reserve(50'000'010);
    big += '[';
    const QString item = QStringLiteral("{\"k\":\"value\",\"n\":12345.5},");
    while (big.size() < 50'000'000)
        big += item;
    big += "0]";
    QTest::newRow("fiftyMegabytesOnOneLine_isValid") << big << "valid";
    big.chop(2);
    big += "0";
    QTest::newRow("fiftyMegabytesUnclosed_isInvalidAtEnd")
        << big << QStringLiteral("invalid: Unexpected end of text in an unclosed array @ Line 1, Col %1").arg(big.size() + 1);
}

void JsonValidationTest::hostileInput()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const std::u16string source = u16(text);
    QCOMPARE(dump(JSONFormatter::validate(source)), expected);
    // One line holding the same document gives the same verdict as NDJSON.
    QCOMPARE(dump(JSONFormatter::validateNDJSON(source)), expected);
}

void JsonValidationTest::faultBeyondGraphemeLimit_countsCodeUnits()
{
    // Beyond 4096 code units into a line the caret counts code units, and so does the fault.
    QString text = "[\"" + QString::fromUtf16(u"\U0001F600").repeated(3000) + "\" x]";
    const int faultIndex = int(text.indexOf('x'));
    QCOMPARE(dump(JSONFormatter::validate(u16(text))),
             QStringLiteral("invalid: Expected ',' or ']' after the array element @ Line 1, Col %1").arg(faultIndex + 1));
}

void JsonValidationTest::concurrentChecks_agree()
{
    // Checks run on background threads, several at once, sharing the compiled patterns and
    // each with its own scratch buffer.
    const QStringList documents = {readFixture("json/pass_document.json"), readFixture("json/fail_missingBracket.json"),
                                   "{\"a\":1}\n\n{\"b\":", QString(20'000, '[') + QString(20'000, ']')};
    std::vector<QString> expected;
    for (const QString &document : documents)
        expected.push_back(dump(JSONFormatter::validate(u16(document))) + " | "
                           + dump(JSONFormatter::validateNDJSON(u16(document))));
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 100; ++round) {
                const std::size_t which = std::size_t(t + round) % std::size_t(documents.size());
                const std::u16string text = u16(documents[qsizetype(which)]);
                const QString result =
                    dump(JSONFormatter::validate(text)) + " | " + dump(JSONFormatter::validateNDJSON(text));
                if (result != expected[which])
                    ++mismatches;
            }
        });
    for (auto &thread : threads)
        thread.join();
    QCOMPARE(mismatches.load(), 0);
}

QTEST_GUILESS_MAIN(JsonValidationTest)
#include "tst_jsonvalidation.moc"
