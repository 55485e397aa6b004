// JSONPath at a caret: tokens, the caret between them, broken text, NDJSON records, snapshots.

#include "testsupport.h"

#include "formatting/jsonpath.h"

#include <QTest>

#include <atomic>
#include <optional>
#include <string>

using namespace TestSupport;

namespace {

// Rows mark the caret with U+2038 (‸); the text is the row without it.
constexpr char16_t caretMark = 0x2038;

struct Marked {
    std::u16string text;
    std::size_t offset = 0;
};

Marked unmark(const QString &row)
{
    Marked marked;
    marked.text = u16(row);
    const std::size_t at = marked.text.find(caretMark);
    if (at != std::u16string::npos) {
        marked.offset = at;
        marked.text.erase(at, 1);
    }
    return marked;
}

QString shown(const std::optional<std::string> &path)
{
    return path ? QString::fromStdString(*path) : QStringLiteral("<none>");
}

// Serves copies like the text view's storage and can be revoked after a number of copies.
class CountingSnapshot final : public Base::TextSnapshot {
public:
    explicit CountingSnapshot(std::u16string_view text, long copiesBeforeRevoke = -1)
        : m_text(text), m_left(copiesBeforeRevoke)
    {
    }
    std::size_t length() const override { return m_text.size(); }
    bool copy(std::size_t position, std::size_t count, char16_t *out) const override
    {
        if (isRevoked())
            return false;
        if (m_left > 0)
            --m_left;
        m_text.copy(out, count, position);
        ++m_copies;
        return true;
    }
    bool isRevoked() const override { return m_left == 0; }
    long copies() const { return m_copies; }

private:
    std::u16string_view m_text;
    mutable std::atomic<long> m_left;
    mutable std::atomic<long> m_copies{0};
};

} // namespace

class JsonPathTest : public QObject {
    Q_OBJECT

private slots:
    void jsonPath_data();
    void jsonPath();
    void jsonPathAfterLongPrefix_data() { jsonPath_data(); }
    void jsonPathAfterLongPrefix();
    void ndjsonPath_data();
    void ndjsonPath();

    void everyOffset_snapshotAgreesWithView();
    void acrossPieceBoundaries_snapshotAgreesWithView();
    void revokedSnapshot_givesNothing();
    void longKeyAfterCaret_readThroughLookahead();
    void keyBeyondLookahead_givesContainer();
    void nestingBeyondDepthLimit_givesNothing();
    void offsetPastEnd_countsAsEnd();

    void caretOffset_data();
    void caretOffset();
    void caretOffset_longLineCountsUnits();

    void valueOffset_data();
    void valueOffset();
};

