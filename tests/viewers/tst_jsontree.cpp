// The JSON tree: building, summaries, paths, key order, truncation and the visible rows.
#include "viewers/jsontree.h"

#include <QtTest>

using Viewers::JSONNode;
using Viewers::JSONNodeKind;
using Viewers::JSONTreeBuilder;

namespace {

std::u16string u16(const QString &text) { return text.toStdU16String(); }
QString q(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

// "depth id kind summary" per visible row, one line each.
QString dump(const Viewers::JSONRowList &rows)
{
    QStringList lines;
    for (const auto &row : rows) {
        lines << QString("%1 %2 %3 %4")
                     .arg(row.depth)
                     .arg(q(row.id()), QString::fromLatin1(Viewers::kindName(row.node.kind())), q(row.node.summary()));
    }
    return lines.join('\n');
}

JSONNode buildRoot(const QString &text)
{
    const auto result = JSONTreeBuilder::build(u16(text));
    return result.root();
}

QString readFixture(const QString &name)
{
    QFile file(QStringLiteral(CORVANE_FIXTURES "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

class TestJSONTree : public QObject {
    Q_OBJECT

private slots:
    void pathStepsLeadBackToTheValue_data();
    void pathStepsLeadBackToTheValue();
    void invalidResults_data();
    void invalidResults();
    void rootSummary_data();
    void rootSummary();
    void jsonEscape_data();
    void jsonEscape();
    void keysSortByCodePoint();
    void duplicateKeysKeepLast();
    void canonicallyEquivalentKeysCompareEqual();
    void keysAndPaths();
    void collidingPaths();
    void defaultExpansion();
    void toggleRootHidesAndRestores();
    void expandAllShowsEveryNode();
    void truncatesAtDepth256();
    void millionNestedArraysDoNotCrash();
    void keptAliveByNodes();
    void expandedSetInsertEraseContains();
    void nonAsciiKeysMatchTheirIds();
    void fixtureFile();
};

void TestJSONTree::expandedSetInsertEraseContains()
{
    // Many ids force several growths and long probe runs; erasing every third one must leave
    // all the others findable.
    Viewers::ExpandedSet set;
    std::vector<std::u16string> ids;
    for (int i = 0; i < 5000; ++i)
        ids.push_back(u"$[" + QString::number(i).toStdU16String() + u"].x");
    for (const auto &id : ids)
        set.insert(id);
    set.insert(ids[7]); // A second insert changes nothing.
    QCOMPARE(set.size(), ids.size());
    for (std::size_t i = 0; i < ids.size(); i += 3)
        QVERIFY(set.erase(ids[i]));
    QVERIFY(!set.erase(ids[0]));
    for (std::size_t i = 0; i < ids.size(); ++i)
        QCOMPARE(set.contains(ids[i]), i % 3 != 0);
    QVERIFY(!set.contains(u"$[5000].x"));
    set.toggle(ids[0]);
    QVERIFY(set.contains(ids[0]));
    QVERIFY((Viewers::ExpandedSet{u"$", u"$.a"}) == (Viewers::ExpandedSet{u"$.a", u"$"}));
    QVERIFY(!((Viewers::ExpandedSet{u"$"}) == (Viewers::ExpandedSet{u"$.a"})));
}

void TestJSONTree::nonAsciiKeysMatchTheirIds()
{
    const JSONNode root = buildRoot(QString::fromUtf8("{\"\xC3\xA9t\xC3\xA9\":{\"\xF0\x9F\x98\x80\":[1]}}"));
    const QString outer = QString::fromUtf8("$.\xC3\xA9t\xC3\xA9");
    const QString inner = outer + QString::fromUtf8(".\xF0\x9F\x98\x80");
    Viewers::ExpandedSet expanded{u"$", outer.toStdU16String(), inner.toStdU16String()};
    QCOMPARE(dump(Viewers::visibleRows(root, expanded)),
             QString("0 $ object {1}\n1 %1 object {1}\n2 %2 array [1]\n3 %2[0] number 1").arg(outer, inner));
}

void TestJSONTree::pathStepsLeadBackToTheValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("childPath"); // child indices from the root
    QTest::addColumn<QString>("value");        // the text at the offset the steps lead to
    QTest::newRow("root") << "[1]" << QList<int>{} << "[1]";
    QTest::newRow("member") << "{\"a\": {\"b\": 7}}" << QList<int>{0, 0} << "7}}";
    QTest::newRow("element past nine") << "[0,1,2,3,4,5,6,7,8,9,10,11]" << QList<int>{11} << "11]";
    QTest::newRow("element of a member") << "{\"k\": [true, \"x\"]}" << QList<int>{0, 1} << "\"x\"]}";
    QTest::newRow("key with a dot") << "{\"a.b\": 1}" << QList<int>{0} << "1}";
}

void TestJSONTree::pathStepsLeadBackToTheValue()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, childPath);
    QFETCH(QString, value);
    const auto result = JSONTreeBuilder::build(u16(text));
    JSONNode node = result.root();
    for (int index : childPath)
        node = node.child(std::size_t(index));
    const auto steps = Viewers::pathSteps(node);
    QCOMPARE(int(steps.size()), childPath.size());
    const std::u16string source = u16(text);
    const auto offset = Formatting::jsonValueOffset(source, steps);
    QVERIFY(offset);
    QCOMPARE(QString::fromStdU16String(source.substr(*offset)), value);
}

void TestJSONTree::invalidResults_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty_empty") << "" << "empty";
    QTest::newRow("blankWithUnicodeSpace_empty") << QString(" \n\t") + QChar(0x00A0) + QChar(0x2028) << "empty";
    QTest::newRow("unpairedSurrogate_encoding") << QString("\"") + QChar(0xD800) + "\"" << "encoding";
    // The description is worded as the document check words it, position phrase included.
    QTest::newRow("missingValue_readerDescription") << "{\"a\":}" << "Invalid value around line 1, column 6.";
    QTest::newRow("trailingComma_readerDescription") << "[1,]" << "Invalid value around line 1, column 4.";
    QTest::newRow("twoRoots_readerDescription") << "1 2" << "Unexpected text after the JSON value around line 1, column 3.";
    QTest::newRow("secondLine_lineAndColumn") << "{\n  \"a\": tru\n}" << "Invalid value around line 2, column 11.";
    QTest::newRow("unclosedArray_atEnd") << "[1" << "Unexpected end of text in an unclosed array around line 1, column 3.";
    QTest::newRow("nulInside_notTheEnd") << QString("1") + QChar(0) + "2" << "Unexpected text after the JSON value around line 1, column 2.";
    QTest::newRow("loneLowSurrogateEscape_notJson")
        << "{\"a\": \"x\\udc00\"}" << "Invalid surrogate pair in a string around line 1, column 9.";
    QTest::newRow("loneLowSurrogateEscapeInKey_notJson")
        << "{\"\\udfff\": 1}" << "Invalid surrogate pair in a string around line 1, column 3.";
    QTest::newRow("loneHighSurrogateEscape_notJson")
        << "[\"\\ud800\"]" << "Invalid surrogate pair in a string around line 1, column 3.";
    QTest::newRow("nan_notJson") << "NaN" << "Invalid value around line 1, column 1.";
}

void TestJSONTree::invalidResults()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    const auto result = JSONTreeBuilder::build(u16(text));
    QVERIFY(!result.isOk());
    QCOMPARE(q(result.message()), message);
}

