// Find in every view mode, through a real document window with the application's menus,
// offscreen: keys go to whatever has the focus, as a user's would. Ctrl+F over the CSV table, the
// JSON tree and the Markdown preview opens the content area's find bar; the text keeps its own.
#include "app/shell/commands.h"
#include "app/window/contentarea.h"
#include "app/window/contentfindbar.h"
#include "app/window/contentview.h"
#include "app/window/documentwindow.h"

#include "windowtestsupport.h"

#include "viewers/csvtableview.h"
#include "viewers/jsontreeview.h"
#include "viewers/markdownview.h"

#include "textview/stextview.h"
#include "textview/stfindbar_p.h"

#include "base/notificationcenter.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QtTest>

using namespace App;

Q_DECLARE_METATYPE(App::ViewMode)

namespace {

void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClick(focus, Qt::Key(key), modifiers);
}

void typeIntoFocus(const QString &text)
{
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClicks(focus, text);
}

QString cellName(const Viewers::CSVTableView *table)
{
    const auto cell = table->selectedCell();
    if (!cell)
        return "none";
    return cell->row == Viewers::CSVTableView::Cell::headerRow ? QString("h:%1").arg(cell->column)
                                                               : QString("%1:%2").arg(cell->row).arg(cell->column);
}

QString selectedId(const Viewers::JSONTreeView *tree)
{
    if (!tree->selectedRow())
        return "none";
    const std::u16string id = tree->rows()[*tree->selectedRow()].id();
    return QString::fromStdU16String(id);
}

bool isWithin(const QWidget *widget, const QWidget *ancestor)
{
    return widget && (widget == ancestor || ancestor->isAncestorOf(widget));
}

} // namespace

class TestFindModes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tableFindSelectsAndWalksTheMatchingCells();
    void tableFindFollowsTheSortAndTheCase();
    void tabCyclesWithinTheBarAndKeysStayThere();
    void findNextWorksWithTheBarClosed();
    void treeFindOpensWhatHoldsTheMatch();
    void previewFindScrollsToTheMatch();
    void splitFindsWhereTheFocusIs();
    void barsFitAHalfWindowPane();
    void textModeKeepsTheTextViewsFind();
    void leavingTheModeClosesTheBar();
    void whereNothingCanSearchTheTextIsShown_data();
    void whereNothingCanSearchTheTextIsShown();
    void onlyTheKeyWindowActs();

private:
    // A window with the application's menus, shown, active, showing `name` in `mode` with its
    // jobs done.
    DocumentWindow *openWindow(const QString &name, const QByteArray &bytes, std::optional<ViewMode> mode = {});
    ContentArea *area(DocumentWindow *window) const { return window->contentView()->contentArea(); }
    ContentFindBar *bar(DocumentWindow *window) const { return area(window)->findBar(); }

    std::unique_ptr<QTemporaryDir> m_folder;
    QTemporaryDir m_settings;
    std::vector<std::unique_ptr<DocumentWindow>> m_windows;
};

void TestFindModes::initTestCase()
{
    setUpWindowTests(m_settings.path(), "FindModes");
}

void TestFindModes::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
}

void TestFindModes::cleanup()
{
    m_windows.clear();
}

DocumentWindow *TestFindModes::openWindow(const QString &name, const QByteArray &bytes, std::optional<ViewMode> mode)
{
    auto window = std::make_unique<DocumentWindow>(ContentView::Options{true, {}, {}});
    installMenus(window.get(), {});
    window->resize(1100, 700);
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get()))
        return nullptr;
    ContentView *view = window->contentView();
    const QString file = writeFile(m_folder->filePath(name), bytes);
    view->loadPath(file);
    if (!waitForLoad(*view, file))
        return nullptr;
    if (mode)
        view->setMode(*mode);
    if (!waitForJobs(*view))
        return nullptr;
    m_windows.push_back(std::move(window));
    return m_windows.back().get();
}