void JsonPathTest::jsonPath_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("expected");

    // The top level.
    QTest::newRow("emptyText_none") << QString::fromUtf16(u"‸") << "<none>";
    QTest::newRow("onlyWhiteSpace_none") << QString::fromUtf16(u"  \n‸ \t\n") << "<none>";
    QTest::newRow("veryStart_root") << QString::fromUtf16(u"‸{\"a\": 1}") << "$";
    QTest::newRow("veryEnd_root") << QString::fromUtf16(u"{\"a\": 1}‸") << "$";
    QTest::newRow("leadingSpace_root") << QString::fromUtf16(u"  ‸ [1]") << "$";
    QTest::newRow("trailingSpace_root") << QString::fromUtf16(u"[1]\n‸\n") << "$";
    QTest::newRow("topLevelNumber_root") << QString::fromUtf16(u"12‸3") << "$";
    QTest::newRow("topLevelString_root") << QString::fromUtf16(u"\"a‸b\"") << "$";
    QTest::newRow("keyEndingInBackslash_endsAtTheLine")
        << QString::fromUtf16(u"{\"a‸b\\\n\"c\": 1}") << "$['ab\\\\']";

    // Objects.
    QTest::newRow("afterColon_value") << QString::fromUtf16(u"{\"a\":‸1}") << "$.a";
    QTest::newRow("afterColonAndSpace_value") << QString::fromUtf16(u"{\"a\": ‸1}") << "$.a";
    QTest::newRow("insideKey_key") << QString::fromUtf16(u"{\"na‸me\": 1}") << "$.name";
    QTest::newRow("afterKeyOpeningQuote_key") << QString::fromUtf16(u"{\"‸name\": 1}") << "$.name";
    QTest::newRow("afterKeyClosingQuote_key") << QString::fromUtf16(u"{\"name\"‸: 1}") << "$.name";
    QTest::newRow("beforeKeyAfterSpace_key") << QString::fromUtf16(u"{ ‸\"name\": 1}") << "$.name";
    QTest::newRow("justAfterBrace_object") << QString::fromUtf16(u"{‸\"name\": 1}") << "$";
    QTest::newRow("insideValueString_value") << QString::fromUtf16(u"{\"a\": \"x‸y\"}") << "$.a";
    QTest::newRow("afterValue_value") << QString::fromUtf16(u"{\"a\": 1‸ , \"b\": 2}") << "$.a";
    QTest::newRow("afterValueAndSpace_value") << QString::fromUtf16(u"{\"a\": 1 ‸, \"b\": 2}") << "$.a";
    QTest::newRow("afterComma_nextMember") << QString::fromUtf16(u"{\"a\": 1,‸ \"b\": 2}") << "$.b";
    QTest::newRow("afterCommaNewLine_nextMember") << QString::fromUtf16(u"{\"a\": 1,\n‸  \"b\": 2}") << "$.b";
    QTest::newRow("beforeClosingBrace_lastValue") << QString::fromUtf16(u"{\"a\": 1‸}") << "$.a";
    QTest::newRow("emptyObject_object") << QString::fromUtf16(u"{\"o\": { ‸ }}") << "$.o";
    QTest::newRow("beforeNestedObject_member") << QString::fromUtf16(u"{\"a\": ‸{\"b\": 1}}") << "$.a";
    QTest::newRow("afterNestedObject_member") << QString::fromUtf16(u"{\"a\": {\"b\": 1}‸}") << "$.a";
    QTest::newRow("insideNestedObject_inner") << QString::fromUtf16(u"{\"a\": {\"b\": ‸1}}") << "$.a.b";

    // Arrays.
    QTest::newRow("emptyArray_array") << QString::fromUtf16(u"[‸]") << "$";
    QTest::newRow("emptyArraySpaces_array") << QString::fromUtf16(u"[  ‸ ]") << "$";
    QTest::newRow("firstElement_0") << QString::fromUtf16(u"[ ‸1, 2]") << "$[0]";
    QTest::newRow("afterFirstElement_0") << QString::fromUtf16(u"[1‸, 2]") << "$[0]";
    QTest::newRow("afterComma_nextIndex") << QString::fromUtf16(u"[1,‸ 2]") << "$[1]";
    QTest::newRow("beforeSecondElement_1") << QString::fromUtf16(u"[1, ‸2]") << "$[1]";
    QTest::newRow("trailingComma_nextIndex") << QString::fromUtf16(u"[1,‸]") << "$[1]";
    QTest::newRow("beforeNestedArray_element") << QString::fromUtf16(u"[1, ‸[2]]") << "$[1]";
    QTest::newRow("justInsideNestedArray_element") << QString::fromUtf16(u"[1, [‸2]]") << "$[1]";
    QTest::newRow("inNestedArray_inner") << QString::fromUtf16(u"[1, [ ‸2]]") << "$[1][0]";
    QTest::newRow("afterNestedArray_element") << QString::fromUtf16(u"[1, [2]‸]") << "$[1]";
    QTest::newRow("deepArrays_everyIndex") << QString::fromUtf16(u"[[1, [2, ‸3]], 4]") << "$[0][1][1]";
    QTest::newRow("arrayOfObjects") << QString::fromUtf16(u"{\"items\": [{\"name\": \"x\"}, {\"id\": 2, \"name\": \"‸y\"}]}")
                                    << "$.items[1].name";
    QTest::newRow("elementsAfterClosedSiblings")
        << QString::fromUtf16(u"[{\"a\": [1, {}]}, [[]], {\"b\": {\"c\": [0, 0, ‸0]}}]") << "$[2].b.c[2]";

    // Strings that hold quotes, backslashes and brackets.
    QTest::newRow("escapedQuoteAndBrackets_skipped")
        << QString::fromUtf16(u"{\"a\": \"x\\\"]}[{,:\", \"b\": ‸1}") << "$.b";
    QTest::newRow("escapedBackslashBeforeQuote_stringEnds") << QString::fromUtf16(u"{\"a\": \"\\\\\", \"b\": ‸1}") << "$.b";
    QTest::newRow("onlyEscapedQuote_element") << QString::fromUtf16(u"[\"\\\"\", ‸2]") << "$[1]";
    QTest::newRow("bracketsInKey_quoted") << QString::fromUtf16(u"{\"q\\\"]\": ‸3}") << "$['q\"]']";
    QTest::newRow("caretAfterBackslashInKey_wholeKey") << QString::fromUtf16(u"{\"a\\‸\"b\": 1}") << "$['a\"b']";

    // Key spelling.
    QTest::newRow("keyWithSpace_quoted") << QString::fromUtf16(u"{\"a b\": ‸1}") << "$['a b']";
    QTest::newRow("keyWithApostrophe_escaped") << QString::fromUtf16(u"{\"it's\": ‸1}") << "$['it\\'s']";
    QTest::newRow("keyWithBackslash_escaped") << QString::fromUtf16(u"{\"a\\\\b\": ‸1}") << "$['a\\\\b']";
    QTest::newRow("keyWithDot_quoted") << QString::fromUtf16(u"{\"a.b\": ‸1}") << "$['a.b']";
    QTest::newRow("emptyKey_quoted") << QString::fromUtf16(u"{\"\": ‸1}") << "$['']";
    QTest::newRow("keyStartingWithDigit_quoted") << QString::fromUtf16(u"{\"1a\": ‸1}") << "$['1a']";
    QTest::newRow("keyWithTabEscape_quotedAsEscape") << QString::fromUtf16(u"{\"t\\t\": ‸1}") << "$['t\\t']";
    QTest::newRow("keyWithDollar_quoted") << QString::fromUtf16(u"{\"$ref\": ‸1}") << "$['$ref']";
    QTest::newRow("underscoreAndDigits_plain") << QString::fromUtf16(u"{\"_a1\": ‸1}") << "$._a1";
    QTest::newRow("nonAsciiLetters_plain") << QString::fromUtf16(u"{\"café\": ‸1}") << "$.café";
    QTest::newRow("unicodeEscape_decoded") << QString::fromUtf16(u"{\"caf\\u00e9\": ‸1}") << "$.café";
    QTest::newRow("noBreakSpace_quoted") << QString::fromUtf16(u"{\"a\u00a0b\": ‸1}") << QString::fromUtf16(u"$['a\u00a0b']");
    QTest::newRow("emojiKey_plain") << QString::fromUtf16(u"{\"\U0001F600\": ‸1}") << QString::fromUtf16(u"$.\U0001F600");

    // Invalid JSON up to the caret.
    QTest::newRow("unfinishedArray_nextIndex") << QString::fromUtf16(u"{\"a\": [1, 2, ‸") << "$.a[2]";
    QTest::newRow("unfinishedObject_value") << QString::fromUtf16(u"{\"a\": {\"b\": ‸") << "$.a.b";
    QTest::newRow("unfinishedKey_keySoFar") << QString::fromUtf16(u"{\"a\": {\"bc‸") << "$.a.bc";
    QTest::newRow("missingComma_nextKeyStillSeen") << QString::fromUtf16(u"{\"a\": 1 \"b\": ‸2}") << "$.b";
    QTest::newRow("missingColon_keyKept") << QString::fromUtf16(u"{\"a\" ‸1}") << "$.a";
    QTest::newRow("mismatchedCloser_stillCloses") << QString::fromUtf16(u"{\"a\": [1, 2}, \"b\": ‸3}") << "$.b";
    QTest::newRow("strayClosers_ignored") << QString::fromUtf16(u"]]}{\"a\": ‸1}") << "$.a";
    QTest::newRow("unterminatedStringEndsAtLine")
        << QString::fromUtf16(u"{\"a\": \"oops,\n \"b\": ‸1}") << "$.b";
    QTest::newRow("unquotedKey_object") << QString::fromUtf16(u"{a: ‸1}") << "$";
    QTest::newRow("doubleComma_countsElement") << QString::fromUtf16(u"[1,, ‸3]") << "$[2]";
    QTest::newRow("garbageAfterValue_root") << QString::fromUtf16(u"{} x ‸y") << "$";
}