void TestJSONTree::rootSummary_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("summary");
    QTest::newRow("integer") << " 42 " << "number" << "42";
    QTest::newRow("negativeInteger") << "-7" << "number" << "-7";
    QTest::newRow("int64Min") << "-9223372036854775808" << "number" << "-9223372036854775808";
    QTest::newRow("uint64Max") << "18446744073709551615" << "number" << "18446744073709551615";
    QTest::newRow("integralDouble_asInteger") << "1.0" << "number" << "1";
    QTest::newRow("exponent_asInteger") << "1e2" << "number" << "100";
    QTest::newRow("fraction_shortest") << "0.1" << "number" << "0.1";
    QTest::newRow("tooBigForUint64_double") << "18446744073709551616" << "number" << "18446744073709551616";
    QTest::newRow("tiny_scientific") << "1.5e-300" << "number" << "1.5e-300";
    QTest::newRow("true_bool") << "true" << "bool" << "true";
    QTest::newRow("false_bool") << "false" << "bool" << "false";
    QTest::newRow("one_notBool") << "1" << "number" << "1";
    QTest::newRow("null") << "null" << "null" << "null";
    QTest::newRow("string") << "\"hi\"" << "string" << "\"hi\"";
    QTest::newRow("emptyObject") << "{}" << "object" << "{0}";
    QTest::newRow("array") << "[1,2,3,4,5]" << "array" << "[5]";
}

