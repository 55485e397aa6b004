// The three views, shown offscreen on real files.
#include "viewers/csvtableview.h"
#include "viewers/jsontreeview.h"
#include "viewers/markdownview.h"

#include "highlighting/qtcolor.h"

#include <QClipboard>
#include <QScrollBar>
#include <QStackedWidget>
#include <QtTest>

using namespace Viewers;

namespace {

std::u16string readFixture(const QString &name)
{
    QFile file(QStringLiteral(CORVANE_FIXTURES "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).toStdU16String();
}

QString q(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

QStringList rowIds(const JSONTreeView &view)
{
    QStringList ids;
    for (const auto &row : view.rows())
        ids << q(row.id());
    return ids;
}

} // namespace

class TestViewerWidgets : public QObject {
    Q_OBJECT

private slots:
    void csvShowsFixture();
    void csvEmptyState();
    void csvMillionRowsMeasuresOnlyVisible();
    void csvClickSelectsAndCopies();
    void csvLongCellIsCut();
    void csvArrowKeysMoveSelectionIntoView();
    void jsonDefaultRowsAndToggle();
    void jsonExpansionKeptAcrossResults();
    void jsonInvalidResetsExpansion();
    void jsonHidingResetsExpansion();
    void jsonInvalidPanelAndEmptyArea();
    void jsonKeyboard();
    void markdownFontsFollowSize_data();
    void markdownFontsFollowSize();
    void markdownShowsFixture();
    void markdownManyBlocksLaysOutOnlyVisible();
    void markdownLinkClick();
    void markdownScrollToBlock_data();
    void markdownScrollToBlock();
    void markdownUserScrollEmitsTopBlock();
    void markdownTopBlockQuietWithoutUser();
};

void TestViewerWidgets::csvShowsFixture()
{
    CSVTableView view;
    view.resize(760, 300);
    view.setTable(CSVParser::parse(readFixture("csv/people.csv")));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.columnCount(), std::size_t(5));
    QCOMPARE(view.columnWidths(), (std::vector<double>{80, 80, 101, 177.5, 80}));
    // The wrapped quoted cell makes its row taller than a one-line row.
    QImage image = view.grab().toImage();
    QVERIFY(!image.isNull());
    QCOMPARE(view.measuredRowCount(), std::size_t(5));

    // Long prose wraps within its 420-point column and the row grows to hold it.
    std::u16string wide = u"id,summary,status\n1,";
    for (int i = 0; i < 12; ++i)
        wide += u"The quick brown fox jumps over the lazy dog. ";
    wide += u",done\n2,short,open\n";
    view.setTable(CSVParser::parse(wide));
    view.grab();
    QCOMPARE(view.columnWidths()[1], 420.0);
}

void TestViewerWidgets::csvEmptyState()
{
    CSVTableView view;
    view.resize(400, 300);
    view.setTable(CSVParser::parse(u"\n\n"));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.columnCount(), std::size_t(0));
    // Nothing but the panel: the middle of the view holds the icon's ink, the corners none.
    const QImage image = view.grab().toImage();
    const QColor corner = image.pixelColor(5, 5);
    bool ink = false;
    for (int y = 0; y < image.height() && !ink; ++y)
        ink = image.pixelColor(image.width() / 2, y) != corner;
    QVERIFY(ink);
}

void TestViewerWidgets::csvMillionRowsMeasuresOnlyVisible()
{
    std::u16string text = u"id,name,value\n";
    text.reserve(24'000'000);
    for (int i = 0; i < 1'000'000; ++i) {
        const std::string row = std::to_string(i) + ",name " + std::to_string(i) + "," + std::to_string(i * 7) + "\n";
        text.append(row.begin(), row.end());
    }
    CSVTableView view;
    view.resize(600, 400);
    view.setTable(CSVParser::parse(text));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.grab();
    QVERIFY(view.measuredRowCount() < 40);
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
    view.grab();
    QVERIFY(view.firstVisibleRow() > 400'000);
    QVERIFY(view.measuredRowCount() < 80);
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    view.grab();
    QVERIFY(view.firstVisibleRow() > 999'950);
}

void TestViewerWidgets::csvClickSelectsAndCopies()
{
    CSVTableView view;
    view.resize(760, 300);
    view.setTable(CSVParser::parse(readFixture("csv/people.csv")));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.grab();
    // Row 1 (Bob), column 3 (the note): click inside that cell.
    const int x = CSVTableView::padding + 80 + 80 + 101 + 3 * CSVTableView::cellSpacing + 10;
    int y = 0;
    for (int probe = 0; probe < 300 && !y; ++probe) {
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(x, probe));
        if (view.selectedCell() && view.selectedCell()->row == 1)
            y = probe;
    }
    QVERIFY(y > 0);
    QCOMPARE(view.selectedCell()->column, std::size_t(3));
    QCOMPARE(view.selectedText(), QString("says \"hello\", twice"));
    QTest::keySequence(&view, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("says \"hello\", twice"));
}

void TestViewerWidgets::csvLongCellIsCut()
{
    // One unterminated quote turns 4 MB into one cell; showing it must stay quick.
    std::u16string text = u"a,b\n\"";
    text.append(4'000'000, u'x');
    CSVTableView view;
    view.resize(600, 400);
    view.setTable(CSVParser::parse(text));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.grab();
    QCOMPARE(view.measuredRowCount(), std::size_t(1));
    QCOMPARE(view.table().cell(0, 0).size(), std::size_t(4'000'000));
}

void TestViewerWidgets::csvArrowKeysMoveSelectionIntoView()
{
    std::u16string text = u"a,b,c\n";
    for (int i = 0; i < 1000; ++i)
        text += u"1,2,3\n";
    CSVTableView view;
    view.resize(220, 200);
    view.setTable(CSVParser::parse(text));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTest::keyClick(&view, Qt::Key_Down);
    QCOMPARE(view.selectedCell(), std::optional<CSVTableView::Cell>(CSVTableView::Cell{0, 0}));
    for (int i = 0; i < 40; ++i)
        QTest::keyClick(&view, Qt::Key_Down);
    QTest::keyClick(&view, Qt::Key_Right);
    QTest::keyClick(&view, Qt::Key_Right);
    QTest::keyClick(&view, Qt::Key_Right); // Stops at the last column.
    QCOMPARE(view.selectedCell(), std::optional<CSVTableView::Cell>(CSVTableView::Cell{40, 2}));
    view.grab();
    QVERIFY(view.firstVisibleRow() > 20);
    QVERIFY(view.firstVisibleRow() <= 40);
    QVERIFY(view.horizontalScrollBar()->value() > 0);
    // A newer parse keeps the place and the selection; a shorter table drops what is gone.
    const std::size_t top = view.firstVisibleRow();
    const int left = view.horizontalScrollBar()->value();
    view.setTable(CSVParser::parse(text));
    view.grab();
    QCOMPARE(view.firstVisibleRow(), top);
    QCOMPARE(view.horizontalScrollBar()->value(), left);
    QCOMPARE(view.selectedCell(), std::optional<CSVTableView::Cell>(CSVTableView::Cell{40, 2}));
    view.setTable(CSVParser::parse(u"a,b\n1,2\n"));
    view.grab();
    QCOMPARE(view.selectedCell(), std::nullopt);
    QCOMPARE(view.firstVisibleRow(), std::size_t(0));
}

void TestViewerWidgets::jsonDefaultRowsAndToggle()
{
    JSONTreeView view;
    view.resize(500, 400);
    view.setResult(JSONTreeBuilder::build(u"{\"zeta\":5,\"Alpha\":[],\"beta\":{\"inner\":1}}"));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(rowIds(view), (QStringList{"$", "$.Alpha", "$.beta", "$.beta.inner", "$.zeta"}));
    // Click the chevron of the root row.
    const int rowHeight = view.rowHeight();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                      QPoint(JSONTreeView::padding + JSONTreeView::chevronWidth / 2, JSONTreeView::padding + rowHeight / 2));
    QCOMPARE(rowIds(view), (QStringList{"$"}));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                      QPoint(JSONTreeView::padding + JSONTreeView::chevronWidth / 2, JSONTreeView::padding + rowHeight / 2));
    QCOMPARE(rowIds(view).size(), 5);
    // Alpha (empty) has no chevron: clicking where it would be only selects the row.
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                      QPoint(JSONTreeView::padding + JSONTreeView::indentPerLevel + 6, JSONTreeView::padding + rowHeight + rowHeight / 2));
    QCOMPARE(rowIds(view).size(), 5);
    QCOMPARE(view.selectedRow(), std::optional<std::size_t>(1));
    // A double click on beta's key collapses it.
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {},
                       QPoint(JSONTreeView::padding + JSONTreeView::indentPerLevel + 30, JSONTreeView::padding + 2 * rowHeight + rowHeight / 2));
    QCOMPARE(rowIds(view), (QStringList{"$", "$.Alpha", "$.beta", "$.zeta"}));
}