void JsonPathTest::jsonPath()
{
    QFETCH(QString, row);
    QFETCH(QString, expected);
    const Marked marked = unmark(row);
    QCOMPARE(shown(Formatting::jsonPathAt(marked.text, marked.offset)), expected);
    const Base::FixedTextSnapshot snapshot(marked.text);
    QCOMPARE(shown(Formatting::jsonPathAt(snapshot, marked.offset)), expected);
}

void JsonPathTest::jsonPathAfterLongPrefix()
{
    // Each row as an element of a long array, after elements that hold keys, escapes and
    // brackets inside strings, starting at every position within a 64-unit block: the fast
    // block pass reads the prefix and hands over to the unit-by-unit scan.
    QFETCH(QString, row);
    QFETCH(QString, expected);
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    // Rows whose meaning depends on being the whole document: nothing, stray closers, or
    // keys that only the unit-by-unit scan can tell apart from junk.
    if (!expected.startsWith(u'$') || tag == u"strayClosers_ignored" || tag == u"unquotedKey_object")
        QSKIP("the row only makes sense as a whole document");
    const Marked marked = unmark(row);
    const std::u16string element = u"{\"k\\\"[\": [\"x]\\\\\", {\"y\": [1, {}], \"z:\": \"\\u0022,\"}]}, ";
    for (std::size_t pad = 0; pad < 64; ++pad) {
        std::u16string text = u"[";
        // No line breaks: a string misread in the prefix must show, not be caught by the
        // fallback that a raw LF inside a string triggers. An odd count, so that no two
        // misreadings cancel out.
        for (int i = 0; i < 21; ++i)
            text += element;
        text += u'"';
        text.append(pad, u'.');
        text += u"\", ";
        const std::size_t start = text.size();
        text += marked.text;
        const QString wanted = QStringLiteral("$[22]") + expected.mid(1);
        QCOMPARE(shown(Formatting::jsonPathAt(text, start + marked.offset)), wanted);
        const Base::FixedTextSnapshot snapshot(text);
        QCOMPARE(shown(Formatting::jsonPathAt(snapshot, start + marked.offset)), wanted);
    }
}