void TestJSONTree::rootSummary()
{
    QFETCH(QString, text);
    QFETCH(QString, kind);
    QFETCH(QString, summary);
    const JSONNode root = buildRoot(text);
    QVERIFY(root.isValid());
    QCOMPARE(QString::fromLatin1(Viewers::kindName(root.kind())), kind);
    QCOMPARE(q(root.summary()), summary);
    QCOMPARE(q(root.id()), QString("$"));
    QVERIFY(!root.key().has_value());
}

void TestJSONTree::jsonEscape_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "abc" << "\"abc\"";
    QTest::newRow("tabQuoteU0001") << QString("a\tb\"c") + QChar(1) << "\"a\\tb\\\"c\\u0001\"";
    QTest::newRow("lfCrBackslash") << "\n\r\\" << "\"\\n\\r\\\\\"";
    QTest::newRow("u001f_lowerHex") << QString(QChar(0x1F)) << "\"\\u001f\"";
    QTest::newRow("delAndNonAscii_unchanged") << QString(QChar(0x7F)) + QString::fromUtf8("\xC3\xA9\xF0\x9F\x98\x80")
                                             << "\"" + QString(QChar(0x7F)) + QString::fromUtf8("\xC3\xA9\xF0\x9F\x98\x80") + "\"";
    QTest::newRow("slash_unchanged") << "a/b" << "\"a/b\"";
}

void TestJSONTree::jsonEscape()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(q(Viewers::jsonEscape(u16(text))), expected);
    // Built from a document, a string is summarised the same way.
    QString literal = text;
    literal.replace("\\", "\\\\").replace("\"", "\\\"").replace("\n", "\\n").replace("\r", "\\r").replace("\t", "\\t");
    literal.replace(QChar(1), "\\u0001").replace(QChar(0x1F), "\\u001F");
    QCOMPARE(q(buildRoot("\"" + literal + "\"").summary()), expected);
}

void TestJSONTree::keysSortByCodePoint()
{
    const JSONNode root = buildRoot(R"({"zeta":1,"Alpha":[],"beta":{"x":true},"_":0,"B":0,"é":0})");
    QStringList keys;
    for (std::size_t i = 0; i < root.childCount(); ++i)
        keys << q(*root.child(i).key());
    QCOMPARE(keys, (QStringList{"Alpha", "B", "_", "beta", "zeta", QString::fromUtf8("\xC3\xA9")}));
    QCOMPARE(q(root.summary()), QString("{6}"));
}

void TestJSONTree::duplicateKeysKeepLast()
{
    const JSONNode root = buildRoot(R"({"a":1,"b":2,"a":3})");
    QCOMPARE(q(root.summary()), QString("{2}"));
    QCOMPARE(q(root.child(0).summary()), QString("3"));
}

void TestJSONTree::canonicallyEquivalentKeysCompareEqual()
{
    // U+00E9 and e + U+0301 are one key; the later member wins. "f" sorts after both.
    const JSONNode root = buildRoot(QString::fromUtf8("{\"f\":0,\"\xC3\xA9\":1,\"e\xCC\x81\":2,\"e\":3}"));
    QCOMPARE(q(root.summary()), QString("{3}"));
    QCOMPARE(q(*root.child(0).key()), QString("e"));
    QCOMPARE(q(*root.child(1).key()), QString("f"));
    QCOMPARE(q(root.child(2).summary()), QString("2"));
}