void TestFindModes::tableFindSelectsAndWalksTheMatchingCells()
{
    QByteArray csv = "name,city,note\n";
    for (int i = 0; i < 300; ++i)
        csv += i == 40 ? "Bob,Oslo,x\n" : i == 250 ? "Ann,Bobbio,y\n" : "Eve,Rome,z\n";
    DocumentWindow *window = openWindow("people.csv", csv);
    QVERIFY(window);
    ContentView *view = window->contentView();
    QCOMPARE(view->mode(), ViewMode::Table);
    auto *table = area(window)->tableView();
    QCOMPARE(area(window)->visibleView(), table);
    table->setFocus(Qt::MouseFocusReason);
    const QString textBefore = QString::fromStdU16String(view->textView()->text());

    press(Qt::Key_F, Qt::ControlModifier);
    QVERIFY(bar(window)->isVisible());
    QCOMPARE(QApplication::focusWidget(), bar(window)->findField());
    // Above the table, in the area's own colours.
    QVERIFY(bar(window)->geometry().bottom() <= table->mapTo(bar(window)->parentWidget(), QPoint(0, 0)).y());

    typeIntoFocus("bob");
    QCOMPARE(cellName(table), QString("40:0"));
    QCOMPARE(bar(window)->countLabel()->text(), QString("1 of 2"));
    press(Qt::Key_Return);
    QCOMPARE(cellName(table), QString("250:1"));
    QCOMPARE(bar(window)->countLabel()->text(), QString("2 of 2"));
    // Row 250 is far below: it was brought into view.
    QVERIFY(table->firstVisibleRow() > 200);
    press(Qt::Key_Return);
    QCOMPARE(cellName(table), QString("40:0"));
    press(Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(cellName(table), QString("250:1"));
    // The menu's keys walk the same matches.
    press(Qt::Key_F3);
    QCOMPARE(cellName(table), QString("40:0"));
    press(Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(cellName(table), QString("250:1"));
    press(Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(cellName(table), QString("40:0"));
    press(Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(cellName(table), QString("250:1"));
    QCOMPARE(QApplication::focusWidget(), bar(window)->findField());

    typeIntoFocus("zz");
    QCOMPARE(bar(window)->countLabel()->text(), QString("No matches"));
    QCOMPARE(cellName(table), QString("250:1"));

    press(Qt::Key_Escape);
    QVERIFY(!bar(window)->isVisible());
    QCOMPARE(QApplication::focusWidget(), table);
    QCOMPARE(table->matchCount(), std::size_t(0));
    // Nothing reached the text behind.
    QCOMPARE(QString::fromStdU16String(view->textView()->text()), textBefore);
    QVERIFY(!view->isDirty());
    // Opened again, the bar keeps the last needle, selected, and finds it at once.
    press(Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(bar(window)->findField()->text(), QString("bobzz"));
    QCOMPARE(bar(window)->findField()->selectedText(), QString("bobzz"));
    QCOMPARE(bar(window)->countLabel()->text(), QString("No matches"));
}

void TestFindModes::tableFindFollowsTheSortAndTheCase()
{
    DocumentWindow *window = openWindow("sorted.csv", "word,n\nbeta,2\nAlpha,3\ngamma,1\nALPHA,4\n");
    QVERIFY(window);
    auto *table = area(window)->tableView();
    table->setSort(1, Viewers::CSVSortOrder::Descending); // ALPHA, Alpha, beta, gamma
    table->setFocus(Qt::MouseFocusReason);
    press(Qt::Key_F, Qt::ControlModifier);
    typeIntoFocus("alpha");
    QCOMPARE(cellName(table), QString("3:0"));
    QCOMPARE(bar(window)->countLabel()->text(), QString("1 of 2"));
    press(Qt::Key_Return);
    QCOMPARE(cellName(table), QString("1:0"));
    // Matching case leaves one.
    QTest::mouseClick(bar(window)->caseBox(), Qt::LeftButton, {}, QPoint(6, bar(window)->caseBox()->height() / 2));
    QVERIFY(bar(window)->caseBox()->isChecked());
    QCOMPARE(bar(window)->countLabel()->text(), QString("No matches"));
    bar(window)->findField()->setFocus();
    press(Qt::Key_Backspace);
    typeIntoFocus("A");
    QCOMPARE(bar(window)->findField()->text(), QString("alphA"));
    QCOMPARE(bar(window)->countLabel()->text(), QString("No matches"));
    bar(window)->findField()->selectAll();
    typeIntoFocus("ALPHA");
    QCOMPARE(cellName(table), QString("3:0"));
    QCOMPARE(bar(window)->countLabel()->text(), QString("1 of 1"));
    // The header is searched too.
    bar(window)->findField()->selectAll();
    typeIntoFocus("WORD");
    QCOMPARE(bar(window)->countLabel()->text(), QString("No matches"));
    bar(window)->findField()->selectAll();
    typeIntoFocus("word");
    QCOMPARE(cellName(table), QString("h:0"));
}

void TestFindModes::tabCyclesWithinTheBarAndKeysStayThere()
{
    DocumentWindow *window = openWindow("tab.csv", "a,b\nx,y\nx,z\n");
    QVERIFY(window);
    auto *table = area(window)->tableView();
    table->setFocus(Qt::MouseFocusReason);
    press(Qt::Key_F, Qt::ControlModifier);
    typeIntoFocus("x");
    QCOMPARE(cellName(table), QString("0:0"));
    QList<QWidget *> visited;
    for (int i = 0; i < 5; ++i) {
        press(Qt::Key_Tab);
        visited << QApplication::focusWidget();
    }
    for (QWidget *widget : visited)
        QVERIFY(isWithin(widget, bar(window)));
    QCOMPARE(visited.last(), bar(window)->findField());
    QCOMPARE(visited.at(1)->objectName(), QString("findNext"));
    press(Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("findDone"));
    press(Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), bar(window)->caseBox());
    // Keys a control leaves alone stop at the bar: the table's selection and the text stay.
    press(Qt::Key_X);
    press(Qt::Key_PageDown);
    press(Qt::Key_Delete);
    QCOMPARE(cellName(table), QString("0:0"));
    QCOMPARE(table->firstVisibleRow(), std::size_t(0));
    QCOMPARE(QApplication::focusWidget(), bar(window)->caseBox());
    // Return on a focused button presses it.
    press(Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("findNext"));
    press(Qt::Key_Return);
    QCOMPARE(cellName(table), QString("1:0"));
    // Done closes the bar and gives the table the keys back.
    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("findDone"));
    press(Qt::Key_Space);
    QVERIFY(!bar(window)->isVisible());
    QCOMPARE(QApplication::focusWidget(), table);
    QVERIFY(!window->contentView()->isDirty());
}

void TestFindModes::findNextWorksWithTheBarClosed()
{
    DocumentWindow *window = openWindow("next.csv", "a\nhit\nmiss\nhit\n");
    QVERIFY(window);
    auto *table = area(window)->tableView();
    table->setFocus(Qt::MouseFocusReason);
    press(Qt::Key_F3); // Nothing to look for yet.
    QCOMPARE(cellName(table), QString("none"));
    press(Qt::Key_F, Qt::ControlModifier);
    typeIntoFocus("hit");
    press(Qt::Key_Escape);
    QCOMPARE(QApplication::focusWidget(), table);
    QCOMPARE(cellName(table), QString("0:0"));
    press(Qt::Key_F3);
    QCOMPARE(cellName(table), QString("2:0"));
    QVERIFY(!bar(window)->isVisible());
    QCOMPARE(table->matchCount(), std::size_t(2));
    press(Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(cellName(table), QString("0:0"));
    // Escape takes the marks away again.
    press(Qt::Key_Escape);
    QCOMPARE(table->matchCount(), std::size_t(0));
}

void TestFindModes::treeFindOpensWhatHoldsTheMatch()
{
    DocumentWindow *window = openWindow(
        "tree.json", R"({"config":{"server":{"tls":{"cipher":"chacha"}}},"name":"Chacha Tea","zeta":[1,2]})",
        ViewMode::Tree);
    QVERIFY(window);
    auto *tree = area(window)->treeView();
    QCOMPARE(area(window)->visibleView(), tree);
    QVERIFY(!tree->isExpanded(u"$.config.server"));
    tree->setFocus(Qt::MouseFocusReason);
    press(Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), bar(window)->findField());
    typeIntoFocus("CHACHA");
    QCOMPARE(selectedId(tree), QString("$.config.server.tls.cipher"));
    QVERIFY(tree->isExpanded(u"$.config.server"));
    QVERIFY(tree->isExpanded(u"$.config.server.tls"));
    QCOMPARE(bar(window)->countLabel()->text(), QString("1 of 2"));
    press(Qt::Key_Return);
    QCOMPARE(selectedId(tree), QString("$.name"));
    press(Qt::Key_Return);
    QCOMPARE(selectedId(tree), QString("$.config.server.tls.cipher"));
    // Keys are searched as well as values; array positions and child counts are not.
    bar(window)->findField()->selectAll();
    typeIntoFocus("tls");
    QCOMPARE(selectedId(tree), QString("$.config.server.tls"));
    bar(window)->findField()->selectAll();
    typeIntoFocus("[1");
    QCOMPARE(bar(window)->countLabel()->text(), QString("No matches"));
    press(Qt::Key_Escape);
    QVERIFY(!bar(window)->isVisible());
    QCOMPARE(QApplication::focusWidget(), tree);
}

void TestFindModes::previewFindScrollsToTheMatch()
{
    QByteArray markdown;
    for (int i = 0; i < 120; ++i)
        markdown += QString("## Part %1\n\nSome *prose* about %2.\n\n").arg(i).arg(i == 100 ? "the needle" : "hay").toUtf8();
    DocumentWindow *window = openWindow("notes.md", markdown);
    QVERIFY(window);
    QCOMPARE(window->contentView()->mode(), ViewMode::Preview);
    auto *preview = area(window)->markdownView();
    QCOMPARE(area(window)->visibleView(), preview);
    preview->setFocus(Qt::MouseFocusReason);
    QCOMPARE(preview->blockAtTop(), std::size_t(0));
    press(Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), bar(window)->findField());
    typeIntoFocus("the needle");
    QCOMPARE(bar(window)->countLabel()->text(), QString("1 of 1"));
    QVERIFY(preview->blockAtTop() > 300);
    QVERIFY(preview->viewport()->rect().contains(preview->currentMatchRect()));
    // Emphasis marks are not part of what the preview shows.
    bar(window)->findField()->selectAll();
    typeIntoFocus("*prose*");
    QCOMPARE(bar(window)->countLabel()->text(), QString("No matches"));
    bar(window)->findField()->selectAll();
    typeIntoFocus("prose about");
    QVERIFY(bar(window)->countLabel()->text().endsWith(" of 120"));
    QVERIFY(preview->viewport()->rect().contains(preview->currentMatchRect()));
    press(Qt::Key_Escape);
    QCOMPARE(QApplication::focusWidget(), preview);
    QCOMPARE(preview->matchCount(), std::size_t(0));
}

void TestFindModes::splitFindsWhereTheFocusIs()
{
    QByteArray markdown;
    for (int i = 0; i < 60; ++i)
        markdown += QString("Paragraph %1 with a %2.\n\n").arg(i).arg(i % 20 == 7 ? "needle" : "straw").toUtf8();
    DocumentWindow *window = openWindow("split.md", markdown, ViewMode::Split);
    QVERIFY(window);
    ContentView *view = window->contentView();
    auto *preview = area(window)->markdownView();
    STTextView *editor = view->textView();
    QVERIFY(area(window)->isSplit());
    QVERIFY(preview->isVisible() && editor->isVisible());

    // The preview has the focus: its own bar, above it, and the source's stays closed.
    QTest::mouseClick(preview->viewport(), Qt::LeftButton, {}, QPoint(preview->viewport()->width() - 5, 5));
    QCOMPARE(QApplication::focusWidget(), preview);
    press(Qt::Key_F, Qt::ControlModifier);
    QVERIFY(bar(window)->isVisible());
    QVERIFY(!editor->isFindBarVisible());
    QCOMPARE(QApplication::focusWidget(), bar(window)->findField());
    QVERIFY(!area(window)->splitter()->widget(0)->isAncestorOf(bar(window)));
    QVERIFY(bar(window)->geometry().right() <= preview->mapTo(bar(window)->parentWidget(), QPoint(preview->width(), 0)).x());
    typeIntoFocus("needle");
    QCOMPARE(bar(window)->countLabel()->text(), QString("1 of 3"));
    press(Qt::Key_Return);
    QCOMPARE(bar(window)->countLabel()->text(), QString("2 of 3"));
    const QString text = QString::fromStdU16String(view->textView()->text());
    press(Qt::Key_Escape);
    QVERIFY(!bar(window)->isVisible());
    QCOMPARE(QApplication::focusWidget(), preview);

    // The source has the focus: the text view's own find.
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, QPoint(40, 10));
    QVERIFY(isWithin(QApplication::focusWidget(), editor));
    press(Qt::Key_F, Qt::ControlModifier);
    QVERIFY(editor->isFindBarVisible());
    QVERIFY(!bar(window)->isVisible());

    // One find bar at a time: the preview's closes the source's, and the other way round.
    QTest::mouseClick(preview->viewport(), Qt::LeftButton, {}, QPoint(preview->viewport()->width() - 5, 5));
    press(Qt::Key_F, Qt::ControlModifier);
    QVERIFY(bar(window)->isVisible());
    QVERIFY(!editor->isFindBarVisible());
    QCOMPARE(QApplication::focusWidget(), bar(window)->findField());
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, QPoint(40, 10));
    press(Qt::Key_F, Qt::ControlModifier);
    QVERIFY(editor->isFindBarVisible());
    QVERIFY(!bar(window)->isVisible());
    QCOMPARE(QString::fromStdU16String(view->textView()->text()), text);
}