void JsonPathTest::ndjsonPath_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("expected");
    QTest::newRow("firstRecordStart") << QString::fromUtf16(u"‸{\"a\": 1}\n{}") << "$[0]";
    QTest::newRow("blankLinesCounted") << QString::fromUtf16(u"{\"a\":1}\n\n{\"b\":[1,{\"c\":‸2}]}\n") << "$[2].b[1].c";
    QTest::newRow("blankLine_none") << QString::fromUtf16(u"{\"a\":1}\n  ‸  \n{}") << "<none>";
    QTest::newRow("emptyLastLine_none") << QString::fromUtf16(u"{\"a\":1}\n‸") << "<none>";
    QTest::newRow("caretAtLineEnd_thatRecord") << QString::fromUtf16(u"{\"a\":1}‸\n{}") << "$[0]";
    QTest::newRow("crlfLines") << QString::fromUtf16(u"{\"a\":1}\r\n{\"b\": ‸2}\r\n") << "$[1].b";
    QTest::newRow("beforeCarriageReturn") << QString::fromUtf16(u"{\"a\":1}\r\n[1, 2‸]\r\n") << "$[1][1]";
    QTest::newRow("invalidRecord_bestSoFar") << QString::fromUtf16(u"{}\n{\"a\": [‸") << "$[1].a";
    QTest::newRow("brokenStringDoesNotLeak") << QString::fromUtf16(u"{\"a\": \"x\n{\"b\": ‸1}") << "$[1].b";
    // A key broken off by a backslash at the line's end ends there, read whole or from a snapshot.
    QTest::newRow("keyEndingInBackslash") << QString::fromUtf16(u"{\"a‸b\\\n\"c\": 1}") << "$[0]['ab\\\\']";
    QTest::newRow("unclosedRecordDoesNotLeak") << QString::fromUtf16(u"{\"a\": [\n{\"b\": ‸1}") << "$[1].b";
    QTest::newRow("nextLineKeyNotRead") << QString::fromUtf16(u"{ ‸\n\"b\": 1}") << "$[0]";
    QTest::newRow("indentedRecord") << QString::fromUtf16(u"\n\n    {\"k\": ‸true}") << "$[2].k";
    QTest::newRow("quotedKeyInRecord") << QString::fromUtf16(u"{\"a b\": ‸1}") << "$[0]['a b']";
}