void TestJSONTree::keysAndPaths()
{
    const JSONNode root = buildRoot(R"({"items":[{"name":"x"},[true]],"":null})");
    const QString expected = "0 $ object {2}\n"
                             "1 $. null null\n"
                             "1 $.items array [2]\n"
                             "2 $.items[0] object {1}\n"
                             "3 $.items[0].name string \"x\"\n"
                             "2 $.items[1] array [1]\n"
                             "3 $.items[1][0] bool true";
    Viewers::ExpandedSet all{u"$", u"$.items", u"$.items[0]", u"$.items[1]"};
    QCOMPARE(dump(Viewers::visibleRows(root, all)), expected);
    QCOMPARE(q(*root.child(1).child(1).key()), QString("[1]"));
    QCOMPARE(q(*root.child(0).key()), QString(""));
    QCOMPARE(root.child(1).child(1).child(0).depth(), std::size_t(3));
}

void TestJSONTree::collidingPaths()
{
    const JSONNode root = buildRoot(R"({"a.b":1,"a":{"b":2}})");
    const JSONNode a = root.child(0);
    const JSONNode ab = root.child(1);
    QCOMPARE(q(a.child(0).id()), QString("$.a.b"));
    QCOMPARE(q(ab.id()), QString("$.a.b"));
    QVERIFY(!(a.child(0) == ab));
    // Nodes with one path share one expansion state: expanding $.a.b opens both.
    const JSONNode containers = buildRoot(R"({"a.b":{"x":1},"a":{"b":{"y":2}}})");
    Viewers::ExpandedSet expanded{u"$", u"$.a", u"$.a.b"};
    QCOMPARE(dump(Viewers::visibleRows(containers, expanded)), QString("0 $ object {2}\n"
                                                                     "1 $.a object {1}\n"
                                                                     "2 $.a.b object {1}\n"
                                                                     "3 $.a.b.y number 2\n"
                                                                     "1 $.a.b object {1}\n"
                                                                     "2 $.a.b.x number 1"));
}

void TestJSONTree::defaultExpansion()
{
    const JSONNode root = buildRoot(R"({"zeta":5,"Alpha":[],"beta":{"inner":{"deep":[1]}}})");
    const auto expanded = Viewers::defaultExpanded(root);
    QCOMPARE(expanded, (Viewers::ExpandedSet{u"$", u"$.beta"}));
    QCOMPARE(dump(Viewers::visibleRows(root, expanded)), QString("0 $ object {3}\n"
                                                                 "1 $.Alpha array [0]\n"
                                                                 "1 $.beta object {1}\n"
                                                                 "2 $.beta.inner object {1}\n"
                                                                 "1 $.zeta number 5"));
    QVERIFY(Viewers::defaultExpanded(buildRoot("3")).empty());
    QVERIFY(Viewers::defaultExpanded(buildRoot("[]")).empty());
}

void TestJSONTree::toggleRootHidesAndRestores()
{
    Viewers::JSONTreeRows rows(buildRoot(R"({"a":{"b":[1,2]},"c":0})"));
    rows.toggle(u"$.a.b");
    const QString before = dump(rows.visibleRows());
    QCOMPARE(before.count('\n') + 1, 6);
    rows.toggle(u"$");
    QCOMPARE(dump(rows.visibleRows()), QString("0 $ object {2}"));
    rows.toggle(u"$");
    QCOMPARE(dump(rows.visibleRows()), before);
    // A newer tree of the same document keeps the expansion; vanished ids never match.
    rows.setRoot(buildRoot(R"({"a":{"b":[1,2,3]}})"));
    QCOMPARE(dump(rows.visibleRows()), QString("0 $ object {1}\n"
                                               "1 $.a object {1}\n"
                                               "2 $.a.b array [3]\n"
                                               "3 $.a.b[0] number 1\n"
                                               "3 $.a.b[1] number 2\n"
                                               "3 $.a.b[2] number 3"));
}

