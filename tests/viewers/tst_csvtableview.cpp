// The CSV table's sorting by header click, its ragged-row tint and tooltip, and the delimiter
// picker, shown offscreen.
#include "viewers/csvdelimiterpicker.h"
#include "viewers/csvtableview.h"

#include "highlighting/qtcolor.h"

#include <QHBoxLayout>
#include <QHelpEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QToolTip>
#include <QtTest>

using namespace Viewers;

namespace {

// The colours the document window gives the table for `theme`.
void applyTheme(QWidget &widget, const Highlighting::Theme &theme)
{
    QPalette palette = widget.palette();
    const QColor fg = Highlighting::toQColor(theme.foreground());
    const QColor bg = Highlighting::toQColor(theme.background());
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Base, bg);
        palette.setColor(group, QPalette::Window, theme.isDark() ? bg.lighter(125) : bg.darker(105));
        palette.setColor(group, QPalette::Text, fg);
        palette.setColor(group, QPalette::WindowText, fg);
        palette.setColor(group, QPalette::Highlight, theme.isDark() ? QColor(60, 110, 200) : QColor(170, 200, 250));
    }
    widget.setPalette(palette);
}

QList<int> shownRows(const CSVTableView &view)
{
    QList<int> rows;
    for (std::size_t position = 0; position < view.table().rowCount(); ++position)
        rows << int(view.rowAt(position));
    return rows;
}

void clickHeader(CSVTableView &view, std::size_t column)
{
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.headerCellRect(column).center());
}

// Bands of viewport rows (top, height) below the header whose pixel at x differs from the
// base colour.
QList<QPair<int, int>> tintedBands(CSVTableView &view, int x)
{
    const QImage image = view.viewport()->grab().toImage();
    const QRgb base = view.palette().color(QPalette::Base).rgb();
    QList<QPair<int, int>> bands;
    int start = -1;
    for (int y = view.headerCellRect(0).bottom() + 1; y <= image.height(); ++y) {
        const bool tinted = y < image.height() && image.pixel(x, y) != base;
        if (tinted && start < 0)
            start = y;
        if (!tinted && start >= 0) {
            bands.append({start, y - start});
            start = -1;
        }
    }
    return bands;
}

const char16_t *const mixedTable = u"amount,name,note\n"
                                   u"10,pear,ok\n"
                                   u"9,apple,ok\n"
                                   u",fig\n"
                                   u"n/a,kiwi,ok\n"
                                   u"-2.5e1,Banana,ok,extra\n";

} // namespace

class TestCsvTableView : public QObject {
    Q_OBJECT

private slots:
    void headerClickCyclesSort_data();
    void headerClickCyclesSort();
    void clickingAnotherHeaderSortsItAscending();
    void reparseKeepsSort();
    void selectionFollowsItsRowThroughSorting();
    void raggedRowsTintedWithToolTip();
    void raggedTintShowsInEachTheme_data();
    void raggedTintShowsInEachTheme();
    void delimiterPickerLabelsAndChoice();
};

void TestCsvTableView::headerClickCyclesSort_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QList<int>>("ascending");
    QTest::addColumn<QList<int>>("descending");
    // Numbers first by value, then text, empty cells last in both directions.
    QTest::newRow("numbers") << 0 << QList<int>{4, 1, 0, 3, 2} << QList<int>{3, 0, 1, 4, 2};
    QTest::newRow("text") << 1 << QList<int>{1, 4, 2, 3, 0} << QList<int>{0, 3, 2, 4, 1};
}

void TestCsvTableView::headerClickCyclesSort()
{
    QFETCH(int, column);
    QFETCH(QList<int>, ascending);
    QFETCH(QList<int>, descending);
    CSVTableView view;
    view.resize(600, 300);
    view.setTable(CSVParser::parse(mixedTable));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy changes(&view, &CSVTableView::sortChanged);
    const QList<int> documentOrder{0, 1, 2, 3, 4};
    QCOMPARE(shownRows(view), documentOrder);

    clickHeader(view, std::size_t(column));
    QCOMPARE(view.sortColumn(), std::optional<std::size_t>(column));
    QCOMPARE(view.sortOrder(), CSVSortOrder::Ascending);
    QCOMPARE(shownRows(view), ascending);
    clickHeader(view, std::size_t(column));
    QCOMPARE(view.sortOrder(), CSVSortOrder::Descending);
    QCOMPARE(shownRows(view), descending);
    clickHeader(view, std::size_t(column));
    QCOMPARE(view.sortColumn(), std::nullopt);
    QCOMPARE(shownRows(view), documentOrder);
    QCOMPARE(changes.count(), 3);
    // The text is untouched, and a click below the header selects instead of sorting.
    QCOMPARE(view.table().cell(0, 0), std::u16string(u"10"));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                      view.headerCellRect(std::size_t(column)).center() + QPoint(0, 40));
    QCOMPARE(view.sortColumn(), std::nullopt);
    QVERIFY(view.selectedCell().has_value());
}