void JsonPathTest::ndjsonPath()
{
    QFETCH(QString, row);
    QFETCH(QString, expected);
    const Marked marked = unmark(row);
    QCOMPARE(shown(Formatting::ndjsonPathAt(marked.text, marked.offset)), expected);
    const Base::FixedTextSnapshot snapshot(marked.text);
    QCOMPARE(shown(Formatting::ndjsonPathAt(snapshot, marked.offset)), expected);
}

void JsonPathTest::everyOffset_snapshotAgreesWithView()
{
    const std::u16string text = u"{\"items\": [{\"name\": \"a \\\"b\\\" [c]\", \"it's\": [1, 2.5e3, true]},\n"
                                u"  {}, [], {\"x\": {\"y\": null}}], \"caf\\u00e9\": \"\\\\\"}\n";
    const Base::FixedTextSnapshot snapshot(text);
    for (std::size_t offset = 0; offset <= text.size(); ++offset) {
        QCOMPARE(shown(Formatting::jsonPathAt(snapshot, offset)), shown(Formatting::jsonPathAt(text, offset)));
        QCOMPARE(shown(Formatting::ndjsonPathAt(snapshot, offset)), shown(Formatting::ndjsonPathAt(text, offset)));
    }
}

void JsonPathTest::acrossPieceBoundaries_snapshotAgreesWithView()
{
    // Records of uneven length put strings, escapes, keys and brackets across every place where
    // the snapshot reader's pieces meet.
    std::u16string text = u"[";
    for (int i = 0; text.size() < 80'000; ++i) {
        if (i)
            text += i % 3 ? u",\n" : u",";
        text += u"{\"k" + std::u16string(std::size_t(i % 7), u'x') + u"\\\"\": [\"" + std::u16string(std::size_t(i % 13), u'[')
                + u"\\\\\", {\"deep key\": " + std::u16string(std::size_t(i % 5), u' ') + u"1}]}";
    }
    text += u"]";
    const CountingSnapshot snapshot(text);
    int compared = 0;
    for (std::size_t boundary : {std::size_t(16384), std::size_t(32768), std::size_t(49152), std::size_t(65536)}) {
        for (std::size_t offset = boundary - 40; offset <= boundary + 40; ++offset) {
            const auto viewPath = Formatting::jsonPathAt(text, offset);
            QVERIFY(viewPath.has_value());
            QCOMPARE(shown(Formatting::jsonPathAt(snapshot, offset)), shown(viewPath));
            QCOMPARE(shown(Formatting::ndjsonPathAt(snapshot, offset)), shown(Formatting::ndjsonPathAt(text, offset)));
            ++compared;
        }
    }
    QCOMPARE(compared, 4 * 81);
    for (std::size_t offset = 3; offset < text.size(); offset += 997)
        QCOMPARE(shown(Formatting::jsonPathAt(snapshot, offset)), shown(Formatting::jsonPathAt(text, offset)));
    // A path deep into the text names something real.
    QVERIFY(Formatting::jsonPathAt(text, text.size() - 3)->starts_with("$["));
}