void TestJSONTree::expandAllShowsEveryNode()
{
    const JSONNode root = buildRoot(R"([[[]],{"k":[{}]}])");
    Viewers::ExpandedSet all;
    std::vector<JSONNode> stack{root};
    std::size_t nodes = 0;
    while (!stack.empty()) {
        const JSONNode node = stack.back();
        stack.pop_back();
        ++nodes;
        all.insert(node.id());
        for (std::size_t i = 0; i < node.childCount(); ++i)
            stack.push_back(node.child(i));
    }
    QCOMPARE(Viewers::visibleRows(root, all).size(), nodes);
    QCOMPARE(nodes, std::size_t(6));
}

void TestJSONTree::truncatesAtDepth256()
{
    const QString text = QString("[").repeated(300) + QString("]").repeated(300);
    JSONNode node = buildRoot(text);
    QVERIFY(node.isValid());
    for (int depth = 0; depth < 255; ++depth) {
        QCOMPARE(node.kind(), JSONNodeKind::Array);
        QCOMPARE(node.childCount(), std::size_t(1));
        node = node.child(0);
    }
    QCOMPARE(node.depth(), std::size_t(255));
    QCOMPARE(node.kind(), JSONNodeKind::Array);
    QCOMPARE(node.childCount(), std::size_t(1));
    const JSONNode truncated = node.child(0);
    QCOMPARE(truncated.kind(), JSONNodeKind::Truncated);
    QCOMPARE(q(truncated.summary()), QString(QChar(0x2026)));
    QVERIFY(!truncated.hasChildList());
    QCOMPARE(truncated.depth(), std::size_t(256));
    // A scalar at depth 256 is truncated too.
    const JSONNode scalar = buildRoot(QString("[").repeated(256) + "7" + QString("]").repeated(256));
    JSONNode walk = scalar;
    while (walk.childCount())
        walk = walk.child(0);
    QCOMPARE(walk.kind(), JSONNodeKind::Truncated);
    QCOMPARE(walk.depth(), std::size_t(256));
}

void TestJSONTree::millionNestedArraysDoNotCrash()
{
    std::u16string text(1'000'000, u'[');
    text.append(1'000'000, u']');
    const auto result = JSONTreeBuilder::build(text);
    QVERIFY(result.isOk());
    std::u16string unbalanced(1'000'000, u'[');
    const auto broken = JSONTreeBuilder::build(unbalanced);
    QVERIFY(!broken.isOk());
    QCOMPARE(q(broken.message()), QString("Unexpected end of text where a value was expected around line 1, column 1000001."));
}

void TestJSONTree::keptAliveByNodes()
{
    JSONNode child;
    {
        const auto result = JSONTreeBuilder::build(u"{\"k\":\"v\"}");
        child = result.root().child(0);
    }
    QCOMPARE(q(child.summary()), QString("\"v\""));
    QCOMPARE(q(child.id()), QString("$.k"));
}

void TestJSONTree::fixtureFile()
{
    const QString text = readFixture("json/catalog.json");
    QVERIFY(!text.isEmpty());
    const JSONNode root = buildRoot(text);
    QVERIFY(root.isValid());
    QFile expectedFile(QStringLiteral(CORVANE_FIXTURES "/json/catalog.rows"));
    QVERIFY(expectedFile.open(QIODevice::ReadOnly));
    const QString expected = QString::fromUtf8(expectedFile.readAll()).trimmed();
    const QString actual = dump(Viewers::visibleRows(root, Viewers::defaultExpanded(root)));
    if (actual != expected) {
        QFile out(QStringLiteral(CORVANE_FIXTURES "/json/catalog.rows.new"));
        if (out.open(QIODevice::WriteOnly))
            out.write(actual.toUtf8() + "\n");
    }
    QCOMPARE(actual, expected);
}

QTEST_GUILESS_MAIN(TestJSONTree)
#include "tst_jsontree.moc"