void TestViewerWidgets::jsonExpansionKeptAcrossResults()
{
    JSONTreeView view;
    view.setResult(JSONTreeBuilder::build(u"{\"a\":{\"b\":{\"c\":1}}}"));
    view.toggle(u"$.a.b");
    QCOMPARE(rowIds(view), (QStringList{"$", "$.a", "$.a.b", "$.a.b.c"}));
    view.setResult(JSONTreeBuilder::build(u"{\"a\":{\"b\":{\"c\":1,\"d\":2}},\"e\":{\"f\":0}}"));
    QCOMPARE(rowIds(view), (QStringList{"$", "$.a", "$.a.b", "$.a.b.c", "$.a.b.d", "$.e"}));
}

void TestViewerWidgets::jsonInvalidResetsExpansion()
{
    JSONTreeView view;
    view.setResult(JSONTreeBuilder::build(u"{\"a\":{\"b\":{\"c\":1}}}"));
    view.toggle(u"$.a.b");
    view.setResult(JSONTreeBuilder::build(u"{"));
    QVERIFY(view.rows().empty());
    view.setResult(JSONTreeBuilder::build(u"{\"a\":{\"b\":{\"c\":1}}}"));
    QCOMPARE(rowIds(view), (QStringList{"$", "$.a", "$.a.b"}));
}