namespace {

// The bar's visible controls, each wholly inside it, at least as wide as it needs (a check box
// narrower than that cuts its label off) and none over another; empty when so.
QString layoutFault(QWidget *bar)
{
    QList<QRect> placed;
    for (QWidget *control : bar->findChildren<QWidget *>()) {
        if (!control->isVisibleTo(bar) || !(control->focusPolicy() & Qt::TabFocus))
            continue;
        const QRect rect(control->mapTo(bar, QPoint(0, 0)), control->size());
        const QString name = control->objectName() + " " + control->metaObject()->className();
        if (!bar->rect().contains(rect))
            return name + " leaves the bar";
        if (control->width() < control->minimumSizeHint().width())
            return name + " is narrower than it needs";
        for (const QRect &other : placed)
            if (other.intersects(rect))
                return name + " overlaps another control";
        placed.append(rect);
    }
    return {};
}

} // namespace

// At the window's smallest, each half of a split has room for its whole find bar.
void TestFindModes::barsFitAHalfWindowPane()
{
    QByteArray markdown = "A needle.\n\nAnother needle.\n";
    for (int i = 0; i < 80; ++i) // Long enough for a scroll bar.
        markdown += "\nStraw " + QByteArray::number(i) + ".\n";
    DocumentWindow *window = openWindow("narrow.md", markdown, ViewMode::Split);
    QVERIFY(window);
    ContentView *view = window->contentView();
    auto *preview = area(window)->markdownView();
    STTextView *editor = view->textView();
    window->resize(0, 600); // As narrow as it goes.
    QTRY_COMPARE(view->width(), view->minimumWidth());

    QTest::mouseClick(preview->viewport(), Qt::LeftButton, {}, QPoint(preview->viewport()->width() - 5, 5));
    press(Qt::Key_F, Qt::ControlModifier);
    QVERIFY(bar(window)->isVisible());
    QTRY_VERIFY(bar(window)->findField()->width() >= TextView::FindBarRows::minimumFieldWidth);
    QCOMPARE(layoutFault(bar(window)), QString());
    typeIntoFocus("needle");
    QCOMPARE(bar(window)->countLabel()->text(), QString("1 of 2"));

    // Wide again: one row.
    window->resize(1400, 700);
    QTRY_COMPARE(bar(window)->caseBox()->mapTo(bar(window), QPoint(0, 0)).y() < bar(window)->findField()->height(), true);
    QCOMPARE(layoutFault(bar(window)), QString());
    press(Qt::Key_Escape);

    window->resize(0, 600);
    QTRY_COMPARE(view->width(), view->minimumWidth());
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, QPoint(40, 10));
    press(Qt::Key_F, Qt::ControlModifier);
    QVERIFY(editor->isFindBarVisible());
    QTRY_VERIFY(editor->findBar()->findField()->width() >= TextView::FindBarRows::minimumFieldWidth);
    QCOMPARE(layoutFault(editor->findBar()), QString());
    // Nothing of it under the scroll bar.
    const QRect barInView(editor->findBar()->mapTo(editor, QPoint(0, 0)), editor->findBar()->size());
    QScrollBar *scrollBar = editor->verticalScrollBar();
    QVERIFY(scrollBar->isVisible());
    QVERIFY(!barInView.intersects(QRect(scrollBar->mapTo(editor, QPoint(0, 0)), scrollBar->size())));
    // The text starts below the bar, also now that it takes more rows.
    QVERIFY(editor->viewport()->geometry().top() >= barInView.bottom());
}