void JsonPathTest::revokedSnapshot_givesNothing()
{
    std::u16string text = u"{\"a\": [";
    while (text.size() < 100'000)
        text += u"{\"b\": 1}, ";
    text += u"2]}";
    const std::size_t offset = text.size() - 3;
    QVERIFY(Formatting::jsonPathAt(text, offset).has_value());
    // Revoked before the first copy, and in the middle of the scan.
    for (long copies : {0L, 1L, 3L}) {
        const CountingSnapshot snapshot(text, copies);
        QVERIFY(!Formatting::jsonPathAt(snapshot, offset).has_value());
        QVERIFY(snapshot.isRevoked());
        const CountingSnapshot again(text, copies);
        QVERIFY(!Formatting::ndjsonPathAt(again, offset).has_value());
    }
    // Enough copies for the scan: the path, then later revocations do not matter.
    const CountingSnapshot whole(text);
    QCOMPARE(shown(Formatting::jsonPathAt(whole, offset)), QStringLiteral("$.a[10000]"));
}

void JsonPathTest::longKeyAfterCaret_readThroughLookahead()
{
    const std::u16string key(3000, u'k'); // Longer than the look-ahead's buffer.
    const std::u16string text = u"{\"a\": 1, \"" + key + u"\": 2}";
    const std::size_t comma = text.find(u',');
    const std::string expected = "$." + std::string(3000, 'k');
    QCOMPARE(shown(Formatting::jsonPathAt(text, comma + 1)), QString::fromStdString(expected));
    QCOMPARE(shown(Formatting::jsonPathAt(text, comma + 5)), QString::fromStdString(expected)); // Inside the key.
    const Base::FixedTextSnapshot snapshot(text);
    QCOMPARE(shown(Formatting::jsonPathAt(snapshot, comma + 5)), QString::fromStdString(expected));
}

void JsonPathTest::keyBeyondLookahead_givesContainer()
{
    const std::u16string text = u"{\"a\": {\"" + std::u16string(Formatting::lookaheadLimit + 10, u'k') + u"\": 2}}";
    QCOMPARE(shown(Formatting::jsonPathAt(text, 9)), QStringLiteral("$.a"));
}

void JsonPathTest::nestingBeyondDepthLimit_givesNothing()
{
    const std::size_t depth = Formatting::maximumPathDepth;
    std::u16string deep(depth, u'[');
    // At the limit the path has one index per level.
    const auto atLimit = Formatting::jsonPathAt(deep + u" 1", depth + 1);
    QVERIFY(atLimit.has_value());
    QCOMPARE(atLimit->size(), std::size_t(1 + 3 * depth));
    std::u16string deeper = deep + u"[[ 1";
    QVERIFY(!Formatting::jsonPathAt(deeper, deeper.size()).has_value());
    // Closing the extra levels again gives paths back.
    deeper += u"]], 2";
    const auto back = Formatting::jsonPathAt(deeper, deeper.size());
    QVERIFY(back.has_value());
    QVERIFY(back->ends_with("[0][1]"));
}

void JsonPathTest::offsetPastEnd_countsAsEnd()
{
    const std::u16string text = u"[1, {\"a\": 2";
    QCOMPARE(shown(Formatting::jsonPathAt(text, 1000)), shown(Formatting::jsonPathAt(text, text.size())));
    QCOMPARE(shown(Formatting::jsonPathAt(text, 1000)), QStringLiteral("$[1].a"));
    QCOMPARE(shown(Formatting::ndjsonPathAt(text, 1000)), QStringLiteral("$[0][1].a"));
}

void JsonPathTest::caretOffset_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("line");
    QTest::addColumn<qint64>("column");
    QTest::addColumn<qint64>("expected"); // -1: none
    QTest::newRow("emptyText_origin") << "" << qint64(1) << qint64(1) << qint64(0);
    QTest::newRow("emptyText_noSecondLine") << "" << qint64(2) << qint64(1) << qint64(-1);
    QTest::newRow("firstLine") << "ab\ncd" << qint64(1) << qint64(2) << qint64(1);
    QTest::newRow("secondLine") << "ab\ncd" << qint64(2) << qint64(2) << qint64(4);
    QTest::newRow("lineEnd") << "ab\ncd" << qint64(1) << qint64(3) << qint64(2);
    QTest::newRow("pastLineEnd_clamped") << "ab\ncd" << qint64(1) << qint64(40) << qint64(2);
    QTest::newRow("emptyLastLine") << "ab\n" << qint64(2) << qint64(1) << qint64(3);
    QTest::newRow("noSuchLine") << "ab\n" << qint64(3) << qint64(1) << qint64(-1);
    QTest::newRow("lineZero_none") << "ab" << qint64(0) << qint64(1) << qint64(-1);
    QTest::newRow("columnZero_none") << "ab" << qint64(1) << qint64(0) << qint64(-1);
    QTest::newRow("combiningMark_oneColumn") << QString::fromUtf16(u"e\u0301x") << qint64(1) << qint64(2) << qint64(2);
    QTest::newRow("surrogatePair_oneColumn") << QString::fromUtf16(u"\U0001F600x") << qint64(1) << qint64(3) << qint64(3);
    QTest::newRow("crlf_oneColumn") << "a\r\nb" << qint64(2) << qint64(1) << qint64(3);
}