void TestViewerWidgets::jsonHidingResetsExpansion()
{
    QStackedWidget stack;
    auto *other = new QWidget;
    auto *view = new JSONTreeView;
    stack.addWidget(view);
    stack.addWidget(other);
    stack.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stack));
    view->setResult(JSONTreeBuilder::build(u"{\"a\":{\"b\":{\"c\":1}}}"));
    view->toggle(u"$.a.b");
    QCOMPARE(view->rows().size(), std::size_t(4));
    stack.setCurrentWidget(other);
    stack.setCurrentWidget(view);
    QCOMPARE(rowIds(*view), (QStringList{"$", "$.a", "$.a.b"}));
}

void TestViewerWidgets::jsonInvalidPanelAndEmptyArea()
{
    JSONTreeView view;
    view.resize(520, 300);
    view.setTheme(*Highlighting::Theme::byId("solarized-light"));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    // No result: only the theme's background.
    const QImage empty = view.grab().toImage();
    const QColor background = Highlighting::toQColor(Highlighting::Theme::byId("solarized-light")->background());
    QCOMPARE(empty.pixelColor(empty.width() / 2, empty.height() / 2).name(), background.name());
    view.setResult(JSONTreeBuilder::build(u"{\"a\": tru}"));
    QVERIFY(!view.result()->isOk());
    const QImage invalid = view.grab().toImage();
    bool ink = false;
    for (int y = 0; y < invalid.height() && !ink; ++y)
        ink = invalid.pixelColor(invalid.width() / 2, y).name() != background.name();
    QVERIFY(ink);
}

void TestViewerWidgets::jsonKeyboard()
{
    JSONTreeView view;
    view.resize(500, 400);
    view.setResult(JSONTreeBuilder::build(readFixture("json/catalog.json")));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setSelectedRow(5); // $.books
    QCOMPARE(q(view.rows()[5].id()), QString("$.books"));
    QTest::keyClick(&view, Qt::Key_Left);
    QCOMPARE(view.rows().size(), std::size_t(11));
    QTest::keyClick(&view, Qt::Key_Right);
    QCOMPARE(view.rows().size(), std::size_t(13));
    QTest::keyClick(&view, Qt::Key_Down);
    QTest::keyClick(&view, Qt::Key_Return);
    QCOMPARE(view.rows().size(), std::size_t(16));
    QTest::keySequence(&view, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("{3}"));
}

