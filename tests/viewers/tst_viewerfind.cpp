// Find in the structured models, without widgets: the needle comparison, the table's cells in
// the order shown, the tree's keys and values (collapsed or not) and the preview's shown text.
#include "viewers/csvparser.h"
#include "viewers/csvsort.h"
#include "viewers/jsontree.h"
#include "viewers/mdblock.h"
#include "viewers/textmatch.h"

#include <QtTest>

using Viewers::CaseSensitivity;
using Viewers::TextMatcher;

Q_DECLARE_METATYPE(Viewers::CaseSensitivity)

namespace {

std::u16string u16(const QString &text) { return text.toStdU16String(); }
QString q(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

TextMatcher matcher(const QString &needle, CaseSensitivity sensitivity = CaseSensitivity::Insensitive)
{
    return TextMatcher(u16(needle), sensitivity);
}

// "h:column" for a header cell, "row:column" for a data cell (the data row, whatever the sort).
QStringList cellList(const std::vector<Viewers::CSVCellMatch> &cells)
{
    QStringList out;
    for (const auto &cell : cells) {
        out << (cell.row == Viewers::CSVCellMatch::headerRow ? QString("h:%1").arg(cell.column)
                                                             : QString("%1:%2").arg(cell.row).arg(cell.column));
    }
    return out;
}

// "id@row" per match, the row being the match's row in the fully expanded tree.
QStringList nodeList(const Viewers::JSONTreeMatches &matches)
{
    QStringList out;
    for (std::size_t i = 0; i < matches.size(); ++i)
        out << QString("%1@%2").arg(q(matches[i].id())).arg(matches.fullyExpandedRow(i));
    return out;
}

// Every container's id, so that visibleRows lists every node.
void collectContainerIds(const Viewers::JSONNode &node, Viewers::ExpandedSet &ids)
{
    if (node.childCount() == 0)
        return;
    ids.insert(node.id());
    for (std::size_t i = 0; i < node.childCount(); ++i)
        collectContainerIds(node.child(i), ids);
}

} // namespace

class TestViewerFind : public QObject {
    Q_OBJECT

private slots:
    void matcherOccurrences_data();
    void matcherOccurrences();
    void matcherFindsFromAnOffset();
    void tableCells_data();
    void tableCells();
    void tableCellsFollowTheSort();
    void treeNodes_data();
    void treeNodes();
    void treeFullyExpandedRowsAreTheRowsOfAnExpandedTree();
    void treeExpandingAncestorsListsADeepMatch();
    void treeParents();
    void previewText_data();
    void previewText();
    void previewShownTextLeavesMarkupOut_data();
    void previewShownTextLeavesMarkupOut();
};

void TestViewerFind::matcherOccurrences_data()
{
    QTest::addColumn<QString>("needle");
    QTest::addColumn<CaseSensitivity>("sensitivity");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("offsets");
    const auto any = CaseSensitivity::Insensitive;
    const auto exact = CaseSensitivity::Sensitive;
    QTest::newRow("emptyNeedle_nothing") << "" << any << "abc" << QList<int>{};
    QTest::newRow("emptyText_nothing") << "a" << any << "" << QList<int>{};
    QTest::newRow("needleLongerThanText_nothing") << "abcd" << any << "abc" << QList<int>{};
    QTest::newRow("ignoringCase_everyCase") << "ab" << any << "xAbyaBab" << QList<int>{1, 4, 6};
    QTest::newRow("matchingCase_exactOnly") << "ab" << exact << "xAbyaBab" << QList<int>{6};
    QTest::newRow("capitalNeedle_foldedToo") << "AB" << any << "ab" << QList<int>{0};
    QTest::newRow("repeats_neverOverlap") << "aa" << any << "aaaaa" << QList<int>{0, 2};
    QTest::newRow("cyrillic_ignoringCase") << QString::fromUtf8("привет") << any
                                           << QString::fromUtf8("ПРИВЕТ, Привет") << QList<int>{0, 8};
    QTest::newRow("greekSigmas_allOneLetter") << QString::fromUtf8("σ") << any << QString::fromUtf8("Σσς")
                                              << QList<int>{0, 1, 2};
    QTest::newRow("sharpS_notDoubleS") << QString::fromUtf8("ß") << any << "SS ss" << QList<int>{};
    QTest::newRow("capitalSharpS_sharpS") << QString::fromUtf8("ß") << any << QString::fromUtf8("ẞ") << QList<int>{0};
    QTest::newRow("dottedCapitalI_notPlainI") << "i" << any << QString::fromUtf8("İ") << QList<int>{};
    QTest::newRow("emoji_surrogatePair") << QString::fromUtf8("😀") << any << QString::fromUtf8("a😀b😀")
                                         << QList<int>{1, 4};
    // Like the text view, letters outside the BMP are compared as they are.
    QTest::newRow("deseret_caseKept") << QString::fromUtf8("𐐨") << any << QString::fromUtf8("𐐀𐐨") << QList<int>{2};
    QTest::newRow("combiningMark_asWritten") << QString::fromUtf8("e\u0301") << any << QString::fromUtf8("é E\u0301")
                                             << QList<int>{2};
}

void TestViewerFind::matcherOccurrences()
{
    QFETCH(QString, needle);
    QFETCH(CaseSensitivity, sensitivity);
    QFETCH(QString, text);
    QFETCH(QList<int>, offsets);
    const TextMatcher search = matcher(needle, sensitivity);
    const std::u16string hay = u16(text);
    QList<int> found;
    search.forEach(hay, [&found](std::size_t offset) { found << int(offset); });
    QCOMPARE(found, offsets);
    QCOMPARE(search.matches(hay), !offsets.isEmpty());
    QCOMPARE(search.length(), std::size_t(needle.size()));
    QCOMPARE(search.isEmpty(), needle.isEmpty());
}

void TestViewerFind::matcherFindsFromAnOffset()
{
    const TextMatcher search = matcher("b");
    const std::u16string text = u"abcb";
    QCOMPARE(search.find(text, 0), std::optional<std::size_t>(1));
    QCOMPARE(search.find(text, 1), std::optional<std::size_t>(1));
    QCOMPARE(search.find(text, 2), std::optional<std::size_t>(3));
    QCOMPARE(search.find(text, 4), std::nullopt);
    QCOMPARE(search.find(text, 99), std::nullopt);
}

void TestViewerFind::tableCells_data()
{
    QTest::addColumn<QString>("csv");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<CaseSensitivity>("sensitivity");
    QTest::addColumn<QStringList>("cells");
    const auto any = CaseSensitivity::Insensitive;
    const auto exact = CaseSensitivity::Sensitive;
    const QString people = "name,city\nAnn,Oslo\nBob,Bonn\nAnnika,Rome\n";
    QTest::newRow("headerThenRows_inOrder") << people << "n" << any
                                            << QStringList{"h:0", "0:0", "1:1", "2:0"};
    QTest::newRow("cellWithTwoOccurrences_once") << people << "o" << any << QStringList{"0:1", "1:0", "1:1", "2:1"};
    QTest::newRow("matchingCase_exactOnly") << people << "Ann" << exact << QStringList{"0:0", "2:0"};
    QTest::newRow("ignoringCase_headerToo") << people << "NAME" << any << QStringList{"h:0"};
    QTest::newRow("emptyNeedle_nothing") << people << "" << any << QStringList{};
    QTest::newRow("noMatch_nothing") << people << "Paris" << any << QStringList{};
    // Quoting is removed before comparing, as the table shows the cell.
    QTest::newRow("quotedCell_unescaped") << "a,b\n\"say \"\"hi\"\"\",x\n" << "\"hi\"" << any << QStringList{"0:0"};
    QTest::newRow("quotedDelimiter_insideTheCell") << "a\n\"1,2\"\n" << "1,2" << any << QStringList{"0:0"};
    QTest::newRow("cellAcrossLines_found") << "a\n\"one\ntwo\"\n" << "two" << any << QStringList{"0:0"};
    QTest::newRow("raggedRows_extraCellsCount") << "a,b\n1\n1,2,x1\n" << "1" << any << QStringList{"0:0", "1:0", "1:2"};
    QTest::newRow("emptyTable_nothing") << "\n\n" << "a" << any << QStringList{};
}

void TestViewerFind::tableCells()
{
    QFETCH(QString, csv);
    QFETCH(QString, needle);
    QFETCH(CaseSensitivity, sensitivity);
    QFETCH(QStringList, cells);
    const Viewers::CSVTable table = Viewers::CSVParser::parse(u16(csv));
    QCOMPARE(cellList(Viewers::findCells(table, matcher(needle, sensitivity))), cells);
}

void TestViewerFind::tableCellsFollowTheSort()
{
    const Viewers::CSVTable table = Viewers::CSVParser::parse(u"name,n\nb1,2\na1,3\nc1,1\n");
    const auto descending = Viewers::sortedRowOrder(table, 0, Viewers::CSVSortOrder::Descending);
    QCOMPARE(cellList(Viewers::findCells(table, matcher("1"), descending)),
             (QStringList{"2:0", "2:1", "0:0", "1:0"}));
    const auto byNumber = Viewers::sortedRowOrder(table, 1, Viewers::CSVSortOrder::Ascending);
    QCOMPARE(cellList(Viewers::findCells(table, matcher("1"), byNumber)), (QStringList{"2:0", "2:1", "0:0", "1:0"}));
    // An order that does not fit the table counts as document order.
    const std::vector<std::uint32_t> stale{1, 0};
    QCOMPARE(cellList(Viewers::findCells(table, matcher("1"), stale)), (QStringList{"0:0", "1:0", "2:0", "2:1"}));
}

void TestViewerFind::treeNodes_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<CaseSensitivity>("sensitivity");
    QTest::addColumn<QStringList>("nodes");
    const auto any = CaseSensitivity::Insensitive;
    const auto exact = CaseSensitivity::Sensitive;
    const QString people = R"({"people":[{"name":"Ann","age":41},{"name":"Bob","tags":["annual"]}],"total":2})";
    // Rows: $ 0, people 1, [0] 2, age 3, name 4, [1] 5, name 6, tags 7, tags[0] 8, total 9.
    QTest::newRow("keysInRowOrder_collapsedToo") << people << "name" << any
                                                  << QStringList{"$.people[0].name@4", "$.people[1].name@6"};
    QTest::newRow("valuesAndKeys_ignoringCase") << people << "ANN" << any
                                                << QStringList{"$.people[0].name@4", "$.people[1].tags[0]@8"};
    QTest::newRow("matchingCase_exactOnly") << people << "Ann" << exact << QStringList{"$.people[0].name@4"};
    QTest::newRow("keyAndValueOfOneNode_once") << R"({"id":"id-1"})" << "id" << any << QStringList{"$.id@1"};
    QTest::newRow("numbers_asShown") << people << "41" << any << QStringList{"$.people[0].age@3"};
    QTest::newRow("shortestNumberForm_searched") << R"({"a":1.50})" << "1.5" << any << QStringList{"$.a@1"};
    QTest::newRow("writtenNumberForm_notSearched") << R"({"a":1.50})" << "1.50" << any << QStringList{};
    QTest::newRow("literals_asShown") << R"([true,false,null])" << "l" << any << QStringList{"$[1]@2", "$[2]@3"};
    // Strings are shown quoted and escaped, and searched so.
    QTest::newRow("quotedString_quotesCount") << R"({"k":"say \"hi\""})" << R"("say \")" << any
                                              << QStringList{"$.k@1"};
    QTest::newRow("unescapedQuote_notShown") << R"({"k":"say \"hi\""})" << R"("hi")" << any << QStringList{};
    QTest::newRow("keysUnquoted_quoteFindsNoKey") << R"({"k":1})" << R"("k")" << any << QStringList{};
    // Positions and child counts are structure.
    QTest::newRow("arrayPositions_notSearched") << "[10,20]" << "[1" << any << QStringList{};
    QTest::newRow("childCounts_notSearched") << R"({"a":[7,8,9]})" << "3" << any << QStringList{};
    QTest::newRow("elementValues_searched") << "[10,20]" << "1" << any << QStringList{"$[0]@1"};
    QTest::newRow("scalarRoot_found") << R"("hello")" << "ell" << any << QStringList{"$@0"};
    QTest::newRow("emptyNeedle_nothing") << people << "" << any << QStringList{};
    QTest::newRow("nonAsciiKey_ignoringCase") << QString::fromUtf8(R"({"Straße":{"Öl":1}})") << QString::fromUtf8("öl")
                                              << any << QStringList{QString::fromUtf8("$.Straße.Öl@2")};
}