void JsonPathTest::caretOffset()
{
    QFETCH(QString, text);
    QFETCH(qint64, line);
    QFETCH(qint64, column);
    QFETCH(qint64, expected);
    const auto offset = Formatting::caretOffset(u16(text), line, column);
    QCOMPARE(offset ? qint64(*offset) : qint64(-1), expected);
}

void JsonPathTest::caretOffset_longLineCountsUnits()
{
    // Beyond the grapheme limit the status bar counts code units; the mapping agrees.
    std::u16string text = u"x\n";
    for (int i = 0; i < 3000; ++i)
        text += u"e\u0301";
    QCOMPARE(Formatting::caretOffset(text, 2, 5001), std::optional<std::size_t>(2 + 5000));
    QCOMPARE(Formatting::caretOffset(text, 2, 101), std::optional<std::size_t>(2 + 200));
}

void JsonPathTest::valueOffset_data()
{
    // Steps are "#n" for an array element, anything else a key; the caret marks the value's
    // start, no caret means the path leads nowhere.
    QTest::addColumn<QString>("row");
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("the top-level value") << "  ‸{\"a\": 1}" << QStringList{};
    QTest::newRow("a member") << "{\"a\": 1, \"b\":  ‸[2]}" << QStringList{"b"};
    QTest::newRow("nested arrays and objects")
        << "{\"items\": [0, {\"x\": []}, {\"name\": ‸\"n\"}]}" << QStringList{"items", "#2", "name"};
    QTest::newRow("keys and brackets inside strings are skipped")
        << "{\"s\": \"\\\"name\\\": [{\", \"name\": ‸true}" << QStringList{"name"};
    QTest::newRow("an escaped key matches its decoded text") << "{\"caf\\u00e9\": ‸0}" << QStringList{"café"};
    QTest::newRow("the last duplicate, as the tree shows")
        << "{\"k\": 1, \"k\": ‸2}" << QStringList{"k"};
    QTest::newRow("an element past the end") << "[1, 2]" << QStringList{"#2"};
    QTest::newRow("a key on an array") << "[1, 2]" << QStringList{"a"};
    QTest::newRow("a missing key") << "{\"a\": 1}" << QStringList{"b"};
    QTest::newRow("broken text after the value still finds it") << "[‸{\"a\" 1, " << QStringList{"#0"};
    QTest::newRow("an unterminated string before it") << "[\"abc, 2]" << QStringList{"#1"};
    QTest::newRow("a trailing backslash") << "{\"a\\" << QStringList{"a"};
    QTest::newRow("blank text") << "  \n" << QStringList{};
}

void JsonPathTest::valueOffset()
{
    QFETCH(QString, row);
    QFETCH(QStringList, steps);
    const Marked marked = unmark(row);
    std::vector<Formatting::JSONPathStep> path;
    for (const QString &step : steps) {
        if (step.startsWith('#'))
            path.push_back({std::nullopt, step.mid(1).toULongLong()});
        else
            path.push_back({u16(step), 0});
    }
    const bool expectFound = row.contains(QChar(caretMark));
    const auto offset = Formatting::jsonValueOffset(marked.text, path);
    QCOMPARE(offset.has_value(), expectFound);
    if (expectFound)
        QCOMPARE(*offset, marked.offset);
}

QTEST_APPLESS_MAIN(JsonPathTest)
#include "tst_jsonpath.moc"
