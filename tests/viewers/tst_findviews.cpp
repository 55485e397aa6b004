// Find in the three read-only views, through real widgets offscreen: the table selects cells in
// the order shown and scrolls to them, the tree expands what holds a match, the preview scrolls
// to an occurrence and marks it; all of them wrap around and follow newer content.
#include "viewers/csvtableview.h"
#include "viewers/jsontreeview.h"
#include "viewers/markdownview.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

using namespace Viewers;

namespace {

QString q(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

TextMatcher matcher(const QString &needle, CaseSensitivity sensitivity = CaseSensitivity::Insensitive)
{
    return TextMatcher(needle.toStdU16String(), sensitivity);
}

// "h:column" for the header, "row:column" for a data row.
QString cellName(const std::optional<CSVTableView::Cell> &cell)
{
    if (!cell)
        return "none";
    return cell->row == CSVTableView::Cell::headerRow ? QString("h:%1").arg(cell->column)
                                                      : QString("%1:%2").arg(cell->row).arg(cell->column);
}

// The cells the view selects on `steps` finds in `direction`.
QStringList walk(CSVTableView &view, SearchDirection direction, int steps)
{
    QStringList cells;
    for (int i = 0; i < steps; ++i) {
        view.findNext(direction);
        cells << cellName(view.selectedCell());
    }
    return cells;
}

QString selectedId(const JSONTreeView &view)
{
    if (!view.selectedRow())
        return "none";
    return q(view.rows()[*view.selectedRow()].id());
}

// A pixel of a find mark: strongly yellow or orange, whatever the theme's background.
bool isMarkColour(const QColor &colour)
{
    return colour.red() > 150 && colour.red() - colour.blue() > 80 && colour.green() > 60;
}

bool hasMark(const QImage &image, const QRect &area)
{
    for (int y = std::max(0, area.top()); y <= std::min(image.height() - 1, area.bottom()); ++y) {
        for (int x = std::max(0, area.left()); x <= std::min(image.width() - 1, area.right()); ++x) {
            if (isMarkColour(image.pixelColor(x, y)))
                return true;
        }
    }
    return false;
}

// Sections of a heading, a paragraph, a code block and a list; "needle" only in `needles`.
QString sections(int count, const QList<int> &needles)
{
    QString text;
    for (int i = 0; i < count; ++i) {
        const QString word = needles.contains(i) ? "needle" : "straw";
        text += QString("## Section %1\n\nProse of section %1 with some %2 inside.\n\n```\ncode %1\n```\n\n- item %1\n\n")
                    .arg(i)
                    .arg(word);
    }
    return text;
}

} // namespace

class TestFindViews : public QObject {
    Q_OBJECT

private slots:
    void tableWalksCellsInShownOrder();
    void tableWalkFollowsTheSort();
    void tableStartsAfterTheSelectedCell();
    void tableSelectsHeaderCells();
    void tableScrollsToAFarCell();
    void tableMarksOccurrences();
    void tableFollowsANewerParse();
    void treeExpandsWhatHoldsAMatch();
    void treeWalksAndWraps();
    void treeStartsAfterTheSelectedRow();
    void treeScrollsToAFarRow();
    void treeFollowsANewerResult();
    void previewScrollsToAndMarksTheMatch();
    void previewWalksAndWraps();
    void previewStartsAtTheBlockInView();
    void previewKeepsTheCurrentMatchAcrossParses();
};

void TestFindViews::tableWalksCellsInShownOrder()
{
    CSVTableView view;
    view.resize(600, 300);
    view.setTable(CSVParser::parse(u"name,city\nAnn,Oslo\nBob,Bonn\nAnnika,Rome\n"));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy changed(&view, &CSVTableView::searchChanged);
    view.setSearch(matcher("n"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(view.matchCount(), std::size_t(4));
    QCOMPARE(view.currentMatchNumber(), std::size_t(0));
    QCOMPARE(view.selectedCell(), std::nullopt);
    QCOMPARE(walk(view, SearchDirection::Forward, 5), (QStringList{"h:0", "0:0", "1:1", "2:0", "h:0"}));
    QCOMPARE(view.currentMatchNumber(), std::size_t(1));
    QCOMPARE(walk(view, SearchDirection::Backward, 3), (QStringList{"2:0", "1:1", "0:0"}));
    QCOMPARE(view.currentMatchNumber(), std::size_t(2));
    // Matching case finds fewer; the selection stays until a find moves it.
    view.setSearch(matcher("N", CaseSensitivity::Sensitive));
    QCOMPARE(view.matchCount(), std::size_t(0));
    QVERIFY(!view.findNext(SearchDirection::Forward));
    QCOMPARE(cellName(view.selectedCell()), QString("0:0"));
    view.setSearch({});
    QCOMPARE(view.matchCount(), std::size_t(0));
}

void TestFindViews::tableWalkFollowsTheSort()
{
    CSVTableView view;
    view.resize(600, 300);
    view.setTable(CSVParser::parse(u"name,n\nb1,2\na1,3\nc1,1\n"));
    view.setSearch(matcher("1"));
    QCOMPARE(walk(view, SearchDirection::Forward, 4), (QStringList{"0:0", "1:0", "2:0", "2:1"}));
    // Sorted by name, descending: c1 (row 2) comes first.
    QSignalSpy changed(&view, &CSVTableView::searchChanged);
    view.setSort(0, CSVSortOrder::Descending);
    QVERIFY(changed.count() >= 1);
    view.setSelectedCell(std::nullopt);
    QCOMPARE(walk(view, SearchDirection::Forward, 4), (QStringList{"2:0", "2:1", "0:0", "1:0"}));
}

void TestFindViews::tableStartsAfterTheSelectedCell()
{
    CSVTableView view;
    view.setTable(CSVParser::parse(u"a,b\nx,1\n2,x\nx,3\n"));
    view.setSearch(matcher("x"));
    view.setSelectedCell(CSVTableView::Cell{1, 0}); // "2", no match.
    QCOMPARE(view.currentMatchNumber(), std::size_t(0));
    QCOMPARE(walk(view, SearchDirection::Forward, 1), QStringList{"1:1"});
    view.setSelectedCell(CSVTableView::Cell{1, 0});
    QCOMPARE(walk(view, SearchDirection::Backward, 1), QStringList{"0:0"});
    // Typing on keeps a selected match that still matches.
    view.setSelectedCell(CSVTableView::Cell{2, 0});
    view.findNext(SearchDirection::Forward, SearchStart::AtCurrent);
    QCOMPARE(cellName(view.selectedCell()), QString("2:0"));
}

void TestFindViews::tableSelectsHeaderCells()
{
    CSVTableView view;
    view.resize(600, 300);
    view.setTable(CSVParser::parse(u"id,Total,note\n1,2,3\n"));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setSearch(matcher("TOTAL"));
    QVERIFY(view.findNext(SearchDirection::Forward));
    QCOMPARE(cellName(view.selectedCell()), QString("h:1"));
    QCOMPARE(view.selectedText(), QString("Total"));
    view.grab();
    // A newer parse keeps it; the arrow keys leave it for the first row.
    view.setTable(CSVParser::parse(u"id,Total,note\n1,2,3\n4,5,6\n"));
    QCOMPARE(cellName(view.selectedCell()), QString("h:1"));
    QTest::keyClick(&view, Qt::Key_Right);
    QCOMPARE(cellName(view.selectedCell()), QString("h:2"));
    QTest::keyClick(&view, Qt::Key_Down);
    QCOMPARE(cellName(view.selectedCell()), QString("0:2"));
}

void TestFindViews::tableScrollsToAFarCell()
{
    std::u16string text = u"a,b,c,d,e,f\n";
    for (int i = 0; i < 2000; ++i)
        text += i == 1500 ? u"1,2,3,4,5,needle\n" : u"1,2,3,4,5,6\n";
    CSVTableView view;
    view.resize(260, 240);
    view.setTable(CSVParser::parse(text));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setSearch(matcher("needle"));
    QVERIFY(view.findNext(SearchDirection::Forward));
    QCOMPARE(cellName(view.selectedCell()), QString("1500:5"));
    view.grab();
    QVERIFY2(view.firstVisibleRow() > 1480 && view.firstVisibleRow() <= 1500,
             qPrintable(QString::number(view.firstVisibleRow())));
    QVERIFY(view.horizontalScrollBar()->value() > 0);
}

void TestFindViews::tableMarksOccurrences()
{
    CSVTableView view;
    view.resize(600, 200);
    view.setTable(CSVParser::parse(u"word,other\nhay needle hay,plain\n"));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QRect firstRow(0, 40, 600, 60);
    QVERIFY(!hasMark(view.viewport()->grab().toImage(), firstRow));
    view.setSearch(matcher("needle"));
    QVERIFY(hasMark(view.viewport()->grab().toImage(), firstRow));
    view.setSearch({});
    QVERIFY(!hasMark(view.viewport()->grab().toImage(), firstRow));
}

void TestFindViews::tableFollowsANewerParse()
{
    CSVTableView view;
    view.setTable(CSVParser::parse(u"a\nx\ny\n"));
    view.setSearch(matcher("x"));
    QCOMPARE(view.matchCount(), std::size_t(1));
    QSignalSpy changed(&view, &CSVTableView::searchChanged);
    view.setTable(CSVParser::parse(u"a\nx\ny\nx\n"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(view.matchCount(), std::size_t(2));
}

void TestFindViews::treeExpandsWhatHoldsAMatch()
{
    JSONTreeView view;
    view.resize(500, 300);
    view.setResult(JSONTreeBuilder::build(uR"({"a":{"b":{"c":{"deep":"needle"}}},"z":1})"));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.rows().size(), std::size_t(4)); // $, a, a.b, z
    view.setSearch(matcher("NEEDLE"));
    QCOMPARE(view.matchCount(), std::size_t(1));
    QCOMPARE(view.currentMatchNumber(), std::size_t(0));
    QVERIFY(view.findNext(SearchDirection::Forward));
    QCOMPARE(selectedId(view), QString("$.a.b.c.deep"));
    QCOMPARE(view.currentMatchNumber(), std::size_t(1));
    QVERIFY(view.isExpanded(u"$.a.b"));
    QVERIFY(view.isExpanded(u"$.a.b.c"));
    QCOMPARE(view.rows().size(), std::size_t(6));
    // The row's marks are painted where the value is.
    const QImage image = view.viewport()->grab().toImage();
    const int top = JSONTreeView::padding + int(*view.selectedRow()) * view.rowHeight();
    QVERIFY(hasMark(image, QRect(0, top, image.width(), view.rowHeight())));
    QVERIFY(!hasMark(image, QRect(0, 0, image.width(), top)));
}

void TestFindViews::treeWalksAndWraps()
{
    JSONTreeView view;
    view.setResult(JSONTreeBuilder::build(uR"({"people":[{"name":"Ann"},{"name":"Bob","tags":["annual"]}],"x":{"y":"ANN"}})"));
    view.setSearch(matcher("ann"));
    QCOMPARE(view.matchCount(), std::size_t(3));
    QStringList ids;
    for (int i = 0; i < 4; ++i) {
        view.findNext(SearchDirection::Forward);
        ids << selectedId(view);
    }
    QCOMPARE(ids, (QStringList{"$.people[0].name", "$.people[1].tags[0]", "$.x.y", "$.people[0].name"}));
    ids.clear();
    for (int i = 0; i < 2; ++i) {
        view.findNext(SearchDirection::Backward);
        ids << selectedId(view);
    }
    QCOMPARE(ids, (QStringList{"$.x.y", "$.people[1].tags[0]"}));
    QCOMPARE(view.currentMatchNumber(), std::size_t(2));
}

void TestFindViews::treeStartsAfterTheSelectedRow()
{
    JSONTreeView view;
    view.setResult(JSONTreeBuilder::build(uR"({"a":{"k":"x"},"b":{"k":"y"},"c":{"d":{"k":"x"}}})"));
    view.setSearch(matcher("x"));
    QCOMPARE(q(view.rows()[3].id()), QString("$.b"));
    view.setSelectedRow(3); // No match; the next one lies collapsed below $.c.d.
    QCOMPARE(view.currentMatchNumber(), std::size_t(0));
    view.findNext(SearchDirection::Forward);
    QCOMPARE(selectedId(view), QString("$.c.d.k"));
    view.setSelectedRow(view.rows().rowOf(view.rows()[0].node.child(1)));
    QCOMPARE(selectedId(view), QString("$.b"));
    view.findNext(SearchDirection::Backward);
    QCOMPARE(selectedId(view), QString("$.a.k"));
}

void TestFindViews::treeScrollsToAFarRow()
{
    std::u16string json = u"[";
    for (int i = 0; i < 3000; ++i)
        json += (i ? u"," : u"") + std::u16string(i == 2500 ? u"{\"v\":\"needle\"}" : u"{\"v\":\"hay\"}");
    json += u"]";
    JSONTreeView view;
    view.resize(400, 300);
    view.setResult(JSONTreeBuilder::build(json));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setSearch(matcher("needle"));
    QVERIFY(view.findNext(SearchDirection::Forward));
    QCOMPARE(selectedId(view), QString("$[2500].v"));
    const int top = JSONTreeView::padding + int(*view.selectedRow()) * view.rowHeight();
    const int scroll = view.verticalScrollBar()->value();
    QVERIFY(top >= scroll && top + view.rowHeight() <= scroll + view.viewport()->height());
}

void TestFindViews::treeFollowsANewerResult()
{
    JSONTreeView view;
    view.setResult(JSONTreeBuilder::build(uR"(["a","b"])"));
    view.setSearch(matcher("a"));
    QCOMPARE(view.matchCount(), std::size_t(1));
    QSignalSpy changed(&view, &JSONTreeView::searchChanged);
    view.setResult(JSONTreeBuilder::build(uR"(["a","b","ab"])"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(view.matchCount(), std::size_t(2));
    view.setResult(JSONTreeBuilder::build(u"[,"));
    QCOMPARE(view.matchCount(), std::size_t(0));
    QVERIFY(!view.findNext(SearchDirection::Forward));
}

void TestFindViews::previewScrollsToAndMarksTheMatch()
{
    MarkdownView view;
    view.resize(500, 400);
    view.setBlocks(MDBlock::parse(sections(200, {150}).toStdU16String()));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy scrolled(&view, &MarkdownView::topBlockChanged);
    view.setSearch(matcher("needle"));
    QCOMPARE(view.matchCount(), std::size_t(1));
    QCOMPARE(view.blockAtTop(), std::size_t(0));
    QVERIFY(view.findNext(SearchDirection::Forward));
    QCOMPARE(view.currentMatchNumber(), std::size_t(1));
    // The paragraph of section 150 (its third block) is in view, its match a third of the way
    // down, with the blocks leading up to it above.
    QVERIFY(view.blockAtTop() > 1100 && view.blockAtTop() < std::size_t(150 * 8 + 2));
    const QRect match = view.currentMatchRect();
    QVERIFY(!match.isEmpty());
    QVERIFY(view.viewport()->rect().contains(match));
    QVERIFY2(std::abs(match.top() - view.viewport()->height() / 3) <= 1, qPrintable(QString::number(match.top())));
    QCOMPARE(scrolled.count(), 1);
    QVERIFY(hasMark(view.viewport()->grab().toImage(), match));
    // A match already in view does not scroll.
    QVERIFY(view.findNext(SearchDirection::Forward));
    QCOMPARE(scrolled.count(), 1);
    view.setSearch({});
    QVERIFY(!hasMark(view.viewport()->grab().toImage(), match));
}

void TestFindViews::previewWalksAndWraps()
{
    MarkdownView view;
    view.resize(500, 400);
    view.setBlocks(MDBlock::parse(u"one **needle** and a needle\n\n```\nneedle\n```\n\nstraw\n"));
    view.setSearch(matcher("Needle"));
    QCOMPARE(view.matchCount(), std::size_t(3));
    QStringList walked;
    for (int i = 0; i < 4; ++i) {
        view.findNext(SearchDirection::Forward);
        walked << QString("%1:%2").arg(view.matches()[view.currentMatchNumber() - 1].block)
                      .arg(view.matches()[view.currentMatchNumber() - 1].offset);
    }
    QCOMPARE(walked, (QStringList{"0:4", "0:17", "2:0", "0:4"}));
    view.findNext(SearchDirection::Backward);
    QCOMPARE(view.currentMatchNumber(), std::size_t(3));
}

void TestFindViews::previewStartsAtTheBlockInView()
{
    MarkdownView view;
    view.resize(500, 400);
    view.setBlocks(MDBlock::parse(sections(200, {10, 100, 190}).toStdU16String()));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.scrollToBlock(100 * 8);
    view.setSearch(matcher("needle"));
    QCOMPARE(view.matchCount(), std::size_t(3));
    view.findNext(SearchDirection::Forward);
    QCOMPARE(view.currentMatchNumber(), std::size_t(2));
    view.setSearch({});
    view.scrollToBlock(100 * 8);
    view.setSearch(matcher("needle"));
    // The current match is gone with its search; the find goes on from where it was.
    QCOMPARE(view.currentMatchNumber(), std::size_t(0));
    view.findNext(SearchDirection::Backward);
    QCOMPARE(view.currentMatchNumber(), std::size_t(1));
}

void TestFindViews::previewKeepsTheCurrentMatchAcrossParses()
{
    MarkdownView view;
    const QString text = sections(20, {3, 12});
    view.setBlocks(MDBlock::parse(text.toStdU16String()));
    view.setSearch(matcher("needle"));
    view.findNext(SearchDirection::Forward);
    view.findNext(SearchDirection::Forward);
    QCOMPARE(view.currentMatchNumber(), std::size_t(2));
    QSignalSpy changed(&view, &MarkdownView::searchChanged);
    view.setBlocks(MDBlock::parse(text.toStdU16String()));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(view.currentMatchNumber(), std::size_t(2));
    // A longer needle that still matches there keeps it too.
    view.setSearch(matcher("needle inside"));
    QCOMPARE(view.currentMatchNumber(), std::size_t(2));
    view.setBlocks(MDBlock::parse(sections(20, {3}).toStdU16String()));
    QCOMPARE(view.matchCount(), std::size_t(1));
    QCOMPARE(view.currentMatchNumber(), std::size_t(0));
}

QTEST_MAIN(TestFindViews)
#include "tst_findviews.moc"