void TestViewerFind::treeNodes()
{
    QFETCH(QString, json);
    QFETCH(QString, needle);
    QFETCH(CaseSensitivity, sensitivity);
    QFETCH(QStringList, nodes);
    const auto result = Viewers::JSONTreeBuilder::build(u16(json));
    QVERIFY(result.isOk());
    const Viewers::JSONTreeMatches found = Viewers::findNodes(result.root(), matcher(needle, sensitivity));
    QCOMPARE(nodeList(found), nodes);
    // Each match is found again by its node; other nodes are no match.
    for (std::size_t i = 0; i < found.size(); ++i)
        QCOMPARE(found.indexOf(found[i]), std::optional<std::size_t>(i));
    Viewers::ExpandedSet all;
    collectContainerIds(result.root(), all);
    std::size_t others = 0;
    for (const auto &row : Viewers::visibleRows(result.root(), all))
        others += found.indexOf(row.node) ? 0 : 1;
    QCOMPARE(others + found.size(), Viewers::visibleRows(result.root(), all).size());
    QCOMPARE(found.indexOf(Viewers::JSONNode()), std::nullopt);
}

void TestViewerFind::treeFullyExpandedRowsAreTheRowsOfAnExpandedTree()
{
    const auto result = Viewers::JSONTreeBuilder::build(
        uR"({"z":[1,{"b":[],"a":{"y":null,"x":[true]}}],"m":{},"a":"s","n":[[[]],[2]]})");
    QVERIFY(result.isOk());
    Viewers::ExpandedSet all;
    collectContainerIds(result.root(), all);
    const Viewers::JSONRowList rows = Viewers::visibleRows(result.root(), all);
    QCOMPARE(rows.size(), std::size_t(16));
    for (std::size_t row = 0; row < rows.size(); ++row)
        QCOMPARE(Viewers::fullyExpandedRow(rows[row].node), row);
    QCOMPARE(Viewers::fullyExpandedRow(Viewers::JSONNode()), std::size_t(0));
}