void TestFindModes::textModeKeepsTheTextViewsFind()
{
    DocumentWindow *window = openWindow("plain.csv", "a,b\n1,2\n", ViewMode::Text);
    QVERIFY(window);
    STTextView *editor = window->contentView()->textView();
    editor->setFocus(Qt::MouseFocusReason);
    press(Qt::Key_F, Qt::ControlModifier);
    QVERIFY(editor->isFindBarVisible());
    QVERIFY(!bar(window)->isVisible());
    QVERIFY(isWithin(QApplication::focusWidget(), editor));
}

void TestFindModes::leavingTheModeClosesTheBar()
{
    DocumentWindow *window = openWindow("leave.csv", "a,b\nx,y\n");
    QVERIFY(window);
    auto *table = area(window)->tableView();
    table->setFocus(Qt::MouseFocusReason);
    press(Qt::Key_F, Qt::ControlModifier);
    typeIntoFocus("x");
    QCOMPARE(table->matchCount(), std::size_t(1));
    window->contentView()->setMode(ViewMode::Text);
    QVERIFY(!bar(window)->isVisible());
    QCOMPARE(table->matchCount(), std::size_t(0));
    QCOMPARE(bar(window)->target(), nullptr);
    QVERIFY(isWithin(QApplication::focusWidget(), window->contentView()->textView()));
}