void TestCsvTableView::clickingAnotherHeaderSortsItAscending()
{
    CSVTableView view;
    view.resize(600, 300);
    view.setTable(CSVParser::parse(mixedTable));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    clickHeader(view, 0);
    clickHeader(view, 0);
    QCOMPARE(view.sortOrder(), CSVSortOrder::Descending);
    clickHeader(view, 2);
    QCOMPARE(view.sortColumn(), std::optional<std::size_t>(2));
    QCOMPARE(view.sortOrder(), CSVSortOrder::Ascending);
    // The header row of a table scrolled sideways still maps clicks to the right column.
    QVERIFY(view.headerCellRect(1).left() > view.headerCellRect(0).right() - CSVTableView::cellSpacing);
}

void TestCsvTableView::reparseKeepsSort()
{
    CSVTableView view;
    view.resize(600, 300);
    view.setTable(CSVParser::parse(mixedTable));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setSort(1, CSVSortOrder::Descending);
    QSignalSpy changes(&view, &CSVTableView::sortChanged);
    // An edit adds a row: the new table is shown sorted the same way.
    view.setTable(CSVParser::parse(u"amount,name\n1,b\n2,c\n3,a\n"));
    QCOMPARE(view.sortColumn(), std::optional<std::size_t>(1));
    QCOMPARE(view.sortOrder(), CSVSortOrder::Descending);
    QCOMPARE(shownRows(view), (QList<int>{1, 0, 2}));
    QCOMPARE(changes.count(), 0);
    // A table without that column drops the sort and says so.
    view.setTable(CSVParser::parse(u"amount\n3\n1\n"));
    QCOMPARE(view.sortColumn(), std::nullopt);
    QCOMPARE(shownRows(view), (QList<int>{0, 1}));
    QCOMPARE(changes.count(), 1);
}

void TestCsvTableView::selectionFollowsItsRowThroughSorting()
{
    std::u16string text = u"n,t\n";
    for (int i = 0; i < 300; ++i) {
        const std::string number = std::to_string(i);
        text += std::u16string(number.begin(), number.end()) + u",x\n";
    }
    CSVTableView view;
    view.resize(400, 240);
    view.setTable(CSVParser::parse(text));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setSelectedCell(CSVTableView::Cell{5, 0});
    view.setSort(0, CSVSortOrder::Descending);
    // Row 5 is now shown at position 294, scrolled into view, and still selected.
    QCOMPARE(view.selectedCell(), std::optional(CSVTableView::Cell{5, 0}));
    QCOMPARE(view.positionOf(5), std::size_t(294));
    view.grab();
    QVERIFY(view.firstVisibleRow() > 250);
    QCOMPARE(view.selectedText(), QString("5"));
    // Down moves to the row shown next (4), not to the next row of the document (6).
    QTest::keyClick(&view, Qt::Key_Down);
    QCOMPARE(view.selectedCell(), std::optional(CSVTableView::Cell{4, 0}));
    QTest::keyClick(&view, Qt::Key_Up);
    QTest::keyClick(&view, Qt::Key_Up);
    QCOMPARE(view.selectedCell(), std::optional(CSVTableView::Cell{6, 0}));
}

void TestCsvTableView::raggedRowsTintedWithToolTip()
{
    CSVTableView view;
    view.resize(600, 300);
    QSignalSpy counts(&view, &CSVTableView::raggedRowCountChanged);
    view.setTable(CSVParser::parse(u"a,b,c\n1,2,3\n4,5\n6,7,8\n9,9,9,9\n"));
    QCOMPARE(view.raggedRows(), (std::vector<std::size_t>{1, 3}));
    QCOMPARE(view.raggedRowCount(), std::size_t(2));
    QCOMPARE(counts.count(), 1);
    QCOMPARE(counts.takeFirst().at(0).value<qsizetype>(), qsizetype(2));
    view.setTable(CSVParser::parse(u"a,b,c\n1,2\n4,5\n"));
    QCOMPARE(counts.count(), 0); // Still two.
    view.setTable(CSVParser::parse(u"a,b,c\n1,2,3\n4,5\n6,7,8\n9,9,9,9\n"));
    QCOMPARE(counts.count(), 0);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    // Ragged rows 1 and 3 (counted from 0) carry the tint from the left edge; the others do
    // not.
    auto bands = tintedBands(view, 1);
    QCOMPARE(bands.size(), 2);
    QVERIFY(bands[0].second >= 10);
    QCOMPARE(bands[0].second, bands[1].second);
    QCOMPARE(bands[1].first, bands[0].first + 2 * bands[0].second);

    // The tooltip names the row (from 1) and both cell counts.
    const QPoint inside(200, bands[1].first + bands[1].second / 2);
    QHelpEvent help(QEvent::ToolTip, inside, view.viewport()->mapToGlobal(inside));
    QCoreApplication::sendEvent(view.viewport(), &help);
    QCOMPARE(QToolTip::text(), QString("Row 4 has 4 cells; the header has 3"));
    const QPoint even(200, bands[0].first + bands[0].second + bands[0].second / 2);
    QHelpEvent none(QEvent::ToolTip, even, view.viewport()->mapToGlobal(even));
    QCoreApplication::sendEvent(view.viewport(), &none);
    QTRY_VERIFY(!QToolTip::isVisible()); // Hidden after a short fade.

    // The tint follows its row when the rows are sorted: descending by a, row 3 (9) is first.
    view.setSort(0, CSVSortOrder::Descending);
    bands = tintedBands(view, 1);
    QCOMPARE(bands.size(), 2);
    QCOMPARE(view.rowAt(0), std::size_t(3));
    QCOMPARE(CSVTableView::raggedRowsNote(0), QString());
    QCOMPARE(CSVTableView::raggedRowsNote(1), QString("1 ragged row"));
    QCOMPARE(CSVTableView::raggedRowsNote(12), QString("12 ragged rows"));
}