void TestViewerFind::treeExpandingAncestorsListsADeepMatch()
{
    const auto result = Viewers::JSONTreeBuilder::build(uR"({"a":{"b":{"c":{"needle":1}}},"other":{"x":{"y":2}}})");
    QVERIFY(result.isOk());
    Viewers::JSONTreeRows state(result.root());
    const Viewers::JSONTreeMatches found = Viewers::findNodes(result.root(), matcher("needle"));
    QCOMPARE(found.size(), std::size_t(1));
    QCOMPARE(state.visibleRows().rowOf(found[0]), std::nullopt);
    state.expandAncestors(found[0]);
    const Viewers::JSONRowList rows = state.visibleRows();
    QCOMPARE(rows.rowOf(found[0]), std::optional<std::size_t>(4));
    QCOMPARE(q(rows[4].id()), QString("$.a.b.c.needle"));
    // The match itself and the rest of the tree keep their expansion.
    QVERIFY(state.isExpanded(u"$.a.b.c"));
    QVERIFY(!state.isExpanded(u"$.other.x"));
    QVERIFY(state.isExpanded(u"$.other"));
    QCOMPARE(rows.size(), std::size_t(7));
    // A node of another tree is never listed.
    const auto other = Viewers::JSONTreeBuilder::build(uR"({"a":1})");
    QCOMPARE(rows.rowOf(other.root()), std::nullopt);
}