void TestFindModes::whereNothingCanSearchTheTextIsShown_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ViewMode>("mode");
    QTest::addColumn<bool>("built"); // Whether the view's job has run.
    QTest::newRow("invalidJsonTree_text") << "bad.json" << QByteArray("{\"a\": tru}") << ViewMode::Tree << true;
    QTest::newRow("treeBeingBuilt_text") << "good.json" << QByteArray("{\"a\": 1}") << ViewMode::Tree << false;
    QTest::newRow("tableBeingBuilt_text") << "t.csv" << QByteArray("a,b\n1,2\n") << ViewMode::Table << false;
}

void TestFindModes::whereNothingCanSearchTheTextIsShown()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(ViewMode, mode);
    QFETCH(bool, built);
    DocumentWindow *window = openWindow(name, bytes, built ? std::optional(mode) : std::optional(ViewMode::Text));
    QVERIFY(window);
    ContentView *view = window->contentView();
    if (!built) {
        view->setMode(mode);
        QCOMPARE(area(window)->visibleView(), area(window)->busyIndicator());
    }
    QVERIFY(area(window)->findTarget() == nullptr);
    QSignalSpy asked(area(window), &ContentArea::textFindRequested);
    // What the window does with the request.
    connect(area(window), &ContentArea::textFindRequested, view, [view] { view->setMode(ViewMode::Text); });
    area(window)->visibleView()->setFocus(Qt::MouseFocusReason);
    press(Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(asked.count(), 1);
    QCOMPARE(view->mode(), ViewMode::Text);
    QVERIFY(view->textView()->isFindBarVisible());
    QVERIFY(isWithin(QApplication::focusWidget(), view->textView()));
    QVERIFY(QApplication::focusWidget() != view->textView());
    QVERIFY(!bar(window)->isVisible());
}

void TestFindModes::onlyTheKeyWindowActs()
{
    DocumentWindow *first = openWindow("first.csv", "a\nx\n");
    QVERIFY(first);
    DocumentWindow *second = openWindow("second.csv", "a\nx\n");
    QVERIFY(second);
    QCOMPARE(QApplication::activeWindow(), second);
    using TextView::FindAction;
    NotificationCenter::defaultCenter().post(Notifications::findAction, findActionCode(FindAction::ShowFindInterface));
    QVERIFY(bar(second)->isVisible());
    QVERIFY(!bar(first)->isVisible());
    NotificationCenter::defaultCenter().post(Notifications::findAction, findActionCode(FindAction::HideFindInterface));
    QVERIFY(!bar(second)->isVisible());
}

QTEST_MAIN(TestFindModes)
#include "tst_findmodes.moc"