void TestViewerWidgets::markdownFontsFollowSize_data()
{
    QTest::addColumn<double>("size");
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<double>("expected");
    QTest::newRow("S12_code11") << 12.0 << "```\nx\n```" << 11.0;
    QTest::newRow("S12_h2_20") << 12.0 << "## t" << 20.0;
    QTest::newRow("S13_h1_25") << 13.0 << "# t" << 25.0;
    QTest::newRow("S13_h4_16") << 13.0 << "#### t" << 16.0;
    QTest::newRow("S13_h6_14") << 13.0 << "###### t" << 14.0;
    QTest::newRow("S13_paragraph13") << 13.0 << "p" << 13.0;
    QTest::newRow("S20_quote20") << 20.0 << "> q" << 20.0;
}

void TestViewerWidgets::markdownFontsFollowSize()
{
    QFETCH(double, size);
    QFETCH(QString, markdown);
    QFETCH(double, expected);
    MarkdownView view;
    view.setFontSize(size);
    const auto blocks = MDBlock::parse(markdown.toStdU16String());
    QCOMPARE(view.blockFont(blocks[0]).pointSizeF(), expected);
    // The bullet does not scale with S.
    QCOMPARE(view.bulletFont().pointSizeF(),
             std::max(QApplication::font().pointSizeF(), MarkdownView::defaultBulletPointSize));
}

void TestViewerWidgets::markdownShowsFixture()
{
    MarkdownView view;
    view.resize(640, 620);
    view.setFontSize(13);
    view.setBlocks(MDBlock::parse(readFixture("md/guide.md")));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setTheme(*Highlighting::Theme::byId("novel"));
    const QImage image = view.grab().toImage();
    QCOMPARE(image.pixelColor(3, 3).name(),
             Highlighting::toQColor(Highlighting::Theme::byId("novel")->background()).name());
    QCOMPARE(view.measuredRowCount(), view.blocks().size());
}

void TestViewerWidgets::markdownManyBlocksLaysOutOnlyVisible()
{
    QString text;
    for (int i = 0; i < 20'000; ++i)
        text += QString("## Section %1\nSome *prose* for section %1 with `code`.\n- item\n\n").arg(i);
    MarkdownView view;
    view.resize(600, 500);
    view.setBlocks(MDBlock::parse(text.toStdU16String()));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.grab();
    QVERIFY(view.measuredRowCount() < 60);
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    view.grab();
    QVERIFY(view.firstVisibleRow() > 79'000);
    QVERIFY(view.measuredRowCount() < 150);
    // A newer parse of the same text keeps the reader's place.
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
    view.grab();
    const std::size_t row = view.firstVisibleRow();
    const std::int64_t offset = view.firstVisibleRowOffset();
    view.setBlocks(MDBlock::parse(text.toStdU16String()));
    view.grab();
    QCOMPARE(view.firstVisibleRow(), row);
    QCOMPARE(view.firstVisibleRowOffset(), offset);
}

void TestViewerWidgets::markdownLinkClick()
{
    MarkdownView view;
    view.resize(640, 620);
    view.setOpensLinks(false);
    view.setBlocks(MDBlock::parse(readFixture("md/guide.md")));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.grab();
    QPoint found;
    QStringList targets;
    for (int y = 0; y < 620; y += 2) {
        for (int x = 0; x < 640; x += 3) {
            if (const auto target = view.linkAt(QPoint(x, y))) {
                if (found.isNull())
                    found = QPoint(x, y);
                if (!targets.contains(*target))
                    targets << *target;
            }
        }
    }
    QCOMPARE(targets, QStringList{"https://example.com"});
    QSignalSpy spy(&view, &MarkdownView::linkActivated);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, found);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QString("https://example.com"));
    // Plain text beside the link is not a link.
    QVERIFY(!view.linkAt(QPoint(MarkdownView::horizontalPadding + 2, found.y())));
}

namespace {

// Sections of a heading, a three-line paragraph, a code block and a blank: blocks of very
// different heights.
QString sectionedMarkdown(int sections)
{
    QString text;
    for (int i = 0; i < sections; ++i)
        text += QString("## Section %1\nFirst line of prose\nsecond line\nthird line.\n```\ncode %1\nmore\n```\n\n")
                    .arg(i);
    return text;
}

} // namespace