void TestViewerFind::treeParents()
{
    const auto result = Viewers::JSONTreeBuilder::build(uR"({"a":[{"b":1}]})");
    const Viewers::JSONNode leaf = result.root().child(0).child(0).child(0);
    QCOMPARE(q(leaf.id()), QString("$.a[0].b"));
    QCOMPARE(q(leaf.parent().id()), QString("$.a[0]"));
    QCOMPARE(q(leaf.parent().parent().parent().id()), QString("$"));
    QVERIFY(!result.root().parent().isValid());
    QVERIFY(!Viewers::JSONNode().parent().isValid());
}

void TestViewerFind::previewText_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QStringList>("matches"); // "block:offset"
    QTest::newRow("acrossStyledRuns_found") << "Some **bold** text" << "bold t" << QStringList{"0:5"};
    QTest::newRow("emphasisMarks_notShown") << "Some **bold** text" << "**" << QStringList{};
    QTest::newRow("linkTarget_notShown") << "See [the site](http://example.com)." << "example" << QStringList{};
    QTest::newRow("linkText_found") << "See [the site](http://example.com)." << "SITE" << QStringList{"0:8"};
    QTest::newRow("headingMarker_notShown") << "# Title\n" << "#" << QStringList{};
    QTest::newRow("heading_ignoringCase") << "# Title\n" << "title" << QStringList{"0:0"};
    QTest::newRow("listMarker_notShown") << "- first\n- second\n" << "- " << QStringList{};
    QTest::newRow("listItems_eachBlock") << "- first\n- second\n" << "s" << QStringList{"0:3", "1:0"};
    QTest::newRow("codeBlock_asWritten") << "```\nlet **x** = 1\n```\n" << "**x**" << QStringList{"0:4"};
    QTest::newRow("ruleAndBlank_nothing") << "a\n\n---\n" << "-" << QStringList{};
    QTest::newRow("repeats_everyOccurrence") << "aaa\n\nbaa\n" << "a" << QStringList{"0:0", "0:1", "0:2", "2:1", "2:2"};
    QTest::newRow("acrossBlocks_never") << "one\n\ntwo\n" << "one two" << QStringList{};
    QTest::newRow("paragraphLinesJoined_found") << "one\ntwo\n" << "one two" << QStringList{"0:0"};
    QTest::newRow("emptyNeedle_nothing") << "text" << "" << QStringList{};
}