void TestCsvTableView::raggedTintShowsInEachTheme_data()
{
    QTest::addColumn<QString>("theme");
    QTest::newRow("dark") << "vs-claude";
    QTest::newRow("light") << "vscode-light";
}

void TestCsvTableView::raggedTintShowsInEachTheme()
{
    QFETCH(QString, theme);
    const Highlighting::Theme &chosen = *Highlighting::Theme::byId(theme.toStdString());
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *bar = new QHBoxLayout;
    auto *picker = new CSVDelimiterPicker(&window);
    picker->setTheme(chosen);
    picker->setDetectedDelimiter(u';');
    bar->addStretch();
    bar->addWidget(picker);
    layout->addLayout(bar);
    auto *view = new CSVTableView(&window);
    layout->addWidget(view);
    applyTheme(window, chosen);
    window.resize(720, 320);
    view->setTable(CSVParser::parse(u"city;population;area km²;note\n"
                                    u"Bergen;285900;465;rainy\n"
                                    u"Oslo;709000;454;capital\n"
                                    u"Tromsø;77500\n"
                                    u"Trondheim;212700;342;\"old; wooden\"\n"
                                    u"Stavanger;n/a;71;oil\n"
                                    u"Bodø;53700;1395;north;extra\n",
                                    u";"));
    view->setSort(1, CSVSortOrder::Descending);
    view->setSelectedCell(CSVTableView::Cell{1, 0});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    view->setFocus();
    QCOMPARE(view->raggedRowCount(), std::size_t(2));
    // The tint is visible over this theme's background.
    const QImage image = view->viewport()->grab().toImage();
    bool tinted = false;
    for (int y = 0; y < image.height() && !tinted; ++y)
        tinted = image.pixel(1, y) != view->palette().color(QPalette::Base).rgb();
    QVERIFY(tinted);
}

void TestCsvTableView::delimiterPickerLabelsAndChoice()
{
    CSVDelimiterPicker picker;
    QSignalSpy chosen(&picker, &CSVDelimiterPicker::choiceActivated);
    QCOMPARE(picker.choice(), CSVDelimiterChoice::Auto);
    QCOMPARE(picker.currentLabel(), QString("Auto (,)"));
    picker.setDetectedDelimiter(u'\t');
    QCOMPARE(picker.currentLabel(), QString("Auto (Tab)"));
    const int width = picker.sizeHint().width();
    picker.setDetectedDelimiter(u'|');
    QCOMPARE(picker.currentLabel(), QString("Auto (|)"));

    QStringList labels;
    for (QAction *action : picker.menu()->actions()) {
        if (!action->isSeparator())
            labels << action->text();
    }
    QCOMPARE(labels, (QStringList{"Auto (|)", "Comma", "Semicolon", "Tab", "Pipe"}));

    // Choosing from the menu emits; setting from code does not.
    QList<QAction *> actions;
    for (QAction *action : picker.menu()->actions()) {
        if (!action->isSeparator())
            actions << action;
    }
    actions[2]->trigger();
    QCOMPARE(picker.choice(), CSVDelimiterChoice::Semicolon);
    QCOMPARE(picker.currentLabel(), QString("Semicolon"));
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.at(0).at(0).value<CSVDelimiterChoice>(), CSVDelimiterChoice::Semicolon);
    QVERIFY(actions[2]->isChecked());
    QVERIFY(!actions[0]->isChecked());
    picker.setChoice(CSVDelimiterChoice::Tab);
    QCOMPARE(chosen.count(), 1);
    QVERIFY(actions[3]->isChecked());
    // The width fits the longest label whatever the choice.
    QVERIFY(width >= QFontMetrics(picker.font()).horizontalAdvance("Semicolon"));
}

QTEST_MAIN(TestCsvTableView)
#include "tst_csvtableview.moc"