void TestViewerWidgets::markdownScrollToBlock_data()
{
    QTest::addColumn<int>("block");
    QTest::addColumn<double>("fraction");
    QTest::newRow("top_paddingShows") << 0 << 0.0;
    QTest::newRow("halfIntoFirstHeading") << 0 << 0.5;
    QTest::newRow("heading") << 40 << 0.0;
    QTest::newRow("paragraphQuarter") << 41 << 0.25;
    QTest::newRow("codeThreeQuarters") << 82 << 0.75;
    QTest::newRow("blank") << 123 << 0.0;
}

void TestViewerWidgets::markdownScrollToBlock()
{
    QFETCH(int, block);
    QFETCH(double, fraction);
    MarkdownView view;
    view.resize(500, 400);
    view.setBlocks(MDBlock::parse(sectionedMarkdown(200).toStdU16String()));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy spy(&view, &MarkdownView::topBlockChanged);
    view.scrollToBlock(std::size_t(block), fraction);
    view.grab();
    QCOMPARE(view.blockAtTop(), std::size_t(block));
    // Within a pixel of the block's (measured) height.
    QVERIFY2(std::abs(view.blockAtTopFraction() - fraction) < 0.05,
             qPrintable(QString::number(view.blockAtTopFraction())));
    if (block == 0 && fraction == 0)
        QCOMPARE(view.verticalScrollBar()->value(), 0);
    QCOMPARE(spy.count(), 0);
    // Out of range: clamped, never past the list; the last blocks are on screen (a few blocks
    // of 400 pixels: rows measured above the end may still move it by a few pixels).
    view.scrollToBlock(1'000'000, 3.0);
    view.grab();
    QVERIFY(view.blockAtTop() + 20 > view.blocks().size());
    QVERIFY(view.blockAtTop() < view.blocks().size());
    QCOMPARE(spy.count(), 0);
}

void TestViewerWidgets::markdownUserScrollEmitsTopBlock()
{
    MarkdownView view;
    view.resize(500, 400);
    view.setBlocks(MDBlock::parse(sectionedMarkdown(200).toStdU16String()));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.grab();
    QSignalSpy spy(&view, &MarkdownView::topBlockChanged);

    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<std::size_t>(), view.blockAtTop());
    QCOMPARE(spy.at(0).at(1).toDouble(), view.blockAtTopFraction());
    QVERIFY(view.blockAtTop() > 100);

    // A wheel step moves within or across blocks: one signal per step.
    QWheelEvent wheel(QPointF(100, 100), view.viewport()->mapToGlobal(QPointF(100, 100)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &wheel);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).value<std::size_t>(), view.blockAtTop());

    QTest::keyClick(&view, Qt::Key_PageDown);
    QCOMPARE(spy.count(), 3);

    // Painting, which measures rows and may re-set the scroll bar, is no scroll.
    view.grab();
    view.grab();
    QCOMPARE(spy.count(), 3);
}

void TestViewerWidgets::markdownTopBlockQuietWithoutUser()
{
    MarkdownView view;
    view.resize(500, 400);
    const std::u16string text = sectionedMarkdown(200).toStdU16String();
    view.setBlocks(MDBlock::parse(text));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.scrollToBlock(300, 0.5);
    QSignalSpy spy(&view, &MarkdownView::topBlockChanged);
    view.setBlocks(MDBlock::parse(text));
    view.grab();
    view.setFontSize(18);
    view.grab();
    view.resize(300, 500);
    // The view is resized at once; the window system's answer to the new size arrives here.
    QCoreApplication::processEvents();
    view.grab();
    view.setTheme(*Highlighting::Theme::byId("novel"));
    view.grab();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(view.blockAtTop(), std::size_t(300));
    // Scrolled to the very end, new measurements pull the top up without a signal either.
    view.scrollToBlock(view.blocks().size() - 1, 1.0);
    view.setFontSize(10);
    view.grab();
    QCOMPARE(spy.count(), 0);
}

QTEST_MAIN(TestViewerWidgets)
#include "tst_viewers_widgets.moc"