void TestViewerFind::previewText()
{
    QFETCH(QString, markdown);
    QFETCH(QString, needle);
    QFETCH(QStringList, matches);
    const Viewers::MDBlockList blocks = Viewers::MDBlock::parse(u16(markdown));
    QStringList found;
    for (const Viewers::MDTextMatch &match : Viewers::findText(blocks, matcher(needle)))
        found << QString("%1:%2").arg(match.block).arg(match.offset);
    QCOMPARE(found, matches);
}

void TestViewerFind::previewShownTextLeavesMarkupOut_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("styledParagraph_runsJoined") << "A *b* `c` ~d~ [e](f)" << QStringList{"A b c d e"};
    QTest::newRow("heading_textOnly") << "## Two" << QStringList{"Two"};
    QTest::newRow("quote_textOnly") << "> said" << QStringList{"said"};
    QTest::newRow("code_asWritten") << "```\n*a*\n  b\n```" << QStringList{"*a*\n  b"};
    QTest::newRow("ruleAndBlank_empty") << "x\n\n***" << QStringList{"x", "", ""};
}

void TestViewerFind::previewShownTextLeavesMarkupOut()
{
    QFETCH(QString, markdown);
    QFETCH(QStringList, shown);
    const Viewers::MDBlockList blocks = Viewers::MDBlock::parse(u16(markdown));
    QStringList texts;
    for (std::size_t i = 0; i < blocks.size(); ++i)
        texts << q(blocks.shownText(i));
    QCOMPARE(texts, shown);
}

QTEST_GUILESS_MAIN(TestViewerFind)
#include "tst_viewerfind.moc"
